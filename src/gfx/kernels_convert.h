// Pixel converters and single-pixel access. Colour arithmetic of the kernels is done on 8-bit
// channels in two native layouts: 0x00RRGGBB (format 10) for 4-byte pixels and RGB565 (format 4)
// for 2-byte pixels; other formats are converted to those before and back after.
#pragma once

#include <cstdint>

#include "gfx/pixel_format.h"

// 16-bit channels widened to 8 bits without replicating low bits, and narrowed back.
inline uint32_t Red565(uint32_t v) { return (v >> 8) & 248; }
inline uint32_t Green565(uint32_t v) { return (v >> 3) & 252; }
inline uint32_t Blue565(uint32_t v) { return (v << 3) & 248; }
inline uint32_t Pack565(uint32_t r, uint32_t g, uint32_t b) { return ((r & 248) << 8) | ((g & 252) << 3) | (b >> 3); }

// Native ARGB to format 11 (B<<24 | G<<16 | R<<8), 12 (value << 8) or 13 (red and blue swapped,
// alpha cleared); other formats unchanged.
uint32_t SwizzleFromARGB32(int format, uint32_t value);
// The inverse: 11 gives R<<16 | G<<8 | B, 12 value >> 8, 13 swaps red and blue; others unchanged.
uint32_t SwizzleToARGB32(int format, uint32_t value);
// Native RGB565 to format 0..7 and back. 5-bit green drops (and gets back as 0) its lowest bit;
// every other channel bit is kept. Swapped formats exchange the two bytes of the value.
uint32_t ConvertFromRGB565(int format, uint32_t value);
uint32_t ConvertToRGB565(int format, uint32_t value);

// Reads red, green and blue bytes of one pixel: 5-bit channels as value << 3, 6-bit green as
// value << 2. Formats 8 and 9 are read like format 10 (its three colour bytes).
void ReadPixelRGB(const void* pixel, int format, uint8_t rgb[3]);
// Writes red, green and blue into one pixel of formats 0-7 and 10-13 (alpha byte 0); formats 8, 9
// and above 13 are not written.
void WritePixelRGB(void* pixel, int format, const uint8_t rgb[3]);

// Rectangles of native ARGB source pixels written into a destination format: 10 (copied), 11, 12
// or 13 (as SwizzleFromARGB32; other formats write nothing), or a 16-bit format 0..7 with each
// channel truncated to 5 or 6 bits (formats above 7 write nothing). Row lengths in pixels.
void ConvertRowsFromARGB32(const uint32_t* src, void* dst, int sx, int sy, int dx, int dy, int width, int height,
                           int srcRowLength, int dstRowLength, int format);
void ConvertRowsARGBTo16(const uint32_t* src, void* dst, int sx, int sy, int dx, int dy, int width, int height,
                         int srcRowLength, int dstRowLength, int format);
