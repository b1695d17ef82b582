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
#include "display/layer_transform.h"
#include "display/picture.h"
#include "gfx/bitmap.h"
#include "runtime/option_table.h"
#include "vector/layer_fill_tags.h"
#include "vector/polygon_table.h"
#include "vector/shape_line.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

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

// The layer puts the anchor's share of a transformed state's image at the layer's point. As for a
// turned bitmap, that share is taken of the turned box of the base image; the shape lies in that
// box where its turn about its anchor puts it. The state's point is set so that the tight image
// drawn lands there.
void PlaceTurnedShape(const qzShapeLayerRecord& record, const qzLayerState* base, const qzTransformTags* transform,
                      const qzShapeBitmaps& made, qzLayerState* target) {
    const double* m = transform->matrix;
    const double ax = transform->anchorx, ay = transform->anchory;
    // In the shape's own frame: where the shape turns, and the base image's box.
    const double cx = std::trunc(record.params.width * ax), cy = std::trunc(record.params.height * ay);
    const double x0 = record.boxX, y0 = record.boxY;
    const double x1 = x0 + base->width - 1, y1 = y0 + base->height - 1;  // the last pixels' places
    const double corners[4][2] = {{x0, y0}, {x1, y0}, {x0, y1}, {x1, y1}};
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    for (int i = 0; i < 4; i++) {
        const double dx = corners[i][0] - cx, dy = corners[i][1] - cy;
        const double tx = cx + m[0] * dx + m[2] * dy, ty = cy + m[1] * dx + m[3] * dy;
        minX = i ? std::min(minX, tx) : tx, maxX = i ? std::max(maxX, tx) : tx;
        minY = i ? std::min(minY, ty) : ty, maxY = i ? std::max(maxY, ty) : ty;
    }
    // The drawn image's left and top from the layer's point, then the point that puts it there.
    const double left = std::round(made.x - minX - ax * (maxX - minX));
    const double top = std::round(made.y - minY - ay * (maxY - minY));
    target->x = int32_t(std::clamp(target->x + left + std::trunc(ax * made.width), -1e9, 1e9));
    target->y = int32_t(std::clamp(target->y + top + std::trunc(ay * made.height), -1e9, 1e9));
}

// A copy of a shape layer's state with a copy of its record.
qzLayerState* CopyShapeState(const qzLayer*, const qzLayerState* base) {
    std::unique_ptr<qzLayerState> st(new (std::nothrow) qzLayerState(*base));
    if (!st) return nullptr;
    if (const qzShapeLayerRecord* record = RecordOfState(base))
        records.insert_or_assign(st.get(), std::make_unique<qzShapeLayerRecord>(*record));
    return st.release();
}

// The shape drawn anew under the transform's matrix, about its anchor, with the draw state it was
// drawn with (the target's own record, else the base's): outlines and shadows keep their width
// relative to the shape.
int RenderShapeContent(VmState* state, qzLayer* layer, qzLayerState* target, const qzTransformTags* transform) {
    if (!transform || !target) return ERR_WRONGUSAGE;
    const auto own = records.find(target);
    qzShapeLayerRecord* mine = own == records.end() ? nullptr : own->second.get();
    const qzShapeLayerRecord* record = mine ? mine : ShapeLayerRecordOf(layer);
    if (!record) return ERR_WRONGUSAGE;
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
    if (IsIdentityMatrix(transform->matrix)) {
        if (mine && p.kind == SHAPE_LINE) {
            // A line drawn plainly for its own record: its point is the top-left of the drawn
            // box, which lies made.x, made.y from the smaller end coordinates.
            target->x += mine->endsX + made.x;
            target->y += mine->endsY + made.y;
            mine->endsX = -made.x;
            mine->endsY = -made.y;
        }
        if (mine && p.kind != SHAPE_LINE) {
            // Restyled: the shape's own box stays where it was drawn, as the script placed it.
            target->x = target->left - mine->boxX + made.x + int32_t(std::trunc(transform->anchorx * made.width));
            target->y = target->top - mine->boxY + made.y + int32_t(std::trunc(transform->anchory * made.height));
        }
        if (mine) mine->boxX = made.x, mine->boxY = made.y;
    } else if (p.kind != SHAPE_LINE && layer->base) {
        PlaceTurnedShape(*record, layer->base, transform, made, target);
    }
    if (layer->base) {
        target->sourceWidth = layer->base->sourceWidth;
        target->sourceHeight = layer->base->sourceHeight;
    }
    target->width = made.width;
    target->height = made.height;
    target->partX = target->partY = 0;
    return 0;
}

