// BMP: netpbm- and ImageMagick-made files (1, 4, 8, 24 and 32 bits, V5 headers, RLE8, 16-bit
// layouts) against bmptopnm and ffmpeg, hand-made RLE8 escapes, and damaged headers.
#include <gtest/gtest.h>

#include "base/error_codes.h"
#include "image/bmp_reader.h"
#include "image/image_test_util.h"
#include "platform/os_alloc.h"

namespace bmp_test {

using namespace imgtest;

namespace {

struct BmpResult {
    int rc = -1;
    Picture picture;
};

BmpResult LoadBmpFile(const std::string& path, int infoOnly = 0) {
    BmpResult r;
    qzVfsFile* file = OpenRead(path);
    if (!file) return r;
    uint32_t* pixels = nullptr;
    int width = 0, height = 0;
    r.rc = LoadBMP(file, infoOnly, &width, &height, &pixels);
    VfsClose(file);
    r.picture.width = width;
    r.picture.height = height;
    if (r.rc == 0 && pixels) r.picture = FromWords(pixels, width, height);
    OsFree(pixels);
    return r;
}

void PutLe32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>(v >> (8 * i) & 0xFF);
}
void PutLe16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8 & 0xFF);
}

// A BMP with a 40-byte header, then the masks (bit fields) or palette, then the data.
std::string BuildBmp(int width, int height, int bits, int compression, const std::vector<uint32_t>& table,
                     const std::string& data, uint32_t coloursUsed = 0) {
    std::string extra;
    for (uint32_t v : table) PutLe32(extra, v);
    std::string s = "BM";
    uint32_t offset = 54 + static_cast<uint32_t>(extra.size());
    PutLe32(s, offset + static_cast<uint32_t>(data.size()));
    PutLe32(s, 0);
    PutLe32(s, offset);
    PutLe32(s, 40);
    PutLe32(s, static_cast<uint32_t>(width));
    PutLe32(s, static_cast<uint32_t>(height));
    PutLe16(s, 1);
    PutLe16(s, static_cast<uint32_t>(bits));
    PutLe32(s, static_cast<uint32_t>(compression));
    PutLe32(s, static_cast<uint32_t>(data.size()));
    PutLe32(s, 2835);
    PutLe32(s, 2835);
    PutLe32(s, coloursUsed);
    PutLe32(s, 0);
    return s + extra + data;
}

}  // namespace

TEST(BmpRead, ToolMadeFilesMatchBmptopnm) {
    TempDir dir;
    for (int width : {37, 3}) {
        Picture source = TestPattern(width, 9, 17);
        WriteFile(dir / "src.ppm", PpmBytes(source));
        const std::string src = "'" + (dir / "src.ppm") + "'";
        struct Case {
            const char* what;
            std::string make;
        };
        std::vector<Case> cases = {
            {"1 bit", "pnmquant 2 " + src + " | ppmtobmp -bpp 1"},
            {"4 bits", "pnmquant 16 " + src + " | ppmtobmp -bpp 4"},
            {"8 bits", "pnmquant 200 " + src + " | ppmtobmp -bpp 8"},
            {"24 bits", "ppmtobmp -bpp 24 " + src},
        };
        // ImageMagick's layouts once: row padding is covered above.
        if (width == 37) {
            cases.push_back(
                {"8 bits, V5 header", "pnmquant 200 " + src + " | convert ppm:- -type Palette -compress None bmp:-"});
            cases.push_back(
                {"8 bits, V5 header, RLE8", "pnmquant 200 " + src + " | convert ppm:- -type Palette bmp:-"});
            cases.push_back(
                {"8 bits, RLE8", "pnmquant 200 " + src + " | convert ppm:- -type Palette -compress RLE bmp3:-"});
            cases.push_back({"24 bits, V5 header", "convert " + src + " -type TrueColor bmp:-"});
            cases.push_back({"32 bits", "convert " + src + " -alpha on -define bmp3:alpha=true bmp3:-"});
        }
        for (const Case& c : cases) {
            std::string path = dir / "pic.bmp";
            Shell("(" + c.make + ") > '" + path + "' 2>/dev/null");
            BmpResult ours = LoadBmpFile(path);
            ASSERT_EQ(ours.rc, 0) << c.what << " " << width;
            Picture theirs = RunNetpbm("bmptopnm '" + path + "' 2>/dev/null");
            if (theirs.pixels.empty()) theirs = FfmpegDecode(path);
            for (uint32_t& px : theirs.pixels) px &= 0xFFFFFF;
            EXPECT_EQ(MaxChannelDiff(ours.picture, theirs), 0) << c.what << " " << width;
        }
    }
}

TEST(BmpRead, SixteenBitLayouts) {
    TempDir dir;
    // Bit fields 5-6-5: pure red, green and blue; without bit fields the layout is 5-5-5.
    std::string pixels;
    for (uint32_t w : {0xF800u, 0x07E0u, 0x001Fu, 0xFFFFu}) PutLe16(pixels, w);
    WriteFile(dir / "565.bmp", BuildBmp(4, 1, 16, 3, {0xF800, 0x07E0, 0x001F}, pixels));
    BmpResult r = LoadBmpFile(dir / "565.bmp");
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.picture.pixels, (std::vector<uint32_t>{0xF80000, 0x00FC00, 0x0000F8, 0xF8FCF8}));
    pixels.clear();
    for (uint32_t w : {0x7C00u, 0x03E0u, 0x001Fu, 0x8000u}) PutLe16(pixels, w);
    WriteFile(dir / "555.bmp", BuildBmp(4, 1, 16, 0, {}, pixels));
    r = LoadBmpFile(dir / "555.bmp");
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.picture.pixels, (std::vector<uint32_t>{0xF80000, 0x00F800, 0x0000F8, 0}));

    // ImageMagick's 16-bit files against ffmpeg's decoder, up to the low bits it fills in.
    WriteFile(dir / "src.ppm", PpmBytes(TestPattern(21, 7, 2)));
    for (const char* subtype : {"RGB565", "RGB555"}) {
        std::string path = dir / "sixteen.bmp";
        Shell("convert '" + (dir / "src.ppm") + "' -define bmp:subtype=" + subtype + " '" + path + "'");
        BmpResult ours = LoadBmpFile(path);
        ASSERT_EQ(ours.rc, 0) << subtype;
        EXPECT_LE(MaxChannelDiff(ours.picture, FfmpegDecode(path)), 7) << subtype;
    }
}

