#include "fx/fx_strangepush.h"

#include "base/error_codes.h"
#include "display/display.h"
#include "display/layer.h"
#include "display/picture.h"
#include "gfx/bitmap.h"
#include "gfx/blit.h"
#include "gfx/channel_ops.h"
#include "gfx/draw_modes.h"
#include "gfx/safe_blt.h"

namespace {

struct InterlacedPushState {
    int32_t travelled;  // how far the halves have come
    qzBitMap* work;     // drawing straight onto the screen: the frame is put together here
    qzBitMap* mask[2];  // the pictures without an alpha channel: comb k hides rows k, k + 2, ...
    qzBitMap* alpha[2];
};

void DeleteCombs(InterlacedPushState* state) {
    for (int k = 0; k < 2; k++) {
        DeleteMaskBitMap(state->mask[k]);
        DeleteAlphaBitMap(state->alpha[k]);
        state->mask[k] = nullptr;
        state->alpha[k] = nullptr;
    }
}

// Comb k: the picture's alpha channel, or its mask (all set without one), with the rows k,
// k + 2, ... made invisible. So comb 0 shows the odd rows and comb 1 the even rows.
int BuildCombs(const qzEffectContext* context, InterlacedPushState* state) {
    const int32_t w = context->width, h = context->height;
    DeleteCombs(state);
    for (int k = 0; k < 2; k++) {
        if (context->imageAlpha) {
            state->alpha[k] = CreateAlphaBitMap(w, h, 1, nullptr, 0);
            if (!state->alpha[k]) return ERR_ALLOCALPHA;
            BlitAlphaRect(context->imageAlpha, 0, 0, state->alpha[k], 0, 0, w, h, 0, 0);
            for (int32_t y = k; y < h; y += 2) FillAlphaRect(state->alpha[k], 0, y, w, 1, 0);
        } else {
            state->mask[k] = CreateMaskBitMap(nullptr, w, h, 1, nullptr, 0);
            if (!state->mask[k]) return ERR_ALLOCMASK;
            if (context->imageMask)
                BlitMaskPlane(context->imageMask, 0, 0, state->mask[k], 0, 0, w, h, MASKVANILLACOPY, nullptr, 0);
            else
                FillMaskRect(state->mask[k], 0, 0, w, h, MASKVISIBLE);
            for (int32_t y = k; y < h; y += 2) FillMaskRect(state->mask[k], 0, y, w, 1, MASKINVISIBLE);
        }
    }
    return 0;
}

// The w x h rectangle at (sx, sy) of the picture through comb k at (dx, dy) of the frame.
void DrawThroughComb(qzEffectContext* context, InterlacedPushState* state, int k, int sx, int sy, int dx, int dy, int w,
                     int h, uint32_t layerFlags) {
    if (w < 1 || h < 1) return;
    const qzBitMap* mask = state->mask[k];
    const qzBitMap* alpha = state->alpha[k];
    if (context->viaLayer && context->layer) {
        qzLayerState* st = context->layer->display;
        EffectBlit(context->image, sx, sy, st->own.bitmap, st->own.mask, st->own.alpha, dx, dy, w, h, context->width,
                   context->height, context->width, context->height, mask, alpha, context, layerFlags);
    } else if (alpha) {
        BlitBitMapAlpha(context->image, sx, sy, state->work, dx, dy, w, h, alpha);
    } else {
        BlitBitMapMasked(context->image, sx, sy, state->work, dx, dy, w, h, mask);
    }
}

}  // namespace

