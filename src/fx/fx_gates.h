// Gates (types 74 to 77): the picture splits into two halves that move like the wings of a gate.
// Opening gates push the halves of the old content apart over the still new picture; closing
// gates bring the halves of the new picture in from both edges over the old content. Offsets are
// the area's own (the area is the whole display, or the layer of an emulated picture). Any step
// can be rendered directly.
#pragma once

#include "fx/effect_context.h"

int HOpenGateEffectStep(qzEffectContext* context, int32_t* done);   // 74
int HCloseGateEffectStep(qzEffectContext* context, int32_t* done);  // 75
int VOpenGateEffectStep(qzEffectContext* context, int32_t* done);   // 76
int VCloseGateEffectStep(qzEffectContext* context, int32_t* done);  // 77
