// The text library: the style and encoding commands, the cursor, margins and tab stops of the
// current display, measuring, and Print and TextOut drawn into a small display described through
// the blitters' display hooks (the inbuilt 8x8 font, compared with its glyphs as the font engine
// draws them).
#include <gtest/gtest.h>

#include <vector>

#include "../gfx/blit_test_util.h"
#include "base/error_codes.h"
#include "display/display.h"
#include "display/object_types.h"
#include "gfx/blit_display.h"
#include "gfx/safe_blt.h"
#include "libs/string/string_lib.h"
#include "libs/text/text_lib.h"
#include "support/commands.h"
#include "text/font_engine.h"
#include "text/formatted_text.h"
#include "text/text_engine.h"
#include "text/text_object.h"

namespace text_test {

using namespace blittest;
using qztest::Arg;

namespace {

constexpr int kW = 160, kH = 60;
constexpr uint32_t kBack = 0x102030;

qzBlitDisplayInfo* fakeInfo = nullptr;
void* Current() { return fakeInfo; }
void Describe(void*, qzBlitDisplayInfo* out) { *out = *fakeInfo; }
void Present(const qzBitMap*, int, int, void*, int, int, int, int, int, int, uint32_t, const qzBitMap*,
             const qzBitMap*) {}
const qzBlitDisplayHooks kHooks = {Current, Describe, Present};

// A kW x kH display as the current display and output, with the string and text libraries open.
struct TextScope {
    qzBlitDisplayInfo info;
    BitMapPtr first, second;
    qzDisplay display;
    qztest::Commands vm{&qzStringLibrary, &qzTextLibrary};
    TextScope() {
        first = MakeBitMap(kW, kH, [](int, int) { return kBack; });
        second = MakeBitMap(kW, kH, [](int, int) { return kBack; });
        info.firstBuffer = first.get();
        info.secondBuffer = second.get();
        info.targetWidth = kW;
        info.targetHeight = kH;
        fakeInfo = &info;
        SetBlitDisplayHooks(&kHooks);
        display.width = kW;
        display.height = kH;
        display.textRightMargin = kW - 1;
        SetCurrentDisplay(&display);
    }
    ~TextScope() {
        SetCurrentDisplay(nullptr);
        SetBlitDisplayHooks(nullptr);
        FreeSafeBltScratch();
        fakeInfo = nullptr;
    }
    uint32_t At(int x, int y) const { return Pixel(first.get(), x, y) & 0xFFFFFF; }
};

// 1 where the inbuilt font sets a pixel of the text drawn at 0, 0.
std::vector<std::vector<int>> Glyphs(const std::string& text) {
    BitMapPtr mask(CreateMaskBitMap(nullptr, 8 * (int)text.size(), 8, 1, nullptr, 0));
    EXPECT_EQ(FontEngineRenderText(nullptr, nullptr, mask.get(), 0, 0, text.c_str(), text.size(), FONTSTYLE_NORMAL,
                                   ENCODING_ISO8859_1, nullptr, FONT_NO_COLOR),
              0);
    std::vector<std::vector<int>> out(8, std::vector<int>(8 * text.size()));
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8 * (int)text.size(); x++) out[y][x] = Bit(mask.get(), x, y);
    return out;
}

// The display shows exactly the text's glyphs in the colour at x, y over the background.
void ExpectText(const TextScope& s, const std::string& text, int x0, int y0, uint32_t colour) {
    const auto g = Glyphs(text);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8 * (int)text.size(); x++)
            ASSERT_EQ(s.At(x0 + x, y0 + y), g[y][x] ? colour : kBack) << text << " at " << x << "," << y;
}

