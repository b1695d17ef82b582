#include "fx/fx_clock.h"

#include <cstdlib>

#include "base/error_codes.h"
#include "display/layer.h"
#include "fx/effect_picture.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_lock.h"
#include "gfx/blit.h"
#include "gfx/channel_ops.h"
#include "gfx/draw_modes.h"
#include "gfx/mask_bits.h"

namespace {

enum { kClockPoints = 17, kFinished = 5 };

struct ClockState {
    qzShapeWork work;
    qzPoint* points;  // kClockPoints
    qzPoint current;
    qzPoint previous;
    int32_t segment;     // 0 top edge right, 1 right edge down, 2 bottom left, 3 left up, 4 top, 5 done
    int32_t corner;      // the point turned a corner on its last move
    int32_t counting;    // frames advance the point without drawing
    int32_t wholeSweep;  // the frame fills everything swept so far in one polygon
};

void ResetClockWipe(const qzEffectContext* context, ClockState* state) {
    const int32_t cx = context->width / 2;
    state->previous = {cx, 0};
    state->current = {cx + context->speed, 0};
    state->segment = 0;
    state->corner = 0;
}

// Moves the point one step size clockwise along the border; a corner carries the rest of the
// step onto the next edge.
void AdvanceClockPoint(const qzEffectContext* context, ClockState* state, int32_t* done) {
    const int32_t w = context->width, h = context->height, cx = w / 2, s = context->speed;
    qzPoint& p = state->current;
    state->previous = p;
    switch (state->segment) {
    case 0:
        p.x += s;
        if (p.x > w - 1) {
            state->segment = 1;
            p.y = p.x - w + 1;
            p.x = w - 1;
            state->corner = 1;
        }
        break;
    case 1:
        p.y += s;
        if (p.y > h - 1) {
            state->segment = 2;
            p.x = (w - 1) - (p.y - (h - 1));
            p.y = h - 1;
            state->corner = 1;
        }
        break;
    case 2:
        p.x -= s;
        if (p.x < 0) {
            state->segment = 3;
            p.y = (h - 1) + p.x;
            p.x = 0;
            state->corner = 1;
        }
        break;
    case 3:
        p.y -= s;
        if (p.y < 0) {
            state->segment = 4;
            p.x = -p.y;
            p.y = 0;
            state->corner = 1;
        }
        break;
    case 4:
        p.x += s;
        if (p.x > cx + 1) {
            p.x = cx + 1;
            state->segment = kFinished;
        }
        break;
    default: *done = 1; break;
    }
}

// The wedge of this frame (or everything swept up to the point) as a closed polygon.
int BuildClockPolygon(const qzEffectContext* context, const ClockState* state, qzPoint* points) {
    const int32_t w = context->width, h = context->height;
    const qzPoint centre = {w / 2, h / 2};
    const qzPoint& prev = state->previous;
    const qzPoint& cur = state->current;
    const int32_t segment = state->segment;
    int n = 0;
    points[n++] = centre;
    if (state->wholeSweep) {
        points[n++] = {w / 2, 0};
        if (segment >= 1) points[n++] = {w - 1, 0};
        if (segment >= 2) points[n++] = {w - 1, h - 1};
        if (segment >= 3) points[n++] = {0, h - 1};
        if (segment >= 4) points[n++] = {0, 0};
    } else {
        points[n++] = prev;
        if (state->corner) {
            if (segment == 1 && prev.y != cur.y) points[n++] = {w - 1, 0};
            if (segment == 2 && prev.x != cur.x) points[n++] = {w - 1, h - 1};
            if (segment == 3 && prev.y != cur.y) points[n++] = {0, h - 1};
            if (segment == 4 && prev.x != cur.x) points[n++] = {0, 0};
        }
    }
    points[n++] = cur;
    points[n++] = centre;
    return n;
}

int32_t Min3(int32_t a, int32_t b, int32_t c) {
    const int32_t m = a < b ? a : b;
    return m < c ? m : c;
}

// One frame: the wedge into the mask and onto the screen, then the point moves on.
void ClockFrame(qzEffectContext* context, ClockState* state, int32_t* done) {
    const int32_t w = context->width, h = context->height;
    if (!state->counting) {
        ShowEffectLayer(context);
        const int n = BuildClockPolygon(context, state, state->points);
        FillShapePolygon(state->work.mask, state->points, n);
        int32_t rx = 0, ry = 0;
        if (!state->wholeSweep) {
            rx = Min3(w / 2, state->previous.x, state->current.x);
            ry = Min3(h / 2, state->previous.y, state->current.y);
            if (rx < 0) rx = 0;
            if (ry < 0) ry = 0;
        }
        const uint32_t flags = state->wholeSweep ? EFFECTBLIT_NORECORD | EFFECTBLIT_NOPRESENT : EFFECTBLIT_NORECORD;
        DrawShapeWork(context, &state->work, rx, ry, w - rx, h - ry, flags);
    }
    AdvanceClockPoint(context, state, done);
    if (state->counting || state->wholeSweep)
        context->current++;
    else
        EndEffectFrame(context);
}

int SetUpClockWipe(qzEffectContext* context) {
    int error = AllocEffectState(context, sizeof(ClockState));
    if (error) return error;
    ClockState* state = static_cast<ClockState*>(context->state);
    int32_t step = context->speed;
    if (step == QZ_EFFECT_FASTSPEED)
        step = 15;
    else if (step == QZ_EFFECT_NORMALSPEED)
        step = 10;
    else if (step == QZ_EFFECT_SLOWSPEED)
        step = 5;
    else if (step > 30)
        step = 30;
    else if (step < 1)
        step = 1;
    context->speed = step;
    ResetClockWipe(context, state);
    error = CreateShapeWork(context, &state->work);
    if (error) return error;
    state->points = static_cast<qzPoint*>(calloc(kClockPoints, sizeof(qzPoint)));
    if (!state->points) return ERR_MEM;
    // The frame count: the point's lap without drawing. The lap is at most the border's length
    // in steps, the guard only bounds a broken loop.
    const int32_t phase = context->phase;
    context->phase = QZ_EFFECT_PHASE_NEXT;
    context->current = 0;
    state->counting = 1;
    int32_t done = 0;
    const int64_t guard = 2 * (int64_t(context->width) + context->height) + 16;
    while (!done && context->current < guard) ClockFrame(context, state, &done);
    context->total = context->current;
    context->phase = phase;
    context->current = 0;
    state->counting = 0;
    ResetClockWipe(context, state);
    return 0;
}

// The picture of step n from scratch: the point runs n - 1 steps without drawing, then one frame
// fills everything swept so far.
void RenderClockWipe(qzEffectContext* context, ClockState* state) {
    const int32_t n = context->current;
    RestartShapeRender(context, &state->work);
    ResetClockWipe(context, state);
    if (n < 1) {
        DrawEmptyShape(context, &state->work);
        return;
    }
    context->phase = QZ_EFFECT_PHASE_NEXT;
    context->current = 0;
    int32_t done = 0;
    state->counting = 1;
    while (context->current < n - 1) ClockFrame(context, state, &done);
    state->counting = 0;
    state->wholeSweep = 1;
    ClockFrame(context, state, &done);
    state->wholeSweep = 0;
    context->current = n;
    context->phase = QZ_EFFECT_PHASE_RENDER;
}

}  // namespace

