// Sprites on a headless display without layers: the rectangles a move, a frame change and a
// removal present, and the counts of the resource monitor.
#include <gtest/gtest.h>

#include "display/layer_test_util.h"
#include "libs/bgpic/bgpic_lib.h"
#include "libs/brush/brush_lib.h"
#include "libs/draw/draw.h"
#include "libs/graphics/graphics.h"
#include "libs/sprite/sprite_lib.h"

namespace {

class SpriteTest : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzDrawLibrary,   &qzEventLibrary,
                                  &qzSystemLibrary,   &qzLayersLibrary, &qzDisplayLibrary,
                                  &qzBrushLibrary,    &qzBGPicLibrary,  &qzSpriteLibrary};
        OpenCurrent(1, qztest::Arg::Table({{"width", 200}, {"height", 150}, {"color", 0}}));
        // Sprite 1: two 32 x 32 frames of a red and green brush.
        vm->Ok("CreateBrush", {1, 64, 32, 0xFF0000});
        vm->Ok("SetFillStyle", {1});
        vm->Ok("SelectBrush", {1});
        vm->Ok("Box", {32, 0, 32, 32, 0x00FF00});
        vm->Ok("EndSelect", {});
        vm->Ok("CreateSprite", {1, 3, 1, 32, 32, 2});
        vm->Ok("CreateSprite", {2, 3, 1});
    }
    // What the call presents on the display.
    std::vector<std::string> Presented(const char* command, const std::vector<qztest::Arg>& args) {
        presented.clear();
        EXPECT_EQ(vm->Run(command, args), "") << command;
        return presented;
    }
};

}  // namespace

TEST_F(SpriteTest, MovesAndFramesPresentOnlyWhatChanged) {
    LogPresents();
    using Rects = std::vector<std::string>;
    EXPECT_EQ(Presented("DisplaySprite", {1, 10, 10}), Rects{"10,10 32x32"});
    // Moved by 8: one rectangle over both places; by 100: the old place, then the new one.
    EXPECT_EQ(Presented("DisplaySprite", {1, 18, 10}), Rects{"10,10 40x32"});
    EXPECT_EQ(Presented("DisplaySprite", {1, 118, 10}), (Rects{"18,10 32x32", "118,10 32x32"}));
    // The same place and frame: nothing; frame 0 goes on to frame 2, then wraps to frame 1.
    EXPECT_EQ(Presented("DisplaySprite", {1, 118, 10, 1}), Rects{});
    EXPECT_EQ(Presented("DisplaySprite", {1, 118, 10, 0}), Rects{"118,10 32x32"});
    EXPECT_EQ(Pixel(1, 120, 12), 0x00FF00u);
    EXPECT_EQ(Presented("DisplaySprite", {1, 118, 10, 0}), Rects{"118,10 32x32"});
    EXPECT_EQ(Pixel(1, 120, 12), 0xFF0000u);
    // Cut to the picture at its edge.
    EXPECT_EQ(Presented("DisplaySprite", {1, 190, 140}), (Rects{"118,10 32x32", "190,140 10x10"}));
    EXPECT_EQ(Presented("RemoveSprite", {1}), Rects{"190,140 10x10"});
    EXPECT_EQ(Pixel(1, 195, 145), 0x000000u);
}

TEST_F(SpriteTest, ResourceMonitorCountsSprites) {
    vm->Ok("DisplaySprite", {2, 0, 0});
    const std::string text = BuildResourceMonitorText();
    EXPECT_NE(text.find("Sprites (on screen) 1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Sprites (total)     2\n"), std::string::npos) << text;
}

TEST_F(SpriteTest, PointersAndBrushesFromFrames) {
    EXPECT_EQ(vm->Run("CreatePointer", {5, 32, 1, 2}), "");
    EXPECT_EQ(vm->Run("CreatePointer", {6, 32, 1, 3}), "ERR 1094");
    EXPECT_EQ(vm->Run("CreatePointer", {6, 32, 9}), "ERR 1219");
    EXPECT_EQ(vm->Run("GetBrushLink", {7, 32, 1, 2}), "");
    EXPECT_EQ(vm->Run("GetAttribute", {3, 7, 0}), "32");
    EXPECT_EQ(vm->Run("DisplayBrush", {7, 0, 0}), "");
    EXPECT_EQ(Pixel(1, 5, 5), 0x00FF00u);
}
