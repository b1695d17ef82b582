#include "platform/os_bitmap.h"

#include <atomic>

#include "base/pixel_format_codes.h"
#include "platform/display_adapter.h"
#include "platform/os_alloc.h"

static std::atomic<int> gScreenFormat{-1};

int OsGetScreenPixelFormat() { return gScreenFormat.load(std::memory_order_relaxed); }

void OsSetScreenPixelFormat(int format) { gScreenFormat.store(format, std::memory_order_relaxed); }

int OsGetScreenDepth() {
    int format = OsGetScreenPixelFormat();
    if (format == -1) return 32;
    return GetPixelFormatBytes(format) * 8;
}

qzRawBitMap* OsAllocBitMap(int width, int height) {
    if (width < 1 || height < 1) return nullptr;
    int format = OsGetScreenPixelFormat();
    if (format == -1) format = PIXFMT_ARGB32;
    int bytesPerPixel = GetPixelFormatBytes(format);
    if (bytesPerPixel == 0) return nullptr;
    // 64-bit arithmetic: a script chooses the size.
    int64_t bytesPerRow = (((int64_t)width + 3) & ~(int64_t)3) * bytesPerPixel;
    if (bytesPerRow > QZ_MAX_BITMAP_BYTES / height) return nullptr;
    auto* raw = static_cast<qzRawBitMap*>(OsAlloc(sizeof(qzRawBitMap), 1));
    if (!raw) return nullptr;
    raw->pixels = OsAlloc((size_t)bytesPerRow * (size_t)height, 0);
    if (!raw->pixels) {
        OsFree(raw);
        return nullptr;
    }
    raw->kind = 0;
    raw->width = width;
    raw->height = height;
    raw->bytesPerRow = (int32_t)bytesPerRow;
    raw->bytesPerPixel = bytesPerPixel;
    raw->pixelFormat = format;
    return raw;
}

void OsFreeBitMap(qzRawBitMap* raw) {
    if (!raw) return;
    OsFree(raw->pixels);
    OsFree(raw);
}

int OsLockBitMap(qzRawBitMap* raw, int flags, int32_t* prepared) {
    if (prepared) *prepared = 0;
    return 1;
}

int OsGetBitMapInfo(const qzRawBitMap* raw, qzLockInfo* lock) {
    if (!raw) {
        lock->success = 0;
        return 0;
    }
    lock->pixels = raw->pixels;
    lock->success = 1;
    lock->pixelFormat = raw->pixelFormat;
    lock->bytesPerPixel = raw->bytesPerPixel;
    lock->rowLength = raw->bytesPerPixel ? raw->bytesPerRow / raw->bytesPerPixel : 0;
    lock->width = raw->width;
    lock->height = raw->height;
    lock->port = nullptr;
    return 1;
}

intptr_t OsGetBitMapAttr(const qzRawBitMap* raw, int attr) {
    if (!raw) return 0;
    switch (attr) {
    case OSBMATTR_PIXELFORMAT: return raw->pixelFormat;
    case OSBMATTR_PIXELS: return (intptr_t)raw->pixels;
    case OSBMATTR_ROWLENGTH: return raw->bytesPerPixel ? raw->bytesPerRow / raw->bytesPerPixel : 0;
    default: return 0;
    }
}

uint32_t OsQueryVideoBitMapCaps(uint32_t mask) {
    const qzDisplayAdapter* adapter = GetDisplayAdapter();
    if (!adapter || !(adapter->flags & ADAPTERF_VIDEOBITMAPS) || !adapter->QueryVideoCaps) return 0;
    return adapter->QueryVideoCaps(mask) & mask;
}
