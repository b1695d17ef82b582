#include <gtest/gtest.h>

#include <climits>

#include "base/pixel_format_codes.h"
#include "platform/os_bitmap.h"

namespace os_bitmap_test {

TEST(OsBitMap, RowsArePaddedToFourPixelsInTheScreenFormat) {
    ASSERT_EQ(OsGetScreenPixelFormat(), -1);
    EXPECT_EQ(OsGetScreenDepth(), 32);
    struct Case {
        int format, width, bytesPerRow, depth;
    };
    const Case cases[] = {
        {-1, 10, 48, 32},           {-1, 12, 48, 32},           {-1, 1, 16, 32}, {PIXFMT_RGB565, 10, 24, 16},
        {PIXFMT_RGB555, 5, 16, 16}, {PIXFMT_BGRA32, 3, 16, 32},
    };
    for (const Case& c : cases) {
        OsSetScreenPixelFormat(c.format);
        qzRawBitMap* raw = OsAllocBitMap(c.width, 2);
        ASSERT_NE(raw, nullptr);
        EXPECT_EQ(raw->width, c.width);
        EXPECT_EQ(raw->height, 2);
        EXPECT_EQ(raw->bytesPerRow, c.bytesPerRow) << c.format << " " << c.width;
        EXPECT_EQ(raw->pixelFormat, c.format == -1 ? PIXFMT_ARGB32 : c.format);
        EXPECT_EQ(OsGetScreenDepth(), c.depth);
        // Every byte of every padded row is ours to write.
        for (int i = 0; i < raw->bytesPerRow * 2; i++) static_cast<unsigned char*>(raw->pixels)[i] = (unsigned char)i;

        qzLockInfo lock{};
        int32_t prepared = 7;
        EXPECT_EQ(OsLockBitMap(raw, 0, &prepared), 1);
        EXPECT_EQ(prepared, 0);
        ASSERT_EQ(OsGetBitMapInfo(raw, &lock), 1);
        EXPECT_EQ(lock.pixels, raw->pixels);
        EXPECT_EQ(lock.success, 1);
        EXPECT_EQ(lock.rowLength, c.bytesPerRow / raw->bytesPerPixel);
        EXPECT_EQ(lock.width, c.width);
        EXPECT_EQ(OsGetBitMapAttr(raw, OSBMATTR_ROWLENGTH), lock.rowLength);
        EXPECT_EQ(OsGetBitMapAttr(raw, OSBMATTR_PIXELFORMAT), raw->pixelFormat);
        EXPECT_EQ(OsGetBitMapAttr(raw, OSBMATTR_PIXELS), (intptr_t)raw->pixels);
        EXPECT_EQ(OsGetBitMapAttr(raw, 5), 0);
        OsFreeBitMap(raw);
    }
    OsSetScreenPixelFormat(-1);
    qzLockInfo lock{};
    lock.success = 5;
    EXPECT_EQ(OsGetBitMapInfo(nullptr, &lock), 0);
    EXPECT_EQ(lock.success, 0);
    OsFreeBitMap(nullptr);
}

TEST(OsBitMap, ImpossibleSizesAreRefusedBeforeAllocating) {
    // In 32-bit arithmetic these sizes wrap around to small blocks (65536 x 16384 x 4 = 2^32 is 0);
    // they are refused instead, as is anything over 2^31-1 bytes.
    EXPECT_EQ(OsAllocBitMap(0, 10), nullptr);
    EXPECT_EQ(OsAllocBitMap(10, 0), nullptr);
    EXPECT_EQ(OsAllocBitMap(-4, 10), nullptr);
    EXPECT_EQ(OsAllocBitMap(INT_MAX, 1), nullptr);
    EXPECT_EQ(OsAllocBitMap(0x20000000, 1), nullptr);
    EXPECT_EQ(OsAllocBitMap(65536, 16384), nullptr);
    EXPECT_EQ(OsAllocBitMap(16384, 32768), nullptr);
    EXPECT_EQ(OsAllocBitMap(INT_MAX, INT_MAX), nullptr);
}

}  // namespace os_bitmap_test
