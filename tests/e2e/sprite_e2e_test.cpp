// End to end: sprites float above the display's picture. Applets on a headless display make
// sprites from brushes, show, overlap, move and remove them, and the display's snapshot must be
// the picture (what was drawn into it included) with the sprites still shown composed over it in
// display order, computed here from the same brushes. The move commands slide sprites, brushes
// and layers to their end points. Errors of the commands are printed with GetLastError.
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

namespace sprite_e2e_test {

namespace {

constexpr int kW = 200, kH = 120;
constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kYellow = 0xFFFF00;

std::string N(long long v) { return std::to_string(v); }

std::string Lower(std::string name) {
    for (char& c : name) c = (char)std::tolower((unsigned char)c);
    return name;
}

// A call of the command with literal arguments, its results dropped.
std::string Call(const std::string& command, const std::vector<std::string>& args) {
    std::string code = "    GETGLOBAL r0 \"" + Lower(command) + "\"\n";
    int r = 1;
    for (const std::string& a : args) code += "    LOADK r" + N(r++) + " " + a + "\n";
    return code + "    CALL r0 " + N(r) + " 1\n";
}

// DebugPrint of the command's first result.
std::string Print(const std::string& command, const std::vector<std::string>& args) {
    std::string code = "    GETGLOBAL r0 \"debugprint\"\n    GETGLOBAL r1 \"" + Lower(command) + "\"\n";
    int r = 2;
    for (const std::string& a : args) code += "    LOADK r" + N(r++) + " " + a + "\n";
    return code + "    CALL r1 " + N(r - 1) + " 2\n    CALL r0 2 1\n";
}

// The call, then the error it left (0 when none).
std::string ErrorOf(const std::string& command, const std::vector<std::string>& args) {
    return Call(command, args) + Print("GetLastError", {});
}

// CreateSprite(id, #SPRITE, {sprites...}), then the error it left.
std::string LinkSprite(int id, const std::vector<int>& sprites) {
    std::string code = "    NEWTABLE r5 0 0\n";
    for (size_t i = 0; i < sprites.size(); i++)
        code += "    LOADK r6 " + N((long long)i) + "\n    LOADK r7 " + N(sprites[i]) + "\n    SETTABLE r5 r6 r7\n";
    return code + "    GETGLOBAL r0 \"createsprite\"\n    LOADK r1 " + N(id) +
           "\n    LOADK r2 32\n    MOVE r3 r5\n    CALL r0 4 1\n" + Print("GetLastError", {});
}

// A black kW x kH display 2, with a blue box drawn straight into its picture, and three brushes:
// 1 red 20 x 20, 2 green 30 x 30 whose top-left 10 x 10 is transparent (a mask), 3 yellow 20 x 20.
std::string Setup() {
    return "    NEWTABLE r3 0 0\n    SETTABLE r3 \"width\" " + N(kW) + "\n    SETTABLE r3 \"height\" " + N(kH) +
           "\n    SETTABLE r3 \"color\" 0\n    GETGLOBAL r0 \"createdisplay\"\n    LOADK r1 2\n    MOVE r2 r3\n"
           "    CALL r0 3 1\n" +
           Call("OpenDisplay", {"2"}) + Call("SetFillStyle", {"1"}) + Call("Box", {"50", "50", "100", "20", N(kBlue)}) +
           Call("CreateBrush", {"1", "20", "20", N(kRed)}) + Call("CreateBrush", {"2", "30", "30", N(kGreen)}) +
           Call("SelectBrush", {"2"}) + Call("Box", {"0", "0", "10", "10", "0"}) + Call("EndSelect", {}) +
           Call("SetBrushTransparency", {"2", "0"}) + Call("CreateBrush", {"3", "20", "20", N(kYellow)}) +
           Call("ExitOnError", {"0"});
}

std::string AppletText(const std::string& body, const std::string& records) {
    return ".applet\n.record 10 u8 6 u8 0\n" + records + ".function main\n  .source \"@sprite.qzs\"\n  .line 1\n" +
           Setup() + body + "    RETURN r0 1\n.end\n";
}

// The expected picture: black with the blue box.
std::vector<uint32_t> Picture() {
    std::vector<uint32_t> p((size_t)kW * kH, 0);
    for (int y = 50; y < 70; y++)
        for (int x = 50; x < 150; x++) p[(size_t)y * kW + x] = kBlue;
    return p;
}

// A sprite of brush 1 or 3 (solid) or 2 (the hole) composed at x, y.
void Compose(std::vector<uint32_t>* p, int brush, int x, int y) {
    const int size = brush == 2 ? 30 : 20;
    const uint32_t colour = brush == 1 ? kRed : brush == 2 ? kGreen : kYellow;
    for (int j = 0; j < size; j++)
        for (int i = 0; i < size; i++) {
            if (brush == 2 && i < 10 && j < 10) continue;
            if (x + i >= 0 && x + i < kW && y + j >= 0 && y + j < kH) (*p)[(size_t)(y + j) * kW + x + i] = colour;
        }
}

class SpriteE2E : public ::testing::Test {
protected:
    void SetUp() override {
        char dirTemplate[] = "/tmp/qzspriteXXXXXX";
        ASSERT_NE(mkdtemp(dirTemplate), nullptr);
        dir = dirTemplate;
    }
    void TearDown() override { EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0); }

