// SafeBlt on real displays of the headless driver: the display code describes its buffers and
// presents through the blitters' hooks, so what SafeBlt draws reaches the window, unscaled and
// scaled (mirrored into the second buffer), and layer redraws go to the display's layer link.
#include <vector>

#include "display/display_test_util.h"
#include "gfx/blit_display.h"
#include "gfx/blit_test_util.h"
#include "gfx/safe_blt.h"

namespace display_blit_test {

using qztest::Arg;
using namespace blittest;

namespace {

constexpr uint32_t kBack = 0x112233;
uint32_t Source(int x, int y) { return 0xFF000000u | (uint32_t)(0x400000 + x * 0x10 + y * 0x1000); }

class DisplayBlitTest : public DisplayTest {
protected:
    // Draws the 8 x 6 source at 4, 3 of the current display (20 x 12) with the flags.
    void Draw(uint32_t flags) {
        BitMapPtr src = MakeBitMap(8, 6, Source);
        SafeBlt(*vm, src.get(), 0, 0, nullptr, 4, 3, 8, 6, 8, 6, 20, 12, flags, nullptr, nullptr, nullptr);
    }
};

}  // namespace

TEST_F(DisplayBlitTest, DrawingReachesTheWindowUnscaledAndScaled) {
    const struct {
        const char* what;
        int scale;  // 1 unscaled, 2 shown at twice the size
        uint32_t flags;
        bool inBuffer;  // the first buffer takes the drawing
    } rows[] = {
        {"first buffer", 1, SAFEBLT_FORCEFIRSTBUFFER, true},
        {"first buffer, layers off", 1, SAFEBLT_FIRSTBUFFER, true},
        {"straight to the window", 1, 0, false},
        {"first buffer, scaled", 2, SAFEBLT_FORCEFIRSTBUFFER, true},
    };
    int32_t number = 1;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        Arg options = r.scale == 1 ? Arg::Table({{"width", 20}, {"height", 12}, {"color", kBack}})
                                   : Arg::Table({{"width", 20},
                                                 {"height", 12},
                                                 {"color", kBack},
                                                 {"scalemode", 1},
                                                 {"scalewidth", 40},
                                                 {"scaleheight", 24}});
        OpenCurrent(number, options);
        qzDisplay* d = Display(number);
        ASSERT_NE(d, nullptr);
        Draw(r.flags);
        for (int y = 0; y < 12; y++)
            for (int x = 0; x < 20; x++) {
                const bool inside = x >= 4 && x < 12 && y >= 3 && y < 9;
                const uint32_t want = inside ? Source(x - 4, y - 3) & 0xFFFFFF : kBack;
                ASSERT_EQ(Pixel(number, x * r.scale, y * r.scale), want) << x << "," << y;
                ASSERT_EQ(Pixel(number, x * r.scale + r.scale - 1, y * r.scale + r.scale - 1), want) << x << "," << y;
                ASSERT_EQ(blittest::Pixel(d->displayBuffer, x, y) & 0xFFFFFF, r.inBuffer ? want : kBack);
                // Scaled, the second buffer holds what is shown.
                if (r.scale == 2) {
                    ASSERT_EQ(blittest::Pixel(d->secondBuffer, x, y) & 0xFFFFFF, want);
                }
            }
        number++;
    }
}

TEST_F(DisplayBlitTest, LayerRedrawPresentsTheSecondBufferAndRefreshBlocksHoldPresentation) {
    OpenCurrent(1, Arg::Table({{"width", 20}, {"height", 12}, {"color", kBack}}));
    qzDisplay* d = Display(1);
    // Layers on and flag 8: the rectangle is redrawn into the second buffer (the picture's own
    // pixels without a layer system) and that is presented; the source itself is not drawn.
    d->layersEnabled = 1;
    Draw(SAFEBLT_REDRAWLAYERS);
    EXPECT_EQ(Pixel(1, 5, 4), kBack);
    EXPECT_EQ(blittest::Pixel(d->secondBuffer, 5, 4) & 0xFFFFFF, kBack);
    d->layersEnabled = 0;

    // Inside a refresh block the buffer changes but the window does not.
    d->refreshBlock = 1;
    Draw(SAFEBLT_FORCEFIRSTBUFFER);
    EXPECT_EQ(blittest::Pixel(d->displayBuffer, 4, 3) & 0xFFFFFF, Source(0, 0) & 0xFFFFFF);
    EXPECT_EQ(Pixel(1, 4, 3), kBack);
    d->refreshBlock = 0;
    Draw(SAFEBLT_FORCEFIRSTBUFFER);
    EXPECT_EQ(Pixel(1, 4, 3), Source(0, 0) & 0xFFFFFF);

    // A selected mask takes the drawing: nothing reaches the window.
    BitMapPtr mask = MakeMask(20, 12, [](int, int) { return false; });
    d->outputKind = QZ_TYPE_MASK;
    d->outputMask = mask.get();
    BitMapPtr src = MakeBitMap(8, 6, [](int, int) { return 0xFFFFFFFFu; });
    SafeBlt(*vm, src.get(), 0, 0, nullptr, 0, 0, 8, 6, 8, 6, 20, 12, 0, nullptr, nullptr, nullptr);
    d->outputKind = QZ_TYPE_DISPLAY;
    d->outputMask = nullptr;
    EXPECT_EQ(Bit(mask.get(), 7, 5), 1);
    EXPECT_EQ(Bit(mask.get(), 8, 5), 0);
    EXPECT_EQ(Pixel(1, 0, 0), kBack);
}

TEST_F(DisplayBlitTest, WithoutAnyDisplayNothingIsDescribed) {
    qzBlitDisplayInfo info;
    EXPECT_FALSE(DescribeBlitDisplay(nullptr, &info));
    vm->Ok("CreateDisplay", {1});
    vm->Ok("SelectDisplay", {1});
    ASSERT_TRUE(DescribeBlitDisplay(nullptr, &info));
    EXPECT_EQ(info.outputKind, OUTPUT_DISPLAY);
    EXPECT_EQ(info.firstBuffer, Display(1)->displayBuffer);
    EXPECT_EQ(info.targetWidth, 640);
    EXPECT_EQ(info.targetHeight, 480);
}

}  // namespace display_blit_test