TEST(TextLib, SetFontStyleBitsAndEffects) {
    qztest::Commands vm{&qzTextLibrary};
    const qzFontStyle* st = GetFontStyleState();
    EXPECT_EQ(st->style, 1u);
    EXPECT_EQ(st->edgeColor, 0x0093DDu);
    EXPECT_EQ(st->font, GetInbuiltFont());
    vm.Ok("SetFontStyle", {FONTSTYLE_BOLD});
    EXPECT_EQ(st->style, 3u);  // NORMAL stays set
    vm.Ok("SetFontStyle", {FONTSTYLE_NORMAL});
    EXPECT_EQ(st->style, 1u);
    vm.Ok("SetFontStyle", {FONTSTYLE_SHADOW, 0xFF0000, 99, 9});
    EXPECT_EQ(st->shadowColor, 0xFF0000u);
    EXPECT_EQ(st->shadowSize, 64);
    EXPECT_EQ(st->shadowDirection, 3);
    vm.Ok("SetFontStyle", {FONTSTYLE_EDGE, 0x00FF00, 5});
    EXPECT_EQ(st->edgeColor, 0x00FF00u);
    EXPECT_EQ(st->edgeSize, 5);
    // With four arguments the edge's extra arguments are all ignored.
    vm.Ok("SetFontStyle", {FONTSTYLE_EDGE, 0xFF0000, 3, 99});
    EXPECT_EQ(st->edgeColor, 0x00FF00u);
    EXPECT_EQ(st->edgeSize, 5);
    EXPECT_EQ(st->style, 1u | 32u | 64u);
    vm.Ok("SetFontColor", {0x80FFFFFFu});
    EXPECT_EQ(st->color, 0x80FFFFFFu);
    const struct {
        const char* command;
        std::vector<Arg> args;
        int error;
    } errors[] = {
        {"SetFontStyle", {FONTSTYLE_BOLD, 1}, ERR_TOOMANYARGS},
        {"SetFontStyle", {}, ERR_MISSINGPARAMTR},
        {"SetDefaultEncoding", {2}, ERR_WRONGUSAGE},
        {"TextWidth", {"a", 2}, ERR_WRONGUSAGE},
        {"GetKerningPair", {"a", "b", 5}, ERR_WRONGUSAGE},
    };
    for (const auto& e : errors) EXPECT_EQ(vm.CallErr(e.command, e.args), e.error) << e.command;
}

TEST(TextLib, MeasuringCommands) {
    qztest::Commands vm{&qzTextLibrary};
    EXPECT_EQ(vm.Run("TextWidth", {""}), "0");
    EXPECT_EQ(vm.Run("TextWidth", {"abc"}), "24");
    EXPECT_EQ(vm.Run("TextHeight", {""}), "8");
    EXPECT_EQ(vm.Run("GetKerningPair", {"", "b"}), "0");
    vm.Ok("SetFontStyle", {FONTSTYLE_EDGE});
    vm.Call("TextExtent", {"ab"});
    const struct {
        const char* key;
        double value;
    } fields[] = {{"minx", -2}, {"maxx", 17}, {"miny", -8}, {"maxy", 3}, {"width", 16}, {"height", 8}};
    for (const auto& f : fields) {
        VmPushString(vm.state(), f.key);
        VmGetTable(vm.state(), -2);
        EXPECT_EQ(VmToNumber(vm.state(), -1), f.value) << f.key;
        VmPop(vm.state(), 1);
    }
}

