// The scaler kernel: nearest stepping (single-precision ratio, float row accumulator), smooth
// bilinear with step tables, mask and alpha planes, and the step tables' growth. SDL's
// BlitScaled and pixman's bilinear filter are the independent oracles.
#include <gtest/gtest.h>

#include <SDL.h>
#include <pixman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "base/error_codes.h"
#include "gfx/kernel_dispatch.h"
#include "gfx/scale_pixels.h"
#include "platform/os_alloc.h"

namespace scale_pixels_test {

namespace {

// Source pixels that name their own position: row << 16 | column.
std::vector<uint32_t> CoordImage(int w, int h) {
    std::vector<uint32_t> v((size_t)w * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) v[(size_t)y * w + x] = (uint32_t)y << 16 | (uint32_t)x;
    return v;
}

qzScaleJob Job(const void* src, void* dst, int sw, int sh, int dw, int dh, int bpp) {
    qzScaleJob j{};
    j.srcPixels = src;
    j.dstPixels = dst;
    j.srcWidth = sw;
    j.srcHeight = sh;
    j.dstWidth = dw;
    j.dstHeight = dh;
    j.srcRowLength = sw;
    j.dstRowLength = dw;
    j.bytesPerPixel = bpp;
    j.pixelFormat = bpp == 4 ? 10 : 4;
    return j;
}

struct Tables {
    qzScaleTables t{};
    ~Tables() { FreeScaleTables(&t); }
};

TEST(ScalePixels, NearestPicksColumnsAndRowsByTheFloatSteps) {
    struct Case {
        int src, dst;
        std::vector<int> picks;
    } cases[] = {
        {3, 2, {0, 1}},                           // step 1.5 = 0x18000
        {2, 4, {0, 0, 1, 1}}, {5, 3, {0, 1, 3}},  // 5/3 as a float times 65536 truncates to 109226
        {4, 1, {0}},          {1, 3, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> src = CoordImage(c.src, c.src), dst((size_t)c.dst * c.dst, 0xDEADBEEF);
        qzScaleJob j = Job(src.data(), dst.data(), c.src, c.src, c.dst, c.dst, 4);
        ScalePixels(&j);
        for (int y = 0; y < c.dst; y++)
            for (int x = 0; x < c.dst; x++)
                EXPECT_EQ(dst[(size_t)y * c.dst + x], (uint32_t)c.picks[y] << 16 | (uint32_t)c.picks[x])
                    << c.src << "->" << c.dst << " at " << x << "," << y;
    }
}

TEST(ScalePixels, NearestBigUpscaleEndsOnTheLastSourceRow) {
    // The float row accumulator drifts past 999 long before row 300000; the source buffer is
    // exactly 1000 rows, so a read past it would be caught.
    const int sh = 1000, dh = 300000;
    std::vector<uint16_t> src(sh), dst(dh);
    for (int i = 0; i < sh; i++) src[i] = (uint16_t)i;
    qzScaleJob j = Job(src.data(), dst.data(), 1, sh, 1, dh, 2);
    ScalePixels(&j);
    EXPECT_EQ(dst[dh - 1], sh - 1);
    for (int i = 1; i < dh; i++) ASSERT_LE(dst[i - 1], dst[i]);
}

// SDL samples at pixel centres, we at the left and top edges: the picks differ by at most half
// the ratio, rounded up (one pixel on up-scales).
TEST(ScalePixels, NearestAgreesWithSdlBlitScaledWithinHalfTheRatio) {
    const int sizes[][4] = {{64, 48, 200, 150}, {200, 150, 64, 48}, {37, 91, 120, 17}, {320, 240, 321, 239}};
    for (const auto& s : sizes) {
        const int sw = s[0], sh = s[1], dw = s[2], dh = s[3];
        std::vector<uint32_t> src = CoordImage(sw, sh), ours((size_t)dw * dh), sdl((size_t)dw * dh);
        qzScaleJob j = Job(src.data(), ours.data(), sw, sh, dw, dh, 4);
        ScalePixels(&j);
        SDL_Surface* a = SDL_CreateRGBSurfaceWithFormatFrom(src.data(), sw, sh, 32, sw * 4, SDL_PIXELFORMAT_RGB888);
        SDL_Surface* b = SDL_CreateRGBSurfaceWithFormatFrom(sdl.data(), dw, dh, 32, dw * 4, SDL_PIXELFORMAT_RGB888);
        ASSERT_TRUE(a && b);
        SDL_Rect from{0, 0, sw, sh}, to{0, 0, dw, dh};
        ASSERT_EQ(SDL_BlitScaled(a, &from, b, &to), 0) << SDL_GetError();
        SDL_FreeSurface(a);
        SDL_FreeSurface(b);
        const int tolX = sw > dw ? (sw + 2 * dw - 1) / (2 * dw) : 1, tolY = sh > dh ? (sh + 2 * dh - 1) / (2 * dh) : 1;
        int exact = 0;
        for (size_t i = 0; i < ours.size(); i++) {
            int ox = ours[i] & 0xFFFF, oy = (ours[i] >> 16) & 0xFF, sx = sdl[i] & 0xFFFF, sy = (sdl[i] >> 16) & 0xFF;
            ASSERT_LE(std::abs(ox - sx), tolX) << sw << "x" << sh << "->" << dw << "x" << dh << " pixel " << i;
            ASSERT_LE(std::abs(oy - sy), tolY) << sw << "x" << sh << "->" << dw << "x" << dh << " pixel " << i;
            exact += ox == sx && oy == sy;
        }
        if (sw <= dw && sh <= dh) {
            EXPECT_GT(exact, (int)ours.size() / 2);
        }
    }
}

TEST(ScalePixels, MaskAndAlphaFollowTheColourSteps) {
    // A 9x2 source whose rectangle starts at bit 3 of the mask rows; alternate columns visible.
    const int sw = 6, sh = 2, dw = 12, dh = 3;
    uint8_t mask[2][2] = {{0x0A, 0x80}, {0x15, 0x00}};  // bits 3.. : 0101 01 / 1010 10
    uint8_t alpha[2][8] = {{10, 20, 30, 40, 50, 60, 0, 0}, {70, 80, 90, 100, 110, 120, 0, 0}};
    std::vector<uint32_t> src = CoordImage(sw, sh), dst((size_t)dw * dh);
    uint8_t dmask[3][2] = {}, dalpha[3][12] = {};
    for (int pass = 0; pass < 2; pass++) {
        qzScaleJob j = Job(pass == 0 ? src.data() : nullptr, dst.data(), sw, sh, dw, dh, 4);
        j.srcMask = &mask[0][0];
        j.srcMaskBytesPerRow = 2;
        j.srcMaskBitOffset = 3;
        j.dstMask = &dmask[0][0];
        j.dstMaskBytesPerRow = 2;
        j.srcAlpha = &alpha[0][0];
        j.srcAlphaBytesPerRow = 8;
        j.dstAlpha = &dalpha[0][0];
        j.dstAlphaBytesPerRow = 12;
        std::memset(dmask, 0xFF, sizeof dmask);
        ScalePixels(&j);
        // Rows 0, 0, 1 (ratio 2/3), columns doubled.
        EXPECT_EQ(dmask[0][0], 0x33) << pass;
        EXPECT_EQ(dmask[0][1], 0x3F) << pass;  // 12 columns: the 4 bits past them are left alone
        EXPECT_EQ(dmask[1][0], 0x33) << pass;
        EXPECT_EQ(dmask[2][0], 0xCC) << pass;
        EXPECT_EQ(dmask[2][1], 0xCF) << pass;
        if (pass == 0) {
            EXPECT_EQ(dalpha[0][0], 10);
            EXPECT_EQ(dalpha[0][11], 60);
            EXPECT_EQ(dalpha[2][3], 80);
        }
    }
}

TEST(ScalePixels, SmoothStaysInsideTheSourceForEverySize) {
    // Exactly sized buffers: any read past the source's last column or row is a sanitizer error.
    const int sizes[][4] = {{1, 1, 7, 5}, {1, 9, 4, 30}, {9, 1, 30, 4}, {3, 3, 100, 2}, {50, 40, 3, 3}, {2, 2, 1, 1}};
    for (const auto& s : sizes) {
        const int sw = s[0], sh = s[1], dw = s[2], dh = s[3];
        std::vector<uint32_t> src((size_t)sw * sh), dst((size_t)dw * dh);
        std::vector<uint8_t> alpha((size_t)sw * sh, 200), dalpha((size_t)dw * dh);
        for (size_t i = 0; i < src.size(); i++) src[i] = 0x00102030u + (uint32_t)i * 0x010101u;
        Tables t;
        ASSERT_EQ(GrowScaleTables(&t.t, dw, dh), 0);
        qzScaleJob j = Job(src.data(), dst.data(), sw, sh, dw, dh, 4);
        j.smooth = 1;
        j.srcAlpha = alpha.data();
        j.srcAlphaBytesPerRow = sw;
        j.dstAlpha = dalpha.data();
        j.dstAlphaBytesPerRow = dw;
        AttachScaleTables(&j, &t.t);
        ScalePixels(&j);
        if (sw == 1 && sh == 1) {
            for (uint32_t p : dst) EXPECT_EQ(p, src[0]);
        }
        for (uint8_t a : dalpha) EXPECT_EQ(a, 200);
    }
}

// The smooth 32-bit rows take four pixels a turn where the processor allows: up- and
// down-scales to every width up to a few groups and a tail, in both alpha byte places, come out
// as the portable build makes them.
TEST(ScalePixels, SmoothRowsOfBothBuildsAgree) {
    std::mt19937 rng(4);
    std::vector<uint32_t> src((size_t)23 * 6);
    for (uint32_t& p : src) p = rng();
    for (int format : {10, 12})
        for (int sw : {2, 5, 23})
            for (int dw = 1; dw <= 19; dw++) {
                std::vector<uint32_t> fast((size_t)dw * 4, 7), portable = fast;
                Tables t;
                ASSERT_EQ(GrowScaleTables(&t.t, dw, 4), 0);
                qzScaleJob j = Job(src.data(), fast.data(), sw, 6, dw, 4, 4);
                j.srcRowLength = 23;
                j.smooth = 1;
                j.pixelFormat = format;
                AttachScaleTables(&j, &t.t);
                ScalePixels(&j);
                gQzAvx2KernelsAllowed = false;
                j.dstPixels = portable.data();
                ScalePixels(&j);
                gQzAvx2KernelsAllowed = true;
                ASSERT_EQ(fast, portable) << "format " << format << ", " << sw << " -> " << dw;
            }
}

TEST(ScalePixels, SmoothMatchesPixmanBilinearWithinFour) {
    // pixman samples at pixel centres with 7-bit weights; placing its transform at our sample
    // positions (i * step, step from (size - 1) << 16 / new size) leaves only the rounding of
    // the weights, up to 2 per axis: at most 4 per channel.
    std::mt19937 rng(7);
    const int sizes[][4] = {{64, 48, 150, 100}, {97, 61, 40, 29}, {16, 16, 16, 16}};
    for (const auto& s : sizes) {
        const int sw = s[0], sh = s[1], dw = s[2], dh = s[3];
        std::vector<uint32_t> src((size_t)sw * sh), ours((size_t)dw * dh), ref((size_t)dw * dh);
        for (uint32_t& p : src) p = rng() & 0x00FFFFFF;
        Tables t;
        ASSERT_EQ(GrowScaleTables(&t.t, dw, dh), 0);
        qzScaleJob j = Job(src.data(), ours.data(), sw, sh, dw, dh, 4);
        j.smooth = 1;
        AttachScaleTables(&j, &t.t);
        ScalePixels(&j);
        const int32_t cs = (int32_t)((double)((int64_t)(sw - 1) << 16) / dw);
        const int32_t rs = (int32_t)((double)((int64_t)(sh - 1) << 16) / dh);
        pixman_image_t* a = pixman_image_create_bits(PIXMAN_x8r8g8b8, sw, sh, src.data(), sw * 4);
        pixman_image_t* b = pixman_image_create_bits(PIXMAN_x8r8g8b8, dw, dh, ref.data(), dw * 4);
        pixman_transform_t m;
        pixman_transform_init_identity(&m);
        m.matrix[0][0] = cs;
        m.matrix[0][2] = 32768 - cs / 2;
        m.matrix[1][1] = rs;
        m.matrix[1][2] = 32768 - rs / 2;
        pixman_image_set_transform(a, &m);
        pixman_image_set_filter(a, PIXMAN_FILTER_BILINEAR, nullptr, 0);
        pixman_image_set_repeat(a, PIXMAN_REPEAT_PAD);
        pixman_image_composite32(PIXMAN_OP_SRC, a, nullptr, b, 0, 0, 0, 0, 0, 0, dw, dh);
        pixman_image_unref(a);
        pixman_image_unref(b);
        for (size_t i = 0; i < ours.size(); i++)
            for (int sh8 = 0; sh8 < 24; sh8 += 8)
                ASSERT_LE(std::abs((int)((ours[i] >> sh8) & 255) - (int)((ref[i] >> sh8) & 255)), 4)
                    << sw << "x" << sh << "->" << dw << "x" << dh << " pixel " << i;
        EXPECT_EQ(ours[0], src[0] & 0x00FFFFFF);  // sample 0 is source pixel 0, alpha byte 0
    }
}

TEST(ScalePixels, SmoothSixteenBitFormatsRoundTripThroughTheirFields) {
    // A flat RGB565 / byte-swapped BGR555 image scales to itself, every field intact.
    for (int format : {4, 3}) {
        std::vector<uint16_t> src(16, format == 4 ? 0xA5F3 : 0x3A4D), dst(25);
        Tables t;
        ASSERT_EQ(GrowScaleTables(&t.t, 5, 5), 0);
        qzScaleJob j = Job(src.data(), dst.data(), 4, 4, 5, 5, 2);
        j.smooth = 1;
        j.pixelFormat = format;
        AttachScaleTables(&j, &t.t);
        ScalePixels(&j);
        for (uint16_t p : dst) EXPECT_EQ(p, src[0]) << format;
    }
}

int g_failAfter = -1;
int FailAfter(size_t) { return g_failAfter >= 0 && g_failAfter-- == 0; }

TEST(ScaleTables, GrowOnlyAndKeepOldTablesWhenMemoryRunsOut) {
    Tables t;
    ASSERT_EQ(GrowScaleTables(&t.t, 100, 50), 0);
    EXPECT_EQ(t.t.colCapacity, 101);
    EXPECT_EQ(t.t.rowCapacity, 51);
    int32_t* cols = t.t.colFractions;
    ASSERT_EQ(GrowScaleTables(&t.t, 10, 10), 0);  // smaller: nothing changes
    EXPECT_EQ(t.t.colFractions, cols);
    EXPECT_EQ(t.t.colCapacity, 101);
    g_failAfter = 1;  // the second allocation of the growth fails
    OsSetAllocFailHook(FailAfter);
    EXPECT_EQ(GrowScaleTables(&t.t, 500, 10), ERR_MEM);
    OsSetAllocFailHook(nullptr);
    EXPECT_EQ(t.t.colFractions, cols);
    EXPECT_EQ(t.t.colCapacity, 101);
    EXPECT_EQ(GrowScaleTables(&t.t, -1, 3), ERR_MEM);
}

}  // namespace

}  // namespace scale_pixels_test
