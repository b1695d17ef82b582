// Operations on whole alpha channels and masks (qzBitMap of kind alpha or mask): fills, copies,
// conversions between the two, and combining alpha rectangles. Each locks its bitmaps and runs one
// kernel; rectangles are cut to the parts that lie inside both bitmaps, so no position or size
// can reach outside them. Those that can fail return 0 or ERR_LOCKBMAP.
#pragma once

#include <cstdint>

#include "gfx/bitmap.h"
#include "gfx/polygon.h"

// A new alpha channel holding the alpha bytes of 32-bit ARGB pixels (row length in pixels).
qzBitMap* CreateAlphaBitMapFromData(const uint32_t* argb, int width, int height, int sourceRowLength);
// A new alpha channel of width x height with the rows of `alpha` copied.
qzBitMap* CopyAlphaBitMap(const qzBitMap* alpha, int width, int height);

// Sets a rectangle of an alpha channel to one value.
int FillAlphaRect(qzBitMap* alpha, int x, int y, int width, int height, int value);
// destination = source * level / 255 over `rows` rows of the source's bytes per row.
int ScaleAlphaChannel(const qzBitMap* source, qzBitMap* destination, int rows, int level);
// Alpha byte = value where the mask bit is set, 0 where it is clear.
int MaskToAlpha(const qzBitMap* mask, int mx, int my, qzBitMap* alpha, int ax, int ay, int width, int height,
                int value);
// Alpha byte = value where the mask bit is set; elsewhere unchanged.
int BlitMaskRect(const qzBitMap* mask, int mx, int my, qzBitMap* alpha, int ax, int ay, int width, int height,
                 int value);
// Mask bits from alpha bytes by mask mode (AlphaRectToMask).
int AlphaToMask(const qzBitMap* alpha, int ax, int ay, qzBitMap* mask, int mx, int my, int width, int height,
                int maskMode);
// Combines a rectangle of one alpha channel into another by mode 0..9 (CombineAlphaRect).
int BlitAlphaRect(const qzBitMap* source, int sx, int sy, qzBitMap* destination, int dx, int dy, int width, int height,
                  int mode, int argument);
// The same after clipping: a negative destination position moves the source origin and shortens
// the size; the size is then cut to both channels.
int BlitAlphaRectClipped(const qzBitMap* source, int sx, int sy, qzBitMap* destination, int dx, int dy, int width,
                         int height, int mode, int argument);

// Sets the mask bits inside the closed polygon of `count` integer points (already clipped by the
// caller; rows outside the mask are left alone). Returns 0, ERR_LOCKBMAP, or ERR_MEM when the
// crossings buffer cannot be made.
int FillMaskPolygon(qzBitMap* mask, const qzPoint* points, int count);

// Sets a 2x2 matrix of doubles to the identity 1, 0, 0, 1.
void InitIdentityMatrix(double matrix[4]);
