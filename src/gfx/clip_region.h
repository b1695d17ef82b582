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