TEST(BmpRead, Rle8Escapes) {
    TempDir dir;
    const std::vector<uint32_t> palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    // Row 0 (the bottom): a run of 3, an absolute run of 3 with its pad byte, end of line; then
    // end of bitmap: every other row is colour 0.
    std::string data = std::string("\x03\x01\x00\x03\x02\x03\x02\x00\x00\x00\x00\x01", 12);
    WriteFile(dir / "eob.bmp", BuildBmp(8, 3, 8, 1, palette, data));
    BmpResult r = LoadBmpFile(dir / "eob.bmp");
    ASSERT_EQ(r.rc, 0);
    std::vector<uint32_t> bottom = {0xFF0000, 0xFF0000, 0xFF0000, 0x00FF00, 0x0000FF, 0x00FF00, 0, 0};
    EXPECT_EQ(std::vector<uint32_t>(r.picture.pixels.begin() + 16, r.picture.pixels.end()), bottom);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(r.picture.pixels[i], 0u) << i;

    // A delta moves right and up; runs past the row end are dropped. ffmpeg reads it the same.
    data = std::string("\x02\x01\x00\x02\x03\x01\x02\x03\x00\x00\x0A\x02\x00\x01", 14);
    WriteFile(dir / "delta.bmp", BuildBmp(8, 3, 8, 1, palette, data, 4));
    r = LoadBmpFile(dir / "delta.bmp");
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.picture.At(0, 2), 0xFF0000u);
    EXPECT_EQ(r.picture.At(5, 1), 0x0000FFu);
    EXPECT_EQ(r.picture.At(7, 0), 0x00FF00u);
    Picture theirs = FfmpegDecode(dir / "delta.bmp");
    for (uint32_t& px : theirs.pixels) px &= 0xFFFFFF;
    EXPECT_EQ(MaxChannelDiff(r.picture, theirs), 0);

    // Data that stops early: the rest is colour 0, nothing is read past the file.
    WriteFile(dir / "short.bmp", BuildBmp(8, 3, 8, 1, palette, std::string("\x08\x03\x04", 3)));
    r = LoadBmpFile(dir / "short.bmp");
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.picture.At(0, 2), 0x0000FFu);
    EXPECT_EQ(r.picture.At(0, 1), 0u);
}

TEST(BmpRead, HeadersAndDamagedFiles) {
    TempDir dir;
    std::string row24(12, '\x40');
    std::string good = BuildBmp(3, 2, 24, 0, {}, row24 + row24);
    ASSERT_EQ(LoadBmpFile((WriteFile(dir / "good.bmp", good), dir / "good.bmp")).rc, 0);
    std::string core = "BM";
    PutLe32(core, 26 + 24);
    PutLe32(core, 0);
    PutLe32(core, 26);
    PutLe32(core, 12);
    PutLe16(core, 3);
    PutLe16(core, 2);
    PutLe16(core, 1);
    PutLe16(core, 24);
    core += row24 + row24;
    std::string topDown = good;
    topDown[22] = static_cast<char>(0xFE);
    topDown[23] = topDown[24] = topDown[25] = static_cast<char>(0xFF);
    std::string hugeClaim = BuildBmp(30000, 30000, 24, 0, {}, row24);
    struct Case {
        const char* what;
        std::string bytes;
        int rc;
    };
    std::vector<Case> cases = {
        {"one byte", "B", ERR_READ},
        {"not BM", "XM" + good.substr(2), ERR_LOADPICTURE2},
        {"header cut short", good.substr(0, 30), ERR_LOADPICTURE2},
        {"core header", core, ERR_LOADPICTURE2},
        {"top-down rows", topDown, ERR_LOADPICTURE2},
        {"rows missing", good.substr(0, good.size() - 13), ERR_LOADPICTURE2},
        {"last row without its padding", good.substr(0, good.size() - 3), 0},
        {"a huge size with no data", hugeClaim, ERR_LOADPICTURE2},
        {"2 bits", BuildBmp(3, 2, 2, 0, {0, 0xFFFFFF, 0, 0}, row24), ERR_LOADPICTURE2},
        {"RLE4", BuildBmp(3, 2, 4, 2, std::vector<uint32_t>(16, 0), "\x00\x01"), ERR_LOADPICTURE2},
        {"1000 colours used", BuildBmp(3, 2, 8, 0, std::vector<uint32_t>(256, 0x123456), row24, 1000), 0},
    };
    for (const Case& c : cases) {
        WriteFile(dir / "bad.bmp", c.bytes);
        EXPECT_EQ(LoadBmpFile(dir / "bad.bmp").rc, c.rc) << c.what;
    }
    // Information mode gives the stored size, even of a picture that does not load.
    WriteFile(dir / "top.bmp", topDown);
    BmpResult info = LoadBmpFile(dir / "top.bmp", 1);
    EXPECT_EQ(info.rc, 0);
    EXPECT_EQ(info.picture.width, 3);
    EXPECT_EQ(info.picture.height, -2);
}

}  // namespace bmp_test
