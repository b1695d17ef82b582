// Drawing a rectangle of any bitmap into the effect area, for the step routines that draw work
// bitmaps or scaled pictures instead of bands of the new picture: into the layer's bitmaps when
// the effect draws through its layer, else onto the screen.
#pragma once

#include "fx/effect_context.h"

// Draws the w x h rectangle at (sx, sy) of `source` (srcWidth x srcHeight, with its mask and alpha
// channel when given) at (dx, dy) of the area. Through the layer: EffectBlit with `layerFlags`.
// Onto the screen: SafeBlt with bltFlags at (dx, dy), moved by the area's position when
// addOrigin is set (types that only run over the whole picture leave it clear).
void DrawEffectArea(qzEffectContext* context, const qzBitMap* source, const qzBitMap* mask, const qzBitMap* alpha,
                    int sx, int sy, int dx, int dy, int w, int h, int srcWidth, int srcHeight, uint32_t layerFlags,
                    bool addOrigin);

// Scales the sw x sh rectangle at (sx, sy) of `source` (colour only, not smoothed) to nw x nh and
// draws it at (dx, dy) of the area as DrawEffectArea does without moving it by the area's
// position. Nothing for an empty size. 0 or the scaling's error (nothing drawn then).
int DrawScaledEffectPart(qzEffectContext* context, const qzBitMap* source, int sx, int sy, int sw, int sh, int dx,
                         int dy, int nw, int nh, uint32_t layerFlags);
