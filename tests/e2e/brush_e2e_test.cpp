// End to end: applets load brushes that ImageMagick made, draw them on a display with a table of
// drawing options, headless, and each snapshot is compared with ImageMagick's composition of the
// same inputs (-composite, -filter Point resizes, rotations, -flop, alpha scaling, colorize).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"

namespace brush_e2e_test {

namespace {

// One command call: arguments are assembler constants ("5", "\"in.png\""); options, when given,
// are key = constant pairs of a table passed last.
std::string Call(const std::string& command, const std::vector<std::string>& args,
                 const std::vector<std::pair<std::string, std::string>>& options = {}, bool withOptions = false) {
    std::string name = command;  // globals are looked up in lower case
    for (char& c : name) c = (char)std::tolower((unsigned char)c);
    std::string code = "    GETGLOBAL r0 \"" + name + "\"\n";
    int r = 1;
    for (const std::string& a : args) code += "    LOADK r" + std::to_string(r++) + " " + a + "\n";
    if (withOptions || !options.empty()) {
        code += "    NEWTABLE r" + std::to_string(r) + " 0 0\n";
        for (const auto& [key, value] : options)
            code += "    SETTABLE r" + std::to_string(r) + " \"" + key + "\" " + value + "\n";
        r++;
    }
    return code + "    CALL r0 " + std::to_string(r) + " 1\n";
}

class BrushE2E : public ::testing::Test {
protected:
    void SetUp() override {
        char dirTemplate[] = "/tmp/qzbrushXXXXXX";
        ASSERT_NE(mkdtemp(dirTemplate), nullptr);
        dir = dirTemplate;
        // 20 x 12: red, a blue top-right quarter, a lime bottom-left quarter.
        ASSERT_EQ(Shell("convert -size 20x12 xc:red -fill blue -draw 'rectangle 10,0 19,5' -fill lime "
                        "-draw 'rectangle 0,6 9,11' in.png"),
                  "");
        // 16 x 16 with an alpha ramp from left to right.
        ASSERT_EQ(Shell("convert -size 16x16 xc:yellow -alpha set -channel A -fx 'i/15' +channel alpha.png"), "");
    }
    void TearDown() override { EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0); }

    // Plays the applet body on display 2 (64 x 48, colour #204060) headless; what it printed.
    // records: container records (directives) of the applet.
    std::string Play(const std::string& body, const std::string& records = "") {
        const std::string text =
            ".applet\n.record 10 u8 6 u8 0\n" + records + ".function main\n  .source \"@brush.qzs\"\n  .line 1\n" +
            Call("CreateDisplay", {"2"}, {{"width", "64"}, {"height", "48"}, {"color", "2113632"}}) +
            Call("OpenDisplay", {"2"}) + body + "    RETURN r0 1\n.end\n";
        std::string error;
        std::vector<uint8_t> bytes = QzAssemble(text, &error);
        EXPECT_FALSE(bytes.empty()) << error;
        WriteBytes(dir + "/brush.qza", bytes);
        int status = 0;
        std::string output = CaptureOutput("cd '" + dir + "' && QUARNELIX_DRIVER=headless QUARNELIX_SNAPSHOT_DIR='" +
                                               dir + "' " + PlayerTimeout() + "'" + BinaryDir() +
                                               "/bin/qzplayer' -QUIET -DEBUGDEVICE stdout brush.qza 2>&1",
                                           &status);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
        return output;
    }
    std::string Shell(const std::string& command) {
        int status = 0;
        return CaptureOutput("cd '" + dir + "' && " + command + " 2>&1", &status);
    }
    // Pixels of the snapshot that differ from the reference by more than fuzz percent.
    long Differing(const std::string& reference, const char* fuzz = "0") {
        return std::atol(
            Shell(std::string("compare -fuzz ") + fuzz + "% -metric AE display-2.png " + reference + " null:").c_str());
    }

