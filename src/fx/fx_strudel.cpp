#include "fx/fx_strudel.h"

#include "base/error_codes.h"
#include "display/display.h"
#include "display/layer.h"
#include "display/picture.h"
#include "fx/effect_picture.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_lock.h"
#include "gfx/blit.h"
#include "gfx/channel_ops.h"
#include "gfx/safe_blt.h"
#include "gfx/swirl.h"
#include "gfx/wave_tables.h"
#include "platform/os_alloc.h"

namespace {

constexpr int32_t kSwirlEnd = 720;

struct StrudelState {
    qzBitMap* work;        // display path: the frame before it is drawn
    qzBitMap* layerAlpha;  // layer path: the picture's own transparency
    int32_t progress;      // 0 .. 720
    qzSwirlJob job;        // tables, size and hide flag; the pixel addresses are filled per frame
};

bool InLayer(const qzEffectContext* context) {
    return context->viaLayer && context->layer && context->layer->display->own.bitmap &&
           context->layer->display->own.alpha;
}

const qzClipRegion* ShownClipRegion() {
    qzDisplay* display = CurrentDisplay();
    return display && display->bgpic ? static_cast<const qzClipRegion*>(display->bgpic->clipRegion) : nullptr;
}

// Progress units per frame: the speed constants give 8, 16 and 4; other values stay within 2 to 16.
int32_t StrudelStepSize(int32_t speed) {
    switch (speed) {
    case QZ_EFFECT_NORMALSPEED: return 8;
    case QZ_EFFECT_FASTSPEED: return 16;
    case QZ_EFFECT_SLOWSPEED: return 4;
    default: return speed < 2 ? 2 : speed > 16 ? 16 : speed;
    }
}

// The layer alpha from the picture's mask or alpha channel.
int PrepareStrudelLayer(qzEffectContext* context, StrudelState* state) {
    if (!state->layerAlpha) {
        state->layerAlpha = CreateAlphaBitMap(context->width, context->height, 1, nullptr, 0);
        if (!state->layerAlpha) return ERR_MEM;
    }
    InitEffectAlpha(context, nullptr, state->layerAlpha);
    return 0;
}

int SetUpStrudel(qzEffectContext* context) {
    int error = AllocEffectState(context, sizeof(StrudelState));
    if (error) return error;
    StrudelState* state = static_cast<StrudelState*>(context->state);
    state->job.width = context->width;
    state->job.height = context->height;
    context->speed = StrudelStepSize(context->speed);
    if (!InLayer(context)) {
        state->work = CreateBitMap(context->width, context->height, 0, nullptr);
        if (!state->work) return ERR_BITMAP;
    }
    state->job.sine = static_cast<double*>(OsAlloc(sizeof(double) * kWaveTableSize, 0));
    state->job.cosine = static_cast<double*>(OsAlloc(sizeof(double) * kWaveTableSize, 0));
    if (!state->job.sine || !state->job.cosine) return ERR_MEM;
    BuildSwirlTables(&state->job);
    if (InLayer(context)) {
        error = PrepareStrudelLayer(context, state);
        if (error) return error;
        state->job.fadeOut = context->hide;
    }
    context->total = GetEffectStepCount(kSwirlEnd, context->speed, 1);
    return 0;
}

// The complete picture: on the display the new picture over the old one; in a layer the picture
// at its own transparency, or nothing when hiding.
void DrawPlainResult(qzEffectContext* context, StrudelState* state) {
    const int32_t w = context->width, h = context->height;
    if (InLayer(context)) {
        qzLayerState* st = context->layer->display;
        if (context->hide) {
            FillAlphaRect(st->own.alpha, 0, 0, w, h, 0);
        } else {
            BlitBitMap(context->image, 0, 0, st->own.bitmap, 0, 0, w, h);
            BlitAlphaRectClipped(state->layerAlpha, 0, 0, st->own.alpha, 0, 0, w, h, 0, 0);
        }
        return;
    }
    if (!context->image) return;
    if (context->imageMask || context->imageAlpha) {
        // The frames before covered the area whole: the picture's transparent parts show the old
        // picture again.
        DrawEffectPicturePart(context->image, 0, 0, context->target, context->x, context->y, w, h, w, h,
                              context->screenWidth, context->screenHeight, context->bltFlags, 0, context->oldImage,
                              context->imageMask, state->work, context->imageAlpha, context);
        return;
    }
    SafeBlt(context->vm, context->image, 0, 0, context->target, context->x, context->y, w, h, w, h,
            context->screenWidth, context->screenHeight, context->bltFlags, nullptr, nullptr, ShownClipRegion());
}

bool Covers(const qzLockInfo& info, const qzSwirlJob& job) {
    return info.width >= job.width && info.height >= job.height;
}

// One swirl frame at progress p: in a layer the picture turned into the layer's bitmap at the
// faded layer alpha; on the display the picture turned and cross-faded with the old one.
void DrawSwirl(qzEffectContext* context, StrudelState* state, int32_t p) {
    qzSwirlJob& job = state->job;
    const bool layer = InLayer(context);
    qzBitMap* destination = layer ? context->layer->display->own.bitmap : state->work;
    const qzBitMap* second = layer ? nullptr : context->oldImage;
    BitMapLock from(context->image, LOCKF_READONLY);
    BitMapLock to(destination, 0);
    BitMapLock old(second, LOCKF_READONLY);
    BitMapLock map(layer ? state->layerAlpha : nullptr, LOCKF_READONLY);
    BitMapLock alpha(layer ? context->layer->display->own.alpha : nullptr, 0);
    if (!from.ok || !to.ok || from.info.bytesPerPixel != to.info.bytesPerPixel) return;
    if (!Covers(from.info, job) || !Covers(to.info, job)) return;
    if (second && (!old.ok || old.info.bytesPerPixel != to.info.bytesPerPixel || !Covers(old.info, job))) return;
    if (layer && (!map.ok || !alpha.ok || !Covers(map.info, job) || !Covers(alpha.info, job))) return;
    job.source = from.info.pixels;
    job.sourceRowLength = from.info.rowLength;
    job.destination = to.info.pixels;
    job.destRowLength = to.info.rowLength;
    job.second = second ? old.info.pixels : nullptr;
    job.secondRowLength = second ? old.info.rowLength : 0;
    job.format = to.info.pixelFormat;
    if (layer) {
        job.alphaMap = static_cast<const uint8_t*>(map.info.pixels);
        job.alphaMapBytesPerRow = map.info.rowLength;
        job.destAlpha = static_cast<uint8_t*>(alpha.info.pixels);
        job.destAlphaBytesPerRow = alpha.info.rowLength;
    }
    if (to.info.bytesPerPixel == 4)
        SwirlPixels32(&job, p);
    else if (to.info.bytesPerPixel == 2)
        SwirlPixels16(&job, p);
    job.source = job.second = job.destination = nullptr;
    job.alphaMap = nullptr;
    job.destAlpha = nullptr;
}

// The frame at the state's progress; 1 when it completes the picture.
int DrawStrudel(qzEffectContext* context, StrudelState* state) {
    int32_t p = state->progress;
    if (p > kSwirlEnd - 1) p = kSwirlEnd;
    const int32_t opacity = int32_t(int64_t(p) * 255 / kSwirlEnd);
    context->opacity = context->hide ? 255 - opacity : opacity;
    if (p == kSwirlEnd) {
        DrawPlainResult(context, state);
        return 1;
    }
    DrawSwirl(context, state, p);
    if (!InLayer(context) && state->work)
        SafeBlt(context->vm, state->work, 0, 0, context->target, context->x, context->y, context->width,
                context->height, context->width, context->height, context->screenWidth, context->screenHeight,
                context->bltFlags, nullptr, nullptr, ShownClipRegion());
    return 0;
}

}  // namespace

