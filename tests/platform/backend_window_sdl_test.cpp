// The window side on the SDL driver: under SDL_VIDEODRIVER=dummy (fades and their reservation),
// and on a private X server, where the window the user sees is read back with ImageMagick's
// `import` and compared with the same drawing in the headless framebuffer, its title and geometry
// are checked with xprop and xwininfo, and the desktop grab reads the X server.
#include <png.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "base/pixel_format_codes.h"
#include "platform/host/backend_draw.h"
#include "platform/host/backend_window.h"
#include "platform/host_test_util.h"
#include "platform/xvfb_server.h"

namespace backend_window_sdl_test {

namespace {

// Runs a shell command and returns its standard output.
std::string Output(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
        pclose(p);
    }
    return out;
}

// The number after `label` in xwininfo's report.
int Field(const std::string& report, const std::string& label) {
    size_t at = report.find(label);
    return at == std::string::npos ? -99999 : std::atoi(report.c_str() + at + label.size());
}

bool ReadPng(const std::string& path, int32_t* width, int32_t* height, std::vector<uint32_t>* pixels) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_BGRA;
    pixels->resize(size_t(image.width) * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels->data(), 0, nullptr)) return false;
    *width = int32_t(image.width);
    *height = int32_t(image.height);
    return true;
}

// The drawing both drivers get: a gradient picture blitted at an offset, a fill, a line, a
// pixel, and a scaled copy of the picture.
void Draw(qzMacWindow* r) {
    std::vector<uint32_t> pixels(40 * 30);
    for (int32_t y = 0; y < 30; y++)
        for (int32_t x = 0; x < 40; x++)
            pixels[size_t(y) * 40 + x] = uint32_t(x * 6) << 16 | uint32_t(y * 8) << 8 | uint32_t(255 - x * 3);
    qzLockInfo lock{pixels.data(), 1, PIXFMT_ARGB32, 4, 40, 40, 30, 1, nullptr};
    r->offsetX = 4;
    r->offsetY = 2;
    MacRectFill(r, -4, -2, 120, 90, 0x203040);
    MacBltBitMap(&lock, 0, 0, r, 2, 3, 40, 30, 0, 0, 0);
    MacLine(r, 0, 80, 110, 40, 0xFFFF00);
    MacWritePixel(r, 100, 10, 0xFF00FF);
    r->offsetX = 50;
    r->offsetY = 20;
    MacBltBitMap(&lock, 0, 0, r, 0, 0, 40, 30, 60, 45, 0);
    r->offsetX = r->offsetY = 0;
}

qzBackendDisplayFrame WindowFrame(const char* title) {
    qzBackendDisplayFrame f;
    f.scriptId = 1;
    f.title = title;
    f.x = 30;
    f.y = 40;
    f.width = 120;
    f.height = 90;
    return f;
}

// The pixels the headless driver holds for the drawing.
std::vector<uint32_t> HeadlessPicture() {
    setenv("QUARNELIX_DRIVER", "headless", 1);
    std::string message;
    EXPECT_EQ(MacInitPlatform(&message), 0) << message;
    qzMacWindow* r = nullptr;
    MacAllocWindowRecord(nullptr, FakeDisplay(1), &r);
    EXPECT_EQ(MacOpenDisplay(r, WindowFrame("headless"), 1, nullptr), 0);
    Draw(r);
    std::vector<uint32_t> picture = BackendWindowFrame(r)->pixels;
    MacFreeWindowRecord(r);
    MacShutdownPlatform();
    return picture;
}

