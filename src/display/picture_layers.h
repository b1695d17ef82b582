// The layer bookkeeping of background pictures that every object kind uses: giving the layers
// that show an object their own copy before the object changes, and inserting an image layer for
// a drawn object.
#pragma once

#include <cstdint>

#include "base/object_id.h"

struct VmState;
struct qzBitMap;
struct qzLayer;
struct qzLayerTags;
struct qzTransformTags;

// Makes a copy of the object under newId (an automatic identifier); 0 with *outCopy or an error.
typedef int (*qzObjectCopyFn)(VmState* state, void* object, const qzObjectId& newId, void** outCopy);

// When a layer shows the object of kind and id, copies it with copyFunction (the copy gets an
// automatic identifier) and makes every layer that showed the object show the copy. *outCopy is
// the copy, or null when no layer showed the object. 0 or the copy's error (nothing changed).
int DetachObjectFromLayers(VmState* state, int32_t kind, const qzObjectId& id, qzObjectCopyFn copyFunction,
                           void* object, void** outCopy);

// Adds a layer for an image object drawn at x, y with the size width x height, showing the part
// at srcx, srcy of the object: its state record, then AddLayerForObject with the tags (either may
// be null), the layer's own bitmaps (any may be null; owned from the call on), the insert position
// (-1 on top) and flags (QZ_ADDLAYER_*). 0 with *outLayer (may be null) set, or an error; on
// failure the bitmaps are freed.
int InsertImageLayer(VmState* state, int32_t kind, const qzObjectId& id, int32_t srcx, int32_t srcy, int32_t x,
                     int32_t y, int32_t width, int32_t height, const qzTransformTags* transformTags,
                     const qzLayerTags* layerTags, qzBitMap* bitmap, qzBitMap* mask, qzBitMap* alpha, int32_t insertPos,
                     uint32_t flags, qzLayer** outLayer);
