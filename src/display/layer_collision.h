// Pixel-exact collision of two objects (brushes, layers, sprites, boxes), each a box with an
// optional 1-bit mask, an optional 8-bit alpha channel and an optional shaped clip; and the hit
// test of a point against a layer that layer buttons use.
#pragma once

#include <cstdint>

struct VmState;
struct qzBitMap;
struct qzDisplay;
struct qzLayer;

struct qzCollisionObject {
    int32_t x, y, width, height;  // the box; its edges are inclusive (x .. x + width - 1)
    const qzBitMap* mask;         // or null; set bits are solid
    const qzBitMap* alpha;        // or null; non-zero bytes are solid
    int32_t sourceX, sourceY;     // the mask and alpha pixel that lies at the box's top-left corner
    const qzBitMap* clipMask;     // a shaped clip, or null: its set bits let the object through
    int32_t clipX, clipY;         // where the clip mask's top-left pixel lies (the boxes' coordinates)
};

// 1 when the boxes overlap (inclusive edges) and, where masks, alpha channels or shaped clips
// take part, some common pixel is solid in every one of them; else 0. Pixels outside a mask,
// alpha channel or clip mask count as not solid.
int TestPixelCollision(const qzCollisionObject* a, const qzCollisionObject* b);

// 1 when two boxes overlap, edges inclusive.
int RectsOverlap(int32_t x1, int32_t y1, int32_t w1, int32_t h1, int32_t x2, int32_t y2, int32_t w2, int32_t h2);

// The layer's collision object: its display-state box cut to its clip region's rectangle, with
// the bitmaps a redraw uses (filtered copy included) and a shaped clip. 0, or the error of
// fetching its bitmaps; ERR_WRONGUSAGE for a NOOBJECT layer.
int GetLayerCollisionObject(VmState* state, qzLayer* layer, qzCollisionObject* out);
// Whether the display point x, y (window pixels) hits the layer: inside its box and its clip
// region, and with pixelExact on a solid pixel of its current bitmaps. A layer whose bitmaps
// cannot be had is not hit.
int HitTestLayer(VmState* state, qzDisplay* display, qzLayer* layer, int32_t x, int32_t y, int pixelExact);
