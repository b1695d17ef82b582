// The band effects: stripes, blinds, curtains, reveals, bars, quarters, lines and the growing and
// shrinking rectangles. Every type runs to its end straight onto the display, showing a layer and
// hiding one, in the frame count its step size gives; some frames in between are compared pixel
// by pixel with the bands that must be in by then.
#include <array>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "fx/fx_fixture.h"

namespace fx_band_effects_test {

enum { kNormal = QZ_EFFECT_NORMALSPEED, kFast = QZ_EFFECT_FASTSPEED, kSlow = QZ_EFFECT_SLOWSPEED };
enum Mode { kDirect, kShowLayer, kHideLayer };
const Mode kModes[] = {kDirect, kShowLayer, kHideLayer};
const char* const kModeNames[] = {"direct", "show layer", "hide layer"};

constexpr int32_t kX = 5, kY = 3;  // where every effect area lies on the 128 x 64 screen

class BandEffectTest : public FxTest {
protected:
    // Opens the screen for the mode and prepares the effect of the type on a width x height area.
    void Start(Effect& e, Mode mode, int32_t type, int32_t width, int32_t height, int32_t speed, int32_t parameter) {
        OpenScreen(128, 64, mode != kDirect);
        if (mode == kDirect)
            Direct(e, type, kX, kY, width, height, speed, parameter);
        else
            ViaLayer(e, type, kX, kY, width, height, speed, parameter, mode == kHideLayer);
    }

