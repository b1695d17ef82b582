#include "vector/shape_outline.h"

#include <algorithm>
#include <cmath>

#include "gfx/trig_tables.h"
#include "vector/shape.h"

namespace {

const qzShapeTransform kIdentity;

// Saturating conversions: NaN gives the lowest value.
int64_t ToInt64(double v) {
    if (!(v >= -9.2e18)) return INT64_MIN;
    if (v >= 9.2e18) return INT64_MAX;
    return (int64_t)v;
}

int32_t ToInt32(double v) {
    if (!(v >= -2147483648.0)) return INT32_MIN;
    if (v > 2147483647.0) return INT32_MAX;
    return (int32_t)v;
}

// The pixel of an exact coordinate: rounded to 16.16, then floored.
double FloorFixed(double v) {
    const int64_t fixed = ToInt64(std::nearbyint(v * 65536.0));
    return (double)(fixed >> 16);
}

// Reduces an angle pair as the arc drawer does: start <= end, start not negative, end not above
// 360, a span above 360 a full turn. Closed forms of the repeated additions, so that any angle
// costs the same.
void NormalizeAngles(int64_t& start, int64_t& end) {
    if (start > end) std::swap(start, end);
    if (start < 0) {
        const int64_t turns = (-start + 359) / 360;
        start += 360 * turns;
        end += 360 * turns;
    }
    if (end > 360) {
        const int64_t turns = (end - 360 + 359) / 360;
        start -= 360 * turns;
        end -= 360 * turns;
    }
    if (end - start > 360 || start < 0) {
        start = 0;
        end = 360;
    }
}

qzShapePoint CurvePoint(double cx, double cy, double rx, double ry, int angle, const double* m) {
    const double X = rx * DegreeCosTable()[angle];
    const double Y = -ry * DegreeSinTable()[angle];
    return {FloorFixed(cx + m[0] * X + m[2] * Y), FloorFixed(cy + m[1] * X + m[3] * Y)};
}

// How far the points move so that the matrix turns the shape about its anchor instead of about
// the centre of its box.
void AnchorShift(double cx, double cy, const qzShapeTransform* t, int width, int height, double* dx, double* dy) {
    *dx = *dy = 0;
    if (IsIdentityMatrix(t->matrix)) return;
    int64_t ax, ay, bx, by;
    TransformPointAboutAnchor(ToInt64(cx), ToInt64(cy), width, height, t->matrix, t->anchorX, t->anchorY, &ax, &ay);
    TransformPointAboutAnchor(ToInt64(cx), ToInt64(cy), width, height, t->matrix, 0.5, 0.5, &bx, &by);
    *dx = (double)(ax - bx);
    *dy = (double)(ay - by);
}

void CloseList(std::vector<qzShapePoint>& out, size_t first) {
    if (out.size() > first && (out.back().x != out[first].x || out.back().y != out[first].y)) out.push_back(out[first]);
}

}  // namespace

int CurveStep(int64_t r) {
    if (r < 3) return 90;
    if (r <= 9) return 30;
    if (r <= 14) return 18;
    return 5;
}

int ArcOutlinePoints(std::vector<qzShapePoint>& out, double cx, double cy, double rx, double ry, int64_t start,
                     int64_t end, const qzShapeTransform* transform, int width, int height, bool withCentre,
                     bool withBounds) {
    const qzShapeTransform* t = transform ? transform : &kIdentity;
    const double* m = t->matrix;
    const size_t before = out.size();
    NormalizeAngles(start, end);
    const int step = CurveStep(ToInt64(std::min(rx, ry)));
    if (withBounds) {
        qzShapePoint lo{0, 0}, hi{0, 0};
        for (int a = 0;; a += step) {
            const qzShapePoint p = CurvePoint(cx, cy, rx, ry, std::min(a, 360), m);
            if (a == 0) {
                lo = hi = p;
            } else {
                lo = {std::min(lo.x, p.x), std::min(lo.y, p.y)};
                hi = {std::max(hi.x, p.x), std::max(hi.y, p.y)};
            }
            if (a >= 360) break;
        }
        out.push_back(lo);
        out.push_back(hi);
    }
    const size_t arcFirst = out.size();
    for (int64_t a = start;; a += step) {
        const int angle = (int)std::min(a, end);
        const qzShapePoint p = CurvePoint(cx, cy, rx, ry, angle, m);
        if (out.size() == arcFirst || p.x != out.back().x || p.y != out.back().y) out.push_back(p);
        if (angle >= end) break;
    }
    if (withCentre && end - start < 360) out.push_back({cx, cy});
    while (out.size() - arcFirst < 2) out.push_back(out.back());
    double dx, dy;
    AnchorShift(cx, cy, t, width, height, &dx, &dy);
    if (dx != 0 || dy != 0)
        for (size_t i = before; i < out.size(); i++) {
            out[i].x += dx;
            out[i].y += dy;
        }
    return (int)(out.size() - before);
}

