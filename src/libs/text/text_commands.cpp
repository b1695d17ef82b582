// The text commands: the current style and colour, measuring, the text cursor, margins and tab
// stops of the current display, Print and TextOut.
#include <algorithm>
#include <cmath>
#include <string>

#include "base/error_codes.h"
#include "display/display.h"
#include "gfx/blit_display.h"
#include "gfx/position.h"
#include "image/draw_options.h"
#include "libs/text/text_lib.h"
#include "runtime/arg_check.h"
#include "runtime/option_table.h"
#include "text/font_engine.h"
#include "text/text_output.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

uint32_t ColourArg(VmState* state, int index) { return (uint32_t)VmNumberToInteger(VmCheckNumber(state, index)); }

// The optional encoding argument: the default encoding when absent, ERR_WRONGUSAGE above 1.
int EncodingArg(VmState* state, int index, int32_t* encoding) {
    *encoding = GetDefaultTextEncoding();
    if (VmGetTop(state) >= index) *encoding = VmCheckInteger(state, index);
    return *encoding < 0 || *encoding > 1 ? ERR_WRONGUSAGE : 0;
}

// Measures the text argument with the current style (no tags); empty text measures all 0.
int MeasureArgs(VmState* state, qzTextExtents* e) {
    VmCheckArgCount(state, 1, 2, 0, 0);
    size_t length = 0;
    const char* text = VmCheckString(state, 1, &length);
    int32_t encoding = 0;
    const int error = EncodingArg(state, 2, &encoding);
    if (error || !length) return error;
    return MeasureStyledText(text, length, encoding, e, GetFontStyleState());
}

// The current output's width, for the right margin's limit.
int32_t OutputWidth() {
    qzBlitDisplayInfo info;
    if (DescribeBlitDisplay(nullptr, &info) && info.targetWidth > 0) return info.targetWidth;
    qzDisplay* display = CurrentDisplay();
    return display ? display->width : 0;
}

// Converts every argument with the script's "tostring" and joins them with single blanks.
std::string JoinPrintArgs(VmState* state, int count) {
    std::string out;
    for (int i = 1; i <= count; i++) {
        if (i > 1) out += ' ';
        VmPushString(state, "tostring");
        VmRawGet(state, VM_GLOBALSINDEX);
        if (VmType(state, -1) != VM_TFUNCTION) {
            VmPop(state, 1);
            VmPushString(state, "ToString");
            VmRawGet(state, VM_GLOBALSINDEX);
        }
        if (VmType(state, -1) == VM_TFUNCTION) {
            VmPushValue(state, i);
            VmCall(state, 1, 1);
        } else {
            VmPop(state, 1);
            VmPushValue(state, i);
        }
        const char* text = VmToString(state, -1);
        if (text)
            out.append(text, VmStrLen(state, -1));
        else
            out += VmTypeName(state, VmType(state, i));
        VmPop(state, 1);
    }
    return out;
}

}  // namespace

int TextSetFontColor(VmState* state) {
    GetFontStyleState()->color = ColourArg(state, 1);
    return 0;
}

int TextSetFontStyle(VmState* state) {
    const int count = VmGetTop(state);
    const uint32_t bits = (uint32_t)VmNumberToInteger(VmCheckNumber(state, 1));
    qzFontStyle* style = GetFontStyleState();
    if (bits & FONTSTYLE_NORMAL) {
        style->style = FONTSTYLE_NORMAL;
        return 0;
    }
    if (bits == FONTSTYLE_SHADOW) {
        const uint32_t colour = count >= 2 ? ColourArg(state, 2) : style->shadowColor;
        const int32_t size = count >= 3 ? VmCheckInteger(state, 3) : style->shadowSize;
        const int32_t direction = count >= 4 ? VmCheckInteger(state, 4) : style->shadowDirection;
        style->shadowColor = colour, style->shadowSize = size, style->shadowDirection = direction;
    } else if (bits == FONTSTYLE_EDGE) {
        // With four arguments the extra ones are ignored.
        if (count == 2 || count == 3) style->edgeColor = ColourArg(state, 2);
        if (count == 3) style->edgeSize = VmCheckInteger(state, 3);
    } else if (count > 1) {
        return ERR_TOOMANYARGS;
    }
    style->style |= bits;
    ClampFontStyle(style);
    return 0;
}

