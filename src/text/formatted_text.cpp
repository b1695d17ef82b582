// Formatted text: the tag parser and the layout of words, runs and lines.
#include "text/formatted_text.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/error_codes.h"
#include "runtime/arg_check.h"
#include "text/font_engine.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

void SkipBlanks(const std::string& t, size_t* i) {
    while (*i < t.size() && IsBlank(t[*i])) (*i)++;
}

bool MatchName(const std::string& t, size_t i, const char* name) {
    const size_t n = std::strlen(name);
    if (i + n > t.size()) return false;
    for (size_t k = 0; k < n; k++)
        if (std::tolower((unsigned char)t[i + k]) != name[k]) return false;
    return true;
}

// One tag argument: "#NAME" of a numeric constant, or a number as scripts write it.
int ParseTagValue(VmState* state, const std::string& t, size_t* i, uint32_t* value) {
    if (*i >= t.size()) return ERR_SQBRACKETCLOSE;
    if (t[*i] == '"' || t[*i] == '\'') return ERR_VALUEEXPECTED;
    if (t[*i] == '#') {
        if (!state) return ERR_VALUEEXPECTED;
        size_t length = 0;
        const char* string = nullptr;
        double number = 0;
        const int error = ParseConstantName(state, t.c_str() + *i, &length, &string, &number);
        if (error) return error;
        if (string) return ERR_VALUEEXPECTED;
        *i += length;
        *value = (uint32_t)(int64_t)number;
        return 0;
    }
    bool negative = false;
    if (t[*i] == '-') negative = true, (*i)++;
    int base = 10;
    if (*i < t.size() && t[*i] == '$')
        base = 16, (*i)++;
    else if (*i < t.size() && t[*i] == '%')
        base = 2, (*i)++;
    else if (*i + 1 < t.size() && t[*i] == '0' && (t[*i + 1] == 'x' || t[*i + 1] == 'X'))
        base = 16, *i += 2;
    uint64_t v = 0;
    size_t digits = 0;
    while (*i < t.size()) {
        const int c = std::tolower((unsigned char)t[*i]);
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        if (d < 0 || d >= base) break;
        v = (v * base + d) & 0xFFFFFFFFFFull;
        digits++;
        (*i)++;
    }
    if (!digits) return ERR_VALUEEXPECTED;
    *value = negative ? (uint32_t)(0 - (uint32_t)v) : (uint32_t)v;
    return 0;
}

// Up to `most` arguments after "=", separated by ",".
int ParseTagArgs(VmState* state, const std::string& t, size_t* i, int most, uint32_t* values, int* count) {
    *count = 0;
    while (*count < most) {
        SkipBlanks(t, i);
        const int error = ParseTagValue(state, t, i, &values[*count]);
        if (error) return error;
        (*count)++;
        SkipBlanks(t, i);
        if (*i < t.size() && t[*i] == ',' && *count < most)
            (*i)++;
        else
            break;
    }
    return 0;
}

