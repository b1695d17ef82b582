#include "display/layer_records.h"

#include <cmath>
#include <cstring>
#include <new>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/event_buttons.h"
#include "display/layer.h"
#include "display/layer_buttons.h"
#include "display/layer_hooks.h"
#include "display/layer_kinds.h"
#include "display/layer_list.h"
#include "display/layer_refresh.h"
#include "display/picture.h"
#include "display/rect_list.h"
#include "gfx/bitmap.h"
#include "gfx/clip_region.h"
#include "platform/os_alloc.h"
#include "runtime/applet_version.h"
#include "runtime/object_data.h"

namespace {

// Set while InsertLayerForObject has an owner make the layer: the layer it adds is refreshed by
// InsertLayerForObject itself.
int suppressAddRefresh = 0;

// Purges asked for while a purge runs wait for it to finish: purging frees objects whose layers
// may go and ask for purges of their own.
uint32_t purgeWaiting = 0;
bool purging = false;

// Frees the layer's states, name and object data and the record; the layer is not in a list.
void DestroyLayer(VmState* state, qzLayer* layer) {
    qzLayerState* states[3];
    const int count = DistinctLayerStates(layer, states);
    for (int i = 0; i < count; i++) FreeLayerState(layer->type, states[i]);
    layer->base = layer->transformed = layer->display = nullptr;
    OsFree(layer->name);
    if (layer->data && state) FreeObjectDataList(state, layer->data);
    delete layer;
}

// The three states' positions of the replaced layer go to the new layer's states.
void CopyStatePositions(const qzLayer* from, qzLayer* to) {
    const qzLayerState* source[3] = {from->base, from->transformed, from->display};
    qzLayerState* target[3] = {to->base, to->transformed, to->display};
    for (int i = 0; i < 3; i++) {
        if (!source[i] || !target[i]) continue;
        target[i]->x = source[i]->x;
        target[i]->y = source[i]->y;
        target[i]->left = source[i]->left;
        target[i]->top = source[i]->top;
        target[i]->untransformedLeft = source[i]->untransformedLeft;
        target[i]->untransformedTop = source[i]->untransformedTop;
    }
}

bool HasEffects(const qzLayer* layer) {
    return !IsIdentityMatrix(layer->transform.matrix) || HasEnabledFilter(layer->filters) || layer->transparency ||
           layer->shadow.shadow || layer->border.border;
}

}  // namespace

void FreeLayerState(int32_t type, qzLayerState* st) {
    if (!st) return;
    FreeBitMapTrio(&st->own);
    FreeBitMapTrio(&st->resized);
    FreeBitMapTrio(&st->cached);
    FreeBitMapTrio(&st->border);
    DeleteAlphaBitMap(st->shadowAlpha);
    st->shadowAlpha = nullptr;
    // The graphics library's region is left to it (it frees what no layer uses any more); a
    // transformed copy is the state's own.
    SetLayerStateClipRegion(st, nullptr, 0);
    const qzLayerKindOps& ops = LayerKindOps(type);
    if (ops.freeState)
        ops.freeState(st);
    else
        delete st;
}

void SetLayerStateClipRegion(qzLayerState* st, qzClipRegion* region, int owned) {
    if (st->ownsClipRegion && st->clipRegion != region) DeleteClipRegionRecord(st->clipRegion);
    st->clipRegion = region;
    st->ownsClipRegion = region && owned ? 1 : 0;
}

void FreeLayerStateCache(qzLayerState* st) {
    if (st) FreeBitMapTrio(&st->cached);
}

void FreeLayerCaches(qzLayer* layer) {
    qzLayerState* states[3];
    const int count = DistinctLayerStates(layer, states);
    for (int i = 0; i < count; i++) FreeLayerStateCache(states[i]);
}

void FreeLayerStateAlpha(qzLayer* layer) {
    qzLayerState* states[3];
    const int count = DistinctLayerStates(layer, states);
    for (int i = 0; i < count; i++) {
        DeleteAlphaBitMap(states[i]->shadowAlpha);
        states[i]->shadowAlpha = nullptr;
    }
}

void FreeLayerBorders(qzLayer* layer) {
    qzLayerState* states[3];
    const int count = DistinctLayerStates(layer, states);
    for (int i = 0; i < count; i++) FreeBitMapTrio(&states[i]->border);
    FreeLayerStateAlpha(layer);
}

