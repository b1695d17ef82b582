// The brush commands on pixels, masks and alpha channels: single pixels, transparency changes,
// pixel arrays in tables (round trips and bad arrays) and flood fill against a brute-force fill.
#include <deque>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "brush_process_util.h"
#include "gfx/position.h"
#include "vm/vm.h"

namespace brush_pixels_test {

using gfxtest::Picture;
using qztest::Arg;
using qztest::NilArg;

namespace {

// The entries 0 .. count - 1 of the table at the stack index.
std::vector<uint32_t> TableNumbers(VmState* state, int index, int count) {
    std::vector<uint32_t> out;
    for (int i = 0; i < count; i++) {
        VmRawGetI(state, index, i);
        out.push_back(VmType(state, -1) == VM_TNUMBER ? (uint32_t)VmToNumber(state, -1) : 0xDEADu);
        VmPop(state, 1);
    }
    return out;
}

}  // namespace

// The commands look their brush up after reading the arguments before it, and an unknown brush
// fails the command with the brush number as error argument.
TEST_F(BrushProcessTest, UnknownBrushesFailTheCommand) {
    ASSERT_EQ(vm.Run("CreateBrush", {1, 4, 3, 0x112233}), "");
    const struct {
        const char* command;
        std::vector<Arg> args;
        int code;
    } rows[] = {
        {"ScaleBrush", {9, 2, 2}, ERR_FINDBRUSH},
        {"FlipBrush", {9, 0}, ERR_FINDBRUSH},
        {"FlipBrush", {9, "x"}, ERR_NUMEXPECTED},
        {"CropBrush", {9, 0, 0, 1, 1}, ERR_FINDBRUSH},
        {"CropBrush", {9, 0, 0, 0, 1}, ERR_BADDIMENSIONS},
        {"TrimBrush", {9}, ERR_FINDBRUSH},
        {"RasterizeBrush", {9}, ERR_FINDBRUSH},
        {"ReadBrushPixel", {9, 0, 0}, ERR_FINDBRUSH},
        {"ReadBrushPixel", {9, "x", 0}, ERR_NUMEXPECTED},
        {"BrushToRGBArray", {9}, ERR_FINDBRUSH},
        {"MixBrush", {1, 9, 50}, ERR_FINDBRUSH},
        {"MixBrush", {9, 1, 50}, ERR_FINDBRUSH},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command + ::testing::PrintToString(row.code));
        EXPECT_EQ(vm.CallErr(row.command, row.args), row.code);
        if (row.code == ERR_FINDBRUSH) {
            EXPECT_EQ(GetErrorArgIndex(), 9);
        }
    }
    EXPECT_EQ(vm.Run("ReadBrushPixel", {1, 0, 0}), "1122867, -1");
}

TEST_F(BrushProcessTest, ReadAndWritePixels) {
    ASSERT_EQ(vm.Run("CreateBrush", {1, 4, 3, 0x112233, Arg::Table({{"mask", true}})}), "");
    ASSERT_EQ(vm.Run("CreateBrush", {2, 4, 3, 0x445566, Arg::Table({{"alphachannel", true}})}), "");
    ASSERT_EQ(vm.Run("CreateBrush", {3, 4, 3, 0x778899}), "");
    const struct {
        const char* command;
        std::vector<Arg> args;
        std::string expected;
    } rows[] = {
        {"ReadBrushPixel", {1, -1, 0}, "4294967295, -1"},
        {"ReadBrushPixel", {1, 4, 0}, "4294967295, -1"},
        {"ReadBrushPixel", {1, 0, 0}, "1122867, 1"},
        {"ReadBrushPixel", {2, 1, 1}, "4478310, 255"},
        {"ReadBrushPixel", {3, 3, 2}, "7833753, -1"},
        {"ReadBrushPixel", {3, QZ_POSITION_RIGHT, QZ_POSITION_BOTTOM}, "7833753, -1"},
        // A pixel made invisible through the mask; an alpha byte written; outside: nothing.
        {"WriteBrushPixel", {1, 0, 0, 0xFF0000, 0}, ""},
        {"ReadBrushPixel", {1, 0, 0}, "16711680, 0"},
        {"WriteBrushPixel", {2, 1, 1, 0x00FF00, 77}, ""},
        {"ReadBrushPixel", {2, 1, 1}, "65280, 77"},
        {"WriteBrushPixel", {2, 1, 1, 0x0000FF}, ""},
        {"ReadBrushPixel", {2, 1, 1}, "255, 77"},
        {"WriteBrushPixel", {3, 4, 0, 0xFFFFFF, 1}, ""},
        {"WriteBrushPixel", {3, -1, 0, 0xFFFFFF, 1}, ""},
        {"ReadBrushPixel", {9, 0, 0}, "ERR 1174"},
    };
    for (const auto& r : rows) EXPECT_EQ(vm.Run(r.command, r.args), r.expected) << r.command;
}

