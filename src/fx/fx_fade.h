// Fade (type 116) and blend (type 117): pass through a solid colour. Fade tints the old picture
// toward the colour and then the new picture out of it; blend tints the new picture toward the
// colour and back.
#pragma once

#include "fx/effect_context.h"

int StepFadeBlend(qzEffectContext* context, int32_t* done);
void FreeFadeBlendState(qzEffectContext* context, int32_t completed);
