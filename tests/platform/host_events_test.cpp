// The platform event loop with injected input (headless driver): key codes, the quit rules,
// the full-screen toggle key, mouse buttons and regions, the wheel, window changes, drops, the
// 10 ms skip, deferred display changes, the wake-up from other threads and quit by signal.
#include <signal.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "base/event_types.h"
#include "platform/host/engine_keys.h"
#include "platform/host/menu_bar.h"
#include "platform/host_test_util.h"
#include "support/manual_clock.h"

namespace host_events_test {

namespace {

using Events = std::vector<PostedEvent>;

PostedEvent Key(int pressed, int32_t code, int32_t display = 1) {
    return {FakeDisplay(display), QZ_EVENT_KEY, pressed, 0, code, {}};
}

PostedEvent Plain(int32_t type, int32_t display = 1) { return {FakeDisplay(display), type, 0, 0, 0, {}}; }

PostedEvent Mouse(int32_t type, int32_t x, int32_t y, int pressed) { return {FakeDisplay(1), type, x, y, pressed, {}}; }

class HostEvents : public HostTest {
protected:
    void SetUp() override { StartPlatform("headless"); }
};

TEST_F(HostEvents, KeysBecomeEngineCodes) {
    struct Case {
        const char* script;
        Events expected;
    };
    const Case cases[] = {
        {"0 key a", {Key(1, 'a'), Key(0, 'a')}},
        {"0 key A", {Key(1, 'A'), Key(0, 'A')}},
        {"0 keydown shift\n0 key b\n0 keyup shift", {Key(1, 'B'), Key(0, 'B')}},
        {"0 key é", {Key(1, 233), Key(0, 233)}},
        {"0 key space", {Key(1, QZ_KEY_SPACE), Key(0, QZ_KEY_SPACE)}},
        {"0 key return", {Key(1, QZ_KEY_RETURN), Key(0, QZ_KEY_RETURN)}},
        {"0 key backspace", {Key(1, QZ_KEY_BACKSPACE), Key(0, QZ_KEY_BACKSPACE)}},
        {"0 key delete", {Key(1, QZ_KEY_DEL), Key(0, QZ_KEY_DEL)}},
        {"0 key up", {Key(1, QZ_KEY_UP), Key(0, QZ_KEY_UP)}},
        {"0 key insert", {Key(1, QZ_KEY_HELP), Key(0, QZ_KEY_HELP)}},
        {"0 key pagedown", {Key(1, QZ_KEY_PAGEDOWN), Key(0, QZ_KEY_PAGEDOWN)}},
        {"0 key f1", {Key(1, 261), Key(0, 261)}},
        {"0 key f10", {Key(1, 270), Key(0, 270)}},
        {"0 key f11", {Key(1, 278), Key(0, 278)}},
        {"0 key f13", {Key(1, 287), Key(0, 287)}},
        {"0 key f16", {Key(1, 290), Key(0, 290)}},
        {"0 key f17", {}},
        {"0 key shift", {}},
        // Control combinations type nothing.
        {"0 key ctrl+x", {}},
        // Repeats are presses; the up comes once.
        {"0 keydown q\n0 keydown q\n0 keyup q", {Key(1, 'q'), Key(1, 'q'), Key(0, 'q')}},
        // Text without keys of its own: each character pressed and released; beyond Latin-1 none.
        {"0 text \"ö€!\"", {Key(1, 246), Key(0, 246), Key(1, '!'), Key(0, '!')}},
    };
    Open(1);
    for (const Case& c : cases) {
        Hooks().posted.clear();
        Script(c.script);
        EXPECT_EQ(Hooks().posted, c.expected) << c.script;
        EXPECT_EQ(Hooks().quit, 0) << c.script;
    }
}

TEST_F(HostEvents, KeyUpClearsTheCodeItsDownSet) {
    qzHostWindow* window = Open(1);
    // Down with Shift typed 'K'; Shift is let go first; the key's up still clears 'K'.
    Script("0 keydown shift\n0 keydown k\n0 keyup shift");
    EXPECT_EQ(window->keyState['K'], 1);
    Hooks().posted.clear();
    Script("0 keyup k");
    EXPECT_EQ(Hooks().posted, Events({Key(0, 'K')}));
    EXPECT_EQ(window->keyState['K'], 0);

    // A character key whose text never came counts with its own character.
    qzHostEvent down;
    down.kind = QZ_HEV_KEY;
    down.pressed = 1;
    down.key = QZ_HKEY_CHAR;
    down.keyChar = 'z';
    down.scancode = 7;
    qzHostEvent up = down;
    up.pressed = 0;
    Hooks().posted.clear();
    HeadlessInjectEvent(down);
    HeadlessInjectEvent(up);
    Drain();
    EXPECT_EQ(Hooks().posted, Events({Key(1, 'z'), Key(0, 'z')}));

    // Losing the focus forgets every key that is down.
    Script("0 keydown m");
    EXPECT_EQ(window->keyState['m'], 1);
    Hooks().posted.clear();
    Script("0 unfocus");
    EXPECT_EQ(window->keyState['m'], 0);
    EXPECT_EQ(window->active, 0);
    EXPECT_EQ(Hooks().posted, Events({Plain(QZ_EVENT_INACTIVEWINDOW)}));
}

TEST_F(HostEvents, QuitRules) {
    struct Case {
        const char* name;
        const char* script;
        int option;  // quit option to set, 0 none
        int value;
        int closeHandler;
        int quits;
    };
    const Case cases[] = {
        {"ctrl-c quits by default", "0 key ctrl+c", 0, 0, 0, 1},
        {"ctrl-c quit switched off", "0 key ctrl+c", QZ_QUIT_CTRLC, 0, 0, 0},
        {"escape alone", "0 key escape", 0, 0, 0, 0},
        {"escape quit on", "0 key escape", QZ_QUIT_ESCAPE, 1, 0, 1},
        {"left mouse quit on", "0 mousedown left 5 5", QZ_QUIT_LEFTMOUSE, 1, 0, 1},
        {"left mouse alone", "0 click left 5 5", 0, 0, 0, 0},
        {"close without handler", "0 close", 0, 0, 0, 1},
        {"close with handler", "0 close", 0, 0, 1, 0},
        {"session quit without handler", "0 quit", 0, 0, 0, 1},
        {"session quit with handler", "0 quit", 0, 0, 1, 0},
    };
    for (const Case& c : cases) {
        MacShutdownPlatform();
        StartPlatform("headless");
        qzHostWindow* window = Open(1);
        qzHostWindowSettings settings = window->settings;
        settings.closeHandlerInstalled = c.closeHandler;
        HostSetWindowSettings(window, settings);
        if (c.option) MacSetQuitOption(nullptr, c.option, c.value);
        int result = Script(c.script);
        EXPECT_EQ(result, c.quits) << c.name;
        EXPECT_EQ(Hooks().quit, c.quits) << c.name;
        if (c.quits) {
            // Once set, every later pass answers quit, also one that is skipped.
            int error = 0;
            EXPECT_EQ(MacHandleEvents(nullptr, &error), 1) << c.name;
        }
    }
    // Close requests post their event whether or not they quit.
    EXPECT_EQ(Hooks().posted, Events({Plain(QZ_EVENT_CLOSEWINDOW)}));
}

TEST_F(HostEvents, SessionQuitWithoutWindowsQuits) {
    EXPECT_EQ(Script("0 quit"), 1);
    EXPECT_TRUE(Hooks().posted.empty());
}

TEST_F(HostEvents, CommandReturnTogglesOnRelease) {
    qzHostWindow* window = Open(1);
    Script("0 keydown cmd\n0 keydown return");
    EXPECT_EQ(Hooks().posted, Events({Key(1, QZ_KEY_RETURN)}));
    EXPECT_EQ(Hooks().reopens, 0);
    Script("0 keyup cmd+return");
    EXPECT_EQ(Hooks().posted, Events({Key(1, QZ_KEY_RETURN), Plain(QZ_EVENT_MODESWITCH), Key(0, QZ_KEY_RETURN)}));
    EXPECT_EQ(Hooks().reopens, 1);
    EXPECT_EQ(Hooks().reopenMode, 2);
    EXPECT_EQ(window->pendingToggle, -1);

    // From full screen back to a window.
    qzHostWindowSettings settings = window->settings;
    settings.fullScreen = 1;
    HostSetWindowSettings(window, settings);
    Script("0 key cmd+return");
    EXPECT_EQ(Hooks().reopens, 2);
    EXPECT_EQ(Hooks().reopenMode, 1);

    // A display that forbids the toggle gets the keys only.
    settings.flags = QZ_DISPLAYFLAG_NOMODESWITCH;
    HostSetWindowSettings(window, settings);
    Hooks().posted.clear();
    Script("0 key cmd+return");
    EXPECT_EQ(Hooks().posted, Events({Key(1, QZ_KEY_RETURN), Key(0, QZ_KEY_RETURN)}));
    EXPECT_EQ(Hooks().reopens, 2);
}

TEST_F(HostEvents, FailedToggleReportsOnceAndQuitsThePass) {
    Open(1);
    Hooks().reopenError = ERR_SCREEN;
    Script("0 key cmd+return");
    EXPECT_EQ(lastError, ERR_SCREEN);
    EXPECT_EQ(Hooks().reopens, 1);
    // The request is gone: the next passes do not try again.
    Script("0 move 1 1");
    EXPECT_EQ(lastError, 0);
    EXPECT_EQ(Hooks().reopens, 1);
}

// Input that the queue has no memory for is not dropped silently: the pass reports ERR_MEM, once.
TEST_F(HostEvents, InputTheQueueCannotTakeFailsThePass) {
    Open(1);
    qzHostHooks hooks = HostHooks();
    hooks.postEvent = [](qzDisplay*, int32_t, int32_t, int32_t, int32_t, void*) { return -1; };
    SetHostHooks(&hooks);
    Script("0 key a");
    EXPECT_EQ(lastError, ERR_MEM);
    hooks.postEvent = CapturePost;
    SetHostHooks(&hooks);
    Script("0 key b");
    EXPECT_EQ(lastError, 0);
    EXPECT_EQ(Hooks().posted, Events({Key(1, 'b'), Key(0, 'b')}));
}

TEST_F(HostEvents, MouseButtonsWheelAndRegions) {
    qzHostWindow* window = Open(1);
    Script(
        "0 click left 10 20\n0 mousedown right 3 4\n0 mouseup right 3 4\n0 click middle 7 8\n"
        "0 wheel up\n0 wheel down 2");
    EXPECT_EQ(Hooks().posted, Events({Mouse(QZ_EVENT_LEFTMOUSE, 10, 20, 1), Mouse(QZ_EVENT_LEFTMOUSE, 10, 20, 0),
                                      Mouse(QZ_EVENT_RIGHTMOUSE, 3, 4, 1), Mouse(QZ_EVENT_RIGHTMOUSE, 3, 4, 0),
                                      Mouse(QZ_EVENT_MIDMOUSE, 7, 8, 1), Mouse(QZ_EVENT_MIDMOUSE, 7, 8, 0),
                                      Plain(QZ_EVENT_WHEELUP), Plain(QZ_EVENT_WHEELDOWN), Plain(QZ_EVENT_WHEELDOWN)}));

    // Blocked input swallows presses but not releases.
    qzHostWindowSettings settings = window->settings;
    settings.inputBlocked = 1;
    HostSetWindowSettings(window, settings);
    Hooks().posted.clear();
    Script("0 click left 1 1");
    EXPECT_EQ(Hooks().posted, Events({Mouse(QZ_EVENT_LEFTMOUSE, 1, 1, 0)}));

    // A borderless sizeable window: drag and size regions move and resize it without events.
    settings = qzHostWindowSettings();
    settings.flags = QZ_DISPLAYFLAG_BORDERLESS | QZ_DISPLAYFLAG_SIZEABLE;
    settings.dragRegions = {{0, 0, 320, 20}};
    settings.sizeRegions = {{300, 100, 20, 20}};
    HostSetWindowSettings(window, settings);
    Hooks().posted.clear();
    Script("0 mousedown left 5 5\n0 mousedown left 310 110\n0 mousedown right 315 195\n0 mousedown left 50 50");
    EXPECT_EQ(Hooks().posted, Events({Mouse(QZ_EVENT_LEFTMOUSE, 50, 50, 1)}));
    qzHeadlessRecord record = HeadlessRecord();
    EXPECT_EQ(record.moveRequests, 1u);
    EXPECT_EQ(record.resizeRequests, 2u);

    // A fixed window is not dragged.
    settings.flags |= QZ_DISPLAYFLAG_FIXED;
    HostSetWindowSettings(window, settings);
    Hooks().posted.clear();
    Script("0 mousedown left 5 5");
    EXPECT_EQ(Hooks().posted, Events({Mouse(QZ_EVENT_LEFTMOUSE, 5, 5, 1)}));
}

TEST_F(HostEvents, WindowChanges) {
    qzHostWindow* window = Open(1);
    Script("0 windowmove 30 40\n0 resize 400 300\n0 minimize\n0 restore\n0 restore\n0 expose\n0 focus");
    EXPECT_EQ(Hooks().posted,
              Events({Plain(QZ_EVENT_MOVEWINDOW), Plain(QZ_EVENT_SIZEWINDOW), Plain(QZ_EVENT_HIDEWINDOW),
                      Plain(QZ_EVENT_SHOWWINDOW), Plain(QZ_EVENT_ACTIVEWINDOW)}));
    EXPECT_EQ(window->x, 30);
    EXPECT_EQ(window->y, 40);
    EXPECT_EQ(Hooks().resizes, 1);
    EXPECT_EQ(Hooks().resizeWidth, 400);
    EXPECT_EQ(Hooks().resizeHeight, 300);
    EXPECT_EQ(window->windowState, 1);
    EXPECT_EQ(Hooks().refreshes, 1);
    EXPECT_EQ(window->active, 1);

    // Events go to the window they name; the focused one gets the rest.
    Open(2);
    Hooks().posted.clear();
    Script("0 @1 wheel up\n0 wheel down");
    EXPECT_EQ(Hooks().posted, Events({Plain(QZ_EVENT_WHEELUP, 1), Plain(QZ_EVENT_WHEELDOWN, 2)}));
}

TEST_F(HostEvents, DropsPostOneListWithDoubleNul) {
    qzHostWindow* window = Open(1);
    Script("0 drop 5 6 /tmp/a.png \"/tmp/with space\" /tmp/\xC3\xA9t\xC3\xA9");
    EXPECT_TRUE(Hooks().posted.empty()) << "no drop handler, no drop";

    qzHostWindowSettings settings = window->settings;
    settings.dropHandlerInstalled = 1;
    HostSetWindowSettings(window, settings);
    Script("0 drop 5 6 /tmp/a.png \"/tmp/with space\" /tmp/\xC3\xA9t\xC3\xA9");
    ASSERT_EQ(Hooks().posted.size(), 1u);
    const PostedEvent& e = Hooks().posted[0];
    EXPECT_EQ(e.type, QZ_EVENT_DROPFILE);
    EXPECT_EQ(e.p1, 5);
    EXPECT_EQ(e.p2, 6);
    EXPECT_EQ(e.data, std::string("/tmp/a.png\0/tmp/with space\0/tmp/\xE9t\xE9\0\0", 37));
}

TEST_F(HostEvents, ClipboardAndMenu) {
    qzHostWindow* window = Open(1);
    Open(2);
    qzHostWindowSettings settings = window->settings;
    settings.clipboardHandlerInstalled = 1;
    HostSetWindowSettings(window, settings);
    // A menu event names an entry of the window's menu bar by id or by text; toggle entries
    // switch their check mark; a name that no entry has, and a window without a bar, choose
    // nothing.
    qzMenuItem open, mark, file;
    open.text = "Open";
    open.id = "open";
    open.hasId = true;
    open.next = &mark;
    mark.text = "Mark";
    mark.flags = QZ_MENUITEM_TOGGLE;
    file.text = "File";
    file.children = &open;
    qzMenuBar* bar = MenuBarCreate(&file);
    HostSetWindowMenuBar(window, bar);
    Script("0 clipboard\n0 @1 menu OPEN\n0 @1 menu Mark\n0 @1 menu mark\n0 @1 menu \"File/Open\"\n0 @2 menu open");
    EXPECT_EQ(Hooks().posted, Events({Plain(QZ_EVENT_CLIPBOARD, 1)}));
    EXPECT_EQ(Hooks().menus, std::vector<std::string>({"open", " on", ""}));
    HostSetWindowMenuBar(window, nullptr);
    MenuBarFree(bar);
}

TEST_F(HostEvents, QualifiersFollowTheModifierKeys) {
    Open(1);
    EXPECT_EQ(MacGetQualifiers(), QZ_QUALIFIER_BASE);
    Script("0 keydown shift\n0 keydown ctrl");
    EXPECT_EQ(MacGetQualifiers(), QZ_QUALIFIER_BASE | QZ_QUALIFIER_SHIFT | QZ_QUALIFIER_CONTROL);
    Script("0 keyup shift\n0 keyup ctrl\n0 keydown cmd\n0 keydown alt");
    EXPECT_EQ(MacGetQualifiers(), QZ_QUALIFIER_BASE | QZ_QUALIFIER_COMMAND | QZ_QUALIFIER_OPTION);
}

TEST_F(HostEvents, PassesWithinTenMillisecondsOfNothingAreSkipped) {
    ManualClock clock;
    int error = 0;
    MacHandleEvents(nullptr, &error);  // stamps the pass on the manual clock
    int full = Hooks().audioPasses;
    clock.AdvanceMs(5);
    MacHandleEvents(nullptr, &error);
    EXPECT_EQ(Hooks().audioPasses, full);
    clock.AdvanceMs(5);
    MacHandleEvents(nullptr, &error);
    EXPECT_EQ(Hooks().audioPasses, full + 1);
    // Something queued is never skipped.
    clock.AdvanceMs(1);
    HeadlessInjectEvent(qzHostEvent());
    MacHandleEvents(nullptr, &error);
    EXPECT_EQ(Hooks().audioPasses, full + 2);
}

TEST_F(HostEvents, WakeUpFromAnotherThreadReturnsTheWait) {
    // Many posts while one is queued add nothing.
    std::vector<std::thread> posters;
    for (int i = 0; i < 8; i++)
        posters.emplace_back([] {
            for (int k = 0; k < 100; k++) MacForceEventLoopIteration();
        });
    for (std::thread& t : posters) t.join();
    EXPECT_EQ(HostDriver()->pendingEvents(), 1);
    Drain();

    std::atomic<bool> waiting{false};
    std::thread waker([&] {
        while (!waiting.load()) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        MacForceEventLoopIteration();
    });
    waiting.store(true);
    auto start = std::chrono::steady_clock::now();
    MacWaitEvents();
    auto waited = std::chrono::steady_clock::now() - start;
    waker.join();
    EXPECT_GE(waited, std::chrono::milliseconds(15));
    EXPECT_LT(waited, std::chrono::seconds(5));
    Drain();
    // Taken: the next post queues a new one.
    MacForceEventLoopIteration();
    EXPECT_EQ(HostDriver()->pendingEvents(), 1);
}

TEST_F(HostEvents, TerminationSignalQuits) {
    // A test run that ignores SIGTERM would keep ignoring it: start again with the default.
    MacShutdownPlatform();
    signal(SIGTERM, SIG_DFL);
    StartPlatform("headless");
    std::thread waiter([] { MacWaitEvents(); });
    raise(SIGTERM);
    waiter.join();  // the signal's wake-up ends the wait
    EXPECT_TRUE(QuitSignalled());
    EXPECT_EQ(Hooks().quit, 1);
    int error = 0;
    EXPECT_EQ(MacHandleEvents(nullptr, &error), 1);
}

TEST_F(HostEvents, KeepAwakeHoldsTheScreenSaverOff) {
    EXPECT_EQ(HeadlessRecord().screenSaverAllowed, 1);
    SetKeepAwake(1);
    EXPECT_EQ(HeadlessRecord().screenSaverAllowed, 0);
    SetKeepAwake(0);
    EXPECT_EQ(HeadlessRecord().screenSaverAllowed, 1);
}

}  // namespace

}  // namespace host_events_test
