// The flood fill against an independent statement of the set it paints, its limits, and an area
// whose runs are a single pixel wide, which a recursive fill could not hold on its call stack.
#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "gfx/kernels_flood.h"
#include "gfx/pixel_test_util.h"

namespace flood_fill_test {

namespace {

// The painted set, pixel by pixel: a seed paints its whole run of non-boundary pixels (through
// pixels that already have the fill colour); every pixel above or below a painted one that was
// neither boundary- nor fill-coloured at the start seeds again.
std::vector<bool> ExpectedFill(const std::vector<uint32_t>& start, int rowLength, const qzFloodFillJob& job, int x,
                               int y, uint32_t compare) {
    std::vector<bool> painted(start.size(), false);
    auto at = [&](int px, int py) { return (size_t)py * rowLength + px; };
    auto boundary = [&](int px, int py) { return (start[at(px, py)] & compare) == job.boundary; };
    auto fillColoured = [&](int px, int py) { return (start[at(px, py)] & compare) == (job.fill & compare); };
    int right = job.left + job.width - 1, bottom = job.top + job.height - 1;
    if (x < job.left || x > right || y < job.top || y > bottom || boundary(x, y)) return painted;
    std::deque<std::pair<int, int>> seeds = {{x, y}};
    while (!seeds.empty()) {
        auto [sx, sy] = seeds.front();
        seeds.pop_front();
        if (painted[at(sx, sy)]) continue;
        int l = sx, r = sx;
        while (l - 1 >= job.left && !boundary(l - 1, sy)) l--;
        while (r + 1 <= right && !boundary(r + 1, sy)) r++;
        for (int px = l; px <= r; px++) {
            painted[at(px, sy)] = true;
            for (int ny : {sy - 1, sy + 1})
                if (ny >= job.top && ny <= bottom && !boundary(px, ny) && !fillColoured(px, ny) && !painted[at(px, ny)])
                    seeds.push_back({px, ny});
        }
    }
    return painted;
}

}  // namespace

TEST(FloodFill, PaintsTheSameSetAsTheRunRule) {
    const int rowLength = 26, rows = 19;
    for (int bytes : {4, 2}) {
        for (int round = 0; round < 200; round++) {
            TestRng rng(round * 2 + bytes);
            // Four colours; in 32 bits the alpha byte is noise that the compare mask hides.
            const uint32_t colours[4] = {0x102030, 0x405060, 0x708090, 0xA0B0C0};
            std::vector<uint32_t> pixels((size_t)rowLength * rows);
            for (uint32_t& p : pixels) {
                p = colours[rng.Below(4)];
                if (bytes == 4)
                    p |= rng.Next() & 0xFF000000;
                else
                    p &= 0xFFFF;
            }
            uint32_t compare = bytes == 4 ? 0x00FFFFFF : 0xFFFFFFFF;
            qzFloodFillJob job{
                nullptr, 18, 11, rowLength, colours[1] & compare, colours[2] | (bytes == 4 ? 0x77000000 : 0), 2, 3};
            if (bytes == 2) {
                job.boundary &= 0xFFFF;
                job.fill &= 0xFFFF;
            }
            int x = rng.Below(rowLength), y = rng.Below(rows);
            std::vector<bool> expected = ExpectedFill(pixels, rowLength, job, x, y, compare);
            std::vector<uint16_t> small(pixels.begin(), pixels.end());
            std::vector<uint32_t> before = pixels;
            if (bytes == 4) {
                job.pixels = pixels.data();
                ASSERT_EQ(FloodFill32(&job, x, y, compare), 0);
            } else {
                job.pixels = small.data();
                ASSERT_EQ(FloodFill16(&job, x, y), 0);
                pixels.assign(small.begin(), small.end());
            }
            for (size_t i = 0; i < pixels.size(); i++)
                ASSERT_EQ(pixels[i], expected[i] ? job.fill : before[i])
                    << "round " << round << ", bytes " << bytes << ", pixel " << i % rowLength << "," << i / rowLength;
        }
    }
}

TEST(FloodFill, SeedsOutsideTheAreaOrOnTheBoundaryDoNothing) {
    // The area is columns 2..5, rows 1..3 of an 8 x 5 buffer of colour 1; boundary 9, fill 7.
    std::vector<uint32_t> pixels(40, 1);
    pixels[8 * 2 + 3] = 9;
    qzFloodFillJob job{pixels.data(), 4, 3, 8, 9, 7, 2, 1};
    const int seeds[][2] = {{1, 2}, {6, 2}, {3, 0}, {3, 4}, {-5, 2}, {3, -100}, {100000, 2}, {3, 2}};
    for (auto& s : seeds) {
        EXPECT_EQ(FloodFill32(&job, s[0], s[1], 0xFFFFFFFF), 0);
        for (uint32_t p : pixels) ASSERT_NE(p, 7u) << s[0] << "," << s[1];
    }
    // Inside, the fill stays within the area.
    EXPECT_EQ(FloodFill32(&job, 2, 1, 0xFFFFFFFF), 0);
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 8; x++) {
            bool inArea = x >= 2 && x <= 5 && y >= 1 && y <= 3 && !(x == 3 && y == 2);
            EXPECT_EQ(pixels[y * 8 + x], inArea ? 7u : (x == 3 && y == 2 ? 9u : 1u)) << x << "," << y;
        }
}

TEST(FloodFill, FillColourWithBitsOutsideTheCompareMaskEnds) {
    // Painted pixels hold 0xFF00FF00 but compare as 0x0000FF00: the rows already painted must count
    // as blocked, or the fill would seed them again forever.
    std::vector<uint32_t> pixels(64 * 64, 0x12000000);
    qzFloodFillJob job{pixels.data(), 64, 64, 64, 0x00FFFFFF, 0xFF00FF00, 0, 0};
    EXPECT_EQ(FloodFill32(&job, 10, 10, 0x00FFFFFF), 0);
    for (uint32_t p : pixels) ASSERT_EQ(p, 0xFF00FF00u);
}

TEST(FloodFill, A4kAreaOfOnePixelRunsFillsCompletely) {
    // Vertical walls on every odd column, open alternately at the top and the bottom: a single
    // path through all 8.3 million pixels, made of runs one pixel wide.
    const int w = 3840, h = 2160;
    std::vector<uint32_t> pixels((size_t)w * h, 0);
    for (int x = 1; x < w; x += 2)
        for (int y = 0; y < h; y++)
            if (y != ((x / 2) % 2 ? 0 : h - 1)) pixels[(size_t)y * w + x] = 0xFFFFFF;
    qzFloodFillJob job{pixels.data(), w, h, w, 0xFFFFFF, 0x123456, 0, 0};
    ASSERT_EQ(FloodFill32(&job, 0, 0, 0xFFFFFFFF), 0);
    size_t unfilled = 0;
    for (uint32_t p : pixels) unfilled += p == 0;
    EXPECT_EQ(unfilled, 0u);
    EXPECT_EQ(pixels[(size_t)(h - 1) * w + w - 2], 0x123456u);
}

}  // namespace flood_fill_test
