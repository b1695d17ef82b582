// Double buffering: drawing reaches the window only at Flip, each Flip presents once what changed
// (or the whole picture when the changed-rectangle list fills up), EndDoubleBuffer leaves the last
// frame, and a selection parks double buffering until EndSelect.
#include <gtest/gtest.h>

#include "display/layer_test_util.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "image/output_select.h"
#include "libs/bgpic/bgpic_lib.h"
#include "libs/brush/brush_lib.h"

namespace double_buffer_test {

using qztest::Arg;

namespace {

class DoubleBuffer : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary, &qzLayersLibrary,
                                  &qzDisplayLibrary,  &qzBrushLibrary, &qzBGPicLibrary};
        OpenCurrent(1, Arg::Table({{"width", 64}, {"height", 48}, {"color", 0}}));
        vm->Ok("CreateBrush", {1, 4, 4, 0xFF0000});
        vm->Ok("CreateBrush", {2, 4, 4, 0x00FF00});
    }
};

}  // namespace

TEST_F(DoubleBuffer, Refusals) {
    const struct {
        const char* command;
        std::vector<Arg> args;
        std::string expected;
    } rows[] = {
        {"Flip", {false}, "ERR 1244"}, {"EndDoubleBuffer", {}, "ERR 1244"},
        {"BeginDoubleBuffer", {}, ""}, {"BeginDoubleBuffer", {}, "ERR 1229"},
        {"EndSelect", {}, "ERR 1055"}, {"EndDoubleBuffer", {}, ""},
        {"SelectBrush", {1}, ""},      {"BeginDoubleBuffer", {}, "ERR 1082"},
        {"SelectMask", {1}, ""},       {"BeginDoubleBuffer", {}, "ERR 1147"},
        {"EndSelect", {}, ""},
    };
    for (const auto& r : rows) EXPECT_EQ(vm->Run(r.command, r.args), r.expected) << r.command;
    CurrentDisplay()->layersEnabled = 1;
    EXPECT_EQ(vm->Run("BeginDoubleBuffer", {}), "ERR 1162");
}

TEST_F(DoubleBuffer, NothingReachesTheWindowBeforeFlip) {
    LogPresents();
    ASSERT_EQ(vm->Run("BeginDoubleBuffer", {}), "");
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 10, 10}), "");
    ASSERT_EQ(vm->Run("DisplayBrush", {2, 12, 12}), "");  // overlaps the first: one rectangle
    ASSERT_EQ(vm->Run("DisplayBrush", {2, 40, 30}), "");
    EXPECT_EQ(Pixel(1, 10, 10), 0x000000u);
    EXPECT_TRUE(presented.empty());
    ASSERT_EQ(vm->Run("Flip", {false}), "");
    EXPECT_EQ(Pixel(1, 10, 10), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 13, 13), 0x00FF00u);
    EXPECT_EQ(Pixel(1, 41, 31), 0x00FF00u);
    EXPECT_EQ(presented, (std::vector<std::string>{"10,10 6x6", "40,30 4x4"}));
    // A flip with nothing changed presents nothing; the last frame stays after the end.
    presented.clear();
    ASSERT_EQ(vm->Run("Flip", {false}), "");
    EXPECT_TRUE(presented.empty());
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 40, 30}), "");
    ASSERT_EQ(vm->Run("EndDoubleBuffer", {}), "");
    EXPECT_EQ(Pixel(1, 41, 31), 0x00FF00u);
    EXPECT_EQ(CurrentDisplay()->outputKind, QZ_OUTPUT_DISPLAY);
    EXPECT_EQ(CurrentBGPic(), CurrentDisplay()->bgpic);
    EXPECT_EQ(ReadBitMapPixel(CurrentDisplay()->displayBuffer, 41, 31, 0) & 0xFFFFFF, 0xFF0000u);
}

TEST_F(DoubleBuffer, AFullRectangleListFlipsTheWholePicture) {
    LogPresents();
    ASSERT_EQ(vm->Run("BeginDoubleBuffer", {}), "");
    // More separate rectangles than the list holds: none is lost, the whole picture is shown.
    for (int i = 0; i <= QZ_OUTPUT_RECTS; i++)
        ASSERT_EQ(vm->Run("DisplayBrush", {1, (i % 8) * 8, (i / 8) % 6 * 8}), "");
    ASSERT_EQ(vm->Run("Flip", {false}), "");
    EXPECT_EQ(presented, std::vector<std::string>{"0,0 64x48"});
    EXPECT_EQ(Pixel(1, 56, 40), 0xFF0000u);
}

TEST_F(DoubleBuffer, ASelectionParksDoubleBuffering) {
    ASSERT_EQ(vm->Run("BeginDoubleBuffer", {}), "");
    qzDisplay* d = CurrentDisplay();
    qzBitMap* back = d->outputBitmap;
    ASSERT_EQ(vm->Run("SelectBrush", {1}), "");
    EXPECT_EQ(d->doubleBufferSelectParked, 1);
    EXPECT_EQ(vm->Run("Flip", {false}), "ERR 1244");
    ASSERT_EQ(vm->Run("DisplayBrush", {2, 0, 0}), "");  // into the brush, not the back buffer
    ASSERT_EQ(vm->Run("EndSelect", {}), "");
    EXPECT_EQ(d->doubleBuffer, 1);
    EXPECT_EQ(d->outputBitmap, back);
    EXPECT_EQ(CurrentBGPic(), d->doubleBufferTarget);
    EXPECT_EQ(ReadBitMapPixel(back, 0, 0, 0) & 0xFFFFFF, 0u);
    // Ending double buffering ends a selection that parked it first.
    ASSERT_EQ(vm->Run("SelectBrush", {2}), "");
    ASSERT_EQ(vm->Run("EndDoubleBuffer", {}), "");
    EXPECT_EQ(d->outputKind, QZ_OUTPUT_DISPLAY);
    EXPECT_EQ(d->doubleBufferSelectParked, 0);
    EXPECT_EQ(vm->Run("FreeBrush", {2}), "");
}

}  // namespace double_buffer_test
