// The geometry front-ends on real bitmaps: ScaleBitMap, TransformBitMap and the bounds of
// transformed rectangles, with their failure paths.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "base/error_codes.h"
#include "gfx/bitmap_lock.h"
#include "gfx/scale_bitmap.h"
#include "gfx/transform_bitmap.h"
#include "platform/os_alloc.h"

namespace bitmap_geometry_test {

namespace {

// A colour bitmap whose pixels name their position (row << 12 | column).
qzBitMap* CoordBitMap(int w, int h) {
    qzBitMap* bm = CreateBitMap(w, h, 0, nullptr);
    BitMapLock lock(bm, 0);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            ((uint32_t*)lock.info.pixels)[(int64_t)y * lock.info.rowLength + x] = (uint32_t)y << 12 | x;
    return bm;
}

uint32_t Pixel(const qzBitMap* bm, int x, int y) {
    BitMapLock lock(bm, LOCKF_READONLY);
    return ((const uint32_t*)lock.info.pixels)[(int64_t)y * lock.info.rowLength + x];
}

bool MaskAt(const qzBitMap* mask, int x, int y) {
    const uint8_t* bits = (const uint8_t*)QueryBitMapAttr(mask, BMATTR_MASKPIXELS);
    const int bpr = (int)QueryBitMapAttr(mask, BMATTR_MASKBYTESPERROW);
    return (bits[(int64_t)y * bpr + (x >> 3)] >> (7 - (x & 7))) & 1;
}

uint8_t AlphaAt(const qzBitMap* alpha, int x, int y) {
    const uint8_t* bytes = (const uint8_t*)QueryBitMapAttr(alpha, BMATTR_ALPHAPIXELS);
    return bytes[(int64_t)y * QueryBitMapAttr(alpha, BMATTR_ALPHABYTESPERROW) + x];
}

// Fails allocations of one size.
size_t g_failSize = 0;
int FailSize(size_t size) { return size == g_failSize; }

TEST(ScaleBitMap, ScalesARectangleWithItsMaskAndAlpha) {
    qzBitMap* src = CoordBitMap(20, 10);
    qzBitMap* mask = CreateMaskBitMap(src, 20, 10, 1, nullptr, 0);
    qzBitMap* alpha = CreateAlphaBitMap(20, 10, 1, nullptr, 0);
    uint8_t* bits = (uint8_t*)QueryBitMapAttr(mask, BMATTR_MASKPIXELS);
    bits[(int64_t)3 * QueryBitMapAttr(mask, BMATTR_MASKBYTESPERROW) + 0] = 0x20;  // (2, 3) visible
    ((uint8_t*)QueryBitMapAttr(alpha, BMATTR_ALPHAPIXELS))[3 * QueryBitMapAttr(alpha, BMATTR_ALPHABYTESPERROW) + 2] =
        99;
    for (int smooth = 0; smooth < 2; smooth++) {
        qzBitMap *out = nullptr, *outMask = nullptr, *outAlpha = nullptr;
        ASSERT_EQ(ScaleBitMap(src, mask, alpha, 2, 3, nullptr, 4, 2, 8, 4, smooth, &out, &outMask, &outAlpha), 0);
        ASSERT_TRUE(out && outMask && outAlpha);
        EXPECT_EQ(out->width, 8);
        EXPECT_EQ(out->height, 4);
        EXPECT_EQ(Pixel(out, 0, 0) & 0x00FFFFFF, (3u << 12 | 2) & 0x00FFFFFF);
        // Nearest doubles the visible column; smooth samples at 0, 0.375, 0.75, 1.125 and
        // scales only the mask when there are both.
        const int visible = smooth ? 3 : 2;
        for (int x = 0; x < 8; x++) EXPECT_EQ(MaskAt(outMask, x, 0), x < visible) << smooth << " " << x;
        EXPECT_EQ(AlphaAt(outAlpha, 0, 0), smooth ? 0 : 99);
        DeleteBitMap(out);
        DeleteMaskBitMap(outMask);
        DeleteAlphaBitMap(outAlpha);
    }
    // Into an existing bitmap: only the colour, at its top-left.
    qzBitMap* existing = CreateBitMap(10, 10, 0, nullptr);
    ASSERT_EQ(ScaleBitMap(src, mask, alpha, 0, 0, existing, 20, 10, 10, 5, 0, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(Pixel(existing, 3, 2), 4u << 12 | 6);
    EXPECT_EQ(ScaleBitMap(src, nullptr, nullptr, 0, 0, existing, 20, 10, 11, 5, 0, nullptr, nullptr, nullptr),
              ERR_WRONGUSAGE);
    DeleteBitMap(existing);
    DeleteBitMap(src);
    DeleteMaskBitMap(mask);
    DeleteAlphaBitMap(alpha);
}

TEST(ScaleBitMap, EmptySizesBadRectanglesAndFailuresMakeNothing) {
    qzBitMap* src = CoordBitMap(8, 8);
    qzBitMap* mask = CreateMaskBitMap(src, 8, 8, 0, nullptr, 0);
    qzBitMap* out = (qzBitMap*)&out;
    EXPECT_EQ(ScaleBitMap(src, nullptr, nullptr, 0, 0, nullptr, 8, 8, 0, 5, 0, &out, nullptr, nullptr), 0);
    EXPECT_EQ(out, (qzBitMap*)&out);  // untouched: nothing made
    const int bad[][4] = {{-1, 0, 8, 8}, {1, 0, 8, 8}, {0, 0, 0, 8}, {4, 4, 5, 4}};
    for (const auto& r : bad)
        EXPECT_EQ(ScaleBitMap(src, nullptr, nullptr, r[0], r[1], nullptr, r[2], r[3], 4, 4, 0, &out, nullptr, nullptr),
                  ERR_WRONGUSAGE);
    // The step tables, the colour bitmap's pixels and the mask fail in turn: the error names
    // what could not be made, and whatever was made before it is freed (the leak checker sees
    // the rest).
    const struct {
        size_t size;
        int width, code;
    } failures[] = {{5001 * 4, 5000, ERR_MEM}, {300 * 300 * 4, 300, ERR_BITMAP}, {300 * 38, 300, ERR_ALLOCMASK}};
    for (const auto& f : failures) {
        g_failSize = f.size;
        OsSetAllocFailHook(FailSize);
        qzBitMap *b = nullptr, *m = nullptr;
        int err = ScaleBitMap(src, mask, nullptr, 0, 0, nullptr, 8, 8, f.width, 300, 0, &b, &m, nullptr);
        OsSetAllocFailHook(nullptr);
        EXPECT_EQ(err, f.code) << f.size;
        EXPECT_EQ(b, nullptr);
        EXPECT_EQ(m, nullptr);
    }
    FreeScaleBitMapTables();
    DeleteMaskBitMap(mask);
    DeleteBitMap(src);
}

TEST(MatrixBounds, SizesAndTransformedRectangles) {
    const double identity[4] = {1, 0, 0, 1};
    int w, h;
    GetMatrixBounds(10, 10, identity, &w, &h);
    EXPECT_EQ(w, 10);
    EXPECT_EQ(h, 10);
    const double r = 90 * M_PI / 180;
    const double quarter[4] = {std::cos(r), std::sin(r), -std::sin(r), std::cos(r)};  // carries 6e-17 noise
    GetMatrixBounds(10, 4, quarter, &w, &h);
    EXPECT_EQ(w, 4);
    EXPECT_EQ(h, 10);
    const double shear[4] = {1, 0, 0.5, 1};
    GetMatrixBounds(10, 4, shear, &w, &h);
    EXPECT_EQ(w, 12);
    EXPECT_EQ(h, 4);
    const double half[4] = {0.3, 0, 0, 0.3};
    GetMatrixBounds(10, 10, half, &w, &h);
    EXPECT_EQ(w, 3);

    // About the centre, a quarter turn of a 10 x 4 rectangle at (100, 50).
    int x, y;
    double maxX, maxY;
    const double exact[4] = {0, 1, -1, 0};
    GetTransformedRectBounds(100, 50, 10, 4, 0.5, 0.5, exact, &x, &y, &w, &h, &maxX, &maxY);
    EXPECT_EQ(x, 100 + 4);
    EXPECT_EQ(y, 50 - 3);
    EXPECT_EQ(w, 4);
    EXPECT_EQ(h, 10);
    EXPECT_DOUBLE_EQ(maxX, 7.0);
    EXPECT_DOUBLE_EQ(maxY, 6.0);
    // A rectangle whose corners all lie far beyond 100000 still gets its own bounds.
    const double big[4] = {1000, 0, 0, 1000};
    GetTransformedRectBounds(0, 0, 400, 300, 0, 0, big, &x, &y, &w, &h, &maxX, &maxY);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(w, 399001);
    EXPECT_EQ(h, 299001);
    const double shrink[4] = {-0.001, 0, 0, -0.001};
    GetTransformedRectBounds(0, 0, 10, 10, 0, 0, shrink, &x, &y, &w, &h, nullptr, nullptr);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 1);
}

TEST(TransformBitMap, QuarterTurnWithMaskAndSingularMatrices) {
    qzBitMap* src = CoordBitMap(6, 3);
    const double quarter[4] = {0, 1, -1, 0};
    qzBitMap *out = nullptr, *mask = nullptr, *alpha = nullptr;
    ASSERT_EQ(TransformBitMap(src, nullptr, nullptr, 6, 3, quarter, 0, &out, &mask, &alpha), 0);
    ASSERT_TRUE(out && mask);
    EXPECT_EQ(alpha, nullptr);
    EXPECT_EQ(out->width, 3);
    EXPECT_EQ(out->height, 6);
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 3; x++) {
            EXPECT_EQ(Pixel(out, x, y), (uint32_t)(2 - x) << 12 | y) << x << "," << y;
            EXPECT_TRUE(MaskAt(mask, x, y));
        }
    DeleteBitMap(out);
    DeleteMaskBitMap(mask);
    // A 45-degree turn: the corners of the destination are not covered and stay masked out.
    qzBitMap* srcAlpha = CreateAlphaBitMap(6, 3, 0, nullptr, 0);
    std::memset((void*)QueryBitMapAttr(srcAlpha, BMATTR_ALPHAPIXELS), 200,
                3 * QueryBitMapAttr(srcAlpha, BMATTR_ALPHABYTESPERROW));
    const double turn[4] = {M_SQRT1_2, M_SQRT1_2, -M_SQRT1_2, M_SQRT1_2};
    out = mask = alpha = nullptr;
    ASSERT_EQ(TransformBitMap(src, nullptr, srcAlpha, 6, 3, turn, 1, &out, &mask, &alpha), 0);
    EXPECT_EQ(mask, nullptr);  // an alpha channel carries the coverage
    ASSERT_TRUE(alpha);
    EXPECT_EQ(AlphaAt(alpha, 0, 0), 0);
    EXPECT_EQ(AlphaAt(alpha, out->width / 2, out->height / 2), 200);
    DeleteBitMap(out);
    DeleteAlphaBitMap(alpha);
    DeleteAlphaBitMap(srcAlpha);
    const double singular[][4] = {{0, 0, 0, 0}, {2, 1, 4, 2}, {NAN, 0, 0, 1}, {1, 0, 0, INFINITY}};
    for (const auto& m : singular) {
        out = nullptr;
        EXPECT_EQ(TransformBitMap(src, nullptr, nullptr, 6, 3, m, 0, &out, nullptr, nullptr), ERR_WRONGUSAGE);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(TransformBitMap(src, nullptr, nullptr, 7, 3, quarter, 0, &out, nullptr, nullptr), ERR_WRONGUSAGE);
    DeleteBitMap(src);
}

}  // namespace

}  // namespace bitmap_geometry_test
