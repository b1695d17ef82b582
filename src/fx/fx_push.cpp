#include "fx/fx_push.h"

#include <cstdint>

#include "base/error_codes.h"
#include "fx/fx_layer_draw.h"

namespace {

struct PushState {
    int32_t s;       // the distance moved
    int32_t px, py;  // slide: the moving picture's offset at the previous frame
};

int ClampDistance(int64_t s, int limit) { return static_cast<int>(s < 0 ? 0 : s > limit + 1 ? limit + 1 : s); }

void DrawWhole(qzEffectContext* c, const qzBitMap* picture, const qzBitMap* mask, const qzBitMap* alpha, int dx, int dy,
               uint32_t flags) {
    DrawEffectPicture(c, picture, mask, alpha, c->width, c->height, 0, 0, dx, dy, c->width, c->height, flags, 0);
}

// Rows [from, from + count) of a picture at row `at`.
void DrawRows(qzEffectContext* c, const qzBitMap* picture, const qzBitMap* mask, const qzBitMap* alpha, int from,
              int count, int at, uint32_t flags) {
    if (count < 1) return;
    DrawEffectPicture(c, picture, mask, alpha, c->width, c->height, 0, from, 0, at, c->width, count, flags, 0);
}

int SetUp(qzEffectContext* c, int extent, int normal, int fast, int slow, int maximum, int distance) {
    if (AllocEffectState(c, sizeof(PushState))) return ERR_MEM;
    auto* st = static_cast<PushState*>(c->state);
    int speed = GetEffectStepSize(c->speed, extent, normal, fast, slow);
    if (maximum && speed > maximum) speed = maximum;
    c->speed = speed;
    st->s = speed;
    c->total = GetEffectStepCount(distance - speed, speed, 0);
    return 0;
}

// The start of a frame or a seek: the distance of this step, the layer shown, a refreshed emulated
// picture.
void BeginStep(qzEffectContext* c, PushState* st, bool seek, int limit, int emuBits) {
    if (seek) {
        st->s = ClampDistance(int64_t(c->current) * c->speed, limit);
    } else {
        ShowEffectLayer(c);
        if (c->current == 0) {
            st->s = c->speed;
            st->px = 0;
            st->py = 0;
        }
    }
    if (c->bgpicEmu && emuBits) RefreshEmuBuffers(c, emuBits);
}

void EndStep(qzEffectContext* c, PushState* st, bool seek, int limit) {
    st->s = ClampDistance(int64_t(st->s) + c->speed, limit);
    if (!seek) EndEffectFrame(c);
}

// The rectangle (x, y, w, h) cut to the area; false when nothing is left.
bool CutToArea(const qzEffectContext* c, int* x, int* y, int* w, int* h) {
    if (*x < 0) *w += *x, *x = 0;
    if (*y < 0) *h += *y, *y = 0;
    if (*x + *w > c->width) *w = c->width - *x;
    if (*y + *h > c->height) *h = c->height - *y;
    return *w >= 1 && *h >= 1;
}

}  // namespace

void SlideOffset(int type, int s, int width, int height, int* x, int* y) {
    *x = 0;
    *y = 0;
    switch (type) {
    case 101: *x = s <= width ? s : 2 * width - s; break;
    case 102: *x = s <= width ? -s : s - 2 * width; break;
    case 103: *y = s <= height ? s : 2 * height - s; break;
    default: *y = s <= height ? -s : s - 2 * height; break;
    }
}

int PushEffectStep(qzEffectContext* c, int32_t* done) {
    const int type = c->type;
    const int w = c->width, h = c->height;
    const int extent = type <= 79 ? w : h;
    if (c->phase == QZ_EFFECT_PHASE_SETUP) return SetUp(c, extent, 40, 10, 100, 0, extent);
    auto* st = static_cast<PushState*>(c->state);
    const bool seek = c->phase == QZ_EFFECT_PHASE_RENDER;
    BeginStep(c, st, seek, extent, 3);
    if (st->s >= extent) {
        st->s = extent;
        if (!seek) *done = 1;
    }
    const int s = st->s;
    int nx = 0, ny = 0, ox = 0, oy = 0;
    switch (type) {
    case 78: nx = s - w, ox = s; break;
    case 79: nx = w - s, ox = -s; break;
    case 80: ny = s - h, oy = s; break;
    default: ny = h - s, oy = -s; break;
    }
    // Neither picture goes through a mask: the new one replaces what it covers. In a layer both
    // are drawn unseen and the frame is shown once, so that the old half never flickers away.
    DrawWhole(c, c->image, nullptr, nullptr, nx, ny, EFFECTBLIT_NOPRESENT);
    DrawWhole(c, c->oldImage, nullptr, nullptr, ox, oy, EFFECTBLIT_NOPRESENT);
    if (!seek && !c->decorated && !c->bufferedDisplay) PresentEffectArea(c, 0, 0, w, h);
    EndStep(c, st, seek, extent);
    return 0;
}

