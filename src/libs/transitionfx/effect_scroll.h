// The scroll effects (types 47 to 54): the picture or the layer slides in from outside the
// display, or out of it, through the object mover; the routine draws nothing itself.
#pragma once

#include <cstdint>

struct qzEffectContext;
struct qzLayer;

// The step routine of the scroll types: phase 0 prepares the move, phase 1 moves one frame.
int ScrollEffectStep(qzEffectContext* context, int32_t* done);
// Puts a layer back where it stood before the effect and frees the move.
void ScrollEffectFree(qzEffectContext* context, int32_t completed);
// The move follows the effect to the layer that replaces the one it slid.
void RetargetScrollEffect(qzEffectContext* context, qzLayer* layer);
