// Stripes (types 0 to 13) and blinds (types 14 to 23): the new picture appears in many parallel
// bands at once. Stripes sweep every other band from one side and the bands between from the
// other; blinds open every period of the area from its start, like slats.
#pragma once

#include "fx/effect_context.h"

int StepHStripesEffect(qzEffectContext* context, int32_t* done);
int StepVStripesEffect(qzEffectContext* context, int32_t* done);
int StepHBlindsEffect(qzEffectContext* context, int32_t* done);
int StepVBlindsEffect(qzEffectContext* context, int32_t* done);
