// The image display core: one routine puts a brush, an anim frame, a part of a brush or a part of
// a background picture on the current output with the standard drawing options. With layers on the drawing
// becomes a layer of the current background picture (drawn at once when it goes on top
// untransformed and without effects, else by the layer refresh); without, the image is transformed, filtered,
// given its transparency and blitted at once.
#pragma once

#include <cstdint>

#include "base/object_id.h"
#include "display/draw_tags.h"

struct VmState;
struct qzBitMap;
struct qzLayer;
struct qzLayerState;

// Object kinds the core draws.
enum {
    QZ_DRAW_BRUSH = 3,
    QZ_DRAW_ANIM = 4,  // a whole frame: srcx is the frame (0-based)
    QZ_DRAW_BRUSHPART = 12,
    QZ_DRAW_BGPICPART = 13,
    QZ_DRAW_VIDEO = 50,  // a video frame, handed in as a bitmap (DisplayVideoFrameImage)
};

// DisplayImageObject flags.
enum : uint32_t {
    QZ_DRAWOBJ_NODRAW = 1,       // no immediate drawing
    QZ_DRAWOBJ_REPLACE = 2,      // the layer replaces the one at layerpos
    QZ_DRAWOBJ_TRANSFORMED = 4,  // counts as transformed even with the identity matrix
    QZ_DRAWOBJ_RESTORE = 8,      // a layer being restored: layer-only brushes are found, nothing drawn
    QZ_DRAWOBJ_WITHLAYERS = 32,  // BGPICPART: the part composed with the picture's layers
};

// Puts the object on the current output. kind QZ_DRAW_*; width and height 0 for whole objects;
// dstx, dsty may hold position constants; tagIndex the options table's argument index (0: none)
// unless tags are handed in. With outBitmap only the part's bitmap is produced (*outOwned: the
// caller frees it). 0 or an error code; on an error nothing is drawn and no layer is made.
int DisplayImageObject(VmState* state, int32_t layerpos, int32_t kind, const qzObjectId& id, int32_t srcx, int32_t srcy,
                       int32_t dstx, int32_t dsty, int32_t width, int32_t height, int withLayers, int tagIndex,
                       const qzTransformTags* transformTags, const qzLayerTags* layerTags, qzBitMap** outBitmap,
                       int* outOwned, uint32_t flags);
// A video's frame as a layer of the current background picture (layers must be on): the frame
// (owned by the call from here on) becomes the layer's own bitmap, showing the part at srcx, srcy
// of width x height (0: the whole frame), at dstx, dsty with the standard drawing options, as
// DisplayImageObject puts an image layer; *outLayer (may be null) receives the new layer. 0 or an
// error (the frame is then freed and no layer made).
int DisplayVideoFrameImage(VmState* state, int32_t layerpos, const qzObjectId& id, qzBitMap* frame, int32_t srcx,
                           int32_t srcy, int32_t dstx, int32_t dsty, int32_t width, int32_t height, int tagIndex,
                           const qzTransformTags* transformTags, const qzLayerTags* layerTags, uint32_t flags,
                           qzLayer** outLayer);
// Renders the content of an image layer (a brush, a part of a brush or of a picture) anew into
// target, a further state record of the layer: the part it shows, transformed with the matrix,
// anchor and smooth flag of transform (a vector brush is rendered again by its loader). target's
// own bitmaps, drawn size and source size become the rendered ones and its part offset 0; where it
// is placed is the caller's. 0 or an error (target unchanged).
int RenderImageLayerContent(VmState* state, qzLayer* layer, qzLayerState* target, const qzTransformTags* transform);

// A whole brush at x, y.
int DisplayBrushSimple(VmState* state, const qzObjectId& id, int32_t x, int32_t y, int tagIndex);

// For the shape and text code drawing without layers, on an image the caller owns: applies the
// enabled filters of the tags, then the transparency. Does nothing when layers are on or no tags
// are given. 0 or an error.
int ApplyDrawTagFilters(const qzLayerTags* layerTags, qzBitMap* bitmap, qzBitMap** inoutMask, qzBitMap** inoutAlpha,
                        int32_t width, int32_t height);
