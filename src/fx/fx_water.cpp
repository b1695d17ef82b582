#include "fx/fx_water.h"

#include <cstdlib>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/layer.h"
#include "display/picture.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_lock.h"
#include "gfx/blit.h"
#include "gfx/channel_ops.h"
#include "gfx/ripple.h"
#include "gfx/safe_blt.h"
#include "gfx/wave_tables.h"

namespace {

struct WaterState {
    qzBitMap* work;        // display path: the rippled frame
    qzBitMap* composite;   // display path, shaped pictures: the frame over the old picture
    qzBitMap* layerAlpha;  // layer path: the picture's own transparency
    int32_t frame;
    qzRippleJob job;  // the tables, the wave and the area; the pixels are filled in each frame
};

// The ripple grows by this much a frame during the first half.
const double kRippleStrength = 0.05;

double Wavelength(int32_t type) {
    switch (type) {
    case 135: return 64.0;
    case 136: return 16.0;
    case 137: return 8.0;
    default: return 32.0;
    }
}

// Frames in each half of the effect: the speed constants give 25, 10 and 50; other values are
// kept within 5 to 100, a larger one slower.
int32_t HalfLength(int32_t speed) {
    switch (speed) {
    case QZ_EFFECT_NORMALSPEED: return 25;
    case QZ_EFFECT_FASTSPEED: return 10;
    case QZ_EFFECT_SLOWSPEED: return 50;
    default: return speed <= 4 ? 5 : speed > 100 ? 100 : speed;
    }
}

bool LayerPath(const qzEffectContext* context) {
    return context->viaLayer && context->layer && context->layer->display->own.bitmap &&
           context->layer->display->own.alpha;
}

const qzClipRegion* ShownClipRegion() {
    qzDisplay* display = CurrentDisplay();
    return display && display->bgpic ? static_cast<const qzClipRegion*>(display->bgpic->clipRegion) : nullptr;
}

// The layer alpha from the picture's mask or alpha channel (255 everywhere without either).
int PrepareWaterLayer(qzEffectContext* context, WaterState* state) {
    if (!state->layerAlpha) {
        state->layerAlpha = CreateAlphaBitMap(context->width, context->height, 1, nullptr, 0);
        if (!state->layerAlpha) return ERR_MEM;
    }
    InitEffectAlpha(context, nullptr, state->layerAlpha);
    return 0;
}

int SetUpWater(qzEffectContext* context) {
    int error = AllocEffectState(context, sizeof(WaterState));
    if (error) return error;
    WaterState* state = static_cast<WaterState*>(context->state);
    const int32_t w = context->width, h = context->height;
    const int32_t half = HalfLength(context->speed);
    context->speed = half;
    qzRippleJob& job = state->job;
    job.wavelength = Wavelength(context->type);
    job.amplitudeStep = kRippleStrength;
    job.halfDuration = half;
    job.width = w;
    job.height = h;
    job.centerX = w / 2;
    job.centerY = h / 2;
    job.radius = job.centerX > job.centerY ? job.centerX : job.centerY;
    const bool layerPath = LayerPath(context);
    if (!layerPath) {
        state->work = CreateBitMap(w, h, 0, nullptr);
        if (!state->work) return ERR_BITMAP;
        if (context->imageMask || context->imageAlpha) {
            state->composite = CreateBitMap(w, h, 0, nullptr);
            if (!state->composite) return ERR_BITMAP;
        }
    }
    const size_t pixels = size_t(w > 0 ? w : 0) * size_t(h > 0 ? h : 0);
    job.distances = static_cast<int32_t*>(malloc(pixels * sizeof(int32_t) + 1));
    job.sine = static_cast<double*>(malloc(kWaveTableSize * sizeof(double)));
    if (!job.distances || !job.sine) return ERR_MEM;
    BuildRippleTable(&job);
    if (layerPath) {
        error = PrepareWaterLayer(context, state);
        if (error) return error;
        job.fadeOut = context->hide;
    }
    context->total = GetEffectStepCount(2 * half, 1, 1);
    return 0;
}

// Puts the frame (or the picture) on the display at the area, over the old picture through the
// picture's mask or alpha channel when it has one.
void ToScreen(qzEffectContext* context, WaterState* state, const qzBitMap* source) {
    const int32_t w = context->width, h = context->height;
    if ((context->imageMask || context->imageAlpha) && state->composite) {
        const uint32_t compose = SAFEBLT_NOCLIP | SAFEBLT_NOSPRITES;
        if (context->oldImage)
            SafeBlt(context->vm, context->oldImage, 0, 0, state->composite, 0, 0, w, h, w, h, w, h, compose, nullptr,
                    nullptr, nullptr);
        SafeBlt(context->vm, source, 0, 0, state->composite, 0, 0, w, h, w, h, w, h, compose, context->imageMask,
                context->imageMask ? nullptr : context->imageAlpha, nullptr);
        source = state->composite;
    }
    SafeBlt(context->vm, source, 0, 0, context->target, context->x, context->y, w, h, w, h, context->screenWidth,
            context->screenHeight, context->bltFlags, nullptr, nullptr, ShownClipRegion());
}

// One ripple frame: the new picture rippled into the layer's bitmap, its transparency faded into
// the layer's alpha channel; or, on the display path, rippled and faded over the old picture into
// the work bitmap. A picture that cannot be locked, or pixels of another size, draw nothing.
void Ripple(qzEffectContext* context, WaterState* state, int32_t f, bool layerPath) {
    qzRippleJob& job = state->job;
    qzBitMap* destination = layerPath ? context->layer->display->own.bitmap : state->work;
    const qzBitMap* old = layerPath ? nullptr : context->oldImage;
    BitMapLock from(context->image, LOCKF_READONLY);
    BitMapLock to(destination, 0);
    BitMapLock second(old, LOCKF_READONLY);
    if (!from.ok || !to.ok || (old && !second.ok)) return;
    const int bytes = from.info.bytesPerPixel;
    if (to.info.bytesPerPixel != bytes || (old && second.info.bytesPerPixel != bytes)) return;
    job.source = from.info.pixels;
    job.sourceRowLength = from.info.rowLength;
    job.destination = to.info.pixels;
    job.destRowLength = to.info.rowLength;
    job.second = old ? second.info.pixels : nullptr;
    job.secondRowLength = old ? second.info.rowLength : 0;
    job.format = from.info.pixelFormat;
    if (layerPath) {
        const qzBitMap* alpha = context->layer->display->own.alpha;
        job.alphaMap = reinterpret_cast<const uint8_t*>(QueryBitMapAttr(state->layerAlpha, BMATTR_ALPHAPIXELS));
        job.alphaMapBytesPerRow = int(QueryBitMapAttr(state->layerAlpha, BMATTR_ALPHABYTESPERROW));
        job.destAlpha = reinterpret_cast<uint8_t*>(QueryBitMapAttr(alpha, BMATTR_ALPHAPIXELS));
        job.destAlphaBytesPerRow = int(QueryBitMapAttr(alpha, BMATTR_ALPHABYTESPERROW));
        if (!job.alphaMap || !job.destAlpha) return;
    }
    if (bytes == 4)
        RipplePixels32(&job, f);
    else if (bytes == 2)
        RipplePixels16(&job, f);
    job.source = job.second = nullptr;
    job.destination = nullptr;
}

// Frame f of the effect; 1 when it is the last.
int DrawWater(qzEffectContext* context, WaterState* state, int32_t f) {
    const int32_t span = 2 * state->job.halfDuration;
    const int32_t level = int32_t(int64_t(f) * 255 / span);
    context->opacity = context->hide ? 255 - level : level;
    const bool layerPath = LayerPath(context);
    const int last = f >= span;
    const int32_t w = context->width, h = context->height;
    if (layerPath) {
        qzLayerState* st = context->layer->display;
        if (!last) {
            Ripple(context, state, f, true);
        } else if (context->hide) {
            FillAlphaRect(st->own.alpha, 0, 0, w, h, 0);
        } else {
            BlitBitMap(context->image, 0, 0, st->own.bitmap, 0, 0, w, h);
            BlitAlphaRectClipped(state->layerAlpha, 0, 0, st->own.alpha, 0, 0, w, h, 0, 0);
        }
        return last;
    }
    if (!context->image) return last;
    if (last) {
        ToScreen(context, state, context->image);
    } else if (state->work) {
        Ripple(context, state, f, false);
        ToScreen(context, state, state->work);
    }
    return last;
}

}  // namespace