    // Empty when the screen shows the area's pattern where `in` says a band is in (out when
    // hiding a layer, where the rest still shows the layer) and the background everywhere else.
    template <typename In>
    std::string ScreenShowsBands(const Effect& e, Mode mode, In in) {
        const qzEffectContext& c = e.context;
        for (int32_t sy = 0; sy < 64; sy++) {
            for (int32_t sx = 0; sx < 128; sx++) {
                const int32_t ax = sx - c.x, ay = sy - c.y;
                const bool inArea = ax >= 0 && ay >= 0 && ax < c.width && ay < c.height;
                const bool shown = inArea && (mode == kHideLayer ? !in(ax, ay) : in(ax, ay));
                const uint32_t expected = shown ? PatternColour(ax, ay, 1) : kBackground;
                const uint32_t pixel = Pixel(1, sx, sy);
                if (pixel != expected) {
                    char text[128];
                    snprintf(text, sizeof text, "%s: at %d,%d of the area: shown %06X, expected %06X", kModeNames[mode],
                             ax, ay, pixel, expected);
                    return text;
                }
            }
        }
        return "";
    }
};

// Every type of the families, with the step size and frame count that set-up must give.
struct EndCase {
    int32_t type, width, height, speed, parameter;
    int32_t step;  // the context's speed after set-up
    int32_t total;
};

// Step sizes: stripes take 70, 30, 200 over the sweep extent (at most extent - 1); blinds 8, 3, 20
// over the period (at most half of it); curtains 140, 60, 320 (opening at most a quarter, closing
// above a half falls back to 1); reveals 70, 30, 200 (above a half: 1 across, a half downwards);
// bars 16, 8, 40 of 16 (at most 8); quarters 70, 30, 200 over the width, at most a quarter of the
// height; rectangles 70, 30, 200 over the long side (above a quarter: 1). Lines keep the speed.
const EndCase kEndCases[] = {
    // stripes
    {0, 40, 32, kFast, -1, 1, 40},
    {0, 1, 20, kNormal, -1, 1, 1},  // one column to sweep, a random band size
    {1, 40, 32, 3, -1, 3, 14},
    {2, 40, 32, kSlow, -1, 1, 40},
    {3, 40, 32, 7, -1, 7, 6},
    {4, 40, 32, kNormal, -1, 1, 40},
    {4, 640, 480, kNormal, -1, 9, 72},  // larger than the screen
    {5, 40, 32, kNormal, -1, 1, 40},
    {6, 40, 32, 50, -1, 39, 2},
    {7, 40, 32, 5, 0, 5, 7},
    {7, 20, 1, kNormal, -1, 1, 1},
    {8, 40, 32, 3, -1, 3, 11},
    {9, 40, 32, 31, -1, 31, 2},
    {10, 40, 32, kNormal, -1, 1, 32},
    {11, 40, 32, 32, -1, 31, 2},
    {12, 40, 32, kFast, -1, 1, 32},
    {13, 40, 32, 3, -1, 3, 11},
    // blinds
    {14, 40, 32, kNormal, -1, 1, 8},
    {15, 40, 32, 3, -1, 3, 6},
    {16, 40, 32, 40, -1, 16, 2},
    {16, 40, 50, 3, -1, 3, 11},  // a partial period at the bottom
    {17, 40, 32, 3, -1, 3, 22},
    {18, 40, 32, 3, -1, 3, 43},
    {19, 40, 32, kFast, -1, 2, 4},
    {20, 40, 32, kNormal, -1, 2, 8},
    {21, 40, 32, 5, -1, 5, 7},
    {22, 40, 32, kSlow, -1, 3, 22},
    {23, 40, 32, kNormal, -1, 16, 8},
    // curtains
    {24, 40, 32, kNormal, -1, 1, 11},
    {24, 40, 32, 15, -1, 10, 2},
    {24, 41, 31, kNormal, -1, 1, 11},
    {25, 40, 32, 3, -1, 3, 6},
    {25, 600, 40, kFast, -1, 10, 29},
    {25, 40, 32, 25, -1, 1, 11},
    {26, 40, 32, 3, -1, 3, 5},
    {26, 640, 480, kNormal, -1, 3, 61},
    {26, 40, 1, kNormal, -1, 0, 2},
    {27, 40, 32, kNormal, -1, 1, 9},
    {27, 41, 31, kNormal, -1, 1, 9},
    // bars and quarters
    {28, 40, 32, 3, -1, 3, 7},
    {28, 100, 40, kFast, -1, 2, 9},
    {28, 40, 32, 100, -1, 8, 4},
    {29, 40, 32, 3, -1, 3, 4},
    {29, 40, 32, 20, -1, 8, 2},
    {29, 41, 31, 2, -1, 2, 6},
    // reveals
    {30, 40, 32, kNormal, -1, 1, 20},
    {30, 40, 32, 400, -1, 1, 20},
    {31, 40, 32, 3, -1, 3, 10},
    {32, 40, 32, 400, -1, 16, 2},
    {33, 40, 32, kNormal, -1, 1, 16},
    // lines
    {34, 40, 32, kNormal, -1, kNormal, 21},
    {34, 41, 31, kNormal, -1, kNormal, 22},
    {35, 41, 31, 7, -1, 7, 17},
    {36, 40, 32, kNormal, -1, kNormal, 33},
    {37, 41, 31, kNormal, -1, kNormal, 42},
    // growing rectangles
    {38, 40, 32, kNormal, -1, 1, 40},
    {38, 24, 40, 4, -1, 4, 10},
    {38, 1, 1, kNormal, -1, 1, 1},
    {39, 40, 32, 3, -1, 3, 14},
    {40, 40, 32, 10, -1, 10, 4},
    {41, 40, 32, 11, -1, 1, 40},
    {42, 40, 32, kFast, -1, 1, 40},
    {43, 40, 32, 4, -1, 4, 10},
    {44, 40, 32, 5, -1, 5, 8},
    {45, 40, 32, 7, -1, 7, 6},
    {46, 40, 32, 9, -1, 9, 5},
    // shrinking rectangles
    {88, 40, 32, 3, -1, 3, 14},
    {88, 1, 1, kNormal, -1, 1, 1},
    {89, 40, 32, kNormal, -1, 1, 40},
    {90, 40, 32, 10, -1, 10, 4},
    {91, 40, 32, 6, -1, 6, 7},
    {92, 40, 32, 4, -1, 4, 10},
    {92, 24, 40, kNormal, -1, 1, 40},
    {93, 40, 32, 5, -1, 5, 8},
    {94, 40, 32, 7, -1, 7, 6},
    {95, 40, 32, 9, -1, 9, 5},
    {95, 23, 37, 3, -1, 3, 13},
    {96, 40, 32, 2, -1, 2, 20},
};

void PrintTo(const EndCase& t, std::ostream* os) {
    *os << "type " << t.type << " on " << t.width << "x" << t.height << " speed " << t.speed;
}

class BandEffectEndTest : public BandEffectTest, public testing::WithParamInterface<std::tuple<EndCase, Mode>> {};

TEST_P(BandEffectEndTest, EndsOnThePictureInItsFrameCount) {
    const auto& [t, mode] = GetParam();
    Effect e;
    Start(e, mode, t.type, t.width, t.height, t.speed, t.parameter);
    ASSERT_NE(e.context.step, nullptr);
    ASSERT_EQ(Setup(e), 0);
    EXPECT_EQ(e.context.speed, t.step);
    EXPECT_EQ(e.context.total, t.total);
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

INSTANTIATE_TEST_SUITE_P(Types, BandEffectEndTest,
                         testing::Combine(testing::ValuesIn(kEndCases), testing::ValuesIn(kModes)), CaseName<EndCase>);

// The picture after some frames: the area-relative rectangles that are in by then (or, for the
// shrinking rectangles, the one that is not).
struct MidCase {
    int32_t type, width, height, speed, parameter, frames;
    bool outside;  // the rectangles list what is not in yet
    std::vector<std::array<int32_t, 4>> rects;
};

std::vector<std::array<int32_t, 4>> Columns(std::initializer_list<int32_t> columns, int32_t height) {
    std::vector<std::array<int32_t, 4>> rects;
    for (int32_t c : columns) rects.push_back({c, 0, 1, height});
    return rects;
}

const MidCase kMidCases[] = {
    // Even bands sweep from the left, odd bands from the right, 9 pixels a frame.
    {4, 40, 32, 9, -1, 2, false, {{0, 0, 18, 16}, {22, 16, 18, 16}}},
    // A band size of 1: every other column from the top, the others from the bottom.
    {7,
     8,
     6,
     2,
     0,
     1,
     false,
     {{0, 0, 1, 2}, {2, 0, 1, 2}, {4, 0, 1, 2}, {6, 0, 1, 2}, {1, 4, 1, 2}, {3, 4, 1, 2}, {5, 4, 1, 2}, {7, 4, 1, 2}}},
    // Every 8-row period opens from its start, the partial one at the bottom too.
    {14, 40, 20, 3, -1, 2, false, {{0, 0, 40, 6}, {0, 8, 40, 6}, {0, 16, 40, 4}}},
    // Two 1-pixel steps (bands of 2) out from the middle.
    {26, 40, 40, kNormal, -1, 2, false, {{0, 17, 40, 6}}},
    {25, 40, 20, 3, -1, 2, false, {{0, 0, 8, 20}, {32, 0, 8, 20}}},
    {30, 40, 20, 400, -1, 1, false, {{0, 0, 2, 20}}},
    {31, 40, 20, 3, -1, 1, false, {{36, 0, 4, 20}}},
    {32, 20, 32, 400, -1, 1, false, {{0, 0, 20, 17}}},
    // Bars: one column of each 16-column cell and the 4-column rest whole; later 9 columns and
    // then 3 rows of each cell across the width, with the 8-row rest whole.
    {28,
     100,
     40,
     kNormal,
     -1,
     1,
     false,
     {{0, 0, 1, 40}, {16, 0, 1, 40}, {32, 0, 1, 40}, {48, 0, 1, 40}, {64, 0, 1, 40}, {80, 0, 1, 40}, {96, 0, 4, 40}}},
    {28,
     100,
     40,
     kNormal,
     -1,
     6,
     false,
     {{0, 0, 9, 40},
      {16, 0, 9, 40},
      {32, 0, 9, 40},
      {48, 0, 9, 40},
      {64, 0, 9, 40},
      {80, 0, 9, 40},
      {96, 0, 4, 40},
      {0, 0, 100, 3},
      {0, 16, 100, 3},
      {0, 32, 100, 8}}},
    // The left half down from the top and the middle, the right half with the odd last column up
    // from the middle and the bottom.
    {29, 41, 32, 2, -1, 1, false, {{0, 0, 20, 3}, {0, 16, 20, 3}, {20, 13, 21, 3}, {20, 29, 21, 3}}},
    // The even columns from the left, then the odd ones from the right (the last column twice).
    {37, 10, 6, kNormal, -1, 8, false, Columns({0, 2, 4, 6, 7, 8, 9}, 6)},
    {34, 9, 6, kNormal, -1, 1, false, Columns({0, 7}, 6)},
    // Growing from the centre: 8 x 5, one row taller for equal margins above and below.
    {38, 40, 20, 4, -1, 2, false, {{16, 7, 8, 6}}},
    {42, 40, 20, 4, -1, 2, false, {{32, 15, 8, 5}}},
    {44, 20, 40, 4, -1, 3, false, {{0, 28, 7, 12}}},
    // Shrinking: the old content stays inside the rectangle of side 32, then 28, then 30 (tall).
    {88, 40, 20, 4, -1, 2, true, {{4, 1, 32, 17}}},
    {92, 40, 20, 4, -1, 3, true, {{0, 0, 28, 15}}},
    {96, 20, 40, 5, -1, 2, true, {{4, 10, 16, 30}}},
};

void PrintTo(const MidCase& t, std::ostream* os) {
    *os << "type " << t.type << " on " << t.width << "x" << t.height << " after " << t.frames << " frames";
}

class BandEffectMidTest : public BandEffectTest, public testing::WithParamInterface<std::tuple<MidCase, Mode>> {};

TEST_P(BandEffectMidTest, ShowsTheBandsInSoFar) {
    const auto& [t, mode] = GetParam();
    Effect e;
    Start(e, mode, t.type, t.width, t.height, t.speed, t.parameter);
    ASSERT_EQ(Setup(e), 0);
    ASSERT_EQ(Frames(e, t.frames), 0);
    ASSERT_FALSE(e.context.finished);
    EXPECT_EQ(ScreenShowsBands(e, mode,
                               [&t](int32_t x, int32_t y) {
                                   bool inRect = false;
                                   for (const auto& r : t.rects)
                                       inRect |= x >= r[0] && y >= r[1] && x < r[0] + r[2] && y < r[1] + r[3];
                                   return inRect != t.outside;
                               }),
              "");
}

INSTANTIATE_TEST_SUITE_P(Frames, BandEffectMidTest,
                         testing::Combine(testing::ValuesIn(kMidCases), testing::ValuesIn(kModes)), CaseName<MidCase>);

// Replaying (the seek of an asynchronous effect) draws the bands into the layer without showing
// them; a later redraw shows exactly those frames.
TEST_F(BandEffectTest, ReplayDrawsWithoutPresenting) {
    Effect e;
    Start(e, kShowLayer, 4, 40, 32, 9, -1);
    ASSERT_EQ(Setup(e), 0);
    e.context.replaying = 1;
    ASSERT_EQ(Frames(e, 2), 0);
    EXPECT_EQ(e.context.current, 2);
    EXPECT_EQ(ScreenShowsBackground(), "");
    RefreshArea(*vm, kX, kY, 40, 32);
    EXPECT_EQ(ScreenShowsBands(e, kShowLayer, [](int32_t x, int32_t y) { return y < 16 ? x < 18 : x >= 22; }), "");
}

// A random stripe size lies below half the sweep extent and stays when the effect is set up again
// (as a rebuild does), so the bands already drawn stay in the pattern.
TEST_F(BandEffectTest, RandomStripeSizeStaysForASecondSetUp) {
    Effect e;
    Start(e, kDirect, 7, 40, 32, kNormal, QZ_EFFECT_RANDOMPARAMETER);
    ASSERT_EQ(Setup(e), 0);
    const int32_t band = e.context.parameter;
    EXPECT_GE(band, 1);
    EXPECT_LT(band, 32 / 2);
    e.context.speed = e.context.givenSpeed;
    ASSERT_EQ(Setup(e), 0);
    EXPECT_EQ(e.context.parameter, band);
    EXPECT_EQ(e.context.total, 32);
}

}  // namespace fx_band_effects_test
