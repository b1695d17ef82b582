#include "image/image_save.h"

#include <algorithm>
#include <memory>

#include "base/error_codes.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/plugin_gfx_services.h"
#include "gfx/quantize_bitmap.h"
#include "image/bmp_writer.h"
#include "image/gif_writer.h"
#include "image/ilbm.h"
#include "image/image_out_file.h"
#include "image/jpeg_codec.h"
#include "image/png_codec.h"
#include "platform/os_alloc.h"
#include "platform/plugin_api.h"
#include "platform/vfs.h"
#include "runtime/plugin_manager.h"

namespace {

struct OsFreeDeleter {
    void operator()(void* p) const { OsFree(p); }
};

int SavePng(const char* name, const uint32_t* pixels, int width, int height, int hasAlpha) {
    qzPngSaveRequest request{name, pixels, width * 4, width, height, hasAlpha ? 1 : 0, 0};
    SavePNG(&request);
    return request.error;
}

int SaveJpeg(const char* name, const uint32_t* pixels, int width, int height, int quality) {
    qzImageOutFile out;
    int rc = OpenImageOutFile(name, &out);
    if (rc) return rc;
    // Native words 0xAARRGGBB lie in memory as blue, green, red, alpha.
    qzJpegEncodeRequest request{pixels, width * 4, width, height, quality, 1, nullptr, nullptr, 0, 0};
    EncodeJPEG(&request);
    if (request.error) {
        FreeJPEGBuffer(request.result);
        AbortImageOutFile(&out);
        return request.error;
    }
    rc = VfsWrite(out.file, request.data, request.size) == request.size ? 0 : ERR_WRITE;
    FreeJPEGBuffer(request.result);
    if (rc) {
        AbortImageOutFile(&out);
        return rc;
    }
    rc = CommitImageOutFile(&out, name);
    return rc == ERR_WRITE ? ERR_CLOSEFILE : rc;
}

// Palette indices and a palette for the pixels: null when out of memory or the quantiser found no
// colours.
struct Quantized {
    std::unique_ptr<uint8_t, OsFreeDeleter> indices;
    uint32_t palette[256] = {};
    int count = 0;
    int transparentIndex = -1;
};
bool Quantize(const uint32_t* pixels, int width, int height, int colours, int32_t keyColour, int dither,
              Quantized* out) {
    out->indices.reset(static_cast<uint8_t*>(OsAlloc((size_t)width * (size_t)height, 0)));
    if (!out->indices) return false;
    out->count = QuantizeImage(pixels, PIXFMT_ARGB32, 4, width, height, width, out->indices.get(), out->palette,
                               std::clamp(colours, 2, 256), keyColour, 0, dither, &out->transparentIndex);
    return out->count > 0;
}

int SaveGif(const char* name, const uint32_t* pixels, int width, int height, int32_t keyColour, int colours,
            int dither) {
    Quantized q;
    if (!Quantize(pixels, width, height, colours, keyColour, dither, &q)) return ERR_MEM;
    return SaveGifImage(name, q.indices.get(), width, height, q.palette, q.count, q.transparentIndex);
}

// The first enabled image-saver plugin that lists the format, with that format's flags.
const qzPluginInfo* FindImageSaver(int format, uint32_t* formatFlags) {
    qzLoadedPlugin* list = GetLoadedPluginList();
    const qzPluginInfo* found = nullptr;
    for (qzLoadedPlugin* p = list; p && !found; p = p->next) {
        const qzPluginInfo* info = p->info;
        if (info->disabled || !(info->capabilities & QZ_PLUGINCAPS_SAVEIMAGE) || !info->SaveImage) continue;
        for (const qzSaverFormat* f = info->imageSaverFormats; f && (f->flags || f->formatId || f->name); ++f) {
            if (f->formatId == format) {
                *formatFlags = f->flags;
                found = info;
                break;
            }
        }
    }
    OsFree(list);
    return found;
}

int SaveThroughPlugin(int format, const uint32_t* pixels, int width, int height, const char* name, int32_t keyColour,
                      int hasAlpha, int quality, int colours, int dither) {
    uint32_t formatFlags = 0;
    const qzPluginInfo* saver = FindImageSaver(format, &formatFlags);
    if (!saver) return ERR_UNKNOWNIMGOUT;
    Quantized q;
    const bool paletted = !(formatFlags & QZ_SAVERFMT_ARGB);
    if (paletted && !Quantize(pixels, width, height, colours, keyColour, dither, &q)) return ERR_MEM;
    uint32_t flags = 0;
    if ((formatFlags & QZ_SAVERFMT_ALPHA) && hasAlpha) flags |= 1;
    if (paletted && keyColour != -1 && q.transparentIndex >= 0) flags |= 2;
    const qzTagItem tags[] = {
        {QZ_SAVEIMAGETAG_PALETTE, paletted ? (intptr_t)q.palette : 0},
        {QZ_SAVEIMAGETAG_FLAGS, (intptr_t)flags},
        {QZ_SAVEIMAGETAG_TRANSPARENT, (flags & 2) ? q.transparentIndex : -1},
        {QZ_SAVEIMAGETAG_QUALITY, quality},
        {0, 0},
    };
    const void* data = paletted ? static_cast<const void*>(q.indices.get()) : pixels;
    int ok = saver->SaveImage(name, static_cast<const uint32_t*>(data), width, height, width, format, tags);
    return ok ? 0 : ERR_SAVEIMAGE;
}

}  // namespace

