// JPEG: cjpeg-made files against djpeg, from a file and from memory; CMYK with and without the
// Adobe marker; truncated and empty data; the encoder read back by djpeg, its byte orders, its
// determinism and tiny images whose stream outgrows width x height x 3.
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>

extern "C" {
#include <jpeglib.h>
}

#include "base/error_codes.h"
#include "image/image_test_util.h"
#include "image/jpeg_codec.h"
#include "platform/os_alloc.h"

namespace jpeg_test {

using namespace imgtest;

namespace {

struct JpegResult {
    int rc = -1;
    Picture picture;
};

JpegResult LoadJpegFile(const std::string& path) {
    JpegResult r;
    qzVfsFile* file = OpenRead(path);
    if (!file) return r;
    uint32_t* pixels = nullptr;
    int width = 0, height = 0;
    r.rc = LoadJPEG(file, 0, 0, &width, &height, &pixels);
    VfsClose(file);
    if (r.rc == 0) r.picture = FromWords(pixels, width, height);
    OsFree(pixels);
    return r;
}

JpegResult LoadJpegMemory(const std::string& bytes) {
    JpegResult r;
    uint32_t* pixels = nullptr;
    int width = 0, height = 0;
    r.rc = LoadJPEG(bytes.data(), bytes.size(), 0, &width, &height, &pixels);
    if (r.rc == 0) r.picture = FromWords(pixels, width, height);
    OsFree(pixels);
    return r;
}

std::string Encode(const std::vector<uint32_t>& words, int width, int height, int stride, int quality, int littleEndian,
                   int* error = nullptr) {
    qzJpegEncodeRequest request = {};
    request.pixels = words.data();
    request.stride = stride;
    request.width = width;
    request.height = height;
    request.quality = quality;
    request.littleEndianWords = littleEndian;
    EncodeJPEG(&request);
    if (error) *error = request.error;
    std::string out;
    if (request.result) {
        EXPECT_EQ(request.data, request.result->data);
        EXPECT_EQ(request.size, request.result->size);
        out.assign(reinterpret_cast<const char*>(request.data), request.size);
        FreeJPEGBuffer(request.result);
    }
    return out;
}

// A CMYK JPEG of 16x16 pixels in four flat quadrants, written by libjpeg itself, with or without
// the Adobe marker.
struct JpegErr {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

std::string CmykJpeg(const uint8_t quadrants[4][4], bool adobe) {
    jpeg_compress_struct cinfo;
    JpegErr err;
    cinfo.err = jpeg_std_error(&err.pub);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = 16;
    cinfo.image_height = 16;
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, JCS_CMYK);
    cinfo.write_Adobe_marker = adobe ? TRUE : FALSE;
    jpeg_set_quality(&cinfo, 100, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    uint8_t row[64];
    while (cinfo.next_scanline < 16) {
        for (int x = 0; x < 16; ++x) {
            const uint8_t* q = quadrants[(cinfo.next_scanline >= 8 ? 2 : 0) + (x >= 8 ? 1 : 0)];
            std::memcpy(row + x * 4, q, 4);
        }
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string out(reinterpret_cast<char*>(buffer), size);
    std::free(buffer);
    return out;
}

}  // namespace

TEST(JpegRead, CjpegFilesMatchDjpegFromFileAndMemory) {
    TempDir dir;
    Picture source = TestPattern(61, 35, 3);
    WriteFile(dir / "src.ppm", PpmBytes(source));
    const char* options[] = {"-quality 90", "-progressive",         "-grayscale", "-sample 1x1 -quality 100",
                             "-restart 1",  "-optimize -quality 40"};
    for (const char* option : options) {
        std::string path = dir / "pic.jpg";
        Shell(std::string("cjpeg ") + option + " '" + (dir / "src.ppm") + "' > '" + path + "'");
        JpegResult fromFile = LoadJpegFile(path);
        ASSERT_EQ(fromFile.rc, 0) << option;
        Picture theirs = RunNetpbm("djpeg -pnm '" + path + "'");
        EXPECT_EQ(MaxChannelDiff(fromFile.picture, theirs), 0) << option;
        for (uint32_t c : fromFile.picture.pixels) ASSERT_EQ(c >> 24, 0u) << option;
        JpegResult fromMemory = LoadJpegMemory(ReadFile(path));
        EXPECT_EQ(fromMemory.rc, 0);
        EXPECT_EQ(fromMemory.picture.pixels, fromFile.picture.pixels) << option;

        qzVfsFile* file = OpenRead(path);
        int width = 0, height = 0;
        EXPECT_EQ(LoadJPEG(file, 0, 1, &width, &height, nullptr), 0);
        VfsClose(file);
        EXPECT_EQ(width, 61);
        EXPECT_EQ(height, 35);
    }
}

TEST(JpegRead, CmykWithAndWithoutAdobeMarker) {
    const uint8_t quadrants[4][4] = {{0, 0, 0, 0}, {255, 0, 0, 0}, {40, 80, 160, 30}, {200, 100, 50, 220}};
    for (bool adobe : {true, false}) {
        JpegResult r = LoadJpegMemory(CmykJpeg(quadrants, adobe));
        ASSERT_EQ(r.rc, 0) << adobe;
        for (int q = 0; q < 4; ++q) {
            uint32_t s[4];
            for (int i = 0; i < 4; ++i) s[i] = adobe ? 255u - quadrants[q][i] : quadrants[q][i];
            uint32_t k = 255 - s[3];
            Picture expected;
            expected.width = expected.height = 1;
            expected.pixels = {((255 - s[0]) * k / 255) << 16 | ((255 - s[1]) * k / 255) << 8 | (255 - s[2]) * k / 255};
            Picture got;
            got.width = got.height = 1;
            got.pixels = {r.picture.At((q & 1) * 8 + 4, (q >> 1) * 8 + 4)};
            EXPECT_LE(MaxChannelDiff(got, expected), 2) << "adobe " << adobe << " quadrant " << q;
        }
    }

    // A CMYK file written by ImageMagick decodes like ImageMagick's own reading of it.
    TempDir dir;
    WriteFile(dir / "src.ppm", PpmBytes(TestPattern(40, 24, 7)));
    Shell("convert '" + (dir / "src.ppm") + "' -colorspace CMYK -quality 95 '" + (dir / "cmyk.jpg") + "'");
    JpegResult ours = LoadJpegFile(dir / "cmyk.jpg");
    ASSERT_EQ(ours.rc, 0);
    Picture theirs = RunNetpbm("convert '" + (dir / "cmyk.jpg") + "' -colorspace sRGB ppm:-");
    EXPECT_LE(MaxChannelDiff(ours.picture, theirs), 2);
}

TEST(JpegRead, TruncatedEmptyAndForeignData) {
    TempDir dir;
    WriteFile(dir / "src.ppm", PpmBytes(TestPattern(256, 256, 11)));
    std::string full = Shell("cjpeg -quality 95 '" + (dir / "src.ppm") + "'");
    JpegResult whole = LoadJpegMemory(full);
    ASSERT_EQ(whole.rc, 0);
    // Cut in the middle of the scan: the rows that had their data decode as before, the rest is
    // made up, and the call succeeds.
    JpegResult cut = LoadJpegMemory(full.substr(0, full.size() * 6 / 10));
    ASSERT_EQ(cut.rc, 0);
    ASSERT_EQ(cut.picture.height, 256);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 256; ++x) ASSERT_EQ(cut.picture.At(x, y), whole.picture.At(x, y)) << x << "," << y;
    }
    WriteFile(dir / "cut.jpg", full.substr(0, full.size() / 2));
    EXPECT_EQ(LoadJpegFile(dir / "cut.jpg").rc, 0);

