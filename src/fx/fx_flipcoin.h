// Flip-coin (types 124 to 127): the old picture is squeezed along one axis down to a line, then
// the new picture grows back from it; what the shrinking picture uncovers shows a colour.
#pragma once

#include "fx/effect_context.h"

int StepFlipCoin(qzEffectContext* context, int32_t* done);