void MaskAlphaChannel(const qzBitMap* mask, qzBitMap* destinationAlpha, const qzBitMap* sourceAlpha, int32_t width,
                      int32_t height, int clear) {
    BitMapLock m(mask, LOCKF_READONLY);
    BitMapLock d(destinationAlpha, 0);
    BitMapLock s(sourceAlpha, LOCKF_READONLY);
    if (!m.ok || !d.ok || (sourceAlpha && !s.ok)) return;
    if (width > d.info.width) width = d.info.width;
    if (height > d.info.height) height = d.info.height;
    if (sourceAlpha) {
        if (width > s.info.width) width = s.info.width;
        if (height > s.info.height) height = s.info.height;
    }
    if (width > int64_t(m.info.rowLength) * 8) width = m.info.rowLength * 8;
    if (height > m.info.height) height = m.info.height;
    const uint8_t* maskBytes = static_cast<const uint8_t*>(m.info.pixels);
    uint8_t* dst = static_cast<uint8_t*>(d.info.pixels);
    const uint8_t* src = sourceAlpha ? static_cast<const uint8_t*>(s.info.pixels) : nullptr;
    for (int32_t y = 0; y < height; y++) {
        const uint8_t* maskRow = RowAt(maskBytes, y, m.info.rowLength);
        uint8_t* out = RowAt(dst, y, d.info.rowLength);
        const uint8_t* in = src ? RowAt(src, y, s.info.rowLength) : nullptr;
        for (int32_t x = 0; x < width; x++) {
            const uint8_t value = in ? in[x] : 255;
            out[x] = (GetMaskBit(maskRow, x) != 0) == (clear != 0) ? 0 : value;
        }
    }
}

