// The drawing operations of the step routines: step sizes and counts, the layer blit's erase,
// record and copy rules, clipped blits, screen grabs and fills, and a stand-in wipe run through
// the fixture straight onto the display and inside a layer.
#include "fx/fx_fixture.h"
#include "gfx/blit_test_util.h"
#include "gfx/channel_ops.h"
#include "gfx/draw_modes.h"

namespace effect_draw_test {

using blittest::AlphaAt;
using blittest::Bit;
using blittest::BitMapPtr;
using blittest::MakeAlpha;
using blittest::MakeBitMap;
using blittest::MakeMask;

TEST(EffectSteps, SizeAndCount) {
    const int kSizes[][6] = {
        // speed, extent, divisors, size
        {-1, 69, 70, 30, 200, 1}, {-2, 300, 70, 30, 200, 10}, {-3, 1000, 70, 30, 200, 5}, {-1, 700, 70, 30, 200, 10},
        {5, 300, 70, 30, 200, 5}, {-7, 300, 70, 30, 200, 1},  {0, 300, 70, 30, 200, 1},
    };
    for (const auto& c : kSizes)
        EXPECT_EQ(GetEffectStepSize(c[0], c[1], c[2], c[3], c[4]), c[5]) << c[0] << " " << c[1];
    const int kCounts[][4] = {
        // distance, step, exact, count
        {100, 10, 0, 11}, {101, 10, 0, 12}, {100, 10, 1, 10}, {0, 7, 0, 1},
        {0, 7, 1, 1},     {-5, 3, 1, 1},    {1, 100, 1, 1},   {2147483647, 1, 1, 2147483647},
    };
    for (const auto& c : kCounts) EXPECT_EQ(GetEffectStepCount(c[0], c[1], c[2]), c[3]) << c[0] << "/" << c[1];
}

TEST(EffectBlitRules, NegativeSourceDrawsNothing) {
    BitMapPtr src = MakeBitMap(8, 8, [](int, int) { return 0xFF0000u; });
    BitMapPtr dst = MakeBitMap(8, 8, [](int, int) { return 0x0000FFu; });
    BitMapPtr mask = MakeMask(8, 8, [](int, int) { return false; });
    qzEffectContext context = {};
    const int kSources[][2] = {{-1, 0}, {0, -1}, {-3, -3}};
    for (const auto& s : kSources) {
        EffectBlit(src.get(), s[0], s[1], dst.get(), mask.get(), nullptr, 0, 0, 8, 8, 8, 8, 8, 8, nullptr, nullptr,
                   &context, 0);
        EXPECT_EQ(blittest::Pixel(dst.get(), 4, 4) & 0xFFFFFF, 0x0000FFu);
        EXPECT_EQ(Bit(mask.get(), 4, 4), 0);
    }
    // A negative destination is clipped instead: the source moves with it.
    BitMapPtr pattern = MakeBitMap(8, 8, [](int x, int y) { return uint32_t(x * 16 + y); });
    EffectBlit(pattern.get(), 0, 0, dst.get(), nullptr, nullptr, -2, -1, 8, 8, 8, 8, 8, 8, nullptr, nullptr, nullptr,
               0);
    EXPECT_EQ(blittest::Pixel(dst.get(), 0, 0) & 0xFFFFFF, uint32_t(2 * 16 + 1));
    EXPECT_EQ(blittest::Pixel(dst.get(), 5, 6) & 0xFFFFFF, uint32_t(7 * 16 + 7));
    EXPECT_EQ(blittest::Pixel(dst.get(), 6, 6) & 0xFFFFFF, 0x0000FFu);
}

TEST(EffectBlitRules, EraseAndRecord) {
    // Erasing clears (or with ERASESET sets) the destination's alpha channel, else its mask, and
    // the context's record unless NORECORD; the colour pixels stay.
    const struct {
        bool alpha;
        uint32_t flags;
        int layerValue;   // the destination's alpha (or mask bit) inside the rectangle afterwards
        int recordValue;  // the context's record there afterwards
    } kCases[] = {
        {true, EFFECTBLIT_ERASE, 0, 0},
        {true, EFFECTBLIT_ERASE | EFFECTBLIT_ERASESET, 255, 255},
        {true, EFFECTBLIT_ERASE | EFFECTBLIT_NORECORD, 0, 77},
        {false, EFFECTBLIT_ERASE, 0, 0},
        {false, EFFECTBLIT_ERASE | EFFECTBLIT_ERASESET, 1, 1},
        {false, EFFECTBLIT_ERASE | EFFECTBLIT_NORECORD, 0, 1},
    };
    for (const auto& c : kCases) {
        BitMapPtr src = MakeBitMap(8, 8, [](int, int) { return 0xFF0000u; });
        BitMapPtr dst = MakeBitMap(8, 8, [](int, int) { return 0x0000FFu; });
        BitMapPtr dstAlpha = MakeAlpha(8, 8, [](int, int) { return 77; });
        BitMapPtr dstMask = MakeMask(8, 8, [](int, int) { return true; });
        const bool initialBit = !(c.flags & EFFECTBLIT_ERASESET);
        BitMapPtr record = c.alpha ? MakeAlpha(8, 8, [](int, int) { return 77; })
                                   : MakeMask(8, 8, [initialBit](int, int) { return initialBit; });
        qzEffectContext context = {};
        (c.alpha ? context.effectAlpha : context.effectMask) = record.get();
        if (!c.alpha && (c.flags & EFFECTBLIT_ERASESET)) FillMaskRect(dstMask.get(), 0, 0, 8, 8, MASKINVISIBLE);
        EffectBlit(src.get(), 0, 0, dst.get(), dstMask.get(), c.alpha ? dstAlpha.get() : nullptr, 2, 2, 4, 4, 8, 8, 8,
                   8, nullptr, nullptr, &context, c.flags);
        const int inside = c.alpha ? AlphaAt(dstAlpha.get(), 3, 3) : Bit(dstMask.get(), 3, 3);
        const int outside = c.alpha ? AlphaAt(dstAlpha.get(), 1, 1) : Bit(dstMask.get(), 1, 1);
        const int recorded = c.alpha ? AlphaAt(record.get(), 3, 3) : Bit(record.get(), 3, 3);
        EXPECT_EQ(inside, c.layerValue) << c.flags << " alpha " << c.alpha;
        EXPECT_EQ(outside, c.alpha ? 77 : ((c.flags & EFFECTBLIT_ERASESET) ? 0 : 1)) << c.flags;
        EXPECT_EQ(recorded, c.recordValue) << c.flags << " alpha " << c.alpha;
        EXPECT_EQ(blittest::Pixel(dst.get(), 3, 3) & 0xFFFFFF, 0x0000FFu);
        if (c.alpha) {
            EXPECT_EQ(Bit(dstMask.get(), 3, 3), 1) << "an alpha destination leaves the mask alone";
        }
    }
}

TEST(EffectBlitRules, CopyRecordsWhatIsRevealed) {
    // The source's mask or alpha channel goes into the destination's; the record marks the
    // rectangle as shown; without either the destination mask is set over the rectangle.
    BitMapPtr src = MakeBitMap(8, 8, [](int x, int) { return x < 4 ? 0xFF0000u : 0x00FF00u; });
    BitMapPtr srcMask = MakeMask(8, 8, [](int x, int y) { return (x + y) % 2 == 0; });
    BitMapPtr srcAlpha = MakeAlpha(8, 8, [](int x, int) { return x * 30; });
    {
        BitMapPtr dst = MakeBitMap(8, 8, [](int, int) { return 0u; });
        BitMapPtr dstMask = MakeMask(8, 8, [](int, int) { return true; });
        BitMapPtr record = MakeMask(8, 8, [](int, int) { return false; });
        qzEffectContext context = {};
        context.effectMask = record.get();
        EffectBlit(src.get(), 2, 0, dst.get(), dstMask.get(), nullptr, 2, 0, 4, 8, 8, 8, 8, 8, srcMask.get(), nullptr,
                   &context, 0);
        EXPECT_EQ(Bit(dstMask.get(), 2, 0), 1);
        EXPECT_EQ(Bit(dstMask.get(), 3, 0), 0) << "copied, not or-ed";
        EXPECT_EQ(Bit(dstMask.get(), 7, 0), 1) << "outside the rectangle";
        EXPECT_EQ(Bit(record.get(), 3, 0), 1);
        EXPECT_EQ(Bit(record.get(), 6, 0), 0);
        EXPECT_EQ(blittest::Pixel(dst.get(), 3, 0) & 0xFFFFFF, 0xFF0000u) << "a plain colour copy";
        // MASKVISIBLE only adds bits; BLEND copies colour only where the mask is set.
        FillMaskRect(dstMask.get(), 0, 0, 8, 8, MASKVISIBLE);
        BitMapPtr dst2 = MakeBitMap(8, 8, [](int, int) { return 0u; });
        EffectBlit(src.get(), 0, 0, dst2.get(), dstMask.get(), nullptr, 0, 0, 8, 8, 8, 8, 8, 8, srcMask.get(), nullptr,
                   &context, EFFECTBLIT_MASKVISIBLE | EFFECTBLIT_BLEND);
        EXPECT_EQ(Bit(dstMask.get(), 1, 0), 1);
        EXPECT_EQ(blittest::Pixel(dst2.get(), 0, 0) & 0xFFFFFF, 0xFF0000u);
        EXPECT_EQ(blittest::Pixel(dst2.get(), 1, 0) & 0xFFFFFF, 0u);
    }
    {
        BitMapPtr dst = MakeBitMap(8, 8, [](int, int) { return 0u; });
        BitMapPtr dstAlpha = MakeAlpha(8, 8, [](int, int) { return 9; });
        BitMapPtr record = MakeAlpha(8, 8, [](int, int) { return 0; });
        qzEffectContext context = {};
        context.effectAlpha = record.get();
        EffectBlit(src.get(), 0, 0, dst.get(), nullptr, dstAlpha.get(), 0, 0, 6, 8, 8, 8, 8, 8, nullptr, srcAlpha.get(),
                   &context, 0);
        EXPECT_EQ(AlphaAt(dstAlpha.get(), 5, 2), 150);
        EXPECT_EQ(AlphaAt(dstAlpha.get(), 6, 2), 9);
        EXPECT_EQ(AlphaAt(record.get(), 0, 0), 255);
        EXPECT_EQ(AlphaAt(record.get(), 7, 0), 0);
    }
    {
        BitMapPtr dst = MakeBitMap(8, 8, [](int, int) { return 0u; });
        BitMapPtr dstMask = MakeMask(8, 8, [](int, int) { return false; });
        EffectBlit(src.get(), 0, 0, dst.get(), dstMask.get(), nullptr, 4, 4, 8, 8, 8, 8, 8, 8, nullptr, nullptr,
                   nullptr, 0);
        EXPECT_EQ(Bit(dstMask.get(), 4, 4), 1);
        EXPECT_EQ(Bit(dstMask.get(), 7, 7), 1);
        EXPECT_EQ(Bit(dstMask.get(), 3, 7), 0);
    }
}

TEST(EffectClippedBlit, ClipsBothSides) {
    const struct {
        int sx, sy, dx, dy, w, h;
        int firstX, firstY;  // destination pixel that gets source pixel (0, 0) of the copied part
        uint32_t firstValue;
        int copied;  // pixels changed
    } kCases[] = {
        {0, 0, 0, 0, 4, 4, 0, 0, 0, 16},     {-2, 0, 0, 0, 4, 4, 2, 0, 0, 8}, {0, 0, -1, -1, 4, 4, 0, 0, 0x0101, 9},
        {6, 6, 0, 0, 4, 4, 0, 0, 0x0606, 4}, {0, 0, 7, 7, 4, 4, 7, 7, 0, 1},  {0, 0, 8, 0, 4, 4, -1, -1, 0, 0},
        {-5, 0, 0, 0, 4, 4, -1, -1, 0, 0},
    };
    BitMapPtr src = MakeBitMap(8, 8, [](int x, int y) { return uint32_t(x << 8 | y) | 0x100000; });
    for (const auto& c : kCases) {
        BitMapPtr dst = MakeBitMap(8, 8, [](int, int) { return 0u; });
        ClippedBlit(src.get(), c.sx, c.sy, dst.get(), c.dx, c.dy, c.w, c.h, 8, 8, 8, 8);
        int changed = 0;
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 8; x++) changed += (blittest::Pixel(dst.get(), x, y) & 0xFFFFFF) != 0;
        EXPECT_EQ(changed, c.copied) << c.sx << "," << c.sy << " -> " << c.dx << "," << c.dy;
        if (c.firstX >= 0) {
            EXPECT_EQ(blittest::Pixel(dst.get(), c.firstX, c.firstY) & 0xFFFFFF, c.firstValue | 0x100000)
                << c.sx << "," << c.sy << " -> " << c.dx << "," << c.dy;
        }
    }
}

