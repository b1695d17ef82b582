// The bgpic commands that show and scale background pictures.
#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_life.h"
#include "display/display_scale.h"
#include "display/picture.h"
#include "libs/bgpic/bgpic_lib.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "runtime/option_table.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

void ReadOptionalXYTable(VmState* state, int index, int32_t* x, int32_t* y) {
    *x = *y = QZ_KEEPPOSITION_DEFAULT;
    if (VmGetTop(state) < index || VmType(state, index) == VM_TNIL) return;
    VmCheckTable(state, index);
    GetTableFieldInt(state, index, "x", x, nullptr);
    GetTableFieldInt(state, index, "y", y, nullptr);
}

int BGPicDisplayBGPic(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    int32_t x, y;
    ReadOptionalXYTable(state, 2, &x, &y);
    qzBGPic* pic = CheckBGPic(state, id, 0);
    if (IsVideoRecording() && (pic->mask || pic->alpha)) return ERR_VIDRECTRANS;
    qzDisplay* display = CurrentDisplay();
    if (!display) return ERR_WRONGUSAGE;
    // The display switches to the picture as if its options named it.
    VmNewTable(state);
    SetTableFieldObjectId(state, "bgpic", id);
    if (x != QZ_KEEPPOSITION) SetTableFieldInt(state, "x", x);
    if (y != QZ_KEEPPOSITION) SetTableFieldInt(state, "y", y);
    return ApplyDisplayAttributes(state, VmGetTop(state), display, 0);
}

int BGPicScaleBGPic(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    qzBGPic* pic = CheckBGPic(state, id, 0);
    int32_t width = CheckSizeArg(state, 2, pic->scaledWidth);
    int32_t height = CheckSizeArg(state, 3, pic->scaledHeight);
    const int smooth = VmOptInteger(state, 4, 0) != 0;
    if (IsPictureOnAnyDisplay(pic)) return ERR_SCALEBGPIC;
    if (IsPictureSelectedForDrawing(pic)) return ERR_MODIFYABGPIC;
    int error = ApplyKeepAspectSize(pic->scaledWidth, pic->scaledHeight, &width, &height);
    if (error) return error;
    if (width == pic->scaledWidth && height == pic->scaledHeight) return 0;
    error = FindBGPic(state, id, &pic, QZ_FINDPIC_MODIFY);
    if (error) return error;
    return ScaleBGPicCore(state, pic, width, height, smooth);
}
