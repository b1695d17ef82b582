#include "fx/fx_flipcoin.h"

#include "fx/fx_crush.h"

namespace {

struct FlipCoinState {
    int32_t progress;
    int32_t x, y, width, height;  // the rectangle drawn last
};

bool AlongWidth(int type) { return type == 126 || type == 127; }

// Paints, in the area's coordinates, what the previous rectangle covered and the new one
// (x, y, n along the shrinking axis) does not.
void PaintUncovered(qzEffectContext* context, const FlipCoinState* s, int32_t x, int32_t y, int32_t n) {
    const uint32_t colour = uint32_t(context->parameter) & 0xFFFFFF;
    const int32_t ax = context->viaLayer ? 0 : context->x, ay = context->viaLayer ? 0 : context->y;
    auto fill = [&](int32_t fx, int32_t fy, int32_t fw, int32_t fh) {
        FillEffectRect(context, ax + fx, ay + fy, fw, fh, colour, 0);
    };
    switch (context->type) {
    case 125: fill(s->x, s->y, s->width, s->height - n); break;
    case 127: fill(s->x, s->y, s->width - n, s->height); break;
    case 126:
        fill(s->x, s->y, x - s->x + 1, s->height);
        fill(x + n - 1, s->y, s->x + s->width - (x + n) + 1, s->height);
        break;
    default:
        fill(s->x, s->y, s->width, y - s->y + 1);
        fill(s->x, y + n - 1, s->width, s->y + s->height - (y + n) + 1);
        break;
    }
}

}  // namespace

int StepFlipCoin(qzEffectContext* context, int32_t* done) {
    const int type = context->type;
    const int32_t w = context->width, h = context->height;
    const int32_t extent = AlongWidth(type) ? w : h;
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        const int error = AllocEffectState(context, sizeof(FlipCoinState));
        if (error) return error;
        FlipCoinState* s = static_cast<FlipCoinState*>(context->state);
        context->speed = GetEffectStepSize(context->speed, extent, 60, 30, 120);
        if (context->parameter == QZ_EFFECT_RANDOMPARAMETER) context->parameter = 0;
        *s = {context->speed, 0, 0, w, h};
        context->total = GetEffectStepCount(2 * extent - context->speed, context->speed, 0);
        return 0;
    }
    FlipCoinState* s = static_cast<FlipCoinState*>(context->state);
    if (!s) return 0;
    const int32_t step = context->speed;
    const int64_t twice = 2 * int64_t(extent);
    if (context->phase == QZ_EFFECT_PHASE_RENDER) {
        FillEffectRect(context, context->viaLayer ? 0 : context->x, context->viaLayer ? 0 : context->y, w, h,
                       uint32_t(context->parameter) & 0xFFFFFF, EFFECTBLIT_NOPRESENT);
        const int64_t at = int64_t(context->current) * step;
        s->progress = int32_t(at < twice ? at : twice);
        *s = {s->progress, 0, 0, w, h};
    } else {
        if (context->current == 0) *s = {step, 0, 0, w, h};
        ShowEffectLayer(context);
    }
    int32_t progress = s->progress;
    if (progress >= twice) {
        *done = 1;
        progress = int32_t(twice);
    }
    const bool shrinking = progress <= extent;
    int32_t n = progress < extent ? extent - progress : progress - extent;
    if (n < 1) n = 1;
    int32_t x = 0, y = 0, rw = w, rh = h;
    switch (type) {
    case 124:
        y = (h - n) / 2;
        rh = n;
        break;
    case 125:
        y = h - n;
        rh = n;
        break;
    case 126:
        x = (w - n) / 2;
        rw = n;
        break;
    default:
        x = w - n;
        rw = n;
        break;
    }
    if (context->bgpicEmu) RefreshEmuBuffers(context, shrinking ? 3 : 2);
    // The colour goes where the last rectangle reached beyond this one: while the old picture
    // shrinks, and on the first frame of the new one when it is still narrower than the old
    // picture's last line.
    const int32_t previous = AlongWidth(type) ? s->width : s->height;
    if (context->phase == QZ_EFFECT_PHASE_NEXT && n < previous) PaintUncovered(context, s, x, y, n);
    s->x = x;
    s->y = y;
    s->width = rw;
    s->height = rh;
    const int error = shrinking ? DrawScaledEffectPicture(context, context->oldImage, nullptr, nullptr, x, y, rw, rh)
                                : DrawScaledEffectPicture(context, context->image, context->imageMask,
                                                          context->imageAlpha, x, y, rw, rh);
    if (error) return error;
    s->progress = progress + step;
    if (context->phase == QZ_EFFECT_PHASE_NEXT) EndEffectFrame(context);
    return 0;
}
