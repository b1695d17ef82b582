// Per-pixel colour kernels: key-colour masks, colour replacement, grey, inversion. Pointers address
// the first pixel of the rectangle, row lengths are in pixels, mask rows in bytes.
#pragma once

#include <cstdint>

// Mask bit cleared where (pixel AND compareMask) = key, set elsewhere.
void KeyColorToMask32(const void* pixels, uint8_t* mask, int width, int height, int maskBytesPerRow, uint32_t key,
                      int rowLength, uint32_t compareMask);
// Mask bit cleared where the pixel equals the low 16 bits of key, set elsewhere.
void KeyColorToMask16(const void* pixels, uint8_t* mask, int width, int height, int maskBytesPerRow, uint32_t key,
                      int rowLength);

// The pair table holds {from, to} words and ends with a from of 0xFFFFFFFF. For each pixel every
// pair applies in order: where (pixel AND compareMask) = from (16-bit: pixel = low 16 bits of
// from) the pixel becomes to, and later pairs see the new value.
void ReplaceColors32(int width, int height, const uint32_t* pairs, void* pixels, int rowLength, uint32_t compareMask);
void ReplaceColors16(int width, int height, const uint32_t* pairs, void* pixels, int rowLength);

// Grey g = trunc(B * 0.114 + (R * 0.299 + G * 0.587)) through fused multiply-adds; with
// blackAndWhite, g > 128 gives white, else black. 16-bit pixels give grey from 5/6-bit channels.
void GrayPixels32(void* pixels, int width, int height, int format, int rowLength, int blackAndWhite);
void GrayPixels16(void* pixels, int width, int height, int format, int rowLength, int blackAndWhite);
// The grey level of one native colour, as GrayPixels computes it.
int GrayLevel(int r, int g, int b);

// Every bit of every pixel inverted (the alpha byte too).
void InvertPixels32(void* pixels, int width, int height, int rowLength);
void InvertPixels16(void* pixels, int width, int height, int rowLength);
// Every byte of rows x bytesPerRow inverted (masks and alpha channels).
void InvertBytes(uint8_t* buffer, int rows, int bytesPerRow);
