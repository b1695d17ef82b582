// Spiral (type 105): the new picture appears along a rectangular spiral that runs clockwise from
// the top-right corner inwards over three rings of a 7 x 6 grid; a cursor walks twelve straight
// segments and uncovers one block per frame.
#pragma once

#include "fx/effect_context.h"

int StepSpiralEffect(qzEffectContext* context, int32_t* done);
