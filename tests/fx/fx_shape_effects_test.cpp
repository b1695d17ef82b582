// The shape effects: clock wipe, star and sun. Every type runs to its end straight onto the
// display, showing a layer and hiding one, in the frame count its step size gives; the picture of
// a step rendered from scratch equals the one the frames leading to it drew; some first frames
// are checked against the shape they must show.
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "fx/fx_clock.h"
#include "fx/fx_fixture.h"
#include "gfx/blit_test_util.h"

namespace fx_shape_effects_test {

enum { kNormal = QZ_EFFECT_NORMALSPEED, kFast = QZ_EFFECT_FASTSPEED, kSlow = QZ_EFFECT_SLOWSPEED };
enum { kClock = 97, kStar = 98, kSun = 114 };
enum Mode { kDirect, kShowLayer, kHideLayer };
const Mode kModes[] = {kDirect, kShowLayer, kHideLayer};

constexpr int32_t kScreenWidth = 256, kScreenHeight = 128;
constexpr int32_t kX = 5, kY = 3;

class ShapeEffectTest : public FxTest {
protected:
    void Start(Effect& e, Mode mode, int32_t type, int32_t width, int32_t height, int32_t speed,
               qzBitMap* mask = nullptr) {
        OpenScreen(kScreenWidth, kScreenHeight, mode != kDirect);
        if (mode == kDirect)
            Direct(e, type, kX, kY, width, height, speed);
        else
            ViaLayer(e, type, kX, kY, width, height, speed, -1, mode == kHideLayer, 0, mask);
    }
    std::vector<uint32_t> Screen() {
        std::vector<uint32_t> pixels;
        for (int32_t y = 0; y < kScreenHeight; y++)
            for (int32_t x = 0; x < kScreenWidth; x++) pixels.push_back(Pixel(1, x, y));
        return pixels;
    }
    // Empty when the area shows the picture at the listed area points (`in`) and the background
    // at the others (`out`); hiding a layer swaps the two.
    std::string Shows(const Effect& e, Mode mode, const std::vector<qzPoint>& in, const std::vector<qzPoint>& out) {
        for (int pass = 0; pass < 2; pass++) {
            const bool picture = (pass == 0) != (mode == kHideLayer);
            for (const qzPoint& p : pass == 0 ? in : out) {
                const uint32_t expected = picture ? PatternColour(p.x, p.y, 1) : kBackground;
                const uint32_t shown = Pixel(1, e.context.x + p.x, e.context.y + p.y);
                if (shown != expected)
                    return "at " + std::to_string(p.x) + "," + std::to_string(p.y) + " of the area: shown " +
                           std::to_string(shown) + ", expected " + std::to_string(expected);
            }
        }
        return "";
    }
};

struct EndCase {
    int32_t type, width, height, speed;
    int32_t step;  // the context's speed after set-up
    int32_t total;
};

// Clock wipe: 10, 15, 5 pixels of border a frame, others kept within 1 to 30; the point starts a
// step in, makes a lap of w + h + w + h - 3 pixels (100 x 50: 297), and the frame after the one
// that reaches the end finishes. Star and sun: the longer side / 12, 6, 24, at most 100.
const EndCase kEndCases[] = {
    {kClock, 100, 50, kNormal, 10, 30}, {kClock, 100, 50, kFast, 15, 20},   {kClock, 100, 50, 100, 30, 10},
    {kClock, 40, 30, 0, 1, 138},        {kClock, 40, 30, -7, 1, 138},       {kClock, 41, 31, kSlow, 5, 29},
    {kClock, 1, 1, kNormal, 10, 6},     {kClock, 30, 1, 3, 3, 20},          {kClock, 2, 40, 4, 4, 21},
    {kStar, 200, 100, kNormal, 16, 50}, {kStar, 100, 200, kNormal, 16, 50}, {kStar, 40, 30, kFast, 6, 25},
    {kStar, 40, 30, 300, 100, 2},       {kStar, 1, 1, kNormal, 1, 1},       {kSun, 200, 100, kNormal, 16, 17},
    {kSun, 100, 200, kSlow, 8, 34},     {kSun, 200, 2, kNormal, 16, 21},    {kSun, 40, 30, 300, 100, 1},
    {kSun, 1, 1, kNormal, 1, 1},
};

void PrintTo(const EndCase& t, std::ostream* os) {
    *os << "type " << t.type << " on " << t.width << "x" << t.height << " speed " << t.speed;
}

class ShapeEffectEndTest : public ShapeEffectTest, public testing::WithParamInterface<std::tuple<EndCase, Mode>> {};

TEST_P(ShapeEffectEndTest, EndsOnThePictureInItsFrameCount) {
    const auto& [t, mode] = GetParam();
    Effect e;
    Start(e, mode, t.type, t.width, t.height, t.speed);
    ASSERT_NE(e.context.step, nullptr);
    ASSERT_EQ(Setup(e), 0);
    EXPECT_EQ(e.context.speed, t.step);
    EXPECT_EQ(e.context.total, t.total);
    EXPECT_EQ(e.context.current, 0);
    ASSERT_EQ(Frames(e), 0);
    EXPECT_EQ(e.frames, t.total);
    EXPECT_EQ(e.context.current, t.total);
    EXPECT_EQ(mode == kHideLayer ? ScreenShowsBackground() : ScreenShowsPicture(e), "");
}

template <typename Case>
std::string CaseName(const testing::TestParamInfo<std::tuple<Case, Mode>>& info) {
    const Case& t = std::get<0>(info.param);
    static const char* const kNames[] = {"Direct", "ShowLayer", "HideLayer"};
    return "Type" + std::to_string(t.type) + "_" + std::to_string(t.width) + "x" + std::to_string(t.height) + "_" +
           kNames[std::get<1>(info.param)] + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Types, ShapeEffectEndTest,
                         testing::Combine(testing::ValuesIn(kEndCases), testing::ValuesIn(kModes)), CaseName<EndCase>);

// Rendering step k from scratch, after the effect has gone further, gives the picture that k
// frames drew.
struct RenderCase {
    int32_t type, width, height, speed, step;
};

const RenderCase kRenderCases[] = {
    {kClock, 100, 50, kNormal, 1}, {kClock, 100, 50, kNormal, 7}, {kClock, 100, 50, kNormal, 19},
    {kClock, 41, 31, 7, 12},       {kStar, 200, 100, kNormal, 3}, {kStar, 60, 90, kNormal, 20},
    {kSun, 200, 100, kNormal, 2},  {kSun, 200, 100, kNormal, 9},  {kSun, 60, 90, kFast, 4},
};

void PrintTo(const RenderCase& t, std::ostream* os) {
    *os << "type " << t.type << " on " << t.width << "x" << t.height << " step " << t.step;
}

class ShapeEffectRenderTest : public ShapeEffectTest,
                              public testing::WithParamInterface<std::tuple<RenderCase, Mode>> {};

TEST_P(ShapeEffectRenderTest, RenderedStepEqualsTheFramesBeforeIt) {
    const auto& [t, mode] = GetParam();
    Effect e;
    Start(e, mode, t.type, t.width, t.height, t.speed);
    ASSERT_EQ(Setup(e), 0);
    ASSERT_LT(t.step + 3, e.context.total);
    ASSERT_EQ(Frames(e, t.step), 0);
    const std::vector<uint32_t> played = Screen();
    ASSERT_EQ(Frames(e, 3), 0);
    if (mode == kDirect) FillEffectRect(&e.context, kX, kY, t.width, t.height, kBackground, 0);
    ASSERT_EQ(Render(e, t.step), 0);
    EXPECT_EQ(e.context.current, t.step);
    if (mode != kDirect) RefreshArea(*vm, kX, kY, t.width, t.height);
    EXPECT_EQ(Screen(), played);
    // The frames after the rendered step carry on from it to the end.
    ASSERT_EQ(Frames(e), 0);
    EXPECT_EQ(e.context.current, e.context.total);
    EXPECT_EQ(mode == kHideLayer ? ScreenShowsBackground() : ScreenShowsPicture(e), "");
}

INSTANTIATE_TEST_SUITE_P(Steps, ShapeEffectRenderTest,
                         testing::Combine(testing::ValuesIn(kRenderCases), testing::ValuesIn(kModes)),
                         CaseName<RenderCase>);

}  // namespace fx_shape_effects_test
