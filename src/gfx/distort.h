// The distortion engine: an argument list is turned into coefficients of one of 14 methods,
// and every destination pixel is mapped back to a source point, sampled at the nearest pixel or
// with an elliptical weighted average.
#pragma once

#include <cstdint>

enum {
    DISTORT_AFFINE = 1,
    DISTORT_AFFINE_PROJECTION = 2,
    DISTORT_SCALE_ROTATE_TRANSLATE = 3,
    DISTORT_PERSPECTIVE = 4,
    DISTORT_PERSPECTIVE_PROJECTION = 5,
    DISTORT_BILINEAR_FORWARD = 6,
    DISTORT_BILINEAR_REVERSE = 7,
    DISTORT_POLYNOMIAL = 8,
    DISTORT_ARC = 9,
    DISTORT_POLAR = 10,
    DISTORT_DEPOLAR = 11,
    DISTORT_BARREL = 12,
    DISTORT_BARREL_INVERSE = 13,
    DISTORT_SHEPARDS = 14,
};

struct qzDistortJob {
    int method;
    const double* args;
    int argCount;
    // Source image; x, y are its offsets within its page (0 for brushes).
    int sourceWidth;
    int sourceHeight;
    int sourceX;
    int sourceY;
    const void* sourcePixels;
    int sourceRowLength;      // in pixels
    int sourceBytesPerPixel;  // 2, 3 or 4
    int sourceFormat;
    const uint8_t* sourceMask;
    int sourceMaskBytesPerRow;
    const uint8_t* sourceAlpha;
    int sourceAlphaBytesPerRow;
    // Destination; width, height, x and y are the output area that the coefficients give.
    void* destPixels;
    int destRowLength;
    int destBytesPerPixel;
    int destFormat;
    uint8_t* destMask;
    int destMaskBytesPerRow;
    uint8_t* destAlpha;
    int destAlphaBytesPerRow;
    int destWidth;
    int destHeight;
    int destX;
    int destY;
    int smooth;
    int error;  // 0, 1000 out of memory, 1055 wrong arguments
};

// Returns a new coefficient vector (free with OsFree) and fills the job's output area, or null
// with the job's error set. The method may change (2 and 3 become 1, 5 becomes 4).
double* GenerateDistortCoefficients(qzDistortJob* job);

// Fills the destination from the source through the coefficients.
void DistortPixels(qzDistortJob* job, const double* coefficients);
