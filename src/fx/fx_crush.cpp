#include "fx/fx_crush.h"

#include "display/display.h"
#include "display/layer.h"
#include "display/picture.h"
#include "gfx/bitmap.h"
#include "gfx/safe_blt.h"
#include "gfx/scale_bitmap.h"

namespace {

const qzClipRegion* ShownClipRegion() {
    qzDisplay* display = CurrentDisplay();
    return display && display->bgpic ? static_cast<const qzClipRegion*>(display->bgpic->clipRegion) : nullptr;
}

bool Horizontal(int type) { return type == 120 || type == 121; }

}  // namespace

int DrawScaledEffectPicture(qzEffectContext* context, const qzBitMap* picture, const qzBitMap* mask,
                            const qzBitMap* alpha, int rx, int ry, int rw, int rh) {
    if (!picture || rw < 1 || rh < 1) return 0;
    qzBitMap *scaled = nullptr, *scaledMask = nullptr, *scaledAlpha = nullptr;
    const int error = ScaleBitMap(picture, mask, alpha, 0, 0, nullptr, context->width, context->height, rw, rh, 0,
                                  &scaled, mask ? &scaledMask : nullptr, alpha ? &scaledAlpha : nullptr);
    if (error) return error;
    if (!scaled) return 0;
    if (context->viaLayer && context->layer) {
        qzLayerState* st = context->layer->display;
        const bool quiet = context->phase == QZ_EFFECT_PHASE_RENDER || context->replaying || context->bufferedDisplay;
        EffectBlit(scaled, 0, 0, st->own.bitmap, st->own.mask, st->own.alpha, rx, ry, rw, rh, rw, rh, context->width,
                   context->height, scaledMask, scaledAlpha, context, quiet ? uint32_t(EFFECTBLIT_NOPRESENT) : 0u);
    } else {
        SafeBlt(context->vm, scaled, 0, 0, context->target, context->x + rx, context->y + ry, rw, rh, rw, rh,
                context->screenWidth, context->screenHeight, context->bltFlags, scaledMask, scaledAlpha,
                ShownClipRegion());
    }
    DeleteBitMap(scaled);
    DeleteMaskBitMap(scaledMask);
    DeleteAlphaBitMap(scaledAlpha);
    return 0;
}

int StepCrush(qzEffectContext* context, int32_t* done) {
    const int type = context->type;
    const int32_t w = context->width, h = context->height;
    const int32_t extent = Horizontal(type) ? w : h;
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        const int error = AllocEffectState(context, sizeof(int32_t));
        if (error) return error;
        context->speed = GetEffectStepSize(context->speed, extent, 60, 30, 120);
        *static_cast<int32_t*>(context->state) = context->speed;
        context->total = GetEffectStepCount(extent - context->speed, context->speed, 0);
        return 0;
    }
    int32_t* size = static_cast<int32_t*>(context->state);
    if (!size) return 0;
    const int32_t step = context->speed;
    if (context->phase == QZ_EFFECT_PHASE_RENDER) {
        *size = int32_t(int64_t(context->current) * step < extent ? int64_t(context->current) * step : extent);
    } else {
        if (context->current == 0) *size = step;
        ShowEffectLayer(context);
    }
    int32_t n = *size;
    if (n >= extent) {
        n = extent;
        *done = 1;
    }
    if (context->bgpicEmu) RefreshEmuBuffers(context, 3);
    // The new picture's rectangle and the old one's beside it.
    int32_t nx = 0, ny = 0, nw = w, nh = h, ox = 0, oy = 0, ow = w, oh = h;
    switch (type) {
    case 120:
        nw = n;
        ox = n;
        ow = w - n;
        break;
    case 121:
        nx = w - n;
        nw = n;
        ow = w - n;
        break;
    case 122:
        nh = n;
        oy = n;
        oh = h - n;
        break;
    default:
        ny = h - n;
        nh = n;
        oh = h - n;
        break;
    }
    int error =
        DrawScaledEffectPicture(context, context->image, context->imageMask, context->imageAlpha, nx, ny, nw, nh);
    if (!error && extent - n > 0)
        error = DrawScaledEffectPicture(context, context->oldImage, nullptr, nullptr, ox, oy, ow, oh);
    if (error) return error;
    *size = n + step;
    if (context->phase == QZ_EFFECT_PHASE_NEXT) EndEffectFrame(context);
    return 0;
}
