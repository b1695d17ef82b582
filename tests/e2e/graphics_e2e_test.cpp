// End to end: an applet uses the graphics library on a headless display: colour arithmetic, the
// frame limit, GetAttribute of its display, clip regions, pointers, a refresh block and snapshots
// in three formats, and what it printed and saved is checked against the display's own snapshot
// (QUARNELIX_SNAPSHOT_DIR) with ImageMagick and netpbm; GetAttribute of a layer, a text object and
// the output that a brush, its mask or a picture selected for drawing makes.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"

namespace graphics_e2e_test {

namespace {

// A call of the command with literal arguments (numbers, or strings in quotes), its results
// dropped.
std::string Call(const std::string& command, const std::vector<std::string>& args) {
    std::string code = "    GETGLOBAL r1 \"" + command + "\"\n";
    int r = 2;
    for (const std::string& a : args) code += "    LOADK r" + std::to_string(r++) + " " + a + "\n";
    return code + "    CALL r1 " + std::to_string(args.size() + 1) + " 1\n";
}

// DebugPrint of the command's first `results` results.
std::string Print(const std::string& command, const std::vector<std::string>& args, int results = 1) {
    std::string code = "    GETGLOBAL r0 \"debugprint\"\n    GETGLOBAL r1 \"" + command + "\"\n";
    int r = 2;
    for (const std::string& a : args) code += "    LOADK r" + std::to_string(r++) + " " + a + "\n";
    code += "    CALL r1 " + std::to_string(args.size() + 1) + " " + std::to_string(results + 1) + "\n";
    return code + "    CALL r0 " + std::to_string(results + 1) + " 1\n";
}

// Display 2 (64 x 48, in $336699, titled "gfx") is made first.
const char* const kHeader =
    ".applet\n.record 10 u8 6 u8 0\n.function main\n  .source \"@graphics.qzs\"\n  .line 1\n"
    "    GETGLOBAL r1 \"createdisplay\"\n"
    "    LOADK r2 2\n"
    "    NEWTABLE r3 0 0\n"
    "    SETTABLE r3 \"width\" 64\n"
    "    SETTABLE r3 \"height\" 48\n"
    "    SETTABLE r3 \"color\" 3368601\n"
    "    SETTABLE r3 \"title\" \"gfx\"\n"
    "    CALL r1 3 1\n";

class GraphicsE2E : public ::testing::Test {
protected:
    void SetUp() override {
        char dirTemplate[] = "/tmp/qzgfxe2eXXXXXX";
        ASSERT_NE(mkdtemp(dirTemplate), nullptr);
        dir = dirTemplate;
    }
    void TearDown() override {
        std::string cleanup = "rm -rf '" + dir + "'";
        EXPECT_EQ(std::system(cleanup.c_str()), 0);
    }
    std::string Play(const std::string& body) {
        std::string error;
        std::vector<uint8_t> bytes = QzAssemble(std::string(kHeader) + body + "    RETURN r0 1\n.end\n", &error);
        EXPECT_FALSE(bytes.empty()) << error;
        WriteBytes(dir + "/graphics.qza", bytes);
        const std::string command = "cd '" + dir + "' && QUARNELIX_DRIVER=headless QUARNELIX_SNAPSHOT_DIR='" + dir +
                                    "' " + PlayerTimeout() + "'" + BinaryDir() +
                                    "/bin/qzplayer' -QUIET -DEBUGDEVICE stdout graphics.qza 2>&1";
        int status = 0;
        std::string output = CaptureOutput(command, &status);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
        return output;
    }
    std::string Shell(const std::string& command) {
        int status = 0;
        return CaptureOutput("cd '" + dir + "' && " + command + " 2>&1", &status);
    }
    std::string Differing(const std::string& a, const std::string& b) {
        return Shell("compare -metric AE " + a + " " + b + " null:");
    }
    std::string dir;
};

TEST_F(GraphicsE2E, AnAppletDrawsQueriesAndSavesItsDisplay) {
    const std::string body =
        Call("opendisplay", {"2"}) + Call("selectdisplay", {"2"}) + Print("rgb", {"255", "128", "0"}) +
        Print("mixrgb", {"0", "16777215", "128"}) + Call("setfpslimit", {"1000"}) + Print("getfpslimit", {}) +
        Call("vwait", {}) + Print("getattribute", {"21", "0", "0"}) + Print("getattribute", {"21", "0", "51"}) +
        Print("getattribute", {"21", "0", "54"}, 3) + Print("getattribute", {"21", "0", "24"}) +
        Print("getattribute", {"21", "0", "26"}) + Print("getattribute", {"21", "0", "25"}) +
        Print("getattribute", {"21", "0", "27"}) +
        // A clip region centred in the display, set on it.
        Call("createclipregion", {"1", "14", "-100000", "-100000", "32", "24"}) + Call("setclipregion", {"1"}) +
        Print("getattribute", {"35", "1", "7"}) + Print("getattribute", {"35", "1", "8"}) +
        // The busy pointer shown, then freed while shown.
        Call("createpointer", {"1", "36", "1"}) + Call("setpointer", {"1"}) + Call("freepointer", {"1"}) +
        Call("beginrefresh", {"1"}) + Call("endrefresh", {}) + Call("savesnapshot", {"\"snap.bmp\"", "1"}) +
        Call("savesnapshot", {"\"snap.png\"", "1", "1"}) + Call("savesnapshot", {"\"snap.jpg\"", "1", "2", "100"}) +
        Call("savesnapshot", {"\"window.bmp\""}) +
        // A snapshot kind that does not exist fails with its code.
        Call("exitonerror", {"0"}) + Call("savesnapshot", {"\"bad.bmp\"", "7"}) + Print("getlasterror", {});
    std::istringstream out(Play(body));
    std::vector<std::string> lines;
    for (std::string line; std::getline(out, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 13u) << (lines.empty() ? "" : lines[0]);
    EXPECT_EQ(lines[0], "16744448");
    EXPECT_EQ(lines[1], "8355711");
    EXPECT_EQ(lines[2], "1000");
    EXPECT_EQ(lines[3], "64");
    EXPECT_EQ(lines[4], "gfx");
    EXPECT_EQ(lines[5], "21 2 0");
    const int left = std::atoi(lines[6].c_str()), right = std::atoi(lines[7].c_str());
    const int top = std::atoi(lines[8].c_str()), bottom = std::atoi(lines[9].c_str());
    EXPECT_EQ(lines[10], "16");
    EXPECT_EQ(lines[11], "12");
    EXPECT_EQ(lines[12], "1055");

    // The snapshots of the display's picture are what the display shows, pixel for pixel (the JPEG
    // nearly so); the BMP reads the same through netpbm.
    EXPECT_EQ(Differing("snap.bmp", "display-2.png"), "0");
    EXPECT_EQ(Differing("snap.png", "display-2.png"), "0");
    EXPECT_GT(std::atof(Shell("compare -metric PSNR snap.jpg display-2.png null:").c_str()), 35.0);
    EXPECT_EQ(Shell("bmptopnm snap.bmp 2>/dev/null | pnmtopng > netpbm.png"), "");
    EXPECT_EQ(Differing("netpbm.png", "display-2.png"), "0");
    // The window's snapshot holds its borders.
    EXPECT_EQ(Shell("identify -format %wx%h window.bmp"),
              std::to_string(64 + left + right) + "x" + std::to_string(48 + top + bottom));
    EXPECT_EQ(Shell("test -e bad.bmp && echo there"), "");
}

TEST_F(GraphicsE2E, AttributesOfLayersTextObjectsAndTheSelectedOutput) {
    const std::string body =
        Call("opendisplay", {"2"}) + Call("selectdisplay", {"2"}) + Call("enablelayers", {}) +
        Call("createbrush", {"1", "4", "4", "0"}) + Call("displaybrush", {"1", "0", "0"}) +
        Call("setlayername", {"1", "\"one\""}) + Print("getattribute", {"22", "1", "0"}) +
        Print("getattribute", {"22", "\"ONE\"", "1"}) + Call("exitonerror", {"0"}) +
        Call("getattribute", {"22", "2", "0"}) + Print("getlasterror", {}) + Call("exitonerror", {"1"}) +
        Call("createtextobject", {"1", "\"AB\""}) + Print("getattribute", {"8", "1", "36"}) +
        Call("selectbrush", {"1"}) + Print("getattribute", {"21", "0", "54"}, 3) + Call("selectmask", {"1"}) +
        Print("getattribute", {"21", "0", "54"}, 3) + Call("endselect", {}) + Call("createbgpic", {"2", "10", "10"}) +
        Call("selectbgpic", {"2", "0"}) + Print("getattribute", {"21", "0", "54"}, 3) + Call("endselect", {}) +
        Print("getattribute", {"21", "0", "54"}, 3);
    EXPECT_EQ(Play(body), "4\n4\n1081\nAB\n3 1 3\n3 1 28\n1 2 3\n21 2 0\n");
}

}  // namespace

}  // namespace graphics_e2e_test
