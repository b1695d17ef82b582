#include "fx/fx_curtains.h"

namespace {

// The two edges of a curtain, or the one edge of a reveal (first).
struct EdgeState {
    int32_t first;
    int32_t second;
};

// The band at `at` along the moving axis, `thickness` pixels thick, across the whole area.
void CopyEdgeBand(qzEffectContext* context, bool alongY, int at, int thickness) {
    if (alongY)
        CopyEffectBand(context, 0, at, context->width, thickness);
    else
        CopyEffectBand(context, at, 0, thickness, context->height);
}

int MovingExtent(const qzEffectContext* context, bool alongY) { return alongY ? context->height : context->width; }

// Opening curtain: two edges from the middle outwards (first the upper, second the lower).
int StepOpenCurtain(qzEffectContext* context, int32_t* done, bool alongY) {
    const int32_t extent = MovingExtent(context, alongY);
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        const int error = AllocEffectState(context, sizeof(EdgeState));
        if (error) return error;
        EdgeState* state = static_cast<EdgeState*>(context->state);
        state->first = extent / 2;
        state->second = extent / 2 - 1;
        int32_t step = GetEffectStepSize(context->speed, extent, 140, 60, 320);
        if (step > extent / 4) step = extent / 4;
        context->speed = step;
        context->total = GetEffectStepCount(extent - step - state->second - 1, step + 1, 0);
        return 0;
    }
    if (context->phase != QZ_EFFECT_PHASE_NEXT) return 0;
    EdgeState* state = static_cast<EdgeState*>(context->state);
    const int32_t step = context->speed;
    ShowEffectLayer(context);
    if (context->current == 0) {
        state->first = extent / 2;
        state->second = extent / 2 - 1;
    }
    if (state->second >= extent - step - 1) {
        state->second = extent - step - 1;
        *done = 1;
    }
    if (state->first - step < 0) state->first = step;
    CopyEdgeBand(context, alongY, state->second, step + 1);
    CopyEdgeBand(context, alongY, state->first - step, step + 1);
    state->first -= step + 1;
    state->second += step + 1;
    EndEffectFrame(context);
    return 0;
}

// Closing curtain: two edges from the sides inwards (first from the start, second from the end).
int StepCloseCurtain(qzEffectContext* context, int32_t* done, bool alongY) {
    const int32_t extent = MovingExtent(context, alongY);
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        const int error = AllocEffectState(context, sizeof(EdgeState));
        if (error) return error;
        EdgeState* state = static_cast<EdgeState*>(context->state);
        state->first = 0;
        state->second = extent - 1;
        int32_t step = GetEffectStepSize(context->speed, extent, 140, 60, 320);
        if (step > extent / 2) step = 1;
        context->speed = step;
        context->total = GetEffectStepCount(extent / 2, step + 1, 0);
        return 0;
    }
    if (context->phase != QZ_EFFECT_PHASE_NEXT) return 0;
    EdgeState* state = static_cast<EdgeState*>(context->state);
    const int32_t step = context->speed;
    ShowEffectLayer(context);
    if (context->current == 0) {
        state->first = 0;
        state->second = extent - 1;
    }
    if (state->first >= extent / 2) {
        state->first = extent / 2;
        *done = 1;
    }
    CopyEdgeBand(context, alongY, state->first, step + 1);
    CopyEdgeBand(context, alongY, state->second - step, step + 1);
    state->first += step + 1;
    state->second -= step + 1;
    EndEffectFrame(context);
    return 0;
}

// Reveal: one edge from the start of the axis to its end (fromEnd false) or back.
int StepReveal(qzEffectContext* context, int32_t* done, bool alongY, bool fromEnd) {
    const int32_t extent = MovingExtent(context, alongY);
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        const int error = AllocEffectState(context, sizeof(EdgeState));
        if (error) return error;
        EdgeState* state = static_cast<EdgeState*>(context->state);
        int32_t step = GetEffectStepSize(context->speed, extent, 70, 30, 200);
        // Too large a step falls back to one pixel across, to half the height downwards.
        if (step > extent / 2) step = alongY ? extent / 2 : 1;
        context->speed = step;
        context->total = GetEffectStepCount(extent - step - 1, step + 1, 0);
        state->first = fromEnd ? extent - 1 : 0;
        return 0;
    }
    if (context->phase != QZ_EFFECT_PHASE_NEXT) return 0;
    EdgeState* state = static_cast<EdgeState*>(context->state);
    const int32_t step = context->speed;
    ShowEffectLayer(context);
    if (!fromEnd) {
        if (context->current == 0) state->first = 0;
        if (state->first >= extent - step - 1) {
            state->first = extent - step - 1;
            *done = 1;
        }
        CopyEdgeBand(context, alongY, state->first, step + 1);
        state->first += step + 1;
    } else {
        if (context->current == 0) state->first = extent - 1;
        if (state->first <= step) {
            state->first = step;
            *done = 1;
        }
        CopyEdgeBand(context, alongY, state->first - step, step + 1);
        state->first -= step + 1;
    }
    EndEffectFrame(context);
    return 0;
}

}  // namespace

int StepVOpenCurtainEffect(qzEffectContext* context, int32_t* done) { return StepOpenCurtain(context, done, false); }
int StepVCloseCurtainEffect(qzEffectContext* context, int32_t* done) { return StepCloseCurtain(context, done, false); }
int StepHOpenCurtainEffect(qzEffectContext* context, int32_t* done) { return StepOpenCurtain(context, done, true); }
int StepHCloseCurtainEffect(qzEffectContext* context, int32_t* done) { return StepCloseCurtain(context, done, true); }
int StepRevealLeftEffect(qzEffectContext* context, int32_t* done) { return StepReveal(context, done, false, false); }
int StepRevealRightEffect(qzEffectContext* context, int32_t* done) { return StepReveal(context, done, false, true); }
int StepRevealTopEffect(qzEffectContext* context, int32_t* done) { return StepReveal(context, done, true, false); }
int StepRevealBottomEffect(qzEffectContext* context, int32_t* done) { return StepReveal(context, done, true, true); }
