// Mirroring and pixelation of a colour bitmap together with its mask and alpha channel.
#pragma once

#include <cstdint>

struct qzFlipJob {
    void* pixels;
    int width, height;
    int rowLength;  // pixels
    uint8_t* mask;  // optional
    int maskBytesPerRow;
    uint8_t* alpha;  // optional
    int alphaBytesPerRow;
    int direction;      // 0 vertical (rows exchanged), else horizontal (columns reversed)
    int bytesPerPixel;  // 2 or 4; others leave the colour pixels alone
};
// Vertical: rows i and height - 1 - i exchange (pixels, mask rows, alpha rows). Horizontal: the
// first width pixels, alpha bytes and mask bits of each row reverse (mask bit x takes bit
// width - 1 - x), so the padding bits past the width never move into the image.
void FlipPixels(const qzFlipJob* job);

struct qzPixelateJob {
    const void* srcPixels;
    void* dstPixels;
    int srcRowLength, dstRowLength;
    const uint8_t* srcMask;  // optional
    uint8_t* dstMask;
    int srcMaskBytesPerRow, dstMaskBytesPerRow;
    const uint8_t* srcAlpha;  // optional, used when there is no source mask
    uint8_t* dstAlpha;
    int srcAlphaBytesPerRow, dstAlphaBytesPerRow;
    int width, height;
    int cellSize;  // below 1 draws nothing
};
// n x n cells from the top left (clipped at the right and bottom) take the colour of their
// top-left source pixel; a cell whose top-left pixel is invisible (mask bit clear, alpha 0) gets
// that visibility and keeps its pixels.
void PixelatePixels32(const qzPixelateJob* job);
void PixelatePixels16(const qzPixelateJob* job);
