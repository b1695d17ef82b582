// The drawing primitives: clipping, tiling, mask planes, alpha planes and the adapter-first rule.
#include <gtest/gtest.h>

#include <vector>

#include "blit_test_util.h"
#include "gfx/blit.h"
#include "gfx/blit_display.h"
#include "gfx/clip_region.h"
#include "gfx/draw_modes.h"

namespace blit_test {

using namespace blittest;

namespace {

qzClipRegion Region(int x, int y, int w, int h) {
    qzClipRegion r{};
    r.x = x;
    r.y = y;
    r.width = w;
    r.height = h;
    return r;
}

}  // namespace

TEST(BlitClip, ClipBlitRectMovesTheSourceWithTheDestination) {
    const qzClipRegion region = Region(10, 5, 30, 20);
    struct Case {
        const qzClipRegion* region;
        int useRegion;
        int sx, sy, dx, dy, w, h;
        int esx, esy, edx, edy, ew, eh;
    } cases[] = {
        // A negative destination without a region stops at 0.
        {nullptr, 0, 0, 0, -5, 0, 20, 10, 5, 0, 0, 0, 15, 10},
        // A region at x 10: a blit at 4 starts at 10 with sx + 6; one at -7 is clamped at the region too.
        {&region, 1, 0, 0, 4, 5, 20, 10, 6, 0, 10, 5, 14, 10},
        {&region, 1, 2, 3, -7, 0, 40, 40, 19, 8, 10, 5, 23, 20},
        // The region is ignored without useRegion; the destination bounds hold then.
        {&region, 0, 0, 0, 4, 5, 20, 10, 0, 0, 4, 5, 20, 10},
        // The source's right edge and the destination's bottom edge cut the size.
        {nullptr, 0, 45, 0, 0, 55, 20, 20, 45, 0, 0, 55, 5, 5},
        // Nothing is left.
        {nullptr, 0, 0, 0, 100, 0, 10, 10, 0, 0, 100, 0, -40, 10},
    };
    for (const Case& c : cases) {
        int sx = c.sx, sy = c.sy, dx = c.dx, dy = c.dy, w = c.w, h = c.h;
        ClipBlitRect(c.region, &sx, &sy, &dx, &dy, &w, &h, 50, 50, 60, 60, c.useRegion);
        EXPECT_EQ(sx, c.esx);
        EXPECT_EQ(sy, c.esy);
        EXPECT_EQ(dx, c.edx);
        EXPECT_EQ(dy, c.edy);
        EXPECT_EQ(w, c.ew) << c.dx;
        EXPECT_EQ(h, c.eh) << c.dy;
    }
}

TEST(BlitClip, ClipMaskToOriginTrimsAndCopiesTheMask) {
    auto mask = MakeMask(50, 8, [](int x, int y) { return (x + y) % 3 == 0; });
    qzBitMap* m = mask.get();
    int x = -10, y = -2, w = 50, h = 8;
    ASSERT_EQ(ClipMaskToOrigin(&x, &y, &w, &h, &m, 0, 0), 0);
    BitMapPtr fresh(m);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 6);
    ASSERT_NE(m, mask.get());
    for (int j = 0; j < 6; j++)
        for (int i = 0; i < 40; i++) ASSERT_EQ(Bit(m, i, j), (i + 10 + j + 2) % 3 == 0 ? 1 : 0) << i << "," << j;
    // Nothing trimmed and no copy asked for: the mask stays.
    qzBitMap* same = mask.get();
    x = 3;
    y = 4;
    EXPECT_EQ(ClipMaskToOrigin(&x, &y, &w, &h, &same, 0, 0), 0);
    EXPECT_EQ(same, mask.get());
}

