// The off-screen pass of the shape renderer: a table of shapes and styles against cairo's renders
// of the same geometry, filled areas against the analytic area, the placement of shadow and edge,
// the choice of mask or alpha channel, patterns, and the errors.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "display/object_types.h"
#include "gfx/gradient.h"
#include "platform/os_alloc.h"
#include "vector/shape_render.h"
#include "vector_test_util.h"

namespace shape_render_test {

using namespace shapetest;

namespace {

constexpr int kW = 160, kH = 145;

qzShape Shape(int kind, int w, int h) {
    qzShape s{};
    s.kind = kind;
    s.width = w;
    s.height = h;
    s.rx = w / 2;
    s.ry = h / 2;
    s.offscreen = 1;
    s.clockwise = 1;
    s.endAngle = 360;
    return s;
}

qzDrawState Style(int fill, uint32_t form, int lineWidth = 1) {
    qzDrawState ds;
    ds.fillStyle = fill;
    ds.formStyle = form;
    ds.lineWidth = lineWidth;
    return ds;
}

// Renders the shape at (x, y) and pastes its transparency plane into a kW x kH canvas.
Plane Render(const qzShape& s, const qzDrawState& ds, int x, int y, qzShapeBitmaps* keep = nullptr) {
    qzShapeBitmaps out;
    const int error = RenderShapeOffscreen(nullptr, &s, &ds, x, y, &out);
    EXPECT_EQ(error, 0);
    if (error) return Plane(kW, kH);
    Plane p = Placed(PlaneOf(out.mask, out.alpha, out.width, out.height), out.x, out.y, kW, kH);
    if (keep)
        *keep = out;
    else
        FreeShapeBitmaps(&out);
    return p;
}

struct StarPoints {
    std::vector<qzShapePoint> points;
    StarPoints() {
        for (int i = 0; i <= 10; i++) {
            const double a = (90 + i * 36) * M_PI / 180, r = i % 2 ? 25 : 55;
            points.push_back({std::round(55 + r * std::cos(a)), std::round(55 - r * std::sin(a))});
        }
    }
};

}  // namespace

// Every row draws one shape at (15, 10) in one style and describes the same geometry for cairo.
// Shapes fill a box of 2r + 1 pixels: as areas they reach half a pixel beyond their outline points,
// and the rasteriser draws each outline edge as a line over the fill.
TEST(ShapeRender, ShapesAndStylesMatchCairo) {
    static const StarPoints star;
    struct Row {
        std::string name;
        qzShape shape;
        qzDrawState style;
        std::function<void(cairo_t*)> reference;
    };
    const double x = 15, y = 10;
    std::vector<Row> rows;
    for (int aa : {0, 1}) {
        const uint32_t form = aa ? FORM_ANTIALIAS : FORM_NORMAL;
        const std::string tag = aa ? " aa" : "";
        rows.push_back({"ellipse" + tag, Shape(SHAPE_ELLIPSE, 121, 91), Style(FILLCOLOR, form), [=](cairo_t* cr) {
                            EllipsePath(cr, x + 60.5, y + 45.5, 60.5, 45.5);
                            cairo_fill(cr);
                        }});
        // An outline is its point list stroked with round joins (one pixel wider for the edges).
        const qzShape circle = Shape(SHAPE_CIRCLE, 91, 91);
        std::vector<qzShapePoint> ring;
        const qzShapeGeometry geometry = ShapeGeometryOf(&circle);
        ShapeOutlinePoints(&geometry, 91, 91, ring, nullptr);
        rows.push_back({"circle outline" + tag, circle, Style(FILLNONE, form, 14), [=](cairo_t* cr) {
                            for (const auto& p : ring) cairo_line_to(cr, x + p.x + 0.5, y + p.y + 0.5);
                            cairo_close_path(cr);
                            cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
                            cairo_set_line_width(cr, aa ? 14 + 4.0 / 3.0 : 15);
                            cairo_stroke(cr);
                        }});
        qzShape rounded = Shape(SHAPE_BOX, 120, 96);
        rounded.corners[0] = rounded.corners[1] = rounded.corners[2] = rounded.corners[3] = 50;
        rows.push_back({"rounded box" + tag, rounded, Style(FILLCOLOR, form), [=](cairo_t* cr) {
                            RoundedBoxPath(cr, x, y, 120, 96, 24.5);
                            cairo_fill(cr);
                        }});
        qzShape arc = Shape(SHAPE_ARC, 129, 129);
        arc.rx = arc.ry = 64;
        arc.startAngle = 30;
        arc.endAngle = 250;
        rows.push_back({"pie" + tag, arc, Style(FILLCOLOR, form), [=](cairo_t* cr) {
                            cairo_move_to(cr, x + 64.5, y + 64.5);
                            cairo_arc(cr, x + 64.5, y + 64.5, 64, 30 * M_PI / 180, 250 * M_PI / 180);
                            cairo_close_path(cr);
                            cairo_fill_preserve(cr);
                            cairo_set_line_width(cr, aa ? 4.0 / 3.0 : 1.0);
                            cairo_stroke(cr);
                        }});
        qzShape polygon = Shape(SHAPE_POLYGON, 111, 111);
        polygon.points = star.points.data();
        polygon.count = (int)star.points.size();
        rows.push_back({"star" + tag, polygon, Style(FILLGRADIENT, form), [=](cairo_t* cr) {
                            for (const auto& p : star.points) cairo_line_to(cr, x + p.x + 0.5, y + p.y + 0.5);
                            cairo_close_path(cr);
                            cairo_fill_preserve(cr);
                            cairo_set_line_width(cr, aa ? 4.0 / 3.0 : 1.0);
                            cairo_stroke(cr);
                        }});
        qzShapeTransform turn;
        turn.matrix[0] = turn.matrix[3] = std::cos(M_PI / 6);
        turn.matrix[1] = std::sin(M_PI / 6);
        turn.matrix[2] = -turn.matrix[1];
        turn.anchorX = turn.anchorY = 0.5;
        static qzShapeTransform turns[2];
        turns[aa] = turn;
        qzShape box = Shape(SHAPE_BOX, 90, 60);
        box.transform = &turns[aa];
        rows.push_back({"turned box" + tag, box, Style(FILLCOLOR, form), [=](cairo_t* cr) {
                            // About the anchor point (45, 30) of the box's pixel centres.
                            cairo_translate(cr, x + 45.5, y + 30.5);
                            cairo_rotate(cr, M_PI / 6);
                            cairo_rectangle(cr, -45.5, -30.5, 90, 60);
                            cairo_fill(cr);
                        }});
    }
    for (const Row& row : rows) {
        const bool aa = (row.style.formStyle & FORM_ANTIALIAS) != 0;
        Plane ours = Render(row.shape, row.style, (int)x, (int)y);
        Plane ref = CairoPlane(kW, kH, aa ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE, row.reference);
        EXPECT_GE(aa ? IoU(ours, ref) : BinaryIoU(ours, ref), 0.98) << row.name;
    }
}

TEST(ShapeRender, FilledAreasMatchTheAnalyticArea) {
    // A 1-bit ellipse covers pi (rx + 1/2) (ry + 1/2) pixels; anti-aliased, its coverage sums to
    // the same within its soft rim.
    const struct { int rx, ry; } rows[] = {{60, 45}, {40, 40}, {70, 12}};
    for (const auto& r : rows)
        for (uint32_t form : {FORM_NORMAL, FORM_ANTIALIAS}) {
            Plane p = Render(Shape(SHAPE_ELLIPSE, 2 * r.rx + 1, 2 * r.ry + 1), Style(FILLCOLOR, form), 2, 2);
            const double area = (double)p.Sum() / 255, expected = M_PI * (r.rx + 0.5) * (r.ry + 0.5);
            EXPECT_NEAR(area, expected, expected * (form == FORM_NORMAL ? 0.015 : 0.03)) << r.rx << "x" << r.ry;
        }
}

TEST(ShapeRender, ShadowEdgeAndPlanes) {
    // A 40 x 30 box with a 3-pixel edge and a 5-pixel shadow to the south-east: the box grows by
    // the edge on every side and by the shadow to the right and down; shape, edge and shadow take
    // their colours; opaque and not anti-aliased, the plane is a mask.
    qzShape box = Shape(SHAPE_BOX, 40, 30);
    box.color = 0xFF0000;
    qzDrawState ds = Style(FILLCOLOR, FORM_EDGE | FORM_SHADOW);
    ds.edgeSize = 3;
    ds.edgeColor = 0x00FF00;
    ds.shadowSize = 5;
    ds.shadowColor = 0x0000FF;
    qzShapeBitmaps out;
    ASSERT_EQ(RenderShapeOffscreen(nullptr, &box, &ds, 20, 20, &out), 0);
    EXPECT_EQ(out.x, 17);
    EXPECT_EQ(out.y, 17);
    EXPECT_EQ(out.width, 40 + 6 + 5);
    EXPECT_EQ(out.height, 30 + 6 + 5);
    ASSERT_NE(out.mask, nullptr);
    EXPECT_EQ(out.alpha, nullptr);
    EXPECT_EQ(PixelAt(out.bitmap, 3 + 20, 3 + 15), 0xFF0000u);  // inside the shape
    EXPECT_EQ(PixelAt(out.bitmap, 1, 10), 0x00FF00u);           // the edge ring
    EXPECT_EQ(PixelAt(out.bitmap, 48, 40), 0x0000FFu);          // the shadow's lower right
    Plane mask = PlaneOf(out.mask, nullptr, out.width, out.height);
    EXPECT_EQ(mask.at(0, 40), 0);  // below the edge, left of the shadow
    EXPECT_EQ(mask.at(50, 0), 0);  // right of the edge, above the shadow
    EXPECT_EQ(mask.at(50, 40), 255);
    FreeShapeBitmaps(&out);

    // The shadow to the north-west moves the shape instead.
    ds.shadowDirection = SHDW_NORTHWEST;
    ASSERT_EQ(RenderShapeOffscreen(nullptr, &box, &ds, 20, 20, &out), 0);
    EXPECT_EQ(out.x, 12);
    EXPECT_EQ(out.y, 12);
    EXPECT_EQ(PixelAt(out.bitmap, 1, 1), 0x0000FFu);
    EXPECT_EQ(PixelAt(out.bitmap, 5 + 3 + 20, 5 + 3 + 15), 0xFF0000u);
    FreeShapeBitmaps(&out);

    // A translucent colour takes an alpha channel with 255 minus its transparency.
    box.color = 0x40FF0000;
    qzDrawState plain = Style(FILLCOLOR, FORM_NORMAL);
    ASSERT_EQ(RenderShapeOffscreen(nullptr, &box, &plain, 0, 0, &out), 0);
    ASSERT_NE(out.alpha, nullptr);
    EXPECT_EQ(out.mask, nullptr);
    EXPECT_EQ(PlaneOf(nullptr, out.alpha, out.width, out.height).at(20, 15), 255 - 0x40);
    FreeShapeBitmaps(&out);

    // Anti-aliased, the edge and shadow composite under the shape.
    box.color = 0xFF0000;
    ds.formStyle |= FORM_ANTIALIAS;
    ds.shadowDirection = SHDW_SOUTHEAST;
    ds.shadowColor = 0x800000FF;  // half transparent
    ASSERT_EQ(RenderShapeOffscreen(nullptr, &box, &ds, 20, 20, &out), 0);
    ASSERT_NE(out.alpha, nullptr);
    EXPECT_EQ(out.width, 51 + 5);
    Plane a = PlaneOf(nullptr, out.alpha, out.width, out.height);
    EXPECT_EQ(a.at(2 + 3 + 20, 2 + 3 + 15), 255);
    EXPECT_EQ(PixelAt(out.bitmap, 2 + 3 + 20, 2 + 3 + 15), 0xFF0000u);
    EXPECT_NEAR(a.at(2 + 48, 2 + 38), 0x7F, 2);
    FreeShapeBitmaps(&out);
}

namespace {

qzBitMap* testTexture = nullptr;

// Brush 7 is the test texture; other brushes are not found.
int TestBrushBitmaps(VmState*, const qzObjectId& id, int32_t, qzObjectBitmaps* out) {
    if (id.number != 7) return ERR_FINDBRUSH;
    out->bitmap = testTexture;
    out->width = testTexture->width;
    out->height = testTexture->height;
    return 0;
}
const qzObjectTypeOps kTestBrushOps = {.bitmaps = TestBrushBitmaps};

}  // namespace

TEST(ShapeRender, GradientsAndTextures) {
    // A gradient fill takes the gradient rendered over the shape's box; a texture tiles the brush
    // from the draw state's offsets.
    qzShape box = Shape(SHAPE_BOX, 32, 16);
    box.corners[0] = box.corners[1] = box.corners[2] = box.corners[3] = 10;
    qzDrawState ds = Style(FILLGRADIENT, FORM_NORMAL);
    ds.gradient.startColor = 0xFF0000;
    ds.gradient.endColor = 0x0000FF;
    qzShapeBitmaps out;
    ASSERT_EQ(RenderShapeOffscreen(nullptr, &box, &ds, 0, 0, &out), 0);
    std::vector<uint32_t> expected(32 * 16);
    qzGradientJob job{expected.data(), 4, 10, 0, 0, 32, 16, 32, &ds.gradient};
    RenderGradient(&job);
    for (int yy = 4; yy < 12; yy++)
        for (int xx = 4; xx < 28; xx++) EXPECT_EQ(PixelAt(out.bitmap, xx, yy), expected[yy * 32 + xx] & 0xFFFFFF);
    FreeShapeBitmaps(&out);

    qzBitMap* tile = CreateBitMap(3, 2, 0, nullptr);
    {
        BitMapLock lock(tile, 0);
        auto* px = (uint32_t*)lock.info.pixels;
        for (int j = 0; j < 2; j++)
            for (int i = 0; i < 3; i++)
                px[j * lock.info.rowLength + i] = (uint32_t)(0x100000 * (i + 1) + 0x10 * (j + 1));
    }
    testTexture = tile;
    SetObjectTypeOps(QZ_TYPE_BRUSH_OBJECT, &kTestBrushOps);
    ds.fillStyle = FILLTEXTURE;
    ds.textureBrush = {7, nullptr};
    ds.textureX = 1;
    ds.textureY = -1;
    ASSERT_EQ(RenderShapeOffscreen(nullptr, &box, &ds, 0, 0, &out), 0);
    for (int yy = 4; yy < 12; yy++)
        for (int xx = 4; xx < 28; xx++) {
            const int i = (xx + 1) % 3, j = ((yy - 1) % 2 + 2) % 2;
            EXPECT_EQ(PixelAt(out.bitmap, xx, yy), (uint32_t)(0x100000 * (i + 1) + 0x10 * (j + 1)));
        }
    FreeShapeBitmaps(&out);
    ds.textureBrush = {8, nullptr};
    EXPECT_EQ(RenderShapeOffscreen(nullptr, &box, &ds, 0, 0, &out), ERR_FINDBRUSH);
    SetObjectTypeOps(QZ_TYPE_BRUSH_OBJECT, nullptr);
    EXPECT_EQ(RenderShapeOffscreen(nullptr, &box, &ds, 0, 0, &out), ERR_FINDBRUSH);
    DeleteBitMap(tile);
}

namespace {

int failAfter = -1;
int FailingAlloc(size_t) { return failAfter >= 0 && failAfter-- == 0; }

}  // namespace

TEST(ShapeRender, FailuresFreeEverything) {
    // Every allocation that fails gives its error and leaves nothing behind (the leak checker
    // watches); boxes too big for any bitmap fail before anything is allocated.
    qzShape ellipse = Shape(SHAPE_ELLIPSE, 41, 31);
    qzDrawState ds = Style(FILLCOLOR, FORM_EDGE | FORM_SHADOW | FORM_ANTIALIAS);
    OsSetAllocFailHook(FailingAlloc);
    bool succeeded = false;
    for (int n = 0; n < 40 && !succeeded; n++) {
        failAfter = n;
        qzShapeBitmaps out;
        const int error = RenderShapeOffscreen(nullptr, &ellipse, &ds, 0, 0, &out);
        if (!error) {
            succeeded = true;
            FreeShapeBitmaps(&out);
        } else {
            EXPECT_TRUE(error == ERR_BITMAP || error == ERR_ALLOCALPHA || error == ERR_MEM) << error;
            EXPECT_EQ(out.bitmap, nullptr);
        }
    }
    OsSetAllocFailHook(nullptr);
    EXPECT_TRUE(succeeded);
    qzShapeBitmaps out;
    qzShape huge = Shape(SHAPE_ELLIPSE, 2000000001, 2000000001);
    huge.rx = huge.ry = 1000000000;
    EXPECT_EQ(RenderShapeOffscreen(nullptr, &huge, &ds, 0, 0, &out), ERR_BITMAP);
    qzShape nothing = Shape(SHAPE_POLYGON, 10, 10);
    EXPECT_EQ(RenderShapeOffscreen(nullptr, &nothing, &ds, 0, 0, &out), ERR_WRONGUSAGE);
}

}  // namespace shape_render_test
