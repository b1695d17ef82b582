// The bgpic commands that make, copy, convert and free background pictures.
#include "base/error_codes.h"
#include "display/picture.h"
#include "gfx/bitmap.h"
#include "gfx/copy_bitmap.h"
#include "gfx/image_source.h"
#include "image/brush.h"
#include "image/generated_image.h"
#include "libs/bgpic/bgpic_lib.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "runtime/object_registry.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

int FreeBGPicForReuse(VmState* state, const qzObjectId& id) {
    if (IsAutoObjectId(id)) return 0;
    return DeleteBGPic(state, id, 0);
}

int BGPicCreateBGPic(VmState* state) {
    const qzObjectId id = CheckNumericIdArg(state, 1);
    const int32_t width = VmCheckInteger(state, 2);
    const int32_t height = VmCheckInteger(state, 3);
    const uint32_t color = uint32_t(VmOptInteger(state, 4, 0)) & 0xFFFFFF;
    if (width < 1 || height < 1) return ERR_WRONGUSAGE;
    int error = FreeBGPicForReuse(state, id);
    if (error) return error;
    qzBGPic* pic = nullptr;
    error = CreateBlankBGPic(id, width, height, color, &pic);
    if (error) return error;
    return PushNewObjectHandle(state, id, &pic->header);
}

int BGPicFreeBGPic(VmState* state) {
    const qzObjectId id = CheckObjectIdArg(state, 1);
    return DeleteBGPic(state, id, 1);
}

int BGPicCopyBGPic(VmState* state) {
    const qzObjectId source = CheckObjectIdArg(state, 1);
    const qzObjectId dest = CheckNumericIdArg(state, 2);
    if (!IsAutoObjectId(dest) && SameObjectId(source, dest)) return ERR_WRONGUSAGE;
    qzBGPic* pic = CheckBGPic(state, source, 0);
    int error = FreeBGPicForReuse(state, dest);
    if (error) return error;
    qzBGPic* copy = nullptr;
    error = CopyBGPicRecord(state, pic, dest, &copy);
    if (error) return error;
    return PushNewObjectHandle(state, dest, &copy->header);
}

int BGPicBrushToBGPic(VmState* state) {
    const qzObjectId brushId = CheckObjectIdArg(state, 1);
    const qzObjectId id = CheckNumericIdArg(state, 2);
    qzBrush* brush = CheckBrush(state, brushId, 0);
    if (brush->type == QZ_IMAGETYPE_VECTOR && brush->transformedvector) return ERR_TFVBRUSHBGPIC;
    if (!brush->bitmap) return ERR_BITMAP;
    qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    int error = CopyBitMap(brush->bitmap, brush->mask, brush->alpha, 0, 0, brush->width, brush->height, 0, &bitmap,
                           brush->mask ? &mask : nullptr, brush->alpha ? &alpha : nullptr);
    if (error) return error;
    error = FreeBGPicForReuse(state, id);
    if (error) {
        DeleteBitMap(bitmap);
        DeleteMaskBitMap(mask);
        DeleteAlphaBitMap(alpha);
        return error;
    }
    // The picture of a vector brush shares its source, so that it is drawn again at any size.
    const bool vector = brush->type == QZ_IMAGETYPE_VECTOR && brush->source;
    if (vector) RetainImageSource(brush->source);
    qzBGPic* pic = nullptr;
    error = AddBGPic(id, vector ? QZ_PICTURE_GENERATED : QZ_PICTURE_RASTER, brush->width, brush->height,
                     vector ? brush->source : nullptr, bitmap, mask, alpha, nullptr, &pic);
    if (error) return error;
    pic->transparentColor = brush->transparentcolor;
    return PushNewObjectHandle(state, id, &pic->header);
}

int BGPicBGPicToBrush(VmState* state) {
    const qzObjectId picId = CheckObjectIdArg(state, 1);
    const qzObjectId id = CheckNumericIdArg(state, 2);
    qzBGPic* pic = CheckBGPic(state, picId, 0);
    const bool vector = pic->type == QZ_PICTURE_GENERATED && pic->source;
    if (vector && (pic->scaledWidth != pic->origWidth || pic->scaledHeight != pic->origHeight))
        return ERR_TFVBGPICBRUSH;
    if (!pic->scaledBitmap) return ERR_BITMAP;
    qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    int error =
        CopyBitMap(pic->scaledBitmap, pic->scaledMask, pic->scaledAlpha, 0, 0, pic->scaledWidth, pic->scaledHeight, 0,
                   &bitmap, pic->scaledMask ? &mask : nullptr, pic->scaledAlpha ? &alpha : nullptr);
    if (error) return error;
    FreeBrushForReuse(state, id);
    if (vector) RetainImageSource(pic->source);
    qzBrush* brush = nullptr;
    error = AddBrush(id, vector ? QZ_IMAGETYPE_VECTOR : QZ_IMAGETYPE_RASTER, pic->scaledWidth, pic->scaledHeight,
                     pic->scaledWidth, 0, vector ? pic->source : nullptr, bitmap, pic->transparentColor, mask, alpha,
                     nullptr, &brush);
    if (error) {
        if (vector) FreeImageSource(pic->source);
        DeleteBitMap(bitmap);
        DeleteMaskBitMap(mask);
        DeleteAlphaBitMap(alpha);
        return error;
    }
    return PushNewObjectHandle(state, id, &brush->header);
}

int BGPicCreateGradientBGPic(VmState* state) { return CreateGradientObject(state, QZ_GENERATE_BGPIC); }

int BGPicCreateTexturedBGPic(VmState* state) { return CreateTexturedObject(state, QZ_GENERATE_BGPIC); }