TEST(TextLib, CursorMarginsAndTabStops) {
    TextScope s;
    const struct {
        const char* command;
        std::vector<Arg> args;
        int error;
    } errors[] = {
        {"SetMargins", {10, 10}, ERR_WRONGUSAGE},
        {"Locate", {-100000, 10}, ERR_NOCOORDCST},
        {"Locate", {10, -60000}, ERR_NOCOORDCST},
        {"AddTab", {-1}, ERR_NEGCOORDS},
    };
    for (const auto& e : errors) EXPECT_EQ(s.vm.CallErr(e.command, e.args), e.error) << e.command;
    s.vm.Ok("SetMargins", {-5, 100000});
    EXPECT_EQ(s.display.textLeftMargin, 0);
    EXPECT_EQ(s.display.textRightMargin, kW - 1);
    s.vm.Ok("Locate", {700, 10});
    EXPECT_EQ(s.display.textCursorX, 0);
    EXPECT_EQ(s.display.textCursorY, 10);
    s.vm.Ok("Locate", {30, 12});
    EXPECT_EQ(s.display.textCursorX, 30);

    s.vm.Ok("AddTab", {50, 20, 50});
    EXPECT_EQ(std::vector<int32_t>(s.display.textTabStops, s.display.textTabStops + s.display.textTabCount),
              (std::vector<int32_t>{20, 50, 50}));
    for (int i = 3; i < 31; i++) s.vm.Ok("AddTab", {i});
    EXPECT_EQ(s.vm.CallErr("AddTab", {100, 101}), ERR_INTERNAL);  // the 32nd goes in, the 33rd fails
    EXPECT_EQ(s.display.textTabCount, 32);
    s.vm.Ok("ResetTabs", {});
    EXPECT_EQ(s.display.textTabCount, 0);
}

TEST(TextLib, PrintDrawsAtTheCursorAndMovesIt) {
    TextScope s;
    s.vm.Ok("SetMargins", {4, 150});
    s.vm.Ok("Locate", {10, 3});
    s.vm.Ok("SetFontColor", {0xFF0000});
    s.vm.Ok("Print", {"Hi"});
    ExpectText(s, "Hi", 10, 3, 0xFF0000);
    EXPECT_EQ(s.display.textCursorX, 26);
    EXPECT_EQ(s.display.textCursorY, 3);
    // Values are joined with blanks; NPrint ends the line at the left margin.
    s.vm.Ok("NPrint", {"a", 1});
    ExpectText(s, "a 1", 26, 3, 0xFF0000);
    EXPECT_EQ(s.display.textCursorX, 4);
    EXPECT_EQ(s.display.textCursorY, 11);
    // A tag error draws nothing and leaves the cursor.
    EXPECT_EQ(s.vm.CallErr("Print", {"x]y"}), ERR_TEXTSYNTAX);
    EXPECT_EQ(s.vm.CallErr("TextOut", {0, 40, "[colour=1]x"}), ERR_UNKTEXTFMT);
    for (int x = 0; x < kW; x++) ASSERT_EQ(s.At(x, 12), kBack);
    for (int x = 0; x < kW; x++) ASSERT_EQ(s.At(x, 44), kBack);
    EXPECT_EQ(s.display.textCursorX, 4);
}

TEST(TextLib, TextOutPlacesFormattedText) {
    TextScope s;
    s.vm.Ok("TextOut", {5, 40, "[color=$00FF00]ab[/color]c"});
    ExpectText(s, "ab", 5, 40, 0x00FF00);
    ExpectText(s, "c", 21, 40, 0xFFFFFF);
    // Centred by position constant (x) and aligned text.
    s.vm.Ok("TextOut", {-100000, 20, "mid"});
    ExpectText(s, "mid", (kW - 24) / 2, 20, 0xFFFFFF);
    // An options table without size or scale keeps the text at its own size.
    s.vm.Ok("TextOut", {5, 5, "opt", Arg::Table({{"color", 0x0000FF}})});
    ExpectText(s, "opt", 5, 5, 0x0000FF);
    EXPECT_EQ(s.At(5 + 24, 5), kBack);
    EXPECT_EQ(s.vm.CallErr("TextOut", {0, 0, "x", Arg::Table({{"wordwrap", -1}})}), ERR_WRONGUSAGE);
    EXPECT_EQ(s.vm.CallErr("TextOut", {0, 0, "x", Arg::Table({{"encoding", 2}})}), ERR_WRONGUSAGE);
}

