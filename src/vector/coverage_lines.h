// The one-pixel line drawers of the coverage rasteriser: Bresenham lines (8- or 4-connected) on
// integer coordinates, the anti-aliased line on 16.16 coordinates, and the sub-pixel line that
// rounds 16.16 coordinates onto the Bresenham drawer. Every drawer clips to its image first and
// never writes outside it, whatever the coordinates.
#pragma once

#include <cstdint>

#include "vector/coverage_image.h"

// Sets every pixel of a Bresenham line from (x1, y1) to (x2, y2) to the low byte of value.
// connectivity 0: 8-connected (major + 1 pixels); 1: 4-connected (major + minor + 1 pixels);
// anything else records COVERR_BADARG. The line is clipped to the image first.
void DrawCoverageLine(qzCoverageImage* image, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint32_t value,
                      int connectivity);

// An anti-aliased line one pixel wide between 16.16 points, accumulated into the coverage (three
// pixels across the line at every step, each touched twice with dst += ((255 - dst) * c + 127) >> 8).
// The trace keeps two pixels clear of every border: the ends are clipped to the frame from pixel
// (2, 2) to (width - 3, height - 3). A line of no length draws nothing.
void DrawCoverageAALine(qzCoverageImage* image, int64_t x1, int64_t y1, int64_t x2, int64_t y2);

// An 8-connected line between 16.16 points: at every whole step of its major axis between the
// ends rounded to pixels ((v + 32768) >> 16), the pixel nearest to the exact segment.
void DrawCoverageSubPixelLine(qzCoverageImage* image, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint32_t value);

// The rasteriser's read-only tables.
// Coverage profile across an anti-aliased line, 64 entries in 1/32 pixel steps.
extern const int32_t kCoverageProfile[64];
// Weight of a line by its slope: entry i = floor(256 / sqrt(2) * sqrt(1 + ((i + 0.5) / 32)^2)).
const int32_t* CoverageSlopeWeights();
// sin(0) .. sin(450) degrees as floats; cos(a) is entry 450 - a.
const float* CoverageSineTable();
