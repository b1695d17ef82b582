// The SDL2 driver for real: under SDL_VIDEODRIVER=dummy with events pushed into SDL's queue, and
// on an X server of its own (Xvfb) with xdotool typing and clicking into the window.
#include <SDL.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "base/event_types.h"
#include "platform/host/pointer.h"
#include "platform/host_test_util.h"
#include "platform/xvfb_server.h"

namespace host_sdl_test {

extern char** environ;

namespace {

using Events = std::vector<PostedEvent>;

PostedEvent Posted(int32_t type, int32_t p1 = 0, int32_t p2 = 0, int32_t p3 = 0) {
    return {FakeDisplay(1), type, p1, p2, p3, {}};
}

class HostSdl : public HostTest {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        StartPlatform("sdl");
    }
    void TearDown() override {
        HostTest::TearDown();
        unsetenv("SDL_VIDEODRIVER");
    }

    void Push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }

    void PushKey(uint32_t windowId, bool down, SDL_Keycode sym, SDL_Scancode scancode, Uint16 mod = 0) {
        SDL_Event e = {};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = windowId;
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.sym = sym;
        e.key.keysym.scancode = scancode;
        e.key.keysym.mod = mod;
        Push(e);
    }

    void PushText(uint32_t windowId, const char* text) {
        SDL_Event e = {};
        e.type = SDL_TEXTINPUT;
        e.text.windowID = windowId;
        SDL_strlcpy(e.text.text, text, sizeof e.text.text);
        Push(e);
    }

    void PushWindow(uint32_t windowId, Uint8 event, int data1 = 0, int data2 = 0) {
        SDL_Event e = {};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = windowId;
        e.window.event = event;
        e.window.data1 = data1;
        e.window.data2 = data2;
        Push(e);
    }

    void PushDrop(uint32_t windowId, Uint32 type, const char* file = nullptr) {
        SDL_Event e = {};
        e.type = type;
        e.drop.windowID = windowId;
        e.drop.file = file ? SDL_strdup(file) : nullptr;
        Push(e);
    }
};

