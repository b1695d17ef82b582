// Seeking, the callbacks of the asynchronous draw object that runs an effect, and the end and
// release of an effect.
#include <cmath>
#include <cstdlib>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/layer.h"
#include "display/layer_list.h"
#include "display/layer_records.h"
#include "display/layer_refresh.h"
#include "display/picture.h"
#include "fx/effect_context.h"
#include "fx/effect_types.h"
#include "gfx/bitmap.h"
#include "gfx/blit.h"
#include "gfx/channel_ops.h"
#include "gfx/draw_modes.h"
#include "libs/graphics/graphics.h"
#include "libs/transitionfx/effect_driver.h"
#include "libs/transitionfx/effect_scroll.h"
#include "platform/os_alloc.h"

namespace {

qzBGPic* ShownPicture() {
    qzDisplay* display = CurrentDisplay();
    return display ? display->bgpic : nullptr;
}

void FreeOwnedPicture(qzEffectContext* c) {
    if (c->ownsImage) DeleteBitMap(c->image);
    if (c->ownsMask) DeleteMaskBitMap(c->imageMask);
    if (c->ownsAlpha) DeleteAlphaBitMap(c->imageAlpha);
    c->image = c->imageMask = c->imageAlpha = nullptr;
    c->ownsImage = c->ownsMask = c->ownsAlpha = 0;
}

// Puts a prepared layer back; deletes an inserted layer or restores the visibility of one whose
// effect was abandoned.
void RestorePreparedLayer(qzEffectContext* c) {
    if (!c->layerPrepared) return;
    RestoreEffectLayer(c);
    qzLayer* layer = c->layer;
    if (!layer) return;
    if (c->deleteInsertedLayer) {
        qzBGPic* pic = FindBGPicOfLayer(layer);
        if (pic) DeleteLayerRecord(c->vm, pic, layer, 0, nullptr, nullptr, 0);
        c->layer = nullptr;
        c->deleteInsertedLayer = 0;
        return;
    }
    if (c->restoreVisibility) {
        // Hidden while its area is drawn anew, then as it was before the effect.
        const qzLayerBox before = GetLayerBounds(c->vm, layer, layer->display);
        layer->hidden = 1;
        RefreshArea(c->vm, before.x, before.y, before.width, before.height);
        layer->hidden = c->mode == QZ_EFFECT_SHOWLAYER ? 1 : 0;
        const qzLayerBox bounds = GetLayerBounds(c->vm, layer, layer->display);
        RefreshArea(c->vm, bounds.x, bounds.y, bounds.width, bounds.height);
        c->restoreVisibility = 0;
    }
}

// Rebuilds the layer state from the record of what was revealed.
void RebuildLayerState(qzEffectContext* c) {
    qzLayerState* st = c->layer->display;
    if (c->imageMask && st->own.mask) {
        if (c->effectMask)
            BlitMaskPlane(c->effectMask, 0, 0, st->own.mask, 0, 0, c->width, c->height, MASKVANILLACOPY, nullptr, 0);
        BlitMaskPlane(c->imageMask, 0, 0, st->own.mask, 0, 0, c->width, c->height, MASKAND, nullptr, 0);
    } else if (c->imageAlpha && st->own.alpha) {
        if (c->effectAlpha) BlitAlphaRect(c->effectAlpha, 0, 0, st->own.alpha, 0, 0, c->width, c->height, 0, 0);
        BlitAlphaRect(c->imageAlpha, 0, 0, st->own.alpha, 0, 0, c->width, c->height, 7, 0);
    }
    if (st->own.bitmap && c->image) BlitBitMap(c->image, 0, 0, st->own.bitmap, 0, 0, c->width, c->height);
}

// Operations 0 and 1 on the effect's layer: the layer is replaced (0) or changed (1).
int RetargetLayer(qzEffectContext* c, int operation, qzLayer* layer) {
    if (!c->viaLayer) {
        // Only the scroll types follow the layer on the direct path.
        if (c->scrollType && operation == 0) {
            qzLayer* replacement = PreviousLayer(layer);
            if (replacement) {
                c->layer = replacement;
                RetargetScrollEffect(c, replacement);
            }
        }
        return 0;
    }
    FreeLayerCaches(layer);
    qzLayer* target = layer;
    if (operation == 0) {
        // The new layer for the same object was linked in just before the old one.
        qzLayer* replacement = PreviousLayer(layer);
        if (!replacement) return 0;
        target = replacement;
    }
    // The effect's bitmaps come off the layer, which gets back what it had (or keeps the new
    // content that replaced them).
    const bool replaced = c->layerPrepared && layer->display->own.bitmap != c->preparedBitmap;
    qzBitMapTrio effectBitmaps = {};
    if (c->layerPrepared && !replaced) {
        effectBitmaps = layer->display->own;
        layer->display->own = {};
        c->preparedBitmap = nullptr;
    }
    RestoreEffectLayer(c);
    c->layer = target;
    FreeOwnedPicture(c);
    int32_t width = 0, height = 0;
    int error = GetLayerEffectImage(c, target, &c->image, &c->imageMask, &c->imageAlpha, &width, &height, &c->ownsImage,
                                    &c->ownsMask, &c->ownsAlpha);
    if (error) {
        FreeBitMapTrio(&effectBitmaps);
        return error;
    }
    c->x = target->display->left;
    c->y = target->display->top;
    if (effectBitmaps.bitmap && width == c->width && height == c->height) {
        // The effect's bitmaps go to the layer that shows the object now, which sets its own aside.
        qzLayerState* st = target->display;
        qzBitMapTrio* trios[3] = {&st->own, &st->resized, &st->cached};
        for (int i = 0; i < 3; i++) {
            c->savedStateBitmaps[3 * i] = trios[i]->bitmap;
            c->savedStateBitmaps[3 * i + 1] = trios[i]->mask;
            c->savedStateBitmaps[3 * i + 2] = trios[i]->alpha;
            *trios[i] = {};
        }
        st->own = effectBitmaps;
        c->preparedBitmap = effectBitmaps.bitmap;
        c->layerPrepared = 1;
        if (c->current >= 1) return SeekEffect(c, c->current, 0);
        return 0;
    }
    // A new size: set up again and continue at the same fraction of the frames.
    c->rebuilding = 1;
    const double progress = c->total > 0 ? double(c->current) / c->total : 0.0;
    const int32_t drawn = c->current;
    FreeBitMapTrio(&effectBitmaps);
    DeleteMaskBitMap(c->effectMask);
    DeleteAlphaBitMap(c->effectAlpha);
    c->effectMask = nullptr;
    c->effectAlpha = nullptr;
    c->width = width;
    c->height = height;
    if (c->freeState) c->freeState(c, 0);
    free(c->state);
    c->state = nullptr;
    error = PrepareEffectLayer(c);
    if (!error && c->bgpicEmu) {
        DeleteBitMap(c->oldImage);
        c->oldImage = CreateBitMap(width, height, 0, nullptr);
        if (!c->oldImage) error = ERR_BITMAP;
        if (!error) {
            FillBitMapRect(c->oldImage, 0, 0, width, height, 0);
            RefreshEmuBuffers(c, 3);
        }
    }
    if (!error) {
        c->phase = QZ_EFFECT_PHASE_SETUP;
        c->current = 0;
        c->total = 0;
        c->speed = c->givenSpeed;
        error = c->step(c, nullptr);
        c->phase = QZ_EFFECT_PHASE_NEXT;
    }
    if (!error && drawn > 0) {
        int32_t step = static_cast<int32_t>(std::lround(progress * c->total));
        if (step < 1) step = 1;
        if (step > c->total) step = c->total;
        error = SeekEffect(c, step, 1);
    }
    c->rebuilding = 0;
    return error;
}

}  // namespace

