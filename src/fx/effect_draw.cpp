// The drawing operations of the step routines: the layer blit that records what is revealed, the
// presentation of a layer rectangle, fills, plain clipped blits, screen grabs, and the helpers of
// the step contract.
#include <cstdlib>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_pixels.h"
#include "display/layer.h"
#include "display/layer_kinds.h"
#include "display/layer_records.h"
#include "display/layer_redraw.h"
#include "display/layer_refresh.h"
#include "display/layer_source.h"
#include "display/layer_system.h"
#include "display/picture.h"
#include "fx/effect_context.h"
#include "gfx/bitmap.h"
#include "gfx/blit.h"
#include "gfx/channel_ops.h"
#include "gfx/clip_region.h"
#include "gfx/copy_bitmap.h"
#include "gfx/draw_modes.h"
#include "gfx/safe_blt.h"

namespace {

qzBGPic* ShownPicture() {
    qzDisplay* display = CurrentDisplay();
    return display ? display->bgpic : nullptr;
}

const qzClipRegion* ShownClipRegion() {
    qzBGPic* pic = ShownPicture();
    return pic ? static_cast<const qzClipRegion*>(pic->clipRegion) : nullptr;
}

// The buffer the display shows its picture from while it scales: the second buffer that the
// first one is mirrored into, else the first.
qzBitMap* ScaledBackBuffer(qzDisplay* display) {
    return display->secondBuffer ? display->secondBuffer : display->displayBuffer;
}

}  // namespace

int GetEffectStepSize(int speed, int extent, int normalDivisor, int fastDivisor, int slowDivisor) {
    int size = speed;
    if (speed == QZ_EFFECT_NORMALSPEED)
        size = normalDivisor ? extent / normalDivisor : extent;
    else if (speed == QZ_EFFECT_FASTSPEED)
        size = fastDivisor ? extent / fastDivisor : extent;
    else if (speed == QZ_EFFECT_SLOWSPEED)
        size = slowDivisor ? extent / slowDivisor : extent;
    return size < 1 ? 1 : size;
}

int GetEffectStepCount(int distance, int stepSize, int exact) {
    if (distance < 1) return 1;
    if (stepSize < 1) stepSize = 1;
    const int64_t q = (int64_t(distance) + stepSize - 1) / stepSize;
    return static_cast<int>(exact ? q : q + 1);
}

int IsEffectLayerDecorated(const qzLayer* layer) {
    if (!layer) return 0;
    return layer->border.border || layer->shadow.shadow || layer->transformed != layer->base ||
           layer->display != layer->transformed;
}

int IsEffectLayerPlain(const qzLayer* layer) {
    if (!layer || IsEffectLayerDecorated(layer) || layer->transparency) return 0;
    for (const qzFilterEntry& filter : layer->filters)
        if (filter.enabled) return 0;
    return 1;
}

void EffectBlit(const qzBitMap* src, int sx, int sy, qzBitMap* dst, qzBitMap* dstMask, qzBitMap* dstAlpha, int dx,
                int dy, int w, int h, int srcWidth, int srcHeight, int dstWidth, int dstHeight, const qzBitMap* srcMask,
                const qzBitMap* srcAlpha, qzEffectContext* context, uint32_t flags) {
    if (sx < 0 || sy < 0) return;
    ClipBlitRect(nullptr, &sx, &sy, &dx, &dy, &w, &h, srcWidth, srcHeight, dstWidth, dstHeight, 0);
    if (w < 1 || h < 1) return;
    const bool record = context && !(flags & EFFECTBLIT_NORECORD);
    if (flags & EFFECTBLIT_ERASE) {
        const bool set = flags & EFFECTBLIT_ERASESET;
        if (dstAlpha)
            FillAlphaRect(dstAlpha, dx, dy, w, h, set ? 255 : 0);
        else if (dstMask)
            FillMaskRect(dstMask, dx, dy, w, h, set ? MASKVISIBLE : MASKINVISIBLE);
        if (record) {
            if (context->effectAlpha)
                FillAlphaRect(context->effectAlpha, dx, dy, w, h, set ? 255 : 0);
            else if (context->effectMask)
                FillMaskRect(context->effectMask, dx, dy, w, h, set ? MASKVISIBLE : MASKINVISIBLE);
        }
    } else {
        if (srcMask) {
            if (dstMask)
                BlitMaskPlane(srcMask, sx, sy, dstMask, dx, dy, w, h,
                              (flags & EFFECTBLIT_MASKVISIBLE) ? MASKVISIBLE : MASKVANILLACOPY, nullptr, 0);
            if (record && context->effectMask) FillMaskRect(context->effectMask, dx, dy, w, h, MASKVISIBLE);
        } else if (srcAlpha) {
            if (dstAlpha) BlitAlphaRect(srcAlpha, sx, sy, dstAlpha, dx, dy, w, h, 0, 0);
            if (record && context->effectAlpha) FillAlphaRect(context->effectAlpha, dx, dy, w, h, 255);
        } else if (dstMask) {
            FillMaskRect(dstMask, dx, dy, w, h, MASKVISIBLE);
        }
        if (dst) {
            if (!(flags & EFFECTBLIT_BLEND))
                BlitBitMap(src, sx, sy, dst, dx, dy, w, h);
            else if (srcMask)
                BlitBitMapMasked(src, sx, sy, dst, dx, dy, w, h, srcMask);
            else if (srcAlpha)
                BlitBitMapAlpha(src, sx, sy, dst, dx, dy, w, h, srcAlpha);
            else
                BlitBitMap(src, sx, sy, dst, dx, dy, w, h);
        }
    }
    if (context && !(flags & EFFECTBLIT_NOPRESENT) && context->layer)
        PresentEffectRect(context, src, sx, sy, dx + context->x, dy + context->y, w, h, srcWidth, srcHeight, srcMask,
                          srcAlpha, flags);
}

