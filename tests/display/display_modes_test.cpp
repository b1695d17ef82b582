// Monitors, screen modes, full screen with its backdrop, and the switch between window and full
// screen, on the headless driver's two monitors (1920 x 1080 and 1280 x 1024).
#include <string>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/display_monitors.h"
#include "display/display_test_util.h"

namespace display_modes_test {

using qztest::Arg;

TEST_F(DisplayTest, MonitorsAndSortedModes) {
    ASSERT_EQ(vm->CallFresh("GetMonitors"), 0);
    EXPECT_EQ(vm->Run("ListItems", {qztest::V(1)}), "2");
    EXPECT_EQ(vm->Run("GetDisplayModes", {0}), "ERR 1557");
    EXPECT_EQ(vm->Run("GetDisplayModes", {3}), "ERR 1557");
    ASSERT_EQ(vm->CallFresh("GetDisplayModes", {2}), 0);
    EXPECT_EQ(vm->Run("ListItems", {qztest::V(1)}), "4");
    ASSERT_EQ(vm->CallFresh("GetDisplayModes"), 0);
    EXPECT_EQ(vm->Run("ListItems", {qztest::V(1)}), "9");
    // Ascending by width, then height: 640 x 480 first, 1280 x 720 before 1280 x 1024.
    const char* fields[] = {"width", "height"};
    std::string firsts;
    for (int i : {0, 3, 4})
        for (const char* f : fields) {
            VmRawGetI(*vm, 1, i);
            VmPushString(*vm, f);
            VmGetTable(*vm, -2);
            firsts += std::to_string(int(VmToNumber(*vm, -1))) + " ";
            VmPop(*vm, 2);
        }
    EXPECT_EQ(firsts, "640 480 1280 720 1280 1024 ");
}

TEST_F(DisplayTest, FullScreenSwitchesTheModeAndRestoresIt) {
    OpenCurrent(1, Arg::Table({{"width", 100}, {"height", 50}}));
    vm->Ok("CreateDisplay", {2, Arg::Table({{"width", 640}, {"height", 480}, {"mode", "fullscreen"}})});
    vm->Ok("OpenDisplay", {2, true});
    qzDisplay* d = Display(2);
    EXPECT_EQ(d->fullScreen, 1);
    EXPECT_EQ(d->modeOptions.screenWidth, 640);
    EXPECT_EQ(d->modeOptions.screenHeight, 480);
    EXPECT_EQ(d->flags & (QZ_DISPF_BORDERLESS | QZ_DISPF_FIXED), uint32_t(QZ_DISPF_BORDERLESS | QZ_DISPF_FIXED));
    int32_t x = 0, y = 0, w = 0, h = 0;
    ASSERT_EQ(GetDisplayMonitorRect(d, &x, &y, &w, &h), 0);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    // Its backdrop is a second, borderless display behind it.
    EXPECT_EQ(CountDisplays(), 3);
    // Another full screen on the same monitor is refused and names the monitor.
    vm->Ok("CreateDisplay", {3, Arg::Table({{"width", 640}, {"height", 480}, {"mode", "fullscreen"}})});
    EXPECT_EQ(vm->CallErr("OpenDisplay", {3, true}), ERR_MONITORFULLSCREEN);
    EXPECT_EQ(GetErrorArgIndex(), 1);
    vm->Ok("FreeDisplay", {3});
    vm->Ok("CloseDisplay", {2});
    ASSERT_EQ(GetDisplayMonitorRect(d, &x, &y, &w, &h), 0);
    EXPECT_EQ(w, 1920);
    EXPECT_EQ(h, 1080);
    EXPECT_EQ(CountDisplays(), 2);
    EXPECT_EQ(CountWindows(), 1);
}

TEST_F(DisplayTest, FullScreenScreenSize) {
    OpenCurrent(1);
    const struct {
        int32_t width, height, screenWidth, wantWidth;
    } rows[] = {
        {2000, 1000, 0, 2000},
        {2000, 1000, 1920, 2000},  // too small a given width is dropped
        {800, 600, 0, 800},
    };
    for (const auto& r : rows) {
        vm->Ok(
            "CreateDisplay",
            {2, Arg::Table(
                    {{"width", r.width}, {"height", r.height}, {"mode", "fullscreen"}, {"scrwidth", r.screenWidth}})});
        vm->Ok("OpenDisplay", {2, true});
        EXPECT_EQ(Display(2)->modeOptions.screenWidth, r.wantWidth) << r.width;
        vm->Ok("FreeDisplay", {2});
    }
    EXPECT_EQ(CountWindows(), 1);
}

TEST_F(DisplayTest, ChangeDisplayModeRoundTrip) {
    OpenCurrent(1, Arg::Table({{"width", 320}, {"height", 200}, {"x", 40}, {"y", 30}, {"sizeable", 1}}));
    qzHostWindow* window = Window(1);
    vm->Ok("ChangeDisplayMode", {1});  // windowed already: nothing happens
    EXPECT_EQ(Window(1), window);
    EXPECT_EQ(vm->CallErr("ChangeDisplayMode", {5}), ERR_WRONGUSAGE);
    EXPECT_EQ(vm->CallErr("ChangeDisplayMode", {2, 100, 100}), ERR_WRONGUSAGE);  // smaller than the display
    vm->Ok("ChangeDisplayMode", {2});
    qzDisplay* d = Display(1);
    EXPECT_EQ(d->fullScreen, 1);
    EXPECT_EQ(d->flags & QZ_DISPF_SIZEABLE, 0u);
    vm->Ok("ChangeDisplayMode", {1});
    EXPECT_EQ(d->fullScreen, 0);
    EXPECT_EQ(d->x, 40);
    EXPECT_EQ(d->y, 30);
    EXPECT_EQ(d->flags & QZ_DISPF_SIZEABLE, uint32_t(QZ_DISPF_SIZEABLE));
    int32_t x = 0, y = 0, w = 0, h = 0;
    ASSERT_EQ(GetDisplayMonitorRect(d, &x, &y, &w, &h), 0);
    EXPECT_EQ(w, 1920);
    EXPECT_EQ(CountDisplays(), 1);
    EXPECT_EQ(CountWindows(), 1);
    vm->Ok("CloseDisplay", {1});
    EXPECT_EQ(vm->CallErr("ChangeDisplayMode", {2}), ERR_CLOSEDDISPLAY);
}

}  // namespace display_modes_test
