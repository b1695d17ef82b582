// End to end: command errors in an applet run by the real player. The final report names the
// failing command as its library writes it, the script line that called it and the source file;
// with error trapping off a failed command is only recorded, and the context it leaves behind
// does not leak into the report of a later error.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"

namespace error_e2e_test {

namespace {

// Lines 1 to 20 of the main chunk come from "cmd.qzs".
const char* const kHeader = R"(
.applet
.record 10 u8 6 u8 0
.record 27 i32 1 i32 1 i32 20 i32 0 cstr "cmd.qzs" cstr "@cmd.qzs"
.function main
  .source "@cmd.qzs"
)";

// OpenFile of a missing file on line 3, with error trapping on.
const char* const kTrappedOpen = R"(
  .line 3
    GETGLOBAL r0 "openfile"
    LOADK r1 1
    LOADK r2 "/nonexistent/dir/missing.txt"
    CALL r0 3 1
  .line 4
    GETGLOBAL r0 "debugprint"
    LOADK r1 "not reached"
    CALL r0 2 1
    RETURN r0 1
.end
)";

// Trapping off: OpenFile fails on line 3 and only records its code, which line 4 prints. Trapping
// on again, StrLen without its argument fails on line 7.
const char* const kUntrappedThenArgumentError = R"(
  .line 2
    GETGLOBAL r0 "exitonerror"
    LOADK r1 0
    CALL r0 2 1
  .line 3
    GETGLOBAL r0 "openfile"
    LOADK r1 1
    LOADK r2 "/nonexistent/dir/missing.txt"
    CALL r0 3 1
  .line 4
    GETGLOBAL r0 "debugprint"
    GETGLOBAL r1 "getlasterror"
    CALL r1 1 2
    CALL r0 2 1
  .line 5
    GETGLOBAL r0 "exitonerror"
    LOADK r1 1
    CALL r0 2 1
  .line 7
    GETGLOBAL r0 "strlen"
    CALL r0 1 1
    RETURN r0 1
.end
)";

TEST(ErrorE2E, CommandErrorsAreReportedWithCommandFileAndLine) {
    const std::string player = BinaryDir() + "/bin/qzplayer";
    if (access(player.c_str(), X_OK) != 0) GTEST_SKIP() << "no player binary";
    char pattern[] = "/tmp/qzerre2eXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;

    struct Case {
        const char* body;
        const char* out;
        const char* err;
    };
    const Case cases[] = {
        {kTrappedOpen, "",
         "QuarnelixPlayer: Cannot read file missing.txt !\nFile: cmd.qzs (current line: 3 - In function: OpenFile)\n"},
        {kUntrappedThenArgumentError, "1045\n",
         "QuarnelixPlayer: Not enough arguments!\nFile: cmd.qzs (current line: 7 - In function: StrLen)\n"},
    };
    for (const Case& c : cases) {
        std::string error;
        std::vector<uint8_t> bytes = QzAssemble(std::string(kHeader) + c.body, &error);
        ASSERT_FALSE(bytes.empty()) << error;
        WriteBytes(dir + "/cmd.qza", bytes);
        std::string command = "cd '" + dir + "' && QUARNELIX_DRIVER=headless " + PlayerTimeout() + "'" + player +
                              "' -QUIET cmd.qza > out.txt 2> err.txt < /dev/null";
        int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(ReadAll(dir + "/out.txt"), c.out);
        EXPECT_EQ(ReadAll(dir + "/err.txt"), c.err);
    }
    std::string cleanup = "rm -rf '" + dir + "'";
    EXPECT_EQ(std::system(cleanup.c_str()), 0);
}

}  // namespace

}  // namespace error_e2e_test
