// Formatted text: tags, words, wrapping, tabs and alignment, measured with the inbuilt 8x8 font
// (every character 8 pixels wide and 8 high).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/error_codes.h"
#include "font_test_util.h"
#include "text/formatted_text.h"

namespace formatted_text_test {

using namespace fonttest;

namespace {

qzTextStyle MakeStyle(const std::string& text, int32_t wrap = 0, int32_t align = TEXT_ALIGN_LEFT) {
    ResetFontStyleState();
    qzTextStyle ts;
    ts.style = *GetFontStyleState();
    ts.text = text;
    ts.rightMargin = wrap;
    ts.alignment = align;
    return ts;
}

TEST(FormattedText, SizesAndErrorsOfFormattingStrings) {
    FontSystem system;
    const struct {
        const char* text;
        int mode;
        int32_t wrap, align;
        int error, width, height, left, top;
    } rows[] = {
        {"abc", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_LEFT, 0, 24, 9, 0, 0},
        {"a[[b]]c", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_LEFT, 0, 40, 9, 0, 0},
        {"[B]x[/b]", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_LEFT, 0, 9, 9, 0, 0},
        {"[ i ]x[/ I ]", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_LEFT, 0, 12, 9, -1, 0},
        {"[color=$FF0000]r[color=$00FF00]g[/color]r2[/color]w", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_LEFT, 0, 40, 9, 0, 0},
        {"[shadow]x", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_LEFT, 0, 12, 13, 0, 0},
        {"[shadow=0x10, 2 , 0]x", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_LEFT, 0, 8, 11, 0, -2},
        {"[edge=$FF,8]x[/edge]", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_LEFT, 0, 24, 25, -8, -8},
        {"a]b", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_LEFT, ERR_TEXTSYNTAX, 0, 0, 0, 0},
        {"[color=1]a[/color][/color]", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_LEFT, ERR_TEXTSYNTAX, 0, 0, 0, 0},
        {"[shadow=$000000,70]x", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_LEFT, ERR_WRONGUSAGE, 0, 0, 0, 0},
        {"[edge=$FFFFFF,9]x", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_LEFT, ERR_WRONGUSAGE, 0, 0, 0, 0},
        {"[color]x", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_LEFT, ERR_TEXTARG, 0, 0, 0, 0},
        {"[colors=1]x", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_LEFT, ERR_TEXTARG, 0, 0, 0, 0},
        {"[colour=1]x", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_LEFT, ERR_UNKTEXTFMT, 0, 0, 0, 0},
        {"[bold]x", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_LEFT, ERR_UNKTEXTFMT, 0, 0, 0, 0},
        {"[shadowy]x", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_LEFT, ERR_SQBRACKETCLOSE, 0, 0, 0, 0},
        {"[/shadow=1]x", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_LEFT, ERR_SQBRACKETCLOSE, 0, 0, 0, 0},
        {"[b", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_LEFT, ERR_SQBRACKETCLOSE, 0, 0, 0, 0},
        {"[color=\"red\"]x", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_LEFT, ERR_VALUEEXPECTED, 0, 0, 0, 0},
        // Wrapping at 100: "cccc" would end at 112 and starts the second line.
        {"aaaa bbbb cccc dddd", TEXTMODE_TEXTOUT, 100, TEXT_ALIGN_LEFT, 0, 80, 17, 0, 0},
        // A word wider than the wrap width stays alone and overflows (cut to the width).
        {"a xxxxxxxxxxxxxxxxxxxx b", TEXTMODE_TEXTOUT, 100, TEXT_ALIGN_LEFT, 0, 100, 25, 0, 0},
        // TEXTOUT draws a tab as one blank; PRINT without tab stops starts a new line.
        {"a\tb", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_LEFT, 0, 24, 9, 0, 0},
        {"a\tb", TEXTMODE_PRINT, 0, TEXT_ALIGN_LEFT, 0, 8, 17, 0, 0},
        // Trailing blanks do not count for centring.
        {"ab  \ncd", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_CENTER, 0, 16, 17, 0, 0},
        {"ab  \ncd", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_LEFT, 0, 32, 17, 0, 0},
        {"", TEXTMODE_TEXTOUT, 0, TEXT_ALIGN_LEFT, 0, 1, 8, 0, 0},
    };
    for (const auto& r : rows) {
        qzTextStyle ts = MakeStyle(r.text, r.wrap, r.align);
        if (r.mode == TEXTMODE_PRINT) ts.rightMargin = 639;
        qzTextBlock block;
        qzTextLayout layout;
        const int error = RenderTextBlock(nullptr, &ts, r.mode, 0, 0, 1, &block, &layout);
        EXPECT_EQ(error, r.error) << r.text;
        if (error) continue;
        EXPECT_EQ(block.width, r.width) << r.text;
        EXPECT_EQ(block.height, r.height) << r.text;
        EXPECT_EQ(block.left, r.left) << r.text;
        EXPECT_EQ(block.top, r.top) << r.text;
    }
}

TEST(FormattedText, RunsCarryTheirStyles) {
    FontSystem system;
    qzTextStyle ts = MakeStyle("[color=$FF0000]r[color=$00FF00]g[/color]r2[/color]w [b]x[/b]y");
    qzTextLayout layout;
    ASSERT_EQ(LayoutFormattedText(nullptr, &ts, TEXTMODE_TEXTOUT, 0, 0, &layout), 0);
    const struct {
        const char* text;
        uint32_t colour, bits;
        int32_t x;
    } want[] = {
        {"r", 0xFF0000, 1, 0},   {"g", 0x00FF00, 1, 8},  {"r2", 0xFF0000, 1, 16},
        {"w ", 0xFFFFFF, 1, 32}, {"x", 0xFFFFFF, 3, 48}, {"y", 0xFFFFFF, 1, 56},
    };
    ASSERT_EQ(layout.runs.size(), std::size(want));
    for (size_t i = 0; i < layout.runs.size(); i++) {
        const qzTextRun& run = layout.runs[i];
        EXPECT_EQ(std::string(run.text, run.length), want[i].text);
        EXPECT_EQ(run.style.color, want[i].colour) << want[i].text;
        EXPECT_EQ(run.style.style, want[i].bits) << want[i].text;
        EXPECT_EQ(run.x, want[i].x) << want[i].text;
    }
    // Literal mode: single brackets are characters, doubled ones still collapse.
    ts = MakeStyle("a]b[c[[");
    ASSERT_EQ(LayoutFormattedText(nullptr, &ts, TEXTMODE_TEXTOUT, 1, 0, &layout), 0);
    ASSERT_EQ(layout.runs.size(), 1u);
    EXPECT_EQ(std::string(layout.runs[0].text, layout.runs[0].length), "a]b[c[");
}

// A rendering that records its line breaks and tab stops breaks the same way when the tables are
// followed, whatever the wrap width; tabs go to the next stop beyond the pen.
TEST(FormattedText, LayoutTablesAndTabStops) {
    FontSystem system;
    qzTextStyle ts = MakeStyle("aaaa bbbb cccc dddd eeee", 100);
    qzTextLayout layout;
    ASSERT_EQ(LayoutFormattedText(nullptr, &ts, TEXTMODE_TEXTOUT, 0, 1, &layout), 0);
    EXPECT_TRUE(ts.hasLineBreaks);
    EXPECT_EQ(ts.lineBreaks, (std::vector<int32_t>{2, 4}));
    ts.rightMargin = 1000;  // the table holds over any wrap width
    ASSERT_EQ(LayoutFormattedText(nullptr, &ts, TEXTMODE_TEXTOUT, 0, 0, &layout), 0);
    std::vector<int32_t> lineOf;
    for (const qzTextRun& run : layout.runs) lineOf.push_back(run.y / 8);
    EXPECT_EQ(lineOf, (std::vector<int32_t>{0, 1, 2}));

    qzTextStyle print = MakeStyle("a\tb\tc\td");
    print.leftMargin = 10;
    print.rightMargin = 639;
    print.cursorX = 10;
    print.tabStops[0] = 40, print.tabStops[1] = 50, print.tabCount = 2;
    ASSERT_EQ(LayoutFormattedText(nullptr, &print, TEXTMODE_PRINT, 0, 1, &layout), 0);
    EXPECT_EQ(print.tabTable, (std::vector<int32_t>{0, 1, -1}));
    ASSERT_EQ(layout.runs.size(), 4u);
    EXPECT_EQ(layout.runs[1].x, 30);  // stop 40 less the left margin
    EXPECT_EQ(layout.runs[2].x, 40);
    EXPECT_EQ(layout.runs[3].y, 8);  // no stop beyond 58: a new line
    EXPECT_EQ(layout.endX, 8);
    EXPECT_EQ(layout.endY, 8);
}

// Line positions stay exact beyond 16 bits: 5,000 lines of 8 pixels end at y 39,992.
TEST(FormattedText, TallTextKeepsItsLinePositions) {
    FontSystem system;
    std::string text;
    for (int i = 0; i < 5000; i++) text += "x\n";
    qzTextStyle ts = MakeStyle(text);
    qzTextBlock block;
    qzTextLayout layout;
    ASSERT_EQ(RenderTextBlock(nullptr, &ts, TEXTMODE_TEXTOUT, 0, 0, 1, &block, &layout), 0);
    ASSERT_EQ(layout.runs.size(), 5000u);
    EXPECT_EQ(layout.runs.back().y, 4999 * 8);
    EXPECT_EQ(block.height, 4999 * 8 + 9);
}

}  // namespace

}  // namespace formatted_text_test
