// Helpers of the shape tests: coverage images and bitmap planes read into test planes.
#pragma once

#include <cstdint>

#include "cairo_oracle.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_lock.h"
#include "gfx/mask_bits.h"
#include "vector/coverage_image.h"

namespace shapetest {

// An owned coverage image.
struct Coverage {
    qzCoverageImage* image;
    Coverage(int w, int h) : image(CreateCoverageImage(w, h, nullptr, nullptr)) {}
    ~Coverage() { FreeCoverageImage(image); }
    uint8_t at(int x, int y) const { return image->pixels[(size_t)y * image->pitch + x]; }
    Plane ToPlane() const {
        Plane p(image->width, image->height);
        for (int y = 0; y < image->height; y++)
            for (int x = 0; x < image->width; x++) p.px[(size_t)y * p.width + x] = at(x, y);
        return p;
    }
    // True when the row padding beyond the width is still clear.
    bool PaddingClear() const {
        for (int y = 0; y < image->height; y++)
            for (int x = image->width; x < image->pitch; x++)
                if (at(x, y)) return false;
        return true;
    }
};

// A mask (bits as 0 / 255) or alpha channel as a plane.
inline Plane PlaneOf(const qzBitMap* mask, const qzBitMap* alpha, int w, int h) {
    Plane p(w, h);
    const qzBitMap* plane = alpha ? alpha : mask;
    BitMapLock lock(plane, LOCKF_READONLY);
    if (!lock.ok) return p;
    for (int y = 0; y < h; y++) {
        const uint8_t* row = (const uint8_t*)lock.info.pixels + (size_t)y * lock.info.rowLength;
        for (int x = 0; x < w; x++) p.px[(size_t)y * w + x] = alpha ? row[x] : (GetMaskBit(row, x) ? 255 : 0);
    }
    return p;
}

// The 0x00RRGGBB colour of a pixel of a 32-bit colour bitmap.
inline uint32_t PixelAt(const qzBitMap* bitmap, int x, int y) {
    BitMapLock lock(bitmap, LOCKF_READONLY);
    if (!lock.ok) return 0xFFFFFFFF;
    const uint32_t* row = (const uint32_t*)lock.info.pixels + (size_t)y * lock.info.rowLength;
    return row[x] & 0xFFFFFF;
}

// The plane pasted at (x, y) of a width x height plane (outside parts are cut).
inline Plane Placed(const Plane& p, int x, int y, int w, int h) {
    Plane out(w, h);
    for (int j = 0; j < p.height; j++)
        for (int i = 0; i < p.width; i++)
            if (x + i >= 0 && y + j >= 0 && x + i < w && y + j < h) out.px[(size_t)(y + j) * w + x + i] = p.at(i, j);
    return out;
}

}  // namespace shapetest
