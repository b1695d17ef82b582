// The pixel zoom (types 132 and 133): the picture appears through coarse blocks that shrink to
// single pixels; type 133 first coarsens the old picture. Hiding coarsens the object, then
// removes it.
#pragma once

#include "fx/effect_context.h"

int StepPixelZoom(qzEffectContext* context, int32_t* done);
void FreePixelZoomState(qzEffectContext* context, int32_t completed);