class EffectDrawTest : public FxTest {};

// Direct drawing with layers off, a layer shown and a layer hidden (with layers on), at an area
// partly off the screen too.
struct WipeCase {
    bool layer;
    int hide;
    int32_t x, y;
};
class EffectWipeTest : public FxTest, public ::testing::WithParamInterface<WipeCase> {};

TEST_P(EffectWipeTest, EndsOnThePicture) {
    const WipeCase& c = GetParam();
    OpenScreen(64, 48, c.layer);
    Effect e;
    if (c.layer)
        ViaLayer(e, 0, c.x, c.y, 30, 20, 7, -1, c.hide);
    else
        Direct(e, 0, c.x, c.y, 30, 20, 7);
    e.context.step = WipeStep;
    ASSERT_EQ(Setup(e), 0);
    EXPECT_EQ(e.context.speed, 7);
    EXPECT_EQ(e.context.total, 5);
    // Mid-way: the first two bands are in (out when hiding), the rest is not.
    ASSERT_EQ(Frames(e, 2), 0);
    if (c.x >= 0 && c.y >= 0) {
        EXPECT_EQ(Pixel(1, c.x + 13, c.y + 5), c.hide ? kBackground : PatternColour(13, 5, 1));
        EXPECT_EQ(Pixel(1, c.x + 14, c.y + 5), c.hide ? PatternColour(14, 5, 1) : kBackground);
    }
    ASSERT_EQ(Frames(e), 0);
    EXPECT_EQ(e.frames, 5);
    EXPECT_EQ(e.context.current, 5);
    EXPECT_EQ(c.hide ? ScreenShowsBackground() : ScreenShowsPicture(e), "");
}

