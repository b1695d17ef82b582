// What the effect front-ends ask of a held lock: whether the software kernels can draw its
// pixels (2 or 4 bytes), a rectangle from the top-left clipped to it, and a pixel's address.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gfx/bitmap_lock.h"

inline bool LockIsDrawable(const qzLockInfo& l) { return l.bytesPerPixel == 2 || l.bytesPerPixel == 4; }

inline void ClipToLock(const qzLockInfo& l, int* width, int* height) {
    if (*width > l.width) *width = l.width;
    if (*height > l.height) *height = l.height;
}

inline uint8_t* LockedPixel(const qzLockInfo& l, int x, int y) {
    return (uint8_t*)l.pixels + ((size_t)y * l.rowLength + x) * l.bytesPerPixel;
}
