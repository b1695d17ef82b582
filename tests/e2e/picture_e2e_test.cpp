// End to end: background pictures loaded before any display exists, headless.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"

namespace picture_e2e_test {

namespace {

class PictureE2E : public ::testing::Test {
protected:
    void SetUp() override {
        char dirTemplate[] = "/tmp/qzpictureXXXXXX";
        ASSERT_NE(mkdtemp(dirTemplate), nullptr);
        dir = dirTemplate;
        // 64 x 48 yellow with an alpha ramp from left to right and an opaque blue box.
        ASSERT_EQ(Shell("convert -size 64x48 xc:yellow -fill blue -draw 'rectangle 8,8 23,19' -alpha set "
                        "-channel A -fx 'i<32 ? 1 : (63-i)/31' +channel pic.png"),
                  "");
    }
    void TearDown() override { EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0); }

    // Plays an applet (container records, then the script's code) headless; the snapshot of
    // display 2 is renamed to snapshot.
    void Play(const std::string& records, const std::string& body, const std::string& snapshot) {
        const std::string text = ".applet\n.record 10 u8 6 u8 0\n" + records +
                                 ".function main\n  .source \"@picture.qzs\"\n  .line 1\n" + body +
                                 "    GETGLOBAL r0 \"createdisplay\"\n    LOADK r1 2\n    NEWTABLE r2 0 0\n"
                                 "    SETTABLE r2 \"bgpic\" 2\n    CALL r0 3 1\n"
                                 "    GETGLOBAL r0 \"opendisplay\"\n    LOADK r1 2\n    CALL r0 2 1\n"
                                 "    RETURN r0 1\n.end\n";
        std::string error;
        std::vector<uint8_t> bytes = QzAssemble(text, &error);
        ASSERT_FALSE(bytes.empty()) << error;
        WriteBytes(dir + "/picture.qza", bytes);
        int status = 0;
        std::string output = CaptureOutput("cd '" + dir + "' && QUARNELIX_DRIVER=headless QUARNELIX_SNAPSHOT_DIR='" +
                                               dir + "' " + PlayerTimeout() + "'" + BinaryDir() +
                                               "/bin/qzplayer' -QUIET -DEBUGDEVICE stdout picture.qza 2>&1",
                                           &status);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
        EXPECT_EQ(output, "");
        EXPECT_EQ(Shell("mv display-2.png " + snapshot), "");
    }
    std::string Shell(const std::string& command) {
        int status = 0;
        return CaptureOutput("cd '" + dir + "' && " + command + " 2>&1", &status);
    }

    std::string dir;
};

// A picture preloaded by a directive, with its alpha channel and a fill colour, gets its bitmap
// when the display opens: it shows exactly as the same picture loaded by the script, flattened
// onto its fill.
TEST_F(PictureE2E, PreloadedPictureShowsAsLoadedByTheScript) {
    // BGPIC directive 2 of pic.png with "loadalpha" and fill colour #204060.
    const std::string records =
        ".record 0 i32 8 mark picname cstr \"pic.png\"\n"
        ".record 2 i32 1 u8 0 i32 2 offset picname i32 8 i32 0 i32 0 i32 -1 i32 1 i32 1 str16 \"\" str16 \"\" "
        "u8 1 i32 2113632 u32 0 i16 0 i32 0 i32 0 i32 0 u8 0 u32 0 u32 0 u32 0 u32 0 u8 0 i32 0 i32 0 i32 0\n";
    Play(records, "", "preloaded.png");
    const std::string load =
        "    GETGLOBAL r0 \"loadbgpic\"\n    LOADK r1 2\n    LOADK r2 \"pic.png\"\n    NEWTABLE r3 0 0\n"
        "    SETTABLE r3 \"loadalpha\" 1\n    SETTABLE r3 \"fillstyle\" 1\n    SETTABLE r3 \"fillcolor\" 2113632\n"
        "    CALL r0 4 1\n";
    Play("", load, "loaded.png");
    EXPECT_EQ(Shell("compare -metric AE preloaded.png loaded.png null:"), "0");
    // Both are the picture blended onto the fill.
    ASSERT_EQ(Shell("convert -size 64x48 xc:#204060 pic.png -composite reference.png"), "");
    EXPECT_EQ(Shell("compare -fuzz 1% -metric AE loaded.png reference.png null:"), "0");
}

}  // namespace

}  // namespace picture_e2e_test
