#include "image/image_display.h"

#include <algorithm>
#include <cmath>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_links.h"
#include "display/layer.h"
#include "display/layer_filters.h"
#include "display/layer_kinds.h"
#include "display/layer_records.h"
#include "display/layer_source.h"
#include "display/picture.h"
#include "display/positions.h"
#include "display/rect_list.h"
#include "gfx/bitmap.h"
#include "gfx/blit_display.h"
#include "gfx/channel_ops.h"
#include "gfx/clip_region.h"
#include "gfx/copy_bitmap.h"
#include "gfx/safe_blt.h"
#include "image/anim_link.h"
#include "image/brush.h"
#include "image/brush_bitmaps.h"
#include "image/draw_options.h"
#include "image/output_select.h"

namespace {

// The bitmaps drawn, those made here (freed when the draw ends) and where they come from.
struct DrawImage {
    const qzBitMap* bitmap = nullptr;
    const qzBitMap* mask = nullptr;
    const qzBitMap* alpha = nullptr;
    qzBitMap* ownBitmap = nullptr;
    qzBitMap* ownMask = nullptr;
    qzBitMap* ownAlpha = nullptr;
    int32_t width = 0, height = 0;  // of the bitmaps
    ~DrawImage() {
        DeleteBitMap(ownBitmap);
        DeleteMaskBitMap(ownMask);
        DeleteAlphaBitMap(ownAlpha);
    }
    void Own(qzBitMap* b, qzBitMap* m, qzBitMap* a, int32_t w, int32_t h) {
        DeleteBitMap(ownBitmap);
        DeleteMaskBitMap(ownMask);
        DeleteAlphaBitMap(ownAlpha);
        bitmap = ownBitmap = b;
        mask = ownMask = m;
        alpha = ownAlpha = a;
        width = w;
        height = h;
    }
    bool Temporary() const { return ownBitmap != nullptr; }
};

int32_t ResolveX(int32_t x, int32_t size, double anchor) { return ResolveXPosition(x, size, 0, anchor); }
int32_t ResolveY(int32_t y, int32_t size, double anchor) { return ResolveYPosition(y, size, 0, anchor); }

// A new alpha channel of the part at level: the part's alpha scaled, else its mask, else filled.
qzBitMap* PartAlphaAtLevel(const DrawImage& image, int32_t sx, int32_t sy, int32_t width, int32_t height, int level) {
    qzBitMap* alpha = CreateAlphaBitMap(width, height, 1, nullptr, 0);
    if (!alpha) return nullptr;
    if (image.alpha) {
        BlitAlphaRect(image.alpha, sx, sy, alpha, 0, 0, width, height, 0, 0);
        ScaleAlphaChannel(alpha, alpha, height, level);
    } else if (image.mask) {
        MaskToAlpha(image.mask, sx, sy, alpha, 0, 0, width, height, level);
    } else {
        FillAlphaRect(alpha, 0, 0, width, height, level);
    }
    return alpha;
}

// Draws the part at sx, sy of the image onto the current output at dx, dy.
void BlitToOutput(VmState* state, qzDisplay* display, const DrawImage& image, int32_t sx, int32_t sy, int32_t dx,
                  int32_t dy, int32_t width, int32_t height) {
    qzBGPic* pic = CurrentBGPic();
    // Limited by the clip region of the drawing target, as every drawing is.
    qzBlitDisplayInfo info;
    DescribeBlitDisplay(nullptr, &info);
    const qzClipRegion* clip = info.clipRegion;
    // A double-buffered display draws into its back bitmap; Flip shows the changed rectangles.
    if (display && display->doubleBuffer) AddRectToList(&display->rectList, dx, dy, width, height);
    if (display && display->outputKind != QZ_TYPE_DISPLAY && display->outputKind != QZ_TYPE_BGPIC &&
        display->outputBitmap) {
        SafeBlt(state, image.bitmap, sx, sy, display->outputBitmap, dx, dy, width, height, image.width, image.height,
                display->outputBitmap->width, display->outputBitmap->height, 0, image.mask, image.alpha, clip);
        return;
    }
    const int32_t targetWidth = pic ? pic->width : 0, targetHeight = pic ? pic->height : 0;
    SafeBlt(state, image.bitmap, sx, sy, nullptr, dx, dy, width, height, image.width, image.height, targetWidth,
            targetHeight, SAFEBLT_FIRSTBUFFER | SAFEBLT_REDRAWLAYERS, image.mask, image.alpha, clip);
}

// The owner of a video frame until a layer takes it.
struct FrameOwner {
    qzBitMap* frame;
    ~FrameOwner() { DeleteBitMap(frame); }
    qzBitMap* Release() {
        qzBitMap* taken = frame;
        frame = nullptr;
        return taken;
    }
};

// DisplayImageObject with a video frame for kind QZ_DRAW_VIDEO (the call owns it) and the new layer.
int DisplayImage(VmState* state, int32_t layerpos, int32_t kind, const qzObjectId& id, qzBitMap* videoFrame,
                 int32_t srcx, int32_t srcy, int32_t dstx, int32_t dsty, int32_t width, int32_t height, int withLayers,
                 int tagIndex, const qzTransformTags* transformTags, const qzLayerTags* layerTags, qzBitMap** outBitmap,
                 int* outOwned, uint32_t flags, qzLayer** outLayer) {
    FrameOwner frame{videoFrame};
    if (outBitmap) *outBitmap = nullptr;
    if (outOwned) *outOwned = 0;
    if (outLayer) *outLayer = nullptr;
    qzDisplay* display = CurrentDisplay();
    const bool layersOn = withLayers && display && display->layersEnabled;

    // A redirected output whose description went stale is brought up to date before anything
    // is drawn; first, so that the bitmaps taken of the object below stay the ones in use.
    if (int error = UpdateSelectedOutput(state)) return error;

    // 2. The object.
    DrawImage image;
    qzBGPic* picture = nullptr;  // BGPICPART
    int32_t objectWidth = 0, objectHeight = 0, type = QZ_IMAGETYPE_RASTER;
    qzImageSource* vectorSource = nullptr;
    int hardware = 0;
    int32_t animFrame = 0, animFrames = 0;  // ANIM: the frame shown and the anim's frame count
    if (kind == QZ_DRAW_BRUSH || kind == QZ_DRAW_BRUSHPART) {
        qzBrush* brush = nullptr;
        for (qzBrush* b = FirstBrush(); b; b = NextBrush(b))
            if (!b->layeronly && SameObjectId(b->header.id, id) && BrushIsSelectedOutput(b) && display) {
                int error = DisplayLinks().endSelectOutput(state, display);
                if (error) return error;
            }
        int findFlags = (flags & QZ_DRAWOBJ_RESTORE) ? QZ_FINDBRUSH_LAYERONLY : 0;
        if (display && (display->doubleBufferHardware || display->outputHardware)) findFlags |= QZ_FINDBRUSH_HARDWARE;
        int error = FindBrush(state, id, &brush, findFlags);
        if (error) return error;
        if (brush->hardware && brush->display && brush->display != display) return ERR_INCOMPATBRUSH;
        if (brush->type == QZ_IMAGETYPE_VECTOR) {
            if (kind == QZ_DRAW_BRUSHPART) return ERR_BRUSHTYPE;
            if (brush->transformedvector && layersOn) return ERR_TFVBRUSH;
            vectorSource = brush->source;
        }
        image.bitmap = brush->bitmap;
        image.mask = brush->mask;
        image.alpha = brush->alpha;
        image.width = objectWidth = brush->width;
        image.height = objectHeight = brush->height;
        type = brush->type;
        hardware = brush->hardware;
        if (kind == QZ_DRAW_BRUSH) {
            srcx = srcy = 0;
            width = objectWidth;
            height = objectHeight;
        }
    } else if (kind == QZ_DRAW_ANIM) {
        // srcx is the frame (0-based); the frame is drawn whole.
        if (!AnimLinks().frame) return AnimNotFound(id);
        qzAnimFrameView view{};
        int error = AnimLinks().frame(state, id, srcx, (flags & QZ_DRAWOBJ_RESTORE) != 0, &view);
        if (error) return error;
        if (view.owned) {
            image.Own(view.bitmap, view.mask, view.alpha, view.width, view.height);
        } else {
            image.bitmap = view.bitmap;
            image.mask = view.mask;
            image.alpha = view.alpha;
            image.width = view.width;
            image.height = view.height;
        }
        objectWidth = view.width;
        objectHeight = view.height;
        animFrame = srcx;
        animFrames = view.frames;
        srcx = srcy = 0;
        width = objectWidth;
        height = objectHeight;
    } else if (kind == QZ_DRAW_BGPICPART) {
        qzBGPic* pic = nullptr;
        if (id.number == -1 && !id.pointer) {
            pic = display ? display->bgpic : nullptr;
            if (!pic) return ERR_FINDBGPIC;
        } else {
            int error = FindBGPic(state, id, &pic, 0);
            if (error) return error;
        }
        const bool scaled = pic->scaledBitmap != nullptr;
        image.bitmap = scaled ? pic->scaledBitmap : pic->bitmap;
        image.mask = scaled ? pic->scaledMask : pic->mask;
        image.alpha = scaled ? pic->scaledAlpha : pic->alpha;
        image.width = objectWidth = pic->scaledWidth > 0 ? pic->scaledWidth : pic->width;
        image.height = objectHeight = pic->scaledHeight > 0 ? pic->scaledHeight : pic->height;
        if (dstx == -1) dstx = srcx;
        if (dsty == -1) dsty = srcy;
        if (!image.bitmap) return ERR_FINDBGPIC;
        picture = pic;
    } else if (kind == QZ_DRAW_VIDEO) {
        // A video frame only ever becomes a layer: the layer's own bitmap, at the frame's size.
        if (!frame.frame || !layersOn || outBitmap) return ERR_WRONGUSAGE;
        image.bitmap = frame.frame;
        image.width = objectWidth = frame.frame->width;
        image.height = objectHeight = frame.frame->height;
        if (width <= 0) width = objectWidth;
        if (height <= 0) height = objectHeight;
    } else {
        return ERR_WRONGUSAGE;
    }

    // 3. The size.
    if (width < 1 || height < 1) return ERR_BADDIMENSIONS;

    // 4. The options.
    qzTransformTags transform;
    qzLayerTags tags;
    if (transformTags) {
        transform = *transformTags;
        if (layerTags)
            tags = *layerTags;
        else
            CopyDefaultLayerTags(&tags);
    } else if (tagIndex > 0) {
        int error = ParseDrawTags(
            state, tagIndex, width, height, 0, 0, DefaultTransformTags()->smoothscale, &transform, &tags,
            kind == QZ_DRAW_BGPICPART ? QZ_DRAWTAGS_DEFAULTS : QZ_DRAWTAGS_DEFAULTS | QZ_DRAWTAGS_TABLEONLY);
        if (error) return error;
    } else {
        InitDrawTags(&transform, &tags, 0, 0, DefaultTransformTags()->smoothscale, 0);
    }

    // 5. Positions.
    dstx = ResolveX(dstx, width, transform.anchorx);
    dsty = ResolveY(dsty, height, transform.anchory);
    if (srcx < 0 || srcy < 0) return ERR_NEGCOORDS;
    if (srcx >= objectWidth || srcy >= objectHeight) return ERR_COORDSRANGE;
    if (width > objectWidth - srcx) width = objectWidth - srcx;
    if (height > objectHeight - srcy) height = objectHeight - srcy;

    // The part of a picture together with its layers: the composition stands in for the picture.
    if (picture && (flags & QZ_DRAWOBJ_WITHLAYERS)) {
        qzBitMap* composed = nullptr;
        int owned = 0;
        int error = GetBGPicImageWithLayers(state, picture, srcx, srcy, width, height, &composed, &owned);
        if (error) return error;
        if (owned) {
            image.Own(composed, nullptr, nullptr, objectWidth, objectHeight);
        } else {
            image.bitmap = composed;
            image.mask = image.alpha = nullptr;
        }
    }

    // 7. With layers on the drawing becomes a layer.
    const bool identity = IsIdentityMatrix(transform.matrix) && !(flags & QZ_DRAWOBJ_TRANSFORMED);
    if (layersOn && !outBitmap) {
        // A composed part goes into the layer as a private copy; other layers draw their object.
        qzBitMap* own = kind == QZ_DRAW_VIDEO ? frame.Release() : nullptr;
        if (picture && (flags & QZ_DRAWOBJ_WITHLAYERS)) {
            int error =
                CopyBitMap(image.bitmap, nullptr, nullptr, srcx, srcy, width, height, 0, &own, nullptr, nullptr);
            if (error) return error;
        }
        qzLayerState* st = NewLayerState();
        if (!st) {
            DeleteBitMap(own);
            return ERR_MEM;
        }
        st->partX = own && kind != QZ_DRAW_VIDEO ? 0 : srcx;
        st->partY = own && kind != QZ_DRAW_VIDEO ? 0 : srcy;
        if (kind == QZ_DRAW_ANIM) {
            st->partX = animFrame;
            st->partY = animFrames;
        }
        const bool replace = flags & QZ_DRAWOBJ_REPLACE;
        // A picture named by -1 (the displayed one) is shown under its own identifier, so that
        // the layer still finds it when the display shows another.
        const qzObjectId shown = picture ? picture->header.id : id;
        int error =
            AddLayerForObject(state, kind, shown, dstx, dsty, width, height, &transform, &tags, own, nullptr, nullptr,
                              st, replace ? layerpos : -1, replace ? (uint32_t)QZ_ADDLAYER_REPLACE : 0u, outLayer);
        if (error) return error;
        if (!identity || tags.effects || tags.insertpos || (flags & (QZ_DRAWOBJ_NODRAW | QZ_DRAWOBJ_RESTORE))) return 0;
    }

    // 8a. Transformation into temporary bitmaps.
    const int32_t partWidth = width, partHeight = height;
    int32_t x = dstx, y = dsty;
    if (!identity && !layersOn) {
        const double anchor[2] = {transform.anchorx, transform.anchory};
        qzBitMap *b = nullptr, *m = nullptr, *a = nullptr;
        int32_t w = 0, h = 0;
        int error = TransformBrushBitmap(type, vectorSource, image.bitmap, image.mask, image.alpha, srcx, srcy, dstx,
                                         dsty, width, height, anchor, transform.matrix, transform.smoothscale, hardware,
                                         &b, &m, &a, &x, &y, &w, &h);
        if (error) return error;
        image.Own(b, m, a, w, h);
        srcx = srcy = 0;
        width = w;
        height = h;
    }
    // 8b. Filters, on a copy.
    if (HasEnabledFilter(tags.filters) && !layersOn) {
        if (hardware) return ERR_HWBRUSHFUNC;
        if (!image.Temporary()) {
            qzBitMap *b = nullptr, *m = nullptr, *a = nullptr;
            int error = CopyBitMap(image.bitmap, image.mask, image.alpha, srcx, srcy, width, height, 0, &b,
                                   image.mask ? &m : nullptr, image.alpha ? &a : nullptr);
            if (error) return error;
            image.Own(b, m, a, width, height);
            srcx = srcy = 0;
        }
        int error = ApplyLayerFilters(tags.filters, image.ownBitmap, image.ownMask, image.ownAlpha, width, height, 0);
        if (error) return error;
    }
    // 8c. Transparency, without changing the object.
    if (tags.transparency && !layersOn) {
        if (hardware) return ERR_HWBRUSHFUNC;
        const int level = 255 - tags.transparency;
        if (image.Temporary()) {
            int error = ApplyTransparencyLevel(&image.ownAlpha, &image.ownMask, image.width, image.height, level);
            if (error) return error;
            image.alpha = image.ownAlpha;
            image.mask = image.ownMask;
        } else {
            // The part is copied so that the object keeps its own channels.
            qzBitMap* copy = nullptr;
            int error =
                CopyBitMap(image.bitmap, nullptr, nullptr, srcx, srcy, width, height, 0, &copy, nullptr, nullptr);
            if (error) return error;
            qzBitMap* alpha = PartAlphaAtLevel(image, srcx, srcy, width, height, level);
            if (!alpha) {
                DeleteBitMap(copy);
                return ERR_ALLOCALPHA;
            }
            image.Own(copy, nullptr, alpha, width, height);
            srcx = srcy = 0;
        }
    }

    if (outBitmap) {
        if (!image.Temporary() && srcx == 0 && srcy == 0 && width == image.width && height == image.height &&
            !image.alpha && !image.mask) {
            *outBitmap = const_cast<qzBitMap*>(image.bitmap);
            return 0;
        }
        qzBitMap* copy = nullptr;
        int error = CopyBitMap(image.bitmap, nullptr, nullptr, srcx, srcy, width, height, 0, &copy, nullptr, nullptr);
        if (error) return error;
        *outBitmap = copy;
        if (outOwned) *outOwned = 1;
        return 0;
    }
    if (flags & (QZ_DRAWOBJ_NODRAW | QZ_DRAWOBJ_RESTORE)) return 0;

    // 8d. The anchor point lands on the given position.
    x -= (int32_t)std::trunc(partWidth * transform.anchorx);
    y -= (int32_t)std::trunc(partHeight * transform.anchory);
    if (display && display->outputKind == QZ_TYPE_BGPIC && display->layersEnabled) {
        AddRectToList(&display->rectList, x, y, width, height);
        return 0;
    }
    if (display && display->outputKind == QZ_TYPE_DISPLAY && display->layerScale && display->scaledWidth > 0 &&
        display->scaledHeight > 0 && (display->scaleX != 1 || display->scaleY != 1))
        return 0;
    BlitToOutput(state, display, image, srcx, srcy, x, y, width, height);
    return 0;
}

}  // namespace

