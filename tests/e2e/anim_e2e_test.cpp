// End to end: applets make anims from a picture that ImageMagick cut into coloured frames and from
// brushes, draw and play their frames on a display headless, show them as layers and step those
// through their frames; the snapshots and what the applets print are compared with the frames
// as made.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"
#include "e2e/png_pixels.h"
#include "image/iff_anim_files.h"

namespace anim_e2e_test {

namespace {

std::string Lower(std::string name) {
    for (char& c : name) c = (char)std::tolower((unsigned char)c);  // globals are looked up in lower case
    return name;
}

// One command call with constant arguments; options, when given, are key = constant pairs of a
// table passed last.
std::string Call(const std::string& command, const std::vector<std::string>& args,
                 const std::vector<std::pair<std::string, std::string>>& options = {}) {
    std::string code = "    GETGLOBAL r0 \"" + Lower(command) + "\"\n";
    int r = 1;
    for (const std::string& a : args) code += "    LOADK r" + std::to_string(r++) + " " + a + "\n";
    if (!options.empty()) {
        code += "    NEWTABLE r" + std::to_string(r) + " 0 0\n";
        for (const auto& [key, value] : options) {
            // A boolean goes through a register of its own.
            std::string operand = value;
            if (value == "true" || value == "false") {
                code += std::string("    LOADBOOL r9 ") + (value == "true" ? "1" : "0") + " 0\n";
                operand = "r9";
            }
            code += "    SETTABLE r" + std::to_string(r) + " \"" + key + "\" " + operand + "\n";
        }
        r++;
    }
    return code + "    CALL r0 " + std::to_string(r) + " 1\n";
}

// A call whose one result is printed on its own line.
std::string Print(const std::string& command, const std::vector<std::string>& args) {
    std::string code = "    GETGLOBAL r0 \"" + Lower(command) + "\"\n";
    int r = 1;
    for (const std::string& a : args) code += "    LOADK r" + std::to_string(r++) + " " + a + "\n";
    return code + "    CALL r0 " + std::to_string(r) + " 2\n    GETGLOBAL r1 \"debugprint\"\n    MOVE r2 r0\n" +
           "    CALL r1 2 1\n";
}

// GetAttribute type and attribute numbers.
constexpr int kAnim = 4;
constexpr int kLayer = 22;
constexpr int kAttrWidth = 0, kAttrNumFrames = 11, kAttrCurFrame = 12, kAttrHasMask = 16, kAttrFrameDelay = 37;

constexpr uint32_t kBlack = 0, kRed = 0xFF0000, kLime = 0x00FF00, kBlue = 0x0000FF, kYellow = 0xFFFF00,
                   kBack = 0x204060;

class AnimE2E : public ::testing::Test {
protected:
    void SetUp() override {
        char dirTemplate[] = "/tmp/qzanimXXXXXX";
        ASSERT_NE(mkdtemp(dirTemplate), nullptr);
        dir = dirTemplate;
        // 20 x 20: four 10 x 10 frames in two rows, red, lime / blue, yellow.
        ASSERT_EQ(Shell("convert -size 20x20 xc:red -fill lime -draw 'rectangle 10,0 19,9' -fill blue "
                        "-draw 'rectangle 0,10 9,19' -fill yellow -draw 'rectangle 10,10 19,19' strip.png"),
                  "");
    }
    void TearDown() override { EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0); }