TEST(BlitTiled, EveryStartOffsetCoversTheWholeArea) {
    auto tile = MakeBitMap(10, 4, [](int x, int y) { return 0x1000u + (uint32_t)(x + 16 * y); });
    struct Case {
        int startX, startY, tileW, tileH, width, height;
    } cases[] = {
        {-3, 0, 10, 4, 23, 9},                          // the first column starts at tile offset 7
        {-10, -4, 10, 4, 23, 9},                        // a negative multiple of the tile paints the whole area
        {-20, 8, 10, 4, 23, 9},  {9, 3, 10, 4, 19, 6},  // a narrow first column still gets the area covered
        {25, 5, 10, 4, 31, 11},  {0, 0, 3, 2, 17, 7},
    };
    for (const Case& c : cases) {
        auto dst = MakeBitMap(40, 20, [](int, int) { return 0xDEADu; });
        BlitBitMapTiled(dst.get(), 2, 1, c.width, c.height, tile.get(), c.startX, c.startY, c.tileW, c.tileH);
        for (int y = 0; y < 20; y++)
            for (int x = 0; x < 40; x++) {
                uint32_t expected = 0xDEAD;
                if (x >= 2 && x < 2 + c.width && y >= 1 && y < 1 + c.height) {
                    const int tx = (((c.startX + x - 2) % c.tileW) + c.tileW) % c.tileW;
                    const int ty = (((c.startY + y - 1) % c.tileH) + c.tileH) % c.tileH;
                    expected = 0x1000u + (uint32_t)(tx + 16 * ty);
                }
                ASSERT_EQ(Pixel(dst.get(), x, y), expected) << c.startX << " at " << x << "," << y;
            }
    }
    // No tile size, no division: nothing happens.
    auto dst = MakeBitMap(8, 8, [](int, int) { return 7u; });
    BlitBitMapTiled(dst.get(), 0, 0, 8, 8, tile.get(), 3, 3, 0, 4);
    BlitBitMapTiled(dst.get(), 0, 0, 8, 8, tile.get(), 3, 3, 10, -1);
    EXPECT_EQ(Pixel(dst.get(), 0, 0), 7u);
    // The memory twin.
    std::vector<uint32_t> src = {1, 2, 3, 4, 5, 6}, out(5 * 2);
    TilePixels32(out.data(), 5, 2, src.data(), -1, 1, 3, 2, 3);
    EXPECT_EQ(out, (std::vector<uint32_t>{6, 4, 5, 6, 4, 3, 1, 2, 3, 1}));
}

TEST(BlitMasks, MaskPlaneModesAtAnyBitOffset) {
    auto src = MakeMask(29, 5, [](int x, int y) { return (x * 7 + y * 3) % 5 < 2; });
    for (int mode = MASKVISIBLE; mode <= MASKOR + 1; mode++) {
        auto dst = MakeMask(37, 7, [](int x, int y) { return (x + y) % 2 == 0; });
        BlitMaskPlane(src.get(), 3, 1, dst.get(), 5, 2, 23, 4, mode, nullptr, 0);
        for (int y = 0; y < 7; y++)
            for (int x = 0; x < 37; x++) {
                const int d = (x + y) % 2 == 0;
                int expected = d;
                if (x >= 5 && x < 28 && y >= 2 && y < 6) {
                    const int sx = x - 5 + 3, sy = y - 2 + 1;
                    const int s = (sx * 7 + sy * 3) % 5 < 2;
                    switch (mode) {
                    case MASKVISIBLE: expected = s ? 1 : d; break;
                    case MASKINVISIBLE: expected = s ? 0 : d; break;
                    case MASKVANILLACOPY: expected = s; break;
                    case MASKXOR: expected = d ^ s; break;
                    case MASKAND: expected = d & s; break;
                    case MASKOR: expected = d | s; break;
                    default: break;
                    }
                }
                ASSERT_EQ(Bit(dst.get(), x, y), expected) << "mode " << mode << " at " << x << "," << y;
            }
    }
}

TEST(BlitMasks, PixelAndRectangleByMaskMode) {
    // Start bit 0 and 1 for each mode: the bit after a pixel write and after a fill.
    const struct {
        int mode;
        int from0, from1;
    } rows[] = {
        {MASKVISIBLE, 1, 1}, {MASKINVISIBLE, 0, 0}, {MASKVANILLACOPY, 1, 1},
        {MASKXOR, 1, 0},     {MASKAND, 0, 1},       {MASKOR, 1, 1},
    };
    for (const auto& r : rows) {
        auto m = MakeMask(20, 3, [](int x, int) { return x >= 10; });
        WriteBitMapPixel(m.get(), 2, 1, r.mode, 1);
        WriteBitMapPixel(m.get(), 12, 1, r.mode, 1);
        EXPECT_EQ(Bit(m.get(), 2, 1), r.from0) << r.mode;
        EXPECT_EQ(Bit(m.get(), 12, 1), r.from1) << r.mode;
        FillMaskRect(m.get(), 5, 0, 10, 3, r.mode);
        EXPECT_EQ(Bit(m.get(), 6, 2), r.from0) << r.mode;
        EXPECT_EQ(Bit(m.get(), 13, 0), r.from1) << r.mode;
        EXPECT_EQ(Bit(m.get(), 4, 0), 0);
        EXPECT_EQ(Bit(m.get(), 15, 0), 1);
        // Outside the mask: nothing, and nothing outside the memory is touched.
        WriteBitMapPixel(m.get(), 20, 0, r.mode, 1);
        FillMaskRect(m.get(), -100, -100, 1000, 1000, MASKVANILLACOPY);
    }
}

