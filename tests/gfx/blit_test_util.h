// Helpers of the blitter tests: bitmaps with known contents, read back pixel by pixel, and masks
// and alpha channels built from predicates.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "gfx/bitmap.h"
#include "gfx/bitmap_lock.h"
#include "gfx/mask_bits.h"

namespace blittest {

struct BitMapDeleter {
    void operator()(qzBitMap* b) const {
        if (!b) return;
        if (b->kind == BITMAP_MASK)
            DeleteMaskBitMap(b);
        else if (b->kind == BITMAP_ALPHA)
            DeleteAlphaBitMap(b);
        else
            DeleteBitMap(b);
    }
};
using BitMapPtr = std::unique_ptr<qzBitMap, BitMapDeleter>;

// A colour bitmap whose pixel x, y is pixel(x, y) (native 32-bit words).
inline BitMapPtr MakeBitMap(int w, int h, const std::function<uint32_t(int, int)>& pixel) {
    BitMapPtr b(CreateBitMap(w, h, 0, nullptr));
    BitMapLock lock(b.get(), 0);
    EXPECT_TRUE(lock.ok);
    EXPECT_EQ(lock.info.bytesPerPixel, 4);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            static_cast<uint32_t*>(lock.info.pixels)[(size_t)y * lock.info.rowLength + x] = pixel(x, y);
    return b;
}

inline uint32_t Pixel(const qzBitMap* b, int x, int y) {
    BitMapLock lock(b, LOCKF_READONLY);
    return static_cast<const uint32_t*>(lock.info.pixels)[(size_t)y * lock.info.rowLength + x];
}

// A mask whose bit x, y is bit(x, y).
inline BitMapPtr MakeMask(int w, int h, const std::function<bool(int, int)>& bit) {
    BitMapPtr m(CreateMaskBitMap(nullptr, w, h, 1, nullptr, 0));
    BitMapLock lock(m.get(), 0);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            PutMaskBit(RowAt(static_cast<uint8_t*>(lock.info.pixels), y, lock.info.rowLength), x, bit(x, y));
    return m;
}

inline int Bit(const qzBitMap* m, int x, int y) {
    BitMapLock lock(m, LOCKF_READONLY);
    return GetMaskBit(RowAt(static_cast<const uint8_t*>(lock.info.pixels), y, lock.info.rowLength), x);
}

inline BitMapPtr MakeAlpha(int w, int h, const std::function<int(int, int)>& value) {
    BitMapPtr a(CreateAlphaBitMap(w, h, 1, nullptr, 0));
    BitMapLock lock(a.get(), 0);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            RowAt(static_cast<uint8_t*>(lock.info.pixels), y, lock.info.rowLength)[x] = (uint8_t)value(x, y);
    return a;
}

inline int AlphaAt(const qzBitMap* a, int x, int y) {
    BitMapLock lock(a, LOCKF_READONLY);
    return RowAt(static_cast<const uint8_t*>(lock.info.pixels), y, lock.info.rowLength)[x];
}

}  // namespace blittest
