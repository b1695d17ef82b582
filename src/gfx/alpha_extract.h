// Splitting the alpha out of 32-bit pixels, and reading a rectangle of 16- or 32-bit pixels as
// native ARGB.
#pragma once

#include <cstdint>

// Copies the alpha byte (w >> 24) of every pixel into the plane. Rows advance by their own row
// lengths (pixels for the source, bytes for the plane), also when width is below 1.
void ExtractAlphaBytes(const uint32_t* src, int width, int height, int srcRowLength, uint8_t* plane,
                       int planeBytesPerRow);

// Writes width x height native ARGB words (rows without padding) from the rectangle x, y of a
// buffer in format 4 (RGB565, alpha 0), 10 (copied), 11 (bytes reversed), 12 (>> 8, alpha 0) or 13
// (bytes reversed, >> 8, alpha 0). Any other format writes nothing.
void ReadRectToARGB(const void* base, uint32_t* dst, int x, int y, int width, int height, int srcRowLength,
                    int bytesPerPixel, int format);
