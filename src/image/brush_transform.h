// Changing a brush's geometry in place: scaling, any 2x2 matrix (rotation included), flipping,
// cropping, trimming to the visible pixels, and turning a vector brush into a raster one. Each
// makes the new bitmaps first and swaps them in only when all of them were made, so a failure
// leaves the brush as it was.
#pragma once

#include <cstdint>

#include "base/object_id.h"

struct VmState;
struct qzBrush;

// Looks a brush up for a change (FindBrush flags): ERR_MODIFYABR while it is the selected output;
// layers that show it keep their own copy.
int FindBrushForChange(VmState* state, const qzObjectId& id, int flags, qzBrush** out);
// FindBrushForChange for a command: the command fails (VmFailCommand) with its error. The index
// form reads the identifier from the argument at index first (GetObjectIdArg).
qzBrush* CheckBrushForChange(VmState* state, const qzObjectId& id, int flags);
qzBrush* CheckBrushForChange(VmState* state, int index, int flags);

// Scales to width x height (same size: nothing). Vector brushes are rendered again and marked
// transformedvector.
int ScaleBrushCore(qzBrush* brush, int32_t width, int32_t height, int smooth);
// Transforms by the matrix; the new size is the bounding size of the turned brush.
int TransformBrushCore(VmState* state, const qzObjectId& id, const double matrix[4], int smooth);
int FlipBrushCore(qzBrush* brush, int vertical);
// The part at x, y (inside the brush), cut to the brush, replaces it.
int CropBrushCore(qzBrush* brush, int32_t x, int32_t y, int32_t width, int32_t height);
// Cuts the brush to the bounding box of its visible pixels (mask bits set, else alpha non-zero);
// a brush with neither stays. *left, *top: what was cut away. ERR_TRANSBRUSH when nothing is
// visible.
int TrimBrushCore(qzBrush* brush, int32_t* left, int32_t* top);
// A vector brush becomes a raster brush (its source is released); ERR_WRONGUSAGE for a raster one.
int RasterizeBrushCore(qzBrush* brush);
