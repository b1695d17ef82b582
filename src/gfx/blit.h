// The drawing primitives every drawing of the engine ends in: copying a rectangle (plain, through a
// 1-bit mask, through an 8-bit alpha channel, tiled), filling a rectangle, setting a pixel, drawing
// a line, painting a colour through a mask or an alpha channel, rendering a gradient, and the same
// on masks. Each asks the display adapter first: when the adapter draws the operation itself (its
// drawing-capability word) or the destination is a video bitmap it handles, the adapter's entry
// point gets a rectangle block and a flag word. Otherwise the bitmaps are locked and a software
// kernel runs for 2- or 4-byte pixels. Rectangles are cut to the bitmaps on the software path, so
// no position or size reaches outside them; a bitmap that cannot be locked draws nothing.
#pragma once

#include <cstdint>

#include "gfx/bitmap.h"
#include "platform/display_adapter.h"
#include "runtime/applet_records.h"

struct qzClipRegion;

// Clipping.
// Clips a blit in place. With a region and useRegion, the region's rectangle is the limit: a dx
// left of it moves sx right and shortens width (the same for y). Otherwise a negative dx moves sx
// and shortens width, and the limits are destWidth x destHeight. Then width is cut to
// sourceWidth - sx and to the right limit - dx, height likewise. A width or height <= 0 left
// means nothing to draw.
void ClipBlitRect(const qzClipRegion* region, int* sx, int* sy, int* dx, int* dy, int* width, int* height,
                  int sourceWidth, int sourceHeight, int destWidth, int destHeight, int useRegion);
// Cuts a rectangle copied from sx, sy of a sw x sh source to dx, dy of a dw x dh destination to
// the part inside both, moving the corners and shortening the size in place; false when nothing is
// left.
bool ClipToBoth(int& sx, int& sy, int& dx, int& dy, int& width, int& height, int sw, int sh, int dw, int dh);
// Trims a negative x or y (shortening the size and moving the mask's origin). With a mask, *mask
// is then replaced by a fresh mask of the new size: copied from the trimmed origin, or row by row
// when nothing was trimmed and copy is set (nothing happens when nothing was trimmed and copy is
// 0); the old mask is deleted when freeOld is set. 0, or ERR_ALLOCMASK (nothing changed).
int ClipMaskToOrigin(int* x, int* y, int* width, int* height, qzBitMap** mask, int copy, int freeOld);

// The adapter.
// The one call of the adapter's BltBitMap; 0 without one.
int AdapterBltBitMap(void* sourceHandle, void* destinationHandle, const qzBlitRect* block, uint32_t flags);
// With an adapter that wants inverted alpha: the colour with alpha 255 - A (alpha 0 becomes 255);
// otherwise unchanged.
uint32_t ConvertColorForAdapter(uint32_t colour);
// True when bitmap is a video bitmap that the adapter handles.
bool IsVideoDestination(const qzBitMap* bitmap);

// Primitives on colour bitmaps. Colours are 0xAARRGGBB (most callers give 0x00RRGGBB).
void BlitBitMap(const qzBitMap* src, int sx, int sy, qzBitMap* dst, int dx, int dy, int width, int height);
// Copies the pixels whose mask bit is set; the mask has the source's geometry.
void BlitBitMapMasked(const qzBitMap* src, int sx, int sy, qzBitMap* dst, int dx, int dy, int width, int height,
                      const qzBitMap* mask);
// Blends the source over the destination through its alpha channel (source geometry).
void BlitBitMapAlpha(const qzBitMap* src, int sx, int sy, qzBitMap* dst, int dx, int dy, int width, int height,
                     const qzBitMap* alpha);
void FillBitMapRect(qzBitMap* dst, int x, int y, int width, int height, uint32_t colour);
// isMask 0: sets the pixel to the colour; isMask 1: dst is a mask and the bit changes by the mask
// mode given in colourOrMaskMode (MASKVISIBLE, MASKVANILLACOPY, MASKOR set it, MASKINVISIBLE
// clears it, MASKXOR inverts it, MASKAND leaves it).
void WriteBitMapPixel(qzBitMap* dst, int x, int y, uint32_t colourOrMaskMode, int isMask);
void DrawBitMapLine(qzBitMap* dst, int x1, int y1, int x2, int y2, uint32_t colour);
// Renders a gradient into the rectangle, which must lie inside the bitmap (else nothing is drawn:
// the gradient's geometry is the rectangle's).
void DrawGradient(qzBitMap* dst, int x, int y, int width, int height, const qzGradient* gradient);

// Primitives on masks.
// Combines source bits into destination bits by mask mode: MASKVISIBLE sets where the source is
// set, MASKINVISIBLE clears there, MASKVANILLACOPY copies, MASKXOR, MASKAND, MASKOR combine;
// other modes change nothing. srcPixels and srcBytesPerRow, when non-zero, replace the source
// mask's own (srcMask may then be null, and the caller vouches for the source rectangle).
void BlitMaskPlane(const qzBitMap* srcMask, int sx, int sy, qzBitMap* dstMask, int dx, int dy, int width, int height,
                   int maskMode, const uint8_t* srcPixels, int srcBytesPerRow);