// "width" and "height" scale the text from its size as drawn: wrapped by the "wordwrap" option
// (two lines of 32 x 8 make a 32 x 17 block, doubled to 64 x 34), not as one long line. A text
// that cannot be laid out is reported before anything is drawn.
TEST(TextLib, TextOutSizeOptionsMeasureTheWrappedText) {
    TextScope s;
    s.vm.Ok("TextOut", {0, 0, "aaaa bbbb", Arg::Table({{"wordwrap", 40}, {"width", 64}, {"height", 34}})});
    int right = -1, bottom = -1;
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW; x++)
            if (s.At(x, y) != kBack) right = std::max(right, x), bottom = std::max(bottom, y);
    EXPECT_GT(right, 40);
    EXPECT_LT(right, 64);
    EXPECT_GT(bottom, 24);
    EXPECT_LT(bottom, 34);
    EXPECT_EQ(s.vm.CallErr("TextOut", {0, 40, "a]b", Arg::Table({{"width", 64}})}), ERR_TEXTSYNTAX);
    for (int y = 36; y < kH; y++)
        for (int x = 0; x < kW; x++) ASSERT_EQ(s.At(x, y), kBack);
}

// A turned TextOut sized by "width" and "height" renders its scalable font at that size, exactly
// as the same scale given by "scalex" and "scaley" does, instead of scaling the pixels.
TEST(TextLib, TurnedTextOutSizedByWidthScalesTheFont) {
    std::vector<uint32_t> shown[2];
    for (int k = 0; k < 2; k++) {
        TextScope s;
        s.vm.Ok("SetFont", {":::default_sans", 16});
        s.vm.Ok("SetFontStyle", {FONTSTYLE_ANTIALIAS});
        qzTextStyle ts;
        ts.style = *GetFontStyleState();
        ts.text = "Hi";
        qzTextBlock size;
        qzTextLayout layout;
        ASSERT_EQ(RenderTextBlock(nullptr, &ts, TEXTMODE_TEXTOUT, 0, 0, 1, &size, &layout), 0);
        const Arg options = k == 0
                                ? Arg::Table({{"scalex", 2}, {"scaley", 2}, {"rotate", 90}})
                                : Arg::Table({{"width", 2 * size.width}, {"height", 2 * size.height}, {"rotate", 90}});
        s.vm.Ok("TextOut", {60, 30, "Hi", options});
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++) shown[k].push_back(s.At(x, y));
    }
    EXPECT_NE(shown[0], std::vector<uint32_t>(shown[0].size(), kBack));
    EXPECT_EQ(shown[0], shown[1]);
}

}  // namespace

