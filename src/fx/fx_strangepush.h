// Interlaced push (types 99 and 100): the new picture's odd rows enter from the left (or the top)
// and its even rows from the right (or the bottom); the halves meet in place, so the picture looks
// combed while the effect runs. Hiding runs the same motion backwards.
#pragma once

#include "fx/effect_context.h"

int StepInterlacedPushEffect(qzEffectContext* context, int32_t* done);
// Deletes the row combs and the work bitmap; safe to call twice.
void FreeInterlacedPushEffect(qzEffectContext* context, int32_t completed);
