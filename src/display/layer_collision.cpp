#include "display/layer_collision.h"

#include <algorithm>

#include "gfx/bitmap_lock.h"
#include "gfx/mask_bits.h"

namespace {

// One plane of an object, locked for reading: a mask (bits) or an alpha channel (bytes), with the
// offset that maps box coordinates onto it.
struct Plane {
    const uint8_t* pixels = nullptr;
    int32_t bytesPerRow = 0;
    int32_t width = 0;
    int32_t height = 0;
    int64_t offsetX = 0;  // plane x = box x + offsetX
    int64_t offsetY = 0;
    bool bits = false;

    bool Solid(int64_t x, int64_t y) const {
        x += offsetX;
        y += offsetY;
        if (x < 0 || y < 0 || x >= width || y >= height) return false;
        const uint8_t* row = pixels + y * bytesPerRow;
        return bits ? GetMaskBit(row, x) != 0 : row[x] != 0;
    }
};

struct LockedPlane {
    BitMapLock lock;
    Plane plane;
    LockedPlane(const qzBitMap* bitmap, bool bits, int64_t offsetX, int64_t offsetY)
        : lock(bitmap, LOCKF_READONLY) {
        if (!lock.ok) return;
        plane.pixels = static_cast<const uint8_t*>(lock.info.pixels);
        plane.bytesPerRow = lock.info.rowLength;
        plane.width = lock.info.width;
        plane.height = lock.info.height;
        plane.offsetX = offsetX;
        plane.offsetY = offsetY;
        plane.bits = bits;
    }
};

}  // namespace

int RectsOverlap(int32_t x1, int32_t y1, int32_t w1, int32_t h1, int32_t x2, int32_t y2, int32_t w2, int32_t h2) {
    if (w1 < 1 || h1 < 1 || w2 < 1 || h2 < 1) return 0;
    const int64_t right1 = int64_t(x1) + w1 - 1, bottom1 = int64_t(y1) + h1 - 1;
    const int64_t right2 = int64_t(x2) + w2 - 1, bottom2 = int64_t(y2) + h2 - 1;
    return x1 <= right2 && x2 <= right1 && y1 <= bottom2 && y2 <= bottom1 ? 1 : 0;
}

int TestPixelCollision(const qzCollisionObject* a, const qzCollisionObject* b) {
    if (!RectsOverlap(a->x, a->y, a->width, a->height, b->x, b->y, b->width, b->height)) return 0;
    const qzCollisionObject* objects[2] = {a, b};
    bool shaped = false;
    for (const qzCollisionObject* o : objects) shaped = shaped || o->mask || o->alpha || o->clipMask;
    if (!shaped) return 1;

    // An object with a mask is solid where its bit is set (the mask decides, as when it is drawn);
    // one with only an alpha channel where its byte is not 0; a shaped clip lets it through where
    // its bit is set.
    LockedPlane shapes[2] = {
        {a->mask ? a->mask : a->alpha, a->mask != nullptr, int64_t(a->sourceX) - a->x, int64_t(a->sourceY) - a->y},
        {b->mask ? b->mask : b->alpha, b->mask != nullptr, int64_t(b->sourceX) - b->x, int64_t(b->sourceY) - b->y},
    };
    LockedPlane clips[2] = {
        {a->clipMask, true, -int64_t(a->clipX), -int64_t(a->clipY)},
        {b->clipMask, true, -int64_t(b->clipX), -int64_t(b->clipY)},
    };
    const Plane* planes[4];
    int needed = 0;
    for (int i = 0; i < 2; i++) {
        const qzCollisionObject* o = objects[i];
        if (o->mask || o->alpha) {
            if (!shapes[i].lock.ok) return 0;
            planes[needed++] = &shapes[i].plane;
        }
        if (o->clipMask) {
            if (!clips[i].lock.ok) return 0;
            planes[needed++] = &clips[i].plane;
        }
    }
    const int64_t x1 = std::max(a->x, b->x), y1 = std::max(a->y, b->y);
    const int64_t x2 = std::min(int64_t(a->x) + a->width, int64_t(b->x) + b->width);
    const int64_t y2 = std::min(int64_t(a->y) + a->height, int64_t(b->y) + b->height);
    for (int64_t y = y1; y < y2; y++) {
        for (int64_t x = x1; x < x2; x++) {
            int count = 0;
            while (count < needed && planes[count]->Solid(x, y)) count++;
            if (count == needed) return 1;
        }
    }
    return 0;
}