int CornerRadius(int percent, int width, int height) {
    const double factor = percent <= 0 ? 0.01 : std::min(percent, 100) / 100.0;
    return ToInt32(factor * (std::min(width, height) / 2));
}

bool BoxHasRoundedCorners(const int32_t* corners, int width, int height) {
    for (int i = 0; i < 4; i++)
        if (CornerRadius(corners[i], width, height) > 0) return true;
    return false;
}

int ShapeOutlinePoints(const qzShapeGeometry* shape, int width, int height, std::vector<qzShapePoint>& out,
                       int* firstPoint) {
    out.clear();
    if (firstPoint) *firstPoint = 0;
    const qzShapeTransform* t = shape->transform ? shape->transform : &kIdentity;
    const int w = width, h = height;
    switch (shape->kind) {
    case SHAPE_BOX: {
        const int* c = shape->corners;
        int radii[4];
        for (int i = 0; i < 4; i++) radii[i] = CornerRadius(c[i], w, h);
        if (!BoxHasRoundedCorners(c, w, h)) {
            out = {{0, 0}, {(double)w - 1, 0}, {(double)w - 1, (double)h - 1}, {0, (double)h - 1}, {0, 0}};
            return 5;
        }
        const int64_t right = (int64_t)w - 1, bottom = (int64_t)h - 1;
        struct Corner {
            int64_t cornerX, cornerY;  // the corner point when the radius is 0
            int sx, sy;                // direction from the corner to the arc centre
            int start, end;
        } const corners[4] = {
            {0, 0, 1, 1, 90, 180},
            {0, bottom, 1, -1, 180, 270},
            {right, bottom, -1, -1, 270, 360},
            {right, 0, -1, 1, 0, 90},
        };
        for (int i = 0; i < 4; i++) {
            const Corner& k = corners[i];
            const int r = radii[i];
            int64_t mx, my;
            if (r <= 0) {
                TransformPointAboutAnchor(k.cornerX, k.cornerY, w, h, t->matrix, 0.5, 0.5, &mx, &my);
                out.push_back({(double)mx, (double)my});
                continue;
            }
            TransformPointAboutAnchor(k.cornerX + k.sx * r, k.cornerY + k.sy * r, w, h, t->matrix, 0.5, 0.5, &mx, &my);
            qzShapeTransform aboutCentre = *t;
            aboutCentre.anchorX = aboutCentre.anchorY = 0.5;
            ArcOutlinePoints(out, (double)mx, (double)my, r, r, k.start, k.end, &aboutCentre, w, h, false, false);
        }
        CloseList(out, 0);
        double dx, dy;
        AnchorShift(w / 2, h / 2, t, w, h, &dx, &dy);
        for (auto& p : out) {
            p.x += dx;
            p.y += dy;
        }
        return (int)out.size();
    }
    case SHAPE_CIRCLE:
    case SHAPE_ELLIPSE:
        ArcOutlinePoints(out, w / 2, h / 2, w / 2, h / 2, 0, 360, t, w, h, true, false);
        CloseList(out, 0);
        return (int)out.size();
    case SHAPE_ARC: {
        int64_t start = shape->startAngle, end = shape->endAngle;
        if (!shape->clockwise) {
            if (start < end) start += 360 * ((end - start + 359) / 360);
        } else {
            if (end < start) end += 360 * ((start - end + 359) / 360);
        }
        ArcOutlinePoints(out, w / 2, h / 2, shape->rx, shape->ry, -start, -end, t, w, h, true, true);
        if (firstPoint) *firstPoint = 2;
        CloseList(out, 2);
        return (int)out.size();
    }
    case SHAPE_POLYGON:
        if (shape->points && shape->count > 0) out.assign(shape->points, shape->points + shape->count);
        return (int)out.size();
    default: return 0;
    }
}

