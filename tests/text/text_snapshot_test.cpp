// Anti-aliased text of the embedded Vera faces against ImageMagick rendering the same font file
// with FreeType: the ink's box and the summed coverage agree within a tolerance, plain and with an
// edge (ImageMagick's rendering dilated by the same square).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "font_test_util.h"
#include "text/text_engine.h"

namespace text_snapshot_test {

using namespace fonttest;

namespace {

struct Coverage {
    int width = 0, height = 0;
    std::vector<uint8_t> v;
    // The ink's box and the summed coverage.
    void Ink(int* w, int* h, double* sum) const {
        int x0 = width, y0 = height, x1 = -1, y1 = -1;
        *sum = 0;
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++) {
                const int c = v[(size_t)y * width + x];
                *sum += c;
                if (c > 64) x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
            }
        *w = x1 - x0 + 1;
        *h = y1 - y0 + 1;
    }
};

Coverage Ours(qzFont* font, const std::string& text, uint32_t bits, int32_t edge) {
    ResetFontStyleState();
    qzFontStyle style = *GetFontStyleState();
    style.font = font;
    style.style = bits;
    style.edgeSize = edge;
    style.edgeColor = 0xFFFFFF;
    std::vector<qzTextRun> runs(1);
    runs[0].text = text.c_str();
    runs[0].length = text.size();
    runs[0].style = style;
    EXPECT_EQ(MeasureStyledText(text.c_str(), text.size(), ENCODING_ISO8859_1, &runs[0].extents, &style), 0);
    qzTextBlock block;
    EXPECT_EQ(DrawTextRuns(runs, 0, 0, TEXT_ALIGN_LEFT, 0, &block), 0);
    Coverage c;
    c.width = block.width;
    c.height = block.height;
    EXPECT_NE(block.alpha, nullptr);
    qzLockInfo lock{};
    if (block.alpha && LockBitMapPixels(block.alpha, LOCKF_READONLY, &lock)) {
        for (int y = 0; y < c.height; y++)
            for (int x = 0; x < c.width; x++)
                c.v.push_back(((const uint8_t*)lock.pixels)[(int64_t)y * lock.rowLength + x]);
        UnlockBitMapPixels(&lock);
    }
    FreeTextBlock(&block);
    return c;
}

Coverage Magick(const std::string& file, int ppem, const std::string& text, int dilate, const TempDir& dir) {
    const std::string raw = dir / "label.gray";
    std::string command = "convert -density 72 -pointsize " + std::to_string(ppem) + " -font '" + file +
                          "' -background black -fill white label:'" + text + "' -bordercolor black -border 12";
    if (dilate) command += " -morphology Dilate Square:" + std::to_string(dilate);
    const std::string size = RunShell(command + " -format '%w %h' info: 2>/dev/null");
    Coverage c;
    if (std::sscanf(size.c_str(), "%d %d", &c.width, &c.height) != 2) return c;
    RunShell(command + " -depth 8 gray:'" + raw + "' 2>/dev/null");
    c.v = ReadFile(raw);
    if (c.v.size() != (size_t)c.width * c.height) c.width = c.height = 0;
    return c;
}

TEST(TextSnapshot, AntiAliasedTextAgreesWithImageMagick) {
    FontSystem system;
    TempDir dir;
    const struct {
        const char* family;
        const char* file;
        int size;
        int32_t edge;
    } rows[] = {
        {"Bitstream Vera Sans", "Vera.ttf", 24, 0},
        {"Bitstream Vera Serif", "VeraSe.ttf", 32, 0},
        {"Bitstream Vera Sans Mono", "VeraMono.ttf", 20, 0},
        {"Bitstream Vera Sans", "Vera.ttf", 24, 2},
    };
    const std::string text = "Quarnelix Hop";
    for (const auto& r : rows) {
        qzFont* font = nullptr;
        ASSERT_EQ(FontEngineOpen(r.family, r.size, FONTENGINE_INBUILT, 1, 0, &font), 0) << r.family;
        const uint32_t bits = FONTSTYLE_NORMAL | FONTSTYLE_ANTIALIAS | (r.edge ? FONTSTYLE_EDGE : 0);
        const Coverage ours = Ours(font, text, bits, r.edge);
        const int ppem = GetFontFace(font)->size->metrics.y_ppem;
        const Coverage theirs = Magick(kVeraDir + "/" + r.file, ppem, text, r.edge, dir);
        ASSERT_GT(theirs.width, 0) << r.file;
        int ow, oh, tw, th;
        double osum, tsum;
        ours.Ink(&ow, &oh, &osum);
        theirs.Ink(&tw, &th, &tsum);
        EXPECT_NEAR(ow, tw, 2 + tw / 50) << r.file << " edge " << r.edge;
        EXPECT_NEAR(oh, th, 2) << r.file << " edge " << r.edge;
        // The edge saturates where its window holds 2e + 1 pixels' worth of ink, so its rim is softer
        // than a grey dilation's, which takes the window's maximum.
        EXPECT_NEAR(osum, tsum, tsum * (r.edge ? 0.2 : 0.12)) << r.file << " edge " << r.edge;
        FontEngineClose(font);
    }
}

}  // namespace

}  // namespace text_snapshot_test
