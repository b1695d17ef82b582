// Saving images: the BMP writer byte for byte and against netpbm and ImageMagick, the dispatch of
// SaveImageFile over the built-in formats, and SaveBitMapAsImage with masks and alpha channels.
#include <gtest/gtest.h>

#include "base/error_codes.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_lock.h"
#include "gfx/mask_bits.h"
#include "image/bmp_writer.h"
#include "image/gif_reader.h"
#include "image/image_save.h"
#include "image/image_test_util.h"
#include "platform/os_alloc.h"

namespace image_save_test {

using namespace imgtest;

namespace {

uint32_t Le32(const std::string& s, size_t at) {
    return (uint32_t)(uint8_t)s[at] | (uint32_t)(uint8_t)s[at + 1] << 8 | (uint32_t)(uint8_t)s[at + 2] << 16 |
           (uint32_t)(uint8_t)s[at + 3] << 24;
}

// The pixels with random alpha bytes, which every 24-bit file drops.
Picture WithAlphaNoise(Picture p) {
    uint32_t state = 7;
    for (uint32_t& c : p.pixels) {
        state = state * 1664525u + 1013904223u;
        c = (c & 0xFFFFFF) | (state & 0xFF000000);
    }
    return p;
}

Picture Opaque(Picture p) {
    for (uint32_t& c : p.pixels) c &= 0xFFFFFF;
    return p;
}

}  // namespace

TEST(BmpWriter, HeaderRowsAndPaddingByteForByte) {
    TempDir dir;
    const struct {
        int width, height;
        size_t size;
        int rowBytes;
    } cases[] = {
        {1, 1, 58, 4}, {2, 2, 70, 8}, {3, 1, 66, 12}, {4, 2, 78, 12}, {5, 3, 102, 16}, {7, 2, 102, 24},
    };
    for (const auto& c : cases) {
        Picture p = WithAlphaNoise(TestPattern(c.width, c.height, c.width));
        const std::string path = dir / ("p" + std::to_string(c.width) + ".bmp");
        ASSERT_EQ(SaveBMP(path.c_str(), p.pixels.data(), c.width, c.height), 0);
        const std::string file = ReadFile(path);
        ASSERT_EQ(file.size(), c.size) << c.width;
        EXPECT_EQ(BmpRowBytes(c.width), c.rowBytes);
        std::string header = "BM";
        for (uint32_t v : {(uint32_t)c.size, 0u, 54u, 40u, (uint32_t)c.width, (uint32_t)c.height})
            for (int i = 0; i < 4; i++) header += (char)(v >> (8 * i));
        header += std::string("\x01\x00\x18\x00", 4) + std::string(24, '\0');
        EXPECT_EQ(file.substr(0, 54), header) << c.width;
        // The first stored row is the bottom one; blue, green, red; zero padding.
        for (int y = 0; y < c.height; y++) {
            const size_t row = 54 + (size_t)(c.height - 1 - y) * c.rowBytes;
            for (int x = 0; x < c.width; x++) {
                const uint32_t pixel = p.At(x, y);
                EXPECT_EQ((uint8_t)file[row + 3 * x], (uint8_t)pixel);
                EXPECT_EQ((uint8_t)file[row + 3 * x + 1], (uint8_t)(pixel >> 8));
                EXPECT_EQ((uint8_t)file[row + 3 * x + 2], (uint8_t)(pixel >> 16));
            }
            for (int i = 3 * c.width; i < c.rowBytes; i++) EXPECT_EQ(file[row + i], '\0');
        }
        EXPECT_EQ(Le32(file, 2), c.size);
    }
    EXPECT_EQ(SaveBMP((dir / "none.bmp").c_str(), nullptr, 1, 1), ERR_BADDIMENSIONS);
    uint32_t one = 0;
    EXPECT_EQ(SaveBMP((dir / "none.bmp").c_str(), &one, 0, 1), ERR_BADDIMENSIONS);
    EXPECT_FALSE(Exists(dir / "none.bmp"));
}

TEST(BmpWriter, NetpbmAndImageMagickReadWhatWasWritten) {
    TempDir dir;
    for (int width : {1, 2, 3, 4, 5, 6, 7, 37}) {
        Picture p = WithAlphaNoise(TestPattern(width, 23, width + 3));
        const std::string path = dir / "x.bmp";
        ASSERT_EQ(SaveImageFile(IMGFMT_BMP, p.pixels.data(), width, 23, path.c_str(), -1, 1, 90, 256, 0), 0);
        EXPECT_EQ(RunNetpbm("bmptopnm '" + path + "' 2>/dev/null").pixels, Opaque(p).pixels) << width;
        const std::string rgb = Shell("convert '" + path + "' rgb:-");
        ASSERT_EQ(rgb.size(), (size_t)width * 23 * 3) << width;
        for (int i = 0; i < width * 23; i++) {
            const uint32_t c = p.pixels[i];
            ASSERT_EQ((uint8_t)rgb[3 * i], (uint8_t)(c >> 16)) << width;
            ASSERT_EQ((uint8_t)rgb[3 * i + 1], (uint8_t)(c >> 8)) << width;
            ASSERT_EQ((uint8_t)rgb[3 * i + 2], (uint8_t)c) << width;
        }
    }
}

TEST(ImageSave, EveryBuiltInFormatAndTheUnknownOnes) {
    TempDir dir;
    Picture p = TestPattern(21, 13, 3);
    const std::string png = dir / "x.png", jpg = dir / "x.jpg", ilbm = dir / "x.iff";
    ASSERT_EQ(SaveImageFile(IMGFMT_PNG, p.pixels.data(), 21, 13, png.c_str(), -1, 0, 90, 256, 0), 0);
    EXPECT_EQ(MaxChannelDiff(FfmpegDecode(png), p), 0);
    // JPEG: a flat colour comes back within a few levels, channels in their places.
    Picture flat;
    flat.width = flat.height = 16;
    flat.pixels.assign(256, 0x00C03010);
    ASSERT_EQ(SaveImageFile(IMGFMT_JPEG, flat.pixels.data(), 16, 16, jpg.c_str(), -1, 0, 95, 256, 0), 0);
    EXPECT_LE(MaxChannelDiff(FfmpegDecode(jpg), flat), 3);
    ASSERT_EQ(SaveImageFile(IMGFMT_ILBM, p.pixels.data(), 21, 13, ilbm.c_str(), -1, 0, 90, 256, 0), 0);
    EXPECT_EQ(ReadFile(ilbm).substr(8, 4), "ILBM");
    ASSERT_EQ(SaveImageFile(IMGFMT_GIF, p.pixels.data(), 21, 13, (dir / "x.gif").c_str(), -1, 0, 90, 256, 0), 0);
    // The pattern has more than 256 colours: the quantiser brings them close.
    EXPECT_LE(MaxChannelDiff(FfmpegDecode(dir / "x.gif"), p), 8);
    // No plugin writes format 99.
    EXPECT_EQ(SaveImageFile(99, p.pixels.data(), 21, 13, (dir / "x.99").c_str(), -1, 0, 90, 256, 0), ERR_UNKNOWNIMGOUT);
    EXPECT_EQ(SaveImageFile(-1, p.pixels.data(), 21, 13, (dir / "x.99").c_str(), -1, 0, 90, 256, 0), ERR_UNKNOWNIMGOUT);
    EXPECT_FALSE(Exists(dir / "x.99"));
    // A BMP that cannot be created names the file; an existing target survives a failed save.
    EXPECT_EQ(SaveImageFile(IMGFMT_BMP, p.pixels.data(), 21, 13, (dir / "no/such/x.bmp").c_str(), -1, 0, 90, 256, 0),
              ERR_WRITEFILE);
}

TEST(ImageSave, GifGoesThroughTheQuantiserToTheGifWriter) {
    TempDir dir;
    Picture p;
    p.width = 4;
    p.height = 2;
    p.pixels = {0xFF0000, 0x00FF00, 0x0000FF, 0xFF0000, 0x123456, 0x123456, 0x00FF00, 0x0000FF};
    ASSERT_EQ(SaveImageFile(IMGFMT_GIF, p.pixels.data(), 4, 2, (dir / "x.gif").c_str(), 0x123456, 0, 90, 16, 0), 0);
    qzVfsFile* file = VfsOpen((dir / "x.gif").c_str(), QZ_VFS_READ, nullptr);
    ASSERT_NE(file, nullptr);
    int width = 0, height = 0, frames = 0, pen = 0;
    qzGifReader* reader = OpenGifAnim(file, &width, &height, &frames, 0, 0, 1);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(frames, 1);
    uint32_t* pixels = LoadGifAnimFrame(reader, 0, &pen);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pen, 1);
    // The key colour is the transparent index: its pixels show the background, with alpha 0.
    for (int i = 0; i < 8; i++) {
        if (p.pixels[i] == 0x123456) {
            EXPECT_EQ(pixels[i] >> 24, 0u) << i;
        } else {
            EXPECT_EQ(pixels[i], p.pixels[i] | 0xFF000000u) << i;
        }
    }
    OsFree(pixels);
    CloseGifAnim(reader);
}

