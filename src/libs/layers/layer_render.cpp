#include "libs/layers/layer_render.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/draw_tags.h"
#include "display/layer.h"
#include "display/layer_hooks.h"
#include "display/layer_kinds.h"
#include "display/layer_list.h"
#include "display/layer_records.h"
#include "display/layer_refresh.h"
#include "display/layer_source.h"
#include "display/layer_transform.h"
#include "display/picture.h"
#include "gfx/bitmap.h"
#include "gfx/copy_bitmap.h"
#include "image/brush.h"
#include "image/image_display.h"
#include "libs/graphics/graphics.h"
#include "platform/os_console.h"

namespace {

// The transformed state goes: the layer is drawn from its base state again.
void DropTransformedState(qzLayer* layer) {
    qzLayerState* old = layer->transformed;
    if (old == layer->base) return;
    layer->transformed = layer->base;
    if (layer->display == old) layer->display = layer->base;
    FreeLayerState(layer->type, old);
}

// The clip region of a new state rendered under transform (the display's scale included for a
// display state): none when the base has none; the base's own with "nocliptransform"; else the
// base's region turned and scaled with the layer about the layer's anchor point, so that it stays
// where it was on the content. A display state without a transform of its own takes the
// transformed state's region scaled by the display's factors. 0 or ERR_MEM.
int GiveTransformedClipRegion(const qzLayer* layer, qzLayerState* st, const qzTransformTags& transform,
                              bool forDisplay) {
    const qzLayerState* base = layer->base;
    const qzClipRegion* clip = base->clipRegion;
    if (!clip || layer->noClipTransform) {
        SetLayerStateClipRegion(st, const_cast<qzClipRegion*>(clip), 0);
        return 0;
    }
    qzClipRegion* made = nullptr;
    if (forDisplay) {
        const qzClipRegion* from = layer->transformed->clipRegion ? layer->transformed->clipRegion : clip;
        made = TransformClipRegion(from, 0, 0, transform.matrix, 0, 1);
    } else {
        // The anchor point as fractions of the region, so that the region turns about it.
        const double pivotX = clip->width ? double(base->x - clip->x) / clip->width : 0;
        const double pivotY = clip->height ? double(base->y - clip->y) / clip->height : 0;
        made = TransformClipRegion(clip, pivotX, pivotY, transform.matrix, 0, 0);
        if (made && !made->mask && transform.matrix[1] == 0 && transform.matrix[2] == 0) {
            // A plain scale of a rectangle keeps the anchor point in place too (the copy is
            // scaled about the origin); the part left of or above the picture is cut off.
            int32_t x = base->x + int32_t(std::floor((clip->x - base->x) * transform.matrix[0]));
            int32_t y = base->y + int32_t(std::floor((clip->y - base->y) * transform.matrix[3]));
            made->width = std::max(0, made->width + std::min(x, 0));
            made->height = std::max(0, made->height + std::min(y, 0));
            made->x = std::max(x, 0);
            made->y = std::max(y, 0);
        }
    }
    if (!made) return ERR_MEM;
    SetLayerStateClipRegion(st, made, 1);
    return 0;
}

bool IsDrawnFromParameters(int32_t type) {
    return IsTextLayerType(type) || IsShapeLayerType(type) || type == QZ_LAYER_VECTORPATH;
}

// A brush of the layer's untransformed content, under a handle of its own.
int BrushOfLayerContent(VmState* state, qzLayer* layer, qzBrush** out) {
    qzLayerSource source;
    int error = GetLayerSourceBitmaps(state, layer, layer->base, 0, 0, -1, &source);
    if (error) return error;
    if (!source.trio.bitmap) return ERR_WRONGUSAGE;
    qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    error = CopyBitMap(source.trio.bitmap, source.trio.mask, source.trio.alpha, 0, 0, source.width, source.height, 0,
                       &bitmap, source.trio.mask ? &mask : nullptr, source.trio.alpha ? &alpha : nullptr);
    if (error) return error;
    error = AddBrush({0, QZ_AUTO_ID}, QZ_IMAGETYPE_RASTER, source.width, source.height, source.width, 0, nullptr,
                     bitmap, QZ_NOTRANSPARENCY, mask, alpha, nullptr, out);
    if (error) {
        DeleteBitMap(bitmap);
        DeleteMaskBitMap(mask);
        DeleteAlphaBitMap(alpha);
    }
    return error;
}

// The transformed and display states of a layer that has only its base state, as the layer's
// transform and the old display state ask.
int RenderDerivedStates(VmState* state, qzLayer* layer, bool displayScaled) {
    int error = 0;
    if (!IsIdentityMatrix(layer->transform.matrix)) error = RenderLayerObject(state, layer, QZ_RENDER_TRANSFORM);
    if (!error && displayScaled) error = RenderLayerObject(state, layer, QZ_RENDER_DISPLAYSCALE | QZ_RENDER_TRANSFORM);
    return error;
}

void FreeStates(qzLayer* layer, int32_t type) {
    qzLayerState* states[3];
    const int count = DistinctLayerStates(layer, states);
    for (int i = 0; i < count; i++) FreeLayerState(type, states[i]);
    layer->base = layer->transformed = layer->display = nullptr;
}

}  // namespace

