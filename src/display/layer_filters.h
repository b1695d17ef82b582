// The filter list of layers and of the standard drawing options: one slot per filter type with its
// enabled flag, priority and arguments; the "filters" table that fills it; and running the enabled
// filters over a bitmap with its mask and alpha channel, highest priority first.
#pragma once

#include <cstdint>

#include "gfx/filter_types.h"

struct VmState;
struct qzBitMap;

// One slot of the list (36 bytes).
struct qzFilterEntry {
    uint16_t reserved;
    uint8_t enabled;
    uint8_t priority;  // 0..255, higher runs first
    int32_t ints[4];   // the integer and level arguments, in the order the filter names them
    float floats[4];   // the floating-point arguments, in their order
};
static_assert(sizeof(qzFilterEntry) == 36, "a filter slot is 36 bytes");

constexpr int QZ_LAYER_FILTERS = FILTER_TYPE_COUNT;

// 1 for the filters that move pixels (pixelate, swirl, water ripple, the two flips): they change
// the mask and alpha channel too.
int IsGeometryFilter(int type);
// 1 when any of the QZ_LAYER_FILTERS slots is enabled.
int HasEnabledFilter(const qzFilterEntry* filters);
// 1 when any geometry filter is enabled.
int HasGeometryFilter(const qzFilterEntry* filters);
// Sets the slot's arguments to the filter type's defaults (enabled flag and priority untouched).
void SetFilterDefaults(qzFilterEntry* entry, int type);

// The slot's arguments in the order the filter names them (at most 5), as numbers. Their count.
int GetFilterArguments(const qzFilterEntry* entry, int type, double out[5]);

// Reads the "filters" field of the table at tableIndex into the list. Returns 0 when the field is
// absent (nothing changes), else 1 with *changed set and *error 0 or the error of the first bad
// entry (entries before it stay filled). Errors: ERR_TABEXPECTED2 ("filters", or "args"),
// ERR_NOFILTERNAME (the entry's index as text), ERR_STRTABLEARG, ERR_UNKNOWNFILTER (the name),
// ERR_NUMTABLEARG, ERR_PERCENTFORMATSTR; each with its error argument set.
int ParseLayerFilters(VmState* state, int tableIndex, qzFilterEntry* filters, int* changed, int* error);

// Applies the enabled filters (only the geometry filters with geometryOnly) in place to the
// width x height top-left part of the bitmap, and of the mask and alpha channel for the geometry
// filters. Filters run by falling priority, equal priorities in type order, each once. Returns 0
// or the first filter's error (the filters after it do not run).
int ApplyLayerFilters(const qzFilterEntry* filters, qzBitMap* bitmap, qzBitMap* mask, qzBitMap* alpha, int width,
                      int height, int geometryOnly);