// A tag starting at t[*i] == '['; on success *i is past its "]".
int ParseTag(VmState* state, const std::string& t, size_t* i, qzFontStyle* style, std::vector<uint32_t>* colours) {
    (*i)++;
    SkipBlanks(t, i);
    bool closing = false;
    if (*i < t.size() && t[*i] == '/') {
        closing = true;
        (*i)++;
        SkipBlanks(t, i);
    }
    const char letter = *i < t.size() ? (char)std::tolower((unsigned char)t[*i]) : 0;
    const char after = *i + 1 < t.size() ? t[*i + 1] : 0;
    if (letter == 'b' || letter == 'i' || letter == 'u') {
        if (!(after == 0 || IsBlank(after) || after == ']')) return ERR_UNKTEXTFMT;
        const uint32_t bit = letter == 'b' ? FONTSTYLE_BOLD : letter == 'i' ? FONTSTYLE_ITALIC : FONTSTYLE_UNDERLINED;
        if (closing)
            style->style &= ~bit;
        else
            style->style |= bit;
        (*i)++;
    } else if (MatchName(t, *i, "color")) {
        *i += 5;
        SkipBlanks(t, i);
        if (closing) {
            if (colours->empty()) return ERR_TEXTSYNTAX;
            style->color = colours->back();
            colours->pop_back();
        } else {
            if (*i >= t.size() || t[*i] != '=') return ERR_TEXTARG;
            (*i)++;
            uint32_t value = 0;
            int count = 0;
            const int error = ParseTagArgs(state, t, i, 1, &value, &count);
            if (error) return error;
            colours->push_back(style->color);
            style->color = value;
        }
    } else if (MatchName(t, *i, "shadow") || MatchName(t, *i, "edge")) {
        const bool shadow = MatchName(t, *i, "shadow");
        *i += shadow ? 6 : 4;
        SkipBlanks(t, i);
        const uint32_t bit = shadow ? FONTSTYLE_SHADOW : FONTSTYLE_EDGE;
        if (closing) {
            style->style &= ~bit;
        } else {
            if (*i < t.size() && t[*i] == '=') {
                (*i)++;
                uint32_t v[3] = {0, 0, 0};
                int count = 0;
                const int error = ParseTagArgs(state, t, i, shadow ? 3 : 2, v, &count);
                if (error) return error;
                if (count >= 2 && ((int32_t)v[1] < 1 || (int32_t)v[1] > (shadow ? 64 : 8))) return ERR_WRONGUSAGE;
                if (shadow) {
                    if (count >= 1) style->shadowColor = v[0];
                    if (count >= 2) style->shadowSize = (int32_t)(v[1] & 255);
                    if (count >= 3) style->shadowDirection = (int32_t)(v[2] & 255);
                } else {
                    if (count >= 1) style->edgeColor = v[0];
                    if (count >= 2) style->edgeSize = (int32_t)(v[1] & 255);
                }
            }
            style->style |= bit;
        }
    } else {
        return ERR_UNKTEXTFMT;
    }
    SkipBlanks(t, i);
    if (*i >= t.size() || t[*i] != ']') return ERR_SQBRACKETCLOSE;
    (*i)++;
    return 0;
}

