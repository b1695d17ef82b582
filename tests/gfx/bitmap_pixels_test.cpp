// Reading bitmaps back as ARGB, bitmaps built from ARGB with their masks and alpha channels, and
// the image cache.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/error_codes.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/channel_ops.h"
#include "gfx/image_cache.h"
#include "gfx/mask_bits.h"
#include "platform/os_alloc.h"

namespace bitmap_pixels_test {

namespace {

qzBitMap* BitMapOf(const std::vector<uint32_t>& argb, int w, int h) {
    qzBitMap* bm = nullptr;
    EXPECT_EQ(CreateBitMapFromARGB(argb.data(), QZ_NO_KEY_COLOR, w, h, w, 0, 0, nullptr, &bm, nullptr, nullptr), 0);
    return bm;
}

}  // namespace

TEST(BitMapPixels, ReadBackDropsOrKeepsAlphaAsTheFormatSays) {
    const std::vector<uint32_t> argb = {0x80112233, 0x00445566, 0xFF778899, 0x12ABCDEF, 0x34000000, 0x56FFFFFF};
    qzBitMap* bm = BitMapOf(argb, 3, 2);
    ASSERT_NE(bm, nullptr);
    // Format 10 keeps the stored alpha; a single pixel never has any; outside reads 0.
    uint32_t* all = ReadBitMapPixels(bm, 0, 0, 3, 2, LOCKF_READONLY);
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(std::vector<uint32_t>(all, all + 6), argb);
    OsFree(all);
    EXPECT_EQ(ReadBitMapPixel(bm, 0, 0, 0), 0x00112233u);
    EXPECT_EQ(ReadBitMapPixel(bm, 2, 1, 0), 0x00FFFFFFu);
    EXPECT_EQ(ReadBitMapPixel(bm, 3, 0, 0), 0u);
    EXPECT_EQ(ReadBitMapPixel(bm, 0, -1, 0), 0u);
    // A rectangle reaching outside: the outside part reads 0.
    uint32_t* part = ReadBitMapPixels(bm, 1, -1, 3, 2, 0);
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(std::vector<uint32_t>(part, part + 6), (std::vector<uint32_t>{0, 0, 0, 0x00445566, 0xFF778899, 0}));
    OsFree(part);
    // A buffer over 2^31-1 bytes is refused before anything is allocated.
    EXPECT_EQ(ReadBitMapPixels(bm, 0, 0, 65536, 8192, 0), nullptr);
    EXPECT_EQ(ReadBitMapPixels(bm, 0, 0, 0x7FFFFFFF, 0x7FFFFFFF, 0), nullptr);
    DeleteBitMap(bm);

    // A 15-bit bitmap reads pixel by pixel, with alpha 0 and the low bits 0.
    OsSetScreenPixelFormat(PIXFMT_RGB555);
    bm = BitMapOf(argb, 3, 2);
    OsSetScreenPixelFormat(-1);
    all = ReadBitMapPixels(bm, 0, 0, 3, 2, 0);
    ASSERT_NE(all, nullptr);
    for (int i = 0; i < 6; i++) EXPECT_EQ(all[i], argb[i] & 0x00F8F8F8) << i;
    OsFree(all);
    DeleteBitMap(bm);

    qzBitMap* mask = CreateMaskBitMap(nullptr, 10, 2, 1, nullptr, 0);
    qzLockInfo lock;
    ASSERT_TRUE(LockBitMapPixels(mask, 0, &lock));
    SetMaskBit(static_cast<uint8_t*>(lock.pixels) + lock.rowLength, 9);
    UnlockBitMapPixels(&lock);
    EXPECT_EQ(ReadBitMapPixel(mask, 9, 1, 1), 1u);
    EXPECT_EQ(ReadBitMapPixel(mask, 8, 1, 1), 0u);
    EXPECT_EQ(ReadBitMapPixel(mask, 10, 1, 1), 0u);
    DeleteMaskBitMap(mask);
}

TEST(BitMapPixels, KeyColourMaskAndAlphaFromArgb) {
    // Key colour 0x00FF00FF: compared by RGB only, whatever the alpha.
    const std::vector<uint32_t> argb = {0x80FF00FF, 0xFF123456, 0x00FF00FF, 0x40FF00FE, 0xFFFFFFFF, 0x00000000};
    qzBitMap *bm = nullptr, *mask = nullptr, *alpha = nullptr;
    ASSERT_EQ(CreateBitMapFromARGB(argb.data(), 0x00FF00FF, 3, 2, 3, 1, 2, nullptr, &bm, &mask, &alpha), 0);
    ASSERT_NE(mask, nullptr);
    ASSERT_NE(alpha, nullptr);
    const int bits[6] = {0, 1, 0, 1, 1, 1};
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(ReadBitMapPixel(mask, i % 3, i / 3, 1), (uint32_t)bits[i]) << i;
        EXPECT_EQ(ReadBitMapPixel(bm, i % 3, i / 3, 0), argb[i] & 0xFFFFFF) << i;
    }
    // Masked read-back: hidden pixels become the key colour, or lose their alpha; the alpha
    // channel supplies alpha, and its zeros take the key's RGB.
    uint32_t* keyed = ReadBitMapPixelsMasked(bm, 0, 0, 3, 2, mask, nullptr, 0x11223344, 0, 0);
    uint32_t* fromMask = ReadBitMapPixelsMasked(bm, 0, 0, 3, 2, mask, nullptr, QZ_NO_KEY_COLOR, 1, 0);
    uint32_t* fromAlpha = ReadBitMapPixelsMasked(bm, 0, 0, 3, 2, nullptr, alpha, 0x11223344, 0, 0);
    uint32_t* opaque = ReadBitMapPixelsMasked(bm, 0, 0, 3, 2, nullptr, nullptr, QZ_NO_KEY_COLOR, 0, 0);
    ASSERT_TRUE(keyed && fromMask && fromAlpha && opaque);
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(keyed[i], bits[i] ? argb[i] : 0x11223344u) << i;
        EXPECT_EQ(fromMask[i], bits[i] ? (argb[i] | 0xFF000000) : (argb[i] & 0xFFFFFF)) << i;
        EXPECT_EQ(fromAlpha[i], (argb[i] >> 24) ? argb[i] : 0x00223344u) << i;
        EXPECT_EQ(opaque[i], argb[i] | 0xFF000000) << i;
    }
    for (uint32_t* p : {keyed, fromMask, fromAlpha, opaque}) OsFree(p);
    DeleteBitMap(bm);
    DeleteMaskBitMap(mask);
    DeleteAlphaBitMap(alpha);

    // Without the video flag no alpha channel is made; unwanted masks are not kept.
    ASSERT_EQ(CreateBitMapFromARGB(argb.data(), 0x00FF00FF, 3, 2, 3, 0, 2, nullptr, &bm, nullptr, &alpha), 0);
    EXPECT_EQ(alpha, nullptr);
    DeleteBitMap(bm);
}