    // A progressive header claiming 60000 x 60000 pixels in a few bytes: refused before the
    // library sets up buffers for it.
    std::string progressive = Shell("cjpeg -progressive '" + (dir / "src.ppm") + "'");
    size_t sof = progressive.find("\xFF\xC2");
    ASSERT_NE(sof, std::string::npos);
    progressive.replace(sof + 5, 4, std::string("\xEA\x60\xEA\x60", 4));
    EXPECT_EQ(LoadJpegMemory(progressive.substr(0, 2000)).rc, ERR_MEM);

    WriteFile(dir / "empty.jpg", "");
    EXPECT_EQ(LoadJpegFile(dir / "empty.jpg").rc, ERR_LOADPICTURE2);
    EXPECT_EQ(LoadJpegMemory("not a jpeg at all").rc, ERR_LOADPICTURE2);
    EXPECT_EQ(LoadJpegMemory(full.substr(0, 20)).rc, ERR_LOADPICTURE2);
}

TEST(JpegEncode, DjpegReadsItBackAndBytesAreStable) {
    TempDir dir;
    Picture source = TestPattern(50, 30, 13);
    int error = -1;
    std::string a = Encode(source.pixels, 50, 30, 50 * 4, 92, 1, &error);
    ASSERT_EQ(error, 0);
    EXPECT_EQ(Encode(source.pixels, 50, 30, 50 * 4, 92, 1), a);
    // The library defaults with baseline tables are what cjpeg writes at that quality.
    WriteFile(dir / "src.ppm", PpmBytes(source));
    EXPECT_EQ(a, Shell("cjpeg -quality 92 '" + (dir / "src.ppm") + "'"));
    WriteFile(dir / "out.jpg", a);
    Picture theirs = RunNetpbm("djpeg -pnm '" + (dir / "out.jpg") + "'");
    ASSERT_EQ(theirs.width, 50);
    EXPECT_EQ(MaxChannelDiff(LoadJpegMemory(a).picture, theirs), 0);

    // The same picture given as big-endian words, and with a wider stride, encodes the same.
    std::vector<uint32_t> wide(static_cast<size_t>(60) * 30, 0xDEADBEEF);
    std::vector<uint32_t> swapped(source.pixels.size());
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 50; ++x) {
            uint32_t c = source.pixels[static_cast<size_t>(y) * 50 + x];
            wide[static_cast<size_t>(y) * 60 + x] = c;
            swapped[static_cast<size_t>(y) * 50 + x] = __builtin_bswap32(c);
        }
    }
    EXPECT_EQ(Encode(wide, 50, 30, 60 * 4, 92, 1), a);
    EXPECT_EQ(Encode(swapped, 50, 30, 50 * 4, 92, 0), a);

    // A tiny picture at the best quality writes far more than width x height x 3 bytes.
    std::vector<uint32_t> one = {0x123456};
    std::string tiny = Encode(one, 1, 1, 4, 100, 1, &error);
    ASSERT_EQ(error, 0);
    EXPECT_GT(tiny.size(), 3u);
    JpegResult back = LoadJpegMemory(tiny);
    ASSERT_EQ(back.rc, 0);
    EXPECT_LE(MaxChannelDiff(back.picture, FromWords(one.data(), 1, 1)), 3);

    Encode(one, 0, 1, 4, 90, 1, &error);
    EXPECT_EQ(error, ERR_MEM);
}

}  // namespace jpeg_test
