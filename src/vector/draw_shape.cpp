// DrawShape, its builders and delivery, lines of any thickness, and the shape layers' side of
// the renderer.
#include "vector/draw_shape.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/error_codes.h"
#include "display/layer_filters.h"
#include "gfx/blit.h"
#include "gfx/blit_display.h"
#include "gfx/clip_region.h"
#include "gfx/safe_blt.h"
#include "image/image_display.h"
#include "image/output_select.h"
#include "vector/shape.h"
#include "vector/shape_layer.h"
#include "vector/shape_line.h"

namespace {

// A size or width scaled by a matrix element, rounded to nearest and kept inside 32 bits (the
// clamps that follow bring it into range).
int32_t ScaleSize(int32_t value, double factor) {
    const double v = std::nearbyint((double)value * std::fabs(factor));
    if (!(v > -2147483648.0)) return INT32_MIN;
    if (!(v < 2147483647.0)) return INT32_MAX;
    return (int32_t)v;
}

// Blits the finished bitmaps into the current output, limited by its clip region: a display or
// background picture gets them in its first buffer (composed with sprites and presented by
// SafeBlt), a selected brush in its colour bitmap, and a selection's mask and alpha channel follow
// the shape's.
void BlitIntoOutput(VmState* state, const qzShapeBitmaps* made) {
    qzBlitDisplayInfo info;
    if (!DescribeBlitDisplay(nullptr, &info)) return;
    const int w = made->width, h = made->height;
    if (info.outputKind == OUTPUT_DISPLAY) {
        SafeBlt(state, made->bitmap, 0, 0, nullptr, made->x, made->y, w, h, w, h, info.targetWidth, info.targetHeight,
                SAFEBLT_FIRSTBUFFER | SAFEBLT_FORCEFIRSTBUFFER, made->mask, made->alpha, info.clipRegion);
    } else {
        SafeBlt(state, made->bitmap, 0, 0, info.outputBitmap, made->x, made->y, w, h, w, h, info.targetWidth,
                info.targetHeight, 0, made->mask, made->alpha, info.clipRegion);
    }
}

// Step 9: the bitmaps go back to the caller, into a new layer, or, with the filters and the
// transparency of the options applied, into the output.
int Deliver(VmState* state, const qzShape* shape, const qzDrawState* drawn, const qzLayerTags* tags, bool toLayer,
            uint32_t mode, qzShapeBitmaps* made, qzShapeBitmaps* out) {
    if (mode & DRAWSHAPE_FORLAYER) {
        if (out) {
            *out = *made;
            return 0;
        }
        FreeShapeBitmaps(made);
        return 0;
    }
    int error = 0;
    if (toLayer) {
        error = AddShapeLayer(state, shape, drawn, tags, made);
    } else if (!(mode & DRAWSHAPE_NOBLIT)) {
        error =
            ApplyDrawTagFilters(shape->layerTags, made->bitmap, &made->mask, &made->alpha, made->width, made->height);
        if (!error) BlitIntoOutput(state, made);
    }
    FreeShapeBitmaps(made);
    return error;
}

}  // namespace

bool ShapesGoToLayers() {
    if (!ShapeLayerKindsInstalled()) return false;
    qzBlitDisplayInfo info;
    return DescribeBlitDisplay(nullptr, &info) &&
           (info.outputKind == OUTPUT_DISPLAY || info.outputKind == OUTPUT_BGPIC) && info.layersOn;
}

int ClearOutputLayers(VmState* state) {
    if (!ShapesGoToLayers()) return -1;
    return ClearPictureLayers(state);
}

void ApplyDrawStateToLayer(qzDrawState* copy, qzLayerTags* tags, uint32_t* color) {
    if (copy->formStyle & FORM_EDGE) {
        tags->border.border = 1;
        tags->border.bordercolor = copy->edgeColor;
        tags->border.bordersize = copy->edgeSize;
        copy->formStyle &= ~FORM_EDGE;
    }
    if (copy->formStyle & FORM_SHADOW) {
        tags->shadow.shadow = 1;
        tags->shadow.shadowcolor = copy->shadowColor;
        tags->shadow.shadowsize = copy->shadowSize;
        tags->shadow.shadowdir = copy->shadowDirection;
        copy->formStyle &= ~FORM_SHADOW;
    }
    if (copy->fillStyle == FILLNONE && copy->lineWidth > 1) {
        tags->border.border = 1;
        tags->border.bordercolor = *color & 0xFFFFFF;
        tags->border.bordersize = std::max(1, copy->lineWidth / 2);
        copy->lineWidth = 1;
    }
    if (*color >> 24) {
        tags->transparency = (int32_t)(*color >> 24);
        *color &= 0xFFFFFF;
    }
    tags->effects = tags->hidden || tags->transparency || HasEnabledFilter(tags->filters) || tags->shadow.shadow ||
                            tags->border.border
                        ? 1
                        : 0;
}

