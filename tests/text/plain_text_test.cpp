// The fast route of plain text against the general route: each case is drawn once through
// DrawPlainText (falling back to the general route when it declines, as Print and TextOut do) and
// once through the general route alone, onto two displays with the same patterned background; the
// route taken is checked, and so are every pixel of the two displays, the Print cursors and the
// rectangles a double-buffered display lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../gfx/blit_test_util.h"
#include "display/display.h"
#include "gfx/bitmap_lock.h"
#include "gfx/blit_display.h"
#include "gfx/position.h"
#include "gfx/safe_blt.h"
#include "libs/text/text_lib.h"
#include "support/commands.h"
#include "text/font_cache.h"
#include "text/font_engine.h"
#include "text/plain_text.h"
#include "text/text_output.h"

namespace plain_text_test {

using namespace blittest;

namespace {

constexpr int kW = 200, kH = 64;

qzBlitDisplayInfo* current = nullptr;
void* Current() { return current; }
void Describe(void*, qzBlitDisplayInfo* out) { *out = *current; }
void Present(const qzBitMap*, int, int, void*, int, int, int, int, int, int, uint32_t, const qzBitMap*,
             const qzBitMap*) {}
const qzBlitDisplayHooks kHooks = {Current, Describe, Present};

enum FontChoice { INBUILT, SANS };
// What the text goes to: the display, the display double-buffering, or a selected brush.
enum Output { DISPLAY, DOUBLEBUFFER, BRUSH };

// A kW x kH display with a background that varies in every channel, so that a blend that differs
// by one step shows.
struct Screen {
    qzBlitDisplayInfo info;
    BitMapPtr first, second;
    qzDisplay display;
    Screen() {
        const auto back = [](int x, int y) {
            return (uint32_t)((x * 7) & 255) << 16 | (uint32_t)((y * 13) & 255) << 8 | ((x + y) * 5 & 255);
        };
        first = MakeBitMap(kW, kH, back);
        second = MakeBitMap(kW, kH, back);
        info.firstBuffer = first.get();
        info.secondBuffer = second.get();
        info.targetWidth = kW;
        info.targetHeight = kH;
        display.width = kW;
        display.height = kH;
    }
    ~Screen() { FreeRectList(&display.rectList); }
    void Use(Output output) {
        if (output == DOUBLEBUFFER) display.doubleBuffer = info.doubleBuffer = 1;
        if (output == BRUSH) info.outputKind = OUTPUT_BRUSH, info.outputBitmap = first.get();
    }
    void MakeCurrent() {
        current = &info;
        SetCurrentDisplay(&display);
    }
    std::vector<uint32_t> Pixels() const {
        BitMapLock lock(first.get(), LOCKF_READONLY);
        std::vector<uint32_t> out;
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++)
                out.push_back(static_cast<const uint32_t*>(lock.info.pixels)[(size_t)y * lock.info.rowLength + x]);
        return out;
    }
};

struct Case {
    const char* name;
    int mode;
    const char* text;
    FontChoice font;
    uint32_t style;
    int32_t x, y;        // TEXTOUT: the position; PRINT: the cursor
    int32_t wrapOrLeft;  // TEXTOUT: the wrap width; PRINT: the left margin
    int32_t right;       // PRINT: the right margin
    bool fast;
    uint32_t colour = 0xF0E0D0;
    int32_t alignment = TEXT_ALIGN_LEFT;
    int32_t encoding = ENCODING_ISO8859_1;
    Output output = DISPLAY;
};

}  // namespace

