// System fonts: an isolated fontconfig configuration that lists only a fixture folder; fonts
// opened by full name and from fonts linked into a container.
#include <gtest/gtest.h>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "font_test_util.h"
#include "platform/chunk_name.h"

namespace system_font_test {

using namespace fonttest;

namespace {

struct SystemFonts {
    TempDir folder;
    FontSystem system;
    SystemFonts() : system(Setup(folder)) {}
    static std::string Setup(const TempDir& dir) {
        fs::copy_file(kVeraDir + "/Vera.ttf", dir / "Vera.ttf");
        fs::copy_file(kVeraDir + "/VeraBd.ttf", dir / "VeraBd.ttf");
        return dir.path;
    }
};

qzFont* OpenSystem(const char* name, int size) {
    qzFont* font = nullptr;
    EXPECT_EQ(FontEngineOpen(name, size, FONTENGINE_NATIVE, 1, 1, &font), 0) << name;
    return font;
}

qzTextExtents Measure(qzFont* font, const std::string& text, int style = 0) {
    qzTextExtents e{};
    EXPECT_EQ(FontEngineTextExtent(font, text.data(), text.size(), style, ENCODING_ISO8859_1, &e), 0);
    return e;
}

}  // namespace

TEST(SystemFont, OpensByFullNameOnly) {
    SystemFonts fonts;
    qzFont* font = OpenSystem("Bitstream Vera Sans", 20);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->kind, FONTKIND_SYSTEM);
    EXPECT_STREQ(font->name, "Bitstream Vera Sans");
    EXPECT_EQ(IsNativeFont(font), 1);
    EXPECT_EQ(GetFontFace(font), nullptr);
    FontEngineClose(font);
    qzFont* bold = OpenSystem("bitstream vera sans bold", 20);
    ASSERT_NE(bold, nullptr);
    FontEngineClose(bold);
    // No substitute for a name the system does not have.
    for (const char* unknown : {"Bitstream Vera Sans Light", "Bitstream", "Vera", "No Such Font"}) {
        qzFont* none = nullptr;
        EXPECT_EQ(FontEngineOpen(unknown, 20, FONTENGINE_NATIVE, 1, 1, &none), ERR_OPENFONT) << unknown;
        EXPECT_EQ(none, nullptr);
    }
}

TEST(SystemFont, PixelSizeIsTheHeightOfCapitalA) {
    SystemFonts fonts;
    for (int size : {9, 12, 16, 23, 40}) {
        qzFont* font = OpenSystem("Bitstream Vera Sans", size);
        ASSERT_NE(font, nullptr);
        qzTextExtents a = Measure(font, "A", FONTSTYLE_ANTIALIAS);
        EXPECT_NEAR(a.maxy - a.miny + 1, size, 1) << size;
        EXPECT_EQ(a.maxy, -1) << size;  // "A" sits on the baseline
        // The line holds the face's ascent and descent: nothing of "Ågj" is cut.
        qzTextExtents tall = Measure(font, "\xC5gj", FONTSTYLE_ANTIALIAS);
        EXPECT_LE(-tall.miny, font->baseline) << size;
        EXPECT_LE(tall.maxy + 1, font->height - font->baseline) << size;
        FontEngineClose(font);
    }
}

