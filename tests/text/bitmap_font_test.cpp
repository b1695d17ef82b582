// Bitmap fonts: the inbuilt 8x8 font, and disk fonts written here in the player's format with
// glyphs taken from a PCF font of Debian's xfonts-base, checked glyph by glyph.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "base/error_arg.h"

#include "base/error_codes.h"
#include "font_test_util.h"
#include "text/bitmap_font.h"
#include "text/font_engine.h"

namespace bitmap_font_test {

using namespace fonttest;

namespace {

const char* kPcf = "/usr/share/fonts/X11/misc/6x13-ISO8859-1.pcf.gz";

// The ink columns of a glyph: first and one past the last column with a set pixel.
void InkColumns(const PcfGlyph& g, int* first, int* end) {
    int w = g.right - g.left;
    *first = w;
    *end = 0;
    for (int c = 0; c < w; c++)
        for (const auto& row : g.pixels)
            if (row[c]) {
                *first = std::min(*first, c);
                *end = std::max(*end, c + 1);
            }
    if (*first >= *end) *first = *end = 0;
}

// A proportional disk font of the codes 32..126 of the PCF font: each glyph's strip cell is its
// ink only, with the ink's left offset in charkern and the advance in charspace. The last
// entry (codes outside the range) is the glyph of '?'.
DiskFont ProportionalFont(const PcfFont& pcf, int depth = 0) {
    DiskFont f;
    f.ysize = pcf.ascent + pcf.descent;
    f.baseline = pcf.ascent;
    f.xsize = 6;
    f.flags = BITMAPFONT_PROPORTIONAL;
    f.lochar = 32;
    f.hichar = 126;
    std::vector<uint32_t> codes;
    for (uint32_t c = 32; c <= 126; c++) codes.push_back(c);
    codes.push_back('?');
    int totalBits = 0;
    for (uint32_t c : codes) {
        int first, end;
        InkColumns(pcf.glyphs.at(c), &first, &end);
        totalBits += end - first;
    }
    f.modulo = (uint32_t)((totalBits + 15) / 16 * 2);
    f.chardata.assign((size_t)f.modulo * f.ysize, 0);
    std::vector<std::vector<uint8_t>> index(f.ysize, std::vector<uint8_t>(f.modulo * 8, 0));
    int at = 0;
    for (uint32_t c : codes) {
        const PcfGlyph& g = pcf.glyphs.at(c);
        int first, end;
        InkColumns(g, &first, &end);
        f.charloc.push_back((uint32_t)at << 16 | (uint32_t)(end - first));
        f.charkern.push_back((int16_t)(g.left + first));
        f.charspace.push_back((int16_t)(g.advance - g.left - first));
        for (int r = 0; r < g.ascent + g.descent; r++) {
            int y = pcf.ascent - g.ascent + r;
            for (int col = first; col < end; col++)
                if (g.pixels[r][col]) {
                    int x = at + col - first;
                    f.chardata[(size_t)y * f.modulo + x / 8] |= (uint8_t)(0x80 >> (x % 8));
                    index[y][x] = (uint8_t)(1 + x % 3);
                }
        }
        at += end - first;
    }
    if (depth) {
        f.style = BITMAPFONT_STYLE_COLOR;
        f.depth = depth;
        f.colors = {0x000, 0xF00, 0x0F0, 0x00F};
        for (int p = 0; p < depth; p++) {
            std::vector<uint8_t> plane((size_t)f.modulo * f.ysize, 0);
            for (uint32_t y = 0; y < f.ysize; y++)
                for (uint32_t x = 0; x < f.modulo * 8; x++)
                    if ((index[y][x] >> p) & 1) plane[y * f.modulo + x / 8] |= (uint8_t)(0x80 >> (x % 8));
            f.planes.push_back(plane);
        }
    }
    return f;
}

void WriteFont(const TempDir& dir, const std::string& name, const DiskFont& font, int size) {
    fs::create_directories(dir / name);
    WriteFile(dir / (name + "/" + std::to_string(size)), WriteDiskFontFile(font));
    WriteFile(dir / (name + ".font"),
              WriteContentsFile(0x0F00, {{"::incomplete", size}, {name + "/" + std::to_string(size), size}}));
}

qzFont* Load(const TempDir& dir, const std::string& name, int size) {
    auto* font = static_cast<qzFont*>(calloc(1, sizeof(qzFont)));
    if (!LoadDiskFont((dir / name).c_str(), size, font, name.c_str())) {
        free(font);
        return nullptr;
    }
    return font;
}

void Close(qzFont* font) {
    if (font) {
        CloseBitmapFont(font);
        free(font);
    }
}

}  // namespace

TEST(InbuiltFont, RecordMeasureAndOutOfRangeCodes) {
    FontSystem system;
    qzFont* topaz = nullptr;
    ASSERT_EQ(FontEngineOpen("TOPAZ", 8, FONTENGINE_NATIVE, 1, 0, &topaz), 0);
    EXPECT_EQ(topaz, system.topaz);
    EXPECT_STREQ(topaz->name, "topaz");
    EXPECT_EQ(topaz->kind, FONTKIND_BITMAP);
    EXPECT_EQ(topaz->height, 8);
    EXPECT_EQ(topaz->baseline, 6);
    auto* bf = static_cast<qzBitmapFont*>(topaz->enginedata);
    EXPECT_EQ(bf->nchars, 225u);
    EXPECT_EQ(bf->modulo, 188u);

    qzTextExtents e{};
    ASSERT_EQ(FontEngineTextExtent(nullptr, "AB", 2, 0, ENCODING_ISO8859_1, &e), 0);
    EXPECT_EQ(e.advance, 16);
    EXPECT_EQ(e.minx, 0);
    EXPECT_EQ(e.maxx, 15);
    EXPECT_EQ(e.miny, -6);
    EXPECT_EQ(e.maxy, 1);

    // Every code from 32 to 255 has a glyph of its own within its 8-pixel cell; a code below 32
    // draws the glyph for codes out of range.
    auto draw = [](const std::string& text) {
        OwnedBitMap mask(BITMAP_MASK, 16, 8);
        FontEngineRenderText(nullptr, nullptr, mask.bitmap, 0, 0, text.data(), text.size(), 0, 0, nullptr,
                             FONT_NO_COLOR);
        std::string bits;
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 16; x++) bits += mask.At(x, y) ? '#' : '.';
        return bits;
    };
    EXPECT_EQ(draw("\x01"), draw(std::string(1, '\x1f')));
    EXPECT_NE(draw("A"), draw("B"));
    EXPECT_NE(draw("\xe9"), draw("e"));
    EXPECT_EQ(draw(" "), std::string(128, '.'));

