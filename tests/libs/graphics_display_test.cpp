// The graphics library's commands on headless displays: GetAttribute of displays and their
// pictures, clip regions set on the drawing target, pointers shown, hidden, moved and freed while
// shown, the colours a display shows, refresh blocks and snapshots.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "display/display_test_util.h"
#include "gfx/blit_test_util.h"
#include "gfx/safe_blt.h"
#include "libs/brush/brush_lib.h"
#include "libs/graphics/attributes.h"
#include "libs/graphics/graphics.h"
#include "platform/file_test_util.h"
#include "platform/host/pointer.h"

namespace graphics_display_test {

using qztest::Arg;

namespace {

constexpr int kTypeDisplay = 21, kTypeBGPic = 1, kTypeBox = 14, kTypePointer = 36, kTypeBrush = 3;
constexpr uint32_t kBack = 0x336699;

std::string Err(int code) { return "ERR " + std::to_string(code); }

class GraphicsDisplayTest : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzSystemLibrary, &qzDisplayLibrary, &qzBrushLibrary};
    }
    // Opens display 1 (100 x 50, titled) as the current display.
    qzDisplay* OpenOne() {
        OpenCurrent(1, Arg::Table({{"width", 100}, {"height", 50}, {"color", kBack}, {"title", "Graphics"}}));
        return Display(1);
    }
    std::string Attr(int type, Arg id, int attribute) { return vm->Run("GetAttribute", {type, id, attribute}); }
};

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}
int32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return (int32_t)(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | (uint32_t)b[at + 3] << 24);
}

}  // namespace

TEST_F(GraphicsDisplayTest, GetAttributeOfDisplaysAndTheirPictures) {
    EXPECT_EQ(Attr(kTypeDisplay, 0, ATTRWIDTH), Err(ERR_FINDDISPLAY));  // no current display
    EXPECT_EQ(Attr(kTypeDisplay, 0, ATTRCOUNT), "0");
    qzDisplay* d = OpenOne();
    const std::string borderRight = std::to_string(d->borderHorizontal - d->borderLeft);
    const std::string borderBottom = std::to_string(d->borderVertical - d->borderTop);
    const struct {
        int attribute;
        std::string expected;
    } rows[] = {
        {ATTRWIDTH, "100"},
        {ATTRHEIGHT, "50"},
        {ATTRTITLE, "\"Graphics\""},
        {ATTRSTATE, "1"},
        {ATTRBORDERLEFT, std::to_string(d->borderLeft)},
        {ATTRBORDERRIGHT, borderRight},
        {ATTRBORDERBOTTOM, borderBottom},
        {ATTRHOSTWIDTH, "1920"},
        {ATTRHOSTHEIGHT, "1080"},
        {ATTRMAXWIDTH, std::to_string(1920 - d->borderHorizontal)},
        {ATTRMAXHEIGHT, std::to_string(1080 - d->borderVertical)},
        {ATTRSCALEWIDTH, "100"},  // not scaled: the display's size
        {ATTRSCALEHEIGHT, "50"},
        {ATTROUTPUTDEVICE, "21, 1, 0"},
        {ATTRLAYERS, "0"},
        {ATTRLAYERSON, "0"},
        {ATTRDOUBLEBUFFER, "0"},
        {ATTRMASKMODE, "0"},
        {ATTRALPHAINTENSITY, "128"},
        {ATTRHOSTDEPTH, "32"},
        {ATTRPOINTER, "0"},
        {ATTRHOSTMONITORS, "2"},
        {ATTRCOUNT, "1"},
        {ATTRTEXT, Err(ERR_UNKNOWNATTR)},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(Attr(kTypeDisplay, 0, r.attribute), r.expected) << r.attribute;
        if (r.attribute != ATTRCOUNT) {
            EXPECT_EQ(Attr(kTypeDisplay, 1, r.attribute), r.expected) << r.attribute;
        }
    }
    EXPECT_EQ(Attr(kTypeDisplay, 2, ATTRWIDTH), Err(ERR_FINDDISPLAY));

    // Scaled, the display reports the scaled size and its picture keeps its own.
    vm->Ok("SetDisplayAttributes", {Arg::Table({{"scalemode", 1}, {"scalewidth", 300}, {"scaleheight", 150}})});
    EXPECT_EQ(Attr(kTypeDisplay, 0, ATTRSCALEWIDTH), "300");
    EXPECT_EQ(Attr(kTypeDisplay, 0, ATTRSCALEMODE), "1");
    EXPECT_EQ(Attr(kTypeDisplay, 0, ATTRWIDTH), "100");

    // The shown picture through the identifier the display gives.
    ASSERT_EQ(vm->CallFresh("GetAttribute", {kTypeDisplay, 0, ATTRBGPIC}), 0);
    const struct {
        int attribute;
        std::string expected;
    } pictureRows[] = {
        {ATTRWIDTH, "100"},
        {ATTRHEIGHT, "50"},
        {ATTRLAYERS, "0"},
        {ATTRHASMASK, "0"},
        {ATTRHASALPHA, "0"},
        {ATTRCLIPREGION, "0"},
        {ATTRTITLE, Err(ERR_UNKNOWNATTR)},
    };
    for (const auto& r : pictureRows) EXPECT_EQ(Attr(kTypeBGPic, qztest::V(1), r.attribute), r.expected) << r.attribute;
    EXPECT_EQ(Attr(kTypeBGPic, 77, ATTRWIDTH), Err(ERR_FINDBGPIC));
}

