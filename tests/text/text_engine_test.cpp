// The text engine: measuring styled slices and drawing runs, checked pixel for pixel with the
// inbuilt 8x8 font (its plain glyphs, as the font engine draws them, are the reference for the
// emulated styles, the edge and the shadow).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "font_test_util.h"
#include "text/text_engine.h"

namespace text_engine_test {

using namespace fonttest;

namespace {

qzFontStyle Style(uint32_t bits) {
    ResetFontStyleState();
    qzFontStyle s = *GetFontStyleState();
    s.style = bits;
    return s;
}

qzTextRun MakeRun(const char* text, const qzFontStyle& style, int32_t x = 0, int32_t y = 0) {
    qzTextRun run{};
    run.text = text;
    run.length = std::strlen(text);
    run.x = x;
    run.y = y;
    run.style = style;
    EXPECT_EQ(MeasureStyledText(text, run.length, ENCODING_ISO8859_1, &run.extents, &style), 0);
    return run;
}

// A block's pixels: the coverage (mask bit as 0/255, or alpha) and colour of every pixel.
struct Pixels {
    int width = 0, height = 0;
    std::vector<uint8_t> cover;
    std::vector<uint32_t> rgb;
    uint8_t C(int x, int y) const { return x < 0 || y < 0 || x >= width || y >= height ? 0 : cover[y * width + x]; }
    uint32_t P(int x, int y) const { return rgb[y * width + x]; }
};

Pixels Read(const qzTextBlock& b) {
    Pixels p;
    p.width = b.width;
    p.height = b.height;
    qzLockInfo lock{};
    const qzBitMap* plane = b.alpha ? b.alpha : b.mask;
    EXPECT_TRUE(LockBitMapPixels(plane, LOCKF_READONLY, &lock));
    for (int y = 0; y < b.height; y++)
        for (int x = 0; x < b.width; x++) {
            const uint8_t* row = (const uint8_t*)lock.pixels + (int64_t)y * lock.rowLength;
            p.cover.push_back(b.alpha ? row[x] : ((row[x >> 3] >> (7 - (x & 7))) & 1) * 255);
            p.rgb.push_back(ReadBitMapPixel(b.bitmap, x, y, 0));
        }
    UnlockBitMapPixels(&lock);
    return p;
}

Pixels Draw(std::vector<qzTextRun> runs, int32_t align = TEXT_ALIGN_LEFT, qzTextBlock* keep = nullptr) {
    qzTextBlock block;
    EXPECT_EQ(DrawTextRuns(runs, 0, 0, align, 0, &block), 0);
    Pixels p = Read(block);
    if (keep)
        *keep = block;
    else
        FreeTextBlock(&block);
    return p;
}

// The inbuilt font's glyphs of a text as the engine draws them: 8 rows of 8 pixels a character.
Pixels PlainGlyphs(const std::string& text) {
    OwnedBitMap mask(BITMAP_MASK, 8 * (int)text.size(), 8);
    EXPECT_EQ(FontEngineRenderText(nullptr, nullptr, mask.bitmap, 0, 0, text.c_str(), text.size(), FONTSTYLE_NORMAL,
                                   ENCODING_ISO8859_1, nullptr, FONT_NO_COLOR),
              0);
    Pixels p;
    p.width = 8 * (int)text.size();
    p.height = 8;
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < p.width; x++) p.cover.push_back(mask.At(x, y) ? 255 : 0);
    return p;
}

TEST(TextEngine, MeasuresEmulatedStylesEdgeAndShadow) {
    FontSystem system;
    struct {
        uint32_t bits;
        int32_t direction;
        qzTextExtents expected;  // advance, height, min x, min y, max x, max y, full width, growth t b l r
    } rows[] = {
        {FONTSTYLE_NORMAL, 3, {16, 8, 0, -6, 15, 1, 16, 0, 0, 0, 0}},
        {FONTSTYLE_NORMAL | FONTSTYLE_BOLD, 3, {16, 8, 0, -6, 16, 1, 17, 0, 0, 0, 0}},
        // Italic in a font of height 8 and baseline 6: max x + 3, min x - 1.
        {FONTSTYLE_ITALIC, 3, {16, 8, -1, -6, 18, 1, 19, 0, 0, 0, 0}},
        {FONTSTYLE_EDGE, 3, {16, 8, 0, -6, 15, 1, 16, -2, 2, -2, 2}},
        {FONTSTYLE_EDGE | FONTSTYLE_SHADOW, 3, {16, 8, 0, -6, 15, 1, 16, -2, 6, -2, 6}},
        {FONTSTYLE_SHADOW, QZ_SHDWNORTH, {16, 8, 0, -6, 15, 1, 16, -4, 0, 0, 0}},
        {FONTSTYLE_SHADOW, QZ_SHDWNORTHWEST, {16, 8, 0, -6, 15, 1, 16, -4, 0, -4, 0}},
        {FONTSTYLE_SHADOW, 9, {16, 8, 0, -6, 15, 1, 16, 0, 4, 0, 4}},
    };
    for (const auto& r : rows) {
        qzFontStyle s = Style(r.bits);
        s.shadowDirection = r.direction;
        qzTextExtents e{};
        ASSERT_EQ(MeasureStyledText("AB", 2, ENCODING_ISO8859_1, &e, &s), 0);
        EXPECT_EQ(std::memcmp(&e, &r.expected, sizeof e), 0)
            << "bits " << r.bits << ": " << e.advance << " " << e.minx << " " << e.maxx << " " << e.fullwidth << " "
            << e.topgrowth << " " << e.bottomgrowth << " " << e.leftgrowth << " " << e.rightgrowth;
    }
}

TEST(TextEngine, ClampKeepsSizesAndDirectionInRange) {
    const struct {
        int32_t shadow, edge, direction, shadowOut, edgeOut, directionOut;
    } rows[] = {
        {4, 2, 7, 4, 2, 7},
        {0, 0, 8, 1, 1, 3},
        {99, 65, -1, 64, 64, 3},
        {-5, 64, 9, 1, 64, 3},
    };
    for (const auto& r : rows) {
        qzFontStyle s{};
        s.shadowSize = r.shadow, s.edgeSize = r.edge, s.shadowDirection = r.direction;
        ClampFontStyle(&s);
        EXPECT_EQ(s.shadowSize, r.shadowOut);
        EXPECT_EQ(s.edgeSize, r.edgeOut);
        EXPECT_EQ(s.shadowDirection, r.directionOut);
    }
}

// Plain, bold, italic and underlined text of the inbuilt font against its plain glyphs.
TEST(TextEngine, EmulatedStylesOnTheInbuiltFont) {
    FontSystem system;
    const Pixels plain = PlainGlyphs("Hg");
    {
        const Pixels p = Draw({MakeRun("Hg", Style(FONTSTYLE_NORMAL))});
        ASSERT_EQ(p.width, 16);
        ASSERT_EQ(p.height, 9);
        for (int y = 0; y < 9; y++)
            for (int x = 0; x < 16; x++) {
                ASSERT_EQ(p.C(x, y), plain.C(x, y)) << x << "," << y;
                if (p.C(x, y)) {
                    EXPECT_EQ(p.P(x, y), 0xFFFFFFu);
                }
            }
    }
    {
        const Pixels p = Draw({MakeRun("Hg", Style(FONTSTYLE_BOLD))});
        ASSERT_EQ(p.width, 17);
        for (int y = 0; y < 9; y++)
            for (int x = 0; x < 17; x++) ASSERT_EQ(p.C(x, y), plain.C(x, y) | plain.C(x - 1, y)) << x << "," << y;
    }
    {
        // Baseline 6: rows 0..7 move right by 3 2 2 1 1 0 0 -1; the block starts one column left.
        const Pixels p = Draw({MakeRun("Hg", Style(FONTSTYLE_ITALIC))});
        const int shift[8] = {3, 2, 2, 1, 1, 0, 0, -1};
        ASSERT_EQ(p.width, 20);
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 20; x++) ASSERT_EQ(p.C(x, y), plain.C(x - 1 - shift[y], y)) << x << "," << y;
    }
    {
        // Height 8, baseline 6: d = 2, t = 1, the bar is row 7 across the advance.
        const Pixels p = Draw({MakeRun("Hg", Style(FONTSTYLE_UNDERLINED))});
        for (int y = 0; y < 9; y++)
            for (int x = 0; x < 16; x++) ASSERT_EQ(p.C(x, y), y == 7 ? 255 : plain.C(x, y)) << x << "," << y;
    }
}

