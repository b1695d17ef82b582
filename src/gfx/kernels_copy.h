// Rectangle copies: plain, converting, through a 1-bit mask, and painting one colour or one alpha
// value through a mask. Row lengths in pixels, mask rows in bytes; a mask is addressed by the x, y
// of its own first pixel.
#pragma once

#include <cstdint>

struct qzCopyJob {
    const void* srcPixels;
    void* dstPixels;
    int srcX, srcY;
    int dstX, dstY;
    int width, height;
    int srcRowLength, dstRowLength;
    // 0 copies whole pixels. 10, 11 or 12 (32-bit member only) reads source pixels of srcFormat
    // (10..13) and writes their colour: 10 into the red, green and blue bytes of an ARGB pixel
    // (its alpha byte kept); 12 three bytes R, G, B and 11 three bytes B, G, R, whose rows still
    // advance by dstRowLength 4-byte pixels.
    int convert;
    int srcFormat;
};
void CopyPixels32(const qzCopyJob* job);
void CopyPixels16(const qzCopyJob* job);

// Copies the pixels whose mask bit is set; the mask has the source's geometry (bit sx + i of row
// sy + j). Swizzle (32-bit only): 0 copies, 1 writes B<<24 | G<<16 | R<<8, 2 writes value << 8.
void CopyPixelsMasked32(const void* src, void* dst, const uint8_t* mask, int sx, int sy, int dx, int dy, int width,
                        int height, int srcRowLength, int maskBytesPerRow, int dstRowLength, int swizzle);
void CopyPixelsMasked16(const void* src, void* dst, const uint8_t* mask, int sx, int sy, int dx, int dy, int width,
                        int height, int srcRowLength, int maskBytesPerRow, int dstRowLength);

// pixel = colour (already in the destination format) where the mask bit is set.
void PaintColorThroughMask32(const uint8_t* mask, void* dst, int mx, int my, int dx, int dy, int width, int height,
                             int maskBytesPerRow, int dstRowLength, uint32_t colour);
void PaintColorThroughMask16(const uint8_t* mask, void* dst, int mx, int my, int dx, int dy, int width, int height,
                             int maskBytesPerRow, int dstRowLength, uint32_t colour);
// alpha byte = value where the mask bit is set.
void PaintAlphaThroughMask(const uint8_t* mask, uint8_t* alpha, int mx, int my, int ax, int ay, int maskBytesPerRow,
                           int alphaBytesPerRow, int width, int height, int value);