TEST(BlitPlanes, AlphaPlaneModes) {
    const uint32_t s = 0x00C08040, d = 0x00204080;
    auto src = MakeBitMap(4, 1, [&](int, int) { return s; });
    auto srcAlpha = MakeAlpha(4, 1, [](int x, int) { return (int[]){0, 255, 100, 1}[x]; });
    auto dstAlpha = MakeAlpha(4, 1, [](int, int) { return 60; });
    auto channel = [](uint32_t v, int shift) { return (int)((v >> shift) & 255); };
    for (int mode = 0; mode <= 3; mode++) {
        auto dst = MakeBitMap(4, 1, [&](int, int) { return d; });
        BlitPlanesSoftware(src.get(), 0, 0, dst.get(), 0, 0, 4, 1, srcAlpha.get(), dstAlpha.get(), mode);
        for (int x = 0; x < 4; x++) {
            const int a = AlphaAt(srcAlpha.get(), x, 0);
            uint32_t expected = d;
            if (mode == 3 || a == 0) {
                expected = d;
            } else if (a == 255 || mode == 1) {
                expected = s;
            } else if (mode == 0) {
                expected = 0;
                for (int sh = 0; sh <= 16; sh += 8)
                    expected |= (uint32_t)(channel(d, sh) + (((channel(s, sh) - channel(d, sh)) * a) >> 8)) << sh;
            } else {
                const int b = 60, A = (255 * a + (255 - a) * b + 127) / 255, w = ((255 - a) * b + 127) / 255;
                expected = 0;
                for (int sh = 0; sh <= 16; sh += 8)
                    expected |= (uint32_t)std::min(255, (channel(s, sh) * a + channel(d, sh) * w + 127) / A) << sh;
            }
            EXPECT_EQ(Pixel(dst.get(), x, 0), expected) << "mode " << mode << " x " << x;
        }
    }
}

TEST(BlitPrimitives, CopiesAreCutToBothBitmapsAndMayOverlap) {
    auto src = MakeBitMap(6, 6, [](int x, int y) { return (uint32_t)(x + 10 * y); });
    auto dst = MakeBitMap(5, 5, [](int, int) { return 0xFFu; });
    BlitBitMap(src.get(), 0, 0, dst.get(), -2, 3, 100, 100);
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 5; x++)
            EXPECT_EQ(Pixel(dst.get(), x, y), y >= 3 && x < 4 ? (uint32_t)(x + 2 + 10 * (y - 3)) : 0xFFu)
                << x << "," << y;
    // Moving a block down inside one bitmap keeps its rows.
    BlitBitMap(src.get(), 0, 0, src.get(), 1, 2, 4, 4);
    for (int y = 2; y < 6; y++)
        for (int x = 1; x < 5; x++) EXPECT_EQ(Pixel(src.get(), x, y), (uint32_t)(x - 1 + 10 * (y - 2)));
    // Through a mask.
    auto mask = MakeMask(6, 6, [](int x, int y) { return x == y; });
    auto dst2 = MakeBitMap(6, 6, [](int, int) { return 0u; });
    BlitBitMapMasked(src.get(), 0, 0, dst2.get(), 0, 0, 6, 6, mask.get());
    EXPECT_EQ(Pixel(dst2.get(), 3, 3), Pixel(src.get(), 3, 3));
    EXPECT_EQ(Pixel(dst2.get(), 3, 2), 0u);
}

TEST(BlitPrimitives, FillsPixelsAndLinesStayInsideTheBitmap) {
    auto b = MakeBitMap(8, 8, [](int, int) { return 0u; });
    FillBitMapRect(b.get(), -3, 6, 5, 100, 0x00112233);
    EXPECT_EQ(Pixel(b.get(), 1, 7) & 0xFFFFFF, 0x112233u);
    EXPECT_EQ(Pixel(b.get(), 2, 7), 0u);
    WriteBitMapPixel(b.get(), 7, 0, 0x00ABCDEF, 0);
    WriteBitMapPixel(b.get(), 8, 0, 0x00ABCDEF, 0);
    WriteBitMapPixel(b.get(), -1, 0, 0x00ABCDEF, 0);
    EXPECT_EQ(Pixel(b.get(), 7, 0) & 0xFFFFFF, 0xABCDEFu);
    DrawBitMapLine(b.get(), -50, 3, 50, 3, 0x00FF0000);
    for (int x = 0; x < 8; x++) EXPECT_EQ(Pixel(b.get(), x, 3) & 0xFFFFFF, 0xFF0000u) << x;
    EXPECT_EQ(Pixel(b.get(), 0, 2), 0u);
}

