// Flow (types 70 to 73): a band of the new picture advances from one edge and one line of the
// picture next to the band is smeared over everything ahead of it, like a liquid flowing in.
// Any step can be rendered directly.
#pragma once

#include "fx/effect_context.h"

int FlowTopEffectStep(qzEffectContext* context, int32_t* done);     // 70: rows, from the top
int FlowBottomEffectStep(qzEffectContext* context, int32_t* done);  // 71: rows, from the bottom
int FlowLeftEffectStep(qzEffectContext* context, int32_t* done);    // 72: columns, from the left
int FlowRightEffectStep(qzEffectContext* context, int32_t* done);   // 73: columns, from the right
// Deletes the work bitmap of a flow effect.
void FreeFlowEffect(qzEffectContext* context, int32_t completed);
