// Pixel conversions against SDL_ConvertPixels and pixman, which implement the same layouts
// independently. Both replicate the high bits of 5- and 6-bit channels into the low bits when
// widening; the engine leaves them zero, so widened values are compared under KeptBits.
#include <gtest/gtest.h>

#include <vector>

#include "gfx/alpha_extract.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/kernels_convert.h"
#include "gfx/pixel_test_util.h"
#include "platform/os_alloc.h"

namespace convert_oracle_test {

namespace {

std::vector<uint32_t> TestColours() {
    std::vector<uint32_t> colours = {0x00000000, 0xFFFFFFFF, 0x80FF0000, 0x7F00FF00, 0x010000FF,
                                     0xFF070307, 0x00F8FCF8, 0x12345678, 0xFEDCBA98};
    TestRng rng(7);
    while (colours.size() < 2048) colours.push_back(rng.Next());
    return colours;
}

// Value of pixel i of a row of `bytes`-byte pixels, 3-byte pixels read as b0 << 16 | b1 << 8 | b2.
uint32_t ValueAt(const std::vector<uint8_t>& row, size_t i, int bytes) {
    const uint8_t* p = row.data() + i * bytes;
    switch (bytes) {
    case 2: return (uint32_t)p[0] | (uint32_t)p[1] << 8;
    case 3: return (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2];
    default: return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
    }
}

void PutValue(std::vector<uint8_t>& row, size_t i, int bytes, uint32_t v) {
    uint8_t* p = row.data() + i * bytes;
    if (bytes == 3) {
        p[0] = (uint8_t)(v >> 16);
        p[1] = (uint8_t)(v >> 8);
        p[2] = (uint8_t)v;
    } else {
        for (int k = 0; k < bytes; k++) p[k] = (uint8_t)(v >> (8 * k));
    }
}

}  // namespace

TEST(ConvertOracle, ColourToPixelMatchesSdlAndPixman) {
    std::vector<uint32_t> colours = TestColours();
    int n = (int)colours.size();
    for (int f = 0; f <= 13; f++) {
        int bytes = GetPixelFormatBytes(f);
        SdlFormat sdl = SdlFormatOf(f);
        std::vector<uint8_t> bySdl((size_t)n * bytes);
        ASSERT_EQ(
            SDL_ConvertPixels(n, 1, SDL_PIXELFORMAT_ARGB8888, colours.data(), n * 4, sdl.sdl, bySdl.data(), n * bytes),
            0)
            << SDL_GetError();
        std::vector<uint8_t> byPixman((size_t)n * bytes + 4);
        pixman_format_code_t pf = PixmanFormatOf(f);
        if (pf) {
            pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, n, 1, colours.data(), n * 4);
            // pixman wants rows of whole 32-bit words.
            pixman_image_t* dst =
                pixman_image_create_bits(pf, n, 1, reinterpret_cast<uint32_t*>(byPixman.data()), (n * bytes + 3) & ~3);
            pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, n, 1);
            pixman_image_unref(src);
            pixman_image_unref(dst);
        }
        for (int i = 0; i < n; i++) {
            uint32_t ours = ConvertARGBToPixel(colours[i], f, 1);
            uint32_t expected = ValueAt(bySdl, i, bytes);
            if (sdl.swapped) expected = Swap16(expected);
            ASSERT_EQ(ours, expected) << "format " << f << " colour " << std::hex << colours[i];
            if (pf) {
                ASSERT_EQ(ours, ValueAt(byPixman, i, bytes)) << "format " << f << " colour " << std::hex << colours[i];
            }
        }
    }
}

TEST(ConvertOracle, PixelToColourMatchesSdlWithoutReplicatedBits) {
    for (int f = 0; f <= 13; f++) {
        int bytes = GetPixelFormatBytes(f);
        // Every 16-bit value; random values for the wider formats.
        std::vector<uint32_t> values;
        if (bytes == 2) {
            for (uint32_t v = 0; v < 65536; v++) values.push_back(v);
        } else {
            TestRng rng(11 + f);
            for (int i = 0; i < 4096; i++) values.push_back(bytes == 3 ? rng.Next() & 0xFFFFFF : rng.Next());
        }
        int n = (int)values.size();
        SdlFormat sdl = SdlFormatOf(f);
        std::vector<uint8_t> row((size_t)n * bytes);
        for (int i = 0; i < n; i++) PutValue(row, i, bytes, sdl.swapped ? Swap16(values[i]) : values[i]);
        std::vector<uint32_t> argb(n);
        ASSERT_EQ(SDL_ConvertPixels(n, 1, sdl.sdl, row.data(), n * bytes, SDL_PIXELFORMAT_ARGB8888, argb.data(), n * 4),
                  0)
            << SDL_GetError();
        for (int i = 0; i < n; i++) {
            ASSERT_EQ(ConvertPixelToARGB(values[i], f, 1), argb[i] & KeptBits(f))
                << "format " << f << " value " << std::hex << values[i];
            ASSERT_EQ(ConvertPixelToARGB(values[i], f, 0), argb[i] & KeptBits(f) & 0xFFFFFF);
        }
    }
}

