// A pen on a shape's own bitmaps: the colour bitmap and its mask or alpha channel (and a pattern
// bitmap of the same geometry) locked for one drawing, with the pen of the pixel engine set to a
// colour whose top byte is a transparency level.
#pragma once

#include <cstdint>

#include "gfx/bitmap_lock.h"
#include "gfx/pen.h"

struct qzShapePen {
    BitMapLock colour;
    BitMapLock mask;
    BitMapLock alpha;
    BitMapLock pattern;
    qzPenTarget pen{};
    bool ok = false;
    // Mask bits are set (mask mode 2); the alpha channel takes 255 minus the transparency level.
    qzShapePen(qzBitMap* bitmap, qzBitMap* maskBitmap, qzBitMap* alphaBitmap, const qzBitMap* patternBitmap,
               uint32_t color);
    // A new colour (RGB and transparency level) for the following plots.
    void SetColor(uint32_t color);
};
