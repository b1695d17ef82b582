// The headless input script: times, targets and events, the messages for bad lines and files,
// and a script that drives the event loop in real time from QUARNELIX_INPUT.
#include <chrono>
#include <fstream>
#include <thread>

#include "base/event_types.h"
#include "platform/host_test_util.h"

namespace host_input_script_test {

namespace {

std::vector<qzScriptedEvent> Parse(const std::string& text) {
    std::vector<qzScriptedEvent> events;
    std::string message;
    EXPECT_TRUE(ParseInputScript(text, "in.txt", &events, &message)) << message;
    return events;
}

TEST(InputScript, TimesTargetsAndEvents) {
    std::vector<qzScriptedEvent> events = Parse(
        "# a comment\n"
        "\n"
        "100 key a\n"
        "+50 @2 click right 3 -4\n"
        "  200   text \"say \\\"hi\\\"\"\n"
        "+0 drop 1 2 a \"b c\"\n"
        "300 quit\n");
    ASSERT_EQ(events.size(), 8u);
    // "key a": down, its text, up, all at 100 ms on line 3, for the focused window.
    EXPECT_EQ(events[0].atMicros, 100000u);
    EXPECT_EQ(events[0].line, 3);
    EXPECT_EQ(events[0].display, 0);
    EXPECT_EQ(events[0].event.kind, QZ_HEV_KEY);
    EXPECT_EQ(events[0].event.pressed, 1);
    EXPECT_EQ(events[1].event.kind, QZ_HEV_TEXT);
    EXPECT_EQ(events[1].event.text, "a");
    EXPECT_EQ(events[2].event.pressed, 0);
    EXPECT_EQ(events[2].event.scancode, events[0].event.scancode);
    // "+50 @2 click right": 150 ms, display 2, press and release.
    EXPECT_EQ(events[3].atMicros, 150000u);
    EXPECT_EQ(events[3].display, 2);
    EXPECT_EQ(events[3].event.sub, 2);
    EXPECT_EQ(events[3].event.y, -4);
    EXPECT_EQ(events[4].event.pressed, 0);
    EXPECT_EQ(events[5].event.text, "say \"hi\"");
    EXPECT_EQ(events[6].atMicros, 200000u);
    EXPECT_EQ(events[6].event.paths, std::vector<std::string>({"a", "b c"}));
    EXPECT_EQ(events[7].event.kind, QZ_HEV_QUIT);

    // A wait for a window is a line of its own, with no event.
    events = Parse("0 @2 waitwindow\n+100 @2 key a\n+5 waitwindow\n");
    ASSERT_EQ(events.size(), 5u);
    EXPECT_TRUE(events[0].waitForWindow);
    EXPECT_EQ(events[0].display, 2);
    EXPECT_FALSE(events[1].waitForWindow);
    EXPECT_TRUE(events[4].waitForWindow);
    EXPECT_EQ(events[4].display, 0);
    EXPECT_EQ(events[4].atMicros, 105000u);
}

TEST(InputScript, BadLinesNameTheirLine) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"0 key a\n10 jump 3", "in.txt:2: unknown event \"jump\""},
        {"0 move 1 x2", "in.txt:1: bad number \"x2\""},
        {"0 move 1", "in.txt:1: missing y position"},
        {"0 move 1 2 3", "in.txt:1: unexpected \"3\""},
        {"soon key a", "in.txt:1: bad time \"soon\""},
        {"+-5 key a", "in.txt:1: bad time \"+-5\""},
        {"100 key a\n50 key b", "in.txt:2: time 50 is before the previous line's 100"},
        {"0 key hyper", "in.txt:1: unknown key \"hyper\""},
        {"0 key f25", "in.txt:1: unknown key \"f25\""},
        {"0 text \"open", "in.txt:1: unterminated quote"},
        {"0 wheel sideways", "in.txt:1: bad wheel direction \"sideways\" (up or down)"},
        {"0 resize 0 10", "in.txt:1: bad number \"0\""},
        {"0 drop 1 2", "in.txt:1: missing file name"},
        {"0 @x quit", "in.txt:1: bad display \"@x\""},
        {"0", "in.txt:1: missing event"},
        {"99999999999999 quit", "in.txt:1: bad time \"99999999999999\""},
        {"0 @1 waitwindow 5", "in.txt:1: unexpected \"5\""},
    };
    for (const Case& c : cases) {
        std::vector<qzScriptedEvent> events;
        std::string message;
        EXPECT_FALSE(ParseInputScript(c.text, "in.txt", &events, &message)) << c.text;
        EXPECT_EQ(message, c.message);
        EXPECT_TRUE(events.empty());
    }
}

