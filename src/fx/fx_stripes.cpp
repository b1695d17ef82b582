#include "fx/fx_stripes.h"

#include <cstdlib>

namespace {

struct StripesState {
    int32_t band;      // band size along the stacking axis
    int32_t position;  // sweep position of the even bands
};

struct BlindsState {
    int32_t period;
    int32_t periods;   // whole periods in the stacking extent
    int32_t position;  // end of the next band inside each period
};

// Copies a band given as sweep and stacking coordinates: for the horizontal routines the sweep
// runs along x, for the vertical ones along y.
void CopySweepBand(qzEffectContext* context, bool vertical, int sweep, int stack, int sweepSize, int stackSize) {
    if (vertical)
        CopyEffectBand(context, stack, sweep, stackSize, sweepSize);
    else
        CopyEffectBand(context, sweep, stack, sweepSize, stackSize);
}

// The band size of a stripes type: the parameter (random when it is -1) for the first type of
// each direction, else 2 to 64 by the type. A random size is kept in the parameter, so that
// setting the effect up again draws the same bands.
int32_t StripeBandSize(qzEffectContext* context, int32_t extent) {
    static const int32_t kFixed[] = {2, 4, 8, 16, 32, 64};
    const int32_t type = context->type;
    int32_t band;
    if (type == 0 || type == 7) {
        band = context->parameter;
        if (band == QZ_EFFECT_RANDOMPARAMETER) {
            const int32_t r1 = rand();
            const int32_t r2 = rand();
            const int32_t divisor = extent / (r2 % 8 + 2);
            band = divisor > 0 ? r1 % divisor : 1;
            context->parameter = band < 1 ? 1 : band;
        }
    } else if (type >= 1 && type <= 6) {
        band = kFixed[type - 1];
    } else if (type >= 8 && type <= 13) {
        band = kFixed[type - 8];
    } else {
        band = 64;
    }
    return band < 1 ? 1 : band;
}

int StepStripes(qzEffectContext* context, int32_t* done, bool vertical) {
    const int32_t sweepExtent = vertical ? context->height : context->width;
    const int32_t stackExtent = vertical ? context->width : context->height;
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        const int error = AllocEffectState(context, sizeof(StripesState));
        if (error) return error;
        StripesState* state = static_cast<StripesState*>(context->state);
        state->band = StripeBandSize(context, sweepExtent);
        int32_t step = GetEffectStepSize(context->speed, sweepExtent, 70, 30, 200);
        if (step <= sweepExtent - 1) {
            context->total = GetEffectStepCount(sweepExtent - step, step, 0);
        } else if (sweepExtent > 1) {
            step = sweepExtent - 1;
            context->total = GetEffectStepCount(1, sweepExtent - 1, 0);
        } else {
            // One pixel to sweep: one frame of one-pixel bands.
            step = 1;
            context->total = 1;
        }
        context->speed = step;
        return 0;
    }
    if (context->phase != QZ_EFFECT_PHASE_NEXT) return 0;
    StripesState* state = static_cast<StripesState*>(context->state);
    const int32_t step = context->speed;
    ShowEffectLayer(context);
    if (context->current == 0) state->position = 0;
    if (state->position >= sweepExtent - step) {
        state->position = sweepExtent - step;
        *done = 1;
    }
    const int32_t band = state->band;
    for (int64_t j = 0; j < stackExtent; j += 2 * int64_t(band)) {
        CopySweepBand(context, vertical, state->position, int32_t(j), step, band);
        CopySweepBand(context, vertical, sweepExtent - state->position - step, int32_t(j + band), step, band);
    }
    state->position += step;
    EndEffectFrame(context);
    return 0;
}

int StepBlinds(qzEffectContext* context, int32_t* done, bool vertical) {
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        static const int32_t kPeriods[] = {8, 16, 32, 64, 128};
        const int error = AllocEffectState(context, sizeof(BlindsState));
        if (error) return error;
        BlindsState* state = static_cast<BlindsState*>(context->state);
        const int32_t type = context->type;
        int32_t period = 128;
        if (type >= 14 && type <= 18) period = kPeriods[type - 14];
        if (type >= 19 && type <= 23) period = kPeriods[type - 19];
        state->period = period;
        state->periods = (vertical ? context->width : context->height) / period;
        int32_t step = GetEffectStepSize(context->speed, period, 8, 3, 20);
        if (step > period / 2) step = period / 2;
        state->position = step;
        context->speed = step;
        context->total = GetEffectStepCount(period - step, step, 0);
        return 0;
    }
    if (context->phase != QZ_EFFECT_PHASE_NEXT) return 0;
    BlindsState* state = static_cast<BlindsState*>(context->state);
    const int32_t step = context->speed;
    const int32_t sweepExtent = vertical ? context->height : context->width;
    ShowEffectLayer(context);
    if (context->current == 0) state->position = step;
    if (state->position >= state->period) {
        state->position = state->period;
        *done = 1;
    }
    // The last band (i = periods) covers the incomplete period at the end of the area.
    for (int32_t i = 0; i <= state->periods; i++)
        CopySweepBand(context, vertical, 0, i * state->period + state->position - step, sweepExtent, step);
    state->position += step;
    EndEffectFrame(context);
    return 0;
}

}  // namespace

int StepHStripesEffect(qzEffectContext* context, int32_t* done) { return StepStripes(context, done, false); }
int StepVStripesEffect(qzEffectContext* context, int32_t* done) { return StepStripes(context, done, true); }
int StepHBlindsEffect(qzEffectContext* context, int32_t* done) { return StepBlinds(context, done, false); }
int StepVBlindsEffect(qzEffectContext* context, int32_t* done) { return StepBlinds(context, done, true); }