TEST_F(BrushProcessTest, TransparencyChanges) {
    // Left column keyed out by its colour.
    ASSERT_EQ(vm.Run("CreateBrush", {1, 3, 2, 0xFFFFFF}), "");
    ASSERT_EQ(vm.Run("WriteBrushPixel", {1, 0, 0, 0x000000}), "");
    ASSERT_EQ(vm.Run("WriteBrushPixel", {1, 0, 1, 0x000000}), "");
    ASSERT_EQ(vm.Run("SetBrushTransparency", {1, 0x000000}), "");
    EXPECT_EQ(vm.Run("ReadBrushPixel", {1, 0, 1}), "0, 0");
    EXPECT_EQ(vm.Run("ReadBrushPixel", {1, 1, 1}), "16777215, 1");

    // To an alpha channel: 255 where visible, 0 where not, and the mask goes.
    ASSERT_EQ(vm.Run("ChangeBrushTransparency", {1, 30}), "");
    EXPECT_EQ(Find(1)->mask, nullptr);
    EXPECT_EQ(Alpha(1), (std::vector<uint8_t>{0, 255, 255, 0, 255, 255}));
    // Back to a mask: only alpha 255 counts as visible.
    ASSERT_EQ(vm.Run("WriteBrushPixel", {1, 2, 0, 0xFFFFFF, 254}), "");
    ASSERT_EQ(vm.Run("ChangeBrushTransparency", {1, 28}), "");
    EXPECT_EQ(Find(1)->alpha, nullptr);
    EXPECT_EQ(vm.Run("ReadBrushPixel", {1, 2, 0}), "16777215, 0");
    EXPECT_EQ(vm.Run("ReadBrushPixel", {1, 1, 0}), "16777215, 1");
    ASSERT_EQ(vm.Run("InvertMask", {1}), "");
    EXPECT_EQ(vm.Run("ReadBrushPixel", {1, 2, 0}), "16777215, 1");

    const struct {
        const char* command;
        std::vector<Arg> args;
        std::string expected;
    } rows[] = {
        {"ChangeBrushTransparency", {1, 5}, "ERR 1055"},
        {"InvertAlphaChannel", {1}, "ERR 1055"},  // it has a mask
        {"ReduceAlphaChannel", {1, 100}, "ERR 1055"},
        {"ReduceAlphaChannel", {1, 256}, "ERR 1055"},
        {"ReduceAlphaChannel", {1, -1}, "ERR 1055"},
        {"SetBrushTransparency", {1, -1}, ""},
        {"InvertMask", {1}, "ERR 1055"},
    };
    for (const auto& r : rows) EXPECT_EQ(vm.Run(r.command, r.args), r.expected) << r.command;
    EXPECT_EQ(Find(1)->mask, nullptr);
    EXPECT_EQ(Find(1)->alpha, nullptr);
    EXPECT_EQ(Find(1)->transparentcolor, -1);

    // Alpha channel made without a mask, halved, inverted, then removed.
    ASSERT_EQ(vm.Run("ChangeBrushTransparency", {1, 30}), "");
    EXPECT_EQ(Alpha(1), std::vector<uint8_t>(6, 255));
    ASSERT_EQ(vm.Run("ReduceAlphaChannel", {1, "50%"}), "");
    EXPECT_EQ(Alpha(1), std::vector<uint8_t>(6, 127));
    ASSERT_EQ(vm.Run("InvertAlphaChannel", {1}), "");
    EXPECT_EQ(Alpha(1), std::vector<uint8_t>(6, 128));
    ASSERT_EQ(vm.Run("DeleteAlphaChannel", {1}), "");
    EXPECT_EQ(Find(1)->alpha, nullptr);
    ASSERT_EQ(vm.Run("ChangeBrushTransparency", {1, 28}), "");
    EXPECT_EQ(vm.Run("ReadBrushPixel", {1, 0, 0}), "0, 1");
    ASSERT_EQ(vm.Run("DeleteMask", {1}), "");
    EXPECT_EQ(Find(1)->mask, nullptr);
}