TEST(ConvertOracle, PaddedRowsWrittenAndReadBackMatchSdl) {
    // An odd rectangle inside an odd-sized bitmap whose rows are padded to 16 pixels; the pixels
    // outside the rectangle, padding included, must keep their bytes.
    const int width = 13, height = 5, rowLength = 16;
    const int sx = 2, sy = 1, dx = 1, dy = 2, w = 11, h = 3, srcRowLength = 17;
    TestRng rng(3);
    std::vector<uint32_t> source((size_t)srcRowLength * 6);
    for (uint32_t& v : source) v = rng.Next();
    for (int f : {0, 1, 2, 3, 4, 5, 6, 7, 10, 11, 12, 13}) {
        OsSetScreenPixelFormat(f);
        qzBitMap* bm = CreateBitMap(width, height, 0, nullptr);
        ASSERT_NE(bm, nullptr);
        qzLockInfo lock;
        ASSERT_TRUE(LockBitMapPixels(bm, 0, &lock));
        ASSERT_EQ(lock.rowLength, rowLength);
        int bytes = lock.bytesPerPixel;
        auto* pixels = static_cast<uint8_t*>(lock.pixels);
        for (int i = 0; i < rowLength * height * bytes; i++) pixels[i] = (uint8_t)rng.Next();
        std::vector<uint8_t> before(pixels, pixels + rowLength * height * bytes);

        WriteARGBToBitMap(source.data(), sx, sy, srcRowLength * 4, bm, dx, dy, w, h);

        SdlFormat sdl = SdlFormatOf(f);
        std::vector<uint8_t> expected = before;
        ASSERT_EQ(
            SDL_ConvertPixels(w, h, SDL_PIXELFORMAT_ARGB8888, source.data() + sy * srcRowLength + sx, srcRowLength * 4,
                              sdl.sdl, expected.data() + (dy * rowLength + dx) * bytes, rowLength * bytes),
            0);
        // Swapped layouts exchange the bytes; formats 11 to 13 are written with alpha 0, only
        // format 10 copies the source's alpha.
        for (int y = dy; y < dy + h; y++) {
            for (int x = dx; x < dx + w; x++) {
                uint8_t* p = &expected[(y * rowLength + x) * bytes];
                if (sdl.swapped) std::swap(p[0], p[1]);
                if (f == PIXFMT_BGRA32 || f == PIXFMT_RGBA32) p[0] = 0;
                if (f == PIXFMT_ABGR32) p[3] = 0;
            }
        }
        for (int i = 0; i < rowLength * height * bytes; i++)
            ASSERT_EQ(pixels[i], expected[i]) << "format " << f << " byte " << i;

        // Read back the whole bitmap: formats 4 and 10-13 through ReadRectToARGB (10 and 11 keep
        // the stored alpha, 12 and 13 give 0), the others pixel by pixel with alpha 0.
        uint32_t* argb = ReadBitMapPixels(bm, 0, 0, width, height, LOCKF_READONLY);
        ASSERT_NE(argb, nullptr);
        std::vector<uint8_t> row(rowLength * bytes);
        for (int y = 0; y < height; y++) {
            std::memcpy(row.data(), pixels + y * rowLength * bytes, row.size());
            if (sdl.swapped)
                for (int x = 0; x < rowLength; x++) std::swap(row[x * 2], row[x * 2 + 1]);
            std::vector<uint32_t> bySdl(width);
            ASSERT_EQ(SDL_ConvertPixels(width, 1, sdl.sdl, row.data(), rowLength * bytes, SDL_PIXELFORMAT_ARGB8888,
                                        bySdl.data(), width * 4),
                      0);
            uint32_t keep = KeptBits(f) & ((f == 10 || f == 11) ? 0xFFFFFFFF : 0x00FFFFFF);
            for (int x = 0; x < width; x++)
                ASSERT_EQ(argb[y * width + x], bySdl[x] & keep) << "format " << f << " at " << x << "," << y;
        }
        OsFree(argb);
        UnlockBitMapPixels(&lock);
        DeleteBitMap(bm);
    }
    OsSetScreenPixelFormat(-1);
}

