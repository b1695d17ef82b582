// The path layers' state records, their row of the layer-kind dispatch and the outline render of
// a path layer. See path_layer.h.
#include "vector/path_layer.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <vector>

#include "base/error_codes.h"
#include "display/layer_kinds.h"

namespace {

// Every live path layer record: a state of type VECTORPATH that the layer code made itself (a
// transformed or display-scaled state) is a plain record and is freed as one.
std::vector<qzPathLayerState*> gStates;

qzPathLayerState* Registered(const qzLayerState* st) {
    for (qzPathLayerState* p : gStates)
        if (p == st) return p;
    return nullptr;
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

}  // namespace

qzPathLayerState* NewPathLayerState() {
    std::unique_ptr<qzPathLayerState> st(new (std::nothrow) qzPathLayerState());
    if (!st) return nullptr;
    gStates.push_back(st.get());
    return st.release();
}

void FreePathLayerState(qzPathLayerState* st) {
    if (!st) return;
    const auto found = std::find(gStates.begin(), gStates.end(), st);
    if (found != gStates.end()) gStates.erase(found);
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
    tags.transform.matrix[0] *= scaleX;
    tags.transform.matrix[1] *= scaleX;
    tags.transform.matrix[2] *= scaleY;
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
    SetLayerKindOps(QZ_LAYER_VECTORPATH, on ? &ops : nullptr);
}
