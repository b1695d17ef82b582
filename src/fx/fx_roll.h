// Roll and wallpaper (types 84 to 87): the new picture unrolls like a roll of paper from the top
// or the left edge; a band at the moving edge shows the picture bent over the roll, behind it the
// picture lies flat, ahead of it the old picture still shows. Hiding rolls the object up again.
// The wallpaper types have a thicker roll. The state is released by FreeRollState.
#pragma once

#include "fx/effect_context.h"

int StepRoll(qzEffectContext* context, int32_t* done);