TEST_F(BrushProcessTest, RGBArrayRoundTrips) {
    // An ImageMagick picture with a graded alpha channel, then with a mask, then opaque.
    const Picture src = gfxtest::TestPicture(13, 9, 9);
    struct {
        std::string options;
        int type;
    } rows[] = {
        {"-alpha set -channel A -fx '(i+j)/20' +channel", 30},
        {"", 28},
        {"", -1},
    };
    for (const auto& r : rows) {
        Load(1, src, r.options, r.type == 30);
        if (r.type == 28) {
            ASSERT_EQ(vm.Run("SetBrushTransparency", {1, (int)src.at(3, 3)}), "");
        }
        for (int inverted : {0, 1}) {
            ASSERT_EQ(vm.CallFresh("BrushToRGBArray", {1, inverted}), 0);
            const std::vector<uint32_t> first = TableNumbers(vm, 1, 13 * 9);
            ASSERT_EQ(vm.Run("RGBArrayToBrush", {2, Arg::Stack(1), 13, 9, r.type, inverted}), "");
            ASSERT_EQ(vm.CallFresh("BrushToRGBArray", {2, inverted}), 0);
            EXPECT_EQ(TableNumbers(vm, 1, 13 * 9), first) << r.type << " " << inverted;
            EXPECT_EQ(Pixels(2).px, Pixels(1).px);
            for (size_t i = 0; i < first.size(); i++) ASSERT_EQ(first[i] & 0xFFFFFF, src.px[i]) << i;
        }
    }
    // A 2 x 2 opaque brush: indices 0 to 3, each with AA = 255.
    ASSERT_EQ(vm.Run("CreateBrush", {3, 2, 2, 0x123456}), "");
    ASSERT_EQ(vm.CallFresh("BrushToRGBArray", {3}), 0);
    EXPECT_EQ(TableNumbers(vm, 1, 5), (std::vector<uint32_t>{0xFF123456, 0xFF123456, 0xFF123456, 0xFF123456, 0xDEAD}));
}

// An alpha channel turned into a mask keeps the fully opaque pixels only; the masked brush's
// array then carries alpha 255 there and 0 elsewhere, and inverted the other way round.
TEST_F(BrushProcessTest, MaskFromAlphaKeepsTheOpaquePixels) {
    const Arg pixels = Arg::List({0xFF112233, 0xFE112233, 0x00112233, 0x80445566});
    ASSERT_EQ(vm.Run("RGBArrayToBrush", {1, pixels, 2, 2, 30}), "");
    ASSERT_EQ(vm.Run("ChangeBrushTransparency", {1, 28}), "");
    ASSERT_EQ(vm.CallFresh("BrushToRGBArray", {1}), 0);
    EXPECT_EQ(TableNumbers(vm, 1, 4), (std::vector<uint32_t>{0xFF112233, 0x00112233, 0x00112233, 0x00445566}));
    ASSERT_EQ(vm.CallFresh("BrushToRGBArray", {1, 1}), 0);
    EXPECT_EQ(TableNumbers(vm, 1, 4), (std::vector<uint32_t>{0x00112233, 0xFF112233, 0xFF112233, 0xFF445566}));
}