void Pump(int ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        int error = 0;
        MacHandleEvents(nullptr, &error);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace

TEST(BackendWindowSdl, FadesHoldOneReservationAndTakeTheirTime) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("QUARNELIX_DRIVER", "sdl", 1);
    std::string message;
    ASSERT_EQ(MacInitPlatform(&message), 0) << message;
    qzMacWindow* r = nullptr;
    ASSERT_EQ(MacAllocWindowRecord(nullptr, FakeDisplay(1), &r), 0);
    ASSERT_EQ(MacOpenDisplay(r, WindowFrame("fade"), 1, nullptr), 0);
    Draw(r);
    MacFlushDisplay(r);

    int32_t token = MacFadeOut(0);
    EXPECT_NE(token, 0);
    EXPECT_EQ(MacFadeOut(0), 0);  // held
    MacFadeIn(token, 0);
    auto start = std::chrono::steady_clock::now();
    token = MacFadeOut(1);
    EXPECT_NE(token, 0);
    MacFadeIn(token, 1);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(seconds, 1.5);
    EXPECT_LT(seconds, 4.0);
    MacFreeWindowRecord(r);
    MacShutdownPlatform();
    unsetenv("SDL_VIDEODRIVER");
}

TEST(BackendWindowX11, TheWindowShowsTheHeadlessPictureWithItsTitleAndGeometry) {
    if (!HaveProgram("Xvfb") || !HaveProgram("import") || !HaveProgram("xwininfo") || !HaveProgram("xprop"))
        GTEST_SKIP() << "Xvfb, ImageMagick and x11-utils are needed";
    const std::vector<uint32_t> expected = HeadlessPicture();
    ASSERT_EQ(expected.size(), 120u * 90u);

    XServer server;
    ASSERT_TRUE(server.Start("800x600x24"));
    setenv("DISPLAY", server.display.c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("SDL_VIDEODRIVER");
    setenv("QUARNELIX_DRIVER", "sdl", 1);
    std::string message;
    ASSERT_EQ(MacInitPlatform(&message), 0) << message;
    InstallCaptureHooks();

    // Monitors and modes as the X server reports them.
    qzBackendMonitor* monitors = MacGetMonitorInfo();
    ASSERT_NE(monitors, nullptr);
    EXPECT_TRUE(monitors->width == 800 && monitors->height == 600);
    FreeBackendMonitors(monitors);
    EXPECT_GE(MacGetDisplayModes(0, nullptr), 1);

    qzMacWindow* r = nullptr;
    ASSERT_EQ(MacAllocWindowRecord(nullptr, FakeDisplay(1), &r), 0);
    ASSERT_EQ(MacOpenDisplay(r, WindowFrame("qz-x11 Caf\xe9"), 1, nullptr), 0);
    Draw(r);
    Pump(300);

    std::string info = Output("xwininfo -name 'qz-x11 Café'");
    EXPECT_EQ(Field(info, "Absolute upper-left X:"), 30) << info;
    EXPECT_EQ(Field(info, "Absolute upper-left Y:"), 40);
    EXPECT_EQ(Field(info, "Width:"), 120);
    EXPECT_EQ(Field(info, "Height:"), 90);
    EXPECT_NE(Output("xprop -name 'qz-x11 Café' _NET_WM_NAME").find("\"qz-x11 Café\""), std::string::npos);

    // What the user sees is what the headless framebuffer holds.
    std::string png = ::testing::TempDir() + "qz-x11-window-" + std::to_string(getpid()) + ".png";
    ASSERT_EQ(std::system(
                  ("import -window \"$(xwininfo -name 'qz-x11 Café' | awk '/Window id/{print $4}')\" " + png).c_str()),
              0);
    int32_t w = 0, h = 0;
    std::vector<uint32_t> shown;
    ASSERT_TRUE(ReadPng(png, &w, &h, &shown));
    std::remove(png.c_str());
    ASSERT_TRUE(w == 120 && h == 90);
    int differ = 0;
    for (size_t i = 0; i < shown.size(); i++) differ += shown[i] != expected[i];
    EXPECT_EQ(differ, 0);

    // The desktop grab reads the same pixels from the X server; beyond the screen it is black.
    std::vector<uint32_t> grab;
    ASSERT_EQ(MacGrabScreenPixels(0, 30, 40, 120, 90, &grab), 0);
    EXPECT_EQ(grab, expected);
    ASSERT_EQ(MacGrabScreenPixels(0, 799, 0, 2, 1, &grab), 0);
    EXPECT_EQ(grab[1], QZ_FRAME_BLACK);

    // The window manager is offered moving and closing (not fixed, a close box), no resizing
    // (not sizeable); the Motif hints record is flags, functions, decorations, ...
    EXPECT_NE(Output("xprop -name 'qz-x11 Café' _MOTIF_WM_HINTS").find("= 0x3, 0x2c, 0x1"), std::string::npos)
        << Output("xprop -name 'qz-x11 Café' _MOTIF_WM_HINTS");

    // A shaped window shows the desktop where its shape is empty.
    qzMacWindow* shaped = nullptr;
    ASSERT_EQ(MacAllocWindowRecord(nullptr, FakeDisplay(2), &shaped), 0);
    const uint8_t mask[] = {0xF0, 0x00, 0xF0, 0x00, 0x00, 0x00, 0x00, 0x00};  // 8 x 4, top left 4 x 2 inside
    qzBackendShape shape = {QZ_SHAPE_MASK, mask, 2, 8, 4};
    qzBackendDisplayFrame sf = WindowFrame("qz-x11 shaped");
    sf.x = 400;
    sf.y = 300;
    sf.width = 8;
    sf.height = 4;
    sf.flags = QZ_DISPLAYFLAG_BORDERLESS | QZ_DISPLAYFLAG_NOCLOSE | QZ_DISPLAYFLAG_NOHIDE;
    ASSERT_EQ(MacOpenDisplay(shaped, sf, 1, &shape), 0);
    MacRectFill(shaped, 0, 0, 8, 4, 0xFFFFFF);
    Pump(300);
    ASSERT_EQ(MacGrabScreenPixels(0, 400, 300, 8, 4, &grab), 0);
    EXPECT_EQ(grab[0], 0xFFFFFFFFu);
    EXPECT_EQ(grab[3 + 8], 0xFFFFFFFFu);
    EXPECT_EQ(grab[4], QZ_FRAME_BLACK);
    EXPECT_EQ(grab[2 * 8], QZ_FRAME_BLACK);
    MacFreeWindowRecord(shaped);

    // Retitled, moved and resized.
    MacSetDisplayTitle(r, "qz-x11 second");
    qzBackendDisplayFrame f = WindowFrame("qz-x11 second");
    f.x = 200;
    f.y = 100;
    f.width = 64;
    f.height = 32;
    MacSizeMoveDisplay(r, f);
    Pump(300);
    info = Output("xwininfo -name 'qz-x11 second'");
    EXPECT_EQ(Field(info, "Absolute upper-left X:"), 200) << info;
    EXPECT_EQ(Field(info, "Width:"), 64);
    EXPECT_EQ(Field(info, "Height:"), 32);

    // Full screen covers the monitor.
    MacCloseDisplay(r);
    ASSERT_EQ(MacSwitchDisplayMode(r, 0, 800, 600, 0), 0);
    f.fullScreen = 1;
    f.flags = QZ_DISPLAYFLAG_BORDERLESS;
    f.title = "qz-x11 full";
    ASSERT_EQ(MacOpenDisplay(r, f, 1, nullptr), 0);
    Pump(300);
    info = Output("xwininfo -name 'qz-x11 full'");
    EXPECT_EQ(Field(info, "Width:"), 800) << info;
    EXPECT_EQ(Field(info, "Height:"), 600);
    MacCloseDisplay(r);
    EXPECT_EQ(MacRestoreDisplayMode(r), 0);

    MacFreeWindowRecord(r);
    MacShutdownPlatform();
    SetHostHooks(nullptr);
}

}  // namespace backend_window_sdl_test
