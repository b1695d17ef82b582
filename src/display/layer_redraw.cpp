#include "display/layer_redraw.h"

#include <algorithm>
#include <cmath>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_pixels.h"
#include "display/layer.h"
#include "display/layer_hooks.h"
#include "display/layer_kinds.h"
#include "display/layer_source.h"
#include "display/picture.h"
#include "display/shadow_direction.h"
#include "gfx/bitmap.h"
#include "gfx/blit.h"
#include "gfx/channel_ops.h"
#include "gfx/clip_region.h"
#include "gfx/filter_bitmap.h"
#include "gfx/opacity_blit.h"
#include "gfx/safe_blt.h"
#include "platform/os_console.h"

namespace {

struct Box {
    int32_t x, y, width, height;
};

// The common part of two boxes; false when they do not meet.
bool Intersect(const Box& a, const Box& b, Box* out) {
    const int64_t x1 = std::max<int64_t>(a.x, b.x), y1 = std::max<int64_t>(a.y, b.y);
    const int64_t x2 = std::min<int64_t>(int64_t(a.x) + a.width, int64_t(b.x) + b.width);
    const int64_t y2 = std::min<int64_t>(int64_t(a.y) + a.height, int64_t(b.y) + b.height);
    if (x2 <= x1 || y2 <= y1) return false;
    *out = {int32_t(x1), int32_t(y1), int32_t(x2 - x1), int32_t(y2 - y1)};
    return true;
}

// The opacity that a colour's top byte leaves (0 opaque .. 255 invisible).
int OpacityOf(uint32_t colour) { return 255 - int(colour >> 24); }

// The default border: a block of the border colour around the drawn box, shaped by the layer's
// mask or alpha channel spread by the border size.
int RenderBlockBorder(VmState* state, qzLayer* layer, qzLayerState* st, double scaleX, double scaleY) {
    const int32_t sizeX = std::max<int32_t>(1, int32_t(std::lround(layer->border.bordersize * scaleX)));
    const int32_t sizeY = std::max<int32_t>(1, int32_t(std::lround(layer->border.bordersize * scaleY)));
    const int64_t width = int64_t(st->width) + 2 * int64_t(sizeX);
    const int64_t height = int64_t(st->height) + 2 * int64_t(sizeY);
    if (st->width < 1 || st->height < 1 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return ERR_BITMAP;
    qzLayerSource source;
    int error = GetLayerSourceBitmaps(state, layer, st, 1, 1, -1, &source);
    if (error) return error;
    qzBitMap* bitmap = CreateBitMap(int(width), int(height), 0, nullptr);
    if (!bitmap) return ERR_BITMAP;
    FillBitmapColor(bitmap, 0, 0, int32_t(width), int32_t(height), layer->border.bordercolor & 0xFFFFFF);
    qzBitMap* alpha = nullptr;
    if (source.trio.mask || source.trio.alpha) {
        const qzLayerShownRect shown = LayerShownRect(layer, st, source);
        const int32_t sx = shown.x, sy = shown.y;
        const int32_t size = std::max(sizeX, sizeY);
        if (int64_t(sx) + st->width > source.trio.bitmap->width ||
            int64_t(sy) + st->height > source.trio.bitmap->height) {
            DeleteBitMap(bitmap);
            return ERR_WRONGUSAGE;
        }
        qzBitMap* spread =
            BlurAlphaForShadow(source.trio.mask, source.trio.alpha, sx, sy, st->width, st->height, size, size / 3.0, 1);
        if (!spread) {
            DeleteBitMap(bitmap);
            return ERR_ALLOCALPHA;
        }
        // The spread plane is square-grown; cut it to the border bitmap's size.
        alpha = CreateAlphaBitMap(int(width), int(height), 1, nullptr, 0);
        if (alpha) BlitAlphaRect(spread, size - sizeX, size - sizeY, alpha, 0, 0, int(width), int(height), 0, 0);
        DeleteAlphaBitMap(spread);
        if (!alpha) {
            DeleteBitMap(bitmap);
            return ERR_ALLOCALPHA;
        }
    }
    st->border = {bitmap, nullptr, alpha};
    st->borderGrowX = sizeX;
    st->borderGrowY = sizeY;
    return 0;
}

void DrawShadow(VmState* state, qzLayer* layer, qzLayerState* st, qzBitMap* dst, const Box& work, double scaleX,
                double scaleY) {
    if (!st->shadowAlpha && RenderLayerShadow(state, layer, st) != 0) return;
    Box shadow;
    GetLayerShadowBox(layer, st, scaleX, scaleY, &shadow.x, &shadow.y, &shadow.width, &shadow.height);
    Box common;
    if (!Intersect(shadow, work, &common)) return;
    const uint32_t colour = layer->shadow.shadowcolor & 0xFFFFFF;
    const qzClipRegion* clip = st->clipRegion;
    if (!clip || !clip->mask) {
        BltAlphaChannelClipped(st->shadowAlpha, common.x - shadow.x, common.y - shadow.y, dst, common.x, common.y,
                               common.width, common.height, colour, 1, nullptr, nullptr);
        return;
    }
    // Through a shaped clip: a block of the colour, drawn through the shadow alpha and the clip.
    qzBitMap* block = CreateBitMap(shadow.width, shadow.height, 0, nullptr);
    if (!block) return;
    FillBitmapColor(block, 0, 0, shadow.width, shadow.height, colour);
    BlitLayerBitmap(state, {block, nullptr, st->shadowAlpha}, common.x - shadow.x, common.y - shadow.y, dst, common.x,
                    common.y, common.width, common.height, 0, clip);
    DeleteBitMap(block);
}

void DrawBorder(VmState* state, qzLayer* layer, qzLayerState* st, qzBitMap* dst, const Box& work, double scaleX,
                double scaleY) {
    if (!st->border.bitmap && RenderLayerBorder(state, layer, st, scaleX, scaleY) != 0) return;
    if (!st->border.bitmap) return;
    Box border;
    GetLayerBorderBox(layer, st, &border.x, &border.y, &border.width, &border.height);
    Box common;
    if (!Intersect(border, work, &common)) return;
    BlitLayerBitmap(state, st->border, common.x - border.x, common.y - border.y, dst, common.x, common.y, common.width,
                    common.height, 0, st->clipRegion);
}

void DrawBody(VmState* state, qzLayer* layer, qzLayerState* st, qzBitMap* dst, const Box& work) {
    Box common;
    if (!Intersect({st->left, st->top, st->width, st->height}, work, &common)) return;
    qzLayerSource source;
    if (GetLayerSourceBitmaps(state, layer, st, 1, 1, -1, &source) != 0 || !source.trio.bitmap) return;
    const qzLayerShownRect shown = LayerShownRect(layer, st, source);
    const int32_t sx = common.x - st->left + shown.x, sy = common.y - st->top + shown.y;
    BlitLayerBitmap(state, source.trio, sx, sy, dst, common.x, common.y, common.width, common.height,
                    layer->transparency, st->clipRegion);
}

}  // namespace

void GetLayerDrawScale(const qzDisplay* display, int pictureResolution, double* scaleX, double* scaleY) {
    *scaleX = *scaleY = 1.0;
    if (pictureResolution || !display || !display->layerScale || !display->scaledWidth || !display->scaledHeight)
        return;
    *scaleX = display->scaleX;
    *scaleY = display->scaleY;
}

int RenderLayerBorder(VmState* state, qzLayer* layer, qzLayerState* st, double scaleX, double scaleY) {
    if (!layer->border.border || st->border.bitmap || layer->type == QZ_LAYER_LINE) return 0;
    const qzLayerKindOps& ops = LayerKindOps(layer->type);
    const bool smallText = IsTextLayerType(layer->type) && layer->border.bordersize <= 7;
    const bool ownOutline = smallText || IsShapeLayerType(layer->type) || layer->type == QZ_LAYER_VECTORPATH;
    int error = ownOutline && ops.renderBorder ? ops.renderBorder(state, layer, st, scaleX, scaleY)
                                               : RenderBlockBorder(state, layer, st, scaleX, scaleY);
    if (error) return error;
    if (!st->border.bitmap) return 0;
    const int opacity = OpacityOf(layer->border.bordercolor);
    const int width = st->border.bitmap->width, height = st->border.bitmap->height;
    if (opacity < 255) {
        if (st->border.alpha) {
            ScaleAlphaChannel(st->border.alpha, st->border.alpha, st->border.alpha->height, opacity);
        } else if (st->border.mask) {
            st->border.alpha = CreateAlphaBitMap(width, height, 1, nullptr, 0);
            if (st->border.alpha) MaskToAlpha(st->border.mask, 0, 0, st->border.alpha, 0, 0, width, height, opacity);
            DeleteMaskBitMap(st->border.mask);
            st->border.mask = nullptr;
        } else {
            st->border.alpha = CreateAlphaBitMap(width, height, 0, nullptr, 0);
            if (st->border.alpha) FillAlphaRect(st->border.alpha, 0, 0, width, height, opacity);
        }
    }
    if (layer->geometryFilter)
        ApplyLayerFilters(layer->filters, st->border.bitmap, st->border.mask, st->border.alpha, width, height, 1);
    return 0;
}

int RenderLayerShadow(VmState* state, qzLayer* layer, qzLayerState* st) {
    if (!layer->shadow.shadow || st->shadowAlpha) return 0;
    const double radius = layer->shadow.shadowradius, sigma = layer->shadow.shadowsigma;
    qzBitMap* alpha = nullptr;
    if (st->border.bitmap) {
        alpha = BlurAlphaForShadow(st->border.mask, st->border.alpha, 0, 0, st->border.bitmap->width,
                                   st->border.bitmap->height, radius, sigma, 0);
    } else {
        qzLayerSource source;
        int error = GetLayerSourceBitmaps(state, layer, st, 1, 1, -1, &source);
        if (error) return error;
        const qzLayerShownRect shown = LayerShownRect(layer, st, source);
        const int32_t sx = shown.x, sy = shown.y;
        const qzBitMap* plane = source.trio.mask ? source.trio.mask : source.trio.alpha;
        if (plane && (int64_t(sx) + st->width > plane->width || int64_t(sy) + st->height > plane->height))
            return ERR_WRONGUSAGE;
        alpha =
            BlurAlphaForShadow(source.trio.mask, source.trio.alpha, sx, sy, st->width, st->height, radius, sigma, 0);
    }
    if (!alpha) return ERR_MEM;
    // The colour's top byte weakens the whole shadow.
    const int opacity = OpacityOf(layer->shadow.shadowcolor);
    if (opacity < 255) ScaleAlphaChannel(alpha, alpha, alpha->height, opacity);
    st->shadowAlpha = alpha;
    return 0;
}

void GetLayerBorderBox(const qzLayer*, const qzLayerState* st, int32_t* x, int32_t* y, int32_t* width,
                       int32_t* height) {
    *x = st->left - st->borderGrowX;
    *y = st->top - st->borderGrowY;
    *width = st->border.bitmap ? st->border.bitmap->width : st->width + 2 * st->borderGrowX;
    *height = st->border.bitmap ? st->border.bitmap->height : st->height + 2 * st->borderGrowY;
}

void GetLayerShadowBox(const qzLayer* layer, const qzLayerState* st, double scaleX, double scaleY, int32_t* x,
                       int32_t* y, int32_t* width, int32_t* height) {
    if (layer->border.border && st->border.bitmap)
        GetLayerBorderBox(layer, st, x, y, width, height);
    else
        *x = st->left, *y = st->top, *width = st->width, *height = st->height;
    const int32_t r = int32_t(layer->shadow.shadowradius);
    *x -= r;
    *y -= r;
    *width += 2 * r;
    *height += 2 * r;
    const int direction = layer->shadow.shadowdir & 7;
    *x += int32_t(kShadowStepX[direction] * layer->shadow.shadowsize * scaleX);
    *y += int32_t(kShadowStepY[direction] * layer->shadow.shadowsize * scaleY);
}

void BlitLayerBitmap(VmState* state, const qzBitMapTrio& source, int32_t sx, int32_t sy, qzBitMap* dst, int32_t dx,
                     int32_t dy, int32_t width, int32_t height, int32_t transparency, const qzClipRegion* clip) {
    const qzBitMap* bitmap = source.bitmap;
    if (!bitmap || !dst || width < 1 || height < 1) return;
    if (transparency <= 0) {
        SafeBlt(state, bitmap, sx, sy, dst, dx, dy, width, height, bitmap->width, bitmap->height, dst->width,
                dst->height, SAFEBLT_NOSPRITES | SAFEBLT_TARGETONLY, source.mask, source.alpha, clip);
        return;
    }
    const int opacity = 255 - std::min(transparency, 255);
    const int alphaWidth = source.alpha ? source.alpha->width : 0,
              alphaHeight = source.alpha ? source.alpha->height : 0;
    if (!clip || !clip->mask) {
        BlitBitMapWithOpacity(dst, bitmap, source.mask, dx, dy, sx, sy, width, height, opacity, source.alpha,
                              alphaWidth, alphaHeight);
        return;
    }
    // A shaped clip: the blend is made on a copy of the destination, which then goes through the clip.
    qzBitMap* temporary = CreateBitMap(width, height, 0, nullptr);
    if (!temporary) return;
    CopyBitmapRect(dst, dx, dy, temporary, 0, 0, width, height);
    BlitBitMapWithOpacity(temporary, bitmap, source.mask, 0, 0, sx, sy, width, height, opacity, source.alpha,
                          alphaWidth, alphaHeight);
    SafeBlt(state, temporary, 0, 0, dst, dx, dy, width, height, width, height, dst->width, dst->height,
            SAFEBLT_NOSPRITES | SAFEBLT_TARGETONLY, nullptr, nullptr, clip);
    DeleteBitMap(temporary);
}

void RedrawLayersRect(VmState* state, qzDisplay* display, qzBGPic* pic, qzBitMap* dst, int32_t x, int32_t y,
                      int32_t width, int32_t height, int flags) {
    if (width < 1 || height < 1) {
        PrintConsole("ERROR! REDRAW CALLED WITH WIDTH/HEIGHT <= 0\n");
        return;
    }
    if (x < 0 || y < 0) {
        PrintConsole("ERROR! REDRAW CALLED WITH NEGATIVE X/Y COORDINATES\n");
        return;
    }
    if (!dst) {
        PrintConsole("ERROR! REDRAW CALLED WITHOUT DSTBM\n");
        return;
    }
    if (!pic) return;
    const bool pictureResolution = flags & QZ_REDRAW_PICTURERESOLUTION;
    const int32_t pictureWidth = pictureResolution ? pic->scaledWidth : pic->width;
    const int32_t pictureHeight = pictureResolution ? pic->scaledHeight : pic->height;
    width = std::min<int64_t>(width, int64_t(pictureWidth) - x);
    height = std::min<int64_t>(height, int64_t(pictureHeight) - y);
    if (width < 1 || height < 1) return;
    const Box rect = {x, y, width, height};

    if (!(flags & QZ_REDRAW_SPRITESONLY)) {
        const qzBitMap* background = pic->bitmap;
        if (pictureResolution)
            background = pic->scaledBitmap;
        else if (!(flags & QZ_REDRAW_PICTUREBACKGROUND) && display && display->displayBuffer &&
                 ((flags & QZ_REDRAW_DISPLAYBACKGROUND) || display->bgpic == pic))
            background = display->displayBuffer;
        if (background && background != dst) CopyBitmapRect(background, x, y, dst, x, y, width, height);

        double scaleX, scaleY;
        GetLayerDrawScale(display, pictureResolution, &scaleX, &scaleY);
        for (qzLayer* layer = FirstLayer(pic); layer; layer = NextLayer(layer)) {
            if (layer->type == QZ_LAYER_NOOBJECT || layer->hidden || layer->pending) continue;
            qzLayerState* st = pictureResolution ? layer->transformed : layer->display;
            if (!st) continue;
            Box work = rect;
            if (const qzClipRegion* clip = st->clipRegion) {
                if (!Intersect(rect, {clip->x, clip->y, clip->width, clip->height}, &work)) continue;
            }
            ApplyFiltersToLayerCache(state, layer, st, 1);
            // The border first: the shadow follows its shape.
            if (layer->border.border && !st->border.bitmap) RenderLayerBorder(state, layer, st, scaleX, scaleY);
            if (layer->shadow.shadow) DrawShadow(state, layer, st, dst, work, scaleX, scaleY);
            if (layer->border.border) DrawBorder(state, layer, st, dst, work, scaleX, scaleY);
            const qzLayerKindOps& ops = LayerKindOps(layer->type);
            if (layer->border.border && ops.drawnByBorder && ops.drawnByBorder(layer, st)) continue;
            DrawBody(state, layer, st, dst, work);
        }
        if (flags & QZ_REDRAW_NOSPRITES) return;
    }
    const qzLayerSystemHooks& hooks = LayerSystemHooks();
    if (hooks.drawSprites) hooks.drawSprites(state, display, pic, dst, x, y, width, height);
}
