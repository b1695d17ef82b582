#include "fx/fx_spiral.h"

namespace {

enum { kSpiralColumns = 7, kSpiralRows = 6, kSpiralSegments = 12 };

struct SpiralState {
    int32_t cursor;
    int32_t segment;
    int32_t fixedX;  // the column of a vertical segment
    int32_t fixedY;  // the row of a horizontal segment
    int32_t columnWidth[kSpiralColumns];
    int32_t rowHeight[kSpiralRows];
    int32_t dryRun;  // counting the frames: nothing is drawn
};

// One straight run of the cursor: along a column (vertical) or along a row, from start towards end.
struct SpiralSegment {
    bool vertical;
    int32_t fixed;  // x of the column or y of the row
    int32_t start, end;
};

// The twelve segments run down the right column, left along the bottom row, up the left column
// and right along the top row, then the same one ring further in, three times.
SpiralSegment GetSpiralSegment(const qzEffectContext* context, const SpiralState* state, int32_t segment) {
    const int32_t w = context->width, h = context->height, speed = context->speed;
    const int32_t c = state->columnWidth[0], r = state->rowHeight[0];
    const int32_t ring = segment / 4;  // 0, 1, 2 rings in
    SpiralSegment s = {};
    switch (segment % 4) {
    case 0:  // down the column ring + 1 from the right
        s = {true, w - (ring + 1) * c, ring * r, ring == 0 ? h - 1 : h - ring * r};
        break;
    case 1:  // left along the row ring + 1 from the bottom (the innermost one counted from the top)
        s = {false, ring == 2 ? 3 * r : h - (ring + 1) * r, w - (ring + 1) * c - speed, ring * c};
        break;
    case 2:  // up the column ring from the left
        s = {true, ring * c, (ring == 2 ? 3 * r : h - (ring + 1) * r) - speed, ring * r};
        break;
    default:  // right along the row ring from the top
        s = {false, ring * r, (ring + 1) * c, w - (ring + 1) * c};
        break;
    }
    // A start that lies past its end (a small area, a large step) starts at the end.
    const bool forwards = segment % 4 == 0 || segment % 4 == 3;
    if (forwards ? s.start > s.end : s.start < s.end) s.start = s.end;
    return s;
}

void StartSpiralSegment(const qzEffectContext* context, SpiralState* state, int32_t segment) {
    const SpiralSegment s = GetSpiralSegment(context, state, segment);
    state->segment = segment;
    state->cursor = s.start;
    if (s.vertical)
        state->fixedX = s.fixed;
    else
        state->fixedY = s.fixed;
}

}  // namespace

int StepSpiralEffect(qzEffectContext* context, int32_t* done) {
    const int32_t w = context->width, h = context->height;
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        const int error = AllocEffectState(context, sizeof(SpiralState));
        if (error) return error;
        SpiralState* state = static_cast<SpiralState*>(context->state);
        int32_t speed = context->speed;
        if (speed == QZ_EFFECT_NORMALSPEED)
            speed = 10;
        else if (speed == QZ_EFFECT_FASTSPEED)
            speed = 15;
        else if (speed == QZ_EFFECT_SLOWSPEED)
            speed = 5;
        else if (speed < 1)
            speed = 1;
        else if (speed > 30)
            speed = 30;
        context->speed = speed;
        for (int32_t& width : state->columnWidth) width = w / kSpiralColumns + 1;
        for (int32_t& height : state->rowHeight) height = h / kSpiralRows + 1;
        // Count the frames by walking the spiral once without drawing.
        context->phase = QZ_EFFECT_PHASE_NEXT;
        context->current = 0;
        state->dryRun = 1;
        int32_t finished = 0;
        while (!finished) StepSpiralEffect(context, &finished);
        context->total = context->current;
        context->current = 0;
        context->phase = QZ_EFFECT_PHASE_SETUP;
        state->dryRun = 0;
        state->fixedY = 0;
        StartSpiralSegment(context, state, 0);
        return 0;
    }
    if (context->phase != QZ_EFFECT_PHASE_NEXT) return 0;
    SpiralState* state = static_cast<SpiralState*>(context->state);
    const int32_t speed = context->speed;
    if (context->current == 0) {
        state->fixedY = 0;
        StartSpiralSegment(context, state, 0);
    }
    if (!state->dryRun) {
        ShowEffectLayer(context);
        if (state->segment % 2 == 0)
            CopyEffectBand(context, state->fixedX, state->cursor, state->columnWidth[0], speed);
        else
            CopyEffectBand(context, state->cursor, state->fixedY, speed, state->rowHeight[0]);
    }
    const SpiralSegment s = GetSpiralSegment(context, state, state->segment);
    if (state->cursor == s.end) {
        if (state->segment == kSpiralSegments - 1)
            *done = 1;
        else
            StartSpiralSegment(context, state, state->segment + 1);
    } else if (s.end > state->cursor) {
        state->cursor = state->cursor + speed > s.end ? s.end : state->cursor + speed;
    } else {
        state->cursor = state->cursor - speed < s.end ? s.end : state->cursor - speed;
    }
    if (state->dryRun)
        context->current++;
    else
        EndEffectFrame(context);
    return 0;
}
