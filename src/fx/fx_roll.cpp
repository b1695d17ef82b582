#include "fx/fx_roll.h"

#include <cmath>
#include <cstdlib>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/layer.h"
#include "display/picture.h"
#include "fx/effect_picture.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_lock.h"
#include "gfx/line_displace.h"
#include "gfx/safe_blt.h"

namespace {

constexpr int32_t kNoBand = -100000;

struct RollState {
    // bitmaps[0] the bent band, bitmaps[1] where a masked band is composed, the band's mask and
    // alpha channel, buffer: the angle table.
    qzRollStateHead head;
    qzDisplaceJob job;
    int32_t thickness;  // lines in the band
    int32_t columns;    // 1: the lines are columns
    int32_t position;   // the moving edge
    int32_t bandFirst;  // the previous band's first line and line count
    int32_t bandCount;
    // Showing: where the flat picture ends. Hiding: the first line already erased.
    int32_t flatEnd;
};

int32_t Extent(const qzEffectContext* context, const RollState* state) {
    return state->columns ? context->width : context->height;
}

const qzClipRegion* ShownClipRegion() {
    qzDisplay* display = CurrentDisplay();
    return display && display->bgpic ? static_cast<const qzClipRegion*>(display->bgpic->clipRegion) : nullptr;
}

// The rectangle of `count` lines from `first`, cut to the area; false when nothing is left.
bool LineRect(const qzEffectContext* context, const RollState* state, int32_t first, int32_t count, int32_t* rx,
              int32_t* ry, int32_t* rw, int32_t* rh) {
    const int32_t extent = Extent(context, state);
    if (first < 0) {
        count += first;
        first = 0;
    }
    if (first + int64_t(count) > extent) count = extent - first;
    if (count < 1) return false;
    *rx = state->columns ? first : 0;
    *ry = state->columns ? 0 : first;
    *rw = state->columns ? count : context->width;
    *rh = state->columns ? context->height : count;
    return true;
}

// The layer flags of drawing that shows something (hiding draws the object too).
uint32_t ShowFlags(const qzEffectContext* context) { return EffectLayerFlags(context) & ~uint32_t(EFFECTBLIT_ERASE); }

void ToScreen(qzEffectContext* context, const qzBitMap* source, int32_t rx, int32_t ry, int32_t rw, int32_t rh,
              const qzBitMap* mask, const qzBitMap* alpha) {
    SafeBlt(context->vm, source, rx, ry, context->target, context->x + rx, context->y + ry, rw, rh, context->width,
            context->height, context->screenWidth, context->screenHeight, context->bltFlags, mask, alpha,
            ShownClipRegion());
}

void ToLayer(qzEffectContext* context, const qzBitMap* source, int32_t rx, int32_t ry, int32_t rw, int32_t rh,
             const qzBitMap* mask, const qzBitMap* alpha, uint32_t flags) {
    qzLayerState* st = context->layer->display;
    EffectBlit(source, rx, ry, st->own.bitmap, st->own.mask, st->own.alpha, rx, ry, rw, rh, context->width,
               context->height, context->width, context->height, mask, alpha, context, flags);
}

bool InLayer(const qzEffectContext* context) { return context->viaLayer && context->layer; }

// The picture's lines where they belong, flat.
void DrawFlat(qzEffectContext* context, RollState* state, int32_t first, int32_t count, uint32_t extraFlags) {
    int32_t rx, ry, rw, rh;
    if (!LineRect(context, state, first, count, &rx, &ry, &rw, &rh)) return;
    if (context->imageMask || context->imageAlpha) {
        DrawEffectPicturePart(context->image, rx, ry, context->target, context->x + rx, context->y + ry, rw, rh,
                              context->width, context->height, context->screenWidth, context->screenHeight,
                              context->bltFlags, EFFECTBLIT_NORECORD | extraFlags, context->oldImage,
                              context->imageMask, state->head.bitmaps[1], context->imageAlpha, context);
    } else if (InLayer(context)) {
        ToLayer(context, context->image, rx, ry, rw, rh, nullptr, nullptr, ShowFlags(context) | extraFlags);
    } else {
        ToScreen(context, context->image, rx, ry, rw, rh, nullptr, nullptr);
    }
}

// The bent band from the first work bitmap; a masked or blended band lies over the flat lines.
void DrawBand(qzEffectContext* context, RollState* state, int32_t first, int32_t count, uint32_t extraFlags) {
    int32_t rx, ry, rw, rh;
    if (!LineRect(context, state, first, count, &rx, &ry, &rw, &rh)) return;
    qzBitMap* band = state->head.bitmaps[0];
    const bool shaped = context->imageMask || context->imageAlpha;
    if (InLayer(context)) {
        if (!shaped) {
            ToLayer(context, band, rx, ry, rw, rh, nullptr, nullptr, ShowFlags(context) | extraFlags);
            return;
        }
        ToLayer(context, context->image, rx, ry, rw, rh, context->imageMask, context->imageAlpha, EFFECTBLIT_NOPRESENT);
        ToLayer(context, band, rx, ry, rw, rh, state->head.mask, state->head.alpha,
                ShowFlags(context) | extraFlags | EFFECTBLIT_MASKVISIBLE | EFFECTBLIT_BLEND);
        return;
    }
    if (!shaped) {
        ToScreen(context, band, rx, ry, rw, rh, nullptr, nullptr);
        return;
    }
    qzBitMap* compose = state->head.bitmaps[1];
    const int32_t w = context->width, h = context->height;
    const uint32_t flags = SAFEBLT_NOCLIP | SAFEBLT_NOSPRITES;
    if (context->oldImage)
        SafeBlt(context->vm, context->oldImage, rx, ry, compose, rx, ry, rw, rh, w, h, w, h, flags, nullptr, nullptr,
                nullptr);
    SafeBlt(context->vm, context->image, rx, ry, compose, rx, ry, rw, rh, w, h, w, h, flags, context->imageMask,
            context->imageAlpha, nullptr);
    SafeBlt(context->vm, band, rx, ry, compose, rx, ry, rw, rh, w, h, w, h, flags, state->head.mask, state->head.alpha,
            nullptr);
    ToScreen(context, compose, rx, ry, rw, rh, nullptr, nullptr);
}

// Lines given back to what lies underneath: the layer's mask or alpha cleared, on the display
// the old picture.
void Erase(qzEffectContext* context, RollState* state, int32_t first, int32_t count, uint32_t extraFlags) {
    int32_t rx, ry, rw, rh;
    if (!LineRect(context, state, first, count, &rx, &ry, &rw, &rh)) return;
    if (InLayer(context))
        ToLayer(context, context->image, rx, ry, rw, rh, nullptr, nullptr,
                EffectLayerFlags(context) | EFFECTBLIT_ERASE | extraFlags);
    else if (context->oldImage)
        ToScreen(context, context->oldImage, rx, ry, rw, rh, nullptr, nullptr);
}

// The bent band for the state's position into the first work bitmap (with its mask and alpha);
// the job reports the lines it copied.
void RenderBand(qzEffectContext* context, RollState* state) {
    qzDisplaceJob& job = state->job;
    job.lines = state->thickness;
    job.lastLine = state->position;
    job.offsets = static_cast<const double*>(state->head.buffer);
    job.width = context->width;
    job.height = context->height;
    job.direction = state->columns;
    job.copied = 0;
    job.firstCopied = kNoBand;
    job.lastOut = state->position;
    BitMapLock sourceMask(context->imageMask, LOCKF_READONLY);
    BitMapLock bandMask(state->head.mask, 0);
    BitMapLock sourceAlpha(context->imageAlpha, LOCKF_READONLY);
    BitMapLock bandAlpha(state->head.alpha, 0);
    job.sourceMask = sourceMask.ok ? static_cast<const uint8_t*>(sourceMask.info.pixels) : nullptr;
    job.sourceMaskBytesPerRow = sourceMask.ok ? sourceMask.info.rowLength : 0;
    job.destMask = bandMask.ok ? static_cast<uint8_t*>(bandMask.info.pixels) : nullptr;
    job.destMaskBytesPerRow = bandMask.ok ? bandMask.info.rowLength : 0;
    job.sourceAlpha = sourceAlpha.ok ? static_cast<const uint8_t*>(sourceAlpha.info.pixels) : nullptr;
    job.sourceAlphaBytesPerRow = sourceAlpha.ok ? sourceAlpha.info.rowLength : 0;
    job.destAlpha = bandAlpha.ok ? static_cast<uint8_t*>(bandAlpha.info.pixels) : nullptr;
    job.destAlphaBytesPerRow = bandAlpha.ok ? bandAlpha.info.rowLength : 0;
    DisplaceEffectLines(context->image, state->head.bitmaps[0], &job);
}

void RestartRoll(const qzEffectContext* context, RollState* state) {
    const int32_t extent = Extent(context, state);
    state->position = context->hide ? extent : 0;
    state->flatEnd = context->hide ? extent : 0;
    state->bandFirst = kNoBand;
    state->bandCount = 0;
}

void RememberBand(RollState* state) {
    state->bandFirst = state->job.firstCopied;
    state->bandCount = state->job.copied;
}

// Showing: the band moves on; the lines it leaves behind lie flat.
void ShowFrame(qzEffectContext* context, RollState* state, int32_t* done) {
    const int32_t extent = Extent(context, state);
    state->position += context->speed;
    const int32_t p = state->position;
    if (p >= extent) {
        DrawFlat(context, state, state->flatEnd, extent - state->flatEnd, 0);
        *done = 1;
        return;
    }
    RenderBand(context, state);
    const int32_t n = state->job.copied, f = state->job.firstCopied;
    if (n == 0) {
        if (state->flatEnd >= 0 && state->flatEnd < extent)
            DrawFlat(context, state, state->flatEnd, p - state->flatEnd + 1, 0);
        state->flatEnd = p;
        return;
    }
    if (state->bandFirst != kNoBand) DrawFlat(context, state, state->bandFirst, f - state->bandFirst, 0);
    DrawBand(context, state, f, n, 0);
    state->flatEnd = f;
    RememberBand(state);
}

// Hiding: the band moves back; what it leaves behind is erased.
void HideFrame(qzEffectContext* context, RollState* state, int32_t* done) {
    state->position -= context->speed;
    const int32_t p = state->position;
    if (p <= 0) {
        Erase(context, state, 0, state->flatEnd, 0);
        state->flatEnd = 0;
        *done = 1;
        return;
    }
    RenderBand(context, state);
    const int32_t n = state->job.copied, f = state->job.firstCopied;
    if (n == 0) {
        Erase(context, state, p, state->flatEnd - p, 0);
        state->flatEnd = p;
        return;
    }
    DrawBand(context, state, f, n, 0);
    Erase(context, state, f + n, state->flatEnd - (f + n), 0);
    state->flatEnd = f + n;
    RememberBand(state);
}

// The picture of step k from scratch.
void RenderRoll(qzEffectContext* context, RollState* state) {
    const int32_t extent = Extent(context, state), k = context->current;
    const uint32_t quiet = InLayer(context) ? uint32_t(EFFECTBLIT_NOPRESENT) : 0u;
    if (!context->rebuilding) {
        if (InLayer(context))
            ToLayer(context, context->image, 0, 0, context->width, context->height, nullptr, nullptr,
                    EFFECTBLIT_ERASE | EFFECTBLIT_NOPRESENT);
        else if (context->oldImage)
            ToScreen(context, context->oldImage, 0, 0, context->width, context->height, nullptr, nullptr);
    }
    RestartRoll(context, state);
    if (k < 1) {
        if (context->hide) DrawFlat(context, state, 0, extent, quiet);
        return;
    }
    const int64_t moved = int64_t(k) * context->speed;
    if (context->hide) {
        if (moved >= extent) {
            state->position = 0;
            state->flatEnd = 0;
            return;
        }
        state->position = extent - int32_t(moved);
        RenderBand(context, state);
        const int32_t n = state->job.copied, f = state->job.firstCopied;
        if (n == 0) {
            DrawFlat(context, state, 0, state->position, quiet);
            state->flatEnd = state->position;
            return;
        }
        DrawFlat(context, state, 0, f, quiet);
        DrawBand(context, state, f, n, quiet);
        state->flatEnd = f + n;
        RememberBand(state);
        return;
    }
    if (moved >= extent) {
        state->position = extent;
        DrawFlat(context, state, 0, extent, quiet);
        return;
    }
    state->position = int32_t(moved);
    RenderBand(context, state);
    const int32_t n = state->job.copied, f = state->job.firstCopied;
    if (n == 0) {
        DrawFlat(context, state, 0, state->position + 1, quiet);
        state->flatEnd = state->position;
        return;
    }
    DrawFlat(context, state, 0, f + n, quiet);
    DrawBand(context, state, f, n, quiet);
    state->flatEnd = f;
    RememberBand(state);
}

int SetUpRoll(qzEffectContext* context) {
    const int error = AllocEffectState(context, sizeof(RollState));
    if (error) return error;
    RollState* state = static_cast<RollState*>(context->state);
    const int32_t type = context->type, w = context->width, h = context->height;
    state->columns = type == 85 || type == 87;
    const bool wallpaper = type == 86 || type == 87;
    const int32_t extent = state->columns ? w : h;
    int32_t thickness = wallpaper ? extent / 2 : extent / 6;
    if (thickness < 20) thickness = 20;
    state->thickness = thickness;
    int32_t step = context->speed;
    if (step == QZ_EFFECT_FASTSPEED)
        step = 5;
    else if (step == QZ_EFFECT_NORMALSPEED)
        step = 2;
    else if (step == QZ_EFFECT_SLOWSPEED)
        step = 1;
    else {
        step /= 5;
        if (step < 1) step = 1;
        if (step > 8) step = 8;
    }
    context->speed = step;
    qzRollStateHead& head = state->head;
    head.bitmaps[0] = CreateBitMap(w, h, 0, nullptr);
    head.bitmaps[1] = CreateBitMap(w, h, 0, nullptr);
    if (!head.bitmaps[0] || !head.bitmaps[1]) return ERR_MEM;
    if (context->imageMask) {
        head.mask = CreateMaskBitMap(head.bitmaps[0], w, h, 1, nullptr, 0);
        if (!head.mask) return ERR_ALLOCMASK;
    }
    if (context->imageAlpha) {
        head.alpha = CreateAlphaBitMap(w, h, 1, nullptr, 0);
        if (!head.alpha) return ERR_ALLOCALPHA;
    }
    double* angles = static_cast<double*>(malloc(sizeof(double) * size_t(thickness)));
    if (!angles) return ERR_MEM;
    for (int32_t i = 0; i < thickness; i++) angles[i] = std::asin(1.0 - i * (2.0 / thickness)) + M_PI / 2;
    head.buffer = angles;
    RestartRoll(context, state);
    context->total = GetEffectStepCount(extent, step, 1);
    return 0;
}

}  // namespace

int StepRoll(qzEffectContext* context, int32_t* done) {
    if (context->phase == QZ_EFFECT_PHASE_SETUP) return SetUpRoll(context);
    RollState* state = static_cast<RollState*>(context->state);
    if (!state) return 0;
    if (context->phase == QZ_EFFECT_PHASE_RENDER) {
        RenderRoll(context, state);
        return 0;
    }
    if (context->current == 0) RestartRoll(context, state);
    ShowEffectLayer(context);
    if (context->hide)
        HideFrame(context, state, done);
    else
        ShowFrame(context, state, done);
    EndEffectFrame(context);
    return 0;
}
