// Brushes on a display with layers on: a drawn brush becomes a layer, a brush that the script
// frees lives on while a layer shows it and goes with the last such layer, and a brush that
// changes leaves the layers that show it their old look.
#include <gtest/gtest.h>

#include "display/layer_test_util.h"
#include "image/brush.h"
#include "libs/brush/brush_lib.h"

namespace {

class BrushLayers : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary,
                                  &qzLayersLibrary,   &qzDisplayLibrary, &qzBrushLibrary};
        OpenLayered(64, 48, 0x000000);
    }
    static int CountBrushes() {
        int n = 0;
        for (qzBrush* b = FirstBrush(); b; b = NextBrush(b)) n++;
        return n;
    }
};

}  // namespace

TEST_F(BrushLayers, FreedBrushLivesWhileALayerShowsIt) {
    ASSERT_EQ(vm->Run("CreateBrush", {1, 10, 10, 0xFF0000}), "");
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 5, 5}), "");
    EXPECT_EQ(Ids(), std::vector<int32_t>{1});
    EXPECT_EQ(Pixel(1, 14, 14), 0xFF0000u);

    ASSERT_EQ(vm->Run("FreeBrush", {1}), "");
    EXPECT_EQ(vm->Run("FreeBrush", {1}), "ERR 1174");
    ASSERT_EQ(vm->Run("CreateBrush", {1, 4, 4, 0x00FF00}), "");  // the number is free at once
    EXPECT_EQ(CountBrushes(), 2);
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 12, 12, qztest::Arg::Table({{"transparency", 0}})}), "");
    EXPECT_EQ(Pixel(1, 6, 6), 0xFF0000u);  // the freed brush, still drawn by its layer
    EXPECT_EQ(Pixel(1, 14, 14), 0x00FF00u);

    // The last layer that shows it goes, and the brush with it.
    DeleteLayerRecord(*vm, CurrentBGPic(), FirstLayer(CurrentBGPic()), 0, nullptr, nullptr, 0);
    EXPECT_EQ(CountBrushes(), 1);
    EXPECT_EQ(Pixel(1, 6, 6), 0x000000u);
}

TEST_F(BrushLayers, ChangedBrushLeavesLayersTheirLook) {
    ASSERT_EQ(vm->Run("CreateBrush", {1, 10, 10, 0xFF0000}), "");
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 5, 5}), "");
    ASSERT_EQ(vm->Run("ScaleBrush", {1, 4, 4}), "");
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 40, 5}), "");
    ASSERT_EQ(vm->Run("CropBrush", {1, 0, 0, 2, 2}), "");
    qzLayer* first = FirstLayer(CurrentBGPic());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->id.number, 0);  // the layer shows a private copy now
    EXPECT_EQ(Pixel(1, 14, 14), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 43, 8), 0xFF0000u);  // the second layer keeps the 4 x 4 look
    EXPECT_EQ(CountBrushes(), 3);
    // Drawn with options, a brush becomes a layer that keeps them.
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 30, 30, qztest::Arg::Table({{"scalex", 3}, {"name", "big"}})}), "");
    ASSERT_EQ(Ids().size(), 3u);
    qzLayer* last = LastLayer(CurrentBGPic());
    EXPECT_STREQ(last->name, "big");
    EXPECT_EQ(last->transform.matrix[0], 3);
    // "insertpos" names a layer by its name, and a position above the top is the top.
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 0, 0, qztest::Arg::Table({{"insertpos", "big"}, {"name", "under"}})}), "");
    EXPECT_STREQ(LastLayer(CurrentBGPic())->name, "big");
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 0, 0, qztest::Arg::Table({{"insertpos", 99}, {"name", "top"}})}), "");
    EXPECT_STREQ(LastLayer(CurrentBGPic())->name, "top");
    EXPECT_EQ(vm->Run("DisplayBrush", {1, 0, 0, qztest::Arg::Table({{"insertpos", "nosuch"}})}), "ERR 1369");
    EXPECT_EQ(vm->Run("DisplayBrushPart", {1, 2, 0, 0, 0, 1, 1}), "ERR 1217");
    EXPECT_EQ(Ids().size(), 5u);  // a refused draw makes no layer
}
