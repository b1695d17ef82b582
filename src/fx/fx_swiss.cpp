#include "fx/fx_swiss.h"

namespace {

struct SwissState {
    int32_t s;
    int32_t pw, ph;  // the corner rectangle of the previous frame
};

struct QuadRectState {
    int32_t pw, ph;  // the rectangle of the previous frame
    int32_t total;   // how far the rectangles have grown in all
    int32_t base;    // total at the switch to the second pair of quarters
    int32_t secondHalf;
    int32_t switched;
};

struct SplitState {
    int32_t a, b;  // the strip moving towards the start of each half and the one moving away
};

struct UpAndDownState {
    int32_t pos;
    int32_t pair;
};

int32_t LongerSide(const qzEffectContext* context) {
    return context->width > context->height ? context->width : context->height;
}

// The step size of the family: the speed over the longer side, within 1..30.
int32_t FamilyStepSize(const qzEffectContext* context, int normalDivisor, int fastDivisor, int slowDivisor) {
    const int32_t speed =
        GetEffectStepSize(context->speed, LongerSide(context), normalDivisor, fastDivisor, slowDivisor);
    return speed > 30 ? 30 : speed;
}

int32_t CeilDiv(int32_t a, int32_t b) { return a < 1 ? 0 : (a + b - 1) / b; }

// A step count given as a number of frames (1 when below 1).
int32_t FrameCount(int32_t frames) { return frames < 1 ? 1 : frames; }

void DrawWholePicture(qzEffectContext* context) { CopyEffectBand(context, 0, 0, context->width, context->height); }

}  // namespace

void SizedEffectRect(int32_t w, int32_t h, int32_t k, int32_t* rectWidth, int32_t* rectHeight) {
    const int32_t longer = w > h ? w : h;
    const double ratio = double(w < h ? w : h) / longer;
    int32_t other = static_cast<int32_t>(ratio * k + 1.0);
    if (other < 1) other = 1;
    if (w < h) {
        *rectHeight = k;
        *rectWidth = other;
    } else {
        *rectWidth = k;
        *rectHeight = other;
    }
}

int StepSwissEffect(qzEffectContext* context, int32_t* done) {
    const int32_t w = context->width, h = context->height, half = LongerSide(context) / 2;
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        const int error = AllocEffectState(context, sizeof(SwissState));
        if (error) return error;
        context->speed = FamilyStepSize(context, 120, 60, 240);
        context->total = FrameCount(CeilDiv(half, context->speed));
        return 0;
    }
    if (context->phase != QZ_EFFECT_PHASE_NEXT) return 0;
    SwissState* state = static_cast<SwissState*>(context->state);
    if (context->current == 0) *state = {};
    ShowEffectLayer(context);
    state->s += context->speed;
    int32_t cw = 0, ch = 0;
    SizedEffectRect(w, h, state->s, &cw, &ch);
    const int32_t pw = state->pw, ph = state->ph;
    if (state->s < half) {
        // Each corner grows by an L-shaped band around its previous rectangle.
        CopyEffectBand(context, pw, 0, cw - pw, ch);  // top-left
        CopyEffectBand(context, 0, ph, cw, ch - ph);
        CopyEffectBand(context, 0, h - ch, cw, ch - ph);  // bottom-left
        CopyEffectBand(context, pw, h - ph, cw - pw, ph);
        CopyEffectBand(context, w - cw, h - ch, cw, ch - ph);  // bottom-right
        CopyEffectBand(context, w - cw, h - ph, cw - pw, ph);
        CopyEffectBand(context, w - cw, 0, cw - pw, ch);  // top-right
        CopyEffectBand(context, w - cw, ph, cw, ch - ph);
    } else {
        *done = 1;
        DrawWholePicture(context);
    }
    state->pw = cw;
    state->ph = ch;
    EndEffectFrame(context);
    return 0;
}

