// Crush (types 120 to 123): the new picture is pushed in from one edge, scaled to the part it has
// reached, while the old picture is squeezed into the rest of the area.
#pragma once

#include "fx/effect_context.h"

int StepCrush(qzEffectContext* context, int32_t* done);

// Scales the whole of `picture` (with its mask and alpha channel when given) to rw x rh and draws
// it at (rx, ry) of the area: straight onto the display, or into the layer's bitmaps in the layer
// path (without presenting in phase 2, while replaying or on a buffered display). A size below 1
// draws nothing. 0 or the error of the scaling.
int DrawScaledEffectPicture(qzEffectContext* context, const qzBitMap* picture, const qzBitMap* mask,
                            const qzBitMap* alpha, int rx, int ry, int rw, int rh);
