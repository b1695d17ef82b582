// ScaleBitMap: scales a rectangle of a bitmap, with its mask and alpha channel, into new bitmaps
// or into an existing colour bitmap. The step tables it keeps between calls only grow, so
// repeated scaling (layers, video frames) allocates nothing; they are main-thread state.
#pragma once

#include "gfx/bitmap.h"

// Scales the sourceWidth x sourceHeight rectangle at sx, sy of `source` (and of sourceMask and
// sourceAlpha when given) to newWidth x newHeight, nearest or smooth. With `existing` the colour
// pixels go into it (at its top-left) and no mask or alpha channel is made; otherwise a new
// bitmap, and a new mask and alpha channel where the source has them, go to the out pointers
// given (the caller deletes them). A new size below 1 x 1 makes nothing and returns 0. Returns 0,
// ERR_MEM (step tables), ERR_BITMAP, ERR_ALLOCMASK, ERR_ALLOCALPHA, ERR_LOCKBMAP, or
// ERR_WRONGUSAGE when the rectangle is not inside the source or the existing bitmap is too small;
// a failed call makes nothing.
int ScaleBitMap(const qzBitMap* source, const qzBitMap* sourceMask, const qzBitMap* sourceAlpha, int sx, int sy,
                qzBitMap* existing, int sourceWidth, int sourceHeight, int newWidth, int newHeight, int smooth,
                qzBitMap** outBitmap, qzBitMap** outMask, qzBitMap** outAlpha);

// Frees the step tables kept by ScaleBitMap (graphics clean-up at exit).
void FreeScaleBitMapTables();
