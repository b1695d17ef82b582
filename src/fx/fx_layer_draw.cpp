#include "fx/fx_layer_draw.h"

#include "display/display.h"
#include "display/layer.h"
#include "display/picture.h"
#include "fx/effect_context.h"
#include "gfx/bitmap.h"
#include "gfx/blit.h"
#include "gfx/safe_blt.h"

namespace {

const qzClipRegion* ShownClipRegion() {
    qzDisplay* display = CurrentDisplay();
    if (!display || !display->bgpic) return nullptr;
    return static_cast<const qzClipRegion*>(display->bgpic->clipRegion);
}

qzLayerState* EffectLayerState(const qzEffectContext* context) {
    if (!context->viaLayer || !context->layer) return nullptr;
    qzLayerState* st = context->layer->display;
    return st && st->own.bitmap ? st : nullptr;
}

}  // namespace

void DrawEffectPicture(qzEffectContext* context, const qzBitMap* picture, const qzBitMap* mask, const qzBitMap* alpha,
                       int pictureWidth, int pictureHeight, int sx, int sy, int dx, int dy, int w, int h,
                       uint32_t layerFlags, int atOrigin) {
    if (!picture) return;
    if (sx < 0) {
        dx -= sx;
        w += sx;
        sx = 0;
    }
    if (sy < 0) {
        dy -= sy;
        h += sy;
        sy = 0;
    }
    if (w < 1 || h < 1) return;
    if (context->viaLayer) {
        qzLayerState* st = EffectLayerState(context);
        if (!st) return;
        EffectBlit(picture, sx, sy, st->own.bitmap, st->own.mask, st->own.alpha, dx, dy, w, h, pictureWidth,
                   pictureHeight, context->width, context->height, mask, alpha, context, layerFlags);
        return;
    }
    const int ox = atOrigin ? context->x : 0;
    const int oy = atOrigin ? context->y : 0;
    SafeBlt(context->vm, picture, sx, sy, context->target, ox + dx, oy + dy, w, h, pictureWidth, pictureHeight,
            context->screenWidth, context->screenHeight, context->bltFlags, mask, alpha, ShownClipRegion());
}

void EraseEffectLayerRect(qzEffectContext* context, int x, int y, int w, int h, uint32_t flags) {
    qzLayerState* st = EffectLayerState(context);
    if (!st || w < 1 || h < 1) return;
    EffectBlit(st->own.bitmap, x, y, st->own.bitmap, st->own.mask, st->own.alpha, x, y, w, h, context->width,
               context->height, context->width, context->height, nullptr, nullptr, context, flags | EFFECTBLIT_ERASE);
}

void PresentEffectArea(qzEffectContext* context, int x, int y, int w, int h) {
    qzLayerState* st = EffectLayerState(context);
    if (!st || context->replaying || w < 1 || h < 1) return;
    PresentEffectRect(context, st->own.bitmap, x, y, context->x + x, context->y + y, w, h, context->width,
                      context->height, st->own.mask, st->own.alpha, 0);
}

void ComposeEffectPicture(const qzBitMap* src, const qzBitMap* mask, const qzBitMap* alpha, int sx, int sy,
                          qzBitMap* dst, int dx, int dy, int w, int h) {
    if (!src || !dst || !ClipEffectBlit(sx, sy, dx, dy, w, h, src->width, src->height, dst->width, dst->height)) return;
    if (mask)
        BlitBitMapMasked(src, sx, sy, dst, dx, dy, w, h, mask);
    else if (alpha)
        BlitBitMapAlpha(src, sx, sy, dst, dx, dy, w, h, alpha);
    else
        BlitBitMap(src, sx, sy, dst, dx, dy, w, h);
}

uint32_t EffectFrameFlags(const qzEffectContext* context, uint32_t base) {
    if (context->replaying || context->bufferedDisplay) base |= EFFECTBLIT_NOPRESENT;
    return base;
}