TEST(PlainText, FastRouteGivesTheGeneralRoutesPixels) {
    qztest::Commands vm{&qzTextLibrary};
    SetBlitDisplayHooks(&kHooks);
    qzFont* sans = nullptr;
    ASSERT_EQ(OpenFontWithDefaults(QZ_FONT_SANS, 16, FONTENGINE_INBUILT, 1, 0, &sans), 0);
    const uint32_t AA = FONTSTYLE_NORMAL | FONTSTYLE_ANTIALIAS, N = FONTSTYLE_NORMAL;
    const int OUT = TEXTMODE_TEXTOUT, PRINT = TEXTMODE_PRINT;
    const Case cases[] = {
        // The fast route.
        {"inbuilt TextOut", OUT, "Hello, world!", INBUILT, N, 3, 5, 0, 0, true},
        {"inbuilt lines, blank line, blanks-only line, clipped", OUT, "ab\n\ncd e\n   \nfg", INBUILT, N, -4, -3, 0, 0,
         true},
        {"anti-aliased lines whose strips share rows", OUT, "Wavy jig\ngyp Qj\nfjord", SANS, AA, 2, 1, 0, 0, true},
        {"anti-aliased text cut at the right and bottom", OUT, "Overflowing the display edge", SANS, AA, 120, 52, 0, 0,
         true},
        {"1-bit FreeType glyphs, left of the display", OUT, "Quick fox", SANS, N, -6, 20, 0, 0, true},
        {"fits its wrap width, y from a position constant", OUT, "short text", SANS, AA, 4, QZ_POSITION_BOTTOM, 150, 0,
         true},
        {"UTF-8", OUT,
         "Gr\xC3\xBC\xC3\x9F"
         "e \xE2\x82\xAC",
         SANS, AA, 10, 10, 0, 0, true, 0x00FF40, TEXT_ALIGN_LEFT, ENCODING_UTF8},
        {"Print at the cursor", PRINT, "a 1", INBUILT, N, 16, 8, 8, 150, true},
        {"Print with a line feed", PRINT, "Print me\n", SANS, AA, 30, 20, 0, kW - 1, true},
        // The general route.
        {"tags", OUT, "[b]x[/b] y", INBUILT, N, 3, 5, 0, 0, false},
        {"literal brackets", OUT, "a[[b]]c", INBUILT, N, 3, 5, 0, 0, false},
        {"tab", OUT, "a\tb", INBUILT, N, 3, 5, 0, 0, false},
        {"Print of two lines", PRINT, "two\nlines", INBUILT, N, 0, 0, 0, kW - 1, false},
        {"wider than the wrap width", OUT, "too long for it", INBUILT, N, 0, 0, 40, 0, false},
        {"Print past the right margin", PRINT, "abcdef", INBUILT, N, 20, 0, 0, 60, false},
        {"transparent colour", OUT, "see through", INBUILT, N, 3, 5, 0, 0, false, 0x80FFFFFF},
        {"bold", OUT, "bold", SANS, N | FONTSTYLE_BOLD, 3, 5, 0, 0, false},
        {"centred", OUT, "centred\nlines", INBUILT, N, 3, 5, 0, 0, false, 0xFFFFFF, TEXT_ALIGN_CENTER},
        {"x from a position constant", OUT, "centre", INBUILT, N, QZ_POSITION_CENTER, 5, 0, 0, false},
        // Outputs: a double-buffered display takes the fast route and lists the same rectangle;
        // a selected brush does not.
        {"double-buffered display", OUT, "two\nlines", SANS, AA, 3, 5, 0, 0, true, 0xF0E0D0, TEXT_ALIGN_LEFT,
         ENCODING_ISO8859_1, DOUBLEBUFFER},
        {"selected brush", OUT, "brush", INBUILT, N, 3, 5, 0, 0, false, 0xF0E0D0, TEXT_ALIGN_LEFT, ENCODING_ISO8859_1,
         BRUSH},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        qzTextStyle ts;
        ts.style = *GetFontStyleState();
        ts.style.style = c.style;
        ts.style.color = c.colour;
        ts.style.font = c.font == SANS ? sans : GetInbuiltFont();
        ts.text = c.text;
        ts.alignment = c.alignment;
        ts.encoding = c.encoding;
        if (c.mode == PRINT) {
            ts.x = QZ_POSITION_CENTER;
            ts.cursorX = c.x, ts.cursorY = c.y;
            ts.leftMargin = c.wrapOrLeft, ts.rightMargin = c.right;
        } else {
            ts.x = c.x, ts.y = c.y;
            ts.rightMargin = c.wrapOrLeft;
        }
        Screen fast, general;
        fast.Use(c.output);
        general.Use(c.output);
        fast.MakeCurrent();
        qzTextStyle fastStyle = ts;
        bool taken = false;
        ASSERT_EQ(DrawPlainText(vm.state(), &fastStyle, c.mode, nullptr, nullptr, 0, &taken), 0);
        EXPECT_EQ(taken, c.fast);
        if (!taken) {
            ASSERT_EQ(RenderFormattedText(vm.state(), &fastStyle, c.mode, 0, nullptr, nullptr, 0, nullptr), 0);
        }
        general.MakeCurrent();
        qzTextStyle generalStyle = ts;
        ASSERT_EQ(RenderFormattedText(vm.state(), &generalStyle, c.mode, 0, nullptr, nullptr, TEXTRENDER_GENERALPATH,
                                      nullptr),
                  0);
        SetCurrentDisplay(nullptr);
        const std::vector<uint32_t> a = fast.Pixels(), b = general.Pixels();
        EXPECT_NE(b, Screen().Pixels()) << "the text drew nothing";
        for (size_t i = 0; i < a.size(); i++) ASSERT_EQ(a[i], b[i]) << "at " << i % kW << "," << i / kW;
        if (c.output == DOUBLEBUFFER) {
            EXPECT_EQ(general.display.rectList.count, 1);
        }
        ASSERT_EQ(fast.display.rectList.count, general.display.rectList.count);
        for (int32_t k = 0; k < fast.display.rectList.count; k++) {
            const qzCornerRect &a = fast.display.rectList.rects[k], &b = general.display.rectList.rects[k];
            EXPECT_EQ(std::vector<int32_t>({a.x1, a.y1, a.x2, a.y2}), std::vector<int32_t>({b.x1, b.y1, b.x2, b.y2}));
        }
        EXPECT_EQ(fast.display.textCursorX, general.display.textCursorX);
        EXPECT_EQ(fast.display.textCursorY, general.display.textCursorY);
        EXPECT_EQ(fastStyle.renderedWidth, generalStyle.renderedWidth);
        EXPECT_EQ(fastStyle.renderedHeight, generalStyle.renderedHeight);
    }
    current = nullptr;
    SetBlitDisplayHooks(nullptr);
    FreeSafeBltScratch();
}

}  // namespace plain_text_test
