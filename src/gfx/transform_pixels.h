// The affine transform kernel: draws a source image under a 2x3 matrix into a destination by
// inverse mapping, row span by row span, nearest or with 2x2 smoothing, carrying the mask and
// the alpha channel. It works on locked memory and allocates nothing.
#pragma once

#include <cstdint>

struct qzTransformJob {
    const void* srcPixels;
    void* dstPixels;
    const uint8_t* srcMask;  // null when absent
    uint8_t* dstMask;
    const uint8_t* srcAlpha;  // null when absent
    uint8_t* dstAlpha;
    int srcMaskBitOffset;
    int srcWidth, srcHeight, srcRowLength;
    int dstWidth, dstHeight, dstRowLength;
    int srcMaskBytesPerRow, dstMaskBytesPerRow;
    int srcAlphaBytesPerRow, dstAlphaBytesPerRow;
    // Maps a source point (x, y) to x' = a*x + c*y + e, y' = b*x + d*y + f.
    double a, b, c, d, e, f;
    int smooth;
    int pixelFormat;
    int bytesPerPixel;
    // Nearest sampling of colour pixels (2 or 4 bytes, both sides): the destination's colour
    // pixels outside the covered spans are set to 0 as well, so that the caller need not clear
    // the destination first.
    int clearUncovered;
};

// Draws the transformed source into the destination. Destination pixels outside the covered
// spans keep what the caller put there (unless clearUncovered). A matrix whose determinant is 0 (or not finite) maps
// the image onto a line and draws nothing.
void TransformPixels(const qzTransformJob* job);

// The translation (e, f) that places the image of a width x height source under the 2x2 matrix
// (a, b, c, d) in a destination whose top-left is the transformed bounding box's, so that in
// the nearest path the identity, mirrors and quarter turns map pixels one to one.
void PlaceTransformMatrix(double a, double b, double c, double d, int width, int height, double* e, double* f);