// A radius tag (1 or more) as the diameter 2 r + 1. 1 when read, -1 when out of range, 0 when absent.
int ReadDiameter(VmState* state, int table, const char* key, int32_t* size) {
    int32_t r = 0;
    if (!GetTableFieldInt(state, table, key, &r, nullptr)) return 0;
    if (r < 1 || r > 0x3FFFFFFE) return -1;
    *size = 2 * r + 1;
    return 1;
}

// "vertices": a flat list of coordinates (keys 0, 1, ...). 0 or the error.
int ReadVertices(VmState* state, int table, qzShapeLayerRecord* record) {
    VmPushString(state, "vertices");
    VmGetTable(state, table);
    if (VmType(state, -1) == VM_TNIL) {
        VmPop(state, 1);
        return 0;
    }
    VmCheckTable(state, -1);
    const int list = VmAbsIndex(state, -1);
    int numbers = 0;
    for (;; numbers++) {
        VmRawGetI(state, list, numbers);
        const bool end = VmType(state, -1) == VM_TNIL;
        VmPop(state, 1);
        if (end || numbers > 2 * 999) break;
    }
    const int count = numbers / 2;
    int error = count < 2 || count > 999 ? ERR_WRONGUSAGE : 0;
    int minX = 0, minY = 0, width = 0, height = 0;
    qzShapePoint low{};
    std::vector<qzShapePoint> points;
    if (!error) error = ReadPolygonTable(state, list, count, &points, &minX, &minY, &width, &height, &low);
    VmPop(state, 1);
    if (error) return error;
    record->points = std::move(points);
    record->params.count = (int32_t)record->points.size();
    record->params.width = width;
    record->params.height = height;
    return 0;
}

// The end points of a line in picture coordinates: x1, y1, x2, y2.
void LineEnds(const qzShapeLayerRecord& r, const qzLayerState* st, int64_t ends[4]) {
    const int64_t left = (int64_t)st->x + r.endsX, top = (int64_t)st->y + r.endsY;
    ends[0] = left + r.params.x1, ends[1] = top + r.params.y1;
    ends[2] = left + r.params.x2, ends[3] = top + r.params.y2;
}

// "x1", "y1", "x2", "y2" (picture coordinates) and "thickness" of a line; the layer's point
// (*pointX, *pointY) follows the smaller end coordinates.
void ReadLineTags(VmState* state, int table, qzShapeLayerRecord* r, int32_t* pointX, int32_t* pointY) {
    int64_t ends[4];
    const int64_t left0 = (int64_t)*pointX + r->endsX, top0 = (int64_t)*pointY + r->endsY;
    ends[0] = left0 + r->params.x1, ends[1] = top0 + r->params.y1;
    ends[2] = left0 + r->params.x2, ends[3] = top0 + r->params.y2;
    static const char* const kKeys[4] = {"x1", "y1", "x2", "y2"};
    for (int i = 0; i < 4; i++) {
        int32_t value = 0;
        if (GetTableFieldInt(state, table, kKeys[i], &value, nullptr))
            ends[i] = std::clamp<int64_t>(value, INT32_MIN / 2, INT32_MAX / 2);
    }
    int32_t thickness = 0;
    if (GetTableFieldInt(state, table, "thickness", &thickness, nullptr)) r->thickness = ClampLineThickness(thickness);
    const int64_t left = std::min(ends[0], ends[2]), top = std::min(ends[1], ends[3]);
    r->params.x1 = int32_t(ends[0] - left), r->params.y1 = int32_t(ends[1] - top);
    r->params.x2 = int32_t(ends[2] - left), r->params.y2 = int32_t(ends[3] - top);
    // The render of the new line puts the point on its drawn box (RenderShapeContent).
    *pointX = int32_t(left - r->endsX);
    *pointY = int32_t(top - r->endsY);
}