int AddLayerForObject(VmState* state, int32_t type, const qzObjectId& id, int32_t x, int32_t y, int32_t width,
                      int32_t height, const qzTransformTags* transform, const qzLayerTags* tags, qzBitMap* bitmap,
                      qzBitMap* mask, qzBitMap* alpha, qzLayerState* st, int32_t insertPos, uint32_t flags,
                      qzLayer** outLayer) {
    if (outLayer) *outLayer = nullptr;
    qzBGPic* pic = CurrentBGPic();
    qzDisplay* display = CurrentDisplay();
    if (!st) st = NewLayerState();
    // 1. The record; on failure what was handed in goes.
    qzLayer* layer = st && pic ? new (std::nothrow) qzLayer() : nullptr;
    if (!layer) {
        DeleteBitMap(bitmap);
        DeleteMaskBitMap(mask);
        DeleteAlphaBitMap(alpha);
        FreeLayerState(type, st);
        return pic ? ERR_MEM : ERR_NOLAYERS;
    }
    const bool replace = flags & QZ_ADDLAYER_REPLACE;
    if (replace) flags |= QZ_ADDLAYER_REPLACING;

    // 2. The state takes the bitmaps; from here on freeing the layer frees them.
    st->own = {bitmap, mask, alpha};
    st->x = x;
    st->y = y;
    st->untransformedLeft = st->left = x;
    st->untransformedTop = st->top = y;
    st->width = width;
    st->height = height;
    if (!st->sourceWidth) st->sourceWidth = width;
    if (!st->sourceHeight) st->sourceHeight = height;
    layer->type = type;
    layer->base = layer->transformed = layer->display = st;

    // 3. What the layer keeps of the draw.
    if (tags) {
        layer->transparency = tags->transparency;
        layer->shadow = tags->shadow;
        layer->border = tags->border;
        for (int i = 0; i < QZ_LAYER_FILTERS; i++) layer->filters[i] = tags->filters[i];
        if (tags->hidden) flags |= QZ_ADDLAYER_HIDDEN;
        // A replacement keeps the replaced layer's name and place (step 9).
        if (tags->name[0] && !replace) {
            int error = SetLayerNameChecked(pic, layer, tags->name);
            if (error) {
                DestroyLayer(state, layer);
                return error;
            }
        }
        if (tags->insertpos > 0 && !replace) {
            const int32_t count = CountLayers(pic);
            insertPos = count > 0 && tags->insertpos > count + 1 ? count + 1 : tags->insertpos;
        }
    } else {
        const qzLayerTags* defaults = DefaultLayerTags();
        layer->shadow = defaults->shadow;
        layer->border = defaults->border;
        for (int i = 0; i < QZ_LAYER_FILTERS; i++) SetFilterDefaults(&layer->filters[i], i);
    }
    layer->geometryFilter = HasGeometryFilter(layer->filters);

    // 4. Visibility; a layer made while the displayed picture is selected waits for EndSelect.
    layer->hidden = (flags & QZ_ADDLAYER_HIDDEN) ? 1 : 0;
    layer->pending = !layer->hidden && display && display->outputKind == QZ_TYPE_BGPIC && display->bgpic == pic;

    // 5. The clip region active on the picture.
    if (!replace) st->clipRegion = static_cast<qzClipRegion*>(pic->clipRegion);
    pic->layersChanged = 1;

    // 6. The transform and the anchor.
    if (transform) {
        layer->transform = *transform;
        layer->anchorx = transform->anchorx;
        layer->anchory = transform->anchory;
        if (type != QZ_LAYER_LINE) {
            const int32_t dx = st->left - st->untransformedLeft, dy = st->top - st->untransformedTop;
            st->untransformedLeft = x - int32_t(std::trunc(layer->anchorx * st->sourceWidth));
            st->untransformedTop = y - int32_t(std::trunc(layer->anchory * st->sourceHeight));
            st->left = st->untransformedLeft + dx;
            st->top = st->untransformedTop + dy;
        }
    } else {
        InitTransformTags(&layer->transform);
    }

    // 7. The shown object.
    layer->id = layer->sourceId = id;

    // 8. Into the list.
    if (insertPos == 1) {
        AddListHead(&pic->layers, &layer->node);
    } else if (insertPos < 1) {
        AddListTail(&pic->layers, &layer->node);
    } else {
        qzLayer* before = GetLayerByPosition(pic, insertPos - 1);
        if (before)
            InsertListNode(&pic->layers, &layer->node, &before->node);
        else
            AddListTail(&pic->layers, &layer->node);
    }
    const bool onTop = NextLayer(layer) == nullptr;

    // 9. Replacing: the old layer now follows the new one; what belongs to its place moves over.
    qzLayer* old = replace ? NextLayer(layer) : nullptr;
    if (old) {
        RebindLayerButtons(pic, old, layer);
        st->clipRegion = old->base ? old->base->clipRegion : nullptr;
        layer->noClipTransform = old->noClipTransform;
        layer->data = old->data;
        old->data = nullptr;
        if (!layer->name) {
            layer->name = old->name;
            old->name = nullptr;
        }
        std::memcpy(layer->group, old->group, sizeof(layer->group));
    }

    // 10, 11. Transformed and display-scaled states, rendered by their owner. While the display
    // scales the layers of the picture it shows, every layer, new or replacing, gets a display
    // state at the display's scale, as the layers had when the scaling began.
    const qzLayerSystemHooks& hooks = LayerSystemHooks();
    const bool displayScales = display && display->layerScale && display->scaledWidth && display->scaledHeight &&
                               (display->scaleX != 1.0 || display->scaleY != 1.0) && display->bgpic == pic;
    const int replacing = replace ? QZ_RENDER_REPLACING : 0;
    int error = 0;
    if (hooks.renderObject && !IsIdentityMatrix(layer->transform.matrix))
        error = hooks.renderObject(state, layer, QZ_RENDER_TRANSFORM);
    if (!error && hooks.renderObject && displayScales)
        error = hooks.renderObject(state, layer, QZ_RENDER_DISPLAYSCALE | QZ_RENDER_TRANSFORM | replacing);
    if (!error && old) {
        if (flags & QZ_ADDLAYER_KEEPPOSITIONS) CopyStatePositions(old, layer);
        if (flags & QZ_ADDLAYER_KEEPFILTERS) {
            for (int i = 0; i < QZ_LAYER_FILTERS; i++) layer->filters[i] = old->filters[i];
            layer->geometryFilter = old->geometryFilter;
            FreeLayerCaches(layer);
        }
        if (hooks.broadcastAsyncDraw) error = hooks.broadcastAsyncDraw(0, old);
    }
    if (error) {
        if (old) {
            // The old layer keeps what was moved to the new one.
            RebindLayerButtons(pic, layer, old);
            old->data = layer->data;
            layer->data = nullptr;
            if (!old->name) {
                old->name = layer->name;
                layer->name = nullptr;
            }
        }
        RemoveListNode(&layer->node);
        DestroyLayer(state, layer);
        return error;
    }
    if (old) DeleteLayerRecord(state, pic, old, 1, nullptr, nullptr, 0);

    // 12. The refresh: a layer put on top plainly is drawn by the calling command, except while
    // the display scales its layers (the command cannot draw it at the display's scale).
    if (!replace && !layer->hidden && !suppressAddRefresh && (!onTop || HasEffects(layer) || displayScales))
        UpdateLayerOnDisplay(state, layer, 0);
    if (outLayer) *outLayer = layer;
    return 0;
}

