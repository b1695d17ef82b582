// End to end: an applet run by the real player uses files linked into it through the dos
// library: it runs a linked program twice (one temporary copy, deleted at shutdown), copies a
// linked data file out and reads it into a string.
#include <gtest/gtest.h>

#include <sys/stat.h>
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

namespace dos_e2e_test {

namespace {

TEST(DosE2E, AppletUsesLinkedFiles) {
    const std::string player = BinaryDir() + "/bin/qzplayer";
    if (access(player.c_str(), X_OK) != 0) GTEST_SKIP() << "no player binary";
    char dirTemplate[] = "/tmp/qzdose2eXXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    std::string dir = dirTemplate;
    ASSERT_EQ(mkdir((dir + "/tmp").c_str(), 0755), 0);

    const std::string tool = "#!/bin/sh\\necho \\\"$0\\\" >> \\\"$1\\\"\\n";  // as assembler text
    const size_t toolSize = std::string("#!/bin/sh\necho \"$0\" >> \"$1\"\n").size();
    const std::string data = "linked data\\n";
    std::ostringstream s;
    s << ".applet\n.record 10 u8 6 u8 0\n"
      << ".record 26 i32 2 i32 0 cstr \"tool.sh\" i32 " << toolSize << " bytes \"" << tool << "\""
      << " cstr \"data.txt\" i32 12 bytes \"" << data << "\"\n"
      << ".function main\n"
      << "  GETGLOBAL r0 \"execute\"\n  LOADK r1 \"tool.sh " << dir << "/out.txt\"\n  CALL r0 2 1\n"
      << "  GETGLOBAL r0 \"execute\"\n  LOADK r1 \"tool.sh " << dir << "/out.txt\"\n  CALL r0 2 1\n"
      << "  GETGLOBAL r0 \"copyfile\"\n  LOADK r1 \"Data.txt\"\n  LOADK r2 \"" << dir << "/copied\"\n  CALL r0 3 1\n"
      << "  GETGLOBAL r0 \"filetostring\"\n  LOADK r1 \"data.txt\"\n  CALL r0 2 2\n"
      << "  GETGLOBAL r1 \"stringtofile\"\n  MOVE r2 r0\n  LOADK r3 \"" << dir << "/string.txt\"\n  CALL r1 3 1\n"
      << "  RETURN r0 1\n.end\n";
    std::string error;
    std::vector<uint8_t> bytes = QzAssemble(s.str(), &error);
    ASSERT_FALSE(bytes.empty()) << error << "\n" << s.str();
    std::string applet = dir + "/dos.qza";
    WriteBytes(applet, bytes);
    std::string command =
        "'" + player + "' -QUIET -TEMPDIR '" + dir + "/tmp' -DEBUGDEVICE stdout '" + applet + "' 2>&1";
    int status;
    std::string output = CaptureOutput(command, &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(output, "");

    // Both runs used the same temporary copy, which is gone after shutdown.
    std::string runs = ReadAll(dir + "/out.txt");
    size_t lf = runs.find('\n');
    ASSERT_NE(lf, std::string::npos) << runs;
    std::string copy = runs.substr(0, lf);
    EXPECT_EQ(runs, copy + "\n" + copy + "\n");
    EXPECT_EQ(copy.rfind(dir + "/tmp/quarnelix.", 0), 0u) << copy;
    EXPECT_NE(access(copy.c_str(), F_OK), 0);
    EXPECT_EQ(ReadAll(dir + "/copied/data.txt"), "linked data\n");
    EXPECT_EQ(ReadAll(dir + "/string.txt"), "linked data\n");

    std::string cleanup = "rm -rf '" + dir + "'";
    EXPECT_EQ(std::system(cleanup.c_str()), 0);
}

}  // namespace

}  // namespace dos_e2e_test
