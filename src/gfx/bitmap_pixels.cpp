#include "gfx/bitmap_pixels.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "base/error_codes.h"
#include "gfx/alpha_extract.h"
#include "gfx/kernels_color.h"
#include "gfx/kernels_convert.h"
#include "gfx/mask_bits.h"
#include "platform/os_alloc.h"

static std::atomic<qzVideoFromPixelsFn> gVideoFromPixels{nullptr};

void SetVideoFromPixelsHook(qzVideoFromPixelsFn hook) { gVideoFromPixels.store(hook); }
qzVideoFromPixelsFn GetVideoFromPixelsHook() { return gVideoFromPixels.load(); }

uint32_t ReadLockedPixel(const qzLockInfo* lock, int x, int y) {
    int bytes = lock->bytesPerPixel;
    if (bytes < 2 || bytes > 4) return 0;
    const uint8_t* p = static_cast<const uint8_t*>(lock->pixels) + bytes * ((int64_t)lock->rowLength * y + x);
    uint32_t value;
    if (bytes == 2) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        value = v;
    } else if (bytes == 3) {
        value = (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2];
    } else {
        std::memcpy(&value, p, 4);
    }
    return ConvertPixelToARGB(value, lock->pixelFormat, 0);
}

static bool Inside(const qzLockInfo& lock, int64_t x, int64_t y) {
    return x >= 0 && y >= 0 && x < lock.width && y < lock.height;
}

uint32_t ReadBitMapPixel(const qzBitMap* bitmap, int x, int y, int isMask) {
    qzLockInfo lock;
    if (!LockBitMapPixels(bitmap, LOCKF_READONLY, &lock)) return 0;
    uint32_t value = 0;
    if (Inside(lock, x, y)) {
        if (isMask)
            value = (uint32_t)GetMaskBit(RowAt(static_cast<const uint8_t*>(lock.pixels), y, lock.rowLength), x);
        else
            value = ReadLockedPixel(&lock, x, y);
    }
    UnlockBitMapPixels(&lock);
    return value;
}

uint32_t* ReadBitMapPixels(const qzBitMap* bitmap, int x, int y, int width, int height, int lockFlags) {
    if (width < 1 || height < 1 || (int64_t)width * height > QZ_MAX_BITMAP_BYTES / 4) return nullptr;
    auto* out = static_cast<uint32_t*>(OsAlloc((size_t)width * (size_t)height * 4, 1));
    if (!out) return nullptr;
    qzLockInfo lock;
    if (!LockBitMapPixels(bitmap, lockFlags, &lock)) {
        OsFree(out);
        return nullptr;
    }
    // The part of the rectangle that lies inside the bitmap.
    int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
    int64_t x1 = std::min<int64_t>((int64_t)x + width, lock.width);
    int64_t y1 = std::min<int64_t>((int64_t)y + height, lock.height);
    bool fast =
        lock.pixelFormat == PIXFMT_RGB565 || (lock.pixelFormat >= PIXFMT_ARGB32 && lock.pixelFormat <= PIXFMT_ABGR32);
    for (int64_t row = y0; row < y1 && x0 < x1; row++) {
        uint32_t* dst = out + (row - y) * width + (x0 - x);
        if (fast) {
            ReadRectToARGB(lock.pixels, dst, (int)x0, (int)row, (int)(x1 - x0), 1, lock.rowLength, lock.bytesPerPixel,
                           lock.pixelFormat);
        } else {
            for (int64_t col = x0; col < x1; col++) *dst++ = ReadLockedPixel(&lock, (int)col, (int)row);
        }
    }
    UnlockBitMapPixels(&lock);
    return out;
}

uint32_t* ReadBitMapPixelsMasked(const qzBitMap* bitmap, int x, int y, int width, int height, const qzBitMap* mask,
                                 const qzBitMap* alpha, uint32_t keyColour, int alphaFromMask, int lockFlags) {
    uint32_t* pixels = ReadBitMapPixels(bitmap, x, y, width, height, lockFlags);
    if (!pixels) return nullptr;
    bool hasKey = keyColour != QZ_NO_KEY_COLOR;
    if (mask && (alphaFromMask || hasKey)) {
        qzLockInfo lock;
        if (!LockBitMapPixels(mask, LOCKF_READONLY, &lock)) {
            OsFree(pixels);
            return nullptr;
        }
        const uint8_t* bits = static_cast<const uint8_t*>(lock.pixels);
        for (int j = 0; j < height; j++) {
            for (int i = 0; i < width; i++) {
                int64_t mx = (int64_t)x + i, my = (int64_t)y + j;
                int visible = Inside(lock, mx, my) ? GetMaskBit(RowAt(bits, my, lock.rowLength), mx) : 0;
                uint32_t& p = pixels[(int64_t)j * width + i];
                if (!visible)
                    p = alphaFromMask ? (p & 0xFFFFFF) : keyColour;
                else if (alphaFromMask)
                    p |= 0xFF000000;
            }
        }
        UnlockBitMapPixels(&lock);
    }
    if (!alpha && !mask) {
        int64_t n = (int64_t)width * height;
        for (int64_t i = 0; i < n; i++) pixels[i] |= 0xFF000000;
    }
    if (alpha) {
        qzLockInfo lock;
        if (!LockBitMapPixels(alpha, LOCKF_READONLY, &lock)) {
            OsFree(pixels);
            return nullptr;
        }
        const uint8_t* bytes = static_cast<const uint8_t*>(lock.pixels);
        for (int j = 0; j < height; j++) {
            for (int i = 0; i < width; i++) {
                int64_t ax = (int64_t)x + i, ay = (int64_t)y + j;
                uint32_t a = Inside(lock, ax, ay) ? RowAt(bytes, ay, lock.rowLength)[ax] : 0;
                uint32_t& p = pixels[(int64_t)j * width + i];
                p = a << 24 | (p & 0xFFFFFF);
                if (a == 0 && hasKey) p = keyColour & 0xFFFFFF;
            }
        }
        UnlockBitMapPixels(&lock);
    }
    return pixels;
}

