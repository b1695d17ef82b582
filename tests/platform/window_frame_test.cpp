// The window framebuffer's kernels against plain per-pixel references: blits clipped at every
// edge, nearest-pixel scaling (whole and in parts), lines walked only where they can show, and
// every source pixel format.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/pixel_format_codes.h"
#include "platform/host/frame.h"

namespace window_frame_test {

namespace {

// A 32-bit source whose every pixel differs: 0x00XXYY.
struct Source {
    std::vector<uint32_t> pixels;
    qzFrameSource view;
    Source(int32_t width, int32_t height, int32_t padding = 3) {
        int32_t row = width + padding;
        pixels.assign(size_t(row) * height, 0xDEADBEEF);
        for (int32_t y = 0; y < height; y++)
            for (int32_t x = 0; x < width; x++)
                pixels[size_t(y) * row + x] = 0x11000000u | uint32_t(x) << 8 | uint32_t(y);
        view = {pixels.data(), PIXFMT_ARGB32, row * 4, width, height};
    }
    uint32_t At(int64_t x, int64_t y) const { return 0xFF000000u | uint32_t(x) << 8 | uint32_t(y); }
};

qzHostFrame Frame(int32_t width, int32_t height) {
    qzHostFrame f;
    EXPECT_TRUE(FrameResize(&f, width, height));
    FrameTakeDirty(&f);
    return f;
}

uint32_t Pixel(const qzHostFrame& f, int32_t x, int32_t y) { return f.pixels[size_t(y) * f.width + x]; }

bool SameRect(qzFrameRect a, qzFrameRect b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

}  // namespace

TEST(WindowFrame, BlitsAreClippedToSourceAndFramebuffer) {
    const Source s(20, 10);
    struct Case {
        int32_t sx, sy, dx, dy, w, h;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 20, 10},       {5, 2, 3, 4, 8, 3},     {-4, -2, 0, 0, 10, 10},
        {15, 7, 10, 10, 30, 30},    {0, 0, -5, -3, 20, 10}, {0, 0, 25, 12, 20, 10},
        {2, 3, 28, 5, 10, 4},       {0, 0, 0, 0, 0, 5},     {0, 0, 0, 0, INT32_MAX, INT32_MAX},
        {INT32_MIN, 0, 0, 0, 5, 5},
    };
    for (const Case& c : cases) {
        qzHostFrame f = Frame(30, 16);
        FrameBlit(&f, s.view, c.sx, c.sy, c.dx, c.dy, c.w, c.h);
        int64_t minX = 30, minY = 16, maxX = -1, maxY = -1;
        for (int32_t y = 0; y < 16; y++) {
            for (int32_t x = 0; x < 30; x++) {
                int64_t fromX = int64_t(c.sx) + x - c.dx, fromY = int64_t(c.sy) + y - c.dy;
                bool inside = x - int64_t(c.dx) >= 0 && x - int64_t(c.dx) < c.w && y - int64_t(c.dy) >= 0 &&
                              y - int64_t(c.dy) < c.h && fromX >= 0 && fromX < 20 && fromY >= 0 && fromY < 10;
                ASSERT_EQ(Pixel(f, x, y), inside ? s.At(fromX, fromY) : QZ_FRAME_BLACK)
                    << c.sx << "," << c.sy << " -> " << c.dx << "," << c.dy << " at " << x << "," << y;
                if (inside) {
                    minX = std::min<int64_t>(minX, x), minY = std::min<int64_t>(minY, y);
                    maxX = std::max<int64_t>(maxX, x), maxY = std::max<int64_t>(maxY, y);
                }
            }
        }
        qzFrameRect expected =
            maxX < 0 ? qzFrameRect{0, 0, 0, 0}
                     : qzFrameRect{int32_t(minX), int32_t(minY), int32_t(maxX - minX + 1), int32_t(maxY - minY + 1)};
        EXPECT_TRUE(SameRect(f.dirty, expected)) << c.dx << "," << c.dy;
    }
}

TEST(WindowFrame, ScaledBlitsTakeTheNearestSourcePixel) {
    const Source s(16, 12);
    struct Case {
        int32_t sx, sy, w, h, dx, dy, sw, sh;
    };
    const Case cases[] = {
        {0, 0, 16, 12, 0, 0, 24, 18},   // 1.5x
        {0, 0, 16, 12, 3, 2, 7, 5},     // down
        {4, 2, 8, 8, -5, -3, 40, 30},   // up, partly off the framebuffer
        {-4, 6, 16, 12, 0, 0, 32, 24},  // partly outside the source
        {0, 0, 16, 12, 0, 0, 1, 1},
    };
    for (const Case& c : cases) {
        qzHostFrame f = Frame(36, 28);
        FrameBlitScaled(&f, s.view, c.sx, c.sy, c.w, c.h, c.dx, c.dy, c.sw, c.sh);
        for (int32_t y = 0; y < 28; y++) {
            for (int32_t x = 0; x < 36; x++) {
                int64_t i = x - int64_t(c.dx), j = y - int64_t(c.dy);
                int64_t fromX = c.sx + i * c.w / c.sw, fromY = c.sy + j * c.h / c.sh;
                bool inside =
                    i >= 0 && i < c.sw && j >= 0 && j < c.sh && fromX >= 0 && fromX < 16 && fromY >= 0 && fromY < 12;
                ASSERT_EQ(Pixel(f, x, y), inside ? s.At(fromX, fromY) : QZ_FRAME_BLACK)
                    << c.sw << "x" << c.sh << " at " << x << "," << y;
            }
        }
    }
}

TEST(WindowFrame, ScaledPartsGiveThePixelsOfTheWholeScaledPicture) {
    const Source s(40, 30);
    for (auto [sw, sh] : {std::pair{60, 45}, std::pair{23, 17}, std::pair{97, 31}}) {
        qzHostFrame whole = Frame(100, 50);
        FrameBlitScaled(&whole, s.view, 0, 0, 40, 30, 2, 1, sw, sh);
        for (qzFrameRect part : {qzFrameRect{0, 0, 40, 30}, qzFrameRect{13, 7, 10, 10}, qzFrameRect{39, 29, 1, 1},
                                 qzFrameRect{0, 5, 3, 25}, qzFrameRect{30, 0, 20, 40}}) {
            qzHostFrame f = Frame(100, 50);
            qzFrameRect covered = FrameBlitScaledPart(&f, s.view, 40, 30, part, 2, 1, sw, sh);
            for (int32_t y = 0; y < 50; y++) {
                for (int32_t x = 0; x < 100; x++) {
                    bool in = x >= covered.x && x < covered.x + covered.width && y >= covered.y &&
                              y < covered.y + covered.height;
                    // Inside the covered rectangle the pixels are the whole picture's, outside untouched.
                    ASSERT_EQ(Pixel(f, x, y), in ? Pixel(whole, x, y) : QZ_FRAME_BLACK)
                        << sw << "x" << sh << " part " << part.x << "," << part.y << " at " << x << "," << y;
                    // And they show exactly the part's source pixels.
                    if (in) {
                        uint32_t p = Pixel(f, x, y);
                        int32_t fromX = int32_t((p >> 8) & 0xFF), fromY = int32_t(p & 0xFF);
                        ASSERT_TRUE(fromX >= part.x && fromX < part.x + part.width && fromY >= part.y &&
                                    fromY < part.y + part.height);
                    }
                }
            }
            EXPECT_TRUE(SameRect(f.dirty, covered));
        }
    }
}

TEST(WindowFrame, LinesCoverTheirBoundingBoxAndAreWalkedOnlyWhereVisible) {
    // A line from (10, 5) to (2, 9): both ends drawn, bounding box (2, 5) 9 x 5 dirty.
    qzHostFrame f = Frame(20, 20);
    FrameLine(&f, 10, 5, 2, 9, 0x123456);
    EXPECT_TRUE(SameRect(f.dirty, {2, 5, 9, 5}));
    EXPECT_EQ(Pixel(f, 10, 5), 0xFF123456u);
    EXPECT_EQ(Pixel(f, 2, 9), 0xFF123456u);
    int drawn = 0;
    for (uint32_t p : f.pixels) drawn += p != QZ_FRAME_BLACK;
    EXPECT_EQ(drawn, 9);

    // Lines cut by the framebuffer's edges show the pixels of the same line drawn whole into a
    // larger picture; far-away ends cost nothing.
    struct Case {
        int32_t x1, y1, x2, y2;
    };
    const Case cases[] = {{-30, -10, 50, 40}, {25, -7, -9, 33}, {5, -100, 6, 100},
                          {-3, 4, 40, 4},     {7, 7, 7, 7},     {-1000, 3, 1000, 17}};
    for (const Case& c : cases) {
        qzHostFrame small = Frame(20, 20);
        FrameLine(&small, c.x1, c.y1, c.x2, c.y2, 0xFFFFFF);
        std::vector<uint32_t> big(size_t(2100) * 300, 0);
        LinePixels32(big.data(), 2100, 2100, 300, c.x1 + 1050, c.y1 + 140, c.x2 + 1050, c.y2 + 140, 1);
        for (int32_t y = 0; y < 20; y++)
            for (int32_t x = 0; x < 20; x++)
                ASSERT_EQ(Pixel(small, x, y) != QZ_FRAME_BLACK, big[size_t(y + 140) * 2100 + x + 1050] == 1)
                    << c.x1 << "," << c.y1 << "-" << c.x2 << "," << c.y2 << " at " << x << "," << y;
    }
    qzHostFrame far = Frame(8, 8);
    FrameLine(&far, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, 0xFF);
    EXPECT_EQ(Pixel(far, 3, 3), 0xFF0000FFu);
}

TEST(WindowFrame, EverySourceFormatShowsItsColour) {
    // Colour 0xC0A0F8 (fits 5-bit fields exactly) in each format's bytes.
    struct Case {
        int format;
        std::vector<uint8_t> bytes;
        uint32_t shown;
    };
    auto le16 = [](uint16_t v) { return std::vector<uint8_t>{uint8_t(v), uint8_t(v >> 8)}; };
    auto le32 = [](uint32_t v) {
        return std::vector<uint8_t>{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    };
    const uint16_t rgb555 = (0xC0 >> 3) << 10 | (0xA0 >> 3) << 5 | 0xF8 >> 3;
    const uint16_t bgr555 = (0xF8 >> 3) << 10 | (0xA0 >> 3) << 5 | 0xC0 >> 3;
    const uint16_t rgb565 = (0xC0 >> 3) << 11 | (0xA0 >> 2) << 5 | 0xF8 >> 3;
    const uint16_t bgr565 = (0xF8 >> 3) << 11 | (0xA0 >> 2) << 5 | 0xC0 >> 3;
    auto swap = [](uint16_t v) { return uint16_t(v << 8 | v >> 8); };
    const Case cases[] = {
        {PIXFMT_RGB555, le16(rgb555), 0xFFC0A0F8},
        {PIXFMT_BGR555, le16(bgr555), 0xFFC0A0F8},
        {PIXFMT_RGB555_SWAPPED, le16(swap(rgb555)), 0xFFC0A0F8},
        {PIXFMT_BGR555_SWAPPED, le16(swap(bgr555)), 0xFFC0A0F8},
        {PIXFMT_RGB565, le16(rgb565), 0xFFC0A0F8},
        {PIXFMT_BGR565, le16(bgr565), 0xFFC0A0F8},
        {PIXFMT_RGB565_SWAPPED, le16(swap(rgb565)), 0xFFC0A0F8},
        {PIXFMT_BGR565_SWAPPED, le16(swap(bgr565)), 0xFFC0A0F8},
        {PIXFMT_RGB24, {0xC0, 0xA0, 0xF8}, 0xFFC0A0F8},
        {PIXFMT_BGR24, {0xF8, 0xA0, 0xC0}, 0xFFC0A0F8},
        {PIXFMT_ARGB32, le32(0x00C0A0F8), 0xFFC0A0F8},
        {PIXFMT_BGRA32, le32(0xF8A0C000), 0xFFC0A0F8},
        {PIXFMT_RGBA32, le32(0xC0A0F800), 0xFFC0A0F8},
        {PIXFMT_ABGR32, le32(0x00F8A0C0), 0xFFC0A0F8},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = c.bytes;
        qzFrameSource source = {bytes.data(), c.format, int32_t(bytes.size()), 1, 1};
        EXPECT_EQ(FrameReadSourcePixel(source, 0, 0), c.shown) << "format " << c.format;
        qzHostFrame f = Frame(2, 1);
        FrameBlit(&f, source, 0, 0, 1, 0, 1, 1);
        EXPECT_EQ(Pixel(f, 1, 0), c.shown) << "format " << c.format;
        FrameBlitScaled(&f, source, 0, 0, 1, 1, 0, 0, 1, 1);
        EXPECT_EQ(Pixel(f, 0, 0), c.shown) << "format " << c.format;
    }
    // Alpha channels, masks and unknown formats are no colour source: nothing is drawn.
    uint8_t byte = 0xFF;
    qzHostFrame f = Frame(1, 1);
    for (int format : {int(PIXFMT_ALPHA8), int(PIXFMT_MASK1), 99, -1})
        FrameBlit(&f, {&byte, format, 1, 1, 1}, 0, 0, 0, 0, 1, 1);
    EXPECT_EQ(Pixel(f, 0, 0), QZ_FRAME_BLACK);
}

TEST(WindowFrame, ResizingKeepsWhatBothSizesShowAndRefusesImpossibleSizes) {
    qzHostFrame f = Frame(4, 3);
    FrameFill(&f, {0, 0, 4, 3}, 0x00FF00);
    f.shape.assign(12, 255);
    FrameTakeDirty(&f);
    ASSERT_TRUE(FrameResize(&f, 6, 2));
    EXPECT_TRUE(SameRect(f.dirty, {0, 0, 6, 2}));
    EXPECT_EQ(Pixel(f, 3, 1), 0xFF00FF00u);
    EXPECT_EQ(Pixel(f, 4, 1), QZ_FRAME_BLACK);
    ASSERT_EQ(f.shape.size(), 12u);
    EXPECT_EQ(f.shape[3], 255);
    EXPECT_EQ(f.shape[4], 0);
    EXPECT_FALSE(FrameResize(&f, 65536, 65536));
    EXPECT_EQ(f.width, 6);
    ASSERT_TRUE(FrameResize(&f, 0, 5));
    EXPECT_TRUE(f.pixels.empty());
    FrameFill(&f, {0, 0, 10, 10}, 0xFFFFFF);  // nothing to fill, nothing dirty
    EXPECT_FALSE(FrameHasDirty(f));
}

}  // namespace window_frame_test