    std::string Play(const std::string& body, const std::string& records = "") {
        std::string error;
        std::vector<uint8_t> bytes = QzAssemble(AppletText(body, records), &error);
        EXPECT_FALSE(bytes.empty()) << error;
        WriteBytes(dir + "/sprite.qza", bytes);
        int status = 0;
        std::string output = CaptureOutput("cd '" + dir + "' && QUARNELIX_DRIVER=headless QUARNELIX_SNAPSHOT_DIR='" +
                                               dir + "' " + PlayerTimeout() + "'" + BinaryDir() +
                                               "/bin/qzplayer' -QUIET -DEBUGDEVICE stdout sprite.qza 2>&1",
                                           &status);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
        return output;
    }
    // Compares the snapshot with the expected pixels; reports the first few differences.
    void ExpectSnapshot(const std::vector<uint32_t>& expected) {
        const std::vector<uint32_t> pixels = ReadPngPixels(dir + "/display-2.png", kW, kH);
        ASSERT_EQ(pixels.size(), expected.size()) << "no snapshot";
        int wrong = 0;
        for (size_t i = 0; i < pixels.size(); i++) {
            if (pixels[i] == expected[i]) continue;
            if (++wrong <= 5)
                ADD_FAILURE() << "pixel " << i % kW << "," << i / kW << " is " << std::hex << pixels[i] << " not "
                              << expected[i];
        }
        EXPECT_EQ(wrong, 0);
    }
    std::string dir;
};

// Shown, moved by DisplaySprite (overlapping and far), overlapped in display order, a masked
// sprite showing what lies under its hole, one removed: the picture underneath stays as drawn.
TEST_F(SpriteE2E, ShownMovedOverlappedAndRemovedOverThePicture) {
    const std::string body = Call("CreateSprite", {"1", "3", "1"}) + Call("CreateSprite", {"2", "3", "2"}) +
                             Call("CreateSprite", {"3", "3", "3"}) + Call("DisplaySprite", {"1", "10", "10"}) +
                             Call("DisplaySprite", {"1", "15", "12"}) +  // a small move: one rectangle
                             Call("DisplaySprite", {"1", "60", "40"}) +  // a far move: two rectangles
                             Call("DisplaySprite", {"2", "70", "45"}) + Call("DisplaySprite", {"3", "140", "60"}) +
                             Call("DisplaySprite", {"3", "160", "90"}) + Call("DisplaySprite", {"1", "100", "90"}) +
                             Call("DisplaySprite", {"1", "120", "92"}) + Call("RemoveSprite", {"1"}) +
                             // Drawing into the picture where sprites lie stays under them.
                             Call("Box", {"150", "85", "50", "35", N(kBlue)});
    EXPECT_EQ(Play(body), "");
    std::vector<uint32_t> expected = Picture();
    for (int y = 85; y < kH; y++)
        for (int x = 150; x < kW; x++) expected[(size_t)y * kW + x] = kBlue;
    Compose(&expected, 2, 70, 45);
    Compose(&expected, 3, 160, 90);
    ExpectSnapshot(expected);
}

// RemoveSprites takes every sprite off; with keep their pixels stay in the picture, so a sprite
// shown over them and removed again leaves them as they were.
TEST_F(SpriteE2E, RemoveSpritesWithAndWithoutKeep) {
    const std::string body = Call("CreateSprite", {"1", "3", "1"}) + Call("CreateSprite", {"3", "3", "3"}) +
                             Call("DisplaySprite", {"1", "10", "10"}) + Call("DisplaySprite", {"3", "100", "10"}) +
                             Call("RemoveSprites", {}) + Call("DisplaySprite", {"1", "40", "10"}) +
                             Call("RemoveSprites", {"1"}) + Call("DisplaySprite", {"3", "45", "15"}) +
                             Call("RemoveSprite", {"3"});
    EXPECT_EQ(Play(body), "");
    std::vector<uint32_t> expected = Picture();
    Compose(&expected, 1, 40, 10);
    ExpectSnapshot(expected);
}

// Sprites scaled, flipped and copied, cut from a grid and linked, each shown with the frame
// asked for, and a brush made of a sprite frame; GetAttribute and Collision read them.
TEST_F(SpriteE2E, ScaledFlippedCopiedGridAndLinkSprites) {
    // Brush 4: 20 x 10, red on the left half, yellow on the right.
    const std::string body =
        Call("CreateBrush", {"4", "20", "10", N(kRed)}) + Call("SelectBrush", {"4"}) +
        Call("Box", {"10", "0", "10", "10", N(kYellow)}) + Call("EndSelect", {}) +
        Call("CreateSprite", {"10", "3", "4"}) + Call("CopySprite", {"10", "11"}) + Call("FlipSprite", {"11", "0"}) +
        Call("CopySprite", {"10", "12"}) + Call("ScaleSprite", {"12", "40", "20"}) +
        Call("CreateSprite", {"13", "3", "4", "10", "10", "2"}) + Call("CreateSprite", {"15", "3", "1", "10", "10"}) +
        LinkSprite(14, {15, 13}) + Call("DisplaySprite", {"10", "0", "80"}) +
        Call("DisplaySprite", {"11", "30", "80"}) + Call("DisplaySprite", {"12", "60", "80"}) +
        Call("DisplaySprite", {"13", "110", "80", "2"}) + Call("DisplaySprite", {"14", "130", "80", "3"}) +
        Call("GetBrushLink", {"20", "32", "13", "2"}) + Call("DisplayBrush", {"20", "160", "80"}) +
        Print("GetAttribute", {"32", "12", "0"}) +   // width 40
        Print("GetAttribute", {"32", "14", "11"}) +  // frames 3
        Print("GetAttribute", {"32", "14", "12"}) +  // current frame 3
        Print("GetAttribute", {"32", "12", "7"}) +   // x 60
        Print("GetAttribute", {"32", "15", "23"}) +  // not on screen
        Print("GetAttribute", {"32", "0", "60"}) +   // six sprites
        Print("Collision", {"32", "10", "11"}) +     // apart
        Call("CreateSprite", {"2", "3", "2"}) + Call("DisplaySprite", {"2", "150", "0"}) +
        Print("Collision", {"48", "2", "151", "1", "8", "8"}) +  // inside the hole
        Print("Collision", {"48", "2", "151", "1", "10", "10"}) + Call("RemoveSprite", {"2"}) +
        Call("DisplaySprite", {"11", "15", "85"}) + Print("Collision", {"32", "10", "11"}) +
        Call("DisplaySprite", {"11", "30", "80"});
    EXPECT_EQ(Play(body), "0\n40\n3\n3\n60\n0\n6\n0\n0\n1\n1\n");
    std::vector<uint32_t> expected = Picture();
    auto fill = [&](int x, int y, int w, int h, uint32_t colour) {
        for (int j = y; j < y + h; j++)
            for (int i = x; i < x + w; i++) expected[(size_t)j * kW + i] = colour;
    };
    fill(0, 80, 10, 10, kRed);  // sprite 10
    fill(10, 80, 10, 10, kYellow);
    fill(30, 80, 10, 10, kYellow);  // sprite 11, mirrored
    fill(40, 80, 10, 10, kRed);
    fill(60, 80, 20, 20, kRed);  // sprite 12, twice the size
    fill(80, 80, 20, 20, kYellow);
    fill(110, 80, 10, 10, kYellow);  // sprite 13, frame 2
    fill(130, 80, 10, 10, kYellow);  // link sprite 14, frame 3 (sprite 13's second)
    fill(160, 80, 10, 10, kYellow);  // the brush of sprite 13's frame 2
    ExpectSnapshot(expected);
}

// A sprite freed while another display is current leaves the picture it is shown on, and so
// does a link sprite that goes with it: neither is drawn again when a sprite moves over its place.
TEST_F(SpriteE2E, FreedWhileAnotherDisplayIsCurrent) {
    const std::string body = Call("CreateSprite", {"1", "3", "1"}) + Call("CreateSprite", {"3", "3", "3"}) +
                             LinkSprite(5, {3}) + Call("DisplaySprite", {"1", "10", "10"}) +
                             Call("DisplaySprite", {"5", "40", "10"}) + Call("CreateDisplay", {"3"}) +
                             Call("OpenDisplay", {"3"}) + Call("SelectDisplay", {"3"}) + Call("FreeSprite", {"1"}) +
                             Call("FreeSprite", {"3"}) + Call("SelectDisplay", {"2"}) +
                             Call("CreateSprite", {"6", "3", "2"}) + Call("DisplaySprite", {"6", "5", "5"}) +
                             Call("DisplaySprite", {"6", "35", "5"}) + Call("DisplaySprite", {"6", "100", "5"}) +
                             Print("GetAttribute", {"32", "0", "60"});
    EXPECT_EQ(Play(body), "0\n1\n");
    std::vector<uint32_t> expected = Picture();
    Compose(&expected, 2, 100, 5);
    ExpectSnapshot(expected);
}

// A sprite directive loads sprite 7 before the displays open: two 20 x 20 frames, red and green,
// each with a hole of the key colour. Its frames are made again for the display when it opens and
// show as a sprite loaded by the script would: the holes let the picture through.
TEST_F(SpriteE2E, PreloadedSpriteShowsItsFramesOnTheDisplay) {
    ASSERT_EQ(std::system(("cd '" + dir +
                           "' && convert -size 40x20 xc:red -fill lime -draw 'rectangle 20,0 39,19' -fill magenta "
                           "-draw 'rectangle 5,5 9,9' -draw 'rectangle 30,10 34,14' PNG24:strip.png")
                              .c_str()),
              0);
    const std::string records =
        ".record 0 i32 10 mark picname cstr \"strip.png\"\n"
        ".record 2 i32 1 u8 7 i32 7 offset picname i32 10 i32 0 i32 0 i32 16711935 i32 0 i32 1 str16 \"\" str16 \"\" "
        "i16 20 i16 20 i16 2 i16 2 i16 0 i16 0\n";
    const std::string body = Call("DisplaySprite", {"7", "10", "10", "1"}) + Call("CopySprite", {"7", "8"}) +
                             Call("DisplaySprite", {"8", "60", "40", "2"}) + Print("GetAttribute", {"32", "7", "11"});
    EXPECT_EQ(Play(body, records), "2\n");
    std::vector<uint32_t> expected = Picture();
    for (int j = 0; j < 20; j++)
        for (int i = 0; i < 20; i++) {
            if (i < 5 || i > 9 || j < 5 || j > 9) expected[(size_t)(10 + j) * kW + 10 + i] = kRed;
            if (i < 10 || i > 14 || j < 10 || j > 14) expected[(size_t)(40 + j) * kW + 60 + i] = kGreen;
        }
    ExpectSnapshot(expected);
}

// LoadSprite(id, file, {key = value, ...}) with numbers or "true" as values, then its error.
std::string LoadSpriteWith(int id, const std::string& file,
                           const std::vector<std::pair<std::string, std::string>>& options) {
    std::string code = "    NEWTABLE r3 0 0\n";
    for (const auto& [key, value] : options)
        code += (value == "true" ? std::string("    LOADBOOL r9 1 0\n") : "    LOADK r9 " + value + "\n") +
                "    SETTABLE r3 \"" + key + "\" r9\n";
    return code + "    GETGLOBAL r0 \"loadsprite\"\n    LOADK r1 " + N(id) + "\n    LOADK r2 \"" + file +
           "\"\n    CALL r0 4 1\n" + Print("GetLastError", {});
}

// Sprites and brushes from anim frames: anim 20 (in memory) has a red and a yellow 20 x 20 frame,
// anim 21 reads the same frames on demand from the GIF that anim 20 was saved as, so each of its
// frames is decoded for the reader and handed back; sprite 32 is loaded from that GIF. A frame
// grid is refused for an anim.
TEST_F(SpriteE2E, SpritesAndBrushesFromAnimFrames) {
    const std::string body =
        Call("CreateBrush", {"4", "40", "20", N(kRed)}) + Call("SelectBrush", {"4"}) +
        Call("Box", {"20", "0", "20", "20", N(kYellow)}) + Call("EndSelect", {}) +
        Call("CreateAnim", {"20", "4", "20", "20", "2", "2"}) + ErrorOf("SaveAnim", {"20", "\"two.gif\""}) +
        "    NEWTABLE r3 0 0\n    LOADBOOL r9 1 0\n    SETTABLE r3 \"fromdisk\" r9\n    GETGLOBAL r0 "
        "\"loadanim\"\n    LOADK r1 21\n    LOADK r2 \"two.gif\"\n    CALL r0 4 1\n" +
        Print("GetAttribute", {"4", "21", "11"}) +  // anim 21's frame count
        ErrorOf("CreateSprite", {"30", "4", "20"}) + ErrorOf("CreateSprite", {"31", "4", "21"}) +
        ErrorOf("LoadSprite", {"32", "\"two.gif\""}) + Print("GetAttribute", {"32", "30", "11"}) +
        Print("GetAttribute", {"32", "31", "11"}) + Print("GetAttribute", {"32", "32", "11"}) +
        Print("GetAttribute", {"32", "32", "0"}) + ErrorOf("CreateSprite", {"33", "4", "20", "10", "10"}) +
        ErrorOf("CreateSprite", {"33", "4", "21", "0", "0"}) + ErrorOf("ConvertToBrush", {"4", "21", "40", "2"}) +
        ErrorOf("GetBrushLink", {"41", "4", "20", "1"}) + ErrorOf("GetBrushLink", {"42", "4", "21", "3"}) +
        Call("DisplaySprite", {"30", "0", "0", "1"}) + Call("DisplaySprite", {"31", "30", "0", "2"}) +
        Call("DisplaySprite", {"32", "60", "0", "2"}) + Call("DisplaySprite", {"33", "0", "90", "1"}) +
        Call("DisplayBrush", {"40", "90", "0"}) + Call("DisplayBrush", {"41", "120", "0"}) +
        // Sprites loaded from a picture: cut into a grid, and refused options and files.
        ErrorOf("SaveBrush", {"4", "\"strip.bmp\""}) +
        LoadSpriteWith(35, "strip.bmp", {{"width", "20"}, {"height", "20"}, {"frames", "2"}}) +
        Print("GetAttribute", {"32", "35", "11"}) + Call("DisplaySprite", {"35", "150", "0", "2"}) +
        LoadSpriteWith(36, "strip.bmp", {{"loadalpha", "true"}, {"transparency", "0"}}) +
        LoadSpriteWith(36, "strip.bmp", {{"width", "20"}, {"height", "20"}, {"frames", "3"}}) +
        ErrorOf("LoadSprite", {"36", "\"missing.gif\""});
    EXPECT_EQ(Play(body), "0\n2\n0\n0\n0\n2\n2\n2\n20\n1193\n0\n0\n0\n1094\n0\n0\n2\n1223\n1156\n1045\n");
    std::vector<uint32_t> expected = Picture();
    auto fill = [&](int x, int y, uint32_t colour) {
        for (int j = y; j < y + 20; j++)
            for (int i = x; i < x + 20; i++) expected[(size_t)j * kW + i] = colour;
    };
    fill(0, 0, kRed);       // sprite 30, frame 1
    fill(30, 0, kYellow);   // sprite 31, frame 2
    fill(60, 0, kYellow);   // sprite 32, frame 2
    fill(0, 90, kRed);      // sprite 33, frame 1
    fill(90, 0, kYellow);   // brush 40: frame 2 of anim 21
    fill(120, 0, kRed);     // brush 41: frame 1 of anim 20
    fill(150, 0, kYellow);  // sprite 35, frame 2 of the picture cut into a grid
    ExpectSnapshot(expected);
}

// A move command with an option table {key = value, ...} after the two points; its first result
// goes to r10.
std::string MoveWithOptions(const std::string& command, const std::vector<std::string>& args,
                            const std::vector<std::pair<std::string, int>>& options) {
    std::string code = "    NEWTABLE r6 0 0\n";
    for (const auto& o : options)
        code += "    LOADK r7 \"" + o.first + "\"\n    LOADK r8 " + N(o.second) + "\n    SETTABLE r6 r7 r8\n";
    code += "    GETGLOBAL r0 \"" + Lower(command) + "\"\n";
    for (size_t i = 0; i < args.size(); i++) code += "    LOADK r" + N((long long)i + 1) + " " + args[i] + "\n";
    return code + "    CALL r0 7 2\n    MOVE r10 r0\n";
}

// Sprites and brushes moved to their end points, synchronously and as an asynchronous draw
// object; a brush leaves the picture as it was behind it.
TEST_F(SpriteE2E, ObjectsMoveToTheirEndPoints) {
    std::string body =
        Call("CreateSprite", {"1", "3", "1"}) + Call("MoveSprite", {"1", "0", "0", "100", "0"}) +
        Print("GetAttribute", {"32", "1", "7"}) + Call("MoveSprite", {"1", "100", "0", "100", "0"}) +
        Print("GetLastError", {}) + MoveWithOptions("MoveBrush", {"3", "10", "100", "120", "100"}, {{"speed", 20}}) +
        ErrorOf("MoveBrush", {"3", "0", "0", "10", "10", "0"}) + ErrorOf("MoveAnim", {"1", "0", "0", "10", "10"}) +
        ErrorOf("MoveSprite", {"9", "0", "0", "10", "10"}) + ErrorOf("MoveTextObject", {"9", "0", "0", "10", "10"}) +
        ErrorOf("MoveLayer", {"1", "0", "0", "10", "10"}) +                  // layers off
        ErrorOf("MoveBrush", {"3", "0", "0", "10", "10", "10", "0", "1"}) +  // eight arguments for a brush

        MoveWithOptions("MoveSprite", {"1", "100", "0", "150", "0"}, {{"async", 1}}) +
        ErrorOf("FreeSprite", {"1"});  // the move holds it
    for (int i = 0; i < 6; i++)
        body +=
            "    GETGLOBAL r0 \"debugprint\"\n    GETGLOBAL r1 \"asyncdrawframe\"\n    MOVE r2 r10\n"
            "    CALL r1 2 2\n    CALL r0 2 1\n";
    body += Print("GetAttribute", {"32", "1", "7"});
    // At FASTSPEED the frame changes every step: three steps from frame 1 end on frame 2.
    body += Call("CreateSprite", {"4", "3", "1", "10", "20", "2"}) +
            Call("MoveSprite", {"4", "0", "60", "30", "60", "10", "-2"}) + Print("GetAttribute", {"32", "4", "12"});
    // A sprite that a moving link sprite shows cannot be freed either.
    body += Call("CreateSprite", {"3", "3", "3"}) + LinkSprite(5, {3}) +
            MoveWithOptions("MoveSprite", {"5", "0", "30", "20", "30"}, {{"async", 1}}) + ErrorOf("FreeSprite", {"3"});
    for (int i = 0; i < 3; i++)
        body +=
            "    GETGLOBAL r0 \"debugprint\"\n    GETGLOBAL r1 \"asyncdrawframe\"\n    MOVE r2 r10\n"
            "    CALL r1 2 2\n    CALL r0 2 1\n";
    EXPECT_EQ(Play(body),
              "100\n0\n1055\n1176\n1219\n1175\n1078\n1193\n1314\n0\n0\n0\n0\n0\n1\n150\n2\n0\n1314\n0\n0\n1\n");
    std::vector<uint32_t> expected = Picture();
    Compose(&expected, 3, 120, 100);
    Compose(&expected, 1, 150, 0);
    Compose(&expected, 3, 20, 30);
    for (int y = 60; y < 80; y++)
        for (int x = 30; x < 40; x++) expected[(size_t)y * kW + x] = kRed;
    ExpectSnapshot(expected);
}

// With layers on a move slides the object's layer (made by drawing the object once when it has
// none); sprites are refused.
TEST_F(SpriteE2E, MovesWithLayersOn) {
    const std::string body =
        Call("CreateSprite", {"1", "3", "1"}) + Call("EnableLayers", {}) + Call("DisplayBrush", {"3", "0", "0"}) +
        Call("MoveLayer", {"1", "0", "0", "100", "50"}) + Print("GetAttribute", {"22", "1", "7"}) +
        Print("GetAttribute", {"22", "1", "8"}) + Call("MoveBrush", {"1", "10", "90", "40", "90"}) +
        Print("GetAttribute", {"22", "2", "7"}) + Call("MoveLayer", {"2", "100000", "90", "100000", "60"}) +
        Print("GetAttribute", {"22", "2", "7"}) + Print("GetAttribute", {"22", "2", "8"}) +
        ErrorOf("MoveSprite", {"1", "0", "0", "10", "10"}) + ErrorOf("DisplaySprite", {"1", "0", "0"});
    EXPECT_EQ(Play(body), "100\n50\n40\n40\n60\n1162\n1162\n");
    std::vector<uint32_t> expected = Picture();
    Compose(&expected, 3, 100, 50);
    Compose(&expected, 1, 40, 60);
    ExpectSnapshot(expected);
}

// The errors of the sprite commands, each printed after the call; the last sprite frees show
// that a link sprite goes with a sprite it uses.
TEST_F(SpriteE2E, SpriteCommandErrors) {
    const std::string body =
        Call("CreateSprite", {"1", "3", "1"}) + Call("CreateSprite", {"2", "3", "2"}) +
        ErrorOf("DisplaySprite", {"1", "0", "0", "2"}) +                                // frame out of range
        ErrorOf("RemoveSprite", {"1"}) +                                                // not on screen
        ErrorOf("DisplaySprite", {"9", "0", "0"}) +                                     // no such sprite
        ErrorOf("CreateSprite", {"4", "4", "1"}) +                                      // no such anim
        Call("DisplaySprite", {"1", "0", "0"}) + ErrorOf("EnableLayers", {}) +          // sprites on screen
        ErrorOf("BeginDoubleBuffer", {}) + ErrorOf("ScaleSprite", {"1", "40", "40"}) +  // on screen
        ErrorOf("FlipSprite", {"1", "0"}) + Call("RemoveSprite", {"1"}) +
        ErrorOf("CopySprite", {"1", "1"}) +  // onto itself
        // A link sprite of sprites of different sizes, then of the same size, then a link of a link.
        LinkSprite(5, {1, 2}) + Call("CopySprite", {"1", "6"}) + LinkSprite(5, {1, 6}) + LinkSprite(7, {5}) +
        // Changes of linked sprites.
        ErrorOf("ScaleSprite", {"1", "40", "40"}) + ErrorOf("FlipSprite", {"5", "1"}) +
        // The link shows frame 2 (the copy's first), then frame 0 wraps back to 1.
        ErrorOf("DisplaySprite", {"5", "0", "0", "2"}) + ErrorOf("DisplaySprite", {"5", "0", "0", "0"}) +
        ErrorOf("DisplaySprite", {"5", "0", "0", "0"}) + ErrorOf("DisplaySprite", {"5", "0", "0", "3"}) +
        Call("FreeSprite", {"6"}) + ErrorOf("FreeSprite", {"5"}) + ErrorOf("FreeSprite", {"6"}) +
        ErrorOf("ScaleSprite", {"1", "40", "40"});
    EXPECT_EQ(Play(body),
              "1094\n1220\n1219\n1176\n1224\n1224\n1227\n1227\n1055\n1382\n0\n1381\n1228\n1228\n0\n0\n0\n1094\n1219\n12"
              "19\n0\n");
}

}  // namespace

}  // namespace sprite_e2e_test
