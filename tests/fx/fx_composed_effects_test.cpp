// The effects that compose the picture over the old one: roll and wallpaper, clock wipe, star and
// sun. Every type runs to its end straight onto the display, showing a layer and hiding one, in
// the frame count its step size gives, also with a masked picture; the picture of a step rendered
// from scratch equals the one the frames leading to it drew.
#include <array>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "fx/fx_clock.h"
#include "fx/fx_fixture.h"
#include "gfx/blit_test_util.h"
#include "gfx/frame_limit.h"
#include "libs/transitionfx/effect_driver.h"

namespace fx_composed_effects_test {

enum { kNormal = QZ_EFFECT_NORMALSPEED, kFast = QZ_EFFECT_FASTSPEED, kSlow = QZ_EFFECT_SLOWSPEED };
enum { kRollTop = 84, kRollLeft = 85, kWallpaperTop = 86, kWallpaperLeft = 87, kClock = 97, kStar = 98, kSun = 114 };
enum Mode { kDirect, kShowLayer, kHideLayer };
const Mode kModes[] = {kDirect, kShowLayer, kHideLayer};
const char* const kModeNames[] = {"_Direct", "_Show", "_Hide"};

constexpr int32_t kScreenWidth = 256, kScreenHeight = 128;
constexpr int32_t kX = 5, kY = 3;

class ComposedEffectTest : public FxTest {
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
// Roll and wallpaper: 2, 5, 1 lines a frame, others divided by 5 and kept within 1 to 8.
const EndCase kEndCases[] = {
    {kRollTop, 60, 120, kNormal, 2, 60},
    {kRollTop, 40, 480, kNormal, 2, 240},
    {kRollLeft, 100, 30, 30, 6, 17},
    {kRollLeft, 100, 30, 100, 8, 13},
    {kWallpaperTop, 50, 90, kFast, 5, 18},
    {kWallpaperLeft, 120, 40, kSlow, 1, 120},
    {kWallpaperLeft, 10, 5, 3, 1, 10},
    {kClock, 100, 50, kNormal, 10, 30},
    {kClock, 100, 50, kFast, 15, 20},
    {kClock, 100, 50, 100, 30, 10},
    {kClock, 40, 30, 0, 1, 138},
    {kClock, 40, 30, -7, 1, 138},
    {kClock, 41, 31, kSlow, 5, 29},
    {kClock, 1, 1, kNormal, 10, 6},
    {kClock, 30, 1, 3, 3, 20},
    {kClock, 2, 40, 4, 4, 21},
    {kStar, 200, 100, kNormal, 16, 50},
    {kStar, 100, 200, kNormal, 16, 50},
    {kStar, 40, 30, kFast, 6, 25},
    {kStar, 40, 30, 300, 100, 2},
    {kStar, 1, 1, kNormal, 1, 1},
    {kSun, 200, 100, kNormal, 16, 17},
    {kSun, 100, 200, kSlow, 8, 34},
    {kSun, 200, 2, kNormal, 16, 21},
    {kSun, 40, 30, 300, 100, 1},
    {kSun, 1, 1, kNormal, 1, 1},
};

void PrintTo(const EndCase& t, std::ostream* os) {
    *os << "type " << t.type << " on " << t.width << "x" << t.height << " speed " << t.speed;
}

class ComposedEndTest : public ComposedEffectTest, public testing::WithParamInterface<std::tuple<EndCase, Mode>> {};

TEST_P(ComposedEndTest, EndsOnThePictureInItsFrameCount) {
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

INSTANTIATE_TEST_SUITE_P(Types, ComposedEndTest,
                         testing::Combine(testing::ValuesIn(kEndCases), testing::ValuesIn(kModes)), CaseName<EndCase>);

// Rendering step k from scratch, after the effect has gone further, gives the picture that k
// frames drew.
struct RenderCase {
    int32_t type, width, height, speed, step;
};

const RenderCase kRenderCases[] = {
    {kRollTop, 60, 100, kNormal, 5},
    {kRollTop, 60, 100, 40, 9},
    {kRollLeft, 120, 40, kFast, 20},
    {kWallpaperTop, 50, 90, kFast, 4},
    {kWallpaperLeft, 200, 60, 40, 20},
    {kClock, 100, 50, kNormal, 1},
    {kClock, 100, 50, kNormal, 7},
    {kClock, 100, 50, kNormal, 19},
    {kClock, 41, 31, 7, 12},
    {kStar, 200, 100, kNormal, 3},
    {kStar, 60, 90, kNormal, 20},
    {kSun, 200, 100, kNormal, 2},
    {kSun, 200, 100, kNormal, 9},
    {kSun, 60, 90, kFast, 4},
    // Step 0 is the picture before the first frame.
    {kRollTop, 60, 100, kNormal, 0},
    {kClock, 100, 50, kNormal, 0},
    {kStar, 200, 100, kNormal, 0},
    {kSun, 200, 100, kNormal, 0},
};

void PrintTo(const RenderCase& t, std::ostream* os) {
    *os << "type " << t.type << " on " << t.width << "x" << t.height << " step " << t.step;
}

class ComposedRenderTest : public ComposedEffectTest,
                           public testing::WithParamInterface<std::tuple<RenderCase, Mode>> {};

TEST_P(ComposedRenderTest, RenderedStepEqualsTheFramesBeforeIt) {
    const auto& [t, mode] = GetParam();
    Effect e;
    Start(e, mode, t.type, t.width, t.height, t.speed);
    ASSERT_EQ(Setup(e), 0);
    ASSERT_LT(t.step + 3, e.context.total);
    if (t.step > 0) {
        ASSERT_EQ(Frames(e, t.step), 0);  // (0 would run them all)
    }
    const std::vector<uint32_t> played = Screen();
    ASSERT_EQ(Frames(e, 3), 0);
    // The star redraws only its box, which grows: the display under a later star is put back
    // first. The other types redraw the whole area from the old picture.
    if (mode == kDirect && t.type == kStar) FillEffectRect(&e.context, kX, kY, t.width, t.height, kBackground, 0);
    ASSERT_EQ(Render(e, t.step), 0);
    EXPECT_EQ(e.context.current, t.step);
    if (mode != kDirect) RefreshArea(*vm, kX, kY, t.width, t.height);
    EXPECT_EQ(Screen(), played);
    // The frames after the rendered step carry on from it to the end.
    ASSERT_EQ(Frames(e), 0);
    EXPECT_EQ(e.context.current, e.context.total);
    EXPECT_EQ(mode == kHideLayer ? ScreenShowsBackground() : ScreenShowsPicture(e), "");
}

INSTANTIATE_TEST_SUITE_P(Steps, ComposedRenderTest,
                         testing::Combine(testing::ValuesIn(kRenderCases), testing::ValuesIn(kModes)),
                         CaseName<RenderCase>);

// Points of the area after some frames: the picture's pixel from (sx, sy) there, or the
// background where sx is -1 (shown straight onto the display).
struct MidCase {
    int32_t type, width, height, speed, frames;
    std::vector<std::array<int32_t, 4>> points;  // x, y, sx, sy
};

const MidCase kMidCases[] = {
    // The roll 20 rows thick at row 20: row 0 lies flat, the band folds rows 30 down to 21 back
    // over rows 1 to 20, the old picture from row 21.
    {kRollTop, 60, 100, kNormal, 10, {{7, 0, 7, 0}, {7, 1, 7, 30}, {7, 20, 7, 21}, {7, 21, -1, 0}, {7, 60, -1, 0}}},
    {kRollLeft, 100, 60, kNormal, 10, {{0, 7, 0, 7}, {1, 7, 30, 7}, {20, 7, 21, 7}, {21, 7, -1, 0}}},
    // Wallpaper 45 rows thick (half of 90) at row 50: rows 72 down to 52 fold over rows 6 to 50.
    {kWallpaperTop, 30, 90, kFast, 10, {{3, 5, 3, 5}, {3, 6, 3, 72}, {3, 7, 3, 70}, {3, 50, 3, 52}, {3, 51, -1, 0}}},
    // The first wedge from the centre (50, 25) to (50, 0) and (60, 0).
    {kClock, 100, 50, kNormal, 1, {{55, 2, 55, 2}, {51, 20, 51, 20}, {45, 2, -1, 0}, {65, 2, -1, 0}}},
    // One row: the wedge is the run from the centre.
    {kClock, 30, 1, 3, 1, {{15, 0, 15, 0}, {18, 0, 18, 0}, {14, 0, -1, 0}, {19, 0, -1, 0}}},
    // The first star, 26 x 14 at (87, 43): its top tip, its centre, not its box's corner.
    {kStar, 200, 100, kNormal, 1, {{100, 44, 100, 44}, {100, 50, 100, 50}, {100, 42, -1, 0}, {87, 43, -1, 0}}},
    // The first ellipse, 27 x 15 at (86, 42).
    {kSun, 200, 100, kNormal, 1, {{86, 49, 86, 49}, {112, 49, 112, 49}, {85, 49, -1, 0}, {113, 49, -1, 0}}},
    // One row: the ellipse's run around the centre.
    {kSun, 200, 1, kNormal, 2, {{100, 0, 100, 0}, {90, 0, 90, 0}, {0, 0, -1, 0}, {199, 0, -1, 0}}},
};

void PrintTo(const MidCase& t, std::ostream* os) {
    *os << "type " << t.type << " on " << t.width << "x" << t.height << " after " << t.frames << " frames";
}

class ComposedMidTest : public ComposedEffectTest, public testing::WithParamInterface<MidCase> {};

TEST_P(ComposedMidTest, ShowsTheShapeOfTheFrame) {
    const MidCase& t = GetParam();
    Effect e;
    Start(e, kDirect, t.type, t.width, t.height, t.speed);
    ASSERT_EQ(Setup(e), 0);
    ASSERT_EQ(Frames(e, t.frames), 0);
    ASSERT_FALSE(e.context.finished);
    for (const auto& p : t.points) {
        const uint32_t expected = p[2] < 0 ? kBackground : PatternColour(p[2], p[3], 1);
        EXPECT_EQ(Pixel(1, kX + p[0], kY + p[1]), expected) << "at " << p[0] << "," << p[1];
    }
}

INSTANTIATE_TEST_SUITE_P(Frames, ComposedMidTest, testing::ValuesIn(kMidCases));

// Through the driver: a layer shown and hidden straight on the display (the shape types hide
// by uncovering what lies under the layer), through its own bitmaps when asked, and removed.
TEST_F(ComposedEffectTest, DriverShowsAndHidesLayers) {
    SetFrameRateLimit(1000);
    OpenScreen(64, 48, true);
    const int32_t kTypes[] = {kRollTop, kRollLeft, kWallpaperTop, kWallpaperLeft, kClock, kStar, kSun};
    const int32_t kModes[] = {QZ_EFFECT_SHOWLAYER, QZ_EFFECT_HIDELAYER, QZ_EFFECT_REMOVELAYER};
    for (const int32_t type : kTypes) {
        for (const int32_t mode : kModes) {
            for (int force = 0; force < 2; force++) {
                SCOPED_TRACE(testing::Message() << "type " << type << " mode " << mode << " force " << force);
                FreeBGPicLayers(*vm, CurrentBGPic(), 1, 1);
                RefreshArea(*vm, 0, 0, 64, 48);
                const bool hide = mode != QZ_EFFECT_SHOWLAYER;
                qzLayer* layer = nullptr;
                ASSERT_EQ(AddLayerForObject(*vm, QZ_LAYER_BRUSH, {1, nullptr}, 10, 6, 30, 20, nullptr, nullptr,
                                            Pattern(30, 20), nullptr, nullptr, nullptr, -1,
                                            hide ? 0u : uint32_t(QZ_ADDLAYER_HIDDEN), &layer),
                          0);
                if (hide) RefreshArea(*vm, 10, 6, 30, 20);
                qzEffectContext t = {};
                t.vm = *vm;
                t.mode = mode;
                t.type = type;
                t.object = {1, nullptr};
                t.speed = kFast;
                t.parameter = -1;
                t.undoLevel = 1;
                t.bgpicX = t.bgpicY = 99999;
                t.hide = hide;
                t.forceRealtimeLayers = force;
                ASSERT_EQ(RunEffect(&t), 0);
                EXPECT_EQ(CountLayers(CurrentBGPic()), mode == QZ_EFFECT_REMOVELAYER ? 0 : 1);
                blittest::BitMapPtr picture(Pattern(30, 20));
                EXPECT_EQ(hide ? ScreenShowsBackground() : ScreenShows(picture.get(), 10, 6), "");
                RefreshArea(*vm, 0, 0, 64, 48);
                EXPECT_EQ(hide ? ScreenShowsBackground() : ScreenShows(picture.get(), 10, 6), "");
            }
        }
    }
    SetFrameRateLimit(60);
}

// A picture with a mask, or with an alpha channel of 255 and 0 in the same pattern, straight onto
// the display or as a layer: shown, the end picture shows the pattern where the mask is set and
// the background elsewhere; hidden, the background everywhere.
struct MaskedCase {
    int32_t type, width, height, speed;
};

const MaskedCase kMaskedCases[] = {
    {kRollTop, 40, 60, 30}, {kRollLeft, 60, 40, 40}, {kWallpaperTop, 40, 60, kFast}, {kWallpaperLeft, 60, 40, 40},
    {kClock, 50, 40, 30},   {kStar, 50, 40, kFast},  {kSun, 40, 50, kFast},
};

void PrintTo(const MaskedCase& t, std::ostream* os) {
    *os << "type " << t.type << " on " << t.width << "x" << t.height;
}

class ComposedMaskedTest : public ComposedEffectTest,
                           public testing::WithParamInterface<std::tuple<MaskedCase, Mode, bool>> {
protected:
    // As ViaLayer, with an alpha channel for the layer's picture.
    void StartWithAlpha(Effect& e, Mode mode, const MaskedCase& t, qzBitMap* alpha) {
        OpenScreen(kScreenWidth, kScreenHeight, true);
        Fill(e, t.type, kX, kY, t.width, t.height, t.speed, -1);
        qzEffectContext& c = e.context;
        const int hide = mode == kHideLayer;
        qzLayer* layer = nullptr;
        ASSERT_EQ(AddLayerForObject(*vm, QZ_LAYER_BRUSH, {1, nullptr}, kX, kY, t.width, t.height, nullptr, nullptr,
                                    Pattern(t.width, t.height), nullptr, alpha, nullptr, -1,
                                    hide ? 0u : uint32_t(QZ_ADDLAYER_HIDDEN), &layer),
                  0);
        if (hide) RefreshArea(*vm, kX, kY, t.width, t.height);
        c.mode = hide ? QZ_EFFECT_HIDELAYER : QZ_EFFECT_SHOWLAYER;
        c.hide = hide;
        c.object = {CountLayers(CurrentBGPic()), nullptr};
        c.layer = layer;
        c.viaLayer = 1;
        c.bltFlags = 4;
        c.image = layer->display->own.bitmap;
        c.imageAlpha = layer->display->own.alpha;
        ASSERT_EQ(PrepareEffectLayer(&c), 0);
    }
};

TEST_P(ComposedMaskedTest, EndsThroughThePicturesMaskOrAlpha) {
    const auto& [t, mode, alpha] = GetParam();
    auto inMask = [](int32_t x, int32_t y) { return (x / 3 + y / 2) % 2 == 0; };
    Effect e;
    blittest::BitMapPtr directMask, directAlpha;  // the picture's, straight onto the display
    if (mode == kDirect) {
        Start(e, mode, t.type, t.width, t.height, t.speed);
        if (alpha) {
            directAlpha = blittest::MakeAlpha(t.width, t.height, [&](int x, int y) { return inMask(x, y) ? 255 : 0; });
            e.context.imageAlpha = directAlpha.get();
        } else {
            directMask = blittest::MakeMask(t.width, t.height, [&](int x, int y) { return inMask(x, y); });
            e.context.imageMask = directMask.get();
        }
    } else if (alpha) {
        StartWithAlpha(e, mode, t, blittest::MakeAlpha(t.width, t.height, [&](int x, int y) {
                                       return inMask(x, y) ? 255 : 0;
                                   }).release());
        ASSERT_NE(e.context.imageAlpha, nullptr);
    } else {
        Start(e, mode, t.type, t.width, t.height, t.speed,
              blittest::MakeMask(t.width, t.height, [&](int x, int y) { return inMask(x, y); }).release());
        ASSERT_NE(e.context.imageMask, nullptr);
    }
    ASSERT_EQ(Run(e), 0);
    EXPECT_EQ(e.frames, e.context.total);
    std::vector<qzPoint> in, out;
    for (int32_t y = 0; y < t.height; y++)
        for (int32_t x = 0; x < t.width; x++) (inMask(x, y) ? in : out).push_back({x, y});
    if (mode == kHideLayer) {
        out.insert(out.end(), in.begin(), in.end());
        in.clear();
    }
    EXPECT_EQ(Shows(e, kShowLayer, in, out), "");
}

INSTANTIATE_TEST_SUITE_P(Types, ComposedMaskedTest,
                         testing::Combine(testing::ValuesIn(kMaskedCases), testing::ValuesIn(kModes), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<MaskedCase, Mode, bool>>& info) {
                             const MaskedCase& t = std::get<0>(info.param);
                             return "Type" + std::to_string(t.type) + kModeNames[std::get<1>(info.param)] +
                                    (std::get<2>(info.param) ? "_Alpha" : "_Mask");
                         });

// A masked picture in a layer rendered at a step from scratch, after the effect went further,
// keeps the picture's own mask outside the shape (hiding) or inside it (showing).
class ComposedMaskedRenderTest : public ComposedEffectTest,
                                 public testing::WithParamInterface<std::tuple<MaskedCase, Mode>> {};

TEST_P(ComposedMaskedRenderTest, RenderedStepKeepsThePicturesMask) {
    const auto& [t, mode] = GetParam();
    Effect e;
    Start(e, mode, t.type, t.width, t.height, t.speed,
          blittest::MakeMask(t.width, t.height, [](int x, int y) { return (x / 3 + y / 2) % 2 == 0; }).release());
    ASSERT_EQ(Setup(e), 0);
    const int32_t step = e.context.total / 2;
    ASSERT_GE(step, 1);
    ASSERT_EQ(Frames(e, step), 0);
    RefreshArea(*vm, kX, kY, t.width, t.height);
    const std::vector<uint32_t> played = Screen();
    ASSERT_EQ(Frames(e, 2), 0);
    ASSERT_EQ(Render(e, step), 0);
    RefreshArea(*vm, kX, kY, t.width, t.height);
    EXPECT_EQ(Screen(), played);
}

INSTANTIATE_TEST_SUITE_P(Types, ComposedMaskedRenderTest,
                         testing::Combine(testing::ValuesIn(kMaskedCases), testing::Values(kShowLayer, kHideLayer)),
                         CaseName<MaskedCase>);

}  // namespace fx_composed_effects_test