// The edge is the glyphs grown by e in every direction in the edge colour, under the text; the
// shadow is the glyphs at the direction offset under both.
TEST(TextEngine, EdgeAndShadowInMaskMode) {
    FontSystem system;
    const Pixels plain = PlainGlyphs("o");
    qzFontStyle s = Style(FONTSTYLE_EDGE | FONTSTYLE_SHADOW);
    s.color = 0xFF0000, s.edgeColor = 0x00FF00, s.shadowColor = 0x0000FF;
    s.edgeSize = 2, s.shadowSize = 3, s.shadowDirection = QZ_SHDWSOUTHEAST;
    qzTextBlock block;
    const Pixels p = Draw({MakeRun("o", s)}, TEXT_ALIGN_LEFT, &block);
    EXPECT_EQ(block.left, -2);
    EXPECT_EQ(block.top, -2);
    ASSERT_NE(block.mask, nullptr);
    EXPECT_EQ(block.alpha, nullptr);
    FreeTextBlock(&block);
    ASSERT_EQ(p.width, 2 + 8 + 2 + 3);
    ASSERT_EQ(p.height, 2 + 8 + 2 + 3 + 1);
    auto near = [&](int gx, int gy, int e) {
        for (int dy = -e; dy <= e; dy++)
            for (int dx = -e; dx <= e; dx++)
                if (plain.C(gx + dx, gy + dy)) return true;
        return false;
    };
    for (int y = 0; y < p.height; y++)
        for (int x = 0; x < p.width; x++) {
            const int gx = x - 2, gy = y - 2;  // glyph coordinates
            uint32_t want = 0;
            if (near(gx - 3, gy - 3, 2)) want = 0x0000FF;
            if (near(gx, gy, 2)) want = 0x00FF00;
            if (plain.C(gx, gy)) want = 0xFF0000;
            ASSERT_EQ(p.C(x, y) != 0, want != 0) << x << "," << y;
            if (want) {
                ASSERT_EQ(p.P(x, y), want) << x << "," << y;
            }
        }
}

