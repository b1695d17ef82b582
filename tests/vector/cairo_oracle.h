// cairo as the reference renderer of the shape tests: the same geometry filled or stroked into an
// 8-bit surface, and the overlap measures the tests compare coverage planes with.
#pragma once

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

namespace shapetest {

// A width x height 8-bit plane, rows packed.
struct Plane {
    int width = 0, height = 0;
    std::vector<uint8_t> px;
    Plane() = default;
    Plane(int w, int h) : width(w), height(h), px((size_t)w * h, 0) {}
    uint8_t at(int x, int y) const { return px[(size_t)y * width + x]; }
    long Sum() const {
        long s = 0;
        for (uint8_t v : px) s += v;
        return s;
    }
};

// Runs draw on a cleared A8 cairo surface of the size (pixel centres at half-integers) with the
// antialiasing mode and returns the plane.
inline Plane CairoPlane(int w, int h, cairo_antialias_t antialias, const std::function<void(cairo_t*)>& draw) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
    cairo_t* cr = cairo_create(surface);
    cairo_set_antialias(cr, antialias);
    cairo_set_source_rgba(cr, 0, 0, 0, 1);
    draw(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    Plane p(w, h);
    const uint8_t* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < h; y++)
        std::copy(data + (size_t)y * stride, data + (size_t)y * stride + w, &p.px[(size_t)y * w]);
    cairo_surface_destroy(surface);
    return p;
}

// Intersection over union of two coverage planes: sum of the smaller values over sum of the larger.
inline double IoU(const Plane& a, const Plane& b) {
    long inter = 0, uni = 0;
    for (size_t i = 0; i < a.px.size(); i++) {
        inter += std::min(a.px[i], b.px[i]);
        uni += std::max(a.px[i], b.px[i]);
    }
    return uni ? (double)inter / (double)uni : 1.0;
}

// The same for 1-bit planes: a pixel counts when its value is non-zero.
inline double BinaryIoU(const Plane& a, const Plane& b) {
    long inter = 0, uni = 0;
    for (size_t i = 0; i < a.px.size(); i++) {
        const bool x = a.px[i] != 0, y = b.px[i] != 0;
        inter += x && y;
        uni += x || y;
    }
    return uni ? (double)inter / (double)uni : 1.0;
}

// A cairo path of an ellipse about (cx, cy).
inline void EllipsePath(cairo_t* cr, double cx, double cy, double rx, double ry) {
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_scale(cr, rx, ry);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
}

// A cairo path of a box with corners rounded by radius r.
inline void RoundedBoxPath(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

}  // namespace shapetest
