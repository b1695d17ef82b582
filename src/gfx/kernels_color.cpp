#include "gfx/kernels_color.h"

#include <cmath>

#include "gfx/kernels_convert.h"
#include "gfx/mask_bits.h"

// Builds mask rows from whole bytes: bit set where the pixel does not match.
template <typename Pixel, typename Match>
static void KeyToMask(const Pixel* pixels, uint8_t* mask, int width, int height, int maskBytesPerRow, int rowLength,
                      Match matches) {
    for (int j = 0; j < height; j++) {
        const Pixel* p = pixels + (int64_t)j * rowLength;
        uint8_t* m = RowAt(mask, j, maskBytesPerRow);
        int i = 0;
        for (; i + 8 <= width; i += 8) {
            uint8_t bits = 0;
            for (int k = 0; k < 8; k++) bits |= (uint8_t)((matches(p[i + k]) ? 0 : 1) << (7 - k));
            m[i >> 3] = bits;
        }
        for (; i < width; i++) PutMaskBit(m, i, !matches(p[i]));
    }
}

void KeyColorToMask32(const void* pixels, uint8_t* mask, int width, int height, int maskBytesPerRow, uint32_t key,
                      int rowLength, uint32_t compareMask) {
    if (width < 1 || height < 1) return;
    KeyToMask(static_cast<const uint32_t*>(pixels), mask, width, height, maskBytesPerRow, rowLength,
              [=](uint32_t p) { return (p & compareMask) == key; });
}

void KeyColorToMask16(const void* pixels, uint8_t* mask, int width, int height, int maskBytesPerRow, uint32_t key,
                      int rowLength) {
    if (width < 1 || height < 1) return;
    uint16_t k = (uint16_t)key;
    KeyToMask(static_cast<const uint16_t*>(pixels), mask, width, height, maskBytesPerRow, rowLength,
              [=](uint16_t p) { return p == k; });
}

static const uint32_t kEndOfPairs = 0xFFFFFFFF;

void ReplaceColors32(int width, int height, const uint32_t* pairs, void* pixels, int rowLength, uint32_t compareMask) {
    if (width < 1 || height < 1 || !pairs || pairs[0] == kEndOfPairs) return;
    for (int j = 0; j < height; j++) {
        uint32_t* p = static_cast<uint32_t*>(pixels) + (int64_t)j * rowLength;
        for (int i = 0; i < width; i++) {
            uint32_t v = p[i];
            for (const uint32_t* pair = pairs; pair[0] != kEndOfPairs; pair += 2)
                if ((v & compareMask) == pair[0]) v = pair[1];
            p[i] = v;
        }
    }
}

void ReplaceColors16(int width, int height, const uint32_t* pairs, void* pixels, int rowLength) {
    if (width < 1 || height < 1 || !pairs || pairs[0] == kEndOfPairs) return;
    for (int j = 0; j < height; j++) {
        uint16_t* p = static_cast<uint16_t*>(pixels) + (int64_t)j * rowLength;
        for (int i = 0; i < width; i++) {
            uint16_t v = p[i];
            for (const uint32_t* pair = pairs; pair[0] != kEndOfPairs; pair += 2)
                if (v == (uint16_t)pair[0]) v = (uint16_t)pair[1];
            p[i] = v;
        }
    }
}

int GrayLevel(int r, int g, int b) {
    // Two roundings in all, as fused multiply-adds give them; separate products and sums would
    // round four times and move thousands of colours by one level.
    double t = g * 0.587;
    double u = std::fma(r, 0.299, t);
    return (int)std::fma(b, 0.114, u);
}

void GrayPixels32(void* pixels, int width, int height, int format, int rowLength, int blackAndWhite) {
    if (width < 1 || height < 1) return;
    for (int j = 0; j < height; j++) {
        uint32_t* p = static_cast<uint32_t*>(pixels) + (int64_t)j * rowLength;
        for (int i = 0; i < width; i++) {
            uint32_t v = SwizzleToARGB32(format, p[i]);
            uint32_t g = (uint32_t)GrayLevel((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
            if (blackAndWhite) g = g > 128 ? 255 : 0;
            p[i] = SwizzleFromARGB32(format, g << 16 | g << 8 | g);
        }
    }
}

void GrayPixels16(void* pixels, int width, int height, int format, int rowLength, int blackAndWhite) {
    if (width < 1 || height < 1) return;
    for (int j = 0; j < height; j++) {
        uint16_t* p = static_cast<uint16_t*>(pixels) + (int64_t)j * rowLength;
        for (int i = 0; i < width; i++) {
            uint32_t v = ConvertToRGB565(format, p[i]);
            uint32_t g = (uint32_t)GrayLevel((int)Red565(v), (int)Green565(v), (int)Blue565(v));
            uint32_t out = blackAndWhite ? (g > 128 ? 0xFFFF : 0) : Pack565(g, g, g);
            p[i] = (uint16_t)ConvertFromRGB565(format, out);
        }
    }
}

void InvertPixels32(void* pixels, int width, int height, int rowLength) {
    if (width < 1 || height < 1) return;
    for (int j = 0; j < height; j++) {
        uint32_t* p = static_cast<uint32_t*>(pixels) + (int64_t)j * rowLength;
        for (int i = 0; i < width; i++) p[i] = ~p[i];
    }
}

void InvertPixels16(void* pixels, int width, int height, int rowLength) {
    if (width < 1 || height < 1) return;
    for (int j = 0; j < height; j++) {
        uint16_t* p = static_cast<uint16_t*>(pixels) + (int64_t)j * rowLength;
        for (int i = 0; i < width; i++) p[i] = (uint16_t)~p[i];
    }
}

void InvertBytes(uint8_t* buffer, int rows, int bytesPerRow) {
    if (rows < 1 || bytesPerRow < 1) return;
    int64_t n = (int64_t)rows * bytesPerRow;
    for (int64_t i = 0; i < n; i++) buffer[i] = (uint8_t)~buffer[i];
}
