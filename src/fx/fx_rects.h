// Growing rectangles (types 38 to 46) and shrinking rectangles (types 88 to 96): the new picture
// appears through a rectangle of the area's aspect ratio that grows from a point, an edge or a
// corner, or around a rectangle of old content that shrinks towards one.
#pragma once

#include "fx/effect_context.h"

int StepGrowRectEffect(qzEffectContext* context, int32_t* done);
int StepShrinkRectEffect(qzEffectContext* context, int32_t* done);
