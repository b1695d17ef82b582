#include "gfx/filter_bitmap.h"

#include <cmath>

#include "base/error_codes.h"
#include "gfx/convolve.h"
#include "gfx/effect_lock.h"
#include "gfx/hsl_modulate.h"
#include "gfx/kernels_color.h"
#include "gfx/mask_bits.h"
#include "gfx/oil_paint.h"
#include "gfx/tone_filters.h"

namespace {

// Locks the bitmap and runs kernel(lock info, width, height) on the clipped rectangle.
template <typename Kernel>
int RunOnBitMap(qzBitMap* bitmap, int width, int height, Kernel kernel) {
    BitMapLock lock(bitmap, 0);
    if (!lock.ok) return ERR_LOCKBMAP;
    ClipToLock(lock.info, &width, &height);
    if (LockIsDrawable(lock.info) && width > 0 && height > 0) kernel(lock.info, width, height);
    return 0;
}

}  // namespace

int BlurBitMap(qzBitMap* bitmap, qzBitMap* alpha, int x, int y, int width, int height, double radius, double sigma,
               char mode) {
    BitMapLock lock(bitmap, 0);
    if (!lock.ok) return ERR_LOCKBMAP;
    if (x < 0) width += x, x = 0;
    if (y < 0) height += y, y = 0;
    if (width > lock.info.width - x) width = lock.info.width - x;
    if (height > lock.info.height - y) height = lock.info.height - y;
    if (!LockIsDrawable(lock.info) || width < 1 || height < 1) return 0;
    uint8_t* alphaPixels = nullptr;
    int alphaBytes = 0;
    if (alpha) {
        alphaPixels = (uint8_t*)QueryBitMapAttr(alpha, BMATTR_ALPHAPIXELS);
        alphaBytes = (int)QueryBitMapAttr(alpha, BMATTR_ALPHABYTESPERROW);
        if (alphaPixels) alphaPixels += (size_t)y * alphaBytes + x;
    }
    qzConvolveJob job{LockedPixel(lock.info, x, y),
                      width,
                      height,
                      lock.info.rowLength,
                      lock.info.pixelFormat,
                      lock.info.bytesPerPixel,
                      alphaPixels,
                      alphaBytes,
                      radius,
                      sigma,
                      mode};
    ConvolveBitMapPixels(&job);
    return 0;
}

int SolarizeBitMap(qzBitMap* bitmap, int width, int height, int threshold) {
    return RunOnBitMap(bitmap, width, height, [&](const qzLockInfo& l, int w, int h) {
        if (l.bytesPerPixel == 4)
            SolarizePixels32((uint32_t*)l.pixels, w, h, l.rowLength, l.pixelFormat, threshold);
        else
            SolarizePixels16((uint16_t*)l.pixels, w, h, l.rowLength, l.pixelFormat, threshold);
    });
}

int GammaBitMap(qzBitMap* bitmap, int width, int height, double red, double green, double blue) {
    uint8_t tables[3][256];
    BuildGammaTable(tables[0], red);
    BuildGammaTable(tables[1], green);
    BuildGammaTable(tables[2], blue);
    return RunOnBitMap(bitmap, width, height, [&](const qzLockInfo& l, int w, int h) {
        qzChannelTables job{l.pixels, w, h, l.rowLength, l.pixelFormat, tables[0], tables[1], tables[2], 7};
        if (l.bytesPerPixel == 4)
            ApplyChannelTables32(&job);
        else
            ApplyChannelTables16(&job);
    });
}

int ContrastBitMap(qzBitMap* bitmap, int width, int height, int sharpen, int amount) {
    int sign = sharpen ? 1 : -1;
    return RunOnBitMap(bitmap, width, height, [&](const qzLockInfo& l, int w, int h) {
        for (int i = 0; i < amount; i++) {
            if (l.bytesPerPixel == 4)
                ContrastPixels32((uint32_t*)l.pixels, w, h, l.rowLength, l.pixelFormat, sign);
            else
                ContrastPixels16((uint16_t*)l.pixels, w, h, l.rowLength, l.pixelFormat, sign);
        }
    });
}

int StretchBitMapLevels(qzBitMap* bitmap, int width, int height, int blackCount, int whiteCount,
                        const qzLockInfo* lock) {
    auto run = [&](const qzLockInfo& l, int w, int h) {
        qzLevelsJob job{l.pixels, w, h, l.rowLength, blackCount, whiteCount, l.pixelFormat, l.bytesPerPixel};
        StretchLevels(&job);
    };
    if (!lock) return RunOnBitMap(bitmap, width, height, run);
    if (width > lock->width) width = lock->width;
    if (height > lock->height) height = lock->height;
    if ((lock->bytesPerPixel == 2 || lock->bytesPerPixel == 4) && width > 0 && height > 0) run(*lock, width, height);
    return 0;
}

int AutoStretchBitMapLevels(qzBitMap* bitmap, int width, int height, const qzLockInfo* lock) {
    double n = (double)width * height;
    return StretchBitMapLevels(bitmap, width, height, (int)(n * 0.02), (int)(n * 0.99), lock);
}