bool SameStyle(const qzFontStyle& a, const qzFontStyle& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

int32_t FontHeight(const qzFontStyle& s) {
    const qzFont* font = s.font ? s.font : GetInbuiltFont();
    return font ? font->height : 8;
}

// The layout state of one call.
struct Layout {
    VmState* state = nullptr;
    qzTextStyle* ts = nullptr;
    int mode = 0;
    int literal = 0;
    int record = 0;
    qzTextLayout* out = nullptr;
    qzFontStyle cur{};
    std::vector<uint32_t> colours;
    int32_t x = 0, y = 0, lineWidth = 0;
    // The pending text: bytes of `words` from pendStart, drawn from pendX in pendStyle.
    bool pending = false;
    size_t pendStart = 0;
    int32_t pendX = 0;
    qzFontStyle pendStyle{};
    size_t lineFirstRun = 0;
    int32_t wordCount = 0;
    size_t breakIndex = 0;
    size_t tabIndex = 0;

    int Measure(const char* text, size_t length, const qzFontStyle& style, qzTextExtents* e) {
        return MeasureStyledText(text, length, ts->encoding, e, &style);
    }

    // The pending text becomes a run; x moves by its advance.
    int Flush() {
        if (!pending) return 0;
        pending = false;
        const size_t length = out->words.size() - pendStart;
        if (!length) return 0;
        qzTextRun run{};
        run.text = out->words.data() + pendStart;
        run.length = length;
        run.encoding = ts->encoding;
        run.x = pendX;
        run.y = y;
        run.style = pendStyle;
        const int error = Measure(run.text, length, pendStyle, &run.extents);
        if (error) return error;
        out->runs.push_back(run);
        x = pendX + run.extents.advance;
        lineWidth = std::max(lineWidth, pendX + run.extents.fullwidth + run.extents.rightgrowth);
        return 0;
    }

    void Append(char c) {
        if (!pending) {
            pending = true;
            pendStart = out->words.size();
            pendX = x;
            pendStyle = cur;
        }
        out->words.push_back(c);
    }

    int NewLine() {
        const int error = Flush();
        y += FontHeight(cur);
        x = 0;
        lineWidth = 0;
        lineFirstRun = out->runs.size();
        return error;
    }

    // The width of the line so far including the pending text.
    int LineWidthWithPending(int32_t* width) {
        *width = lineWidth;
        if (!pending || out->words.size() == pendStart) return 0;
        qzTextExtents e{};
        const int error = Measure(out->words.data() + pendStart, out->words.size() - pendStart, pendStyle, &e);
        if (error) return error;
        *width = std::max(lineWidth, pendX + e.fullwidth + e.rightgrowth);
        return 0;
    }

    int Tab() {
        int error = Flush();
        if (error) return error;
        int32_t stop = -1;
        if (ts->hasTabTable && !record) {
            if (tabIndex < ts->tabTable.size()) stop = ts->tabTable[tabIndex++];
        } else {
            const int32_t absolute = x + ts->leftMargin;
            for (int32_t k = 0; k < ts->tabCount && k < QZ_MAX_TAB_STOPS; k++)
                if (ts->tabStops[k] > absolute) {
                    stop = k;
                    break;
                }
            if (stop >= 0 && out->wrapWidth && out->wrapWidth <= ts->tabStops[stop] - ts->leftMargin) stop = -1;
            if (record) ts->tabTable.push_back(stop);
        }
        if (stop >= 0 && stop < ts->tabCount) {
            x = ts->tabStops[stop] - ts->leftMargin;
            return 0;
        }
        return NewLine();
    }

    // One word from t[*i]: its characters and tags, then the break decision.
    int Word(size_t* i) {
        const std::string& t = ts->text;
        // What a break before this word restores.
        const size_t wordText = *i, wordBytes = out->words.size(), wordRuns = out->runs.size();
        const qzFontStyle wordStyle = cur;
        const std::vector<uint32_t> wordColours = colours;
        const bool wasPending = pending;
        const size_t wasPendStart = pendStart;
        const int32_t wasPendX = pendX, wasX = x, wasLineWidth = lineWidth;
        const qzFontStyle wasPendStyle = pendStyle;

        while (*i < t.size()) {
            const char c = t[*i];
            if (IsBlank(c) || c == '\r' || c == '\n') break;
            if (c == '[' && *i + 1 < t.size() && t[*i + 1] == '[') {
                Append('[');
                *i += 2;
            } else if (c == ']' && *i + 1 < t.size() && t[*i + 1] == ']') {
                Append(']');
                *i += 2;
            } else if (c == ']' && !literal) {
                return ERR_TEXTSYNTAX;
            } else if (c == '[' && !literal) {
                qzFontStyle next = cur;
                const int error = ParseTag(state, t, i, &next, &colours);
                if (error) return error;
                if (!SameStyle(next, cur) && pending) {
                    const int flushError = Flush();
                    if (flushError) return flushError;
                }
                cur = next;
            } else {
                Append(c);
                (*i)++;
            }
        }
        const int32_t w = wordCount++;
        int error = 0;
        bool breakHere = false;
        if (ts->hasLineBreaks && !record) {
            if (breakIndex < ts->lineBreaks.size() && ts->lineBreaks[breakIndex] == w) {
                breakHere = true;
                breakIndex++;
            }
        } else if (out->wrapWidth) {
            // The line's width only matters for wrapping.
            int32_t width = 0;
            error = LineWidthWithPending(&width);
            if (error) return error;
            breakHere = width > out->wrapWidth;
        }
        if (!breakHere) return 0;
        const bool textBefore = wordRuns > lineFirstRun || (wasPending && wordBytes > wasPendStart);
        if (!textBefore && wasX == 0) return 0;  // alone at the line start: the word stays and overflows
        if (record) ts->lineBreaks.push_back(w);
        // Undo the word, end the line before it and lay it out again at the next line's start.
        out->words.resize(wordBytes);
        out->runs.resize(wordRuns);
        cur = wordStyle;
        colours = wordColours;
        pending = wasPending;
        pendStart = wasPendStart;
        pendX = wasPendX;
        pendStyle = wasPendStyle;
        x = wasX;
        lineWidth = wasLineWidth;
        error = NewLine();
        if (error) return error;
        *i = wordText;
        wordCount--;
        const bool wasRecording = record;
        const bool hadTable = ts->hasLineBreaks;
        // The word now starts a line: no second break before it.
        ts->hasLineBreaks = false;
        const int32_t wrap = out->wrapWidth;
        out->wrapWidth = 0;
        record = 0;
        error = Word(i);
        record = wasRecording;
        ts->hasLineBreaks = hadTable;
        out->wrapWidth = wrap;
        return error;
    }

    // Trailing blanks go from the last run of each line when they would move the line.
    int Trim() {
        std::vector<qzTextRun>& runs = out->runs;
        for (size_t k = 0; k < runs.size();) {
            const bool last = k + 1 == runs.size() || runs[k + 1].y != runs[k].y;
            qzTextRun& run = runs[k];
            if (last && (ts->alignment != TEXT_ALIGN_LEFT || (run.style.style & FONTSTYLE_UNDERLINED))) {
                size_t n = run.length;
                while (n && run.text[n - 1] == ' ') n--;
                if (!n) {
                    runs.erase(runs.begin() + (ptrdiff_t)k);
                    continue;
                }
                if (n != run.length) {
                    run.length = n;
                    const int error = Measure(run.text, n, run.style, &run.extents);
                    if (error) return error;
                }
            }
            k++;
        }
        return 0;
    }

    int Run() {
        const std::string& t = ts->text;
        cur = ts->style;
        out->words.reserve(t.size() + 1);
        if (mode == TEXTMODE_PRINT) {
            out->wrapWidth = ts->rightMargin - ts->leftMargin + 1;
            out->startOffset = ts->cursorX - ts->leftMargin;
        } else {
            out->wrapWidth = ts->rightMargin;
            out->startOffset = 0;
        }
        if (record) {
            ts->lineBreaks.clear();
            ts->tabTable.clear();
        }
        x = out->startOffset;
        size_t i = 0;
        while (i < t.size()) {
            const char c = t[i];
            int error = 0;
            if (c == '\n') {
                error = NewLine();
                i++;
            } else if (c == '\r') {
                i++;
            } else if (c == '\t') {
                if (mode == TEXTMODE_PRINT)
                    error = Tab();
                else
                    Append(' ');
                i++;
            } else if (c == ' ') {
                Append(' ');
                i++;
            } else {
                error = Word(&i);
            }
            if (error) return error;
        }
        int error = Flush();
        if (error) return error;
        out->endX = x;
        out->endY = y;
        out->lineHeight = FontHeight(cur);
        if (record) ts->hasLineBreaks = ts->hasTabTable = true;
        return Trim();
    }
};

}  // namespace