TEST_F(BrushProcessTest, BadRGBArrays) {
    ASSERT_EQ(vm.Run("CreateBrush", {5, 3, 3, 0xABCDEF}), "");
    const Arg pixels = Arg::List({0xFF000000, 0xFFFF0000, 0x00FFFFFF, 0xFF00FF00, 0x80FFFFFF, 0xFF0000FF});
    const struct {
        std::vector<Arg> args;
        std::string expected;
    } rows[] = {
        {{5, pixels, 0, 2}, "ERR 1218"},
        {{5, pixels, 2, -3}, "ERR 1218"},
        {{5, pixels, 100000, 100000}, "ERR 1522"},  // no bitmap holds that
        {{5, pixels, 65536, 65536}, "ERR 1522"},    // the pixel count overflows 32 bits
        {{5, Arg::List({1, "red"}), 2, 1}, "ERR 1189"},
        {{5, pixels, 2, 1, 29}, "ERR 1055"},
    };
    for (const auto& r : rows) EXPECT_EQ(vm.Run("RGBArrayToBrush", r.args), r.expected);
    // The brush under that id survived every failure.
    EXPECT_EQ(Pixels(5).at(2, 2), 0xABCDEFu);

    // More entries than pixels: the rest is ignored; fewer: the missing pixels are transparent.
    ASSERT_EQ(vm.Run("RGBArrayToBrush", {5, pixels, 2, 2, 28}), "");
    EXPECT_EQ(Pixels(5).px, (std::vector<uint32_t>{0x000000, 0xFF0000, 0xFFFFFF, 0x00FF00}));
    EXPECT_EQ(vm.Run("ReadBrushPixel", {5, 0, 1}), "16777215, 0");
    ASSERT_EQ(vm.Run("RGBArrayToBrush", {5, pixels, 3, 3, 30, 1}), "");
    EXPECT_EQ(Alpha(5), (std::vector<uint8_t>{0, 0, 255, 0, 127, 0, 0, 0, 0}));
    ASSERT_EQ(vm.CallFresh("RGBArrayToBrush", {NilArg(), pixels, 1, 1}), 0);
    EXPECT_EQ(VmType(vm, 1), VM_TLIGHTUSERDATA);
}

TEST_F(BrushProcessTest, FloodFillMatchesBruteForce) {
    // Random walls of the border colour on a background of two other colours.
    const int w = 37, h = 23;
    Picture src;
    src.width = w, src.height = h;
    src.px.resize((size_t)w * h);
    uint32_t seed = 12345;
    for (uint32_t& c : src.px) {
        seed = seed * 1664525u + 1013904223u;
        const int v = (int)(seed >> 24);
        c = v < 90 ? 0x0000FF : (v < 170 ? 0x808080 : 0x404040);
    }
    const struct { int x, y; } seeds[] = {{5, 5}, {0, 0}, {36, 22}, {18, 11}};
    for (const auto& s : seeds) {
        Load(1, src);
        if (src.at(s.x, s.y) == 0x0000FF) continue;
        ASSERT_EQ(vm.Run("FloodFill", {1, s.x, s.y, 0x0000FF, 0xFF00FF}), "");
        // Four-way connected pixels that are not the border colour.
        Picture want = src;
        std::deque<std::pair<int, int>> todo{{s.x, s.y}};
        std::vector<bool> seen((size_t)w * h, false);
        seen[(size_t)s.y * w + s.x] = true;
        while (!todo.empty()) {
            auto [x, y] = todo.front();
            todo.pop_front();
            want.at(x, y) = 0xFF00FF;
            const int next[4][2] = {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}};
            for (const auto& n : next) {
                if (n[0] < 0 || n[1] < 0 || n[0] >= w || n[1] >= h) continue;
                const size_t i = (size_t)n[1] * w + n[0];
                if (seen[i] || src.px[i] == 0x0000FF) continue;
                seen[i] = true;
                todo.push_back({n[0], n[1]});
            }
        }
        EXPECT_EQ(Pixels(1).px, want.px) << s.x << "," << s.y;
    }
    const struct {
        std::vector<Arg> args;
        std::string expected;
    } rows[] = {
        {{1, -1, 0, 0, 0xFF}, "ERR 1154"},
        {{1, 0, -3, 0, 0xFF}, "ERR 1154"},
        {{1, 37, 0, 0, 0xFF}, "ERR 1217"},
        {{1, 0, 23, 0, 0xFF}, "ERR 1217"},
        {{1, QZ_POSITION_CENTER, QZ_POSITION_CENTER, 0x0000FF, 0x0000FF}, ""},
    };
    for (const auto& r : rows) EXPECT_EQ(vm.Run("FloodFill", r.args), r.expected);
}

}  // namespace brush_pixels_test
