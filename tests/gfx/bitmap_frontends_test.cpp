// The copy, key-mask, flip, pixelate and opacity front-ends on real bitmaps, with their masks and
// alpha channels and their failure paths.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "base/error_codes.h"
#include "gfx/bitmap_lock.h"
#include "gfx/copy_bitmap.h"
#include "gfx/flip_pixelate.h"
#include "gfx/key_mask.h"
#include "gfx/mask_bits.h"
#include "gfx/opacity_blit.h"
#include "platform/os_alloc.h"

namespace bitmap_frontends_test {

namespace {

qzBitMap* Filled(int w, int h, uint32_t (*colour)(int, int)) {
    qzBitMap* bm = CreateBitMap(w, h, 0, nullptr);
    BitMapLock lock(bm, 0);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) ((uint32_t*)lock.info.pixels)[(int64_t)y * lock.info.rowLength + x] = colour(x, y);
    return bm;
}

uint32_t Coord(int x, int y) { return (uint32_t)y << 8 | (uint32_t)x; }

uint32_t Px(const qzBitMap* bm, int x, int y) {
    BitMapLock lock(bm, LOCKF_READONLY);
    return ((const uint32_t*)lock.info.pixels)[(int64_t)y * lock.info.rowLength + x];
}

uint8_t* Bits(const qzBitMap* m) { return (uint8_t*)QueryBitMapAttr(m, BMATTR_MASKPIXELS); }
int Bpr(const qzBitMap* m) { return (int)QueryBitMapAttr(m, BMATTR_MASKBYTESPERROW); }
bool Bit(const qzBitMap* m, int x, int y) { return GetMaskBit(Bits(m) + (int64_t)y * Bpr(m), x); }
uint8_t* Alpha(const qzBitMap* a, int x, int y) {
    return (uint8_t*)QueryBitMapAttr(a, BMATTR_ALPHAPIXELS) + (int64_t)y * QueryBitMapAttr(a, BMATTR_ALPHABYTESPERROW) +
           x;
}

size_t g_failSize = 0;
int FailSize(size_t size) { return size == g_failSize; }

TEST(CopyBitMap, RegionWithMaskAndAlpha) {
    qzBitMap* src = Filled(12, 6, Coord);
    qzBitMap* mask = CreateMaskBitMap(src, 12, 6, 1, nullptr, 0);
    qzBitMap* alpha = CreateAlphaBitMap(12, 6, 1, nullptr, 0);
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 12; x++) {
            if ((x * 3 + y) % 4 == 0) SetMaskBit(Bits(mask) + y * Bpr(mask), x);
            *Alpha(alpha, x, y) = (uint8_t)(x * 20 + y);
        }
    for (int video = 0; video < 2; video++) {
        qzBitMap *b = nullptr, *m = nullptr, *a = nullptr;
        ASSERT_EQ(CopyBitMap(src, mask, alpha, 3, 2, 7, 4, video, &b, &m, &a), 0);
        ASSERT_TRUE(b && m && a);
        EXPECT_EQ(b->width, 7);
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 7; x++) {
                EXPECT_EQ(Px(b, x, y) & 0x00FFFFFF, Coord(x + 3, y + 2)) << video;
                EXPECT_EQ(Bit(m, x, y), Bit(mask, x + 3, y + 2));
                EXPECT_EQ(*Alpha(a, x, y), *Alpha(alpha, x + 3, y + 2));
            }
        DeleteBitMap(b);
        DeleteMaskBitMap(m);
        DeleteAlphaBitMap(a);
    }
    qzBitMap* b = nullptr;
    EXPECT_EQ(CopyBitMap(src, nullptr, nullptr, 6, 0, 7, 6, 0, &b, nullptr, nullptr), ERR_WRONGUSAGE);
    EXPECT_EQ(CopyBitMap(src, nullptr, nullptr, -1, 0, 2, 2, 0, &b, nullptr, nullptr), ERR_WRONGUSAGE);
    // The copy's mask (4 rows of 2 bytes, its friend's rows being 8 pixels) cannot be made: the
    // colour copy made before it is freed too.
    g_failSize = 4 * 2;
    OsSetAllocFailHook(FailSize);
    qzBitMap* m = nullptr;
    EXPECT_EQ(CopyBitMap(src, mask, nullptr, 3, 2, 7, 4, 0, &b, &m, nullptr), ERR_ALLOCMASK);
    OsSetAllocFailHook(nullptr);
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(m, nullptr);
    DeleteBitMap(src);
    DeleteMaskBitMap(mask);
    DeleteAlphaBitMap(alpha);
}

