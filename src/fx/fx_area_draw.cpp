#include "fx/fx_area_draw.h"

#include "display/display.h"
#include "display/layer.h"
#include "display/picture.h"
#include "gfx/bitmap.h"
#include "gfx/safe_blt.h"
#include "gfx/scale_bitmap.h"

void DrawEffectArea(qzEffectContext* context, const qzBitMap* source, const qzBitMap* mask, const qzBitMap* alpha,
                    int sx, int sy, int dx, int dy, int w, int h, int srcWidth, int srcHeight, uint32_t layerFlags,
                    bool addOrigin) {
    if (w < 1 || h < 1) return;
    if (context->viaLayer && context->layer) {
        qzLayerState* st = context->layer->display;
        EffectBlit(source, sx, sy, st->own.bitmap, st->own.mask, st->own.alpha, dx, dy, w, h, srcWidth, srcHeight,
                   context->width, context->height, mask, alpha, context, layerFlags);
        return;
    }
    qzDisplay* display = CurrentDisplay();
    const qzBGPic* pic = display ? display->bgpic : nullptr;
    const qzClipRegion* clip = pic ? static_cast<const qzClipRegion*>(pic->clipRegion) : nullptr;
    if (addOrigin) {
        dx += context->x;
        dy += context->y;
    }
    SafeBlt(context->vm, source, sx, sy, context->target, dx, dy, w, h, srcWidth, srcHeight, context->screenWidth,
            context->screenHeight, context->bltFlags, mask, alpha, clip);
}

int DrawScaledEffectPart(qzEffectContext* context, const qzBitMap* source, int sx, int sy, int sw, int sh, int dx,
                         int dy, int nw, int nh, uint32_t layerFlags) {
    if (!source || sw < 1 || sh < 1 || nw < 1 || nh < 1) return 0;
    if (nw == sw && nh == sh) {
        DrawEffectArea(context, source, nullptr, nullptr, sx, sy, dx, dy, nw, nh, source->width, source->height,
                       layerFlags, false);
        return 0;
    }
    qzBitMap* scaled = nullptr;
    const int error =
        ScaleBitMap(source, nullptr, nullptr, sx, sy, nullptr, sw, sh, nw, nh, 0, &scaled, nullptr, nullptr);
    if (error) return error;
    if (!scaled) return 0;
    DrawEffectArea(context, scaled, nullptr, nullptr, 0, 0, dx, dy, nw, nh, nw, nh, layerFlags, false);
    DeleteBitMap(scaled);
    return 0;
}
