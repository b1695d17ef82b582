// A frame bitmap handed to a video layer becomes its content: the new layer takes the old one's
// place with its look and name, is drawn at once on the shown picture (not while an effect runs),
// shows only the part the layer showed, and the current display, picture and output are put back.
#include <gtest/gtest.h>

#include "base/error_codes.h"
#include "display/layer_kinds.h"
#include "display/layer_replace.h"
#include "display/layer_test_util.h"

namespace layer_replace_test {

namespace {

class LayerReplace : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        OpenLayered(64, 48, 0x000000);
    }
    // A video layer of 16 x 12 red pixels at x, y.
    qzLayer* AddVideo(int32_t x, int32_t y, uint32_t flags = 0) {
        qzLayer* layer = nullptr;
        EXPECT_EQ(AddLayerForObject(*vm, QZ_LAYER_VIDEO, {7, nullptr}, x, y, 16, 12, nullptr, nullptr,
                                    Solid(16, 12, 0xFF0000), nullptr, nullptr, nullptr, -1, flags, &layer),
                  0);
        return layer;
    }
};

}  // namespace

TEST_F(LayerReplace, TheFrameTakesTheLayersPlace) {
    qzLayer* slot = AddVideo(4, 4);
    Add(2, 40, 30, 8, 8, 0x0000FF);  // another layer on top, elsewhere
    ASSERT_EQ(SetLayerNameChecked(CurrentBGPic(), slot, "clip"), 0);
    slot->transparency = 0;
    qzLayer* const old = slot;
    LogPresents();
    ASSERT_EQ(ReplaceLayerContentFromBitmap(*vm, Display(1), &slot, Solid(16, 12, 0x00FF00)), 0);
    EXPECT_NE(slot, old);
    EXPECT_EQ(GetLayerByPosition(CurrentBGPic(), 1), slot);
    EXPECT_EQ(CountLayers(CurrentBGPic()), 2);
    EXPECT_EQ(slot->type, QZ_LAYER_VIDEO);
    EXPECT_EQ(slot->id.number, 7);
    EXPECT_STREQ(slot->name, "clip");
    EXPECT_EQ(slot->base->left, 4);
    EXPECT_EQ(Pixel(1, 5, 5), 0x00FF00u);
    EXPECT_EQ(presented, std::vector<std::string>{"4,4 16x12"});  // drawn at once, nothing more
    // A smaller frame: what the old one covered is shown without it.
    presented.clear();
    ASSERT_EQ(ReplaceLayerContentFromBitmap(*vm, Display(1), &slot, Solid(8, 6, 0xFFFF00)), 0);
    EXPECT_EQ(Pixel(1, 5, 5), 0xFFFF00u);
    EXPECT_EQ(Pixel(1, 18, 14), 0x000000u);
    EXPECT_EQ(presented, std::vector<std::string>{"4,4 16x12"});
}

