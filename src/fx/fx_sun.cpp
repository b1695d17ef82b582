#include "fx/fx_sun.h"

#include <cmath>
#include <cstdlib>

#include "base/error_codes.h"
#include "fx/fx_clock.h"
#include "gfx/blit.h"
#include "gfx/draw_modes.h"
#include "gfx/polygon.h"

namespace {

// The outline has a point per degree; each of the four clipping passes may at most double it.
enum { kSunOutline = 361, kSunPoints = kSunOutline * 16 };  // per buffer

struct SunState {
    qzShapeWork work;
    qzPoint* points;   // two buffers of kSunPoints, used in turn by the clipping passes
    int32_t size;      // the ellipse's diameter along the area's longer side
    int32_t counting;  // frames advance without drawing
};

int32_t OddDiameter(int32_t d) {
    if (d <= 2) d = 3;
    return d % 2 == 0 ? d + 1 : d;
}

// The ellipse of the state's size, clipped to the area; returns the point count and where the
// points are.
int BuildSunOutline(const qzEffectContext* context, SunState* state, qzPoint** result) {
    const int32_t w = context->width, h = context->height, s = state->size;
    const double ratio = w >= h ? double(h) / w : double(w) / h;
    const int32_t across = static_cast<int32_t>(std::trunc(ratio * s + 1.0));
    const int32_t dw = OddDiameter(w >= h ? s : across);
    const int32_t dh = OddDiameter(w >= h ? across : s);
    const int32_t x0 = (w - dw) / 2, y0 = (h - dh) / 2;
    qzPoint* in = state->points;
    qzPoint* out = state->points + kSunPoints;
    int n = BuildEllipsePoints(in, dw / 2, dh / 2, 0, 360);
    for (int i = 0; i < n; i++) {
        in[i].x += x0;
        in[i].y += y0;
    }
    return ClipShapeOutline(context, in, out, n, result);
}

// 1 when the clipped outline is the area's rectangle (every point a corner) or nothing.
int CoversArea(const qzEffectContext* context, const qzPoint* points, int n) {
    const int32_t right = context->width - 1, bottom = context->height - 1;
    for (int i = 0; i < n; i++)
        if ((points[i].x != 0 && points[i].x != right) || (points[i].y != 0 && points[i].y != bottom)) return 0;
    return 1;
}

// One frame of the state's size; 1 when the ellipse covers the area.
int SunFrame(qzEffectContext* context, uint32_t extraFlags) {
    SunState* state = static_cast<SunState*>(context->state);
    qzPoint* outline = nullptr;
    const int n = BuildSunOutline(context, state, &outline);
    const int covers = CoversArea(context, outline, n);
    if (state->counting) return covers;
    if (covers)
        FillMaskRect(state->work.mask, 0, 0, context->width, context->height, MASKVISIBLE);
    else
        FillShapePolygon(state->work.mask, outline, n);
    DrawShapeWork(context, &state->work, 0, 0, context->width, context->height, EFFECTBLIT_NORECORD | extraFlags);
    return covers;
}

int SetUpSun(qzEffectContext* context) {
    int error = AllocEffectState(context, sizeof(SunState));
    if (error) return error;
    SunState* state = static_cast<SunState*>(context->state);
    const int32_t w = context->width, h = context->height;
    int32_t step = GetEffectStepSize(context->speed, w > h ? w : h, 12, 6, 24);
    if (step > 100) step = 100;
    context->speed = step;
    error = CreateShapeWork(context, &state->work);
    if (error) return error;
    state->points = static_cast<qzPoint*>(calloc(2 * kSunPoints, sizeof(qzPoint)));
    if (!state->points) return ERR_MEM;
    // The frame count: the sizes up to the first that covers the area. The guard only bounds a
    // broken loop: a diameter of twice the longer side covers any area.
    state->counting = 1;
    int32_t frames = 0;
    const int64_t guard = 2 * int64_t(w > h ? w : h) / step + 16;
    for (state->size = step + 10; frames < guard; state->size += step) {
        frames++;
        if (SunFrame(context, 0)) break;
    }
    state->counting = 0;
    context->total = frames;
    context->current = 0;
    state->size = step + 10;
    return 0;
}

}  // namespace

int StepSun(qzEffectContext* context, int32_t* done) {
    if (context->phase == QZ_EFFECT_PHASE_SETUP) return SetUpSun(context);
    SunState* state = static_cast<SunState*>(context->state);
    if (!state) return 0;
    return StepGrowingShape(context, &state->work, &state->size, SunFrame, done);
}

void FreeSunState(qzEffectContext* context, int32_t) {
    SunState* state = static_cast<SunState*>(context->state);
    if (!state) return;
    free(state->points);
    state->points = nullptr;
    FreeShapeWork(&state->work);
}
