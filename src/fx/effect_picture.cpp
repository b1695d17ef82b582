#include "fx/effect_picture.h"

#include <cstdlib>

#include "display/display.h"
#include "display/layer.h"
#include "display/picture.h"
#include "fx/effect_context.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_lock.h"
#include "gfx/line_displace.h"
#include "gfx/safe_blt.h"

void DrawEffectPicturePart(const qzBitMap* picture, int32_t sx, int32_t sy, qzBitMap* target, int32_t dx, int32_t dy,
                           int32_t w, int32_t h, int32_t pictureWidth, int32_t pictureHeight, int32_t screenWidth,
                           int32_t screenHeight, uint32_t bltFlags, uint32_t layerFlags, const qzBitMap* background,
                           const qzBitMap* mask, qzBitMap* scratch, const qzBitMap* alpha, qzEffectContext* context) {
    if (context->viaLayer && context->layer) {
        qzLayerState* st = context->layer->display;
        uint32_t flags = layerFlags;
        if (context->replaying || context->bufferedDisplay) flags |= EFFECTBLIT_NOPRESENT;
        const int32_t width = st->own.bitmap ? st->own.bitmap->width : st->width;
        const int32_t height = st->own.bitmap ? st->own.bitmap->height : st->height;
        EffectBlit(picture, sx, sy, st->own.bitmap, st->own.mask, st->own.alpha, dx - context->x, dy - context->y, w, h,
                   pictureWidth, pictureHeight, width, height, mask, alpha, context, flags);
        return;
    }
    if (!scratch || w < 1 || h < 1) return;
    const uint32_t compose = SAFEBLT_NOCLIP | SAFEBLT_NOSPRITES;
    SafeBlt(context->vm, background, sx, sy, scratch, 0, 0, w, h, pictureWidth, pictureHeight, w, h, compose, nullptr,
            nullptr, nullptr);
    SafeBlt(context->vm, picture, sx, sy, scratch, 0, 0, w, h, pictureWidth, pictureHeight, w, h, compose, mask, alpha,
            nullptr);
    qzDisplay* display = CurrentDisplay();
    const qzClipRegion* clip =
        display && display->bgpic ? static_cast<const qzClipRegion*>(display->bgpic->clipRegion) : nullptr;
    SafeBlt(context->vm, scratch, 0, 0, target, dx, dy, w, h, scratch->width, scratch->height, screenWidth,
            screenHeight, bltFlags, nullptr, nullptr, clip);
}

void DisplaceEffectLines(const qzBitMap* source, qzBitMap* destination, qzDisplaceJob* request) {
    BitMapLock from(source, LOCKF_READONLY);
    BitMapLock to(destination, 0);
    if (!from.ok || !to.ok) return;
    request->source = from.info.pixels;
    request->destination = to.info.pixels;
    request->sourceRowLength = from.info.rowLength;
    request->destRowLength = to.info.rowLength;
    request->bytesPerPixel = from.info.bytesPerPixel;
    DisplaceLines(request);
}

void FreeRollState(qzEffectContext* context, int32_t) {
    qzRollStateHead* head = static_cast<qzRollStateHead*>(context->state);
    if (!head) return;
    DeleteBitMap(head->bitmaps[0]);
    DeleteBitMap(head->bitmaps[1]);
    DeleteMaskBitMap(head->mask);
    DeleteAlphaBitMap(head->alpha);
    free(head->buffer);
    *head = {};
}
