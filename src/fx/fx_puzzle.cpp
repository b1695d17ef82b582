#include "fx/fx_puzzle.h"

#include <cstdint>
#include <cstdlib>

#include "base/error_codes.h"

namespace {

struct PuzzleState {
    int32_t index;  // the next position in the order
    int32_t count;
    int32_t columns;
    int32_t tile;
    int32_t* order;  // malloc'd
};

struct DiagonalState {
    int32_t front;  // the front position in pixels
    int32_t rows;   // active tile rows
    int32_t tile;
};

}  // namespace

int FillPuzzleOrder(int32_t* order, int32_t count) {
    if (count < 1) return 0;
    uint8_t* used = static_cast<uint8_t*>(calloc(static_cast<size_t>(count), 1));
    if (!used) return ERR_MEM;
    for (int32_t i = 0; i < count; i++) {
        const int32_t drawn = static_cast<int32_t>(drand48() * count);
        int32_t r = drawn;
        while (r > 0 && used[r]) r--;
        if (used[r]) {
            r = drawn + 1;
            while (used[r]) r++;
        }
        used[r] = 1;
        order[i] = r;
    }
    free(used);
    return 0;
}

int StepPuzzleEffect(qzEffectContext* context, int32_t* done) {
    const int32_t w = context->width, h = context->height;
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        const int error = AllocEffectState(context, sizeof(PuzzleState));
        if (error) return error;
        PuzzleState* state = static_cast<PuzzleState*>(context->state);
        int32_t tile = GetEffectStepSize(context->speed, w, 20, 10, 30);
        if (tile < 5) tile = 5;
        state->tile = tile;
        state->columns = w / tile + 1;
        const int64_t count = int64_t(state->columns) * (h / tile + 1);
        if (count > INT32_MAX / int64_t(sizeof(int32_t))) return ERR_MEM;
        state->count = static_cast<int32_t>(count);
        state->order = static_cast<int32_t*>(malloc(sizeof(int32_t) * static_cast<size_t>(count)));
        if (!state->order) return ERR_MEM;
        for (int32_t i = 0; i < state->count; i++) state->order[i] = -1;
        const int filled = FillPuzzleOrder(state->order, state->count);
        if (filled) return filled;
        context->speed = tile;
        context->total = GetEffectStepCount(state->count - 1, 1, 0);
        return 0;
    }
    if (context->phase != QZ_EFFECT_PHASE_NEXT) return 0;
    PuzzleState* state = static_cast<PuzzleState*>(context->state);
    if (context->current == 0) state->index = 0;
    ShowEffectLayer(context);
    if (state->index >= state->count - 1) *done = 1;
    if (state->index < state->count) {
        const int32_t n = state->order[state->index];
        const int32_t t = state->tile;
        CopyEffectBand(context, (n % state->columns) * t, (n / state->columns) * t, t, t);
        state->index++;
    }
    EndEffectFrame(context);
    return 0;
}

void FreePuzzleEffect(qzEffectContext* context, int32_t completed) {
    (void)completed;
    PuzzleState* state = static_cast<PuzzleState*>(context->state);
    if (!state) return;
    free(state->order);
    state->order = nullptr;
}

int StepDiagonalEffect(qzEffectContext* context, int32_t* done) {
    const int32_t w = context->width, h = context->height;
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        const int error = AllocEffectState(context, sizeof(DiagonalState));
        if (error) return error;
        DiagonalState* state = static_cast<DiagonalState*>(context->state);
        int32_t tile = GetEffectStepSize(context->speed, w, 60, 20, 130);
        if (tile > w / 4) tile = 1;
        state->tile = tile;
        state->front = tile;
        context->speed = tile;
        context->total = GetEffectStepCount(w + h - tile, tile, 0);
        return 0;
    }
    if (context->phase != QZ_EFFECT_PHASE_NEXT) return 0;
    DiagonalState* state = static_cast<DiagonalState*>(context->state);
    const int32_t t = state->tile;
    if (context->current == 0) {
        state->front = t;
        state->rows = 0;
    }
    ShowEffectLayer(context);
    if (state->front >= w + h) {
        state->front = w + h;
        *done = 1;
    }
    if (state->rows < h / t + 1) state->rows++;
    for (int32_t r = 0; r < state->rows; r++) CopyEffectBand(context, state->front - (r + 1) * t, r * t, t, t);
    state->front += t;
    EndEffectFrame(context);
    return 0;
}