int TextTextHeight(VmState* state) {
    const qzFontStyle* style = GetFontStyleState();
    const qzFont* font = style->font ? style->font : GetInbuiltFont();
    VmPushNumber(state, font ? font->height : 0);
    return 1;
}

int TextTextWidth(VmState* state) {
    qzTextExtents e{};
    const int error = MeasureArgs(state, &e);
    if (error) return error;
    VmPushNumber(state, e.advance);
    return 1;
}

int TextTextExtent(VmState* state) {
    qzTextExtents e{};
    const int error = MeasureArgs(state, &e);
    if (error) return error;
    VmNewTable(state);
    SetTableFieldNumber(state, "minx", e.minx + e.leftgrowth);
    SetTableFieldNumber(state, "maxx", e.maxx + e.rightgrowth);
    SetTableFieldNumber(state, "miny", e.miny + e.topgrowth);
    SetTableFieldNumber(state, "maxy", e.maxy + e.bottomgrowth);
    SetTableFieldNumber(state, "width", e.advance);
    SetTableFieldNumber(state, "height", e.height);
    return 1;
}

int TextGetKerningPair(VmState* state) {
    size_t firstLength = 0, secondLength = 0;
    const char* first = VmCheckString(state, 1, &firstLength);
    const char* second = VmCheckString(state, 2, &secondLength);
    int32_t encoding = 0;
    const int error = EncodingArg(state, 3, &encoding);
    if (error) return error;
    int kerning = 0;
    if (firstLength && secondLength) {
        const std::string pair = std::string(first, firstLength) + std::string(second, secondLength);
        const qzFontStyle* style = GetFontStyleState();
        kerning = FontEngineGetKerning(style->font, pair.c_str(), pair.size(), encoding);
    }
    VmPushNumber(state, kerning);
    return 1;
}

int TextSetDefaultEncoding(VmState* state) {
    const int32_t encoding = VmCheckInteger(state, 1);
    if (encoding < 0 || encoding > 1) return ERR_WRONGUSAGE;
    SetDefaultTextEncoding(encoding);
    return 0;
}

int TextResetTabs(VmState* state) {
    if (qzDisplay* display = CurrentDisplay()) display->textTabCount = 0;
    return 0;
}

int TextAddTab(VmState* state) {
    const int count = VmGetTop(state);
    qzDisplay* display = CurrentDisplay();
    for (int i = 1; i <= count; i++) {
        const int32_t x = VmCheckInteger(state, i);
        if (!display) continue;
        if (display->textTabCount >= QZ_MAX_TAB_STOPS) return ERR_INTERNAL;
        if (x < 0) return ERR_NEGCOORDS;
        int32_t* stops = display->textTabStops;
        const int32_t n = display->textTabCount;
        const int32_t at = (int32_t)(std::upper_bound(stops, stops + n, x) - stops);
        std::copy_backward(stops + at, stops + n, stops + n + 1);
        stops[at] = x;
        display->textTabCount = n + 1;
    }
    return 0;
}

int TextLocate(VmState* state) {
    const int32_t x = VmCheckInteger(state, 1);
    const int32_t y = VmCheckInteger(state, 2);
    if (x == QZ_POSITION_CENTER || x == QZ_POSITION_LEFT || x == QZ_POSITION_RIGHT) return ERR_NOCOORDCST;
    if (y == QZ_POSITION_CENTER || y == QZ_POSITION_TOP || y == QZ_POSITION_BOTTOM) return ERR_NOCOORDCST;
    qzDisplay* display = CurrentDisplay();
    if (!display) return 0;
    display->textCursorX = x >= display->textLeftMargin && x <= display->textRightMargin ? x : display->textLeftMargin;
    display->textCursorY = y;
    return 0;
}

