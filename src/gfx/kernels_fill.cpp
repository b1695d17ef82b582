#include "gfx/kernels_fill.h"

#include <algorithm>
#include <cstring>
#if defined(__x86_64__)
#include <emmintrin.h>
#endif

#include "gfx/kernel_dispatch.h"
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

// The tint on the bytes of two words at once: per byte (d * (256 - level) + colour * level) >> 8,
// which equals BlendChannel, in 16-bit fields that stay below 65536. The colour's share of each
// field is computed once; the alpha byte is cleared by keep.
static QZ_INLINE void BlendFillRow32Body(uint32_t* d, int width, uint32_t colourRB, uint32_t colourAG, uint32_t inverse,
                                         uint32_t keep) {
    for (int i = 0; i < width; i++) {
        const uint32_t v = d[i];
        const uint32_t rb = (((v & 0x00FF00FF) * inverse + colourRB) >> 8) & 0x00FF00FF;
        const uint32_t ag = (((v >> 8) & 0x00FF00FF) * inverse + colourAG) & 0xFF00FF00;
        d[i] = (rb | ag) & keep;
    }
}
QZ_TARGET_AVX2 static void BlendFillRow32Avx2(uint32_t* d, int width, uint32_t colourRB, uint32_t colourAG,
                                              uint32_t inverse, uint32_t keep) {
    BlendFillRow32Body(d, width, colourRB, colourAG, inverse, keep);
}
static void BlendFillRow32Plain(uint32_t* d, int width, uint32_t colourRB, uint32_t colourAG, uint32_t inverse,
                                uint32_t keep) {
    BlendFillRow32Body(d, width, colourRB, colourAG, inverse, keep);
}

void BlendFillRect32(void* pixels, int x, int y, int width, int height, uint32_t colour, int level, int rowLength,
                     int format) {
    if (width < 1 || height < 1) return;
    level = std::clamp(level, 0, 255);
    // Every 4-byte format orders the same three colour bytes differently: the colour in the
    // format's order blends byte by byte, and the byte that is not a colour (alpha) becomes 0.
    const uint32_t native = SwizzleFromARGB32(format, colour & 0xFFFFFF);
    const uint32_t keep = SwizzleFromARGB32(format, 0xFFFFFF);
    const uint32_t a = (uint32_t)level;
    const uint32_t colourRB = (native & 0x00FF00FF) * a, colourAG = ((native >> 8) & 0x00FF00FF) * a;
    auto row = CpuHasAvx2() ? BlendFillRow32Avx2 : BlendFillRow32Plain;
    uint32_t* line = static_cast<uint32_t*>(pixels) + ((int64_t)y * rowLength + x);
    for (int j = 0; j < height; j++, line += rowLength) row(line, width, colourRB, colourAG, 256 - a, keep);
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