    // Closing the inbuilt font leaves it usable.
    FontEngineClose(topaz);
    ASSERT_EQ(FontEngineTextExtent(topaz, "A", 1, 0, 0, &e), 0);
    EXPECT_EQ(e.advance, 8);
}

TEST(DiskFont, ProportionalGlyphsMatchTheirSource) {
    FontSystem system;
    TempDir dir;
    PcfFont pcf = ReadPcf(kPcf);
    ASSERT_GT(pcf.glyphs.size(), 150u);
    DiskFont source = ProportionalFont(pcf);
    WriteFont(dir, "fixed", source, 13);
    qzFont* font = Load(dir, "fixed", 13);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->kind, FONTKIND_BITMAP);
    EXPECT_EQ(font->height, pcf.ascent + pcf.descent);
    EXPECT_EQ(font->baseline, pcf.ascent);

    for (uint32_t c = 33; c <= 126; c++) {
        const PcfGlyph& g = pcf.glyphs.at(c);
        OwnedBitMap mask(BITMAP_MASK, 24, font->height);
        char text = (char)c;
        RenderBitmapFontText(font, nullptr, mask.bitmap, 4, 0, &text, 1, 0, 0, nullptr, FONT_NO_COLOR);
        int expected = 0;
        for (int r = 0; r < g.ascent + g.descent; r++)
            for (int col = 0; col < g.right - g.left; col++) {
                int y = pcf.ascent - g.ascent + r, x = 4 + g.left + col;
                expected += g.pixels[r][col];
                ASSERT_EQ(mask.At(x, y), (uint32_t)g.pixels[r][col]) << "code " << c << " at " << x << "," << y;
            }
        EXPECT_EQ(mask.Count(), expected) << "code " << c;
        qzTextExtents e{};
        BitmapTextExtent(font, &text, 1, 0, 0, &e);
        EXPECT_EQ(e.advance, g.advance) << "code " << c;
    }
    // A code above hichar draws the last entry ('?').
    OwnedBitMap a(BITMAP_MASK, 24, font->height), b(BITMAP_MASK, 24, font->height);
    RenderBitmapFontText(font, nullptr, a.bitmap, 0, 0, "\xC8", 1, 0, 0, nullptr, FONT_NO_COLOR);
    RenderBitmapFontText(font, nullptr, b.bitmap, 0, 0, "?", 1, 0, 0, nullptr, FONT_NO_COLOR);
    for (int y = 0; y < font->height; y++)
        for (int x = 0; x < 24; x++) ASSERT_EQ(a.At(x, y), b.At(x, y));

    // The box of a string walks kern, width and space; with the kerning table dropped the
    // font still measures, kerning taken as 0.
    qzTextExtents e{};
    BitmapTextExtent(font, "Hi!", 3, 0, 0, &e);
    EXPECT_EQ(e.advance, 18);
    EXPECT_EQ(e.miny, -pcf.ascent);
    EXPECT_EQ(e.maxy, pcf.descent - 1);
    Close(font);
    DiskFont noKern = source;
    noKern.charkern.clear();
    WriteFont(dir, "nokern", noKern, 13);
    font = Load(dir, "nokern", 13);
    ASSERT_NE(font, nullptr);
    BitmapTextExtent(font, "Hi", 2, 0, 0, &e);
    int first, end;
    InkColumns(pcf.glyphs.at('H'), &first, &end);
    int h = pcf.glyphs.at('H').advance - first;
    InkColumns(pcf.glyphs.at('i'), &first, &end);
    EXPECT_EQ(e.advance, h + pcf.glyphs.at('i').advance - first);
    Close(font);
}

