#include "fx/fx_crossfade.h"

#include "base/error_codes.h"
#include "display/display.h"
#include "display/layer.h"
#include "display/picture.h"
#include "gfx/bitmap.h"
#include "gfx/blit.h"
#include "gfx/channel_ops.h"
#include "gfx/opacity_blit.h"
#include "gfx/safe_blt.h"

namespace {

struct CrossfadeState {
    int32_t opacity;
    qzBitMap* work;        // display path: the frame composed before it is drawn
    qzBitMap* layerAlpha;  // layer path: the picture's own transparency
};

const qzClipRegion* ShownClipRegion() {
    qzDisplay* display = CurrentDisplay();
    return display && display->bgpic ? static_cast<const qzClipRegion*>(display->bgpic->clipRegion) : nullptr;
}

bool LayerPath(const qzEffectContext* context) {
    return context->viaLayer && context->layer && context->layer->display->own.bitmap &&
           context->layer->display->own.alpha;
}

// The layer's bitmap gets the picture, the layer alpha the picture's mask or alpha channel.
int PrepareCrossfadeLayer(qzEffectContext* context, CrossfadeState* state) {
    if (!state->layerAlpha) {
        state->layerAlpha = CreateAlphaBitMap(context->width, context->height, 1, nullptr, 0);
        if (!state->layerAlpha) return ERR_MEM;
    }
    InitEffectAlpha(context, context->layer->display->own.bitmap, state->layerAlpha);
    return 0;
}

int SetUpCrossfade(qzEffectContext* context) {
    int error = AllocEffectState(context, sizeof(CrossfadeState));
    if (error) return error;
    CrossfadeState* state = static_cast<CrossfadeState*>(context->state);
    int32_t step = context->speed;
    if (step == QZ_EFFECT_FASTSPEED)
        step = 20;
    else if (step == QZ_EFFECT_SLOWSPEED)
        step = 5;
    else if (step < 1)
        step = 10;
    else if (step > 120)
        step = 120;
    context->speed = step;
    if (LayerPath(context)) {
        error = PrepareCrossfadeLayer(context, state);
    } else {
        state->work = CreateBitMap(context->width, context->height, 0, nullptr);
        if (!state->work) error = ERR_BITMAP;
    }
    if (error) return error;
    context->total = GetEffectStepCount(255, step, 1);
    return 0;
}

}  // namespace

int StepCrossfade(qzEffectContext* context, int32_t* done) {
    if (context->phase == QZ_EFFECT_PHASE_SETUP) return SetUpCrossfade(context);
    CrossfadeState* state = static_cast<CrossfadeState*>(context->state);
    if (!state) return 0;
    const bool layerPath = LayerPath(context);
    if (context->phase == QZ_EFFECT_PHASE_RENDER) {
        const int64_t o = int64_t(context->current) * context->speed;
        state->opacity = int32_t(o < 255 ? o : 255);
        if (layerPath) {
            const int error = PrepareCrossfadeLayer(context, state);
            if (error) return error;
        }
    } else {
        if (context->current == 0) state->opacity = 0;
        ShowEffectLayer(context);
        state->opacity += context->speed;
    }
    if (state->opacity > 254) {
        state->opacity = 255;
        *done = 1;
    }
    const int32_t o = state->opacity;
    const int32_t level = context->hide ? 255 - o : o;
    context->opacity = level;
    const int32_t w = context->width, h = context->height;
    if (layerPath) {
        qzLayerState* st = context->layer->display;
        ScaleAlphaChannel(state->layerAlpha, st->own.alpha, h, level);
        if (context->phase == QZ_EFFECT_PHASE_NEXT) {
            // The layer's pixels are as they were: only its transparency changed.
            if (!(EffectLayerFlags(context) & EFFECTBLIT_NOPRESENT))
                PresentEffectRect(context, st->own.bitmap, 0, 0, context->x, context->y, w, h, st->own.bitmap->width,
                                  st->own.bitmap->height, st->own.mask, st->own.alpha, 0);
            EndEffectFrame(context);
        }
        return 0;
    }
    if (!state->work || !context->image) return 0;
    BlitBitMap(context->image, 0, 0, state->work, 0, 0, w, h);
    if (o < 255 && context->oldImage) {
        const int error =
            BlitBitMapWithOpacity(state->work, context->oldImage, nullptr, 0, 0, 0, 0, w, h, 255 - o, nullptr, 0, 0);
        if (error) return error;
    }
    SafeBlt(context->vm, state->work, 0, 0, context->target, context->x, context->y, w, h, w, h, context->screenWidth,
            context->screenHeight, context->bltFlags, nullptr, nullptr, ShownClipRegion());
    if (context->phase == QZ_EFFECT_PHASE_NEXT) EndEffectFrame(context);
    return 0;
}

void FreeCrossfadeState(qzEffectContext* context, int32_t) {
    CrossfadeState* state = static_cast<CrossfadeState*>(context->state);
    if (!state) return;
    DeleteBitMap(state->work);
    DeleteAlphaBitMap(state->layerAlpha);
    state->work = nullptr;
    state->layerAlpha = nullptr;
}
