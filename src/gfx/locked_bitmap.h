// A colour bitmap locked for the length of a scope, with the rectangle a front-end works on
// clipped to it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gfx/bitmap.h"

struct qzLockedBitMap {
    qzLockInfo info{};
    bool ok = false;
    qzLockedBitMap(const qzBitMap* bitmap, int flags) { ok = bitmap && LockBitMapPixels(bitmap, flags, &info); }
    ~qzLockedBitMap() {
        if (ok) UnlockBitMapPixels(&info);
    }
    qzLockedBitMap(const qzLockedBitMap&) = delete;
    qzLockedBitMap& operator=(const qzLockedBitMap&) = delete;
    // Bytes per pixel that the software kernels handle: 2 or 4.
    bool Drawable() const { return ok && (info.bytesPerPixel == 2 || info.bytesPerPixel == 4); }
    // Clips a width and height from the top-left corner to the locked bitmap.
    void Clip(int* width, int* height) const {
        if (*width > info.width) *width = info.width;
        if (*height > info.height) *height = info.height;
    }
    uint8_t* Pixel(int x, int y) const {
        return (uint8_t*)info.pixels + ((size_t)y * info.rowLength + x) * info.bytesPerPixel;
    }
};
