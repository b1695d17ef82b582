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

// Installs (on) or removes the rows of the shape layer types and the shape renderer's layer hooks
// (SetShapeLayerHooks); removing them drops the records.
void InstallShapeLayerKinds(bool on);
