#include "fx/fx_bars.h"

namespace {

constexpr int32_t kBarCell = 16;
// The bar counter runs to 23: columns 1 to 9 of each cell while it is at most 8, then rows
// 2 to 16 of each cell across the whole width.
constexpr int32_t kBarEnd = 23;

struct BarsState {
    int32_t counter;
};

struct QuartersState {
    int32_t halfWidth, halfHeight;
    int32_t position;
    int32_t oddColumn;  // 1 when the width is odd: the last column goes with the right half
};

struct LinesState {
    int32_t back;   // double lines: the odd line moving back from the end
    int32_t front;  // double lines: the even line; single lines: the counter
};

void CopyLine(qzEffectContext* context, bool columns, int line) {
    if (columns)
        CopyEffectBand(context, line, 0, 1, context->height);
    else
        CopyEffectBand(context, 0, line, context->width, 1);
}

int StepLines(qzEffectContext* context, int32_t* done, bool columns) {
    const int32_t extent = columns ? context->width : context->height;
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        const int error = AllocEffectState(context, sizeof(LinesState));
        if (error) return error;
        context->total = GetEffectStepCount(2 * extent, 2, 0);
        return 0;
    }
    if (context->phase != QZ_EFFECT_PHASE_NEXT) return 0;
    LinesState* state = static_cast<LinesState*>(context->state);
    ShowEffectLayer(context);
    if (context->current == 0) state->front = 0;
    const int32_t k = state->front;
    if (k >= 2 * extent) *done = 1;
    // The even lines from the start, then the odd lines from the end backwards.
    int32_t line = k < extent ? k : 2 * extent - k + 1;
    if (line > extent - 1) line = extent - 1;
    if (line < 0) line = 0;
    CopyLine(context, columns, line);
    state->front = k + 2;
    EndEffectFrame(context);
    return 0;
}

int StepDoubleLines(qzEffectContext* context, int32_t* done, bool columns) {
    const int32_t extent = columns ? context->width : context->height;
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        const int error = AllocEffectState(context, sizeof(LinesState));
        if (error) return error;
        context->total = GetEffectStepCount(extent, 2, 0);
        return 0;
    }
    if (context->phase != QZ_EFFECT_PHASE_NEXT) return 0;
    LinesState* state = static_cast<LinesState*>(context->state);
    ShowEffectLayer(context);
    if (context->current == 0) {
        state->front = 0;
        state->back = extent % 2 == 0 ? extent - 1 : extent - 2;
    }
    if (state->front >= extent) *done = 1;
    if (state->back < 0) state->back = 0;
    if (state->front > extent - 1) state->front = extent - 1;
    CopyLine(context, columns, state->front);
    CopyLine(context, columns, state->back);
    state->front += 2;
    state->back -= 2;
    EndEffectFrame(context);
    return 0;
}

}  // namespace

int StepBarsEffect(qzEffectContext* context, int32_t* done) {
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        const int error = AllocEffectState(context, sizeof(BarsState));
        if (error) return error;
        int32_t step = GetEffectStepSize(context->speed, kBarCell, 16, 8, 40);
        if (step > 8) step = 8;
        context->speed = step;
        context->total = GetEffectStepCount(kBarEnd, step + 1, 0);
        return 0;
    }
    if (context->phase != QZ_EFFECT_PHASE_NEXT) return 0;
    BarsState* state = static_cast<BarsState*>(context->state);
    const int32_t width = context->width, height = context->height;
    ShowEffectLayer(context);
    if (context->current == 0) state->counter = 0;
    if (state->counter > kBarEnd - 1) {
        state->counter = kBarEnd;
        *done = 1;
    }
    const int32_t c = state->counter;
    if (c <= 8) {
        for (int32_t i = 0; i < width / kBarCell; i++) CopyEffectBand(context, kBarCell * i, 0, c + 1, height);
        // The narrow last column opens whole.
        if (width % kBarCell != 0) CopyEffectBand(context, kBarCell * (width / kBarCell), 0, width % kBarCell, height);
    } else {
        for (int32_t i = 0; i < height / kBarCell; i++) CopyEffectBand(context, 0, kBarCell * i, width, c - 7);
        if (height % kBarCell != 0)
            CopyEffectBand(context, 0, kBarCell * (height / kBarCell), width, height % kBarCell);
    }
    state->counter = c + context->speed + 1;
    EndEffectFrame(context);
    return 0;
}

int StepQuartersEffect(qzEffectContext* context, int32_t* done) {
    const int32_t width = context->width, height = context->height;
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        const int error = AllocEffectState(context, sizeof(QuartersState));
        if (error) return error;
        QuartersState* state = static_cast<QuartersState*>(context->state);
        state->halfWidth = width / 2;
        state->halfHeight = height / 2;
        state->oddColumn = width - 2 * state->halfWidth;
        // The step is taken from the width but limited by the height.
        int32_t step = GetEffectStepSize(context->speed, width, 70, 30, 200);
        if (step > height / 4) step = height / 4;
        context->speed = step;
        context->total = GetEffectStepCount(height - state->halfHeight - step - 1, step + 1, 0);
        return 0;
    }
    if (context->phase != QZ_EFFECT_PHASE_NEXT) return 0;
    QuartersState* state = static_cast<QuartersState*>(context->state);
    const int32_t step = context->speed;
    const int32_t mw = state->halfWidth, mh = state->halfHeight;
    ShowEffectLayer(context);
    if (context->current == 0) state->position = 0;
    if (state->position >= height - mh - step - 1) {
        state->position = height - mh - step - 1;
        *done = 1;
    }
    const int32_t p = state->position;
    // The left half moves down from the top and from the middle.
    CopyEffectBand(context, 0, p, mw, step + 1);
    CopyEffectBand(context, 0, mh + p, mw, step + 1);
    // The right half, with the last column of an odd width, moves up from the middle and from
    // the bottom.
    CopyEffectBand(context, mw, height - p - mh - step - 1, mw + state->oddColumn, step + 1);
    CopyEffectBand(context, mw, height - p - step - 1, mw + state->oddColumn, step + 1);
    state->position = p + step + 1;
    EndEffectFrame(context);
    return 0;
}

int StepVLines2Effect(qzEffectContext* context, int32_t* done) { return StepDoubleLines(context, done, true); }
int StepHLines2Effect(qzEffectContext* context, int32_t* done) { return StepDoubleLines(context, done, false); }
int StepHLinesEffect(qzEffectContext* context, int32_t* done) { return StepLines(context, done, false); }
int StepVLinesEffect(qzEffectContext* context, int32_t* done) { return StepLines(context, done, true); }