TEST(KeyColorMask, IgnoresTheAlphaByteAndComparesSixteenBitPixelsWhole) {
    struct Case {
        int format;
        uint32_t key;
    } cases[] = {{10, 0x00123456}, {12, 0xFF123456}, {11, 0x00123456}, {13, 0x80123456}, {4, 0x00F80000}};
    for (const Case& c : cases) {
        OsSetScreenPixelFormat(c.format);
        qzBitMap* bm = CreateBitMap(5, 2, 0, nullptr);
        OsSetScreenPixelFormat(-1);
        ASSERT_TRUE(bm);
        {
            BitMapLock lock(bm, 0);
            ASSERT_EQ(lock.info.pixelFormat, c.format);
            const uint32_t keyPixel = ConvertARGBToPixel(c.key, c.format, 0);
            for (int y = 0; y < 2; y++)
                for (int x = 0; x < 5; x++) {
                    // Key pixels with some alpha of their own (32-bit) in columns 1 and 3.
                    uint32_t v =
                        (x == 1 || x == 3) ? ConvertARGBToPixel(c.key | 0x7F000000u, c.format, 1) : keyPixel ^ 0x0808;
                    uint8_t* p =
                        (uint8_t*)lock.info.pixels + ((int64_t)y * lock.info.rowLength + x) * lock.info.bytesPerPixel;
                    std::memcpy(p, &v, lock.info.bytesPerPixel);
                }
        }
        qzBitMap* mask = CreateMaskFromKeyColor(bm, 5, 2, c.key);
        ASSERT_TRUE(mask);
        for (int x = 0; x < 5; x++) EXPECT_EQ(Bit(mask, x, 1), x != 1 && x != 3) << "format " << c.format << " x " << x;
        DeleteMaskBitMap(mask);
        DeleteBitMap(bm);
    }
}

TEST(FlipBitMap, MirrorsPixelsMaskAndAlpha) {
    qzBitMap* bm = Filled(9, 3, Coord);
    qzBitMap* mask = CreateMaskBitMap(nullptr, 9, 3, 1, nullptr, 0);
    qzBitMap* alpha = CreateAlphaBitMap(9, 3, 1, nullptr, 0);
    Bits(mask)[1] = 0x80 | 0x7F;  // bit 8 set, and the 7 padding bits past the width
    *Alpha(alpha, 8, 0) = 77;
    ASSERT_EQ(FlipBitMap(bm, mask, alpha, 9, 3, 0), 0);  // horizontal
    EXPECT_EQ(Px(bm, 0, 1), Coord(8, 1));
    EXPECT_TRUE(Bit(mask, 0, 0));
    EXPECT_FALSE(Bit(mask, 8, 0));
    EXPECT_EQ(Bits(mask)[1] & 0x7F, 0x7F);  // padding stays out of the image
    EXPECT_EQ(*Alpha(alpha, 0, 0), 77);
    ASSERT_EQ(FlipBitMap(bm, mask, alpha, 9, 3, 1), 0);  // vertical
    EXPECT_EQ(Px(bm, 0, 0), Coord(8, 2));
    EXPECT_TRUE(Bit(mask, 0, 2));
    EXPECT_EQ(*Alpha(alpha, 0, 2), 77);
    EXPECT_EQ(FlipBitMap(bm, mask, alpha, 10, 3, 1), ERR_WRONGUSAGE);
    DeleteBitMap(bm);
    DeleteMaskBitMap(mask);
    DeleteAlphaBitMap(alpha);
}

