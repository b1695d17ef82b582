// End to end: an applet run by the real player binary uses the string and math libraries. Each
// check compares a command's result in the script and, on a mismatch, calls a missing function
// on its own source line, so the player's error report names the failing check. A last command
// fails on purpose and must be reported in console mode.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"
#include "runtime/error_messages.h"

namespace strlib_e2e_test {

namespace {

// One check: call NAME with the argument constants, compare its first result with the expected
// constant; on a mismatch call "CheckFailed" on the check's own line.
struct Check {
    int line;
    const char* name;
    std::vector<std::string> args;  // assembler constants
    std::string expected;           // assembler constant
};

// Compiled applets name globals in lower case.
std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string AppletText(const std::vector<Check>& checks, const std::string& finalCall) {
    std::ostringstream s;
    // The include range maps the chunk's lines 1 to 100 to the source file "strlib.qzs".
    s << ".applet\n.record 10 u8 6 u8 0\n"
      << ".record 27 i32 1 i32 1 i32 100 i32 0 cstr \"strlib.qzs\" cstr \"@strlib.qzs\"\n"
      << ".function main\n  .source \"@strlib.qzs\"\n";
    for (const Check& c : checks) {
        s << "  .line " << c.line << "\n";
        s << "    GETGLOBAL r0 \"" << Lower(c.name) << "\"\n";
        for (size_t i = 0; i < c.args.size(); i++) s << "    LOADK r" << i + 1 << " " << c.args[i] << "\n";
        s << "    CALL r0 " << c.args.size() + 1 << " 2\n";
        s << "    EQ 1 r0 " << c.expected << "\n";
        s << "    JMP +2\n";
        s << "    GETGLOBAL r0 \"checkfailed\"\n";
        s << "    CALL r0 1 1\n";
    }
    s << "  .line 90\n" << finalCall << "  .line 91\n    RETURN r0 1\n.end\n";
    return s.str();
}

TEST(StringMathE2E, AppletUsesTheLibraries) {
    const std::string player = BinaryDir() + "/bin/qzplayer";
    if (access(player.c_str(), X_OK) != 0) GTEST_SKIP() << "no player binary";
    std::vector<Check> checks = {
        {10, "HexStr", {"-1"}, "\"$FFFFFFFF\""},
        {11, "StrStr", {"1.5e-7"}, "\"1.5e-07\""},
        {12, "FormatStr", {"\"%5.2f|%q\"", "3.14159", "\"a\\\"b\""}, "\" 3.14|\\\"a\\\\\\\"b\\\"\""},
        {13, "PatternReplaceStr", {"\"hello world\"", "\"o\"", "\"0\""}, "\"hell0 w0rld\""},
        {14, "UpperStr", {"\"\\xE9t\\xE9\""}, "\"\\xC9T\\xC9\""},
        {15, "Eval", {"\"0 or 5\""}, "5"},
        {16, "ToNumber", {"\"ff\"", "16"}, "255"},
        {17, "MidStr", {"\"abcdef\"", "1", "3"}, "\"bcd\""},
        {18, "Shl", {"1", "32"}, "0"},
        {19, "Sar", {"-8", "1"}, "-4"},
        {20, "Cast", {"255", "1", "7"}, "-1"},
        {21, "Min", {"3", "1", "2"}, "1"},
        {22, "Round", {"2.5"}, "2"},
    };
    // A negative position for MidStr is refused.
    const std::string finalCall =
        "    GETGLOBAL r0 \"midstr\"\n    LOADK r1 \"abc\"\n    LOADK r2 -1\n    LOADK r3 1\n    CALL r0 4 2\n";
    std::string error;
    std::vector<uint8_t> bytes = QzAssemble(AppletText(checks, finalCall), &error);
    ASSERT_FALSE(bytes.empty()) << error;

    char dirTemplate[] = "/tmp/qzstrlibXXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    std::string dir = dirTemplate;
    std::string applet = dir + "/strlib.qza";
    WriteBytes(applet, bytes);
    std::string command = "'" + player + "' -QUIET -DEBUGDEVICE stdout '" + applet + "' 2>&1";
    int status;
    std::string output = CaptureOutput(command, &status);
    std::string cleanup = "rm -rf '" + dir + "'";
    EXPECT_EQ(std::system(cleanup.c_str()), 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(output, "strlib.qzs:90: " + FormatErrorText(ERR_WRONGUSAGE) + "\n");
}

}  // namespace

}  // namespace strlib_e2e_test
