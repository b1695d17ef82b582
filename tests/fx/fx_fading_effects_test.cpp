// The fading and squeezing effects: crossfade, fade, blend, crush and flip-coin. Every type runs
// to its end picture in the frame count its step size gives, straight onto the display and through
// a layer; a step rendered from scratch equals the frames that led to it; the fading types write
// the opacity of each frame; a few frames in between are pinned.
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "fx/fx_fixture.h"
#include "gfx/blit_test_util.h"

namespace fx_fading_effects_test {

enum { kNormal = QZ_EFFECT_NORMALSPEED, kFast = QZ_EFFECT_FASTSPEED, kSlow = QZ_EFFECT_SLOWSPEED };
enum {
    kCrossfade = 115,
    kFade = 116,
    kBlend = 117,
    kCrushLeft = 120,
    kCrushRight = 121,
    kCrushTop = 122,
    kCrushBottom = 123,
    kVFlip = 124,
    kVLowFlip = 125,
    kHFlip = 126,
    kHLowFlip = 127,
};
enum Mode { kDirect, kShowLayer, kHideLayer };

constexpr int32_t kScreenWidth = 160, kScreenHeight = 120;
constexpr int32_t kX = 5, kY = 3;

bool Fading(int32_t type) { return type >= kCrossfade && type <= kBlend; }

class FadingEffectTest : public FxTest {
protected:
    void Start(Effect& e, Mode mode, int32_t type, int32_t width, int32_t height, int32_t speed,
               int32_t parameter = -1) {
        OpenScreen(kScreenWidth, kScreenHeight, mode != kDirect);
        if (mode == kDirect)
            Direct(e, type, kX, kY, width, height, speed, parameter);
        else
            ViaLayer(e, type, kX, kY, width, height, speed, parameter, mode == kHideLayer);
    }
    std::vector<uint32_t> Screen() {
        std::vector<uint32_t> pixels;
        for (int32_t y = 0; y < kScreenHeight; y++)
            for (int32_t x = 0; x < kScreenWidth; x++) pixels.push_back(Pixel(screen, x, y));
        return pixels;
    }
};

struct EndCase {
    int32_t type, width, height, speed;
    int32_t step;  // the context's speed after set-up
    int32_t total;
};

// Crossfade: 10, 20, 5 opacity units a frame, others below 1 as 10, at most 120. Fade and blend:
// the same constants over a progress of 511, at most 255. Crush and flip-coin: the extent / 60,
// 30, 120.
const EndCase kEndCases[] = {
    {kCrossfade, 40, 30, kNormal, 10, 26}, {kCrossfade, 40, 30, kFast, 20, 13},  {kCrossfade, 40, 30, kSlow, 5, 51},
    {kCrossfade, 40, 30, 200, 120, 3},     {kCrossfade, 40, 30, 0, 10, 26},      {kFade, 40, 30, kNormal, 10, 52},
    {kFade, 40, 30, 300, 255, 3},          {kFade, 40, 30, -9, 10, 52},          {kBlend, 40, 30, kNormal, 10, 52},
    {kBlend, 40, 30, kFast, 20, 26},       {kCrushLeft, 100, 30, 30, 30, 4},     {kCrushRight, 120, 30, kNormal, 2, 60},
    {kCrushTop, 40, 80, 500, 500, 1},      {kCrushBottom, 40, 90, kFast, 3, 30}, {kHFlip, 100, 30, 30, 30, 7},
    {kHLowFlip, 90, 30, kFast, 3, 60},     {kVFlip, 40, 60, 7, 7, 18},           {kVLowFlip, 40, 61, 1000, 1000, 1},
};

void PrintTo(const EndCase& t, std::ostream* os) {
    *os << "type " << t.type << " on " << t.width << "x" << t.height << " speed " << t.speed;
}

// The squeezing types cannot hide a layer (the driver runs another type then).
std::vector<std::tuple<EndCase, Mode>> Combinations() {
    std::vector<std::tuple<EndCase, Mode>> all;
    for (const EndCase& t : kEndCases)
        for (Mode mode : {kDirect, kShowLayer, kHideLayer})
            if (mode != kHideLayer || Fading(t.type)) all.emplace_back(t, mode);
    return all;
}

std::string CaseName(const testing::TestParamInfo<std::tuple<EndCase, Mode>>& info) {
    const EndCase& t = std::get<0>(info.param);
    static const char* const kNames[] = {"Direct", "ShowLayer", "HideLayer"};
    return "Type" + std::to_string(t.type) + "_" + std::to_string(t.width) + "x" + std::to_string(t.height) + "_" +
           kNames[std::get<1>(info.param)] + "_" + std::to_string(info.index);
}

class FadingEndTest : public FadingEffectTest, public testing::WithParamInterface<std::tuple<EndCase, Mode>> {};

TEST_P(FadingEndTest, EndsOnThePictureInItsFrameCount) {
    const auto& [t, mode] = GetParam();
    Effect e;
    Start(e, mode, t.type, t.width, t.height, t.speed);
    ASSERT_NE(e.context.step, nullptr);
    ASSERT_EQ(Setup(e), 0);
    EXPECT_EQ(e.context.speed, t.step);
    EXPECT_EQ(e.context.total, t.total);
    ASSERT_EQ(Frames(e), 0);
    EXPECT_EQ(e.frames, t.total);
    EXPECT_EQ(e.context.current, t.total);
    EXPECT_EQ(mode == kHideLayer ? ScreenShowsBackground() : ScreenShowsPicture(e), "");
    if (mode != kDirect) {
        RefreshArea(*vm, 0, 0, kScreenWidth, kScreenHeight);
        EXPECT_EQ(mode == kHideLayer ? ScreenShowsBackground() : ScreenShowsPicture(e), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Types, FadingEndTest, testing::ValuesIn(Combinations()), CaseName);

// Rendering step k from scratch, after the effect has gone further, gives the picture that k
// frames drew; the frames after it carry on to the end.
class FadingRenderTest : public FadingEffectTest, public testing::WithParamInterface<std::tuple<EndCase, Mode>> {};

TEST_P(FadingRenderTest, RenderedStepEqualsTheFramesBeforeIt) {
    const auto& [t, mode] = GetParam();
    if (t.total < 5) return;
    for (const int32_t step : {0, 1, t.total / 2, t.total / 2 + 1, t.total - 3}) {
        SCOPED_TRACE(testing::Message() << "step " << step);
        // Blend's step 0 is progress 0: the new picture untinted, not the old one.
        if (step == 0 && t.type == kBlend) continue;
        Effect f;
        Start(f, mode, t.type, t.width, t.height, t.speed, 0xFF0000);
        ASSERT_EQ(Setup(f), 0);
        if (step > 0) {
            ASSERT_EQ(Frames(f, step), 0);
        }
        if (mode != kDirect) RefreshArea(*vm, 0, 0, kScreenWidth, kScreenHeight);
        const std::vector<uint32_t> played = Screen();
        const int32_t opacity = f.context.opacity;
        ASSERT_EQ(Frames(f, 2), 0);
        ASSERT_EQ(Render(f, step), 0);
        EXPECT_EQ(f.context.current, step);
        if (step > 0 && Fading(t.type)) {
            EXPECT_EQ(f.context.opacity, opacity);
        }
        if (mode != kDirect) RefreshArea(*vm, 0, 0, kScreenWidth, kScreenHeight);
        EXPECT_EQ(Screen(), played);
        ASSERT_EQ(Frames(f), 0);
        EXPECT_EQ(f.context.current, f.context.total);
        EXPECT_EQ(mode == kHideLayer ? ScreenShowsBackground() : ScreenShowsPicture(f), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Steps, FadingRenderTest, testing::ValuesIn(Combinations()), CaseName);

// The opacity of every frame: crossfade's rises by the step to 255 (falls when hiding); fade and
// blend straight onto the display write the colour's level, which rises to 255 and falls back.
TEST_F(FadingEffectTest, OpacityOfEveryFrame) {
    struct Case {
        int32_t type, speed;
        Mode mode;
        std::vector<int32_t> expected;
    };
    std::vector<int32_t> rising, falling, level10;
    for (int32_t o = 10; o <= 250; o += 10) rising.push_back(o);
    rising.push_back(255);
    for (int32_t o : rising) falling.push_back(255 - o);
    for (int32_t p = 10; p <= 520; p += 10) level10.push_back(p > 510 ? 0 : p <= 255 ? p : 255 - (p & 255));
    const Case cases[] = {
        {kCrossfade, kNormal, kDirect, rising},     {kCrossfade, kNormal, kShowLayer, rising},
        {kCrossfade, kNormal, kHideLayer, falling}, {kCrossfade, 200, kDirect, {120, 240, 255}},
        {kFade, kNormal, kDirect, level10},         {kBlend, 300, kDirect, {255, 1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " speed " << c.speed << " mode " << c.mode);
        Effect e;
        Start(e, c.mode, c.type, 20, 10, c.speed);
        ASSERT_EQ(Setup(e), 0);
        std::vector<int32_t> seen;
        while (!e.context.finished && seen.size() < 100) {
            ASSERT_EQ(Frames(e, 1), 0);
            seen.push_back(e.context.opacity);
        }
        EXPECT_EQ(seen, c.expected);
    }
}

// Crossfade half way: each colour byte is the mix of the old and the new picture's at the frame's
// opacity (within rounding).
TEST_F(FadingEffectTest, CrossfadeMixesOldAndNew) {
    Effect e;
    Start(e, kDirect, kCrossfade, 30, 20, kNormal);
    ASSERT_EQ(Setup(e), 0);
    ASSERT_EQ(Frames(e, 13), 0);
    ASSERT_EQ(e.context.opacity, 130);
    for (int32_t y = 0; y < 20; y += 3) {
        for (int32_t x = 0; x < 30; x += 4) {
            const uint32_t shown = Pixel(screen, kX + x, kY + y), now = PatternColour(x, y, 1);
            for (int shift = 0; shift < 24; shift += 8) {
                const int mixed =
                    (int((now >> shift) & 0xFF) * 130 + int((kBackground >> shift) & 0xFF) * 125 + 127) / 255;
                EXPECT_NEAR(int((shown >> shift) & 0xFF), mixed, 1) << "at " << x << "," << y;
            }
        }
    }
}

// Fade and blend reach the pure colour on the frame whose progress is 255; fade first shows the
// old picture tinted, blend the new one; a transparent part of the new picture shows the old one
// untinted throughout a fade.
TEST_F(FadingEffectTest, FadeAndBlendPassThroughTheColour) {
    auto masked = [](int32_t x, int32_t y) { return (x + y) % 3 != 0; };
    for (const int32_t type : {kFade, kBlend}) {
        SCOPED_TRACE(testing::Message() << "type " << type);
        Effect e;
        Start(e, kDirect, type, 30, 20, 5, 0xFF0000);
        blittest::BitMapPtr mask = blittest::MakeMask(30, 20, [&](int x, int y) { return masked(x, y); });
        e.context.imageMask = mask.get();
        ASSERT_EQ(Setup(e), 0);
        ASSERT_EQ(Frames(e, 1), 0);
        // Level 5: red rises by 5 * (255 - red) / 255 at most.
        const uint32_t first = Pixel(screen, kX + 1, kY);
        const uint32_t base = type == kFade ? kBackground : PatternColour(1, 0, 1);
        EXPECT_NEAR(int(first & 0xFF), int(base & 0xFF), 6);
        EXPECT_NEAR(int(first >> 8 & 0xFF), int(base >> 8 & 0xFF), 6);
        ASSERT_EQ(Frames(e, 50), 0);
        for (int32_t y = 0; y < 20; y++) {
            for (int32_t x = 0; x < 30; x++) {
                const uint32_t expected = masked(x, y) ? 0xFF0000 : kBackground;
                ASSERT_EQ(Pixel(screen, kX + x, kY + y), expected) << "at " << x << "," << y;
            }
        }
        ASSERT_EQ(Frames(e, 30), 0);
        EXPECT_EQ(Pixel(screen, kX, kY), kBackground);
        ASSERT_EQ(Frames(e), 0);
        EXPECT_EQ(Pixel(screen, kX + 1, kY), PatternColour(1, 0, 1));
        EXPECT_EQ(Pixel(screen, kX, kY), kBackground);
    }
}

// Flip-coin across an area 100 wide with a speed of 30 in blue: the old picture (the background)
// narrows around the centre with blue beside it, then the new picture grows back.
TEST_F(FadingEffectTest, FlipCoinNarrowsAndGrowsInTheColour) {
    struct Case {
        int32_t type, speed, parameter, frames;
        int32_t left, width;  // the picture's columns
        bool newPicture;
        uint32_t colour;
    };
    const Case cases[] = {
        {kHFlip, 30, 0x0000FF, 1, 15, 70, false, 0x0000FF},
        {kHFlip, 30, 0x0000FF, 3, 45, 10, false, 0x0000FF},
        {kHFlip, 30, -1, 2, 30, 40, false, 0x000000},
        {kHFlip, 30, 0x0000FF, 4, 40, 20, true, 0x0000FF},
        {kHLowFlip, 30, 0x0000FF, 5, 50, 50, true, 0x0000FF},
        // The new picture starts narrower than the old one's last: the old one's rest goes too.
        {kHFlip, 60, 0x0000FF, 2, 40, 20, true, 0x0000FF},
        {kHLowFlip, 60, 0x0000FF, 2, 80, 20, true, 0x0000FF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " after " << c.frames << " frames");
        Effect e;
        Start(e, kDirect, c.type, 100, 10, c.speed, c.parameter);
        ASSERT_EQ(Setup(e), 0);
        ASSERT_EQ(Frames(e, c.frames), 0);
        for (int32_t x = 0; x < 100; x++) {
            const uint32_t shown = Pixel(screen, kX + x, kY + 4);
            if (x < c.left || x >= c.left + c.width) {
                EXPECT_EQ(shown, c.colour) << "column " << x;
            } else if (!c.newPicture) {
                EXPECT_EQ(shown, kBackground) << "column " << x;
            } else {
                EXPECT_TRUE(shown != c.colour && shown != kBackground) << "column " << x;
            }
        }
        if (c.newPicture) {
            EXPECT_EQ(Pixel(screen, kX + c.left, kY + 4), PatternColour(0, 4, 1));
        }
    }
}

// Crush from each edge after one frame: the new picture squeezed into its strip at the edge, the
// old picture in the rest.
TEST_F(FadingEffectTest, CrushSqueezesTheNewPictureInFromItsEdge) {
    struct Case {
        int32_t type;
        int32_t x, y, w, h;  // the new picture's rectangle after the first frame
    };
    const Case cases[] = {
        {kCrushLeft, 0, 0, 30, 60},
        {kCrushRight, 70, 0, 30, 60},
        {kCrushTop, 0, 0, 100, 30},
        {kCrushBottom, 0, 30, 100, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type);
        Effect e;
        Start(e, kDirect, c.type, 100, 60, 30);
        ASSERT_EQ(Setup(e), 0);
        ASSERT_EQ(Frames(e, 1), 0);
        for (int32_t y = 0; y < 60; y += 3) {
            for (int32_t x = 0; x < 100; x += 3) {
                const bool inside = x >= c.x && x < c.x + c.w && y >= c.y && y < c.y + c.h;
                EXPECT_EQ(Pixel(screen, kX + x, kY + y) != kBackground, inside) << "at " << x << "," << y;
            }
        }
        EXPECT_EQ(Pixel(screen, kX + c.x, kY + c.y), PatternColour(0, 0, 1));
    }
}

}  // namespace fx_fading_effects_test
