// Front-ends of the per-pixel colour kernels on a whole bitmap: inverting, turning grey, and
// blending a colour over a rectangle (a tint). Each locks the bitmap, clips to it and runs the 2-
// or 4-byte kernel; other pixel sizes are left unchanged. 0, or ERR_LOCKBMAP.
#pragma once

#include <cstdint>

#include "gfx/bitmap.h"

// Every colour bit of the width x height top-left part inverted.
int InvertBitMapColors(qzBitMap* bitmap, int width, int height);
// The width x height top-left part in grey (0.299 R + 0.587 G + 0.114 B).
int ConvertBitMapToGray(qzBitMap* bitmap, int width, int height);
// Blends the colour (0xRRGGBB) over the rectangle at the level 0..255 (255 paints the colour).
int BlendFillBitMapRect(qzBitMap* bitmap, int x, int y, int width, int height, uint32_t colour, int level);
