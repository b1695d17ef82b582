// Reading a polygon's points from a script table: the Polygon command's points and a polygon
// layer's "vertices" style tag.
#pragma once

#include <vector>

#include "vector/shape_outline.h"

struct VmState;

// Reads count points (x1, y1, x2, y2, ...) of the list at index (keys 0, 1, ...), closes the
// polygon when its last point differs from its first, and makes the points relative to their
// minimum; the bounding box of the rounded points gives the size and the offset of the position.
// 0 or ERR_NUMTABLEARG for a missing or non-number coordinate.
int ReadPolygonTable(VmState* state, int index, int count, std::vector<qzShapePoint>* points, int* minX, int* minY,
                     int* width, int* height, qzShapePoint* low);
