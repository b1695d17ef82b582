// The road from a change of the layer scene to pixels on the display. Every change ends in a
// refresh of one rectangle of the current background picture: redrawn at once into the display's
// back buffer and presented while drawing goes to the display, collected in the display's deferred
// list while the displayed picture is selected for drawing (flushed by EndSelect), ignored for
// other outputs. A layer on top that is opaque, unclipped and without effects is copied straight
// onto the display instead.
#pragma once

#include <cstdint>

struct VmState;
struct qzBGPic;
struct qzBitMap;
struct qzDisplay;
struct qzLayer;
struct qzLayerState;
struct qzRectList;

struct qzLayerBox {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

// The union of two boxes (an empty one counts as none), kept within the 32-bit range.
qzLayerBox UniteLayerBoxes(const qzLayerBox& a, const qzLayerBox& b);

// Refreshes the rectangle of the current background picture by the current display's output:
// DISPLAY redraws and presents it now, BGPIC adds it to the display's deferred list, any other
// output ignores it.
void RefreshArea(VmState* state, int32_t x, int32_t y, int32_t width, int32_t height);
// Redraws the rectangle (cut to the current background picture; nothing when it lies outside) of
// the picture the current display shows into the display's back buffer and presents it.
void RefreshDisplayRect(VmState* state, int32_t x, int32_t y, int32_t width, int32_t height);
// RefreshArea for each box in turn (DISPLAY: RefreshDisplayRects).
void RefreshAreas(VmState* state, const qzLayerBox* boxes, int32_t count);
// RefreshDisplayRect for each box in turn, except that a part of a box that boxes before it
// covered (within runs of up to 64 boxes) is not redrawn again: the back buffer holds it already.
// Every box is presented whole, as RefreshDisplayRect presents it.
void RefreshDisplayRects(VmState* state, const qzLayerBox* boxes, int32_t count);
// RefreshDisplayRects of the entries of the list that are not deleted; a list marked full
// refreshes the whole picture once.
void RefreshRectList(VmState* state, const qzRectList* list);
// The end of drawing into the displayed picture (EndSelect): the layers made meanwhile stop
// waiting, and unless noRefresh the rectangles collected in the display's deferred list are
// merged and refreshed; the list is emptied.
void FlushDeferredRefresh(VmState* state, qzDisplay* display, int noRefresh);
// Used by drawing commands that draw into the displayed picture while it is selected: a
// rectangle from x < 1, y < 1 at least as large as the picture marks the display's deferred list
// full; any other is added.
void AddDisplayDirtyRect(qzDisplay* display, int32_t x, int32_t y, int32_t width, int32_t height);

// The state's drawn box, united with its border box when the layer has a border and with its
// shadow box when it has a shadow (the border is rendered when the state has none yet).
qzLayerBox GetLayerBounds(VmState* state, qzLayer* layer, qzLayerState* layerState);
// Appends the layer's bounds (display state) to the list.
void AddLayerToDirtyRegion(VmState* state, qzRectList* list, qzLayer* layer);
// Puts a layer on the display: direct 0 refreshes its bounds; direct 1 copies a layer that nothing
// covers, without mask, transparency or shaped clip, straight onto the display (else refreshes).
void UpdateLayerOnDisplay(VmState* state, qzLayer* layer, int direct);
// 1 when no visible layer above it (not hidden, not pending) meets its display-state box.
int IsLayerUncovered(const qzBGPic* pic, const qzLayer* layer);

// RefreshLayerChange relative bits.
enum { QZ_MOVE_RELATIVEX = 1, QZ_MOVE_RELATIVEY = 2 };
constexpr int32_t QZ_LAYER_KEEPPOSITION = 100000;
// Moves a layer to newX, newY (QZ_LAYER_KEEPPOSITION keeps an axis; relative bits add to the old
// position) and refreshes the union of its old and new areas, into rectList when given. With both
// kept, only the area is refreshed, its size the larger of the drawn size and oldWidth x oldHeight.
void RefreshLayerChange(VmState* state, qzLayer* layer, int32_t oldWidth, int32_t oldHeight, int32_t newX, int32_t newY,
                        int noRefresh, int relative, qzRectList* rectList);

// SetLayerContentSize flags.
enum { QZ_CONTENT_KEEPLINEANCHOR = 64 };
// Gives a layer's display state new content of width x height: the bitmaps become its own (when a
// bitmap is given; the old ones are freed), a line takes x, y as its top-left (unless
// QZ_CONTENT_KEEPLINEANCHOR), any other layer keeps its anchor point and re-derives its top-left
// over the new size. The resized copy is made anew where one existed and the filtered copy, border
// and shadow are dropped; while an asynchronous draw object draws into the layer they are kept and
// the object is told instead. Unless the layer is hidden or pending or noRefresh is set, the union
// of the old box (oldBox, or the state's box when null or of width -1) and the new one is
// refreshed. 0 or ERR_MEM (the resized copy).
int SetLayerContentSize(VmState* state, qzLayer* layer, const qzLayerBox* oldBox, int32_t x, int32_t y, int32_t width,
                        int32_t height, qzBitMap* bitmap, qzBitMap* mask, qzBitMap* alpha, int flags, int noRefresh);