TEST(TextEngine, AlignmentShiftsLinesWithinTheWidestLine) {
    FontSystem system;
    const qzFontStyle s = Style(FONTSTYLE_NORMAL);
    // Ink widths 8 and 24: right end 7 and 23, rightmost ink 24.
    const struct {
        int32_t align, shift;
    } rows[] = {{TEXT_ALIGN_LEFT, 0}, {TEXT_ALIGN_CENTER, 8}, {TEXT_ALIGN_RIGHT, 16}};
    for (const auto& r : rows) {
        std::vector<qzTextRun> runs = {MakeRun("I", s, 0, 0), MakeRun("III", s, 0, 8)};
        qzTextBlock block;
        ASSERT_EQ(DrawTextRuns(runs, 0, 0, r.align, 1, &block), 0);
        EXPECT_EQ(runs[0].x, r.shift);
        EXPECT_EQ(runs[1].x, 0);
        EXPECT_EQ(block.width, 24);
        EXPECT_EQ(block.height, 17);
        EXPECT_EQ(block.bitmap, nullptr);
    }
    // A single line loses the start offset; several lines keep their places.
    std::vector<qzTextRun> one = {MakeRun("ab", s, 40, 0)};
    qzTextBlock block;
    ASSERT_EQ(DrawTextRuns(one, 40, 0, TEXT_ALIGN_LEFT, 1, &block), 0);
    EXPECT_EQ(one[0].x, 0);
    EXPECT_EQ(block.startOffset, 40);
    std::vector<qzTextRun> two = {MakeRun("ab", s, 40, 0), MakeRun("c", s, 0, 8)};
    ASSERT_EQ(DrawTextRuns(two, 40, 0, TEXT_ALIGN_LEFT, 1, &block), 0);
    EXPECT_EQ(two[0].x, 40);
    EXPECT_EQ(block.startOffset, 0);
}

TEST(TextEngine, TransparentColoursUseAnAlphaChannel) {
    FontSystem system;
    const struct {
        uint32_t bits, color, shadow, edge;
        bool alpha;
    } rows[] = {
        {FONTSTYLE_NORMAL, 0xFFFFFF, 0xFF000000, 0xFF000000, false},
        {FONTSTYLE_SHADOW, 0xFFFFFF, 0xFF000000, 0, true},  // even a fully transparent shadow
        {FONTSTYLE_EDGE, 0xFFFFFF, 0, 0x80000000, true},
        {FONTSTYLE_NORMAL, 0x40FFFFFF, 0, 0, true},
    };
    for (const auto& r : rows) {
        qzFontStyle s = Style(r.bits);
        s.color = r.color, s.shadowColor = r.shadow, s.edgeColor = r.edge;
        qzTextBlock block;
        const Pixels p = Draw({MakeRun("x", s)}, TEXT_ALIGN_LEFT, &block);
        EXPECT_EQ(block.alpha != nullptr, r.alpha) << r.bits;
        EXPECT_EQ(block.mask != nullptr, !r.alpha) << r.bits;
        FreeTextBlock(&block);
        if (r.color == 0x40FFFFFF) {
            int max = 0;
            for (uint8_t c : p.cover) max = std::max<int>(max, c);
            EXPECT_EQ(max, 255 - 0x40);
        }
    }
}

// Every cell whose window sum reaches 255 x (2e + 1) is opaque, for every edge size: sums of up to
// (2e+1)^2 x 255 do not fit 16 bits from e = 8 on.
TEST(TextEngine, DilationSumsDoNotWrap) {
    for (int32_t e : {1, 8, 16, 64}) {
        const int32_t w = 8, h = 2 * e + 10;
        std::vector<uint8_t> solid((size_t)w * h, 255);
        const std::vector<uint8_t> out = DilateCoverage(solid.data(), w, h, e);
        const int32_t ow = w + 2 * e;
        ASSERT_EQ(out.size(), (size_t)ow * (h + 2 * e));
        // The middle of the block: every column of the source lies inside the window.
        for (int32_t x = e; x < e + w; x++) EXPECT_EQ(out[(size_t)(h / 2 + e) * ow + x], 255) << "e " << e;
        EXPECT_EQ(out[0], 255 / (2 * e + 1)) << "e " << e;  // one source pixel in the corner's window
    }
}

}  // namespace

}  // namespace text_engine_test
