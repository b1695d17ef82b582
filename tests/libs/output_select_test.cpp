// Output selection: drawing redirected into a brush, its mask or alpha channel, or a background
// picture, and back to the display; the selection's refusals; drawing into the displayed picture
// in layers mode, which shows nothing until EndSelect.
#include <gtest/gtest.h>

#include "display/layer_test_util.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/draw_modes.h"
#include "gfx/scale_bitmap.h"
#include "image/brush.h"
#include "image/output_select.h"
#include "libs/bgpic/bgpic_lib.h"
#include "libs/brush/brush_lib.h"
#include "libs/draw/draw.h"
#include "libs/text/text_lib.h"

namespace output_select_test {

using qztest::Arg;
using qztest::NilArg;

namespace {

class OutputSelect : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary,   &qzSystemLibrary,
                                  &qzLayersLibrary,   &qzDisplayLibrary, &qzBrushLibrary,
                                  &qzBGPicLibrary,    &qzDrawLibrary,    &qzTextLibrary};
    }
    void OpenPlain(int32_t width = 64, int32_t height = 48) {
        OpenCurrent(1, Arg::Table({{"width", width}, {"height", height}, {"color", 0}}));
    }
    static qzBrush* Brush(int number) {
        qzBrush* brush = nullptr;
        FindBrush(nullptr, {number, nullptr}, &brush, 0);
        return brush;
    }
    static qzBGPic* Picture(int number) {
        qzBGPic* pic = nullptr;
        FindBGPic(nullptr, {number, nullptr}, &pic, 0);
        return pic;
    }
    // The first draw into the selected output, as every drawing command begins it.
    int Update() { return UpdateSelectedOutput(*vm); }
};

}  // namespace

TEST_F(OutputSelect, RefusalsAndRepeats) {
    OpenPlain();
    vm->Ok("CreateBrush", {1, 8, 8, 0xFF0000});
    const struct {
        const char* command;
        std::vector<Arg> args;
        std::string expected;
    } rows[] = {
        {"EndSelect", {}, "ERR 1055"},
        {"SelectBrush", {9}, "ERR 1174"},
        {"SelectBrush", {1, 2}, "ERR 1055"},
        {"SelectMask", {1, 4}, "ERR 1014"},     // an anim frame needs its number
        {"SelectMask", {1, 4, 1}, "ERR 1176"},  // no such anim
        {"SelectAlphaChannel", {1, 7}, "ERR 1055"},
        {"SelectMask", {1, 22}, "ERR 1081"},         // no layer at that position
        {"SelectBGPic", {NilArg(), 0}, "ERR 1377"},  // the shown picture is not drawn into like a brush
        {"SelectBGPic", {NilArg()}, "ERR 1078"},     // layers mode needs layers
        {"SetAlphaIntensity", {256}, "ERR 1055"},
        {"SetAlphaIntensity", {-2}, "ERR 1055"},
        {"SetAlphaIntensity", {-1}, ""},
        {"SetAlphaIntensity", {"50%"}, ""},
        {"SetMaskMode", {MASKXOR}, ""},
    };
    for (const auto& r : rows) EXPECT_EQ(vm->Run(r.command, r.args), r.expected) << r.command;
    EXPECT_EQ(DrawModes().alphaIntensity, 127);
    EXPECT_EQ(DrawModes().maskMode, MASKXOR);

    // Selecting the same brush again changes nothing; the selected brush cannot be freed.
    ASSERT_EQ(vm->Run("SelectBrush", {1}), "");
    qzDisplay* d = CurrentDisplay();
    ASSERT_EQ(Update(), 0);
    ASSERT_EQ(vm->Run("SelectBrush", {1}), "");
    EXPECT_EQ(d->selectRecord->modified, 1);
    EXPECT_EQ(CurrentBGPic(), d->selectRecord);
    EXPECT_EQ(vm->Run("FreeBrush", {1}), "ERR 1149");
    ASSERT_EQ(vm->Run("EndSelect", {}), "");
    EXPECT_EQ(d->outputKind, QZ_OUTPUT_DISPLAY);
    EXPECT_EQ(CurrentBGPic(), d->bgpic);
    EXPECT_EQ(vm->Run("EndSelect", {}), "ERR 1055");
}

