// Rectangle fills. Pixels are addressed by a base pointer, a row length in pixels and x, y of the
// first pixel; a width or height below 1 does nothing.
#pragma once

#include <cstdint>

// Stores the value into every pixel (16-bit: its low 16 bits).
void FillRect32(void* pixels, int rowLength, int x, int y, int width, int height, uint32_t value);
void FillRect16(void* pixels, int rowLength, int x, int y, int width, int height, uint32_t value);
// Stores the byte into a rectangle of an alpha channel.
void FillByteRect(uint8_t* buffer, int x, int y, int width, int height, int bytesPerRow, int value);
// Per channel c = c + ((level * (colour - c)) >> 8). The colour is native: 0x00RRGGBB for the 32-bit
// member, RGB565 for the 16-bit member, whatever the buffer's format; blended pixels get alpha 0.
// The level is taken within 0..255.
void BlendFillRect32(void* pixels, int x, int y, int width, int height, uint32_t colour, int level, int rowLength,
                     int format);
void BlendFillRect16(void* pixels, int x, int y, int width, int height, uint32_t colour, int level, int rowLength,
                     int format);
