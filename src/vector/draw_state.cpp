#include "vector/draw_state.h"

namespace {

qzDrawState drawState;

}  // namespace

qzDrawState* GetDrawState() { return &drawState; }

void ResetDrawState() { drawState = qzDrawState(); }

void ClampDrawState(qzDrawState* state) {
    if (state->lineWidth < 1) state->lineWidth = 1;
    if (state->shadowSize < 1) state->shadowSize = 1;
    if (state->shadowSize > 64) state->shadowSize = 64;
    if (state->edgeSize < 1) state->edgeSize = 1;
    if (state->edgeSize > 64) state->edgeSize = 64;
    if ((uint32_t)state->shadowDirection > 7) state->shadowDirection = SHDW_SOUTHEAST;
    if ((uint32_t)state->fillStyle > 3) state->fillStyle = FILLNONE;
}
