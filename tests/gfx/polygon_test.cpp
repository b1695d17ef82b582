// Polygon spans in masks, one clipping pass per rectangle edge, ellipse outlines and the degree
// tables they are read from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "gfx/polygon.h"
#include "gfx/trig_tables.h"

namespace polygon_test {

namespace {

struct Mask {
    int w, h, bpr;
    std::vector<uint8_t> bits;
    Mask(int w_, int h_) : w(w_), h(h_), bpr(((w_ + 15) >> 3) & ~1), bits((size_t)h_ * bpr, 0) {}
    bool At(int x, int y) const { return (bits[(size_t)y * bpr + (x >> 3)] >> (7 - (x & 7))) & 1; }
    void Fill(const std::vector<qzPoint>& p) {
        std::vector<int32_t> crossings(p.size());
        FillMaskPolygonSpans(bits.data(), bpr, h, crossings.data(), p.data(), (int)p.size());
    }
};

// Horizontal distance from (x, y) to the polygon's outline along the scanline, and whether the
// point is inside by the even-odd rule.
void ScanlineFacts(const std::vector<qzPoint>& p, double x, double y, bool* inside, double* distance) {
    *inside = false;
    *distance = 1e9;
    for (size_t i = 0; i < p.size(); i++) {
        const qzPoint& a = p[i == 0 ? p.size() - 1 : i - 1];
        const qzPoint& b = p[i];
        if ((a.y > y) == (b.y > y)) continue;
        const double cx = a.x + (y - a.y) * (double)(b.x - a.x) / (double)(b.y - a.y);
        if (cx > x) *inside = !*inside;
        *distance = std::fmin(*distance, std::fabs(cx - x));
    }
}

TEST(PolygonSpans, CoverEveryInteriorPixelOnceAndNothingFarOutside) {
    // Random polygons, convex and self-crossing: a pixel whose position lies inside by the
    // even-odd rule and at least one pixel away from the outline is set, one at least one pixel
    // outside is clear (the last scanline, which also takes edges ending on it, aside). Filling the same polygon twice
    // changes nothing (spans only set bits).
    std::mt19937 rng(3);
    for (int round = 0; round < 40; round++) {
        std::vector<qzPoint> p(3 + round % 7);
        for (qzPoint& q : p) q = {(int32_t)(rng() % 60), (int32_t)(rng() % 50)};
        Mask m(64, 50);
        m.Fill(p);
        std::vector<uint8_t> once = m.bits;
        m.Fill(p);
        ASSERT_EQ(m.bits, once);
        int yMax = 0;
        for (const qzPoint& q : p) yMax = std::max(yMax, (int)q.y);
        for (int y = 0; y < yMax; y++)
            for (int x = 0; x < m.w; x++) {
                bool inside;
                double distance;
                ScanlineFacts(p, x, y + 1e-7, &inside, &distance);
                if (distance < 1.0) continue;
                ASSERT_EQ(m.At(x, y), inside) << "round " << round << " at " << x << "," << y;
            }
    }
}

TEST(PolygonSpans, BottomVertexSameXCrossingsAndUnion) {
    Mask m(16, 12);
    m.Fill({{0, 0}, {10, 0}, {5, 10}});  // lowest vertex a single point
    for (int x = 0; x < 16; x++) EXPECT_EQ(m.At(x, 10), x == 5) << x;
    EXPECT_TRUE(m.At(0, 0));
    EXPECT_TRUE(m.At(10, 0));
    Mask n(16, 12);
    n.Fill({{3, 2}, {3, 6}, {3, 9}});  // degenerate: every crossing at x = 3
    for (int y = 2; y <= 9; y++)
        for (int x = 0; x < 16; x++) EXPECT_EQ(n.At(x, y), x == 3) << x << "," << y;
    n.Fill({{8, 0}, {12, 0}, {12, 3}, {8, 3}});  // a second polygon adds to the first
    EXPECT_TRUE(n.At(3, 5));
    EXPECT_TRUE(n.At(10, 2));
}

TEST(PolygonSpans, PointsOutsideTheMaskAreLeftAlone) {
    // Sized exactly, so any write outside is a sanitizer error.
    Mask m(16, 8);
    m.Fill({{-20, -5}, {40, -5}, {40, 30}, {-20, 30}});
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 16; x++) ASSERT_TRUE(m.At(x, y));
}

TEST(PolygonClip, OnePassPerEdge) {
    const std::vector<qzPoint> square = {{-4, -4}, {6, -4}, {6, 6}, {-4, 6}};
    struct Case {
        int edge, coordinate;
        std::vector<qzPoint> out;
    } cases[] = {
        {CLIPEDGE_LEFT, 0, {{0, -4}, {6, -4}, {6, 6}, {0, 6}}},
        {CLIPEDGE_TOP, 0, {{6, 0}, {6, 6}, {-4, 6}, {-4, 0}}},
        {CLIPEDGE_RIGHT, 2, {{-4, -4}, {2, -4}, {2, 6}, {-4, 6}}},
        {CLIPEDGE_BOTTOM, 10, {{-4, -4}, {6, -4}, {6, 6}, {-4, 6}}},  // nothing to cut
        {CLIPEDGE_LEFT, 20, {}},                                      // nothing left
    };
    for (const Case& c : cases) {
        std::vector<qzPoint> out(square.size() * 2);
        int n = ClipPolygonAgainstEdge((int)square.size(), square.data(), out.data(), c.coordinate, c.edge);
        out.resize(n);
        ASSERT_EQ(out.size(), c.out.size()) << c.edge;
        for (const qzPoint& q : c.out) {
            bool found = false;
            for (const qzPoint& o : out) found |= o.x == q.x && o.y == q.y;
            EXPECT_TRUE(found) << c.edge << ": " << q.x << "," << q.y;
        }
    }
    // A sloped edge crosses at the rounded point.
    const qzPoint tri[] = {{0, 0}, {10, 5}, {0, 10}};
    qzPoint out[6];
    ASSERT_EQ(ClipPolygonAgainstEdge(3, tri, out, 3, CLIPEDGE_RIGHT), 4);
    EXPECT_EQ(out[1].x, 3);
    EXPECT_EQ(out[1].y, 2);  // 1.5 rounds away from zero
    EXPECT_EQ(out[2].y, 9);  // 8.5 likewise
    // Coordinates near the ends of the 32-bit range: differences are taken in doubles.
    const qzPoint far[] = {{-1596467241, 0}, {1076409091, 0}, {1076409091, 10}, {-1596467241, 10}};
    ASSERT_EQ(ClipPolygonAgainstEdge(4, far, out, 0, CLIPEDGE_LEFT), 4);
    EXPECT_EQ(out[0].x, 0);
    EXPECT_EQ(out[0].y, 0);
}

TEST(EllipsePoints, FullTurnFillsItsBoxAndCloses) {
    const double* sine = DegreeSinTable();
    const double* cosine = DegreeCosTable();
    EXPECT_EQ(sine[90], 1.0);
    EXPECT_EQ(cosine[0], 1.0);
    EXPECT_EQ(cosine[180], -1.0);
    for (int i = 0; i <= 360; i += 17) EXPECT_NEAR(sine[i], std::sin(i * M_PI / 180), 1e-15);
    for (int r : {0, 1, 7, 100}) {
        const int rx = r, ry = r / 2 + 1;
        std::vector<qzPoint> p(361);
        ASSERT_EQ(BuildEllipsePoints(p.data(), rx, ry, 0, 360), 361);
        EXPECT_EQ(p[0].x, p[360].x);
        EXPECT_EQ(p[0].y, p[360].y);
        int minX = 1 << 30, maxX = -minX, minY = minX, maxY = -minX;
        for (const qzPoint& q : p) {
            minX = std::min(minX, q.x);
            maxX = std::max(maxX, q.x);
            minY = std::min(minY, q.y);
            maxY = std::max(maxY, q.y);
        }
        EXPECT_EQ(minX, 0);
        EXPECT_EQ(maxX, 2 * rx);
        EXPECT_EQ(minY, 0);
        EXPECT_EQ(maxY, 2 * ry);
        EXPECT_EQ(p[90].x, rx);
        EXPECT_EQ(p[90].y, 2 * ry);
    }
    std::vector<qzPoint> arc(400);
    EXPECT_EQ(BuildEllipsePoints(arc.data(), 5, 5, 350, 10), 21);  // runs on through 360
    EXPECT_EQ(BuildEllipsePoints(arc.data(), 5, 5, 90, 90), 1);
}

}  // namespace

}  // namespace polygon_test
