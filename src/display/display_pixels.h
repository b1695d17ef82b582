// Pixel work of the display code on its own bitmaps: filling with a colour or a gradient, tiling
// a texture, copying rectangles. Every operation clips to the bitmaps and does nothing with a
// bitmap it cannot lock.
#pragma once

#include <cstdint>

#include "runtime/applet_records.h"

struct qzBitMap;

// A colour bitmap of width x height in the screen format, or null.
qzBitMap* NewDisplayBitmap(int32_t width, int32_t height);
// colour is 0xRRGGBB.
void FillBitmapColor(qzBitMap* bitmap, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour);
void FillBitmapGradient(qzBitMap* bitmap, int32_t x, int32_t y, int32_t width, int32_t height,
                        const qzGradient& gradient);
// Covers width x height at 0, 0 with copies of the tileWidth x tileHeight tile at 0, 0 of `tile`,
// the first column and row starting at tile offset startX, startY (negative offsets wrap).
void TileBitmap(qzBitMap* bitmap, int32_t width, int32_t height, const qzBitMap* tile, int32_t tileWidth,
                int32_t tileHeight, int32_t startX, int32_t startY);
// Copies width x height from sx, sy of source to dx, dy of target.
void CopyBitmapRect(const qzBitMap* source, int32_t sx, int32_t sy, qzBitMap* target, int32_t dx, int32_t dy,
                    int32_t width, int32_t height);
// Clips a copy of width x height from sx, sy of a sourceWidth x sourceHeight bitmap to dx, dy of a
// targetWidth x targetHeight one. False when nothing is left.
bool ClipCopyRect(int32_t* sx, int32_t* sy, int32_t* dx, int32_t* dy, int32_t* width, int32_t* height,
                  int32_t sourceWidth, int32_t sourceHeight, int32_t targetWidth, int32_t targetHeight);