void WriteARGBToBitMap(const uint32_t* argb, int sx, int sy, int sourceRowBytes, qzBitMap* bitmap, int dx, int dy,
                       int width, int height) {
    qzLockInfo lock;
    if (!LockBitMapPixels(bitmap, 0, &lock)) return;
    // Only the part that lands inside the bitmap is written.
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
    width = (int)std::min<int64_t>(width, (int64_t)lock.width - dx);
    height = (int)std::min<int64_t>(height, (int64_t)lock.height - dy);
    int srcRowLength = sourceRowBytes / 4;
    if (width > 0 && height > 0) {
        if (lock.bytesPerPixel == 4)
            ConvertRowsFromARGB32(argb, lock.pixels, sx, sy, dx, dy, width, height, srcRowLength, lock.rowLength,
                                  lock.pixelFormat);
        else if (lock.bytesPerPixel == 2)
            ConvertRowsARGBTo16(argb, lock.pixels, sx, sy, dx, dy, width, height, srcRowLength, lock.rowLength,
                                lock.pixelFormat);
    }
    UnlockBitMapPixels(&lock);
}

int CreateBitMapFromARGB(const uint32_t* pixels, uint32_t keyColour, int width, int height, int rowLength, int video,
                         int alphaMode, const qzAdapterTag* videoOptions, qzBitMap** outBitmap, qzBitMap** outMask,
                         qzBitMap** outAlpha) {
    if (outMask) *outMask = nullptr;
    if (outAlpha) *outAlpha = nullptr;
    if (video) {
        qzVideoFromPixelsFn hook = gVideoFromPixels.load();
        if (hook && AdapterOffersVideoBitMaps()) {
            int result = hook(pixels, keyColour, width, height, rowLength, alphaMode, videoOptions, outBitmap);
            if (result != QZ_VIDEO_FELL_BACK) return result;
        }
    }
    qzBitMap* bitmap = CreateBitMap(width, height, 0, nullptr);
    if (!bitmap) return ERR_BITMAP;
    WriteARGBToBitMap(pixels, 0, 0, rowLength * 4, bitmap, 0, 0, width, height);

    qzBitMap* mask = nullptr;
    if (keyColour != QZ_NO_KEY_COLOR && outMask) {
        mask = CreateMaskBitMap(bitmap, width, height, 1, nullptr, 0);
        qzLockInfo lock;
        if (!mask || !LockBitMapPixels(mask, 0, &lock)) {
            DeleteMaskBitMap(mask);
            DeleteBitMap(bitmap);
            return ERR_ALLOCMASK;
        }
        KeyColorToMask32(pixels, static_cast<uint8_t*>(lock.pixels), width, height, lock.rowLength,
                         keyColour & 0xFFFFFF, rowLength, 0x00FFFFFF);
        UnlockBitMapPixels(&lock);
    }
    qzBitMap* alpha = nullptr;
    if (video && alphaMode == 2 && outAlpha) {
        alpha = CreateAlphaBitMap(width, height, 0, nullptr, 0);
        qzLockInfo lock;
        if (!alpha || !LockBitMapPixels(alpha, 0, &lock)) {
            DeleteAlphaBitMap(alpha);
            DeleteMaskBitMap(mask);
            DeleteBitMap(bitmap);
            return ERR_ALLOCALPHA;
        }
        ExtractAlphaBytes(pixels, width, height, rowLength, static_cast<uint8_t*>(lock.pixels), lock.rowLength);
        UnlockBitMapPixels(&lock);
    }
    *outBitmap = bitmap;
    if (outMask) *outMask = mask;
    if (outAlpha) *outAlpha = alpha;
    return 0;
}