INSTANTIATE_TEST_SUITE_P(Cases, EffectWipeTest,
                         ::testing::Values(WipeCase{false, 0, 10, 6}, WipeCase{false, 0, -8, 30},
                                           WipeCase{true, 0, 10, 6}, WipeCase{true, 1, 10, 6},
                                           WipeCase{true, 0, 40, -5}));

TEST_F(EffectDrawTest, LayerRecordAccumulatesForAsyncEffects) {
    OpenScreen(64, 48, true);
    Effect e;
    ViaLayer(e, 0, 4, 4, 21, 10, 7, -1, 0, 1, MakeMask(21, 10, [](int x, int) { return x != 20; }).release());
    ASSERT_NE(e.context.effectMask, nullptr);
    e.context.step = WipeStep;
    ASSERT_EQ(Setup(e), 0);
    ASSERT_EQ(Frames(e, 2), 0);
    EXPECT_EQ(Bit(e.context.effectMask, 13, 3), 1);
    EXPECT_EQ(Bit(e.context.effectMask, 14, 3), 0);
    EXPECT_EQ(Bit(e.context.layer->display->own.mask, 14, 3), 0);
}

TEST_F(EffectDrawTest, GrabAndFill) {
    OpenScreen(64, 48, true);
    Add(1, 10, 10, 8, 8, 0xFF0000);
    // A grab partly left of and above the picture keeps the offset in the destination.
    BitMapPtr grab = MakeBitMap(16, 16, [](int, int) { return 0x123456u; });
    qzEffectContext context = {};
    context.vm = *vm;
    GrabScreenRect(&context, grab.get(), 6, -4, 16, 16);
    EXPECT_EQ(blittest::Pixel(grab.get(), 0, 0) & 0xFFFFFF, 0x123456u) << "above the picture: untouched";
    EXPECT_EQ(blittest::Pixel(grab.get(), 0, 4) & 0xFFFFFF, kBackground);
    EXPECT_EQ(blittest::Pixel(grab.get(), 4, 14) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(blittest::Pixel(grab.get(), 3, 14) & 0xFFFFFF, kBackground);

    // Fills: straight onto the display, and into the layer's bitmap.
    Effect direct;
    Direct(direct, 0, 0, 0, 64, 48);
    FillEffectRect(&direct.context, 30, 30, 5, 5, 0x00FF00, 0);
    EXPECT_EQ(Pixel(1, 32, 32), 0x00FF00u);
    EXPECT_EQ(Pixel(1, 35, 32), kBackground);
    Effect layered;
    ViaLayer(layered, 0, 40, 2, 10, 10);
    ShowEffectLayer(&layered.context);
    FillMaskRect(layered.context.layer->display->own.mask, 0, 0, 10, 10, MASKVISIBLE);
    FillEffectRect(&layered.context, 2, 2, 3, 3, 0x0000FF, 0);
    EXPECT_EQ(Pixel(1, 43, 5), 0x0000FFu);
    EXPECT_EQ(Pixel(1, 45, 5), kBackground) << "only the filled rectangle is presented";
}

}  // namespace effect_draw_test
