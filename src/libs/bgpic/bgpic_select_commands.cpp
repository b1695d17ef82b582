// SelectBGPic and EndSelect: drawing into a background picture, and back to the display.
#include "base/error_codes.h"
#include "display/display.h"
#include "image/output_select.h"
#include "libs/bgpic/bgpic_lib.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

int BGPicSelectBGPic(VmState* state) {
    const bool shown = VmType(state, 1) == VM_TNIL;
    qzObjectId id = {0, nullptr};
    if (!shown) GetObjectIdArg(&id, state, 1);
    const int32_t mode = VmOptInteger(state, 2, QZ_SELMODE_LAYERS);
    const int32_t extra = VmOptInteger(state, 3, 0);
    if (mode == QZ_SELMODE_LAYERS) return SelectBGPicLayers(state, shown ? nullptr : &id);
    if (mode != QZ_SELMODE_NORMAL && mode != QZ_SELMODE_COMBO) return ERR_WRONGUSAGE;
    if (shown) {
        // Nil names the picture that the display shows, which cannot be drawn into like a brush.
        const qzDisplay* display = CurrentDisplay();
        if (!display || !display->bgpic) return ERR_FINDBGPIC;
        id = display->bgpic->header.id;
    }
    return SelectOutputObject(state, QZ_SELECT_BGPIC, id, QZ_OUTPUT_BITMAP, 0, mode, extra);
}

int BGPicEndSelect(VmState* state) {
    qzDisplay* display = CurrentDisplay();
    if (!display || display->doubleBuffer || !OutputIsSelected(display)) return ERR_WRONGUSAGE;
    return EndSelectOutput(state, display, 0);
}