    // Plays the applet body on display 2 (64 x 48, colour #204060, layers as asked) headless; what
    // it printed. records: container records (directives) of the applet.
    std::string Play(const std::string& body, bool layers = false, const std::string& records = "") {
        const std::string text =
            ".applet\n.record 10 u8 6 u8 0\n" + records + ".function main\n  .source \"@anim.qzs\"\n  .line 1\n" +
            Call("CreateDisplay", {"2"},
                 {{"width", "64"}, {"height", "48"}, {"color", "2113632"}, {"layers", layers ? "true" : "false"}}) +
            Call("OpenDisplay", {"2"}) + body + "    RETURN r0 1\n.end\n";
        std::string error;
        std::vector<uint8_t> bytes = QzAssemble(text, &error);
        EXPECT_FALSE(bytes.empty()) << error;
        WriteBytes(dir + "/anim.qza", bytes);
        int status = 0;
        std::string output = CaptureOutput("cd '" + dir + "' && QUARNELIX_DRIVER=headless QUARNELIX_SNAPSHOT_DIR='" +
                                               dir + "' " + PlayerTimeout() + "'" + BinaryDir() +
                                               "/bin/qzplayer' -QUIET -DEBUGDEVICE stdout anim.qza 2>&1",
                                           &status);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
        return output;
    }
    std::string Shell(const std::string& command) {
        int status = 0;
        return CaptureOutput("cd '" + dir + "' && " + command + " 2>&1", &status);
    }
    uint32_t Pixel(int x, int y) {
        const std::vector<uint32_t> pixels = ReadPngPixels(dir + "/display-2.png", 64, 48);
        return pixels.empty() ? 0xFFFFFFFFu : pixels[y * 64 + x];
    }

    std::string dir;
};

// The grid is cut row by row; each drawn frame shows its own colour, and the attributes describe
// the anim.
TEST_F(AnimE2E, LoadedGridFramesDrawInOrder) {
    const std::string body =
        Call("LoadAnim", {"1", "\"strip.png\""}, {{"width", "10"}, {"height", "10"}, {"frames", "4"}, {"fpr", "2"}}) +
        Call("DisplayAnimFrame", {"1", "0", "0", "1"}) + Call("DisplayAnimFrame", {"1", "10", "0", "2"}) +
        Call("DisplayAnimFrame", {"1", "20", "0", "3"}) + Call("DisplayAnimFrame", {"1", "30", "0", "4"}) +
        Print("GetAttribute", {std::to_string(kAnim), "1", std::to_string(kAttrNumFrames)}) +
        Print("GetAttribute", {std::to_string(kAnim), "1", std::to_string(kAttrWidth)}) +
        Print("GetAttribute", {std::to_string(kAnim), "1", std::to_string(kAttrHasMask)}) +
        Call("SetAnimFrameDelay", {"1", "2", "70"}) +
        Print("GetAttribute", {std::to_string(kAnim), "1", std::to_string(kAttrFrameDelay), "2"}) +
        Print("GetAttribute", {std::to_string(kAnim), "1", std::to_string(kAttrFrameDelay), "1"});
    EXPECT_EQ(Play(body), "4\n10\n0\n70\n0\n");
    const uint32_t expected[] = {kRed, kLime, kBlue, kYellow};
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(Pixel(k * 10 + 5, 5), expected[k]) << "frame " << k + 1;
        EXPECT_EQ(Pixel(k * 10 + 5, 15), kBack) << "below frame " << k + 1;
    }
}

// Playing twice through frames whose last one is wholly transparent leaves the display as it was
// under the anim: each frame is drawn over the saved background, not over the frame before.
TEST_F(AnimE2E, PlayingDrawsEachFrameOverTheSavedBackground) {
    const std::string body =
        Call("LoadAnim", {"1", "\"strip.png\""},
             {{"width", "10"}, {"height", "10"}, {"frames", "4"}, {"fpr", "2"}, {"transparency", "16776960"}}) +
        Call("PlayAnim", {"1", "5", "5", "-2", "2"}) + Call("PlayAnim", {"1", "30", "5", "-2", "1"}) +
        Call("ModifyAnimFrames", {"1", "-1"}) + Call("PlayAnim", {"1", "45", "5", "-2", "1"}) +
        Print("GetAttribute", {std::to_string(kAnim), "1", std::to_string(kAttrNumFrames)});
    EXPECT_EQ(Play(body), "3\n");
    EXPECT_EQ(Pixel(10, 10), kBack);
    EXPECT_EQ(Pixel(35, 10), kBack);
    EXPECT_EQ(Pixel(50, 10), kBlue);  // the last of three frames
}

