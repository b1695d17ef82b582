#include "vector/shape_layer.h"

#include <algorithm>
#include <cmath>
#include <new>

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

void FreeShapeState(qzLayerState* layerState) { delete static_cast<qzShapeLayerState*>(layerState); }

// A shape layer draws its own bitmaps: the redraw never asks for a source object.
int NoSourceBitmaps(VmState*, const qzLayer*, const qzLayerState*, int32_t, qzLayerSource*) { return ERR_WRONGUSAGE; }

// The layer's border is the shape's outline drawn at the border size in the border colour: a
// filled shape grown by the size, an unfilled one stroked twice the size wide. The base state is
// drawn as the script drew it; the other states with the layer's matrix at their scale.
int RenderShapeBorder(VmState* state, qzLayer* layer, qzLayerState* layerState, double scaleX, double scaleY) {
    qzShapeLayerState* st = ShapeLayerStateOf(layer, layerState);
    if (!st || layer->type == QZ_LAYER_LINE) return 0;
    qzShapeLayerParams params = st->params;
    params.points = st->points.get();
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

// An unfilled shape whose colour is its border's is drawn by the border alone.
int ShapeDrawnByBorder(const qzLayer* layer, const qzLayerState* layerState) {
    const qzShapeLayerState* st = ShapeLayerStateOf(layer, const_cast<qzLayerState*>(layerState));
    return st && st->params.outline && st->color == layer->border.bordercolor ? 1 : 0;
}

bool IsPlainOnTop(const qzLayer* layer) {
    return !layer->hidden && !layer->pending && !NextLayer(layer) && IsIdentityMatrix(layer->transform.matrix) &&
           !HasEnabledFilter(layer->filters) && !layer->transparency && !layer->shadow.shadow && !layer->border.border;
}

// Makes a layer of the shape's kind for the drawn bitmaps. The layer's point is the anchor point
// of the drawn box (a line's is its top-left), so that the layer code finds the box again from it.
int AddShapeLayer(VmState* state, const qzShape* shape, const qzDrawState* drawn, const qzLayerTags* tags,
                  qzShapeBitmaps* made) {
    qzShapeLayerState* st = new (std::nothrow) qzShapeLayerState();
    if (st && shape->kind == SHAPE_POLYGON && shape->points && shape->count > 0) {
        st->points.reset(new (std::nothrow) qzShapePoint[shape->count]);
        if (st->points)
            for (int i = 0; i < shape->count; i++) st->points[i] = shape->points[i];
    }
    if (!st || (shape->kind == SHAPE_POLYGON && shape->count > 0 && !st->points)) {
        delete st;
        FreeShapeBitmaps(made);
        return ERR_MEM;
    }
    qzShapeLayerParams& p = st->params;
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
    p.count = shape->kind == SHAPE_POLYGON ? shape->count : 0;
    if (shape->transform)
        p.transform.anchorX = shape->transform->anchorX, p.transform.anchorY = shape->transform->anchorY;
    p.antialias = (drawn->formStyle & FORM_ANTIALIAS) != 0;
    p.outline = drawn->fillStyle == FILLNONE;
    st->drawState = *drawn;
    st->color = shape->color & 0xFFFFFF;
    st->thickness = shape->thickness;
    st->bodyX = made->x - shape->x;
    st->bodyY = made->y - shape->y;
    st->sourceWidth = made->width;
    st->sourceHeight = made->height;

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
    qzLayer* layer = nullptr;
    // The layer takes the bitmaps and the record, also when it fails.
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

qzShapeLayerState* ShapeLayerStateOf(const qzLayer* layer, qzLayerState* layerState) {
    if (!layer || !layerState || !IsShapeLayerType(layer->type)) return nullptr;
    return static_cast<qzShapeLayerState*>(layerState);
}

void InstallShapeLayerKinds(bool on) {
    qzLayerKindOps ops = {};
    ops.freeState = FreeShapeState;
    ops.sourceBitmaps = NoSourceBitmaps;
    ops.renderBorder = RenderShapeBorder;
    ops.drawnByBorder = ShapeDrawnByBorder;
    for (int32_t type : kShapeTypes) SetLayerKindOps(type, on ? &ops : nullptr);
    SetShapeLayerHooks(on ? &kHooks : nullptr);
}
