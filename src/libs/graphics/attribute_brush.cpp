// GetAttribute's reader of brushes.
#include "base/error_codes.h"
#include "image/brush.h"
#include "libs/graphics/attributes.h"
#include "libs/graphics/graphics_commands.h"
#include "vm/vm.h"

int ReadBrushAttribute(VmState* state, const qzAttributeQuery& q) {
    const qzBrush* brush = CheckBrush(state, q.id, 0);
    switch (q.attribute) {
    case ATTRWIDTH: return PushAttrNumber(state, brush->width);
    case ATTRHEIGHT: return PushAttrNumber(state, brush->height);
    case ATTRTRANSPARENTCOLOR: return PushAttrNumber(state, (uint32_t)brush->transparentcolor);
    case ATTRTYPE: return PushAttrNumber(state, brush->type);
    case ATTRHASMASK: return PushAttrNumber(state, brush->mask ? 1 : 0);
    case ATTRHASALPHA: return PushAttrNumber(state, brush->alpha ? 1 : 0);
    case ATTRHARDWARE: return PushAttrNumber(state, brush->hardware ? 1 : 0);
    // The display a hardware brush belongs to, 0 for a brush of the engine's own memory.
    case ATTRDISPLAY: return brush->hardware ? PushAttrId(state, brush->displayid) : PushAttrNumber(state, 0);
    default: return PushAttrString(state, ImageLoaderName(brush->loader, brush->loaderinfo));  // ATTRLOADER
    }
}