int InsertLayerForObject(VmState* state, int32_t position, int32_t type, const qzObjectId& id, int32_t x, int32_t y,
                         int noRefresh, int hidden, qzLayer** outLayer) {
    if (outLayer) *outLayer = nullptr;
    if (position < 0) return ERR_INVINSERT;
    if (type != QZ_LAYER_BRUSH && type != QZ_LAYER_ANIM && type != QZ_LAYER_TEXTOBJECT && type != QZ_LAYER_VIDEO)
        return ERR_WRONGUSAGE;
    if (type == QZ_LAYER_VIDEO && !CheckAppletVersion(6, 0)) return ERR_OLDAPPLET;
    qzBGPic* pic = CurrentBGPic();
    if (!pic) return ERR_NOLAYERS;
    const int32_t count = CountLayers(pic);
    if (position == 0 || position > count + 1) position = count + 1;
    const qzLayerKindOps& ops = LayerKindOps(type);
    if (!ops.insert) return ERR_WRONGUSAGE;
    suppressAddRefresh++;
    int error = ops.insert(state, type, id, x, y, position, hidden);
    suppressAddRefresh--;
    if (error) return error;
    qzLayer* layer = GetLayerByPosition(pic, position);
    if (!layer) return ERR_LAYERRANGE;
    if (!noRefresh && !hidden) UpdateLayerOnDisplay(state, layer, 0);
    if (outLayer) *outLayer = layer;
    return 0;
}

