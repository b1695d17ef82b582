// The water effects: every type ends on the picture (or without the hidden layer) in twice the
// half length its speed gives, straight onto the display and through a layer; a step rendered
// from scratch equals the frames before it; the opacity rises linearly; the ripple leaves the
// centre in place and mixes the two pictures there by the frame's level; a shaped picture keeps
// the old one where it is transparent; and the driver runs every type.
#include <string>
#include <tuple>
#include <vector>

#include "display/display_pixels.h"
#include "display/layer.h"
#include "fx/fx_fixture.h"
#include "gfx/blit_test_util.h"
#include "gfx/frame_limit.h"
#include "gfx/safe_blt.h"
#include "libs/bgpic/bgpic_lib.h"
#include "libs/brush/brush_lib.h"
#include "libs/graphics/graphics.h"
#include "libs/transitionfx/effect_driver.h"

namespace fx_water_test {

enum { kNormal = QZ_EFFECT_NORMALSPEED, kFast = QZ_EFFECT_FASTSPEED, kSlow = QZ_EFFECT_SLOWSPEED };
enum Mode { kDirect, kShowLayer, kHideLayer };
const Mode kModes[] = {kDirect, kShowLayer, kHideLayer};
const char* const kModeNames[] = {"Direct", "ShowLayer", "HideLayer"};
const int32_t kTypes[] = {134, 135, 136, 137};

constexpr int32_t kScreenW = 64, kScreenH = 48;
constexpr int32_t kX = 5, kY = 3, kW = 40, kH = 30;
constexpr uint32_t kOldSeed = 2;

class WaterTest : public FxTest {
protected:
    // Straight onto the display the area first shows an old picture of its own, so that the
    // frames mix two patterns; in a layer the old content is the plain background.
    void Start(Effect& e, Mode mode, int32_t type, int32_t speed) {
        OpenScreen(kScreenW, kScreenH, mode != kDirect);
        if (mode != kDirect) {
            ViaLayer(e, type, kX, kY, kW, kH, speed, -1, mode == kHideLayer);
            return;
        }
        Direct(e, type, kX, kY, kW, kH, speed);
        qzEffectContext& c = e.context;
        DeleteBitMap(c.oldImage);
        c.oldImage = Pattern(kW, kH, kOldSeed);
        SafeBlt(*vm, c.oldImage, 0, 0, nullptr, kX, kY, kW, kH, kW, kH, c.screenWidth, c.screenHeight, c.bltFlags,
                nullptr, nullptr, nullptr);
    }
    // The window's pixels; with layers, after a redraw of the whole display.
    std::vector<uint32_t> Screen(Mode mode = kDirect) {
        if (mode != kDirect) RefreshArea(*vm, 0, 0, kScreenW, kScreenH);
        std::vector<uint32_t> pixels;
        for (int32_t y = 0; y < kScreenH; y++)
            for (int32_t x = 0; x < kScreenW; x++) pixels.push_back(Pixel(screen, x, y));
        return pixels;
    }
    std::string EndPicture(const Effect& e, Mode mode) {
        return mode == kHideLayer ? ScreenShowsBackground() : ScreenShowsPicture(e);
    }
};

struct EndCase {
    int32_t type, speed;
    int32_t total;  // twice the half length: 25, 10, 50 for the constants, others within 5 to 100
};
const EndCase kEndCases[] = {{134, kNormal, 50}, {134, 3, 10},    {134, 250, 200}, {135, kFast, 20},
                             {136, kSlow, 100},  {137, 5, 10},    {137, 100, 200}, {135, 0, 10},
                             {136, -7, 10},      {134, 4, 10},    {134, 101, 200}, {135, 6, 12},
                             {136, kNormal, 50}, {137, kFast, 20}};

class WaterEndTest : public WaterTest, public testing::WithParamInterface<std::tuple<EndCase, Mode>> {};

TEST_P(WaterEndTest, EndsOnThePictureInItsFrameCount) {
    const auto& [t, mode] = GetParam();
    Effect e;
    Start(e, mode, t.type, t.speed);
    ASSERT_NE(e.context.step, nullptr);
    ASSERT_EQ(Setup(e), 0);
    EXPECT_EQ(e.context.total, t.total);
    ASSERT_EQ(Frames(e), 0);
    EXPECT_EQ(e.frames, t.total);
    EXPECT_EQ(e.context.current, t.total);
    EXPECT_EQ(e.context.opacity, mode == kHideLayer ? 0 : 255);
    EXPECT_EQ(EndPicture(e, mode), "");
    if (mode != kDirect) {
        RefreshArea(*vm, 0, 0, kScreenW, kScreenH);
        EXPECT_EQ(EndPicture(e, mode), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Types, WaterEndTest, testing::Combine(testing::ValuesIn(kEndCases), testing::ValuesIn(kModes)),
                         [](const testing::TestParamInfo<std::tuple<EndCase, Mode>>& info) {
                             const EndCase& t = std::get<0>(info.param);
                             return "Type" + std::to_string(t.type) + "_" + kModeNames[std::get<1>(info.param)] + "_" +
                                    std::to_string(info.index);
                         });

// Rendering step k from scratch, after the effect went further, gives the screen and the opacity
// that k frames gave; the frames after it carry on to the end.
class WaterRenderTest : public WaterTest, public testing::WithParamInterface<std::tuple<int32_t, Mode>> {};

TEST_P(WaterRenderTest, RenderedStepEqualsTheFramesBeforeIt) {
    const auto& [type, mode] = GetParam();
    for (const int32_t step : {0, 1, 4, 5, 6, 7}) {
        SCOPED_TRACE(testing::Message() << "step " << step);
        Effect e;
        Start(e, mode, type, 5);
        ASSERT_EQ(Setup(e), 0);
        ASSERT_EQ(e.context.total, 10);
        if (step > 0) {
            ASSERT_EQ(Frames(e, step), 0);
        }
        const std::vector<uint32_t> played = Screen(mode);
        const int32_t opacity = e.context.opacity;
        ASSERT_EQ(Frames(e, 2), 0);
        ASSERT_EQ(Render(e, step), 0);
        EXPECT_EQ(e.context.current, step);
        if (step > 0) {
            EXPECT_EQ(e.context.opacity, opacity);
        }
        EXPECT_TRUE(Screen(mode) == played);
        ASSERT_EQ(Frames(e), 0);
        EXPECT_EQ(e.context.current, 10);
        EXPECT_EQ(EndPicture(e, mode), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Types, WaterRenderTest, testing::Combine(testing::ValuesIn(kTypes), testing::ValuesIn(kModes)),
                         [](const testing::TestParamInfo<std::tuple<int32_t, Mode>>& info) {
                             return "Type" + std::to_string(std::get<0>(info.param)) + "_" +
                                    kModeNames[std::get<1>(info.param)];
                         });

// The opacity of frame f is f x 255 / 2N, from 255 / 2N on the first frame to 255 on the last;
// hiding counts down from 255.
TEST_F(WaterTest, OpacityRisesLinearly) {
    const std::vector<int32_t> rising = {25, 51, 76, 102, 127, 153, 178, 204, 229, 255};
    std::vector<int32_t> falling;
    for (int32_t o : rising) falling.push_back(255 - o);
    for (const Mode mode : kModes) {
        SCOPED_TRACE(kModeNames[mode]);
        Effect e;
        Start(e, mode, 136, 5);
        ASSERT_EQ(Setup(e), 0);
        std::vector<int32_t> seen;
        while (!e.context.finished && seen.size() < 20) {
            ASSERT_EQ(Frames(e, 1), 0);
            seen.push_back(e.context.opacity);
        }
        EXPECT_EQ(seen, mode == kHideLayer ? falling : rising);
    }
    Effect e;
    Start(e, kDirect, 134, kNormal);
    ASSERT_EQ(Setup(e), 0);
    ASSERT_EQ(Frames(e, 1), 0);
    EXPECT_EQ(e.context.opacity, 5);
    ASSERT_EQ(Frames(e, 48), 0);
    EXPECT_EQ(e.context.opacity, 249);
    ASSERT_EQ(Frames(e, 1), 0);
    EXPECT_EQ(e.context.opacity, 255);
    EXPECT_EQ(e.context.finished, 1);
}

// Straight onto the display, frame 3 of 10 (level 76): the centre pixel is not displaced and shows
// old + ((76 x (new - old)) >> 8) in each channel; elsewhere the ripple moves pixels, so the frame
// is not the plain mix; each wavelength gives its own frame.
TEST_F(WaterTest, CentreMixesByTheLevelAndTheRippleMovesTheRest) {
    auto mix = [](uint32_t oldColour, uint32_t newColour, int level) {
        uint32_t out = 0;
        for (int shift = 0; shift < 24; shift += 8) {
            const int o = int(oldColour >> shift & 0xFF), n = int(newColour >> shift & 0xFF);
            out |= uint32_t(o + ((level * (n - o)) >> 8)) << shift;
        }
        return out;
    };
    std::vector<std::vector<uint32_t>> frames;
    for (const int32_t type : kTypes) {
        SCOPED_TRACE(testing::Message() << "type " << type);
        Effect e;
        Start(e, kDirect, type, 5);
        ASSERT_EQ(Setup(e), 0);
        ASSERT_EQ(Frames(e, 3), 0);
        ASSERT_EQ(e.context.opacity, 76);
        EXPECT_EQ(Pixel(screen, kX + kW / 2, kY + kH / 2),
                  mix(PatternColour(kW / 2, kH / 2, kOldSeed), PatternColour(kW / 2, kH / 2, 1), 76));
        int moved = 0;
        for (int32_t y = 0; y < kH; y++)
            for (int32_t x = 0; x < kW; x++)
                moved +=
                    Pixel(screen, kX + x, kY + y) != mix(PatternColour(x, y, kOldSeed), PatternColour(x, y, 1), 76);
        EXPECT_GT(moved, kW * kH / 4);
        EXPECT_EQ(Pixel(screen, kX + kW, kY), kBackground);
        frames.push_back(Screen());
    }
    for (size_t i = 0; i < frames.size(); i++)
        for (size_t j = i + 1; j < frames.size(); j++) EXPECT_FALSE(frames[i] == frames[j]) << i << " " << j;
}

// In a layer, the centre pixel of the layer's bitmap is the picture's, and the layer's alpha
// channel there is the level (showing) or 255 minus it (hiding).
TEST_F(WaterTest, LayerAlphaFollowsTheLevel) {
    for (const Mode mode : {kShowLayer, kHideLayer}) {
        SCOPED_TRACE(kModeNames[mode]);
        Effect e;
        Start(e, mode, 134, 5);
        ASSERT_EQ(Setup(e), 0);
        ASSERT_EQ(Frames(e, 3), 0);
        const qzLayerState* st = e.context.layer->display;
        EXPECT_EQ(blittest::Pixel(st->own.bitmap, kW / 2, kH / 2) & 0xFFFFFF, PatternColour(kW / 2, kH / 2, 1));
        EXPECT_EQ(blittest::AlphaAt(st->own.alpha, kW / 2, kH / 2), mode == kHideLayer ? 255 - 76 : 76);
    }
}

// A picture with a mask (or an alpha channel of 255 and 0 in the same pattern) straight onto the
// display: where it is transparent the old picture stays, during the effect and at its end.
TEST_F(WaterTest, ShapedPictureKeepsTheOldOneWhereTransparent) {
    auto visible = [](int32_t x, int32_t y) { return (x + y) % 3 != 0; };
    for (const bool alpha : {false, true}) {
        SCOPED_TRACE(alpha ? "alpha" : "mask");
        Effect e;
        Start(e, kDirect, 135, 5);
        blittest::BitMapPtr shape =
            alpha ? blittest::MakeAlpha(kW, kH, [&](int x, int y) { return visible(x, y) ? 255 : 0; })
                  : blittest::MakeMask(kW, kH, [&](int x, int y) { return visible(x, y); });
        (alpha ? e.context.imageAlpha : e.context.imageMask) = shape.get();
        ASSERT_EQ(Setup(e), 0);
        for (const int32_t frames : {4, 6}) {
            ASSERT_EQ(Frames(e, frames), 0);
            for (int32_t y = 0; y < kH; y++)
                for (int32_t x = 0; x < kW; x++)
                    if (!visible(x, y) || e.context.finished) {
                        const uint32_t expected =
                            visible(x, y) ? PatternColour(x, y, 1) : PatternColour(x, y, kOldSeed);
                        ASSERT_EQ(Pixel(screen, kX + x, kY + y), expected) << "at " << x << "," << y;
                    }
        }
        EXPECT_EQ(e.context.finished, 1);
    }
}

// A masked picture in a layer: shown, the end shows it through its mask; hidden, nothing of it.
TEST_F(WaterTest, MaskedLayerEndsThroughItsMask) {
    auto visible = [](int32_t x, int32_t y) { return (x / 2 + y) % 2 == 0; };
    for (const Mode mode : {kShowLayer, kHideLayer}) {
        SCOPED_TRACE(kModeNames[mode]);
        OpenScreen(kScreenW, kScreenH, true);
        Effect e;
        ViaLayer(e, 137, kX, kY, kW, kH, 5, -1, mode == kHideLayer, 0,
                 blittest::MakeMask(kW, kH, [&](int x, int y) { return visible(x, y); }).release());
        ASSERT_EQ(Run(e), 0);
        EXPECT_EQ(e.frames, 10);
        RefreshArea(*vm, 0, 0, kScreenW, kScreenH);
        for (int32_t y = 0; y < kH; y++)
            for (int32_t x = 0; x < kW; x++) {
                const uint32_t expected =
                    mode == kShowLayer && visible(x, y) ? PatternColour(x, y, 1) : uint32_t(kBackground);
                ASSERT_EQ(Pixel(screen, kX + x, kY + y), expected) << "at " << x << "," << y;
            }
    }
}

// Through the driver: a new picture on the display with layers off and on, and a layer shown,
// hidden and removed, by every type.
class WaterDriverTest : public WaterTest {
protected:
    void SetUp() override {
        WaterTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary, &qzLayersLibrary,
                                  &qzDisplayLibrary,  &qzBrushLibrary, &qzBGPicLibrary};
        SetFrameRateLimit(1000);
    }
    void TearDown() override {
        SetFrameRateLimit(60);
        WaterTest::TearDown();
    }
    qzEffectContext Template(int32_t mode, int32_t type, qzObjectId object) {
        qzEffectContext t = {};
        t.vm = *vm;
        t.mode = mode;
        t.type = type;
        t.object = object;
        t.speed = kFast;
        t.parameter = -1;
        t.undoLevel = 1;
        t.bgpicX = t.bgpicY = 99999;
        t.hide = mode != QZ_EFFECT_SHOWLAYER && mode != QZ_EFFECT_BGPIC;
        return t;
    }
};

TEST_F(WaterDriverTest, NewPictureByEveryType) {
    uint32_t seed = 3;
    for (const bool layers : {false, true}) {
        OpenScreen(kScreenW, kScreenH, layers);
        for (const int32_t type : kTypes) {
            SCOPED_TRACE(testing::Message() << "type " << type << (layers ? " layers" : ""));
            seed++;
            blittest::BitMapPtr picture(Pattern(kScreenW, kScreenH, seed));
            qzBGPic* pic = nullptr;
            ASSERT_EQ(CreateBlankBGPic({int32_t(seed), nullptr}, kScreenW, kScreenH, 0, &pic), 0);
            CopyBitmapRect(picture.get(), 0, 0, pic->bitmap, 0, 0, kScreenW, kScreenH);
            qzEffectContext t = Template(QZ_EFFECT_BGPIC, type, {int32_t(seed), nullptr});
            ASSERT_EQ(RunEffect(&t), 0);
            EXPECT_EQ(CurrentDisplay()->bgpic, pic);
            EXPECT_EQ(ScreenShows(picture.get(), 0, 0), "");
        }
    }
}

TEST_F(WaterDriverTest, LayerShownHiddenAndRemovedByEveryType) {
    OpenScreen(kScreenW, kScreenH, true);
    const int32_t kLayerModes[] = {QZ_EFFECT_SHOWLAYER, QZ_EFFECT_HIDELAYER, QZ_EFFECT_REMOVELAYER};
    for (const int32_t type : kTypes) {
        for (const int32_t mode : kLayerModes) {
            for (int force = 0; force < 2; force++) {
                SCOPED_TRACE(testing::Message() << "type " << type << " mode " << mode << " force " << force);
                FreeBGPicLayers(*vm, CurrentBGPic(), 1, 1);
                RefreshArea(*vm, 0, 0, kScreenW, kScreenH);
                const bool hide = mode != QZ_EFFECT_SHOWLAYER;
                qzLayer* layer = nullptr;
                ASSERT_EQ(AddLayerForObject(*vm, QZ_LAYER_BRUSH, {1, nullptr}, 10, 6, 30, 20, nullptr, nullptr,
                                            Pattern(30, 20), nullptr, nullptr, nullptr, -1,
                                            hide ? 0u : uint32_t(QZ_ADDLAYER_HIDDEN), &layer),
                          0);
                if (hide) RefreshArea(*vm, 10, 6, 30, 20);
                qzEffectContext t = Template(mode, type, {1, nullptr});
                t.forceRealtimeLayers = force;
                ASSERT_EQ(RunEffect(&t), 0);
                EXPECT_EQ(CountLayers(CurrentBGPic()), mode == QZ_EFFECT_REMOVELAYER ? 0 : 1);
                blittest::BitMapPtr picture(Pattern(30, 20));
                EXPECT_EQ(hide ? ScreenShowsBackground() : ScreenShows(picture.get(), 10, 6), "");
                RefreshArea(*vm, 0, 0, kScreenW, kScreenH);
                EXPECT_EQ(hide ? ScreenShowsBackground() : ScreenShows(picture.get(), 10, 6), "");
            }
        }
    }
}

}  // namespace fx_water_test
