// The effects that move, scale or smear whole pictures (stretch and zoom, flow, gates, push,
// slide and card): frame counts and end pictures for every type, straight onto the display and
// inside a layer; rendering any step directly gives the picture the frames reach; exact pictures
// in the middle of a few effects; masked pictures over old content; and every type through the
// driver, bringing a new picture onto the display and showing and hiding a layer.
#include <tuple>
#include <vector>

#include "fx/fx_fixture.h"
#include "fx/fx_stretch.h"
#include "gfx/blit_test_util.h"
#include "gfx/draw_modes.h"
#include "gfx/frame_limit.h"
#include "libs/bgpic/bgpic_lib.h"
#include "libs/brush/brush_lib.h"
#include "libs/transitionfx/effect_driver.h"

namespace moving_effects_test {

using blittest::AlphaAt;
using blittest::Bit;
using blittest::MakeMask;

// Layer-safe types run on a 40 x 30 area at 8, 6; the others (gates, push, slide, card) on the
// whole 64 x 48 display, as they do on a picture. Speed 7 throughout.
bool LayerSafe(int type) { return type <= 73; }

struct TypeCase {
    int type;
    int total;      // frames, showing
    int hideTotal;  // frames, hiding a layer (layer-safe types)
};
const TypeCase kLayerSafeTypes[] = {
    // Stretch: the extent is the width (55, 56, 60) or the height (57, 58, 59); zoom the larger side.
    {55, 6, 6},
    {56, 6, 6},
    {57, 5, 5},
    {58, 5, 5},
    {59, 5, 5},
    {60, 6, 6},
    {61, 6, 6},
    {62, 6, 6},
    {63, 6, 6},
    {64, 6, 6},
    {65, 6, 6},
    {66, 6, 6},
    {67, 6, 6},
    {68, 6, 6},
    {69, 6, 6},
    // Flow: showing ceil((E - 7) / 7) + 1, hiding ceil((E - 14) / 7) + 1.
    {70, 5, 4},
    {71, 5, 4},
    {72, 6, 5},
    {73, 6, 5},
};
const TypeCase kWholePictureTypes[] = {
    // Gates on 64 x 48: half = 24 rows or 32 columns.
    {74, 4, 0},
    {75, 4, 0},
    {76, 5, 0},
    {77, 5, 0},
    // Push: E - 7; slide: 2E - 7; card: h - 7.
    {78, 10, 0},
    {79, 10, 0},
    {80, 7, 0},
    {81, 7, 0},
    {101, 19, 0},
    {102, 19, 0},
    {103, 14, 0},
    {104, 14, 0},
    {111, 7, 0},
    {112, 7, 0},
};

enum Path { kDirect, kLayer, kHide, kMaskedLayer };

// The mask of the masked layer's picture.
bool Visible(int x, int y) { return (x + y) % 3 != 0; }

class MovingEffectsTest : public FxTest {
protected:
    // Opens the 64 x 48 display on the first call; later effects straight onto the display start
    // from the background again.
    void Start(Effect& e, int type, Path path, int speed = 7, int parameter = -1) {
        if (!opened) OpenScreen(64, 48, path != kDirect);
        if (opened && path == kDirect) ClearScreen(64, 48);
        opened = true;
        const bool safe = LayerSafe(type);
        const int x = safe ? 8 : 0, y = safe ? 6 : 0, w = safe ? 40 : 64, h = safe ? 30 : 48;
        if (path == kDirect)
            Direct(e, type, x, y, w, h, speed, parameter);
        else
            ViaLayer(e, type, x, y, w, h, speed, parameter, path == kHide, 0,
                     path == kMaskedLayer ? MakeMask(w, h, Visible).release() : nullptr);
    }
    bool opened = false;

    // The background over the whole display again.
    void ClearScreen(int32_t width, int32_t height) {
        qzEffectContext clear = {};
        clear.vm = *vm;
        clear.screenWidth = width;
        clear.screenHeight = height;
        clear.bltFlags = 4;
        FillEffectRect(&clear, 0, 0, width, height, kBackground, 0);
    }

