#include "gfx/copy_bitmap.h"

#include <cstring>

#include "base/error_codes.h"
#include "gfx/bitmap_lock.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/channel_ops.h"
#include "gfx/kernels_copy.h"
#include "gfx/mask_bits.h"
#include "platform/os_alloc.h"

namespace {

bool Inside(const qzBitMap* bm, int x, int y, int w, int h) {
    return x >= 0 && y >= 0 && w > 0 && h > 0 && (int64_t)x + w <= bm->width && (int64_t)y + h <= bm->height;
}

// The colour pixels of the region into `target` at 0, 0: whole pixels when the formats match,
// through 0xAARRGGBB otherwise.
int CopyColour(const qzBitMap* source, int sx, int sy, int width, int height, qzBitMap* target) {
    BitMapLock src(source, LOCKF_READONLY);
    BitMapLock dst(target, 0);
    if (!src.ok || !dst.ok) return ERR_LOCKBMAP;
    if (src.info.pixelFormat == dst.info.pixelFormat && (src.info.bytesPerPixel == 4 || src.info.bytesPerPixel == 2)) {
        qzCopyJob job{src.info.pixels,
                      dst.info.pixels,
                      sx,
                      sy,
                      0,
                      0,
                      width,
                      height,
                      src.info.rowLength,
                      dst.info.rowLength,
                      0,
                      src.info.pixelFormat};
        if (src.info.bytesPerPixel == 4)
            CopyPixels32(&job);
        else
            CopyPixels16(&job);
        return 0;
    }
    const int dbpp = dst.info.bytesPerPixel;
    if (dbpp != 2 && dbpp != 4) return 0;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            const uint32_t v = ConvertARGBToPixel(ReadLockedPixel(&src.info, sx + x, sy + y), dst.info.pixelFormat, 0);
            uint8_t* p = (uint8_t*)dst.info.pixels + ((int64_t)y * dst.info.rowLength + x) * dbpp;
            if (dbpp == 4) {
                std::memcpy(p, &v, 4);
            } else {
                const uint16_t h = (uint16_t)v;
                std::memcpy(p, &h, 2);
            }
        }
    return 0;
}

}  // namespace

int CopyBitMap(const qzBitMap* source, const qzBitMap* mask, const qzBitMap* alpha, int sx, int sy, int width,
               int height, int asVideo, qzBitMap** outBitmap, qzBitMap** outMask, qzBitMap** outAlpha) {
    if (!source || !Inside(source, sx, sy, width, height) || (mask && !Inside(mask, sx, sy, width, height)) ||
        (alpha && !Inside(alpha, sx, sy, width, height)))
        return ERR_WRONGUSAGE;
    MadeBitMaps made;
    if (asVideo) {
        uint32_t* argb = ReadBitMapPixels(source, sx, sy, width, height, LOCKF_READONLY);
        if (!argb) return ERR_MEM;
        int err = CreateBitMapFromARGB(argb, QZ_NO_KEY_COLOR, width, height, width, 1, 0, nullptr, &made.bitmap,
                                       nullptr, nullptr);
        OsFree(argb);
        if (err) return err;
    } else {
        if (!(made.bitmap = CreateBitMap(width, height, 0, nullptr))) return ERR_BITMAP;
        if (int err = CopyColour(source, sx, sy, width, height, made.bitmap)) return err;
    }
    if (mask) {
        if (!(made.mask = CreateMaskBitMap(made.bitmap, width, height, 1, nullptr, 0))) return ERR_ALLOCMASK;
        const uint8_t* from = (const uint8_t*)QueryBitMapAttr(mask, BMATTR_MASKPIXELS);
        uint8_t* to = (uint8_t*)QueryBitMapAttr(made.mask, BMATTR_MASKPIXELS);
        if (!from || !to) return ERR_LOCKBMAP;
        const int64_t fromBpr = QueryBitMapAttr(mask, BMATTR_MASKBYTESPERROW);
        const int64_t toBpr = QueryBitMapAttr(made.mask, BMATTR_MASKBYTESPERROW);
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++)
                PutMaskBit(to + y * toBpr, x, GetMaskBit(from + (sy + y) * fromBpr, (int64_t)sx + x));
    }
    if (alpha) {
        if (!(made.alpha = CreateAlphaBitMap(width, height, 1, nullptr, 0))) return ERR_ALLOCALPHA;
        if (int err = BlitAlphaRect(alpha, sx, sy, made.alpha, 0, 0, width, height, 0, 0)) return err;
    }
    made.Release(outBitmap, outMask, outAlpha);
    return 0;
}
