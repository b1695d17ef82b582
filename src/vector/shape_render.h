// The shape renderer: one record per shape (qzShape) that a builder fills, the off-screen pass
// that turns it into a colour bitmap with a mask or alpha channel (outline pass, coverage images,
// shadow, edge and shape in that order), the compositing of anti-aliased coverage, the texture
// fill, and the seams through which the renderer reaches what lies above it. Main thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "base/object_id.h"
#include "vector/draw_state.h"
#include "vector/shape.h"
#include "vector/shape_outline.h"

struct VmState;
struct qzBitMap;
struct qzLayerTags;
struct qzTransformTags;

struct qzShape {
    int32_t kind;           // SHAPE_*
    uint32_t offscreen;     // 1: render into private bitmaps and blit them; 0: draw into the output
    int32_t x, y;           // position as the script gave it (position constants allowed)
    int32_t width, height;  // box size; 2 rx + 1 and 2 ry + 1 for ellipses and arcs
    int32_t rx, ry;
    int32_t startAngle, endAngle;
    int32_t corners[4];          // box corner rounding a to d, 0..100
    const qzShapePoint* points;  // polygon points relative to the bounding box
    int32_t count;
    uint32_t color;  // RGB, and the transparency level in the top byte (0 opaque)
    int32_t clockwise;
    qzDrawState* drawState;
    const qzShapeTransform* transform;     // null: identity, anchor 0, 0
    const qzTransformTags* transformTags;  // the parsed options the transform comes from; null: none
    const qzLayerTags* layerTags;          // the layer options of the draw; null: the defaults
    void* target;                          // the layer's owner and the layer when a shape layer is rendered
    void* layer;
    // Lines (kind SHAPE_LINE): the end points and the thickness.
    int32_t x1, y1, x2, y2;
    int32_t thickness;
    // A new shape layer: its 1-based list position (0: on top) and its QZ_ADDLAYER_* flags; with
    // QZ_ADDLAYER_REPLACE it takes the place of the layer there and the caller refreshes it.
    int32_t insertPos;
    uint32_t addFlags;
};

// The geometry part of a shape record.
qzShapeGeometry ShapeGeometryOf(const qzShape* shape);

// What the off-screen pass made: the colour bitmap with its mask or alpha channel (the caller
// owns them) and where the box lies in the output.
struct qzShapeBitmaps {
    qzBitMap* bitmap = nullptr;
    qzBitMap* mask = nullptr;
    qzBitMap* alpha = nullptr;
    int32_t x = 0, y = 0;
    int32_t width = 0, height = 0;
};
void FreeShapeBitmaps(qzShapeBitmaps* bitmaps);

// Shape x offset, shape y offset, shadow x offset, shadow y offset of a shadow of the size in a
// direction: the shape moves right for directions 5..7 and down for 0, 1, 7; the shadow right for
// 1..3 and down for 3..5; all 0 when size is 0.
void GetShadowOffsets(int size, int direction, int offsets[4]);

// The off-screen pass of a shape at (x, y) (positions resolved) with a private, prepared draw
// state: the outline pass grows the box for edge, shadow, anti-aliasing and line width, then the
// colour bitmap and its mask (opaque, not anti-aliased) or alpha channel are made and the shadow,
// the edge and the shape are drawn into them. 0, ERR_WRONGUSAGE for a shape without an outline,
// ERR_BITMAP, ERR_ALLOCMASK, ERR_ALLOCALPHA, ERR_MEM (coverage images), or the texture's error.
int RenderShapeOffscreen(VmState* state, const qzShape* shape, const qzDrawState* drawState, int x, int y,
                         qzShapeBitmaps* out);

// One part of an anti-aliased composition: a coverage plane placed at (x, y) of the bitmap, drawn
// in a colour (RGB, transparency level in the top byte) or with the pixels of a pattern bitmap of
// the target's geometry.
struct qzCoveragePart {
    const uint8_t* coverage;
    int32_t pitch;
    int32_t x, y;
    int32_t width, height;
    uint32_t color;
    const qzBitMap* pattern;
};
// Composites the parts in order into the colour bitmap and its alpha channel: each coverage byte
// times the part's opacity (255 minus its transparency level) is drawn over what the parts before
// it left, source over. ERR_LOCKBMAP when a bitmap cannot be locked.
int ComposeShapeCoverage(qzBitMap* bitmap, qzBitMap* alpha, const qzCoveragePart* parts, int count);

// Tiles the draw state's texture brush into the rectangle of the bitmap, starting at the draw
// state's texture offsets; a transform that is a pure scale other than 1 scales the brush first
// (a copy below one pixel fills nothing). Returns 0 or the brush lookup's error.
int FillTextureRect(VmState* state, qzBitMap* bitmap, int x, int y, int width, int height, const qzDrawState* drawState,
                    const qzShapeTransform* transform);

// Seams.
// The anti-aliased outline renderer of curved shapes (ellipses, circles, arcs, rounded boxes) for
// the direct pass: it draws the shape of width x height, grown by grow pixels on every side, or
// with lineWidth > 0 its outline of that width, into the 8-bit plane with the shape's top-left
// corner at (x, y). It returns false when it cannot draw the shape. Null until the vector engine
// installs its outline renderer: the coverage rasteriser then draws every part.
struct qzShapeOutlineJob {
    qzShapeGeometry geometry;
    int32_t width, height;
    int32_t grow;
    int32_t lineWidth;
    uint8_t* plane;
    int32_t pitch;
    int32_t planeWidth, planeHeight;
    int32_t x, y;
};
typedef bool (*qzShapeOutlineRenderer)(const qzShapeOutlineJob* job);
void SetShapeOutlineRenderer(qzShapeOutlineRenderer renderer);
qzShapeOutlineRenderer GetShapeOutlineRenderer();