// Every bit of the rectangle by mask mode: MASKVISIBLE, MASKVANILLACOPY, MASKOR set,
// MASKINVISIBLE clears, MASKXOR inverts, others nothing.
void FillMaskRect(qzBitMap* mask, int x, int y, int width, int height, int maskMode);
// Paints the colour wherever the mask bit is set (glyphs, shapes). maskPixels and
// maskBytesPerRow, when non-zero, replace the mask's own (mask may then be null).
void BlitMaskAsColor(const qzBitMap* mask, int mx, int my, qzBitMap* dst, int dx, int dy, int width, int height,
                     uint32_t colour, const uint8_t* maskPixels, int maskBytesPerRow);

// Painting through 8-bit coverage.
// The mode arguments of BltAlphaChannel: the level of modes 2 and 3, the 16-bit coverage of mode 3
// (row length in 16-bit words), and source pixels drawn instead of the colour (destination format,
// row length in pixels). Each is optional.
struct qzAlphaPaintArgs {
    int level = 255;
    const uint16_t* coverage16 = nullptr;
    int coverage16RowLength = 0;
    const void* srcPixels = nullptr;
    int srcRowLength = 0;
};
// Paints the colour (or the source pixels) through the coverage of `alpha` at sx, sy onto dst at
// dx, dy by mode: 0 write where covered, 1 blend, 2 and 3 blend onto dstAlpha (which they also
// update), 4 coverage 0..64. alphaPixels and alphaBytesPerRow, when non-zero, replace the alpha
// channel's own (alpha may then be null). Without dst the console shows
// "ERROR! BLTALPHACHANNEL() CALLED WITH DST=NULL!".
void BltAlphaChannel(const qzBitMap* alpha, int sx, int sy, qzBitMap* dst, int dx, int dy, int width, int height,
                     uint32_t colour, int mode, const qzAlphaPaintArgs* args, qzBitMap* dstAlpha,
                     const uint8_t* alphaPixels, int alphaBytesPerRow);
// The same after clipping: a negative destination position moves the coverage origin and shortens
// the size; then the size is cut to the coverage's and the destination's bounds.
void BltAlphaChannelClipped(const qzBitMap* alpha, int sx, int sy, qzBitMap* dst, int dx, int dy, int width, int height,
                            uint32_t colour, int mode, const qzAlphaPaintArgs* args, qzBitMap* dstAlpha);

// Software blits through an alpha channel (srcAlpha, source geometry), by mode:
// 0 d = d + (((s - d) * a) >> 8) (a = 0 skips, 255 copies); 1 copies where a != 0; 2 onto a
// destination with its own alpha channel b (read only): the source-over result
// A = (255a + (255 - a)b + 127) / 255, each channel (s*a + d*w + 127) / A with
// w = ((255 - a)b + 127) / 255. Other modes and pixel sizes draw nothing.
void BlitPlanesSoftware(const qzBitMap* src, int sx, int sy, qzBitMap* dst, int dx, int dy, int width, int height,
                        const qzBitMap* srcAlpha, const qzBitMap* dstAlpha, int mode);
struct qzThroughPlaneJob {
    const void* srcPixels;
    int srcX, srcY;
    int srcRowLength;
    void* dstPixels;
    int dstX, dstY;
    int dstRowLength;
    int width, height;
    const uint8_t* srcAlpha;  // read at srcX + i, srcY + j
    const uint8_t* dstAlpha;  // mode 2: read at dstX + i, dstY + j
    int srcAlphaBytesPerRow;
    int dstAlphaBytesPerRow;
    int format;  // both buffers
    int mode;
};
void BlitThroughPlane(const qzThroughPlaneJob* job);

// Tiling. Covers width x height at dx, dy of dst with copies of the tileWidth x tileHeight tile at
// 0, 0 of src; the first column starts at tile offset startX, the first row at startY (offsets
// outside the tile wrap into it: ((s % t) + t) % t). A tile size below 1 draws nothing.
void BlitBitMapTiled(qzBitMap* dst, int dx, int dy, int width, int height, const qzBitMap* src, int startX, int startY,
                     int tileWidth, int tileHeight);
// The same between two 32-bit pixel buffers: dst rows are width pixels long, src rows
// srcRowLength pixels; dst is covered from 0, 0.
void TilePixels32(uint32_t* dst, int width, int height, const uint32_t* src, int startX, int startY, int tileWidth,
                  int tileHeight, int srcRowLength);

// The software halves, for callers that already hold locked memory. Row lengths in pixels.
// Copies with bytesPerPixel 2 or 4 (others nothing).
void CopyPixelRect(const void* src, void* dst, int sx, int sy, int dx, int dy, int width, int height, int srcRowLength,
                   int dstRowLength, int bytesPerPixel);
void CopyPixelRectMasked(const void* src, void* dst, const uint8_t* mask, int sx, int sy, int dx, int dy, int width,
                         int height, int srcRowLength, int maskBytesPerRow, int dstRowLength, int bytesPerPixel);
// At opacity 255 stores the colour converted to the format; otherwise blends toward it.
void FillPixelRect(void* pixels, int x, int y, int width, int height, uint32_t colour, int opacity, int rowLength,
                   int format);
// A line one pixel wide, clipped to clipWidth x clipHeight pixels from 0, 0.
void DrawThickLine(void* pixels, int x1, int y1, int x2, int y2, uint32_t colour, int opacity, int format,
                   int rowLength, int clipWidth, int clipHeight);
