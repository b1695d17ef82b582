// Integer polygons in 1-bit masks: the scanline span filler, one clipping pass against an edge
// of a rectangle, and ellipse outlines from the degree tables.
#pragma once

#include <cstdint>

struct qzPoint {
    int32_t x;
    int32_t y;
};

// Sets the bits of a 1-bit mask (rows of bytesPerRow bytes, most significant bit first) inside
// the closed polygon of `count` points. `crossings` holds at least `count` integers. Bits are
// only ever set, so several polygons filled into one mask give their union. Rows outside
// 0..rows-1 and columns outside the row's bytesPerRow * 8 bits are left alone.
void FillMaskPolygonSpans(uint8_t* mask, int bytesPerRow, int rows, int32_t* crossings, const qzPoint* points,
                          int count);

// Edge kinds of ClipPolygonAgainstEdge: which side of the line through `coordinate` is kept.
enum {
    CLIPEDGE_LEFT = 0,    // keeps x >= coordinate
    CLIPEDGE_TOP = 1,     // keeps y >= coordinate
    CLIPEDGE_RIGHT = 2,   // keeps x <= coordinate
    CLIPEDGE_BOTTOM = 3,  // keeps y <= coordinate
};

// One pass of polygon clipping against the line x = coordinate (left, right) or y = coordinate
// (top, bottom): writes the clipped polygon to `out` and returns its point count. Crossing
// points are rounded to the nearest integer. `out` must hold 2 * count points; an unknown edge
// kind copies the polygon unchanged.
int ClipPolygonAgainstEdge(int count, const qzPoint* in, qzPoint* out, int coordinate, int edge);

// The outline of an ellipse arc filling a (2 rx + 1) x (2 ry + 1) box whose top-left corner is
// the origin: one point per whole degree from startAngle to endAngle inclusive, the point for
// angle a being (rx + ((2 rx + 1) * cos a) / 2048, ry + ((2 ry + 1) * sin a) / 2048) with sine
// and cosine in 11-bit fixed point (1.0 = 1024) and the divisions truncating. An end angle
// below the start angle runs on through 360. Returns the number of points written (361 for
// 0..360, the last equal to the first); `points` must hold that many.
int BuildEllipsePoints(qzPoint* points, int rx, int ry, int startAngle, int endAngle);
