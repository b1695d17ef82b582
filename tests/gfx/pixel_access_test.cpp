// The per-format pixel access compiled into the resampling loops reads and writes exactly what
// the engine's ReadPixelRGB and WritePixelRGB do, in every format they share.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>

#include "gfx/channel_access.h"
#include "gfx/kernels_convert.h"
#include "gfx/pixel_access.h"

namespace pixel_access_test {

namespace {

TEST(PixelAccess, AgreesWithReadPixelRGBAndWritePixelRGB) {
    std::mt19937 rng(5);
    for (int format : {0, 1, 2, 3, 4, 5, 6, 7, 10, 11, 12, 13}) {
        for (int round = 0; round < 500; round++) {
            const uint32_t word = rng();
            uint8_t pixel[4];
            std::memcpy(pixel, &word, 4);
            uint8_t want[3];
            ReadPixelRGB(pixel, format, want);
            int r = -1, g = -1, b = -1;
            pixel_access::DispatchRgbFormat(format,
                                            [&](auto f) { pixel_access::ReadRGB<decltype(f)::value>(pixel, r, g, b); });
            ASSERT_EQ(r, want[0]) << format;
            ASSERT_EQ(g, want[1]) << format;
            ASSERT_EQ(b, want[2]) << format;
            const uint8_t rgb[3] = {(uint8_t)rng(), (uint8_t)rng(), (uint8_t)rng()};
            uint8_t ours[4] = {0xAA, 0xAA, 0xAA, 0xAA}, theirs[4] = {0xAA, 0xAA, 0xAA, 0xAA};
            WritePixelRGB(theirs, format, rgb);
            pixel_access::DispatchRgbFormat(
                format, [&](auto f) { pixel_access::WriteRGB<decltype(f)::value>(ours, rgb[0], rgb[1], rgb[2]); });
            ASSERT_EQ(std::memcmp(ours, theirs, 4), 0) << format;
        }
    }
}

// A format of the other pixel size is taken as the default of the pixel's size (4 for 2-byte
// pixels, 10 for 4-byte ones): a 2-byte pixel is never read or written as four bytes.
TEST(ChannelAccess, FormatOfOtherSizeTakesTheSizesDefault) {
    const uint16_t narrow = 0xBEEF;
    const uint32_t wide = 0x89ABCDEF;
    int want16[3], want32[3], got[3];
    UnpackPixel16(4, narrow, want16);
    UnpackPixel32(10, wide, want32);
    for (int format : {-1, 8, 9, 10, 11, 12, 13, 99}) {
        UnpackPixel16(format, narrow, got);
        EXPECT_EQ(std::memcmp(got, want16, sizeof got), 0) << format;
        EXPECT_EQ(PackPixel16(format, 200, 100, 50), PackPixel16(4, 200, 100, 50)) << format;
    }
    for (int format : {-1, 0, 4, 7, 8, 9, 14}) {
        UnpackPixel32(format, wide, got);
        EXPECT_EQ(std::memcmp(got, want32, sizeof got), 0) << format;
        EXPECT_EQ(PackPixel32(format, 200, 100, 50), PackPixel32(10, 200, 100, 50)) << format;
    }
    // A format of the pixel's own size is honoured.
    UnpackPixel16(7, narrow, got);
    EXPECT_NE(std::memcmp(got, want16, sizeof got), 0);
    EXPECT_NE(PackPixel32(12, 200, 100, 50), PackPixel32(10, 200, 100, 50));
}

}  // namespace

}  // namespace pixel_access_test