void PresentEffectRect(qzEffectContext* context, const qzBitMap* bitmap, int sx, int sy, int dx, int dy, int w, int h,
                       int srcWidth, int srcHeight, const qzBitMap* mask, const qzBitMap* alpha, uint32_t flags) {
    qzLayer* layer = context->layer;
    qzDisplay* display = CurrentDisplay();
    qzBGPic* pic = ShownPicture();
    if (!layer || !display || !pic) return;
    qzLayerState* st = layer->display;
    const bool transformed = layer->transformed != layer->base || layer->display != layer->transformed;
    if (IsEffectLayerDecorated(layer)) {
        const qzLayerBox bounds = GetLayerBounds(context->vm, layer, st);
        sx = 0;
        sy = 0;
        dx = bounds.x;
        dy = bounds.y;
        w = bounds.width;
        h = bounds.height;
        srcWidth = bounds.width;
        srcHeight = bounds.height;
        if (layer->border.border || layer->shadow.shadow) FreeLayerStateAlpha(layer);
        if (!context->noBorderFade) {
            if (EffectDrivesOpacity(context->type)) {
                layer->effectFade[0] = context->opacity + 1;
                layer->effectFade[1] = context->opacity + 1;
            } else {
                const double fraction = context->total > 0 ? double(context->current) / context->total : 1.0;
                int level = static_cast<int>(fraction * 255.0);
                if (level > 255) level = 255;
                if (context->hide) level = 255 - level;
                layer->effectFade[1] = level + 1;
            }
        }
        if (transformed) FreeLayerCaches(layer);
    }
    ClipBlitRect(st->clipRegion, &sx, &sy, &dx, &dy, &w, &h, srcWidth, srcHeight, pic->width, pic->height,
                 st->clipRegion != nullptr);
    if (w < 1 || h < 1 || sx < 0 || sy < 0) return;
    const bool shapedClip = st->clipRegion && st->clipRegion->mask;
    if (!(flags & EFFECTBLIT_ERASE) && !shapedClip && !mask && !alpha && IsEffectLayerPlain(layer) &&
        !IsEffectLayerDecorated(layer) && IsLayerUncovered(pic, layer)) {
        if (context->scaled) {
            qzBitMap* back = ScaledBackBuffer(display);
            if (back) BlitBitMap(bitmap, sx, sy, back, dx, dy, w, h);
        } else {
            PresentBitMapRect(bitmap, sx, sy, display, dx, dy, w, h, 0);
        }
        return;
    }
    qzBitMap* back = display->secondBuffer;
    if (!back) return;
    RedrawPictureLayers(context->vm, display, pic, back, dx, dy, w, h, 0);
    if (!context->scaled || (flags & EFFECTBLIT_PRESENTBOUNDS))
        SafeBlt(context->vm, back, dx, dy, nullptr, dx, dy, w, h, back->width, back->height, pic->width, pic->height,
                SAFEBLT_NOCLIP | SAFEBLT_NOSPRITES, nullptr, nullptr, nullptr);
}

