// End to end: applets played by the real player, headless. An interval's handler runs inside
// WaitEvent and its results come back in the table; a timeout re-arms itself; a script loop that
// never waits still ends when the input script asks to quit, since the line hook pumps events.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"

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
// handler is refused with its error.
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
      GETGLOBAL r1 "debugprint"
      GETGLOBAL r2 "getlasterror"
      CALL r2 1 2
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
        std::string command = env + extra + "'" + BinaryDir() + "/bin/qzplayer' -QUIET -DEBUGDEVICE stdout '" +
                              applet + "' 2>&1";
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

TEST_F(EventE2E, LineHookSeesTheQuitOfABusyScript) {
    if (!HavePlayer()) GTEST_SKIP() << "no player binary";
    int status;
    std::string output = Play(kBusyApplet, "100 quit\\n", &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(output, "busy\n");
}

}  // namespace
