#include "gfx/kernels_convert.h"

#include <cstring>

#include "gfx/mask_bits.h"

static inline uint32_t SwapBytes16(uint32_t v) { return ((v & 0xFF) << 8) | ((v >> 8) & 0xFF); }

uint32_t SwizzleFromARGB32(int format, uint32_t value) {
    switch (format) {
    case PIXFMT_BGRA32: return (value & 0xFF) << 24 | (value & 0xFF00) << 8 | (value & 0xFF0000) >> 8;
    case PIXFMT_RGBA32: return value << 8;
    case PIXFMT_ABGR32: return (value & 0xFF) << 16 | (value & 0xFF00) | ((value >> 16) & 0xFF);
    default: return value;
    }
}

uint32_t SwizzleToARGB32(int format, uint32_t value) {
    switch (format) {
    case PIXFMT_BGRA32: return (value >> 24) | ((value >> 8) & 0xFF00) | ((value << 8) & 0xFF0000);
    case PIXFMT_RGBA32: return value >> 8;
    case PIXFMT_ABGR32: return (value & 0xFF00FF00) | (value & 0xFF) << 16 | ((value >> 16) & 0xFF);
    default: return value;
    }
}

uint32_t ConvertFromRGB565(int format, uint32_t value) {
    uint32_t r = (value >> 11) & 0x1F, g = (value >> 5) & 0x3F, b = value & 0x1F;
    uint32_t out;
    switch (format) {
    case PIXFMT_RGB555:
    case PIXFMT_RGB555_SWAPPED: out = r << 10 | (g >> 1) << 5 | b; break;
    case PIXFMT_BGR555:
    case PIXFMT_BGR555_SWAPPED: out = b << 10 | (g >> 1) << 5 | r; break;
    case PIXFMT_BGR565:
    case PIXFMT_BGR565_SWAPPED: out = b << 11 | g << 5 | r; break;
    default: out = value & 0xFFFF; break;
    }
    if (format == PIXFMT_RGB555_SWAPPED || format == PIXFMT_BGR555_SWAPPED || format == PIXFMT_RGB565_SWAPPED ||
        format == PIXFMT_BGR565_SWAPPED)
        out = SwapBytes16(out);
    return out;
}

uint32_t ConvertToRGB565(int format, uint32_t value) {
    if (format == PIXFMT_RGB555_SWAPPED || format == PIXFMT_BGR555_SWAPPED || format == PIXFMT_RGB565_SWAPPED ||
        format == PIXFMT_BGR565_SWAPPED)
        value = SwapBytes16(value);
    switch (format) {
    case PIXFMT_RGB555:
    case PIXFMT_RGB555_SWAPPED: return ((value >> 10) & 0x1F) << 11 | ((value >> 5) & 0x1F) << 6 | (value & 0x1F);
    case PIXFMT_BGR555:
    case PIXFMT_BGR555_SWAPPED: return (value & 0x1F) << 11 | ((value >> 5) & 0x1F) << 6 | ((value >> 10) & 0x1F);
    case PIXFMT_BGR565:
    case PIXFMT_BGR565_SWAPPED: return (value & 0x1F) << 11 | (value & 0x7E0) | ((value >> 11) & 0x1F);
    default: return value & 0xFFFF;
    }
}

void ReadPixelRGB(const void* pixel, int format, uint8_t rgb[3]) {
    if (format < 0 || format > PIXFMT_ABGR32) {
        rgb[0] = rgb[1] = rgb[2] = 0;
        return;
    }
    if (format >= 0 && format <= 7) {
        uint16_t v;
        std::memcpy(&v, pixel, 2);
        uint32_t native = ConvertToRGB565(format, v);
        rgb[0] = (uint8_t)Red565(native);
        rgb[1] = (uint8_t)Green565(native);
        rgb[2] = (uint8_t)Blue565(native);
        return;
    }
    if (format == PIXFMT_RGB24 || format == PIXFMT_BGR24) {
        // The three colour bytes of a format-10 word; the fourth (alpha) byte lies past the pixel
        // and is not read.
        auto* p = static_cast<const uint8_t*>(pixel);
        rgb[0] = p[2];
        rgb[1] = p[1];
        rgb[2] = p[0];
        return;
    }
    uint32_t v;
    std::memcpy(&v, pixel, 4);
    v = SwizzleToARGB32(format, v);
    rgb[0] = (uint8_t)(v >> 16);
    rgb[1] = (uint8_t)(v >> 8);
    rgb[2] = (uint8_t)v;
}

void WritePixelRGB(void* pixel, int format, const uint8_t rgb[3]) {
    if (format >= 0 && format <= 7) {
        uint16_t v = (uint16_t)ConvertFromRGB565(format, Pack565(rgb[0], rgb[1], rgb[2]));
        std::memcpy(pixel, &v, 2);
    } else if (format >= PIXFMT_ARGB32 && format <= PIXFMT_ABGR32) {
        uint32_t v = SwizzleFromARGB32(format, (uint32_t)rgb[0] << 16 | (uint32_t)rgb[1] << 8 | rgb[2]);
        std::memcpy(pixel, &v, 4);
    }
}

void ConvertRowsFromARGB32(const uint32_t* src, void* dst, int sx, int sy, int dx, int dy, int width, int height,
                           int srcRowLength, int dstRowLength, int format) {
    if (width < 1 || height < 1 || format < PIXFMT_ARGB32 || format > PIXFMT_ABGR32) return;
    for (int j = 0; j < height; j++) {
        const uint32_t* s = src + ((int64_t)(sy + j) * srcRowLength + sx);
        uint32_t* d = static_cast<uint32_t*>(dst) + ((int64_t)(dy + j) * dstRowLength + dx);
        switch (format) {
        case PIXFMT_ARGB32: std::memmove(d, s, (size_t)width * 4); break;
        case PIXFMT_BGRA32:
            for (int i = 0; i < width; i++) {
                uint32_t v = s[i];
                d[i] = (v & 0xFF) << 24 | (v & 0xFF00) << 8 | (v & 0xFF0000) >> 8;
            }
            break;
        case PIXFMT_RGBA32:
            for (int i = 0; i < width; i++) d[i] = s[i] << 8;
            break;
        default:
            for (int i = 0; i < width; i++) {
                uint32_t v = s[i];
                d[i] = (v & 0xFF) << 16 | (v & 0xFF00) | ((v >> 16) & 0xFF);
            }
            break;
        }
    }
}

void ConvertRowsARGBTo16(const uint32_t* src, void* dst, int sx, int sy, int dx, int dy, int width, int height,
                         int srcRowLength, int dstRowLength, int format) {
    if (width < 1 || height < 1 || format < 0 || format > 7) return;
    for (int j = 0; j < height; j++) {
        const uint32_t* s = src + ((int64_t)(sy + j) * srcRowLength + sx);
        uint16_t* d = static_cast<uint16_t*>(dst) + ((int64_t)(dy + j) * dstRowLength + dx);
        if (format == PIXFMT_RGB565) {
            for (int i = 0; i < width; i++) {
                uint32_t v = s[i];
                d[i] = (uint16_t)(((v >> 8) & 0xF800) | ((v >> 5) & 0x7E0) | ((v >> 3) & 0x1F));
            }
        } else {
            for (int i = 0; i < width; i++) d[i] = (uint16_t)ConvertARGBToPixel(s[i], format, 0);
        }
    }
}
