// Graphics services for plugins: engine bitmaps locked, filled, copied, drawn and read back, and
// video bitmaps of a display-adapter plugin made from and read into ARGB pixels.
#pragma once

#include <cstdint>

#include "gfx/bitmap.h"
#include "platform/plugin_api.h"

// bitmap is a qzBitMap*. A lock (null on failure) is given back with HostUnLockBitMap.
void* HostLockBitMap(void* bitmap, int readOnly, qzPluginLock* out);
void HostUnLockBitMap(void* lock);
// Rectangles are clipped to the bitmaps; colours are 0xAARRGGBB, raw values the bitmap's own
// pixel format. 1 when something could be drawn, else 0.
int HostCopyPixels(void* source, int sx, int sy, void* target, int dx, int dy, int width, int height);
int HostFillRect(void* bitmap, int x, int y, int width, int height, uint32_t colour);
int HostFillRectRaw(void* bitmap, int x, int y, int width, int height, uint32_t pixel);
int HostDrawLine(void* bitmap, int x1, int y1, int x2, int y2, uint32_t colour);
// ARGB pixels of the rectangle (free with OsFree), or null.
uint32_t* HostReadBitMapPixels(void* bitmap, int x, int y, int width, int height);

// The display adapter's path for video bitmaps from ARGB pixels (see SetVideoFromPixelsHook):
// alpha from the pixels (alphaMode 2), from the key colour (key pixels transparent) or opaque,
// inverted for an adapter that wants inverted alpha; the adapter's AllocVideoBitMap copies the
// pixels (tag QZ_VIDEOBMTAG_PIXELS). An adapter that refuses leaves an ordinary bitmap to be made.
int CreateVideoBitMapFromPixels(const uint32_t* pixels, uint32_t keyColour, int width, int height, int rowLength,
                                int alphaMode, const qzAdapterTag* options, qzBitMap** outBitmap);
// Reads a video bitmap's pixels through the adapter into target (a colour bitmap of 2- or 4-byte
// pixels), from its top left. 0, ERR_LOCKBMAP when target cannot be locked, or
// ERR_READVIDEOPIXELS when the adapter cannot read the pixels.
int ReadVideoBitMapPixels(const qzBitMap* video, qzBitMap* target);
