// The pixel zoom: both types end on the picture (or without the hidden layer) in their fixed
// frame counts whatever the speed, a frame shows the picture in blocks of the frame's size, and a
// step rendered from scratch equals the frames before it.
#include <string>
#include <tuple>
#include <vector>

#include "fx/fx_fixture.h"

namespace fx_pixelzoom_test {

enum Mode { kDirect, kShowLayer, kHideLayer };
const Mode kModes[] = {kDirect, kShowLayer, kHideLayer};
constexpr int32_t kX = 5, kY = 3, kW = 50, kH = 30;

class PixelZoomTest : public FxTest {
protected:
    void Start(Effect& e, Mode mode, int32_t type, int32_t speed) {
        OpenScreen(64, 48, mode != kDirect);
        if (mode == kDirect)
            Direct(e, type, kX, kY, kW, kH, speed);
        else
            ViaLayer(e, type, kX, kY, kW, kH, speed, -1, mode == kHideLayer);
    }
    std::vector<uint32_t> Screen() {
        std::vector<uint32_t> pixels;
        for (int32_t y = 0; y < 48; y++)
            for (int32_t x = 0; x < 64; x++) pixels.push_back(Pixel(screen, x, y));
        return pixels;
    }
};

// Type 133 coarsens the old picture first (49 frames); in a layer without bgpicemu it runs as
// 132 (25 frames).
struct EndCase {
    int32_t type, speed;
    Mode mode;
    int32_t total;
};
const EndCase kEndCases[] = {
    {132, QZ_EFFECT_NORMALSPEED, kDirect, 25},    {132, 200, kDirect, 25},
    {132, QZ_EFFECT_FASTSPEED, kShowLayer, 25},   {132, QZ_EFFECT_SLOWSPEED, kHideLayer, 25},
    {133, QZ_EFFECT_NORMALSPEED, kDirect, 49},    {133, 3, kDirect, 49},
    {133, QZ_EFFECT_NORMALSPEED, kShowLayer, 25},
};

class PixelZoomEndTest : public PixelZoomTest, public testing::WithParamInterface<EndCase> {};

TEST_P(PixelZoomEndTest, EndsOnThePictureInItsFrameCount) {
    const EndCase& t = GetParam();
    Effect e;
    Start(e, t.mode, t.type, t.speed);
    ASSERT_NE(e.context.step, nullptr);
    ASSERT_EQ(Setup(e), 0);
    EXPECT_EQ(e.context.total, t.total);
    ASSERT_EQ(Frames(e), 0);
    EXPECT_EQ(e.frames, t.total);
    EXPECT_EQ(e.context.current, t.total);
    EXPECT_EQ(t.mode == kHideLayer ? ScreenShowsBackground() : ScreenShowsPicture(e), "");
}

INSTANTIATE_TEST_SUITE_P(Types, PixelZoomEndTest, testing::ValuesIn(kEndCases));

// After f frames the area shows blocks of the given size taken from their top-left pixel: of the
// new picture, or for 133's first frames of the old one (the plain background).
struct MidCase {
    int32_t type, frames, cell;
    bool oldPicture;
};
const MidCase kMidCases[] = {{132, 1, 24, false}, {132, 10, 15, false}, {132, 23, 2, false}, {133, 1, 2, true},
                             {133, 23, 24, true}, {133, 24, 25, false}, {133, 40, 9, false}};

class PixelZoomMidTest : public PixelZoomTest, public testing::WithParamInterface<std::tuple<MidCase, Mode>> {};

TEST_P(PixelZoomMidTest, ShowsBlocksOfTheFrameAndRendersTheSameStep) {
    const auto& [t, mode] = GetParam();
    if (mode != kDirect && t.type == 133) GTEST_SKIP() << "runs as 132 in a layer";
    Effect e;
    Start(e, mode, t.type, QZ_EFFECT_NORMALSPEED);
    ASSERT_EQ(Setup(e), 0);
    ASSERT_EQ(Frames(e, t.frames), 0);
    ASSERT_FALSE(e.context.finished);
    const int32_t cell = mode == kHideLayer ? t.frames + 1 : t.cell;
    for (int32_t y = 0; y < kH; y++)
        for (int32_t x = 0; x < kW; x++) {
            const uint32_t expected = t.oldPicture ? kBackground : PatternColour(x / cell * cell, y / cell * cell, 1);
            ASSERT_EQ(Pixel(screen, kX + x, kY + y), expected) << "at " << x << "," << y;
        }
    const std::vector<uint32_t> played = Screen();
    ASSERT_EQ(Frames(e, 3), 0);
    ASSERT_EQ(Render(e, t.frames), 0);
    EXPECT_EQ(e.context.current, t.frames);
    if (mode != kDirect) RefreshArea(*vm, kX, kY, kW, kH);
    EXPECT_EQ(Screen(), played);
}

INSTANTIATE_TEST_SUITE_P(Frames, PixelZoomMidTest,
                         testing::Combine(testing::ValuesIn(kMidCases), testing::ValuesIn(kModes)));

}  // namespace fx_pixelzoom_test