TEST_F(HostSdl, SdlEventsBecomeEngineEvents) {
    qzHostWindow* window = Open(1);
    ASSERT_NE(window, nullptr);
    uint32_t id = window->id;
    qzHostWindowSettings settings = window->settings;
    settings.dropHandlerInstalled = 1;
    HostSetWindowSettings(window, settings);

    // A character key: down, its text (converted to Latin-1), up.
    PushKey(id, true, SDLK_e, SDL_SCANCODE_E);
    PushText(id, "\xC3\xA9");
    PushKey(id, false, SDLK_e, SDL_SCANCODE_E);
    // A special key, a control combination and the keypad's Enter.
    PushKey(id, true, SDLK_F12, SDL_SCANCODE_F12);
    PushKey(id, false, SDLK_F12, SDL_SCANCODE_F12);
    PushKey(id, true, SDLK_x, SDL_SCANCODE_X, KMOD_LCTRL);
    PushKey(id, false, SDLK_x, SDL_SCANCODE_X, KMOD_LCTRL);
    PushKey(id, true, SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER);
    // Buttons, wheel (also a flipped one), window changes.
    SDL_Event e = {};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.windowID = id;
    e.button.button = SDL_BUTTON_RIGHT;
    e.button.x = 3;
    e.button.y = 4;
    Push(e);
    e.button.button = SDL_BUTTON_MIDDLE;
    Push(e);
    e = {};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.windowID = id;
    e.wheel.y = 2;
    Push(e);
    e.wheel.direction = SDL_MOUSEWHEEL_FLIPPED;
    Push(e);
    PushWindow(id, SDL_WINDOWEVENT_MINIMIZED);
    PushWindow(id, SDL_WINDOWEVENT_RESTORED);
    PushWindow(id, SDL_WINDOWEVENT_FOCUS_LOST);
    // Two files dropped at once.
    PushDrop(id, SDL_DROPBEGIN);
    PushDrop(id, SDL_DROPFILE, "/tmp/one");
    PushDrop(id, SDL_DROPFILE, "/tmp/two");
    PushDrop(id, SDL_DROPCOMPLETE);
    Drain();

    Events expected = {
        Posted(QZ_EVENT_KEY, 1, 0, 233),    Posted(QZ_EVENT_KEY, 0, 0, 233), Posted(QZ_EVENT_KEY, 1, 0, 279),
        Posted(QZ_EVENT_KEY, 0, 0, 279),    Posted(QZ_EVENT_KEY, 1, 0, 274), Posted(QZ_EVENT_RIGHTMOUSE, 3, 4, 1),
        Posted(QZ_EVENT_MIDMOUSE, 3, 4, 1), Posted(QZ_EVENT_WHEELUP),        Posted(QZ_EVENT_WHEELDOWN),
        Posted(QZ_EVENT_HIDEWINDOW),        Posted(QZ_EVENT_SHOWWINDOW),     Posted(QZ_EVENT_INACTIVEWINDOW)};
    ASSERT_EQ(Hooks().posted.size(), expected.size() + 1);
    Events drop(Hooks().posted.end() - 1, Hooks().posted.end());
    Hooks().posted.pop_back();
    EXPECT_EQ(Hooks().posted, expected);
    EXPECT_EQ(drop[0].type, QZ_EVENT_DROPFILE);
    EXPECT_EQ(drop[0].data, std::string("/tmp/one\0/tmp/two\0\0", 19));
    EXPECT_EQ(Hooks().quit, 0);

    // The window's close box and the session's quit: close requests, and a quit.
    Hooks().posted.clear();
    PushWindow(id, SDL_WINDOWEVENT_CLOSE);
    e = {};
    e.type = SDL_QUIT;
    Push(e);
    EXPECT_EQ(Drain(), 1);
    EXPECT_EQ(Hooks().posted, Events({Posted(QZ_EVENT_CLOSEWINDOW), Posted(QZ_EVENT_CLOSEWINDOW)}));
}

TEST_F(HostSdl, WakeUpReturnsTheWaitAndPointersDoNotFail) {
    std::thread waker([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        MacForceEventLoopIteration();
    });
    auto start = std::chrono::steady_clock::now();
    MacWaitEvents();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    waker.join();
    int error = 0;
    EXPECT_EQ(MacHandleEvents(nullptr, &error), 0);

    // The dummy video driver has no pointers: making and setting them still succeeds.
    qzHostWindow* window = Open(1);
    const uint32_t pixels[4] = {0xFFFFFFFF, 0, 0, 0xFF000000};
    qzHostCursor* pointer = nullptr;
    ASSERT_EQ(MacCreatePointer(pixels, 1, 1, &pointer, 2, 2), 0);
    MacSetPointer(window, pointer, QZ_POINTER_IMAGE);
    MacHidePointer(window);
    MacSetPointer(window, nullptr, QZ_POINTER_BUSY);
    ReleaseBackendPointer(pointer);
}

TEST(HostDriverChoice, EnvironmentChoosesTheDriver) {
    struct Case {
        const char* driver;   // QUARNELIX_DRIVER, null = unset
        const char* display;  // DISPLAY, null = unset
        const char* video;    // SDL_VIDEODRIVER, null = unset
        int fails;
        const char* chosen;
        const char* message;  // the start of the message, "" for none
    };
    // ":59999" names an X server that does not run; SDL may try only its X11 driver there.
    const Case cases[] = {
        {nullptr, nullptr, nullptr, 0, "headless", ""},
        {"headless", ":59999", "x11", 0, "headless", ""},
        {"sdl", nullptr, "dummy", 0, "sdl", ""},
        {nullptr, ":59999", "x11", 0, "headless", "The window system cannot be reached (SDL: "},
        {"sdl", ":59999", "x11", 1, nullptr, "The window system cannot be reached (SDL: "},
        {"amiga", nullptr, nullptr, 1, nullptr, "QUARNELIX_DRIVER: unknown driver \"amiga\" (use sdl or headless)"},
    };
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("QUARNELIX_INPUT");
    auto put = [](const char* name, const char* value) {
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    };
    for (const Case& c : cases) {
        put("QUARNELIX_DRIVER", c.driver);
        put("DISPLAY", c.display);
        put("SDL_VIDEODRIVER", c.video);
        std::string message;
        int error = MacInitPlatform(&message);
        EXPECT_EQ(error != 0, c.fails != 0) << message;
        EXPECT_EQ(message.rfind(c.message, 0), 0u) << message;
        if (c.chosen) {
            ASSERT_NE(HostDriver(), nullptr);
            EXPECT_STREQ(HostDriver()->name, c.chosen);
        } else {
            EXPECT_EQ(HostDriver(), nullptr);
        }
        if (!error) MacShutdownPlatform();
    }
}

