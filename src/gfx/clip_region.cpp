#include "gfx/clip_region.h"

#include "gfx/bitmap.h"
#include "platform/os_alloc.h"

void DeleteClipRegionRecord(qzClipRegion* region) {
    if (!region) return;
    DeleteMaskBitMap(region->mask);
    OsFree(region);
}
