#include "gfx/alpha_extract.h"

#include <cstring>

#include "gfx/pixel_format.h"

void ExtractAlphaBytes(const uint32_t* src, int width, int height, int srcRowLength, uint8_t* plane,
                       int planeBytesPerRow) {
    for (int j = 0; j < height; j++) {
        for (int i = 0; i < width; i++) plane[i] = (uint8_t)(src[i] >> 24);
        src += srcRowLength;
        plane += planeBytesPerRow;
    }
}

void ReadRectToARGB(const void* base, uint32_t* dst, int x, int y, int width, int height, int srcRowLength,
                    int bytesPerPixel, int format) {
    if (width < 1 || height < 1) return;
    if (format == PIXFMT_RGB565) {
        if (bytesPerPixel != 2) return;
        for (int j = 0; j < height; j++) {
            const uint16_t* s = static_cast<const uint16_t*>(base) + ((int64_t)(y + j) * srcRowLength + x);
            for (int i = 0; i < width; i++) {
                uint32_t p = s[i];
                *dst++ = ((p << 8) & 0xF80000) + ((p << 5) & 0xFC00) + ((p << 3) & 0xF8);
            }
        }
        return;
    }
    if (format < PIXFMT_ARGB32 || format > PIXFMT_ABGR32 || bytesPerPixel != 4) return;
    for (int j = 0; j < height; j++) {
        const uint32_t* s = static_cast<const uint32_t*>(base) + ((int64_t)(y + j) * srcRowLength + x);
        switch (format) {
        case PIXFMT_ARGB32: std::memcpy(dst, s, (size_t)width * 4); break;
        case PIXFMT_BGRA32:
            for (int i = 0; i < width; i++) dst[i] = __builtin_bswap32(s[i]);
            break;
        case PIXFMT_RGBA32:
            for (int i = 0; i < width; i++) dst[i] = s[i] >> 8;
            break;
        default:
            for (int i = 0; i < width; i++) dst[i] = __builtin_bswap32(s[i]) >> 8;
            break;
        }
        dst += width;
    }
}