int TextSetMargins(VmState* state) {
    int32_t left = VmCheckInteger(state, 1);
    int32_t right = VmCheckInteger(state, 2);
    if (left >= right) return ERR_WRONGUSAGE;
    if (left < 0) left = 0;
    const int32_t width = OutputWidth();
    if (width > 0 && right > width - 1) right = width - 1;
    qzDisplay* display = CurrentDisplay();
    if (!display) return 0;
    display->textLeftMargin = left;
    display->textRightMargin = right;
    display->textCursorX = left;
    display->textCursorY = 0;
    return 0;
}

int TextPrint(VmState* state) {
    const int count = VmGetTop(state);
    const std::string text = JoinPrintArgs(state, count);
    return PrintText(state, text.data(), text.size(), 0);
}

int TextNPrint(VmState* state) {
    const int count = VmGetTop(state);
    const std::string text = JoinPrintArgs(state, count) + "\n";
    return PrintText(state, text.data(), text.size(), 0);
}

int TextTextOut(VmState* state) {
    const int count = VmGetTop(state);
    qzTextStyle ts;
    ts.x = VmCheckInteger(state, 1);
    ts.y = VmCheckInteger(state, 2);
    size_t length = 0;
    const char* text = VmCheckString(state, 3, &length);
    ts.text.assign(text, length);
    ts.style = *GetFontStyleState();
    ts.encoding = GetDefaultTextEncoding();
    qzTransformTags transform;
    qzLayerTags tags;
    int error = 0;
    if (count >= 4 && VmType(state, 4) == VM_TTABLE) {
        int32_t value = 0;
        if (GetTableFieldInt(state, 4, "align", &value, nullptr)) ts.alignment = value;
        if (GetTableFieldInt(state, 4, "wordwrap", &value, nullptr)) ts.rightMargin = value;
        if (GetTableFieldInt(state, 4, "encoding", &value, nullptr)) ts.encoding = value;
        if (GetTableFieldInt(state, 4, "color", &value, nullptr)) ts.style.color = (uint32_t)value;
        VmPushString(state, "wordwraptable");
        VmGetTable(state, 4);
        if (VmType(state, -1) == VM_TTABLE) {
            ts.hasLineBreaks = true;
            for (int i = 0;; i++) {
                VmRawGetI(state, -1, i);
                if (VmType(state, -1) == VM_TNIL) {
                    VmPop(state, 1);
                    break;
                }
                if (i >= 32768) return ERR_INTERNAL;
                ts.lineBreaks.push_back(VmNumberToInteger(VmCheckNumber(state, VmGetTop(state))));
                VmPop(state, 1);
            }
        } else if (VmType(state, -1) != VM_TNIL) {
            return ERR_TABEXPECTED;
        }
        VmPop(state, 1);
        if (ts.rightMargin < 0 || ts.encoding < 0 || ts.encoding > 1) return ERR_WRONGUSAGE;
        // The size options refer to the text's own size at scale 1, laid out as it will be drawn:
        // with its alignment, wrap width, encoding and line-break table.
        qzTextBlock measured;
        qzTextLayout layout;
        qzTextStyle probe = ts;
        error = RenderTextBlock(state, &probe, TEXTMODE_TEXTOUT, 0, 0, 1, &measured, &layout);
        if (error) return error;
        error = ParseDrawTags(state, 4, measured.width, measured.height, 0, 0, DefaultTransformTags()->smoothscale,
                              &transform, &tags, QZ_DRAWTAGS_DEFAULTS);
        if (error) return error;
    } else {
        InitDrawTags(&transform, &tags, 0, 0, DefaultTransformTags()->smoothscale, 0);
        if (count >= 4) ts.alignment = VmCheckInteger(state, 4);
        if (count >= 5) ts.rightMargin = VmCheckInteger(state, 5);
        if (ts.rightMargin < 0) return ERR_WRONGUSAGE;
    }
    return RenderFormattedText(state, &ts, TEXTMODE_TEXTOUT, 0, &transform, &tags, 0, nullptr);
}