TEST_F(GraphicsDisplayTest, ClipRegionsOfTheDrawingTarget) {
    OpenOne();
    vm->Ok("CreateClipRegion", {1, kTypeBox, 10, 10, 40, 20});
    vm->Ok("CreateClipRegion", {2, kTypeBox, 80, 0, 30, 10});  // reaches beyond 100
    EXPECT_EQ(vm->Run("SetClipRegion", {2}), Err(ERR_WRONGCLIPREG));
    EXPECT_EQ(vm->Run("SetClipRegion", {9}), Err(ERR_FINDCLIPREGION));
    vm->Ok("SetClipRegion", {1});
    ASSERT_EQ(vm->CallFresh("GetAttribute", {kTypeDisplay, 0, ATTRBGPIC}), 0);
    EXPECT_EQ(Attr(kTypeBGPic, qztest::V(1), ATTRCLIPREGION), "1");
    // A new region's position constants resolve against the whole target, not the region set.
    vm->Ok("CreateClipRegion", {3, kTypeBox, -100000, -100000, 20, 10});
    EXPECT_EQ(Attr(35, 3, ATTRXPOS), "40");
    EXPECT_EQ(Attr(35, 3, ATTRYPOS), "20");
    // Freeing the region in use takes it off the picture; 0 removes it.
    vm->Ok("FreeClipRegion", {1});
    EXPECT_EQ(Attr(kTypeBGPic, qztest::V(1), ATTRCLIPREGION), "0");
    vm->Ok("SetClipRegion", {3});
    vm->Ok("SetClipRegion", {0});
    EXPECT_EQ(Attr(kTypeBGPic, qztest::V(1), ATTRCLIPREGION), "0");
    vm->Ok("SetClipRegion", {-1});
    // Not while a mask takes the drawing.
    Display(1)->outputKind = QZ_TYPE_MASK;
    EXPECT_EQ(vm->Run("SetClipRegion", {3}), Err(ERR_WRONGUSAGE));
    Display(1)->outputKind = QZ_TYPE_DISPLAY;
}

TEST_F(GraphicsDisplayTest, PointersShownHiddenMovedAndFreedWhileShown) {
    OpenOne();
    qzHostWindow* w = Window(1);
    const struct {
        std::vector<Arg> args;
        std::string expected;
    } refused[] = {
        {{5, kTypePointer, 7}, Err(ERR_WRONGUSAGE)},  // no such system pointer
        {{5, 99, 0}, Err(ERR_WRONGUSAGE)},
        {{5, kTypeBrush, 1}, Err(ERR_FINDBRUSH)},
    };
    for (const auto& r : refused) EXPECT_EQ(vm->Run("CreatePointer", r.args), r.expected) << r.args[1].Describe();

    vm->Ok("CreatePointer", {1, kTypePointer, STDPTR_BUSY});
    vm->Ok("CreatePointer", {2, kTypePointer, STDPTR_SYSTEM});
    EXPECT_EQ(Attr(kTypePointer, 1, ATTRWIDTH), "16");
    EXPECT_EQ(Attr(kTypePointer, 1, ATTRTYPE), "1");
    vm->Ok("SetPointer", {1});
    EXPECT_NE(w->cursor, nullptr);  // the busy pointer
    EXPECT_EQ(Attr(kTypeDisplay, 0, ATTRPOINTER), "1");

    // Freed while shown: gone for the script, kept until the display shows another.
    vm->Ok("FreePointer", {1});
    EXPECT_EQ(vm->Run("SetPointer", {1}), Err(ERR_FINDPOINTER));
    EXPECT_EQ(Attr(kTypePointer, 1, ATTRWIDTH), Err(ERR_FINDPOINTER));
    EXPECT_NE(w->cursor, nullptr);
    vm->Ok("SetPointer", {2});
    EXPECT_EQ(w->cursor, nullptr);  // the system arrow
    EXPECT_EQ(Attr(kTypePointer, 0, ATTRCOUNT), "1");

    // Hidden stays hidden across SetPointer.
    vm->Ok("HidePointer");
    EXPECT_EQ(w->pointerHidden, 1);
    vm->Ok("SetPointer", {2});
    EXPECT_EQ(w->pointerHidden, 1);
    vm->Ok("ShowPointer");
    EXPECT_EQ(w->pointerHidden, 0);

    // Positions resolve against the 16 x 16 pointer and the display.
    vm->Ok("MovePointer", {-100000, -60000});
    Pass();
    EXPECT_EQ(w->mouseX, (100 - 16) / 2);
    EXPECT_EQ(w->mouseY, 50 - 16);
}

