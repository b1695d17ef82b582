// Curved shapes through the outline engine; see outline_shapes.h.
#include "vector/outline_shapes.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include FT_STROKER_H

#include "gfx/polygon.h"
#include "vector/shape.h"
#include "vector/shape_outline.h"
#include "vector/stroker_feed.h"

namespace {

FT_Vector Fixed(double x, double y) { return FT_Vector{ToFixed26(x), ToFixed26(y)}; }

// The shape's geometry about its pivot (the point its matrix turns it about): an ellipse, a pie
// wedge or a rounded box, as one closed sub-path in pixel-centre coordinates.
bool FeedShape(qzStrokerFeed* feed, const qzShapeGeometry& g, int w, int h, double px, double py) {
    switch (g.kind) {
    case SHAPE_CIRCLE:
    case SHAPE_ELLIPSE:
    case SHAPE_ARC: {
        const bool arc = g.kind == SHAPE_ARC;
        const double cx = w / 2 - px, cy = h / 2 - py;
        const double rx = arc ? g.rx : w / 2, ry = arc ? g.ry : h / 2;
        int64_t start = arc ? g.startAngle : 0, end = arc ? g.endAngle : 360;
        if (arc && g.clockwise && end < start) end += 360 * ((start - end + 359) / 360);
        if (arc && !g.clockwise && start < end) start += 360 * ((end - start + 359) / 360);
        const bool full = !arc || std::llabs(end - start) >= 360;
        if (full) start = 0, end = 360;
        int begin = 1;
        double sx, sy, ex, ey;
        EllipseArcToStroker(feed, cx, cy, rx, ry, (double)start, (double)end, full || g.clockwise ? 1 : 0, nullptr,
                            &begin, full ? 1 : 0, 0, &sx, &sy, &ex, &ey);
        EndStrokerSubPathAs(feed, 0);
        return true;
    }
    case SHAPE_BOX: {
        int r[4];
        for (int i = 0; i < 4; i++) r[i] = CornerRadius(g.corners[i], w, h);
        const double x0 = -px, y0 = -py, x1 = w - 1 - px, y1 = h - 1 - py;
        // Corners a..d: top-left, bottom-left, bottom-right, top-right, each with its arc (degrees,
        // increasing clockwise on screen) run anticlockwise.
        const struct {
            double x, y;
            int sx, sy;
            double from, to;
        } corners[4] = {
            {x0, y0, 1, 1, 270, 180}, {x0, y1, 1, -1, 180, 90}, {x1, y1, -1, -1, 90, 0}, {x1, y0, -1, 1, 360, 270}};
        FT_Vector first = Fixed(x0 + r[0], y0);
        BeginOpenStrokerSubPath(feed, &first);
        for (int i = 0; i < 4; i++) {
            const auto& c = corners[i];
            if (r[i] <= 0) {
                FT_Vector p = Fixed(c.x, c.y);
                StrokerLineTo(feed, &p);
                continue;
            }
            int begin = 0;
            double ignore, ex, ey;
            EllipseArcToStroker(feed, c.x + c.sx * r[i], c.y + c.sy * r[i], r[i], r[i], c.from, c.to, 0, nullptr,
                                &begin, 1, 1, &ignore, &ignore, &ex, &ey);
        }
        EndStrokerSubPathAs(feed, 0);
        return true;
    }
    default: return false;
    }
}

// Writes spans into the plane, each pixel keeping the larger coverage.
struct SpanPlane {
    uint8_t* plane;
    int pitch;
    int width, height;
};

void MaxSpans(int y, int count, const FT_Span* spans, void* user) {
    const auto* t = static_cast<const SpanPlane*>(user);
    if (y < 0 || y >= t->height) return;
    uint8_t* row = t->plane + (int64_t)y * t->pitch;
    for (int i = 0; i < count; i++) {
        const int x0 = std::max(0, (int)spans[i].x), x1 = std::min(t->width, (int)spans[i].x + (int)spans[i].len);
        for (int x = x0; x < x1; x++) row[x] = std::max(row[x], spans[i].coverage);
    }
}

bool RenderSpans(FT_Outline* outline, const SpanPlane& target) {
    FT_Raster_Params params{};
    params.source = outline;
    params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT | FT_RASTER_FLAG_CLIP;
    params.gray_spans = MaxSpans;
    params.user = const_cast<SpanPlane*>(&target);
    params.clip_box = {0, 0, target.width, target.height};
    return FT_Outline_Render(OutlineEngineLibrary(), outline, &params) == 0;
}

}  // namespace