TEST(DiskFont, ColourFontDrawsItsColoursAndClipsToTheTarget) {
    FontSystem system;
    TempDir dir;
    PcfFont pcf = ReadPcf(kPcf);
    WriteFont(dir, "colour", ProportionalFont(pcf, 2), 13);
    qzFont* font = Load(dir, "colour", 13);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->kind, FONTKIND_COLOR);
    ASSERT_NE(font->glyphbuffer, nullptr);
    static const uint32_t kColours[] = {0, 0xFF0000, 0x00FF00, 0x0000FF};

    const PcfGlyph& g = pcf.glyphs.at('W');
    OwnedBitMap target(BITMAP_COLOR, 20, 16);
    target.Fill(0x808080);
    RenderBitmapFontText(font, target.bitmap, nullptr, 2, 1, "W", 1, 0, 0, nullptr, 0x123456);
    int first, end;
    InkColumns(g, &first, &end);
    // Strip x of the glyph's first ink column, for the colour index the fixture gave it.
    uint32_t stripX = static_cast<qzBitmapFont*>(font->enginedata)->charloc['W' - 32] >> 16;
    for (int r = 0; r < g.ascent + g.descent; r++)
        for (int col = 0; col < g.right - g.left; col++) {
            int x = 2 + g.left + col, y = 1 + pcf.ascent - g.ascent + r;
            uint32_t want = g.pixels[r][col] ? kColours[1 + (stripX + col - first) % 3] : 0x808080;
            ASSERT_EQ(target.At(x, y), want) << x << "," << y;
        }
    // Without a colour: the glyph's pixels go to the bitmap and its coverage to the mask.
    OwnedBitMap mask(BITMAP_MASK, 20, 16);
    RenderBitmapFontText(font, target.bitmap, mask.bitmap, 2, 1, "W", 1, 0, 0, nullptr, FONT_NO_COLOR);
    int ink = 0;
    for (const auto& row : g.pixels)
        for (uint8_t p : row) ink += p;
    EXPECT_EQ(mask.Count(), ink);

    // Text running over every edge of a small target and of the clip is cut, never written
    // outside (the sanitizers watch the writes).
    OwnedBitMap small(BITMAP_COLOR, 5, 4);
    small.Fill(0);
    RenderBitmapFontText(font, small.bitmap, nullptr, -3, -5, "WWWW", 4, 0, 0, nullptr, 0);
    RenderBitmapFontText(font, small.bitmap, nullptr, 3, 2, "WWWW", 4, 0, 0, nullptr, 0);
    qzFontClip clip{1, 1, 2, 2};
    OwnedBitMap clipped(BITMAP_COLOR, 20, 16);
    clipped.Fill(0);
    RenderBitmapFontText(font, clipped.bitmap, nullptr, -2, -3, "WWWWWWWW", 8, 0, 0, &clip, 0);
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 20; x++)
            if (x < 1 || x > 2 || y < 1 || y > 2) {
                ASSERT_EQ(clipped.At(x, y), 0u) << x << "," << y;
            }
    Close(font);

    // Through the cache: when the first display opens, the glyph bitmap and mask are made again
    // from the pixel copy, and the font draws as before.
    ASSERT_EQ(AddFontPath(dir.path.c_str()), 0);
    ASSERT_EQ(OpenFontWithDefaults("colour", 13, FONTENGINE_NATIVE, 1, 0, &font), 0);
    qzBitMap* before = font->glyphbitmap;
    EXPECT_EQ(RecreateFontBitmaps(), 0);
    EXPECT_NE(font->glyphbitmap, nullptr);
    EXPECT_NE(font->glyphmask, nullptr);
    EXPECT_EQ(font->glyphbitmap->width, before ? (int)(static_cast<qzBitmapFont*>(font->enginedata)->modulo * 8) : -1);
    OwnedBitMap again(BITMAP_MASK, 20, 16);
    FontEngineRenderText(font, nullptr, again.bitmap, 2, 1, "W", 1, 0, 0, nullptr, FONT_NO_COLOR);
    EXPECT_EQ(again.Count(), ink);
}