int SeekEffect(qzEffectContext* c, int32_t step, int force) {
    int32_t scratch = 0;
    if (IsEffectFrameRendered(c->type)) {
        c->current = step;
        c->phase = QZ_EFFECT_PHASE_RENDER;
        const int error = c->step(c, &scratch);
        c->phase = QZ_EFFECT_PHASE_NEXT;
        // A frame on the way counts as shown, as after the frames that lead to it.
        if (!error && step > 0) ShowEffectLayer(c);
        return error;
    }
    if (!c->layer || !c->layer->display->own.bitmap) return 0;
    if (step == c->current && !force) {
        RebuildLayerState(c);
        return 0;
    }
    qzLayerState* st = c->layer->display;
    uint32_t flags = EFFECTBLIT_ERASE | EFFECTBLIT_NOPRESENT;
    if (c->hide) flags |= EFFECTBLIT_ERASESET;
    EffectBlit(c->image, 0, 0, st->own.bitmap, st->own.mask, st->own.alpha, 0, 0, c->width, c->height, c->width,
               c->height, c->width, c->height, nullptr, nullptr, c, flags);
    c->replaying = 1;
    c->current = 0;
    int error = 0;
    for (int32_t i = 0; i < step && !error; i++) {
        scratch = 0;
        error = c->step(c, &scratch);
    }
    c->current = step;
    c->replaying = 0;
    return error;
}

