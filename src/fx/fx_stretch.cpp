#include "fx/fx_stretch.h"

#include <cstdint>

#include "base/error_codes.h"
#include "fx/fx_layer_draw.h"
#include "gfx/bitmap.h"
#include "gfx/blit.h"
#include "gfx/scale_bitmap.h"

namespace {

struct StretchState {
    int32_t s;
    int32_t px, py, pw, ph;  // the rectangle of the previous frame, relative to the area
};

bool IsZoom(int type) { return type >= 61 && type <= 69; }

// 56 and 58 move the picture's near edge: s is an offset that shrinks while the picture grows.
bool OffsetType(int type) { return type == 56 || type == 58; }

// s kept within one step of its range, so that adding a large speed never overflows.
int ClampSize(int64_t s, int extent) {
    if (s < -1) return -1;
    if (s > int64_t(extent) + 1) return extent + 1;
    return static_cast<int>(s);
}

int Half(int v) { return v / 2; }

}  // namespace

int StretchExtent(int type, int width, int height) {
    switch (type) {
    case 55:
    case 56:
    case 60: return width;
    case 57:
    case 58:
    case 59: return height;
    default: return width >= height ? width : height;
    }
}

int StretchSizeAtStep(int type, int hide, int speed, int step, int width, int height) {
    const int extent = StretchExtent(type, width, height);
    const int64_t v = int64_t(speed) * step;
    const bool fromZero = OffsetType(type) ? hide : !hide;
    return ClampSize(fromZero ? v : extent - v, extent);
}

qzStretchRect StretchRectFor(int type, int hide, int s, int width, int height) {
    qzStretchRect r = {0, 0, width, height, 0};
    const int extent = StretchExtent(type, width, height);
    if (OffsetType(type)) {
        if (!hide && s < 1) {
            s = 0;
            r.ended = 1;
        } else if (hide && s >= extent) {
            s = extent;
            r.ended = 1;
        }
        if (type == 56) {
            r.x = s;
            r.w = width - s;
        } else {
            r.y = s;
            r.h = height - s;
        }
        return r;
    }
    int size = s;
    if (!hide && s >= extent) {
        size = extent;
        r.ended = 1;
    } else if (hide && (IsZoom(type) ? s < 1 : s <= 0)) {
        size = 0;
        r.ended = 1;
    }
    if (size < 0) size = 0;
    switch (type) {
    case 55: r.w = size; break;
    case 57: r.h = size; break;
    case 59:
        r.h = size;
        r.y = Half(height - size);
        break;
    case 60:
        r.w = size;
        r.x = Half(width - size);
        break;
    default: {
        if (size >= extent) break;  // the whole area
        if (size == 0) {
            r.w = r.h = 0;
        } else {
            const int smaller = width < height ? width : height;
            const double ratio = double(smaller) / extent;
            int other = static_cast<int>(ratio * size);
            if (other < 1) other = 1;
            r.w = width < height ? other : size;
            r.h = width < height ? size : other;
        }
        const int right = width - r.w, bottom = height - r.h;
        static const int8_t kAnchorX[9] = {1, 1, 2, 2, 2, 1, 0, 0, 0};  // 0 left, 1 centre, 2 right
        static const int8_t kAnchorY[9] = {1, 0, 0, 1, 2, 2, 2, 1, 0};  // 0 top, 1 centre, 2 bottom
        const int ax = kAnchorX[type - 61], ay = kAnchorY[type - 61];
        r.x = ax == 0 ? 0 : ax == 1 ? Half(right) : right;
        r.y = ay == 0 ? 0 : ay == 1 ? Half(bottom) : bottom;
        break;
    }
    }
    return r;
}

