// The layer types and what the layer system asks of the code that owns each one: one row of
// operations per type. The owner of a type (brushes, anims, text, shapes, vector paths, videos)
// installs its row with SetLayerKindOps when its library opens and removes it when it closes.
// A member left null answers as described at the member. Main thread only.
#pragma once

#include <cstdint>

#include "base/object_id.h"
#include "display/layer.h"

struct VmState;
struct qzTransformTags;

// The bitmaps that a redraw draws for a layer, with their size. fromCache: the filtered copy was
// taken (it is cut to the shown part already, so no part offset applies).
struct qzLayerSource {
    qzBitMapTrio trio;
    int32_t width;
    int32_t height;
    int32_t fromCache;
};

struct qzLayerKindOps {
    // Frees the type's own part of a state record and the record itself (its bitmaps, shadow alpha
    // and clip region are gone already). Null: the record is a plain qzLayerState.
    void (*freeState)(qzLayerState* layerState);
    // The shown object's bitmaps and size when the state has none of its own; frame -1 is the
    // state's frame (anims). 0 or the object lookup's error. Null: ERR_WRONGUSAGE.
    int (*sourceBitmaps)(VmState* state, const qzLayer* layer, const qzLayerState* layerState, int32_t frame,
                         qzLayerSource* out);
    // Draws the layer's outline at its border size into the state's border trio and sets the growth
    // of the border box (borderGrowX, borderGrowY). scaleX, scaleY: the scale the state is drawn at.
    // Null: the border is a block of the border colour around the drawn box, shaped by the layer's
    // mask or alpha channel when it has one.
    int (*renderBorder)(VmState* state, qzLayer* layer, qzLayerState* layerState, double scaleX, double scaleY);
    // 1 when the border alone draws the layer (an unfilled shape in its border's colour). Null: 0.
    int (*drawnByBorder)(const qzLayer* layer, const qzLayerState* layerState);
    // Shows an existing object at x, y as a new layer at the 1-based list position, hidden when
    // asked, without refreshing. Null: ERR_WRONGUSAGE.
    int (*insert)(VmState* state, int32_t type, const qzObjectId& id, int32_t x, int32_t y, int32_t position,
                  int hidden);
    // Stops the video that a layer shows. Null: nothing.
    void (*stopVideo)(VmState* state, qzLayer* layer);
    // The frame size of the video that a layer shows. Null: the state's drawn size.
    void (*videoFrameSize)(const qzLayer* layer, int32_t* width, int32_t* height);
    // Moves the content that a state draws from parameters by dx, dy (a line's end points) when
    // the layer moves. Null: nothing.
    void (*moveContent)(qzLayerState* layerState, int32_t dx, int32_t dy);
    // Frees the objects of the type that the script freed while layers showed them and that no
    // layer shows any more. Null: nothing.
    void (*purgeOrphans)(VmState* state);
    // A new state record of the type for a transformed or display-scaled state: a copy of the
    // base state with the type's own part copied, and with empty bitmaps, shadow alpha and clip
    // region. Null: a plain record with the common part copied (a type with a freeState of its
    // own then keeps drawing its base state). A null result is out of memory.
    qzLayerState* (*copyState)(const qzLayer* layer, const qzLayerState* base);
    // Renders the layer's content anew into target (a further state record of the layer) under
    // the matrix of transform (a copy of the layer's, with the display's scale applied for display
    // states), about its anchor, smoothly when it says so: target's own bitmaps and drawn size
    // become the rendered ones, its part offset 0. Content drawn from parameters is drawn again,
    // so that it stays sharp. 0 or an error (target is then unchanged). Null: the shown object's
    // bitmaps are transformed by the image display core.
    int (*renderContent)(VmState* state, qzLayer* layer, qzLayerState* target, const qzTransformTags* transform);
    // Reads the type's own tags of a style table (at tableIndex) into scratch, a copy of the base
    // state made by copyState, and sets *changed to QZ_KINDSTYLE_* bits: CONTENT when the content is
    // to be drawn anew (the style code then draws scratch with renderContent and makes it the base
    // state), the others when the tags switch the layer's shadow or border on or off (a style
    // word's shadow and edge bits; the shadow and border tags of the table still have the last
    // word). 0 or the tag's error; the layer itself is left alone. Null: the type has no tags of
    // its own.
    int (*parseStyle)(VmState* state, const qzLayer* layer, int tableIndex, qzLayerState* scratch, int* changed);
    // Sets the type's own fields in the style table on the stack top. Null: none.
    void (*getStyle)(VmState* state, const qzLayer* layer);
};

// What a kind's parseStyle found (*changed).
enum : int {
    QZ_KINDSTYLE_CONTENT = 1,
    QZ_KINDSTYLE_SHADOWON = 2,
    QZ_KINDSTYLE_SHADOWOFF = 4,
    QZ_KINDSTYLE_BORDERON = 8,
    QZ_KINDSTYLE_BORDEROFF = 16,
};

// Installs the row of a layer type (copied); null puts the type's built-in row back.
void SetLayerKindOps(int32_t type, const qzLayerKindOps* ops);
// The row of a type, every member as installed (null where none); a row of nulls for other types.
const qzLayerKindOps& LayerKindOps(int32_t type);

// 1 for the types of the table in layer.h.
int IsLayerType(int32_t type);
// The type's name as the object-type constant ("BRUSH", "TEXTOUT", ...); "UNKNOWN" for others.
const char* LayerTypeName(int32_t type);
// The free-pending bit of the objects a type shows (1 brushes, 2 anims, 4 text objects, 8
// background pictures, 16 videos); 0 for types whose objects are not freed lazily.
uint32_t LayerPurgeBit(int32_t type);
// 1 for the types that show a rectangle of their source (BRUSHPART, BGPICPART, VIDEO).
int LayerShowsPart(int32_t type);
// 1 for shapes (BOX, CIRCLE, ELLIPSE, LINE, POLYGON, ARC).
int IsShapeLayerType(int32_t type);
// 1 for text (TEXTOBJECT, TEXTOUT, PRINT).
int IsTextLayerType(int32_t type);
