#include "anim/anim_load.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "anim/anim.h"
#include "anim/anim_source.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/channel_ops.h"
#include "gfx/copy_bitmap.h"
#include "gfx/image_cache.h"
#include "gfx/image_source.h"
#include "platform/chunk_name.h"
#include "platform/os_alloc.h"
#include "runtime/console.h"
#include "runtime/error_messages.h"
#include "runtime/error_texts.h"
#include "runtime/runtime.h"

namespace {

using SourceOwner = std::unique_ptr<qzAnimSource, void (*)(qzAnimSource*)>;

char* CopyText(const char* text) {
    if (!text || !*text) return nullptr;
    const size_t length = std::strlen(text);
    char* copy = new char[length + 1];
    std::memcpy(copy, text, length + 1);
    return copy;
}

// ERR_NOALPHA, whose message names the file.
int NoAlpha(const char* file) {
    SetErrorArgString(GetDisplayFileName(file).c_str());
    return ERR_NOALPHA;
}

// Per-frame arrays being filled; freed with what they hold unless handed on.
struct Frames {
    qzBitMap** bitmaps = nullptr;
    qzBitMap** masks = nullptr;
    qzBitMap** alphas = nullptr;
    int32_t count = 0;
    // Each array has an owner until all three are made: running out of memory for a later one
    // frees the earlier ones.
    explicit Frames(int32_t n) {
        std::unique_ptr<qzBitMap*[]> b(new qzBitMap*[n]()), m(new qzBitMap*[n]()), a(new qzBitMap*[n]());
        bitmaps = b.release();
        masks = m.release();
        alphas = a.release();
        count = n;
    }
    ~Frames() { FreeAnimFrameArrays(bitmaps, masks, alphas, count); }
    void Release() { bitmaps = masks = alphas = nullptr; }
};

// An anim of the source's frames: decoded now, or kept on disk.
int AnimFromSource(const qzObjectId& id, const qzAnimLoadOptions& o, SourceOwner& source, int32_t width, int32_t height,
                   int32_t count, qzAnim** out) {
    // A copy reopens the file through the loader that opened it.
    std::unique_ptr<char[]> file(CopyText(o.file)), loaders(CopyText(AnimSourceLoaderName(source.get()))),
        adapters(CopyText(o.adapters));
    qzAnim* anim = nullptr;
    if (o.fromDisk) {
        int error = AddAnimObject(id, width, height, nullptr, nullptr, nullptr, count, o.transparentColor, o.loadAlpha,
                                  1, &anim);
        if (error) return error;
        anim->source = source.release();
        anim->file = file.release();
        anim->loaders = loaders.release();
        anim->adapters = adapters.release();
    } else {
        Frames frames(count);
        for (int32_t i = 0; i < count; i++) {
            int error = DecodeAnimSourceFrame(source.get(), i, width, height, o.transparentColor, o.loadAlpha,
                                              o.loadTransparency, o.file, &frames.bitmaps[i], &frames.masks[i],
                                              &frames.alphas[i]);
            if (error) return error;
        }
        int error = AddAnimObject(id, width, height, frames.bitmaps, frames.masks, frames.alphas, count,
                                  o.transparentColor, o.loadAlpha, 0, &anim);
        if (error) return error;
        frames.Release();
        for (int32_t i = 0; i < count; i++) anim->delays[i] = GetAnimSourceFrameDelay(source.get(), i);
    }
    anim->loadtransparency = o.loadTransparency;
    anim->deinterlace = o.deinterlace;
    *out = anim;
    return 0;
}

// The picture of a cached load: the cache's image (one reference for the caller) and, when the
// alpha channel is asked for, a copy of it. 0 or ERR_CACHEERROR, ERR_MEM.
int TakeCachedPicture(const qzAnimLoadOptions& o, qzImageSourceResult* image, qzBitMap** alpha) {
    int width = 0, height = 0, depth = 0;
    void* object = nullptr;
    uint32_t flags = 0;
    int error = FindImageInCache(o.cachedLoad, o.loadAlpha, &width, &height, &depth, &object, alpha, &flags);
    if (error) return error;
    auto* source = static_cast<qzImageSource*>(object);
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
    return 0;
}

// An anim of a picture: one frame, or the grid the options describe. The picture is the cached
// one when one is given (taken over with its alpha copy), else the file is read. While objects
// are preloaded a picture read from the file goes into the image cache when the options ask.
int AnimFromPicture(VmState* state, const qzObjectId& id, const qzAnimLoadOptions& o, bool preloading,
                    const qzImageSourceResult* cached, qzBitMap* cachedAlpha, qzAnim** out) {
    const bool cacheAlpha = preloading && o.cache && o.cacheAlpha && !o.loadAlpha;
    qzImageSourceResult image{};
    int error = 0;
    if (cached) {
        image = *cached;
    } else {
        qzImageSourceRequest request;
        request.file = o.file;
        request.loaderList = o.loaders;
        request.adapterList = o.adapters;
        request.keyColour = o.transparentColor;
        // The alpha channel that goes to the cache is read even though this anim does not keep it.
        request.loadAlpha = o.loadAlpha || cacheAlpha;
        request.acceptMissingAlpha = !o.loadAlpha;
        request.loadTransparency = o.loadTransparency;
        error = OpenImageSource(state, &request, &image);
        if (error) return error;
    }
    std::unique_ptr<qzImageSource, void (*)(qzImageSource*)> owner(image.source, FreeImageSource);
    std::unique_ptr<qzBitMap, void (*)(qzBitMap*)> cachedAlphaOwner(cachedAlpha, DeleteAlphaBitMap);
    if (image.isVector) {
        SetErrorArgString(o.file);
        return ERR_OPENANIM2;
    }
    if (cached && o.loadTransparency && image.transparentColour == -1) {
        SetErrorArgString(o.file);
        return ERR_NOTRANSPARENCY;
    }
    const int32_t key = image.transparentColour >= 0 ? image.transparentColour : o.transparentColor;
    const uint32_t* pixels = GetImageSourcePixels(image.source);
    if (!pixels) return ERR_MEM;
    const int rowLength = image.rowLength > 0 ? image.rowLength : image.width;
    if (preloading && o.cache && !cached) {
        qzBitMap* alpha = nullptr;
        if ((o.loadAlpha || cacheAlpha) && image.hasAlpha) {
            alpha = CreateAlphaBitMapFromData(pixels, image.width, image.height, rowLength);
            if (!alpha) return ERR_ALLOCALPHA;
        }
        error = AddImageToCache(o.cache, image.width, image.height, image.hasAlpha ? 32 : 24, image.source, alpha, 0);
        DeleteAlphaBitMap(alpha);
        if (error) return error;
    }
    qzBitMap *bitmap = nullptr, *mask = nullptr;
    error = CreateBitMapFromARGB(pixels, key >= 0 ? (uint32_t)key : QZ_NO_KEY_COLOR, image.width, image.height,
                                 rowLength, 0, 0, nullptr, &bitmap, &mask, nullptr);
    if (error) return error;
    qzBitMap* alpha = nullptr;
    if (o.loadAlpha && cachedAlpha) {
        alpha = cachedAlphaOwner.release();
    } else if (o.loadAlpha && image.hasAlpha) {
        alpha = CreateAlphaBitMapFromData(pixels, image.width, image.height, rowLength);
        if (!alpha) {
            DeleteBitMap(bitmap);
            DeleteMaskBitMap(mask);
            return ERR_ALLOCALPHA;
        }
    }
    owner.reset();
    qzAnimGrid grid = {0, 0, image.width, image.height, 1, 1};
    if (o.width > 0 && o.height > 0) {
        // A grid needs a frame count.
        if (o.frames <= 0) error = ERR_WRONGUSAGE;
        grid = {o.x, o.y, o.width, o.height, o.frames, o.fpr};
    }
    if (!error) error = CreateAnimFromBitmaps(id, bitmap, mask, alpha, image.width, image.height, &grid, key, out);
    DeleteBitMap(bitmap);
    DeleteMaskBitMap(mask);
    DeleteAlphaBitMap(alpha);
    return error;
}

int Load(VmState* state, const qzObjectId& id, const qzAnimLoadOptions& o, bool preloading, qzAnim** out) {
    // A picture the cache holds is taken from there without opening the file.
    if (preloading && o.cachedLoad) {
        qzImageSourceResult cached{};
        qzBitMap* cachedAlpha = nullptr;
        if (TakeCachedPicture(o, &cached, &cachedAlpha) == 0)
            return AnimFromPicture(state, id, o, preloading, &cached, cachedAlpha, out);
    }
    if (o.frames <= 0) {
        qzAnimSource* opened = nullptr;
        int32_t width = 0, height = 0, count = 0;
        int hasAlpha = 0;
        const qzPluginInfo* loader = nullptr;
        int error = OpenAnimSource(o.file, o.loaders, o.adapters, o.deinterlace, o.loadTransparency, &opened, &width,
                                   &height, &count, &hasAlpha, &loader);
        if (!error) {
            SourceOwner source(opened, CloseAnimSource);
            if (o.skipLoopFrames && AnimSourceHasLoopFrames(opened)) {
                if (count < 3) return ERR_WRONGUSAGE;
                count -= 2;
            }
            if (o.loadAlpha && !hasAlpha) return NoAlpha(o.file);
            return AnimFromSource(id, o, source, width, height, count, out);
        }
        if (error != ERR_OPENANIM2) return error;
    }
    return AnimFromPicture(state, id, o, preloading, nullptr, nullptr, out);
}

}  // namespace