TEST(ImageSave, BitMapsWithMaskKeyColourAndAlpha) {
    TempDir dir;
    qzBitMap* bitmap = CreateBitMap(3, 2, 0, nullptr);
    qzBitMap* mask = CreateMaskBitMap(bitmap, 3, 2, 1, nullptr, 0);
    {
        BitMapLock lock(bitmap, 0), bits(mask, 0);
        auto* px = static_cast<uint32_t*>(lock.info.pixels);
        for (int y = 0; y < 2; y++)
            for (int x = 0; x < 3; x++) px[y * lock.info.rowLength + x] = 0x00101010u * (uint32_t)(1 + x + 3 * y);
        SetMaskBit(static_cast<uint8_t*>(bits.info.pixels), 1);
    }
    const std::string path = dir / "m.bmp";
    ASSERT_EQ(SaveBitMapAsImage(IMGFMT_BMP, bitmap, 3, 2, path.c_str(), mask, 0x00FF00FF, nullptr, 90, 256, 0, 0), 0);
    Picture back = RunNetpbm("bmptopnm '" + path + "' 2>/dev/null");
    ASSERT_EQ(back.pixels.size(), 6u);
    // Masked-out pixels become the key colour.
    EXPECT_EQ(back.At(0, 0), 0xFF00FFu);
    EXPECT_EQ(back.At(1, 0), 0x202020u);
    EXPECT_EQ(back.At(2, 1), 0xFF00FFu);
    // An alpha channel travels into a PNG.
    qzBitMap* alpha = CreateAlphaBitMap(3, 2, 1, nullptr, 0);
    {
        BitMapLock lock(alpha, 0);
        static_cast<uint8_t*>(lock.info.pixels)[2] = 200;
    }
    const std::string png = dir / "a.png";
    ASSERT_EQ(SaveBitMapAsImage(IMGFMT_PNG, bitmap, 3, 2, png.c_str(), nullptr, -1, alpha, 90, 256, 0, 0), 0);
    Picture pa = FfmpegDecode(png);
    ASSERT_EQ(pa.pixels.size(), 6u);
    EXPECT_EQ(pa.At(2, 0), 0xC8303030u);
    EXPECT_EQ(pa.At(0, 0) >> 24, 0u);
    EXPECT_EQ(SaveBitMapAsImage(IMGFMT_BMP, nullptr, 3, 2, path.c_str(), nullptr, -1, nullptr, 90, 256, 0, 0), ERR_MEM);
    DeleteAlphaBitMap(alpha);
    DeleteMaskBitMap(mask);
    DeleteBitMap(bitmap);
}

}  // namespace image_save_test
