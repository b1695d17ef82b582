// Water (types 134 to 137): circular ripples spread from the centre of the area while the new
// picture fades in over the old one (or the object fades out); they grow during the first half of
// the effect and die down during the second. The types differ only in the wavelength.
#pragma once

#include "fx/effect_context.h"

int StepWater(qzEffectContext* context, int32_t* done);
void FreeWaterState(qzEffectContext* context, int32_t completed);