int SaveImageFile(int format, const uint32_t* pixels, int width, int height, const char* fileName, int32_t keyColour,
                  int hasAlpha, int quality, int colours, int dither) {
    if (!pixels || width < 1 || height < 1) return ERR_BADDIMENSIONS;
    switch (format) {
    case IMGFMT_BMP: return SaveBMP(fileName, pixels, width, height);
    case IMGFMT_PNG: return SavePng(fileName, pixels, width, height, hasAlpha);
    case IMGFMT_JPEG: return SaveJpeg(fileName, pixels, width, height, quality);
    case IMGFMT_GIF: return SaveGif(fileName, pixels, width, height, keyColour, colours, dither);
    case IMGFMT_ILBM: return SaveILBM(fileName, pixels, width, height);
    default:
        return SaveThroughPlugin(format, pixels, width, height, fileName, keyColour, hasAlpha, quality, colours,
                                 dither);
    }
}

int SaveBitMapAsImage(int format, const qzBitMap* bitmap, int width, int height, const char* fileName,
                      const qzBitMap* mask, int32_t keyColour, const qzBitMap* alpha, int quality, int colours,
                      int dither, int isVideo) {
    if (!bitmap) return ERR_MEM;
    uint32_t* pixels = nullptr;
    if (isVideo) {
        // The adapter's video bitmap is read into an ordinary one first.
        qzBitMap* copy = CreateBitMap(width, height, 0, nullptr);
        if (copy && ReadVideoBitMapPixels(bitmap, copy) == 0)
            pixels =
                ReadBitMapPixelsMasked(copy, 0, 0, width, height, mask, alpha, (uint32_t)keyColour, 0, LOCKF_READONLY);
        DeleteBitMap(copy);
    } else {
        pixels =
            ReadBitMapPixelsMasked(bitmap, 0, 0, width, height, mask, alpha, (uint32_t)keyColour, 0, LOCKF_READONLY);
    }
    if (!pixels) return ERR_MEM;
    // Owned while the writers run: they may run out of memory themselves.
    std::unique_ptr<uint32_t, void (*)(void*)> owner(pixels, OsFree);
    return SaveImageFile(format, pixels, width, height, fileName, keyColour, alpha != nullptr, quality, colours,
                         dither);
}