TEST_F(GraphicsDisplayTest, ColoursRefreshBlocksAndSnapshots) {
    EXPECT_EQ(vm->Run("GetRealColor", {0x123456}), "1193046");
    qzDisplay* d = OpenOne();
    EXPECT_EQ(vm->Run("GetRealColor", {0x123456}), "1193046");  // 32-bit pixels keep every bit
    EXPECT_EQ(vm->Run("GetPen", {3}), "4294967295");            // no palette

    // A refresh block opens only when forced or scaled, once.
    vm->Ok("BeginRefresh");
    EXPECT_EQ(d->refreshBlock, 0);
    vm->Ok("BeginRefresh", {1});
    EXPECT_EQ(d->refreshBlock, 1);
    EXPECT_EQ(vm->Run("BeginRefresh", {1}), Err(ERR_WRONGUSAGE));
    // Drawn inside the block: the window shows it only at EndRefresh.
    blittest::BitMapPtr src = blittest::MakeBitMap(4, 4, [](int, int) { return 0xFFFF0000u; });
    SafeBlt(*vm, src.get(), 0, 0, nullptr, 2, 2, 4, 4, 4, 4, 100, 50, SAFEBLT_FORCEFIRSTBUFFER, nullptr, nullptr,
            nullptr);
    EXPECT_EQ(Pixel(1, 3, 3), kBack);
    vm->Ok("EndRefresh");
    EXPECT_EQ(d->refreshBlock, 0);
    EXPECT_EQ(Pixel(1, 3, 3), 0xFF0000u);

    // Snapshots: the display's picture, the window with its borders, the desktop.
    filetest::TempDir dir;
    const std::string file = dir / "snap.bmp";
    vm->Ok("SaveSnapshot", {file, 1});
    std::vector<uint8_t> bmp = ReadFile(file);
    ASSERT_EQ(bmp.size(), 54u + 50u * 300u);
    EXPECT_EQ(Le32(bmp, 18), 100);
    EXPECT_EQ(Le32(bmp, 22), 50);
    // Image row 3 is file row 46 (bottom-up); pixel 3 of it is red, pixel 20 the background.
    const size_t row = 54 + 46 * 300;
    EXPECT_EQ(bmp[row + 9], 0x00);
    EXPECT_EQ(bmp[row + 11], 0xFF);
    EXPECT_EQ(bmp[row + 60], 0x99);
    EXPECT_EQ(bmp[row + 62], 0x33);

    vm->Ok("SaveSnapshot", {file});  // the window: content and borders
    bmp = ReadFile(file);
    ASSERT_GE(bmp.size(), 54u);
    EXPECT_EQ(Le32(bmp, 18), 100 + d->borderHorizontal);
    EXPECT_EQ(Le32(bmp, 22), 50 + d->borderVertical);
    vm->Ok("SaveSnapshot", {file, 2, 1});  // the desktop as PNG
    EXPECT_EQ(ReadFile(file).size() > 8 && ReadFile(file)[1] == 'P', true);

    EXPECT_EQ(vm->Run("SaveSnapshot", {file, 3}), Err(ERR_WRONGUSAGE));
    EXPECT_EQ(vm->Run("SaveSnapshot", {file, 1, 99}), Err(ERR_UNKNOWNIMGOUT));
    vm->Ok("CloseDisplay", {1});
    EXPECT_EQ(vm->Run("SaveSnapshot", {file}), Err(ERR_CLOSEDDISPLAY));
}

TEST_F(GraphicsDisplayTest, VWaitKeepsTheFrameRateLimit) {
    vm->Ok("CreateDisplay", {1});
    vm->Ok("SelectDisplay", {1});
    qzDisplay* d = Display(1);
    vm->Ok("VWait");  // a closed display has no frames to pace
    EXPECT_EQ(d->frameTime.seconds, 0);
    EXPECT_EQ(d->frameTime.microseconds, 0);
    vm->Ok("OpenDisplay", {1});
    vm->Ok("SetFPSLimit", {20});
    vm->Ok("VWait");
    const auto start = std::chrono::steady_clock::now();
    vm->Ok("VWait");
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(40));  // a twentieth of a second, not a sixtieth
    EXPECT_NE(d->frameTime.seconds, 0);
}

