// The platform's own bitmap storage, used when no display-adapter plugin owns bitmaps: plain heap
// memory with rows padded to a multiple of 4 pixels. There is no drawing port: everything draws
// into the memory directly.
#pragma once

#include <cstdint>

// The memory behind an engine bitmap. Colour bitmaps (kind 0) are made by OsAllocBitMap; the
// engine's alpha channels (kind 1) and masks (kind 2) use the same record.
struct qzRawBitMap {
    int32_t kind;
    int32_t width;  // as requested
    int32_t height;
    void* pixels;
    int32_t bytesPerRow;
    int32_t bytesPerPixel;  // colour bitmaps only
    int32_t pixelFormat;    // colour bitmaps only (qzPixelFormat)
    int32_t notOwned;       // alpha channels and masks: 1 when the pixel memory is the caller's
};

// What a lock of a bitmap gives its caller; filled on the caller's stack.
struct qzLockInfo {
    void* pixels;
    intptr_t success;  // non-zero when locked (for an adapter bitmap, the adapter's lock handle)
    int32_t pixelFormat;
    int32_t bytesPerPixel;
    int32_t rowLength;  // in pixels; for alpha channels and masks bytes per row
    int32_t width;
    int32_t height;
    int32_t noUnlock;  // 1 when nothing needs to be released
    void* port;        // platform drawing port; always null on this platform
};

// The largest pixel memory of one bitmap, alpha channel or mask: 2^31-1 bytes, so that every
// offset inside a bitmap fits a 32-bit int. Larger sizes (a script chooses them) are refused
// before anything is allocated.
constexpr int64_t QZ_MAX_BITMAP_BYTES = 0x7FFFFFFF;

// Attributes that OsGetBitMapAttr answers.
enum {
    OSBMATTR_ROWLENGTH = 13,
    OSBMATTR_PIXELFORMAT = 21,
    OSBMATTR_PIXELS = 23,
};

// A colour bitmap of width x height in the screen format (format 10 while the screen format is
// not fixed), rows padded to a multiple of 4 pixels, pixels not cleared. Null when a size is below
// 1, when the pixels would exceed QZ_MAX_BITMAP_BYTES, or when memory runs out.
qzRawBitMap* OsAllocBitMap(int width, int height);
// Frees the pixels and the record; null is ignored.
void OsFreeBitMap(qzRawBitMap* raw);
// Nothing to lock on this platform: writes 0 to *prepared and returns 1.
int OsLockBitMap(qzRawBitMap* raw, int flags, int32_t* prepared);
// Fills every field of the lock information from the record; 0 for a null record (success 0).
int OsGetBitMapInfo(const qzRawBitMap* raw, qzLockInfo* lock);
// 21 pixel format, 23 pixel pointer, 13 row length in pixels, anything else (or no record) 0.
intptr_t OsGetBitMapAttr(const qzRawBitMap* raw, int attr);
// Video-bitmap features of the display adapter within `mask`; 0 without an adapter that offers
// video bitmaps.
uint32_t OsQueryVideoBitMapCaps(uint32_t mask);

// The process-wide screen pixel format: -1 while not fixed.
int OsGetScreenPixelFormat();
void OsSetScreenPixelFormat(int format);
// 32 while the screen format is not fixed, else the bits per pixel of that format.
int OsGetScreenDepth();
