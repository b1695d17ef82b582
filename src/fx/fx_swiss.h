// Swiss (type 106), quad rectangles (107), split (108, 109) and up-and-down (110): the new
// picture appears in fixed regions that grow at once. Swiss grows four corner rectangles towards
// the centre; quad rectangles grow a centred rectangle in two opposite quarters and then in the
// other two; split opens strips from the centre of each half outwards; up-and-down reveals eight
// columns in pairs, one of each pair downwards and the other upwards.
#pragma once

#include "fx/effect_context.h"

int StepSwissEffect(qzEffectContext* context, int32_t* done);
int StepQuadRectEffect(qzEffectContext* context, int32_t* done);
int StepSplitEffect(qzEffectContext* context, int32_t* done);
int StepUpAndDownEffect(qzEffectContext* context, int32_t* done);

// The rectangle that grows with k in an area of w x h: k along the longer side, the other side in
// proportion plus one (at least 1).
void SizedEffectRect(int32_t w, int32_t h, int32_t k, int32_t* rectWidth, int32_t* rectHeight);