// An anim shown as a layer steps through its frames; freed by the script it lives on for the
// layer, and its number may be taken by a new anim at once.
TEST_F(AnimE2E, AnimLayersStepAndOutliveTheirAnim) {
    const std::string body =
        Call("LoadAnim", {"1", "\"strip.png\""}, {{"width", "10"}, {"height", "10"}, {"frames", "4"}, {"fpr", "2"}}) +
        Call("SetAnimFrameDelay", {"1", "3", "40"}) + Call("DisplayAnimFrame", {"1", "0", "0", "2"}) +
        Call("NextFrame", {"1"}) + Print("GetAttribute", {std::to_string(kLayer), "1", std::to_string(kAttrCurFrame)}) +
        Print("GetAttribute", {std::to_string(kLayer), "1", std::to_string(kAttrFrameDelay)}) +
        Call("FreeAnim", {"1"}) + Call("NextFrame", {"1"}) +
        Call("LoadAnim", {"1", "\"strip.png\""}, {{"width", "10"}, {"height", "10"}, {"frames", "4"}, {"fpr", "2"}}) +
        Call("DisplayAnimFrame", {"1", "20", "0", "1"}) +
        Print("GetAttribute", {std::to_string(kLayer), "1", std::to_string(kAttrCurFrame)});
    EXPECT_EQ(Play(body, true), "3\n40\n4\n");
    EXPECT_EQ(Pixel(5, 5), kYellow);
    EXPECT_EQ(Pixel(25, 5), kRed);
}

// Anims built from a brush: frames per row 0 lays every frame in one row; a grid beyond the brush
// is refused.
TEST_F(AnimE2E, CreateAnimCutsABrush) {
    const std::string body =
        Call("LoadBrush", {"1", "\"strip.png\""}) + Call("CreateAnim", {"1", "1", "10", "10", "2", "0", "0", "10"}) +
        Call("DisplayAnimFrame", {"1", "0", "0", "1"}) + Call("DisplayAnimFrame", {"1", "10", "0", "2"}) +
        Call("CopyAnim", {"1", "2"}) + Call("FreeAnim", {"1"}) + Call("DisplayAnimFrame", {"2", "20", "0", "2"}) +
        Call("GetAnimFrame", {"3", "1", "2"}) + Call("DisplayBrush", {"3", "30", "0"}) +
        Call("CreateAnim", {"4", "1", "10", "10", "3", "0"});
    const std::string out = Play(body);
    EXPECT_NE(out.find("Wrong brush size!"), std::string::npos) << out;
    EXPECT_EQ(Pixel(5, 5), kBlue);
    EXPECT_EQ(Pixel(15, 5), kYellow);
    EXPECT_EQ(Pixel(25, 5), kYellow);
    EXPECT_EQ(Pixel(35, 5), kBlue);
}

