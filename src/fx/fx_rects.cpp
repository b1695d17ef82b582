#include "fx/fx_rects.h"

#include <algorithm>

namespace {

struct GrowState {
    int32_t side;  // the current long side
};

struct ShrinkState {
    int32_t side;
    int32_t lastX, lastY;  // area-relative position of the inner rectangle of the last frame
};

struct Rect {
    int32_t x, y, w, h;
};

// Where a rectangle sits along one axis: at the start, centred or at the end.
enum { kStart = 0, kCentre = 1, kEnd = 2 };

// The anchors (horizontal, vertical) of the growing rectangle for types 38 to 46; a shrinking
// type's old rectangle sits at the opposite anchor of the growing type of the same direction.
void GrowAnchors(int32_t type, int* ax, int* ay) {
    static const int kAnchors[9][2] = {
        {kCentre, kCentre},  // centre
        {kCentre, kStart},   // north
        {kEnd, kStart},      // north-east
        {kEnd, kCentre},     // east
        {kEnd, kEnd},        // south-east
        {kCentre, kEnd},     // south
        {kStart, kEnd},      // south-west
        {kStart, kCentre},   // west
        {kStart, kStart},    // north-west
    };
    int index = type - 38;
    if (type >= 88 && type <= 96) index = type - 88;
    if (index < 0 || index > 8) index = 0;
    *ax = kAnchors[index][0];
    *ay = kAnchors[index][1];
}

int Opposite(int anchor) { return 2 - anchor; }

// The offset of a size inside an extent by the anchor (half of the rest, truncated, when centred).
int32_t AnchorOffset(int anchor, int32_t extent, int32_t size) {
    if (anchor == kStart) return 0;
    if (anchor == kEnd) return extent - size;
    return (extent - size) / 2;
}

Rect Intersect(const Rect& a, const Rect& b) {
    const int32_t left = std::max(a.x, b.x), top = std::max(a.y, b.y);
    const int32_t right = std::min(a.x + a.w, b.x + b.w), bottom = std::min(a.y + a.h, b.y + b.h);
    if (right <= left || bottom <= top) return {left, top, 0, 0};
    return {left, top, right - left, bottom - top};
}

// Draws the new picture over `outer` without `inner`: the strips above, below, left and right of
// the part of inner that lies in outer, each pixel once.
void CopyRing(qzEffectContext* context, const Rect& outer, const Rect& innerRect) {
    if (outer.w < 1 || outer.h < 1) return;
    const Rect inner = Intersect(outer, innerRect);
    if (inner.w < 1 || inner.h < 1) {
        CopyEffectBand(context, outer.x, outer.y, outer.w, outer.h);
        return;
    }
    CopyEffectBand(context, outer.x, outer.y, outer.w, inner.y - outer.y);
    CopyEffectBand(context, outer.x, inner.y + inner.h, outer.w, outer.y + outer.h - inner.y - inner.h);
    CopyEffectBand(context, outer.x, inner.y, inner.x - outer.x, inner.h);
    CopyEffectBand(context, inner.x + inner.w, inner.y, outer.x + outer.w - inner.x - inner.w, inner.h);
}

// The width and height of the rectangle whose long side is `side` in a width x height area: the
// other side keeps the area's aspect ratio, truncated after adding 1, and is at least 1.
void EffectRectSize(int32_t width, int32_t height, int32_t side, int32_t* rectWidth, int32_t* rectHeight) {
    const int32_t longSide = std::max(width, height);
    const double ratio = longSide > 0 ? double(std::min(width, height)) / longSide : 1.0;
    int32_t other = int32_t(ratio * side + 1.0);
    if (other < 1) other = 1;
    if (width < height) {
        *rectWidth = other;
        *rectHeight = side;
    } else {
        *rectWidth = side;
        *rectHeight = other;
    }
}

int32_t LongSide(const qzEffectContext* context) { return std::max(context->width, context->height); }

// Phase 0 of both routines: the step over the long side (1 when it is above a quarter of it) and
// the frame count.
int SetUpRect(qzEffectContext* context, int64_t stateBytes) {
    const int error = AllocEffectState(context, stateBytes);
    if (error) return error;
    const int32_t side = LongSide(context);
    int32_t step = GetEffectStepSize(context->speed, side, 70, 30, 200);
    if (step < 1 || step > side / 4) step = 1;
    context->speed = step;
    context->total = GetEffectStepCount(side - step, step, 0);
    return 0;
}

}  // namespace

int StepGrowRectEffect(qzEffectContext* context, int32_t* done) {
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        const int error = SetUpRect(context, sizeof(GrowState));
        if (error) return error;
        static_cast<GrowState*>(context->state)->side = context->speed;
        return 0;
    }
    if (context->phase != QZ_EFFECT_PHASE_NEXT) return 0;
    GrowState* state = static_cast<GrowState*>(context->state);
    const int32_t w = context->width, h = context->height, step = context->speed;
    ShowEffectLayer(context);
    if (context->current == 0) state->side = step;
    int ax, ay;
    GrowAnchors(context->type, &ax, &ay);

    Rect current;
    if (state->side < LongSide(context)) {
        EffectRectSize(w, h, state->side, &current.w, &current.h);
    } else {
        // The last frame: the whole area, drawn around the rectangle of two steps back.
        state->side -= step;
        *done = 1;
        current.w = w;
        current.h = h;
    }
    current.x = AnchorOffset(ax, w, current.w);
    current.y = AnchorOffset(ay, h, current.h);
    // A centred side with an odd rest grows by one, so that both margins are equal.
    if (ax == kCentre && (w - current.w) % 2 != 0) current.w++;
    if (ay == kCentre && (h - current.h) % 2 != 0) current.h++;

    Rect previous = {0, 0, 0, 0};
    if (state->side - step > 0) {
        EffectRectSize(w, h, state->side - step, &previous.w, &previous.h);
        previous.x = current.x + AnchorOffset(ax, current.w, previous.w);
        previous.y = current.y + AnchorOffset(ay, current.h, previous.h);
    }
    CopyRing(context, current, previous);
    state->side += step;
    EndEffectFrame(context);
    return 0;
}

int StepShrinkRectEffect(qzEffectContext* context, int32_t* done) {
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        const int error = SetUpRect(context, sizeof(ShrinkState));
        if (error) return error;
        static_cast<ShrinkState*>(context->state)->side = LongSide(context) - context->speed;
        return 0;
    }
    if (context->phase != QZ_EFFECT_PHASE_NEXT) return 0;
    ShrinkState* state = static_cast<ShrinkState*>(context->state);
    const int32_t w = context->width, h = context->height, step = context->speed;
    ShowEffectLayer(context);
    Rect previous;
    if (context->current == 0) {
        state->side = LongSide(context) - step;
        previous = {0, 0, w, h};
    } else {
        EffectRectSize(w, h, state->side + step, &previous.w, &previous.h);
        previous.x = state->lastX;
        previous.y = state->lastY;
    }
    int ax, ay;
    GrowAnchors(context->type, &ax, &ay);
    ax = Opposite(ax);
    ay = Opposite(ay);

    Rect inner = {0, 0, 0, 0};
    if (state->side < 1) {
        *done = 1;
    } else {
        EffectRectSize(w, h, state->side, &inner.w, &inner.h);
        inner.x = AnchorOffset(ax, w, inner.w);
        inner.y = AnchorOffset(ay, h, inner.h);
    }
    CopyRing(context, previous, inner);
    state->lastX = inner.x;
    state->lastY = inner.y;
    state->side -= step;
    EndEffectFrame(context);
    return 0;
}
