// The system image codecs: alpha handed out in the pixels or as an alpha channel, information
// mode, data that is no image, and the encoder's types read back by our decoder and ffmpeg.
#include <gtest/gtest.h>

#include "base/error_codes.h"
#include "gfx/bitmap.h"
#include "image/image_test_util.h"
#include "image/native_image.h"
#include "platform/os_alloc.h"

namespace native_image_test {

using namespace imgtest;

namespace {

struct Decoded {
    int rc = -1;
    int hasAlpha = -1;
    int word = 77;
    int32_t transparent = 77;
    Picture picture;
    std::vector<uint8_t> alpha;  // the alpha channel's values, when one was asked for and made
};

Decoded DecodeMemory(const std::string& bytes, bool wantAlphaChannel) {
    Decoded d;
    uint32_t* pixels = nullptr;
    qzBitMap* alpha = nullptr;
    int width = 0, height = 0;
    d.rc = MacDecodeImageFromMemory(bytes.data(), bytes.size(), &pixels, &width, &height, &d.hasAlpha,
                                    wantAlphaChannel ? &alpha : nullptr, &d.word, &d.transparent);
    if (d.rc == 0) d.picture = FromWords(pixels, width, height);
    if (alpha) {
        qzLockInfo lock;
        if (LockBitMapPixels(alpha, LOCKF_READONLY, &lock)) {
            for (int y = 0; y < height; ++y) {
                const uint8_t* row = static_cast<const uint8_t*>(lock.pixels) + static_cast<size_t>(y) * lock.rowLength;
                d.alpha.insert(d.alpha.end(), row, row + width);
            }
            UnlockBitMapPixels(&lock);
        }
        DeleteAlphaBitMap(alpha);
    }
    OsFree(pixels);
    return d;
}

std::string Save(const Picture& p, const char* type, int alpha, int quality, int* rc) {
    unsigned char* data = nullptr;
    size_t size = 0;
    *rc = MacSaveImage(nullptr, p.pixels.data(), p.width, p.height, p.width * 4, type, alpha, quality, &data, &size);
    std::string out(reinterpret_cast<char*>(data), size);
    OsFree(data);
    return out;
}

}  // namespace

TEST(NativeImage, AlphaInPixelsOrAsAnAlphaChannel) {
    TempDir dir;
    Picture source = TestPattern(19, 7, 3);
    WriteFile(dir / "src.ppm", PpmBytes(source));
    Shell("ffmpeg -v error -i '" + (dir / "src.ppm") + "' '" + (dir / "rgb.tiff") + "'");
    Decoded rgb = DecodeMemory(ReadFile(dir / "rgb.tiff"), true);
    ASSERT_EQ(rgb.rc, 0);
    EXPECT_EQ(rgb.hasAlpha, 0);
    EXPECT_EQ(rgb.word, 0);
    EXPECT_EQ(rgb.transparent, -1);
    EXPECT_TRUE(rgb.alpha.empty());
    EXPECT_EQ(rgb.picture.pixels, source.pixels);

    Picture withAlpha = source;
    for (size_t i = 0; i < withAlpha.pixels.size(); ++i)
        withAlpha.pixels[i] |= static_cast<uint32_t>(i * 3 & 0xFF) << 24;
    int rc = -1;
    std::string png = Save(withAlpha, "public.png", 1, 100, &rc);
    ASSERT_EQ(rc, 0);
    Decoded inPixels = DecodeMemory(png, false);
    ASSERT_EQ(inPixels.rc, 0);
    EXPECT_EQ(inPixels.hasAlpha, 1);
    EXPECT_EQ(inPixels.picture.pixels, withAlpha.pixels);
    Decoded split = DecodeMemory(png, true);
    ASSERT_EQ(split.rc, 0);
    EXPECT_EQ(split.hasAlpha, 1);
    EXPECT_EQ(split.picture.pixels, source.pixels);
    ASSERT_EQ(split.alpha.size(), withAlpha.pixels.size());
    for (size_t i = 0; i < split.alpha.size(); ++i) ASSERT_EQ(split.alpha[i], withAlpha.pixels[i] >> 24) << i;

    // Information mode from an open file: size and alpha, no pixels.
    WriteFile(dir / "alpha.png", png);
    qzVfsFile* file = OpenRead(dir / "alpha.png");
    uint32_t* pixels = nullptr;
    int width = 0, height = 0, hasAlpha = 0;
    EXPECT_EQ(MacLoadImage(file, (dir / "alpha.png").c_str(), nullptr, 0, 1, &pixels, &width, &height, &hasAlpha,
                           nullptr, nullptr, nullptr),
              0);
    VfsClose(file);
    EXPECT_EQ(pixels, nullptr);
    EXPECT_EQ(width, 19);
    EXPECT_EQ(height, 7);
    EXPECT_EQ(hasAlpha, 1);
}

TEST(NativeImage, DataThatIsNoImage) {
    TempDir dir;
    EXPECT_EQ(DecodeMemory("plain text, not a picture", false).rc, ERR_LOADPICTURE2);
    EXPECT_EQ(DecodeMemory(std::string(1, '\0'), false).rc, ERR_LOADPICTURE2);
    EXPECT_EQ(MacDecodeImageFromMemory(nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              ERR_LOADPICTURE2);
    // A movie is no image, even though a decoder could read its first frame.
    Shell("ffmpeg -v error -f lavfi -i testsrc=size=32x24:rate=5 -t 1 -c:v mjpeg '" + (dir / "clip.avi") + "'");
    EXPECT_EQ(DecodeMemory(ReadFile(dir / "clip.avi"), false).rc, ERR_LOADPICTURE2);
    // A PNG cut short.
    Picture p = TestPattern(64, 64);
    int rc = -1;
    std::string png = Save(p, "public.png", 0, 100, &rc);
    EXPECT_EQ(DecodeMemory(png.substr(0, png.size() / 2), false).rc, ERR_LOADPICTURE2);
}

TEST(NativeImage, EncoderTypesReadBack) {
    TempDir dir;
    Picture source = TestPattern(23, 13, 9);
    for (size_t i = 0; i < source.pixels.size(); ++i) source.pixels[i] |= static_cast<uint32_t>(i & 0xFF) << 24;
    struct Case {
        const char* type;
        int alpha;
        bool lossy;
    };
    for (const Case& c : std::vector<Case>{{"public.png", 1, false},
                                           {"public.png", 0, false},
                                           {"public.tiff", 1, false},
                                           {"com.microsoft.bmp", 0, false},
                                           {"public.jpeg", 0, true}}) {
        int rc = -1;
        std::string bytes = Save(source, c.type, c.alpha, 95, &rc);
        ASSERT_EQ(rc, 0) << c.type;
        Decoded d = DecodeMemory(bytes, false);
        ASSERT_EQ(d.rc, 0) << c.type;
        EXPECT_EQ(d.hasAlpha, c.alpha) << c.type;
        Picture expected = source;
        if (!c.alpha) {
            for (uint32_t& px : expected.pixels) px &= 0xFFFFFF;
        }
        if (c.lossy) {
            EXPECT_LT(MeanChannelDiff(d.picture, expected), 20.0) << c.type;
        } else {
            EXPECT_EQ(d.picture.pixels, expected.pixels) << c.type;
        }
        std::string path = dir / "out.img";
        WriteFile(path, bytes);
        Picture theirs = FfmpegDecode(path);
        if (!c.alpha) {
            for (uint32_t& px : theirs.pixels) px &= 0xFFFFFF;
        }
        if (c.lossy) {
            EXPECT_LT(MeanChannelDiff(theirs, d.picture), 1.0) << c.type;
        } else {
            EXPECT_EQ(theirs.pixels, expected.pixels) << c.type;
        }
    }

    // Quality steers the JPEG size; a file path writes the same bytes as memory.
    int rc = -1;
    EXPECT_GT(Save(source, "public.jpeg", 0, 95, &rc).size(), Save(source, "public.jpeg", 0, 10, &rc).size());
    std::string path = dir / "saved.jpg";
    EXPECT_EQ(MacSaveImage(path.c_str(), source.pixels.data(), 23, 13, 23 * 4, "public.jpeg", 0, 80, nullptr, nullptr),
              0);
    EXPECT_EQ(ReadFile(path), Save(source, "public.jpeg", 0, 80, &rc));
    EXPECT_EQ(MacSaveImage(nullptr, source.pixels.data(), 23, 13, 23 * 4, "public.heic", 0, 80, nullptr, nullptr),
              ERR_WRITEJPEG);
    EXPECT_EQ(MacSaveImage(nullptr, source.pixels.data(), 0, 13, 0, "public.png", 0, 80, nullptr, nullptr),
              ERR_SAVEPNG);
    std::string missing = dir / "no/dir.png";
    EXPECT_EQ(
        MacSaveImage(missing.c_str(), source.pixels.data(), 23, 13, 23 * 4, "public.png", 0, 80, nullptr, nullptr),
        ERR_WRITEFILE);
}

}  // namespace native_image_test