int DrawShape(VmState* state, qzShape* shape, uint32_t mode, qzShapeBitmaps* out) {
    // A selected brush, mask or alpha channel is looked up again before the first draw into it.
    if (!(mode & (DRAWSHAPE_RERENDER | DRAWSHAPE_FORLAYER))) {
        int error = UpdateSelectedOutput(state);
        if (error) return error;
    }
    qzDrawState copy = shape->drawState ? *shape->drawState : qzDrawState();
    qzLayerTags tags;
    if (shape->layerTags)
        tags = *shape->layerTags;
    else
        CopyDefaultLayerTags(&tags);
    const bool toLayer = !(mode & (DRAWSHAPE_RERENDER | DRAWSHAPE_FORLAYER)) && ShapesGoToLayers();
    const qzShapeTransform* given = shape->transform;
    qzShapeTransform identity;
    uint32_t color = shape->color;
    if (toLayer) {
        // The layer draws its edge, shadow, transparency and transform itself.
        ApplyDrawStateToLayer(&copy, &tags, &color);
        if (given && !IsIdentityMatrix(given->matrix)) {
            identity.anchorX = given->anchorX;
            identity.anchorY = given->anchorY;
            shape->transform = &identity;
        }
    } else if (given) {
        copy.shadowSize = ScaleSize(copy.shadowSize, given->matrix[0]);
        copy.lineWidth = ScaleSize(copy.lineWidth, given->matrix[0]);
    }
    ClampDrawState(&copy);
    const uint32_t scriptColor = shape->color;
    shape->color = color;
    qzShapeBitmaps made;
    int error = 0;
    if (shape->kind == SHAPE_LINE) {
        const int thickness = ClampLineThickness(shape->thickness);
        error = RenderLineOffscreen(shape->x1, shape->y1, shape->x2, shape->y2, color, thickness,
                                    (copy.formStyle & FORM_ANTIALIAS) != 0, &made);
    } else {
        error = RenderShapeOffscreen(state, shape, &copy, shape->x, shape->y, &made);
    }
    shape->transform = given;
    if (!error) error = Deliver(state, shape, &copy, &tags, toLayer, mode, &made, out);
    shape->color = scriptColor;
    return error;
}

uint32_t ChooseShapeOffscreen(const qzShape* shape, const qzDrawState* drawState, bool modernCurves) {
    const bool antialias = (drawState->formStyle & FORM_ANTIALIAS) != 0;
    switch (shape->kind) {
    case SHAPE_BOX: {
        const bool rounded = BoxHasRoundedCorners(shape->corners, shape->width, shape->height);
        if (rounded && antialias && modernCurves) return 0;
        const bool transformed = shape->transform && !IsIdentityMatrix(shape->transform->matrix);
        const bool wideOutline = drawState->fillStyle == FILLNONE && drawState->lineWidth >= 2;
        return rounded || transformed || wideOutline || antialias ? 1 : 0;
    }
    case SHAPE_CIRCLE:
    case SHAPE_ELLIPSE:
    case SHAPE_ARC: return !modernCurves || !antialias ? 1 : 0;
    default: return 1;
    }
}

int DrawBoxShape(VmState* state, qzShape* shape, int width, int height, const int corners[4], bool modernCurves,
                 uint32_t mode) {
    if (width < 1 || height < 1) return ERR_WRONGUSAGE;
    shape->kind = SHAPE_BOX;
    shape->width = width;
    shape->height = height;
    for (int i = 0; i < 4; i++) shape->corners[i] = std::clamp(corners[i], 0, 100);
    const qzDrawState ds = shape->drawState ? *shape->drawState : qzDrawState();
    shape->offscreen = ChooseShapeOffscreen(shape, &ds, modernCurves);
    return DrawShape(state, shape, mode, nullptr);
}

