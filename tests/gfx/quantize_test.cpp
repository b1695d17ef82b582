#include <gtest/gtest.h>

#include <set>

#include "gfx/channel_access.h"
#include "gfx/quantize.h"
#include "image_oracle.h"
#include "platform/os_alloc.h"

namespace quantize_test {

using namespace gfxtest;

namespace {

struct Result {
    std::vector<uint8_t> indices;
    std::vector<uint32_t> palette;
    int success = 0, transparentIndex = -1;
};

Result Quantize(const void* pixels, int format, int bpp, int w, int h, int colours, int32_t transparent = -1,
                int spare = 0, int dither = 0) {
    Result r;
    r.indices.assign((size_t)w * h, 0xEE);
    r.palette.assign(256, 0xDEADBEEF);
    qzQuantJob job{pixels,           format,  bpp,         w,     h,      w, r.indices.data(),
                   r.palette.data(), colours, transparent, spare, dither, 0, 0};
    MedianCutQuantize(&job);
    r.success = job.success;
    r.transparentIndex = job.transparentIndex;
    r.palette.resize(job.success ? job.colors : 0);
    return r;
}

Result Quantize(const Picture& p, int colours, int32_t transparent = -1, int spare = 0, int dither = 0) {
    return Quantize(p.px.data(), 10, 4, p.width, p.height, colours, transparent, spare, dither);
}

// libjpeg-turbo's two-pass quantiser through djpeg: the decoded pixels, and the palette and
// indices of the colour-mapped BMP it writes.
struct Djpeg {
    Picture pixels;
    std::vector<uint32_t> palette;
    std::vector<uint8_t> indices;
};

Djpeg RunDjpeg(const Picture& p, int colours, bool dither) {
    Djpeg d;
    TempDir dir;
    WritePpm(dir.File("in.ppm"), p);
    std::string jpg = dir.File("in.jpg");
    EXPECT_EQ(Run("cjpeg -quality 92 -sample 1x1 -outfile " + jpg + " " + dir.File("in.ppm")), 0);
    EXPECT_EQ(Run("djpeg -pnm -outfile " + dir.File("dec.ppm") + " " + jpg), 0);
    d.pixels = ReadPnm(dir.File("dec.ppm"));
    std::string cmd = "djpeg -colors " + std::to_string(colours) + (dither ? " -dither fs" : " -dither none") +
                      " -bmp -outfile " + dir.File("out.bmp") + " " + jpg;
    EXPECT_EQ(Run(cmd), 0);
    std::string bmp = ReadFile(dir.File("out.bmp"));
    auto u32 = [&](size_t o) {
        return (uint32_t)(uint8_t)bmp[o] | (uint32_t)(uint8_t)bmp[o + 1] << 8 | (uint32_t)(uint8_t)bmp[o + 2] << 16 |
               (uint32_t)(uint8_t)bmp[o + 3] << 24;
    };
    if (bmp.size() < 54 || bmp[0] != 'B' || (uint8_t)bmp[28] != 8) {
        ADD_FAILURE() << "no 8-bit BMP from djpeg";
        return d;
    }
    uint32_t dataOffset = u32(10), headerSize = u32(14), width = u32(18), height = u32(22);
    uint32_t used = u32(46) ? u32(46) : 256;
    for (uint32_t i = 0; i < used; i++) {
        size_t o = 14 + headerSize + 4 * i;
        d.palette.push_back(Rgb((uint8_t)bmp[o + 2], (uint8_t)bmp[o + 1], (uint8_t)bmp[o]));
    }
    size_t rowBytes = (width + 3) & ~3u;
    for (uint32_t y = 0; y < height; y++)
        for (uint32_t x = 0; x < width; x++)
            d.indices.push_back((uint8_t)bmp[dataOffset + (height - 1 - y) * rowBytes + x]);
    return d;
}

}  // namespace

TEST(Quantize, ExactPaletteKeepsFirstAppearanceOrderAndRawValues) {
    Picture p;
    p.width = 4, p.height = 2;
    p.px = {Rgb(9, 9, 9),   Rgb(200, 0, 0), Rgb(9, 9, 9), Rgb(0, 0, 255), Rgb(200, 0, 0), 0xFF000000u | Rgb(9, 9, 9),
            Rgb(0, 0, 255), Rgb(9, 9, 9)};
    // The alpha byte makes the sixth pixel a value of its own, with the same colour.
    Result r = Quantize(p, 16, (int32_t)Rgb(9, 9, 9));
    ASSERT_TRUE(r.success);
    EXPECT_EQ(r.palette, (std::vector<uint32_t>{Rgb(9, 9, 9), Rgb(200, 0, 0), Rgb(0, 0, 255), Rgb(9, 9, 9)}));
    EXPECT_EQ(r.indices, (std::vector<uint8_t>{0, 1, 0, 2, 1, 3, 2, 0}));
    EXPECT_EQ(r.transparentIndex, 3);  // the last entry of that colour
    // Exactly the wanted count still fits; one fewer goes to the median cut (no raw alpha there).
    EXPECT_EQ(Quantize(p, 4).palette.size(), 4u);
    Result cut = Quantize(p, 3);
    ASSERT_TRUE(cut.success);
    EXPECT_LE(cut.palette.size(), 3u);
    // No pixels, no colours.
    Result none = Quantize(p.px.data(), 10, 4, 0, 0, 16);
    EXPECT_TRUE(none.success);
    EXPECT_TRUE(none.palette.empty());
}

TEST(Quantize, MedianCutMatchesLibjpegTwoPassQuantizer) {
    Picture src = TestPicture(96, 64, 21);
    for (int colours : {256, 64, 17, 8}) {
        Djpeg ref = RunDjpeg(src, colours, false);
        ASSERT_EQ(ref.pixels.width, 96);
        Result r = Quantize(ref.pixels, colours);
        ASSERT_TRUE(r.success);
        ASSERT_LE(r.palette.size(), ref.palette.size());
        EXPECT_EQ(r.palette, std::vector<uint32_t>(ref.palette.begin(), ref.palette.begin() + r.palette.size()))
            << colours << " colours";
        EXPECT_EQ(r.indices, ref.indices) << colours << " colours";
        // With the dither the palette is the same; the mapping differs, as every row here runs
        // left to right.
        Djpeg dithered = RunDjpeg(src, colours, true);
        Result d = Quantize(ref.pixels, colours, -1, 0, 1);
        EXPECT_EQ(d.palette,
                  std::vector<uint32_t>(dithered.palette.begin(), dithered.palette.begin() + d.palette.size()));
    }
}

TEST(Quantize, TransparentColourAndSpareEntry) {
    // 320 distinct colours, a quarter of the pixels in the transparent colour.
    Picture p;
    p.width = 40, p.height = 16;
    const uint32_t key = Rgb(255, 0, 255);
    for (int i = 0; i < 640; i++) p.px.push_back(i % 4 == 3 ? key : Rgb(i % 20 * 12, i / 20 * 8, (i * 7) % 256));
    Result plain = Quantize(p, 256);
    EXPECT_EQ(plain.palette.size(), 256u);
    EXPECT_EQ(plain.transparentIndex, -1);
    for (int dither : {0, 1}) {
        Result r = Quantize(p, 256, (int32_t)key, 0, dither);
        ASSERT_EQ(r.palette.size(), 256u);
        EXPECT_EQ(r.transparentIndex, 255);
        EXPECT_EQ(r.palette[255], key);
        for (size_t i = 0; i < p.px.size(); i++)
            ASSERT_EQ(r.indices[i] == 255, p.px[i] == key) << "pixel " << i << " dither " << dither;
    }
    Result spare = Quantize(p, 256, -1, 1);
    ASSERT_EQ(spare.palette.size(), 256u);
    EXPECT_EQ(spare.palette[255], 0u);
    EXPECT_EQ(spare.transparentIndex, -1);
    for (uint8_t i : spare.indices) ASSERT_LT(i, 255);
}

TEST(Quantize, MonochromeDitherOfAGreyRamp) {
    Picture ramp;
    ramp.width = 64, ramp.height = 8;
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 64; x++) ramp.px.push_back(Rgb(x * 4, x * 4, x * 4));
    Result r = Quantize(ramp, 2, -1, 0, 1);
    ASSERT_EQ(r.palette.size(), 2u);
    // The two box colours, dark first, and a pattern whose share of light pixels follows the
    // ramp: none at the left end, all at the right, about half in the middle.
    EXPECT_LT(G(r.palette[0]), G(r.palette[1]));
    auto lightShare = [&](int x0, int x1) {
        int n = 0;
        for (int y = 0; y < 8; y++)
            for (int x = x0; x < x1; x++) n += r.indices[y * 64 + x];
        return (double)n / (8 * (x1 - x0));
    };
    EXPECT_LT(lightShare(0, 8), 0.2);
    EXPECT_GT(lightShare(56, 64), 0.8);
    EXPECT_NEAR(lightShare(24, 40), 0.5, 0.2);
}

