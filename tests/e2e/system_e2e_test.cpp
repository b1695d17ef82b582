// End to end: an applet run by the real player binary sorts and joins a table, dumps a memory
// block, reads its unknown command-line options, reads the code of an error that does not end it, and
// ends itself with End, which is silent and ends the script also while errors do not. The bundled
// demo applet is played too.
#include <gtest/gtest.h>

#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"

namespace system_e2e_test {

namespace {

const char* kApplet = R"(.applet
.record 10 u8 6 u8 0
.function main
  .source "@system.qzs"
  .const 0
  .const 1
  .const 2
  .const 3
  .line 10
    NEWTABLE r0 0 0
    SETTABLE r0 k0 k3
    SETTABLE r0 k1 k1
    SETTABLE r0 k2 k2
    GETGLOBAL r1 "sort"
    MOVE r2 r0
    CALL r1 2 1
  .line 11
    GETGLOBAL r1 "debugprint"
    GETGLOBAL r2 "concat"
    MOVE r3 r0
    LOADK r4 ","
    CALL r2 3 2
    CALL r1 2 1
  .line 12
    GETGLOBAL r1 "allocmem"
    LOADK r2 1
    LOADK r3 4
    CALL r1 3 1
    GETGLOBAL r1 "poke"
    LOADK r2 1
    LOADK r3 0
    LOADK r4 258
    LOADK r5 6
    CALL r1 5 1
    GETGLOBAL r1 "dumpmem"
    LOADK r2 1
    CALL r1 2 1
  .line 13
    GETGLOBAL r1 "getcommandline"
    CALL r1 1 3
    GETGLOBAL r3 "debugprint"
    GETTABLE r7 r1 k0
    GETTABLE r4 r7 "arg"
    GETTABLE r5 r7 "param"
    MOVE r6 r2
    CALL r3 4 1
  .line 14
    GETGLOBAL r1 "exitonerror"
    LOADK r2 0
    CALL r1 2 1
    GETGLOBAL r1 "peek"
    LOADK r2 1
    LOADK r3 100
    CALL r1 3 1
    GETGLOBAL r1 "debugprint"
    GETGLOBAL r2 "getlasterror"
    CALL r2 1 2
    CALL r1 2 1
    GETGLOBAL r1 "end"
    CALL r1 1 1
  .line 15
    GETGLOBAL r1 "debugprint"
    LOADK r2 "not reached"
    CALL r1 2 1
    RETURN r0 1
.end
)";

// Assembles the applet text, plays it with the player binary (headless, quiet, errors on standard
// output) and returns everything it printed; *status gets the exit status.
std::string PlayApplet(const std::string& text, int* status) {
    std::string error;
    std::vector<uint8_t> bytes = QzAssemble(text, &error);
    EXPECT_FALSE(bytes.empty()) << error;
    char dirTemplate[] = "/tmp/qzsystemXXXXXX";
    if (!mkdtemp(dirTemplate)) {
        ADD_FAILURE() << "mkdtemp";
        return "";
    }
    std::string dir = dirTemplate;
    std::string applet = dir + "/system.qza";
    WriteBytes(applet, bytes);
    const std::string player = BinaryDir() + "/bin/qzplayer";
    std::string command = "'" + player + "' -QUIET -DEBUGDEVICE stdout -mode fast '" + applet + "' 2>&1";
    std::string output = CaptureOutput(command, status);
    std::string cleanup = "rm -rf '" + dir + "'";
    EXPECT_EQ(std::system(cleanup.c_str()), 0);
    return output;
}

bool HavePlayer() { return access((BinaryDir() + "/bin/qzplayer").c_str(), X_OK) == 0; }

TEST(SystemE2E, AppletUsesSystemAndMemblock) {
    if (!HavePlayer()) GTEST_SKIP() << "no player binary";
    int status;
    std::string output = PlayApplet(kApplet, &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(output,
              "1,2,3\n"
              "00000000: 01 02 00 00                                     ....\n"
              "mode fast 1\n"
              "1146\n");
}

// The console demo (demos/console.qzs) prints its results through the system library.
TEST(SystemE2E, DemoAppletPrintsItsResults) {
    if (!HavePlayer()) GTEST_SKIP() << "no player binary";
    const char* sourceEnv = std::getenv("QZ_SOURCE_DIR");
    std::string source = sourceEnv && *sourceEnv ? sourceEnv : QZ_SOURCE_DIR;
    std::ifstream in(source + "/demos/console.qzs");
    ASSERT_TRUE(in.good());
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int status;
    std::string output = PlayApplet(text, &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    struct utsname names;
    ASSERT_EQ(uname(&names), 0);
    std::string expected = std::string("QuarnelixPlayer 6.0 on ") + names.machine + "\n" +
                           "HELLO FROM QUARNELIX! has 21 characters, and 2 to that power is $200000\n"
                           "Sorted: Apple, Banana, cherry, pear\n"
                           "Sum of 1 to 100: 5050\n"
                           "00000000: 51 75 61 72 6e 65 6c 69 78 20 64 65 6d 6f 00 00 Quarnelix demo..\n"
                           "It is ";
    ASSERT_GE(output.size(), expected.size());
    EXPECT_EQ(output.substr(0, expected.size()), expected);
    // The date as "dd-Mon-20yy hh:mm:ss": 9 is a digit, A an upper-case and a a lower-case letter.
    const std::string shape = "99-Aaa-2099 99:99:99\n";
    std::string date = output.substr(expected.size());
    bool matches = date.size() == shape.size();
    for (size_t i = 0; matches && i < shape.size(); i++) {
        char c = date[i];
        if (shape[i] == '9')
            matches = c >= '0' && c <= '9';
        else if (shape[i] == 'A')
            matches = c >= 'A' && c <= 'Z';
        else if (shape[i] == 'a')
            matches = c >= 'a' && c <= 'z';
        else
            matches = c == shape[i];
    }
    EXPECT_TRUE(matches) << output;
}

}  // namespace

}  // namespace system_e2e_test
