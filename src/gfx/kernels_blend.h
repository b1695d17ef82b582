// Weighted blits. Blends use an integer multiply and a shift by 8 per 8-bit channel; 4-byte
// members work on any of formats 10..13 (the blended pixel's alpha byte is 0), 2-byte members
// convert format 0..7 to RGB565 and back.
#pragma once

#include <cstdint>

// Where the mask bit is set (everywhere without a mask): d = s + (((255 - opacity) * (d - s)) >> 8).
// Pointers address the first pixel of each rectangle; the mask's first column is maskBitOffset.
void MixPixels32(const void* src, void* dst, const uint8_t* mask, int maskBitOffset, int maskBytesPerRow, int width,
                 int height, int opacity, int format, int srcRowLength, int dstRowLength);
void MixPixels16(const void* src, void* dst, const uint8_t* mask, int maskBitOffset, int maskBytesPerRow, int width,
                 int height, int opacity, int format, int srcRowLength, int dstRowLength);

// Source over destination through the source's alpha channel (alpha byte at sx + i, sy + j):
// alpha 0 skips, 255 copies the whole pixel, else d = d + (((s - d) * a) >> 8) per channel.
void AlphaBlendPixels32(const void* src, const uint8_t* alpha, void* dst, int sx, int sy, int dx, int dy, int width,
                        int height, int srcRowLength, int alphaBytesPerRow, int dstRowLength, int format);
void AlphaBlendPixels16(const void* src, const uint8_t* alpha, void* dst, int sx, int sy, int dx, int dy, int width,
                        int height, int srcRowLength, int alphaBytesPerRow, int dstRowLength, int format);

// A colour (or source pixels) painted through 8-bit coverage.
struct qzAlphaBlitJob {
    void* dstPixels;
    int dstX, dstY;
    int dstRowLength;
    int width, height;
    const uint8_t* coverage;  // read at coverageX + i, coverageY + j
    int coverageX, coverageY;
    int coverageBytesPerRow;
    uint8_t* dstAlpha;  // modes 2 and 3: the destination's alpha at dstX + i, dstY + j
    int dstAlphaBytesPerRow;
    int format;                  // destination pixel format
    uint32_t colour;             // in the destination format
    int mode;                    // 0 write, 1 blend, 2 and 3 blend onto an alpha, 4 coverage 0..64
    int level;                   // modes 2 and 3: scales the destination alpha (0..255)
    const uint16_t* coverage16;  // mode 3: coverage from the low byte, at coverageX + i, coverageY + j
    int coverage16RowLength;
    const void* srcPixels;  // optional: drawn instead of the colour, at coverageX + i, coverageY + j
    int srcRowLength;
};
void AlphaChannelBlit32(const qzAlphaBlitJob* job);
void AlphaChannelBlit16(const qzAlphaBlitJob* job);
