// The affine transform kernel: exact quarter turns and mirrors, spans against pixman's nearest
// transform, the smooth path's hidden neighbours, matrices that cannot be inverted, and the
// clearing of uncovered pixels.
#include <gtest/gtest.h>

#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gfx/kernel_dispatch.h"
#include "gfx/transform_pixels.h"

namespace transform_pixels_test {

namespace {

std::vector<uint32_t> CoordImage(int w, int h) {
    std::vector<uint32_t> v((size_t)w * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) v[(size_t)y * w + x] = (uint32_t)y << 12 | (uint32_t)x;
    return v;
}

// A job for a w x h source under the 2x2 matrix, placed as the front-end places it.
qzTransformJob Job(const uint32_t* src, uint32_t* dst, int w, int h, int dw, int dh, const double m[4]) {
    qzTransformJob j{};
    j.srcPixels = src;
    j.dstPixels = dst;
    j.srcWidth = w;
    j.srcHeight = h;
    j.srcRowLength = w;
    j.dstWidth = dw;
    j.dstHeight = dh;
    j.dstRowLength = dw;
    j.a = m[0];
    j.b = m[1];
    j.c = m[2];
    j.d = m[3];
    PlaceTransformMatrix(m[0], m[1], m[2], m[3], w, h, &j.e, &j.f);
    j.pixelFormat = 10;
    j.bytesPerPixel = 4;
    return j;
}

TEST(TransformPixels, QuarterTurnsMirrorsAndIdentityMapPixelsOneToOne) {
    const int w = 7, h = 4;
    struct Case {
        double m[4];
        bool swap;
        // destination (x, y) shows source (fx(x, y), fy(x, y))
        int (*sx)(int, int, int, int);
        int (*sy)(int, int, int, int);
    } cases[] = {
        {{1, 0, 0, 1}, false, [](int x, int, int, int) { return x; }, [](int, int y, int, int) { return y; }},
        {{0, 1, -1, 0}, true, [](int, int y, int, int) { return y; }, [](int x, int, int, int h) { return h - 1 - x; }},
        {{-1, 0, 0, -1},
         false,
         [](int x, int, int w, int) { return w - 1 - x; },
         [](int, int y, int, int h) { return h - 1 - y; }},
        {{0, -1, 1, 0}, true, [](int, int y, int w, int) { return w - 1 - y; }, [](int x, int, int, int) { return x; }},
        {{-1, 0, 0, 1},
         false,
         [](int x, int, int w, int) { return w - 1 - x; },
         [](int, int y, int, int) { return y; }},
        {{1, 0, 0, -1},
         false,
         [](int x, int, int, int) { return x; },
         [](int, int y, int, int h) { return h - 1 - y; }},
    };
    std::vector<uint32_t> src = CoordImage(w, h);
    // Mask: checkerboard, starting 5 bits into each row.
    std::vector<uint8_t> mask((size_t)h * 2, 0);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            if ((x + y) & 1) mask[(size_t)y * 2 + ((x + 5) >> 3)] |= (uint8_t)(0x80 >> ((x + 5) & 7));
    for (const Case& c : cases) {
        {
            const int dw = c.swap ? h : w, dh = c.swap ? w : h;
            std::vector<uint32_t> dst((size_t)dw * dh, 0xFFFFFFFF);
            std::vector<uint8_t> dmask((size_t)dh * 2, 0);
            qzTransformJob j = Job(src.data(), dst.data(), w, h, dw, dh, c.m);
            // Colour and mask bits, the mask starting 5 bits into its rows.
            j.srcMask = mask.data();
            j.srcMaskBytesPerRow = 2;
            j.srcMaskBitOffset = 5;
            j.dstMask = dmask.data();
            j.dstMaskBytesPerRow = 2;
            TransformPixels(&j);
            for (int y = 0; y < dh; y++)
                for (int x = 0; x < dw; x++) {
                    const int fx = c.sx(x, y, w, h), fy = c.sy(x, y, w, h);
                    ASSERT_EQ(dst[(size_t)y * dw + x], (uint32_t)fy << 12 | (uint32_t)fx)
                        << "matrix " << c.m[0] << "," << c.m[1] << "," << c.m[2] << "," << c.m[3] << " at " << x << ","
                        << y;
                    const bool bit = (dmask[(size_t)y * 2 + (x >> 3)] >> (7 - (x & 7))) & 1;
                    ASSERT_EQ(bit, ((fx + fy) & 1) == 1) << x << "," << y;
                }
        }
    }
}

TEST(TransformPixels, SmoothIdentityAtTheOriginIsExact) {
    const int w = 5, h = 3;
    std::vector<uint32_t> src((size_t)w * h), dst((size_t)w * h, 0);
    for (size_t i = 0; i < src.size(); i++) src[i] = (uint32_t)(i * 0x0B1723) & 0x00FFFFFF;
    qzTransformJob j{};
    j.srcPixels = src.data();
    j.dstPixels = dst.data();
    j.srcWidth = j.dstWidth = j.srcRowLength = j.dstRowLength = w;
    j.srcHeight = j.dstHeight = h;
    j.a = j.d = 1;
    j.smooth = 1;
    j.pixelFormat = 10;
    j.bytesPerPixel = 4;
    TransformPixels(&j);
    EXPECT_EQ(dst, src);
}

TEST(TransformPixels, RotationAgreesWithPixmanNearest) {
    // pixman maps destination pixel centres; our kernel maps the pixel's corner through the
    // placed matrix. Both pick the same source pixel except where a sample lies within rounding
    // of a pixel border: at most one pixel apart, and rarely.
    const int w = 120, h = 80;
    for (double degrees : {30.0, 127.0, -63.0}) {
        const double r = degrees * M_PI / 180.0;
        const double m[4] = {std::cos(r), std::sin(r), -std::sin(r), std::cos(r)};
        double e, f;
        PlaceTransformMatrix(m[0], m[1], m[2], m[3], w, h, &e, &f);
        const int dw = 160, dh = 160;
        std::vector<uint32_t> src = CoordImage(w, h);
        for (uint32_t& p : src) p |= 0xFF000000u;
        std::vector<uint32_t> ours((size_t)dw * dh, 0), ref((size_t)dw * dh, 0);
        qzTransformJob j = Job(src.data(), ours.data(), w, h, dw, dh, m);
        TransformPixels(&j);
        // pixman's transform goes from destination to source: the inverse of x' = M x + t,
        // moved by half a pixel so that its centre sampling meets our corner sampling.
        const double det = m[0] * m[3] - m[2] * m[1];
        const double p = m[3] / det, q = -m[2] / det, s = -m[1] / det, t = m[0] / det;
        const double rr = (m[2] * f - m[3] * e) / det, u = (m[1] * e - m[0] * f) / det;
        pixman_transform_t pm;
        pixman_transform_init_identity(&pm);
        pm.matrix[0][0] = pixman_double_to_fixed(p);
        pm.matrix[0][1] = pixman_double_to_fixed(q);
        pm.matrix[0][2] = pixman_double_to_fixed(rr - 0.5 * (p + q));
        pm.matrix[1][0] = pixman_double_to_fixed(s);
        pm.matrix[1][1] = pixman_double_to_fixed(t);
        pm.matrix[1][2] = pixman_double_to_fixed(u - 0.5 * (s + t));
        pixman_image_t* a = pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, src.data(), w * 4);
        pixman_image_t* b = pixman_image_create_bits(PIXMAN_a8r8g8b8, dw, dh, ref.data(), dw * 4);
        pixman_image_set_transform(a, &pm);
        pixman_image_set_filter(a, PIXMAN_FILTER_NEAREST, nullptr, 0);
        pixman_image_composite32(PIXMAN_OP_SRC, a, nullptr, b, 0, 0, 0, 0, 0, 0, dw, dh);
        pixman_image_unref(a);
        pixman_image_unref(b);
        int both = 0, same = 0;
        for (size_t i = 0; i < ours.size(); i++) {
            if (!ours[i] || !ref[i]) continue;  // outside one of the two coverages (edge pixels)
            both++;
            const int ox = ours[i] & 0xFFF, oy = (ours[i] >> 12) & 0xFFF, px = ref[i] & 0xFFF,
                      py = (ref[i] >> 12) & 0xFFF;
            ASSERT_LE(std::abs(ox - px), 1) << degrees << " pixel " << i;
            ASSERT_LE(std::abs(oy - py), 1) << degrees << " pixel " << i;
            same += ox == px && oy == py;
        }
        EXPECT_GT(both, w * h * 9 / 10) << degrees;
        EXPECT_GT(same, both * 99 / 100) << degrees;
    }
}

TEST(TransformPixels, SmoothKeepsPixelsWhoseNeighboursAreAllHidden) {
    const int w = 4, h = 4;
    std::vector<uint32_t> src(16, 0x00FF0000);
    src[5] = 0x000000FF;  // the one visible pixel
    uint8_t mask[4][2] = {{0, 0}, {0x40, 0}, {0, 0}, {0, 0}};
    std::vector<uint32_t> dst(16, 0x00123456);
    uint8_t dmask[4][2];
    std::memset(dmask, 0xFF, sizeof dmask);
    const double m[4] = {1, 0, 0, 1};
    qzTransformJob j = Job(src.data(), dst.data(), w, h, w, h, m);
    j.smooth = 1;
    j.srcMask = &mask[0][0];
    j.srcMaskBytesPerRow = 2;
    j.dstMask = &dmask[0][0];
    j.dstMaskBytesPerRow = 2;
    TransformPixels(&j);
    EXPECT_EQ(dst[5], 0x000000FFu);    // the visible pixel itself
    EXPECT_EQ(dst[0], 0x000000FFu);    // sees it as its lower-right neighbour: no red bleeds in
    EXPECT_EQ(dst[15], 0x00123456u);   // all four neighbours hidden: left as it was
    EXPECT_EQ(dmask[3][0] & 0x10, 0);  // ... and its mask bit cleared
    EXPECT_EQ(dmask[1][0] & 0x40, 0x40);
}

// A source without mask or alpha channel takes a path of its own (several pixels at a time where
// the processor allows); a mask with every bit set gives the same pixels through the general
// path, to the bit, in every span length, in 32-bit and 16-bit formats and in both builds.
TEST(TransformPixels, SmoothSourceWithoutPlanesMatchesTheFullyMaskedSource) {
    const int w = 37, h = 23;
    const struct { int format, bytes; } formats[] = {{10, 4}, {11, 4}, {4, 2}, {3, 2}};
    const double matrices[][4] = {{0.866, 0.5, -0.5, 0.866}, {-0.454, -0.891, 0.891, -0.454}, {1.7, 0.3, -0.2, 0.6}};
    std::vector<uint32_t> src((size_t)w * h);
    uint32_t seed = 5;
    for (uint32_t& p : src) p = seed = seed * 1664525u + 1013904223u;
    const int maskBytes = ((w + 15) >> 3) & ~1;
    std::vector<uint8_t> fullMask((size_t)maskBytes * h, 0xFF);
    for (bool avx2 : {true, false}) {
        gQzAvx2KernelsAllowed = avx2;
        for (const auto& fm : formats)
            for (const auto& m : matrices) {
                const int dw = 64, dh = 64, dstMaskBytes = ((dw + 15) >> 3) & ~1;
                std::vector<uint32_t> plain((size_t)dw * dh, 0x5A5A5A5A), masked = plain;
                std::vector<uint8_t> plainMask((size_t)dstMaskBytes * dh, 0), maskedMask = plainMask;
                qzTransformJob j = Job(src.data(), plain.data(), w, h, dw, dh, m);
                j.smooth = 1;
                j.pixelFormat = fm.format;
                j.bytesPerPixel = fm.bytes;
                j.dstMask = plainMask.data();
                j.dstMaskBytesPerRow = dstMaskBytes;
                TransformPixels(&j);
                j.dstPixels = masked.data();
                j.dstMask = maskedMask.data();
                j.srcMask = fullMask.data();
                j.srcMaskBytesPerRow = maskBytes;
                TransformPixels(&j);
                ASSERT_EQ(plain, masked) << "format " << fm.format << ", matrix " << m[0] << ", avx2 " << avx2;
                ASSERT_EQ(plainMask, maskedMask) << "format " << fm.format << ", matrix " << m[0];
            }
    }
    gQzAvx2KernelsAllowed = true;
}

TEST(TransformPixels, SingularAndNonFiniteMatricesDrawNothing) {
    std::vector<uint32_t> src(16, 0x00ABCDEF), dst(16, 7);
    const double singular[][4] = {
        {0, 0, 0, 0}, {1, 2, 2, 4}, {NAN, 0, 0, 1}, {INFINITY, 0, 0, 1}, {1e-300, 0, 0, 1e-300}};
    for (const auto& m : singular) {
        qzTransformJob j{};
        j.srcPixels = src.data();
        j.dstPixels = dst.data();
        j.srcWidth = j.srcHeight = j.dstWidth = j.dstHeight = 4;
        j.srcRowLength = j.dstRowLength = 4;
        j.a = m[0];
        j.b = m[1];
        j.c = m[2];
        j.d = m[3];
        j.bytesPerPixel = 4;
        j.pixelFormat = 10;
        for (int smooth = 0; smooth < 2; smooth++) {
            j.smooth = smooth;
            TransformPixels(&j);
            for (uint32_t p : dst) ASSERT_EQ(p, 7u);
        }
    }
}

// With clearUncovered the kernel leaves what a cleared destination would hold, whatever was there
// before; the mask it makes for a source without planes marks exactly the covered pixels.
TEST(TransformPixels, ClearedUncoveredPixelsAndCoveredMask) {
    const int w = 13, h = 9;
    std::vector<uint32_t> src = CoordImage(w, h);
    for (uint32_t& p : src) p |= 0xFF000000u;  // no covered pixel is 0
    const double turn = 30 * M_PI / 180;
    const double matrices[][4] = {
        {1.7 * std::cos(turn), 1.7 * std::sin(turn), -1.7 * std::sin(turn), 1.7 * std::cos(turn)},
        {0, 1, -1, 0},
        {1, 0.4, 0, 1},
        {0.3, 0, 0, 2.5},
        {1e-300, 0, 0, 1e-300}};
    for (const auto& m : matrices) {
        const int dw = 30, dh = 30, maskBytes = 4;
        std::vector<uint32_t> expected(dw * dh, 0), dst(dw * dh, 0xDEADBEEF);
        std::vector<uint8_t> mask(maskBytes * dh, 0);
        qzTransformJob plain = Job(src.data(), expected.data(), w, h, dw, dh, m);
        TransformPixels(&plain);
        qzTransformJob clearing = Job(src.data(), dst.data(), w, h, dw, dh, m);
        clearing.clearUncovered = 1;
        clearing.dstMask = mask.data();
        clearing.dstMaskBytesPerRow = maskBytes;
        TransformPixels(&clearing);
        ASSERT_EQ(dst, expected) << m[0] << " " << m[1];
        for (int y = 0; y < dh; y++)
            for (int x = 0; x < dw; x++)
                ASSERT_EQ((mask[y * maskBytes + x / 8] >> (7 - x % 8)) & 1, dst[y * dw + x] != 0 ? 1 : 0)
                    << x << "," << y;
    }
}

}  // namespace

}  // namespace transform_pixels_test
