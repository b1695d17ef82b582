#include "gfx/kernels_copy.h"

#include <cstring>

#include "gfx/kernels_convert.h"
#include "gfx/mask_bits.h"

void CopyPixels32(const qzCopyJob* job) {
    int width = job->width, height = job->height;
    if (width < 1 || height < 1) return;
    const uint32_t* src = static_cast<const uint32_t*>(job->srcPixels);
    if (job->convert == 0) {
        for (int j = 0; j < height; j++) {
            const uint32_t* s = src + ((int64_t)(job->srcY + j) * job->srcRowLength + job->srcX);
            uint32_t* d =
                static_cast<uint32_t*>(job->dstPixels) + ((int64_t)(job->dstY + j) * job->dstRowLength + job->dstX);
            std::memmove(d, s, (size_t)width * 4);
        }
        return;
    }
    for (int j = 0; j < height; j++) {
        const uint32_t* s = src + ((int64_t)(job->srcY + j) * job->srcRowLength + job->srcX);
        if (job->convert == PIXFMT_ARGB32) {
            uint32_t* d =
                static_cast<uint32_t*>(job->dstPixels) + ((int64_t)(job->dstY + j) * job->dstRowLength + job->dstX);
            for (int i = 0; i < width; i++)
                d[i] = (d[i] & 0xFF000000) | (SwizzleToARGB32(job->srcFormat, s[i]) & 0xFFFFFF);
            continue;
        }
        // Three bytes a pixel in rows of dstRowLength 4-byte pixels.
        uint8_t* d = static_cast<uint8_t*>(job->dstPixels) + (int64_t)(job->dstY + j) * job->dstRowLength * 4 +
                     (int64_t)job->dstX * 3;
        for (int i = 0; i < width; i++, d += 3) {
            uint32_t v = SwizzleToARGB32(job->srcFormat, s[i]);
            uint8_t r = (uint8_t)(v >> 16), g = (uint8_t)(v >> 8), b = (uint8_t)v;
            if (job->convert == PIXFMT_BGRA32) {
                d[0] = b;
                d[1] = g;
                d[2] = r;
            } else {
                d[0] = r;
                d[1] = g;
                d[2] = b;
            }
        }
    }
}

void CopyPixels16(const qzCopyJob* job) {
    int width = job->width, height = job->height;
    if (width < 1 || height < 1) return;
    for (int j = 0; j < height; j++) {
        const uint16_t* s =
            static_cast<const uint16_t*>(job->srcPixels) + ((int64_t)(job->srcY + j) * job->srcRowLength + job->srcX);
        uint16_t* d =
            static_cast<uint16_t*>(job->dstPixels) + ((int64_t)(job->dstY + j) * job->dstRowLength + job->dstX);
        std::memmove(d, s, (size_t)width * 2);
    }
}

void CopyPixelsMasked32(const void* src, void* dst, const uint8_t* mask, int sx, int sy, int dx, int dy, int width,
                        int height, int srcRowLength, int maskBytesPerRow, int dstRowLength, int swizzle) {
    if (width < 1 || height < 1) return;
    for (int j = 0; j < height; j++) {
        const uint32_t* s = static_cast<const uint32_t*>(src) + ((int64_t)(sy + j) * srcRowLength + sx);
        uint32_t* d = static_cast<uint32_t*>(dst) + ((int64_t)(dy + j) * dstRowLength + dx);
        const uint8_t* m = RowAt(mask, sy + j, maskBytesPerRow);
        switch (swizzle) {
        case 1: ForEachSetBit(m, sx, width, [&](int i) { d[i] = SwizzleFromARGB32(PIXFMT_BGRA32, s[i]); }); break;
        case 2: ForEachSetBit(m, sx, width, [&](int i) { d[i] = s[i] << 8; }); break;
        default: ForEachSetBit(m, sx, width, [&](int i) { d[i] = s[i]; }); break;
        }
    }
}

void CopyPixelsMasked16(const void* src, void* dst, const uint8_t* mask, int sx, int sy, int dx, int dy, int width,
                        int height, int srcRowLength, int maskBytesPerRow, int dstRowLength) {
    if (width < 1 || height < 1) return;
    for (int j = 0; j < height; j++) {
        const uint16_t* s = static_cast<const uint16_t*>(src) + ((int64_t)(sy + j) * srcRowLength + sx);
        uint16_t* d = static_cast<uint16_t*>(dst) + ((int64_t)(dy + j) * dstRowLength + dx);
        ForEachSetBit(RowAt(mask, sy + j, maskBytesPerRow), sx, width, [&](int i) { d[i] = s[i]; });
    }
}

void PaintColorThroughMask32(const uint8_t* mask, void* dst, int mx, int my, int dx, int dy, int width, int height,
                             int maskBytesPerRow, int dstRowLength, uint32_t colour) {
    if (width < 1 || height < 1) return;
    for (int j = 0; j < height; j++) {
        uint32_t* d = static_cast<uint32_t*>(dst) + ((int64_t)(dy + j) * dstRowLength + dx);
        ForEachSetBit(RowAt(mask, my + j, maskBytesPerRow), mx, width, [&](int i) { d[i] = colour; });
    }
}

void PaintColorThroughMask16(const uint8_t* mask, void* dst, int mx, int my, int dx, int dy, int width, int height,
                             int maskBytesPerRow, int dstRowLength, uint32_t colour) {
    if (width < 1 || height < 1) return;
    uint16_t value = (uint16_t)colour;
    for (int j = 0; j < height; j++) {
        uint16_t* d = static_cast<uint16_t*>(dst) + ((int64_t)(dy + j) * dstRowLength + dx);
        ForEachSetBit(RowAt(mask, my + j, maskBytesPerRow), mx, width, [&](int i) { d[i] = value; });
    }
}

void PaintAlphaThroughMask(const uint8_t* mask, uint8_t* alpha, int mx, int my, int ax, int ay, int maskBytesPerRow,
                           int alphaBytesPerRow, int width, int height, int value) {
    if (width < 1 || height < 1) return;
    uint8_t byte = (uint8_t)value;
    for (int j = 0; j < height; j++) {
        uint8_t* a = alpha + ((int64_t)(ay + j) * alphaBytesPerRow + ax);
        ForEachSetBit(RowAt(mask, my + j, maskBytesPerRow), mx, width, [&](int i) { a[i] = byte; });
    }
}
