// Drawing whole pictures, or parts of them, at an offset of an effect's area: the common ground
// of the effect families that move, scale or smear pictures (stretch and zoom, flow, gates, push,
// slide and card). One call draws into the layer's effect bitmaps when the effect draws through
// the layer, or onto the display otherwise.
#pragma once

#include <cstdint>

struct qzBitMap;
struct qzEffectContext;

// Draws the rectangle (sx, sy, w, h) of `picture` (pictureWidth x pictureHeight, with its mask or
// alpha channel when given) at (dx, dy) of the area. A negative source coordinate moves the
// destination and shrinks the rectangle. With viaLayer: EffectBlit into the layer state's bitmap,
// mask and alpha with layerFlags. Otherwise SafeBlt onto the display with the context's bltFlags
// and the clip region of the picture on display, at (x + dx, y + dy) when atOrigin is set, else at
// (dx, dy).
void DrawEffectPicture(qzEffectContext* context, const qzBitMap* picture, const qzBitMap* mask, const qzBitMap* alpha,
                       int pictureWidth, int pictureHeight, int sx, int sy, int dx, int dy, int w, int h,
                       uint32_t layerFlags, int atOrigin);

// Clears the rectangle (x, y, w, h) of the layer state's mask or alpha channel (EffectBlit's
// erase, flag 4 added to `flags`). Nothing without a layer.
void EraseEffectLayerRect(qzEffectContext* context, int x, int y, int w, int h, uint32_t flags);

// Presents the rectangle (x, y, w, h) of the area from the layer state's bitmaps (nothing without
// a layer, or while replaying).
void PresentEffectArea(qzEffectContext* context, int x, int y, int w, int h);

// Draws the rectangle (sx, sy, w, h) of src into dst at (dx, dy), through src's mask or alpha
// channel when given (each of src's geometry), clipped to both bitmaps.
void ComposeEffectPicture(const qzBitMap* src, const qzBitMap* mask, const qzBitMap* alpha, int sx, int sy,
                          qzBitMap* dst, int dx, int dy, int w, int h);

// EffectBlit flags of the families that draw whole frames: base (0 in a frame, NOPRESENT in a
// seek or full redraw), plus NOPRESENT while replaying or on a buffered display.
uint32_t EffectFrameFlags(const qzEffectContext* context, uint32_t base);
