#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gfx/bitmap.h"
#include "platform/os_alloc.h"

namespace bitmap_test {

TEST(PixelFormat, BytesAndDepth) {
    const int bytes[16] = {2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 4, 4, 4, 4, 0, 0};
    const int depth[16] = {15, 15, 15, 15, 16, 16, 16, 16, 24, 24, 32, 32, 32, 32, 0, 0};
    for (int f = 0; f < 16; f++) {
        EXPECT_EQ(GetPixelFormatBytes(f), bytes[f]) << f;
        EXPECT_EQ(GetPixelFormatDepth(f), depth[f]) << f;
    }
    EXPECT_EQ(GetPixelFormatBytes(-1), 0);
    EXPECT_EQ(GetPixelFormatDepth(16), 0);
}

TEST(PixelFormat, ColourToPixelAndBack) {
    struct Case {
        qzColor colour;
        int format;
        int withAlpha;
        uint32_t pixel;
        qzColor back;
    };
    const Case cases[] = {
        {0xFFFFFFFF, PIXFMT_RGB565, 0, 0xFFFF, 0x00F8FCF8},
        {0xFFFFFFFF, PIXFMT_BGR565, 0, 0xFFFF, 0x00F8FCF8},
        {0x00FF0000, PIXFMT_RGB565, 0, 0xF800, 0x00F80000},
        {0x00FF0000, PIXFMT_BGR565, 0, 0x001F, 0x00F80000},
        {0x00FF0000, PIXFMT_RGB565_SWAPPED, 0, 0x00F8, 0x00F80000},
        {0x00FF0000, PIXFMT_BGR565_SWAPPED, 0, 0x1F00, 0x00F80000},
        {0x00123456, PIXFMT_RGB555, 0, (0x12 >> 3) << 10 | (0x34 >> 3) << 5 | (0x56 >> 3), 0x00103050},
        {0x00123456, PIXFMT_BGR555, 0, (0x56 >> 3) << 10 | (0x34 >> 3) << 5 | (0x12 >> 3), 0x00103050},
        {0x000000FF, PIXFMT_RGB555_SWAPPED, 0, 0x1F00, 0x000000F8},
        {0x000000FF, PIXFMT_BGR555_SWAPPED, 0, 0x007C, 0x000000F8},
        {0x0000FF00, PIXFMT_RGB565, 0, 0x07E0, 0x0000FC00},
        {0x0000FF00, PIXFMT_RGB555, 0, 0x03E0, 0x0000F800},
        {0x80123456, PIXFMT_RGB24, 1, 0x123456, 0x00123456},
        {0x80123456, PIXFMT_BGR24, 1, 0x563412, 0x00123456},
        {0x80123456, PIXFMT_ARGB32, 1, 0x80123456, 0x80123456},
        {0x80123456, PIXFMT_ARGB32, 0, 0x00123456, 0x00123456},
        {0x80123456, PIXFMT_BGRA32, 1, 0x56341280, 0x80123456},
        {0x80123456, PIXFMT_BGRA32, 0, 0x56341200, 0x00123456},
        {0x80123456, PIXFMT_RGBA32, 1, 0x12345680, 0x80123456},
        {0x80123456, PIXFMT_ABGR32, 1, 0x80563412, 0x80123456},
        {0x80123456, PIXFMT_ABGR32, 0, 0x00563412, 0x00123456},
        {0xFFFFFFFF, PIXFMT_ALPHA8, 1, 0, 0},
        {0xFFFFFFFF, PIXFMT_MASK1, 1, 0, 0},
        {0xFFFFFFFF, 16, 1, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ConvertARGBToPixel(c.colour, c.format, c.withAlpha), c.pixel) << c.format;
        EXPECT_EQ(ConvertPixelToARGB(c.pixel, c.format, c.withAlpha), c.back) << c.format;
    }
    // A pixel of a 32-bit format read without alpha loses it, whatever was stored.
    EXPECT_EQ(ConvertPixelToARGB(0x12345680, PIXFMT_RGBA32, 0), 0x00123456u);
}

TEST(BitMap, ChannelRowsFollowThePaddingRules) {
    struct Case {
        int kind, width, bytesPerRow;
    };
    const Case cases[] = {
        {BITMAP_MASK, 1, 2},  {BITMAP_MASK, 16, 2}, {BITMAP_MASK, 17, 4}, {BITMAP_MASK, 33, 6},
        {BITMAP_ALPHA, 5, 8}, {BITMAP_ALPHA, 4, 4}, {BITMAP_ALPHA, 1, 4},
    };
    for (const Case& c : cases) {
        qzBitMap* bm = c.kind == BITMAP_MASK ? CreateMaskBitMap(nullptr, c.width, 3, 1, nullptr, 0)
                                             : CreateAlphaBitMap(c.width, 3, 1, nullptr, 0);
        ASSERT_NE(bm, nullptr);
        int attr = c.kind == BITMAP_MASK ? BMATTR_MASKBYTESPERROW : BMATTR_ALPHABYTESPERROW;
        EXPECT_EQ(QueryBitMapAttr(bm, attr), c.bytesPerRow) << c.kind << " " << c.width;
        qzLockInfo lock;
        ASSERT_TRUE(LockBitMapPixels(bm, 0, &lock));
        EXPECT_EQ(lock.rowLength, c.bytesPerRow);
        EXPECT_EQ(lock.noUnlock, 1);
        EXPECT_EQ(lock.pixels,
                  (void*)QueryBitMapAttr(bm, c.kind == BITMAP_MASK ? BMATTR_MASKPIXELS : BMATTR_ALPHAPIXELS));
        auto* bytes = static_cast<unsigned char*>(lock.pixels);
        for (int i = 0; i < c.bytesPerRow * 3; i++) ASSERT_EQ(bytes[i], 0);
        UnlockBitMapPixels(&lock);
        DeleteBitMap(bm);
    }
    // A mask made for a friend shares the friend's padded row length (10 -> 12 pixels -> 2 bytes;
    // 17 -> 20 pixels -> 4 bytes).
    qzBitMap* colour = CreateBitMap(17, 2, 0, nullptr);
    ASSERT_NE(colour, nullptr);
    EXPECT_EQ(QueryBitMapAttr(colour, BMATTR_ROWLENGTH), 20);
    qzBitMap* mask = CreateMaskBitMap(colour, 17, 2, 0, nullptr, 0);
    ASSERT_NE(mask, nullptr);
    EXPECT_EQ(QueryBitMapAttr(mask, BMATTR_MASKBYTESPERROW), 4);
    DeleteMaskBitMap(mask);
    // A friend narrower than the mask cannot make its rows too short for the mask's width.
    mask = CreateMaskBitMap(colour, 40, 2, 0, nullptr, 0);
    ASSERT_NE(mask, nullptr);
    EXPECT_EQ(QueryBitMapAttr(mask, BMATTR_MASKBYTESPERROW), 6);
    DeleteMaskBitMap(mask);
    DeleteBitMap(colour);
}

TEST(BitMap, CallerMemoryIsWrappedAndNotFreed) {
    // Heap memory, so that a wrongful free would be caught by the address sanitizer.
    auto* memory = static_cast<unsigned char*>(OsAlloc(64, 1));
    qzBitMap* alpha = CreateAlphaBitMap(7, 4, 0, memory, 16);
    qzBitMap* mask = CreateMaskBitMap(nullptr, 7, 4, 0, memory, 16);
    ASSERT_NE(alpha, nullptr);
    ASSERT_NE(mask, nullptr);
    EXPECT_EQ(QueryBitMapAttr(alpha, BMATTR_ALPHAPIXELS), (intptr_t)memory);
    EXPECT_EQ(QueryBitMapAttr(alpha, BMATTR_ALPHABYTESPERROW), 16);
    EXPECT_EQ(QueryBitMapAttr(mask, BMATTR_MASKBYTESPERROW), 16);
    DeleteAlphaBitMap(alpha);
    DeleteMaskBitMap(mask);
    memory[63] = 1;
    OsFree(memory);
}

TEST(BitMap, ColourBitMapLockAndAttributes) {
    qzBitMap* bm = CreateBitMap(10, 3, 0, nullptr);
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(bm->kind, BITMAP_COLOR);
    qzLockInfo lock;
    ASSERT_TRUE(LockBitMapPixels(bm, LOCKF_READONLY, &lock));
    EXPECT_EQ(lock.pixelFormat, PIXFMT_ARGB32);
    EXPECT_EQ(lock.bytesPerPixel, 4);
    EXPECT_EQ(lock.rowLength, 12);
    EXPECT_EQ(lock.width, 10);
    EXPECT_EQ(lock.height, 3);
    EXPECT_EQ(lock.port, nullptr);
    std::memset(lock.pixels, 0xAB, 12 * 4 * 3);
    UnlockBitMapPixels(&lock);

    EXPECT_EQ(QueryBitMapAttr(bm, BMATTR_WIDTH), 10);
    EXPECT_EQ(QueryBitMapAttr(bm, BMATTR_HEIGHT), 3);
    EXPECT_EQ(QueryBitMapAttr(bm, BMATTR_PIXELFORMAT), PIXFMT_ARGB32);
    EXPECT_EQ(QueryBitMapAttr(bm, BMATTR_PIXELS), (intptr_t)lock.pixels);
    EXPECT_EQ(QueryBitMapAttr(bm, BMATTR_HANDLE), (intptr_t)bm->handle);
    EXPECT_EQ(QueryBitMapAttr(bm, BMATTR_VIDEO), 0);
    EXPECT_EQ(QueryBitMapAttr(bm, BMATTR_UNHANDLEDVIDEO), 0);
    EXPECT_EQ(PrepareVideoBitMap(bm), 0);
    for (int attr : {0, 1, 2, 3, 4, 13, 14, 18, 19, 20, 21, 22}) EXPECT_EQ(QueryBitMapAttr(nullptr, attr), 0) << attr;
    DeleteBitMap(bm);

    // Without an adapter a video bitmap is platform memory that the adapter does not handle.
    qzBitMap* video = CreateBitMap(4, 4, BMF_VIDEO, nullptr);
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(QueryBitMapAttr(video, BMATTR_VIDEO), 1);
    EXPECT_EQ(QueryBitMapAttr(video, BMATTR_UNHANDLEDVIDEO), 1);
    EXPECT_EQ(QueryBitMapAttr(video, BMATTR_VIDEOPREPARED), 0);
    ASSERT_TRUE(LockBitMapPixels(video, 0, &lock));
    UnlockBitMapPixels(&lock);
    EXPECT_EQ(PrepareVideoBitMap(video), 0);
    EXPECT_EQ(PrepareVideoBitMap(video), 1);
    DeleteBitMap(video);

    EXPECT_EQ(CreateBitMap(0, 5, 0, nullptr), nullptr);
    EXPECT_EQ(CreateAlphaBitMap(5, -1, 0, nullptr, 0), nullptr);
    EXPECT_EQ(CreateMaskBitMap(nullptr, 0x7FFFFFF0, 1 << 20, 0, nullptr, 0), nullptr);
    EXPECT_EQ(CreateAlphaBitMap(65536, 32768, 0, nullptr, 0), nullptr);
    EXPECT_EQ(CreateBitMap(65536, 16384, 0, nullptr), nullptr);
    EXPECT_FALSE(LockBitMapPixels(nullptr, 0, &lock));
    DeleteBitMap(nullptr);
}

TEST(BitMap, FailedAllocationsLeaveNothingBehind) {
    // Fails the n-th of the three allocations of each create: it must return null and leak
    // nothing (the leak checker runs at exit).
    static int countdown;
    OsSetAllocFailHook([](size_t) { return --countdown == 0 ? 1 : 0; });
    for (int n = 1; n <= 3; n++) {
        countdown = n;
        qzBitMap* bm = CreateBitMap(8, 8, 0, nullptr);
        countdown = n;
        qzBitMap* alpha = CreateAlphaBitMap(8, 8, 1, nullptr, 0);
        countdown = n;
        qzBitMap* mask = CreateMaskBitMap(nullptr, 8, 8, 1, nullptr, 0);
        EXPECT_EQ(bm, nullptr) << n;
        EXPECT_EQ(alpha, nullptr) << n;
        EXPECT_EQ(mask, nullptr) << n;
        DeleteBitMap(bm);
        DeleteBitMap(alpha);
        DeleteBitMap(mask);
    }
    OsSetAllocFailHook(nullptr);
}

namespace {

// A display adapter that owns every bitmap, backed by plain memory, recording its calls.
struct FakeAdapter {
    static inline int allocs, frees, locks, unlocks;
    static inline int lastKind, lastClear;
    static inline intptr_t lastTags[4];
    struct Handle {
        int kind, width, height;
        std::vector<uint32_t> pixels;
    };