// A GIF loads as an anim with the file's delays, held in memory or decoded frame by frame from
// disk; the disk anim plays, scales and copies like the other, and PlayAnimDisk plays a file.
// A one-frame GIF is no anim.
TEST_F(AnimE2E, GifFilesLoadInMemoryAndFromDisk) {
    ASSERT_EQ(Shell("convert -delay 10 -size 10x10 xc:red -delay 20 xc:lime -delay 30 xc:blue -loop 0 three.gif && "
                    "convert -size 10x10 xc:red one.gif"),
              "");
    const std::string body =
        Call("LoadAnim", {"1", "\"three.gif\""}) + Call("LoadAnim", {"2", "\"three.gif\""}, {{"fromdisk", "true"}}) +
        Print("GetAttribute", {std::to_string(kAnim), "1", std::to_string(kAttrNumFrames)}) +
        Print("GetAttribute", {std::to_string(kAnim), "1", std::to_string(kAttrFrameDelay), "2"}) +
        Print("GetAttribute", {std::to_string(kAnim), "2", std::to_string(kAttrFrameDelay), "3"}) +
        Print("IsAnim", {"\"three.gif\""}) + Print("IsAnim", {"\"one.gif\""}) +
        Call("DisplayAnimFrame", {"1", "0", "0", "2"}) + Call("DisplayAnimFrame", {"2", "10", "0", "3"}) +
        Call("PlayAnim", {"2", "20", "0", "-2"}) + Call("ScaleAnim", {"2", "20", "20"}) +
        Call("DisplayAnimFrame", {"2", "40", "0", "1"}) + Call("CopyAnim", {"2", "3"}) + Call("FreeAnim", {"2"}) +
        Call("DisplayAnimFrame", {"3", "0", "20", "2"}) +
        Call("PlayAnimDisk", {"\"three.gif\"", "50", "30", "0", "-2"});
    EXPECT_EQ(Play(body), "3\n200\n300\n1\n0\n");
    EXPECT_EQ(Pixel(55, 35), kBlue);  // PlayAnimDisk's last frame
    EXPECT_EQ(Pixel(5, 5), kLime);
    EXPECT_EQ(Pixel(15, 5), kBlue);
    EXPECT_EQ(Pixel(25, 5), kBlue);
    EXPECT_EQ(Pixel(59, 19), kRed);
    EXPECT_EQ(Pixel(19, 39), kLime);
}

// An anim built from a brush is saved as a GIF that ImageMagick reads back with the same frames
// and delays, and that loads again as the same anim; a save that fails leaves the old file.
TEST_F(AnimE2E, SavedGifHoldsTheFrames) {
    ASSERT_EQ(Shell("echo old > keep.gif"), "");
    const std::string body =
        Call("LoadBrush", {"1", "\"strip.png\""}) + Call("CreateAnim", {"1", "1", "10", "10", "4", "2"}) +
        Call("SetAnimFrameDelay", {"1", "1", "50"}) + Call("SetAnimFrameDelay", {"1", "4", "120"}) +
        Call("SaveAnim", {"1", "\"out.gif\""}) + Call("LoadAnim", {"2", "\"out.gif\""}) +
        Call("DisplayAnimFrame", {"2", "0", "0", "3"}) + Call("DisplayAnimFrame", {"2", "10", "0", "4"}) +
        Print("GetAttribute", {std::to_string(kAnim), "2", std::to_string(kAttrFrameDelay), "4"}) +
        Call("SaveAnim", {"1", "\"keep.gif\"", "0"}, {{"colors", "1"}});
    const std::string out = Play(body);
    EXPECT_EQ(out.substr(0, 4), "120\n") << out;
    EXPECT_NE(out.find("Wrong usage"), std::string::npos) << out;
    EXPECT_EQ(Pixel(5, 5), kBlue);
    EXPECT_EQ(Pixel(15, 5), kYellow);
    EXPECT_EQ(Shell("convert out.gif -coalesce -format '%T %[fx:p{5,5}.r*255],%[fx:p{5,5}.g*255],%[fx:p{5,5}.b*255];' "
                    "info:"),
              "5 255,0,0;0 0,255,0;0 0,0,255;12 255,255,0;");
    EXPECT_EQ(Shell("cat keep.gif"), "old\n");
}

