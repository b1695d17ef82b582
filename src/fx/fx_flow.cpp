#include "fx/fx_flow.h"

#include <cstdint>

#include "base/error_codes.h"
#include "fx/fx_layer_draw.h"
#include "gfx/bitmap.h"

namespace {

struct FlowState {
    qzBitMap* work;  // the area as drawn, without a layer
    int32_t pos;     // the front
};

// One of the four members: `columns` flows along x, `fromFar` starts at the far edge (bottom or
// right). The description below is in rows; columns go the same way.
struct FlowAxis {
    bool columns;
    bool fromFar;
};

// A span of lines [first, first + count) as a rectangle of the area.
struct Span {
    int x, y, w, h;
};
Span Lines(const qzEffectContext* c, FlowAxis axis, int first, int count) {
    if (axis.columns) return {first, 0, count, c->height};
    return {0, first, c->width, count};
}

int Extent(const qzEffectContext* c, FlowAxis axis) { return axis.columns ? c->width : c->height; }

int ClampPos(int64_t p, int extent, int speed) {
    const int64_t lo = -int64_t(speed), hi = int64_t(extent) + speed;
    return static_cast<int>(p < lo ? lo : p > hi ? hi : p);
}

// The front at step k (the band of step k ends, or starts, there).
int FrontAtStep(const qzEffectContext* c, FlowAxis axis, int64_t k) {
    const int extent = Extent(c, axis);
    const int64_t v = k * c->speed;
    const bool fromZero = axis.fromFar ? c->hide : !c->hide;
    return ClampPos(fromZero ? v : extent - v, extent, c->speed);
}

// Where the front moves each frame.
int FrontStep(const qzEffectContext* c, FlowAxis axis) {
    const bool fromZero = axis.fromFar ? c->hide : !c->hide;
    return fromZero ? c->speed : -c->speed;
}

// Draws `count` lines of the new picture from `line` on at lines [first, first + count), into the
// work bitmap or the layer.
void DrawLines(qzEffectContext* c, FlowState* st, FlowAxis axis, int first, int count, int line, uint32_t flags) {
    const Span dst = Lines(c, axis, first, count);
    const Span src = Lines(c, axis, line, count);
    if (dst.w < 1 || dst.h < 1) return;
    if (st->work)
        ComposeEffectPicture(c->image, c->imageMask, c->imageAlpha, src.x, src.y, st->work, dst.x, dst.y, dst.w, dst.h);
    else
        DrawEffectPicture(c, c->image, c->imageMask, c->imageAlpha, c->width, c->height, src.x, src.y, dst.x, dst.y,
                          dst.w, dst.h, flags, 1);
}

// The picture's lines [a, b), then `line` copied into every line of [fillA, fillB).
void DrawFlow(qzEffectContext* c, FlowState* st, FlowAxis axis, int a, int b, int line, int fillA, int fillB,
              uint32_t flags) {
    const int extent = Extent(c, axis);
    if (a < 0) a = 0;
    if (b > extent) b = extent;
    if (b > a) DrawLines(c, st, axis, a, b - a, a, flags);
    if (line < 0 || line >= extent) return;
    if (fillA < 0) fillA = 0;
    if (fillB > extent) fillB = extent;
    for (int r = fillA; r < fillB; r++) DrawLines(c, st, axis, r, 1, line, flags);
}

// Copies lines [a, b) of the old content into the work bitmap, so that a masked picture shows it.
void UnderlayOld(qzEffectContext* c, FlowState* st, FlowAxis axis, int a, int b) {
    if (!st->work || !c->oldImage || !(c->imageMask || c->imageAlpha)) return;
    const Span s = Lines(c, axis, a, b - a);
    ClippedBlit(c->oldImage, s.x, s.y, st->work, s.x, s.y, s.w, s.h, c->width, c->height, c->width, c->height);
}

// Shows lines [a, b) of the work bitmap on the display, or of the layer.
void ShowLines(qzEffectContext* c, FlowState* st, FlowAxis axis, int a, int b) {
    const int extent = Extent(c, axis);
    if (a < 0) a = 0;
    if (b > extent) b = extent;
    if (b <= a) return;
    const Span s = Lines(c, axis, a, b - a);
    if (st->work) {
        DrawEffectPicture(c, st->work, nullptr, nullptr, c->width, c->height, s.x, s.y, s.x, s.y, s.w, s.h, 0, 1);
        return;
    }
    PresentEffectArea(c, s.x, s.y, s.w, s.h);
}

int FlowStep(qzEffectContext* c, int32_t* done, FlowAxis axis) {
    const int extent = Extent(c, axis);
    if (c->phase == QZ_EFFECT_PHASE_SETUP) {
        if (AllocEffectState(c, sizeof(FlowState))) return ERR_MEM;
        auto* st = static_cast<FlowState*>(c->state);
        if (!c->viaLayer) {
            st->work = CreateBitMap(c->width, c->height, 0, nullptr);
            if (!st->work) return ERR_BITMAP;
        }
        int speed = axis.columns ? GetEffectStepSize(c->speed, extent, 30, 10, 80)
                                 : GetEffectStepSize(c->speed, extent, 50, 20, 120);
        if (speed > 30) speed = 30;
        c->speed = speed;
        st->pos = FrontAtStep(c, axis, 1);
        c->total = GetEffectStepCount(c->hide ? extent - 2 * speed : extent - speed, speed, 0);
        return 0;
    }
    auto* st = static_cast<FlowState*>(c->state);
    const int speed = c->speed;

    if (c->phase == QZ_EFFECT_PHASE_RENDER) {
        int p = FrontAtStep(c, axis, c->current);
        if (st->work) {
            if (c->oldImage)
                ClippedBlit(c->oldImage, 0, 0, st->work, 0, 0, c->width, c->height, c->width, c->height, c->width,
                            c->height);
        } else {
            EraseEffectLayerRect(c, 0, 0, c->width, c->height, EFFECTBLIT_NOPRESENT);
        }
        const bool hidden = c->hide && (axis.fromFar ? p >= extent - speed : p <= speed);
        if (!hidden && !(c->current == 0 && !c->hide)) {
            if (!axis.fromFar) {
                if (p > extent) p = extent;
                DrawFlow(c, st, axis, 0, p, p - 1, p, extent, EFFECTBLIT_NOPRESENT);
            } else {
                if (p < 0) p = 0;
                DrawFlow(c, st, axis, p, extent, p - 1, 0, p, EFFECTBLIT_NOPRESENT);
            }
        }
        if (st->work) ShowLines(c, st, axis, 0, extent);
        st->pos = ClampPos(int64_t(p) + FrontStep(c, axis), extent, speed);
        return 0;
    }

    ShowEffectLayer(c);
    if (c->current == 0) st->pos = FrontAtStep(c, axis, 1);
    int pos = st->pos;
    const bool showing = !c->hide;
    bool end = false;
    if (!axis.fromFar) {
        if (showing && pos >= extent) pos = extent, end = true;
        if (!showing && pos <= speed) pos = speed, end = true;
    } else {
        if (showing && pos <= 0) pos = 0, end = true;
        if (!showing && pos >= extent - speed) pos = extent - speed, end = true;
    }
    if (end) *done = 1;
    if (end && !showing) {
        // The last frame of a hiding effect takes the whole picture away.
        uint32_t flags = c->replaying ? uint32_t(EFFECTBLIT_NOPRESENT) : 0u;
        if (c->bufferedDisplay) flags |= EFFECTBLIT_NOPRESENT;
        EraseEffectLayerRect(c, 0, 0, c->width, c->height, flags);
    } else {
        const uint32_t flags = EFFECTBLIT_NORECORD | EFFECTBLIT_NOPRESENT;
        // The band of this frame and the smear ahead of it.
        const int a = axis.fromFar ? pos : pos - speed;
        const int b = axis.fromFar ? pos + speed : pos;
        const int shownA = axis.fromFar ? 0 : a;
        const int shownB = axis.fromFar ? b : extent;
        UnderlayOld(c, st, axis, shownA < 0 ? 0 : shownA, shownB > extent ? extent : shownB);
        if (!axis.fromFar)
            DrawFlow(c, st, axis, a, b, pos - 1, pos, extent, flags);
        else
            DrawFlow(c, st, axis, a, b, pos - 1, 0, pos, flags);
        ShowLines(c, st, axis, shownA, shownB);
    }
    st->pos = ClampPos(int64_t(pos) + FrontStep(c, axis), extent, speed);
    EndEffectFrame(c);
    return 0;
}

}  // namespace

int FlowTopEffectStep(qzEffectContext* context, int32_t* done) { return FlowStep(context, done, {false, false}); }
int FlowBottomEffectStep(qzEffectContext* context, int32_t* done) { return FlowStep(context, done, {false, true}); }
int FlowLeftEffectStep(qzEffectContext* context, int32_t* done) { return FlowStep(context, done, {true, false}); }
int FlowRightEffectStep(qzEffectContext* context, int32_t* done) { return FlowStep(context, done, {true, true}); }

void FreeFlowEffect(qzEffectContext* context, int32_t completed) {
    (void)completed;
    auto* st = static_cast<FlowState*>(context->state);
    if (st && st->work) {
        DeleteBitMap(st->work);
        st->work = nullptr;
    }
}
