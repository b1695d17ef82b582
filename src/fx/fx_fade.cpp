#include "fx/fx_fade.h"

#include <cstdlib>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/layer.h"
#include "display/picture.h"
#include "gfx/bitmap.h"
#include "gfx/blit.h"
#include "gfx/channel_ops.h"
#include "gfx/color_bitmap.h"
#include "gfx/safe_blt.h"

namespace {

enum { kFade = 116 };

struct FadeBlendState {
    qzBitMap* a;           // display path: the old picture with the tinted one over it
    qzBitMap* b;           // display path: the tinted picture
    qzBitMap* layerAlpha;  // layer path: the picture's own transparency
    const qzBitMap* source;
    int32_t progress;
    int32_t scaledAlpha;  // layer path: the layer's alpha channel is the layer alpha scaled down
    int32_t coloured;     // layer path: the layer's bitmap holds the plain colour
};

const qzClipRegion* ShownClipRegion() {
    qzDisplay* display = CurrentDisplay();
    return display && display->bgpic ? static_cast<const qzClipRegion*>(display->bgpic->clipRegion) : nullptr;
}

bool LayerPath(const qzEffectContext* context) {
    return context->viaLayer && context->layer && context->layer->display->own.bitmap &&
           context->layer->display->own.alpha;
}

int32_t Level(int32_t progress) {
    if (progress > 510) return 0;
    if (progress <= 255) return progress;
    return 255 - (progress & 255);
}

uint32_t Colour(const qzEffectContext* context) { return uint32_t(context->parameter) & 0xFFFFFF; }

// The layer alpha from the picture's mask or alpha channel; without the colour flag the layer
// shows it as it is, with the flag the layer's bitmap becomes the plain colour.
int PrepareFadeBlendLayer(qzEffectContext* context, FadeBlendState* state, bool colour) {
    if (!state->layerAlpha) {
        state->layerAlpha = CreateAlphaBitMap(context->width, context->height, 1, nullptr, 0);
        if (!state->layerAlpha) return ERR_MEM;
    }
    InitEffectAlpha(context, nullptr, state->layerAlpha);
    qzLayerState* st = context->layer->display;
    if (colour) {
        FillBitMapRect(st->own.bitmap, 0, 0, context->width, context->height, Colour(context));
        state->coloured = 1;
    } else {
        BlitAlphaRect(state->layerAlpha, 0, 0, st->own.alpha, 0, 0, context->width, context->height, 0, 0);
        state->scaledAlpha = 0;
    }
    return 0;
}

int SetUpFadeBlend(qzEffectContext* context) {
    int error = AllocEffectState(context, sizeof(FadeBlendState));
    if (error) return error;
    FadeBlendState* state = static_cast<FadeBlendState*>(context->state);
    int32_t step = context->speed;
    if (step == QZ_EFFECT_FASTSPEED)
        step = 20;
    else if (step == QZ_EFFECT_SLOWSPEED)
        step = 5;
    else if (step < 1)
        step = 10;
    else if (step > 255)
        step = 255;
    context->speed = step;
    if (context->parameter == QZ_EFFECT_RANDOMPARAMETER) context->parameter = rand() % (1 << 24);
    state->progress = step;
    if (LayerPath(context)) {
        error = PrepareFadeBlendLayer(context, state, context->type == kFade && !context->hide);
        if (error) return error;
    } else {
        state->a = CreateBitMap(context->width, context->height, 0, nullptr);
        state->b = CreateBitMap(context->width, context->height, 0, nullptr);
        if (!state->a || !state->b) return ERR_BITMAP;
        state->source = context->type == kFade ? context->oldImage : context->image;
    }
    context->total = GetEffectStepCount(511 - step, step, 0);
    return 0;
}

void DrawLayerFrame(qzEffectContext* context, FadeBlendState* state, int32_t progress, int32_t level) {
    qzLayerState* st = context->layer->display;
    const int32_t w = context->width, h = context->height;
    const bool fadesAlpha =
        (context->type == kFade && !context->hide && progress < 256) || (context->hide && progress > 256);
    if (fadesAlpha) {
        // The plain colour fades: in when fade shows, out after the middle when hiding.
        if (!state->coloured) {
            FillBitMapRect(st->own.bitmap, 0, 0, w, h, Colour(context));
            state->coloured = 1;
        }
        ScaleAlphaChannel(state->layerAlpha, st->own.alpha, h, level);
        state->scaledAlpha = 1;
        context->opacity = level;
        return;
    }
    // The picture tinted, at the picture's own transparency.
    if (state->scaledAlpha) {
        BlitAlphaRect(state->layerAlpha, 0, 0, st->own.alpha, 0, 0, w, h, 0, 0);
        state->scaledAlpha = 0;
    }
    BlitBitMap(context->image, 0, 0, st->own.bitmap, 0, 0, w, h);
    state->coloured = 0;
    if (level > 0) BlendFillBitMapRect(st->own.bitmap, 0, 0, w, h, Colour(context), level);
    context->opacity = 255;
}

void DrawDisplayFrame(qzEffectContext* context, FadeBlendState* state, int32_t level) {
    const int32_t w = context->width, h = context->height;
    if (!state->a || !state->b || !state->source || !context->image) return;
    BlitBitMap(state->source, 0, 0, state->b, 0, 0, w, h);
    if (level > 0) BlendFillBitMapRect(state->b, 0, 0, w, h, Colour(context), level);
    if (context->oldImage)
        BlitBitMap(context->oldImage, 0, 0, state->a, 0, 0, w, h);
    else
        FillBitMapRect(state->a, 0, 0, w, h, 0);
    SafeBlt(context->vm, state->b, 0, 0, state->a, 0, 0, w, h, w, h, w, h, SAFEBLT_NOCLIP | SAFEBLT_NOSPRITES,
            context->imageMask, context->imageAlpha, nullptr);
    SafeBlt(context->vm, state->a, 0, 0, context->target, context->x, context->y, w, h, w, h, context->screenWidth,
            context->screenHeight, context->bltFlags, nullptr, nullptr, ShownClipRegion());
}

}  // namespace