    std::string dir;
};

TEST_F(BrushE2E, DrawingOptionsMatchImageMagick) {
    const char* backdrop = "-size 64x48 xc:#204060 ";
    const struct {
        const char* what;
        std::string draw;       // applet instructions after LoadBrush(1, "in.png")
        std::string reference;  // convert arguments of the expected display
        const char* fuzz;
        long allowed;  // differing pixels allowed
    } rows[] = {
        {"plain", Call("DisplayBrush", {"1", "5", "7"}), std::string(backdrop) + "in.png -geometry +5+7 -composite",
         "0", 0},
        {"empty options", Call("DisplayBrush", {"1", "5", "7"}, {}, true),
         std::string(backdrop) + "in.png -geometry +5+7 -composite", "0", 0},
        {"scaled by nearest pixels", Call("DisplayBrush", {"1", "3", "2"}, {{"scalex", "2"}, {"scaley", "3"}}),
         std::string(backdrop) + "\\( in.png -filter Point -resize 200%x300% \\) -geometry +3+2 -composite", "0", 0},
        // 1.5 times wide: one column falls on a sampling tie that the two scalers break differently.
        {"target size", Call("DisplayBrush", {"1", "0", "0"}, {{"width", "30"}, {"height", "6"}}),
         std::string(backdrop) + "\\( in.png -filter Point -resize 30x6! \\) -geometry +0+0 -composite", "0", 6},
        {"rotated 0", Call("DisplayBrush", {"1", "5", "7"}, {{"rotate", "0"}, {"scalex", "1"}}),
         std::string(backdrop) + "in.png -geometry +5+7 -composite", "0", 0},
        // A quarter turn counter-clockwise; the top-left corner stays at the given position.
        {"rotated 90", Call("DisplayBrush", {"1", "10", "30"}, {{"rotate", "90"}}),
         std::string(backdrop) + "\\( in.png -rotate -90 \\) -geometry +10+11 -composite", "0", 0},
        // Turned by 33 degrees about its centre: the two samplers may disagree on pixels along the
        // outline and the colour edges (at most 40 of the 240).
        {"rotated 33",
         Call("DisplayBrush", {"1", "32", "24"}, {{"rotate", "33"}, {"anchorx", "0.5"}, {"anchory", "0.5"}}),
         std::string(backdrop) + "\\( in.png -background none -virtual-pixel transparent -interpolate Nearest -filter "
                                 "Point +distort SRT '10,6 1 -33 32,24' \\) "
                                 "-flatten",
         "0", 40},
        {"centred anchor", Call("DisplayBrush", {"1", "32", "24"}, {{"anchorx", "0.5"}, {"anchory", "0.5"}}),
         std::string(backdrop) + "in.png -geometry +22+18 -composite", "0", 0},
        {"position constants", Call("DisplayBrush", {"1", "-100000", "-60000"}),
         std::string(backdrop) + "in.png -geometry +22+36 -composite", "0", 0},
        {"half transparent", Call("DisplayBrush", {"1", "5", "7"}, {{"transparency", "128"}}),
         std::string(backdrop) + "\\( in.png -alpha set -channel A -evaluate set 49.8% +channel \\) -geometry +5+7 "
                                 "-composite",
         "1", 0},
        // Tinted half way (128 of 255) towards blue: ImageMagick's colorize by the same share.
        {"tinted", Call("DisplayBrush", {"1", "5", "7"}, {{"tint", "128"}, {"tintcolor", "255"}}),
         std::string(backdrop) + "\\( in.png -fill '#0000FF' -colorize 50.196% \\) -geometry +5+7 -composite", "1", 0},
        {"mirrored", Call("FlipBrush", {"1", "0"}) + Call("DisplayBrush", {"1", "5", "7"}),
         std::string(backdrop) + "\\( in.png -flop \\) -geometry +5+7 -composite", "0", 0},
        {"part", Call("DisplayBrushPart", {"1", "10", "0", "40", "20", "500", "500"}),
         std::string(backdrop) + "\\( in.png -crop 10x12+10+0 +repage \\) -geometry +40+20 -composite", "0", 0},
        {"alpha channel",
         Call("LoadBrush", {"3", "\"alpha.png\""}, {{"loadalpha", "1"}}) + Call("DisplayBrush", {"3", "40", "4"}),
         std::string(backdrop) + "alpha.png -geometry +40+4 -composite", "1", 0},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(Play(Call("LoadBrush", {"1", "\"in.png\""}) + r.draw), "") << r.what;
        ASSERT_EQ(Shell("convert " + r.reference + " reference.png"), "") << r.what;
        EXPECT_LE(Differing("reference.png", r.fuzz), r.allowed) << r.what;
        Shell("rm -f display-*.png reference.png");
    }
}

// GIF pictures go to the player's own GIF reader: the first frame of an animation, and with
// "loadalpha" its transparent colour shows what lies below. Brushes save as GIF through the
// player's GIF writer.
TEST_F(BrushE2E, GifBrushesThroughTheInbuiltReader) {
    ASSERT_EQ(Shell("convert in.png '(' -size 20x12 xc:white ')' -loop 0 anim.gif"), "");
    ASSERT_EQ(Shell("convert in.png -transparent lime key.gif"), "");
    const std::string body = Call("LoadBrush", {"1", "\"anim.gif\""}, {{"loader", "\"inbuilt\""}}) +
                             Call("LoadBrush", {"2", "\"key.gif\""}, {{"loader", "\"inbuilt\""}, {"loadalpha", "1"}}) +
                             Call("DisplayBrush", {"1", "5", "7"}) + Call("DisplayBrush", {"2", "40", "30"});
    EXPECT_EQ(Play(body), "");
    ASSERT_EQ(Shell("convert -size 64x48 xc:#204060 in.png -geometry +5+7 -composite \\( in.png -transparent lime "
                    "\\) -geometry +40+30 -composite reference.png"),
              "");
    EXPECT_EQ(Differing("reference.png"), 0);
    // Saved as a GIF, the brush reads back as the picture it came from.
    EXPECT_EQ(Play(Call("LoadBrush", {"1", "\"anim.gif\""}) + Call("SaveBrush", {"1", "\"out.gif\"", "0", "3"})), "");
    EXPECT_EQ(Shell("compare -metric AE in.png out.gif null:"), "0");
    // A cut GIF is refused by the reader.
    ASSERT_EQ(Shell("head -c 60 anim.gif > cut.gif"), "");
    const std::string out = Play(Call("LoadBrush", {"3", "\"cut.gif\""}, {{"loader", "\"inbuilt\""}}));
    EXPECT_NE(out.find("cut.gif"), std::string::npos) << out;
}

// Two brush directives of one picture: the first is preloaded and keeps the picture (and its alpha
// channel) in the image cache, the second, which loads the alpha channel, takes it from there.
// Both get their bitmaps when the displays open and draw as brushes loaded by the script do; a
// script's "cachedload" reads the file.
TEST_F(BrushE2E, PreloadedBrushesShareTheirPicture) {
    auto directive = [](int id, int flags, int line) {
        return "u8 1 i32 " + std::to_string(id) + " offset picname i32 10 i32 0 i32 0 i32 -1 i32 " +
               std::to_string(flags) + " i32 " + std::to_string(line) +
               " str16 \"\" str16 \"\" i16 0 i16 0 i16 0 i16 0 i16 -1 u8 0 i32 0 i32 0 i32 0 i32 0 ";
    };
    const std::string records = ".record 0 i32 10 mark picname cstr \"alpha.png\"\n.record 2 i32 2 " +
                                directive(1, 0, 1) + directive(2, 1, 2) + "\n";
    const std::string body =
        Call("DisplayBrush", {"1", "5", "7"}) + Call("DisplayBrush", {"2", "40", "4"}) +
        Call("LoadBrush", {"3", "\"alpha.png\""}, {{"cachedload", "\"alpha.png\""}, {"loadalpha", "1"}}) +
        Call("DisplayBrush", {"3", "20", "28"});
    EXPECT_EQ(Play(body, records), "");
    ASSERT_EQ(Shell("convert -size 64x48 xc:#204060 \\( alpha.png -alpha off \\) -geometry +5+7 -composite "
                    "alpha.png -geometry +40+4 -composite alpha.png -geometry +20+28 -composite reference.png"),
              "");
    EXPECT_EQ(Differing("reference.png", "1"), 0);
}

TEST_F(BrushE2E, DrawErrorsStopTheApplet) {
    const struct {
        std::string draw;
        const char* message;
    } rows[] = {
        {Call("DisplayBrushPart", {"1", "20", "0", "0", "0", "5", "5"}), "Coordinates are out of range!"},
        {Call("DisplayBrushPart", {"1", "-1", "0", "0", "0", "5", "5"}), "Negative coordinates are not allowed here!"},
        {Call("DisplayBrush", {"1", "0", "0", "7"}), "Table expected in argument 4!"},
        {Call("DisplayBrush", {"9", "0", "0"}), "Could not find brush 9!"},
    };
    for (const auto& r : rows) {
        const std::string out = Play(Call("LoadBrush", {"1", "\"in.png\""}) + r.draw);
        EXPECT_NE(out.find(r.message), std::string::npos) << out;
    }
}

// An ILBM of 15 planes, which neither the inbuilt reader nor the system codecs read, stops the
// applet with the player's own message; nothing of the media library's log reaches the user.
TEST_F(BrushE2E, UnreadablePictureShowsOnlyThePlayersMessage) {
    // FORM ILBM with a BMHD of 16 x 2 pixels in 15 planes and an uncompressed BODY.
    auto be = [](std::string& s, uint32_t v, int bytes) {
        for (int i = bytes - 1; i >= 0; i--) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    std::string bmhd;
    for (uint32_t v : {16u, 2u, 0u, 0u}) be(bmhd, v, 2);
    bmhd += std::string("\x0F\0\0\0", 4);  // planes, masking, compression, pad
    be(bmhd, 0, 2);
    bmhd += "\x0A\x0B";
    for (uint32_t v : {16u, 2u}) be(bmhd, v, 2);
    std::string form = "ILBMBMHD";
    be(form, static_cast<uint32_t>(bmhd.size()), 4);
    form += bmhd + "BODY";
    be(form, 2 * 15 * 2, 4);
    form += std::string(2 * 15 * 2, '\0');
    std::string file = "FORM";
    be(file, static_cast<uint32_t>(form.size()), 4);
    file += form;
    std::ofstream(dir + "/deep.iff", std::ios::binary) << file;

    const std::string out = Play(Call("LoadBrush", {"1", "\"deep.iff\""}));
    EXPECT_NE(out.find("Image file \"deep.iff\" is in an unknown/unsupported format!"), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;  // that message is the only line
}

}  // namespace

}  // namespace brush_e2e_test