int CheckAnimLoadOptions(const qzAnimLoadOptions& o) {
    if (o.loadTransparency && o.transparentColor >= 0) return ERR_WRONGUSAGE;
    if (o.loadAlpha && o.loadTransparency) return ERR_WRONGUSAGE;
    if (o.loadAlpha && o.transparentColor >= 0) return ERR_MASKNALPHA;
    if (o.frames > 0 && o.fromDisk) return ERR_WRONGUSAGE;
    return 0;
}

int LoadAnimFile(VmState* state, const qzObjectId& id, const qzAnimLoadOptions& options, qzAnim** out) {
    *out = nullptr;
    int error = CheckAnimLoadOptions(options);
    if (error) return error;
    if (!IsAutoObjectId(id) && !id.pointer) {
        error = FreeAnimObject(state, id, 0);
        if (error) return error;
    }
    PrintProgressStart(GetCatalogText(QZ_MSG_LOADINGANIM), options.file, true);
    int preloading = 0;
    GetRuntimeAttrs(state, {{QZ_RTA_PRELOADING, &preloading}});
    error = Load(state, id, options, preloading != 0, out);
    if (error)
        PrintProgressFailed();
    else
        PrintProgressDone();
    return error;
}

int LoadAnimFileQuietly(VmState* state, const qzObjectId& id, const qzAnimLoadOptions& options, qzAnim** out) {
    *out = nullptr;
    int error = CheckAnimLoadOptions(options);
    if (error) return error;
    return Load(state, id, options, false, out);
}

