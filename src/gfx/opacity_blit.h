// Drawing one bitmap over another at a global opacity.
#pragma once

#include "gfx/bitmap.h"

// Draws the width x height rectangle at sx, sy of `source` over `destination` at dx, dy with
// opacity 0..255 (255 the source itself): through the source mask when given (pixels whose bit
// is clear are left), or through the source alpha channel (alphaWidth x alphaHeight, each byte
// weighted by the opacity) when given. The rectangle is cut to both bitmaps first. Returns 0,
// ERR_ALLOCALPHA (the weighted alpha copy) or ERR_LOCKBMAP.
int BlitBitMapWithOpacity(qzBitMap* destination, const qzBitMap* source, const qzBitMap* sourceMask, int dx, int dy,
                          int sx, int sy, int width, int height, int opacity, const qzBitMap* sourceAlpha,
                          int alphaWidth, int alphaHeight);
