// The layer an effect draws into: its current state gets bitmaps of the effect area while the
// effect runs, and gets back what it had afterwards.
#include "base/error_codes.h"
#include "display/layer.h"
#include "fx/effect_context.h"
#include "gfx/bitmap.h"
#include "gfx/blit.h"
#include "gfx/channel_ops.h"
#include "gfx/draw_modes.h"

namespace {

bool IsPartLayer(const qzLayer* layer) {
    return layer->type == QZ_LAYER_BRUSHPART || layer->type == QZ_LAYER_BGPICPART || layer->type == QZ_LAYER_VIDEO;
}

qzBitMap** StateSlot(qzLayerState* st, int index) {
    qzBitMapTrio* trios[3] = {&st->own, &st->resized, &st->cached};
    qzBitMapTrio* trio = trios[index / 3];
    qzBitMap** slots[3] = {&trio->bitmap, &trio->mask, &trio->alpha};
    return slots[index % 3];
}

}  // namespace

void InitEffectAlpha(const qzEffectContext* context, qzBitMap* bitmap, qzBitMap* alpha) {
    const int w = context->width, h = context->height;
    if (bitmap && context->image) BlitBitMap(context->image, 0, 0, bitmap, 0, 0, w, h);
    if (!alpha) return;
    if (context->imageMask) {
        FillAlphaRect(alpha, 0, 0, w, h, 0);
        MaskToAlpha(context->imageMask, 0, 0, alpha, 0, 0, w, h, 255);
    } else if (context->imageAlpha) {
        BlitAlphaRect(context->imageAlpha, 0, 0, alpha, 0, 0, w, h, 0, 0);
    } else {
        FillAlphaRect(alpha, 0, 0, w, h, 255);
    }
}

int PrepareEffectLayer(qzEffectContext* context) {
    qzLayer* layer = context->layer;
    if (!layer) return 0;
    const int w = context->width, h = context->height;
    const bool async = context->async != 0;
    const bool alphaKind = context->imageAlpha || EffectDrivesOpacity(context->type);
    qzBitMap* bitmap = CreateBitMap(w, h, 0, nullptr);
    if (!bitmap) return ERR_BITMAP;
    FillBitMapRect(bitmap, 0, 0, w, h, 0);
    qzBitMap *mask = nullptr, *alpha = nullptr, *recordMask = nullptr, *recordAlpha = nullptr;
    int error = 0;
    if (!alphaKind) {
        if (IsEffectLayerSafe(context->type)) {
            mask = CreateMaskBitMap(bitmap, w, h, 1, nullptr, 0);
            if (!mask) error = ERR_ALLOCMASK;
        }
        if (!error && async && context->imageMask) {
            recordMask = CreateMaskBitMap(nullptr, w, h, 1, nullptr, 0);
            if (!recordMask) error = ERR_ALLOCMASK;
        }
    } else {
        alpha = CreateAlphaBitMap(w, h, 1, nullptr, 0);
        if (!alpha) error = ERR_ALLOCALPHA;
        if (!error && async) {
            recordAlpha = CreateAlphaBitMap(w, h, 1, nullptr, 0);
            if (!recordAlpha) error = ERR_ALLOCALPHA;
        }
    }
    if (error) {
        DeleteBitMap(bitmap);
        DeleteMaskBitMap(mask);
        DeleteMaskBitMap(recordMask);
        DeleteAlphaBitMap(alpha);
        DeleteAlphaBitMap(recordAlpha);
        return error;
    }
    qzLayerState* st = layer->display;
    if (IsPartLayer(layer)) {
        context->savedPartX = st->partX;
        context->savedPartY = st->partY;
        qzLayerState* states[3];
        const int n = DistinctLayerStates(layer, states);
        for (int i = 0; i < n; i++) {
            states[i]->partX = 0;
            states[i]->partY = 0;
        }
    }
    for (int i = 0; i < 9; i++) {
        qzBitMap** slot = StateSlot(st, i);
        context->savedStateBitmaps[i] = *slot;
        *slot = nullptr;
    }
    st->own.bitmap = bitmap;
    st->own.mask = mask;
    st->own.alpha = alpha;
    context->preparedBitmap = bitmap;
    context->effectMask = recordMask;
    context->effectAlpha = recordAlpha;
    context->layerPrepared = 1;
    if (context->hide) {
        // A hidden object starts fully shown and is erased band by band.
        if (EffectDrivesOpacity(context->type))
            InitEffectAlpha(context, bitmap, alpha);
        else
            EffectBlit(context->image, 0, 0, bitmap, mask, alpha, 0, 0, w, h, w, h, w, h, context->imageMask,
                       context->imageAlpha, context, EFFECTBLIT_NOPRESENT);
    }
    return 0;
}

void RestoreEffectLayer(qzEffectContext* context) {
    qzLayer* layer = context->layer;
    if (!layer || !context->layerPrepared) return;
    qzLayerState* st = layer->display;
    // A filtered or resized copy made meanwhile was made from bitmaps that go now.
    FreeBitMapTrio(&st->resized);
    FreeBitMapTrio(&st->cached);
    if (st->own.bitmap == context->preparedBitmap) {
        FreeBitMapTrio(&st->own);
    } else {
        // New content replaced the effect's bitmaps: it is the layer's own from now on.
        const qzBitMapTrio fresh = st->own;
        for (int i = 0; i < 9; i++) {
            *StateSlot(st, i) = context->savedStateBitmaps[i];
            context->savedStateBitmaps[i] = nullptr;
        }
        FreeBitMapTrio(&st->own);
        FreeBitMapTrio(&st->resized);
        FreeBitMapTrio(&st->cached);
        st->own = fresh;
    }
    for (int i = 0; i < 9; i++) {
        if (context->savedStateBitmaps[i]) *StateSlot(st, i) = context->savedStateBitmaps[i];
        context->savedStateBitmaps[i] = nullptr;
    }
    if (IsPartLayer(layer)) {
        qzLayerState* states[3];
        const int n = DistinctLayerStates(layer, states);
        for (int i = 0; i < n; i++) {
            states[i]->partX = context->savedPartX;
            states[i]->partY = context->savedPartY;
        }
    }
    context->preparedBitmap = nullptr;
    context->layerPrepared = 0;
}
