#include "fx/fx_gates.h"

#include <cstdint>

#include "base/error_codes.h"
#include "fx/fx_layer_draw.h"

namespace {

struct GateState {
    int32_t upper;  // the near wing ends here
    int32_t lower;  // the far wing starts here
};

int Clamp(int64_t v) { return static_cast<int>(v < -(1 << 30) ? -(1 << 30) : v > (1 << 30) ? (1 << 30) : v); }

// Draws `count` lines of a picture from line `from` at line `at` (rows, or columns when
// `columns`), across the whole area.
void DrawGateLines(qzEffectContext* c, bool columns, const qzBitMap* picture, const qzBitMap* mask,
                   const qzBitMap* alpha, int from, int count, int at, uint32_t flags) {
    if (count < 1) return;
    if (columns)
        DrawEffectPicture(c, picture, mask, alpha, c->width, c->height, from, 0, at, 0, count, c->height, flags, 0);
    else
        DrawEffectPicture(c, picture, mask, alpha, c->width, c->height, 0, from, 0, at, c->width, count, flags, 0);
}

void DrawNew(qzEffectContext* c, bool columns, int from, int count, int at, uint32_t flags) {
    DrawGateLines(c, columns, c->image, c->imageMask, c->imageAlpha, from, count, at, flags);
}

void DrawOld(qzEffectContext* c, bool columns, int from, int count, int at, uint32_t flags) {
    DrawGateLines(c, columns, c->oldImage, nullptr, nullptr, from, count, at, flags);
}

// Presents the whole area of the layer, unless the frame's end presents the layer's bounds anyway.
void PresentWholeFrame(qzEffectContext* c) {
    if (!c->decorated && !c->bufferedDisplay) PresentEffectArea(c, 0, 0, c->width, c->height);
}

int OpenGateStep(qzEffectContext* c, int32_t* done, bool columns) {
    const int extent = columns ? c->width : c->height;
    const int half = extent / 2, rest = extent - half;
    if (c->phase == QZ_EFFECT_PHASE_SETUP) {
        if (AllocEffectState(c, sizeof(GateState))) return ERR_MEM;
        auto* st = static_cast<GateState*>(c->state);
        c->speed = GetEffectStepSize(c->speed, extent, 80, 30, 200);
        st->upper = rest - c->speed;
        st->lower = half + c->speed;
        c->total = GetEffectStepCount(st->upper, c->speed, 0);
        return 0;
    }
    auto* st = static_cast<GateState*>(c->state);
    const int speed = c->speed;
    const bool seek = c->phase == QZ_EFFECT_PHASE_RENDER;
    bool full = seek;
    if (seek || c->current == 0) {
        const int64_t k = seek ? c->current : 1;
        st->upper = Clamp(rest - k * speed);
        st->lower = Clamp(half + k * speed);
    }
    if (!seek) {
        ShowEffectLayer(c);
        if (c->bgpicEmu && (RefreshEmuBuffers(c, 3) & 2)) full = true;
    }
    if (st->lower >= extent || st->upper <= 0) {
        st->lower = extent;
        st->upper = 0;
        if (!seek) *done = 1;
    }
    const uint32_t flags = EffectFrameFlags(c, full ? uint32_t(EFFECTBLIT_NOPRESENT) : 0u);
    const int upper = st->upper, lower = st->lower;
    if (full) DrawNew(c, columns, upper, lower - upper + 1, upper, flags);
    DrawOld(c, columns, 0, half, upper - half, flags);
    if (!full) {
        DrawNew(c, columns, upper, speed, upper, flags);
        DrawNew(c, columns, lower - speed, speed, lower - speed, flags);
    }
    DrawOld(c, columns, half, rest, lower, flags);
    // A full redraw in a frame draws unseen (the wings go over the new picture); show it once.
    if (full && !seek) PresentWholeFrame(c);
    st->upper = Clamp(int64_t(upper) - speed);
    st->lower = Clamp(int64_t(lower) + speed);
    if (!seek) EndEffectFrame(c);
    return 0;
}

int CloseGateStep(qzEffectContext* c, int32_t* done, bool columns) {
    const int extent = columns ? c->width : c->height;
    const int half = extent / 2, rest = extent - half;
    if (c->phase == QZ_EFFECT_PHASE_SETUP) {
        if (AllocEffectState(c, sizeof(GateState))) return ERR_MEM;
        auto* st = static_cast<GateState*>(c->state);
        c->speed = GetEffectStepSize(c->speed, extent, 80, 30, 200);
        st->upper = c->speed;
        st->lower = extent - c->speed;
        c->total = GetEffectStepCount(half - c->speed, c->speed, 0);
        if (c->viaLayer) DrawOld(c, columns, 0, extent, 0, EFFECTBLIT_NOPRESENT);
        return 0;
    }
    auto* st = static_cast<GateState*>(c->state);
    const int speed = c->speed;
    const bool seek = c->phase == QZ_EFFECT_PHASE_RENDER;
    uint32_t base = seek ? uint32_t(EFFECTBLIT_NOPRESENT) : 0u;
    if (seek) {
        DrawOld(c, columns, 0, extent, 0, EffectFrameFlags(c, EFFECTBLIT_NOPRESENT));
        st->upper = Clamp(int64_t(c->current) * speed);
        st->lower = Clamp(extent - int64_t(c->current) * speed);
    } else {
        ShowEffectLayer(c);
        if (c->current == 0) {
            st->upper = speed;
            st->lower = extent - speed;
        }
    }
    if (st->lower <= rest || st->upper >= half) {
        st->lower = rest;
        st->upper = half;
    }
    const int upper = st->upper, lower = st->lower;
    if (!seek && c->bgpicEmu && (RefreshEmuBuffers(c, 3) & 1)) {
        base = EFFECTBLIT_NOPRESENT;
        DrawOld(c, columns, upper, lower - upper + 1, upper, EffectFrameFlags(c, base));
    }
    const uint32_t flags = EffectFrameFlags(c, base);
    if (lower == rest && upper == half) {
        if (!seek) *done = 1;
        DrawNew(c, columns, 0, extent, 0, flags);
    } else {
        DrawNew(c, columns, 0, half, upper - half, flags);
        DrawNew(c, columns, half, rest, lower, flags);
    }
    // The old content drawn anew in a frame was drawn unseen; show the frame once.
    if (!seek && base) PresentWholeFrame(c);
    st->upper = Clamp(int64_t(upper) + speed);
    st->lower = Clamp(int64_t(lower) - speed);
    if (!seek) EndEffectFrame(c);
    return 0;
}

}  // namespace

int HOpenGateEffectStep(qzEffectContext* context, int32_t* done) { return OpenGateStep(context, done, false); }
int HCloseGateEffectStep(qzEffectContext* context, int32_t* done) { return CloseGateStep(context, done, false); }
int VOpenGateEffectStep(qzEffectContext* context, int32_t* done) { return OpenGateStep(context, done, true); }
int VCloseGateEffectStep(qzEffectContext* context, int32_t* done) { return CloseGateStep(context, done, true); }