int CreateShapeWork(const qzEffectContext* context, qzShapeWork* work) {
    const int32_t w = context->width, h = context->height;
    work->bitmap = CreateBitMap(w, h, 0, nullptr);
    if (!work->bitmap) return ERR_BITMAP;
    work->mask = CreateMaskBitMap(context->image, w, h, 1, nullptr, 0);
    if (!work->mask) return ERR_ALLOCMASK;
    if (context->imageAlpha && !context->hide) {
        work->alpha = CreateAlphaBitMap(w, h, 1, nullptr, 0);
        if (!work->alpha) return ERR_ALLOCALPHA;
    }
    return 0;
}

void FreeShapeWork(qzShapeWork* work) {
    DeleteBitMap(work->bitmap);
    DeleteMaskBitMap(work->mask);
    DeleteAlphaBitMap(work->alpha);
    *work = {};
}

void ClearShapeWork(const qzEffectContext* context, qzShapeWork* work) {
    FillMaskRect(work->mask, 0, 0, context->width, context->height, MASKINVISIBLE);
    if (work->alpha) FillAlphaRect(work->alpha, 0, 0, context->width, context->height, 0);
}

void RestartShapeRender(qzEffectContext* context, qzShapeWork* work) {
    const int32_t w = context->width, h = context->height;
    if (context->viaLayer && context->layer) {
        qzLayerState* st = context->layer->display;
        if (context->hide && context->rebuilding) {
            if (st->own.bitmap) BlitBitMap(context->image, 0, 0, st->own.bitmap, 0, 0, w, h);
        } else if (context->hide) {
            // The whole picture with its own mask or alpha channel, as when the effect began.
            EffectBlit(context->image, 0, 0, st->own.bitmap, st->own.mask, st->own.alpha, 0, 0, w, h, w, h, w, h,
                       context->imageMask, context->imageAlpha, context, EFFECTBLIT_NOPRESENT);
        } else if (!context->rebuilding) {
            EffectBlit(context->image, 0, 0, st->own.bitmap, st->own.mask, st->own.alpha, 0, 0, w, h, w, h, w, h,
                       nullptr, nullptr, context, EFFECTBLIT_ERASE | EFFECTBLIT_NOPRESENT);
        }
    }
    ClearShapeWork(context, work);
}

void DrawEmptyShape(qzEffectContext* context, qzShapeWork* work) {
    DrawShapeWork(context, work, 0, 0, context->width, context->height, EFFECTBLIT_NORECORD | EFFECTBLIT_NOPRESENT);
}

int FillShapePolygon(qzBitMap* mask, const qzPoint* points, int count) {
    if (!mask || count < 1) return 0;
    int32_t yMin = points[0].y, yMax = points[0].y, xMin = points[0].x, xMax = points[0].x;
    for (int i = 1; i < count; i++) {
        if (points[i].y < yMin) yMin = points[i].y;
        if (points[i].y > yMax) yMax = points[i].y;
        if (points[i].x < xMin) xMin = points[i].x;
        if (points[i].x > xMax) xMax = points[i].x;
    }
    if (yMin != yMax) return FillMaskPolygon(mask, points, count);
    // Every edge lies on the row: the span filler sees no crossing, the run is set directly.
    if (xMin < 0) xMin = 0;
    if (xMax > mask->width - 1) xMax = mask->width - 1;
    if (yMin < 0 || yMin >= mask->height || xMax < xMin) return 0;
    FillMaskRect(mask, xMin, yMin, xMax - xMin + 1, 1, MASKVISIBLE);
    return 0;
}