// CreateLayer with frames makes an anim layer of blank frames; ModifyLayerFrames changes the frames
// of the layer's own anim (the script's anim stays as it was) and keeps the shown frame where it
// stays; a move list shows an anim frame as a new layer.
TEST_F(AnimE2E, LayerFramesChangeForTheirLayer) {
    const std::string body =
        Call("LoadAnim", {"1", "\"strip.png\""}, {{"width", "10"}, {"height", "10"}, {"frames", "4"}, {"fpr", "2"}}) +
        Call("CreateLayer", {"40", "30", "8", "8"}, {{"frames", "3"}, {"color", "16711680"}}) +
        Print("GetAttribute", {std::to_string(kLayer), "1", std::to_string(kAttrNumFrames)}) +
        Call("DisplayAnimFrame", {"1", "0", "0", "3"}) + Call("ModifyLayerFrames", {"2", "2", "1"}) +
        Print("GetAttribute", {std::to_string(kLayer), "2", std::to_string(kAttrNumFrames)}) +
        Print("GetAttribute", {std::to_string(kLayer), "2", std::to_string(kAttrCurFrame)}) +
        Print("GetAttribute", {std::to_string(kAnim), "1", std::to_string(kAttrNumFrames)}) +
        Call("ModifyLayerFrames", {"2", "-3", "4"}) +
        Print("GetAttribute", {std::to_string(kLayer), "2", std::to_string(kAttrCurFrame)}) +
        Call("AddMove", {"1", "4", "1", "20", "0", "-1"}) + Call("DoMove", {"1"});
    EXPECT_EQ(Play(body, true), "3\n6\n5\n4\n1\n");
    EXPECT_EQ(Pixel(44, 34), kRed);
    EXPECT_EQ(Pixel(5, 5), kBlack);  // the first of the layer's frames is one it added
    EXPECT_EQ(Pixel(25, 5), kYellow);
}

// An asynchronous playback draws one frame each time the script asks, answers 1 once it is done,
// and then lets the anim go.
TEST_F(AnimE2E, AsyncPlaybackStepsWhenAsked) {
    std::string body =
        Call("LoadAnim", {"1", "\"strip.png\""}, {{"width", "10"}, {"height", "10"}, {"frames", "4"}, {"fpr", "2"}}) +
        "    GETGLOBAL r0 \"playanim\"\n    LOADK r1 1\n    LOADK r2 0\n    LOADK r3 0\n    NEWTABLE r4 0 0\n"
        "    SETTABLE r4 \"speed\" -2\n    LOADBOOL r9 1 0\n    SETTABLE r4 \"async\" r9\n    CALL r0 5 2\n"
        "    MOVE r8 r0\n";
    for (int i = 0; i < 5; i++) {
        body +=
            "    GETGLOBAL r0 \"asyncdrawframe\"\n    MOVE r1 r8\n    CALL r0 2 2\n"
            "    GETGLOBAL r1 \"debugprint\"\n    MOVE r2 r0\n    CALL r1 2 1\n";
        if (i == 1) body += Call("DisplayAnimFrame", {"1", "20", "0", "1"});
    }
    body += Call("FreeAnim", {"1"});
    EXPECT_EQ(Play(body), "0\n0\n0\n0\n1\n");
    EXPECT_EQ(Pixel(5, 5), kYellow);
    EXPECT_EQ(Pixel(25, 5), kRed);
}

// Drawing goes into a selected frame and stays there; the anim cannot be freed meanwhile.
TEST_F(AnimE2E, DrawingIntoASelectedFrame) {
    const std::string body =
        Call("LoadAnim", {"1", "\"strip.png\""}, {{"width", "10"}, {"height", "10"}, {"frames", "4"}, {"fpr", "2"}}) +
        Call("SelectAnim", {"1", "2"}) + Call("SetFillStyle", {"1"}) + Call("Box", {"0", "0", "5", "5", "16711680"}) +
        Call("EndSelect", {}) + Call("DisplayAnimFrame", {"1", "0", "0", "2"}) +
        Call("DisplayAnimFrame", {"1", "10", "0", "3"}) + Call("SelectAnim", {"1", "1"}) + Call("FreeAnim", {"1"});
    const std::string out = Play(body);
    EXPECT_NE(out.find("Attempt to modify the active anim!"), std::string::npos) << out;
    EXPECT_EQ(Pixel(2, 2), kRed);
    EXPECT_EQ(Pixel(7, 7), kLime);
    EXPECT_EQ(Pixel(12, 2), kBlue);
}