int SepiaToneBitMap(qzBitMap* bitmap, int width, int height, double threshold) {
    int err = AutoStretchBitMapLevels(bitmap, width, height);
    if (!err) err = ContrastBitMap(bitmap, width, height, 1, 1);
    if (err) return err;
    return RunOnBitMap(bitmap, width, height, [&](const qzLockInfo& l, int w, int h) {
        if (l.bytesPerPixel == 4)
            SepiaPixels32((uint32_t*)l.pixels, w, h, l.rowLength, l.pixelFormat, threshold);
        else
            SepiaPixels16((uint16_t*)l.pixels, w, h, l.rowLength, l.pixelFormat, threshold);
    });
}

int OilPaintBitMap(qzBitMap* bitmap, int width, int height, double radius) {
    return RunOnBitMap(bitmap, width, height, [&](const qzLockInfo& l, int w, int h) {
        qzOilPaintJob job{l.pixels, w, h, l.rowLength, l.pixelFormat, radius};
        if (l.bytesPerPixel == 4)
            OilPaintPixels32(&job);
        else
            OilPaintPixels16(&job);
    });
}

int ModulateBitMap(qzBitMap* bitmap, int width, int height, int brightness, int saturation, int hue) {
    return RunOnBitMap(bitmap, width, height, [&](const qzLockInfo& l, int w, int h) {
        qzModulateJob job{l.pixels, w, h, l.rowLength, l.pixelFormat, brightness, saturation, hue};
        if (l.bytesPerPixel == 4)
            ModulatePixels32(&job);
        else
            ModulatePixels16(&job);
    });
}

int CharcoalBitMap(qzBitMap* bitmap, int width, int height, double radius, double sigma) {
    int err = BlurBitMap(bitmap, nullptr, 0, 0, width, height, radius, 0, 'g');
    if (!err) err = BlurBitMap(bitmap, nullptr, 0, 0, width, height, radius, sigma, 'b');
    if (!err)
        err = RunOnBitMap(bitmap, width, height, [&](const qzLockInfo& l, int w, int h) {
            if (l.bytesPerPixel == 4) {
                GrayPixels32(l.pixels, w, h, l.pixelFormat, l.rowLength, 0);
                InvertPixels32(l.pixels, w, h, l.rowLength);
            } else {
                GrayPixels16(l.pixels, w, h, l.pixelFormat, l.rowLength, 0);
                InvertPixels16(l.pixels, w, h, l.rowLength);
            }
        });
    if (!err) err = AutoStretchBitMapLevels(bitmap, width, height);
    return err;
}

qzBitMap* BlurAlphaForShadow(const qzBitMap* mask, const qzBitMap* alpha, int sx, int sy, int width, int height,
                             double radius, double sigma, int fullStrength) {
    if (width < 1 || height < 1 || !(radius >= 0.0) || radius > 65535.0) return nullptr;
    int r = (int)radius;
    int64_t w = (int64_t)width + 2 * r, h = (int64_t)height + 2 * r;
    if (w > 0x7FFFFFFF || h > 0x7FFFFFFF) return nullptr;
    qzBitMap* out = CreateAlphaBitMap((int)w, (int)h, 1, nullptr, 0);
    if (!out) return nullptr;
    uint8_t* dst = (uint8_t*)QueryBitMapAttr(out, BMATTR_ALPHAPIXELS);
    int dstBytes = (int)QueryBitMapAttr(out, BMATTR_ALPHABYTESPERROW);
    if (!dst) {
        DeleteAlphaBitMap(out);
        return nullptr;
    }
    const uint8_t* maskBits = mask ? (const uint8_t*)QueryBitMapAttr(mask, BMATTR_MASKPIXELS) : nullptr;
    int maskBytes = mask ? (int)QueryBitMapAttr(mask, BMATTR_MASKBYTESPERROW) : 0;
    const uint8_t* alphaBytes = alpha ? (const uint8_t*)QueryBitMapAttr(alpha, BMATTR_ALPHAPIXELS) : nullptr;
    int alphaRow = alpha ? (int)QueryBitMapAttr(alpha, BMATTR_ALPHABYTESPERROW) : 0;
    for (int y = 0; y < height; y++) {
        uint8_t* row = dst + (size_t)(y + r) * dstBytes + r;
        for (int x = 0; x < width; x++) {
            int64_t px = (int64_t)sx + x, py = (int64_t)sy + y;
            uint8_t v = 255;
            if (maskBits)
                v = GetMaskBit(RowAt(maskBits, py, maskBytes), px) ? 255 : 0;
            else if (alphaBytes)
                v = alphaBytes[py * alphaRow + px];
            row[x] = v;
        }
    }
    BlurAlphaPlane(dst, (int)w, (int)h, dstBytes, radius, sigma);
    if (fullStrength)
        for (int64_t y = 0; y < h; y++)
            for (int64_t x = 0; x < w; x++)
                if (dst[y * dstBytes + x]) dst[y * dstBytes + x] = 255;
    return out;
}
