// GrabDesktop on the headless driver's virtual screen: the whole monitor and a part of it, as the
// window shows them, and the checks of the rectangle; and on a private X server under the SDL
// driver, compared with ImageMagick's `import -window root`.
#include <chrono>
#include <thread>

#include "../gfx/image_oracle.h"
#include "base/error_codes.h"
#include "display/display_test_util.h"
#include "gfx/bitmap_pixels.h"
#include "image/brush.h"
#include "libs/brush/brush_lib.h"
#include "libs/graphics/graphics.h"
#include "platform/xvfb_server.h"

namespace brush_grab_test {

using qztest::Arg;

namespace {

class BrushGrabTest : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzSystemLibrary, &qzDisplayLibrary, &qzBrushLibrary};
    }
    qzBrush* Brush(int number) {
        for (qzBrush* b = FirstBrush(); b; b = NextBrush(b))
            if (!b->layeronly && b->header.id.number == number && !b->header.id.pointer) return b;
        return nullptr;
    }
};

}  // namespace

TEST_F(BrushGrabTest, GrabsWhatTheWindowsShow) {
    EXPECT_EQ(vm->Run("GrabDesktop", {1}), "ERR " + std::to_string(ERR_GETMONITORINFO));  // no display
    OpenCurrent(1, Arg::Table({{"width", 64}, {"height", 40}, {"color", 0x336699}}));
    qzHostWindow* window = Window(1);
    ASSERT_NE(window, nullptr);
    qzHostMonitor monitor;
    ASSERT_EQ(HostDriver()->monitorBounds(0, &monitor), 0);

    ASSERT_EQ(vm->Run("GrabDesktop", {1}), "");
    qzBrush* whole = Brush(1);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->width, monitor.width);
    EXPECT_EQ(whole->height, monitor.height);
    EXPECT_EQ(whole->mask, nullptr);
    EXPECT_EQ(whole->alpha, nullptr);
    const int32_t wx = window->x - monitor.x, wy = window->y - monitor.y;
    EXPECT_EQ(ReadBitMapPixel(whole->bitmap, wx + 5, wy + 7, 0), Pixel(1, 5, 7));

    // The window's rectangle alone; a size beyond the monitor is cut to it.
    ASSERT_EQ(vm->Run("GrabDesktop", {2, Arg::Table({{"x", wx}, {"y", wy}, {"width", 64}, {"height", 40}})}), "");
    qzBrush* part = Brush(2);
    ASSERT_EQ(part->width, 64);
    for (int y = 0; y < 40; y++)
        for (int x = 0; x < 64; x++) ASSERT_EQ(ReadBitMapPixel(part->bitmap, x, y, 0), Pixel(1, x, y)) << x << "," << y;
    ASSERT_EQ(vm->Run("GrabDesktop", {3, Arg::Table({{"x", monitor.width - 10}, {"width", 1000}, {"height", 1}})}), "");
    EXPECT_EQ(Brush(3)->width, 10);

    const struct {
        std::vector<std::pair<Arg, Arg>> rect;
    } bad[] = {
        {{{"x", -1}}},
        {{{"y", -5}}},
        {{{"width", 0}}},
        {{{"x", monitor.width}}},
        {{{"y", monitor.height}, {"height", 10}}},
    };
    for (const auto& b : bad) EXPECT_EQ(vm->Run("GrabDesktop", {2, Arg::Table(b.rect)}), "ERR 1055");
    EXPECT_EQ(Brush(2)->width, 64);  // kept by every failure
}

TEST(BrushGrabX11, MatchesTheRootWindow) {
    if (!HaveProgram("Xvfb") || !HaveProgram("import")) GTEST_SKIP() << "Xvfb and ImageMagick are needed";
    XServer server;
    ASSERT_TRUE(server.Start("320x240x24"));
    setenv("DISPLAY", server.display.c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("SDL_VIDEODRIVER");
    setenv("QUARNELIX_DRIVER", "sdl", 1);
    std::string message;
    ASSERT_EQ(MacInitPlatform(&message), 0) << message;
    {
        qztest::Commands vm{&qzGraphicsLibrary, &qzSystemLibrary, &qzDisplayLibrary, &qzBrushLibrary};
        vm.Ok(
            "CreateDisplay",
            {1, Arg::Table(
                    {{"width", 80}, {"height", 60}, {"x", 40}, {"y", 30}, {"color", 0x21C47A}, {"borderless", true}})});
        vm.Ok("OpenDisplay", {1});
        // Grabs until the window shows on the screen.
        qzBrush* brush = nullptr;
        for (int i = 0; i < 200; i++) {
            int error = 0;
            MacHandleEvents(vm, &error);
            ASSERT_EQ(vm.Run("GrabDesktop", {1}), "");
            brush = FirstBrush();
            if (ReadBitMapPixel(brush->bitmap, 70, 50, 0) == 0x21C47A) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_EQ(brush->width, 320);
        ASSERT_EQ(brush->height, 240);
        ASSERT_EQ(ReadBitMapPixel(brush->bitmap, 70, 50, 0), 0x21C47Au);
        gfxtest::TempDir dir;
        ASSERT_EQ(gfxtest::Run("import -window root -depth 8 " + dir.File("root.ppm")), 0);
        const gfxtest::Picture root = gfxtest::ReadPnm(dir.File("root.ppm"));
        ASSERT_EQ(root.width, 320);
        int differ = 0;
        for (int y = 0; y < 240; y++)
            for (int x = 0; x < 320; x++)
                differ += (ReadBitMapPixel(brush->bitmap, x, y, 0) & 0xFFFFFF) != root.at(x, y);
        EXPECT_EQ(differ, 0);
    }
    MacShutdownPlatform();
    unsetenv("DISPLAY");
    unsetenv("QUARNELIX_DRIVER");
}

}  // namespace brush_grab_test
