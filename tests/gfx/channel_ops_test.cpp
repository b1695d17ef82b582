// Alpha-channel and mask operations on whole bitmaps: what each writes, and that any rectangle is
// cut to the parts inside both bitmaps.
#include <gtest/gtest.h>

#include <vector>

#include "base/error_codes.h"
#include "gfx/channel_ops.h"
#include "gfx/mask_bits.h"

namespace channel_ops_test {

namespace {

// An alpha channel or mask with bytes set from a function of x, y (bits for masks).
qzBitMap* MakeAlpha(int w, int h, int (*value)(int, int)) {
    qzBitMap* bm = CreateAlphaBitMap(w, h, 1, nullptr, 0);
    qzLockInfo lock;
    LockBitMapPixels(bm, 0, &lock);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            RowAt(static_cast<uint8_t*>(lock.pixels), y, lock.rowLength)[x] = (uint8_t)value(x, y);
    UnlockBitMapPixels(&lock);
    return bm;
}

qzBitMap* MakeMask(int w, int h, int (*bit)(int, int)) {
    qzBitMap* bm = CreateMaskBitMap(nullptr, w, h, 1, nullptr, 0);
    qzLockInfo lock;
    LockBitMapPixels(bm, 0, &lock);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            PutMaskBit(RowAt(static_cast<uint8_t*>(lock.pixels), y, lock.rowLength), x, bit(x, y));
    UnlockBitMapPixels(&lock);
    return bm;
}

int AlphaAt(const qzBitMap* alpha, int x, int y) {
    auto* bytes = reinterpret_cast<const uint8_t*>(QueryBitMapAttr(alpha, BMATTR_ALPHAPIXELS));
    return bytes[y * QueryBitMapAttr(alpha, BMATTR_ALPHABYTESPERROW) + x];
}

int BitAt(const qzBitMap* mask, int x, int y) {
    auto* bytes = reinterpret_cast<const uint8_t*>(QueryBitMapAttr(mask, BMATTR_MASKPIXELS));
    return GetMaskBit(bytes + y * QueryBitMapAttr(mask, BMATTR_MASKBYTESPERROW), x);
}

int Checker(int x, int y) { return (x + y) & 1; }
int Ramp(int x, int y) { return 10 * y + x + 1; }
int Seven(int, int) { return 7; }

}  // namespace

TEST(ChannelOps, MaskToAlphaClearsWhereBlitMaskRectKeeps) {
    qzBitMap* mask = MakeMask(6, 4, Checker);
    qzBitMap* a = MakeAlpha(6, 4, Seven);
    qzBitMap* b = MakeAlpha(6, 4, Seven);
    // The mask starts one pixel outside: alpha (x, y) takes mask bit (x - 1, y - 1), and the
    // rectangle is cut to the overlap.
    EXPECT_EQ(MaskToAlpha(mask, -1, -1, a, 0, 0, 10, 10, 200), 0);
    EXPECT_EQ(BlitMaskRect(mask, -1, -1, b, 0, 0, 10, 10, 200), 0);
    for (int y = 0; y < 4; y++) {
        for (int x = 0; x < 6; x++) {
            bool inside = x >= 1 && y >= 1;
            int bit = inside ? Checker(x - 1, y - 1) : 0;
            EXPECT_EQ(AlphaAt(a, x, y), inside ? (bit ? 200 : 0) : 7) << x << "," << y;
            EXPECT_EQ(AlphaAt(b, x, y), bit ? 200 : 7) << x << "," << y;
        }
    }
    DeleteMaskBitMap(mask);
    DeleteAlphaBitMap(a);
    DeleteAlphaBitMap(b);
}

TEST(ChannelOps, AlphaRectanglesAreCutToBothChannels) {
    qzBitMap* src = MakeAlpha(5, 3, Ramp);
    qzBitMap* dst = MakeAlpha(7, 4, Seven);
    // A negative destination moves the source origin: destination (0, 0) takes source (2, 1).
    EXPECT_EQ(BlitAlphaRectClipped(src, 0, 0, dst, -2, -1, 100, 100, 0, 0), 0);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 7; x++)
            EXPECT_EQ(AlphaAt(dst, x, y), (x < 3 && y < 2) ? Ramp(x + 2, y + 1) : 7) << x << "," << y;
    // Mode 4 scales by the level; a rectangle outside both does nothing.
    EXPECT_EQ(BlitAlphaRect(src, 0, 0, dst, 6, 3, 4, 4, 4, 255), 0);
    EXPECT_EQ(AlphaAt(dst, 6, 3), Ramp(0, 0));
    EXPECT_EQ(BlitAlphaRect(src, 5, 0, dst, 0, 0, 4, 4, 0, 0), 0);
    EXPECT_EQ(BlitAlphaRect(src, 0, 0, dst, -4, 0, 4, 4, 0, 0), 0);
    EXPECT_EQ(AlphaAt(dst, 0, 3), 7);