int CreateAnimFromBitmaps(const qzObjectId& id, const qzBitMap* bitmap, const qzBitMap* mask, const qzBitMap* alpha,
                          int32_t width, int32_t height, const qzAnimGrid* grid, int32_t transparentColor,
                          qzAnim** out) {
    *out = nullptr;
    const int32_t count = grid->frames;
    const int32_t fpr = grid->fpr > 0 ? grid->fpr : count;
    if (grid->width <= 0 || grid->height <= 0 || count <= 0) return ERR_WRONGUSAGE;
    const int64_t rows = count / fpr + (count % fpr ? 1 : 0);
    if (grid->x < 0 || grid->y < 0) return ERR_NEGCOORDS;
    if ((int64_t)grid->x + (int64_t)grid->width * std::min<int64_t>(fpr, count) > width ||
        (int64_t)grid->y + rows * grid->height > height)
        return ERR_BRUSHSIZE;
    Frames frames(count);
    for (int32_t k = 0; k < count; k++) {
        const int32_t sx = grid->x + (k % fpr) * grid->width;
        const int32_t sy = grid->y + (k / fpr) * grid->height;
        int error = CopyBitMap(bitmap, mask, alpha, sx, sy, grid->width, grid->height, 0, &frames.bitmaps[k],
                               mask ? &frames.masks[k] : nullptr, alpha ? &frames.alphas[k] : nullptr);
        if (error) return error;
    }
    int error = AddAnimObject(id, grid->width, grid->height, frames.bitmaps, frames.masks, frames.alphas, count,
                              transparentColor, alpha != nullptr, 0, out);
    if (error) return error;
    frames.Release();
    return 0;
}

int LoadAnimFileFrame(const qzAnimLoadOptions& o, int32_t frame, qzBitMap** bitmap, qzBitMap** mask, qzBitMap** alpha,
                      int32_t* width, int32_t* height) {
    *bitmap = *mask = *alpha = nullptr;
    if ((o.loadAlpha && o.loadTransparency) || (o.loadTransparency && o.transparentColor >= 0)) return ERR_WRONGUSAGE;
    qzAnimSource* opened = nullptr;
    int32_t count = 0;
    int hasAlpha = 0;
    int error = OpenAnimSource(o.file, o.loaders, o.adapters, o.deinterlace, o.loadTransparency, &opened, width, height,
                               &count, &hasAlpha, nullptr);
    if (error) return error;
    SourceOwner source(opened, CloseAnimSource);
    if (o.loadAlpha && !hasAlpha) return NoAlpha(o.file);
    if (frame == -1) frame = count;
    if (frame < 1 || frame > count) return ERR_ANIMFRAME;
    return DecodeAnimSourceFrame(source.get(), frame - 1, *width, *height, o.transparentColor, o.loadAlpha,
                                 o.loadTransparency, o.file, bitmap, mask, alpha);
}
