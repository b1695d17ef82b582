#include "fx/fx_zoominout.h"

#include "fx/fx_area_draw.h"
#include "gfx/bitmap.h"

namespace {

struct ZoomInOutState {
    int32_t px, py, pw, ph;  // the rectangle of the previous frame
    int32_t s;               // the progress, from the step size up to twice the longer side
};

}  // namespace

void ZoomInOutRect(int32_t w, int32_t h, int32_t s, int32_t* x, int32_t* y, int32_t* rectWidth, int32_t* rectHeight) {
    const int32_t longer = w > h ? w : h;
    if (s >= 2 * longer) {
        *x = 0;
        *y = 0;
        *rectWidth = w;
        *rectHeight = h;
        return;
    }
    int32_t d = s <= longer ? longer - s : s - longer;
    if (d < 1) d = 1;
    int32_t cw, ch;
    if (w < h) {
        ch = d;
        cw = static_cast<int32_t>(double(d) * w / h + 1.0);
    } else {
        cw = d;
        ch = static_cast<int32_t>(double(d) * h / w + 1.0);
    }
    // The side computed in proportion can pass the area by one at the very start.
    cw = cw < 1 ? 1 : (cw > w ? w : cw);
    ch = ch < 1 ? 1 : (ch > h ? h : ch);
    *x = (w - cw) / 2;
    *y = (h - ch) / 2;
    *rectWidth = cw;
    *rectHeight = ch;
}

int StepZoomInOutEffect(qzEffectContext* context, int32_t* done) {
    const int32_t w = context->width, h = context->height, longer = w > h ? w : h;
    const bool zoomIn = context->type == 118;
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        const int error = AllocEffectState(context, sizeof(ZoomInOutState));
        if (error) return error;
        ZoomInOutState* state = static_cast<ZoomInOutState*>(context->state);
        state->pw = w;
        state->ph = h;
        context->speed = GetEffectStepSize(context->speed, longer, 60, 30, 120);
        state->s = context->speed;
        context->total = GetEffectStepCount(2 * longer - context->speed, context->speed, 0);
        if (zoomIn && context->parameter == QZ_EFFECT_RANDOMPARAMETER) context->parameter = 0;
        return 0;
    }
    ZoomInOutState* state = static_cast<ZoomInOutState*>(context->state);
    const bool seek = context->phase == QZ_EFFECT_PHASE_RENDER;
    const uint32_t border = static_cast<uint32_t>(context->parameter) & 0xFFFFFF;
    const uint32_t layerFlags = EffectLayerFlags(context) | (seek ? uint32_t(EFFECTBLIT_NOPRESENT) : 0u);
    if (seek) {
        state->s = context->current * context->speed;
        if (zoomIn) FillEffectRect(context, 0, 0, w, h, border, layerFlags);
    } else {
        if (context->current == 0) {
            state->s = context->speed;
            state->px = state->py = 0;
            state->pw = w;
            state->ph = h;
        }
        ShowEffectLayer(context);
    }
    if (state->s >= 2 * longer) {
        state->s = 2 * longer;
        *done = 1;
    }
    const int32_t s = state->s;
    int32_t x = 0, y = 0, cw = 0, ch = 0;
    ZoomInOutRect(w, h, s, &x, &y, &cw, &ch);
    const bool firstHalf = s <= longer;
    if (context->bgpicEmu) RefreshEmuBuffers(context, firstHalf ? 3 : 2);
    const qzBitMap* source = firstHalf ? context->oldImage : context->image;
    int error = 0;
    if (zoomIn) {
        const int32_t px = state->px, py = state->py, pw = state->pw, ph = state->ph;
        if (!seek && firstHalf) {
            // The border takes what the shrinking picture leaves: four bands between the previous
            // rectangle and the new one, each reaching one pixel into the new one.
            FillEffectRect(context, px, py, x - px + 1, ph, border, layerFlags);
            FillEffectRect(context, px, py, pw, y - py + 1, border, layerFlags);
            FillEffectRect(context, x + cw - 1, py, px + pw - x - cw + 1, ph, border, layerFlags);
            FillEffectRect(context, px, y + ch - 1, pw, py + ph - y - ch + 1, border, layerFlags);
        } else if (!seek && (px < x || py < y || px + pw > x + cw || py + ph > y + ch)) {
            // The first rectangle of the new picture can be smaller than the last one of the old
            // content: what that leaves is border too.
            FillEffectRect(context, px, py, pw, ph, border, layerFlags);
        }
        if (source)
            error =
                DrawScaledEffectPart(context, source, 0, 0, source->width, source->height, x, y, cw, ch, layerFlags);
        state->px = x;
        state->py = y;
        state->pw = cw;
        state->ph = ch;
    } else if (source) {
        error = DrawScaledEffectPart(context, source, x, y, cw, ch, 0, 0, w, h, layerFlags);
    }
    if (error) return error;
    state->s = s + context->speed;
    if (!seek) EndEffectFrame(context);
    return 0;
}
