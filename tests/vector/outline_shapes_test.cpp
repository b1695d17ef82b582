// The outline engine as the shapes' anti-aliased outline renderer: ellipses, outlines, rounded
// boxes, pie wedges, a turned ellipse and an edge drawn by the shape renderer's direct pass match
// cairo's render of the same geometry, at least as well as the coverage rasteriser does.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "vector/outline_shapes.h"
#include "vector/shape.h"
#include "vector/shape_render.h"
#include "vector_test_util.h"

namespace outline_shapes_test {

using namespace shapetest;

namespace {

constexpr int kW = 170, kH = 150;
constexpr double kX = 15, kY = 12;

// The alpha channel of the shape drawn directly (anti-aliased) at (kX, kY), in a kW x kH plane.
Plane Direct(qzShape shape, uint32_t form, int edge = 0, int lineWidth = 0) {
    qzDrawState ds;
    ds.fillStyle = lineWidth ? FILLNONE : FILLCOLOR;
    ds.formStyle = form | FORM_ANTIALIAS;
    ds.edgeSize = edge;
    ds.edgeColor = 0xFFFFFF;
    ds.lineWidth = lineWidth ? lineWidth : 1;
    shape.offscreen = 0;
    shape.color = 0xFFFFFF;
    qzShapeBitmaps out;
    EXPECT_EQ(RenderShapeOffscreen(nullptr, &shape, &ds, (int)kX, (int)kY, &out), 0);
    Plane p = Placed(PlaneOf(out.mask, out.alpha, out.width, out.height), out.x, out.y, kW, kH);
    FreeShapeBitmaps(&out);
    return p;
}

qzShape Curve(int kind, int w, int h) {
    qzShape s{};
    s.kind = kind;
    s.width = w;
    s.height = h;
    s.rx = w / 2;
    s.ry = h / 2;
    s.clockwise = 1;
    s.endAngle = 360;
    return s;
}

void Ellipse(cairo_t* cr, double cx, double cy, double rx, double ry) {
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_scale(cr, rx, ry);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
}

}  // namespace

TEST(OutlineShapes, DirectPassMatchesCairo) {
    qzShape rounded = Curve(SHAPE_BOX, 120, 96);
    rounded.corners[0] = rounded.corners[2] = 50;
    rounded.corners[1] = 20;
    qzShape pie = Curve(SHAPE_ARC, 129, 129);
    pie.rx = pie.ry = 64;
    pie.startAngle = 30;
    pie.endAngle = 250;
    static qzShapeTransform turn;
    turn.matrix[0] = turn.matrix[3] = std::cos(M_PI / 6);
    turn.matrix[1] = std::sin(M_PI / 6);
    turn.matrix[2] = -turn.matrix[1];
    turn.anchorX = turn.anchorY = 0.5;
    qzShape turned = Curve(SHAPE_ELLIPSE, 121, 61);
    turned.transform = &turn;
    const struct {
        std::string name;
        qzShape shape;
        int edge;
        std::function<void(cairo_t*)> reference;
        double least = 0.98;
        int lineWidth = 0;
    } rows[] = {
        {"ellipse", Curve(SHAPE_ELLIPSE, 121, 91), 0,
         [](cairo_t* cr) {
             Ellipse(cr, kX + 60.5, kY + 45.5, 60.5, 45.5);
             cairo_fill(cr);
         }},
        {"small circle", Curve(SHAPE_CIRCLE, 9, 9), 0,
         [](cairo_t* cr) {
             Ellipse(cr, kX + 4.5, kY + 4.5, 4.5, 4.5);
             cairo_fill(cr);
         },
         0.96},  // nearly every pixel is on the rim
        {"circle outline", Curve(SHAPE_CIRCLE, 91, 91), 0,
         [](cairo_t* cr) {
             // 14 pixels wide about the circle through the pixel centres, grown by half a pixel.
             Ellipse(cr, kX + 45.5, kY + 45.5, 45, 45);
             cairo_set_line_width(cr, 15);
             cairo_stroke(cr);
         },
         0.98, 14},
        {"rounded box", rounded, 0,
         [](cairo_t* cr) {
             // Corner radii 24, 9, 24, 0 between pixel centres, grown by half a pixel.
             const double x = kX + 0.5, y = kY + 0.5, r = 119, b = 95;
             cairo_new_sub_path(cr);
             cairo_arc(cr, x + r, y, 0, -M_PI / 2, 0);
             cairo_arc(cr, x + r - 24, y + b - 24, 24, 0, M_PI / 2);
             cairo_arc(cr, x + 9, y + b - 9, 9, M_PI / 2, M_PI);
             cairo_arc(cr, x + 24, y + 24, 24, M_PI, 3 * M_PI / 2);
             cairo_close_path(cr);
             cairo_fill_preserve(cr);
             cairo_set_line_width(cr, 1);
             cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
             cairo_stroke(cr);
         }},
        {"pie", pie, 0,
         [](cairo_t* cr) {
             cairo_move_to(cr, kX + 64.5, kY + 64.5);
             cairo_arc(cr, kX + 64.5, kY + 64.5, 64, 30 * M_PI / 180, 250 * M_PI / 180);
             cairo_close_path(cr);
             cairo_fill_preserve(cr);
             cairo_set_line_width(cr, 1);
             cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
             cairo_stroke(cr);
         }},
        {"turned ellipse", turned, 0,
         [](cairo_t* cr) {
             // Turned about its centre, which stays where it is.
             cairo_translate(cr, kX + 60.5, kY + 30.5);
             cairo_rotate(cr, M_PI / 6);
             Ellipse(cr, 0, 0, 60.5, 30.5);
             cairo_fill(cr);
         }},
        {"ellipse with an edge", Curve(SHAPE_ELLIPSE, 101, 71), 4,
         [](cairo_t* cr) {
             Ellipse(cr, kX + 50.5, kY + 35.5, 50, 35);
             cairo_fill_preserve(cr);
             cairo_set_line_width(cr, 9);
             cairo_stroke(cr);
         }},
    };
    for (const auto& row : rows) {
        const Plane ref = CairoPlane(kW, kH, CAIRO_ANTIALIAS_DEFAULT, row.reference);
        SetShapeOutlineRenderer(nullptr);
        const double before = IoU(Direct(row.shape, row.edge ? uint32_t(FORM_EDGE) : 0u, row.edge, row.lineWidth), ref);
        SetShapeOutlineRenderer(RenderShapeOutline);
        const double after = IoU(Direct(row.shape, row.edge ? uint32_t(FORM_EDGE) : 0u, row.edge, row.lineWidth), ref);
        SetShapeOutlineRenderer(nullptr);
        EXPECT_GE(after, row.least) << row.name;
        EXPECT_GE(after, before - 0.002) << row.name;
    }
}

TEST(OutlineShapes, OnlyCurvedShapes) {
    uint8_t plane[16 * 16] = {};
    qzShapeOutlineJob job{};
    job.geometry.kind = SHAPE_POLYGON;
    job.width = job.height = 8;
    job.plane = plane;
    job.pitch = job.planeWidth = job.planeHeight = 16;
    EXPECT_FALSE(RenderShapeOutline(&job));  // polygons and plain boxes stay with the rasteriser
    job.geometry.kind = SHAPE_BOX;
    EXPECT_FALSE(RenderShapeOutline(&job));
    job.geometry.kind = SHAPE_CIRCLE;
    job.geometry.endAngle = 360;
    EXPECT_TRUE(RenderShapeOutline(&job));
    long sum = 0;
    for (uint8_t v : plane) sum += v;
    EXPECT_NEAR(sum / 255.0, M_PI * 4.5 * 4.5, 2.5);  // a circle of radius 4.5 about (4.5, 4.5)
}

}  // namespace outline_shapes_test
