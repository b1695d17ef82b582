// Stretch and zoom (types 55 to 69): every frame the whole new picture, scaled to a rectangle that
// grows (showing) or shrinks (hiding) inside the area. The stretch types change one side, the zoom
// types both, keeping the area's aspect ratio. Any step can be rendered directly.
#pragma once

#include "fx/effect_context.h"

// The rectangle of the scaled picture, relative to the area, for a size or offset s; `ended` is
// 1 when s has reached the end of the effect (the rectangle is then the whole area, or empty).
struct qzStretchRect {
    int x, y, w, h;
    int ended;
};
qzStretchRect StretchRectFor(int type, int hide, int s, int width, int height);
// The extent the speed applies to, and s at step k.
int StretchExtent(int type, int width, int height);
int StretchSizeAtStep(int type, int hide, int speed, int step, int width, int height);

int StretchEffectStep(qzEffectContext* context, int32_t* done);
