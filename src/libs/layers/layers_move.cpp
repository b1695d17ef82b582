// Move lists: a script-built batch of layer operations (move, hide, remove, insert a brush, show
// an anim frame, show a brush, anim or text object) that DoMove carries out together. Every
// operation runs without its own refresh; the areas they touched are merged and refreshed once,
// so that a whole scene change becomes visible at one time.
#include <algorithm>
#include <new>

#include "anim/anim.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "display/layer.h"
#include "display/layer_hooks.h"
#include "display/layer_list.h"
#include "display/layer_records.h"
#include "display/layer_refresh.h"
#include "display/picture.h"
#include "gfx/position.h"
#include "image/brush.h"
#include "libs/layers/layers_lib.h"
#include "libs/layers/layers_style.h"
#include "runtime/arg_check.h"
#include "runtime/object_id.h"
#include "runtime/object_registry.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

constexpr int32_t kTypeMoveList = 51;
constexpr int32_t kMaxMoves = 512;

// Operation types.
enum : int32_t {
    kMoveBrush = 3,
    kMoveAnim = 4,
    kMoveTextObject = 8,
    kMoveUndo = 10,
    kMoveLayer = 22,
    kMoveInsertBrush = 24,
    kMoveHideLayer = 25,
    kMoveRemoveLayer = 26,
    kMoveNextFrame = 34,
};

struct MoveEntry {
    int32_t type;
    qzObjectId object;  // the shown object, or for layer operations {position, null}
    int32_t x, y;
    int32_t extra;       // frame, insert position, level or hidden flag; UNDO: the level
    int32_t objectType;  // UNDO: the type of the object whose layer goes
    int32_t done;
    int32_t hasRect;  // the rectangle below is to be refreshed
    int32_t x1, y1, x2, y2;
};

struct qzMoveList {
    qzObjectHeader header;  // type 51, id, object data, next
    int32_t count;
    MoveEntry entries[kMaxMoves];
};

qzObjectHeader* moveLists = nullptr;

bool IsLayerOperation(int32_t type) {
    return type == kMoveLayer || type == kMoveHideLayer || type == kMoveRemoveLayer || type == kMoveNextFrame;
}

bool IsKnownOperation(int32_t type) {
    switch (type) {
    case kMoveBrush:
    case kMoveAnim:
    case kMoveTextObject:
    case kMoveUndo:
    case kMoveLayer:
    case kMoveInsertBrush:
    case kMoveHideLayer:
    case kMoveRemoveLayer:
    case kMoveNextFrame: return true;
    default: return false;
    }
}

// Keeps the box, cut to the picture, as the entry's rectangle; a box wholly outside marks the entry
// done without one.
void KeepBox(MoveEntry* e, const qzLayerBox& box, const qzBGPic* pic) {
    const int64_t x1 = std::max<int64_t>(box.x, 0), y1 = std::max<int64_t>(box.y, 0);
    const int64_t x2 = std::min<int64_t>(int64_t(box.x) + box.width, pic->width) - 1;
    const int64_t y2 = std::min<int64_t>(int64_t(box.y) + box.height, pic->height) - 1;
    if (box.width < 1 || box.height < 1 || x1 > x2 || y1 > y2) {
        e->done = 1;
        e->hasRect = 0;
        return;
    }
    e->hasRect = 1;
    e->x1 = int32_t(x1);
    e->y1 = int32_t(y1);
    e->x2 = int32_t(x2);
    e->y2 = int32_t(y2);
}

int LayerAt(qzBGPic* pic, const MoveEntry& e, qzLayer** out) {
    *out = GetLayerByPosition(pic, e.object.number);
    return *out ? 0 : ERR_LAYERRANGE;
}