// Two layers of one anim decoded from disk show different frames at once.
TEST_F(AnimE2E, LayersOfADiskAnimShowTheirOwnFrames) {
    ASSERT_EQ(Shell("convert -size 10x10 xc:red xc:lime xc:blue three.gif"), "");
    const std::string body = Call("LoadAnim", {"1", "\"three.gif\""}, {{"fromdisk", "true"}}) +
                             Call("DisplayAnimFrame", {"1", "0", "0", "1"}) +
                             Call("DisplayAnimFrame", {"1", "10", "0", "3"}) + Call("NextFrame", {"1"}) +
                             Call("NextFrame", {"2"}) + Call("SetLayerStyle", {"1"}, {{"rotate", "90"}});
    EXPECT_EQ(Play(body, true), "");
    EXPECT_EQ(Pixel(5, 5), kLime);
    EXPECT_EQ(Pixel(15, 5), kRed);
}

// An anim stream writes brushes as frames: a brush of the stream's size is the frame, a smaller one
// is placed on a frame of colour 0; a stream left open is finished at shutdown.
TEST_F(AnimE2E, AnimStreamsWriteBrushesAsFrames) {
    const std::string body =
        Call("BeginAnimStream", {"1", "\"s.gif\"", "20", "10"}) + Call("CreateBrush", {"1", "20", "10", "16711680"}) +
        Call("CreateBrush", {"2", "10", "10", "65280"}) + Call("WriteAnimFrame", {"1", "1"}, {{"delay", "100"}}) +
        Call("WriteAnimFrame", {"1", "2"}, {{"x", "10"}, {"delay", "50"}}) + Call("FinishAnimStream", {"1"}) +
        Call("BeginAnimStream", {"2", "\"open.gif\"", "10", "10"}) + Call("WriteAnimFrame", {"2", "2"}) +
        Call("FinishAnimStream", {"1"});
    const std::string out = Play(body);
    EXPECT_NE(out.find("Could not find anim stream 1!"), std::string::npos) << out;
    EXPECT_EQ(Shell("convert s.gif -coalesce -format '%T %[fx:p{5,5}.r*255],%[fx:p{5,5}.g*255] "
                    "%[fx:p{15,5}.g*255];' info:"),
              "10 255,0 0;5 0,0 255;");
    EXPECT_EQ(Shell("identify -format '%n %w;' open.gif"), "1 10;");
}

