// Front-ends of the colour quantiser.
#pragma once

#include <cstdint>

#include "gfx/bitmap.h"

// Quantises locked pixels into one index a pixel (width x height bytes, rows packed) and a
// palette of 0x00RRGGBB entries (room for 256). transparent is 0x00RRGGBB or -1; spareEntry adds
// one black entry when there is no transparent colour. Returns the number of palette entries, 0
// on failure; outTransparentIndex (may be null) gets the transparent colour's index or -1.
int QuantizeImage(const void* pixels, int format, int bytesPerPixel, int width, int height, int rowLength,
                  uint8_t* indices, uint32_t* palette, int colourLimit, int32_t transparent, int spareEntry, int dither,
                  int* outTransparentIndex);

// Every pixel replaced by its palette colour: 0, ERR_LOCKBMAP or ERR_MEM.
int QuantizeBitMap(qzBitMap* bitmap, int colours, int dither);
// Two colours through the quantiser, written back as black (index 0) and white (index 1).
int ConvertBitMapToMonochrome(qzBitMap* bitmap, int dither);
