// Layers: with layers enabled, every object drawn onto a background picture becomes a layer, a
// record in the picture's layer list, from which the scene is redrawn. This file holds the layer
// record, its state records, the layer types, and walking a picture's list. Main thread only.
#pragma once

#include <cstdint>

#include "base/double_list.h"
#include "base/object_id.h"
#include "display/draw_tags.h"
#include "display/layer_filters.h"

struct qzBGPic;
struct qzBitMap;
struct qzClipRegion;
struct qzObjectDataNode;

// Layer types: the object type number of what a layer shows.
enum : int32_t {
    QZ_LAYER_BRUSH = 3,
    QZ_LAYER_ANIM = 4,
    QZ_LAYER_NOOBJECT = 7,  // a placeholder while a layer is replaced; every redraw skips it
    QZ_LAYER_TEXTOBJECT = 8,
    QZ_LAYER_TEXTOUT = 9,
    QZ_LAYER_PRINT = 11,
    QZ_LAYER_BRUSHPART = 12,
    QZ_LAYER_BGPICPART = 13,
    QZ_LAYER_BOX = 14,
    QZ_LAYER_CIRCLE = 15,
    QZ_LAYER_ELLIPSE = 16,
    QZ_LAYER_LINE = 17,
    QZ_LAYER_POLYGON = 27,
    QZ_LAYER_ARC = 31,
    QZ_LAYER_VECTORPATH = 49,
    QZ_LAYER_VIDEO = 50,
};

constexpr int32_t QZ_LAYER_NAME_MAX = QZ_LAYER_NAME_SIZE - 1;

// A colour bitmap with its optional 1-bit mask and 8-bit alpha channel.
struct qzBitMapTrio {
    qzBitMap* bitmap;
    qzBitMap* mask;
    qzBitMap* alpha;
};

// One state of a layer: what was drawn (base), after the layer's own transform (transformed), or
// at the display's scale (display). Kinds whose content is drawn from parameters (text, shapes,
// vector paths) keep a longer record that begins with this one; the kind frees it (layer_kinds.h).
struct qzLayerState {
    qzBitMapTrio own;          // the layer's own bitmaps; null where the source object is drawn
    qzBitMapTrio resized;      // a copy of the content at the drawn size
    qzBitMapTrio cached;       // the content after the filters
    qzBitMapTrio border;       // the rendered border
    qzBitMap* shadowAlpha;     // the blurred shadow
    qzClipRegion* clipRegion;  // the clip region active when the layer was made, or null
    // 1 when clipRegion is this state's own transformed copy of the base's region, freed with the
    // state; 0 when it is the graphics library's region itself.
    int32_t ownsClipRegion;
    int32_t x, y;                       // the point the script gave (the anchor point)
    int32_t sourceWidth, sourceHeight;  // the object's own size before transformation
    int32_t left, top;                  // top-left of the drawn box
    int32_t untransformedLeft, untransformedTop;
    int32_t width, height;  // drawn size
    // BRUSHPART, BGPICPART, VIDEO: the shown rectangle's offset in the source; ANIM: the shown
    // frame (0-based) and the anim's frame count.
    int32_t partX, partY;
    // Where the border box lies: the drawn box grown by these on the left and on top.
    int32_t borderGrowX, borderGrowY;
};

struct qzLayer {
    qzDoubleNode node;  // next, previous
    int32_t type;       // QZ_LAYER_...
    qzObjectId id;      // the shown object
    qzObjectId sourceId;
    int32_t hidden;
    int32_t pending;       // made while the displayed picture is selected for drawing; skipped until EndSelect
    int32_t transparency;  // 0 opaque .. 255
    char* name;            // owned, or null
    char group[QZ_LAYER_NAME_SIZE];
    int32_t noClipTransform;
    qzTransformTags transform;
    double anchorx, anchory;
    qzShadowTags shadow;
    qzBorderTags border;
    qzFilterEntry filters[QZ_LAYER_FILTERS];
    int32_t geometryFilter;  // a pixel-moving filter is enabled
    qzObjectDataNode* data;
    // The three states; transformed is base without a transform, display is transformed without
    // display scaling. Loops visit each distinct record once.
    qzLayerState* base;
    qzLayerState* transformed;
    qzLayerState* display;
    // While a transition effect runs: the border fade levels (0 none, else level + 1), the hold
    // that keeps the layer out of redraws of an emulated picture, and the scroll emulation.
    int32_t effectFade[2];
    int32_t effectHold;
    int32_t scrollEmulation;
};

// Walking a picture's list from the bottom (position 1); null after the top.
qzLayer* FirstLayer(const qzBGPic* pic);
qzLayer* NextLayer(const qzLayer* layer);
qzLayer* PreviousLayer(const qzLayer* layer);
qzLayer* LastLayer(const qzBGPic* pic);
inline qzLayer* LayerOfNode(qzDoubleNode* node) { return reinterpret_cast<qzLayer*>(node); }

// The distinct state records of a layer, base first: their number (at most three) and the records.
int DistinctLayerStates(const qzLayer* layer, qzLayerState* out[3]);

// Deletes the three bitmaps (any may be null) and clears the trio.
void FreeBitMapTrio(qzBitMapTrio* trio);

// A state record with everything zero, or null.
qzLayerState* NewLayerState();
