// The glyph data of the inbuilt 8x8 font: codes 32 to 255 and one entry for all other codes.
#pragma once

#include <cstdint>

constexpr int QZ_INBUILT_NCHARS = 225;
constexpr int QZ_INBUILT_MODULO = 188;

// Per glyph: bit offset in the strip (upper 16 bits) and width in bits (lower 16).
extern const uint32_t kInbuiltCharLoc[QZ_INBUILT_NCHARS];
// 8 rows of QZ_INBUILT_MODULO bytes, 1 bit a pixel, most significant bit leftmost.
extern const uint8_t kInbuiltStrip[QZ_INBUILT_MODULO * 8];