int StepInterlacedPushEffect(qzEffectContext* context, int32_t* done) {
    const int32_t w = context->width, h = context->height;
    const bool vertical = context->type == 100;
    const int32_t extent = vertical ? h : w;
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        int error = AllocEffectState(context, sizeof(InterlacedPushState));
        if (error) return error;
        InterlacedPushState* state = static_cast<InterlacedPushState*>(context->state);
        int32_t speed = GetEffectStepSize(context->speed, extent, 60, 30, 120);
        if (speed & 1) speed++;
        context->speed = speed;
        if (!context->viaLayer) {
            state->work = CreateBitMap(w, h, 0, nullptr);
            if (!state->work) return ERR_BITMAP;
            if (context->oldImage) BlitBitMap(context->oldImage, 0, 0, state->work, 0, 0, w, h);
        }
        error = BuildCombs(context, state);
        if (error) return error;
        state->travelled = context->hide ? extent - speed : speed;
        context->total = GetEffectStepCount(extent - speed, speed, 0);
        return 0;
    }
    InterlacedPushState* state = static_cast<InterlacedPushState*>(context->state);
    const int32_t speed = context->speed;
    const bool seek = context->phase == QZ_EFFECT_PHASE_RENDER;
    if (seek) {
        const int error = BuildCombs(context, state);
        if (error) return error;
        const int64_t moved = int64_t(context->current) * speed;
        state->travelled = static_cast<int32_t>(context->hide ? extent - moved : moved);
    } else {
        if (context->current == 0) state->travelled = context->hide ? extent - speed : speed;
        ShowEffectLayer(context);
    }
    int32_t s = state->travelled;
    if (!context->hide && s >= extent) {
        s = extent;
        *done = 1;
    } else if (context->hide && s < 1) {
        s = 0;
        *done = 1;
    }
    state->travelled = s;

    // Only what this frame draws may be visible: each frame puts the halves together anew.
    const uint32_t layerFlags = EFFECTBLIT_MASKVISIBLE | EFFECTBLIT_BLEND | EFFECTBLIT_NOPRESENT;
    qzLayerState* st = context->viaLayer && context->layer ? context->layer->display : nullptr;
    if (st) {
        if (st->own.mask) FillMaskRect(st->own.mask, 0, 0, w, h, MASKINVISIBLE);
        if (st->own.alpha) FillAlphaRect(st->own.alpha, 0, 0, w, h, 0);
    } else if (state->work && context->oldImage &&
               (context->imageMask || context->imageAlpha || seek || context->current == 0)) {
        BlitBitMap(context->oldImage, 0, 0, state->work, 0, 0, w, h);
    }
    // The half through comb 0 comes from the far end of the picture to the near side, the half
    // through comb 1 from the near end to the far side.
    const int32_t farX = vertical ? 0 : w - s, farY = vertical ? h - s : 0;
    const int32_t bandW = vertical ? w : s, bandH = vertical ? s : h;
    DrawThroughComb(context, state, 0, farX, farY, 0, 0, bandW, bandH, layerFlags);
    DrawThroughComb(context, state, 1, 0, 0, farX, farY, bandW, bandH, layerFlags);
    if (st && st->own.alpha && state->alpha[0] && s > 0) {
        // Where the halves overlap, the second blit copied comb 1's zero rows over the rows the
        // first one showed: those rows get comb 0's coverage back.
        BlitAlphaRect(state->alpha[0], farX, farY, st->own.alpha, 0, 0, bandW, bandH, 1, 0);
    }
    if (st) {
        // The blits leave presenting to the frame: the whole area changes at once.
        if (!(EffectLayerFlags(context) & EFFECTBLIT_NOPRESENT) && !seek)
            PresentEffectRect(context, st->own.bitmap, 0, 0, context->x, context->y, w, h, w, h, st->own.mask,
                              st->own.alpha, 0);
    } else if (state->work) {
        qzDisplay* display = CurrentDisplay();
        const qzBGPic* pic = display ? display->bgpic : nullptr;
        SafeBlt(context->vm, state->work, 0, 0, context->target, context->x, context->y, w, h, w, h,
                context->screenWidth, context->screenHeight, context->bltFlags, nullptr, nullptr,
                pic ? static_cast<const qzClipRegion*>(pic->clipRegion) : nullptr);
    }
    state->travelled = context->hide ? s - speed : s + speed;
    if (!seek) EndEffectFrame(context);
    return 0;
}

void FreeInterlacedPushEffect(qzEffectContext* context, int32_t completed) {
    (void)completed;
    InterlacedPushState* state = static_cast<InterlacedPushState*>(context->state);
    if (!state) return;
    DeleteCombs(state);
    DeleteBitMap(state->work);
    state->work = nullptr;
}
