// Outline geometry: rounded boxes, curve steps, arcs and their direction, anchored transforms.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <utility>
#include <vector>

#include "vector/shape.h"
#include "vector/shape_outline.h"

namespace shape_outline_test {

namespace {

qzShapeGeometry Geometry(int kind) {
    qzShapeGeometry g{};
    g.kind = kind;
    return g;
}

std::vector<qzShapePoint> Outline(const qzShapeGeometry& g, int w, int h, int* first = nullptr) {
    std::vector<qzShapePoint> out;
    int f = 0;
    ShapeOutlinePoints(&g, w, h, out, &f);
    if (first) *first = f;
    return out;
}

size_t Distinct(const std::vector<qzShapePoint>& points, size_t from = 0) {
    std::set<std::pair<double, double>> seen;
    for (size_t i = from; i < points.size(); i++) seen.insert({points[i].x, points[i].y});
    return seen.size();
}

}  // namespace

TEST(ShapeOutline, BoxesAndTheirCorners) {
    qzShapeGeometry box = Geometry(SHAPE_BOX);
    const auto plain = Outline(box, 10, 10);
    ASSERT_EQ(plain.size(), 5u);
    EXPECT_EQ(plain[2].x, 9);
    EXPECT_EQ(plain[2].y, 9);
    // Corners of 0 round by 1 percent of the half side: nothing below a 200-pixel side, one pixel
    // at 300.
    const auto big = Outline(box, 300, 300);
    EXPECT_GT(big.size(), 5u);
    EXPECT_EQ(CornerRadius(0, 300, 300), 1);
    EXPECT_EQ(CornerRadius(-5, 150, 150), 0);
    EXPECT_EQ(CornerRadius(250, 40, 20), 10);  // above 100 acts as 100: half the shorter side
    EXPECT_EQ(CornerRadius(20, 10, 10), 1);
    // A box rounded by 100 percent on a square is a circle: every point lies on it (within the
    // flooring of the points) and the outline is closed.
    box.corners[0] = box.corners[1] = box.corners[2] = box.corners[3] = 100;
    const auto round = Outline(box, 41, 41);
    EXPECT_EQ(round.front().x, round.back().x);
    EXPECT_EQ(round.front().y, round.back().y);
    for (const auto& p : round) {
        const double d = std::hypot(p.x - 20, p.y - 20);
        EXPECT_NEAR(d, 20, 1.5);
    }
    // Corner b alone: the other three corners stay sharp.
    box.corners[0] = box.corners[2] = box.corners[3] = -1;
    box.corners[1] = 50;
    const auto one = Outline(box, 40, 40);
    int corners = 0;
    for (const auto& p : one) corners += (p.x == 0 && p.y == 0) + (p.x == 39 && p.y == 39) + (p.x == 39 && p.y == 0);
    EXPECT_GE(corners, 3);
    for (const auto& p : one) EXPECT_FALSE(p.x == 0 && p.y == 39);
}

TEST(ShapeOutline, CurveStepsAndEllipses) {
    const struct {
        int r;
        size_t distinct;
    } rows[] = {{2, 4}, {5, 12}, {12, 20}, {20, 72}};
    for (const auto& row : rows) {
        qzShapeGeometry circle = Geometry(SHAPE_CIRCLE);
        const auto points = Outline(circle, 2 * row.r + 1, 2 * row.r + 1);
        EXPECT_EQ(Distinct(points), row.distinct) << row.r;
        EXPECT_EQ(points.front().x, points.back().x);
        // Angle 0 at the right, 90 at the top.
        EXPECT_EQ(points[0].x, 2 * row.r);
        EXPECT_EQ(points[0].y, row.r);
    }
    EXPECT_EQ(CurveStep(2), 90);
    EXPECT_EQ(CurveStep(3), 30);
    EXPECT_EQ(CurveStep(14), 18);
    EXPECT_EQ(CurveStep(15), 5);
    qzShapeGeometry ellipse = Geometry(SHAPE_ELLIPSE);
    const auto e = Outline(ellipse, 61, 21);
    double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
    for (const auto& p : e) {
        minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
    }
    EXPECT_EQ(minX, 0);
    EXPECT_EQ(maxX, 60);
    EXPECT_EQ(minY, 0);
    EXPECT_EQ(maxY, 20);
}

TEST(ShapeOutline, ArcsRunClockwiseFromTheRight) {
    // Arc(0, 90) clockwise covers the lower right quarter (a pie slice with the centre); the same
    // anticlockwise covers the other three quarters; a span above 360 is a full turn.
    qzShapeGeometry arc = Geometry(SHAPE_ARC);
    arc.rx = arc.ry = 20;
    arc.startAngle = 0;
    arc.endAngle = 90;
    arc.clockwise = 1;
    int first = 0;
    const auto quarter = Outline(arc, 41, 41, &first);
    ASSERT_EQ(first, 2);
    EXPECT_EQ(quarter[0].x, 0);  // the bounds of the full ellipse come first
    EXPECT_EQ(quarter[1].x, 40);
    for (size_t i = 2; i < quarter.size(); i++) {
        EXPECT_GE(quarter[i].x, 20);
        EXPECT_GE(quarter[i].y, 20);
    }
    arc.clockwise = 0;
    const auto rest = Outline(arc, 41, 41, &first);
    bool upperLeft = false;
    for (size_t i = 2; i < rest.size(); i++) {
        EXPECT_FALSE(rest[i].x > 21 && rest[i].y > 21);
        upperLeft |= rest[i].x < 5 && rest[i].y < 21;
    }
    EXPECT_TRUE(upperLeft);
    arc.startAngle = -100;
    arc.endAngle = 1000;
    arc.clockwise = 1;
    const auto full = Outline(arc, 41, 41, &first);
    EXPECT_EQ(Distinct(full, 2), 72u);
    // Angles far out of range cost no more than any other.
    arc.startAngle = -2000000000;
    arc.endAngle = 2000000000;
    EXPECT_EQ(Distinct(Outline(arc, 41, 41, &first), 2), 72u);
}

TEST(ShapeOutline, TransformsTurnAboutTheAnchor) {
    // A quarter turn about the top-left anchor maps (x, y) to (-y, x); about the centre anchor
    // the box keeps its centre.
    qzShapeTransform t;
    t.matrix[0] = 0, t.matrix[1] = 1, t.matrix[2] = -1, t.matrix[3] = 0;
    int64_t x, y;
    TransformPointAboutAnchor(10, 3, 20, 10, t.matrix, 0, 0, &x, &y);
    EXPECT_EQ(x, -3);
    EXPECT_EQ(y, 10);
    TransformPointAboutAnchor(10, 5, 20, 10, t.matrix, 0.5, 0.5, &x, &y);
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 5);
    qzPoint box[5] = {{0, 0}, {19, 0}, {19, 9}, {0, 9}, {0, 0}};
    int minX, minY, w, h;
    TransformPointList(t.matrix, 0, 0, 20, 10, box, 5, true, &minX, &minY, &w, &h);
    EXPECT_EQ(minX, -9);
    EXPECT_EQ(minY, 0);
    EXPECT_EQ(w, 10);
    EXPECT_EQ(h, 20);
    EXPECT_EQ(box[0].x, 9);  // shifted to start at 0, 0
    // A rotated ellipse about its top-left anchor lies left of it; about its centre it stays put.
    qzShapeGeometry ellipse = Geometry(SHAPE_ELLIPSE);
    ellipse.transform = &t;
    const auto turned = Outline(ellipse, 41, 21);
    for (const auto& p : turned) EXPECT_LE(p.x, 1);
    t.anchorX = t.anchorY = 0.5;
    const auto centred = Outline(ellipse, 41, 21);
    for (const auto& p : centred) {
        EXPECT_GE(p.x, 9);
        EXPECT_LE(p.x, 31);
    }
    // The identity changes nothing.
    TransformPointAboutAnchor(7, 8, 20, 10, nullptr, 1, 1, &x, &y);
    EXPECT_EQ(x, 7);
    EXPECT_EQ(y, 8);
}

