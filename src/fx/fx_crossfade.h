// Crossfade (type 115): the new picture fades in over the old one (or the object out) by an
// opacity that rises by the step size each frame from 0 to 255.
#pragma once

#include "fx/effect_context.h"

int StepCrossfade(qzEffectContext* context, int32_t* done);
void FreeCrossfadeState(qzEffectContext* context, int32_t completed);