    EXPECT_EQ(FillAlphaRect(dst, 5, -2, 10, 4, 99), 0);
    EXPECT_EQ(AlphaAt(dst, 6, 1), 99);
    EXPECT_EQ(AlphaAt(dst, 4, 1), 7);
    EXPECT_EQ(AlphaAt(dst, 6, 2), 7);

    EXPECT_EQ(ScaleAlphaChannel(src, src, 2, 128), 0);
    EXPECT_EQ(AlphaAt(src, 4, 1), Ramp(4, 1) * 128 / 255);
    EXPECT_EQ(AlphaAt(src, 4, 2), Ramp(4, 2));

    qzBitMap* copy = CopyAlphaBitMap(src, 5, 3);
    ASSERT_NE(copy, nullptr);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 5; x++) EXPECT_EQ(AlphaAt(copy, x, y), AlphaAt(src, x, y));
    EXPECT_EQ(FillAlphaRect(nullptr, 0, 0, 1, 1, 0), ERR_LOCKBMAP);
    DeleteAlphaBitMap(copy);
    DeleteAlphaBitMap(src);
    DeleteAlphaBitMap(dst);
}

TEST(ChannelOps, AlphaToMaskAndAlphaFromPixels) {
    qzBitMap* alpha = MakeAlpha(9, 2, [](int x, int) { return x % 3 == 0 ? 255 : 254; });
    qzBitMap* mask = MakeMask(9, 2, [](int, int) { return 1; });
    EXPECT_EQ(AlphaToMask(alpha, 0, 0, mask, 0, 0, 9, 2, 1), 0);  // clear where visible, set elsewhere
    for (int x = 0; x < 9; x++) EXPECT_EQ(BitAt(mask, x, 1), x % 3 == 0 ? 0 : 1) << x;

    const uint32_t argb[6] = {0x01000000, 0x02000000, 0xFF000000, 0x04FFFFFF, 0x05000000, 0x06000000};
    qzBitMap* fromData = CreateAlphaBitMapFromData(argb, 2, 2, 3);
    ASSERT_NE(fromData, nullptr);
    EXPECT_EQ(AlphaAt(fromData, 1, 0), 2);
    EXPECT_EQ(AlphaAt(fromData, 0, 1), 4);
    EXPECT_EQ(AlphaAt(fromData, 1, 1), 5);
    double m[4] = {5, 5, 5, 5};
    InitIdentityMatrix(m);
    EXPECT_EQ(m[0] + m[3], 2);
    EXPECT_EQ(m[1] + m[2], 0);
    DeleteAlphaBitMap(fromData);
    DeleteAlphaBitMap(alpha);
    DeleteMaskBitMap(mask);
}

TEST(ChannelOps, PolygonIntoMask) {
    // A square 2..5 x 1..3 and a triangle reaching past the bottom: bits are only set, and only
    // inside the mask's rows.
    qzBitMap* mask = MakeMask(12, 6, [](int x, int) { return x == 11 ? 1 : 0; });
    const qzPoint square[4] = {{2, 1}, {6, 1}, {6, 4}, {2, 4}};
    EXPECT_EQ(FillMaskPolygon(mask, square, 4), 0);
    const qzPoint triangle[3] = {{8, 4}, {10, 40}, {6, 40}};
    EXPECT_EQ(FillMaskPolygon(mask, triangle, 3), 0);
    EXPECT_EQ(FillMaskPolygon(mask, square, 2), 0);
    int set = 0;
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 12; x++) set += BitAt(mask, x, y);
    EXPECT_EQ(BitAt(mask, 2, 1), 1);
    EXPECT_EQ(BitAt(mask, 5, 3), 1);
    EXPECT_EQ(BitAt(mask, 1, 2), 0);
    EXPECT_EQ(BitAt(mask, 6, 0), 0);
    EXPECT_EQ(BitAt(mask, 11, 5), 1);
    EXPECT_EQ(BitAt(mask, 8, 5), 1);
    EXPECT_GT(set, 4 * 3 + 6);
    EXPECT_EQ(FillMaskPolygon(nullptr, square, 4), ERR_LOCKBMAP);
    DeleteMaskBitMap(mask);
}

}  // namespace channel_ops_test
