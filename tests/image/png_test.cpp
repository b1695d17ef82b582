// PNG: files of every colour type made by netpbm and ImageMagick against pngtopam, interlaced
// against their plain twins, damaged data, and the writer checked by pngcheck and pngtopam.
#include <gtest/gtest.h>

#include "base/error_codes.h"
#include "image/image_test_util.h"
#include "image/png_codec.h"
#include "platform/os_alloc.h"

namespace png_test {

using namespace imgtest;

namespace {

struct PngResult {
    int rc = -1;
    int alpha = -1;
    Picture picture;
};

PngResult LoadPngFile(const std::string& path, int infoOnly = 0) {
    PngResult r;
    qzVfsFile* file = OpenRead(path);
    if (!file) return r;
    uint32_t* pixels = nullptr;
    int width = 0, height = 0;
    LoadPNG(file, infoOnly, &width, &height, &pixels, &r.alpha, &r.rc);
    VfsClose(file);
    r.picture.width = width;
    r.picture.height = height;
    if (r.rc == 0 && pixels) r.picture = FromWords(pixels, width, height);
    OsFree(pixels);
    return r;
}

// A picture whose alpha runs from 0 to 255 across it, as a PAM file.
std::string PamWithAlpha(const Picture& p) {
    std::string out = "P7\nWIDTH " + std::to_string(p.width) + "\nHEIGHT " + std::to_string(p.height) +
                      "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            uint32_t c = p.At(x, y);
            out += static_cast<char>(c >> 16 & 0xFF);
            out += static_cast<char>(c >> 8 & 0xFF);
            out += static_cast<char>(c & 0xFF);
            out += static_cast<char>(x * 255 / (p.width - 1));
        }
    }
    return out;
}

}  // namespace

TEST(PngRead, ColourTypesMatchPngtopam) {
    TempDir dir;
    Picture source = TestPattern(33, 17, 21);
    WriteFile(dir / "src.ppm", PpmBytes(source));
    WriteFile(dir / "alpha.pam", PamWithAlpha(source));
    // Few colours, red among them, for palette files.
    Picture few = source;
    const uint32_t colours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0x808080, 0x123456};
    for (size_t i = 0; i < few.pixels.size(); ++i) few.pixels[i] = colours[i * 7 / 5 % 5];
    WriteFile(dir / "few.ppm", PpmBytes(few));
    // A 16-bit grey ramp whose high and low bytes differ.
    std::string grey16 = "P5\n33 17\n65535\n";
    for (int i = 0; i < 33 * 17; ++i) {
        grey16 += static_cast<char>(i * 7 & 0xFF);
        grey16 += static_cast<char>(0x5A);
    }
    WriteFile(dir / "grey16.pgm", grey16);
    const std::string src = "'" + (dir / "src.ppm") + "'";
    struct Case {
        const char* what;
        std::string make;
        int alpha;
    };
    std::vector<Case> cases = {
        {"RGB", "pnmtopng " + src, 0},
        {"RGBA", "pamtopng '" + (dir / "alpha.pam") + "'", 1},
        {"palette", "pnmquant 40 " + src + " | pnmtopng", 0},
        {"palette with tRNS", "pnmtopng -transparent =#ff0000 '" + (dir / "few.ppm") + "'", 1},
        {"16-bit grey", "pnmtopng '" + (dir / "grey16.pgm") + "'", 0},
        {"1-bit grey", "ppmtopgm " + src + " | pgmtopbm | pnmtopng", 0},
        {"grey with alpha", "convert '" + (dir / "alpha.pam") + "' -colorspace Gray png:-", 1},
        {"RGB interlaced", "pnmtopng -interlace " + src, 0},
        {"RGBA interlaced", "pamtopng -interlace '" + (dir / "alpha.pam") + "'", 1},
    };
    for (const Case& c : cases) {
        std::string path = dir / "pic.png";
        Shell("(" + c.make + ") > '" + path + "' 2>/dev/null");
        PngResult ours = LoadPngFile(path);
        ASSERT_EQ(ours.rc, 0) << c.what;
        EXPECT_EQ(ours.alpha, c.alpha) << c.what;
        Picture theirs =
            RunNetpbm("pngtopam " + std::string(c.alpha ? "-alphapam " : "") + "'" + path + "' 2>/dev/null");
        EXPECT_EQ(MaxChannelDiff(ours.picture, theirs, c.alpha != 0), 0) << c.what;
        if (!c.alpha) {
            for (uint32_t px : ours.picture.pixels) ASSERT_EQ(px >> 24, 0u) << c.what;
        }
        PngResult info = LoadPngFile(path, 1);
        EXPECT_EQ(info.rc, 0);
        EXPECT_EQ(info.alpha, c.alpha) << c.what;
        EXPECT_EQ(info.picture.width, 33);
        EXPECT_EQ(info.picture.height, 17);
    }
    // The 16-bit grey keeps the high bytes, equal in all three channels.
    Shell("pnmtopng '" + (dir / "grey16.pgm") + "' > '" + (dir / "g.png") + "'");
    PngResult grey = LoadPngFile(dir / "g.png");
    ASSERT_EQ(grey.rc, 0);
    EXPECT_EQ(grey.picture.At(3, 0), 0x151515u);

    // An interlaced file decodes to its plain twin's pixels.
    Shell("pnmtopng " + src + " > '" + (dir / "plain.png") + "'");
    Shell("pnmtopng -interlace " + src + " > '" + (dir / "laced.png") + "'");
    EXPECT_EQ(LoadPngFile(dir / "laced.png").picture.pixels, LoadPngFile(dir / "plain.png").picture.pixels);
    EXPECT_EQ(LoadPngFile(dir / "plain.png").picture.pixels, source.pixels);
}