    // What the window shows, or what the layer's bitmaps hold (colour where visible, -1 where not).
    std::vector<int64_t> Capture(const Effect& e) {
        std::vector<int64_t> out;
        const qzEffectContext& c = e.context;
        if (!c.viaLayer) {
            for (int y = 0; y < 48; y++)
                for (int x = 0; x < 64; x++) out.push_back(Pixel(screen, x, y));
            return out;
        }
        const qzLayerState* st = c.layer->display;
        for (int y = 0; y < c.height; y++) {
            for (int x = 0; x < c.width; x++) {
                const bool shown = st->own.alpha  ? AlphaAt(st->own.alpha, x, y) != 0
                                   : st->own.mask ? Bit(st->own.mask, x, y) != 0
                                                  : true;
                out.push_back(shown ? int64_t(blittest::Pixel(st->own.bitmap, x, y) & 0xFFFFFF) : -1);
            }
        }
        return out;
    }

    // Undoes what the frames drew: the old content back on the display, garbage in the layer.
    void Scramble(Effect& e) {
        qzEffectContext& c = e.context;
        if (!c.viaLayer) {
            FillEffectRect(&c, 0, 0, 64, 48, kBackground, 0);
            return;
        }
        qzLayerState* st = c.layer->display;
        FillBitMapRect(st->own.bitmap, 0, 0, c.width, c.height, 0xABCDEF);
        if (st->own.alpha) FillAlphaRect(st->own.alpha, 0, 0, c.width, c.height, 99);
        if (st->own.mask) FillMaskRect(st->own.mask, 0, 0, c.width, c.height, MASKXOR);
    }
};

// Every type: the count the set-up announces is the number of frames the effect takes, every step
// rendered directly equals what the frames reached there (and the frames go on from it), and the
// end shows exactly the picture (or, hiding, nothing of it).
class EveryMovingType : public MovingEffectsTest, public ::testing::WithParamInterface<std::tuple<TypeCase, Path>> {};

TEST_P(EveryMovingType, RendersEachStepAndEndsOnThePicture) {
    const TypeCase t = std::get<0>(GetParam());
    const Path path = std::get<1>(GetParam());
    {
        {
            Effect e;
            Start(e, t.type, path);
            ASSERT_NE(e.context.step, nullptr);
            ASSERT_EQ(Setup(e), 0);
            EXPECT_EQ(e.context.total, path == kHide ? t.hideTotal : t.total);
            while (!e.context.finished && e.frames <= e.context.total) {
                ASSERT_EQ(Frames(e, 1), 0);
                const std::vector<int64_t> reached = Capture(e);
                Scramble(e);
                ASSERT_EQ(Render(e, e.context.current), 0);
                ASSERT_EQ(Capture(e), reached) << "step " << e.context.current;
            }
            EXPECT_EQ(e.frames, e.context.total);
            // What the frames presented, without a refresh of the layer afterwards.
            if (path == kMaskedLayer) {
                // The picture through its mask.
                blittest::BitMapPtr expected = blittest::MakeBitMap(
                    e.context.width, e.context.height,
                    [](int x, int y) { return Visible(x, y) ? PatternColour(x, y, 1) : kBackground; });
                EXPECT_EQ(ScreenShows(expected.get(), e.context.x, e.context.y), "");
            } else {
                EXPECT_EQ(path == kHide ? ScreenShowsBackground() : ScreenShowsPicture(e), "");
            }
        }
    }
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<TypeCase, Path>>& info) {
    static const char* const kPaths[] = {"Direct", "Layer", "Hide", "MaskedLayer"};
    return std::to_string(std::get<0>(info.param).type) + kPaths[std::get<1>(info.param)];
}
INSTANTIATE_TEST_SUITE_P(LayerSafe, EveryMovingType,
                         ::testing::Combine(::testing::ValuesIn(kLayerSafeTypes),
                                            ::testing::Values(kDirect, kLayer, kHide, kMaskedLayer)),
                         CaseName);
// These run on a layer only for a layer that emulates a picture; they never hide one.
INSTANTIATE_TEST_SUITE_P(WholePicture, EveryMovingType,
                         ::testing::Combine(::testing::ValuesIn(kWholePictureTypes),
                                            ::testing::Values(kDirect, kLayer)),
                         CaseName);

TEST(StretchGeometry, Rectangles) {
    const struct {
        int type, hide, s, w, h;
        qzStretchRect rect;
    } kCases[] = {
        {55, 0, 7, 40, 30, {0, 0, 7, 30, 0}},
        {56, 0, 33, 40, 30, {33, 0, 7, 30, 0}},  // a 7-wide strip at the right edge
        {56, 0, 0, 40, 30, {0, 0, 40, 30, 1}},
        {58, 1, 30, 40, 30, {0, 30, 40, 0, 1}},
        {59, 0, 10, 40, 30, {0, 10, 40, 10, 0}},  // a horizontal band opening from the middle
        {60, 0, 10, 40, 30, {15, 0, 10, 30, 0}},  // a vertical one
        {61, 0, 20, 40, 30, {10, 7, 20, 15, 0}},
        {61, 0, 20, 30, 30, {5, 5, 20, 20, 0}},  // square: both sides s
        {61, 0, 1, 40, 2, {19, 0, 1, 1, 0}},     // the computed side is at least 1
        {62, 0, 20, 30, 40, {7, 0, 15, 20, 0}},  // taller than wide: the height is s
        {63, 0, 20, 40, 30, {20, 0, 20, 15, 0}},
        {65, 0, 20, 40, 30, {20, 15, 20, 15, 0}},
        {67, 0, 20, 40, 30, {0, 15, 20, 15, 0}},
        {68, 0, 20, 40, 30, {0, 7, 20, 15, 0}},
        {69, 0, 40, 40, 30, {0, 0, 40, 30, 1}},
        {61, 1, 0, 40, 30, {20, 15, 0, 0, 1}},
        {55, 1, 0, 40, 30, {0, 0, 0, 30, 1}},
    };
    for (const auto& c : kCases) {
        const qzStretchRect r = StretchRectFor(c.type, c.hide, c.s, c.w, c.h);
        EXPECT_EQ((std::vector<int>{r.x, r.y, r.w, r.h, r.ended}),
                  (std::vector<int>{c.rect.x, c.rect.y, c.rect.w, c.rect.h, c.rect.ended}))
            << c.type << " s=" << c.s;
    }
}

// Pictures the Parts fix in the middle of an effect, after the given number of frames at speed 7.
TEST_F(MovingEffectsTest, MidEffectPictures) {
    struct Probe {
        int x, y;
        int64_t colour;  // a pattern pixel (px, py) as px * 1000 + py, or -1 for the old content
    };
    const struct {
        int type, frames;
        std::vector<Probe> probes;
        int speed = 7, parameter = -1;
    } kCases[] = {
        // STRETCHRIGHT: a 7-wide strip at the right edge holding the whole width, scaled.
        {56, 1, {{8 + 33, 6, 0}, {8 + 32, 6, -1}, {8 + 39, 6 + 29, 34 * 1000 + 29}}},
        // HFLOWTOP: rows 0..13 in, row 13 smeared over the rest.
        {70, 2, {{8 + 3, 6 + 13, 3 * 1000 + 13}, {8 + 3, 6 + 14, 3 * 1000 + 13}, {8 + 3, 6 + 29, 3 * 1000 + 13}}},
        // HFLOWBOTTOM: rows 23..29 in, row 22 copied above them.
        {71, 1, {{8 + 5, 6 + 23, 5 * 1000 + 23}, {8 + 5, 6 + 22, 5 * 1000 + 22}, {8 + 5, 6, 5 * 1000 + 22}}},
        // HCLOSEGATE: the new top half ends at row 7, the bottom half starts at row 41.
        {75, 1, {{0, 0, 17}, {0, 6, 23}, {0, 7, -1}, {0, 40, -1}, {0, 41, 24}, {0, 47, 30}}},
        // HOPENGATE: the old halves 7 rows apart from the middle, the new picture between.
        {74, 1, {{2, 16, -1}, {2, 17, 2 * 1000 + 17}, {2, 30, 2 * 1000 + 30}, {2, 31, -1}}},
        // PUSHLEFT: the new picture comes in from the left.
        {78, 1, {{0, 3, 57 * 1000 + 3}, {6, 3, 63 * 1000 + 3}, {7, 3, -1}}},
        // SLIDELEFT: first the old content leaves (a black strip), later the new comes from the right.
        {101, 1, {{0, 3, 0x1000000}, {6, 3, 0x1000000}, {7, 3, -1}}},
        {101, 10, {{57, 3, 0x1000000}, {58, 3, 0 * 1000 + 3}, {63, 3, 5 * 1000 + 3}}},
        // SLIDELEFT at speed 13 in a colour: the old content was at 52 when the new one enters at
        // 63; none of it stays beside the new picture.
        {101, 5, {{51, 3, 0x10000FF}, {52, 3, 0x10000FF}, {62, 3, 0x10000FF}, {63, 3, 0 * 1000 + 3}}, 13, 0xFF},
        // CARDTOP: a band of the new picture above the old content pushed down.
        {111, 1, {{4, 0, 4 * 1000 + 7}, {4, 6, 4 * 1000 + 13}, {4, 7, -1}}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE("type " + std::to_string(c.type));
        Effect e;
        Start(e, c.type, kDirect, c.speed, c.parameter);
        ASSERT_EQ(Setup(e), 0);
        ASSERT_EQ(Frames(e, c.frames), 0);
        for (const Probe& p : c.probes) {
            uint32_t expected = kBackground;
            if (p.colour >= 0x1000000)
                expected = uint32_t(p.colour & 0xFFFFFF);
            else if (p.colour >= 0)
                expected = PatternColour(int32_t(p.colour / 1000), int32_t(p.colour % 1000), 1);
            EXPECT_EQ(Pixel(screen, p.x, p.y), expected) << p.x << "," << p.y;
        }
    }
}

// A picture whose pixels are all transparent never covers the old content, in any frame, though
// each frame draws the scaled or smeared picture over the same place again.
TEST_F(MovingEffectsTest, TransparentPixelsKeepTheOldContent) {
    for (int type = 55; type <= 73; type++) {
        SCOPED_TRACE("type " + std::to_string(type));
        Effect e;
        Start(e, type, kDirect);
        blittest::BitMapPtr mask = MakeMask(40, 30, [](int x, int) { return x >= 40; });
        e.context.imageMask = mask.get();
        ASSERT_EQ(Setup(e), 0);
        while (!e.context.finished && e.frames <= e.context.total) {
            ASSERT_EQ(Frames(e, 1), 0);
            ASSERT_EQ(ScreenShowsBackground(), "") << "frame " << e.frames;
        }
    }
}

TEST_F(MovingEffectsTest, Edges) {
    // A closing gate on a one-row area ends in its first frame.
    OpenScreen(640, 48);
    Effect gate;
    Direct(gate, 75, 0, 0, 640, 1);
    ASSERT_EQ(Run(gate), 0);
    EXPECT_EQ(gate.context.total, 1);
    EXPECT_EQ(gate.frames, 1);
    EXPECT_EQ(ScreenShowsPicture(gate), "");

    // Flow moves at most 30 lines a frame, whatever the script asked.
    Effect flow;
    Direct(flow, 72, 0, 0, 640, 48, 50);
    ASSERT_EQ(Setup(flow), 0);
    EXPECT_EQ(flow.context.speed, 30);
    EXPECT_EQ(flow.context.total, 22);  // ceil(610 / 30) + 1

    // A slide at speed 30 over 640 columns: ceil((1280 - 30) / 30) + 1 steps.
    Effect slide;
    Direct(slide, 102, 0, 0, 640, 48, 30);
    ASSERT_EQ(Run(slide), 0);
    EXPECT_EQ(slide.context.total, 43);
    EXPECT_EQ(slide.frames, 43);
    EXPECT_EQ(ScreenShowsPicture(slide), "");
}

// On an odd height the card changes formula at s = half (21 of 43 rows at speed 7, the third
// frame): the two bands still meet, with no row of neither picture between them.
TEST_F(MovingEffectsTest, CardOnAnOddHeight) {
    OpenScreen(64, 43);
    for (int type : {111, 112}) {
        SCOPED_TRACE("type " + std::to_string(type));
        ClearScreen(64, 43);
        Effect e;
        Direct(e, type, 0, 0, 64, 43, 7);
        ASSERT_EQ(Setup(e), 0);
        ASSERT_EQ(Frames(e, 3), 0);
        // CARDTOP: the new picture's rows 21..42 at the top, then the old content's rows 1..21.
        // CARDBOTTOM: the old content's rows 21..41 at the top, then the new picture's rows 0..21.
        const bool top = type == 111;
        EXPECT_EQ(Pixel(screen, 5, 20), top ? PatternColour(5, 41, 1) : kBackground);
        EXPECT_EQ(Pixel(screen, 5, 21), top ? PatternColour(5, 42, 1) : PatternColour(5, 0, 1));
        EXPECT_EQ(Pixel(screen, 5, 22), top ? kBackground : PatternColour(5, 1, 1));
        ASSERT_EQ(Frames(e), 0);
        EXPECT_EQ(ScreenShowsPicture(e), "");
    }
}

// A gate inside a layer that emulates a picture: when the emulated picture (opening) or the old
// picture under the layer (closing) changes, the frame draws the whole area anew without showing
// each part; the frame is then shown at once.
class GateRedrawTest : public MovingEffectsTest, public ::testing::WithParamInterface<int> {};

TEST_P(GateRedrawTest, ShowsAFrameDrawnAnew) {
    const int type = GetParam();
    OpenScreen(64, 48, true);
    qzBGPic* emu = nullptr;
    ASSERT_EQ(CreateBlankBGPic({99, nullptr}, 64, 48, 0xFF0000, &emu), 0);
    {
        Effect e;
        ViaLayer(e, type, 0, 0, 64, 48, 7);
        e.context.bgpicEmu = 1;
        e.context.emuBGPic = emu;
        ASSERT_EQ(Setup(e), 0);
        ASSERT_EQ(Frames(e, 1), 0);
        EXPECT_EQ(Pixel(screen, 5, 24), type == 74 ? PatternColour(5, 24, 1) : kBackground);
        if (type == 74) {
            emu->modified = 1;
        } else {
            // Drawing into the picture on display, unseen.
            FillBitMapRect(CurrentDisplay()->displayBuffer, 0, 0, 64, 48, 0x00FF00);
            CurrentDisplay()->bgpic->modified = 1;
        }
        ASSERT_EQ(Frames(e, 1), 0);
        EXPECT_EQ(Pixel(screen, 5, 24), type == 74 ? 0xFF0000u : 0x00FF00u);
    }
    DeleteBGPic(*vm, {99, nullptr}, 0);
}

INSTANTIATE_TEST_SUITE_P(OpenAndClose, GateRedrawTest, ::testing::Values(74, 75));

// Through the driver: a new picture on the display, and a layer shown and hidden, by every type.
class MovingEffectsDriverTest : public FxTest {
protected:
    void SetUp() override {
        FxTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary, &qzLayersLibrary,
                                  &qzDisplayLibrary,  &qzBrushLibrary, &qzBGPicLibrary};
        SetFrameRateLimit(1000);
    }
    void TearDown() override {
        SetFrameRateLimit(60);
        FxTest::TearDown();
    }
    qzEffectContext Template(int32_t mode, int32_t type, qzObjectId object) {
        qzEffectContext t = {};
        t.vm = *vm;
        t.mode = mode;
        t.type = type;
        t.object = object;
        t.speed = 9;
        t.parameter = -1;
        t.undoLevel = 1;
        t.bgpicX = t.bgpicY = 99999;
        t.hide = mode == QZ_EFFECT_HIDELAYER;
        return t;
    }
};

// Layers off and on, the display at its own size or scaled to twice its size, frames dropping or
// not.
class NewPictureTest : public MovingEffectsDriverTest,
                       public ::testing::WithParamInterface<std::tuple<bool, bool, bool>> {};

TEST_P(NewPictureTest, ByEveryType) {
    const bool layers = std::get<0>(GetParam()), scaled = std::get<1>(GetParam());
    if (std::get<2>(GetParam())) SetFrameRateLimit(1000000);
    std::vector<int> types;
    for (const TypeCase& t : kLayerSafeTypes) types.push_back(t.type);
    for (const TypeCase& t : kWholePictureTypes) types.push_back(t.type);
    // Two patterned pictures, shown in turn, so that every effect changes every pixel.
    blittest::BitMapPtr patterns[2] = {blittest::BitMapPtr(Pattern(64, 48, 1)),
                                       blittest::BitMapPtr(Pattern(64, 48, 2))};
    for (int i = 0; i < 2; i++) {
        qzBGPic* pic = nullptr;
        ASSERT_EQ(CreateBlankBGPic({7 + i, nullptr}, 64, 48, 0, &pic), 0);
        CopyBitmapRect(patterns[i].get(), 0, 0, pic->bitmap, 0, 0, 64, 48);
    }
    if (scaled) {
        screen = 1;
        OpenCurrent(screen, qztest::Arg::Table({{"width", 64},
                                                {"height", 48},
                                                {"layers", layers},
                                                {"color", double(kBackground)},
                                                {"scalemode", 1},
                                                {"scalewidth", 128},
                                                {"scaleheight", 96}}));
        ASSERT_NE(CurrentDisplay()->autoScale, 0);
    } else {
        OpenScreen(64, 48, layers);
    }
    int shown = 0;
    for (int type : types) {
        SCOPED_TRACE("type " + std::to_string(type));
        shown = 1 - shown;
        qzEffectContext t = Template(QZ_EFFECT_BGPIC, type, {7 + shown, nullptr});
        ASSERT_EQ(RunEffect(&t), 0);
        if (!scaled) {
            EXPECT_EQ(ScreenShows(patterns[shown].get(), 0, 0), "");
            continue;
        }
        int wrong = 0;
        for (int y = 0; y < 48; y++)
            for (int x = 0; x < 64; x++) wrong += Pixel(screen, 2 * x + 1, 2 * y + 1) != PatternColour(x, y, 1 + shown);
        EXPECT_EQ(wrong, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(DisplaysAndClocks, NewPictureTest,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool(), ::testing::Bool()));

// On a display at its own size, and scaled to twice its size (the effect then draws through the
// layer); with a frame interval far shorter than a frame takes, so that frames drop and the
// effect jumps to the frame that is due.
class LayerEffectTest : public MovingEffectsDriverTest, public ::testing::WithParamInterface<std::tuple<bool, bool>> {};

TEST_P(LayerEffectTest, ShownAndHiddenByEveryLayerSafeType) {
    const bool scaled = std::get<0>(GetParam()), dropping = std::get<1>(GetParam());
    if (dropping) SetFrameRateLimit(1000000);
    if (scaled) {
        screen = 1;
        OpenCurrent(screen, qztest::Arg::Table({{"width", 64},
                                                {"height", 48},
                                                {"layers", true},
                                                {"color", double(kBackground)},
                                                {"scalemode", 1},
                                                {"scalewidth", 128},
                                                {"scaleheight", 96}}));
    } else {
        OpenScreen(64, 48, true);
    }
    // The window at the picture's pixel x, y.
    auto shown = [&](int x, int y) { return scaled ? Pixel(screen, 2 * x + 1, 2 * y + 1) : Pixel(screen, x, y); };
    for (const TypeCase& c : kLayerSafeTypes) {
        SCOPED_TRACE("type " + std::to_string(c.type));
        qzLayer* layer = nullptr;
        ASSERT_EQ(AddLayerForObject(*vm, QZ_LAYER_BRUSH, {1, nullptr}, 10, 6, 30, 20, nullptr, nullptr, Pattern(30, 20),
                                    nullptr, nullptr, nullptr, -1, uint32_t(QZ_ADDLAYER_HIDDEN), &layer),
                  0);
        for (int mode : {QZ_EFFECT_SHOWLAYER, QZ_EFFECT_HIDELAYER}) {
            qzEffectContext t = Template(mode, c.type, {1, nullptr});
            ASSERT_EQ(RunEffect(&t), 0);
            int wrong = 0;
            for (int y = 0; y < 48; y++) {
                for (int x = 0; x < 64; x++) {
                    const bool inside = x >= 10 && x < 40 && y >= 6 && y < 26;
                    const uint32_t expected =
                        inside && mode == QZ_EFFECT_SHOWLAYER ? PatternColour(x - 10, y - 6, 1) : kBackground;
                    wrong += shown(x, y) != expected;
                }
            }
            EXPECT_EQ(wrong, 0) << (mode == QZ_EFFECT_SHOWLAYER ? "shown" : "hidden");
        }
        FreeBGPicLayers(*vm, CurrentBGPic(), 1, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(DisplaysAndClocks, LayerEffectTest, ::testing::Combine(::testing::Bool(), ::testing::Bool()));

}  // namespace moving_effects_test