TEST(SystemFont, StylesMeasureAndRender) {
    SystemFonts fonts;
    qzFont* font = OpenSystem("Bitstream Vera Sans", 16);
    ASSERT_NE(font, nullptr);
    qzTextExtents plain = Measure(font, "Hello", FONTSTYLE_ANTIALIAS);
    qzTextExtents bold = Measure(font, "Hello", FONTSTYLE_BOLD | FONTSTYLE_ANTIALIAS);
    qzTextExtents italic = Measure(font, "Hello", FONTSTYLE_ITALIC | FONTSTYLE_ANTIALIAS);
    qzTextExtents underlined = Measure(font, "Hello", FONTSTYLE_UNDERLINED);
    EXPECT_GT(bold.advance, plain.advance);  // the family's bold face
    EXPECT_GT(italic.maxx, plain.maxx);      // sheared
    EXPECT_EQ(italic.advance, plain.advance);
    EXPECT_GT(underlined.maxy, plain.maxy);
    EXPECT_EQ(underlined.minx, 0);

    OwnedBitMap mask(BITMAP_MASK, 80, 24), alpha(BITMAP_ALPHA, 80, 24), colour(BITMAP_COLOR, 80, 24);
    ASSERT_EQ(FontEngineRenderText(font, nullptr, mask.bitmap, 1, 1, "Hello", 5, 0, 0, nullptr, FONT_NO_COLOR), 0);
    ASSERT_EQ(FontEngineRenderText(font, nullptr, alpha.bitmap, 1, 1, "Hello", 5, FONTSTYLE_ANTIALIAS, 0, nullptr,
                                   FONT_NO_COLOR),
              0);
    colour.Fill(0);
    ASSERT_EQ(
        FontEngineRenderText(font, colour.bitmap, nullptr, 1, 1, "Hello", 5, FONTSTYLE_ANTIALIAS, 0, nullptr, 0x00FF00),
        0);
    EXPECT_GT(mask.Count(), 40);
    EXPECT_GE(alpha.Count(), mask.Count() * 3 / 4);
    EXPECT_EQ(colour.Count(), alpha.Count());
    // Every drawn pixel lies in the measured box, placed at the pen and the baseline.
    for (int y = 0; y < 24; y++)
        for (int x = 0; x < 80; x++)
            if (alpha.At(x, y)) {
                EXPECT_GE(x - 1, plain.minx);
                EXPECT_LE(x - 1, plain.maxx);
                EXPECT_GE(y - 1 - font->baseline, plain.miny);
                EXPECT_LE(y - 1 - font->baseline, plain.maxy);
            }

    std::string longText(16384, 'x');
    qzTextExtents e{};
    EXPECT_EQ(FontEngineTextExtent(font, longText.data(), longText.size(), 0, 0, &e), ERR_INTERNAL);
    EXPECT_EQ(FontEngineTextExtent(font, "\xC3(", 2, 0, ENCODING_UTF8, &e), ERR_TEXTCONVERT);
    EXPECT_EQ(FontEngineTextExtent(font, "\xC3\x85", 2, 0, ENCODING_UTF8, &e), 0);
    EXPECT_EQ(e.advance, Measure(font, "\xC5").advance);
    FontEngineClose(font);
}

TEST(SystemFont, LinkedFonts) {
    FontSystem system;  // no system fonts at all
    TempDir dir;
    std::vector<uint8_t> vera = ReadFile(kVeraDir + "/Vera.ttf");
    struct Case {
        const char* what;
        std::vector<uint8_t> header;
        int expected;
    };
    const Case cases[] = {
        {"system font", {0, 0, 0, 2}, 0},
        {"system font after a block", {0, 0, 0, 6, 0, 0, 0, 3, 'a', 'b', 'c'}, 0},
        {"bitmap font", {0, 0, 0, 0}, ERR_OPENFONT},
        {"block beyond the data", {0, 0, 0, 6, 0x7F, 0, 0, 0}, ERR_READ},
    };
    for (const Case& c : cases) {
        // The linked data sits inside a container, behind 100 bytes of something else.
        std::vector<uint8_t> container(100, 0xEE);
        container.insert(container.end(), c.header.begin(), c.header.end());
        container.insert(container.end(), vera.begin(), vera.end());
        WriteFile(dir / "container", container);
        char name[2048];
        MakeChunkName("font.ttf", name, sizeof name, 0, container.size() - 100, 100, (dir / "container").c_str());
        qzFont* font = nullptr;
        EXPECT_EQ(FontEngineOpen(name, 18, FONTENGINE_NATIVE, 1, 1, &font), c.expected) << c.what;
        if (font) {
            EXPECT_EQ(font->kind, FONTKIND_SYSTEM) << c.what;
            EXPECT_STREQ(font->name, "Bitstream Vera Sans") << c.what;
            EXPECT_GT(Measure(font, "Linked").advance, 30) << c.what;
            FontEngineClose(font);
        }
    }
    char name[2048];
    MakeChunkName("font.ttf", name, sizeof name, 0, 100, 0, (dir / "missing").c_str());
    qzFont* font = nullptr;
    EXPECT_EQ(FontEngineOpen(name, 18, FONTENGINE_NATIVE, 1, 1, &font), ERR_READFILE);
    WriteFile(dir / "short", {0, 0});
    MakeChunkName("font.ttf", name, sizeof name, 0, 2, 0, (dir / "short").c_str());
    EXPECT_EQ(FontEngineOpen(name, 18, FONTENGINE_NATIVE, 1, 1, &font), ERR_READ);
}

}  // namespace system_font_test
