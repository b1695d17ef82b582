// Bitmaps under a 2x2 matrix (x' = x*m0 + y*m2, y' = x*m1 + y*m3): the bounding size of a
// transformed image, the bounding box of a rectangle transformed about an anchor, and the
// transformed copy of a bitmap with its mask and alpha channel.
#pragma once

#include "gfx/bitmap.h"

// The integer size of the bounding box of the width x height rectangle under the matrix
// (rounded up; a hair of floating-point noise does not add a pixel).
void GetMatrixBounds(int width, int height, const double matrix[4], int* outWidth, int* outHeight);

// Transforms the corners (0, 0) to (width - 1, height - 1) about the anchor point
// (width * anchorX, height * anchorY). outX, outY = x, y plus the minimum (truncated); outWidth,
// outHeight = maximum - minimum + 1 (truncated). The maxima are stored in outMaxX and outMaxY
// when given. Every out pointer may be null.
void GetTransformedRectBounds(int x, int y, int width, int height, double anchorX, double anchorY,
                              const double matrix[4], int* outX, int* outY, int* outWidth, int* outHeight,
                              double* outMaxX, double* outMaxY);

// A new bitmap holding the width x height top-left part of `source` under the matrix, at least
// 1 x 1, with a new mask (where the source has a mask or no alpha channel: it marks the pixels
// the image covers) and a new alpha channel (where the source has one). Uncovered pixels are 0.
// Returns 0, ERR_WRONGUSAGE for a matrix that cannot be inverted (determinant 0 or not finite)
// or a size outside the source, ERR_BITMAP, ERR_ALLOCMASK, ERR_ALLOCALPHA or ERR_LOCKBMAP; a
// failed call makes nothing.
int TransformBitMap(const qzBitMap* source, const qzBitMap* mask, const qzBitMap* alpha, int width, int height,
                    const double matrix[4], int smooth, qzBitMap** outBitmap, qzBitMap** outMask, qzBitMap** outAlpha);
