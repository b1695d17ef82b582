// Puzzle, diagonal, interlaced push, spiral, swiss, quad rectangles, split, up-and-down, zoom and
// turn down run by the driver: a new picture shown through each, with layers off and on, and the
// layer-safe ones asynchronously on a layer, where a frame sought back to (replayed from the first
// frame, or drawn at once) shows what the effect showed when it reached that frame, the puzzle's
// random order included.
#include <vector>

#include "fx/fx_fixture.h"
#include "gfx/frame_limit.h"
#include "libs/bgpic/bgpic_lib.h"
#include "libs/brush/brush_lib.h"
#include "libs/graphics/graphics.h"
#include "libs/transitionfx/effect_driver.h"

namespace fx_driven_families_test {

class DrivenFamiliesTest : public FxTest {
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
    std::vector<uint32_t> Screen() {
        std::vector<uint32_t> pixels;
        for (int32_t y = 0; y < 48; y++)
            for (int32_t x = 0; x < 64; x++) pixels.push_back(Pixel(1, x, y));
        return pixels;
    }
};

TEST_F(DrivenFamiliesTest, SoughtFrameShowsWhatTheFrameShowed) {
    OpenScreen(64, 48, true);
    for (const int32_t type : {82, 83, 99, 100, 105, 106, 107, 108, 109, 110}) {
        SCOPED_TRACE(type);
        FreeBGPicLayers(*vm, CurrentBGPic(), 1, 1);
        RefreshArea(*vm, 0, 0, 64, 48);
        qzLayer* layer = nullptr;
        ASSERT_EQ(AddLayerForObject(*vm, QZ_LAYER_BRUSH, {1, nullptr}, 5, 4, 50, 40, nullptr, nullptr, Pattern(50, 40),
                                    nullptr, nullptr, nullptr, -1, QZ_ADDLAYER_HIDDEN, &layer),
                  0);
        qzEffectContext t = {};
        t.vm = *vm;
        t.mode = QZ_EFFECT_SHOWLAYER;
        t.type = type;
        t.object = {1, nullptr};
        t.speed = 2;
        t.parameter = -1;
        t.undoLevel = 1;
        t.bgpicX = t.bgpicY = 99999;
        t.async = 1;
        srand48(4);
        ASSERT_EQ(RunEffect(&t), 1);
        void* handle = VmToUserdata(*vm, -1);
        ASSERT_NE(handle, nullptr);
        const qztest::Arg object = qztest::Arg::Pointer(handle);
        for (int i = 0; i < 3; i++) ASSERT_EQ(vm->CallNum("AsyncDrawFrame", {object}), 0);
        RefreshArea(*vm, 0, 0, 64, 48);
        const std::vector<uint32_t> third = Screen();
        EXPECT_NE(third, std::vector<uint32_t>(64 * 48, kBackground)) << "the third frame shows something";
        for (int i = 0; i < 2; i++) ASSERT_EQ(vm->CallNum("AsyncDrawFrame", {object}), 0);
        ASSERT_EQ(vm->CallNum("AsyncDrawFrame", {object, 3}), 0);
        RefreshArea(*vm, 0, 0, 64, 48);
        EXPECT_TRUE(third == Screen());
        vm->Ok("CancelAsyncDraw", {object});
    }
}

class DrivenFamilyPictureTest : public DrivenFamiliesTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DrivenFamilyPictureTest, ThroughEveryType) {
    OpenScreen(64, 48, GetParam());
    uint32_t colour = 0x000101;
    for (const int32_t type : {82, 83, 99, 100, 105, 106, 107, 108, 109, 110, 118, 119, 128, 129, 130, 131}) {
        colour += 0x0F0D05;
        qzBGPic* pic = nullptr;
        ASSERT_EQ(CreateBlankBGPic({type, nullptr}, 64, 48, colour, &pic), 0);
        qzEffectContext t = {};
        t.vm = *vm;
        t.mode = QZ_EFFECT_BGPIC;
        t.type = type;
        t.object = {type, nullptr};
        t.speed = QZ_EFFECT_FASTSPEED;
        t.parameter = -1;
        t.undoLevel = 1;
        t.bgpicX = t.bgpicY = 99999;
        ASSERT_EQ(RunEffect(&t), 0) << type;
        EXPECT_EQ(CurrentDisplay()->bgpic, pic) << type;
        bool all = true;
        for (int32_t y = 0; y < 48 && all; y++)
            for (int32_t x = 0; x < 64 && all; x++) all = Pixel(1, x, y) == colour;
        EXPECT_TRUE(all) << type;
    }
}

INSTANTIATE_TEST_SUITE_P(LayersOffAndOn, DrivenFamilyPictureTest, ::testing::Values(false, true));

}  // namespace fx_driven_families_test
