// Formatted text: the description of one piece of text with inline format tags ([b], [i], [u],
// [color=c], [shadow=c,s,d], [edge=c,s] and their closing forms, [[ and ]] for literal brackets),
// and its layout into styled runs on lines: words, wrapping at a width or at recorded word
// indices, tab stops, alignment trimming. The result is drawn with DrawTextRuns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "display/display.h"
#include "text/text_engine.h"

struct VmState;

// Render modes: the object types of what the text becomes.
enum {
    TEXTMODE_TEXTOBJECT = 8,
    TEXTMODE_TEXTOUT = 9,
    TEXTMODE_PRINT = 11,
};

struct qzTextStyle {
    int32_t x = 0;  // may hold position constants; PRINT: TEXT_ALIGN_CENTER
    int32_t y = 0;
    int32_t renderedWidth = 0;
    int32_t renderedHeight = 0;
    qzFontStyle style{};
    std::string text;
    int32_t alignment = TEXT_ALIGN_LEFT;
    int32_t cursorX = 0;  // PRINT: where the text starts
    int32_t cursorY = 0;
    int32_t leftMargin = 0;   // PRINT only
    int32_t rightMargin = 0;  // PRINT: the right margin; other modes: the wrap width (0: none)
    int32_t tabStops[QZ_MAX_TAB_STOPS] = {};
    int32_t tabCount = 0;
    // The words that start each further line, and each PRINT tab's stop (-1: a new line); kept
    // when a rendering records them so that later renderings break at the same places.
    bool hasLineBreaks = false;
    std::vector<int32_t> lineBreaks;
    bool hasTabTable = false;
    std::vector<int32_t> tabTable;
    int32_t encoding = ENCODING_ISO8859_1;
};

// A laid-out text: the runs point into `words` (the text without tags), which must outlive them.
struct qzTextLayout {
    std::string words;
    std::vector<qzTextRun> runs;
    int32_t startOffset = 0;  // PRINT: the cursor's distance from the left margin
    int32_t wrapWidth = 0;
    int32_t endX = 0;  // the pen x after the last run, relative to the line start
    int32_t endY = 0;  // the sum of all line advances
    int32_t lineHeight = 0;
};

// Lays the text out. literal: single "[" and "]" are ordinary characters. recordTables: the
// line-break and tab tables are made and stored in the text style. Returns 0 or a tag error
// (ERR_TEXTSYNTAX, ERR_UNKTEXTFMT, ERR_TEXTARG, ERR_SQBRACKETCLOSE, ERR_WRONGUSAGE,
// ERR_VALUEEXPECTED) or a measuring error. state (may be null) resolves "#NAME" constants in tags.
int LayoutFormattedText(VmState* state, qzTextStyle* textStyle, int mode, int literal, int recordTables,
                        qzTextLayout* out);

// Lays out and draws the text into a block (DrawTextRuns); empty text gives a 1 x line-height
// block with a mask. ERR_ANTIALIAS when anti-aliasing is asked of a font without it.
int RenderTextBlock(VmState* state, qzTextStyle* textStyle, int mode, int literal, int recordTables, int sizesOnly,
                    qzTextBlock* block, qzTextLayout* layout);