qzLayerState* NewLayerStateFromBase(const qzLayer* layer) {
    const qzLayerKindOps& ops = LayerKindOps(layer->type);
    qzLayerState* st =
        ops.copyState ? ops.copyState(layer, layer->base) : new (std::nothrow) qzLayerState(*layer->base);
    if (!st) return nullptr;
    st->own = st->resized = st->cached = st->border = {};
    st->shadowAlpha = nullptr;
    st->clipRegion = nullptr;
    st->ownsClipRegion = 0;
    st->borderGrowX = st->borderGrowY = 0;
    return st;
}

int RasterizeLayer(VmState* state, qzLayer* layer) {
    if (!IsDrawnFromParameters(layer->type)) return 0;
    if (LayerUsedByAsyncDraw(layer)) return ERR_RENDERADLAYER;
    qzBrush* brush = nullptr;
    int error = BrushOfLayerContent(state, layer, &brush);
    if (error) return error;
    const qzObjectId brushId = brush->header.id;
    // The new base state: the old one's place, the brush's size, no bitmaps of its own.
    const qzLayerState* oldBase = layer->base;
    qzLayerState* base = NewLayerState();
    if (!base) {
        DeleteBrush(state, brushId, 0);
        return ERR_MEM;
    }
    base->clipRegion = oldBase->clipRegion;
    base->x = oldBase->x;
    base->y = oldBase->y;
    base->left = oldBase->left;
    base->top = oldBase->top;
    base->untransformedLeft = oldBase->untransformedLeft;
    base->untransformedTop = oldBase->untransformedTop;
    base->sourceWidth = base->width = brush->width;
    base->sourceHeight = base->height = brush->height;
    // The layer shows the brush; its old states wait until the new ones are rendered.
    qzLayer old = *layer;
    const bool displayScaled = old.display != old.transformed;
    layer->type = QZ_LAYER_BRUSH;
    layer->id = layer->sourceId = brushId;
    layer->base = layer->transformed = layer->display = base;
    error = RenderDerivedStates(state, layer, displayScaled);
    if (error) {
        FreeStates(layer, QZ_LAYER_BRUSH);
        layer->type = old.type;
        layer->id = old.id;
        layer->sourceId = old.sourceId;
        layer->base = old.base;
        layer->transformed = old.transformed;
        layer->display = old.display;
        DeleteBrush(state, brushId, 0);
        return error;
    }
    FreeStates(&old, old.type);
    // The brush lives as long as the layer; an object the script freed while the layer showed it goes.
    DeleteBrush(state, brushId, 0);
    if (const uint32_t purge = LayerPurgeBit(old.type)) PurgePendingObjects(state, purge);
    if (qzBGPic* pic = FindBGPicOfLayer(layer)) pic->layersChanged = 1;
    // A border is now drawn around the pixels rather than along the outline.
    if (layer->border.border && !layer->hidden) UpdateLayerOnDisplay(state, layer, 0);
    return 0;
}

int RenderLayerContent(VmState* state, qzLayer* layer, qzLayerState* st, const qzTransformTags* transform) {
    if (transform == &layer->transform) {
        PrintConsole("ERROR! LT MUST BE INDEPENDENT OF THE LAYER!\n");
        return 0;
    }
    const qzLayerKindOps& ops = LayerKindOps(layer->type);
    if (ops.renderContent) return ops.renderContent(state, layer, st, transform);
    // The shown object's bitmaps are transformed.
    return RenderImageLayerContent(state, layer, st, transform);
}

