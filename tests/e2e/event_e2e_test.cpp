// End to end: applets played by the real player. An interval's handler runs inside WaitEvent and
// its results come back in the table; a timeout re-arms itself; network events reach their
// handlers; an input script (and xdotool in a real window under Xvfb) drives key, button and
// close handlers and a label event; a script loop that never waits still ends when the input
// script asks to quit, since the line hook pumps events.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"

namespace event_e2e_test {

namespace {

// Three ticks of an interval through WaitEvent: each prints the action, the id and the first
// result of the handler (the tick count times 10); then the interval is cleared.
const char* kIntervalApplet = R"(.applet
.record 10 u8 6 u8 0
.function main
  .source "@interval.qzs"
  .line 1
    LOADK r0 0
    SETGLOBAL r0 "count"
    GETGLOBAL r0 "setinterval"
    LOADK r1 7
    CLOSURE r2 tick
    LOADK r3 20
    LOADK r4 "ud"
    CALL r0 5 1
  .line 2
loop:
    GETGLOBAL r0 "waitevent"
    CALL r0 1 2
    GETTABLE r1 r0 "results"
    GETTABLE r1 r1 0
    GETGLOBAL r2 "debugprint"
    GETTABLE r3 r0 "action"
    GETTABLE r4 r0 "id"
    MOVE r5 r1
    GETTABLE r6 r0 "seen"
    CALL r2 5 1
  .line 3
    GETGLOBAL r0 "count"
    LT 1 r0 3
    JMP loop
  .line 4
    GETGLOBAL r0 "clearinterval"
    LOADK r1 7
    CALL r0 2 1
    GETGLOBAL r0 "checkevent"
    CALL r0 1 2
    GETGLOBAL r1 "debugprint"
    GETTABLE r2 r0 "triggered"
    CALL r1 2 1
    RETURN r0 1
  .function tick
    .params 1
    .line 10
      GETGLOBAL r1 "count"
      ADD r1 r1 1
      SETGLOBAL r1 "count"
      SETTABLE r0 "seen" r1
      GETTABLE r2 r0 "userdata"
      MUL r1 r1 10
      CONCAT r1 r1 r2
      RETURN r1 2
  .end
.end
)";

// A timeout whose handler sets the same timeout again until it ran twice; CheckEvent inside a
// handler is refused with its error, trapped only around that call (any other error, such as
// memory running out in a wait, still ends the applet with its report).
const char* kTimeoutApplet = R"(.applet
.record 10 u8 6 u8 0
.function main
  .source "@timeout.qzs"
  .line 1
    LOADK r0 0
    SETGLOBAL r0 "runs"
    CLOSURE r2 fire
    SETGLOBAL r2 "fire"
    GETGLOBAL r0 "settimeout"
    LOADK r1 1
    LOADK r3 10
    CALL r0 4 1
  .line 2
    GETGLOBAL r0 "waitevent"
    CALL r0 1 1
    GETGLOBAL r0 "waitevent"
    CALL r0 1 1
  .line 3
    GETGLOBAL r0 "debugprint"
    GETGLOBAL r1 "runs"
    CALL r0 2 1
    RETURN r0 1
  .function fire
    .params 1
    .line 10
      GETGLOBAL r1 "runs"
      ADD r1 r1 1
      SETGLOBAL r1 "runs"
      LT 0 r1 2
      JMP done
      GETGLOBAL r1 "settimeout"
      LOADK r2 1
      GETGLOBAL r3 "fire"
      LOADK r4 10
      CALL r1 4 1
done:
      GETGLOBAL r1 "exitonerror"
      LOADK r2 0
      CALL r1 2 1
      GETGLOBAL r1 "checkevent"
      CALL r1 1 1
      GETGLOBAL r5 "getlasterror"
      CALL r5 1 2
      GETGLOBAL r1 "exitonerror"
      LOADK r2 1
      CALL r1 2 1
      GETGLOBAL r1 "debugprint"
      MOVE r2 r5
      CALL r1 2 1
      RETURN r0 1
  .end
.end
)";