// The first pass: everything that changes or removes existing layers, and brush insertions.
int RunLayerOperation(VmState* state, qzBGPic* pic, MoveEntry* e) {
    qzLayer* layer = nullptr;
    qzLayerBox box = {};
    int error = 0;
    switch (e->type) {
    case kMoveUndo:
        // No matching layer leaves the box empty: nothing to refresh.
        error = RemoveLayerOfObject(state, e->objectType, e->object, e->extra, 1, &box);
        if (error) return error;
        break;
    case kMoveRemoveLayer:
        error = LayerAt(pic, *e, &layer);
        if (error) return error;
        if (LayerUsedByAsyncDraw(layer)) return ERR_REMADLAYER;
        DeleteLayerRecord(state, pic, layer, 1, &box, nullptr, 1);
        break;
    case kMoveLayer: {
        error = LayerAt(pic, *e, &layer);
        if (error) return error;
        const qzLayerBox before = GetLayerBounds(state, layer, layer->display);
        const int32_t x = ResolveXPosition(e->x, layer->transformed->width, pic->width, layer->anchorx);
        const int32_t y = ResolveYPosition(e->y, layer->transformed->height, pic->height, layer->anchory);
        RefreshLayerChange(state, layer, 0, 0, x, y, 1, 0, nullptr);
        if (e->extra == 0 || e->extra == 1) layer->hidden = e->extra;
        box = UniteLayerBoxes(before, GetLayerBounds(state, layer, layer->display));
        break;
    }
    case kMoveInsertBrush:
        error = InsertLayerForObject(state, e->extra, QZ_LAYER_BRUSH, e->object, e->x, e->y, 1, 0, &layer);
        if (error) return error;
        box = GetLayerBounds(state, layer, layer->display);
        break;
    case kMoveHideLayer:
        error = LayerAt(pic, *e, &layer);
        if (error) return error;
        layer->hidden = 1;
        box = GetLayerBounds(state, layer, layer->display);
        break;
    case kMoveNextFrame:
        error = LayerAt(pic, *e, &layer);
        if (error) return error;
        if (layer->type != QZ_LAYER_ANIM) return ERR_WRONGUSAGE;
        error = ShowAnimLayerFrame(state, layer, e->extra);
        if (error) return error;
        box = GetLayerBounds(state, layer, layer->display);
        break;
    default: return 0;
    }
    KeepBox(e, box, pic);
    e->done = 1;
    return 0;
}

// The second pass: objects shown as new layers on top.
int RunShowOperation(VmState* state, qzBGPic* pic, MoveEntry* e) {
    qzLayer* layer = nullptr;
    int error = 0;
    if (e->type == kMoveBrush) {
        qzBrush* brush = nullptr;
        error = FindBrush(state, e->object, &brush, 0);
        if (error) return error;
        const int32_t x = ResolveXPosition(e->x, brush->width, pic->width, 0);
        const int32_t y = ResolveYPosition(e->y, brush->height, pic->height, 0);
        error = InsertLayerForObject(state, 0, QZ_LAYER_BRUSH, e->object, x, y, 1, 0, &layer);
    } else if (e->type == kMoveAnim) {
        qzAnim* anim = nullptr;
        error = FindAnim(state, e->object, &anim, 0);
        if (error) return error;
        // The frame: 0 (the next after none) and 1 the first, -1 the last.
        if (e->extra < -1 || e->extra > anim->frames) return ERR_ANIMFRAME;
        const int32_t x = ResolveXPosition(e->x, anim->width, pic->width, 0);
        const int32_t y = ResolveYPosition(e->y, anim->height, pic->height, 0);
        error = InsertLayerForObject(state, 0, QZ_LAYER_ANIM, e->object, x, y, 1, 0, &layer);
        if (!error && e->extra != 0 && e->extra != 1) error = ShowAnimLayerFrame(state, layer, e->extra);
    } else {
        error = InsertLayerForObject(state, 0, e->type, e->object, e->x, e->y, 1, 0, &layer);
    }
    if (error) return error;
    if (layer) KeepBox(e, GetLayerBounds(state, layer, layer->display), pic);
    e->done = 1;
    return 0;
}

bool Overlap(const MoveEntry& a, const MoveEntry& b) {
    return a.x1 <= b.x2 && b.x1 <= a.x2 && a.y1 <= b.y2 && b.y1 <= a.y2;
}

// One pass in entry order: an entry takes in every later one whose rectangle overlaps its own.
void MergeRectangles(qzMoveList* list) {
    for (int32_t i = 0; i < list->count; i++) {
        MoveEntry& a = list->entries[i];
        if (!a.hasRect) continue;
        for (int32_t j = i + 1; j < list->count; j++) {
            MoveEntry& b = list->entries[j];
            if (!b.hasRect || !Overlap(a, b)) continue;
            a.x1 = std::min(a.x1, b.x1);
            a.y1 = std::min(a.y1, b.y1);
            a.x2 = std::max(a.x2, b.x2);
            a.y2 = std::max(a.y2, b.y2);
            b.hasRect = 0;
        }
    }
}