// The server outlives the platform: the fixture's TearDown stops the platform first.
class HostX11 : public HostTest {
protected:
    XServer server;
};

TEST_F(HostX11, XdotoolTypesAndClicksIntoTheWindow) {
    if (!HaveProgram("Xvfb") || !HaveProgram("xdotool"))
        GTEST_SKIP() << "Xvfb and xdotool are needed (packages xvfb, xdotool)";
    ASSERT_TRUE(server.Start());
    setenv("DISPLAY", server.display.c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    // No QUARNELIX_DRIVER: a display in the environment chooses the SDL driver.
    unsetenv("QUARNELIX_DRIVER");
    std::string message;
    ASSERT_EQ(MacInitPlatform(&message), 0) << message;
    started = true;
    ASSERT_STREQ(HostDriver()->name, "sdl");
    InstallCaptureHooks();

    qzHostWindowSpec spec;
    spec.display = FakeDisplay(1);
    spec.title = "qz-xvfb-window";
    spec.width = 200;
    spec.height = 150;
    qzHostWindow* window = nullptr;
    ASSERT_EQ(HostOpenWindow(&spec, &window), 0);
    auto pump = [&](int ms) {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < until) {
            int error = 0;
            MacHandleEvents(nullptr, &error);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    pump(200);

    std::string command =
        "xdotool search --sync --name qz-xvfb-window windowfocus --sync %1 "
        "mousemove --sync --window %1 10 20 click 1 key a shift+b Escape";
    ASSERT_EQ(std::system(command.c_str()), 0);

    Events wanted = {Posted(QZ_EVENT_LEFTMOUSE, 10, 20, 1),     Posted(QZ_EVENT_LEFTMOUSE, 10, 20, 0),
                     Posted(QZ_EVENT_KEY, 1, 0, 'a'),           Posted(QZ_EVENT_KEY, 0, 0, 'a'),
                     Posted(QZ_EVENT_KEY, 1, 0, 'B'),           Posted(QZ_EVENT_KEY, 0, 0, 'B'),
                     Posted(QZ_EVENT_KEY, 1, 0, QZ_KEY_ESCAPE), Posted(QZ_EVENT_KEY, 0, 0, QZ_KEY_ESCAPE)};
    Events got;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (got.size() < wanted.size() && std::chrono::steady_clock::now() < deadline) {
        pump(20);
        got.clear();
        for (const PostedEvent& e : Hooks().posted) {
            if (e.type == QZ_EVENT_LEFTMOUSE || e.type == QZ_EVENT_KEY) got.push_back(e);
        }
    }
    EXPECT_EQ(got, wanted);
    EXPECT_EQ(window->keyState['a'], 0);

    // Escape quits once the option is on.
    MacSetQuitOption(nullptr, QZ_QUIT_ESCAPE, 1);
    ASSERT_EQ(std::system("xdotool key Escape"), 0);
    deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Hooks().quit && std::chrono::steady_clock::now() < deadline) pump(20);
    EXPECT_EQ(Hooks().quit, 1);
}

}  // namespace

}  // namespace host_sdl_test