TEST(DiskFont, MalformedFontsAreRefused) {
    FontSystem system;
    TempDir dir;
    PcfFont pcf = ReadPcf(kPcf);
    DiskFont good = ProportionalFont(pcf);
    struct Case {
        const char* what;
        std::function<void(DiskFont&)> change;
    };
    const Case cases[] = {
        {"no glyph entries (hichar - lochar + 2 <= 0)",
         [](DiskFont& f) {
             f.lochar = 200;
             f.hichar = 100;
         }},
        {"a glyph beyond the strip", [](DiskFont& f) { f.charloc[5] = (f.modulo * 8 - 2) << 16 | 5; }},
        {"a strip longer than the file", [](DiskFont& f) { f.modulo += 4000; }},
        {"a colour index without a colour",
         [&](DiskFont& f) {
             f = ProportionalFont(pcf, 2);
             f.colorCountOverride = 3;  // index 3 is used
             f.colors.resize(3);
         }},
        {"a colour depth above 8",
         [&](DiskFont& f) {
             f = ProportionalFont(pcf, 2);
             f.depth = 9;
         }},
    };
    for (const Case& c : cases) {
        DiskFont f = good;
        c.change(f);
        WriteFont(dir, "bad", f, 13);
        qzFont* font = Load(dir, "bad", 13);
        EXPECT_EQ(font, nullptr) << c.what;
        Close(font);
    }
    // Contents files: an entry named "::incomplete" alone, a wrong id, a missing size, entries cut
    // short.
    WriteFile(dir / "bad/13", WriteDiskFontFile(good));
    const std::pair<const char*, std::vector<uint8_t>> contents[] = {
        {"incomplete only", WriteContentsFile(0x0F00, {{"::incomplete", 13}})},
        {"unknown id", WriteContentsFile(0x0F03, {{"bad/13", 13}})},
        {"no such size", WriteContentsFile(0x0F02, {{"bad/13", 12}})},
        {"cut short",
         [] {
             auto b = WriteContentsFile(0x0F00, {{"bad/13", 13}});
             b.resize(100);
             return b;
         }()},
    };
    for (const auto& [what, bytes] : contents) {
        WriteFile(dir / "bad.font", bytes);
        qzFont* font = Load(dir, "bad", 13);
        EXPECT_EQ(font, nullptr) << what;
        Close(font);
    }
    WriteFile(dir / "bad.font", WriteContentsFile(0x0F02, {{"bad/13", 13}}));
    qzFont* font = Load(dir, "bad.font", 13);
    EXPECT_NE(font, nullptr);
    Close(font);
}

TEST(DiskFont, OpenedThroughTheEngineByName) {
    FontSystem system;
    TempDir dir;
    PcfFont pcf = ReadPcf(kPcf);
    WriteFont(dir, "fixed", ProportionalFont(pcf), 13);
    ASSERT_EQ(AddFontPath(dir.path.c_str()), 0);
    qzFont* font = nullptr;
    ASSERT_EQ(OpenFontWithDefaults("fixed.font", 13, FONTENGINE_NATIVE, 1, 0, &font), 0);
    EXPECT_STREQ(font->name, "fixed");
    EXPECT_EQ(font->kind, FONTKIND_BITMAP);
    // A bitmap font ignores scaling.
    FontEngineSetScale(font, 2.0, 2.0);
    EXPECT_EQ(font->height, pcf.ascent + pcf.descent);
    EXPECT_EQ(font->scalex, 1.0);
    // "topaz" at another size than 8 is looked for as a disk font, then as a system font.
    qzFont* other = nullptr;
    EXPECT_EQ(FontEngineOpen("topaz", 9, FONTENGINE_NATIVE, 1, 0, &other), ERR_OPENFONT);
    EXPECT_STREQ(GetErrorArgString(), "Cannot open font topaz with size 9!");
    fs::create_directories(dir / "topaz");
    fs::copy_file(dir / "fixed/13", dir / "topaz/9");
    WriteFile(dir / "topaz.font", WriteContentsFile(0x0F00, {{"topaz/9", 9}}));
    ASSERT_EQ(FontEngineOpen("topaz", 9, FONTENGINE_NATIVE, 1, 0, &other), 0);
    EXPECT_NE(other, system.topaz);
    FontEngineClose(other);
}

}  // namespace bitmap_font_test
