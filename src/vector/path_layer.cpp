// The path layers' state records, their row of the layer-kind dispatch and the outline render of
// a path layer. See path_layer.h.
#include "vector/path_layer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/charset.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/layer_kinds.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_lock.h"
#include "gfx/blit.h"
#include "platform/os_alloc.h"
#include "platform/plugin_loader.h"
#include "runtime/option_table.h"
#include "runtime/plugin_manager.h"
#include "vector/draw_shape.h"
#include "vector/layer_fill_tags.h"
#include "vector/path_buffer.h"
#include "vector/vector_engine.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Every live path layer record: a state of type VECTORPATH that the layer code made itself (a
// transformed or display-scaled state) is a plain record and is freed as one.
std::unordered_set<const qzLayerState*> gStates;

qzPathLayerState* Registered(const qzLayerState* st) {
    return gStates.count(st) ? static_cast<qzPathLayerState*>(const_cast<qzLayerState*>(st)) : nullptr;
}

void FreePathLayerKindState(qzLayerState* st) {
    if (qzPathLayerState* mine = Registered(st))
        FreePathLayerState(mine);
    else
        delete st;
}

// The outline at the border size, placed around the state's drawn box.
int RenderPathLayerBorder(VmState* state, qzLayer* layer, qzLayerState* st, double scaleX, double scaleY) {
    const qzPathLayerState* mine = PathLayerStateOf(layer);
    if (!mine) return ERR_WRONGUSAGE;
    const bool transformed = st != layer->base && !IsIdentityMatrix(layer->transform.matrix);
    qzPathRenderOutput out;
    if (int error = RenderPathLayer(state, layer, layer->border.bordercolor & 0xFFFFFF, layer->border.bordersize,
                                    transformed, scaleX, scaleY, &out))
        return error;
    FreeBitMapTrio(&st->border);
    st->border = {out.bitmap, nullptr, out.alpha};
    if (transformed) {
        // The turned outline is centred on the turned body.
        st->borderGrowX = (out.width - st->width) / 2;
        st->borderGrowY = (out.height - st->height) / 2;
    } else {
        st->borderGrowX = (int32_t)std::lround(mine->bodyX * scaleX) - out.x;
        st->borderGrowY = (int32_t)std::lround(mine->bodyY * scaleY) - out.y;
    }
    return 0;
}

// An unfilled path is drawn by its outline alone.
int PathDrawnByBorder(const qzLayer* layer, const qzLayerState*) {
    const qzPathLayerState* mine = PathLayerStateOf(layer);
    return mine && mine->params.drawState.fillStyle == FILLNONE ? 1 : 0;
}