// Counts forever without waiting: only the line hook's pump sees the input script's quit.
const char* kBusyApplet = R"(.applet
.record 10 u8 6 u8 0
.function main
  .source "@busy.qzs"
  .line 1
    GETGLOBAL r0 "debugprint"
    LOADK r1 "busy"
    CALL r0 2 1
    LOADK r0 0
  .line 2
loop:
    ADD r0 r0 1
    JMP loop
    RETURN r0 1
.end
)";

// A server and a connection to it on loopback: the connect, the data (read from the connection
// the table names) and the peer's close reach their handlers through WaitEvent (the shared 20-ms tick wakes the waits
// to poll); a datagram reaches "onreceiveudpdata".
const char* kNetworkApplet = R"(.applet
.record 10 u8 6 u8 0
.function main
  .source "@net.qzs"
  .line 1
    GETGLOBAL r0 "installeventhandler"
    NEWTABLE r1 0 4
    CLOSURE r2 handler
    SETTABLE r1 "onconnect" r2
    SETTABLE r1 "onreceivedata" r2
    SETTABLE r1 "ondisconnect" r2
    SETTABLE r1 "onreceiveudpdata" r2
    CALL r0 2 1
  .line 2
    GETGLOBAL r0 "createserver"
    LOADK r1 1
    LOADK r2 0
    LOADK r3 "127.0.0.1"
    CALL r0 4 1
    GETGLOBAL r0 "getlocalport"
    LOADK r1 1
    LOADK r2 115
    CALL r0 3 2
    GETGLOBAL r1 "openconnection"
    LOADK r2 2
    LOADK r3 "127.0.0.1"
    MOVE r4 r0
    CALL r1 4 1
    GETGLOBAL r0 "waitevent"
    CALL r0 1 1
  .line 3
    GETGLOBAL r0 "senddata"
    LOADK r1 2
    LOADK r2 "hello"
    CALL r0 3 1
    GETGLOBAL r0 "waitevent"
    CALL r0 1 2
    GETGLOBAL r1 "receivedata"
    GETTABLE r2 r0 "id"
    LOADK r3 1
    LOADK r4 5
    CALL r1 4 2
    GETGLOBAL r2 "debugprint"
    MOVE r3 r1
    CALL r2 2 1
  .line 4
    GETGLOBAL r0 "closeconnection"
    LOADK r1 2
    CALL r0 2 1
    GETGLOBAL r0 "waitevent"
    CALL r0 1 1
  .line 5
    GETGLOBAL r0 "createudpobject"
    LOADK r1 3
    CALL r0 2 1
    GETGLOBAL r0 "createudpobject"
    LOADK r1 4
    LOADK r2 0
    LOADK r3 "127.0.0.1"
    CALL r0 4 1
    GETGLOBAL r0 "getlocalport"
    LOADK r1 4
    LOADK r2 117
    CALL r0 3 2
    GETGLOBAL r1 "sendudpdata"
    LOADK r2 3
    LOADK r3 "datagram"
    LOADK r4 "127.0.0.1"
    MOVE r5 r0
    CALL r1 5 1
    GETGLOBAL r0 "waitevent"
    CALL r0 1 2
    GETGLOBAL r1 "debugprint"
    GETTABLE r2 r0 "id"
    CALL r1 2 1
    RETURN r0 1
  .function handler
    .params 1
    .line 10
      GETGLOBAL r1 "debugprint"
      GETTABLE r2 r0 "action"
      CALL r1 2 1
      RETURN r0 1
  .end
.end
)";

