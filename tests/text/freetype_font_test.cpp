// The FreeType engine: the embedded faces, faces found in font folders by their name tables
// (checked with fontTools, also in a collection fontTools builds), sizing, measuring against
// ImageMagick's label:, kerning against the fonts' kerning tables, styles and the glyph cache.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "font_test_util.h"
#include "platform/vfs.h"
#include "text/font_files.h"
#include "text/freetype_font.h"

namespace freetype_font_test {

using namespace fonttest;

namespace {

const char* kPython = "/usr/bin/python3";

std::string Python(const std::string& program) {
    TempDir dir;
    std::ofstream(dir / "p.py") << program;
    return RunShell(std::string(kPython) + " " + (dir / "p.py") + " 2>&1");
}

qzFont* OpenFreeType(const std::string& name, int size, int cache = 1) {
    qzFont* font = nullptr;
    EXPECT_EQ(FontEngineOpen(name.c_str(), size, FONTENGINE_INBUILT, cache, 0, &font), 0) << name;
    return font;
}

qzTextExtents Measure(qzFont* font, const std::string& text, int style = 0, int encoding = ENCODING_ISO8859_1) {
    qzTextExtents e{};
    EXPECT_EQ(FontEngineTextExtent(font, text.data(), text.size(), style, encoding, &e), 0);
    return e;
}

}  // namespace

TEST(FreeTypeFont, EmbeddedFacesOpenWithoutFontFolders) {
    FontSystem system;
    const struct {
        const char* asked;
        const char* name;
    } rows[] = {
        {"bitstream vera sans mono", "Bitstream Vera Sans Mono"},
        {"Bitstream Vera Sans", "Bitstream Vera Sans"},
        {"BITSTREAM VERA SERIF", "Bitstream Vera Serif"},
    };
    for (const auto& r : rows) {
        qzFont* font = OpenFreeType(r.asked, 20);
        ASSERT_NE(font, nullptr);
        EXPECT_STREQ(font->name, r.name);
        EXPECT_EQ(font->kind, FONTKIND_FREETYPE);
        EXPECT_EQ(font->height, 20);
        EXPECT_EQ(font->antialias, 1);
        EXPECT_GT(font->baseline, 10);
        EXPECT_LT(font->baseline, 20);
        // The tallest glyphs fill the size: "Å" and "g" together span about the font's height.
        qzTextExtents e = Measure(font, "\xC5g", FONTSTYLE_ANTIALIAS);
        EXPECT_NEAR(e.maxy - e.miny, 20, 3) << r.asked;
        FontEngineClose(font);
    }
    // Engine 4 tries no bitmap font; engine 0 tries no FreeType face.
    qzFont* font = nullptr;
    EXPECT_EQ(FontEngineOpen("topaz", 8, FONTENGINE_INBUILT, 1, 0, &font), ERR_OPENFONT);
    EXPECT_EQ(FontEngineOpen("Bitstream Vera Sans", 12, FONTENGINE_NATIVE, 1, 0, &font), ERR_OPENFONT);
    EXPECT_EQ(FontEngineOpen("Bitstream Vera Sans", 12, 7, 1, 0, &font), ERR_OPENFONT);
    EXPECT_STREQ(GetErrorArgString(), "Cannot open font Bitstream Vera Sans with size 12!");
}

TEST(FreeTypeFont, NameTablesMatchFontTools) {
    FontSystem system;
    TempDir dir;
    const char* files[] = {"Vera.ttf", "VeraBd.ttf", "VeraIt.ttf", "VeraMoBI.ttf", "VeraSe.ttf", "VeraSeBd.ttf"};
    std::string program = "from fontTools.ttLib import TTFont\n";
    for (const char* f : files)
        program +=
            "n = TTFont('" + kVeraDir + "/" + f + "')['name']\nprint(n.getDebugName(1) + '|' + n.getDebugName(2))\n";
    std::istringstream expected(Python(program));
    for (const char* f : files) {
        std::string line;
        std::getline(expected, line);
        qzVfsFile* file = VfsOpen((kVeraDir + "/" + f).c_str(), QZ_VFS_READ, nullptr);
        ASSERT_NE(file, nullptr);
        std::string family, style;
        EXPECT_EQ(ReadFontNames(file, &family, &style, 0, 0), 1);
        VfsClose(file);
        EXPECT_EQ(family + "|" + style, line) << f;
    }
}

TEST(FreeTypeFont, FolderScanCollectionsAndFirstFaceWins) {
    FontSystem system;
    TempDir one, two;
    fs::copy_file(kVeraDir + "/VeraSe.ttf", one / "serif.ttf");
    fs::copy_file(kVeraDir + "/VeraBd.ttf", one / "bold.TTF");
    fs::copy_file(kVeraDir + "/VeraBd.ttf", two / "bold.ttf");
    // A collection of two faces, built by fontTools.
    Python(
        "from fontTools.ttLib import TTFont\nfrom fontTools.ttLib.ttCollection import TTCollection\n"
        "c = TTCollection()\nc.fonts = [TTFont('" +
        kVeraDir + "/VeraMono.ttf'), TTFont('" + kVeraDir + "/VeraMoBd.ttf')]\nc.save('" + (two / "mono.ttc") + "')\n");
    ASSERT_TRUE(fs::exists(two / "mono.ttc"));
    // A collection whose face count runs beyond the file is refused.
    std::vector<uint8_t> bad = {'t', 't', 'c', 'f', 0, 1, 0, 0, 0x40, 0, 0, 0, 0, 0, 0, 12};
    WriteFile(two / "bad.ttc", bad);
    ASSERT_EQ(AddFontPath(one.path.c_str()), 0);
    ASSERT_EQ(AddFontPath(two.path.c_str()), 0);
    ScanFontDirectories();
    std::vector<std::string> names;
    for (const qzFontFileEntry& e : GetFontFileList())
        names.push_back(e.fullName + (e.path.find(one.path) == 0 ? " @1" : " @2"));
    const std::vector<std::string> expected = {
        "Bitstream Vera Sans Bold @1",       "Bitstream Vera Serif Roman @1", "Bitstream Vera Serif @1",
        "Bitstream Vera Sans Mono Roman @2", "Bitstream Vera Sans Mono @2",   "Bitstream Vera Sans Mono Bold @2",
    };
    EXPECT_EQ(names, expected);
    const qzFontFileEntry& bold = GetFontFileList()[0];
    EXPECT_EQ(bold.weight, 200);
    EXPECT_EQ(bold.slant, 0);

    // The second face of the collection opens by its full name; a plain style is left out of the
    // font's name.
    qzFont* font = OpenFreeType("Bitstream Vera Sans Mono Bold", 16);
    ASSERT_NE(font, nullptr);
    EXPECT_STREQ(font->name, "Bitstream Vera Sans Mono Bold");
    FontEngineClose(font);
    font = OpenFreeType("bitstream vera serif roman", 16);
    ASSERT_NE(font, nullptr);
    EXPECT_STREQ(font->name, "Bitstream Vera Serif");
    FontEngineClose(font);
    // A ".ttf" name is a file path, opened without the list.
    font = OpenFreeType(one / "serif.ttf", 16);
    ASSERT_NE(font, nullptr);
    FontEngineClose(font);
    // A name nobody has fails, with no fall-back to another face.
    EXPECT_EQ(FontEngineOpen("Bitstream Vera Sans Light", 16, FONTENGINE_INBUILT, 1, 0, &font), ERR_OPENFONT);
}

TEST(FreeTypeFont, ExtentsAgreeWithImageMagick) {
    FontSystem system;
    const std::string text = "Quarnelix Player";
    for (int size : {12, 24, 48}) {
        qzFont* font = OpenFreeType("Bitstream Vera Sans", size);
        ASSERT_NE(font, nullptr);
        qzTextExtents e = Measure(font, text, FONTSTYLE_ANTIALIAS);
        int ppem = GetFontFace(font)->size->metrics.y_ppem;
        std::string out = RunShell("convert -density 72 -pointsize " + std::to_string(ppem) + " -font " + kVeraDir +
                                   "/Vera.ttf label:'" + text + "' -trim -format '%w %h' info: 2>/dev/null");
        int inkWidth = 0, inkHeight = 0;
        ASSERT_EQ(std::sscanf(out.c_str(), "%d %d", &inkWidth, &inkHeight), 2) << out;
        EXPECT_NEAR(e.maxx - e.minx, inkWidth, 2 + inkWidth / 50) << "size " << size;
        EXPECT_NEAR(e.maxy - e.miny, inkHeight, 2) << "size " << size;
        FontEngineClose(font);
    }
}

TEST(FreeTypeFont, KerningPairsFromTheKerningTable) {
    FontSystem system;
    std::string pairs = Python("from fontTools.ttLib import TTFont\nf = TTFont('" + kVeraDir +
                               "/Vera.ttf')\n"
                               "names = {v: k for k, v in f.getBestCmap().items()}\nupem = f['head'].unitsPerEm\n"
                               "for (l, r), v in sorted(f['kern'].kernTables[0].kernTable.items()):\n"
                               "    if l in names and r in names and 65 <= names[l] < 123 and 65 <= names[r] < 123:\n"
                               "        print(chr(names[l]) + chr(names[r]), v, upem)\n");
    qzFont* font = OpenFreeType("Bitstream Vera Sans", 40);
    ASSERT_NE(font, nullptr);
    int em = static_cast<qzFreeTypeFace*>(font->enginedata)->empixels;
    std::istringstream in(pairs);
    std::string pair;
    int value = 0, upem = 0, checked = 0;
    while (in >> pair >> value >> upem) {
        EXPECT_EQ(FontEngineGetKerning(font, pair.c_str(), 2, ENCODING_ISO8859_1), value * em / upem) << pair;
        checked++;
    }
    EXPECT_GT(checked, 50) << pairs.substr(0, 200);
    EXPECT_EQ(FontEngineGetKerning(font, "AVA", 3, 0), 0);
    // Kerning narrows the pair's advance.
    EXPECT_LT(Measure(font, "AV").advance, Measure(font, "A").advance + Measure(font, "V").advance);
    FontEngineClose(font);
}

TEST(FreeTypeFont, SizingStylesScaleAndCache) {
    FontSystem system;
    // Tiny and odd sizes open with a pixel size of at least 1 and measure.
    for (int size : {0, 1, 2, 3, -5}) {
        qzFont* font = OpenFreeType("Bitstream Vera Sans", size);
        ASSERT_NE(font, nullptr) << size;
        EXPECT_GE(GetFontFace(font)->size->metrics.x_ppem, 1) << size;
        Measure(font, "Ag", FONTSTYLE_BOLD | FONTSTYLE_ITALIC);
        FontEngineClose(font);
    }
    qzFont* font = OpenFreeType("Bitstream Vera Sans", 10, 1);
    ASSERT_NE(font, nullptr);
    // Blanks: no box, the advance of the blanks.
    qzTextExtents blanks = Measure(font, "   ");
    EXPECT_EQ(blanks.minx, 0);
    EXPECT_EQ(blanks.miny, 0);
    EXPECT_EQ(blanks.advance, 3 * Measure(font, " ").advance);
    EXPECT_GT(blanks.advance, 0);
    // Bold widens, italic leans.
    qzTextExtents plain = Measure(font, "HHHH", FONTSTYLE_ANTIALIAS);
    EXPECT_GT(Measure(font, "HHHH", FONTSTYLE_BOLD | FONTSTYLE_ANTIALIAS).advance, plain.advance);
    EXPECT_GT(Measure(font, "HHHH", FONTSTYLE_ITALIC | FONTSTYLE_ANTIALIAS).maxx, plain.maxx);
    // A stray continuation byte makes UTF-8 text go byte by byte.
    EXPECT_EQ(Measure(font, "\x80\xC4", 0, ENCODING_UTF8).advance, Measure(font, "\x80\xC4").advance);
    EXPECT_EQ(Measure(font, "\xC3\x84", 0, ENCODING_UTF8).advance, Measure(font, "\xC4").advance);
    // Scale: height and baseline follow, the width grows.
    FontEngineSetScale(font, 2.0, 1.25);
    EXPECT_EQ(font->height, 13);
    EXPECT_GT(Measure(font, "HHHH", FONTSTYLE_ANTIALIAS).advance, plain.advance * 3 / 2);
    // Twice as wide, not more: the face's transform scales the advances once.
    EXPECT_NEAR(Measure(font, "HHHH", FONTSTYLE_ANTIALIAS).advance, plain.advance * 2, 4);
    FontEngineSetScale(font, 1.0, 1.0);
    EXPECT_EQ(font->height, 10);
    // The glyph cache keeps 1-bit and anti-aliased glyphs apart and only with the cache flag.
    auto* fr = static_cast<qzFreeTypeFace*>(font->enginedata);
    OwnedBitMap mono(BITMAP_MASK, 40, 12), aa(BITMAP_ALPHA, 40, 12);
    FontEngineRenderText(font, nullptr, mono.bitmap, 0, 0, "Hi", 2, 0, 0, nullptr, FONT_NO_COLOR);
    FontEngineRenderText(font, nullptr, aa.bitmap, 0, 0, "Hi", 2, FONTSTYLE_ANTIALIAS, 0, nullptr, FONT_NO_COLOR);
    EXPECT_TRUE(fr->glyphs[0]['H'].valid && fr->glyphs[1]['H'].valid);
    EXPECT_GT(mono.Count(), 10);
    EXPECT_GT(aa.Count(), mono.Count() / 2);
    FontEngineFlushGlyphCache(font);
    EXPECT_FALSE(fr->glyphs[0]['H'].valid);
    FontEngineClose(font);
    font = OpenFreeType("Bitstream Vera Sans", 10, 0);
    fr = static_cast<qzFreeTypeFace*>(font->enginedata);
    FontEngineRenderText(font, nullptr, mono.bitmap, 0, 0, "Hi", 2, 0, 0, nullptr, FONT_NO_COLOR);
    EXPECT_FALSE(fr->glyphs[0]['H'].valid);
    FontEngineClose(font);
}

TEST(FreeTypeFont, RendersInColourWithinTheClip) {
    FontSystem system;
    qzFont* font = OpenFreeType("Bitstream Vera Sans", 20);
    ASSERT_NE(font, nullptr);
    OwnedBitMap target(BITMAP_COLOR, 60, 24);
    target.Fill(0);
    FontEngineRenderText(font, target.bitmap, nullptr, 2, 0, "WM", 2, FONTSTYLE_ANTIALIAS, 0, nullptr, 0xFF8000);
    int full = 0, partial = 0;
    for (int y = 0; y < 24; y++)
        for (int x = 0; x < 60; x++) {
            uint32_t p = target.At(x, y);
            full += p == 0xFF8000;
            partial += p != 0 && p != 0xFF8000;
        }
    EXPECT_GT(full, 20);
    EXPECT_GT(partial, 5);
    // Half transparent: never the full colour.
    target.Fill(0);
    FontEngineRenderText(font, target.bitmap, nullptr, 2, 0, "WM", 2, 0, 0, nullptr, 0x80FF8000);
    EXPECT_GT(target.Count(0), 20);
    for (int y = 0; y < 24; y++)
        for (int x = 0; x < 60; x++) ASSERT_NE(target.At(x, y), 0xFF8000u);
    // Clip rectangle and target edges.
    target.Fill(0);
    qzFontClip clip{10, 5, 8, 6};
    FontEngineRenderText(font, target.bitmap, nullptr, -7, -9, "WMWMWMWM", 8, FONTSTYLE_ANTIALIAS, 0, &clip, 0xFFFFFF);
    for (int y = 0; y < 24; y++)
        for (int x = 0; x < 60; x++)
            if (x < 10 || x >= 18 || y < 5 || y >= 11) {
                ASSERT_EQ(target.At(x, y), 0u);
            }
    FontEngineClose(font);
}

}  // namespace freetype_font_test