int EffectAsyncDraw(qzEffectContext* c, int32_t* done) {
    qzBGPic* emu = static_cast<qzBGPic*>(c->emuBGPic);
    if (c->bgpicEmu && IsEffectLayerSafe(c->type) && !c->scrollType && emu && emu->modified) {
        RefreshEmuBuffers(c, 2);
        const int error = SeekEffect(c, c->current, 0);
        if (error) return error;
        if (c->layer) UpdateLayerOnDisplay(c->vm, c->layer, 0);
    } else if (c->viaLayer && c->layer) {
        c->x = c->layer->display->left;
        c->y = c->layer->display->top;
    }
    return c->step(c, done);
}

int EffectAsyncOperation(int operation, intptr_t data, void* userData) {
    qzEffectContext* c = static_cast<qzEffectContext*>(userData);
    switch (operation) {
    case 0:
    case 1:
        if (c->layer && reinterpret_cast<qzLayer*>(data) == c->layer) return RetargetLayer(c, operation, c->layer);
        return 0;
    case ADEVENT_FRAMECOUNT: *reinterpret_cast<int32_t*>(data) = c->total; return 0;
    case ADEVENT_CURFRAME: *reinterpret_cast<int32_t*>(data) = c->current; return 0;
    case ADEVENT_SKIPTO: return SeekEffect(c, static_cast<int32_t>(data), 0);
    case ADEVENT_UPDATE: return 0;
    case ADEVENT_LAYER: *reinterpret_cast<void**>(data) = c->layer; return 0;
    case ADEVENT_LAYERFRAME: c->replaying = static_cast<int32_t>(data); return 0;
    default: return 0;
    }
}

void FinishEffect(qzEffectContext* c, int32_t flag) {
    RestorePreparedLayer(c);
    if (c->useCount) {
        (*c->useCount)--;
        c->useCount = nullptr;
    }
    qzLayer* layer = c->layer;
    if (layer && (c->mode == QZ_EFFECT_HIDELAYER || c->mode == QZ_EFFECT_REMOVELAYER)) {
        layer->hidden = 1;
        if (layer->display != layer->transformed) {
            layer->effectFade[0] = layer->effectFade[1] = 0;
            if (flag) UpdateLayerOnDisplay(c->vm, layer, 0);
        }
        if (c->mode == QZ_EFFECT_REMOVELAYER) {
            qzBGPic* pic = FindBGPicOfLayer(layer);
            if (pic) DeleteLayerRecord(c->vm, pic, layer, 1, nullptr, nullptr, 0);
            c->layer = nullptr;
        }
    }
    c->finished = 1;
}

void FreeEffectContext(qzEffectContext* c, int32_t flag) {
    if (!c) return;
    if (c->useCount) {
        (*c->useCount)--;
        c->useCount = nullptr;
    }
    RestorePreparedLayer(c);
    if (c->freeState) c->freeState(c, flag);
    free(c->state);
    c->state = nullptr;
    FreeOwnedPicture(c);
    DeleteBitMap(c->oldImage);
    DeleteBitMap(c->oldScreen);
    DeleteMaskBitMap(c->effectMask);
    DeleteAlphaBitMap(c->effectAlpha);
    qzLayer* layer = c->layer;
    if (layer) {
        if (c->hide) {
            if (layer->border.border || layer->shadow.shadow)
                FreeLayerStateAlpha(layer);
            else if (layer->transformed != layer->base)
                FreeLayerCaches(layer);
        }
        layer->effectFade[0] = layer->effectFade[1] = 0;
        if (!flag) {
            if (c->mode == QZ_EFFECT_SHOWLAYER && !c->finished) layer->hidden = 1;
            const qzLayerBox bounds = GetLayerBounds(c->vm, layer, layer->display);
            if (CurrentDisplay() && ShownPicture() == FindBGPicOfLayer(layer))
                RefreshArea(c->vm, bounds.x, bounds.y, bounds.width, bounds.height);
        }
    }
    OsFree(c);
}
