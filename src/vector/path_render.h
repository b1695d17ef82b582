// The path renderer: a path measured and drawn through a vector engine into a colour bitmap and an
// 8-bit alpha channel, filled by the draw state's fill style, with the draw state's edge and shadow,
// then delivered like every drawn shape (a layer of the current background picture with layers on,
// else blitted into the current output). It also re-renders path layers for the layer code and
// draws the draw library's shapes while they are routed through paths. Main thread only.
#pragma once

#include <cstdint>

#include "base/object_id.h"
#include "display/draw_tags.h"
#include "vector/draw_state.h"
#include "vector/path_style.h"
#include "vector/vector_engine.h"

struct VmState;
struct qzBitMap;
struct qzLayer;

// Everything a draw reads. A draw uses the path's buffer itself; a layer keeps a copy with its own
// duplicates of the buffer and the dash lengths (CopyPathRenderParams).
struct qzPathRenderParams {
    qzObjectId id = {0, nullptr};  // the drawn path: what a layer of the draw shows
    uint8_t* buffer = nullptr;
    uint32_t capacity = 0;
    qzPathStyle pathStyle = {};
    qzDrawState drawState;
    uint32_t color = 0;                // RGB (FILLCOLOR and outlines), transparency level in the top byte
    qzVectorEngine* engine = nullptr;  // null: the inbuilt engine
    // Set by the draw: the resolved position and the image size.
    int32_t x = 0, y = 0;
    int32_t width = 0, height = 0;
};

// Duplicates the buffer (capacity bytes) and the dash lengths. 0, or ERR_MEM with *out holding none.
int CopyPathRenderParams(const qzPathRenderParams& source, qzPathRenderParams* out);
// Frees what CopyPathRenderParams duplicated.
void FreePathRenderParams(qzPathRenderParams* params);

// What a draw for a layer hands back: the image and where its top-left corner lies relative to the
// path's origin (the anchor not applied); outlineOnly, set by the caller, skips the filled path that
// an outline render otherwise puts under its outline.
struct qzPathRenderOutput {
    qzBitMap* bitmap = nullptr;
    qzBitMap* alpha = nullptr;
    int32_t x = 0, y = 0;
    int32_t width = 0, height = 0;
    int32_t outlineOnly = 0;
};

// The standard draw options of a draw.
struct qzPathDrawTags {
    qzTransformTags transform;
    qzLayerTags layer;
    // Where a new layer goes (-1 on top) and its QZ_ADDLAYER_* flags: with QZ_ADDLAYER_REPLACE it
    // takes the place of the layer at that position and is refreshed by the caller.
    int32_t insertPos = -1;
    uint32_t addFlags = 0;
};

// DrawPathCore modes (a bit set).
enum : uint32_t {
    PATHRENDER_NOBLIT = 1,     // make the image and deliver nothing
    PATHRENDER_RERENDER = 8,   // re-render of an existing layer: no new layer
    PATHRENDER_FORLAYER = 16,  // render for a layer: the layer applies its own transform
};

// Draws the path of the parameters with its origin at (x, y) (position constants allowed). Tags:
// the draw's options, or null to read them from the table at optionsIndex (0: none). With an output
// record the image goes to it (the caller owns it); otherwise it becomes a layer (layers on) or is
// blitted into the current output. 0, ERR_EMPTYPATH for a path without buffer or extents,
// ERR_BITMAP, ERR_ALLOCALPHA, ERR_MEM, ERR_DRAWPATH when the engine fails, or the errors of the
// vector fonts, the draw options, the texture and the layer code.
int DrawPathCore(VmState* state, int32_t x, int32_t y, qzPathRenderParams* params, const qzPathDrawTags* tags,
                 qzPathRenderOutput* out, uint32_t mode, int optionsIndex);

// Finds the path and draws it with the current path style, draw state and vector engine.
int DrawPathInternal(VmState* state, const qzObjectId& id, int32_t x, int32_t y, uint32_t color, int optionsIndex);

// Finds the path and draws it, its origin at (x, y), with the path style, draw state, colour and
// vector engine of look (its path and position fields are not used), as a layer placed by the
// tags' insertPos and addFlags. FindPath's errors or DrawPathCore's.
int DrawPathAsLayer(VmState* state, const qzObjectId& id, int32_t x, int32_t y, const qzPathRenderParams& look,
                    const qzPathDrawTags& tags);

// A shape of the draw library drawn as a temporary path: kind SHAPE_BOX (numbers: width, height,
// corners a..d), SHAPE_CIRCLE and SHAPE_ELLIPSE (rx, ry), SHAPE_ARC (rx, ry, start, end, clockwise:
// a pie wedge about (rx, ry)) or SHAPE_POLYGON (x, y pairs); other kinds draw an empty path. The
// temporary path is gone afterwards. 0, ERR_MEM or the draw's error.
int ShapeToPath(VmState* state, int kind, int32_t x, int32_t y, uint32_t color, int optionsIndex, const double* numbers,
                int count);

// The outline version of a path layer: its saved parameters drawn unfilled with a line of 2 x size
// pixels in the colour, under the layer's own transform when transformed is set, scaled by the
// display's factors; a path that is not outline-only keeps its filled shape under the outline. The
// image and its offset to the bare path's box go to *out. 0 or DrawPathCore's errors.
int RenderPathLayer(VmState* state, const qzLayer* layer, uint32_t color, int size, bool transformed, double scaleX,
                    double scaleY, qzPathRenderOutput* out);

// Installs (or removes) the path layers' row of the layer-kind dispatch.
void InstallPathLayerKind(bool on);
