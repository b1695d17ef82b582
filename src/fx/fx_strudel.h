// The strudel (type 138): the new picture turns in through a swirl around the area's centre while
// it fades in over the old picture (or, hiding a layer, the object turns and fades out); the
// swirl winds up over 360 progress steps and back over the next 360.
#pragma once

#include "fx/effect_context.h"

int StepStrudel(qzEffectContext* context, int32_t* done);
void FreeStrudelState(qzEffectContext* context, int32_t completed);