int StretchEffectStep(qzEffectContext* context, int32_t* done) {
    const int type = context->type;
    const int w = context->width, h = context->height;
    const int extent = StretchExtent(type, w, h);
    if (context->phase == QZ_EFFECT_PHASE_SETUP) {
        if (AllocEffectState(context, sizeof(StretchState))) return ERR_MEM;
        auto* st = static_cast<StretchState*>(context->state);
        context->speed = GetEffectStepSize(context->speed, extent, 30, 10, 80);
        st->s = StretchSizeAtStep(type, context->hide, context->speed, 1, w, h);
        st->px = 0;
        st->py = 0;
        st->pw = w;
        st->ph = h;
        const bool countsDown = OffsetType(type) ? !context->hide : context->hide;
        context->total = GetEffectStepCount(countsDown ? st->s : extent - st->s, context->speed, 0);
        return 0;
    }
    auto* st = static_cast<StretchState*>(context->state);
    const bool seek = context->phase == QZ_EFFECT_PHASE_RENDER;
    if (seek) {
        st->s = StretchSizeAtStep(type, context->hide, context->speed, context->current, w, h);
    } else {
        ShowEffectLayer(context);
        if (context->current == 0) {
            st->s = StretchSizeAtStep(type, context->hide, context->speed, 1, w, h);
            st->px = 0;
            st->py = 0;
            st->pw = w;
            st->ph = h;
        }
    }
    const qzStretchRect r = StretchRectFor(type, context->hide, st->s, w, h);
    if (r.ended && !seek) *done = 1;
    const bool empty = r.w < 1 || r.h < 1;

    // The picture at the rectangle's size; the picture itself when that is the area's size.
    const qzBitMap* picture = context->image;
    const qzBitMap* mask = context->imageMask;
    const qzBitMap* alpha = context->imageAlpha;
    qzBitMap *scaled = nullptr, *scaledMask = nullptr, *scaledAlpha = nullptr;
    if (!empty && (r.w != w || r.h != h)) {
        const int error = ScaleBitMap(context->image, context->imageMask, context->imageAlpha, 0, 0, nullptr, w, h, r.w,
                                      r.h, 0, &scaled, context->imageMask ? &scaledMask : nullptr,
                                      context->imageAlpha ? &scaledAlpha : nullptr);
        if (error) return error;
        picture = scaled;
        mask = scaledMask;
        alpha = scaledAlpha;
    }

    if (!context->viaLayer) {
        if (!empty) {
            // Transparent pixels show the old content: compose over it first, so that the screen
            // gets one opaque rectangle. Without a scratch bitmap the picture goes plain.
            qzBitMap* scratch = nullptr;
            if ((mask || alpha) && context->oldImage) scratch = CreateBitMap(r.w, r.h, 0, nullptr);
            if (scratch) {
                ClippedBlit(context->oldImage, r.x, r.y, scratch, 0, 0, r.w, r.h, w, h, r.w, r.h);
                ComposeEffectPicture(picture, mask, alpha, 0, 0, scratch, 0, 0, r.w, r.h);
                DrawEffectPicture(context, scratch, nullptr, nullptr, r.w, r.h, 0, 0, r.x, r.y, r.w, r.h, 0, 1);
                DeleteBitMap(scratch);
            } else {
                DrawEffectPicture(context, picture, nullptr, nullptr, r.w, r.h, 0, 0, r.x, r.y, r.w, r.h, 0, 1);
            }
        }
    } else {
        if (seek) {
            EraseEffectLayerRect(context, 0, 0, w, h, EFFECTBLIT_NOPRESENT);
        } else if (context->hide) {
            // What the shrinking picture no longer covers becomes transparent.
            const uint32_t flags = EffectLayerFlags(context);
            if (empty) {
                EraseEffectLayerRect(context, st->px, st->py, st->pw, st->ph, flags);
            } else {
                const int pr = st->px + st->pw, pb = st->py + st->ph;
                EraseEffectLayerRect(context, st->px, st->py, st->pw, r.y - st->py, flags);
                EraseEffectLayerRect(context, st->px, st->py, r.x - st->px, st->ph, flags);
                EraseEffectLayerRect(context, r.x + r.w, st->py, pr - (r.x + r.w), st->ph, flags);
                EraseEffectLayerRect(context, st->px, r.y + r.h, st->pw, pb - (r.y + r.h), flags);
            }
        }
        if (!empty)
            DrawEffectPicture(context, picture, mask, alpha, r.w, r.h, 0, 0, r.x, r.y, r.w, r.h,
                              EffectFrameFlags(context, seek ? uint32_t(EFFECTBLIT_NOPRESENT) : 0u), 1);
    }
    if (scaled) DeleteBitMap(scaled);
    if (scaledMask) DeleteMaskBitMap(scaledMask);
    if (scaledAlpha) DeleteAlphaBitMap(scaledAlpha);

    const bool fromZero = OffsetType(type) ? context->hide : !context->hide;
    st->s = ClampSize(int64_t(st->s) + (fromZero ? context->speed : -int64_t(context->speed)), extent);
    st->px = r.x;
    st->py = r.y;
    st->pw = r.w;
    st->ph = r.h;
    if (seek) return 0;
    // An empty rectangle has nothing to show, unless a hiding layer has just been cleared.
    if (empty && !(context->viaLayer && context->hide))
        context->current++;
    else
        EndEffectFrame(context);
    return 0;
}
