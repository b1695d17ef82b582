#include "gfx/kernels_fill.h"

#include <algorithm>
#include <cstring>
#if defined(__x86_64__)
#include <emmintrin.h>
#endif

#include "gfx/kernels_convert.h"
#include "gfx/mask_bits.h"

#if defined(__x86_64__)
// Stores the pixel value from p to end: single pixels up to a 16-byte boundary, then aligned
// 16-byte stores, four a turn, then single pixels again. `lanes` is the value repeated over 32
// bits (twice for 16-bit pixels), which is right at any 16-byte boundary.
template <typename T>
static inline void FillRow(T* p, T* end, T value, uint32_t lanes) {
    while (p < end && ((uintptr_t)p & 15)) *p++ = value;
    const __m128i v = _mm_set1_epi32((int)lanes);
    constexpr int kStep = 16 / sizeof(T);
    for (; end - p >= 4 * kStep; p += 4 * kStep) {
        _mm_store_si128((__m128i*)p, v);
        _mm_store_si128((__m128i*)(p + kStep), v);
        _mm_store_si128((__m128i*)(p + 2 * kStep), v);
        _mm_store_si128((__m128i*)(p + 3 * kStep), v);
    }
    for (; end - p >= kStep; p += kStep) _mm_store_si128((__m128i*)p, v);
    while (p < end) *p++ = value;
}
#else
template <typename T>
static inline void FillRow(T* p, T* end, T value, uint32_t) {
    std::fill(p, end, value);
}
#endif

void FillRect32(void* pixels, int rowLength, int x, int y, int width, int height, uint32_t value) {
    if (width < 1 || height < 1) return;
    uint32_t* row = static_cast<uint32_t*>(pixels) + ((int64_t)y * rowLength + x);
    for (int j = 0; j < height; j++, row += rowLength) FillRow(row, row + width, value, value);
}

void FillRect16(void* pixels, int rowLength, int x, int y, int width, int height, uint32_t value) {
    if (width < 1 || height < 1) return;
    const uint16_t v = (uint16_t)value;
    uint16_t* row = static_cast<uint16_t*>(pixels) + ((int64_t)y * rowLength + x);
    for (int j = 0; j < height; j++, row += rowLength) FillRow(row, row + width, v, (uint32_t)v * 0x10001u);
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
