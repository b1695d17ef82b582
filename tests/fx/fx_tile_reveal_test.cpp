// Effects that reveal the new picture band by band: puzzle, diagonal, spiral, swiss, quad
// rectangles, split and up-and-down. Every type ends on the picture in its counted frames,
// straight onto the display and inside a layer, showing and hiding; a few mid-effect pictures.
#include <algorithm>
#include <tuple>
#include <vector>

#include "fx/fx_fixture.h"
#include "fx/fx_puzzle.h"
#include "fx/fx_swiss.h"

namespace fx_tile_reveal_test {

struct Area {
    int32_t x, y, width, height, speed;
};
enum Drawing { kDirect, kLayerShow, kLayerHide };

class TileRevealTest : public FxTest, public ::testing::WithParamInterface<std::tuple<int32_t, Area, Drawing>> {};

TEST_P(TileRevealTest, EndsOnThePictureInItsFrameCount) {
    const auto [type, area, drawing] = GetParam();
    OpenScreen(64, 48, drawing != kDirect);
    Effect e;
    srand48(11);
    if (drawing == kDirect)
        Direct(e, type, area.x, area.y, area.width, area.height, area.speed);
    else
        ViaLayer(e, type, area.x, area.y, area.width, area.height, area.speed, -1, drawing == kLayerHide);
    ASSERT_NE(e.context.step, nullptr);
    ASSERT_EQ(Run(e), 0);
    EXPECT_EQ(e.frames, e.context.total);
    EXPECT_EQ(e.context.current, e.context.total);
    EXPECT_EQ(drawing == kLayerHide ? ScreenShowsBackground() : ScreenShowsPicture(e), "");
}

INSTANTIATE_TEST_SUITE_P(Types, TileRevealTest,
                         ::testing::Combine(::testing::Values(82, 83, 105, 106, 107, 108, 109, 110),
                                            ::testing::Values(Area{10, 6, 30, 20, -1}, Area{-5, 30, 41, 23, 7},
                                                              Area{0, 0, 64, 48, -2}, Area{20, 3, 9, 31, -3},
                                                              Area{7, 9, 13, 3, 100}),
                                            ::testing::Values(kDirect, kLayerShow, kLayerHide)));

class TileShapeTest : public FxTest {
protected:
    // Checks that the window shows the picture of `e` exactly where shown(x, y) holds inside the
    // area and the background elsewhere.
    template <typename Shown>
    std::string ScreenShowsWhere(const Effect& e, Shown shown) {
        const qzEffectContext& c = e.context;
        for (int32_t y = 0; y < 48; y++) {
            for (int32_t x = 0; x < 64; x++) {
                const int32_t ax = x - c.x, ay = y - c.y;
                const bool inside = ax >= 0 && ay >= 0 && ax < c.width && ay < c.height;
                const uint32_t expected = inside && shown(ax, ay) ? PatternColour(ax, ay, 1) : kBackground;
                if (Pixel(1, x, y) != expected) return "at " + std::to_string(x) + "," + std::to_string(y);
            }
        }
        return "";
    }
};

TEST_F(TileShapeTest, PuzzleShowsTheTilesOfItsOrder) {
    OpenScreen();
    Effect e;
    Direct(e, 82, 4, 3, 50, 40, 2);
    srand48(5);
    ASSERT_EQ(Setup(e), 0);
    // Tiles are never smaller than 5 pixels: 11 x 9 tiles, the last column and row clipped.
    EXPECT_EQ(e.context.speed, 5);
    EXPECT_EQ(e.context.total, 99);
    std::vector<int32_t> order(99);
    srand48(5);
    ASSERT_EQ(FillPuzzleOrder(order.data(), 99), 0);
    ASSERT_EQ(Frames(e, 40), 0);
    std::vector<bool> shown(99, false);
    for (int i = 0; i < 40; i++) shown[order[i]] = true;
    EXPECT_EQ(ScreenShowsWhere(e, [&](int32_t x, int32_t y) { return shown[(y / 5) * 11 + x / 5]; }), "");
    ASSERT_EQ(Frames(e), 0);
    EXPECT_EQ(e.frames, 99);
    EXPECT_EQ(ScreenShowsPicture(e), "");
}

TEST(PuzzleOrder, IsAPermutation) {
    for (const int32_t count : {1, 2, 66, 1000}) {
        for (const long seed : {1L, 2L, 99L}) {
            srand48(seed);
            std::vector<int32_t> order(count, -1);
            ASSERT_EQ(FillPuzzleOrder(order.data(), count), 0);
            std::vector<int32_t> sorted = order;
            std::sort(sorted.begin(), sorted.end());
            for (int32_t i = 0; i < count; i++) ASSERT_EQ(sorted[i], i) << count << " " << seed;
        }
    }
}

TEST_F(TileShapeTest, DiagonalFrontIsAStaircase) {
    OpenScreen();
    Effect e;
    Direct(e, 83, 2, 1, 60, 45, 4);
    ASSERT_EQ(Setup(e), 0);
    EXPECT_EQ(e.context.total, GetEffectStepCount(60 + 45 - 4, 4, 0));
    ASSERT_EQ(Frames(e, 9), 0);
    // After k frames the tile in column i and row j is in when i + j < k.
    EXPECT_EQ(ScreenShowsWhere(e, [](int32_t x, int32_t y) { return x / 4 + y / 4 < 9; }), "");

    // An area of w + h = 300 with 10-pixel tiles takes 30 frames; a tile wider than a quarter of
    // the area becomes 1 pixel.
    const int32_t kSizes[][4] = {{200, 100, 10, 30}, {40, 20, 11, 60}};
    for (const auto& s : kSizes) {
        Effect sized;
        Direct(sized, 83, 0, 0, s[0], s[1], s[2]);
        ASSERT_EQ(Setup(sized), 0);
        EXPECT_EQ(sized.context.total, s[3]) << s[0] << "x" << s[1];
    }
}

TEST_F(TileShapeTest, SpiralStepsAndFirstBlock) {
    OpenScreen();
    // Speeds: the three constants are fixed pixel steps; others are bounded to 1..30.
    const int32_t kSpeeds[][2] = {{-1, 10}, {-2, 15}, {-3, 5}, {0, 1}, {-9, 1}, {12, 12}, {100, 30}};
    for (const auto& s : kSpeeds) {
        Effect e;
        Direct(e, 105, 0, 0, 50, 40, s[0]);
        ASSERT_EQ(Setup(e), 0);
        EXPECT_EQ(e.context.speed, s[1]) << s[0];
        EXPECT_EQ(e.context.current, 0);
    }
    // The walk starts down the rightmost of seven columns.
    Effect e;
    Direct(e, 105, 3, 2, 50, 40, -1);
    ASSERT_EQ(Setup(e), 0);
    ASSERT_EQ(Frames(e, 1), 0);
    EXPECT_EQ(ScreenShowsWhere(e, [](int32_t x, int32_t y) { return x >= 50 - 8 && y < 10; }), "");
}

TEST(SwissRect, GrowsAlongTheLongerSide) {
    const int32_t kRects[][5] = {
        // w, h, k, width, height
        {50, 50, 10, 10, 11}, {60, 30, 10, 10, 6}, {30, 60, 10, 6, 10}, {100, 1, 7, 7, 1}, {50, 50, 0, 0, 1},
    };
    for (const auto& r : kRects) {
        int32_t w = 0, h = 0;
        SizedEffectRect(r[0], r[1], r[2], &w, &h);
        EXPECT_EQ(w, r[3]) << r[0] << "x" << r[1] << " " << r[2];
        EXPECT_EQ(h, r[4]) << r[0] << "x" << r[1] << " " << r[2];
    }
}

TEST_F(TileShapeTest, SplitOpensTwoStripsPerHalf) {
    OpenScreen();
    Effect e;
    // An odd width puts the second half one column further right.
    Direct(e, 108, 1, 2, 41, 30, 2);
    ASSERT_EQ(Setup(e), 0);
    EXPECT_EQ(e.context.total, 6);
    ASSERT_EQ(Frames(e, 2), 0);
    EXPECT_EQ(ScreenShowsWhere(e,
                               [](int32_t x, int32_t) {
                                   const int32_t in = x < 21 ? x : x - 21;
                                   return in >= 8 && in < 14;
                               }),
              "");
}

}  // namespace fx_tile_reveal_test