// IFF ANIM files load in memory and from disk, without their loop frames when asked, play, and
// show field animations woven or line-doubled; a file cut short in its picture is no anim.
TEST_F(AnimE2E, IffAnimFilesShowTheirFrames) {
    imgtest::WriteFile(dir + "/solid.anim", imgtest::SolidIffAnim({0, 1, 2, 0, 1}));
    // Frame 3 of the fields paints the odd rows blue, and shows lime (frame 2) or blue in the others.
    const std::string fields = imgtest::SolidFieldIffAnim({0, 1, 2, 3, 0, 1});
    imgtest::WriteFile(dir + "/fields.anim", fields);
    imgtest::WriteFile(dir + "/cut.anim", fields.substr(0, fields.find("BODY") + 20));
    const std::string frames = std::to_string(kAttrNumFrames), delay = std::to_string(kAttrFrameDelay);
    const std::string body =
        Call("LoadAnim", {"1", "\"solid.anim\""}) + Call("DisplayAnimFrame", {"1", "0", "0", "3"}) +
        Call("LoadAnim", {"2", "\"solid.anim\""}, {{"fromdisk", "true"}, {"skiploopframes", "true"}}) +
        Print("GetAttribute", {std::to_string(kAnim), "1", frames}) +
        Print("GetAttribute", {std::to_string(kAnim), "2", frames}) +
        Print("GetAttribute", {std::to_string(kAnim), "1", delay, "2"}) +
        Call("DisplayAnimFrame", {"2", "16", "0", "2"}) + Call("PlayAnim", {"2", "32", "0", "-2"}) +
        Call("LoadAnim", {"3", "\"fields.anim\""}, {{"deinterlace", "1"}}) +
        Call("DisplayAnimFrame", {"3", "0", "10", "3"}) + Call("LoadAnim", {"4", "\"fields.anim\""}) +
        Call("DisplayAnimFrame", {"4", "16", "10", "3"}) + Print("IsAnim", {"\"fields.anim\""}) +
        Print("IsAnim", {"\"cut.anim\""}) + Call("LoadAnim", {"5", "\"cut.anim\""});
    const std::string out = Play(body);
    EXPECT_EQ(out.substr(0, 12), "5\n3\n100\n1\n0\n") << out;
    EXPECT_NE(out.find("cut.anim"), std::string::npos) << out;
    const struct {
        int x, y;
        uint32_t colour;
    } pixels[] = {{5, 5, kBlue},  {21, 5, kLime},  {37, 5, kBlue},  {5, 10, kBlue},
                  {5, 11, kBlue}, {21, 10, kLime}, {21, 11, kBlue}, {5, 14, kBack}};
    for (const auto& p : pixels) EXPECT_EQ(Pixel(p.x, p.y), p.colour) << p.x << "," << p.y;
}

// AVI files: uncompressed ones that ffmpeg made load in memory and from disk; an anim stream
// writes Motion-JPEG that loads again and that ffprobe counts (a stream left open is finished at
// shutdown); an AVI has no alpha channel to load.
TEST_F(AnimE2E, AviFilesLoadAndStreamsWriteThem) {
    ASSERT_EQ(Shell("convert -size 16x8 xc:red xc:lime xc:blue f%d.png && ffmpeg -v error -framerate 5 -i f%d.png "
                    "-c:v rawvideo -pix_fmt bgr24 -flipped_raw_rgb 1 raw.avi"),
              "");
    const std::string body =
        Call("CreateBrush", {"1", "16", "8", "16776960"}) + Call("CreateBrush", {"2", "16", "8", "16711680"}) +
        Call("LoadAnim", {"1", "\"raw.avi\""}) + Call("LoadAnim", {"2", "\"raw.avi\""}, {{"fromdisk", "true"}}) +
        Print("GetAttribute", {std::to_string(kAnim), "2", std::to_string(kAttrNumFrames)}) +
        Call("DisplayAnimFrame", {"1", "0", "0", "2"}) + Call("DisplayAnimFrame", {"2", "16", "0", "3"}) +
        Call("BeginAnimStream", {"1", "\"out.avi\"", "16", "8", "1"}, {{"fps", "10"}}) +
        Call("WriteAnimFrame", {"1", "1"}) + Call("WriteAnimFrame", {"1", "2"}) + Call("FinishAnimStream", {"1"}) +
        Call("LoadAnim", {"3", "\"out.avi\""}) + Call("DisplayAnimFrame", {"3", "0", "10", "2"}) +
        Call("BeginAnimStream", {"2", "\"open.avi\"", "16", "8", "1"}) + Call("WriteAnimFrame", {"2", "1"}) +
        Call("LoadAnim", {"4", "\"raw.avi\""}, {{"loadalpha", "true"}});
    const std::string out = Play(body);
    EXPECT_EQ(out.substr(0, 2), "3\n") << out;
    EXPECT_NE(out.find("raw.avi"), std::string::npos) << out;
    EXPECT_EQ(Pixel(5, 5), kLime);
    EXPECT_EQ(Pixel(21, 5), kBlue);
    // Motion-JPEG: near the colours.
    auto near = [](uint32_t a, uint32_t b) {
        for (int s = 0; s < 24; s += 8)
            if (std::abs((int)(a >> s & 0xFF) - (int)(b >> s & 0xFF)) > 12) return false;
        return true;
    };
    EXPECT_TRUE(near(Pixel(5, 14), kRed)) << std::hex << Pixel(5, 14);
    const std::string probe =
        "ffprobe -v error -select_streams v:0 -count_frames -show_entries "
        "stream=codec_name,width,height,r_frame_rate,nb_read_frames -of csv=p=0 ";
    EXPECT_EQ(Shell(probe + "out.avi"), "mjpeg,16,8,10/1,2\n");
    EXPECT_EQ(Shell(probe + "open.avi"), "mjpeg,16,8,25/1,1\n");
}

}  // namespace

