// End to end: an applet run by the real player binary sorts and joins a table, dumps a memory
// block, reads its unknown command-line options, reads the code of an error that does not end it, and
// ends itself with End, which is silent and ends the script also while errors do not.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "asm/asm.h"

namespace {

std::string BinaryDir() {
    const char* env = std::getenv("QZ_BINARY_DIR");
    return env && *env ? env : QZ_BINARY_DIR;
}

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

TEST(SystemE2E, AppletUsesSystemAndMemblock) {
    const std::string player = BinaryDir() + "/bin/qzplayer";
    if (access(player.c_str(), X_OK) != 0) GTEST_SKIP() << "no player binary";
    std::string error;
    std::vector<uint8_t> bytes = QzAssemble(kApplet, &error);
    ASSERT_FALSE(bytes.empty()) << error;

    char dirTemplate[] = "/tmp/qzsystemXXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    std::string dir = dirTemplate;
    std::string applet = dir + "/system.qza";
    {
        std::ofstream out(applet, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    std::string command = "'" + player + "' -QUIET -DEBUGDEVICE stdout -mode fast '" + applet + "' 2>&1";
    std::string output;
    int status = -1;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) output.append(buffer, n);
        status = pclose(p);
    }
    std::string cleanup = "rm -rf '" + dir + "'";
    EXPECT_EQ(std::system(cleanup.c_str()), 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(output, "1,2,3\n"
                      "00000000: 01 02 00 00                                     ....\n"
                      "mode fast 1\n"
                      "1146\n");
}

}  // namespace