// The saved path drawn anew under the transform's matrix, about its anchor, so that it stays sharp.
// What the layer draws itself (edge, shadow, a wide outline, transparency) is left out, as in the
// base state's draw.
int RenderPathLayerContent(VmState* state, qzLayer* layer, qzLayerState* target, const qzTransformTags* transform) {
    // The target's own copy of the path when it has one (restyled, or made by CopyPathState).
    qzPathLayerState* own = Registered(target);
    const qzPathLayerState* mine = own ? own : PathLayerStateOf(layer);
    if (!mine || !transform || !target) return ERR_WRONGUSAGE;
    qzPathDrawTags tags = mine->tags;
    std::copy(transform->matrix, transform->matrix + 4, tags.transform.matrix);
    tags.transform.anchorx = transform->anchorx;
    tags.transform.anchory = transform->anchory;
    // The layer's own copy; the draw reads it and maps its text records in place.
    qzPathRenderParams params = mine->params;
    qzLayerTags unused;
    InitLayerTags(&unused);
    ApplyDrawStateToLayer(&params.drawState, &unused, &params.color);
    qzPathRenderOutput out;
    out.outlineOnly = 1;
    if (int error = DrawPathCore(state, 0, 0, &params, &tags, &out, PATHRENDER_FORLAYER | PATHRENDER_RERENDER, 0))
        return error;
    MadeBitMaps turned;
    turned.bitmap = out.bitmap;
    turned.alpha = out.alpha;
    if (own && IsIdentityMatrix(transform->matrix)) {
        // Drawn plainly for its own record (a restyled path): the image as drawn, with the layer's
        // point moved by the change of the image's offset from the path's origin.
        FreeBitMapTrio(&target->own);
        target->own = {nullptr, nullptr, nullptr};
        turned.Release(&target->own.bitmap, nullptr, &target->own.alpha);
        target->x += out.x - own->bodyX;
        target->y += out.y - own->bodyY;
        own->bodyX = out.x;
        own->bodyY = out.y;
        target->width = target->sourceWidth = out.width;
        target->height = target->sourceHeight = out.height;
        target->partX = target->partY = 0;
        return 0;
    }
    // The layer puts the point that the path turned about at the anchor's share of the image, as
    // it does for a turned bitmap: the image is the turned box of the base image about that point,
    // with the drawn path placed in it.
    const qzLayerState* base = layer->base ? layer->base : target;
    const double* m = transform->matrix;
    const double ax = transform->anchorx * base->width, ay = transform->anchory * base->height;
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    const double corners[4][2] = {
        {0, 0}, {(double)base->width, 0}, {0, (double)base->height}, {(double)base->width, (double)base->height}};
    for (const auto& c : corners) {
        const double cx = c[0] - ax, cy = c[1] - ay;
        const double tx = m[0] * cx + m[2] * cy, ty = m[1] * cx + m[3] * cy;
        minX = std::min(minX, tx), maxX = std::max(maxX, tx);
        minY = std::min(minY, ty), maxY = std::max(maxY, ty);
    }
    int64_t width = std::max<int64_t>(1, (int64_t)std::ceil(maxX - minX));
    int64_t height = std::max<int64_t>(1, (int64_t)std::ceil(maxY - minY));
    // Where the turning point lies in the drawn image and where the layer will put it.
    const double pivotX = mine->bodyX + ax - out.x, pivotY = mine->bodyY + ay - out.y;
    int64_t dx = (int64_t)std::trunc(transform->anchorx * (double)width) - std::lround(pivotX);
    int64_t dy = (int64_t)std::trunc(transform->anchory * (double)height) - std::lround(pivotY);
    if (dx < 0) width -= dx, dx = 0;
    if (dy < 0) height -= dy, dy = 0;
    width = std::max<int64_t>(width, dx + out.width);
    height = std::max<int64_t>(height, dy + out.height);
    if (width > 0x1FFFFFFF || height > 0x1FFFFFFF) return ERR_BITMAP;
    MadeBitMaps placed;
    placed.bitmap = CreateBitMap((int)width, (int)height, 0, nullptr);
    if (!placed.bitmap) return ERR_BITMAP;
    placed.alpha = CreateAlphaBitMap((int)width, (int)height, 1, nullptr, 0);
    if (!placed.alpha) return ERR_ALLOCALPHA;
    BlitBitMap(turned.bitmap, 0, 0, placed.bitmap, (int)dx, (int)dy, out.width, out.height);
    {
        BitMapLock from(turned.alpha, LOCKF_READONLY), to(placed.alpha, 0);
        if (!from.ok || !to.ok) return ERR_LOCKBMAP;
        for (int32_t row = 0; row < out.height; row++)
            std::memcpy((uint8_t*)to.info.pixels + (size_t)(row + dy) * to.info.rowLength + dx,
                        (const uint8_t*)from.info.pixels + (size_t)row * from.info.rowLength, (size_t)out.width);
    }
    FreeBitMapTrio(&target->own);
    target->own = {nullptr, nullptr, nullptr};
    placed.Release(&target->own.bitmap, nullptr, &target->own.alpha);
    out.width = (int32_t)width;
    out.height = (int32_t)height;
    if (layer->base) {
        target->sourceWidth = layer->base->sourceWidth;
        target->sourceHeight = layer->base->sourceHeight;
    }
    target->width = out.width;
    target->height = out.height;
    target->partX = target->partY = 0;
    return 0;
}

// A copy of a path layer's state with its own copy of the path and its options.
qzLayerState* CopyPathState(const qzLayer*, const qzLayerState* base) {
    qzPathLayerState* st = NewPathLayerState();
    if (!st) return nullptr;
    static_cast<qzLayerState&>(*st) = *base;
    if (const qzPathLayerState* from = Registered(base)) {
        if (CopyPathRenderParams(from->params, &st->params) != 0) {
            st->params.buffer = nullptr;
            FreePathLayerState(st);
            return nullptr;
        }
        st->tags = from->tags;
        st->bodyX = from->bodyX;
        st->bodyY = from->bodyY;
    }
    return st;
}

// A list of numbers (keys 0, 1, ...) into *out (at most 1024). 0 or ERR_NUMTABLEARG.
int ReadNumberList(VmState* state, int list, const char* key, std::vector<double>* out) {
    out->clear();
    for (int i = 0; out->size() < 1024; i++) {
        VmRawGetI(state, list, i);
        const int type = VmType(state, -1);
        const double value = type == VM_TNUMBER ? VmToNumber(state, -1) : 0;
        VmPop(state, 1);
        if (type == VM_TNIL) break;
        if (type != VM_TNUMBER) {
            SetErrorArgString(key);
            return ERR_NUMTABLEARG;
        }
        out->push_back(value);
    }
    return 0;
}