TEST_F(LayerReplace, HiddenPartsTransformsAndEffects) {
    // Hidden: replaced, still hidden, nothing drawn.
    qzLayer* hidden = AddVideo(0, 0, QZ_ADDLAYER_HIDDEN);
    LogPresents();
    ASSERT_EQ(ReplaceLayerContentFromBitmap(*vm, Display(1), &hidden, Solid(16, 12, 0x00FF00)), 0);
    EXPECT_EQ(hidden->hidden, 1);
    EXPECT_TRUE(presented.empty());
    EXPECT_EQ(Pixel(1, 1, 1), 0x000000u);
    // Showing a part: that part of each frame is shown, frame after frame; the layer keeps the
    // whole frame and the part's place in it.
    qzLayer* part = AddVideo(20, 0);
    part->base->partX = 8;
    part->base->partY = 6;
    part->base->width = 8;
    part->base->height = 6;
    for (uint32_t colour : {0xFFFF00u, 0x00FFFFu}) {
        qzBitMap* frame = Solid(16, 12, 0x0000FF);
        FillBitmapColor(frame, 8, 6, 8, 6, colour);
        ASSERT_EQ(ReplaceLayerContentFromBitmap(*vm, Display(1), &part, frame), 0);
        EXPECT_EQ(part->base->partX, 8);
        EXPECT_EQ(part->base->partY, 6);
        EXPECT_EQ(part->base->width, 8);
        EXPECT_EQ(part->base->own.bitmap->width, 16);
        EXPECT_EQ(Pixel(1, 20, 0), colour);
        EXPECT_EQ(Pixel(1, 27, 5), colour);
        EXPECT_EQ(Pixel(1, 28, 0), 0x000000u);
    }
    // Scaled: the transformed state is rendered from the frame.
    qzLayer* scaled = AddVideo(40, 20);
    scaled->transform.matrix[0] = scaled->transform.matrix[3] = 0.5;
    ASSERT_EQ(ReplaceLayerContentFromBitmap(*vm, Display(1), &scaled, Solid(16, 12, 0xFFFFFF)), 0);
    EXPECT_EQ(scaled->transformed->width, 8);
    EXPECT_EQ(scaled->transformed->height, 6);
    EXPECT_EQ(Pixel(1, 41, 21), 0xFFFFFFu);
    // While an effect runs the frame waits for the effect's redraw.
    presented.clear();
    SetTransitionEffectRunning(1);
    ASSERT_EQ(ReplaceLayerContentFromBitmap(*vm, Display(1), &scaled, Solid(16, 12, 0xFF00FF)), 0);
    SetTransitionEffectRunning(0);
    EXPECT_TRUE(presented.empty());
    EXPECT_EQ(Pixel(1, 41, 21), 0xFFFFFFu);
}

TEST_F(LayerReplace, TheCurrentDisplayAndOutputComeBack) {
    qzLayer* slot = AddVideo(4, 4);
    qzDisplay* one = Display(1);
    OpenCurrent(2, qztest::Arg::Table({{"width", 32}, {"height", 32}}));
    qzDisplay* two = CurrentDisplay();
    ASSERT_NE(one, two);
    qzBGPic* const picture = CurrentBGPic();
    one->layersEnabled = 0;
    one->outputKind = QZ_TYPE_MASK;
    ASSERT_EQ(ReplaceLayerContentFromBitmap(*vm, one, &slot, Solid(16, 12, 0x00FF00)), 0);
    EXPECT_EQ(CurrentDisplay(), two);
    EXPECT_EQ(CurrentBGPic(), picture);
    EXPECT_EQ(one->layersEnabled, 0);
    EXPECT_EQ(one->outputKind, QZ_TYPE_MASK);
    one->layersEnabled = 1;
    one->outputKind = QZ_TYPE_DISPLAY;
    // A missing layer or bitmap: nothing changes, and the bitmap is freed.
    qzLayer* none = nullptr;
    EXPECT_EQ(ReplaceLayerContentFromBitmap(*vm, one, &none, Solid(4, 4, 0)), ERR_WRONGUSAGE);
    EXPECT_EQ(ReplaceLayerContentFromBitmap(*vm, one, &slot, nullptr), ERR_WRONGUSAGE);
    EXPECT_EQ(CurrentDisplay(), two);
}

// A pending frame names the video's layer slot: the frame becomes that layer's content and the slot
// follows the new layer; a frame for a slot that no longer names a layer is freed, not lost.
TEST_F(LayerReplace, PendingFramesGoToTheLayerTheirSlotNames) {
    qzDisplay* display = Display(1);
    qzLayer* slot = AddVideo(0, 0);
    qzLayer* const old = slot;
    qzLayer* none = nullptr;
    auto* second = new qzPendingRepaint{nullptr, nullptr, Solid(8, 8, 0x0000FF), 0, 0, 8, 8, &none};
    display->pendingRepaints = new qzPendingRepaint{second, nullptr, Solid(16, 12, 0x00FF00), 0, 0, 16, 12, &slot};
    EXPECT_EQ(FlushPendingDisplayRepaints(*vm), 0);
    EXPECT_EQ(display->pendingRepaints, nullptr);
    EXPECT_NE(slot, old);
    EXPECT_EQ(GetLayerByPosition(CurrentBGPic(), 1), slot);
    EXPECT_EQ(Pixel(1, 5, 5), 0x00FF00u);
}

}  // namespace layer_replace_test
