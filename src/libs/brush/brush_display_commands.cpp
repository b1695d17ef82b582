// The commands that put a brush, a part of a brush or a part of a background picture on the
// current output with the standard drawing options.
#include "base/error_codes.h"
#include "image/image_display.h"
#include "libs/brush/brush_lib.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

int BrushDisplayBrush(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const int32_t x = VmCheckInteger(state, 2);
    const int32_t y = VmCheckInteger(state, 3);
    return DisplayBrushSimple(state, id, x, y, 4);
}

int BrushDisplayBrushPart(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    int32_t v[6];
    for (int i = 0; i < 6; i++) v[i] = VmCheckInteger(state, 2 + i);
    return DisplayImageObject(state, 0, QZ_DRAW_BRUSHPART, id, v[0], v[1], v[2], v[3], v[4], v[5], 1, 8, nullptr,
                              nullptr, nullptr, nullptr, 0);
}

int BrushDisplayBGPicPart(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    const int32_t x = VmCheckInteger(state, 2);
    const int32_t y = VmCheckInteger(state, 3);
    const int32_t width = VmCheckInteger(state, 4);
    const int32_t height = VmCheckInteger(state, 5);
    const int32_t dx = VmOptInteger(state, 6, x);
    const int32_t dy = VmOptInteger(state, 7, y);
    uint32_t flags = 0;
    int tagIndex = 0;
    if (VmType(state, 8) == VM_TTABLE) {
        tagIndex = 8;
        int32_t withLayers = 0;
        if (GetTableFieldBool(state, 8, "layers", &withLayers, nullptr) && withLayers) flags |= QZ_DRAWOBJ_WITHLAYERS;
    } else if (VmGetTop(state) >= 8 && VmType(state, 8) != VM_TNIL) {
        if (VmCheckInteger(state, 8)) flags |= QZ_DRAWOBJ_WITHLAYERS;
    }
    return DisplayImageObject(state, 0, QZ_DRAW_BGPICPART, id, x, y, dx, dy, width, height, 1, tagIndex, nullptr,
                              nullptr, nullptr, nullptr, flags);
}
