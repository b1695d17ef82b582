#include "fx/fx_dissolve.h"

#include <cstdlib>

#include "base/error_codes.h"
#include "display/layer.h"
#include "fx/effect_picture.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_lock.h"
#include "gfx/blit.h"
#include "gfx/channel_ops.h"
#include "gfx/draw_modes.h"
#include "gfx/line_displace.h"

namespace {

struct DissolveState {
    qzBitMap* work;       // the frame composed over the old picture (display path)
    qzBitMap* threshold;  // the pixels shown so far (display path)
    int32_t level;        // pixels whose threshold lies below are shown
    int32_t reverse;      // hiding a layer: the pixels below the level are cleared
    uint8_t* map;         // width x height thresholds 0..254
};

// Levels per frame: the speed constants give 4, 8 and 2; other values are kept within 1 to 8.
int32_t DissolveStepSize(int32_t speed) {
    switch (speed) {
    case QZ_EFFECT_NORMALSPEED: return 4;
    case QZ_EFFECT_FASTSPEED: return 8;
    case QZ_EFFECT_SLOWSPEED: return 2;
    default: return speed < 1 ? 1 : speed > 8 ? 8 : speed;
    }
}

bool InLayer(const qzEffectContext* context) { return context->viaLayer && context->layer; }

int SetUpDissolve(qzEffectContext* context) {
    int error = AllocEffectState(context, sizeof(DissolveState));
    if (error) return error;
    DissolveState* state = static_cast<DissolveState*>(context->state);
    const int32_t w = context->width, h = context->height;
    context->speed = DissolveStepSize(context->speed);
    if (InLayer(context)) {
        BlitBitMap(context->image, 0, 0, context->layer->display->own.bitmap, 0, 0, w, h);
    } else {
        state->work = CreateBitMap(w, h, 0, nullptr);
        if (!state->work) return ERR_BITMAP;
        state->threshold = CreateMaskBitMap(context->image, w, h, 1, nullptr, 0);
        if (!state->threshold) return ERR_ALLOCMASK;
    }
    state->map = static_cast<uint8_t*>(malloc(size_t(w > 0 ? w : 0) * size_t(h > 0 ? h : 0) + 1));
    if (!state->map) return ERR_MEM;
    for (int64_t i = 0; i < int64_t(w) * h; i++) state->map[i] = static_cast<uint8_t>(rand() % 255);
    state->reverse = InLayer(context) && context->hide ? 1 : 0;
    context->total = GetEffectStepCount(256, context->speed, 1);
    return 0;
}

// The layer's mask or alpha channel (or the display path's threshold mask) for the level.
void ApplyThreshold(qzEffectContext* context, DissolveState* state) {
    qzThresholdJob job = {};
    job.width = context->width;
    job.height = context->height;
    job.map = state->map;
    job.reverse = state->reverse;
    const qzBitMap* source = context->imageMask;
    qzBitMap* destination = state->threshold;
    if (InLayer(context)) {
        const qzLayerState* st = context->layer->display;
        if (context->imageAlpha && st->own.alpha) {
            source = context->imageAlpha;
            destination = st->own.alpha;
            job.alphaKind = 1;
        } else {
            destination = st->own.mask;
        }
    }
    BitMapLock from(source, LOCKF_READONLY);
    BitMapLock to(destination, 0);
    if (!to.ok || (source && !from.ok)) return;
    if (source) {
        job.source = static_cast<const uint8_t*>(from.info.pixels);
        job.sourceBytesPerRow = from.info.rowLength;
    }
    job.destination = static_cast<uint8_t*>(to.info.pixels);
    job.destBytesPerRow = to.info.rowLength;
    ThresholdMapToPlane(&job, state->level);
}

// The layer's mask or alpha channel as the complete effect leaves it.
void FinishLayer(qzEffectContext* context) {
    qzLayerState* st = context->layer->display;
    const int32_t w = context->width, h = context->height;
    if (context->hide) {
        EffectBlit(context->image, 0, 0, st->own.bitmap, st->own.mask, st->own.alpha, 0, 0, w, h, w, h, w, h, nullptr,
                   nullptr, context, EFFECTBLIT_ERASE | EFFECTBLIT_NOPRESENT);
    } else if (context->imageAlpha && st->own.alpha) {
        BlitAlphaRectClipped(context->imageAlpha, 0, 0, st->own.alpha, 0, 0, w, h, 0, 0);
    } else if (context->imageMask) {
        BlitMaskPlane(context->imageMask, 0, 0, st->own.mask, 0, 0, w, h, MASKVANILLACOPY, nullptr, 0);
    } else if (st->own.mask) {
        FillMaskRect(st->own.mask, 0, 0, w, h, MASKVISIBLE);
    } else if (st->own.alpha) {
        FillAlphaRect(st->own.alpha, 0, 0, w, h, 255);
    }
}

// The picture of the state's level; 1 when it is the complete one.
int DrawDissolve(qzEffectContext* context, DissolveState* state, int present) {
    const int last = state->level > 255;
    const int32_t w = context->width, h = context->height;
    if (InLayer(context)) {
        if (last)
            FinishLayer(context);
        else
            ApplyThreshold(context, state);
        qzLayerState* st = context->layer->display;
        if (present && !(EffectLayerFlags(context) & EFFECTBLIT_NOPRESENT))
            PresentEffectRect(context, st->own.bitmap, 0, 0, context->x, context->y, w, h, w, h, st->own.mask,
                              st->own.alpha, 0);
        return last;
    }
    const qzBitMap* mask = context->imageMask;
    const qzBitMap* alpha = context->imageAlpha;
    if (!last) {
        ApplyThreshold(context, state);
        mask = state->threshold;
        alpha = nullptr;
    }
    DrawEffectPicturePart(context->image, 0, 0, context->target, context->x, context->y, w, h, w, h,
                          context->screenWidth, context->screenHeight, context->bltFlags, 0, context->oldImage, mask,
                          state->work, alpha, context);
    return last;
}

}  // namespace

int StepDissolve(qzEffectContext* context, int32_t* done) {
    if (context->phase == QZ_EFFECT_PHASE_SETUP) return SetUpDissolve(context);
    DissolveState* state = static_cast<DissolveState*>(context->state);
    if (!state) return 0;
    if (context->phase == QZ_EFFECT_PHASE_RENDER) {
        state->level = context->current * context->speed;
        if (InLayer(context))
            BlitBitMap(context->image, 0, 0, context->layer->display->own.bitmap, 0, 0, context->width,
                       context->height);
        DrawDissolve(context, state, 0);
        return 0;
    }
    if (context->current == 0) state->level = 0;
    ShowEffectLayer(context);
    state->level += context->speed;
    if (DrawDissolve(context, state, 1)) *done = 1;
    EndEffectFrame(context);
    return 0;
}

void FreeDissolveState(qzEffectContext* context, int32_t) {
    DissolveState* state = static_cast<DissolveState*>(context->state);
    if (!state) return;
    free(state->map);
    DeleteMaskBitMap(state->threshold);
    DeleteBitMap(state->work);
    *state = {};
}
