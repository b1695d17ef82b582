// Shape layers: the layer system's rows for the shape types (box, circle, ellipse, line, polygon,
// arc) and the shape renderer's link to the layer system. A shape layer keeps the shape's
// parameters and the draw state it was drawn with in its state record, so that its outline (the
// layer's border) can be drawn at any size. Main thread only.
#pragma once

#include <cstdint>
#include <memory>

#include "display/layer.h"
#include "vector/draw_shape.h"

// The state record of a shape layer: the common head, then what the shape was drawn from.
struct qzShapeLayerState : qzLayerState {
    qzShapeLayerParams params;  // params.points is the record's own copy of the polygon's points
    qzDrawState drawState;      // the private copy, with what the layer draws itself moved out of it
    uint32_t color;             // RGB
    int32_t thickness;          // lines
    // Where the shape's own box lies in the drawn box: the anti-aliasing margin, negated.
    int32_t bodyX, bodyY;
    std::unique_ptr<qzShapePoint[]> points;
};

// The shape record of a shape layer's state; null for the states of other layer types.
qzShapeLayerState* ShapeLayerStateOf(const qzLayer* layer, qzLayerState* layerState);

// Installs (on) or removes the rows of the shape layer types and the shape renderer's layer hooks
// (SetShapeLayerHooks).
void InstallShapeLayerKinds(bool on);
