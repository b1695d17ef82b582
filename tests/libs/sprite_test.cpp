// Sprites on a headless display without layers: the rectangles a move, a frame change and a
// removal present, and the counts of the resource monitor.
#include <gtest/gtest.h>

#include "display/display_links.h"
#include "display/layer_test_util.h"
#include "gfx/bitmap_pixels.h"
#include "libs/bgpic/bgpic_lib.h"
#include "libs/brush/brush_lib.h"
#include "libs/draw/draw.h"
#include "libs/graphics/graphics.h"
#include "libs/moveobject/moveobject_lib.h"
#include "libs/sprite/sprite_lib.h"
#include "runtime/runtime.h"
#include "sprite/sprite.h"

namespace sprite_test {

namespace {

class SpriteTest : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzDrawLibrary,      &qzEventLibrary, &qzSystemLibrary,
                                  &qzLayersLibrary,   &qzDisplayLibrary,   &qzBrushLibrary, &qzBGPicLibrary,
                                  &qzSpriteLibrary,   &qzMoveObjectLibrary};
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

// A sprite made while objects are preloaded keeps its frames' pixels; when the display is
// prepared its colour bitmaps and masks are made again from them (same pixels, same holes) and
// the pixels go. Sprites made later keep none, and mirrored frames drop theirs.
TEST_F(SpriteTest, FramesOfPreloadedSpritesAreMadeAgainForTheDisplay) {
    // Brush 2: 64 x 32, blue, with a transparent black box in each 32 x 32 half.
    vm->Ok("CreateBrush", {2, 64, 32, 0x0000FF});
    vm->Ok("SelectBrush", {2});
    vm->Ok("Box", {4, 4, 8, 8, 0});
    vm->Ok("Box", {40, 20, 8, 8, 0});
    vm->Ok("EndSelect", {});
    vm->Ok("SetBrushTransparency", {2, 0});
    SetRuntimeAttrs(*vm, {{QZ_RTA_PRELOADING, 1}});
    vm->Ok("CreateSprite", {3, 3, 2, 32, 32, 2});
    vm->Ok("CreateSprite", {4, 3, 2, 32, 32, 2});
    SetRuntimeAttrs(*vm, {{QZ_RTA_PRELOADING, 0}});
    vm->Ok("CreateSprite", {5, 3, 2, 32, 32, 2});
    auto find = [&](int id) {
        qzSprite* sprite = nullptr;
        EXPECT_EQ(FindSprite(*vm, {id, nullptr}, &sprite, 0), 0);
        return sprite;
    };
    EXPECT_EQ(vm->Run("FlipSprite", {4, 0}), "");
    EXPECT_EQ(find(4)->frames[0].saved, nullptr);
    EXPECT_EQ(find(5)->frames[0].saved, nullptr);
    qzSprite* sprite = find(3);
    ASSERT_EQ(sprite->frames.size(), 2u);
    std::vector<qzSpriteFrame> before = sprite->frames;
    for (const qzSpriteFrame& f : before) ASSERT_NE(f.saved, nullptr);

    ASSERT_EQ(DisplayLinks().recreateSpriteFrames(*vm), 0);
    for (size_t i = 0; i < 2; i++) {
        const qzSpriteFrame& f = sprite->frames[i];
        EXPECT_EQ(f.saved, nullptr);
        EXPECT_NE(f.bitmap, before[i].bitmap);
        ASSERT_NE(f.mask, nullptr);
        EXPECT_NE(f.mask, before[i].mask);
    }
    const struct {
        int frame, x, y;
        uint32_t colour, maskBit;
    } rows[] = {{0, 0, 0, 0x0000FF, 1}, {0, 5, 5, 0, 0},        {0, 12, 12, 0x0000FF, 1}, {0, 9, 21, 0x0000FF, 1},
                {1, 9, 21, 0, 0},       {1, 5, 5, 0x0000FF, 1}, {1, 31, 31, 0x0000FF, 1}};
    for (const auto& r : rows) {
        const qzSpriteFrame& f = sprite->frames[size_t(r.frame)];
        EXPECT_EQ(ReadBitMapPixel(f.bitmap, r.x, r.y, 0), r.colour) << r.frame << " " << r.x << "," << r.y;
        EXPECT_EQ(ReadBitMapPixel(f.mask, r.x, r.y, 1), r.maskBit) << r.frame << " " << r.x << "," << r.y;
    }
    // Shown, the holes let the picture through.
    vm->Ok("DisplaySprite", {3, 100, 50, 2});
    EXPECT_EQ(Pixel(1, 109, 71), 0x000000u);
    EXPECT_EQ(Pixel(1, 105, 55), 0x0000FFu);
}

// A moving link sprite holds the sprites it shows: none of them can be freed, replaced, taken off
// the picture or changed until the move ends, and then every one of them is free again.
TEST_F(SpriteTest, MovingLinkSpriteHoldsItsSprites) {
    using qztest::Arg;
    vm->Ok("CreateSprite", {3, 3, 1, 32, 32, 1});
    vm->Ok("CreateSprite", {4, 32, Arg::List({1, 3}, 0)});
    vm->Ok("DisplaySprite", {3, 150, 100});
    EXPECT_EQ(vm->Run("MoveSprite", {4, 5, 5, 5, 5}), "");  // ends at once
    ASSERT_EQ(vm->CallFresh("MoveSprite", {4, 0, 0, 40, 0, Arg::Table({{"async", 1}})}), 0);
    const struct {
        const char* command;
        std::vector<Arg> args;
    } held[] = {
        {"FreeSprite", {1}},          {"RemoveSprite", {3}},       {"RemoveSprites", {}},  {"FlipSprite", {1, 0}},
        {"ScaleSprite", {1, 64, 64}}, {"CreateSprite", {3, 3, 1}}, {"CopySprite", {2, 1}}, {"FreeSprite", {4}},
    };
    for (const auto& r : held) EXPECT_EQ(vm->Run(r.command, r.args), "ERR 1314") << r.command;
    int frames = 0;
    while (vm->Run("AsyncDrawFrame", {qztest::V(1)}) == "0" && frames < 20) frames++;
    EXPECT_LT(frames, 20);                                 // the move ended
    EXPECT_EQ(vm->Run("FlipSprite", {1, 0}), "ERR 1228");  // linked, no longer held
    EXPECT_EQ(vm->Run("RemoveSprite", {3}), "");
    EXPECT_EQ(vm->Run("FreeSprite", {1}), "");
    EXPECT_EQ(vm->Run("DisplaySprite", {4, 0, 0}), "ERR 1219");  // went with sprite 1
}

}  // namespace sprite_test
