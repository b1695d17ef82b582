// End to end: clip regions limit every drawing. An applet draws one case per 40 x 40 cell of a
// headless display (shapes, fills, lines, points, text, brushes, paths, drawing into a selected
// brush), each after setting a clip region inside its cell that the drawing overreaches, and the
// display's snapshot must show the drawing inside the region and nothing outside it. A shaped
// region (a brush whose mask leaves out its left half) lets drawing reach only its right half.
// ReadPixel answers inside the region and fails with 1168 outside it.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"
#include "e2e/png_pixels.h"

namespace clip_e2e_test {

namespace {

constexpr int kW = 320, kH = 160, kCell = 40, kColumns = kW / kCell;
const std::string kWhite = "16777215";

std::string N(int v) { return std::to_string(v); }

// A call of the command with literal arguments (numbers, or strings in quotes), its results dropped.
std::string Call(const std::string& command, const std::vector<std::string>& args) {
    std::string name = command;  // globals are looked up in lower case
    for (char& c : name) c = (char)std::tolower((unsigned char)c);
    std::string code = "    GETGLOBAL r0 \"" + name + "\"\n";
    int r = 1;
    for (const std::string& a : args) code += "    LOADK r" + N(r++) + " " + a + "\n";
    return code + "    CALL r0 " + N(r) + " 1\n";
}

// DebugPrint of the command's result.
std::string Print(const std::string& command, const std::vector<std::string>& args) {
    std::string name = command;
    for (char& c : name) c = (char)std::tolower((unsigned char)c);
    std::string code = "    GETGLOBAL r0 \"debugprint\"\n    GETGLOBAL r1 \"" + name + "\"\n";
    int r = 2;
    for (const std::string& a : args) code += "    LOADK r" + N(r++) + " " + a + "\n";
    return code + "    CALL r1 " + N(r - 1) + " 2\n    CALL r0 2 1\n";
}

struct Rect {
    int x, y, width, height;
    bool Holds(int px, int py) const { return px >= x && py >= y && px < x + width && py < y + height; }
};

// One case: the region set first (relative to the cell; none for a case that sets its own), where
// the drawing may show, optionally a pixel with the colour it must have, and the drawing: calls
// separated by ";", each the command and its arguments, where Xn and Yn stand for the cell's
// corner plus n and W for white.
struct Probe {
    int x = -1, y = -1;
    uint32_t colour = 0;
};
struct ClipCase {
    const char* what;
    enum { BOX, SHAPED, OWN } region;
    Rect box;  // the region of a BOX case
    Rect shown;
    Probe probe;
    const char* draw;
};

// The shaped region's brush is 20 x 20 and leaves out its left half; it is placed at (10, 10).
const Rect kCentre = {10, 10, 20, 20}, kShapedShown = {20, 10, 10, 20};

const std::vector<ClipCase>& Cases() {
    static const std::vector<ClipCase> cases = {
        {"box", ClipCase::BOX, kCentre, kCentre, {}, "Box X2 Y2 36 36 W"},
        {"frame",
         ClipCase::BOX,
         {0, 10, 20, 20},
         {0, 10, 20, 20},
         {2, 20, 0xFFFFFF},
         "SetFillStyle 0; Box X2 Y2 36 36 W; SetFillStyle 1"},
        {"rounded box", ClipCase::BOX, kCentre, kCentre, {}, "Box X2 Y2 36 36 W 30"},
        {"ellipse", ClipCase::BOX, kCentre, kCentre, {}, "Ellipse X2 Y2 17 17 W"},
        {"anti-aliased circle",
         ClipCase::BOX,
         kCentre,
         kCentre,
         {},
         "SetFormStyle 16; Circle X2 Y2 17 W; SetFormStyle 1"},
        {"pie", ClipCase::BOX, kCentre, kCentre, {}, "Arc X2 Y2 17 17 0 300 W"},
        {"gradient",
         ClipCase::BOX,
         kCentre,
         kCentre,
         {},
         "SetFillStyle 2 2 16711680 65280; Box X2 Y2 36 36 W; SetFillStyle 1"},
        {"texture",
         ClipCase::BOX,
         kCentre,
         kCentre,
         {20, 20, 0xFFFF00},
         "SetFillStyle 3 1; Box X2 Y2 36 36 W; SetFillStyle 1"},
        {"line", ClipCase::BOX, kCentre, kCentre, {20, 20, 0xFFFFFF}, "Line X0 Y0 X39 Y39 W"},
        {"thick line", ClipCase::BOX, kCentre, kCentre, {20, 20, 0xFFFFFF}, "Line X0 Y0 X39 Y39 W 5"},
        {"points", ClipCase::BOX, kCentre, kCentre, {20, 20, 0xFFFFFF}, "Plot X5 Y5 W; Plot X20 Y20 W"},
        {"text", ClipCase::BOX, kCentre, kCentre, {}, "TextOut X2 Y12 \"WWWW\""},
        {"printed text", ClipCase::BOX, kCentre, kCentre, {}, "Locate X2 Y12; Print \"WWWW\""},
        {"text object", ClipCase::BOX, kCentre, kCentre, {}, "CreateTextObject 1 \"WWWW\"; DisplayTextObject 1 X2 Y12"},
        {"brush", ClipCase::BOX, kCentre, kCentre, {}, "CreateBrush 2 36 36 W; DisplayBrush 2 X2 Y2"},
        {"path", ClipCase::BOX, kCentre, kCentre, {}, "StartPath 1; AddBoxToPath 1 0 0 36 36; DrawPath 1 X2 Y2 W"},
        // Drawing into a selected brush with a region of its own in its lower right quarter: a box
        // centred by position constants lies in the middle of the region.
        {"selected brush",
         ClipCase::OWN,
         {},
         {20, 20, 20, 20},
         {29, 29, 0xFF0000},
         "CreateBrush 8 40 40 0; SelectBrush 8; CreateClipRegion 30 14 20 20 20 20; SetClipRegion 30;"
         "Box 0 0 40 40 W; Box -100000 -100000 4 4 16711680; Plot 2 2 W; Line 0 39 39 0 W; EndSelect;"
         "SetClipRegion 0; DisplayBrush 8 X0 Y0"},
        {"shaped: box", ClipCase::SHAPED, {}, kShapedShown, {25, 20, 0xFFFFFF}, "Box X2 Y2 36 36 W"},
        {"shaped: line", ClipCase::SHAPED, {}, kShapedShown, {25, 25, 0xFFFFFF}, "Line X0 Y0 X39 Y39 W"},
        {"shaped: points", ClipCase::SHAPED, {}, kShapedShown, {25, 20, 0xFFFFFF}, "Plot X15 Y20 W; Plot X25 Y20 W"},
    };
    return cases;
}

// The calls of a case's drawing in the cell at (cx, cy).
std::string Draw(const std::string& calls, int cx, int cy) {
    std::string code;
    std::istringstream list(calls);
    for (std::string one; std::getline(list, one, ';');) {
        std::istringstream words(one);
        std::string command, word;
        words >> command;
        std::vector<std::string> args;
        while (words >> word) {
            if (word == "W")
                word = kWhite;
            else if (word[0] == 'X' || word[0] == 'Y')
                word = N((word[0] == 'X' ? cx : cy) + std::atoi(word.c_str() + 1));
            args.push_back(word);
        }
        code += Call(command, args);
    }
    return code;
}

int CellX(size_t i) { return (int)(i % kColumns) * kCell; }
int CellY(size_t i) { return (int)(i / kColumns) * kCell; }

// The applet: display 2 (black), brush 1 (yellow, the texture), brush 9 (the region's shape), each
// case in its cell, then ReadPixel in the box case's region and in the shaped box case's region.
std::string Applet() {
    std::string body =
        "    NEWTABLE r3 0 0\n    SETTABLE r3 \"width\" " + N(kW) + "\n    SETTABLE r3 \"height\" " + N(kH) +
        "\n    SETTABLE r3 \"color\" 0\n    GETGLOBAL r0 \"createdisplay\"\n    LOADK r1 2\n    MOVE r2 r3\n"
        "    CALL r0 3 1\n" +
        Call("OpenDisplay", {"2"}) + Call("SetFillStyle", {"1"}) + Call("SetFontColor", {kWhite}) +
        Call("CreateBrush", {"1", "4", "4", "16776960"}) + Call("CreateBrush", {"9", "20", "20", kWhite}) +
        Call("SelectBrush", {"9"}) + Call("Box", {"0", "0", "10", "20", "0"}) + Call("EndSelect", {}) +
        Call("SetBrushTransparency", {"9", "0"});
    const std::vector<ClipCase>& cases = Cases();
    for (size_t i = 0; i < cases.size(); i++) {
        const ClipCase& c = cases[i];
        const int cx = CellX(i), cy = CellY(i);
        const std::string id = N(100 + (int)i);
        if (c.region == ClipCase::BOX)
            body += Call("CreateClipRegion",
                         {id, "14", N(cx + c.box.x), N(cy + c.box.y), N(c.box.width), N(c.box.height)}) +
                    Call("SetClipRegion", {id});
        else if (c.region == ClipCase::SHAPED)
            body += Call("CreateClipRegion", {id, "28", "9", N(cx + 10), N(cy + 10)}) + Call("SetClipRegion", {id});
        body += Draw(c.draw, cx, cy);
    }
    // The box case lies in cell 0, the shaped box case in cell 17.
    const int sx = CellX(17), sy = CellY(17);
    body += Call("CreateClipRegion", {"1", "14", "10", "10", "20", "20"}) + Call("SetClipRegion", {"1"}) +
            Print("ReadPixel", {"15", "15"}) + Call("ExitOnError", {"0"}) + Call("ReadPixel", {"5", "5"}) +
            Print("GetLastError", {}) + Call("CreateClipRegion", {"2", "28", "9", N(sx + 10), N(sy + 10)}) +
            Call("SetClipRegion", {"2"}) + Call("ReadPixel", {N(sx + 15), N(sy + 20)}) + Print("GetLastError", {}) +
            Print("ReadPixel", {N(sx + 25), N(sy + 20)});
    return ".applet\n.record 10 u8 6 u8 0\n.function main\n  .source \"@clip.qzs\"\n  .line 1\n" + body +
           "    RETURN r0 1\n.end\n";
}

class ClipE2E : public ::testing::Test {
protected:
    void SetUp() override {
        char dirTemplate[] = "/tmp/qzclipXXXXXX";
        ASSERT_NE(mkdtemp(dirTemplate), nullptr);
        dir = dirTemplate;
    }
    void TearDown() override { EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0); }