TEST(Quantize, SixteenBitPixelsCompareTheTransparentColourWidened) {
    // RGB565 pixels: the key (248, 252, 248) is the widened white; (255, 255, 255) matches nothing.
    std::vector<uint16_t> px;
    for (int i = 0; i < 600; i++) px.push_back(i % 5 == 0 ? 0xFFFF : (uint16_t)(i * 97));
    Result r = Quantize(px.data(), 4, 2, 30, 20, 64, (int32_t)Rgb(248, 252, 248));
    ASSERT_TRUE(r.success);
    for (size_t i = 0; i < px.size(); i++) ASSERT_EQ(r.indices[i] == r.transparentIndex, px[i] == 0xFFFF) << i;
    Result none = Quantize(px.data(), 4, 2, 30, 20, 64, (int32_t)Rgb(255, 255, 255));
    for (uint8_t i : none.indices) ASSERT_NE(i, none.transparentIndex);
}

TEST(Quantize, FormatThatDoesNotFitThePixelSizeFails) {
    // Format 10 pixels are 4 bytes: read as 2-byte pixels they would run past the buffer.
    const uint16_t px[4] = {1, 2, 3, 4};
    EXPECT_EQ(Quantize(px, 10, 2, 2, 2, 16).success, 0);
    EXPECT_EQ(Quantize(px, 14, 2, 2, 2, 16).success, 0);
    EXPECT_EQ(Quantize(px, 4, 2, 2, 2, 16).success, 1);
}

TEST(Quantize, AllocationFailureReportsNoSuccess) {
    Picture src = TestPicture(32, 32);
    OsSetAllocFailHook([](size_t size) { return size > 100000 ? 1 : 0; });
    Result r = Quantize(src, 16);
    OsSetAllocFailHook(nullptr);
    EXPECT_EQ(r.success, 0);
}

}  // namespace quantize_test