namespace {

TEST(TextLib, TextObjectsCreateShowCopyAndFree) {
    TextScope s;
    s.vm.Ok("SetFontColor", {0x00FFFF});
    s.vm.Ok("CreateTextObject", {1, "old"});
    s.vm.Ok("CreateTextObject", {1, "ab"});  // replaces the first
    qzTextObject* object = nullptr;
    ASSERT_EQ(FindTextObject(s.vm.state(), qzObjectId{1, nullptr}, &object, 0), 0);
    EXPECT_EQ(object->width, 16);
    EXPECT_EQ(object->height, 9);
    EXPECT_EQ(object->style->text, "ab");
    s.vm.Ok("DisplayTextObject", {1, 7, 30});
    ExpectText(s, "ab", 7, 30, 0x00FFFF);

    EXPECT_EQ(s.vm.CallErr("CopyTextObject", {1, 1}), ERR_WRONGUSAGE);
    s.vm.Ok("CopyTextObject", {1, 2});
    s.vm.Ok("RotateTextObject", {2, 370});
    ASSERT_EQ(FindTextObject(s.vm.state(), qzObjectId{2, nullptr}, &object, 0), 0);
    EXPECT_DOUBLE_EQ(object->transform.rotate, 10.0);
    EXPECT_EQ(object->left, 0);
    EXPECT_GT(object->height, 9);
    // An automatic identifier comes back as the command's result.
    ASSERT_EQ(s.vm.Call("CreateTextObject", {qztest::Nil{}, "x"}), 0);
    EXPECT_EQ(s.vm.Results(), 1);

    // Copies made by other libraries (ConvertToBrush) find the object's bitmaps.
    qzObjectBitmaps bitmaps;
    ASSERT_EQ(FindTextObject(s.vm.state(), qzObjectId{1, nullptr}, &object, 0), 0);
    ASSERT_EQ(GetObjectBitmaps(s.vm.state(), QZ_TYPE_TEXT_OBJECT, qzObjectId{1, nullptr}, 0, &bitmaps), 0);
    EXPECT_EQ(bitmaps.bitmap, object->bitmap);
    EXPECT_EQ(bitmaps.mask, object->mask);
    EXPECT_EQ(bitmaps.width, 16);
    EXPECT_EQ(bitmaps.height, 9);

    s.vm.Ok("FreeTextObject", {1});
    EXPECT_EQ(GetObjectBitmaps(s.vm.state(), QZ_TYPE_TEXT_OBJECT, qzObjectId{1, nullptr}, 0, &bitmaps),
              ERR_FINDTEXTOBJECT);
    EXPECT_EQ(s.vm.CallErr("FreeTextObject", {1}), ERR_FINDTEXTOBJECT);
    EXPECT_EQ(s.vm.CallErr("DisplayTextObject", {1, 0, 0}), ERR_FINDTEXTOBJECT);
    EXPECT_EQ(s.vm.CallErr("CreateTextObject", {3, "x", 0, -1}), ERR_WRONGUSAGE);
    EXPECT_EQ(s.vm.CallErr("CreateTextObject", {3, "[b"}), ERR_SQBRACKETCLOSE);
    EXPECT_EQ(FindTextObject(s.vm.state(), qzObjectId{3, nullptr}, &object, 0), ERR_FINDTEXTOBJECT);
}

// A scalable font is rendered again at the new size, breaking lines at the same words.
TEST(TextLib, ScaledTextObjectsKeepTheirLines) {
    TextScope s;
    s.vm.Ok("SetFont", {":::default_sans", 16});
    s.vm.Ok("CreateTextObject", {1, "aaaa bbbb cccc dddd", Arg::Table({{"wordwrap", 90}})});
    qzTextObject* object = nullptr;
    ASSERT_EQ(FindTextObject(s.vm.state(), qzObjectId{1, nullptr}, &object, 0), 0);
    const int32_t width = object->width, height = object->height;
    const std::vector<int32_t> breaks = object->style->lineBreaks;
    ASSERT_FALSE(breaks.empty());
    s.vm.Ok("ScaleTextObject", {1, "200%", "200%"});
    EXPECT_NEAR(object->height, 2 * height, 4);
    EXPECT_GT(object->width, width * 3 / 2);
    EXPECT_EQ(object->style->lineBreaks, breaks);
    s.vm.Ok("ScaleTextObject", {1, "100%", "100%"});
    EXPECT_EQ(object->width, width);
    EXPECT_EQ(object->height, height);
    EXPECT_EQ(object->baseWidth, width);
}

// Without layers an object shows at its own angle: "rotate" is ignored, "transparency" applies.
TEST(TextLib, DisplayedTextObjectsTakeTransparencyNotRotation) {
    TextScope s;
    s.vm.Ok("CreateTextObject", {1, "H"});
    s.vm.Ok("DisplayTextObject", {1, 10, 10, Arg::Table({{"rotate", 90}, {"transparency", 128}})});
    const auto g = Glyphs("H");
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) {
            const uint32_t p = s.At(10 + x, 10 + y);
            if (!g[y][x]) {
                ASSERT_EQ(p, kBack) << x << "," << y;
                continue;
            }
            // White at half opacity over the background.
            ASSERT_NEAR((int)(p >> 16), (0xFF + 0x10) / 2, 3) << x << "," << y;
            ASSERT_NEAR((int)(p & 255), (0xFF + 0x30) / 2, 3) << x << "," << y;
        }
}

}  // namespace

}  // namespace text_test