qzMoveList* NewMoveList(const qzObjectId& id) {
    qzMoveList* list = new (std::nothrow) qzMoveList();
    if (!list) return nullptr;
    AddObjectToList(&moveLists, &list->header, kTypeMoveList, id);
    return list;
}

}  // namespace

int RegisterMoveLists() { return RegisterObjectList(&moveLists); }

void FreeAllMoveLists() {
    while (moveLists) {
        qzObjectHeader* next = moveLists->next;
        delete reinterpret_cast<qzMoveList*>(moveLists);
        moveLists = next;
    }
}

int LayersAddMove(VmState* state) {
    qzMoveList* list = nullptr;
    qzObjectId requested = {0, QZ_AUTO_ID};
    if (VmType(state, 1) != VM_TNIL) {
        if (VmType(state, 1) == VM_TLIGHTUSERDATA) {
            list = reinterpret_cast<qzMoveList*>(CheckListObject(state, 1, moveLists, ERR_FINDMOVE));
        } else {
            GetObjectIdArg(&requested, state, 1);
            list = reinterpret_cast<qzMoveList*>(FindObjectInList(moveLists, requested));
        }
    }
    const int32_t type = VmCheckInteger(state, 2);
    if (!IsKnownOperation(type)) return ERR_WRONGUSAGE;
    MoveEntry e = {};
    e.type = type;
    if (type == kMoveUndo) {
        e.objectType = VmCheckInteger(state, 3);
        GetObjectIdArg(&e.object, state, 4);
        e.extra = VmOptInteger(state, 5, 1);
    } else {
        if (IsLayerOperation(type)) {
            e.object = {CheckLayerArg(state, 3, CurrentBGPic()), nullptr};
        } else {
            GetObjectIdArg(&e.object, state, 3);
        }
        e.x = VmOptInteger(state, 4, 0);
        e.y = VmOptInteger(state, 5, 0);
        if (type == kMoveInsertBrush && VmGetTop(state) >= 6)
            e.extra = CheckLayerArg(state, 6, CurrentBGPic());
        else
            e.extra = VmOptInteger(state, 6, 0);
    }
    if (list && list->count >= kMaxMoves) return ERR_INTERNAL;
    const bool made = !list;
    if (!list) {
        list = NewMoveList(requested);
        if (!list) return ERR_MEM;
    }
    list->entries[list->count++] = e;
    return made ? PushNewObjectHandle(state, requested, &list->header) : 0;
}

int LayersClearMove(VmState* state) {
    qzObjectHeader* list = CheckListObject(state, 1, moveLists, ERR_FINDMOVE);
    RemoveObjectFromList(&moveLists, list);
    delete reinterpret_cast<qzMoveList*>(list);
    return 0;
}

int LayersDoMove(VmState* state) {
    qzMoveList* list = reinterpret_cast<qzMoveList*>(CheckListObject(state, 1, moveLists, ERR_FINDMOVE));
    const qzDisplay* display = CurrentDisplay();
    if (!display || !display->layersEnabled) return ERR_NOLAYERS;
    qzBGPic* pic = CheckLayerCommand(state);
    pic->layersChanged = 1;
    // Each run starts afresh, so that a list can be carried out again.
    for (int32_t i = 0; i < list->count; i++) list->entries[i].done = list->entries[i].hasRect = 0;
    for (int32_t i = 0; i < list->count; i++) {
        const int error = RunLayerOperation(state, pic, &list->entries[i]);
        if (error) return error;
    }
    for (int32_t i = 0; i < list->count; i++) {
        MoveEntry* e = &list->entries[i];
        if (e->done || !(e->type == kMoveBrush || e->type == kMoveAnim || e->type == kMoveTextObject)) continue;
        const int error = RunShowOperation(state, pic, e);
        if (error) return error;
    }
    MergeRectangles(list);
    qzLayerBox boxes[kMaxMoves];
    int32_t count = 0;
    for (int32_t i = 0; i < list->count; i++) {
        const MoveEntry& e = list->entries[i];
        if (e.hasRect) boxes[count++] = {e.x1, e.y1, e.x2 - e.x1 + 1, e.y2 - e.y1 + 1};
    }
    RefreshAreas(state, boxes, count);
    return 0;
}
