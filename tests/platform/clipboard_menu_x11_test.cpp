// The SDL driver on a private X server: clipboard text and pictures go to and come back from
// another program (xclip), and a menu entry is chosen by clicks on the menu bar that the player
// draws in the window (xdotool); what windows show follows their framebuffers.
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <thread>

#include "base/charset.h"
#include "platform/host/backend_clipboard.h"
#include "platform/host/menu_bar.h"
#include "platform/host/sdl/sdl_driver.h"
#include "platform/host_test_util.h"
#include "platform/system_fonts.h"
#include "platform/xvfb_server.h"

namespace clipboard_menu_x11_test {

namespace {

class HostX11Desk : public HostTest {
protected:
    // The server outlives the platform: HostTest's TearDown stops the platform first.
    XServer server;

    void TearDown() override {
        HostTest::TearDown();
        OsResetSystemFonts();  // the font the menu bar was drawn with
    }

    bool StartSdl(const char* const* programs) {
        for (const char* const* p = programs; *p; p++) {
            if (!HaveProgram(*p)) return false;
        }
        EXPECT_TRUE(server.Start());
        setenv("DISPLAY", server.display.c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        StartPlatform("sdl");
        return true;
    }
    void Pump(int ms) {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < until) {
            int error = 0;
            MacHandleEvents(nullptr, &error);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    // Pixels of the window's content on the screen, at x, y, that differ from its framebuffer
    // (from `colour` instead when it is given); -1 when the screen cannot be read.
    static int Differing(const qzHostWindow* window, int32_t x, int32_t y, uint32_t colour = 0) {
        const qzHostFrame& frame = window->frame;
        std::vector<uint32_t> shown(size_t(frame.width) * frame.height);
        if (HostDriver()->grabScreen(x, y, frame.width, frame.height, shown.data()) != 0) return -1;
        int differ = 0;
        for (size_t i = 0; i < shown.size(); i++)
            differ += shown[i] != (colour ? colour : frame.pixels[i] | 0xFF000000u);
        return differ;
    }
    // Runs a shell command (test tooling only) while the event loop keeps serving the window
    // system, and returns what it printed.
    std::string RunPumping(const std::string& command) {
        auto output = std::async(std::launch::async, [command]() {
            std::string out;
            if (FILE* f = popen(command.c_str(), "r")) {
                char buffer[4096];
                size_t n;
                while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
                pclose(f);
            }
            return out;
        });
        while (output.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) Pump(5);
        return output.get();
    }
};

TEST_F(HostX11Desk, ClipboardTextAndPicturesRoundTripThroughXclip) {
    const char* programs[] = {"Xvfb", "xclip", nullptr};
    if (!StartSdl(programs)) GTEST_SKIP() << "Xvfb and xclip are needed (packages xvfb, xclip)";

    // Another program's text: UTF-8 with a lone CR, read as ISO 8859-1 with an LF in its place.
    ASSERT_EQ(std::system("printf 'caf\\303\\251\\rline\\r\\nend' | xclip -selection clipboard -i"), 0);
    // xclip serves the selection from a process of its own, which may take the selection a moment
    // after the command returns on a busy machine.
    int type = -1;
    for (int waited = 0; waited < 5000; waited += 20) {
        ASSERT_EQ(MacPeekClipboard(&type), 0);
        if (type == QZ_CLIPBOARD_TEXT) break;
        Pump(20);
    }
    EXPECT_EQ(type, QZ_CLIPBOARD_TEXT);
    qzBackendClipboardData data;
    ASSERT_EQ(MacGetClipboard(&data, &type), 0);
    EXPECT_EQ(data.text, "caf\xE9\nline\r\nend");

    // The player's text: a CR LF pair stays one pair.
    data = qzBackendClipboardData{};
    data.text = "a\r\nb\xE9";
    ASSERT_EQ(MacSetClipboard(QZ_CLIPBOARD_TEXT, data), 0);
    EXPECT_EQ(RunPumping("xclip -selection clipboard -o"), "a\r\nb\xC3\xA9");

    // A picture goes as PNG and comes back with its pixels and alpha.
    data = qzBackendClipboardData{};
    data.width = 3;
    data.height = 2;
    data.hasAlpha = 1;
    data.pixels = {0xFFFF0000, 0x8000FF00, 0x000000FF, 0xFFFFFFFF, 0xFF000000, 0x40102030};
    ASSERT_EQ(MacSetClipboard(QZ_CLIPBOARD_IMAGE, data), 0);
    std::string png = RunPumping("xclip -selection clipboard -t image/png -o");
    ASSERT_GE(png.size(), 8u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    qzBackendClipboardData back;
    ASSERT_EQ(MacGetClipboard(&back, &type), 0);
    EXPECT_EQ(type, QZ_CLIPBOARD_IMAGE);
    EXPECT_EQ(back.width, 3);
    EXPECT_EQ(back.height, 2);
    EXPECT_EQ(back.pixels, data.pixels);

    ASSERT_EQ(MacClearClipboard(), 0);
    ASSERT_EQ(MacPeekClipboard(&type), 0);
    EXPECT_EQ(type, QZ_CLIPBOARD_EMPTY);
}

TEST_F(HostX11Desk, ClicksOnTheDrawnMenuBarChooseAnEntry) {
    const char* programs[] = {"Xvfb", "xdotool", nullptr};
    if (!StartSdl(programs)) GTEST_SKIP() << "Xvfb and xdotool are needed (packages xvfb, xdotool)";

    qzMenuItem open, quit, file;
    open.text = "Open";
    open.id = "open";
    open.hasId = true;
    open.next = &quit;
    quit.text = "Quit";
    quit.id = "quit";
    quit.hasId = true;
    file.text = "File";
    file.children = &open;
    qzMenuBar* bar = MenuBarCreate(&file);
    ASSERT_NE(bar, nullptr);

    qzHostWindowSpec spec;
    spec.display = FakeDisplay(1);
    spec.title = "qz-menu-window";
    spec.width = 200;
    spec.height = 150;
    spec.menuBar = bar;
    qzHostWindow* window = nullptr;
    ASSERT_EQ(HostOpenWindow(&spec, &window), 0);
    Pump(200);

    auto click = [&](const qzMenuBarRect& r) {
        std::string command =
            "xdotool search --sync --name qz-menu-window windowfocus --sync %1 mousemove --sync "
            "--window %1 " +
            std::to_string(r.x + r.width / 2) + " " + std::to_string(r.y + r.height / 2) + " click 1";
        EXPECT_EQ(std::system(command.c_str()), 0);
    };
    qzMenuBarRect title;
    ASSERT_TRUE(MenuBarTitleRect(bar, 0, &title));
    click(title);
    qzMenuBarRect entry;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!MenuBarEntryRect(bar, &quit, &entry) && std::chrono::steady_clock::now() < deadline) Pump(20);
    ASSERT_TRUE(MenuBarEntryRect(bar, &quit, &entry)) << "the menu did not open";
    click(entry);
    deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Hooks().menus.empty() && std::chrono::steady_clock::now() < deadline) Pump(20);
    EXPECT_EQ(Hooks().menus, std::vector<std::string>({"quit"}));
    EXPECT_FALSE(MenuBarIsOpen(bar));

    HostCloseWindow(window);
    MenuBarFree(bar);
}

// What a window shows follows its framebuffer through partial changes, a fade to black and back
// (drawn again whole from what the driver kept) and further changes; the menu bar strip above the
// content stays as drawn.
TEST_F(HostX11Desk, ChangedRectanglesReachTheScreenBesideTheMenuBarAndThroughFades) {
    const char* programs[] = {"Xvfb", nullptr};
    if (!StartSdl(programs)) GTEST_SKIP() << "Xvfb is needed (package xvfb)";
    qzMenuItem file;
    file.text = "File";
    qzMenuBar* bar = MenuBarCreate(&file);
    ASSERT_NE(bar, nullptr);
    qzHostWindowSpec spec;
    spec.display = FakeDisplay(1);
    spec.title = "qz-present-window";
    spec.centered = false;
    spec.x = 20;
    spec.y = 60;
    spec.width = 120;
    spec.height = 80;
    spec.menuBar = bar;
    qzHostWindow* window = nullptr;
    ASSERT_EQ(HostOpenWindow(&spec, &window), 0);
    FrameFill(&window->frame, {0, 0, 120, 80}, 0x203040);
    Pump(200);
    const int32_t barHeight = MenuBarHeight(bar);
    ASSERT_GT(barHeight, 0);
    const qzHostDriver* driver = HostDriver();
    std::vector<uint32_t> strip(size_t(120) * barHeight);
    ASSERT_EQ(driver->grabScreen(20, 60 - barHeight, 120, barHeight, strip.data()), 0);

    struct Step {
        qzFrameRect rect;
        uint32_t rgb;
        bool fade;  // to black and back after the change
    };
    const Step steps[] = {
        {{10, 5, 30, 12}, 0x00FF00, false}, {{100, 70, 20, 10}, 0xFF0000, false}, {{0, 40, 120, 1}, 0xFFFFFF, true},
        {{50, 0, 8, 80}, 0x0000FF, false},  {{0, 0, 120, 80}, 0x808080, true},    {{119, 79, 1, 1}, 0xFFFF00, false},
    };
    for (const Step& step : steps) {
        FrameFill(&window->frame, step.rect, step.rgb);
        Pump(100);
        if (step.fade) {
            ASSERT_EQ(driver->setFade(1.0), 1);
            Pump(50);
            ASSERT_EQ(driver->setFade(0.0), 1);
            Pump(50);
        }
        std::vector<uint32_t> top(strip.size());
        ASSERT_EQ(driver->grabScreen(20, 60 - barHeight, 120, barHeight, top.data()), 0);
        EXPECT_EQ(Differing(window, 20, 60), 0) << "after filling " << step.rect.x << "," << step.rect.y;
        EXPECT_EQ(top, strip) << "after filling " << step.rect.x << "," << step.rect.y;
    }
    HostCloseWindow(window);
    MenuBarFree(bar);
}

// A window without a menu bar shows its whole framebuffer from the first present on, then each
// change; a fade darkens and restores the current picture; after the window system lost the
// picture (here: something else drawn over it, then an exposure) it is shown whole again.
TEST_F(HostX11Desk, APlainWindowShowsItsFramebufferThroughFadesAndExposures) {
    const char* programs[] = {"Xvfb", nullptr};
    if (!StartSdl(programs)) GTEST_SKIP() << "Xvfb is needed (package xvfb)";
    qzHostWindowSpec spec;
    spec.display = FakeDisplay(1);
    spec.title = "qz-plain-window";
    spec.centered = false;
    spec.x = 30;
    spec.y = 40;
    spec.width = 100;
    spec.height = 70;
    qzHostWindow* window = nullptr;
    ASSERT_EQ(HostOpenWindow(&spec, &window), 0);
    for (int32_t y = 0; y < 70; y++)
        for (int32_t x = 0; x < 100; x++)
            FrameFill(&window->frame, {x, y, 1, 1}, uint32_t(x * 2) << 16 | uint32_t(y * 3));
    Pump(200);
    const qzHostDriver* driver = HostDriver();
    auto differing = [&](uint32_t colour = 0) { return Differing(window, 30, 40, colour); };
    EXPECT_EQ(differing(), 0) << "first present";

    enum Then { kNothing, kFade, kExposure };
    const struct {
        qzFrameRect rect;
        uint32_t rgb;
        Then then;
    } steps[] = {
        {{10, 5, 30, 12}, 0x00FF00, kNothing},  {{0, 20, 100, 1}, 0xFFFFFF, kFade},
        {{60, 0, 5, 70}, 0x0000FF, kExposure},  {{99, 69, 1, 1}, 0xFFFF00, kFade},
        {{0, 0, 100, 70}, 0x806040, kExposure},
    };
    for (const auto& step : steps) {
        FrameFill(&window->frame, step.rect, step.rgb);
        Pump(100);
        EXPECT_EQ(differing(), 0) << "after filling " << step.rect.x << "," << step.rect.y;
        if (step.then == kFade) {
            ASSERT_EQ(driver->setFade(1.0), 1);
            Pump(50);
            EXPECT_EQ(differing(0xFF000000u), 0) << "faded out after " << step.rect.x << "," << step.rect.y;
            ASSERT_EQ(driver->setFade(0.0), 1);
            Pump(50);
        } else if (step.then == kExposure) {
            SDL_Window* sdl = SdlWindowOf(window);
            ASSERT_NE(sdl, nullptr);
            SDL_Surface* surface = SDL_GetWindowSurface(sdl);
            ASSERT_NE(surface, nullptr);
            SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 255, 0, 255));
            SDL_UpdateWindowSurface(sdl);
            Pump(50);
            EXPECT_GT(differing(), 0) << "the picture was not drawn over";
            SDL_Event e = {};
            e.type = SDL_WINDOWEVENT;
            e.window.windowID = SDL_GetWindowID(sdl);
            e.window.event = SDL_WINDOWEVENT_EXPOSED;
            ASSERT_EQ(SDL_PushEvent(&e), 1);
            Pump(100);
        }
        EXPECT_EQ(differing(), 0) << "after " << step.rect.x << "," << step.rect.y << " and what followed";
    }
    HostCloseWindow(window);
}

}  // namespace

}  // namespace clipboard_menu_x11_test