// A display with key, button and close handlers: every handler prints what it got; the key "q"
// or a close request ends the loop; a label event continues at its label.
const char* kDisplayApplet = R"(.applet
.record 10 u8 6 u8 0
.function main
  .source "@display.qzs"
  .line 1
    GETGLOBAL r0 "createdisplay"
    LOADK r1 2
    NEWTABLE r2 0 3
    SETTABLE r2 "title" "qz-event-window"
    SETTABLE r2 "width" 200
    SETTABLE r2 "height" 100
    CALL r0 3 1
    GETGLOBAL r0 "opendisplay"
    LOADK r1 2
    CALL r0 2 1
  .line 2
    GETGLOBAL r0 "installeventhandler"
    NEWTABLE r1 0 2
    CLOSURE r2 key
    SETTABLE r1 "onkeydown" r2
    CLOSURE r2 close
    SETTABLE r1 "closewindow" r2
    CALL r0 2 1
    GETGLOBAL r0 "makebutton"
    LOADK r1 1
    LOADK r2 0
    LOADK r3 10
    LOADK r4 10
    LOADK r5 50
    LOADK r6 30
    NEWTABLE r7 0 1
    CLOSURE r8 button
    SETTABLE r7 "onmouseup" r8
    CALL r0 8 1
    GETGLOBAL r0 "createkeydown"
    LOADK r1 1
    LOADK r2 "l"
    CALL r0 3 1
  .line 3
loop:
    GETGLOBAL r0 "waitevent"
    CALL r0 1 1
    GETGLOBAL r0 "done"
    TEST r0 0 0
    JMP loop
  .line 4
    GETGLOBAL r0 "debugprint"
    LOADK r1 "done"
    CALL r0 2 1
    RETURN r0 1
  .line 5
    .label ONKEYDOWN1
    GETGLOBAL r0 "debugprint"
    LOADK r1 "label"
    CALL r0 2 1
    JMP loop
    RETURN r0 1
  .function key
    .params 1
    .line 10
      GETGLOBAL r1 "debugprint"
      LOADK r2 "key "
      GETTABLE r3 r0 "key"
      CONCAT r2 r2 r3
      CALL r1 2 1
      GETTABLE r1 r0 "key"
      EQ 0 r1 "q"
      JMP out
      LOADBOOL r1 1 0
      SETGLOBAL r1 "done"
out:
      RETURN r0 1
  .end
  .function button
    .params 1
    .line 20
      GETGLOBAL r1 "debugprint"
      LOADK r2 "button "
      GETTABLE r3 r0 "id"
      CONCAT r2 r2 r3
      CALL r1 2 1
      RETURN r0 1
  .end
  .function close
    .params 1
    .line 30
      GETGLOBAL r1 "debugprint"
      LOADK r2 "close"
      CALL r1 2 1
      LOADBOOL r1 1 0
      SETGLOBAL r1 "done"
      RETURN r0 1
  .end
.end
)";

class EventE2E : public ::testing::Test {
protected:
    std::string dir;