class InputScriptRun : public HostTest {};

TEST_F(InputScriptRun, MissingOrBadFileStopsThePlatform) {
    setenv("QUARNELIX_DRIVER", "headless", 1);
    setenv("QUARNELIX_INPUT", "/nonexistent/input.txt", 1);
    std::string message;
    EXPECT_NE(MacInitPlatform(&message), 0);
    EXPECT_EQ(message, "QUARNELIX_INPUT: cannot read \"/nonexistent/input.txt\": No such file or directory");
    EXPECT_EQ(HostDriver(), nullptr);

    std::string path = ::testing::TempDir() + "qz_bad_input.txt";
    std::ofstream(path) << "0 key a\n0 fly\n";
    setenv("QUARNELIX_INPUT", path.c_str(), 1);
    EXPECT_NE(MacInitPlatform(&message), 0);
    EXPECT_EQ(message, path + ":2: unknown event \"fly\"");
    unsetenv("QUARNELIX_INPUT");
}

TEST_F(InputScriptRun, ScriptEventsArriveOnTime) {
    std::string path = ::testing::TempDir() + "qz_timed_input.txt";
    std::ofstream(path) << "30 @1 key x\n+100 quit\n";
    setenv("QUARNELIX_DRIVER", "headless", 1);
    setenv("QUARNELIX_INPUT", path.c_str(), 1);
    std::string message;
    ASSERT_EQ(MacInitPlatform(&message), 0) << message;
    started = true;
    unsetenv("QUARNELIX_INPUT");
    InstallCaptureHooks();
    Open(1);

    // Waiting for events returns for each scripted one when it is due.
    auto start = std::chrono::steady_clock::now();
    int quit = 0;
    while (!quit) {
        MacWaitEvents();
        int error = 0;
        quit = MacHandleEvents(nullptr, &error);
        ASSERT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    // Posted on display 1: the key, then the close request of the quit.
    ASSERT_EQ(Hooks().posted.size(), 3u);
    EXPECT_EQ(Hooks().posted[0].p3, 'x');
    EXPECT_EQ(Hooks().posted[2].type, QZ_EVENT_CLOSEWINDOW);
}

TEST_F(InputScriptRun, WaitwindowHoldsTheScriptUntilTheWindowOpens) {
    // The window opens 300 ms after the start, when the key's time has long passed: held by the
    // wait, the key still reaches it, 100 ms after it opened. For display 1 by its number, then
    // for whichever window takes the focus.
    for (const char* wait : {"0 @1 waitwindow\n", "0 waitwindow\n"}) {
        std::string path = ::testing::TempDir() + "qz_wait_input.txt";
        std::ofstream(path) << wait << "+100 @1 key x\n+50 quit\n";
        setenv("QUARNELIX_DRIVER", "headless", 1);
        setenv("QUARNELIX_INPUT", path.c_str(), 1);
        std::string message;
        ASSERT_EQ(MacInitPlatform(&message), 0) << message;
        started = true;
        unsetenv("QUARNELIX_INPUT");
        InstallCaptureHooks();
        auto start = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(300)) {
            int error = 0;
            EXPECT_EQ(MacHandleEvents(nullptr, &error), 0) << wait;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_TRUE(Hooks().posted.empty()) << wait;
        // Taken before the window opens: the driver counts the script's times from its own reading
        // of the clock while opening, in whole milliseconds.
        auto opened = std::chrono::steady_clock::now();
        Open(1);
        int quit = 0;
        while (!quit) {
            MacWaitEvents();
            int error = 0;
            quit = MacHandleEvents(nullptr, &error);
            ASSERT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << wait;
        }
        EXPECT_GE(std::chrono::steady_clock::now() - opened, std::chrono::milliseconds(149)) << wait;
        ASSERT_EQ(Hooks().posted.size(), 3u) << wait;
        EXPECT_EQ(Hooks().posted[0].p3, 'x') << wait;
        EXPECT_EQ(Hooks().posted[2].type, QZ_EVENT_CLOSEWINDOW) << wait;
        MacShutdownPlatform();
        started = false;
    }
}

}  // namespace

}  // namespace host_input_script_test