TEST(ShapeOutline, PointListsAndShadowGrowth) {
    qzPoint points[3] = {{5, -3}, {12, 4}, {-2, 8}};
    int minX, minY, w, h;
    NormalizePointList(points, 3, &minX, &minY, &w, &h);
    EXPECT_EQ(minX, -2);
    EXPECT_EQ(minY, -3);
    EXPECT_EQ(w, 15);
    EXPECT_EQ(h, 12);
    EXPECT_EQ(points[2].x, 0);
    EXPECT_EQ(points[0].y, 0);
    const int expectX[8] = {0, 1, 1, 1, 0, 1, 1, 1}, expectY[8] = {1, 1, 0, 1, 1, 1, 0, 1};
    for (int d = 0; d < 8; d++) {
        int x = 0, y = 0;
        AddShadowGrowth(d, 1, &x, &y);
        EXPECT_EQ(x, expectX[d]) << d;
        EXPECT_EQ(y, expectY[d]) << d;
    }
    double vx = 3, vy = 4;
    NormalizeVector(&vx, &vy);
    EXPECT_DOUBLE_EQ(vx, 0.6);
    double zx = 0, zy = 0;
    NormalizeVector(&zx, &zy);
    EXPECT_EQ(zx, 0);
}

}  // namespace shape_outline_test