// "dashes": the dash lengths (an empty list or a negative first length: solid). 0 or the error.
int ReadDashes(VmState* state, int table, qzPathStyle* style) {
    VmPushString(state, "dashes");
    VmGetTable(state, table);
    if (VmType(state, -1) == VM_TNIL) {
        VmPop(state, 1);
        return 0;
    }
    VmCheckTable(state, -1);
    std::vector<double> lengths;
    int error = ReadNumberList(state, VmAbsIndex(state, -1), "dashes", &lengths);
    VmPop(state, 1);
    if (error) return error;
    if (!lengths.empty() && lengths[0] < 0) lengths.clear();
    qzPathStyle dashed = *style;
    dashed.dashLengths = lengths.data();
    dashed.dashCount = (uint32_t)lengths.size();
    qzPathStyle copy;
    if (CopyPathStyle(dashed, &copy) != 0) return ERR_MEM;
    FreePathStyleCopy(style);
    *style = copy;
    return 0;
}

bool SamePath(const qzPathLayerState& a, const qzPathLayerState& b) {
    const qzPathRenderParams &p = a.params, &q = b.params;
    const qzPathStyle &s = p.pathStyle, &t = q.pathStyle;
    if (p.id.number != q.id.number || p.id.pointer != q.id.pointer || p.capacity != q.capacity ||
        (p.buffer == nullptr) != (q.buffer == nullptr) || p.color != q.color || p.engine != q.engine ||
        !SameDrawState(p.drawState, q.drawState) || s.lineJoin != t.lineJoin || s.lineCap != t.lineCap ||
        s.fillRule != t.fillRule || s.dashOffset != t.dashOffset || s.dashCount != t.dashCount)
        return false;
    if (p.buffer && std::memcmp(p.buffer, q.buffer, p.capacity) != 0) return false;
    return s.dashCount == 0 || std::memcmp(s.dashLengths, t.dashLengths, sizeof(double) * s.dashCount) == 0;
}

// The path layer's own style tags into scratch's copy: another path ("id"), the colour and fill
// style, the path style and the vector engine.
int ParsePathStyle(VmState* state, const qzLayer* layer, int table, qzLayerState* scratch, int* changed) {
    qzPathLayerState* mine = Registered(scratch);
    const qzPathLayerState* old = PathLayerStateOf(layer);
    if (!mine || !old) return ERR_WRONGUSAGE;
    qzPathRenderParams& p = mine->params;
    qzObjectId id = p.id;
    if (GetTableFieldObjectId(state, table, "id", &id, nullptr)) {
        qzPath* path = nullptr;
        if (int error = FindPath(id, &path)) return error;
        if (!path->buffer) return ERR_EMPTYPATH;
        auto* buffer = static_cast<uint8_t*>(OsAlloc(path->capacity, 0));
        if (!buffer) return ERR_MEM;
        std::memcpy(buffer, path->buffer, path->capacity);
        OsFree(p.buffer);
        p.buffer = buffer;
        p.capacity = path->capacity;
        p.id = path->header.id;
    }
    if (int error = ParseLayerFillTags(state, table, &p.drawState, &p.color, changed)) return error;
    if (int error = ParsePathStyleTags(state, table, &p.pathStyle, &p.engine)) return error;
    if (!SamePath(*old, *mine)) *changed = 1;
    return 0;
}

}  // namespace

int ParsePathStyleTags(VmState* state, int table, qzPathStyle* style, qzVectorEngine** engine) {
    GetTableFieldInt(state, table, "linejoin", &style->lineJoin, nullptr);
    GetTableFieldInt(state, table, "linecap", &style->lineCap, nullptr);
    GetTableFieldInt(state, table, "fillrule", &style->fillRule, nullptr);
    GetTableFieldNumber(state, table, "dashoffset", &style->dashOffset, nullptr);
    std::string name;
    if (GetTableFieldString(state, table, "vectorengine", nullptr, 0, &name, nullptr)) {
        qzVectorEngine* found = FindVectorEngine(name.c_str());
        if (!found) {
            SetErrorArgString(name.c_str());
            return ERR_FINDPLUGIN;
        }
        *engine = found;
    }
    return ReadDashes(state, table, style);
}