int LayoutFormattedText(VmState* state, qzTextStyle* textStyle, int mode, int literal, int recordTables,
                        qzTextLayout* out) {
    *out = qzTextLayout{};
    Layout layout;
    layout.state = state;
    layout.ts = textStyle;
    layout.mode = mode;
    layout.literal = literal;
    layout.record = recordTables;
    layout.out = out;
    return layout.Run();
}

int RenderTextBlock(VmState* state, qzTextStyle* textStyle, int mode, int literal, int recordTables, int sizesOnly,
                    qzTextBlock* block, qzTextLayout* layout) {
    *block = qzTextBlock{};
    const qzFont* font = textStyle->style.font ? textStyle->style.font : GetInbuiltFont();
    if ((textStyle->style.style & FONTSTYLE_ANTIALIAS) && !(font && font->antialias)) return ERR_ANTIALIAS;
    int error = LayoutFormattedText(state, textStyle, mode, literal, recordTables, layout);
    if (error) return error;
    if (layout->runs.empty()) {
        block->width = 1;
        block->height = std::max(font ? font->height : 8, 1);
        block->startOffset = layout->endY == 0 ? layout->startOffset : 0;
        if (sizesOnly) return 0;
        block->bitmap = CreateBitMap(1, block->height, 0, nullptr);
        if (!block->bitmap) return ERR_BITMAP;
        block->mask = CreateMaskBitMap(block->bitmap, 1, block->height, 1, nullptr, 0);
        if (!block->mask) {
            FreeTextBlock(block);
            return ERR_ALLOCMASK;
        }
        return 0;
    }
    error = DrawTextRuns(layout->runs, layout->startOffset, layout->wrapWidth, textStyle->alignment, sizesOnly, block);
    if (error) FreeTextBlock(block);
    return error;
}
