#include "fx/fx_star.h"

#include <cmath>
#include <cstdlib>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/layer.h"
#include "display/picture.h"
#include "fx/fx_clock.h"
#include "gfx/bitmap.h"
#include "gfx/polygon.h"
#include "gfx/safe_blt.h"

namespace {

// Each of the four clipping passes may at most double the outline.
enum { kStarOutline = 11, kStarPoints = kStarOutline * 16 };  // per buffer

struct StarState {
    qzShapeWork work;
    qzPoint* points;  // two buffers of kStarPoints, used in turn by the clipping passes
    int32_t size;     // the star's extent along the area's longer side
};

struct StarBox {
    int32_t x0, y0, width, height;
};

StarBox StarBoxOfSize(const qzEffectContext* context, int32_t size) {
    const int32_t w = context->width, h = context->height;
    const double ratio = w >= h ? double(h) / w : double(w) / h;
    const int32_t across = static_cast<int32_t>(std::trunc(ratio * size + 1.0));
    StarBox box;
    box.width = w >= h ? size : across;
    box.height = w >= h ? across : size;
    if (box.width < 1) box.width = 1;
    if (box.height < 1) box.height = 1;
    box.x0 = (w - box.width) / 2;
    box.y0 = (h - box.height) / 2;
    return box;
}

int32_t Part(double fraction, int32_t extent) { return static_cast<int32_t>(std::trunc(fraction * extent)); }

// The outline, clipped to the area; returns the point count and where the points are.
int BuildStarOutline(const qzEffectContext* context, const StarBox& b, qzPoint* buffers, qzPoint** result) {
    const int32_t sw = b.width, sh = b.height, x0 = b.x0, y0 = b.y0, x1 = x0 + sw;
    const int32_t arms = y0 + Part(0.375, sh), waist = y0 + Part(0.6, sh);
    const qzPoint outline[kStarOutline] = {
        {x0, arms},
        {x0 + Part(0.4, sw), arms},
        {x0 + sw / 2, y0},
        {x1 - Part(0.4, sw), arms},
        {x1 - 1, arms},
        {x1 - Part(0.3, sw), waist},
        {x1 - sw / 5, y0 + sh - 1},
        {x0 + sw / 2, y0 + sh - sh / 4},
        {x0 + sw / 5, y0 + sh - 1},
        {x0 + Part(0.3, sw), waist},
        {x0, arms},
    };
    qzPoint* in = buffers;
    qzPoint* out = buffers + kStarPoints;
    int n = kStarOutline;
    for (int i = 0; i < n; i++) in[i] = outline[i];
    return ClipShapeOutline(context, in, out, n, result);
}

// The picture whole: the last frame.
void DrawWholeStarPicture(qzEffectContext* context, uint32_t extraFlags) {
    const int32_t w = context->width, h = context->height;
    if (context->viaLayer && context->layer) {
        qzLayerState* st = context->layer->display;
        EffectBlit(context->image, 0, 0, st->own.bitmap, st->own.mask, st->own.alpha, 0, 0, w, h, w, h, w, h,
                   context->imageMask, context->imageAlpha, context, EffectLayerFlags(context) | extraFlags);
        return;
    }
    qzDisplay* display = CurrentDisplay();
    const qzClipRegion* clip =
        display && display->bgpic ? static_cast<const qzClipRegion*>(display->bgpic->clipRegion) : nullptr;
    SafeBlt(context->vm, context->image, 0, 0, context->target, context->x, context->y, w, h, w, h,
            context->screenWidth, context->screenHeight, context->bltFlags, context->imageMask, context->imageAlpha,
            clip);
}

// The star of the state's size into the mask and onto the screen; 1 on the last frame.
int DrawStar(qzEffectContext* context, uint32_t extraFlags) {
    StarState* state = static_cast<StarState*>(context->state);
    const StarBox box = StarBoxOfSize(context, state->size);
    if (box.width >= 4 * int64_t(context->width)) {
        DrawWholeStarPicture(context, extraFlags);
        return 1;
    }
    qzPoint* outline = nullptr;
    const int n = BuildStarOutline(context, box, state->points, &outline);
    if (n > 0) FillShapePolygon(state->work.mask, outline, n);
    const int32_t rx = box.x0 > 0 ? box.x0 : 0, ry = box.y0 > 0 ? box.y0 : 0;
    const int32_t rw = box.width < context->width ? box.width : context->width;
    const int32_t rh = box.height < context->height ? box.height : context->height;
    DrawShapeWork(context, &state->work, rx, ry, rw, rh, EFFECTBLIT_NORECORD | extraFlags);
    return 0;
}

int SetUpStar(qzEffectContext* context) {
    int error = AllocEffectState(context, sizeof(StarState));
    if (error) return error;
    StarState* state = static_cast<StarState*>(context->state);
    const int32_t w = context->width, h = context->height;
    int32_t step = GetEffectStepSize(context->speed, w > h ? w : h, 12, 6, 24);
    if (step > 100) step = 100;
    context->speed = step;
    state->size = step + 10;
    error = CreateShapeWork(context, &state->work);
    if (error) return error;
    state->points = static_cast<qzPoint*>(calloc(2 * kStarPoints, sizeof(qzPoint)));
    if (!state->points) return ERR_MEM;
    if (w >= h) {
        context->total = GetEffectStepCount(4 * w - step - 10, step, 0);
    } else {
        int32_t frames = 1;
        for (int64_t size = step + 10; StarBoxOfSize(context, int32_t(size)).width < 4 * int64_t(w); size += step)
            frames++;
        context->total = frames;
    }
    return 0;
}

}  // namespace

int StepStar(qzEffectContext* context, int32_t* done) {
    if (context->phase == QZ_EFFECT_PHASE_SETUP) return SetUpStar(context);
    StarState* state = static_cast<StarState*>(context->state);
    if (!state) return 0;
    return StepGrowingShape(context, &state->work, &state->size, DrawStar, done);
}

void FreeStarState(qzEffectContext* context, int32_t) {
    StarState* state = static_cast<StarState*>(context->state);
    if (!state) return;
    free(state->points);
    state->points = nullptr;
    FreeShapeWork(&state->work);
}