TEST(PixelateBitMap, CellsAndTheirVisibility) {
    qzBitMap* bm = Filled(7, 5, Coord);
    qzBitMap* mask = CreateMaskBitMap(bm, 7, 5, 1, nullptr, 0);
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 7; x++)
            if (!(x == 3 && y == 0)) SetMaskBit(Bits(mask) + y * Bpr(mask), x);
    for (int cell : {0, -4}) EXPECT_EQ(PixelateBitMap(bm, mask, nullptr, 7, 5, cell), ERR_WRONGUSAGE);
    EXPECT_EQ(Px(bm, 1, 1), Coord(1, 1));  // untouched by the refused calls
    ASSERT_EQ(PixelateBitMap(bm, mask, nullptr, 7, 5, 3), 0);
    EXPECT_EQ(Px(bm, 2, 2), Coord(0, 0));
    EXPECT_EQ(Px(bm, 6, 4), Coord(6, 3));  // clipped corner cell: its own top-left
    EXPECT_EQ(Px(bm, 4, 1), Coord(4, 1));  // hidden cell: colours kept...
    EXPECT_FALSE(Bit(mask, 4, 1));         // ...and made invisible
    EXPECT_TRUE(Bit(mask, 1, 1));
    ASSERT_EQ(PixelateBitMap(bm, nullptr, nullptr, 7, 5, 50), 0);  // one cell: the top-left colour
    EXPECT_EQ(Px(bm, 6, 4), Coord(0, 0));
    DeleteBitMap(bm);
    DeleteMaskBitMap(mask);
}

TEST(OpacityBlit, OpacityMaskAlphaAndClipping) {
    qzBitMap* src = Filled(4, 4, [](int, int) { return 0x00FF8000u; });
    qzBitMap* dst = Filled(6, 6, [](int, int) { return 0x00000080u; });
    ASSERT_EQ(BlitBitMapWithOpacity(dst, src, nullptr, 0, 0, 0, 0, 4, 4, 255, nullptr, 0, 0), 0);
    EXPECT_EQ(Px(dst, 3, 3), 0x00FF8000u);
    EXPECT_EQ(Px(dst, 4, 4), 0x00000080u);
    // 128: d = s + ((127 * (d - s)) >> 8), channel by channel; clipped at the left and top.
    qzBitMap* dst2 = Filled(6, 6, [](int, int) { return 0x00000080u; });
    ASSERT_EQ(BlitBitMapWithOpacity(dst2, src, nullptr, -2, -1, 0, 0, 4, 4, 128, nullptr, 0, 0), 0);
    const uint32_t mixed = (uint32_t)(255 + ((127 * (0 - 255)) >> 8)) << 16 |
                           (uint32_t)(128 + ((127 * (0 - 128)) >> 8)) << 8 | (uint32_t)(0 + ((127 * (128 - 0)) >> 8));
    EXPECT_EQ(Px(dst2, 0, 0), mixed);
    EXPECT_EQ(Px(dst2, 1, 2), mixed);
    EXPECT_EQ(Px(dst2, 2, 0), 0x00000080u);
    // Through a mask: only set bits draw.
    qzBitMap* mask = CreateMaskBitMap(src, 4, 4, 1, nullptr, 0);
    SetMaskBit(Bits(mask) + Bpr(mask), 2);
    qzBitMap* dst3 = Filled(6, 6, [](int, int) { return 0x00000080u; });
    ASSERT_EQ(BlitBitMapWithOpacity(dst3, src, mask, 0, 0, 0, 0, 4, 4, 255, nullptr, 0, 0), 0);
    EXPECT_EQ(Px(dst3, 2, 1), 0x00FF8000u);
    EXPECT_EQ(Px(dst3, 1, 1), 0x00000080u);
    // Through an alpha channel weighted by the opacity: 200 * 128 / 255 = 100.
    qzBitMap* alpha = CreateAlphaBitMap(4, 4, 1, nullptr, 0);
    *Alpha(alpha, 1, 1) = 200;
    *Alpha(alpha, 2, 2) = 255;
    qzBitMap* dst4 = Filled(6, 6, [](int, int) { return 0x00000080u; });
    ASSERT_EQ(BlitBitMapWithOpacity(dst4, src, nullptr, 0, 0, 0, 0, 4, 4, 128, alpha, 4, 4), 0);
    EXPECT_EQ(Px(dst4, 0, 0), 0x00000080u);
    EXPECT_EQ(Px(dst4, 1, 1) & 0xFF0000, (uint32_t)((255 * 100) >> 8) << 16);
    EXPECT_EQ(*Alpha(alpha, 1, 1), 200);  // the caller's alpha channel is not changed
    for (qzBitMap* b : {src, dst, dst2, dst3, dst4}) DeleteBitMap(b);
    DeleteMaskBitMap(mask);
    DeleteAlphaBitMap(alpha);
}

}  // namespace

}  // namespace bitmap_frontends_test
