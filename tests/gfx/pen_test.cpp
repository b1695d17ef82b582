// Pen plotting: clipping, blending, mask and alpha targets, the antialiased thin line's coverage,
// thick runs and coverage maps.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "gfx/pen.h"

namespace pen_test {

namespace {

struct Canvas {
    int w, h;
    std::vector<uint32_t> px;
    std::vector<uint8_t> mask, alpha;
    qzPenTarget pen{};
    Canvas(int w_, int h_, uint32_t fill = 0x00000000)
        : w(w_), h(h_), px((size_t)w_ * h_, fill), mask((size_t)h_ * 4, 0), alpha((size_t)w_ * h_, 0xAA) {
        pen.pixels = px.data();
        pen.rowLength = w;
        pen.bytesPerPixel = 4;
        pen.pixelFormat = 10;
        pen.color = 0x00FFFFFF;
        pen.opacity = 255;
        pen.penOpacity = 255;
        pen.blendRed = pen.blendGreen = pen.blendBlue = 255;
        pen.penWidth = 1;
        pen.maskBytesPerRow = 4;
        pen.alphaBytesPerRow = w;
        pen.clip = 1;
        pen.clipWidth = w;
        pen.clipHeight = h;
    }
    void WithPlanes() {
        pen.maskTarget = mask.data();
        pen.alphaTarget = alpha.data();
    }
    uint32_t At(int x, int y) const { return px[(size_t)y * w + x]; }
    bool Bit(int x, int y) const { return (mask[(size_t)y * 4 + (x >> 3)] >> (7 - (x & 7))) & 1; }
    uint8_t A(int x, int y) const { return alpha[(size_t)y * w + x]; }
};

TEST(Pen, ClipBlendAndTargets) {
    Canvas c(8, 8, 0x00204060);
    c.pen.clipX = 2;
    c.pen.clipY = 2;
    c.pen.clipWidth = 4;
    c.pen.clipHeight = 4;
    c.WithPlanes();
    PlotPenPixel(&c.pen, 1, 3);  // outside the clip rectangle: nothing anywhere
    PlotPenPixel(&c.pen, 6, 3);
    EXPECT_EQ(c.At(1, 3), 0x00204060u);
    EXPECT_FALSE(c.Bit(1, 3));
    EXPECT_EQ(c.A(6, 3), 0xAA);
    // A clip mask relative to the clip rectangle hides (3, 2).
    const uint8_t clipMask[4] = {0xBF, 0xFF, 0xFF, 0xFF};
    c.pen.clipMask = clipMask;
    c.pen.clipMaskBytesPerRow = 1;
    PlotPenPixel(&c.pen, 3, 2);
    EXPECT_EQ(c.At(3, 2), 0x00204060u);
    // With an alpha target the colour is stored unblended and the opacity goes to the alpha.
    c.pen.opacity = 128;
    PlotPenPixel(&c.pen, 2, 2);
    EXPECT_EQ(c.At(2, 2), 0x00FFFFFFu);
    EXPECT_EQ(c.A(2, 2), 128);
    EXPECT_TRUE(c.Bit(2, 2));
    // Without one it blends: d + ((128 * (255 - d)) >> 8).
    c.pen.alphaTarget = nullptr;
    PlotPenPixel(&c.pen, 4, 4);
    EXPECT_EQ(c.At(4, 4), 0x008F9FAFu);
    // Mask modes: 1 clears, 3 toggles, 4 leaves.
    c.pen.maskMode = 1;
    PlotPenPixel(&c.pen, 2, 2);
    EXPECT_FALSE(c.Bit(2, 2));
    c.pen.maskMode = 3;
    PlotPenPixel(&c.pen, 2, 2);
    EXPECT_TRUE(c.Bit(2, 2));
    c.pen.maskMode = 4;
    PlotPenPixel(&c.pen, 2, 2);
    EXPECT_TRUE(c.Bit(2, 2));
}

TEST(Pen, SixteenBitBlendAndTexture) {
    std::vector<uint16_t> px(4, 0x0000), tex(4, 0xF800);
    qzPenTarget pen{};
    pen.pixels = px.data();
    pen.rowLength = 2;
    pen.bytesPerPixel = 2;
    pen.pixelFormat = 4;
    pen.texturePixels = tex.data();
    pen.textureRowLength = 2;
    pen.opacity = 128;
    pen.penOpacity = 255;
    PlotPenPixel(&pen, 1, 1);
    // The texel's red (248) becomes the blend colour: 0 + ((128 * 248) >> 8) = 124 -> 15 << 11.
    EXPECT_EQ(px[3], 15 << 11);
    pen.opacity = 255;
    PlotPenPixel(&pen, 0, 0);
    EXPECT_EQ(px[0], 0xF800);
}

TEST(Pen, AntialiasedLineCoverageSumsToFull) {
    // Every step of a thin line plots two pixels whose opacities add up to 255: the alpha
    // target collects them. Shallow and steep lines, both directions.
    const int lines[][4] = {{1, 2, 30, 9}, {30, 9, 1, 2}, {3, 1, 10, 28}, {10, 28, 3, 1}, {2, 5, 25, 5}};
    for (const auto& l : lines) {
        Canvas c(32, 32);
        c.WithPlanes();
        std::fill(c.alpha.begin(), c.alpha.end(), 0);
        DrawPenLine(&c.pen, l[0], l[1], l[2], l[3]);
        const bool steep = std::abs(l[2] - l[0]) <= std::abs(l[3] - l[1]);
        const int from = steep ? std::min(l[1], l[3]) : std::min(l[0], l[2]);
        const int to = steep ? std::max(l[1], l[3]) : std::max(l[0], l[2]);
        for (int k = from; k <= to; k++) {
            int sum = 0;
            for (int j = 0; j < 32; j++) sum += steep ? c.A(j, k) : c.A(k, j);
            ASSERT_EQ(sum, 255) << l[0] << "," << l[1] << " " << l[2] << "," << l[3] << " step " << k;
        }
    }
    // A horizontal line: 255 on its row; below it opacity 0 leaves the pixel, yet the mask bit
    // is set and the alpha target gets 0.
    Canvas c(16, 4, 0x00123456);
    c.pen.maskTarget = c.mask.data();
    DrawPenLine(&c.pen, 2, 1, 12, 1);
    EXPECT_EQ(c.At(5, 1), 0x00FFFFFFu);
    EXPECT_EQ(c.At(5, 2), 0x00123456u);
    EXPECT_TRUE(c.Bit(5, 2));
    Canvas d(16, 4);
    d.WithPlanes();
    DrawPenLine(&d.pen, 2, 1, 12, 1);
    EXPECT_EQ(d.A(5, 2), 0);
    EXPECT_EQ(d.A(5, 1), 255);
    // Pen opacity scales each step: 255 * 100 / 255.
    Canvas e(16, 4);
    e.WithPlanes();
    e.pen.penOpacity = 100;
    DrawPenLine(&e.pen, 2, 1, 12, 1);
    EXPECT_EQ(e.A(5, 1), 100);
}

TEST(Pen, ThickLineRuns) {
    Canvas c(20, 20);
    c.pen.penWidth = 5;
    DrawThickPenLine(&c.pen, 10, 3, 10, 15);  // vertical: runs of 5 at x - 2 .. x + 2
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 20; x++)
            EXPECT_EQ(c.At(x, y) != 0, y >= 3 && y <= 15 && x >= 8 && x <= 12) << x << "," << y;
    Canvas d(20, 20);
    d.pen.penWidth = 3;
    DrawThickPenLine(&d.pen, 15, 10, 2, 10);  // horizontal: vertical runs of 3
    for (int x = 0; x < 20; x++) EXPECT_EQ(d.At(x, 9) != 0, x >= 2 && x <= 15) << x;
    EXPECT_EQ(d.At(8, 12), 0u);
    Canvas e(20, 20);
    e.pen.penWidth = 0;  // a run length of 0 becomes 1
    DrawThickPenLine(&e.pen, 0, 0, 6, 3);
    int lit = 0;
    for (uint32_t p : e.px) lit += p != 0;
    EXPECT_EQ(lit, 7);
    EXPECT_NE(e.At(6, 3), 0u);
    Canvas f(20, 20);
    f.pen.penWidth = 4;
    DrawThickPenLine(&f.pen, 7, 7, 7, 7);  // zero length: one pixel
    lit = 0;
    for (uint32_t p : f.px) lit += p != 0;
    EXPECT_EQ(lit, 1);
}

TEST(Pen, HugeWidthsAndLengthsCostNoMoreThanTheClipRectangle) {
    // A pen a billion pixels wide and a line two billion long: only the clip rectangle is walked.
    Canvas c(16, 8);
    c.pen.penWidth = 1 << 30;
    DrawThickPenLine(&c.pen, 3, -1000000000, 3, 1000000000);
    for (uint32_t p : c.px) ASSERT_EQ(p, 0x00FFFFFFu);
    Canvas d(16, 8);
    d.WithPlanes();
    std::fill(d.alpha.begin(), d.alpha.end(), 0);
    DrawPenLine(&d.pen, -2000000000, 3, 2000000000, 4);
    for (int x = 0; x < 16; x++) ASSERT_EQ(d.A(x, 3) + d.A(x, 4), 255) << x;
    // Skipping the steps before the clip rectangle lands the walk where walking them would.
    for (const auto& l : {std::array<int, 4>{-37, -5, 60, 30}, {50, -20, 2, 47}, {-9, 40, 70, 1}}) {
        Canvas whole(64, 48), part(64, 48);
        whole.pen.penWidth = part.pen.penWidth = 3;
        part.pen.clipX = 20;
        part.pen.clipY = 15;
        part.pen.clipWidth = 25;
        part.pen.clipHeight = 20;
        DrawThickPenLine(&whole.pen, l[0], l[1], l[2], l[3]);
        DrawThickPenLine(&part.pen, l[0], l[1], l[2], l[3]);
        for (int y = 0; y < 48; y++)
            for (int x = 0; x < 64; x++) {
                const bool inside = x >= 20 && x < 45 && y >= 15 && y < 35;
                ASSERT_EQ(part.At(x, y), inside ? whole.At(x, y) : 0u)
                    << l[0] << "," << l[1] << " at " << x << "," << y;
            }
    }
}

TEST(Pen, CoverageMapOpacities) {
    const uint8_t map[2][3] = {{0, 128, 255}, {64, 0, 1}};
    Canvas c(8, 8);
    c.WithPlanes();
    c.pen.penOpacity = 128;
    PlotCoverageMap(&map[0][0], 2, 3, &c.pen, 3, 2, 3, 0);
    EXPECT_EQ(c.A(2, 3), 0xAA);  // zero bytes plot nothing
    EXPECT_EQ(c.A(3, 3), 128 * 128 / 255);
    EXPECT_EQ(c.A(4, 3), 128);
    EXPECT_EQ(c.A(2, 4), 64 * 128 / 255);
    Canvas d(8, 8);
    d.WithPlanes();
    d.pen.opacity = 77;
    PlotCoverageMap(&map[0][0], 0, 0, &d.pen, 3, 2, 3, 1);  // mask flag: the caller's opacity
    EXPECT_EQ(d.A(1, 0), 77);
    EXPECT_EQ(d.A(0, 1), 77);
    EXPECT_EQ(d.A(0, 0), 0xAA);
}

}  // namespace

}  // namespace pen_test
