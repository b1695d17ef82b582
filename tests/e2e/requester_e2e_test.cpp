// End to end: an applet asks every kind of requester and uses the clipboard, headless, with the
// answers taken from a QUARNELIX_ANSWERS file; and a player started without an applet asks for
// one with the file requester and runs the one chosen.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"

namespace requester_e2e_test {

namespace {

const char* kApplet = R"(.applet
.record 10 u8 6 u8 0
.function main
  .source "@requesters.qzs"
  .const 0
  .const 1
  .line 10
    GETGLOBAL r1 "debugprint"
    GETGLOBAL r2 "systemrequest"
    LOADK r3 "Ask"
    LOADK r4 "Pick one"
    LOADK r5 "Yes|No|Cancel"
    CALL r2 4 2
    CALL r1 2 1
  .line 11
    GETGLOBAL r1 "filerequest"
    LOADK r2 "Files"
    LOADK r3 "txt|doc"
    LOADK r4 1
    CALL r1 4 2
    GETGLOBAL r2 "debugprint"
    GETGLOBAL r3 "concat"
    MOVE r4 r1
    LOADK r5 ","
    CALL r3 3 2
    CALL r2 2 1
  .line 12
    GETGLOBAL r1 "debugprint"
    GETGLOBAL r2 "pathrequest"
    LOADK r3 "Folder"
    CALL r2 2 2
    CALL r1 2 1
  .line 13
    GETGLOBAL r1 "debugprint"
    GETGLOBAL r2 "stringrequest"
    LOADK r3 "Number"
    LOADK r4 "How many?"
    LOADK r5 "12"
    LOADK r6 3
    LOADK r7 4
    CALL r2 6 0
    CALL r1 0 1
  .line 14
    GETGLOBAL r1 "debugprint"
    GETGLOBAL r2 "stringrequest"
    LOADK r3 "Name"
    LOADK r4 "Who?"
    CALL r2 3 0
    CALL r1 0 1
  .line 15
    GETGLOBAL r1 "debugprint"
    GETGLOBAL r2 "listrequest"
    LOADK r3 "Colour"
    LOADK r4 "Choose"
    NEWTABLE r5 0 0
    SETTABLE r5 k0 "red"
    SETTABLE r5 k1 "green"
    CALL r2 4 2
    CALL r1 2 1
  .line 16
    GETGLOBAL r1 "fontrequest"
    LOADK r2 "Font"
    CALL r1 2 2
    GETGLOBAL r2 "debugprint"
    GETTABLE r3 r1 "name"
    GETTABLE r4 r1 "size"
    GETTABLE r5 r1 "weight"
    CALL r2 4 1
  .line 17
    GETGLOBAL r1 "debugprint"
    GETGLOBAL r2 "colorrequest"
    LOADK r3 "Paint"
    CALL r2 2 2
    CALL r1 2 1
  .line 18
    GETGLOBAL r1 "setclipboard"
    LOADK r2 1
    LOADK r3 "copied text"
    CALL r1 3 1
    GETGLOBAL r1 "debugprint"
    GETGLOBAL r2 "getclipboard"
    CALL r2 1 0
    CALL r1 0 1
  .line 19
    GETGLOBAL r1 "clearclipboard"
    CALL r1 1 1
    GETGLOBAL r1 "debugprint"
    GETGLOBAL r2 "peekclipboard"
    CALL r2 1 0
    CALL r1 0 1
    RETURN r0 1
.end
)";

// The answers: "No"; two files; a folder; "abc" is refused by the numbers-only requester, which
// asks again; a cancel; "green"; a font; a colour.
const char* kAnswers = R"(# one answer per requester
2
/data/a.txt "/data/b c.txt"
/data/out/
abc
-7.5
cancel
green
"DejaVu Sans" 14 bold
$FF8000
)";

bool HavePlayer() { return access((BinaryDir() + "/bin/qzplayer").c_str(), X_OK) == 0; }

struct TempDir {
    std::string path;
    TempDir() {
        char name[] = "/tmp/qzrequestersXXXXXX";
        if (mkdtemp(name)) path = name;
    }
    ~TempDir() {
        if (!path.empty()) std::system(("rm -rf '" + path + "'").c_str());
    }
};

TEST(RequesterE2E, EveryRequesterAndTheClipboardAnswerFromTheAnswersFile) {
    if (!HavePlayer()) GTEST_SKIP() << "no player binary";
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    std::string error;
    std::vector<uint8_t> bytes = QzAssemble(kApplet, &error);
    ASSERT_FALSE(bytes.empty()) << error;
    WriteBytes(dir.path + "/requesters.qza", bytes);
    std::ofstream(dir.path + "/answers.txt") << kAnswers;
    std::string command = "QUARNELIX_DRIVER=headless QUARNELIX_ANSWERS='" + dir.path + "/answers.txt' '" + BinaryDir() +
                          "/bin/qzplayer' -QUIET -DEBUGDEVICE stdout '" + dir.path + "/requesters.qza' 2>'" + dir.path +
                          "/stderr.txt'";
    int status = 0;
    std::string output = CaptureOutput(command, &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadAll(dir.path + "/stderr.txt");
    EXPECT_EQ(output,
              "2\n"
              "/data/a.txt,/data/b c.txt,\n"
              "/data/out/\n"
              "-7.5 1\n"
              " 0\n"
              "1\n"
              "DejaVu Sans Bold 14 200\n"
              "16744448\n"
              "1 copied text\n"
              "0\n");
    // Each requester said what it asked on standard error; the numbers-only one asked twice.
    std::string said = ReadAll(dir.path + "/stderr.txt");
    EXPECT_NE(said.find("Ask: Pick one"), std::string::npos) << said;
    EXPECT_NE(said.find("Number: How many?\nNumber: How many?"), std::string::npos) << said;
}

TEST(RequesterE2E, WithoutAnAppletThePlayerAsksForOne) {
    if (!HavePlayer()) GTEST_SKIP() << "no player binary";
    TempDir dir;
    std::string error;
    std::vector<uint8_t> bytes = QzAssemble(
        ".applet\n.record 10 u8 6 u8 0\n.function main\n"
        "  GETGLOBAL r0 \"debugprint\"\n  LOADK r1 \"chosen\"\n"
        "  CALL r0 2 1\n  RETURN r0 1\n.end\n",
        &error);
    ASSERT_FALSE(bytes.empty()) << error;
    WriteBytes(dir.path + "/chosen.qza", bytes);
    std::ofstream(dir.path + "/answers.txt") << dir.path << "/chosen.qza\n";
    std::string command = "QUARNELIX_DRIVER=headless QUARNELIX_ANSWERS='" + dir.path + "/answers.txt' '" + BinaryDir() +
                          "/bin/qzplayer' -QUIET -DEBUGDEVICE stdout 2>/dev/null";
    int status = 0;
    std::string output = CaptureOutput(command, &status);
    EXPECT_EQ(output, "chosen\n");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace

}  // namespace requester_e2e_test
