// Curtains (types 24 to 27) and reveals (types 30 to 33): the new picture appears behind one or
// two straight edges that move across the area. Every band is one step plus one pixel thick and
// covers the whole extent of the other axis.
#pragma once

#include "fx/effect_context.h"

int StepVOpenCurtainEffect(qzEffectContext* context, int32_t* done);
int StepVCloseCurtainEffect(qzEffectContext* context, int32_t* done);
int StepHOpenCurtainEffect(qzEffectContext* context, int32_t* done);
int StepHCloseCurtainEffect(qzEffectContext* context, int32_t* done);
int StepRevealLeftEffect(qzEffectContext* context, int32_t* done);
int StepRevealRightEffect(qzEffectContext* context, int32_t* done);
int StepRevealTopEffect(qzEffectContext* context, int32_t* done);
int StepRevealBottomEffect(qzEffectContext* context, int32_t* done);
