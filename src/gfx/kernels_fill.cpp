#include "gfx/kernels_fill.h"

#include <algorithm>
#include <cstring>

#include "gfx/kernels_convert.h"
#include "gfx/mask_bits.h"

void FillRect32(void* pixels, int rowLength, int x, int y, int width, int height, uint32_t value) {
    if (width < 1 || height < 1) return;
    uint32_t* row = static_cast<uint32_t*>(pixels) + ((int64_t)y * rowLength + x);
    for (int j = 0; j < height; j++, row += rowLength) std::fill_n(row, width, value);
}

void FillRect16(void* pixels, int rowLength, int x, int y, int width, int height, uint32_t value) {
    if (width < 1 || height < 1) return;
    uint16_t* row = static_cast<uint16_t*>(pixels) + ((int64_t)y * rowLength + x);
    for (int j = 0; j < height; j++, row += rowLength) std::fill_n(row, width, (uint16_t)value);
}

void FillByteRect(uint8_t* buffer, int x, int y, int width, int height, int bytesPerRow, int value) {
    if (width < 1 || height < 1) return;
    uint8_t* row = buffer + ((int64_t)y * bytesPerRow + x);
    for (int j = 0; j < height; j++, row += bytesPerRow) std::memset(row, value & 0xFF, (size_t)width);
}

// c + ((level * (colour - c)) >> 8) for one channel; the shift of a negative product rounds
// toward minus infinity, which (c * (256 - level) + colour * level) >> 8 gives without signs.
static inline uint32_t BlendChannel(uint32_t c, uint32_t colour, int level) {
    return (uint32_t)((int)c + ((level * ((int)colour - (int)c)) >> 8));
}

void BlendFillRect32(void* pixels, int x, int y, int width, int height, uint32_t colour, int level, int rowLength,
                     int format) {
    if (width < 1 || height < 1) return;
    level = std::clamp(level, 0, 255);
    uint32_t cr = (colour >> 16) & 0xFF, cg = (colour >> 8) & 0xFF, cb = colour & 0xFF;
    uint32_t* row = static_cast<uint32_t*>(pixels) + ((int64_t)y * rowLength + x);
    for (int j = 0; j < height; j++, row += rowLength) {
        for (int i = 0; i < width; i++) {
            uint32_t p = SwizzleToARGB32(format, row[i]);
            uint32_t r = BlendChannel((p >> 16) & 0xFF, cr, level);
            uint32_t g = BlendChannel((p >> 8) & 0xFF, cg, level);
            uint32_t b = BlendChannel(p & 0xFF, cb, level);
            row[i] = SwizzleFromARGB32(format, (r & 0xFF) << 16 | (g & 0xFF) << 8 | (b & 0xFF));
        }
    }
}

void BlendFillRect16(void* pixels, int x, int y, int width, int height, uint32_t colour, int level, int rowLength,
                     int format) {
    if (width < 1 || height < 1) return;
    level = std::clamp(level, 0, 255);
    uint32_t cr = Red565(colour), cg = Green565(colour), cb = Blue565(colour);
    uint16_t* row = static_cast<uint16_t*>(pixels) + ((int64_t)y * rowLength + x);
    for (int j = 0; j < height; j++, row += rowLength) {
        for (int i = 0; i < width; i++) {
            uint32_t p = ConvertToRGB565(format, row[i]);
            uint32_t r = BlendChannel(Red565(p), cr, level);
            uint32_t g = BlendChannel(Green565(p), cg, level);
            uint32_t b = BlendChannel(Blue565(p), cb, level);
            row[i] = (uint16_t)ConvertFromRGB565(format, Pack565(r & 0xFF, g & 0xFF, b & 0xFF));
        }
    }
}