namespace {

// Ellipses, circles and arcs: the curve's fields, its off-screen flag, then DrawShape.
int DrawCurveShape(VmState* state, qzShape* shape, int kind, int rx, int ry, int start, int end, int clockwise,
                   bool modernCurves, uint32_t mode) {
    // 2 r + 1 must stay a 32-bit size; such a shape could never be allocated anyway.
    if (rx > 0x3FFFFFFE || ry > 0x3FFFFFFE) return ERR_BITMAP;
    shape->kind = kind;
    shape->rx = rx;
    shape->ry = ry;
    shape->width = 2 * rx + 1;
    shape->height = 2 * ry + 1;
    shape->startAngle = start;
    shape->endAngle = end;
    shape->clockwise = clockwise;
    const qzDrawState ds = shape->drawState ? *shape->drawState : qzDrawState();
    shape->offscreen = ChooseShapeOffscreen(shape, &ds, modernCurves);
    return DrawShape(state, shape, mode, nullptr);
}

}  // namespace

int DrawEllipseShape(VmState* state, qzShape* shape, int kind, int rx, int ry, bool modernCurves, uint32_t mode) {
    if (rx < 1 || ry < 1) return ERR_WRONGUSAGE;
    return DrawCurveShape(state, shape, kind, rx, ry, 0, 360, 1, modernCurves, mode);
}

int DrawArcShape(VmState* state, qzShape* shape, int rx, int ry, int start, int end, int clockwise, bool modernCurves,
                 uint32_t mode) {
    if (rx < 1 || ry < 1 || start < 0 || end < 0) return ERR_WRONGUSAGE;
    if (start == end) return 0;
    return DrawCurveShape(state, shape, SHAPE_ARC, rx, ry, start, end, clockwise, modernCurves, mode);
}

int DrawPolygonShape(VmState* state, qzShape* shape, const qzShapePoint* points, int count, int width, int height,
                     uint32_t mode) {
    if (count < 2 || width < 1 || height < 1) return ERR_WRONGUSAGE;
    shape->kind = SHAPE_POLYGON;
    shape->points = points;
    shape->count = count;
    shape->width = width;
    shape->height = height;
    shape->offscreen = 1;
    return DrawShape(state, shape, mode, nullptr);
}

int DrawLineCore(VmState* state, qzShape* shape, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int thickness,
                 uint32_t mode, qzShapeBitmaps* out) {
    if (!(mode & (DRAWSHAPE_RERENDER | DRAWSHAPE_FORLAYER))) {
        int error = UpdateSelectedOutput(state);
        if (error) return error;
    }
    const qzDrawState ds = shape->drawState ? *shape->drawState : qzDrawState();
    const bool toLayer = !(mode & (DRAWSHAPE_RERENDER | DRAWSHAPE_FORLAYER)) && ShapesGoToLayers();
    const qzShapeTransform* t = shape->transform;
    int64_t thick = thickness;
    int64_t ax = x1, ay = y1, bx = x2, by = y2;
    if (t && !IsIdentityMatrix(t->matrix) && !toLayer) {
        // The ends turn about the anchor of the line's box.
        const int64_t left = std::min(ax, bx), top = std::min(ay, by);
        const int w = (int)std::min<int64_t>(std::llabs(bx - ax) + 1, INT32_MAX);
        const int h = (int)std::min<int64_t>(std::llabs(by - ay) + 1, INT32_MAX);
        int64_t mx, my;
        TransformPointAboutAnchor(ax - left, ay - top, w, h, t->matrix, t->anchorX, t->anchorY, &mx, &my);
        ax = left + mx, ay = top + my;
        TransformPointAboutAnchor(bx - left, by - top, w, h, t->matrix, t->anchorX, t->anchorY, &mx, &my);
        bx = left + mx, by = top + my;
        thick = ScaleSize((int32_t)std::clamp<int64_t>(thick, INT32_MIN, INT32_MAX), t->matrix[0]);
    }
    for (int64_t* v : {&ax, &ay, &bx, &by}) *v = std::clamp<int64_t>(*v, INT32_MIN / 2, INT32_MAX / 2);
    shape->kind = SHAPE_LINE;
    shape->thickness = ClampLineThickness(thick);
    shape->x1 = (int32_t)ax, shape->y1 = (int32_t)ay, shape->x2 = (int32_t)bx, shape->y2 = (int32_t)by;
    shape->x = (int32_t)std::min(ax, bx);
    shape->y = (int32_t)std::min(ay, by);
    shape->width = (int32_t)std::min<int64_t>(std::llabs(bx - ax) + 1, INT32_MAX);
    shape->height = (int32_t)std::min<int64_t>(std::llabs(by - ay) + 1, INT32_MAX);
    const bool antialias = (ds.formStyle & FORM_ANTIALIAS) != 0;
    qzBlitDisplayInfo info;
    const bool haveOutput = DescribeBlitDisplay(nullptr, &info);
    // A shaped clip region is applied by the blit of the off-screen path.
    const bool shapedClip = haveOutput && info.clipRegion && info.clipRegion->mask;
    if (!(mode & (DRAWSHAPE_FORLAYER | DRAWSHAPE_NOBLIT)) && shape->thickness == 1 && !antialias &&
        !(shape->color >> 24) && haveOutput && info.outputKind == OUTPUT_DISPLAY && !info.layersOn &&
        info.firstBuffer && !toLayer && !shapedClip) {
        // A thin opaque line goes straight into the display's buffer, clipped to the clip box.
        const qzClipBox clip = ClipBoxOf(info.clipRegion, info.targetWidth, info.targetHeight);
        int32_t cx1 = shape->x1, cy1 = shape->y1, cx2 = shape->x2, cy2 = shape->y2;
        if (clip.width < 1 || clip.height < 1 ||
            !ClipSegmentAxis(&cx1, &cy1, &cx2, &cy2, clip.x, clip.x + clip.width - 1) ||
            !ClipSegmentAxis(&cy1, &cx1, &cy2, &cx2, clip.y, clip.y + clip.height - 1))
            return 0;
        const int left = std::min(cx1, cx2), top = std::min(cy1, cy2);
        const int w = std::abs(cx2 - cx1) + 1, h = std::abs(cy2 - cy1) + 1;
        if (!BlitTouchesSprites(left, top, left + w - 1, top + h - 1)) {
            const uint32_t rgb = shape->color & 0xFFFFFF;
            DrawBitMapLine(info.firstBuffer, cx1, cy1, cx2, cy2, rgb);
            const bool mirror = info.scaling && info.scaledWidth && info.scaledHeight && info.secondBuffer;
            if (mirror) DrawBitMapLine(info.secondBuffer, cx1, cy1, cx2, cy2, rgb);
            PresentBitMapRect(mirror ? info.secondBuffer : info.firstBuffer, left, top, BlitCurrentDisplay(), left, top,
                              w, h, PRESENT_SCALED);
            return 0;
        }
    }
    return DrawShape(state, shape, mode, out);
}

