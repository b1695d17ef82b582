// SafeBlt on a small display described through the blitters' display hooks: a table of flags x
// mask modes x clip shapes x scaled and unscaled displays, each compared pixel by pixel with a
// reference computed here, plus the sprite, fallback, hardware and presentation rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "blit_test_util.h"
#include "gfx/blit.h"
#include "gfx/blit_display.h"
#include "gfx/clip_region.h"
#include "gfx/draw_modes.h"
#include "gfx/safe_blt.h"

namespace safe_blt_test {

using namespace blittest;

namespace {

constexpr int kW = 16, kH = 12;      // the display's picture
constexpr int kSrcW = 9, kSrcH = 7;  // the source

struct Presented {
    const qzBitMap* bitmap;
    int sx, sy, dx, dy, w, h, scaledW, scaledH;
    uint32_t flags;
    const qzBitMap* mask;
    const qzBitMap* alpha;
};
struct Redrawn {
    qzBitMap* dst;
    int x, y, w, h, pass;
};

struct FakeDisplay {
    qzBlitDisplayInfo info;
    bool exists = true;
    int spritesTouched = 0;
    std::vector<Presented> presented;
    std::vector<Redrawn> redrawn;
};
FakeDisplay* fake = nullptr;

void* Current() { return fake && fake->exists ? fake : nullptr; }
void Describe(void*, qzBlitDisplayInfo* out) { *out = fake->info; }
void Present(const qzBitMap* b, int sx, int sy, void*, int dx, int dy, int w, int h, int sw, int sh, uint32_t flags,
             const qzBitMap* mask, const qzBitMap* alpha) {
    fake->presented.push_back({b, sx, sy, dx, dy, w, h, sw, sh, flags, mask, alpha});
}
int Sprites(int, int, int, int) { return fake->spritesTouched; }
void Redraw(VmState*, void*, qzBitMap* dst, int x, int y, int w, int h, int pass) {
    fake->redrawn.push_back({dst, x, y, w, h, pass});
}
const qzBlitDisplayHooks kHooks = {Current, Describe, Present};

uint32_t Background(int x, int y) { return 0x00100000u + (uint32_t)(x * 3 + y * 101); }
uint32_t SourcePixel(int x, int y) { return 0x00A00000u + (uint32_t)(x + 16 * y); }
bool SourceMaskBit(int x, int y) { return (x + y) % 2 == 0; }
int SourceAlpha(int x, int y) { return (x * 40 + y * 13) % 256 == 1 ? 2 : (x * 40 + y * 13) % 256; }
bool RegionMaskBit(int x, int y) { return (x % 3) != 0 || y == 0; }

// Installs the fake display with its two buffers for one test.
struct DisplayScope {
    FakeDisplay display;
    BitMapPtr first, second;
    DisplayScope() {
        first = MakeBitMap(kW, kH, Background);
        second = MakeBitMap(kW, kH, Background);
        display.info.firstBuffer = first.get();
        display.info.secondBuffer = second.get();
        display.info.targetWidth = kW;
        display.info.targetHeight = kH;
        fake = &display;
        SetBlitDisplayHooks(&kHooks);
        SetBlitSpriteHook(Sprites);
        SetBlitLayerRedrawHook(Redraw);
        ResetDrawModes();
    }
    ~DisplayScope() {
        SetBlitDisplayHooks(nullptr);
        SetBlitSpriteHook(nullptr);
        SetBlitLayerRedrawHook(nullptr);
        SetBlitFallbackDisplay(false);
        ResetDrawModes();
        FreeSafeBltScratch();
        fake = nullptr;
    }
};

uint32_t Blend(uint32_t d, uint32_t s, int a) {
    if (a == 0) return d;
    if (a == 255) return s;
    uint32_t out = 0;
    for (int sh = 0; sh <= 16; sh += 8) {
        const int dc = (int)((d >> sh) & 255), sc = (int)((s >> sh) & 255);
        out |= (uint32_t)(dc + (((sc - dc) * a) >> 8)) << sh;
    }
    return out;
}

enum Shape { NO_CLIP, RECT_CLIP, SHAPED_CLIP };
enum Through { PLAIN, MASKED, ALPHA };

}  // namespace

TEST(SafeBlt, CaseTableAgainstAReferenceComputedPixelByPixel) {
    auto src = MakeBitMap(kSrcW, kSrcH, SourcePixel);
    auto srcMask = MakeMask(kSrcW, kSrcH, SourceMaskBit);
    auto srcAlpha = MakeAlpha(kSrcW, kSrcH, SourceAlpha);
    auto regionMask = MakeMask(8, 6, RegionMaskBit);
    qzClipRegion rect{};
    rect.x = 4;
    rect.y = 3;
    rect.width = 8;
    rect.height = 6;
    qzClipRegion shaped = rect;
    shaped.mask = regionMask.get();

    struct Case {
        uint32_t flags;
        bool toDestination;  // a destination of the caller's, else the display's first buffer by the flags
        bool scaled;
        bool outputs;  // the destination is a selected brush with a mask and an alpha channel
    } kinds[] = {
        {SAFEBLT_FIRSTBUFFER, false, false, false},
        {SAFEBLT_FIRSTBUFFER, false, true, false},
        {SAFEBLT_FORCEFIRSTBUFFER | SAFEBLT_NOPRESENT, false, true, false},
        {SAFEBLT_NOCLIP | SAFEBLT_FIRSTBUFFER, false, false, false},
        {0, true, false, false},
        {SAFEBLT_TARGETONLY, true, true, true},
        {0, true, false, true},
    };
    const int positions[][2] = {{3, 2}, {-2, 5}, {10, 8}};
    for (const Case& k : kinds)
        for (Shape shape : {NO_CLIP, RECT_CLIP, SHAPED_CLIP})
            for (Through through : {PLAIN, MASKED, ALPHA})
                for (const auto& pos : positions) {
                    DisplayScope scope;
                    FakeDisplay& d = scope.display;
                    d.info.scaling = k.scaled;
                    d.info.scaledWidth = k.scaled ? 2 * kW : 0;
                    d.info.scaledHeight = k.scaled ? 2 * kH : 0;
                    auto own = MakeBitMap(kW, kH, Background);
                    auto outMask = MakeMask(kW, kH, [](int x, int) { return x % 2 == 1; });
                    auto outAlpha = MakeAlpha(kW, kH, [](int, int) { return 77; });
                    if (k.outputs) {
                        d.info.outputKind = OUTPUT_BRUSH;
                        d.info.outputBitmap = own.get();
                        d.info.outputMask = outMask.get();
                        d.info.outputAlpha = outAlpha.get();
                    }
                    const qzClipRegion* region = shape == NO_CLIP ? nullptr : shape == RECT_CLIP ? &rect : &shaped;
                    const int sx = 1, sy = 1, w = 7, h = 5, dx = pos[0], dy = pos[1];
                    SafeBlt(nullptr, src.get(), sx, sy, k.toDestination ? own.get() : nullptr, dx, dy, w, h, kSrcW,
                            kSrcH, kW, kH, k.flags, through == MASKED ? srcMask.get() : nullptr,
                            through == ALPHA ? srcAlpha.get() : nullptr, region);

                    const std::string what = "flags " + std::to_string(k.flags) + " shape " + std::to_string(shape) +
                                             " through " + std::to_string(through) + " scaled " +
                                             std::to_string(k.scaled) + " at " + std::to_string(dx) + "," +
                                             std::to_string(dy);
                    const qzBitMap* target = k.toDestination ? own.get() : scope.first.get();
                    const bool useRegion = region && !(k.flags & SAFEBLT_NOCLIP);
                    const bool copiesColour = k.outputs && through == ALPHA && !(k.flags & SAFEBLT_TARGETONLY);
                    // What lands where: the reference.
                    int x0 = 0, y0 = 0, x1 = kW, y1 = kH, minX = kW, minY = kH, maxX = -1, maxY = -1;
                    if (useRegion) {
                        x0 = rect.x;
                        y0 = rect.y;
                        x1 = rect.x + rect.width;
                        y1 = rect.y + rect.height;
                    }
                    for (int y = 0; y < kH; y++)
                        for (int x = 0; x < kW; x++) {
                            const int px = sx + x - dx, py = sy + y - dy;
                            const bool inRect = x >= dx && x < dx + w && y >= dy && y < dy + h && x >= x0 && x < x1 &&
                                                y >= y0 && y < y1 && px >= 0 && px < kSrcW && py >= 0 && py < kSrcH;
                            const bool inShape =
                                inRect && (!useRegion || shape != SHAPED_CLIP || RegionMaskBit(x - rect.x, y - rect.y));
                            uint32_t expected = Background(x, y);
                            if (inRect) {
                                minX = std::min(minX, x);
                                minY = std::min(minY, y);
                                maxX = std::max(maxX, x);
                                maxY = std::max(maxY, y);
                            }
                            if (inRect && copiesColour) {
                                expected = SourcePixel(px, py);
                            } else if (inShape) {
                                if (through == PLAIN) expected = SourcePixel(px, py);
                                if (through == MASKED && SourceMaskBit(px, py)) expected = SourcePixel(px, py);
                                if (through == ALPHA)
                                    expected = Blend(expected, SourcePixel(px, py), SourceAlpha(px, py));
                            }
                            ASSERT_EQ(Pixel(target, x, y), expected) << what << " pixel " << x << "," << y;
                            // Mirroring: with a scaled display the second buffer follows the first.
                            const bool mirrored = k.scaled && !k.toDestination;
                            ASSERT_EQ(Pixel(scope.second.get(), x, y), mirrored ? expected : Background(x, y))
                                << what << " second buffer " << x << "," << y;
                            // The selection's mask and alpha channel.
                            if (k.outputs) {
                                int bit = x % 2 == 1, a = 77;
                                if (!(k.flags & SAFEBLT_TARGETONLY) && inRect) {
                                    const bool clipBit =
                                        !useRegion || shape != SHAPED_CLIP || RegionMaskBit(x - rect.x, y - rect.y);
                                    // A shaped region turns a plain blit into a masked one.
                                    if (through == PLAIN && !(useRegion && shape == SHAPED_CLIP)) {
                                        bit = 1, a = 255;
                                    } else if (through != ALPHA) {
                                        const int s = clipBit && (through == PLAIN || SourceMaskBit(px, py));
                                        bit = s;
                                        if (s) a = 255;
                                    } else {
                                        const int sa = clipBit ? SourceAlpha(px, py) : 0;
                                        bit = sa == 255;
                                        a = sa;
                                    }
                                }
                                ASSERT_EQ(Bit(outMask.get(), x, y), bit) << what << " output mask " << x << "," << y;
                                ASSERT_EQ(AlphaAt(outAlpha.get(), x, y), a)
                                    << what << " output alpha " << x << "," << y;
                            }
                        }
                    // Presentation: only a display target is presented, as the clipped rectangle.
                    const bool presents = !k.toDestination && !(k.flags & SAFEBLT_NOPRESENT) && maxX >= 0;
                    ASSERT_EQ(d.presented.size(), presents ? 1u : 0u) << what;
                    if (presents) {
                        const Presented& p = d.presented[0];
                        EXPECT_EQ(p.bitmap, k.scaled ? scope.second.get() : scope.first.get()) << what;
                        EXPECT_EQ(p.dx, minX) << what;
                        EXPECT_EQ(p.dy, minY) << what;
                        EXPECT_EQ(p.w, maxX - minX + 1) << what;
                        EXPECT_EQ(p.h, maxY - minY + 1) << what;
                        EXPECT_EQ(p.scaledW, k.scaled ? 2 * kW : 0) << what;
                    }
                }
}

TEST(SafeBlt, SelectedMaskAndAlphaTakeTheRuntimeModes) {
    DisplayScope scope;
    FakeDisplay& d = scope.display;
    auto src = MakeBitMap(kSrcW, kSrcH, SourcePixel);
    auto outMask = MakeMask(kW, kH, [](int x, int) { return x < 8; });
    auto outAlpha = MakeAlpha(kW, kH, [](int, int) { return 5; });
    d.info.outputKind = OUTPUT_MASK;
    d.info.outputMask = outMask.get();
    d.info.outputAlpha = outAlpha.get();
    DrawModes().maskMode = MASKXOR;
    DrawModes().alphaIntensity = 200;
    SafeBlt(nullptr, src.get(), 0, 0, nullptr, 6, 2, 4, 3, kSrcW, kSrcH, kW, kH, SAFEBLT_FIRSTBUFFER, nullptr, nullptr,
            nullptr);
    for (int x = 0; x < kW; x++) {
        const bool in = x >= 6 && x < 10;
        EXPECT_EQ(Bit(outMask.get(), x, 3), (x < 8) ^ in) << x;
        EXPECT_EQ(AlphaAt(outAlpha.get(), x, 3), in ? 200 : 5) << x;
        EXPECT_EQ(Bit(outMask.get(), x, 5), x < 8) << x;
    }
    // Nothing is drawn into the display's buffers and nothing is presented.
    EXPECT_EQ(Pixel(scope.first.get(), 7, 3), Background(7, 3));
    EXPECT_TRUE(d.presented.empty());
    // An alpha source into the selected alpha channel at an intensity: mode 6 writes it where covered.
    auto srcAlpha = MakeAlpha(kSrcW, kSrcH, [](int x, int) { return x == 0 ? 0 : 50; });
    SafeBlt(nullptr, src.get(), 0, 0, nullptr, 0, 6, 3, 1, kSrcW, kSrcH, kW, kH, 0, nullptr, srcAlpha.get(), nullptr);
    EXPECT_EQ(AlphaAt(outAlpha.get(), 0, 6), 5);
    EXPECT_EQ(AlphaAt(outAlpha.get(), 1, 6), 200);
}

TEST(SafeBlt, OnScreenSpritesComposeThroughTheSecondBuffer) {
    auto src = MakeBitMap(kSrcW, kSrcH, SourcePixel);
    for (uint32_t flags : {(uint32_t)SAFEBLT_FIRSTBUFFER, 0u, (uint32_t)SAFEBLT_NOPRESENT}) {
        DisplayScope scope;
        FakeDisplay& d = scope.display;
        d.spritesTouched = 1;
        SafeBlt(nullptr, src.get(), 0, 0, nullptr, 2, 3, 4, 2, kSrcW, kSrcH, kW, kH, flags, nullptr, nullptr, nullptr);
        if (flags & SAFEBLT_FIRSTBUFFER) {
            // The source goes into the first buffer, the layers are redrawn over it into the second.
            EXPECT_EQ(Pixel(scope.first.get(), 2, 3), SourcePixel(0, 0));
            ASSERT_EQ(d.redrawn.size(), 1u);
            EXPECT_EQ(d.redrawn[0].pass, 0);
        } else {
            // Layers below, the source into the second buffer, layers above.
            EXPECT_EQ(Pixel(scope.first.get(), 2, 3), Background(2, 3));
            EXPECT_EQ(Pixel(scope.second.get(), 2, 3), SourcePixel(0, 0));
            ASSERT_EQ(d.redrawn.size(), 2u);
            EXPECT_EQ(d.redrawn[0].pass, 1);
            EXPECT_EQ(d.redrawn[1].pass, 2);
        }
        for (const Redrawn& r : d.redrawn) {
            EXPECT_EQ(r.dst, scope.second.get());
            EXPECT_EQ(r.x, 2);
            EXPECT_EQ(r.w, 4);
        }
        if (flags & SAFEBLT_NOPRESENT) {
            EXPECT_TRUE(d.presented.empty());
        } else {
            ASSERT_EQ(d.presented.size(), 1u);
            EXPECT_EQ(d.presented[0].bitmap, scope.second.get());
            EXPECT_EQ(d.presented[0].sx, 2);
            EXPECT_EQ(d.presented[0].dy, 3);
        }
    }
    // Layers on and flag 8 without a destination: the layers are redrawn and shown, nothing drawn.
    DisplayScope scope;
    scope.display.info.layersOn = 1;
    SafeBlt(nullptr, src.get(), 0, 0, nullptr, 2, 3, 4, 2, kSrcW, kSrcH, kW, kH, SAFEBLT_REDRAWLAYERS, nullptr, nullptr,
            nullptr);
    ASSERT_EQ(scope.display.redrawn.size(), 1u);
    EXPECT_EQ(scope.display.redrawn[0].pass, 0);
    ASSERT_EQ(scope.display.presented.size(), 1u);
    EXPECT_EQ(scope.display.presented[0].bitmap, scope.second.get());
    EXPECT_EQ(Pixel(scope.first.get(), 2, 3), Background(2, 3));
}

TEST(SafeBlt, DisplaysFallbackAndHardwareBuffer) {
    auto src = MakeBitMap(kSrcW, kSrcH, SourcePixel);
    auto mask = MakeMask(kSrcW, kSrcH, SourceMaskBit);
    DisplayScope scope;
    FakeDisplay& d = scope.display;
    // A negative source position draws nothing.
    SafeBlt(nullptr, src.get(), -1, 0, nullptr, 0, 0, 4, 4, kSrcW, kSrcH, kW, kH, SAFEBLT_FIRSTBUFFER, nullptr, nullptr,
            nullptr);
    EXPECT_EQ(Pixel(scope.first.get(), 0, 0), Background(0, 0));
    EXPECT_TRUE(d.presented.empty());
    // Hardware double buffer with flag 128: straight to the display, mask included.
    d.info.hardwareDoubleBuffer = 1;
    SafeBlt(nullptr, src.get(), 1, 1, nullptr, 3, 3, 4, 4, kSrcW, kSrcH, kW, kH, SAFEBLT_HARDWARE, mask.get(), nullptr,
            nullptr);
    ASSERT_EQ(d.presented.size(), 1u);
    EXPECT_EQ(d.presented[0].bitmap, src.get());
    EXPECT_EQ(d.presented[0].mask, mask.get());
    EXPECT_EQ(d.presented[0].sx, 1);
    EXPECT_EQ(Pixel(scope.first.get(), 3, 3), Background(3, 3));
    // No display: the message, unless the call has a destination of its own and flag 16.
    d.exists = false;
    auto own = MakeBitMap(4, 4, [](int, int) { return 0u; });
    testing::internal::CaptureStdout();
    SafeBlt(nullptr, src.get(), 0, 0, nullptr, 0, 0, 2, 2, kSrcW, kSrcH, 4, 4, SAFEBLT_TARGETONLY, nullptr, nullptr,
            nullptr);
    SafeBlt(nullptr, src.get(), 0, 0, own.get(), 0, 0, 2, 2, kSrcW, kSrcH, 4, 4, SAFEBLT_TARGETONLY, nullptr, nullptr,
            nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ERROR! SAFEBLT() CALLED WITH DISPLAY=NULL!\nERROR! SAFEBLT() CALLED WITH DISPLAY=NULL!\n");
    EXPECT_EQ(Pixel(own.get(), 0, 0), 0u);
    SetBlitFallbackDisplay(true);
    d.spritesTouched = 1;  // the fallback call never composes sprites
    SafeBlt(nullptr, src.get(), 0, 0, own.get(), 1, 1, 2, 2, kSrcW, kSrcH, 4, 4, SAFEBLT_TARGETONLY, nullptr, nullptr,
            nullptr);
    EXPECT_EQ(Pixel(own.get(), 1, 1), SourcePixel(0, 0));
    EXPECT_EQ(Pixel(own.get(), 2, 2), SourcePixel(1, 1));
    EXPECT_TRUE(d.redrawn.empty());
    // The fallback record was current for that call only.
    EXPECT_EQ(BlitCurrentDisplay(), nullptr);
}

TEST(SafeBlt, PresentationInsideRefreshBlocksAndScaled) {
    DisplayScope scope;
    FakeDisplay& d = scope.display;
    const qzBitMap* first = scope.first.get();
    d.info.inRefreshBlock = 1;
    PresentBitMapRect(first, 0, 0, &d, 0, 0, 4, 4, 0);
    EXPECT_TRUE(d.presented.empty());
    PresentBitMapRect(first, 0, 0, &d, 0, 0, 4, 4, PRESENT_INREFRESH);
    EXPECT_EQ(d.presented.size(), 1u);
    d.info.inRefreshBlock = 0;
    // A scaled display shows a whole buffer at its scaled size.
    d.presented.clear();
    d.info.scaledWidth = 32;
    d.info.scaledHeight = 24;
    PresentBitMapRect(first, 1, 2, &d, 1, 2, 3, 4, PRESENT_SCALED);
    ASSERT_EQ(d.presented.size(), 1u);
    EXPECT_EQ(d.presented[0].scaledW, 32);
    EXPECT_EQ(d.presented[0].flags, (uint32_t)PRESENT_SCALED);
    // RedrawAndRefreshRect: sprites in the rectangle bring the second buffer.
    d.presented.clear();
    d.info.scaledWidth = d.info.scaledHeight = 0;
    RedrawAndRefreshRect(nullptr, -3, 0, &d, -3, 0, 6, 6);
    d.spritesTouched = 1;
    RedrawAndRefreshRect(nullptr, 2, 2, &d, 2, 2, 6, 6);
    ASSERT_EQ(d.presented.size(), 2u);
    EXPECT_EQ(d.presented[0].bitmap, first);
    EXPECT_EQ(d.presented[0].dx, 0);
    EXPECT_EQ(d.presented[0].w, 3);
    EXPECT_EQ(d.presented[1].bitmap, scope.second.get());
    ASSERT_EQ(d.redrawn.size(), 1u);
}

}  // namespace safe_blt_test
