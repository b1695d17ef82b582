// The engine's bitmap record and its life: colour bitmaps, 8-bit alpha channels and 1-bit masks,
// created, locked for direct pixel access, queried and deleted. The storage behind a record is
// the platform's (os_bitmap.h), plain memory made here for alpha channels and masks, or the
// display adapter's when it owns bitmaps; callers go through these operations only and touch the
// pixels only between LockBitMapPixels and UnlockBitMapPixels.
//
// Row padding (fixed; other code and plugins compute addresses with it):
// - colour bitmaps: rows padded to a multiple of 4 pixels;
// - alpha channels: one byte a pixel, bytes per row = width rounded up to a multiple of 4;
// - masks: one bit a pixel, most significant bit = leftmost pixel, bytes per row =
//   ((row length + 15) >> 3) with the lowest bit cleared (rows padded to 16 bits), where the row
//   length is the width or the row length in pixels of a friend colour bitmap.
#pragma once

#include <cstdint>

#include "gfx/pixel_format.h"
#include "platform/display_adapter.h"
#include "platform/os_bitmap.h"

enum {
    BITMAP_COLOR = 0,
    BITMAP_ALPHA = 1,
    BITMAP_MASK = 2,
};

struct qzBitMap {
    int32_t kind;  // BITMAP_COLOR, BITMAP_ALPHA or BITMAP_MASK
    void* handle;  // qzRawBitMap, or the display adapter's own handle
    int32_t width;
    int32_t height;
    int32_t video;          // 1: asked for as a video (hardware) bitmap
    int32_t videoPrepared;  // written by the adapter's AllocVideoBitMap; 1 after PrepareVideoBitMap
};

// CreateBitMap flags.
enum { BMF_VIDEO = 8 };

// LockBitMapPixels flags.
enum {
    LOCKF_READONLY = 1,
    LOCKF_CHANNELRECORD = 2,  // the first argument is a qzRawBitMap alpha channel or mask record
};

// QueryBitMapAttr attributes. Numbers not listed are display attributes, answered by the display
// attribute query (SetDisplayAttrQuery) or, for platform bitmaps, by OsGetBitMapAttr.
enum {
    BMATTR_WIDTH = 0,
    BMATTR_ALPHABYTESPERROW = 1,
    BMATTR_MASKBYTESPERROW = 2,
    BMATTR_ALPHAPIXELS = 3,
    BMATTR_MASKPIXELS = 4,
    BMATTR_ROWLENGTH = 13,  // row length in pixels of a colour bitmap
    BMATTR_HEIGHT = 14,
    BMATTR_VIDEO = 18,
    BMATTR_VIDEOPREPARED = 19,
    BMATTR_HANDLE = 20,
    BMATTR_PIXELFORMAT = 21,
    BMATTR_UNHANDLEDVIDEO = 22,  // video flag set and no adapter that handles video bitmaps
    BMATTR_PIXELS = 23,          // pixel pointer of a platform colour bitmap
};

// Bytes per row of an alpha channel of the given width, of a mask of the given row length.
// 64-bit: the sizes may come from a script.
inline int64_t AlphaBytesPerRow(int64_t width) { return (width + 3) & ~(int64_t)3; }
inline int64_t MaskBytesPerRow(int64_t rowLength) { return ((rowLength + 15) >> 3) & ~(int64_t)1; }

// A colour bitmap of width x height (contents undefined), or null. BMF_VIDEO asks for a video
// bitmap: the adapter's when it offers video bitmaps, else a platform bitmap with the video flag.
// Tags go to the adapter's AllocVideoBitMap.
qzBitMap* CreateBitMap(int width, int height, uint32_t flags, const qzAdapterTag* tags);
// An alpha channel (zero-filled when clear is non-zero), or null. With caller memory the channel
// wraps it with the given bytes per row (the default rule when bytesPerRow < 1) and never frees it.
qzBitMap* CreateAlphaBitMap(int width, int height, int clear, void* memory, int bytesPerRow);
// A mask, as CreateAlphaBitMap; its rows follow the mask rule for the row length of friendBitmap
// (a colour bitmap) when given, else for the width.
qzBitMap* CreateMaskBitMap(const qzBitMap* friendBitmap, int width, int height, int clear, void* memory,
                           int bytesPerRow);
// The one call of the adapter's AllocBitMap; null without an adapter.
void* AdapterAllocBitMap(int kind, int width, int height, int clear, const qzAdapterTag* tags);

// Each frees the storage (caller memory excepted) and the record; null is ignored.
void DeleteBitMap(qzBitMap* bitmap);
void DeleteAlphaBitMap(qzBitMap* bitmap);
void DeleteMaskBitMap(qzBitMap* bitmap);

// Asks the adapter to prepare a video bitmap once. Returns the adapter's answer, the prepared word
// when already prepared, or 0 for a non-video bitmap.
intptr_t PrepareVideoBitMap(qzBitMap* bitmap);

// Locks a bitmap (or, with LOCKF_CHANNELRECORD, a qzRawBitMap) for direct access and fills *lock.
// Returns non-zero on success; on failure the caller draws nothing. Every successful lock is
// paired with UnlockBitMapPixels.
int LockBitMapPixels(const void* bitmap, int flags, qzLockInfo* lock);
void UnlockBitMapPixels(qzLockInfo* lock);

void* GetBitMapHandle(const qzBitMap* bitmap);
// Width (0) and height (1) of a storage handle, through the adapter when it owns bitmaps.
intptr_t QueryRawBitMapAttr(void* handle, int attr);
// Bitmap and display attributes by number (BMATTR_*). A null bitmap answers 0 for the bitmap
// attributes.
intptr_t QueryBitMapAttr(const qzBitMap* bitmap, int attr);

// The display layer's attribute query, asked for display attributes; null until installed.
typedef intptr_t (*qzDisplayAttrQuery)(const qzBitMap* bitmap, int attr);
void SetDisplayAttrQuery(qzDisplayAttrQuery query);
qzDisplayAttrQuery GetDisplayAttrQuery();