bool ShapeOutline(const qzShapeOutlineJob* job, qzBuiltOutline** out) {
    *out = nullptr;
    const qzShapeGeometry& g = job->geometry;
    if (!ShapeNeedsCurve(&g) || job->width < 1 || job->height < 1) return false;
    const int w = job->width, h = job->height;
    // Where the point list's box starts: the shape renderer puts that corner at the job's position.
    std::vector<qzPoint> points;
    const int count = ShapeOutlineIntPoints(&g, w, h, points, nullptr);
    if (count < 1) return false;
    int64_t minX = INT64_MAX, minY = INT64_MAX;
    for (const qzPoint& p : points) minX = std::min<int64_t>(minX, p.x), minY = std::min<int64_t>(minY, p.y);
    // The matrix turns the shape about its anchor; the geometry is built about its box centre.
    const qzShapeTransform identity;
    const qzShapeTransform* t = g.transform ? g.transform : &identity;
    const int64_t pivotX = w / 2, pivotY = h / 2;
    int64_t ax = pivotX, ay = pivotY, bx = pivotX, by = pivotY;
    if (!IsIdentityMatrix(t->matrix)) {
        TransformPointAboutAnchor(pivotX, pivotY, w, h, t->matrix, t->anchorX, t->anchorY, &ax, &ay);
        TransformPointAboutAnchor(pivotX, pivotY, w, h, t->matrix, 0.5, 0.5, &bx, &by);
    }
    // Pixel centres lie half a pixel into the plane's pixels.
    const double dx = (double)(pivotX + ax - bx - minX) + job->x + 0.5;
    const double dy = (double)(pivotY + ay - by - minY) + job->y + 0.5;
    FT_Matrix m;
    const bool turn = ToFreeTypeMatrix(t->matrix, &m) != 0;
    // A filled shape is the outside border of its outline stroked one pixel wide (grown by half a
    // pixel, as the coverage rasteriser grows it) and the growth; an outline is the whole stroke.
    const bool outlineOnly = job->lineWidth > 0;
    const double lineWidth = (outlineOnly ? job->lineWidth : 0) + 1.0 + 2.0 * std::max(0, job->grow);
    qzStrokerOwner owner;
    if (FT_Stroker_New(OutlineEngineLibrary(), &owner.stroker) != 0) return false;
    FT_Stroker stroker = owner.stroker;
    FT_Stroker_Set(stroker, (FT_Fixed)std::llround(lineWidth * 32), FT_STROKER_LINECAP_ROUND, FT_STROKER_LINEJOIN_ROUND,
                   0);
    qzStrokerFeed feed;
    RestartStrokerFeed(&feed, stroker, 0);
    qzBuiltOutline* built = nullptr;
    if (FeedShape(&feed, g, w, h, (double)pivotX, (double)pivotY)) {
        if (outlineOnly) {
            built = ExportStrokedOutline(stroker);
        } else {
            qzOutlineSink sink;
            qzStrokerFeed direct;
            direct.sink = &sink;
            FeedShape(&direct, g, w, h, (double)pivotX, (double)pivotY);
            const qzBuiltOutlineOwner shape(OutlineFromSink(sink, 0));
            if (shape) built = ExportStrokerBorder(stroker, FT_Outline_GetOutsideBorder(&shape->outline));
        }
    }
    if (!built) return false;
    if (turn) FT_Outline_Transform(&built->outline, &m);
    FT_Outline_Translate(&built->outline, ToFixed26(dx), ToFixed26(dy));
    *out = built;
    return true;
}

bool RenderShapeOutline(const qzShapeOutlineJob* job) {
    qzBuiltOutline* built = nullptr;
    if (!ShapeOutline(job, &built)) return false;
    const SpanPlane target{job->plane, job->pitch, job->planeWidth, job->planeHeight};
    const bool ok = RenderSpans(&built->outline, target);
    FreeBuiltOutline(built);
    return ok;
}