TEST_F(OutputSelect, DrawIntoBrushThenShowIt) {
    OpenPlain();
    vm->Ok("CreateBrush", {1, 10, 10, 0xFF0000});
    vm->Ok("CreateBrush", {2, 4, 4, 0x00FF00});
    ASSERT_EQ(vm->Run("SelectBrush", {1}), "");
    ASSERT_EQ(vm->Run("DisplayBrush", {2, 3, 3}), "");
    EXPECT_EQ(Pixel(1, 4, 4), 0x000000u);  // the window is untouched
    ASSERT_EQ(vm->Run("EndSelect", {}), "");
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 20, 20}), "");
    EXPECT_EQ(Pixel(1, 20, 20), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 23, 23), 0x00FF00u);
    EXPECT_EQ(Pixel(1, 29, 29), 0xFF0000u);
}

TEST_F(OutputSelect, ChannelOutputCreatesTheMissingChannel) {
    OpenPlain();
    vm->Ok("CreateBrush", {1, 8, 8, 0, Arg::Table({{"alphachannel", true}})});
    vm->Ok("CreateBrush", {2, 8, 8, 0, Arg::Table({{"mask", true}})});
    // A mask for a brush with an alpha channel: all visible, and the alpha channel goes.
    ASSERT_EQ(vm->Run("SelectMask", {1}), "");
    // Freeing a brush whose mask is selected would leave drawing writing into freed memory.
    EXPECT_EQ(vm->Run("FreeBrush", {1}), "ERR 1149");
    ASSERT_EQ(Update(), 0);
    qzBrush* one = Brush(1);
    ASSERT_NE(one->mask, nullptr);
    EXPECT_EQ(one->alpha, nullptr);
    EXPECT_EQ(ReadBitMapPixel(one->mask, 7, 7, 1), 1u);
    EXPECT_EQ(CurrentDisplay()->outputMask, one->mask);
    EXPECT_EQ(CurrentDisplay()->outputBitmap, nullptr);
    // Another selection ends this one first.
    ASSERT_EQ(vm->Run("SelectAlphaChannel", {2}), "");
    ASSERT_EQ(Update(), 0);
    qzBrush* two = Brush(2);
    ASSERT_NE(two->alpha, nullptr);
    EXPECT_EQ(two->mask, nullptr);
    qzLockInfo lock;
    ASSERT_TRUE(LockBitMapPixels(two->alpha, LOCKF_READONLY, &lock));
    EXPECT_EQ(static_cast<const uint8_t*>(lock.pixels)[7], 255);
    UnlockBitMapPixels(&lock);
    EXPECT_EQ(CurrentDisplay()->outputAlpha, two->alpha);
    ASSERT_EQ(vm->Run("EndSelect", {}), "");
    EXPECT_EQ(vm->Run("FreeBrush", {1}), "");
}

TEST_F(OutputSelect, DrawingIntoABrushLeavesLayersTheirCopy) {
    OpenLayered();
    vm->Ok("CreateBrush", {1, 8, 8, 0xFF0000});
    vm->Ok("CreateBrush", {2, 8, 8, 0x0000FF});
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 0, 0}), "");
    ASSERT_EQ(vm->Run("SelectBrush", {1}), "");
    EXPECT_EQ(CurrentDisplay()->layersEnabled, 0);  // drawing into the brush makes no layers
    ASSERT_EQ(Update(), 0);
    ASSERT_EQ(vm->Run("DisplayBrush", {2, 0, 0}), "");
    ASSERT_EQ(vm->Run("EndSelect", {}), "");
    EXPECT_EQ(CurrentDisplay()->layersEnabled, 1);
    EXPECT_EQ(ReadBitMapPixel(Brush(1)->bitmap, 2, 2, 0) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(FirstLayer(CurrentBGPic())->id.number, 0);  // the layer shows a private copy
    EXPECT_EQ(Pixel(1, 2, 2), 0xFF0000u);
}

