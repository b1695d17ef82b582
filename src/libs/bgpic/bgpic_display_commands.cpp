// The bgpic commands that show and scale background pictures.
#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_life.h"
#include "display/display_pixels.h"
#include "display/display_scale.h"
#include "display/picture.h"
#include "gfx/bitmap.h"
#include "gfx/scale_bitmap.h"
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

namespace {

// A copy of what the display shows (its picture with the layers), at width x height.
int CopyShownPicture(VmState* state, qzDisplay* display, int32_t width, int32_t height, qzBitMap** out) {
    *out = nullptr;
    qzBGPic* shown = display->bgpic;
    const qzBitMap* source = shown ? GetBGPicDisplayBitmap(state, display, shown) : nullptr;
    if (!source) return 0;
    if (source->width == width && source->height == height) {
        qzBitMap* copy = NewDisplayBitmap(width, height);
        if (!copy) return ERR_BITMAP;
        CopyBitmapRect(source, 0, 0, copy, 0, 0, width, height);
        *out = copy;
        return 0;
    }
    return ScaleBitMap(source, nullptr, nullptr, 0, 0, nullptr, source->width, source->height, width, height,
                       display->smoothScale, out, nullptr, nullptr);
}

}  // namespace

int DisplayBGPicCore(VmState* state, const qzObjectId& id, int32_t x, int32_t y, int withLayersCopy,
                     qzBitMap** outPicture, qzBitMap** outOld) {
    if (outPicture) *outPicture = nullptr;
    if (outOld) *outOld = nullptr;
    qzBGPic* pic = nullptr;
    int error = FindBGPic(state, id, &pic, 0);
    if (error) return error;
    if (IsVideoRecording() && (pic->mask || pic->alpha)) return ERR_VIDRECTRANS;
    qzDisplay* display = CurrentDisplay();
    if (!display) return ERR_WRONGUSAGE;
    qzBitMap* old = nullptr;
    if (withLayersCopy) {
        // The screen as it is, at the new picture's size unless the display scales its layers.
        const qzBitMap* shown = display->bgpic ? GetBGPicDisplayBitmap(state, display, display->bgpic) : nullptr;
        const bool layerScaled = display->layerScale && display->scaledWidth && display->scaledHeight;
        const int32_t width = shown && layerScaled ? shown->width : pic->width;
        const int32_t height = shown && layerScaled ? shown->height : pic->height;
        error = CopyShownPicture(state, display, width, height, &old);
        if (error) return error;
    }
    // The display switches to the picture as if its options named it.
    VmNewTable(state);
    SetTableFieldObjectId(state, "bgpic", id);
    if (x != QZ_KEEPPOSITION) SetTableFieldInt(state, "x", x);
    if (y != QZ_KEEPPOSITION) SetTableFieldInt(state, "y", y);
    error = ApplyDisplayAttributes(state, VmGetTop(state), display, withLayersCopy);
    VmPop(state, 1);
    if (error || !withLayersCopy) {
        DeleteBitMap(old);
        return error;
    }
    // The new picture with its layers, for the effect to bring in.
    qzBitMap* picture = nullptr;
    error = CopyShownPicture(state, display, pic->width, pic->height, &picture);
    if (!error && !picture) error = ERR_WRONGUSAGE;
    if (error) {
        DeleteBitMap(old);
        return error;
    }
    if (outPicture)
        *outPicture = picture;
    else
        DeleteBitMap(picture);
    if (outOld)
        *outOld = old;
    else
        DeleteBitMap(old);
    return 0;
}

int BGPicDisplayBGPic(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    int32_t x, y;
    ReadOptionalXYTable(state, 2, &x, &y);
    CheckBGPic(state, id, 0);
    return DisplayBGPicCore(state, id, x, y, 0, nullptr, nullptr);
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
