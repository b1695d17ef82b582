// Shape layers: the layer system's rows for the shape types (box, circle, ellipse, line, polygon,
// arc) and the shape renderer's link to the layer system. A shape layer keeps what the shape was
// drawn from (its parameters and draw state) beside its base state, so that its outline (the
// layer's border) and its content under a transform can be drawn anew at any size. Main thread
// only.
#pragma once

#include <cstdint>
#include <vector>

#include "display/layer.h"
#include "vector/draw_shape.h"

struct VmState;
struct qzLayerTags;
struct qzTransformTags;

// What a shape layer was drawn from.
struct qzShapeLayerRecord {
    qzShapeLayerParams params;         // params.points is null: the points are kept below
    qzDrawState drawState;             // the private copy, with what the layer draws itself moved out of it
    uint32_t color;                    // RGB
    int32_t thickness;                 // lines
    std::vector<qzShapePoint> points;  // polygons: relative to the bounding box
    int32_t endsX, endsY;              // lines: the smaller end coordinates less the layer's point
    int32_t boxX, boxY;                // the image drawn plainly, from the shape's own box
};

// The record of a shape layer (kept for its base state); null for other layers. Every state that
// the layer code makes of a shape layer carries a copy of its own (copyState), which the layer
// style tags change before the state becomes the base.
const qzShapeLayerRecord* ShapeLayerRecordOf(const qzLayer* layer);

// A shape that a layer of another kind is to become, from the tags of a style table: "type" (a
// shape kind) with its defining tags (ERR_MISSINGPARAMTR without them), then the colour, fill style
// and geometry of the kind over the draw state and colour the caller put into *shape. A line's
// ends are kept relative to the point 0, 0 (endsX, endsY: the smaller end coordinates). 0 or the
// first tag's error.
int ParseNewShapeTags(VmState* state, int tableIndex, qzShapeLayerRecord* shape);

// Draws the shape of such a record as a new shape layer, as the shape commands draw it: its box
// placed so that its anchor point lies at x, y (a line lies at its ends), under the transform
// (its matrix rebuilt for the shape's size) and with the look of the layer tags, at the 1-based
// list position (0: on top) with the QZ_ADDLAYER_* flags. modernCurves: as for the shape
// commands. 0, ERR_WRONGUSAGE when shapes do not go to layers, or the draw's error.
int DrawShapeAsLayer(VmState* state, const qzShapeLayerRecord& shape, int32_t x, int32_t y,
                     const qzTransformTags& transform, const qzLayerTags& look, int32_t insertPos, uint32_t addFlags,
                     bool modernCurves);

// Installs (on) or removes the rows of the shape layer types; removing them drops the records.
// While they are removed a display with layers on gets its shapes drawn into the output like a
// display without layers.
void InstallShapeLayerKinds(bool on);
bool ShapeLayerKindsInstalled();

// Adds a layer of the shape's kind for the bitmaps, keeping the shape's parameters and the draw
// state it was drawn with (drawn: the private copy, with what the layer draws itself moved into
// the options), the options and the shape's transform (applied when the layer is shown). On
// success the layer owns the bitmaps (cleared in *bitmaps). 0 or the layer code's error.
int AddShapeLayer(VmState* state, const qzShape* shape, const qzDrawState* drawn, const qzLayerTags* tags,
                  qzShapeBitmaps* bitmaps);
// Frees every layer of the current background picture and refreshes the display (Cls). 0, or
// ERR_REMADLAYER (nothing freed) while an asynchronous draw object draws into one of them.
int ClearPictureLayers(VmState* state);
