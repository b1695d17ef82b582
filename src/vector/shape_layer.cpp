#include "vector/shape_layer.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <unordered_map>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/draw_tags.h"
#include "display/layer_filters.h"
#include "display/layer_hooks.h"
#include "display/layer_kinds.h"
#include "display/layer_records.h"
#include "display/layer_refresh.h"
#include "display/picture.h"
#include "gfx/bitmap.h"

namespace {

constexpr int32_t kShapeTypes[] = {QZ_LAYER_BOX,  QZ_LAYER_CIRCLE,  QZ_LAYER_ELLIPSE,
                                   QZ_LAYER_LINE, QZ_LAYER_POLYGON, QZ_LAYER_ARC};

// The records of the shape layers, by their base state.
std::unordered_map<const qzLayerState*, std::unique_ptr<qzShapeLayerRecord>> records;

const qzShapeLayerRecord* RecordOfState(const qzLayerState* layerState) {
    const auto found = records.find(layerState);
    return found == records.end() ? nullptr : found->second.get();
}

void FreeShapeState(qzLayerState* layerState) {
    records.erase(layerState);
    delete layerState;
}

// A shape layer draws its own bitmaps: the redraw never asks for a source object.
int NoSourceBitmaps(VmState*, const qzLayer*, const qzLayerState*, int32_t, qzLayerSource*) { return ERR_WRONGUSAGE; }

// The layer's border is the shape's outline drawn at the border size in the border colour: a
// filled shape grown by the size, an unfilled one stroked twice the size wide. The base state is
// drawn as the script drew it; the other states with the layer's matrix at their scale.
int RenderShapeBorder(VmState* state, qzLayer* layer, qzLayerState* layerState, double scaleX, double scaleY) {
    const qzShapeLayerRecord* record = ShapeLayerRecordOf(layer);
    if (!record || layer->type == QZ_LAYER_LINE) return 0;
    qzShapeLayerParams params = record->params;
    params.points = record->points.data();
    if (layerState != layer->base) {
        const double* m = layer->transform.matrix;
        params.transform.matrix[0] = m[0] * scaleX;
        params.transform.matrix[2] = m[2] * scaleX;
        params.transform.matrix[1] = m[1] * scaleY;
        params.transform.matrix[3] = m[3] * scaleY;
    }
    qzShapeBitmaps made;
    int32_t grow = 0;
    const int error =
        RenderShapeLayer(state, &params, layer->border.bordercolor, layer->border.bordersize, &made, &grow);
    if (error) return error;
    layerState->border = {made.bitmap, made.mask, made.alpha};
    layerState->borderGrowX = layerState->borderGrowY = grow;
    return 0;
}

// The shape drawn anew under the transform's matrix, about its anchor, with the draw state it was
// drawn with: outlines and shadows keep their width relative to the shape.
int RenderShapeContent(VmState* state, qzLayer* layer, qzLayerState* target, const qzTransformTags* transform) {
    const qzShapeLayerRecord* record = ShapeLayerRecordOf(layer);
    if (!record || !transform || !target) return ERR_WRONGUSAGE;
    const qzShapeLayerParams& p = record->params;
    qzShapeTransform t;
    for (int i = 0; i < 4; i++) t.matrix[i] = transform->matrix[i];
    t.anchorX = transform->anchorx;
    t.anchorY = transform->anchory;
    qzDrawState ds = record->drawState;
    qzShape shape{};
    shape.kind = p.kind;
    shape.offscreen = 1;
    shape.width = p.width;
    shape.height = p.height;
    shape.rx = p.width / 2;
    shape.ry = p.height / 2;
    for (int i = 0; i < 4; i++) shape.corners[i] = p.corners[i];
    shape.startAngle = p.startAngle;
    shape.endAngle = p.endAngle;
    shape.clockwise = p.clockwise;
    shape.points = record->points.data();
    shape.count = (int32_t)record->points.size();
    shape.color = record->color;
    shape.drawState = &ds;
    shape.transform = &t;
    qzShapeBitmaps made;
    const int error = p.kind == SHAPE_LINE ? DrawLineCore(state, &shape, p.x1, p.y1, p.x2, p.y2, record->thickness,
                                                          DRAWSHAPE_FORLAYER, &made)
                                           : DrawShape(state, &shape, DRAWSHAPE_FORLAYER, &made);
    if (error) return error;
    FreeBitMapTrio(&target->own);
    target->own = {made.bitmap, made.mask, made.alpha};
    if (layer->base) {
        target->sourceWidth = layer->base->sourceWidth;
        target->sourceHeight = layer->base->sourceHeight;
    }
    target->width = made.width;
    target->height = made.height;
    target->partX = target->partY = 0;
    return 0;
}

// An unfilled shape whose colour is its border's is drawn by the border alone.
int ShapeDrawnByBorder(const qzLayer* layer, const qzLayerState*) {
    const qzShapeLayerRecord* record = ShapeLayerRecordOf(layer);
    return record && record->params.outline && record->color == layer->border.bordercolor ? 1 : 0;
}

bool IsPlainOnTop(const qzLayer* layer) {
    return !layer->hidden && !layer->pending && !NextLayer(layer) && IsIdentityMatrix(layer->transform.matrix) &&
           !HasEnabledFilter(layer->filters) && !layer->transparency && !layer->shadow.shadow && !layer->border.border;
}

// Frees the bitmaps on the way out unless they were handed over.
struct BitmapsGuard {
    qzShapeBitmaps* bitmaps;
    ~BitmapsGuard() {
        if (bitmaps) FreeShapeBitmaps(bitmaps);
    }
};

// Makes a layer of the shape's kind for the drawn bitmaps. The layer's point is the anchor point
// of the drawn box (a line's is its top-left), so that the layer code finds the box again from it.
int AddShapeLayer(VmState* state, const qzShape* shape, const qzDrawState* drawn, const qzLayerTags* tags,
                  qzShapeBitmaps* made) {
    BitmapsGuard guard{made};
    auto record = std::make_unique<qzShapeLayerRecord>();
    qzShapeLayerParams& p = record->params;
    p = qzShapeLayerParams{};
    p.kind = shape->kind;
    p.width = shape->width;
    p.height = shape->height;
    for (int i = 0; i < 4; i++) p.corners[i] = shape->corners[i];
    p.startAngle = shape->startAngle;
    p.endAngle = shape->endAngle;
    p.clockwise = shape->clockwise;
    const int32_t lineLeft = std::min(shape->x1, shape->x2), lineTop = std::min(shape->y1, shape->y2);
    p.x1 = shape->x1 - lineLeft, p.y1 = shape->y1 - lineTop;
    p.x2 = shape->x2 - lineLeft, p.y2 = shape->y2 - lineTop;
    if (shape->kind == SHAPE_POLYGON && shape->points && shape->count > 0) {
        record->points.assign(shape->points, shape->points + shape->count);
        p.count = shape->count;
    }
    if (shape->transform) {
        p.transform.anchorX = shape->transform->anchorX;
        p.transform.anchorY = shape->transform->anchorY;
    }
    p.antialias = (drawn->formStyle & FORM_ANTIALIAS) != 0;
    p.outline = drawn->fillStyle == FILLNONE;
    record->drawState = *drawn;
    record->color = shape->color & 0xFFFFFF;
    record->thickness = shape->thickness;

    qzTransformTags transform;
    if (shape->transformTags) {
        transform = *shape->transformTags;
    } else {
        InitTransformTags(&transform);
        if (shape->transform) {
            for (int i = 0; i < 4; i++) transform.matrix[i] = shape->transform->matrix[i];
            transform.anchorx = shape->transform->anchorX;
            transform.anchory = shape->transform->anchorY;
        }
    }
    int32_t x = made->x, y = made->y;
    if (shape->kind != SHAPE_LINE) {
        x += (int32_t)std::trunc(transform.anchorx * made->width);
        y += (int32_t)std::trunc(transform.anchory * made->height);
    }
    std::unique_ptr<qzLayerState> owned(NewLayerState());
    if (!owned) return ERR_MEM;
    owned->sourceWidth = made->width;
    owned->sourceHeight = made->height;
    records.insert_or_assign(owned.get(), std::move(record));
    qzLayerState* st = owned.release();
    guard.bitmaps = nullptr;
    qzLayer* layer = nullptr;
    // The layer takes the bitmaps and the state, also when it fails.
    const int error = AddLayerForObject(state, shape->kind, qzObjectId{0, nullptr}, x, y, made->width, made->height,
                                        &transform, tags, made->bitmap, made->mask, made->alpha, st, -1, 0, &layer);
    *made = qzShapeBitmaps();
    if (error) return error;
    // A layer that went on top plainly is drawn by the command itself.
    if (IsPlainOnTop(layer)) UpdateLayerOnDisplay(state, layer, 1);
    return 0;
}

// Cls on a picture with layers: every layer goes (with the buttons bound to them), and the
// picture is shown again.
int ClearPictureLayers(VmState* state) {
    qzBGPic* pic = CurrentBGPic();
    if (!pic) return 0;
    const qzLayerSystemHooks& hooks = LayerSystemHooks();
    if (hooks.asyncDrawUsesLayer)
        for (qzLayer* layer = FirstLayer(pic); layer; layer = NextLayer(layer))
            if (hooks.asyncDrawUsesLayer(layer)) return ERR_REMADLAYER;
    FreeBGPicLayers(state, pic, 1, 1);
    RefreshArea(state, 0, 0, pic->width, pic->height);
    return 0;
}

const qzShapeLayerHooks kHooks = {AddShapeLayer, ClearPictureLayers};

}  // namespace

const qzShapeLayerRecord* ShapeLayerRecordOf(const qzLayer* layer) {
    if (!layer || !IsShapeLayerType(layer->type)) return nullptr;
    return RecordOfState(layer->base);
}

void InstallShapeLayerKinds(bool on) {
    qzLayerKindOps ops = {};
    ops.freeState = FreeShapeState;
    ops.sourceBitmaps = NoSourceBitmaps;
    ops.renderBorder = RenderShapeBorder;
    ops.drawnByBorder = ShapeDrawnByBorder;
    ops.renderContent = RenderShapeContent;
    for (int32_t type : kShapeTypes) SetLayerKindOps(type, on ? &ops : nullptr);
    SetShapeLayerHooks(on ? &kHooks : nullptr);
    if (!on) records.clear();
}
