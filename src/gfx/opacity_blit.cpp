#include "gfx/opacity_blit.h"

#include <algorithm>

#include "base/error_codes.h"
#include "gfx/bitmap_lock.h"
#include "gfx/channel_ops.h"
#include "gfx/kernels_blend.h"

namespace {

// Cuts the rectangle to the source and the destination; false when nothing is left.
bool Clip(int& sx, int& sy, int& dx, int& dy, int& width, int& height, int sw, int sh, int dw, int dh) {
    if (sx < 0) {
        dx -= sx;
        width += sx;
        sx = 0;
    }
    if (sy < 0) {
        dy -= sy;
        height += sy;
        sy = 0;
    }
    if (dx < 0) {
        sx -= dx;
        width += dx;
        dx = 0;
    }
    if (dy < 0) {
        sy -= dy;
        height += dy;
        dy = 0;
    }
    width = (int)std::min<int64_t>({(int64_t)width, (int64_t)sw - sx, (int64_t)dw - dx});
    height = (int)std::min<int64_t>({(int64_t)height, (int64_t)sh - sy, (int64_t)dh - dy});
    return width > 0 && height > 0;
}

}  // namespace

int BlitBitMapWithOpacity(qzBitMap* destination, const qzBitMap* source, const qzBitMap* sourceMask, int dx, int dy,
                          int sx, int sy, int width, int height, int opacity, const qzBitMap* sourceAlpha,
                          int alphaWidth, int alphaHeight) {
    if (!destination || !source) return 0;
    opacity = std::clamp(opacity, 0, 255);
    int sw = source->width, sh = source->height;
    if (sourceMask) {
        sw = std::min(sw, (int)sourceMask->width);
        sh = std::min(sh, (int)sourceMask->height);
    }
    if (sourceAlpha) {
        sw = std::min({sw, (int)sourceAlpha->width, alphaWidth});
        sh = std::min({sh, (int)sourceAlpha->height, alphaHeight});
    }
    if (!Clip(sx, sy, dx, dy, width, height, sw, sh, destination->width, destination->height)) return 0;

    if (sourceAlpha) {
        // A copy of the alpha channel scaled by the opacity, drawn through like any alpha channel.
        qzBitMap* weighted = CreateAlphaBitMap(sourceAlpha->width, sourceAlpha->height, 0, nullptr, 0);
        if (!weighted) return ERR_ALLOCALPHA;
        int err = ScaleAlphaChannel(sourceAlpha, weighted, sourceAlpha->height, opacity);
        if (!err) {
            BitMapLock src(source, LOCKF_READONLY);
            BitMapLock dst(destination, 0);
            const uint8_t* a = (const uint8_t*)QueryBitMapAttr(weighted, BMATTR_ALPHAPIXELS);
            const int abpr = (int)QueryBitMapAttr(weighted, BMATTR_ALPHABYTESPERROW);
            if (!src.ok || !dst.ok || !a) {
                err = ERR_LOCKBMAP;
            } else if (src.info.bytesPerPixel == 4 && dst.info.bytesPerPixel == 4) {
                AlphaBlendPixels32(src.info.pixels, a, dst.info.pixels, sx, sy, dx, dy, width, height,
                                   src.info.rowLength, abpr, dst.info.rowLength, dst.info.pixelFormat);
            } else if (src.info.bytesPerPixel == 2 && dst.info.bytesPerPixel == 2) {
                AlphaBlendPixels16(src.info.pixels, a, dst.info.pixels, sx, sy, dx, dy, width, height,
                                   src.info.rowLength, abpr, dst.info.rowLength, dst.info.pixelFormat);
            }
        }
        DeleteAlphaBitMap(weighted);
        return err;
    }
    BitMapLock src(source, LOCKF_READONLY);
    BitMapLock dst(destination, 0);
    if (!src.ok || !dst.ok) return ERR_LOCKBMAP;
    const uint8_t* mask = nullptr;
    int maskBytesPerRow = 0;
    if (sourceMask) {
        const uint8_t* bits = (const uint8_t*)QueryBitMapAttr(sourceMask, BMATTR_MASKPIXELS);
        if (!bits) return ERR_LOCKBMAP;
        maskBytesPerRow = (int)QueryBitMapAttr(sourceMask, BMATTR_MASKBYTESPERROW);
        mask = bits + (int64_t)sy * maskBytesPerRow;
    }
    const int bpp = src.info.bytesPerPixel;
    if (bpp != dst.info.bytesPerPixel) return 0;
    const uint8_t* s = (const uint8_t*)src.info.pixels + ((int64_t)sy * src.info.rowLength + sx) * bpp;
    uint8_t* d = (uint8_t*)dst.info.pixels + ((int64_t)dy * dst.info.rowLength + dx) * bpp;
    if (bpp == 4)
        MixPixels32(s, d, mask, sx, maskBytesPerRow, width, height, opacity, dst.info.pixelFormat, src.info.rowLength,
                    dst.info.rowLength);
    else if (bpp == 2)
        MixPixels16(s, d, mask, sx, maskBytesPerRow, width, height, opacity, dst.info.pixelFormat, src.info.rowLength,
                    dst.info.rowLength);
    return 0;
}
