// Clip regions: a rectangle of the drawing target, optionally shaped by a 1-bit mask of its own
// size, that limits where SafeBlt draws. The graphics library keeps them in its object list
// (type 35); the layer code keeps pointers to those that layers still use.
#pragma once

#include <cstdint>

#include "runtime/object_registry.h"

struct qzBitMap;

constexpr int32_t QZ_TYPE_CLIPREGION = 35;

struct qzClipRegion {
    qzObjectHeader header;
    int32_t x, y;  // in drawing-target coordinates
    int32_t width, height;
    qzBitMap* mask;  // null for a rectangular region
    int32_t maskBytesPerRow;
    int32_t freePending;  // freed by the script while a layer still uses it: invisible to lookups
    int32_t locked;       // a command uses it
};

// Frees a clip-region record that is in no list (its mask and the record).
void DeleteClipRegionRecord(qzClipRegion* region);

// Where drawing into a target of width x height may reach, the one rule every drawing follows:
// the target's rectangle cut to the region's box (the whole target without a region), and within
// it, for a shaped region, only where the region's mask is set. Blits get the region itself
// (SafeBlt); code that writes pixels or clips lines itself asks these.
struct qzClipBox {
    int32_t x, y;
    int32_t width, height;  // 0 when nothing of the target may be drawn
};
qzClipBox ClipBoxOf(const qzClipRegion* region, int32_t targetWidth, int32_t targetHeight);
// True when drawing may reach the pixel x, y of the target.
bool ClipAllowsPixel(const qzClipRegion* region, int32_t targetWidth, int32_t targetHeight, int32_t x, int32_t y);