int RenderShapeLayer(VmState* state, const qzShapeLayerParams* params, uint32_t color, int size, qzShapeBitmaps* out,
                     int32_t* grow) {
    qzDrawState ds;
    ds.formStyle = params->antialias ? FORM_NORMAL | FORM_ANTIALIAS : FORM_NORMAL;
    if (params->outline) {
        ds.fillStyle = FILLNONE;
        ds.lineWidth = std::max(2, ScaleSize(2 * std::clamp(size, 0, 0x3FFFFFFF), params->transform.matrix[0]));
    } else {
        ds.fillStyle = FILLCOLOR;
        if (size > 0) {
            ds.formStyle |= FORM_EDGE;
            ds.edgeColor = color & 0xFFFFFF;
            ds.edgeSize = size;
        }
    }
    ClampDrawState(&ds);
    // The outline reaches this far beyond the box of the shape drawn plainly (both share the
    // anti-aliasing margin): the edge, or half the outline's width.
    if (grow) *grow = params->outline ? ds.lineWidth >> 1 : (ds.formStyle & FORM_EDGE ? ds.edgeSize : 0);
    qzShape shape{};
    shape.drawState = &ds;
    shape.transform = &params->transform;
    shape.color = color & 0xFFFFFF;
    shape.kind = params->kind;
    shape.width = params->width;
    shape.height = params->height;
    shape.rx = params->width / 2;
    shape.ry = params->height / 2;
    for (int i = 0; i < 4; i++) shape.corners[i] = std::clamp(params->corners[i], 0, 100);
    shape.startAngle = params->startAngle;
    shape.endAngle = params->endAngle;
    shape.clockwise = params->clockwise;
    shape.points = params->points;
    shape.count = params->count;
    if (params->kind == SHAPE_LINE)
        return DrawLineCore(state, &shape, params->x1, params->y1, params->x2, params->y2, ds.lineWidth,
                            DRAWSHAPE_FORLAYER, out);
    if (params->width < 1 || params->height < 1) return ERR_WRONGUSAGE;
    if (params->kind == SHAPE_POLYGON && (!params->points || params->count < 2)) return ERR_WRONGUSAGE;
    shape.offscreen = ChooseShapeOffscreen(&shape, &ds, true);
    return DrawShape(state, &shape, DRAWSHAPE_FORLAYER, out);
}