    std::string Play(const std::string& text) {
        std::string error;
        std::vector<uint8_t> bytes = QzAssemble(text, &error);
        EXPECT_FALSE(bytes.empty()) << error;
        WriteBytes(dir + "/clip.qza", bytes);
        int status = 0;
        std::string output = CaptureOutput("cd '" + dir + "' && QUARNELIX_DRIVER=headless QUARNELIX_SNAPSHOT_DIR='" +
                                               dir + "' " + PlayerTimeout() + "'" + BinaryDir() +
                                               "/bin/qzplayer' -QUIET -DEBUGDEVICE stdout clip.qza 2>&1",
                                           &status);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
        return output;
    }
    // The snapshot's pixels as 0xRRGGBB, row by row; empty when there is none of kW x kH.
    std::vector<uint32_t> Snapshot() { return ReadPngPixels(dir + "/display-2.png", kW, kH); }
    std::string dir;
};

TEST_F(ClipE2E, EveryDrawingStaysInsideTheClipRegion) {
    EXPECT_EQ(Play(Applet()), "16777215\n1168\n1168\n16777215\n");
    const std::vector<uint32_t> pixels = Snapshot();
    ASSERT_EQ(pixels.size(), (size_t)kW * kH) << "no snapshot";
    const std::vector<ClipCase>& cases = Cases();
    for (size_t i = 0; i < cases.size(); i++) {
        const ClipCase& c = cases[i];
        int inside = 0, outside = 0;
        for (int y = 0; y < kCell; y++)
            for (int x = 0; x < kCell; x++)
                if (pixels[(size_t)(CellY(i) + y) * kW + CellX(i) + x] != 0) (c.shown.Holds(x, y) ? inside : outside)++;
        EXPECT_GT(inside, 0) << c.what << ": nothing drawn inside the region";
        EXPECT_EQ(outside, 0) << c.what << ": drawn outside the region";
        if (c.probe.x >= 0) {
            EXPECT_EQ(pixels[(size_t)(CellY(i) + c.probe.y) * kW + CellX(i) + c.probe.x], c.probe.colour) << c.what;
        }
    }
}

}  // namespace

}  // namespace clip_e2e_test