void DeleteLayerRecord(VmState* state, qzBGPic* pic, qzLayer* layer, int noRefresh, qzLayerBox* outBox,
                       qzRectList* rectList, int stopVideo) {
    const int32_t type = layer->type;
    if (outBox || !noRefresh) {
        const qzLayerBox bounds = GetLayerBounds(state, layer, layer->display);
        if (outBox) *outBox = bounds;
        if (!noRefresh) {
            // Refreshed as a layer that every redraw skips.
            layer->type = QZ_LAYER_NOOBJECT;
            if (rectList)
                AddRectToList(rectList, bounds.x, bounds.y, bounds.width, bounds.height);
            else
                RefreshArea(state, bounds.x, bounds.y, bounds.width, bounds.height);
            layer->type = type;
        }
    }
    if (stopVideo && type == QZ_LAYER_VIDEO) {
        const qzLayerKindOps& ops = LayerKindOps(type);
        if (ops.stopVideo) ops.stopVideo(state, layer);
    }
    DeleteLayerButton(state, pic, layer);
    RemoveListNode(&layer->node);
    DestroyLayer(state, layer);
    pic->layersChanged = 1;
    const uint32_t purge = LayerPurgeBit(type);
    if (purge) PurgePendingObjects(state, purge);
}

int RemoveLayerOfObject(VmState* state, int32_t type, const qzObjectId& id, int32_t n, int noRefresh,
                        qzLayerBox* outBox) {
    qzBGPic* pic = CurrentBGPic();
    if (!pic) return 0;
    int32_t found = 0;
    for (qzLayer* layer = FirstLayer(pic); layer; layer = NextLayer(layer)) {
        if (layer->type != type || !SameObjectId(layer->id, id) || ++found != n) continue;
        if (LayerUsedByAsyncDraw(layer)) return ERR_REMADLAYER;
        DeleteLayerRecord(state, pic, layer, noRefresh, outBox, nullptr, 1);
        pic->layersChanged = 1;
        return 0;
    }
    return 0;
}

void FreeBGPicLayers(VmState* state, qzBGPic* pic, int purge, int dropButtons) {
    qzLayer* layer = FirstLayer(pic);
    while (layer) {
        qzLayer* next = NextLayer(layer);
        // A NOOBJECT layer is one being replaced or removed right now: its owner frees it.
        if (layer->type != QZ_LAYER_NOOBJECT) {
            if (layer->type == QZ_LAYER_VIDEO) {
                const qzLayerKindOps& ops = LayerKindOps(layer->type);
                if (ops.stopVideo) ops.stopVideo(state, layer);
            }
            if (dropButtons) DeleteLayerButton(state, pic, layer);
            RemoveListNode(&layer->node);
            DestroyLayer(state, layer);
            pic->layersChanged = 1;
        }
        layer = next;
    }
    if (purge) PurgePendingObjects(state, QZ_PURGE_ALL);
}

void PurgePendingObjects(VmState* state, uint32_t mask) {
    purgeWaiting |= mask;
    if (purging) return;
    purging = true;
    // Cleared also when a purge runs out of memory and unwinds through here, so that later
    // purges run instead of only waiting for this one.
    struct PurgingFlag {
        ~PurgingFlag() { purging = false; }
    } purgingFlag;
    static const int32_t kKinds[] = {QZ_LAYER_BRUSH, QZ_LAYER_ANIM, QZ_LAYER_TEXTOBJECT, QZ_LAYER_BGPICPART,
                                     QZ_LAYER_VIDEO};
    while (purgeWaiting) {
        const uint32_t now = purgeWaiting;
        purgeWaiting = 0;
        for (int32_t kind : kKinds) {
            if (!(now & LayerPurgeBit(kind))) continue;
            const qzLayerKindOps& ops = LayerKindOps(kind);
            if (ops.purgeOrphans) ops.purgeOrphans(state);
        }
    }
    if (const auto freeClipRegions = LayerSystemHooks().freeUnusedClipRegions) freeClipRegions();
}