int RenderLayerObject(VmState* state, qzLayer* layer, int mode) {
    const bool forDisplay = mode & QZ_RENDER_DISPLAYSCALE;
    qzDisplay* display = CurrentDisplay();
    if (forDisplay && !display) return 0;
    // 1. A copy of the transform; text is rendered turned and scaled by its engine.
    qzTransformTags transform = layer->transform;
    if (IsTextLayerType(layer->type)) DecomposeLayerMatrix(&transform);
    // A whole turn (or no transform at all) needs no transformed state.
    if (!forDisplay && IsIdentityMatrix(transform.matrix)) {
        DropTransformedState(layer);
        return 0;
    }
    // 2. The display's scale.
    double scaleX = 1, scaleY = 1;
    if (forDisplay) {
        scaleX = display->scaleX;
        scaleY = display->scaleY;
        // The display's scale applies after the layer's matrix: the x factor scales the entries
        // that make x (x' = m0 x + m2 y), the y factor those that make y.
        transform.matrix[0] *= scaleX;
        transform.matrix[2] *= scaleX;
        transform.matrix[1] *= scaleY;
        transform.matrix[3] *= scaleY;
        transform.decompscalex *= scaleX;
        transform.decompscaley *= scaleY;
        transform.smoothscale = display->smoothScale;
        if (transform.notrotscale == 0 && std::fabs(scaleX - scaleY) > 0.01) transform.notrotscale = 1;
    }
    // A type with a state record of its own that neither copies it nor renders into a plain one
    // keeps drawing its base state.
    const qzLayerKindOps& ops = LayerKindOps(layer->type);
    if (ops.freeState && !ops.copyState && !ops.renderContent) return 0;
    // 3. The new record; the shown part is cut out by the render, so its offset is 0. It is freed
    // also when rendering the content runs out of memory and unwinds through here.
    ScratchState owned(NewLayerStateFromBase(layer), StateOwner{layer->type});
    if (!owned) return ERR_MEM;
    qzLayerState* st = owned.get();
    // 4. The content.
    int error = RenderLayerContent(state, layer, st, &transform);
    if (error) return error;
    if (LayerShowsPart(layer->type)) st->partX = st->partY = 0;
    error = GiveTransformedClipRegion(layer, st, transform, forDisplay);
    if (error) return error;
    // 5, 6. Position and place among the states: the layer owns the new one from here on.
    owned.release();
    if (!forDisplay) {
        st->left = st->x - int32_t(std::trunc(layer->anchorx * st->width));
        st->top = st->y - int32_t(std::trunc(layer->anchory * st->height));
        qzLayerState* old = layer->transformed;
        layer->transformed = st;
        if (layer->display == old) layer->display = st;
        if (old != layer->base) FreeLayerState(layer->type, old);
    } else {
        const qzLayerState* from = layer->transformed;
        st->x = int32_t(from->x * scaleX);
        st->y = int32_t(from->y * scaleY);
        st->left = int32_t(from->left * scaleX);
        st->top = int32_t(from->top * scaleY);
        qzLayerState* old = layer->display;
        layer->display = st;
        if (old != layer->base && old != layer->transformed) FreeLayerState(layer->type, old);
    }
    return 0;
}

int RenderLayerStates(VmState* state, qzLayer* layer) {
    int error = RenderLayerObject(state, layer, QZ_RENDER_TRANSFORM);
    // The new transformed state became the display state too unless the display scales the layer.
    if (!error && layer->display != layer->transformed)
        error = RenderLayerObject(state, layer, QZ_RENDER_DISPLAYSCALE | QZ_RENDER_TRANSFORM);
    return error;
}

int RescaleAllLayersOfPicture(VmState* state, qzBGPic* pic) {
    qzDisplay* shower = nullptr;
    for (qzDisplay* d = FirstDisplay(); d && !shower; d = NextDisplay(d))
        if (d->bgpic == pic) shower = d;
    if (!shower) return 0;
    // The current display and picture come back on every way out, also when rendering runs out of
    // memory and unwinds through here.
    struct Previous {
        qzDisplay* display = CurrentDisplay();
        qzBGPic* pic = CurrentBGPic();
        ~Previous() {
            SetCurrentDisplay(display);
            SetCurrentBGPic(pic);
        }
    } previous;
    SetCurrentDisplay(shower);
    SetCurrentBGPic(pic);
    int error = 0;
    for (qzLayer* layer = FirstLayer(pic); layer && !error; layer = NextLayer(layer)) {
        if (layer->type == QZ_LAYER_NOOBJECT) continue;
        error = RenderLayerObject(state, layer, QZ_RENDER_DISPLAYSCALE | QZ_RENDER_TRANSFORM);
    }
    return error;
}

void ResetLayerDisplayStatesOfPicture(VmState* state, qzBGPic* pic) {
    const qzLayerSystemHooks& hooks = LayerSystemHooks();
    for (qzLayer* layer = FirstLayer(pic); layer; layer = NextLayer(layer)) {
        // An asynchronous draw object drawing into the layer keeps its bitmap: it is told instead.
        if (LayerUsedByAsyncDraw(layer)) {
            if (hooks.broadcastAsyncDraw) hooks.broadcastAsyncDraw(1, layer);
            continue;
        }
        qzLayerState* old = layer->display;
        if (old == layer->transformed || old == layer->base) continue;
        layer->display = layer->transformed;
        FreeLayerState(layer->type, old);
    }
    (void)state;
}
