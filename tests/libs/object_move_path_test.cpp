// The object mover's path: the points an object passes, frame by frame, for straight, diagonal
// and wave moves and the end effects (bounce, damped swing, smooth stop).
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "libs/moveobject/object_move.h"

namespace object_move_path_test {

namespace {

struct Point {
    int32_t x, y;
    bool operator==(const Point& o) const { return x == o.x && y == o.y; }
};

// Every point of the move, the last one the end point; at most 1000 frames.
std::vector<Point> Path(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t speed, int32_t fx, int32_t width = 20,
                        int32_t height = 20) {
    qzObjectMove m;
    m.fromX = x1;
    m.fromY = y1;
    m.toX = x2;
    m.toY = y2;
    m.speed = speed;
    m.fx = fx;
    m.width = width;
    m.height = height;
    SetUpMovePath(&m, 200);
    std::vector<Point> points;
    for (int i = 0; i < 1000; i++) {
        const bool end = AdvanceMovePath(&m);
        points.push_back({m.x.position, m.y.position});
        if (end) break;
    }
    return points;
}

// The x positions where a horizontal path turns, and the end.
std::vector<int32_t> TurningPoints(const std::vector<Point>& path) {
    std::vector<int32_t> turns;
    for (size_t i = 1; i + 1 < path.size(); i++)
        if ((path[i].x - path[i - 1].x) * (path[i + 1].x - path[i].x) < 0) turns.push_back(path[i].x);
    turns.push_back(path.back().x);
    return turns;
}

TEST(ObjectMovePath, StraightAndDiagonalMoves) {
    const std::vector<Point> right = Path(0, 0, 100, 0, 10, QZ_MOVEFX_NONE);
    ASSERT_EQ(right.size(), 10u);
    for (size_t i = 0; i < right.size(); i++) EXPECT_EQ(right[i], (Point{int32_t(10 * (i + 1)), 0}));

    // A remainder is one more step, clamped at the end.
    EXPECT_EQ(Path(0, 0, 0, -25, 10, QZ_MOVEFX_NONE), (std::vector<Point>{{0, -10}, {0, -20}, {0, -25}}));

    // A wide object steps x by the speed; y spreads 35 over 10 steps, one more in the first five.
    const std::vector<Point> diagonal = Path(0, 0, 100, 35, 10, QZ_MOVEFX_NONE, 40, 10);
    ASSERT_EQ(diagonal.size(), 10u);
    EXPECT_EQ(diagonal[0], (Point{10, 4}));
    EXPECT_EQ(diagonal[4], (Point{50, 20}));
    EXPECT_EQ(diagonal[5], (Point{60, 23}));
    EXPECT_EQ(diagonal.back(), (Point{100, 35}));
    // A tall one steps y by the speed.
    const std::vector<Point> tall = Path(100, 100, 65, 0, 10, QZ_MOVEFX_NONE, 10, 40);
    ASSERT_EQ(tall.size(), 10u);
    EXPECT_EQ(tall[0], (Point{96, 90}));
    EXPECT_EQ(tall.back(), (Point{65, 0}));
}

TEST(ObjectMovePath, BounceAndDampedSwingsAroundTheEnd) {
    const std::vector<Point> bounce = Path(0, 50, 200, 50, 10, QZ_MOVEFX_BOUNCE);
    EXPECT_EQ(TurningPoints(bounce), (std::vector<int32_t>{360, 120, 240, 180, 210, 200}));
    for (const Point& p : bounce) EXPECT_EQ(p.y, 50);
    // The speed of each leg: 10 out to 360, 5 back, 3, 2, 1 and 1 home.
    std::vector<int32_t> speeds;
    for (size_t i = 1; i + 1 < bounce.size(); i++)
        if (bounce[i].x == 200 && bounce[i - 1].x == 190) speeds.push_back(bounce[i + 1].x - bounce[i].x);
    for (int32_t turn : TurningPoints(bounce)) {
        for (size_t i = 1; i + 1 < bounce.size(); i++)
            if (bounce[i].x == turn && (bounce[i].x - bounce[i - 1].x) * (bounce[i + 1].x - bounce[i].x) < 0)
                speeds.push_back(std::abs(bounce[i + 1].x - bounce[i].x));
    }
    EXPECT_EQ(speeds, (std::vector<int32_t>{10, 5, 3, 2, 1, 1}));

    const std::vector<Point> damped = Path(0, 0, 200, 0, 10, QZ_MOVEFX_DAMPED);
    EXPECT_EQ(TurningPoints(damped), (std::vector<int32_t>{280, 200}));
    size_t turn = 0;
    while (damped[turn].x != 280) turn++;
    EXPECT_EQ(damped[turn].x - damped[turn - 1].x, 8);
    EXPECT_EQ(damped[turn].x - damped[turn + 1].x, 4);
}

TEST(ObjectMovePath, SmoothOutSlowsDownAndArrives) {
    const std::vector<Point> path = Path(0, 0, 100, 0, 10, QZ_MOVEFX_SMOOTHOUT);
    EXPECT_EQ(path.back(), (Point{100, 0}));
    int32_t last = 10;
    for (size_t i = 1; i < path.size(); i++) {
        const int32_t step = path[i].x - path[i - 1].x;
        EXPECT_GE(step, 1);
        EXPECT_LE(step, last);
        last = step;
    }
    EXPECT_GT(path.size(), 10u);
}

TEST(ObjectMovePath, WavesOnlyOnHorizontalMoves) {
    for (int32_t fx : {QZ_MOVEFX_SINE, QZ_MOVEFX_BIGSINE, QZ_MOVEFX_LOWERCURVE, QZ_MOVEFX_UPPERCURVE}) {
        const std::vector<Point> wave = Path(0, 100, 200, 100, 10, fx);
        ASSERT_EQ(wave.size(), 20u) << fx;
        EXPECT_EQ(wave.back(), (Point{200, 100})) << fx;
        int32_t highest = 100, lowest = 100;
        for (const Point& p : wave) {
            highest = std::min(highest, p.y);
            lowest = std::max(lowest, p.y);
        }
        if (fx == QZ_MOVEFX_LOWERCURVE) {
            EXPECT_EQ(highest, 100);
            EXPECT_EQ(lowest, 250);
        } else if (fx == QZ_MOVEFX_UPPERCURVE) {
            EXPECT_EQ(highest, -50);
            EXPECT_EQ(lowest, 100);
        } else {
            // Half a period of the wave: its trough, the amplitude below the line.
            const int32_t amplitude = fx == QZ_MOVEFX_SINE ? 50 : 100;
            EXPECT_NEAR(100 - highest, amplitude, 1) << fx;
            EXPECT_LE(lowest, 105) << fx;
        }
        // A vertical move goes straight.
        for (const Point& p : Path(30, 0, 30, 100, 10, fx)) EXPECT_EQ(p.x, 30) << fx;
    }
}

}  // namespace

}  // namespace object_move_path_test
