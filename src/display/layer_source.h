// The bitmaps a redraw, a collision test or a hit test uses for a layer: its filtered copy, its
// resized copy, its own bitmaps, or those of the object it shows; and building the filtered copy.
#pragma once

#include <cstdint>

struct VmState;
struct qzLayer;
struct qzLayerSource;
struct qzLayerState;

// The bitmaps of the layer's state, in this order of preference: with useCache the filtered copy
// (built first when the filters need it), with useScaled the resized copy (unless a geometry
// filter is on), the state's own bitmaps, the shown object's (frame -1: the state's frame). The
// size is the state's drawn size (the object's own size for the object's bitmaps; a video
// layer's frame size when it shows a part). 0, ERR_WRONGUSAGE for a NOOBJECT layer or a type
// without source, or the object lookup's error.
int GetLayerSourceBitmaps(VmState* state, qzLayer* layer, qzLayerState* layerState, int useCache, int useScaled,
                          int32_t frame, qzLayerSource* out);
// The rectangle of a source's bitmaps that the state shows: the state's part at its drawn size for
// a type that shows part of its object (unless the bitmaps are the filtered copy, which is cut to
// the part already); otherwise the whole source.
struct qzLayerShownRect {
    int32_t x, y, width, height;
};
qzLayerShownRect LayerShownRect(const qzLayer* layer, const qzLayerState* layerState, const qzLayerSource& source);

// When the layer has an enabled filter and the state no filtered copy yet: copies the layer's
// current bitmaps (the shown part for parts and videos; the resized copy when allowResized) at the
// state's drawn size and runs the filters over the copy. A copy or filter that fails leaves the
// state without filtered copy (drawn unfiltered).
void ApplyFiltersToLayerCache(VmState* state, qzLayer* layer, qzLayerState* layerState, int allowResized);
