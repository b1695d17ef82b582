// Fixed patterns: bars (type 28) grow in a 16-pixel grid, first across and then down; quarters
// (type 29) sweep the left half of the area down and the right half up, each in two quarters at
// once; the line effects (types 34 to 37) bring in one pixel line at a time, the even lines from
// one side and the odd lines from the other.
#pragma once

#include "fx/effect_context.h"

int StepBarsEffect(qzEffectContext* context, int32_t* done);
int StepQuartersEffect(qzEffectContext* context, int32_t* done);
int StepVLines2Effect(qzEffectContext* context, int32_t* done);
int StepHLines2Effect(qzEffectContext* context, int32_t* done);
int StepHLinesEffect(qzEffectContext* context, int32_t* done);
int StepVLinesEffect(qzEffectContext* context, int32_t* done);
