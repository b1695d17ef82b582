// Pixel formats and the conversion of one colour between 0xAARRGGBB and a format's pixel value.
#pragma once

#include <cstdint>

#include "base/pixel_format_codes.h"

// 0xAARRGGBB in one 32-bit word; most callers use only the RGB part.
typedef uint32_t qzColor;

// The pixel value of `colour` in format 0..13 (0 for other formats). A 5-bit field takes the top
// 5 bits of its channel, a 6-bit field the top 6; 24-bit values are 0x00RRGGBB (format 8) or
// 0x00BBGGRR (format 9). The alpha byte of 32-bit formats is the colour's alpha when withAlpha is
// non-zero, else 0.
uint32_t ConvertARGBToPixel(qzColor colour, int format, int withAlpha);

// 0xAARRGGBB of a pixel value of format 0..13 (0 for other formats). A 5-bit field becomes
// field << 3 and a 6-bit field field << 2 (low bits zero, not replicated). For 32-bit formats the
// alpha is carried when withAlpha is non-zero, else the result's alpha is 0.
qzColor ConvertPixelToARGB(uint32_t pixel, int format, int withAlpha);