TEST(BitMapPixels, FailedBuildsReportTheirStepAndLeaveNothing) {
    const std::vector<uint32_t> argb(16, 0xFF00FF00);
    static int countdown;
    OsSetAllocFailHook([](size_t) { return --countdown == 0 ? 1 : 0; });
    // Allocations: colour bitmap 1-3, mask 4-6, alpha channel 7-9.
    struct Case {
        int failing, error;
    };
    const Case cases[] = {
        {1, ERR_BITMAP},     {3, ERR_BITMAP}, {4, ERR_ALLOCMASK}, {6, ERR_ALLOCMASK}, {7, ERR_ALLOCALPHA},
        {9, ERR_ALLOCALPHA}, {10, 0}};
    for (const Case& c : cases) {
        countdown = c.failing;
        qzBitMap *bm = nullptr, *mask = nullptr, *alpha = nullptr;
        EXPECT_EQ(CreateBitMapFromARGB(argb.data(), 0x123456, 4, 4, 4, 1, 2, nullptr, &bm, &mask, &alpha), c.error)
            << c.failing;
        EXPECT_EQ(bm != nullptr, c.error == 0);
        EXPECT_EQ(mask != nullptr, c.error == 0);
        DeleteBitMap(bm);
        DeleteMaskBitMap(mask);
        DeleteAlphaBitMap(alpha);
    }
    OsSetAllocFailHook(nullptr);
}

