// The star (type 98): a five-pointed star with the area's proportions grows from the centre until
// it covers the area, revealing the picture through it.
#pragma once

#include "fx/effect_context.h"

int StepStar(qzEffectContext* context, int32_t* done);
void FreeStarState(qzEffectContext* context, int32_t completed);