void FillEffectRect(qzEffectContext* context, int x, int y, int w, int h, uint32_t colour, uint32_t flags) {
    if (w < 1 || h < 1) return;
    if (context->viaLayer && context->layer) {
        qzLayerState* st = context->layer->display;
        if (!st->own.bitmap) return;
        FillBitMapRect(st->own.bitmap, x, y, w, h, colour);
        if (!(flags & EFFECTBLIT_NOPRESENT))
            PresentEffectRect(context, st->own.bitmap, x, y, x + context->x, y + context->y, w, h,
                              st->own.bitmap->width, st->own.bitmap->height, st->own.mask, st->own.alpha, flags);
        return;
    }
    // Direct drawing: a solid block through the same blit as the pictures, so that the fill lands
    // in the buffers the effect's other drawing reaches and is presented alike.
    qzBitMap* block = CreateBitMap(w, h, 0, nullptr);
    if (!block) return;
    FillBitMapRect(block, 0, 0, w, h, colour);
    SafeBlt(context->vm, block, 0, 0, context->target, x, y, w, h, w, h, context->screenWidth, context->screenHeight,
            context->bltFlags, nullptr, nullptr, ShownClipRegion());
    DeleteBitMap(block);
}

bool ClipEffectBlit(int& sx, int& sy, int& dx, int& dy, int& w, int& h, int srcWidth, int srcHeight, int dstWidth,
                    int dstHeight) {
    if (sx < 0) {
        dx -= sx;
        w += sx;
        sx = 0;
    }
    if (sy < 0) {
        dy -= sy;
        h += sy;
        sy = 0;
    }
    if (dx < 0) {
        sx -= dx;
        w += dx;
        dx = 0;
    }
    if (dy < 0) {
        sy -= dy;
        h += dy;
        dy = 0;
    }
    if (sx + w > srcWidth) w = srcWidth - sx;
    if (sy + h > srcHeight) h = srcHeight - sy;
    if (dx + w > dstWidth) w = dstWidth - dx;
    if (dy + h > dstHeight) h = dstHeight - dy;
    return w >= 1 && h >= 1;
}

void ClippedBlit(const qzBitMap* src, int sx, int sy, qzBitMap* dst, int dx, int dy, int w, int h, int srcWidth,
                 int srcHeight, int dstWidth, int dstHeight) {
    if (ClipEffectBlit(sx, sy, dx, dy, w, h, srcWidth, srcHeight, dstWidth, dstHeight))
        BlitBitMap(src, sx, sy, dst, dx, dy, w, h);
}

void GrabScreenRect(qzEffectContext* context, qzBitMap* dst, int x, int y, int w, int h) {
    qzDisplay* display = CurrentDisplay();
    qzBGPic* pic = ShownPicture();
    if (!display || !pic || !dst) return;
    int sx = x, sy = y, dx = 0, dy = 0;
    // The rectangle cut to the picture; dx, dy say where what is left lands in dst.
    if (sx < 0) {
        dx = -sx;
        w += sx;
        sx = 0;
    }
    if (sy < 0) {
        dy = -sy;
        h += sy;
        sy = 0;
    }
    if (sx + w > pic->width) w = pic->width - sx;
    if (sy + h > pic->height) h = pic->height - sy;
    if (w < 1 || h < 1) return;
    qzBitMap* scratch = CreateBitMap(pic->width, pic->height, 0, nullptr);
    if (!scratch) return;
    RedrawPictureLayers(context->vm, display, pic, scratch, sx, sy, w, h, 0);
    ClippedBlit(scratch, sx, sy, dst, dx, dy, w, h, pic->width, pic->height, dst->width, dst->height);
    DeleteBitMap(scratch);
}

int GetLayerEffectImage(qzEffectContext* context, qzLayer* layer, qzBitMap** image, qzBitMap** mask, qzBitMap** alpha,
                        int32_t* width, int32_t* height, int32_t* ownsImage, int32_t* ownsMask, int32_t* ownsAlpha) {
    qzLayerSource source = {};
    const int error = GetLayerSourceBitmaps(context->vm, layer, layer->display, 1, 1, -1, &source);
    if (error) return error;
    if (!source.trio.bitmap) return ERR_WRONGUSAGE;
    const qzLayerShownRect shown = LayerShownRect(layer, layer->display, source);
    const bool part =
        layer->type == QZ_LAYER_BRUSHPART || layer->type == QZ_LAYER_BGPICPART || layer->type == QZ_LAYER_VIDEO;
    if (part && (shown.x || shown.y || shown.width != source.trio.bitmap->width ||
                 shown.height != source.trio.bitmap->height)) {
        qzBitMap *copy = nullptr, *copyMask = nullptr, *copyAlpha = nullptr;
        const int copied = CopyBitMap(source.trio.bitmap, source.trio.mask, source.trio.alpha, shown.x, shown.y,
                                      shown.width, shown.height, 0, &copy, source.trio.mask ? &copyMask : nullptr,
                                      source.trio.alpha ? &copyAlpha : nullptr);
        if (copied) return copied;
        *image = copy;
        *mask = copyMask;
        *alpha = copyAlpha;
        *width = shown.width;
        *height = shown.height;
        *ownsImage = 1;
        *ownsMask = copyMask != nullptr;
        *ownsAlpha = copyAlpha != nullptr;
        return 0;
    }
    *image = source.trio.bitmap;
    *mask = source.trio.mask;
    *alpha = source.trio.alpha;
    *width = source.width;
    *height = source.height;
    *ownsImage = 0;
    *ownsMask = 0;
    *ownsAlpha = 0;
    return 0;
}

