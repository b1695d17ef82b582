// Push, slide and card (types 78 to 81, 101 to 104, 111 and 112): whole pictures moving across
// the area. Push lets the new picture push the old content out; slide moves the old content out
// over a background colour and then the new picture in; card swaps the pictures with two moving
// bands. Offsets are the area's own (the area is the whole display, or the layer of an emulated
// picture). Any step can be rendered directly.
#pragma once

#include "fx/effect_context.h"

// Where the moving picture of a slide lies for the distance s (x, y relative to the area).
void SlideOffset(int type, int s, int width, int height, int* x, int* y);

int PushEffectStep(qzEffectContext* context, int32_t* done);   // 78 to 81
int SlideEffectStep(qzEffectContext* context, int32_t* done);  // 101 to 104
int CardEffectStep(qzEffectContext* context, int32_t* done);   // 111 and 112