TEST(BlitPrimitives, ColourThroughCoverage) {
    auto dst = MakeBitMap(4, 2, [](int, int) { return 0x00000000u; });
    auto cover = MakeAlpha(4, 2, [](int x, int y) { return y == 0 ? (int[]){0, 255, 128, 1}[x] : 255; });
    BltAlphaChannelClipped(cover.get(), 0, 0, dst.get(), -1, 0, 10, 1, 0x00FF0000, 1, nullptr, nullptr);
    // The coverage moved one to the right: pixel 0 takes coverage 255, 1 takes 128, 2 takes 1.
    EXPECT_EQ(Pixel(dst.get(), 0, 0) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(Pixel(dst.get(), 1, 0) & 0xFFFFFF, (uint32_t)((255 * 128) >> 8) << 16);
    EXPECT_EQ(Pixel(dst.get(), 2, 0) & 0xFFFFFF, 0u);
    EXPECT_EQ(Pixel(dst.get(), 3, 0), 0u);
    EXPECT_EQ(Pixel(dst.get(), 0, 1), 0u);
    testing::internal::CaptureStdout();
    BltAlphaChannel(cover.get(), 0, 0, nullptr, 0, 0, 1, 1, 0, 0, nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR! BLTALPHACHANNEL() CALLED WITH DST=NULL!\n");
}

// ---- The adapter-first rule ----------------------------------------------------------------

namespace {

struct AdapterCall {
    char op;
    void* src;
    void* dst;
    qzBlitRect block;
    uint32_t colour;
    uint32_t flags;
    int flag4;
};
std::vector<AdapterCall> calls;

int FakeBlt(void* s, void* d, const qzBlitRect* block, uint32_t flags) {
    calls.push_back({'b', s, d, *block, 0, flags, 0});
    return 1;
}
int FakeFill(void* h, int, int, int, int, uint32_t colour, uint32_t flags) {
    calls.push_back({'f', nullptr, h, {}, colour, flags, 0});
    return 1;
}
int FakePixel(void* h, int, int, uint32_t colour, uint32_t flags, int flag4) {
    calls.push_back({'p', nullptr, h, {}, colour, flags, flag4});
    return 1;
}
int FakeLine(void* h, int, int, int, int, uint32_t colour, uint32_t flags) {
    calls.push_back({'l', nullptr, h, {}, colour, flags, 0});
    return 1;
}

qzBlitDisplayInfo fakeInfo;
int fakeDisplay;
void* CurrentFake() { return &fakeDisplay; }
void DescribeFake(void*, qzBlitDisplayInfo* out) { *out = fakeInfo; }
const qzBlitDisplayHooks kFakeHooks = {CurrentFake, DescribeFake, nullptr};

struct AdapterScope {
    qzDisplayAdapter adapter{};
    AdapterScope(uint32_t flags, uint32_t caps) {
        adapter.flags = flags;
        adapter.pixelFormat = PIXFMT_ARGB32;
        adapter.drawCaps = caps;
        adapter.BltBitMap = FakeBlt;
        adapter.RectFill = FakeFill;
        adapter.WritePixel = FakePixel;
        adapter.Line = FakeLine;
        SetDisplayAdapter(&adapter);
        calls.clear();
        fakeInfo = qzBlitDisplayInfo();
    }
    ~AdapterScope() {
        SetDisplayAdapter(nullptr);
        SetBlitDisplayHooks(nullptr);
        ResetDrawModes();
    }
};

}  // namespace

TEST(BlitAdapter, InvertedAlphaColoursForFills) {
    AdapterScope scope(ADAPTERF_INVERTEDALPHA, ADAPTERCAP_RECTFILL | ADAPTERCAP_WRITEPIXEL | ADAPTERCAP_LINE);
    auto b = MakeBitMap(4, 4, [](int, int) { return 0u; });
    FillBitMapRect(b.get(), 0, 0, 2, 2, 0x00FF0000);
    FillBitMapRect(b.get(), 0, 0, 2, 2, 0x80FF0000);
    WriteBitMapPixel(b.get(), 1, 1, 0xFF00FF00, 0);
    DrawBitMapLine(b.get(), 0, 0, 3, 3, 0x01000000);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].colour, 0xFFFF0000u);
    EXPECT_EQ(calls[1].colour, 0x7FFF0000u);
    EXPECT_EQ(calls[2].colour, 0x0000FF00u);
    EXPECT_EQ(calls[3].colour, 0xFE000000u);
    for (const auto& c : calls) {
        EXPECT_EQ(c.flags, 1u);
        EXPECT_EQ(c.dst, b->handle);
    }
    // The software path was not taken.
    EXPECT_EQ(Pixel(b.get(), 0, 0), 0u);
    EXPECT_EQ(ConvertColorForAdapter(0x12345678), 0xED345678u);
}