bool SameShape(const qzShapeLayerRecord& a, const qzShapeLayerRecord& b) {
    const qzShapeLayerParams &p = a.params, &q = b.params;
    if (p.kind != q.kind || p.width != q.width || p.height != q.height || p.startAngle != q.startAngle ||
        p.endAngle != q.endAngle || p.clockwise != q.clockwise || p.x1 != q.x1 || p.y1 != q.y1 || p.x2 != q.x2 ||
        p.y2 != q.y2 || p.antialias != q.antialias || p.outline != q.outline || a.thickness != b.thickness ||
        a.points.size() != b.points.size())
        return false;
    for (int i = 0; i < 4; i++)
        if (p.corners[i] != q.corners[i]) return false;
    for (size_t i = 0; i < a.points.size(); i++)
        if (a.points[i].x != b.points[i].x || a.points[i].y != b.points[i].y) return false;
    return true;
}

// A new kind ("type") needs the tags that define its shape. 0, ERR_MISSINGPARAMTR, or
// ERR_WRONGUSAGE for a kind that is no shape.
int ReadNewKind(VmState* state, int table, qzShapeLayerParams* p) {
    int32_t kind = p->kind;
    if (!GetTableFieldInt(state, table, "type", &kind, nullptr) || kind == p->kind) return 0;
    static const struct {
        int32_t kind;
        const char* keys[4];
    } kDefining[] = {
        {SHAPE_BOX, {"sizex", "sizey"}},         {SHAPE_CIRCLE, {"radius"}},
        {SHAPE_ELLIPSE, {"radiusa", "radiusb"}}, {SHAPE_LINE, {"x1", "y1", "x2", "y2"}},
        {SHAPE_POLYGON, {"vertices"}},           {SHAPE_ARC, {"radiusa", "radiusb", "startangle", "endangle"}},
    };
    for (const auto& row : kDefining) {
        if (row.kind != kind) continue;
        for (const char* key : row.keys) {
            if (!key) break;
            VmPushString(state, key);
            VmGetTable(state, table);
            const bool given = VmType(state, -1) != VM_TNIL;
            VmPop(state, 1);
            if (!given) return ERR_MISSINGPARAMTR;
        }
        p->kind = kind;
        for (int32_t& corner : p->corners) corner = 0;
        if (kind == SHAPE_ARC) p->clockwise = 1;
        return 0;
    }
    return ERR_WRONGUSAGE;
}

// A shape's style tags into its record: the colour and fill style, then the geometry of its kind
// (a new kind given by "type" needs its defining tags). A line's ends are read relative to the
// layer's point (*pointX, *pointY), which follows them. 0 or the first tag's error.
int ParseShapeTags(VmState* state, int table, qzShapeLayerRecord& r, int32_t* pointX, int32_t* pointY, int* changed) {
    qzShapeLayerParams& p = r.params;
    int error = ParseLayerFillTags(state, table, &r.drawState, &r.color, changed);
    if (error) return error;
    p.antialias = (r.drawState.formStyle & FORM_ANTIALIAS) != 0;
    p.outline = r.drawState.fillStyle == FILLNONE;
    error = ReadNewKind(state, table, &p);
    if (error) return error;
    int32_t value = 0;
    bool bad = false;
    switch (p.kind) {
    case SHAPE_BOX: {
        if (GetTableFieldInt(state, table, "sizex", &value, nullptr)) bad |= value < 1, p.width = value;
        if (GetTableFieldInt(state, table, "sizey", &value, nullptr)) bad |= value < 1, p.height = value;
        static const char* const kCorners[4] = {"cornera", "cornerb", "cornerc", "cornerd"};
        if (GetTableFieldInt(state, table, "roundlevel", &value, nullptr)) {
            for (int32_t& corner : p.corners) corner = std::clamp(value, 0, 100);
        } else {
            for (int i = 0; i < 4; i++)
                if (GetTableFieldInt(state, table, kCorners[i], &value, nullptr))
                    p.corners[i] = std::clamp(value, 0, 100);
        }
        break;
    }
    case SHAPE_CIRCLE:
        if (ReadDiameter(state, table, "radius", &p.width) < 0) bad = true;
        p.height = p.width;
        break;
    case SHAPE_ELLIPSE:
    case SHAPE_ARC:
        bad |= ReadDiameter(state, table, "radiusa", &p.width) < 0;
        bad |= ReadDiameter(state, table, "radiusb", &p.height) < 0;
        if (p.kind == SHAPE_ARC) {
            if (GetTableFieldInt(state, table, "startangle", &value, nullptr)) bad |= value < 0, p.startAngle = value;
            if (GetTableFieldInt(state, table, "endangle", &value, nullptr)) bad |= value < 0, p.endAngle = value;
            if (GetTableFieldBool(state, table, "clockwise", &value, nullptr)) p.clockwise = value != 0;
        }
        break;
    case SHAPE_LINE: ReadLineTags(state, table, &r, pointX, pointY); break;
    case SHAPE_POLYGON:
        error = ReadVertices(state, table, &r);
        if (error) return error;
        break;
    default: break;
    }
    return bad ? ERR_WRONGUSAGE : 0;
}

