// The scroll effects: a picture or a layer slides in from outside the display along each of the
// eight directions (or out again when hidden) through the object mover, and ends exactly in place.
#include <gtest/gtest.h>

#include "fx/fx_fixture.h"
#include "libs/bgpic/bgpic_lib.h"
#include "libs/draw/draw.h"
#include "libs/transitionfx/effect_scroll.h"
#include "libs/transitionfx/transitionfx_lib.h"

namespace effect_scroll_test {

namespace {

class EffectScroll : public FxTest {
protected:
    void SetUp() override {
        FxTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzDrawLibrary,    &qzEventLibrary, &qzSystemLibrary,
                                  &qzLayersLibrary,   &qzDisplayLibrary, &qzBGPicLibrary, &qzTransitionFXLibrary};
    }
    // A layer of a width x height pattern at x, y animated by a scroll effect, as the driver fills
    // the context for the scroll types: straight onto the display, the layer's own position kept.
    void Scrolled(Effect& e, int32_t type, int32_t x, int32_t y, int32_t width, int32_t height, int hide,
                  int32_t speed) {
        Fill(e, type, x, y, width, height, speed, -1);
        qzLayer* layer = nullptr;
        e.picture = Pattern(width, height);
        ASSERT_EQ(AddLayerForObject(*vm, QZ_LAYER_BRUSH, {1, nullptr}, x, y, width, height, nullptr, nullptr,
                                    Pattern(width, height), nullptr, nullptr, nullptr, -1,
                                    hide ? 0u : uint32_t(QZ_ADDLAYER_HIDDEN), &layer),
                  0);
        if (hide) RefreshArea(*vm, x, y, width, height);
        qzEffectContext& c = e.context;
        c.mode = hide ? QZ_EFFECT_HIDELAYER : QZ_EFFECT_SHOWLAYER;
        c.hide = hide;
        c.layer = layer;
        c.object = {CountLayers(CurrentBGPic()), nullptr};
        c.savedLayerX = x;
        c.savedLayerY = y;
        c.scrollType = 1;
        c.bltFlags = 4;
    }
};

// A 20 x 16 picture brought to 10, 12 on a 64 x 48 display at 3 pixels per frame: where it stands
// after the first frame and how many frames it takes.
const struct {
    int32_t type;
    int32_t firstX, firstY;
    int32_t frames;
} kScrolls[] = {
    {47, -17, 12, 10},  // from the left: 30 pixels
    {48, 61, 12, 18},   // from the right: 54 pixels
    {49, 10, -13, 10},  // from the top: 28 pixels
    {50, 10, 45, 12},   // from the bottom: 36 pixels
    // Diagonals: x steps by the speed (the picture is wider than tall), y spreads its distance over
    // the same frames, the remainder one pixel more on the first frames.
    {51, 61, -14, 18},   // from the top right
    {52, 61, 46, 18},    // from the bottom right
    {53, -17, 44, 10},   // from the bottom left
    {54, -17, -13, 10},  // from the top left
};

TEST_F(EffectScroll, APictureSlidesInFromEachDirection) {
    OpenScreen(64, 48, false);
    for (const auto& row : kScrolls) {
        SCOPED_TRACE(row.type);
        vm->Ok("Cls", {static_cast<double>(kBackground)});
        Effect e;
        Direct(e, row.type, 10, 12, 20, 16, 3);
        ASSERT_NE(e.context.step, nullptr);
        ASSERT_EQ(Setup(e), 0);
        EXPECT_EQ(ScreenShowsBackground(), "");  // the set-up draws nothing
        ASSERT_EQ(Frames(e, 1), 0);
        EXPECT_EQ(ScreenShows(e.picture, row.firstX, row.firstY), "");
        ASSERT_EQ(Frames(e), 0);
        EXPECT_EQ(e.frames, row.frames);
        EXPECT_EQ(ScreenShowsPicture(e), "");
    }
}

TEST_F(EffectScroll, ALayerSlidesInAndOutAndKeepsItsPlace) {
    OpenScreen(64, 48, true);
    for (const auto& row : kScrolls) {
        SCOPED_TRACE(row.type);
        {
            Effect e;
            Scrolled(e, row.type, 10, 12, 20, 16, 0, 3);
            ASSERT_EQ(Setup(e), 0);
            EXPECT_EQ(ScreenShowsBackground(), "");
            ASSERT_EQ(Frames(e, 1), 0);
            EXPECT_EQ(ScreenShows(e.picture, row.firstX, row.firstY), "");
            ASSERT_EQ(Frames(e), 0);
            EXPECT_EQ(e.frames, row.frames);
            EXPECT_EQ(ScreenShows(e.picture, 10, 12), "");
        }
        vm->Ok("RemoveLayer", {1});
        {
            // Hiding runs the same path backwards: out of the display, the layer shown all along.
            Effect e;
            Scrolled(e, row.type, 10, 12, 20, 16, 1, 3);
            ASSERT_EQ(Setup(e), 0);
            EXPECT_EQ(ScreenShows(e.picture, 10, 12), "");
            ASSERT_EQ(Frames(e), 0);
            EXPECT_EQ(e.frames, row.frames);
            EXPECT_EQ(ScreenShowsBackground(), "");
            // At the end the layer goes back to where it stood (hidden there by the driver).
            e.context.freeState(&e.context, 1);
            e.context.freeState = nullptr;
            EXPECT_EQ(e.context.layer->base->x, 10);
            EXPECT_EQ(e.context.layer->base->y, 12);
            EXPECT_EQ(ScreenShows(e.picture, 10, 12), "");
        }
        vm->Ok("RemoveLayer", {1});
        EXPECT_EQ(ScreenShowsBackground(), "");
    }
}

TEST_F(EffectScroll, ParameterIsTheMoveEffectAndSpeedIsTheMoversOwn) {
    OpenScreen(64, 48, false);
    const struct {
        int32_t speed, parameter;
        int setupError;
        int32_t frames;  // 0: more than the straight path's 10
    } rows[] = {
        {3, -1, 0, 10},              // a random parameter is no move effect
        {3, 0, 0, 10},               //
        {3, 1, 0, 0},                // bounce: swings past the end point and back
        {-1, -1, 0, 3},              // NORMALSPEED: 10 pixels a frame
        {-2, -1, 0, 2},              // FASTSPEED: 15
        {-3, -1, 0, 6},              // SLOWSPEED: 5
        {0, -1, ERR_WRONGUSAGE, 0},  // no step size
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.speed) + " " + std::to_string(row.parameter));
        vm->Ok("Cls", {static_cast<double>(kBackground)});
        Effect e;
        Direct(e, 47, 10, 12, 20, 16, row.speed, row.parameter);
        ASSERT_EQ(Setup(e), row.setupError);
        if (row.setupError) continue;
        ASSERT_EQ(Frames(e), 0);
        if (row.frames)
            EXPECT_EQ(e.frames, row.frames);
        else
            EXPECT_GT(e.frames, 10);
        EXPECT_EQ(e.context.total, 0);
        EXPECT_EQ(ScreenShowsPicture(e), "");
    }
}

}  // namespace

}  // namespace effect_scroll_test