TEST(BlitAdapter, FlagWordsOfBlitsIntoVideoBitmaps) {
    AdapterScope scope(ADAPTERF_VIDEOBITMAPS, 0);
    SetBlitDisplayHooks(&kFakeHooks);
    qzBitMap video{BITMAP_COLOR, (void*)0x1000, 16, 16, 1, 1};
    qzBitMap videoSrc{BITMAP_COLOR, (void*)0x2000, 16, 16, 1, 0};
    auto plain = MakeBitMap(4, 4, [](int, int) { return 0u; });
    auto mask = MakeMask(4, 4, [](int, int) { return true; });
    auto alpha = MakeAlpha(4, 4, [](int, int) { return 9; });
    struct Case {
        const char* what;
        int outputKind;
        int doubleBuffer;
        int selectMode;
        bool videoIsOutput;
        char op;
        uint32_t flags;
    } cases[] = {
        {"blit, plain source", OUTPUT_DISPLAY, 0, 0, false, 'b', 4},
        {"blit, unprepared video source", OUTPUT_DISPLAY, 0, 0, false, 'B', 4 | 1 | 8},
        {"blit, select mode 1 into the output", OUTPUT_DISPLAY, 0, 1, true, 'b', 4 | 8},
        {"blit, select mode 1 while double-buffering", OUTPUT_DISPLAY, 1, 1, true, 'b', 4},
        {"blit into a selected mask", OUTPUT_MASK, 1, 0, true, 'b', 4 | 16},
        {"masked blit into a selected alpha channel", OUTPUT_ALPHACHANNEL, 0, 0, true, 'm', 4 | 16},
        {"masked blit while double-buffering", OUTPUT_ALPHACHANNEL, 1, 0, true, 'm', 4},
        {"alpha blit", OUTPUT_DISPLAY, 0, 0, true, 'a', 4},
        {"fill into a selected mask", OUTPUT_MASK, 0, 0, true, 'f', 2 | 4},
        {"fill", OUTPUT_BRUSH, 0, 0, true, 'f', 2},
        {"pixel into a selected mask", OUTPUT_MASK, 0, 0, true, 'p', 2 | 4},
        {"line", OUTPUT_DISPLAY, 0, 0, false, 'l', 2},
    };
    for (const Case& c : cases) {
        calls.clear();
        fakeInfo = qzBlitDisplayInfo();
        fakeInfo.outputKind = c.outputKind;
        fakeInfo.doubleBuffer = c.doubleBuffer;
        fakeInfo.outputBitmap = c.videoIsOutput ? &video : nullptr;
        DrawModes().selectMode = c.selectMode;
        switch (c.op) {
        case 'b': BlitBitMap(plain.get(), 1, 2, &video, 3, 4, 2, 2); break;
        case 'B': BlitBitMap(&videoSrc, 1, 2, &video, 3, 4, 2, 2); break;
        case 'm': BlitBitMapMasked(plain.get(), 0, 0, &video, 0, 0, 2, 2, mask.get()); break;
        case 'a': BlitBitMapAlpha(plain.get(), 0, 0, &video, 0, 0, 2, 2, alpha.get()); break;
        case 'f': FillBitMapRect(&video, 0, 0, 2, 2, 0x00FF0000); break;
        case 'p': WriteBitMapPixel(&video, 0, 0, 0x00FF0000, 0); break;
        case 'l': DrawBitMapLine(&video, 0, 0, 5, 5, 0x00FF0000); break;
        }
        ASSERT_EQ(calls.size(), 1u) << c.what;
        EXPECT_EQ(calls[0].flags, c.flags) << c.what;
        EXPECT_EQ(calls[0].dst, video.handle) << c.what;
        if (c.op == 'b') {
            EXPECT_EQ(calls[0].block.sx, 1);
            EXPECT_EQ(calls[0].block.dy, 4);
            EXPECT_EQ(calls[0].block.mask, nullptr);
        }
        if (c.op == 'm') {
            EXPECT_EQ(calls[0].block.mask, mask->handle) << c.what;
        }
        if (c.op == 'a') {
            EXPECT_EQ(calls[0].block.alpha, alpha->handle) << c.what;
        }
        if (c.op == 'p') {
            EXPECT_EQ(calls[0].flag4, (int)(c.flags & 4)) << c.what;
        }
    }
}

}  // namespace blit_test
