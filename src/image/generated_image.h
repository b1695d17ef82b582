// Brushes and background pictures generated instead of loaded: a colour gradient, or a brush
// tiled over the new image. A generated picture keeps its description in its fill, so that
// scaling draws it again at the new size; a generated brush is a plain raster brush.
#pragma once

#include <cstdint>

struct VmState;

// What is made.
enum : int32_t {
    QZ_GENERATE_BGPIC = 1,
    QZ_GENERATE_BRUSH = 3,
};

// The body of CreateGradientBrush (id, width, height, style, startcolor, endcolor[, angle,
// options]) and of CreateGradientBGPic / CreateRainbowBGPic (id, style, startcolor, endcolor[,
// width, height, angle, options]; the size defaults to the current picture's). Returns the
// handler's result: 1 with the handle pushed for a Nil id, 0, or ERR_BADDIMENSIONS, the gradient
// options' errors, ERR_BITMAP, ERR_MEM.
int CreateGradientObject(VmState* state, int32_t kind);
// The body of CreateTexturedBrush (id, brush, width, height[, x, y]) and CreateTexturedBGPic (id,
// brush[, width, height, x, y]; the size defaults to the current picture's): the new image is
// covered with copies of the brush from the tile offset x, y (negative offsets wrap). Returns as
// CreateGradientObject; ERR_WRONGUSAGE for a brush made over its own texture.
int CreateTexturedObject(VmState* state, int32_t kind);
