// Turn down (types 128 to 131), like turning a page: in the first half the old content's near
// half is squeezed towards the middle while the new picture's near half unrolls from the near
// edge into the space it frees; in the second half the new picture's far half unrolls from the
// middle to the far edge over the old content. The near edge is the top, bottom, left or right.
#pragma once

#include "fx/effect_context.h"

int StepTurnDownEffect(qzEffectContext* context, int32_t* done);