// The shape's own style tags into the record of scratch (a copy of the base state). The shape's box
// keeps its top-left (a line's box follows its new end points).
int ParseShapeStyle(VmState* state, const qzLayer* layer, int table, qzLayerState* scratch, int* changed) {
    const auto found = records.find(scratch);
    const qzShapeLayerRecord* old = ShapeLayerRecordOf(layer);
    if (found == records.end() || !old) return ERR_WRONGUSAGE;
    const int error = ParseShapeTags(state, table, *found->second, &scratch->x, &scratch->y, changed);
    if (error) return error;
    if (!SameShape(*old, *found->second)) *changed = 1;
    return 0;
}

// The shape's fields of GetLayerStyle: the colour and fill style, then its kind's geometry.
void GetShapeStyle(VmState* state, const qzLayer* layer) {
    const qzShapeLayerRecord* r = ShapeLayerRecordOf(layer);
    if (!r) return;
    SetLayerFillFields(state, r->drawState, r->color);
    const qzShapeLayerParams& p = r->params;
    switch (p.kind) {
    case SHAPE_BOX: {
        SetTableFieldInt(state, "sizex", p.width);
        SetTableFieldInt(state, "sizey", p.height);
        if (p.corners[1] == p.corners[0] && p.corners[2] == p.corners[0] && p.corners[3] == p.corners[0]) {
            SetTableFieldInt(state, "roundlevel", p.corners[0]);
        } else {
            static const char* const kCorners[4] = {"cornera", "cornerb", "cornerc", "cornerd"};
            for (int i = 0; i < 4; i++) SetTableFieldInt(state, kCorners[i], p.corners[i]);
        }
        break;
    }
    case SHAPE_CIRCLE: SetTableFieldInt(state, "radius", p.width / 2); break;
    case SHAPE_ARC:
        SetTableFieldInt(state, "startangle", p.startAngle);
        SetTableFieldInt(state, "endangle", p.endAngle);
        SetTableFieldInt(state, "clockwise", p.clockwise ? 1 : 0);
        [[fallthrough]];
    case SHAPE_ELLIPSE:
        SetTableFieldInt(state, "radiusa", p.width / 2);
        SetTableFieldInt(state, "radiusb", p.height / 2);
        break;
    case SHAPE_LINE: {
        SetTableFieldInt(state, "thickness", r->thickness);
        int64_t ends[4];
        LineEnds(*r, layer->base, ends);
        static const char* const kKeys[4] = {"x1", "y1", "x2", "y2"};
        for (int i = 0; i < 4; i++) SetTableFieldNumber(state, kKeys[i], (double)ends[i]);
        break;
    }
    case SHAPE_POLYGON: {
        VmPushString(state, "vertices");
        VmNewTable(state);
        int index = 0;
        for (const qzShapePoint& point : r->points) {
            VmPushNumber(state, point.x);
            VmRawSetI(state, -2, index++);
            VmPushNumber(state, point.y);
            VmRawSetI(state, -2, index++);
        }
        VmSetTable(state, -3);
        SetTableFieldInt(state, "numvertices", (int32_t)r->points.size());
        break;
    }
    default: break;
    }
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

bool installed = false;

}  // namespace

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
    record->endsX = lineLeft - made->x;
    record->endsY = lineTop - made->y;
    record->boxX = made->x - shape->x;
    record->boxY = made->y - shape->y;

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
                                        &transform, tags, made->bitmap, made->mask, made->alpha, st,
                                        shape->insertPos > 0 ? shape->insertPos : -1, shape->addFlags, &layer);
    *made = qzShapeBitmaps();
    if (error) return error;
    // A layer that went on top plainly is drawn by the command itself (a replacing one by its caller).
    if (!(shape->addFlags & QZ_ADDLAYER_REPLACE) && IsPlainOnTop(layer)) UpdateLayerOnDisplay(state, layer, 1);
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