    void SetUp() override {
        char pattern[] = "/tmp/qzevente2eXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::string command = "rm -rf '" + dir + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    // Plays the applet headless with an optional input script; returns what it printed.
    std::string Play(const char* text, const std::string& input, int* status, const char* extra = "") {
        std::string error;
        std::vector<uint8_t> bytes = QzAssemble(text, &error);
        EXPECT_FALSE(bytes.empty()) << error;
        const std::string applet = dir + "/applet.qza";
        WriteBytes(applet, bytes);
        std::string env = "QUARNELIX_DRIVER=headless ";
        if (!input.empty()) {
            const std::string script = dir + "/input.txt";
            std::string write = "printf '" + input + "' > '" + script + "'";
            EXPECT_EQ(std::system(write.c_str()), 0);
            env += "QUARNELIX_INPUT='" + script + "' ";
        }
        std::string command = env + extra + PlayerTimeout() + "'" + BinaryDir() +
                              "/bin/qzplayer' -QUIET -DEBUGDEVICE stdout '" + applet + "' 2>&1";
        return CaptureOutput(command, status);
    }
};

bool HavePlayer() { return access((BinaryDir() + "/bin/qzplayer").c_str(), X_OK) == 0; }

TEST_F(EventE2E, IntervalHandlersRunInsideWaitEvent) {
    if (!HavePlayer()) GTEST_SKIP() << "no player binary";
    int status;
    std::string output = Play(kIntervalApplet, "", &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    EXPECT_EQ(output, "Interval 7 10ud 1\nInterval 7 20ud 2\nInterval 7 30ud 3\n0\n");
}

TEST_F(EventE2E, TimeoutReArmsItselfAndNestedChecksAreRefused) {
    if (!HavePlayer()) GTEST_SKIP() << "no player binary";
    int status;
    std::string output = Play(kTimeoutApplet, "", &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    EXPECT_EQ(output, "1055\n1055\n2\n");
}

TEST_F(EventE2E, NetworkEventsReachTheirHandlers) {
    if (!HavePlayer()) GTEST_SKIP() << "no player binary";
    int status;
    std::string output = Play(kNetworkApplet, "", &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    EXPECT_EQ(output, "OnConnect\nOnReceiveData\nhello\nOnDisconnect\nOnReceiveUDPData\n4\n");
}

TEST_F(EventE2E, InputScriptDrivesKeysButtonsLabelsAndTheCloseHandler) {
    if (!HavePlayer()) GTEST_SKIP() << "no player binary";
    int status;
    // Events for a display whose window is not open yet are dropped: the script waits until the
    // window is open (late on a loaded machine), then leaves the applet time to install its
    // handlers.
    std::string output = Play(kDisplayApplet,
                              "0 @2 waitwindow\\n+300 @2 key h\\n+150 @2 key l\\n+150 @2 click 20 20\\n+150 @2 click "
                              "80 80\\n+150 @2 close\\n",
                              &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    EXPECT_EQ(output, "key h\nlabel\nbutton 1\nclose\ndone\n");
}

bool HaveProgram(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// The same applet in a real SDL window on a private X server, with xdotool typing and clicking.
TEST_F(EventE2E, RealWindowUnderXvfb) {
    if (!HavePlayer()) GTEST_SKIP() << "no player binary";
    for (const char* tool : {"xvfb-run", "xdotool"})
        if (!HaveProgram(tool)) GTEST_SKIP() << tool << " is needed";
    std::string error;
    std::vector<uint8_t> bytes = QzAssemble(kDisplayApplet, &error);
    ASSERT_FALSE(bytes.empty()) << error;
    WriteBytes(dir + "/applet.qza", bytes);
    const std::string script = "cd '" + dir +
                               "'\n"
                               "QUARNELIX_DRIVER=sdl '" +
                               BinaryDir() +
                               "/bin/qzplayer' -QUIET -DEBUGDEVICE stdout applet.qza > out.txt 2> err.txt &\n"
                               "pid=$!\n"
                               "id=$(timeout 20 xdotool search --sync --name qz-event-window | head -1)\n"
                               "xdotool windowfocus --sync \"$id\"\n"
                               "xdotool key --delay 50 h l\n"
                               "xdotool mousemove --window \"$id\" 20 20 click 1\n"
                               "sleep 0.3\n"
                               "xdotool key q\n"
                               "wait $pid\n";
    WriteBytes(dir + "/x11.sh", std::vector<uint8_t>(script.begin(), script.end()));
    int status;
    CaptureOutput("timeout 60 xvfb-run -a -s '-screen 0 1280x1024x24' sh '" + dir + "/x11.sh' 2>&1", &status);
    EXPECT_EQ(ReadAll(dir + "/out.txt"), "key h\nlabel\nbutton 1\nkey q\ndone\n");
}

TEST_F(EventE2E, LineHookSeesTheQuitOfABusyScript) {
    if (!HavePlayer()) GTEST_SKIP() << "no player binary";
    int status;
    std::string output = Play(kBusyApplet, "100 quit\\n", &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(output, "busy\n");
}

}  // namespace

}  // namespace event_e2e_test