TEST(ConvertOracle, SixteenBitLayoutsConvertThroughNativeRgb565) {
    // Every RGB565 value survives a trip through each 16-bit layout except for 5-bit green's lowest
    // bit, and the layout's value is the one SDL (with the bytes exchanged for swapped layouts)
    // makes from the same colour.
    for (int f = 0; f <= 7; f++) {
        for (uint32_t v = 0; v < 65536; v++) {
            uint32_t there = ConvertFromRGB565(f, v);
            uint32_t back = ConvertToRGB565(f, there);
            ASSERT_EQ(back, f <= 3 ? (v & ~0x20u) : v) << f << " " << v;
            ASSERT_EQ(there, ConvertARGBToPixel(ConvertPixelToARGB(v, PIXFMT_RGB565, 0), f, 0)) << f << " " << v;
        }
    }
    EXPECT_EQ(ConvertFromRGB565(PIXFMT_BGR565, 0xF800), 0x001Fu);
    EXPECT_EQ(ConvertToRGB565(PIXFMT_BGR565, 0x001F), 0xF800u);
}

TEST(ConvertOracle, ReadRectToArgbCases) {
    struct Case {
        int format;
        uint32_t pixel;
        uint32_t argb;
    };
    const Case cases[] = {
        {PIXFMT_RGB565, 0xFFFF, 0x00F8FCF8},     {PIXFMT_RGBA32, 0x11223344, 0x00112233},
        {PIXFMT_ABGR32, 0x44332211, 0x00112233}, {PIXFMT_BGRA32, 0x44332211, 0x11223344},
        {PIXFMT_ARGB32, 0x44332211, 0x44332211},
    };
    for (const Case& c : cases) {
        uint32_t buffer[2] = {c.pixel, c.pixel};
        if (c.format == PIXFMT_RGB565) {
            uint16_t v = (uint16_t)c.pixel;
            std::memcpy(buffer, &v, 2);
        }
        uint32_t out[2] = {0xDEADBEEF, 0xDEADBEEF};
        ReadRectToARGB(buffer, out, 0, 0, 1, 1, 1, GetPixelFormatBytes(c.format), c.format);
        EXPECT_EQ(out[0], c.argb) << c.format;
        EXPECT_EQ(out[1], 0xDEADBEEFu);
    }
    // Other formats write nothing.
    uint32_t pixel = 0x12345678, out = 0xDEADBEEF;
    for (int f : {0, 5, 8, 14, 15}) {
        ReadRectToARGB(&pixel, &out, 0, 0, 1, 1, 1, GetPixelFormatBytes(f), f);
        EXPECT_EQ(out, 0xDEADBEEFu) << f;
    }
}

TEST(ConvertOracle, SwizzlesAndSinglePixelAccess) {
    for (uint32_t v : {0x11223344u, 0xFF00FF00u, 0x80FEDCBAu}) {
        for (int f = 10; f <= 13; f++) {
            uint32_t there = SwizzleFromARGB32(f, v);
            EXPECT_EQ(there, ConvertARGBToPixel(v, f, f == 10)) << f;
            EXPECT_EQ(SwizzleToARGB32(f, there) & 0xFFFFFF, v & 0xFFFFFF) << f;
            uint8_t rgb[3];
            ReadPixelRGB(&there, f, rgb);
            EXPECT_EQ((uint32_t)rgb[0] << 16 | (uint32_t)rgb[1] << 8 | rgb[2], v & 0xFFFFFF);
            uint32_t written = 0xFFFFFFFF;
            WritePixelRGB(&written, f, rgb);
            EXPECT_EQ(written, ConvertARGBToPixel(v, f, 0));
        }
        for (int f = 0; f <= 7; f++) {
            uint16_t p = (uint16_t)ConvertARGBToPixel(v, f, 0);
            uint8_t rgb[3];
            ReadPixelRGB(&p, f, rgb);
            EXPECT_EQ((uint32_t)rgb[0] << 16 | (uint32_t)rgb[1] << 8 | rgb[2], ConvertPixelToARGB(p, f, 0));
            uint16_t written = 0;
            WritePixelRGB(&written, f, rgb);
            EXPECT_EQ(written, p);
        }
    }
    // 24-bit pixels are read as the three colour bytes of a format-10 word, never a fourth byte.
    uint8_t three[3] = {0x11, 0x22, 0x33}, rgb[3];
    ReadPixelRGB(three, PIXFMT_RGB24, rgb);
    EXPECT_EQ(rgb[0], 0x33);
    EXPECT_EQ(rgb[2], 0x11);
    uint8_t untouched[4] = {1, 2, 3, 4};
    WritePixelRGB(untouched, PIXFMT_RGB24, rgb);
    WritePixelRGB(untouched, PIXFMT_ALPHA8, rgb);
    EXPECT_EQ(untouched[0], 1);
}

}  // namespace convert_oracle_test
