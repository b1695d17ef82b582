#include "fx/fx_turndown.h"

#include "fx/fx_area_draw.h"
#include "gfx/bitmap.h"

namespace {

struct TurnDownState {
    int32_t s;  // the progress, from the step size up to the extent
};

// Where the turn runs: along the rows (top, bottom) or the columns (left, right), from the start
// of the axis or from its end.
struct TurnAxis {
    bool columns;
    bool fromEnd;
    int32_t extent;
};

TurnAxis GetTurnAxis(const qzEffectContext* context) {
    TurnAxis axis;
    axis.columns = context->type == 130 || context->type == 131;
    axis.fromEnd = context->type == 129 || context->type == 131;
    axis.extent = axis.columns ? context->width : context->height;
    return axis;
}

// Scales the lines srcStart .. srcStart + srcLength - 1 of `picture` along the axis to `length`
// lines and draws them from line `at`, both counted from the near edge.
int DrawTurnPart(qzEffectContext* context, const TurnAxis& axis, const qzBitMap* picture, int32_t srcStart,
                 int32_t srcLength, int32_t at, int32_t length, uint32_t layerFlags) {
    if (!picture || srcLength < 1 || length < 1) return 0;
    if (axis.fromEnd) {
        srcStart = axis.extent - srcStart - srcLength;
        at = axis.extent - at - length;
    }
    const int32_t w = context->width, h = context->height;
    if (axis.columns)
        return DrawScaledEffectPart(context, picture, srcStart, 0, srcLength, h, at, 0, length, h, layerFlags);
    return DrawScaledEffectPart(context, picture, 0, srcStart, w, srcLength, 0, at, w, length, layerFlags);
}

// Repaints what does not move at progress s: bit 1 the old content beyond the turning part, bit 2
// the new picture's finished near half.
int RepaintTurnRest(qzEffectContext* context, const TurnAxis& axis, int32_t s, int which, uint32_t layerFlags) {
    const int32_t half = axis.extent / 2, rest = axis.extent - half;
    if (s <= half) {
        if (which & 1) return DrawTurnPart(context, axis, context->oldImage, half, rest, half, rest, layerFlags);
        return 0;
    }
    const int32_t d = s - half;
    if (which & 1) {
        const int error =
            DrawTurnPart(context, axis, context->oldImage, half + d, rest - d, half + d, rest - d, layerFlags);
        if (error) return error;
    }
    if (which & 2) return DrawTurnPart(context, axis, context->image, 0, half, 0, half, layerFlags);
    return 0;
}

}  // namespace

int StepTurnDownEffect(qzEffectContext* context, int32_t* done) {
    const TurnAxis axis = GetTurnAxis(context);
    const int32_t extent = axis.extent, half = extent / 2, rest = extent - half;
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        const int error = AllocEffectState(context, sizeof(TurnDownState));
        if (error) return error;
        TurnDownState* state = static_cast<TurnDownState*>(context->state);
        context->speed = GetEffectStepSize(context->speed, extent, 60, 30, 120);
        state->s = context->speed;
        context->total = GetEffectStepCount(extent - context->speed, context->speed, 0);
        if (context->viaLayer && context->oldImage)
            DrawEffectArea(context, context->oldImage, nullptr, nullptr, 0, 0, 0, 0, context->width, context->height,
                           context->oldImage->width, context->oldImage->height, EFFECTBLIT_NOPRESENT, false);
        return 0;
    }
    TurnDownState* state = static_cast<TurnDownState*>(context->state);
    const bool seek = context->phase == QZ_EFFECT_PHASE_RENDER;
    const uint32_t layerFlags = EffectLayerFlags(context) | (seek ? uint32_t(EFFECTBLIT_NOPRESENT) : 0u);
    if (seek) {
        state->s = context->current * context->speed;
    } else {
        if (context->current == 0) state->s = context->speed;
        ShowEffectLayer(context);
    }
    if (state->s >= extent) {
        state->s = extent;
        *done = 1;
    }
    const int32_t s = state->s;
    // A seek starts from nothing: everything that does not move is painted first.
    int repaint = seek ? 3 : 0;
    // A step longer than the near half skips the first half: its first frame also brings the new
    // near half, as the first half's last frame would have.
    if (!seek && s > half && s - context->speed < 1) repaint |= 2;
    if (context->bgpicEmu) repaint |= RefreshEmuBuffers(context, 3);
    int error = RepaintTurnRest(context, axis, s, repaint, layerFlags);
    if (error) return error;
    if (s <= half) {
        int32_t turned = s, squeezed = half - s;
        if (s > 0 && half < s + context->speed) {
            // The last frame of the first half: the old near half is gone.
            turned = half;
            squeezed = 0;
        }
        error = DrawTurnPart(context, axis, context->image, 0, half, 0, turned, layerFlags);
        if (!error) error = DrawTurnPart(context, axis, context->oldImage, 0, half, turned, squeezed, layerFlags);
    } else {
        error = DrawTurnPart(context, axis, context->image, half, rest, half, s - half, layerFlags);
    }
    if (error) return error;
    if (*done)
        DrawEffectArea(context, context->image, context->imageMask, context->imageAlpha, 0, 0, 0, 0, context->width,
                       context->height, context->width, context->height, layerFlags, false);
    state->s = s + context->speed;
    if (!seek) EndEffectFrame(context);
    return 0;
}
