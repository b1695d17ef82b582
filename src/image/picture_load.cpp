#include "image/picture_load.h"

#include "base/error_codes.h"
#include "gfx/bitmap.h"
#include "gfx/channel_ops.h"
#include "gfx/image_source.h"
#include "runtime/console.h"
#include "runtime/error_messages.h"
#include "runtime/error_texts.h"
#include "runtime/runtime.h"

namespace {

int CheckOptions(const qzLoadBGPicOptions& o) {
    if (o.loadAlpha && o.loadTransparency) return ERR_WRONGUSAGE;
    if (o.loadTransparency && o.transparentColor != -1) return ERR_WRONGUSAGE;
    if (o.loadAlpha && o.transparentColor != -1) return ERR_MASKNALPHA;
    return 0;
}

int Load(VmState* state, const qzObjectId& id, const qzLoadBGPicOptions& o, qzBGPic** out) {
    if (!IsAutoObjectId(id)) {
        int error = DeleteBGPic(state, id, 0);
        if (error) return error;
    }
    qzImageSourceRequest request;
    request.file = o.file;
    request.loaderList = o.loaderList;
    request.adapterList = o.adapterList;
    request.palette = o.palette;
    request.keyColour = o.transparentColor;
    request.loadAlpha = o.loadAlpha;
    request.loadTransparency = o.loadTransparency;
    request.width = o.scaleWidth;
    request.height = o.scaleHeight;
    request.smooth = o.smooth;
    qzImageSourceResult image{};
    int error = OpenImageSource(state, &request, &image);
    if (error) return error;

    // A vector picture never keeps a key colour; one the file names wins over the script's.
    int32_t key = o.transparentColor;
    if (image.isVector)
        key = -1;
    else if (image.transparentColour >= 0)
        key = image.transparentColour;
    const uint32_t* pixels = GetImageSourcePixels(image.source);
    const int stride = image.rowLength > 0 ? image.rowLength : image.width;
    qzBitMap* alpha = nullptr;
    if (pixels && image.hasAlpha && (o.loadAlpha || image.transparentColour == -2)) {
        alpha = CreateAlphaBitMapFromData(pixels, image.width, image.height, stride);
        if (!alpha) error = ERR_ALLOCALPHA;
    }
    qzPictureFill fill = o.fill;
    fill.texture = nullptr;
    fill.valid = fill.style != QZ_FILLNONE;
    qzBitMap *bitmap = nullptr, *mask = nullptr;
    // While objects are preloaded no display exists yet: the picture keeps its pixels (and the
    // alpha channel) and gets its bitmap and mask when the first display opens.
    int preloading = 0;
    GetRuntimeAttrs(state, {{QZ_RTA_PRELOADING, &preloading}});
    const bool deferred = preloading != 0;
    if (!error && !pixels) error = ERR_MEM;
    if (!error && !deferred)
        error = BuildBGPicBitmap(state, pixels, fill.style != QZ_FILLNONE ? &fill : nullptr, key, image.width,
                                 image.height, stride, &bitmap, &mask, &alpha);
    if (error) {
        DeleteAlphaBitMap(alpha);
        DeleteBitMap(fill.texture);
        FreeImageSource(image.source);
        return error;
    }
    // Flattened onto its fill, the picture is opaque.
    const bool flattened = !deferred && fill.style != QZ_FILLNONE && (key != -1 || image.hasAlpha) && !mask && !alpha;
    qzImageSource* kept = image.isVector || deferred ? image.source : nullptr;
    if (!kept) FreeImageSource(image.source);
    qzBGPic* pic = nullptr;
    qzBitMap* texture = fill.texture;
    error = AddBGPic(id, image.isVector ? QZ_PICTURE_GENERATED : QZ_PICTURE_RASTER, image.width, image.height, kept,
                     bitmap, mask, alpha, &fill, &pic);
    if (error) {
        DeleteBitMap(texture);
        return error;
    }
    pic->fill.texture = texture;
    pic->transparentColor = flattened ? -1 : key;
    pic->sourceStride = stride;
    pic->loader = image.loader;
    pic->loaderInfo = uint32_t(image.native);
    *out = pic;
    return 0;
}

}  // namespace

int LoadBGPicFile(VmState* state, const qzObjectId& id, const qzLoadBGPicOptions& options, qzBGPic** out) {
    *out = nullptr;
    int error = CheckOptions(options);
    if (error) return error;
    PrintProgressStart(GetCatalogText(QZ_MSG_LOADINGBGPIC), options.file, true);
    error = Load(state, id, options, out);
    if (error)
        PrintProgressFailed();
    else
        PrintProgressDone();
    return error;
}