int StepQuadRectEffect(qzEffectContext* context, int32_t* done) {
    const int32_t w = context->width, h = context->height, longer = LongerSide(context);
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        const int error = AllocEffectState(context, sizeof(QuadRectState));
        if (error) return error;
        context->speed = FamilyStepSize(context, 120, 60, 240);
        // The rectangles start again once the first pair of quarters is full, so an area that
        // one step covers still takes a frame per pair.
        const int32_t frames = CeilDiv(longer, context->speed);
        context->total = frames < 2 ? 2 : frames;
        return 0;
    }
    if (context->phase != QZ_EFFECT_PHASE_NEXT) return 0;
    QuadRectState* state = static_cast<QuadRectState*>(context->state);
    if (context->current == 0) *state = {};
    ShowEffectLayer(context);
    const int32_t qw = w / 2, qh = h / 2;
    state->total += context->speed;
    int32_t cw = 0, ch = 0;
    SizedEffectRect(w, h, state->total - state->base, &cw, &ch);
    if (cw >= qw) {
        cw = qw;
        ch = qh;
    }
    const int32_t pw = state->pw, ph = state->ph;
    const int32_t ox = (qw - cw) / 2, oy = (qh - ch) / 2;
    const int32_t ax = (cw - pw) / 2 + 1, ay = (ch - ph) / 2 + 1;
    // Before the switch the top-left and bottom-right quarters, after it the top-right and
    // bottom-left ones; the quarters of an odd side start one pixel further on.
    const int32_t shiftX = qw + (w & 1), shiftY = qh + (h & 1);
    const int32_t quarterX[2] = {state->switched ? shiftX : 0, state->switched ? 0 : shiftX};
    const int32_t quarterY[2] = {0, shiftY};
    for (int q = 0; q < 2; q++) {
        const int32_t x = quarterX[q] + ox, y = quarterY[q] + oy;
        CopyEffectBand(context, x, y, ax, ch);                 // left
        CopyEffectBand(context, x + ax, y, pw, ay);            // top
        CopyEffectBand(context, x + cw - ax, y, ax, ch);       // right
        CopyEffectBand(context, x + ax, y + ch - ay, pw, ay);  // bottom
    }
    if (state->total >= longer / 2 && !state->switched) {
        state->switched = 1;
        state->secondHalf = 1;
        state->pw = 0;
        state->ph = 0;
        state->base = state->total;
    } else if (state->total < longer) {
        state->pw = cw;
        state->ph = ch;
    } else {
        *done = 1;
        DrawWholePicture(context);
    }
    EndEffectFrame(context);
    return 0;
}

int StepSplitEffect(qzEffectContext* context, int32_t* done) {
    const bool rows = context->type == 109;
    const int32_t extent = rows ? context->height : context->width;
    const int32_t quarter = extent / 4, half = extent / 2;
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        const int error = AllocEffectState(context, sizeof(SplitState));
        if (error) return error;
        context->speed = FamilyStepSize(context, 120, 60, 240);
        context->total = FrameCount(CeilDiv(quarter + context->speed, context->speed));
        return 0;
    }
    if (context->phase != QZ_EFFECT_PHASE_NEXT) return 0;
    SplitState* state = static_cast<SplitState*>(context->state);
    const int32_t speed = context->speed;
    if (context->current == 0) {
        state->a = quarter + speed;
        state->b = quarter - speed;
    }
    ShowEffectLayer(context);
    state->a -= speed;
    state->b += speed;
    const int32_t b = state->b;
    if (state->a < 1) {
        state->a = 0;
        *done = 1;
    }
    if (state->b > half) state->b = half;
    // In each half a strip moves towards the half's start and one towards its end.
    const int32_t offsets[2] = {0, half + (extent & 1)};
    for (const int32_t offset : offsets) {
        const int32_t strips[2] = {state->a, b};
        for (const int32_t at : strips) {
            if (rows)
                CopyEffectBand(context, 0, offset + at, context->width, speed);
            else
                CopyEffectBand(context, offset + at, 0, speed, context->height);
        }
    }
    if (*done) DrawWholePicture(context);
    EndEffectFrame(context);
    return 0;
}

int StepUpAndDownEffect(qzEffectContext* context, int32_t* done) {
    const int32_t w = context->width, h = context->height;
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        const int error = AllocEffectState(context, sizeof(UpAndDownState));
        if (error) return error;
        context->speed = FamilyStepSize(context, 60, 30, 120);
        context->total = GetEffectStepCount(4 * h, context->speed, 0);
        return 0;
    }
    if (context->phase != QZ_EFFECT_PHASE_NEXT) return 0;
    UpAndDownState* state = static_cast<UpAndDownState*>(context->state);
    const int32_t speed = context->speed, c = w / 8 + 1, strip = speed + 2;
    // The columns of each pair: the one revealed downwards, then the one revealed upwards.
    static const int32_t kDown[4] = {0, 3, 4, 7};
    static const int32_t kUp[4] = {1, 2, 5, 6};
    if (context->current == 0) *state = {};
    ShowEffectLayer(context);
    const int32_t pair = state->pos / h, r = state->pos % h;
    if (pair != state->pair) {
        CopyEffectBand(context, 0, r, c, strip);
        CopyEffectBand(context, c, 0, c, strip);
        // A step longer than the area can jump past the fourth pair: any pair from 4 on ends.
        if (pair < 4) {
            state->pair = pair;
            CopyEffectBand(context, kDown[pair] * c, 0, c, strip);
            CopyEffectBand(context, kUp[pair] * c, h - speed - 1, c, strip);
        }
    }
    if (pair >= 4) {
        DrawWholePicture(context);
        *done = 1;
    } else {
        int32_t u = h - r - speed;
        if (u < 1) u = 1;
        CopyEffectBand(context, kDown[pair] * c, r, c, strip);
        CopyEffectBand(context, kUp[pair] * c, u - 1, c, strip);
    }
    state->pos += speed;
    EndEffectFrame(context);
    return 0;
}
