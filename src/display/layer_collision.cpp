#include "display/layer_collision.h"

#include <algorithm>
#include <cmath>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_adapter_calls.h"
#include "display/layer.h"
#include "display/layer_kinds.h"
#include "display/layer_source.h"
#include "gfx/bitmap_lock.h"
#include "gfx/clip_region.h"
#include "gfx/mask_bits.h"
#include "platform/host/backend_window.h"

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
    LockedPlane(const qzBitMap* bitmap, bool bits, int64_t offsetX, int64_t offsetY) : lock(bitmap, LOCKF_READONLY) {
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

int GetLayerCollisionObject(VmState* state, qzLayer* layer, qzCollisionObject* out) {
    *out = {};
    if (layer->type == QZ_LAYER_NOOBJECT) return ERR_WRONGUSAGE;
    qzLayerState* st = layer->display;
    qzLayerSource source;
    int error = GetLayerSourceBitmaps(state, layer, st, 1, 1, -1, &source);
    if (error) return error;
    const qzLayerShownRect shown = LayerShownRect(layer, st, source);
    int64_t x1 = st->left, y1 = st->top, x2 = int64_t(st->left) + st->width, y2 = int64_t(st->top) + st->height;
    int64_t sourceX = shown.x, sourceY = shown.y;
    if (const qzClipRegion* clip = st->clipRegion) {
        // Cut to the region's rectangle; the planes keep their place under the box.
        const int64_t cx1 = std::max<int64_t>(x1, clip->x), cy1 = std::max<int64_t>(y1, clip->y);
        sourceX += cx1 - x1;
        sourceY += cy1 - y1;
        x1 = cx1;
        y1 = cy1;
        x2 = std::min<int64_t>(x2, int64_t(clip->x) + clip->width);
        y2 = std::min<int64_t>(y2, int64_t(clip->y) + clip->height);
        if (clip->mask) {
            out->clipMask = clip->mask;
            out->clipX = clip->x;
            out->clipY = clip->y;
        }
    }
    out->x = int32_t(x1);
    out->y = int32_t(y1);
    out->width = x2 > x1 ? int32_t(x2 - x1) : 0;
    out->height = y2 > y1 ? int32_t(y2 - y1) : 0;
    out->mask = source.trio.mask;
    out->alpha = source.trio.alpha;
    out->sourceX = int32_t(sourceX);
    out->sourceY = int32_t(sourceY);
    return 0;
}

int HitTestLayer(VmState* state, qzDisplay* display, qzLayer* layer, int32_t x, int32_t y, int pixelExact) {
    if (!layer || layer->type == QZ_LAYER_NOOBJECT) return 0;
    // Window pixels to the coordinates of the layer's display state: past the picture's offset in
    // the window, and back to picture pixels when the display scales a picture whose layers are
    // not drawn at the display's scale.
    double px = x, py = y;
    if (display) {
        int32_t offsetX = display->letterboxLeft, offsetY = display->letterboxTop;
        if (!IsDisplayAdapterActive() && display->window) {
            offsetX = display->window->offsetX;
            offsetY = display->window->offsetY;
        }
        px -= offsetX;
        py -= offsetY;
        if (display->autoScale && !display->layerScale && display->scaleX > 0 && display->scaleY > 0) {
            px /= display->scaleX;
            py /= display->scaleY;
        }
    }
    const int64_t hx = int64_t(std::floor(px)), hy = int64_t(std::floor(py));
    const qzLayerState* st = layer->display;
    if (hx < st->left || hx >= int64_t(st->left) + st->width || hy < st->top || hy >= int64_t(st->top) + st->height)
        return 0;
    if (const qzClipRegion* clip = st->clipRegion) {
        if (hx < clip->x || hx >= int64_t(clip->x) + clip->width || hy < clip->y ||
            hy >= int64_t(clip->y) + clip->height)
            return 0;
        if (clip->mask) {
            BitMapLock lock(clip->mask, LOCKF_READONLY);
            if (!lock.ok) return 0;
            const auto* row = static_cast<const uint8_t*>(lock.info.pixels) + (hy - clip->y) * lock.info.rowLength;
            if (!GetMaskBit(row, int(hx - clip->x))) return 0;
        }
    }
    if (!pixelExact) return 1;
    qzCollisionObject object;
    if (GetLayerCollisionObject(state, layer, &object) != 0) return 0;
    const qzCollisionObject point = {int32_t(hx), int32_t(hy), 1, 1, nullptr, nullptr, 0, 0, nullptr, 0, 0};
    return TestPixelCollision(&object, &point);
}