TEST_F(GraphicsDisplayTest, BrushesAnswerGetAttributeAndBecomePointers) {
    OpenOne();
    vm->Ok("CreateBrush", {1, 20, 10, 0xFF0000, Arg::Table({{"mask", true}})});
    vm->Ok("CreateBrush", {2, 8, 6, 0x00FF00, Arg::Table({{"alphachannel", true}})});
    const struct {
        int id, attribute;
        std::string expected;
    } rows[] = {
        {1, ATTRWIDTH, "20"},
        {1, ATTRHEIGHT, "10"},
        {1, ATTRHASMASK, "1"},
        {1, ATTRHASALPHA, "0"},
        {2, ATTRHASMASK, "0"},
        {2, ATTRHASALPHA, "1"},
        {1, ATTRTYPE, "0"},
        {1, ATTRHARDWARE, "0"},
        {1, ATTRDISPLAY, "0"},
        {1, ATTRLOADER, "\"inbuilt\""},
        {0, ATTRCOUNT, "2"},
        {9, ATTRWIDTH, Err(ERR_FINDBRUSH)},
        {1, ATTRXPOS, Err(ERR_UNKNOWNATTR)},
    };
    for (const auto& r : rows) EXPECT_EQ(Attr(kTypeBrush, r.id, r.attribute), r.expected) << r.id << " " << r.attribute;

    // A brush becomes a pointer; a hot spot beyond it is cut to its last pixel, -1 is the middle.
    vm->Ok("CreatePointer", {3, kTypeBrush, 1, 30, -1});
    EXPECT_EQ(Attr(kTypePointer, 3, ATTRWIDTH), "20");
    EXPECT_EQ(Attr(kTypePointer, 3, ATTRTYPE), "2");
    vm->Ok("SetPointer", {3});
    qzHostCursor* cursor = Window(1)->cursor;
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(cursor->width, 20);
    EXPECT_EQ(cursor->hotX, 19);
    EXPECT_EQ(cursor->hotY, 5);
    vm->Ok("FreeBrush", {1});  // the pointer keeps its own image
    EXPECT_EQ(Window(1)->cursor, cursor);

    // A display's menu comes back as its identifier.
    EXPECT_EQ(Attr(kTypeDisplay, 0, ATTRMENU), "0");
    vm->Ok("CreateMenu", {4, Arg::List({Arg::List({"File", Arg::List({Arg::Table({{0, "Quit"}, {"id", "quit"}})})})})});
    vm->Ok("SetDisplayAttributes", {Arg::Table({{"menu", 4}})});
    EXPECT_EQ(Attr(kTypeDisplay, 0, ATTRMENU), "4");
}

namespace {
int draws = 0;
int CountDraw(void*, int32_t*) {
    draws++;
    return 0;
}
void NoFinish(void*, int32_t) {}
void NoFree(void*, int32_t, int32_t) {}
}  // namespace

TEST_F(GraphicsDisplayTest, AsyncDrawsDrawOnlyOnTheirDisplayAndIntoIt) {
    qzDisplay* d = OpenOne();
    qzAsyncDraw* object = nullptr;
    ASSERT_EQ(CreateAsyncDraw(ADF_FX, CountDraw, nullptr, NoFinish, NoFree, nullptr, nullptr, &object), 0);
    draws = 0;
    EXPECT_EQ(vm->Run("AsyncDrawFrame", {Arg::Pointer(object)}), "0");
    EXPECT_EQ(draws, 1);
    // Drawing that goes elsewhere refuses the frame with the selection's error.
    const struct {
        int32_t outputKind, doubleBuffer;
        int error;
    } refused[] = {
        {QZ_TYPE_MASK, 0, ERR_SELECTMASK},
        {QZ_TYPE_ALPHACHANNEL, 0, ERR_SELECTALPHACHANNEL},
        {QZ_TYPE_BRUSH, 0, ERR_SELECTBRUSH},
        {QZ_TYPE_DISPLAY, 1, ERR_ENDDOUBLEBUFFER},
    };
    for (const auto& r : refused) {
        d->outputKind = r.outputKind;
        d->doubleBuffer = r.doubleBuffer;
        EXPECT_EQ(vm->Run("AsyncDrawFrame", {Arg::Pointer(object)}), Err(r.error)) << r.outputKind;
    }
    d->outputKind = QZ_TYPE_DISPLAY;
    d->doubleBuffer = 0;
    // Another display is not the object's.
    vm->Ok("CreateDisplay", {2});
    vm->Ok("SelectDisplay", {2});
    EXPECT_EQ(vm->Run("AsyncDrawFrame", {Arg::Pointer(object)}), Err(ERR_ADFWRONGDISP));
    EXPECT_EQ(draws, 1);
    vm->Ok("SelectDisplay", {1});
    vm->Ok("CancelAsyncDraw", {Arg::Pointer(object)});
}

}  // namespace graphics_display_test
