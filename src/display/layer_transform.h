// The geometry of layer transforms: the applied 2x2 matrix built from a target size, scale
// factors and a rotation, or restored from an explicit matrix; whether a matrix is a whole-degree
// rotation of a uniform scale (so that text can be rendered turned rather than resampled); and
// rectangles scaled to a display.
#pragma once

#include <cstdint>

struct qzTransformTags;

// An angle in degrees reduced to 0 <= angle < 360 (a non-finite angle is 0).
double ReduceDegrees(double angle);
// Multiplies the matrix from the right by the turn of angle degrees (cos t, sin t, -sin t, cos t)
// with t = 360 - (angle mod 360). Whole degrees take their sine and cosine from the degree tables,
// quarter turns exactly; a multiple of 360 leaves the matrix as it is.
void RotateMatrixByDegrees(double matrix[4], double angle);
// The applied matrix: a target size (0: the source's) other than the source size gives the
// scale target / source (the scale factors are then ignored), else the scale factors; then the
// rotation.
void ComputeScaleRotateMatrix(qzTransformTags* transform, int32_t targetWidth, int32_t targetHeight,
                              int32_t sourceWidth, int32_t sourceHeight, double scaleX, double scaleY, double angle);
// The explicit matrix when one is set, else ComputeScaleRotateMatrix from the record's own target
// size, scales and rotation.
void RestoreLayerMatrix(qzTransformTags* transform, int32_t sourceWidth, int32_t sourceHeight);
// Records in notrotscale, decompscalex and decompscaley whether the applied matrix is a turn by a
// whole degree of a uniform scale (notrotscale 0) and the scales found. A matrix without b and c
// leaves the fields as they are.
void DecomposeLayerMatrix(qzTransformTags* transform);
// A rectangle's corners scaled and rounded to the nearest integer.
void ScaleRectForDisplay(int32_t* x, int32_t* y, int32_t* width, int32_t* height, double scaleX, double scaleY);