int DisplayImageObject(VmState* state, int32_t layerpos, int32_t kind, const qzObjectId& id, int32_t srcx, int32_t srcy,
                       int32_t dstx, int32_t dsty, int32_t width, int32_t height, int withLayers, int tagIndex,
                       const qzTransformTags* transformTags, const qzLayerTags* layerTags, qzBitMap** outBitmap,
                       int* outOwned, uint32_t flags) {
    return DisplayImage(state, layerpos, kind, id, nullptr, srcx, srcy, dstx, dsty, width, height, withLayers, tagIndex,
                        transformTags, layerTags, outBitmap, outOwned, flags, nullptr);
}

int DisplayVideoFrameImage(VmState* state, int32_t layerpos, const qzObjectId& id, qzBitMap* frame, int32_t srcx,
                           int32_t srcy, int32_t dstx, int32_t dsty, int32_t width, int32_t height, int tagIndex,
                           const qzTransformTags* transformTags, const qzLayerTags* layerTags, uint32_t flags,
                           qzLayer** outLayer) {
    return DisplayImage(state, layerpos, QZ_DRAW_VIDEO, id, frame, srcx, srcy, dstx, dsty, width, height, 1, tagIndex,
                        transformTags, layerTags, nullptr, nullptr, flags, outLayer);
}

