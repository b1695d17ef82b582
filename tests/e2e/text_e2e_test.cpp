// End to end: line input in a headless display driven by an input script. InKeyStr takes only
// the characters its type allows, at most the maximum length, BACKSPACE takes the last one back,
// RETURN ends the input; the entered text is returned and printed once at the cursor.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"

namespace text_e2e_test {

namespace {

// Opens display 2, reads up to three digits and prints what came back.
const char* kInKeyApplet = R"(.applet
.record 10 u8 6 u8 0
.function main
  .source "@inkey.qzs"
  .line 1
    GETGLOBAL r0 "createdisplay"
    LOADK r1 2
    NEWTABLE r2 0 3
    SETTABLE r2 "title" "qz-inkey"
    SETTABLE r2 "width" 200
    SETTABLE r2 "height" 100
    CALL r0 3 1
    GETGLOBAL r0 "opendisplay"
    LOADK r1 2
    CALL r0 2 1
  .line 2
    GETGLOBAL r0 "inkeystr"
    LOADK r1 3
    LOADK r2 3
    CALL r0 3 2
    GETGLOBAL r1 "debugprint"
    LOADK r2 "got "
    MOVE r3 r0
    CONCAT r2 r2 r3
    CALL r1 2 1
    RETURN r0 1
.end
)";

class TextE2E : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override {
        char pattern[] = "/tmp/qztexte2eXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::string command = "rm -rf '" + dir + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }
};

TEST_F(TextE2E, InKeyStrFollowsItsTypeLengthAndBackspace) {
    if (access((BinaryDir() + "/bin/qzplayer").c_str(), X_OK) != 0) GTEST_SKIP() << "no player binary";
    std::string error;
    std::vector<uint8_t> bytes = QzAssemble(kInKeyApplet, &error);
    ASSERT_FALSE(bytes.empty()) << error;
    const std::string applet = dir + "/applet.qza";
    WriteBytes(applet, bytes);
    const std::string script = dir + "/input.txt";
    // Keys for a display whose window is not open yet are dropped: the script waits until the
    // window is open (late on a loaded machine), then leaves the applet time to ask for input.
    const std::string write =
        "printf '0 @2 waitwindow\\n+300 @2 key 1\\n+40 @2 key a\\n+40 @2 key 2\\n+40 @2 key 3\\n+40 @2 key 4\\n"
        "+40 @2 key backspace\\n+40 @2 key 9\\n+40 @2 key return\\n' > '" +
        script + "'";
    ASSERT_EQ(std::system(write.c_str()), 0);
    const std::string command = "QUARNELIX_DRIVER=headless QUARNELIX_INPUT='" + script + "' " + PlayerTimeout() + "'" +
                                BinaryDir() + "/bin/qzplayer' -QUIET -DEBUGDEVICE stdout '" + applet + "' 2>&1";
    int status = 0;
    const std::string output = CaptureOutput(command, &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    EXPECT_EQ(output, "got 129\n");
}

}  // namespace

}  // namespace text_e2e_test
