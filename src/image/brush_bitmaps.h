// New bitmaps made from a part of an image: under a 2x2 matrix about an anchor (raster images by
// copying, scaling or transforming their pixels, vector images rendered again by their loader),
// and with a transparency level applied to their alpha channel.
#pragma once

#include <cstdint>

struct qzBitMap;
struct qzImageSource;

// Makes new bitmaps (mask and alpha where the part has them) of the width x height part at srcx,
// srcy under the matrix; outX, outY are where the result goes so that the anchor (fractions of
// the part's size) of the part placed at dstx, dsty stays put. type QZ_IMAGETYPE_VECTOR renders
// vectorSource again at the new size. 0 or the kernel's error; on an error nothing is made.
int TransformBrushBitmap(int32_t type, qzImageSource* vectorSource, const qzBitMap* bitmap, const qzBitMap* mask,
                         const qzBitMap* alpha, int32_t srcx, int32_t srcy, int32_t dstx, int32_t dsty, int32_t width,
                         int32_t height, const double anchor[2], const double matrix[4], int smooth, int hardware,
                         qzBitMap** outBitmap, qzBitMap** outMask, qzBitMap** outAlpha, int32_t* outX, int32_t* outY,
                         int32_t* outWidth, int32_t* outHeight);

// Gives an image the transparency level (0 invisible .. 255 unchanged): an alpha channel is
// scaled in place; else a new one is made from the mask (level inside, 0 outside; the mask is
// freed and set to null) or filled with the level. 0 or ERR_ALLOCALPHA.
int ApplyTransparencyLevel(qzBitMap** inoutAlpha, qzBitMap** inoutMask, int32_t width, int32_t height, int level);
