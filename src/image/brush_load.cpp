#include "image/brush_load.h"

#include "base/error_codes.h"
#include "display/display.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/channel_ops.h"
#include "gfx/image_source.h"
#include "image/brush.h"
#include "runtime/console.h"
#include "runtime/error_messages.h"
#include "runtime/error_texts.h"

namespace {

int CheckOptions(const qzLoadBrushOptions& o) {
    if (o.loadAlpha && o.loadTransparency) return ERR_WRONGUSAGE;
    if (o.loadTransparency && o.transparentColor != -1) return ERR_WRONGUSAGE;
    if (o.transparentColor != -1 && (o.loadAlpha || o.globalAlpha != -1)) return ERR_MASKNALPHA;
    return 0;
}

// The brush's bitmaps from the part of the image; the source stays the caller's.
int MakeBitmaps(const qzImageSourceResult& image, const qzLoadBrushOptions& o, int32_t key, int32_t x, int32_t y,
                int32_t width, int32_t height, int hardware, qzBitMap** outBitmap, qzBitMap** outMask,
                qzBitMap** outAlpha) {
    const uint32_t* pixels = GetImageSourcePixels(image.source);
    if (!pixels) return ERR_MEM;
    const int stride = image.rowLength > 0 ? image.rowLength : image.width;
    const uint32_t* start = pixels + (int64_t)y * stride + x;
    const bool withAlpha = image.hasAlpha && (o.loadAlpha || image.transparentColour == -2);
    qzBitMap* bitmap = nullptr;
    qzBitMap* mask = nullptr;
    int error = CreateBitMapFromARGB(start, key >= 0 ? (uint32_t)key : QZ_NO_KEY_COLOR, width, height, stride, hardware,
                                     withAlpha ? 2 : 0, nullptr, &bitmap, key >= 0 ? &mask : nullptr, nullptr);
    if (error) return error;
    qzBitMap* alpha = nullptr;
    if (withAlpha) {
        alpha = CreateAlphaBitMapFromData(start, width, height, stride);
        if (!alpha) {
            DeleteBitMap(bitmap);
            DeleteMaskBitMap(mask);
            return ERR_ALLOCALPHA;
        }
    }
    if (o.globalAlpha != -1) {
        const int level = o.globalAlpha < 0 ? 0 : o.globalAlpha > 255 ? 255 : o.globalAlpha;
        if (alpha) {
            ScaleAlphaChannel(alpha, alpha, height, level);
        } else {
            alpha = CreateAlphaBitMap(width, height, 0, nullptr, 0);
            if (!alpha) {
                DeleteBitMap(bitmap);
                DeleteMaskBitMap(mask);
                return ERR_ALLOCALPHA;
            }
            FillAlphaRect(alpha, 0, 0, width, height, level);
        }
    }
    *outBitmap = bitmap;
    *outMask = mask;
    *outAlpha = alpha;
    return 0;
}

int Load(VmState* state, const qzObjectId& id, const qzLoadBrushOptions& o, qzBrush** out) {
    qzImageSourceRequest request;
    request.file = o.file;
    request.loaderList = o.loaderList;
    request.adapterList = o.adapterList;
    request.keyColour = o.transparentColor;
    request.loadAlpha = o.loadAlpha;
    request.loadTransparency = o.loadTransparency;
    request.width = o.scaleWidth;
    request.height = o.scaleHeight;
    request.smooth = o.smooth;
    // A numeric identifier names the new brush from now on, whether or not it loads.
    FreeBrushForReuse(state, id);
    qzImageSourceResult image{};
    int error = OpenImageSource(state, &request, &image);
    if (error) return error;

    // The key colour: none for vector images; one the file names wins over the script's.
    int32_t key = o.transparentColor;
    if (image.isVector) key = -1;
    else if (image.transparentColour >= 0) key = image.transparentColour;

    int32_t x = o.x, y = o.y, width = o.width, height = o.height;
    if (x < 0 || y < 0) error = ERR_NEGCOORDS;
    else if (x >= image.width || y >= image.height) error = ERR_COORDSRANGE;
    if (error) {
        FreeImageSource(image.source);
        return error;
    }
    if (width <= 0 || width > image.width - x) width = image.width - x;
    if (height <= 0 || height > image.height - y) height = image.height - y;
    if (image.isVector && (x || y || width != image.width || height != image.height)) {
        FreeImageSource(image.source);
        return ERR_BRUSHTYPE;
    }

    const int hardware = o.hardware && AdapterOffersVideoBitMaps() && !IsVideoRecording();
    qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    error = MakeBitmaps(image, o, key, x, y, width, height, hardware, &bitmap, &mask, &alpha);
    if (error) {
        FreeImageSource(image.source);
        return error;
    }
    qzImageSource* kept = image.isVector ? image.source : nullptr;
    qzBrush* brush = nullptr;
    error = AddBrush(id, image.isVector ? QZ_IMAGETYPE_VECTOR : QZ_IMAGETYPE_RASTER, width, height, width,
                     image.isVector && (o.scaleWidth || o.scaleHeight), kept, bitmap, key, mask, alpha,
                     hardware ? &o.display : nullptr, &brush);
    if (error) {
        DeleteBitMap(bitmap);
        DeleteMaskBitMap(mask);
        DeleteAlphaBitMap(alpha);
        FreeImageSource(image.source);
        return error;
    }
    if (!kept) FreeImageSource(image.source);
    brush->srcx = x;
    brush->srcy = y;
    if (hardware && bitmap->video) {
        brush->hardware = 1;
        brush->hardwareflags = (key >= 0 ? QZ_HWBRUSH_MASK : 0) | (alpha ? QZ_HWBRUSH_ALPHA : 0);
        brush->display = CurrentDisplay();
    }
    *out = brush;
    return 0;
}

}  // namespace

int LoadBrushFile(VmState* state, const qzObjectId& id, const qzLoadBrushOptions& options, qzBrush** out) {
    *out = nullptr;
    int error = CheckOptions(options);
    if (error) return error;
    PrintProgressStart(GetCatalogText(QZ_MSG_LOADINGBRUSH), options.file, true);
    error = Load(state, id, options, out);
    if (error)
        PrintProgressFailed();
    else
        PrintProgressDone();
    return error;
}
