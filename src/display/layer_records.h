// Making and removing layers: a layer for every object drawn while layers are on, inserting one
// for an existing object, deleting one with its states, the layers of a picture that goes, and
// the purge of objects the script freed while layers still showed them. Every change sets the
// picture's layers-changed word.
#pragma once

#include <cstdint>

#include "base/object_id.h"

struct VmState;
struct qzBGPic;
struct qzBitMap;
struct qzClipRegion;
struct qzLayer;
struct qzLayerBox;
struct qzLayerState;
struct qzLayerTags;
struct qzRectList;
struct qzTransformTags;

// Frees a state record: its four bitmap trios and shadow alpha, then the kind's own part and the
// record (by the layer type's row).
void FreeLayerState(int32_t type, qzLayerState* layerState);
// Gives a state its clip region (null: none): the graphics library's region (owned 0), or a
// transformed copy that the state owns from now on (owned 1). A copy the state owned before goes.
void SetLayerStateClipRegion(qzLayerState* layerState, qzClipRegion* region, int owned);
// Frees the filtered copy of one state; of every distinct state of a layer.
void FreeLayerStateCache(qzLayerState* layerState);
void FreeLayerCaches(qzLayer* layer);
// Frees the shadow alpha of every distinct state.
void FreeLayerStateAlpha(qzLayer* layer);
// Frees the border bitmaps (and the shadow alpha, which follows the border's shape) of every
// distinct state.
void FreeLayerBorders(qzLayer* layer);

// AddLayerForObject flags.
enum : uint32_t {
    QZ_ADDLAYER_HIDDEN = 1,
    QZ_ADDLAYER_REPLACING = 4,        // set internally while replacing
    QZ_ADDLAYER_REPLACE = 8,          // replace the layer at insertPos instead of inserting
    QZ_ADDLAYER_KEEPPOSITIONS = 256,  // take the replaced layer's state positions
    QZ_ADDLAYER_KEEPFILTERS = 512,    // take the replaced layer's filter list
};

// Adds a layer for a drawn object to the current background picture: type and identifier of the
// object, position x, y and drawn size width x height, the transform and layer tags of the draw
// (either may be null), the layer's own bitmaps (any may be null), and a state record the caller
// prepared (its kind part filled; sourceWidth and sourceHeight, or 0 for the drawn size). The
// bitmaps and the state belong to the layer system from the call on: on failure they are freed.
// insertPos: -1 on top, else a 1-based position (beyond the top: on top). A layer put on top
// untransformed and without effects is not refreshed (the caller draws it); any other that is not
// hidden or replacing is. While the current display scales the layers of the picture it shows,
// the layer gets its display state at the display's scale at once. 0 with *outLayer (may be null)
// set, or an error; the list is then as it was.
int AddLayerForObject(VmState* state, int32_t type, const qzObjectId& id, int32_t x, int32_t y, int32_t width,
                      int32_t height, const qzTransformTags* transform, const qzLayerTags* tags, qzBitMap* bitmap,
                      qzBitMap* mask, qzBitMap* alpha, qzLayerState* layerState, int32_t insertPos, uint32_t flags,
                      qzLayer** outLayer);
// Shows an existing brush (3), anim (4, its first frame), text object (8) or video (50) as a new
// layer at the position (0 on top; beyond the top: on top) through the owner's insert operation,
// then refreshes it unless noRefresh or hidden. ERR_INVINSERT for a negative position,
// ERR_WRONGUSAGE for other types, ERR_OLDAPPLET for a video in an applet older than 6.0,
// ERR_LAYERRANGE when no layer stands at the position afterwards.
int InsertLayerForObject(VmState* state, int32_t position, int32_t type, const qzObjectId& id, int32_t x, int32_t y,
                         int noRefresh, int hidden, qzLayer** outLayer);

// Removes a layer of the picture: reports its bounds when outBox is given; unless noRefresh its
// area is refreshed without it (into rectList when given); a video layer's video is stopped when
// asked; its buttons go; its states, name and object data are freed; then the objects of its kind
// that the script freed meanwhile are purged.
void DeleteLayerRecord(VmState* state, qzBGPic* pic, qzLayer* layer, int noRefresh, qzLayerBox* outBox,
                       qzRectList* rectList, int stopVideo);
// Removes the n-th layer (from the bottom) of the current background picture whose type and
// identifier match, reporting its bounds when outBox is given (left as it is when no layer
// matches). ERR_REMADLAYER while an asynchronous draw object draws into it; no such layer is no
// error.
int RemoveLayerOfObject(VmState* state, int32_t type, const qzObjectId& id, int32_t n, int noRefresh,
                        qzLayerBox* outBox = nullptr);
// Removes every layer of a picture without refreshing, stopping their videos; with dropButtons
// their buttons go too; with purge the free-pending objects of all kinds are purged at the end.
void FreeBGPicLayers(VmState* state, qzBGPic* pic, int purge, int dropButtons);

// Purge bits.
enum : uint32_t {
    QZ_PURGE_BRUSHES = 1,
    QZ_PURGE_ANIMS = 2,
    QZ_PURGE_TEXTOBJECTS = 4,
    QZ_PURGE_BGPICS = 8,
    QZ_PURGE_VIDEOS = 16,
    QZ_PURGE_ALL = 31,
};
// Frees the objects of the kinds in mask that the script freed while layers showed them and that
// no layer shows any more, in the order of the bits.
void PurgePendingObjects(VmState* state, uint32_t mask);