TEST_F(OutputSelect, DrawingIntoAScaledPictureShowsInItsCopies) {
    OpenPlain();
    qzBGPic* pic = nullptr;
    ASSERT_EQ(CreateBlankBGPic({2, nullptr}, 20, 10, 0x000080, &pic), 0);
    ASSERT_EQ(ScaleBGPicCore(*vm, pic, 40, 20, 0), 0);
    vm->Ok("CreateBrush", {1, 5, 5, 0xFFFF00});
    ASSERT_EQ(vm->Run("SelectBGPic", {2, 0}), "");
    EXPECT_EQ(vm->Run("FreeBGPic", {2}), "ERR 1378");
    ASSERT_EQ(Update(), 0);
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 0, 0}), "");
    ASSERT_EQ(vm->Run("EndSelect", {}), "");
    EXPECT_EQ(ReadBitMapPixel(pic->origBitmap, 4, 4, 0) & 0xFFFFFF, 0xFFFF00u);
    EXPECT_EQ(ReadBitMapPixel(pic->scaledBitmap, 9, 9, 0) & 0xFFFFFF, 0xFFFF00u);
    EXPECT_EQ(ReadBitMapPixel(pic->bitmap, 11, 11, 0) & 0xFFFFFF, 0x000080u);
    EXPECT_EQ(pic->scaledWidth, 40);
}

TEST_F(OutputSelect, LayersModeShowsNothingUntilEndSelect) {
    OpenLayered();
    vm->Ok("CreateBrush", {1, 6, 6, 0x00FF00});
    ASSERT_EQ(vm->Run("SelectBGPic", {NilArg()}), "");
    EXPECT_EQ(CurrentDisplay()->outputKind, QZ_OUTPUT_BGPICLAYERS);
    EXPECT_EQ(vm->Run("SelectBGPic", {NilArg()}), "");  // already selected: nothing
    for (int i = 0; i < 3; i++) ASSERT_EQ(vm->Run("DisplayBrush", {1, 6 * i, 10}), "");
    EXPECT_EQ(Ids().size(), 3u);
    EXPECT_EQ(Pixel(1, 12, 12), 0x000000u);
    LogPresents();
    ASSERT_EQ(vm->Run("EndSelect", {}), "");
    EXPECT_EQ(Pixel(1, 12, 12), 0x00FF00u);
    EXPECT_EQ(Pixel(1, 16, 12), 0x00FF00u);
    // The three touching rectangles were merged into one presentation.
    EXPECT_EQ(presented, std::vector<std::string>{"0,10 18x6"});
}

// Every drawing command looks the selected brush up for change before its first draw, so a layer
// that shows the brush keeps its own copy, and a missing mask is made before it is drawn into.
TEST_F(OutputSelect, DrawingCommandsLookTheSelectionUpFirst) {
    OpenLayered();
    const struct {
        const char* command;
        std::vector<Arg> args;
    } rows[] = {
        {"DisplayBrush", {1, 0, 0}},
        {"Box", {0, 0, 6, 6, 0x0000FF}},
        {"Line", {0, 1, 7, 1, 0x0000FF}},
        {"Plot", {1, 1, 0x0000FF}},
        {"Cls", {0x0000FF}},
        {"TextOut", {0, 0, "##"}},
    };
    vm->Ok("CreateBrush", {1, 8, 8, 0x0000FF});
    ASSERT_EQ(vm->Run("SetFontColor", {0x0000FF}), "");
    int number = 10;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.command);
        ++number;
        vm->Ok("CreateBrush", {number, 8, 8, 0xFF0000});
        ASSERT_EQ(vm->Run("DisplayBrush", {number, 0, 0}), "");
        ASSERT_EQ(vm->Run("SelectBrush", {number}), "");
        ASSERT_EQ(vm->Run(r.command, r.args), "");
        ASSERT_EQ(vm->Run("EndSelect", {}), "");
        int drawn = 0, shownAsBefore = 0;
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 8; x++) {
                drawn += (ReadBitMapPixel(Brush(number)->bitmap, x, y, 0) & 0xFFFFFF) == 0x0000FFu;
                shownAsBefore += Pixel(1, x, y) == 0xFF0000u;
            }
        EXPECT_GT(drawn, 0);
        EXPECT_EQ(shownAsBefore, 64);  // the layer still shows the brush as it was
    }
    // A mask drawn into by a command is made first.
    vm->Ok("CreateBrush", {2, 8, 8, 0xFF0000});
    ASSERT_EQ(vm->Run("SelectMask", {2}), "");
    ASSERT_EQ(vm->Run("Plot", {1, 1, 0}), "");
    ASSERT_EQ(vm->Run("EndSelect", {}), "");
    EXPECT_NE(Brush(2)->mask, nullptr);
}

}  // namespace output_select_test
