#include "anim/anim_source.h"

#include <cstring>
#include <memory>
#include <new>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/channel_ops.h"
#include "image/gif_reader.h"
#include "platform/os_alloc.h"
#include "platform/vfs.h"

enum { QZ_ANIMSOURCE_GIF = 2 };

struct qzAnimSource {
    void* handle;
    uint32_t type;
};

namespace {

constexpr int kOpenMode = QZ_VFS_READ | QZ_VFS_ADAPTERS | QZ_VFS_SEEKEMU;

const char* AdapterListOrNull(const char* list) { return list && *list ? list : nullptr; }

}  // namespace

int OpenAnimSource(const char* file, const char* adapterList, int loadTransparency, qzAnimSource** out, int32_t* width,
                   int32_t* height, int32_t* frames, int* hasAlpha) {
    *out = nullptr;
    *width = *height = *frames = 0;
    *hasAlpha = 0;
    qzVfsFileOwner owner(VfsOpen(file, kOpenMode, AdapterListOrNull(adapterList)));
    if (!owner) {
        SetErrorArgString(file);
        return ERR_READFILE;
    }
    uint8_t head[12];
    if (VfsRead(owner.get(), head, sizeof head) != sizeof head) return ERR_READ;
    const bool gif = std::memcmp(head, "GIF87", 5) == 0 || std::memcmp(head, "GIF89", 5) == 0;
    if (!gif) {
        SetErrorArgString(file);
        return ERR_OPENANIM2;
    }
    if (VfsSeek(owner.get(), 0, QZ_VFS_SEEK_BEGINNING) < 0) return ERR_SEEKFILE;
    qzAnimSource* source = new (std::nothrow) qzAnimSource{};
    if (!source) return ERR_MEM;
    int w = 0, h = 0, n = 0;
    qzGifReader* reader = OpenGifAnim(owner.release(), &w, &h, &n, 0, 0, loadTransparency);
    if (!reader || n < 1 || w < 1 || h < 1) {
        CloseGifAnim(reader);
        delete source;
        SetErrorArgString(file);
        return ERR_OPENANIM2;
    }
    source->handle = reader;
    source->type = QZ_ANIMSOURCE_GIF;
    *width = w;
    *height = h;
    *frames = n;
    // Pixels no frame has drawn are transparent: every GIF frame carries alpha.
    *hasAlpha = 1;
    *out = source;
    return 0;
}

uint32_t* LoadAnimSourceFrame(qzAnimSource* source, int32_t index, int* hasTransparentPen) {
    *hasTransparentPen = 0;
    if (!source || source->type != QZ_ANIMSOURCE_GIF) return nullptr;
    return LoadGifAnimFrame(static_cast<qzGifReader*>(source->handle), index, hasTransparentPen);
}

// Decodes and converts frame index of the source: the mask from the key colour, the alpha
// channel from the pixels when asked or when the frame has a transparent pen.
int DecodeAnimSourceFrame(qzAnimSource* source, int32_t index, int32_t width, int32_t height, int32_t key,
                          int loadAlpha, int loadTransparency, const char* file, qzBitMap** bitmap, qzBitMap** mask,
                          qzBitMap** alpha) {
    int pen = 0;
    uint32_t* pixels = LoadAnimSourceFrame(source, index, &pen);
    if (!pixels) return ERR_LOADFRAME;
    std::unique_ptr<uint32_t, void (*)(void*)> owner(pixels, OsFree);
    if (loadTransparency && !pen) {
        SetErrorArgString(file);
        return ERR_NOTRANSPARENCY;
    }
    int error = CreateBitMapFromARGB(pixels, key >= 0 ? (uint32_t)key : QZ_NO_KEY_COLOR, width, height, width, 0, 0,
                                     nullptr, bitmap, mask, nullptr);
    if (error) return error;
    if (loadAlpha || pen) {
        *alpha = CreateAlphaBitMapFromData(pixels, width, height, width);
        if (!*alpha) {
            DeleteBitMap(*bitmap);
            DeleteMaskBitMap(*mask);
            *bitmap = *mask = nullptr;
            return ERR_ALLOCALPHA;
        }
    }
    return 0;
}

uint32_t GetAnimSourceFrameDelay(const qzAnimSource* source, int32_t index) {
    if (!source || source->type != QZ_ANIMSOURCE_GIF) return 0;
    return GetGifAnimFrameDelay(static_cast<const qzGifReader*>(source->handle), index);
}

void CloseAnimSource(qzAnimSource* source) {
    if (!source) return;
    if (source->type == QZ_ANIMSOURCE_GIF) CloseGifAnim(static_cast<qzGifReader*>(source->handle));
    delete source;
}

int IsAnimFile(const char* file, const char* adapterList) {
    qzAnimSource* source = nullptr;
    int32_t width = 0, height = 0, frames = 0;
    int alpha = 0;
    if (OpenAnimSource(file, adapterList, 0, &source, &width, &height, &frames, &alpha)) return 0;
    CloseAnimSource(source);
    return frames > 1 ? 1 : 0;
}