namespace {

int gReferences;
void Retain(void*) { gReferences++; }
void Release(void*) { gReferences--; }

}  // namespace

TEST(ImageCache, FindsByNameWithoutCaseAndHandsOutCopies) {
    SetImageCacheObjectRefs(Retain, Release);
    int object1 = 0, object2 = 0;
    qzBitMap* alpha = CreateAlphaBitMap(3, 2, 1, nullptr, 0);
    FillAlphaRect(alpha, 1, 1, 1, 1, 77);
    EXPECT_EQ(AddImageToCache("Bilder/\xC9t\xE9.png", 3, 2, 24, &object1, alpha, 5), 0);
    EXPECT_EQ(AddImageToCache("plain.jpg", 8, 9, 32, &object2, nullptr, 0), 0);
    EXPECT_EQ(gReferences, 2);
    DeleteAlphaBitMap(alpha);  // the cache holds its own copy

    int w = 0, h = 0, depth = 0;
    uint32_t flags = 0;
    void* object = nullptr;
    qzBitMap* copy = nullptr;
    // Latin-1 letters fold too: É/é, T/t.
    ASSERT_EQ(FindImageInCache("BILDER/\xE9T\xC9.PNG", 1, &w, &h, &depth, &object, &copy, &flags), 0);
    EXPECT_EQ(object, &object1);
    EXPECT_EQ(w * 100 + h * 10, 320);
    EXPECT_EQ(depth, 24);
    EXPECT_EQ(flags, 5u);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(ReadBitMapPixel(copy, 0, 0, 0), 0u);
    qzLockInfo lock;
    ASSERT_TRUE(LockBitMapPixels(copy, 0, &lock));
    EXPECT_EQ(static_cast<uint8_t*>(lock.pixels)[lock.rowLength + 1], 77);
    UnlockBitMapPixels(&lock);
    DeleteAlphaBitMap(copy);
    EXPECT_EQ(gReferences, 3);
    Release(object);

    EXPECT_EQ(FindImageInCache("plain.jpg", 1, &w, &h, &depth, &object, &copy, &flags), ERR_CACHEERROR);
    EXPECT_EQ(FindImageInCache("missing.png", 0, &w, &h, &depth, &object, nullptr, &flags), ERR_CACHEERROR);
    ASSERT_EQ(FindImageInCache("PLAIN.JPG", 0, &w, &h, &depth, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(gReferences, 2);  // nothing handed out, nothing retained

    // A name too long for an entry is not cached rather than cut to one that may match another.
    std::string longName(1100, 'a');
    EXPECT_EQ(AddImageToCache(longName.c_str(), 1, 1, 1, &object2, nullptr, 0), 0);
    EXPECT_EQ(FindImageInCache(longName.substr(0, 1023).c_str(), 0, &w, &h, &depth, nullptr, nullptr, nullptr),
              ERR_CACHEERROR);

    FreeImageCache();
    EXPECT_EQ(gReferences, 0);
    EXPECT_EQ(FindImageInCache("plain.jpg", 0, &w, &h, &depth, nullptr, nullptr, nullptr), ERR_CACHEERROR);
    SetImageCacheObjectRefs(nullptr, nullptr);
}

}  // namespace bitmap_pixels_test
