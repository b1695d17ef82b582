// Reading bitmap pixels back as ARGB, and building bitmaps from ARGB pixels.
#pragma once

#include <cstdint>

#include "gfx/bitmap.h"

// "No key colour" for the key-colour arguments below.
constexpr uint32_t QZ_NO_KEY_COLOR = 0xFFFFFFFF;

// The pixel at x, y of a locked colour buffer as 0x00RRGGBB (alpha is never returned); 0 for a
// buffer without 2-, 3- or 4-byte pixels.
uint32_t ReadLockedPixel(const qzLockInfo* lock, int x, int y);

// A mask's bit at x, y (1 or 0), or a colour bitmap's pixel as 0x00RRGGBB; 0 when the bitmap
// cannot be locked or x, y lies outside it.
uint32_t ReadBitMapPixel(const qzBitMap* bitmap, int x, int y, int isMask);

// A new width x height buffer (OsFree) of 32-bit pixels read from x, y: formats 4 and 10-13
// through ReadRectToARGB (format 10 keeps its stored alpha), others pixel by pixel with alpha 0.
// Pixels of the rectangle outside the bitmap are 0. Null when out of memory, the lock fails, or
// the buffer would exceed QZ_MAX_BITMAP_BYTES.
uint32_t* ReadBitMapPixels(const qzBitMap* bitmap, int x, int y, int width, int height, int lockFlags);

// ReadBitMapPixels, then, with a mask and (alphaFromMask or a key colour): pixels whose mask bit
// is clear become the key colour (alphaFromMask 0) or get alpha 0, and with alphaFromMask the
// others get alpha 255; with neither mask nor alpha channel every pixel gets alpha 255; with an
// alpha channel every pixel takes its alpha byte, and where that is 0 and a key colour is given
// its RGB becomes the key colour's. Mask and alpha have the bitmap's geometry.
uint32_t* ReadBitMapPixelsMasked(const qzBitMap* bitmap, int x, int y, int width, int height, const qzBitMap* mask,
                                 const qzBitMap* alpha, uint32_t keyColour, int alphaFromMask, int lockFlags);

// Converts a rectangle of 0xAARRGGBB pixels (rows of sourceRowBytes bytes) into the bitmap's
// format at dx, dy; the part outside the bitmap is skipped. Bitmaps with other than 2- or 4-byte
// pixels are left untouched.
void WriteARGBToBitMap(const uint32_t* argb, int sx, int sy, int sourceRowBytes, qzBitMap* bitmap, int dx, int dy,
                       int width, int height);

// Builds a colour bitmap from ARGB pixels (rowLength in pixels), with a mask from the key colour
// (bit clear where the RGB equals the key's) when keyColour is not QZ_NO_KEY_COLOR and, with the
// video flag and alphaMode 2, an alpha channel from the pixels' alpha. The mask and the alpha
// channel go to outMask / outAlpha, or are not kept when those are null. Returns 0, ERR_BITMAP,
// ERR_ALLOCMASK or ERR_ALLOCALPHA (nothing made is left behind), or the error of the video path.
int CreateBitMapFromARGB(const uint32_t* pixels, uint32_t keyColour, int width, int height, int rowLength, int video,
                         int alphaMode, const qzAdapterTag* videoOptions, qzBitMap** outBitmap, qzBitMap** outMask,
                         qzBitMap** outAlpha);

// The display adapter's path for a video bitmap made from ARGB pixels. Returns 0 with *outBitmap
// set, an error code, or QZ_VIDEO_FELL_BACK when the engine should make an ordinary bitmap. Null
// until a display-adapter plugin offers video bitmaps.
constexpr int QZ_VIDEO_FELL_BACK = -1;
typedef int (*qzVideoFromPixelsFn)(const uint32_t* pixels, uint32_t keyColour, int width, int height, int rowLength,
                                   int alphaMode, const qzAdapterTag* options, qzBitMap** outBitmap);
void SetVideoFromPixelsHook(qzVideoFromPixelsFn hook);
qzVideoFromPixelsFn GetVideoFromPixelsHook();
