#include "anim/anim_save.h"

#include <memory>

#include "anim/anim.h"
#include "base/error_codes.h"
#include "base/pixel_format_codes.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/quantize_bitmap.h"
#include "image/avi_writer.h"
#include "image/gif_writer.h"
#include "platform/chunk_name.h"
#include "platform/os_alloc.h"

namespace {

struct WriterOwner {
    qzGifWriter* writer = nullptr;
    ~WriterOwner() { AbortGifWriter(writer); }
};

// A frame's bitmaps, freed when they were made for the caller.
struct FrameOwner {
    qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    int owned = 0;
    ~FrameOwner() {
        if (owned) FreeAnimFrameBitmaps(bitmap, mask, alpha);
    }
};

// Frame index reduced to a palette and appended to the writer.
int WriteFrame(qzAnim* anim, int32_t index, qzGifWriter* writer, uint8_t* indices, const qzAnimSaveOptions& o) {
    qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    int owned = 0;
    int error = GetAnimFrameBitmaps(anim, index, 0, 0, &bitmap, &mask, &alpha, &owned);
    if (error) return error;
    error = WriteGifBitMapFrame(writer, bitmap, mask, alpha, anim->width, anim->height,
                                (int)GetAnimFrameDelay(anim, index), indices, o);
    if (owned) FreeAnimFrameBitmaps(bitmap, mask, alpha);
    return error;
}

}  // namespace

int WriteGifBitMapFrame(qzGifWriter* writer, const qzBitMap* bitmap, const qzBitMap* mask, const qzBitMap* alpha,
                        int32_t width, int32_t height, int32_t delay, uint8_t* indices, const qzAnimSaveOptions& o) {
    // Hidden pixels take the transparency colour, so that they become the transparent index.
    const uint32_t key = o.transparentColor >= 0 ? (uint32_t)o.transparentColor : QZ_NO_KEY_COLOR;
    uint32_t* pixels = ReadBitMapPixelsMasked(bitmap, 0, 0, width, height, mask, alpha, key, 0, LOCKF_READONLY);
    if (!pixels) return ERR_MEM;
    std::unique_ptr<uint32_t, void (*)(void*)> pixelOwner(pixels, OsFree);
    uint32_t palette[256];
    int transparentIndex = -1;
    const int count = QuantizeImage(pixels, PIXFMT_ARGB32, 4, width, height, width, indices, palette, o.colours,
                                    o.transparentColor, 0, o.dither, &transparentIndex);
    if (count < 1) return ERR_MEM;
    return WriteGifFrame(writer, indices, width, height, delay, palette, count, transparentIndex, o.optimize, 1);
}

int SaveAnimAsGif(qzAnim* anim, const char* file, const qzAnimSaveOptions& o) {
    std::unique_ptr<uint8_t, void (*)(void*)> indices(
        static_cast<uint8_t*>(OsAlloc((size_t)anim->width * (size_t)anim->height, 0)), OsFree);
    if (!indices) return ERR_MEM;
    WriterOwner owner;
    int error = BeginGifWriter(file, anim->width, anim->height, 0, &owner.writer);
    if (error) return error;
    for (int32_t i = 0; i < anim->frames; i++) {
        error = WriteFrame(anim, i, owner.writer, indices.get(), o);
        if (error) return error;
    }
    qzGifWriter* writer = owner.writer;
    owner.writer = nullptr;
    return FinishGifWriter(writer);
}

int WriteAviBitMapFrame(qzAviWriter* writer, const qzBitMap* bitmap, int32_t width, int32_t height) {
    uint32_t* pixels =
        ReadBitMapPixelsMasked(bitmap, 0, 0, width, height, nullptr, nullptr, QZ_NO_KEY_COLOR, 0, LOCKF_READONLY);
    if (!pixels) return ERR_MEM;
    std::unique_ptr<uint32_t, void (*)(void*)> pixelOwner(pixels, OsFree);
    return WriteAviFrame(writer, pixels);
}

int SaveAnimAsAvi(qzAnim* anim, const char* file, int quality, int fps) {
    qzAviWriter* writer = nullptr;
    int error = OpenAviWriter(file, fps, anim->width, anim->height, quality, GetDisplayFileName(file).c_str(),
                              kAviFirstPartLimit, &writer);
    if (error) return error;
    std::unique_ptr<qzAviWriter, void (*)(qzAviWriter*)> owner(writer, AbortAviWriter);
    for (int32_t i = 0; i < anim->frames; i++) {
        FrameOwner frame;
        error = GetAnimFrameBitmaps(anim, i, 0, 0, &frame.bitmap, &frame.mask, &frame.alpha, &frame.owned);
        if (error) return error;
        error = WriteAviBitMapFrame(writer, frame.bitmap, anim->width, anim->height);
        if (error) return error;
    }
    return FinishAviWriter(owner.release());
}