int StepStrudel(qzEffectContext* context, int32_t* done) {
    if (context->phase == QZ_EFFECT_PHASE_SETUP) return SetUpStrudel(context);
    StrudelState* state = static_cast<StrudelState*>(context->state);
    if (!state) return 0;
    if (context->phase == QZ_EFFECT_PHASE_RENDER) {
        const int64_t at = int64_t(context->current) * context->speed;
        state->progress = int32_t(at < kSwirlEnd ? at : kSwirlEnd);
        if (InLayer(context)) {
            const int error = PrepareStrudelLayer(context, state);
            if (error) return error;
        }
        DrawStrudel(context, state);
        return 0;
    }
    if (context->current == 0) state->progress = 0;
    ShowEffectLayer(context);
    state->progress += context->speed;
    if (state->progress > kSwirlEnd) state->progress = kSwirlEnd;
    if (DrawStrudel(context, state)) *done = 1;
    if (InLayer(context) && !(EffectLayerFlags(context) & EFFECTBLIT_NOPRESENT)) {
        qzLayerState* st = context->layer->display;
        PresentEffectRect(context, st->own.bitmap, 0, 0, context->x, context->y, context->width, context->height,
                          st->own.bitmap->width, st->own.bitmap->height, st->own.mask, st->own.alpha, 0);
    }
    EndEffectFrame(context);
    return 0;
}

void FreeStrudelState(qzEffectContext* context, int32_t) {
    StrudelState* state = static_cast<StrudelState*>(context->state);
    if (!state) return;
    OsFree(state->job.sine);
    OsFree(state->job.cosine);
    DeleteBitMap(state->work);
    DeleteAlphaBitMap(state->layerAlpha);
    *state = {};
}
