// The strudel: it ends on the picture (or without the hidden layer) in the frame count its step
// size gives, straight onto the display and through a layer; a step rendered from scratch equals
// the frames that led to it; the opacity follows the progress; the picture turns about the centre
// while the corners only cross-fade; a picture with transparent parts ends over the old picture.
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "fx/fx_fixture.h"
#include "gfx/blit_test_util.h"

namespace fx_strudel_test {

enum { kStrudel = 138 };
enum Mode { kDirect, kShowLayer, kHideLayer };
const Mode kModes[] = {kDirect, kShowLayer, kHideLayer};
constexpr int32_t kScreenWidth = 80, kScreenHeight = 60;
constexpr int32_t kX = 5, kY = 3;

class StrudelEffectTest : public FxTest {
protected:
    void Start(Effect& e, Mode mode, int32_t width, int32_t height, int32_t speed, qzBitMap* mask = nullptr) {
        OpenScreen(kScreenWidth, kScreenHeight, mode != kDirect);
        if (mode == kDirect)
            Direct(e, kStrudel, kX, kY, width, height, speed);
        else
            ViaLayer(e, kStrudel, kX, kY, width, height, speed, -1, mode == kHideLayer, 0, mask);
    }
    std::vector<uint32_t> Screen() {
        std::vector<uint32_t> pixels;
        for (int32_t y = 0; y < kScreenHeight; y++)
            for (int32_t x = 0; x < kScreenWidth; x++) pixels.push_back(Pixel(screen, x, y));
        return pixels;
    }
};

// Progress units per frame over 720: 8, 16 and 4 for the speed constants, others within 2 to 16.
struct EndCase {
    int32_t width, height, speed;
    int32_t step, total;
};
const EndCase kEndCases[] = {
    {40, 30, QZ_EFFECT_NORMALSPEED, 8, 90},
    {30, 40, QZ_EFFECT_FASTSPEED, 16, 45},
    {40, 30, QZ_EFFECT_SLOWSPEED, 4, 180},
    {24, 24, 1, 2, 360},
    {40, 30, 50, 16, 45},
    {41, 29, 7, 7, 103},
    {40, 30, -9, 2, 360},
};

void PrintTo(const EndCase& t, std::ostream* os) { *os << t.width << "x" << t.height << " speed " << t.speed; }

std::string CaseName(const testing::TestParamInfo<std::tuple<EndCase, Mode>>& info) {
    static const char* const kNames[] = {"Direct", "ShowLayer", "HideLayer"};
    return std::string(kNames[std::get<1>(info.param)]) + "_" + std::to_string(info.index);
}

class StrudelEffectEndTest : public StrudelEffectTest, public testing::WithParamInterface<std::tuple<EndCase, Mode>> {};

TEST_P(StrudelEffectEndTest, EndsOnThePictureInItsFrameCount) {
    const auto& [t, mode] = GetParam();
    Effect e;
    Start(e, mode, t.width, t.height, t.speed);
    ASSERT_NE(e.context.step, nullptr);
    ASSERT_EQ(Setup(e), 0);
    EXPECT_EQ(e.context.speed, t.step);
    EXPECT_EQ(e.context.total, t.total);
    ASSERT_EQ(Frames(e), 0);
    EXPECT_EQ(e.frames, t.total);
    EXPECT_EQ(e.context.current, t.total);
    EXPECT_EQ(e.context.opacity, mode == kHideLayer ? 0 : 255);
    EXPECT_EQ(mode == kHideLayer ? ScreenShowsBackground() : ScreenShowsPicture(e), "");
    if (mode != kDirect) {
        RefreshArea(*vm, 0, 0, kScreenWidth, kScreenHeight);
        EXPECT_EQ(mode == kHideLayer ? ScreenShowsBackground() : ScreenShowsPicture(e), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Speeds, StrudelEffectEndTest,
                         testing::Combine(testing::ValuesIn(kEndCases), testing::ValuesIn(kModes)), CaseName);

// Rendering step k from scratch, after the effect has gone further, gives the picture (and the
// opacity) that k frames drew; the frames after it carry on to the end.
class StrudelEffectRenderTest : public StrudelEffectTest, public testing::WithParamInterface<Mode> {};

TEST_P(StrudelEffectRenderTest, RenderedStepEqualsTheFramesBeforeIt) {
    const Mode mode = GetParam();
    for (const int32_t step : {0, 1, 17, 45, 46, 87}) {
        SCOPED_TRACE(testing::Message() << "step " << step);
        Effect e;
        Start(e, mode, 40, 30, QZ_EFFECT_NORMALSPEED);
        ASSERT_EQ(Setup(e), 0);
        if (step > 0) {
            ASSERT_EQ(Frames(e, step), 0);
        }
        if (mode != kDirect) RefreshArea(*vm, 0, 0, kScreenWidth, kScreenHeight);
        const std::vector<uint32_t> played = Screen();
        const int32_t opacity = e.context.opacity;
        ASSERT_EQ(Frames(e, 2), 0);
        ASSERT_EQ(Render(e, step), 0);
        EXPECT_EQ(e.context.current, step);
        if (step > 0) {
            EXPECT_EQ(e.context.opacity, opacity);
        }
        if (mode != kDirect) RefreshArea(*vm, 0, 0, kScreenWidth, kScreenHeight);
        EXPECT_EQ(Screen(), played);
        ASSERT_EQ(Frames(e), 0);
        EXPECT_EQ(e.context.current, e.context.total);
        EXPECT_EQ(mode == kHideLayer ? ScreenShowsBackground() : ScreenShowsPicture(e), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, StrudelEffectRenderTest, testing::ValuesIn(kModes));

// The opacity is progress x 255 / 720 (falling when hiding); a step of 7 passes 714 and ends at
// 720 on its 103rd frame.
TEST_F(StrudelEffectTest, OpacityFollowsTheProgress) {
    struct Case {
        int32_t speed;
        Mode mode;
        std::vector<int32_t> expected;
    };
    std::vector<int32_t> rising, falling, sevens;
    for (int32_t p = 8; p <= 720; p += 8) rising.push_back(p * 255 / 720);
    for (int32_t o : rising) falling.push_back(255 - o);
    for (int32_t p = 7; p <= 714; p += 7) sevens.push_back(p * 255 / 720);
    sevens.push_back(255);
    const Case cases[] = {{QZ_EFFECT_NORMALSPEED, kDirect, rising},
                          {QZ_EFFECT_NORMALSPEED, kShowLayer, rising},
                          {QZ_EFFECT_NORMALSPEED, kHideLayer, falling},
                          {7, kDirect, sevens}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "speed " << c.speed << " mode " << c.mode);
        Effect e;
        Start(e, c.mode, 20, 10, c.speed);
        ASSERT_EQ(Setup(e), 0);
        std::vector<int32_t> seen;
        while (!e.context.finished && seen.size() < 200) {
            ASSERT_EQ(Frames(e, 1), 0);
            seen.push_back(e.context.opacity);
        }
        EXPECT_EQ(seen, c.expected);
    }
}

// Half way (progress 360, the swirl wound up to its most) the corners outside the circle are the
// old and the new picture mixed at the fade, the centre holds still, and pixels between turn: the
// area differs from the unturned mix. In a layer the corners' alpha is the fade.
TEST_F(StrudelEffectTest, TurnsInsideTheCircleAndCrossFadesOutside) {
    constexpr int32_t w = 40, h = 30, fade = 360 * 255 / 720;
    auto mix = [](uint32_t now, uint32_t old) {
        uint32_t out = 0;
        for (int shift = 0; shift < 24; shift += 8) {
            const int a = int(now >> shift & 0xFF), b = int(old >> shift & 0xFF);
            out |= uint32_t(b + (((a - b) * fade) >> 8)) << shift;
        }
        return out;
    };
    Effect e;
    Start(e, kDirect, w, h, QZ_EFFECT_NORMALSPEED);
    ASSERT_EQ(Setup(e), 0);
    ASSERT_EQ(Frames(e, 45), 0);
    const int32_t corners[][2] = {{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}, {w / 2, h / 2}};
    for (const auto& p : corners)
        EXPECT_EQ(Pixel(screen, kX + p[0], kY + p[1]), mix(PatternColour(p[0], p[1], 1), kBackground))
            << "at " << p[0] << "," << p[1];
    int32_t turned = 0;
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++)
            if (Pixel(screen, kX + x, kY + y) != mix(PatternColour(x, y, 1), kBackground)) turned++;
    EXPECT_GT(turned, w * h / 4);

    Effect f;
    Start(f, kShowLayer, w, h, QZ_EFFECT_NORMALSPEED);
    ASSERT_EQ(Setup(f), 0);
    ASSERT_EQ(Frames(f, 45), 0);
    const qzLayerState* st = f.context.layer->display;
    BitMapLock alpha(st->own.alpha, LOCKF_READONLY);
    ASSERT_TRUE(alpha.ok);
    const uint8_t* bytes = static_cast<const uint8_t*>(alpha.info.pixels);
    EXPECT_EQ(bytes[0], fade);
    EXPECT_EQ(bytes[size_t(h - 1) * alpha.info.rowLength + w - 1], fade);
}

// A picture with transparent parts: the last frame shows the old picture through them, straight
// onto the display as through a layer, and hiding the layer leaves nothing of it.
TEST_F(StrudelEffectTest, TransparentPartsEndOnTheOldPicture) {
    constexpr int32_t w = 30, h = 20;
    auto shown = [](int32_t x, int32_t y) { return (x / 3 + y / 2) % 2 == 0; };
    for (const Mode mode : kModes) {
        SCOPED_TRACE(testing::Message() << "mode " << mode);
        Effect e;
        blittest::BitMapPtr directMask = blittest::MakeMask(w, h, [&](int x, int y) { return shown(x, y); });
        qzBitMap* layerMask = mode == kDirect ? nullptr : blittest::MakeMask(w, h, shown).release();
        Start(e, mode, w, h, QZ_EFFECT_FASTSPEED, layerMask);
        if (mode == kDirect) e.context.imageMask = directMask.get();
        ASSERT_EQ(Setup(e), 0);
        ASSERT_EQ(Frames(e), 0);
        if (mode != kDirect) RefreshArea(*vm, 0, 0, kScreenWidth, kScreenHeight);
        for (int32_t y = 0; y < h; y++)
            for (int32_t x = 0; x < w; x++) {
                const uint32_t expected =
                    mode != kHideLayer && shown(x, y) ? PatternColour(x, y, 1) : uint32_t(kBackground);
                ASSERT_EQ(Pixel(screen, kX + x, kY + y), expected) << "at " << x << "," << y;
            }
    }
}

}  // namespace fx_strudel_test