namespace {

// The name a script gives the engine: "default" for the inbuilt one, else its plugin's file name
// without the extension.
std::string EngineName(const qzVectorEngine* engine) {
    if (!engine || IsInbuiltVectorEngine(engine)) return "default";
    for (qzPluginRecord* record = GetPluginRecords(); record; record = record->next) {
        if (!record->handle || OsGetPluginInfo(record->handle) != engine) continue;
        std::string name = record->fileName;
        if (name.size() > 4 && CompareNoCase(name.c_str() + name.size() - 4, ".qzp") == 0) name.resize(name.size() - 4);
        return name;
    }
    return "default";
}

// The path layer's fields of GetLayerStyle.
void GetPathLayerStyle(VmState* state, const qzLayer* layer) {
    const qzPathLayerState* mine = PathLayerStateOf(layer);
    if (!mine) return;
    const qzPathRenderParams& p = mine->params;
    SetTableFieldObjectId(state, "id", p.id);
    SetLayerFillFields(state, p.drawState, p.color);
    SetTableFieldInt(state, "linejoin", p.pathStyle.lineJoin);
    SetTableFieldInt(state, "linecap", p.pathStyle.lineCap);
    SetTableFieldInt(state, "fillrule", p.pathStyle.fillRule);
    SetTableFieldNumber(state, "dashoffset", p.pathStyle.dashOffset);
    SetTableFieldString(state, "vectorengine", EngineName(p.engine).c_str());
    VmPushString(state, "dashes");
    VmNewTable(state);
    for (uint32_t i = 0; i < p.pathStyle.dashCount; i++) {
        VmPushNumber(state, p.pathStyle.dashLengths[i]);
        VmRawSetI(state, -2, (int)i);
    }
    VmSetTable(state, -3);
}

}  // namespace

qzPathLayerState* NewPathLayerState() {
    std::unique_ptr<qzPathLayerState> st(new (std::nothrow) qzPathLayerState());
    if (!st) return nullptr;
    gStates.insert(st.get());
    return st.release();
}

void FreePathLayerState(qzPathLayerState* st) {
    if (!st) return;
    gStates.erase(st);
    FreePathRenderParams(&st->params);
    delete st;
}

qzPathLayerState* PathLayerStateOf(const qzLayer* layer) {
    return layer && layer->type == QZ_LAYER_VECTORPATH ? Registered(layer->base) : nullptr;
}

int RenderPathLayer(VmState* state, const qzLayer* layer, uint32_t color, int size, bool transformed, double scaleX,
                    double scaleY, qzPathRenderOutput* out) {
    const qzPathLayerState* mine = PathLayerStateOf(layer);
    if (!mine) return ERR_WRONGUSAGE;
    qzPathDrawTags tags = mine->tags;
    InitTransformTags(&tags.transform);
    if (transformed) {
        std::copy(layer->transform.matrix, layer->transform.matrix + 4, tags.transform.matrix);
        tags.transform.anchorx = layer->anchorx;
        tags.transform.anchory = layer->anchory;
    }
    // The display's scale follows the layer's matrix: the x factor scales the entries that make x
    // (x' = m0 x + m2 y), the y factor those that make y.
    tags.transform.matrix[0] *= scaleX;
    tags.transform.matrix[2] *= scaleX;
    tags.transform.matrix[1] *= scaleY;
    tags.transform.matrix[3] *= scaleY;
    // The layer's own copy; the draw reads it and maps its text records in place.
    qzPathRenderParams params = mine->params;
    params.drawState.fillStyle = FILLNONE;
    params.drawState.formStyle &= ~(FORM_EDGE | FORM_SHADOW);
    params.drawState.lineWidth = 2 * std::clamp(size, 0, 0x3FFFFFFF);
    params.color = color & 0xFFFFFF;
    *out = qzPathRenderOutput();
    out->outlineOnly = mine->params.drawState.fillStyle == FILLNONE ? 1 : 0;
    return DrawPathCore(state, 0, 0, &params, &tags, out, PATHRENDER_FORLAYER | PATHRENDER_RERENDER, 0);
}

void InstallPathLayerKind(bool on) {
    qzLayerKindOps ops = {};
    ops.freeState = FreePathLayerKindState;
    ops.renderBorder = RenderPathLayerBorder;
    ops.drawnByBorder = PathDrawnByBorder;
    ops.renderContent = RenderPathLayerContent;
    ops.copyState = CopyPathState;
    ops.parseStyle = ParsePathStyle;
    ops.getStyle = GetPathLayerStyle;
    SetLayerKindOps(QZ_LAYER_VECTORPATH, on ? &ops : nullptr);
}
