// The dissolve (type 139): every pixel of the area gets a random threshold once; each frame
// raises a level and shows (or, hiding a layer, clears) the pixels whose threshold lies below it.
#pragma once

#include "fx/effect_context.h"

int StepDissolve(qzEffectContext* context, int32_t* done);
void FreeDissolveState(qzEffectContext* context, int32_t completed);