int StepFadeBlend(qzEffectContext* context, int32_t* done) {
    if (context->phase == QZ_EFFECT_PHASE_SETUP) return SetUpFadeBlend(context);
    FadeBlendState* state = static_cast<FadeBlendState*>(context->state);
    if (!state) return 0;
    const int32_t step = context->speed;
    const bool layerPath = LayerPath(context);
    const bool fade = context->type == kFade;
    if (context->phase == QZ_EFFECT_PHASE_RENDER) {
        const int64_t at = int64_t(context->current) * step;
        state->progress = int32_t(at < 511 ? at : 511);
        if (layerPath) {
            const bool colour =
                (fade && state->progress < 256 && !context->hide) || (state->progress >= 257 && context->hide);
            const int error = PrepareFadeBlendLayer(context, state, colour);
            if (error) return error;
        }
    } else {
        if (context->current == 0) state->progress = step;
        ShowEffectLayer(context);
    }
    // The tinted picture: fade's old one up to the middle, else the new one.
    state->source = fade && state->progress <= 255 ? context->oldImage : context->image;
    int32_t progress = state->progress;
    if (progress > 510) {
        progress = 511;
        *done = 1;
    }
    const int32_t level = Level(progress);
    if (layerPath) {
        DrawLayerFrame(context, state, progress, level);
        if (context->phase == QZ_EFFECT_PHASE_NEXT && !(EffectLayerFlags(context) & EFFECTBLIT_NOPRESENT)) {
            qzLayerState* st = context->layer->display;
            PresentEffectRect(context, st->own.bitmap, 0, 0, context->x, context->y, context->width, context->height,
                              st->own.bitmap->width, st->own.bitmap->height, st->own.mask, st->own.alpha, 0);
        }
    } else {
        context->opacity = level;
        DrawDisplayFrame(context, state, level);
    }
    state->progress = progress + step;
    if (context->phase == QZ_EFFECT_PHASE_NEXT) EndEffectFrame(context);
    return 0;
}

void FreeFadeBlendState(qzEffectContext* context, int32_t) {
    FadeBlendState* state = static_cast<FadeBlendState*>(context->state);
    if (!state) return;
    DeleteBitMap(state->a);
    DeleteBitMap(state->b);
    DeleteAlphaBitMap(state->layerAlpha);
    state->a = state->b = state->layerAlpha = nullptr;
}
