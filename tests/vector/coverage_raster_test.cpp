// The coverage rasteriser: images and their allocator, the line drawers, the even-odd fill, thick
// lines with round caps; against cairo where the geometry allows it.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "gfx/polygon.h"
#include "vector/coverage_fill.h"
#include "vector/coverage_lines.h"
#include "vector_test_util.h"

namespace coverage_raster_test {

using namespace shapetest;

namespace {

Plane FillPlane(int w, int h, const std::vector<qzPoint>& points, int precision, int stroke = 0) {
    Coverage c(w, h);
    FillCoveragePolygon(c.image, points.data(), (int)points.size(), precision, stroke);
    EXPECT_EQ(CoverageLastError(), 0);
    EXPECT_TRUE(c.PaddingClear());
    return c.ToPlane();
}

// The polygon's path in cairo, pixel centres of the rasteriser (integers) moved onto cairo's.
void PolygonPath(cairo_t* cr, const std::vector<qzPoint>& points) {
    for (const auto& p : points) cairo_line_to(cr, p.x + 0.5, p.y + 0.5);
    cairo_close_path(cr);
}

// The width of the edge lines the rasteriser draws over a fill: one pixel, or for the
// anti-aliased trace (three pixels across, each accumulated twice) about four thirds of a pixel.
double EdgeWidth(int precision) { return precision ? 4.0 / 3.0 : 1.0; }

int CountSet(const Plane& p) {
    int n = 0;
    for (uint8_t v : p.px) n += v != 0;
    return n;
}

}  // namespace

TEST(CoverageImage, SizesPitchAndAllocator) {
    uint8_t* pixels = nullptr;
    int pitch = 0;
    const struct {
        int w, h, pitch, error;
    } rows[] = {
        {5, 3, 8, 0},
        {8, 1, 8, 0},
        {1, 1, 4, 0},
        {-1, 4, 0, COVERR_NEGATIVE},
        {4, 0, 0, COVERR_EMPTY},
        {0x7FFFFFFF, 0x7FFFFFFF, 0, COVERR_TOOBIG},
    };
    for (const auto& r : rows) {
        ClearCoverageError();
        qzCoverageImage* image = CreateCoverageImage(r.w, r.h, &pixels, &pitch);
        EXPECT_EQ(CoverageLastError(), r.error) << r.w << "x" << r.h;
        EXPECT_EQ(image != nullptr, r.error == 0);
        EXPECT_EQ(pitch, r.pitch);
        if (image) {
            EXPECT_EQ((uintptr_t)pixels % 32, 0u);
            for (int i = 0; i < pitch * r.h; i++) ASSERT_EQ(pixels[i], 0);
        }
        FreeCoverageImage(image);
    }
    // A block that is not 32-byte aligned is refused and left alone.
    void* block = CoverageAlloc(100);
    ASSERT_NE(block, nullptr);
    CoverageFree((uint8_t*)block + 4);
    EXPECT_EQ(CoverageLastError(), COVERR_ALIGN);
    CoverageFree(block);
    // The first specific error survives a later "operation failed".
    ClearCoverageError();
    SetCoverageError(COVERR_NOMEM);
    SetCoverageError(COVERR_FAILED);
    EXPECT_EQ(CoverageLastError(), COVERR_NOMEM);
}

TEST(CoverageLines, BresenhamPixelSets) {
    // 8-connected lines set major + 1 pixels, 4-connected ones major + minor + 1, in every octant;
    // the first and last pixels are the end points.
    const struct {
        int x1, y1, x2, y2;
    } lines[] = {
        {0, 0, 10, 5}, {10, 5, 0, 0}, {3, 1, 5, 14}, {14, 2, 1, 9}, {2, 13, 2, 2}, {0, 7, 15, 7}, {4, 4, 4, 4},
    };
    for (const auto& l : lines) {
        const int major = std::max(std::abs(l.x2 - l.x1), std::abs(l.y2 - l.y1));
        const int minor = std::min(std::abs(l.x2 - l.x1), std::abs(l.y2 - l.y1));
        for (int connectivity : {0, 1}) {
            Coverage c(16, 16);
            DrawCoverageLine(c.image, l.x1, l.y1, l.x2, l.y2, 200, connectivity);
            EXPECT_EQ(CountSet(c.ToPlane()), connectivity ? major + minor + 1 : major + 1) << l.x1 << "," << l.y1;
            EXPECT_EQ(c.at(l.x1, l.y1), 200);
            EXPECT_EQ(c.at(l.x2, l.y2), 200);
        }
    }
    // The error term: (0, 0) to (10, 5) steps down after every second pixel.
    Coverage c(16, 8);
    DrawCoverageLine(c.image, 0, 0, 10, 5, 255, 0);
    for (int x = 0; x <= 10; x++) EXPECT_EQ(c.at(x, x / 2), 255) << x;
    Coverage bad(4, 4);
    ClearCoverageError();
    DrawCoverageLine(bad.image, 0, 0, 3, 3, 255, 2);
    EXPECT_EQ(CoverageLastError(), COVERR_BADARG);
}

TEST(CoverageLines, HugeCoordinatesAreClippedNotWalked) {
    // Lines far outside or crossing the image touch only pixels inside it and take no time.
    const int64_t big = 2000000000;
    const struct {
        int64_t x1, y1, x2, y2;
    } lines[] = {
        {-big, -big, big, big},
        {-big, 5, big, 5},
        {big, big, big + 10, big + 10},
        {-big, big, big, -big},
    };
    for (const auto& l : lines) {
        Coverage c(32, 32);
        DrawCoverageLine(c.image, l.x1, l.y1, l.x2, l.y2, 255, 0);
        DrawCoverageAALine(c.image, l.x1 * 16, l.y1 * 16, l.x2 * 16, l.y2 * 16);
        EXPECT_TRUE(c.PaddingClear());
    }
    Coverage diagonal(32, 32);
    DrawCoverageLine(diagonal.image, -big, -big, big, big, 255, 0);
    for (int i = 0; i < 32; i++) EXPECT_EQ(diagonal.at(i, i), 255);
}

TEST(CoverageLines, AntialiasedLineKeepsItsFrame) {
    // The trace stays inside the frame from (2, 2) to (width - 3, height - 3) plus one pixel
    // across, is strongest on the line and symmetric about a line through pixel centres.
    Coverage c(40, 20);
    DrawCoverageAALine(c.image, -100 << 16, 10 << 16, 100 << 16, 10 << 16);
    for (int x = 0; x < 40; x++) {
        EXPECT_EQ(c.at(x, 0), 0);
        EXPECT_EQ(c.at(x, 19), 0);
    }
    for (int x = 6; x < 34; x++) {
        EXPECT_GT(c.at(x, 10), 200);
        EXPECT_NEAR(c.at(x, 9), c.at(x, 11), 8);
        EXPECT_LT(c.at(x, 9), 80);
        EXPECT_EQ(c.at(x, 8), 0);
    }
    Coverage point(10, 10);
    DrawCoverageAALine(point.image, 5 << 16, 5 << 16, 5 << 16, 5 << 16);
    EXPECT_EQ(CountSet(point.ToPlane()), 0);
}

TEST(CoverageFill, EvenOddRuleAndEdges) {
    // A rectangle sets exactly its pixels; a polygon around a hole (joined by a bridge) leaves the
    // hole clear; a self-crossing star leaves its centre clear; two points make only their edge.
    Plane rect = FillPlane(20, 20, {{3, 4}, {12, 4}, {12, 9}, {3, 9}}, 0);
    EXPECT_EQ(CountSet(rect), 10 * 6);
    for (int y = 4; y <= 9; y++)
        for (int x = 3; x <= 12; x++) EXPECT_EQ(rect.at(x, y), 255);

    Plane ring = FillPlane(
        30, 30, {{2, 2}, {27, 2}, {27, 27}, {2, 27}, {2, 2}, {10, 10}, {10, 19}, {19, 19}, {19, 10}, {10, 10}}, 0);
    EXPECT_EQ(ring.at(15, 15), 0);
    EXPECT_EQ(ring.at(5, 15), 255);
    EXPECT_EQ(ring.at(24, 24), 255);

    std::vector<qzPoint> star;
    for (int i = 0; i < 5; i++) {
        const double a = (90 + i * 144) * M_PI / 180;
        star.push_back({(int)std::lround(30 + 25 * std::cos(a)), (int)std::lround(30 - 25 * std::sin(a))});
    }
    Plane pentagram = FillPlane(60, 60, star, 0);
    EXPECT_EQ(pentagram.at(30, 31), 0);
    EXPECT_EQ(pentagram.at(30, 10), 255);

    Plane segment = FillPlane(16, 16, {{1, 1}, {14, 8}}, 0);
    EXPECT_EQ(CountSet(segment), 14);
    Plane flat = FillPlane(16, 16, {{1, 5}, {14, 5}, {7, 5}}, 0);
    EXPECT_EQ(CountSet(flat), 14);

    // Huge coordinates fill the part inside the image without walking the rest.
    Plane huge = FillPlane(16, 16, {{-2000000000, -2000000000}, {2000000000, -2000000000}, {0, 2000000000}}, 1);
    EXPECT_EQ(huge.at(8, 8), 255);
}

TEST(CoverageFill, PolygonsMatchCairo) {
    // Filled polygons against cairo's rendering of the same polygon with its one-pixel outline (the
    // rasteriser draws the edges as lines over the interior): without anti-aliasing against
    // cairo's ANTIALIAS_NONE, with it against cairo's default.
    std::vector<std::vector<qzPoint>> shapes;
    shapes.push_back({{10, 12}, {115, 20}, {64, 118}});
    std::vector<qzPoint> star, blob;
    for (int i = 0; i < 10; i++) {
        const double a = i * 36 * M_PI / 180, r = i % 2 ? 28 : 58;
        star.push_back({(int)std::lround(64 + r * std::cos(a)), (int)std::lround(64 - r * std::sin(a))});
    }
    shapes.push_back(star);
    for (int i = 0; i < 36; i++) {
        const double a = i * 10 * M_PI / 180, r = 50 + 8 * std::sin(3 * a);
        blob.push_back({(int)std::lround(64 + r * std::cos(a)), (int)std::lround(64 - 0.8 * r * std::sin(a))});
    }
    shapes.push_back(blob);
    for (size_t i = 0; i < shapes.size(); i++)
        for (int precision : {0, 1}) {
            Plane ours = FillPlane(128, 128, shapes[i], precision);
            Plane ref =
                CairoPlane(128, 128, precision ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE, [&](cairo_t* cr) {
                    PolygonPath(cr, shapes[i]);
                    cairo_fill_preserve(cr);
                    cairo_set_line_width(cr, EdgeWidth(precision));
                    cairo_stroke(cr);
                });
            EXPECT_GE(IoU(ours, ref), 0.98) << "shape " << i << " precision " << precision;
        }
}

TEST(CoverageFill, ThickLinesAndOutlinesMatchCairo) {
    // A thick line is the quadrilateral of its width with its one-pixel outline, and a disc of
    // radius round(width / 2) at each end (its own outline too when anti-aliased): cairo draws that
    // geometry for comparison.
    const struct {
        int x1, y1, x2, y2, width;
    } lines[] = {
        {15, 20, 105, 70, 24},
        {64, 10, 60, 118, 20},
        {10, 64, 118, 64, 10},
        {100, 100, 30, 25, 30},
    };
    for (const auto& l : lines)
        for (int precision : {0, 1}) {
            Coverage c(128, 128);
            DrawCoverageThickLine(c.image, l.x1, l.y1, l.x2, l.y2, precision, l.width);
            Plane ref =
                CairoPlane(128, 128, precision ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE, [&](cairo_t* cr) {
                    const double dx = l.x2 - l.x1, dy = l.y2 - l.y1;
                    const double length = std::sqrt(dx * dx + dy * dy);
                    const double nx = -dy / length * l.width / 2, ny = dx / length * l.width / 2;
                    cairo_translate(cr, 0.5, 0.5);
                    cairo_move_to(cr, l.x1 + nx, l.y1 + ny);
                    cairo_line_to(cr, l.x1 - nx, l.y1 - ny);
                    cairo_line_to(cr, l.x2 - nx, l.y2 - ny);
                    cairo_line_to(cr, l.x2 + nx, l.y2 + ny);
                    cairo_close_path(cr);
                    cairo_fill_preserve(cr);
                    // A Bresenham edge sets one pixel per step of its major axis.
                    const double major = std::max(std::abs(dx), std::abs(dy)) / length;
                    cairo_set_line_width(cr, precision ? EdgeWidth(1) : major);
                    cairo_stroke(cr);
                    const double r = std::lround(l.width / 2.0) + (precision ? 0.5 : 0.0);
                    cairo_arc(cr, l.x1, l.y1, r, 0, 2 * M_PI);
                    cairo_fill(cr);
                    cairo_arc(cr, l.x2, l.y2, r, 0, 2 * M_PI);
                    cairo_fill(cr);
                });
            EXPECT_GE(IoU(c.ToPlane(), ref), 0.98) << l.width << " precision " << precision;
        }
    const std::vector<qzPoint> triangle = {{15, 15}, {110, 30}, {50, 110}};
    Plane outline = FillPlane(128, 128, triangle, 0, 24);
    Plane ref = CairoPlane(128, 128, CAIRO_ANTIALIAS_NONE, [&](cairo_t* cr) {
        cairo_set_line_width(cr, 25);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        PolygonPath(cr, triangle);
        cairo_stroke(cr);
    });
    EXPECT_GE(IoU(outline, ref), 0.98);
    EXPECT_EQ(outline.at(58, 52), 0);  // the inside stays clear

    Coverage wide(16, 16);
    DrawCoverageThickLine(wide.image, 1, 1, 10, 10, 0, 256);
    EXPECT_EQ(CoverageLastError(), COVERR_TOOBIG);
    FillCoveragePolygon(wide.image, triangle.data(), 3, 0, 256);
    EXPECT_EQ(CoverageLastError(), COVERR_BADARG);
}

TEST(CoverageFill, RoundCapsAreDiscs) {
    // A line of no length is its round cap: a disc of radius round(width / 2) about the point,
    // with an anti-aliased rim of less than a pixel when anti-aliased.
    for (int precision : {0, 1}) {
        Coverage c(64, 64);
        DrawCoverageThickLine(c.image, 32, 32, 32, 32, precision, 40);
        const double area = (double)c.ToPlane().Sum() / 255;
        if (precision) {
            EXPECT_GT(area, M_PI * 20 * 20);
            EXPECT_LT(area, M_PI * 21 * 21);
        } else {
            EXPECT_NEAR(area, M_PI * 20 * 20, M_PI * 20 * 20 * 0.02);
        }
        EXPECT_EQ(c.at(32, 32), 255);
        EXPECT_EQ(c.at(32 + 25, 32), 0);
    }
}

}  // namespace coverage_raster_test
