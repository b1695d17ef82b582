// The sun (type 114): an ellipse with the area's proportions grows from the centre until it
// covers the area, revealing the picture through it.
#pragma once

#include "fx/effect_context.h"

int StepSun(qzEffectContext* context, int32_t* done);
void FreeSunState(qzEffectContext* context, int32_t completed);
