// The shape renderer's entry: DrawShape draws one shape record with a private copy of the draw
// state into the current output, as a new shape layer, or back to the layer code that re-renders
// a shape layer; the builders fill a record per kind and check its size; the form styles that a
// layer draws itself move from the draw state into the layer's style; RenderShapeLayer rebuilds
// the bitmaps of a shape layer. Positions reach DrawShape resolved. Main thread only.
#pragma once

#include <cstdint>

#include "display/draw_tags.h"
#include "vector/draw_state.h"
#include "vector/shape_render.h"

struct VmState;

// Mode bits of DrawShape and DrawLineCore.
enum : uint32_t {
    DRAWSHAPE_NOBLIT = 1,     // make the bitmaps and deliver nothing
    DRAWSHAPE_RERENDER = 8,   // re-render of an existing shape layer
    DRAWSHAPE_FORLAYER = 16,  // render for a layer: the bitmaps and the box go back to the caller
};

// Moves into the layer's options what the layer can draw itself, taking it out of the copy: EDGE
// (border on, in the edge colour and size), SHADOW (shadow on, colour, size, direction), the
// outline of a FILLNONE shape wider than 1 (a border in the shape's colour, line width / 2 and at
// least 1; the copy's line width becomes 1), and a transparency level in the colour's top byte
// (the colour keeps its RGB part). The options' effects word follows.
void ApplyDrawStateToLayer(qzDrawState* copy, qzLayerTags* tags, uint32_t* color);

// True when the current output is a display or background picture with layers on and the shape
// layer kinds are installed (vector/shape_layer.h).
bool ShapesGoToLayers();

// Cls on a display or background picture with layers on: the layer code's clearLayers. -1 when
// the output has no layers on (or no layer code is installed): the caller clears the picture.
int ClearOutputLayers(VmState* state);

// Draws the shape (x, y resolved) with a private copy of shape->drawState. With DRAWSHAPE_FORLAYER
// the finished bitmaps and box are handed to *out (the caller owns them); otherwise they become a
// layer or are blitted into the current output (nothing with DRAWSHAPE_NOBLIT) and freed. 0 or
// ERR_WRONGUSAGE, ERR_BITMAP, ERR_ALLOCMASK, ERR_ALLOCALPHA, ERR_MEM, the texture's or the layer's
// error; the global draw state is never changed.
int DrawShape(VmState* state, qzShape* shape, uint32_t mode, qzShapeBitmaps* out);

// The off-screen flag of a shape: boxes when a corner is rounded, the transform is not the
// identity, the outline is 2 or more wide or ANTIALIAS is set (but an anti-aliased rounded box is
// drawn directly when modernCurves); ellipses, circles and arcs always without modernCurves, else
// exactly when ANTIALIAS is not set; polygons always. modernCurves: the applet is 6.0 or newer and
// the legacy line-based shapes are off.
uint32_t ChooseShapeOffscreen(const qzShape* shape, const qzDrawState* drawState, bool modernCurves);

// Builders: each takes a record with the common fields set (position, colour, draw state,
// transform, layer words), fills its kind's fields, checks them and calls DrawShape.
// Box: corners clamped to 0..100; a width or height below 1 gives ERR_WRONGUSAGE.
int DrawBoxShape(VmState* state, qzShape* shape, int width, int height, const int corners[4], bool modernCurves,
                 uint32_t mode);
// Ellipse (kind SHAPE_ELLIPSE or SHAPE_CIRCLE) of width 2 rx + 1 and height 2 ry + 1; a radius
// below 1 gives ERR_WRONGUSAGE.
int DrawEllipseShape(VmState* state, qzShape* shape, int kind, int rx, int ry, bool modernCurves, uint32_t mode);
// Arc from start to end degrees: ERR_WRONGUSAGE for a radius below 1 or a negative angle; equal
// angles draw nothing.
int DrawArcShape(VmState* state, qzShape* shape, int rx, int ry, int start, int end, int clockwise, bool modernCurves,
                 uint32_t mode);
// Polygon of count points relative to its width x height bounding box.
int DrawPolygonShape(VmState* state, qzShape* shape, const qzShapePoint* points, int count, int width, int height,
                     uint32_t mode);

// A line from (x1, y1) to (x2, y2) (resolved) in the shape's colour with the thickness: a
// non-identity transform maps the ends about the anchor of the line's box and scales the
// thickness by |m0|, which is then clamped to 1..64. A thin, opaque, not anti-aliased line on a
// display or background picture without layers is drawn straight into the buffer and presented
// (clipped to the target; nothing when it lies outside); every other line through its bitmaps,
// delivered as shapes are (kind SHAPE_LINE).
int DrawLineCore(VmState* state, qzShape* shape, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int thickness,
                 uint32_t mode, qzShapeBitmaps* out);

// What the layer code keeps of a shape layer to rebuild it.
struct qzShapeLayerParams {
    int32_t kind;  // SHAPE_*
    int32_t width, height;
    int32_t corners[4];
    int32_t startAngle, endAngle, clockwise;
    int32_t x1, y1, x2, y2;      // lines: the ends relative to the layer
    const qzShapePoint* points;  // polygons: the points relative to the bounding box
    int32_t count;
    qzShapeTransform transform;  // the layer's matrix (display scale applied) and anchor
    bool antialias;
    bool outline;  // drawn as an outline (FILLNONE)
};
// Rebuilds the bitmaps of a shape layer: an outline layer with FILLNONE and a line width of twice
// size scaled by |m0| (at least 2), a filled one with EDGE in the colour and size (none when size
// is 0); ANTIALIAS as the layer says. The bitmaps and box go to *out, and *grow (when given) says
// how far they reach beyond the box of the shape drawn plainly on the left and on top. 0 or the
// errors of DrawShape.
int RenderShapeLayer(VmState* state, const qzShapeLayerParams* params, uint32_t color, int size, qzShapeBitmaps* out,
                     int32_t* grow = nullptr);