    static void* Alloc(int kind, int width, int height, int clear, const qzAdapterTag* tags) {
        allocs++;
        lastKind = kind;
        lastClear = clear;
        for (intptr_t& t : lastTags) t = 0;
        for (; tags && tags->tag; tags++)
            if (tags->tag < 4) lastTags[tags->tag] = tags->value;
        return new Handle{kind, width, height, std::vector<uint32_t>((size_t)width * height)};
    }
    static void Free(void* h) {
        frees++;
        delete static_cast<Handle*>(h);
    }
    static intptr_t Lock(void* h, int readOnly, intptr_t* out, const qzAdapterTag*) {
        locks++;
        auto* handle = static_cast<Handle*>(h);
        out[ADAPTERLOCK_PIXELS] = (intptr_t)handle->pixels.data();
        out[ADAPTERLOCK_ROWLENGTH] = handle->width;
        out[ADAPTERLOCK_WIDTH] = handle->width;
        out[ADAPTERLOCK_HEIGHT] = handle->height;
        return 42;
    }
    static void Unlock(intptr_t lock) {
        EXPECT_EQ(lock, 42);
        unlocks++;
    }
    static intptr_t Attr(void* h, int attr, const qzAdapterTag*) {
        return attr == 2 ? static_cast<Handle*>(h)->width * 4 : 0;
    }
};

}  // namespace

TEST(BitMap, AnAdapterThatOwnsBitMapsGetsEveryCall) {
    qzDisplayAdapter adapter{};
    adapter.flags = ADAPTERF_OWNSBITMAPS;
    adapter.pixelFormat = PIXFMT_BGRA32;
    adapter.AllocBitMap = FakeAdapter::Alloc;
    adapter.FreeBitMap = FakeAdapter::Free;
    adapter.LockBitMap = FakeAdapter::Lock;
    adapter.UnLockBitMap = FakeAdapter::Unlock;
    adapter.GetBitMapAttr = FakeAdapter::Attr;
    SetDisplayAdapter(&adapter);

    qzBitMap* bm = CreateBitMap(6, 2, 0, nullptr);
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(FakeAdapter::lastKind, BITMAP_COLOR);
    qzLockInfo lock;
    ASSERT_TRUE(LockBitMapPixels(bm, 0, &lock));
    EXPECT_EQ(lock.success, 42);
    EXPECT_EQ(lock.pixelFormat, PIXFMT_BGRA32);
    EXPECT_EQ(lock.bytesPerPixel, 4);
    EXPECT_EQ(lock.rowLength, 6);
    EXPECT_EQ(lock.height, 2);
    UnlockBitMapPixels(&lock);
    EXPECT_EQ(FakeAdapter::unlocks, 1);
    EXPECT_EQ(QueryBitMapAttr(bm, BMATTR_ROWLENGTH), 6);
    EXPECT_EQ(QueryBitMapAttr(bm, BMATTR_PIXELFORMAT), PIXFMT_BGRA32);

    unsigned char memory[32];
    qzBitMap* mask = CreateMaskBitMap(bm, 6, 2, 1, memory, 16);
    ASSERT_NE(mask, nullptr);
    EXPECT_EQ(FakeAdapter::lastKind, BITMAP_MASK);
    EXPECT_EQ(FakeAdapter::lastClear, 1);
    EXPECT_EQ(FakeAdapter::lastTags[1], (intptr_t)bm->handle);
    EXPECT_EQ(FakeAdapter::lastTags[2], (intptr_t)memory);
    EXPECT_EQ(FakeAdapter::lastTags[3], 16);
    qzBitMap* alpha = CreateAlphaBitMap(6, 2, 0, nullptr, 0);
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(FakeAdapter::lastTags[2], 0);
    EXPECT_NE(QueryBitMapAttr(alpha, BMATTR_ALPHAPIXELS), 0);
    EXPECT_EQ(FakeAdapter::unlocks, 2);

    DeleteMaskBitMap(mask);
    DeleteAlphaBitMap(alpha);
    DeleteBitMap(bm);
    EXPECT_EQ(FakeAdapter::allocs, 3);
    EXPECT_EQ(FakeAdapter::frees, 3);
    SetDisplayAdapter(nullptr);
}

}  // namespace bitmap_test
