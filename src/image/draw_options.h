// The geometry of the standard drawing options: the matrix that scale factors, a target size and
// a rotation give, and the size of an image after a matrix.
#pragma once

#include <cstdint>

// matrix = (scaleX, 0, 0, scaleY) times, for a non-zero angle, the rotation by angle degrees
// (cos t, sin t, -sin t, cos t) with t = 360 - (angle mod 360), from the right.
void BuildScaleRotateMatrix(double scaleX, double scaleY, double angle, double matrix[4]);

// The size of a w x h image after the matrix: a diagonal matrix with non-negative entries scales
// (truncated, at least 1; a display running layer scaling gets its scaled size back for its whole
// picture), any other matrix gives the bounding size of the turned rectangle.
void GetTransformedSize(const double matrix[4], int32_t w, int32_t h, int32_t* outW, int32_t* outH);
