// Front-end of the distortion engine for brushes: a new bitmap of the output area, with a mask
// (or, when the source has one, an alpha channel) that is clear where the mapping leaves the
// source, filled through one of the distortion methods.
#pragma once

#include "gfx/bitmap.h"

// Perspective (4) with eight numbers takes them as the target corners of the picture's top-left,
// top-right, bottom-right and bottom-left corners; other argument lists go to the engine as they
// are. Returns 0, ERR_WRONGUSAGE for arguments the method does not accept, ERR_MEM, ERR_BITMAP,
// ERR_ALLOCMASK, ERR_ALLOCALPHA or ERR_LOCKBMAP; nothing is made on failure. The source is left
// unchanged.
int DistortBitMap(const qzBitMap* bitmap, const qzBitMap* mask, const qzBitMap* alpha, int method, const double* args,
                  int argCount, int smooth, qzBitMap** outBitmap, qzBitMap** outMask, qzBitMap** outAlpha);
