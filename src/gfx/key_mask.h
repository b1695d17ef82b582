// Masks made from a key colour.
#pragma once

#include "gfx/bitmap.h"

// A new mask of width x height (at most the bitmap's size) whose bit is set where the pixel
// differs from the key colour and clear where it equals it. The key (0xAARRGGBB) is converted to
// the bitmap's format without alpha; 4-byte pixels are compared without their alpha byte, 2-byte
// pixels whole. Null when the mask cannot be made or the bitmap cannot be locked.
qzBitMap* CreateMaskFromKeyColor(const qzBitMap* bitmap, int width, int height, uint32_t keyColour);