int StepWater(qzEffectContext* context, int32_t* done) {
    if (context->phase == QZ_EFFECT_PHASE_SETUP) return SetUpWater(context);
    WaterState* state = static_cast<WaterState*>(context->state);
    if (!state) return 0;
    if (context->phase == QZ_EFFECT_PHASE_RENDER) {
        state->frame = context->current;
        if (LayerPath(context)) {
            // The picture may have changed since the set-up.
            const int error = PrepareWaterLayer(context, state);
            if (error) return error;
        }
        DrawWater(context, state, state->frame);
        return 0;
    }
    if (context->current == 0) state->frame = 0;
    ShowEffectLayer(context);
    state->frame++;
    if (DrawWater(context, state, state->frame)) *done = 1;
    if (LayerPath(context) && !(EffectLayerFlags(context) & EFFECTBLIT_NOPRESENT)) {
        qzLayerState* st = context->layer->display;
        PresentEffectRect(context, st->own.bitmap, 0, 0, context->x, context->y, context->width, context->height,
                          st->own.bitmap->width, st->own.bitmap->height, st->own.mask, st->own.alpha, 0);
    }
    EndEffectFrame(context);
    return 0;
}

void FreeWaterState(qzEffectContext* context, int32_t) {
    WaterState* state = static_cast<WaterState*>(context->state);
    if (!state) return;
    free(state->job.distances);
    free(state->job.sine);
    DeleteBitMap(state->work);
    DeleteBitMap(state->composite);
    DeleteAlphaBitMap(state->layerAlpha);
    *state = {};
}
