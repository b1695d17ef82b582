// Mirroring and pixelating a bitmap in place together with its mask and alpha channel.
#pragma once

#include "gfx/bitmap.h"

// Mirrors the width x height top-left part of the bitmap (and of mask and alpha when given):
// rows exchanged when vertical is non-zero, columns reversed otherwise. Returns 0,
// ERR_WRONGUSAGE for a size outside the bitmaps, or ERR_LOCKBMAP.
int FlipBitMap(qzBitMap* bitmap, qzBitMap* mask, qzBitMap* alpha, int width, int height, int vertical);

// Cuts the width x height top-left part into cellSize x cellSize cells from the top left, each
// taking the colour (and mask bit or alpha) of its top-left pixel; a cell whose top-left pixel is
// invisible becomes invisible and keeps its colours. A cell size below 1 is ERR_WRONGUSAGE, as is
// a size outside the bitmaps; ERR_LOCKBMAP when the bitmap cannot be locked.
int PixelateBitMap(qzBitMap* bitmap, qzBitMap* mask, qzBitMap* alpha, int width, int height, int cellSize);