const qzShapeLayerRecord* ShapeLayerRecordOf(const qzLayer* layer) {
    if (!layer || !IsShapeLayerType(layer->type)) return nullptr;
    return RecordOfState(layer->base);
}

bool ShapeLayerKindsInstalled() { return installed; }

void InstallShapeLayerKinds(bool on) {
    qzLayerKindOps ops = {};
    ops.freeState = FreeShapeState;
    ops.sourceBitmaps = NoSourceBitmaps;
    ops.renderBorder = RenderShapeBorder;
    ops.drawnByBorder = ShapeDrawnByBorder;
    ops.renderContent = RenderShapeContent;
    ops.copyState = CopyShapeState;
    ops.parseStyle = ParseShapeStyle;
    ops.getStyle = GetShapeStyle;
    for (int32_t type : kShapeTypes) SetLayerKindOps(type, on ? &ops : nullptr);
    installed = on;
    if (!on) records.clear();
}

int ParseNewShapeTags(VmState* state, int table, qzShapeLayerRecord* shape) {
    shape->params = qzShapeLayerParams{};  // no kind yet: "type" needs the defining tags
    shape->thickness = 1;
    shape->points.clear();
    shape->endsX = shape->endsY = shape->boxX = shape->boxY = 0;
    int32_t x = 0, y = 0;
    int changed = 0;
    const int error = ParseShapeTags(state, table, *shape, &x, &y, &changed);
    if (error) return error;
    if (!IsShapeLayerType(shape->params.kind)) return ERR_WRONGUSAGE;
    // A line's ends relative to the point 0, 0: the smaller end coordinates.
    shape->endsX = x;
    shape->endsY = y;
    return 0;
}

int DrawShapeAsLayer(VmState* state, const qzShapeLayerRecord& record, int32_t x, int32_t y,
                     const qzTransformTags& transformTags, const qzLayerTags& look, int32_t insertPos,
                     uint32_t addFlags, bool modernCurves) {
    if (!ShapesGoToLayers()) return ERR_WRONGUSAGE;
    const qzShapeLayerParams& p = record.params;
    const bool line = p.kind == SHAPE_LINE;
    // The matrix of the shape's own size (a target size scales the new shape to it).
    qzTransformTags transform = transformTags;
    RestoreLayerMatrix(&transform, line ? std::max(p.x1, p.x2) + 1 : p.width,
                       line ? std::max(p.y1, p.y2) + 1 : p.height);
    qzShapeTransform t;
    for (int i = 0; i < 4; i++) t.matrix[i] = transform.matrix[i];
    t.anchorX = transform.anchorx;
    t.anchorY = transform.anchory;
    qzLayerTags tags = look;
    qzDrawState ds = record.drawState;
    qzShape shape{};
    shape.kind = p.kind;
    shape.color = record.color;
    shape.drawState = &ds;
    shape.transform = &t;
    shape.transformTags = &transform;
    shape.layerTags = &tags;
    shape.insertPos = insertPos;
    shape.addFlags = addFlags;
    if (line)
        return DrawLineCore(state, &shape, record.endsX + p.x1, record.endsY + p.y1, record.endsX + p.x2,
                            record.endsY + p.y2, record.thickness, 0, nullptr);
    shape.width = p.width;
    shape.height = p.height;
    shape.rx = p.width / 2;
    shape.ry = p.height / 2;
    for (int i = 0; i < 4; i++) shape.corners[i] = std::clamp(p.corners[i], 0, 100);
    shape.startAngle = p.startAngle;
    shape.endAngle = p.endAngle;
    shape.clockwise = p.clockwise;
    shape.points = record.points.data();
    shape.count = (int32_t)record.points.size();
    shape.x = x - int32_t(std::trunc(t.anchorX * p.width));
    shape.y = y - int32_t(std::trunc(t.anchorY * p.height));
    shape.offscreen = ChooseShapeOffscreen(&shape, &ds, modernCurves);
    return DrawShape(state, &shape, 0, nullptr);
}