int ShapeOutlineIntPoints(const qzShapeGeometry* shape, int width, int height, std::vector<qzPoint>& out,
                          int* firstPoint) {
    std::vector<qzShapePoint> points;
    ShapeOutlinePoints(shape, width, height, points, firstPoint);
    out.resize(points.size());
    for (size_t i = 0; i < points.size(); i++)
        out[i] = {ToInt32(std::nearbyint(points[i].x)), ToInt32(std::nearbyint(points[i].y))};
    return (int)out.size();
}

void NormalizePointList(qzPoint* points, int count, int* minX, int* minY, int* width, int* height) {
    // The box starts from the first point rather than from fixed limits, so that no coordinate
    // range is left out.
    int64_t x0 = count > 0 ? points[0].x : 0, y0 = count > 0 ? points[0].y : 0, x1 = x0, y1 = y0;
    for (int i = 1; i < count; i++) {
        x0 = std::min<int64_t>(x0, points[i].x);
        y0 = std::min<int64_t>(y0, points[i].y);
        x1 = std::max<int64_t>(x1, points[i].x);
        y1 = std::max<int64_t>(y1, points[i].y);
    }
    for (int i = 0; i < count; i++) {
        points[i].x = (int32_t)(points[i].x - x0);
        points[i].y = (int32_t)(points[i].y - y0);
    }
    *minX = (int)x0;
    *minY = (int)y0;
    *width = (int)std::min<int64_t>(x1 - x0 + 1, INT32_MAX);
    *height = (int)std::min<int64_t>(y1 - y0 + 1, INT32_MAX);
}

void TransformPointAboutAnchor(int64_t x, int64_t y, int width, int height, const double* m, double ax, double ay,
                               int64_t* outX, int64_t* outY) {
    if (!m || IsIdentityMatrix(m)) {
        *outX = x;
        *outY = y;
        return;
    }
    const double px = std::trunc(width * ax), py = std::trunc(height * ay);
    const double X = (double)x - px, Y = (double)y - py;
    *outX = ToInt64(px + m[0] * X + m[2] * Y);
    *outY = ToInt64(py + m[1] * X + m[3] * Y);
}

void TransformPointList(const double* m, double ax, double ay, int width, int height, qzPoint* points, int count,
                        bool shift, int* minX, int* minY, int* outWidth, int* outHeight) {
    for (int i = 0; i < count; i++) {
        int64_t x, y;
        TransformPointAboutAnchor(points[i].x, points[i].y, width, height, m, ax, ay, &x, &y);
        points[i] = {ToInt32((double)x), ToInt32((double)y)};
    }
    if (shift) {
        NormalizePointList(points, count, minX, minY, outWidth, outHeight);
        return;
    }
    std::vector<qzPoint> copy(points, points + count);
    NormalizePointList(copy.data(), count, minX, minY, outWidth, outHeight);
}

bool ShapeNeedsCurve(const qzShapeGeometry* shape) {
    switch (shape->kind) {
    case SHAPE_CIRCLE:
    case SHAPE_ELLIPSE:
    case SHAPE_ARC: return true;
    case SHAPE_BOX:
        return shape->corners[0] != 0 || shape->corners[1] != 0 || shape->corners[2] != 0 || shape->corners[3] != 0;
    default: return false;
    }
}

void AddShadowGrowth(int direction, int amount, int* x, int* y) {
    switch (direction) {
    case 0:
    case 4: *y += amount; break;
    case 2:
    case 6: *x += amount; break;
    case 1:
    case 3:
    case 5:
    case 7:
        *x += amount;
        *y += amount;
        break;
    default: break;
    }
}

void NormalizeVector(double* x, double* y) {
    const double length = std::sqrt(*x * *x + *y * *y);
    if (length == 0) return;
    *x /= length;
    *y /= length;
}

void ScaleVector(double* x, double* y, double factor) {
    *x *= factor;
    *y *= factor;
}