int DisplayBrushSimple(VmState* state, const qzObjectId& id, int32_t x, int32_t y, int tagIndex) {
    return DisplayImageObject(state, 0, QZ_DRAW_BRUSH, id, 0, 0, x, y, 0, 0, 1, tagIndex, nullptr, nullptr, nullptr,
                              nullptr, 0);
}

int ApplyDrawTagFilters(const qzLayerTags* layerTags, qzBitMap* bitmap, qzBitMap** inoutMask, qzBitMap** inoutAlpha,
                        int32_t width, int32_t height) {
    const qzDisplay* display = CurrentDisplay();
    if (!layerTags || (display && display->layersEnabled)) return 0;
    if (HasEnabledFilter(layerTags->filters)) {
        int error = ApplyLayerFilters(layerTags->filters, bitmap, *inoutMask, *inoutAlpha, width, height, 0);
        if (error) return error;
    }
    if (layerTags->transparency)
        return ApplyTransparencyLevel(inoutAlpha, inoutMask, width, height, 255 - layerTags->transparency);
    return 0;
}

int RenderImageLayerContent(VmState* state, qzLayer* layer, qzLayerState* target, const qzTransformTags* transform) {
    const qzLayerState* base = layer->base;
    if (!base || !transform) return ERR_WRONGUSAGE;
    // The untransformed content: the layer's own bitmaps or its object's, and the part it shows.
    qzLayerSource source;
    int error = GetLayerSourceBitmaps(state, layer, layer->base, 0, 0, -1, &source);
    if (error) return error;
    if (!source.trio.bitmap) return ERR_WRONGUSAGE;
    const qzLayerShownRect shown = LayerShownRect(layer, base, source);
    const int32_t sx = shown.x, sy = shown.y;
    const int32_t width = std::min({base->width, shown.width, source.width - sx});
    const int32_t height = std::min({base->height, shown.height, source.height - sy});
    if (sx < 0 || sy < 0 || width < 1 || height < 1) return ERR_WRONGUSAGE;
    // A vector brush is rendered again by its image loader, so that it stays sharp.
    int32_t type = QZ_IMAGETYPE_RASTER;
    qzImageSource* vectorSource = nullptr;
    if (layer->type == QZ_LAYER_BRUSH) {
        qzBrush* brush = nullptr;
        if (FindBrush(state, layer->id, &brush, QZ_FINDBRUSH_LAYERONLY | QZ_FINDBRUSH_HARDWARE) == 0 &&
            brush->type == QZ_IMAGETYPE_VECTOR) {
            type = QZ_IMAGETYPE_VECTOR;
            vectorSource = brush->source;
        }
    }
    const double anchor[2] = {transform->anchorx, transform->anchory};
    qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
    int32_t x = 0, y = 0, newWidth = 0, newHeight = 0;
    error = TransformBrushBitmap(type, vectorSource, source.trio.bitmap, source.trio.mask, source.trio.alpha, sx, sy, 0,
                                 0, width, height, anchor, transform->matrix, transform->smoothscale, 0, &bitmap, &mask,
                                 &alpha, &x, &y, &newWidth, &newHeight);
    if (error) return error;
    DeleteBitMap(target->own.bitmap);
    DeleteMaskBitMap(target->own.mask);
    DeleteAlphaBitMap(target->own.alpha);
    target->own = {bitmap, mask, alpha};
    target->sourceWidth = width;
    target->sourceHeight = height;
    target->width = newWidth;
    target->height = newHeight;
    target->partX = target->partY = 0;
    return 0;
}