TEST(PngRead, DamagedDataFails) {
    TempDir dir;
    WriteFile(dir / "src.ppm", PpmBytes(TestPattern(64, 64, 3)));
    std::string full = Shell("pnmtopng '" + (dir / "src.ppm") + "'");
    size_t idat = full.find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    struct Case {
        const char* what;
        std::string bytes;
    };
    std::string badCrc = full;
    badCrc[idat + 10] ^= 0x55;
    std::vector<Case> cases = {
        {"ends inside the image data", full.substr(0, idat + 200)},
        {"ends after the header", full.substr(0, 40)},
        {"empty", ""},
        {"not a PNG", "GIF89a and then some"},
        {"damaged image data", badCrc},
    };
    for (const Case& c : cases) {
        WriteFile(dir / "bad.png", c.bytes);
        PngResult r = LoadPngFile(dir / "bad.png");
        EXPECT_EQ(r.rc, ERR_LOADPICTURE2) << c.what;
        EXPECT_TRUE(r.picture.pixels.empty()) << c.what;
    }
}

TEST(PngWrite, PngcheckAndPngtopamReadItBack) {
    TempDir dir;
    Picture source = TestPattern(29, 11, 8);
    for (size_t i = 0; i < source.pixels.size(); ++i) source.pixels[i] |= static_cast<uint32_t>(i * 37 & 0xFF) << 24;
    for (int alpha : {1, 0}) {
        std::string path = dir / (alpha ? "rgba.png" : "rgb.png");
        qzPngSaveRequest request = {path.c_str(), source.pixels.data(), 29 * 4, 29, 11, alpha, -1};
        SavePNG(&request);
        ASSERT_EQ(request.error, 0);
        std::string check = Shell("pngcheck -v '" + path + "' 2>&1");
        EXPECT_NE(check.find(alpha ? "RGB+alpha" : "RGB, non-interlaced"), std::string::npos) << check;
        EXPECT_NE(check.find("No errors detected"), std::string::npos) << check;
        Picture theirs = RunNetpbm("pngtopam " + std::string(alpha ? "-alphapam " : "") + "'" + path + "'");
        Picture expected = source;
        if (!alpha) {
            for (uint32_t& c : expected.pixels) c &= 0xFFFFFF;
        }
        EXPECT_EQ(MaxChannelDiff(theirs, expected, alpha != 0), 0);
        PngResult back = LoadPngFile(path);
        ASSERT_EQ(back.rc, 0);
        EXPECT_EQ(back.picture.pixels, expected.pixels);
    }

    // A stride wider than the row.
    std::vector<uint32_t> wide(static_cast<size_t>(40) * 11, 0xFFFFFFFF);
    for (int y = 0; y < 11; ++y)
        std::copy(source.pixels.begin() + y * 29, source.pixels.begin() + (y + 1) * 29, wide.begin() + y * 40);
    qzPngSaveRequest strided = {(dir / "strided.png").c_str(), wide.data(), 40 * 4, 29, 11, 1, -1};
    std::string stridedPath = dir / "strided.png";
    strided.name = stridedPath.c_str();
    SavePNG(&strided);
    ASSERT_EQ(strided.error, 0);
    EXPECT_EQ(LoadPngFile(stridedPath).picture.pixels, source.pixels);
}

TEST(PngWrite, FailedSaveKeepsTheOldFile) {
    TempDir dir;
    Picture p = TestPattern(8, 8);
    std::string missing = dir / "none/x.png";
    qzPngSaveRequest request = {missing.c_str(), p.pixels.data(), 32, 8, 8, 0, -1};
    SavePNG(&request);
    EXPECT_EQ(request.error, ERR_WRITEFILE);
    // Too wide for the library's limits: nothing replaces the existing file.
    std::string target = dir / "keep.png";
    WriteFile(target, "old contents");
    std::vector<uint32_t> row(2000001, 0);
    qzPngSaveRequest huge = {target.c_str(), row.data(), 2000001 * 4, 2000001, 1, 0, -1};
    SavePNG(&huge);
    EXPECT_EQ(huge.error, ERR_MEM);
    EXPECT_EQ(ReadFile(target), "old contents");
    EXPECT_EQ(Shell("ls -A '" + dir.path() + "'"), "keep.png\n");
}

}  // namespace png_test