int RefreshEmuBuffers(qzEffectContext* context, int which) {
    int served = 0;
    qzBGPic* shown = ShownPicture();
    if ((which & 1) && shown && shown->modified && context->oldImage) {
        qzLayer* layer = context->layer;
        const int32_t hidden = layer ? layer->hidden : 0;
        if (layer) layer->hidden = 1;
        GrabScreenRect(context, context->oldImage, context->x, context->y, context->width, context->height);
        if (layer) layer->hidden = hidden;
        shown->modified = 0;
        served |= 1;
    }
    qzBGPic* emu = static_cast<qzBGPic*>(context->emuBGPic);
    if ((which & 2) && emu && emu->modified && context->image) {
        RedrawPictureLayers(context->vm, CurrentDisplay(), emu, context->image, 0, 0, context->image->width,
                            context->image->height, QZ_REDRAW_PICTUREBACKGROUND);
        emu->modified = 0;
        served |= 2;
    }
    return served;
}

void CopyEffectBand(qzEffectContext* context, int bx, int by, int bw, int bh) {
    // The band cut to the area: a band that starts left of or above it keeps its inner part.
    if (bx < 0) {
        bw += bx;
        bx = 0;
    }
    if (by < 0) {
        bh += by;
        by = 0;
    }
    if (bx + bw > context->width) bw = context->width - bx;
    if (by + bh > context->height) bh = context->height - by;
    if (bw < 1 || bh < 1) return;
    if (context->viaLayer && context->layer) {
        qzLayerState* st = context->layer->display;
        EffectBlit(context->image, bx, by, st->own.bitmap, st->own.mask, st->own.alpha, bx, by, bw, bh, context->width,
                   context->height, context->width, context->height, context->imageMask, context->imageAlpha, context,
                   EffectLayerFlags(context));
        return;
    }
    SafeBlt(context->vm, context->image, bx, by, context->target, context->x + bx, context->y + by, bw, bh,
            context->width, context->height, context->screenWidth, context->screenHeight, context->bltFlags,
            context->imageMask, context->imageAlpha, ShownClipRegion());
}

uint32_t EffectLayerFlags(const qzEffectContext* context) {
    uint32_t flags = context->hide ? uint32_t(EFFECTBLIT_ERASE) : 0u;
    if (context->replaying || context->decorated || context->bufferedDisplay) flags |= EFFECTBLIT_NOPRESENT;
    return flags;
}

void ShowEffectLayer(qzEffectContext* context) {
    if (!context->layer) return;
    context->layer->hidden = 0;
    context->layer->pending = 0;
}

void EndEffectFrame(qzEffectContext* context) {
    context->current++;
    if (context->replaying) return;
    qzDisplay* display = CurrentDisplay();
    if (!display) return;
    if (!context->decorated && !(context->viaLayer && context->bufferedDisplay)) {
        if (context->scaled) {
            qzBitMap* back = ScaledBackBuffer(display);
            if (back)
                PresentBitMapRect(back, 0, 0, display, 0, 0, context->screenWidth, context->screenHeight,
                                  PRESENT_SCALED);
        } else if (context->bufferedDisplay) {
            RedrawAndRefreshRect(context->vm, context->x, context->y, display, context->x, context->y, context->width,
                                 context->height);
        }
        return;
    }
    if (!context->layer) return;
    qzLayerState* st = context->layer->display;
    if (!st->own.bitmap) return;
    PresentEffectRect(context, st->own.bitmap, 0, 0, st->left, st->top, st->width, st->height, st->own.bitmap->width,
                      st->own.bitmap->height, st->own.mask, st->own.alpha, EFFECTBLIT_PRESENTBOUNDS);
}

int AllocEffectState(qzEffectContext* context, int64_t bytes) {
    free(context->state);
    context->state = nullptr;
    if (bytes < 1) bytes = 1;
    context->state = calloc(1, static_cast<size_t>(bytes));
    return context->state ? 0 : ERR_MEM;
}