int SlideEffectStep(qzEffectContext* c, int32_t* done) {
    const int type = c->type;
    const int w = c->width, h = c->height;
    const bool across = type <= 102;
    const int extent = across ? w : h;
    if (c->phase == QZ_EFFECT_PHASE_SETUP) return SetUp(c, extent, 60, 30, 120, 30, 2 * extent);
    auto* st = static_cast<PushState*>(c->state);
    const bool seek = c->phase == QZ_EFFECT_PHASE_RENDER;
    const uint32_t background = c->parameter == -1 ? 0 : static_cast<uint32_t>(c->parameter);
    const int speed = c->speed;
    const uint32_t flags = EffectFrameFlags(c, seek ? uint32_t(EFFECTBLIT_NOPRESENT) : 0u);
    if (seek) FillEffectRect(c, 0, 0, w, h, background, EFFECTBLIT_NOPRESENT);
    BeginStep(c, st, seek, 2 * extent, 0);
    const int previous = st->s - speed;  // the distance of the frame before
    if (st->s >= 2 * extent) {
        st->s = 2 * extent;
        if (!seek) *done = 1;
    }
    const int s = st->s;
    int x = 0, y = 0;
    SlideOffset(type, s, w, h, &x, &y);
    if (c->bgpicEmu) RefreshEmuBuffers(c, s > extent ? 2 : 3);
    if (s >= 2 * extent) {
        DrawWhole(c, c->image, c->imageMask, c->imageAlpha, 0, 0, flags);
    } else if (s <= extent) {
        if (!seek) {
            // The strip the old content has uncovered since the previous frame.
            int fx = 0, fy = 0, fw = w, fh = h;
            switch (type) {
            case 101: fx = st->px, fy = st->py, fw = speed; break;
            case 102: fx = w - s, fw = speed; break;
            case 103: fx = st->px, fy = st->py, fh = speed; break;
            default: fy = h - s, fh = speed; break;
            }
            FillEffectRect(c, fx, fy, fw, fh, background, flags);
        }
        int vx = x, vy = y, vw = w, vh = h;
        if (CutToArea(c, &vx, &vy, &vw, &vh)) DrawWhole(c, c->oldImage, nullptr, nullptr, x, y, flags);
    } else {
        if (!seek && previous <= extent) {
            // The first frame of the second half: what the old content still covered goes too, so
            // that no sliver of it stays beside the incoming picture.
            int vx = st->px, vy = st->py, vw = w, vh = h;
            if (CutToArea(c, &vx, &vy, &vw, &vh)) FillEffectRect(c, vx, vy, vw, vh, background, flags);
        }
        DrawWhole(c, c->image, c->imageMask, c->imageAlpha, x, y, flags);
    }
    st->px = x;
    st->py = y;
    EndStep(c, st, seek, 2 * extent);
    return 0;
}

int CardEffectStep(qzEffectContext* c, int32_t* done) {
    const int type = c->type;
    const int w = c->width, h = c->height;
    if (c->phase == QZ_EFFECT_PHASE_SETUP) return SetUp(c, w > h ? w : h, 60, 30, 120, 30, h);
    auto* st = static_cast<PushState*>(c->state);
    const bool seek = c->phase == QZ_EFFECT_PHASE_RENDER;
    BeginStep(c, st, seek, h, 3);
    if (st->s >= h) {
        st->s = h;
        if (!seek) *done = 1;
    }
    const int s = st->s;
    const int half = h / 2;
    // d rises to half and falls back to 0; on an odd height h - s would overshoot half by one at
    // s = half and leave a row of neither picture.
    int d = s < half ? s : h - s;
    if (d > half) d = half;
    const bool top = type == 111;
    const qzBitMap* upper = top ? c->image : c->oldImage;
    const qzBitMap* lower = top ? c->oldImage : c->image;
    int a, b, lowerFrom, lowerAt;
    if ((top && s < half) || (!top && s >= half)) {
        a = d, b = h - d, lowerFrom = 0, lowerAt = d;
    } else {
        a = h - d, b = d, lowerFrom = h - 2 * d, lowerAt = h - d;
    }
    const uint32_t flags = EffectFrameFlags(c, seek ? uint32_t(EFFECTBLIT_NOPRESENT) : 0u);
    DrawRows(c, upper, nullptr, nullptr, d, a, 0, flags);
    DrawRows(c, lower, nullptr, nullptr, lowerFrom, b, lowerAt, flags);
    EndStep(c, st, seek, h);
    return 0;
}