void DrawShapeWork(qzEffectContext* context, qzShapeWork* work, int32_t rx, int32_t ry, int32_t rw, int32_t rh,
                   uint32_t layerFlags) {
    const int32_t w = context->width, h = context->height;
    if (rx < 0) {
        rw += rx;
        rx = 0;
    }
    if (ry < 0) {
        rh += ry;
        ry = 0;
    }
    if (rx + rw > w) rw = w - rx;
    if (ry + rh > h) rh = h - ry;
    if (rw < 1 || rh < 1) return;
    if (context->viaLayer && context->hide && context->layer) {
        // The shape leaves the layer: its alpha channel or its mask is cleared inside the shape,
        // and so is the record of what the effect shows.
        qzLayerState* st = context->layer->display;
        if (st->own.alpha)
            MaskAlphaChannel(work->mask, st->own.alpha, context->imageAlpha, w, h, 1);
        else if (st->own.mask)
            BlitMaskPlane(work->mask, rx, ry, st->own.mask, rx, ry, rw, rh, MASKINVISIBLE, nullptr, 0);
        if (context->effectAlpha)
            MaskAlphaChannel(work->mask, context->effectAlpha, nullptr, w, h, 1);
        else if (context->effectMask)
            BlitMaskPlane(work->mask, rx, ry, context->effectMask, rx, ry, rw, rh, MASKINVISIBLE, nullptr, 0);
        // Changing the mask draws nothing, so the rectangle is brought to the screen here
        // (the frame's end presents a decorated layer or one on a buffered display whole).
        const bool later =
            context->replaying || context->decorated || context->bufferedDisplay || (layerFlags & EFFECTBLIT_NOPRESENT);
        if (!later && st->own.bitmap)
            PresentEffectRect(context, st->own.bitmap, rx, ry, context->x + rx, context->y + ry, rw, rh, w, h,
                              st->own.mask, st->own.alpha, EFFECTBLIT_ERASE);
        return;
    }
    if (!context->hide && context->imageMask)
        BlitMaskPlane(context->imageMask, rx, ry, work->mask, rx, ry, rw, rh, MASKAND, nullptr, 0);
    if (work->alpha) MaskAlphaChannel(work->mask, work->alpha, context->imageAlpha, w, h, 0);
    // The alpha work channel already holds the shape: the picture goes through it alone.
    DrawEffectPicturePart(context->image, rx, ry, context->target, context->x + rx, context->y + ry, rw, rh, w, h,
                          context->screenWidth, context->screenHeight, context->bltFlags, layerFlags, context->oldImage,
                          work->alpha ? nullptr : work->mask, work->bitmap, work->alpha, context);
}

int ClipShapeOutline(const qzEffectContext* context, qzPoint* in, qzPoint* out, int n, qzPoint** result) {
    const int edges[4][2] = {{0, CLIPEDGE_LEFT},
                             {0, CLIPEDGE_TOP},
                             {context->width - 1, CLIPEDGE_RIGHT},
                             {context->height - 1, CLIPEDGE_BOTTOM}};
    for (const auto& edge : edges) {
        n = ClipPolygonAgainstEdge(n, in, out, edge[0], edge[1]);
        qzPoint* t = in;
        in = out;
        out = t;
    }
    *result = in;
    return n;
}

int StepGrowingShape(qzEffectContext* context, qzShapeWork* work, int32_t* size,
                     int (*drawFrame)(qzEffectContext* context, uint32_t extraFlags), int32_t* done) {
    const int32_t step = context->speed;
    if (context->phase == QZ_EFFECT_PHASE_RENDER) {
        RestartShapeRender(context, work);
        *size = step + 10;
        if (context->current < 1) {
            DrawEmptyShape(context, work);
            return 0;
        }
        *size = context->current * step + 10;
        drawFrame(context, EFFECTBLIT_NOPRESENT);
        *size += step;
        return 0;
    }
    if (context->current == 0) {
        *size = step + 10;
        ClearShapeWork(context, work);
    }
    ShowEffectLayer(context);
    if (drawFrame(context, 0)) *done = 1;
    *size += step;
    EndEffectFrame(context);
    return 0;
}

int StepClockWipe(qzEffectContext* context, int32_t* done) {
    if (context->phase == QZ_EFFECT_PHASE_SETUP) return SetUpClockWipe(context);
    ClockState* state = static_cast<ClockState*>(context->state);
    if (!state) return 0;
    if (context->phase == QZ_EFFECT_PHASE_RENDER) {
        RenderClockWipe(context, state);
        return 0;
    }
    if (context->current == 0) {
        ResetClockWipe(context, state);
        ClearShapeWork(context, &state->work);
    }
    ClockFrame(context, state, done);
    return 0;
}

void FreeClockWipeState(qzEffectContext* context, int32_t) {
    ClockState* state = static_cast<ClockState*>(context->state);
    if (!state) return;
    free(state->points);
    state->points = nullptr;
    FreeShapeWork(&state->work);
}
