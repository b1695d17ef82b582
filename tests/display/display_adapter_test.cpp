// With a display-adapter plugin installed, every window operation of a display goes to the
// plugin's entry points instead of the built-in back end.
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "display/display_present.h"
#include "display/display_test_util.h"
#include "platform/plugin_api.h"
#include "platform/plugin_display_adapter.h"

namespace display_adapter_test {

using qztest::Arg;

namespace {

std::vector<std::string> calls;
int handleStore = 0;
void* const kHandle = &handleStore;
bool refuseOpen = false;

std::string Tag(const qzTagItem* tags, uint32_t tag) {
    for (const qzTagItem* t = tags; t && t->tag; t++)
        if (t->tag == tag) return std::to_string(t->value);
    return "-";
}

void* OpenDisplayEntry(VmState*, const char* title, int x, int y, int w, int h, const qzTagItem* tags) {
    calls.push_back("open " + std::string(title) + " " + std::to_string(x) + "," + std::to_string(y) + " " +
                    std::to_string(w) + "x" + std::to_string(h) + " picture " + Tag(tags, 1) + "x" + Tag(tags, 2) +
                    " monitor " + Tag(tags, 6) + " scaled " + Tag(tags, 10) + " smooth " + Tag(tags, 12));
    return refuseOpen ? nullptr : kHandle;
}
void CloseDisplayEntry(void* d) { calls.push_back(d == kHandle ? "close" : "close ?"); }
int BordersEntry(void*, int32_t b[4]) {
    b[0] = 1, b[1] = 2, b[2] = 20, b[3] = 3;
    return 0;
}
int TitleEntry(void*, const char* title) {
    calls.push_back("title " + std::string(title));
    return 0;
}
int SizeMoveEntry(void*, int x, int y, int w, int h) {
    calls.push_back("sizemove " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(w) + "x" +
                    std::to_string(h));
    return 0;
}
int BltEntry(void*, int sx, int sy, void*, int dx, int dy, int w, int h, const qzTagItem* tags) {
    calls.push_back("blt " + std::to_string(sx) + "," + std::to_string(sy) + " to " + std::to_string(dx) + "," +
                    std::to_string(dy) + " " + std::to_string(w) + "x" + std::to_string(h) + " scaled " +
                    Tag(tags, QZ_BLTTAG_SCALEDWIDTH) + "x" + Tag(tags, QZ_BLTTAG_SCALEDHEIGHT));
    return 0;
}
int RectFillEntry(void*, int x1, int y1, int x2, int y2, uint32_t colour, const qzTagItem*) {
    calls.push_back("fill " + std::to_string(x1) + "," + std::to_string(y1) + "-" + std::to_string(x2) + "," +
                    std::to_string(y2) + " " + std::to_string(colour));
    return 0;
}
int ShowHideEntry(void*, int show) {
    calls.push_back(show ? "show" : "hide");
    return 0;
}
int ShowHidePointerEntry(void*, int) { return 0; }
int SetPointerEntry(void*, void*) { return 0; }

class AdapterTest : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        calls.clear();
        refuseOpen = false;
        info.capabilities = QZ_PLUGINCAPS_DISPLAYADAPTER;
        info.OpenDisplay = OpenDisplayEntry;
        info.CloseDisplay = CloseDisplayEntry;
        info.DetermineBorderSizes = BordersEntry;
        info.SetDisplayTitle = TitleEntry;
        info.SizeMoveDisplay = SizeMoveEntry;
        info.BltBitMap = BltEntry;
        info.RectFill = RectFillEntry;
        info.ShowHideDisplay = ShowHideEntry;
        info.ShowHidePointer = ShowHidePointerEntry;
        info.SetPointer = SetPointerEntry;
        UsePluginAsDisplayAdapter(&info, 0);
    }
    void TearDown() override {
        delete vm;
        vm = nullptr;
        ClearPluginDisplayAdapter();
        MacShutdownPlatform();
    }
    qzPluginInfo info{};
};

}  // namespace

TEST_F(AdapterTest, WindowOperationsGoToThePlugin) {
    vm->Ok("CreateDisplay", {1, Arg::Table({{"width", 40},
                                            {"height", 20},
                                            {"x", 5},
                                            {"y", 6},
                                            {"title", "T"},
                                            {"scalemode", 1},
                                            {"scalewidth", 80},
                                            {"scaleheight", 40}})});
    vm->Ok("OpenDisplay", {1});
    qzDisplay* d = Display(1);
    EXPECT_EQ(d->nativeHandle, kHandle);
    EXPECT_EQ(d->window, nullptr);
    EXPECT_EQ(CountWindows(), 0);  // nothing of the built-in back end
    EXPECT_EQ(d->borderLeft, 1);
    EXPECT_EQ(d->borderTop, 20);
    EXPECT_EQ(d->borderHorizontal, 3);
    EXPECT_EQ(d->borderVertical, 23);
    // The adapter opens the window, then the whole picture is shown: scaled by the adapter when it
    // scales by itself, else scaled here first.
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0], "open T 5,6 80x40 picture 40x20 monitor 0 scaled 80 smooth 0");
    EXPECT_EQ(calls[1], "blt 0,0 to 0,0 80x40 scaled 0x0");
    calls.clear();
    vm->Ok("SetTitle", {"U"});
    vm->Ok("HideDisplay");
    vm->Ok("ShowDisplay");
    DisplayRectFill(d, 2, 3, 4, 5, 0x123456);
    vm->Ok("CloseDisplay", {1});
    EXPECT_EQ(d->nativeHandle, nullptr);
    EXPECT_EQ(calls, (std::vector<std::string>{"title U", "hide", "show", "fill 2,3-5,7 1193046", "close"}));

    // An adapter that does not open the window: "Unable to open window!".
    refuseOpen = true;
    EXPECT_EQ(vm->CallErr("OpenDisplay", {1}), ERR_WINDOW);
    EXPECT_EQ(d->state, QZ_DISPSTATE_CLOSED);
}

}  // namespace display_adapter_test
