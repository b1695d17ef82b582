// Effects that can draw any step from scratch: interlaced push, zoom in and out, turn down. Every
// type ends on the picture in its counted frames, a step drawn directly equals the same step
// reached frame by frame, and a few mid-effect pictures.
#include <tuple>
#include <vector>

#include "fx/fx_fixture.h"
#include "fx/fx_zoominout.h"
#include "gfx/draw_modes.h"
#include "gfx/safe_blt.h"

namespace fx_frame_render_test {

class FrameRenderTest : public FxTest {
protected:
    static constexpr uint32_t kOldSeed = 2;

    // An effect over the area whose old content is a pattern of its own, shown on the screen.
    void DirectOverOld(Effect& e, int32_t type, int32_t x, int32_t y, int32_t width, int32_t height, int32_t speed,
                       int32_t parameter = -1) {
        Direct(e, type, x, y, width, height, speed, parameter);
        qzEffectContext& c = e.context;
        DeleteBitMap(c.oldImage);
        c.oldImage = Pattern(width, height, kOldSeed);
        SafeBlt(*vm, c.oldImage, 0, 0, nullptr, x, y, width, height, width, height, c.screenWidth, c.screenHeight,
                c.bltFlags, nullptr, nullptr, nullptr);
    }
    std::vector<uint32_t> Screen() {
        std::vector<uint32_t> pixels;
        qzHostWindow* w = Window(1);
        for (int32_t y = 0; w && y < w->frame.height; y++)
            for (int32_t x = 0; x < w->frame.width; x++) pixels.push_back(Pixel(1, x, y));
        return pixels;
    }
};

struct Screen {
    int32_t width, height, speed;
};

class FrameRenderTypesTest : public FrameRenderTest,
                             public ::testing::WithParamInterface<std::tuple<int32_t, Screen>> {};

TEST_P(FrameRenderTypesTest, DirectStepsEqualFramesAndEndOnThePicture) {
    const auto [type, screen] = GetParam();
    OpenScreen(screen.width, screen.height);
    Effect e;
    // These types run over the whole picture on display.
    DirectOverOld(e, type, 0, 0, screen.width, screen.height, screen.speed);
    ASSERT_NE(e.context.step, nullptr);
    ASSERT_EQ(Setup(e), 0);
    const int32_t total = e.context.total;
    for (int32_t k = 1; k < total; k++) {
        ASSERT_EQ(Frames(e, 1), 0);
        const std::vector<uint32_t> framed = Screen();
        // Drawn from another step first, so that nothing of the frame is left to lean on.
        ASSERT_EQ(Render(e, k < total - 1 ? total - 1 : 1), 0);
        ASSERT_EQ(Render(e, k), 0);
        ASSERT_TRUE(framed == Screen()) << "step " << k << " of " << total;
    }
    ASSERT_EQ(Frames(e), 0);
    EXPECT_EQ(e.frames, total);
    EXPECT_EQ(e.context.current, total);
    EXPECT_EQ(ScreenShowsPicture(e), "");
}

INSTANTIATE_TEST_SUITE_P(Types, FrameRenderTypesTest,
                         ::testing::Combine(::testing::Values(99, 100, 118, 119, 128, 129, 130, 131),
                                            ::testing::Values(Screen{64, 48, -1}, Screen{45, 31, 7}, Screen{30, 50, -2},
                                                              Screen{48, 48, 100}, Screen{60, 40, 7},
                                                              Screen{40, 6, 4})));

class InterlacedPushLayerTest : public FrameRenderTest, public ::testing::WithParamInterface<int> {};

TEST_P(InterlacedPushLayerTest, ThroughTheLayersBitmaps) {
    // Showing and hiding through the layer's own bitmaps, with a masked picture: the combs keep
    // the picture's mask, and hiding runs the motion backwards to nothing.
    const int hide = GetParam();
    OpenScreen(64, 48, true);
    const struct { int32_t type, x, y; } kTypes[] = {{99, 2, 2}, {100, 33, 26}};
    for (const auto& t : kTypes) {
        Effect e;
        qzBitMap* mask = CreateMaskBitMap(nullptr, 30, 20, 1, nullptr, 0);
        FillMaskRect(mask, 0, 0, 30, 20, MASKVISIBLE);
        FillMaskRect(mask, 5, 5, 4, 4, MASKINVISIBLE);
        ViaLayer(e, t.type, t.x, t.y, 30, 20, 4, -1, hide, 0, mask);
        ASSERT_EQ(Setup(e), 0);
        EXPECT_EQ(e.context.total, t.type == 99 ? 8 : 5);
        const int32_t extent = t.type == 99 ? 30 : 20;
        // After two frames the halves have come 8 pixels (hiding: are 8 pixels from gone); at
        // the end they are in place (hiding: gone).
        for (const int32_t frames : {2, 0}) {
            ASSERT_EQ(Frames(e, frames), 0);
            const int32_t s = frames ? (hide ? extent - 8 : 8) : (hide ? 0 : extent);
            for (int32_t y = 0; y < 20; y++) {
                for (int32_t x = 0; x < 30; x++) {
                    const int32_t along = t.type == 99 ? x : y;
                    // Odd rows come from the far end to the near side, even rows the other way.
                    int32_t from = -1;
                    if (y % 2 && along < s) from = along + extent - s;
                    if (y % 2 == 0 && along >= extent - s) from = along - (extent - s);
                    const int32_t fx = t.type == 99 ? from : x, fy = t.type == 99 ? y : from;
                    const bool hole = fx >= 5 && fx < 9 && fy >= 5 && fy < 9;
                    const uint32_t expected = from < 0 || hole ? kBackground : PatternColour(fx, fy, 1);
                    ASSERT_EQ(Pixel(1, t.x + x, t.y + y), expected)
                        << t.type << " after " << e.frames << " frames at " << x << "," << y;
                }
            }
        }
        EXPECT_EQ(e.frames, e.context.total);
    }
}

INSTANTIATE_TEST_SUITE_P(ShowAndHide, InterlacedPushLayerTest, ::testing::Values(0, 1));

TEST_F(FrameRenderTest, InterlacedPushKeepsBothCombsOfAnAlphaPicture) {
    // Where the two halves overlap, the rows of the first half keep their coverage when the second
    // half's comb is drawn over them: at the end every row shows.
    OpenScreen(64, 48, true);
    Effect e;
    Fill(e, 99, 10, 6, 30, 20, 4, -1);
    qzEffectContext& c = e.context;
    qzLayer* layer = nullptr;
    ASSERT_EQ(AddLayerForObject(*vm, QZ_LAYER_BRUSH, {1, nullptr}, 10, 6, 30, 20, nullptr, nullptr, Pattern(30, 20),
                                nullptr, Alpha(30, 20, 255), nullptr, -1, QZ_ADDLAYER_HIDDEN, &layer),
              0);
    c.mode = QZ_EFFECT_SHOWLAYER;
    c.object = {CountLayers(CurrentBGPic()), nullptr};
    c.layer = layer;
    c.viaLayer = 1;
    c.bltFlags = 4;
    c.image = layer->display->own.bitmap;
    c.imageAlpha = layer->display->own.alpha;
    ASSERT_EQ(PrepareEffectLayer(&c), 0);
    ASSERT_NE(layer->display->own.alpha, nullptr);
    ASSERT_EQ(Run(e), 0);
    EXPECT_EQ(ScreenShowsPicture(e), "");
}

TEST_F(FrameRenderTest, InterlacedPushSpeedAndOneRow) {
    OpenScreen();
    Effect e;
    // An odd step is made even; a one-row area has no odd row, so the picture comes in only from
    // the right.
    DirectOverOld(e, 99, 5, 5, 20, 1, 7);
    ASSERT_EQ(Setup(e), 0);
    EXPECT_EQ(e.context.speed, 8);
    ASSERT_EQ(Frames(e, 1), 0);
    for (int32_t x = 0; x < 20; x++)
        EXPECT_EQ(Pixel(1, 5 + x, 5), x < 12 ? PatternColour(x, 0, kOldSeed) : PatternColour(x - 12, 0, 1)) << x;
}

TEST_F(FrameRenderTest, ZoomAtTheTurn) {
    OpenScreen(48, 48);
    for (const int32_t type : {118, 119}) {
        Effect e;
        DirectOverOld(e, type, 0, 0, 48, 48, 8, 0xFF0000);
        ASSERT_EQ(Setup(e), 0);
        // At the turn the old content is one pixel wide and two high in the centre.
        ASSERT_EQ(Frames(e, 6), 0);
        for (int32_t y = 0; y < 48; y++) {
            for (int32_t x = 0; x < 48; x++) {
                if (type == 119) {
                    // Zooming out blows that part up to the whole area.
                    ASSERT_EQ(Pixel(1, x, y), PatternColour(23, y < 24 ? 23 : 24, kOldSeed)) << "at " << x << "," << y;
                } else if (x == 23 && (y == 23 || y == 24)) {
                    EXPECT_NE(Pixel(1, x, y), 0xFF0000u) << "at " << x << "," << y;
                } else {
                    ASSERT_EQ(Pixel(1, x, y), 0xFF0000u) << "at " << x << "," << y;
                }
            }
        }
        // The border is painted only in the first half: the new picture grows over it.
        ASSERT_EQ(Frames(e), 0);
        EXPECT_EQ(ScreenShowsPicture(e), "") << type;
    }
    int32_t x, y, w, h;
    ZoomInOutRect(48, 48, 48, &x, &y, &w, &h);
    EXPECT_EQ(std::vector<int32_t>({x, y, w, h}), std::vector<int32_t>({23, 23, 1, 2}));
    ZoomInOutRect(60, 30, 70, &x, &y, &w, &h);
    EXPECT_EQ(std::vector<int32_t>({x, y, w, h}), std::vector<int32_t>({25, 12, 10, 6}));
}

TEST_F(FrameRenderTest, TurnDownNearHalfOnTheLastFrameOfTheFirstHalf) {
    // An odd extent turns 15 lines in the first half; its last frame shows the new near half whole
    // and the old far half untouched.
    OpenScreen(31, 31);
    const struct {
        int32_t type;
        bool columns, fromEnd;
    } kTypes[] = {{128, false, false}, {129, false, true}, {130, true, false}, {131, true, true}};
    for (const auto& t : kTypes) {
        Effect e;
        DirectOverOld(e, t.type, 0, 0, 31, 31, 3);
        ASSERT_EQ(Setup(e), 0);
        EXPECT_EQ(e.context.total, 11);
        ASSERT_EQ(Frames(e, 5), 0);
        for (int32_t y = 0; y < 31; y++) {
            for (int32_t x = 0; x < 31; x++) {
                const int32_t along = t.columns ? x : y;
                const bool near = t.fromEnd ? along >= 16 : along < 15;
                ASSERT_EQ(Pixel(1, x, y), PatternColour(x, y, near ? 1 : kOldSeed))
                    << t.type << " at " << x << "," << y;
            }
        }
    }
}

}  // namespace fx_frame_render_test
