// The kernels' own rules where no library does the same: grey levels through fused multiply-adds,
// chained colour replacement, flips of padded masks, pixelation, the alpha and mask modes.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "gfx/alpha_extract.h"
#include "gfx/kernels_alpha.h"
#include "gfx/kernels_color.h"
#include "gfx/kernels_flip.h"
#include "gfx/mask_bits.h"
#include "gfx/pixel_format.h"

namespace kernels_edge_test {

TEST(GrayKernel, AllRgbTriplesMatchTheFusedReference) {
    // Every colour through GrayPixels32, one red level (65536 colours) at a time. The reference
    // rounds twice, as two fused multiply-adds do; the same sums rounded after every product and
    // addition differ for thousands of colours, which is what this test tells apart.
    std::vector<uint32_t> row(65536);
    int64_t unfusedDiffers = 0;
    for (int r = 0; r < 256; r++) {
        for (int gb = 0; gb < 65536; gb++) row[gb] = 0xFF000000u | (uint32_t)r << 16 | (uint32_t)gb;
        GrayPixels32(row.data(), 256, 256, PIXFMT_ARGB32, 256, 0);
        for (int gb = 0; gb < 65536; gb++) {
            int g = gb >> 8, b = gb & 0xFF;
            uint32_t level = (uint32_t)(int)std::fma(b, 0.114, std::fma(r, 0.299, g * 0.587));
            ASSERT_EQ(row[gb], level * 0x010101) << r << "," << g << "," << b;
            volatile double t = g * 0.587, u = r * 0.299, sum = u + t, v = b * 0.114, unfused = v + sum;
            unfusedDiffers += (uint32_t)(int)unfused != level;
        }
    }
    EXPECT_GT(unfusedDiffers, 1000);

    struct Case {
        uint32_t rgb;
        int bw;
        uint32_t out;
    };
    const Case cases[] = {
        {0xFFFFFF, 0, 0xFFFFFF},
        {0x808080, 0, 0x7F7F7F},
        {0x010101, 0, 0},
        {0x7F7F7F, 0, 0x7E7E7E},
        {0x788580, 0, 0x808080},
        {0x788680, 0, 0x818181},
        // Black and white: a computed grey of 128 is black, 129 white.
        {0x788580, 1, 0},
        {0x788680, 1, 0xFFFFFF},
        {0xFFFFFF, 1, 0xFFFFFF},
    };
    for (const Case& c : cases) {
        uint32_t pixel = c.rgb | 0xAB000000;
        GrayPixels32(&pixel, 1, 1, PIXFMT_ARGB32, 1, c.bw);
        EXPECT_EQ(pixel, c.out) << std::hex << c.rgb << " " << c.bw;
    }
    EXPECT_EQ(GrayLevel(128, 128, 128), 127);
    // 16-bit: grey from the 5/6-bit channels, narrowed per channel; white stays white.
    uint16_t white = 0xFFFF, mid = (uint16_t)ConvertARGBToPixel(0x808080, PIXFMT_RGB565, 0);
    GrayPixels16(&white, 1, 1, PIXFMT_RGB565, 1, 0);
    GrayPixels16(&mid, 1, 1, PIXFMT_RGB565, 1, 1);
    EXPECT_EQ(white, ConvertARGBToPixel(GrayLevel(248, 252, 248) * 0x010101u, PIXFMT_RGB565, 0));
    EXPECT_EQ(mid, 0);
}

TEST(ColourKernels, ReplacementPairsApplyInOrder) {
    const uint32_t A = 0x00112233, B = 0x00445566, C = 0x00778899;
    struct Case {
        std::vector<uint32_t> pairs;
        uint32_t in, out;
    };
    const Case cases[] = {
        {{A, B, B, A, 0xFFFFFFFF}, A, A},  // both pairs apply: A -> B -> A
        {{A, B, B, A, 0xFFFFFFFF}, B, A},
        {{A, B, B, C, 0xFFFFFFFF}, A, C},
        {{B, C, A, B, 0xFFFFFFFF}, A, B},         // a later pair does not feed an earlier one
        {{0xFFFFFFFF, A, B}, A, A},               // empty table
        {{A, B, 0xFFFFFFFF}, 0xFF000000 | A, B},  // compared under the mask, replaced whole
    };
    for (const Case& c : cases) {
        uint32_t pixel = c.in;
        ReplaceColors32(1, 1, c.pairs.data(), &pixel, 1, 0x00FFFFFF);
        EXPECT_EQ(pixel, c.out) << std::hex << c.in;
        uint16_t small = (uint16_t)c.in;
        ReplaceColors16(1, 1, c.pairs.data(), &small, 1);
        if (c.in == (c.in & 0xFFFFFF)) {
            EXPECT_EQ(small, (uint16_t)c.out) << std::hex << c.in;
        }
    }
}

TEST(FlipKernel, MasksKeepTheirPaddingAndOddMiddleRowsStay) {
    // 9 x 3 image: pixels, a 2-byte mask row and a padded alpha row.
    std::vector<uint32_t> pixels(12 * 3);
    for (size_t i = 0; i < pixels.size(); i++) pixels[i] = (uint32_t)i;
    std::vector<uint8_t> mask = {0x80, 0x7F, 0x00, 0x80, 0xFF, 0x00};
    std::vector<uint8_t> alpha(12 * 3);
    for (size_t i = 0; i < alpha.size(); i++) alpha[i] = (uint8_t)(100 + i);
    qzFlipJob job{pixels.data(), 9, 3, 12, mask.data(), 2, alpha.data(), 12, 1, 4};
    FlipPixels(&job);
    // Row 0: bit 0 set, the 7 padding bits of byte 1 set: bit 8 (clear) moves to 0, bit 0 to 8,
    // and the padding stays.
    EXPECT_EQ(mask[0], 0x00);
    EXPECT_EQ(mask[1], 0xFF);
    EXPECT_EQ(mask[2], 0x80);  // row 1: only bit 8 set -> bit 0
    EXPECT_EQ(mask[3], 0x00);
    EXPECT_EQ(mask[4], 0x7F);  // row 2: bits 0-7 -> bits 1-8
    EXPECT_EQ(mask[5], 0x80);
    for (int x = 0; x < 9; x++) {
        EXPECT_EQ(pixels[12 + x], (uint32_t)(12 + 8 - x));
        EXPECT_EQ(alpha[12 + x], 100 + 12 + 8 - x);
    }
    EXPECT_EQ(pixels[9], 9u);  // row padding never moves
    EXPECT_EQ(alpha[11], 111);

    job.direction = 0;
    job.mask = nullptr;
    FlipPixels(&job);
    EXPECT_EQ(pixels[0], 2u * 12 + 8);
    EXPECT_EQ(pixels[12], 12u + 8);  // the middle row of three stays
    EXPECT_EQ(pixels[24], 8u);
    EXPECT_EQ(pixels[33], 33u);  // padding of the last row: not part of the image
    EXPECT_EQ(alpha[0], 100 + 24 + 8);

    // 16-bit pixels.
    std::vector<uint16_t> small = {1, 2, 3, 4, 5, 6, 7, 8};
    qzFlipJob smallJob{small.data(), 3, 2, 4, nullptr, 0, nullptr, 0, 1, 2};
    FlipPixels(&smallJob);
    EXPECT_EQ(small, (std::vector<uint16_t>{3, 2, 1, 4, 7, 6, 5, 8}));
}

TEST(PixelateKernel, CellsTakeTheirTopLeftPixelAndVisibility) {
    const int w = 5, h = 3;
    std::vector<uint32_t> src(w * h), dst(w * h, 0xEEEEEEEE);
    for (int i = 0; i < w * h; i++) src[i] = 0x100 + i;
    qzPixelateJob job{};
    job.srcPixels = src.data();
    job.dstPixels = dst.data();
    job.srcRowLength = job.dstRowLength = w;
    job.width = w;
    job.height = h;
    job.cellSize = 9;  // larger than the image: one cell
    PixelatePixels32(&job);
    for (uint32_t v : dst) EXPECT_EQ(v, 0x100u);

    // Cells of 2: columns 0-1, 2-3, 4; rows 0-1, 2. The source mask hides the cell at (2, 0).
    std::vector<uint8_t> srcMask = {0xC8, 0, 0xFF, 0, 0xFF, 0}, dstMask(6, 0);
    std::fill(dst.begin(), dst.end(), 0xEEEEEEEE);
    job.cellSize = 2;
    job.srcMask = srcMask.data();
    job.dstMask = dstMask.data();
    job.srcMaskBytesPerRow = job.dstMaskBytesPerRow = 2;
    PixelatePixels32(&job);
    EXPECT_EQ(dst[0], 0x100u);
    EXPECT_EQ(dst[w + 1], 0x100u);
    EXPECT_EQ(dst[2], 0xEEEEEEEEu);     // hidden cell: pixels not written
    EXPECT_EQ(dst[4], 0x104u);          // clipped right-edge cell
    EXPECT_EQ(dst[2 * w + 3], 0x10Cu);  // bottom row: top-left of the cell is (2, 2)
    EXPECT_EQ(dstMask[0], 0xC8);        // bits 0-1 set, 2-3 clear, 4 set
    EXPECT_EQ(dstMask[2], 0xC8);
    EXPECT_EQ(dstMask[4], 0xF8);

    // With an alpha channel (no mask): the cell's alpha is its top-left alpha.
    std::vector<uint8_t> srcAlpha(8 * h, 0x55), dstAlpha(8 * h, 0x11);
    srcAlpha[2] = 0;
    job.srcMask = nullptr;
    job.srcAlpha = srcAlpha.data();
    job.dstAlpha = dstAlpha.data();
    job.srcAlphaBytesPerRow = job.dstAlphaBytesPerRow = 8;
    std::fill(dst.begin(), dst.end(), 0xEEEEEEEE);
    PixelatePixels32(&job);
    EXPECT_EQ(dstAlpha[8 + 1], 0x55);
    EXPECT_EQ(dstAlpha[8 + 3], 0);
    EXPECT_EQ(dst[w + 3], 0xEEEEEEEEu);
    EXPECT_EQ(dstAlpha[5], 0x11);  // padding
    // A cell size below 1 draws nothing.
    std::fill(dst.begin(), dst.end(), 0xEEEEEEEE);
    job.cellSize = 0;
    PixelatePixels32(&job);
    EXPECT_EQ(dst[0], 0xEEEEEEEEu);
}

TEST(AlphaKernels, CombineModes) {
    struct Case {
        int mode, level, s, d, out;
    };
    const Case cases[] = {
        {0, 0, 0, 9, 0},       {0, 0, 70, 9, 70},       {17, 0, 70, 9, 70}, {1, 0, 0, 9, 9},     {1, 0, 70, 9, 70},
        {2, 0, 0, 9, 9},       {2, 0, 70, 9, 185},      {3, 0, 0, 9, 9},    {3, 0, 1, 9, 255},   {4, 128, 0, 9, 9},
        {4, 128, 200, 9, 100}, {4, 255, 200, 9, 200},   {5, 0, 70, 0, 0},   {5, 0, 70, 9, 185},  {5, 0, 0, 9, 9},
        {6, 0x1234, 0, 9, 9},  {6, 0x1234, 5, 9, 0x34}, {7, 0, 70, 9, 70},  {7, 0, 70, 0, 0},    {7, 0, 0, 9, 0},
        {8, 0, 254, 9, 9},     {8, 0, 255, 9, 255},     {9, 0, 0, 9, 9},    {9, 0, 255, 9, 255}, {9, 0, 128, 0, 128},
        {9, 0, 128, 255, 255}, {9, 0, 100, 100, 161},
    };
    for (const Case& c : cases) {
        uint8_t s[3] = {7, (uint8_t)c.s, 7}, d[3] = {1, (uint8_t)c.d, 1};
        qzAlphaRectJob job{s, 1, 0, 3, d, 1, 0, 3, 1, 1, c.mode, c.level};
        CombineAlphaRect(&job);
        EXPECT_EQ(d[1], c.out) << "mode " << c.mode << " s " << c.s << " d " << c.d;
        EXPECT_EQ(d[0], 1);
        EXPECT_EQ(d[2], 1);
    }
}

TEST(AlphaKernels, AlphaToMaskModesAndClipMasks) {
    // Alpha 255, 254, 0, 255 against mask bits 1, 1, 0, 0 (at bit offset 3).
    const uint8_t alpha[4] = {255, 254, 0, 255};
    struct Case {
        int mode;
        uint8_t bits;
    };
    // Resulting bits 3-6, for the starting bits 1100 at positions 3-6 (byte 0b00011000).
    const Case cases[] = {
        {0, 0x12}, {2, 0x12}, {1, 0x0C}, {3, 0x0A}, {5, 0x1A}, {4, 0x18}, {6, 0x18}, {-1, 0x18},
    };
    for (const Case& c : cases) {
        uint8_t mask[2] = {0x18, 0xA5};
        AlphaRectToMask(alpha, mask, 0, 0, 3, 0, 4, 2, 4, 1, c.mode);
        EXPECT_EQ(mask[0], c.bits) << "mode " << c.mode;
        EXPECT_EQ(mask[1], 0xA5);
    }

    // The clip region (origin 10, 20) hides the destination columns 11 and 13; the temporary has
    // the source's geometry and is written at sx 2.
    const uint8_t region[2] = {0xAF, 0};  // region bits 0..7 = 1 0 1 0 1 1 1 1
    const uint8_t srcMask[2] = {0xFF, 0xFF};
    const uint8_t srcAlpha[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t temporary[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    qzClipMaskJob job{region, temporary, nullptr, 10, 20, 2, 0, 10, 20, 4, 1, srcAlpha, 8, 2, 8};
    ApplyClipMask(&job);
    EXPECT_EQ(std::vector<uint8_t>(temporary, temporary + 8), (std::vector<uint8_t>{9, 9, 3, 0, 5, 0, 9, 9}));
    uint8_t bits[2] = {0, 0};
    job.temporary = bits;
    job.srcAlpha = nullptr;
    job.temporaryBytesPerRow = 2;
    ApplyClipMask(&job);
    EXPECT_EQ(bits[0], 0x28);  // bits 2-5 = 1 0 1 0
    job.srcMask = srcMask;
    bits[0] = 0xFF;
    ApplyClipMask(&job);
    EXPECT_EQ(bits[0], 0xEB);

    // Level scaling, inversion, alpha extraction.
    uint8_t levels[4] = {0, 1, 128, 255}, scaled[4];
    ScaleAlphaBytesByLevel(levels, scaled, 128, 2, 2);
    EXPECT_EQ(std::vector<uint8_t>(scaled, scaled + 4), (std::vector<uint8_t>{0, 0, 64, 128}));
    ScaleAlphaBytesByLevel(levels, scaled, 999, 4, 1);
    EXPECT_EQ(scaled[3], 255);
    InvertBytes(levels, 2, 2);
    EXPECT_EQ(std::vector<uint8_t>(levels, levels + 4), (std::vector<uint8_t>{255, 254, 127, 0}));
    const uint32_t argb[6] = {0x11000000, 0x22FFFFFF, 0x33000000, 0x44000000, 0x55000000, 0x66000000};
    uint8_t plane[8] = {};
    ExtractAlphaBytes(argb, 2, 2, 3, plane, 4);
    EXPECT_EQ(std::vector<uint8_t>(plane, plane + 8), (std::vector<uint8_t>{0x11, 0x22, 0, 0, 0x44, 0x55, 0, 0}));
}

}  // namespace kernels_edge_test
