// The brush commands that redirect drawing: SelectBrush, SelectMask, SelectAlphaChannel, and the
// mask mode and alpha intensity that drawing into masks and alpha channels uses.
#include "base/error_codes.h"
#include "gfx/draw_modes.h"
#include "image/output_select.h"
#include "libs/brush/brush_lib.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// SelectMask and SelectAlphaChannel: id[, type, frame] with type BRUSH (default), ANIM (frame
// required) or LAYER (id is the layer's position; a frame for anim layers).
int SelectChannel(VmState* state, int32_t outputKind) {
    VmCheckArgCount(state, 1, 3, 0, 0);
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const int32_t kind = VmOptInteger(state, 2, QZ_SELECT_BRUSH);
    const int32_t frame = VmOptInteger(state, 3, 0);
    if (kind != QZ_SELECT_BRUSH && kind != QZ_SELECT_ANIM && kind != QZ_SELECT_LAYER) return ERR_WRONGUSAGE;
    if (kind == QZ_SELECT_ANIM && frame <= 0) return ERR_MISSINGPARAMTR;
    return SelectOutputObject(state, kind, id, outputKind, kind == QZ_SELECT_BRUSH ? 0 : frame, QZ_SELMODE_NORMAL, 0);
}

}  // namespace

int BrushSelectBrush(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const int32_t mode = VmOptInteger(state, 2, QZ_SELMODE_NORMAL);
    const int32_t extra = VmOptInteger(state, 3, 0);
    if (mode != QZ_SELMODE_NORMAL && mode != QZ_SELMODE_COMBO) return ERR_WRONGUSAGE;
    return SelectOutputObject(state, QZ_SELECT_BRUSH, id, QZ_OUTPUT_BITMAP, 0, mode, extra);
}

int BrushSelectMask(VmState* state) { return SelectChannel(state, QZ_OUTPUT_MASK); }

int BrushSelectAlphaChannel(VmState* state) { return SelectChannel(state, QZ_OUTPUT_ALPHA); }

int BrushSetMaskMode(VmState* state) {
    DrawModes().maskMode = VmCheckInteger(state, 1);
    return 0;
}

int BrushSetAlphaIntensity(VmState* state) {
    const double level = CheckPercentArg(state, 1, 255, 0, nullptr);
    if (!(level >= -1 && level <= 255)) return ERR_WRONGUSAGE;
    DrawModes().alphaIntensity = VmTruncateNumber(level);
    return 0;
}
