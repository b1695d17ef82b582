// The filling half of the coverage rasteriser: even-odd scan conversion of polygons, closed
// outlines of a given width, convex polygons with 16.16 corners, thick lines with round caps.
// Shapes are drawn with value 255; each operation clears the last-error word first and records
// its failures there (coverage_image.h). Nothing is ever written outside the image, and the work
// is bounded by the image's size, not by the coordinates.
#pragma once

#include <cstdint>
#include <vector>

#include "vector/coverage_image.h"

struct qzPoint;

// One polygon edge with its upper end first: x at the upper end and the x step per scanline in
// 16.16, and the scanlines it covers (yUpper <= line < yLower).
struct qzCoverageEdge {
    int64_t x;
    int64_t step;
    int64_t yUpper;
    int64_t yLower;
};

// Sets the pixels between pairs of edges (even-odd rule): on every scanline, each pair sets the
// columns from (xLeft + 65535) >> 16 to xRight >> 16 inclusive to value. Edges may come in any
// order; the list is sorted in place.
void ScanCoverageEdges(qzCoverageImage* image, std::vector<qzCoverageEdge>& edges, uint32_t value);

// Fills the closed polygon of count integer points (precision 0: the edges as 8-connected
// Bresenham lines, else as anti-aliased lines; then the interior by the even-odd rule), or with
// stroke 1..255 draws its closed outline as thick lines of that width with round caps.
void FillCoveragePolygon(qzCoverageImage* image, const qzPoint* points, int count, int precision, int stroke);

// One line of width pixels between integer points, with round caps at both ends; precision as
// for the fill. A width of 256 or more records COVERR_TOOBIG.
void DrawCoverageThickLine(qzCoverageImage* image, int x1, int y1, int x2, int y2, int precision, int width);

// A convex polygon of count points, given in 16.16 when shift is 16 and in whole pixels when it
// is 0: its edges with the drawer of the precision (above 8 anti-aliased, else sub-pixel or
// Bresenham), then the interior set to value row by row. Fewer than 3 points get only their edges.
void FillCoverageConvex(qzCoverageImage* image, const int64_t* points, int count, uint32_t value, int precision,
                        int shift);

// The angular step of the round curves for a radius: 90 degrees below 3, 30 up to 9, 18 up to 14,
// else 5.
int CurveStepForRadius(int64_t radius);
