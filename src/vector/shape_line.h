// Lines of the shape renderer: clipping a segment to a range of one axis, and the off-screen pass
// of a line of any thickness (a pen line one pixel wide, thicker lines through a coverage image).
#pragma once

#include <cstdint>

#include "vector/draw_state.h"
#include "vector/shape_render.h"

// Clips the segment (a1, b1)-(a2, b2) to low..high on its first axis: 0 when it lies wholly
// outside, else 1 with the ends moved onto the bounds and the other coordinate interpolated
// (truncated). Lines are clipped on x, then on y with the axes swapped.
int ClipSegmentAxis(int32_t* a1, int32_t* b1, int32_t* a2, int32_t* b2, int32_t low, int32_t high);

// The off-screen pass of a line from (x1, y1) to (x2, y2) of the thickness (already 1..64) in a
// colour whose top byte is its transparency level: the line's box (grown for thickness and
// anti-aliasing), its colour bitmap and its mask (opaque, not anti-aliased) or alpha channel.
// 0, ERR_BITMAP, ERR_ALLOCMASK, ERR_ALLOCALPHA or ERR_MEM.
int RenderLineOffscreen(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color, int thickness, bool antialias,
                        qzShapeBitmaps* out);

// The thickness of a line after scaling, clamped to 1..64.
int ClampLineThickness(int64_t thickness);