// Anim directives: the two that cut frames out of one picture share it (the first keeps it in the
// image cache, the second takes its frames from there), and a GIF preloaded from disk with
// "skiploopframes" keeps every frame (a GIF has no loop frames). A script's "cachedload" outside
// preloading reads the file, which is gone.
TEST_F(AnimE2E, PreloadedAnimsShareTheirPictureAndKeepGifFrames) {
    ASSERT_EQ(Shell("convert -delay 10 -size 8x8 xc:red xc:lime xc:blue three.gif"), "");
    // type 2, id, name (offset, length), data (offset, size), transparency, flags, line, loader,
    // adapter, from disk, width, height, frames, frames per row, x, y, skip loop frames, deinterlace.
    auto directive = [](int id, const std::string& name, int length, int fromDisk, const std::string& grid, int skip,
                        int line) {
        return "u8 2 i32 " + std::to_string(id) + " offset " + name + " i32 " + std::to_string(length) +
               " i32 0 i32 0 i32 -1 i32 0 i32 " + std::to_string(line) + " str16 \"\" str16 \"\" u8 " +
               std::to_string(fromDisk) + " " + grid + " u8 " + std::to_string(skip) + " u8 0 ";
    };
    const std::string records = ".record 0 i32 20 mark strip cstr \"strip.png\" mark three cstr \"three.gif\"\n" +
                                std::string(".record 2 i32 3 ") +
                                directive(1, "strip", 10, 0, "i16 10 i16 10 i16 4 i16 2 i16 0 i16 0", 0, 1) +
                                directive(2, "strip", 10, 0, "i16 10 i16 10 i16 2 i16 2 i16 0 i16 10", 0, 2) +
                                directive(3, "three", 10, 1, "i16 0 i16 0 i16 0 i16 0 i16 0 i16 0", 1, 3) + "\n";
    const std::string frames = std::to_string(kAttrNumFrames);
    const std::string body =
        Call("DisplayAnimFrame", {"1", "0", "0", "2"}) + Call("DisplayAnimFrame", {"2", "10", "0", "1"}) +
        Call("DisplayAnimFrame", {"2", "20", "0", "2"}) + Call("DisplayAnimFrame", {"3", "30", "0", "3"}) +
        Print("GetAttribute", {std::to_string(kAnim), "1", frames}) +
        Print("GetAttribute", {std::to_string(kAnim), "2", frames}) +
        Print("GetAttribute", {std::to_string(kAnim), "3", frames}) + Call("DeleteFile", {"\"strip.png\""}) +
        Call("LoadAnim", {"4", "\"strip.png\""}, {{"cachedload", "\"strip.png\""}});
    const std::string out = Play(body, false, records);
    EXPECT_EQ(out.substr(0, 6), "4\n2\n3\n") << out;
    EXPECT_NE(out.find("Cannot read file"), std::string::npos) << out;
    EXPECT_NE(out.find("strip.png"), std::string::npos) << out;
    const uint32_t expected[] = {kLime, kBlue, kYellow, kBlue};
    for (int k = 0; k < 4; k++) EXPECT_EQ(Pixel(k * 10 + 4, 4), expected[k]) << "anim frame at " << k * 10;
}

}  // namespace anim_e2e_test
