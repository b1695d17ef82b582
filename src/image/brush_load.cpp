#include "image/brush_load.h"

#include <memory>

#include "base/error_codes.h"
#include "display/display.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/channel_ops.h"
#include "gfx/image_cache.h"
#include "gfx/image_source.h"
#include "image/brush.h"
#include "runtime/console.h"
#include "runtime/error_messages.h"
#include "runtime/error_texts.h"
#include "runtime/runtime.h"

namespace {

int CheckOptions(const qzLoadBrushOptions& o) {
    if (o.loadAlpha && o.loadTransparency) return ERR_WRONGUSAGE;
    if (o.loadTransparency && o.transparentColor != -1) return ERR_WRONGUSAGE;
    if (o.transparentColor != -1 && (o.loadAlpha || o.globalAlpha != -1)) return ERR_MASKNALPHA;
    return 0;
}

// The alpha channel of the part, or null: the image's own alpha (from the cache's copy when one is
// given, else from the pixels) when it is kept, then scaled by or filled with the global level.
int MakeAlpha(const qzImageSourceResult& image, const qzBitMap* cachedAlpha, bool withAlpha,
              const qzLoadBrushOptions& o, int32_t x, int32_t y, int32_t width, int32_t height, qzBitMap** out) {
    *out = nullptr;
    qzBitMap* alpha = nullptr;
    if (withAlpha && cachedAlpha) {
        alpha = CreateAlphaBitMap(width, height, 0, nullptr, 0);
        if (alpha && BlitAlphaRect(cachedAlpha, x, y, alpha, 0, 0, width, height, 0, 0) != 0) {
            DeleteAlphaBitMap(alpha);
            alpha = nullptr;
        }
        if (!alpha) return ERR_ALLOCALPHA;
    } else if (withAlpha) {
        const uint32_t* pixels = GetImageSourcePixels(image.source);
        if (!pixels) return ERR_MEM;
        const int stride = image.rowLength > 0 ? image.rowLength : image.width;
        alpha = CreateAlphaBitMapFromData(pixels + (int64_t)y * stride + x, width, height, stride);
        if (!alpha) return ERR_ALLOCALPHA;
    }
    if (o.globalAlpha != -1) {
        const int level = o.globalAlpha < 0 ? 0 : o.globalAlpha > 255 ? 255 : o.globalAlpha;
        if (alpha) {
            ScaleAlphaChannel(alpha, alpha, height, level);
        } else {
            alpha = CreateAlphaBitMap(width, height, 0, nullptr, 0);
            if (!alpha) return ERR_ALLOCALPHA;
            FillAlphaRect(alpha, 0, 0, width, height, level);
        }
    }
    *out = alpha;
    return 0;
}

// The brush's colour bitmap and mask from the part of the image; the source stays the caller's.
int MakeBitmaps(const qzImageSourceResult& image, int32_t key, bool withAlpha, int32_t x, int32_t y, int32_t width,
                int32_t height, int hardware, qzBitMap** outBitmap, qzBitMap** outMask) {
    const uint32_t* pixels = GetImageSourcePixels(image.source);
    if (!pixels) return ERR_MEM;
    const int stride = image.rowLength > 0 ? image.rowLength : image.width;
    const uint32_t* start = pixels + (int64_t)y * stride + x;
    return CreateBitMapFromARGB(start, key >= 0 ? (uint32_t)key : QZ_NO_KEY_COLOR, width, height, stride, hardware,
                                withAlpha ? 2 : 0, nullptr, outBitmap, key >= 0 ? outMask : nullptr, nullptr);
}

// The image of a cached load: the cache's image object (one reference for the caller) and, when
// the alpha channel is asked for, a copy of the whole image's alpha channel.
int TakeCachedImage(const qzLoadBrushOptions& o, qzImageSourceResult* image, qzBitMap** alpha) {
    int width = 0, height = 0, depth = 0;
    void* object = nullptr;
    uint32_t flags = 0;
    int error = FindImageInCache(o.cachedLoad, o.loadAlpha, &width, &height, &depth, &object, alpha, &flags);
    if (error) return error;
    qzImageSource* source = static_cast<qzImageSource*>(object);
    if (!source) {
        DeleteAlphaBitMap(*alpha);
        *alpha = nullptr;
        return ERR_CACHEERROR;
    }
    image->source = source;
    image->hasAlpha = source->hasAlpha;
    image->transparentColour = source->transparentColour;
    image->width = source->width;
    image->height = source->height;
    image->rowLength = source->rowLength;
    image->isVector = source->isVector;
    image->loader = source->loader;
    image->native = source->native;
    return 0;
}

// Keeps the loaded image in the image cache under the name, with the whole image's alpha channel
// when it is to be shared.
int CacheImage(const char* name, const qzImageSourceResult& image, bool withAlpha) {
    qzBitMap* alpha = nullptr;
    if (withAlpha && image.hasAlpha) {
        const uint32_t* pixels = GetImageSourcePixels(image.source);
        if (!pixels) return ERR_MEM;
        alpha = CreateAlphaBitMapFromData(pixels, image.width, image.height,
                                          image.rowLength > 0 ? image.rowLength : image.width);
        if (!alpha) return ERR_ALLOCALPHA;
    }
    int error = AddImageToCache(name, image.width, image.height, image.hasAlpha ? 32 : 24, image.source, alpha, 0);
    DeleteAlphaBitMap(alpha);
    return error;
}

int Load(VmState* state, const qzObjectId& id, const qzLoadBrushOptions& o, qzBrush** out) {
    int preloading = 0;
    GetRuntimeAttrs(state, {{QZ_RTA_PRELOADING, &preloading}});
    const bool deferred = preloading != 0;
    const bool cacheAlpha = deferred && o.cache && o.cacheAlpha && !o.loadAlpha;
    // A numeric identifier names the new brush from now on, whether or not it loads.
    FreeBrushForReuse(state, id);
    qzImageSourceResult image{};
    qzBitMap* cachedAlpha = nullptr;
    int error = 0;
    // A name the cache does not hold (or holds without the alpha channel asked for) is read from
    // the file after all.
    if (!deferred || !o.cachedLoad || TakeCachedImage(o, &image, &cachedAlpha) != 0) {
        qzImageSourceRequest request;
        request.file = o.file;
        request.loaderList = o.loaderList;
        request.adapterList = o.adapterList;
        request.keyColour = o.loaderKeyColor;
        request.transparencyMode = o.loaderMode;
        // The alpha channel that goes to the cache is read even though this brush does not keep it.
        request.loadAlpha = o.loadAlpha || cacheAlpha;
        request.acceptMissingAlpha = !o.loadAlpha;
        request.loadTransparency = o.loadTransparency;
        request.width = o.scaleWidth;
        request.height = o.scaleHeight;
        request.smooth = o.smooth;
        error = OpenImageSource(state, &request, &image);
    }
    if (error) return error;
    // Everything below is released on the way out unless it is handed to the brush.
    std::unique_ptr<qzImageSource, void (*)(qzImageSource*)> source(image.source, FreeImageSource);
    std::unique_ptr<qzBitMap, void (*)(qzBitMap*)> cachedAlphaOwner(cachedAlpha, DeleteAlphaBitMap);

    // The key colour: none for vector images; one the file names wins over the script's.
    int32_t key = o.transparentColor;
    if (image.isVector)
        key = -1;
    else if (image.transparentColour >= 0)
        key = image.transparentColour;

    int32_t x = o.x, y = o.y, width = o.width, height = o.height;
    if (x < 0 || y < 0) return ERR_NEGCOORDS;
    if (x >= image.width || y >= image.height) return ERR_COORDSRANGE;
    if (width <= 0 || width > image.width - x) width = image.width - x;
    if (height <= 0 || height > image.height - y) height = image.height - y;
    if (image.isVector && (x || y || width != image.width || height != image.height)) return ERR_BRUSHTYPE;

    const bool withAlpha = image.hasAlpha && (o.loadAlpha || image.transparentColour == -2);
    const int hardware = o.hardware && AdapterOffersVideoBitMaps() && !IsVideoRecording();
    qzBitMap* alpha = nullptr;
    error = MakeAlpha(image, cachedAlpha, withAlpha, o, x, y, width, height, &alpha);
    if (error) return error;
    std::unique_ptr<qzBitMap, void (*)(qzBitMap*)> alphaOwner(alpha, DeleteAlphaBitMap);
    qzBitMap *bitmap = nullptr, *mask = nullptr;
    if (!deferred) {
        error = MakeBitmaps(image, key, withAlpha, x, y, width, height, hardware, &bitmap, &mask);
        if (error) return error;
    }
    std::unique_ptr<qzBitMap, void (*)(qzBitMap*)> bitmapOwner(bitmap, DeleteBitMap);
    std::unique_ptr<qzBitMap, void (*)(qzBitMap*)> maskOwner(mask, DeleteMaskBitMap);
    if (deferred && o.cache && !o.cachedLoad) {
        error = CacheImage(o.cache, image, o.loadAlpha || cacheAlpha);
        if (error) return error;
    }

    // A deferred brush and a vector brush keep the image; the others let it go.
    const bool keep = deferred || image.isVector;
    qzBrush* brush = nullptr;
    error = AddBrush(id, image.isVector ? QZ_IMAGETYPE_VECTOR : QZ_IMAGETYPE_RASTER, width, height, width,
                     image.isVector && (o.scaleWidth || o.scaleHeight), keep ? image.source : nullptr, bitmap, key,
                     mask, alpha, hardware ? &o.display : nullptr, &brush);
    if (error) return error;
    if (keep) source.release();
    bitmapOwner.release();
    maskOwner.release();
    alphaOwner.release();
    brush->srcx = x;
    brush->srcy = y;
    brush->srcwidth = width;
    brush->srcheight = height;
    brush->loader = image.loader;
    brush->loaderinfo = uint32_t(image.native);
    if (deferred) {
        brush->hardware = hardware;
    } else if (hardware && bitmap->video) {
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
