#include "fx/fx_pixelzoom.h"

#include <cstdlib>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/layer.h"
#include "display/picture.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_lock.h"
#include "gfx/kernels_flip.h"
#include "gfx/safe_blt.h"

namespace {

enum { kPixelZoom1 = 132, kPixelZoom2 = 133 };

struct PixelZoomState {
    qzBitMap* work;       // the pixelated picture
    qzBitMap* workMask;   // its mask, when the picture has one
    qzBitMap* workAlpha;  // its alpha channel, when the picture has one
    qzBitMap* composite;  // the frame over the old picture (display path, shaped pictures)
    int32_t type;         // the type as it runs: 133 in a layer without bgpicemu runs as 132
    int32_t frame;
};

bool InLayer(const qzEffectContext* context) { return context->viaLayer && context->layer; }

const qzClipRegion* ShownClipRegion() {
    qzDisplay* display = CurrentDisplay();
    return display && display->bgpic ? static_cast<const qzClipRegion*>(display->bgpic->clipRegion) : nullptr;
}

int SetUpPixelZoom(qzEffectContext* context) {
    int error = AllocEffectState(context, sizeof(PixelZoomState));
    if (error) return error;
    PixelZoomState* state = static_cast<PixelZoomState*>(context->state);
    const int32_t w = context->width, h = context->height;
    state->work = CreateBitMap(w, h, 0, nullptr);
    if (!state->work) return ERR_BITMAP;
    if (context->imageMask || context->imageAlpha) {
        if (!InLayer(context)) {
            state->composite = CreateBitMap(w, h, 0, nullptr);
            if (!state->composite) return ERR_BITMAP;
        }
        if (context->imageMask) {
            state->workMask = CreateMaskBitMap(state->work, w, h, 1, nullptr, 0);
            if (!state->workMask) return ERR_ALLOCMASK;
        } else {
            state->workAlpha = CreateAlphaBitMap(w, h, 1, nullptr, 0);
            if (!state->workAlpha) return ERR_ALLOCALPHA;
        }
    }
    state->type = context->type;
    if (state->type == kPixelZoom2 && InLayer(context) && !context->bgpicEmu) state->type = kPixelZoom1;
    context->total = GetEffectStepCount(state->type == kPixelZoom2 && !context->hide ? 49 : 25, 1, 1);
    return 0;
}

// The picture in blocks of the cell size into the work bitmaps (shaped: with its mask or alpha).
void Pixelate(PixelZoomState* state, const qzBitMap* picture, const qzBitMap* mask, const qzBitMap* alpha, int32_t cell,
              int32_t w, int32_t h) {
    BitMapLock from(picture, LOCKF_READONLY);
    BitMapLock to(state->work, 0);
    BitMapLock fromMask(mask, LOCKF_READONLY), toMask(mask ? state->workMask : nullptr, 0);
    BitMapLock fromAlpha(alpha, LOCKF_READONLY), toAlpha(alpha ? state->workAlpha : nullptr, 0);
    if (!from.ok || !to.ok || from.info.bytesPerPixel != to.info.bytesPerPixel) return;
    if ((mask && (!fromMask.ok || !toMask.ok)) || (alpha && (!fromAlpha.ok || !toAlpha.ok))) return;
    qzPixelateJob job = {};
    job.srcPixels = from.info.pixels;
    job.dstPixels = to.info.pixels;
    job.srcRowLength = from.info.rowLength;
    job.dstRowLength = to.info.rowLength;
    if (mask) {
        job.srcMask = static_cast<const uint8_t*>(fromMask.info.pixels);
        job.dstMask = static_cast<uint8_t*>(toMask.info.pixels);
        job.srcMaskBytesPerRow = fromMask.info.rowLength;
        job.dstMaskBytesPerRow = toMask.info.rowLength;
    } else if (alpha) {
        job.srcAlpha = static_cast<const uint8_t*>(fromAlpha.info.pixels);
        job.dstAlpha = static_cast<uint8_t*>(toAlpha.info.pixels);
        job.srcAlphaBytesPerRow = fromAlpha.info.rowLength;
        job.dstAlphaBytesPerRow = toAlpha.info.rowLength;
    }
    job.width = w;
    job.height = h;
    job.cellSize = cell;
    if (from.info.bytesPerPixel == 4)
        PixelatePixels32(&job);
    else if (from.info.bytesPerPixel == 2)
        PixelatePixels16(&job);
}

void ToScreen(qzEffectContext* context, const qzBitMap* source) {
    SafeBlt(context->vm, source, 0, 0, context->target, context->x, context->y, context->width, context->height,
            context->width, context->height, context->screenWidth, context->screenHeight, context->bltFlags, nullptr,
            nullptr, ShownClipRegion());
}

// Frame f of the effect; 1 when it is the last.
int DrawPixelZoom(qzEffectContext* context, PixelZoomState* state, int32_t f, uint32_t extraFlags) {
    const int32_t w = context->width, h = context->height;
    const qzBitMap* picture = context->image;
    int32_t cell;
    int last = 0;
    bool old = false;
    if (context->hide) {
        cell = f + 1;
        last = f > 24;
    } else if (state->type == kPixelZoom2) {
        old = f <= 23;
        if (context->bgpicEmu) RefreshEmuBuffers(context, old ? 3 : 2);
        cell = old ? f + 1 : 49 - f;
        last = f > 48;
    } else {
        cell = 25 - f;
        last = f > 24;
    }
    if (cell < 1 || last) cell = 1;
    if (old) picture = context->oldImage;
    const qzBitMap* mask = old ? nullptr : context->imageMask;
    const qzBitMap* alpha = old || mask ? nullptr : context->imageAlpha;
    if (context->hide && last) {
        if (InLayer(context)) {
            qzLayerState* st = context->layer->display;
            EffectBlit(context->image, 0, 0, st->own.bitmap, st->own.mask, st->own.alpha, 0, 0, w, h, w, h, w, h,
                       nullptr, nullptr, context, EffectLayerFlags(context) | extraFlags);
        } else if (context->oldImage) {
            ToScreen(context, context->oldImage);
        }
        return 1;
    }
    const qzBitMap* source = picture;
    if (cell > 1) {
        Pixelate(state, picture, mask, alpha, cell, w, h);
        source = state->work;
        if (mask) mask = state->workMask;
        if (alpha) alpha = state->workAlpha;
    }
    if (!source) return last;
    if (InLayer(context)) {
        qzLayerState* st = context->layer->display;
        const uint32_t flags = (EffectLayerFlags(context) & ~uint32_t(EFFECTBLIT_ERASE)) | extraFlags;
        EffectBlit(source, 0, 0, st->own.bitmap, st->own.mask, st->own.alpha, 0, 0, w, h, w, h, w, h, mask, alpha,
                   context, flags);
    } else if ((mask || alpha) && state->composite) {
        const uint32_t compose = SAFEBLT_NOCLIP | SAFEBLT_NOSPRITES;
        if (context->oldImage)
            SafeBlt(context->vm, context->oldImage, 0, 0, state->composite, 0, 0, w, h, w, h, w, h, compose, nullptr,
                    nullptr, nullptr);
        SafeBlt(context->vm, source, 0, 0, state->composite, 0, 0, w, h, w, h, w, h, compose, mask, alpha, nullptr);
        ToScreen(context, state->composite);
    } else {
        ToScreen(context, source);
    }
    return last;
}

}  // namespace

int StepPixelZoom(qzEffectContext* context, int32_t* done) {
    if (context->phase == QZ_EFFECT_PHASE_SETUP) return SetUpPixelZoom(context);
    PixelZoomState* state = static_cast<PixelZoomState*>(context->state);
    if (!state) return 0;
    if (context->phase == QZ_EFFECT_PHASE_RENDER) {
        state->frame = context->current;
        if (state->frame > 0) DrawPixelZoom(context, state, state->frame, EFFECTBLIT_NOPRESENT);
        return 0;
    }
    if (context->current == 0) state->frame = 0;
    ShowEffectLayer(context);
    state->frame++;
    if (DrawPixelZoom(context, state, state->frame, 0)) *done = 1;
    EndEffectFrame(context);
    return 0;
}

void FreePixelZoomState(qzEffectContext* context, int32_t) {
    PixelZoomState* state = static_cast<PixelZoomState*>(context->state);
    if (!state) return;
    DeleteBitMap(state->composite);
    DeleteMaskBitMap(state->workMask);
    DeleteAlphaBitMap(state->workAlpha);
    DeleteBitMap(state->work);
    *state = {};
}
