#include "gfx/clip_region.h"

#include <algorithm>

#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "platform/os_alloc.h"

void DeleteClipRegionRecord(qzClipRegion* region) {
    if (!region) return;
    DeleteMaskBitMap(region->mask);
    OsFree(region);
}

qzClipBox ClipBoxOf(const qzClipRegion* region, int32_t targetWidth, int32_t targetHeight) {
    int64_t left = 0, top = 0, right = std::max(targetWidth, 0), bottom = std::max(targetHeight, 0);
    if (region) {
        left = std::max<int64_t>(left, region->x);
        top = std::max<int64_t>(top, region->y);
        right = std::min<int64_t>(right, (int64_t)region->x + std::max(region->width, 0));
        bottom = std::min<int64_t>(bottom, (int64_t)region->y + std::max(region->height, 0));
    }
    if (right <= left || bottom <= top) return {0, 0, 0, 0};
    return {(int32_t)left, (int32_t)top, (int32_t)(right - left), (int32_t)(bottom - top)};
}

bool ClipAllowsPixel(const qzClipRegion* region, int32_t targetWidth, int32_t targetHeight, int32_t x, int32_t y) {
    const qzClipBox box = ClipBoxOf(region, targetWidth, targetHeight);
    if (x < box.x || y < box.y || (int64_t)x >= (int64_t)box.x + box.width || (int64_t)y >= (int64_t)box.y + box.height)
        return false;
    return !region || !region->mask || ReadBitMapPixel(region->mask, x - region->x, y - region->y, 1) != 0;
}
