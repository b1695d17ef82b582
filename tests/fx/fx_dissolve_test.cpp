// The dissolve: every way of drawing ends on the picture (or without the hidden layer) in the
// frame count the speed gives, a step rendered from scratch equals the frames before it, and the
// pixels appear in the order of the thresholds the seeded random sequence gives.
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "fx/fx_fixture.h"

namespace fx_dissolve_test {

enum Mode { kDirect, kShowLayer, kHideLayer };
const Mode kModes[] = {kDirect, kShowLayer, kHideLayer};
constexpr int32_t kDissolve = 139, kX = 5, kY = 3, kW = 40, kH = 30;

class DissolveTest : public FxTest {
protected:
    void Start(Effect& e, Mode mode, int32_t speed) {
        OpenScreen(64, 48, mode != kDirect);
        if (mode == kDirect)
            Direct(e, kDissolve, kX, kY, kW, kH, speed);
        else
            ViaLayer(e, kDissolve, kX, kY, kW, kH, speed, -1, mode == kHideLayer);
    }
    std::vector<uint32_t> Screen() {
        std::vector<uint32_t> pixels;
        for (int32_t y = 0; y < 48; y++)
            for (int32_t x = 0; x < 64; x++) pixels.push_back(Pixel(screen, x, y));
        return pixels;
    }
};

struct SpeedCase {
    int32_t speed, step, total;
};
const SpeedCase kSpeedCases[] = {{QZ_EFFECT_NORMALSPEED, 4, 64},
                                 {QZ_EFFECT_FASTSPEED, 8, 32},
                                 {QZ_EFFECT_SLOWSPEED, 2, 128},
                                 {20, 8, 32},
                                 {0, 1, 256},
                                 {-5, 1, 256},
                                 {3, 3, 86}};

class DissolveEndTest : public DissolveTest, public testing::WithParamInterface<std::tuple<SpeedCase, Mode>> {};

TEST_P(DissolveEndTest, EndsOnThePictureInItsFrameCount) {
    const auto& [t, mode] = GetParam();
    Effect e;
    srand(11);
    Start(e, mode, t.speed);
    ASSERT_NE(e.context.step, nullptr);
    ASSERT_EQ(Setup(e), 0);
    EXPECT_EQ(e.context.speed, t.step);
    EXPECT_EQ(e.context.total, t.total);
    ASSERT_EQ(Frames(e), 0);
    EXPECT_EQ(e.frames, t.total);
    EXPECT_EQ(e.context.current, t.total);
    EXPECT_EQ(mode == kHideLayer ? ScreenShowsBackground() : ScreenShowsPicture(e), "");
}

INSTANTIATE_TEST_SUITE_P(Speeds, DissolveEndTest,
                         testing::Combine(testing::ValuesIn(kSpeedCases), testing::ValuesIn(kModes)));

class DissolveModeTest : public DissolveTest, public testing::WithParamInterface<Mode> {};

// After k frames at step 4 a pixel shows the picture exactly when the threshold the seeded
// sequence gave it (one rand() per pixel, row by row, mod 255) lies below 4k; hiding swaps the
// two. Rendering step k from scratch after later frames gives the same screen.
TEST_P(DissolveModeTest, ShowsThePixelsBelowTheLevelAndRendersAnyStep) {
    const Mode mode = GetParam();
    Effect e;
    Start(e, mode, QZ_EFFECT_NORMALSPEED);
    srand(42);
    std::vector<int> thresholds;
    for (int32_t i = 0; i < kW * kH; i++) thresholds.push_back(rand() % 255);
    srand(42);
    ASSERT_EQ(Setup(e), 0);
    for (const int32_t k : {1, 20, 63}) {
        ASSERT_EQ(Frames(e, k - e.context.current), 0);
        ASSERT_FALSE(e.context.finished);
        int shown = 0;
        for (int32_t y = 0; y < kH; y++) {
            for (int32_t x = 0; x < kW; x++) {
                const bool picture = (thresholds[size_t(y) * kW + x] < 4 * k) != (mode == kHideLayer);
                const uint32_t expected = picture ? PatternColour(x, y, 1) : kBackground;
                ASSERT_EQ(Pixel(screen, kX + x, kY + y), expected) << "at " << x << "," << y << " after " << k;
                shown += picture;
            }
        }
        EXPECT_GT(shown, 0);
        EXPECT_LT(shown, kW * kH);
    }
    // Step 20 again from scratch, after frame 63.
    Effect f;
    Start(f, mode, QZ_EFFECT_NORMALSPEED);
    srand(42);
    ASSERT_EQ(Setup(f), 0);
    ASSERT_EQ(Frames(f, 20), 0);
    const std::vector<uint32_t> played = Screen();
    ASSERT_EQ(Frames(f, 30), 0);
    ASSERT_EQ(Render(f, 20), 0);
    EXPECT_EQ(f.context.current, 20);
    if (mode != kDirect) RefreshArea(*vm, kX, kY, kW, kH);
    EXPECT_EQ(Screen(), played);
    ASSERT_EQ(Frames(f), 0);
    EXPECT_EQ(f.context.current, f.context.total);
    EXPECT_EQ(mode == kHideLayer ? ScreenShowsBackground() : ScreenShowsPicture(f), "");
}

INSTANTIATE_TEST_SUITE_P(Modes, DissolveModeTest, testing::ValuesIn(kModes));

}  // namespace fx_dissolve_test
