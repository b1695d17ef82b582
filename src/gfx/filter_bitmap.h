// Front-ends of the image filters: each locks a bitmap, runs the 2- or 4-byte kernel over a
// rectangle from its top-left corner and returns 0, or ERR_LOCKBMAP when the bitmap cannot be
// locked. Other pixel sizes are left unchanged.
#pragma once

#include <cstdint>

#include "gfx/bitmap.h"

// The convolution engine in one of its modes ('b' blur, 's' sharpen, 'e' emboss, 'g' edge) over
// the rectangle; the alpha channel, when given, is filtered the same way.
int BlurBitMap(qzBitMap* bitmap, qzBitMap* alpha, int x, int y, int width, int height, double radius, double sigma,
               char mode);
int SolarizeBitMap(qzBitMap* bitmap, int width, int height, int threshold);
int GammaBitMap(qzBitMap* bitmap, int width, int height, double red, double green, double blue);
// Sigmoidal contrast, raised `amount` times with the sharpen flag, lowered without it.
int ContrastBitMap(qzBitMap* bitmap, int width, int height, int sharpen, int amount);
// `lock` may be a lock the caller already holds on the bitmap (then it is not locked again).
int StretchBitMapLevels(qzBitMap* bitmap, int width, int height, int blackCount, int whiteCount,
                        const qzLockInfo* lock = nullptr);
// Black count 2% and white count 99% of the pixels.
int AutoStretchBitMapLevels(qzBitMap* bitmap, int width, int height, const qzLockInfo* lock = nullptr);
// Levels stretched and contrast raised first, then the sepia kernel at the threshold (0..255).
int SepiaToneBitMap(qzBitMap* bitmap, int width, int height, double threshold);
int OilPaintBitMap(qzBitMap* bitmap, int width, int height, double radius);
int ModulateBitMap(qzBitMap* bitmap, int width, int height, int brightness, int saturation, int hue);
// Charcoal drawing: edges (radius), blurred (radius, sigma), turned grey, inverted and
// level-stretched, in that order.
int CharcoalBitMap(qzBitMap* bitmap, int width, int height, double radius, double sigma);

// A new alpha channel of (width + 2r) x (height + 2r), r the whole part of the radius, holding the
// source's coverage (set mask bits as 255, the alpha channel, or full opacity without either),
// taken from sx, sy of the source and placed r pixels in, then blurred with radius and sigma.
// With fullStrength every pixel the blur reaches becomes opaque (a solid border). Null when out
// of memory.
qzBitMap* BlurAlphaForShadow(const qzBitMap* mask, const qzBitMap* alpha, int sx, int sy, int width, int height,
                             double radius, double sigma, int fullStrength);
