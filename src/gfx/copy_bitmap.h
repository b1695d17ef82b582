// CopyBitMap: a region of a bitmap, with its mask and alpha channel, copied into new bitmaps.
#pragma once

#include "gfx/bitmap.h"

// Copies the width x height region at sx, sy of `source` (and of mask and alpha when given) into
// a new colour bitmap, a new mask and a new alpha channel, handed to the out pointers given (the
// caller deletes them). With asVideo the copy is made as a video bitmap from the region's ARGB
// pixels (an ordinary bitmap where no display adapter offers video bitmaps). Returns 0,
// ERR_WRONGUSAGE for a region not inside the source, ERR_BITMAP, ERR_ALLOCMASK, ERR_ALLOCALPHA,
// ERR_MEM or ERR_LOCKBMAP; a failed call makes nothing.
int CopyBitMap(const qzBitMap* source, const qzBitMap* mask, const qzBitMap* alpha, int sx, int sy, int width,
               int height, int asVideo, qzBitMap** outBitmap, qzBitMap** outMask, qzBitMap** outAlpha);
