// YUV 4:2:0 to RGB: the integer BT.601 arithmetic, the 14 destination layouts, the scaled
// converter's stepping, and sws_scale on an ffmpeg test picture as the independent oracle.
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "gfx/kernel_dispatch.h"
#include "gfx/yuv_convert.h"

namespace yuv_convert_test {

namespace {

struct Frame {
    int w = 0, h = 0;
    std::vector<uint8_t> y, u, v;
    const uint8_t* planes[3];
    int pitches[3];
    Frame(int w_, int h_) : w(w_), h(h_), y((size_t)w_ * h_), u((size_t)((w_ + 1) / 2) * ((h_ + 1) / 2)), v(u.size()) {
        Point();
    }
    void Point() {
        planes[0] = y.data();
        planes[1] = u.data();
        planes[2] = v.data();
        pitches[0] = w;
        pitches[1] = pitches[2] = (w + 1) / 2;
    }
};

qzYuvJob Job(const Frame& f, void* dst, int dw, int dh, int format, int bpp) {
    qzYuvJob j{};
    j.planes = f.planes;
    j.pitches = f.pitches;
    j.dstPixels = dst;
    j.srcWidth = f.w;
    j.srcHeight = f.h;
    j.dstWidth = dw;
    j.dstHeight = dh;
    j.dstStride = dw;
    j.pixelFormat = format;
    j.bytesPerPixel = bpp;
    return j;
}

TEST(YuvConvert, StudioRangeCornersAndClamping) {
    struct Case {
        int y, u, v, r, g, b;
    } cases[] = {
        {16, 128, 128, 0, 0, 0},        {235, 128, 128, 255, 255, 255}, {81, 90, 240, 254, 0, 0},
        {128, 128, 128, 130, 130, 130}, {0, 0, 0, 0, 136, 0},           {255, 255, 255, 255, 125, 255},
    };
    for (const Case& c : cases) {
        int r, g, b;
        YuvToRgb(c.y, c.u, c.v, &r, &g, &b);
        EXPECT_EQ(r, c.r) << c.y << "," << c.u << "," << c.v;
        EXPECT_EQ(g, c.g) << c.y << "," << c.u << "," << c.v;
        EXPECT_EQ(b, c.b) << c.y << "," << c.u << "," << c.v;
    }
}

TEST(YuvConvert, EveryDestinationLayout) {
    // One 2x2 frame of a single colour (R 254, G 0, B 0 after clamping... use a mid colour).
    Frame f(2, 2);
    std::fill(f.y.begin(), f.y.end(), 140);
    f.u[0] = 100;
    f.v[0] = 170;
    int R, G, B;
    YuvToRgb(140, 100, 170, &R, &G, &B);
    const uint32_t rgb555 = (R << 7 & 0x7C00) | (G << 2 & 0x3E0) | (B >> 3);
    const uint32_t bgr555 = (B << 7 & 0x7C00) | (G << 2 & 0x3E0) | (R >> 3);
    const uint32_t rgb565 = (R << 8 & 0xF800) | (G << 3 & 0x7E0) | (B >> 3);
    const uint32_t bgr565 = (B << 8 & 0xF800) | (G << 3 & 0x7E0) | (R >> 3);
    auto swap = [](uint32_t v) { return ((v & 0xFF) << 8) | (v >> 8); };
    const uint32_t expected[14] = {rgb555,
                                   bgr555,
                                   swap(rgb555),
                                   swap(bgr555),
                                   rgb565,
                                   bgr565,
                                   swap(rgb565),
                                   swap(bgr565),
                                   0,
                                   0,
                                   (uint32_t)(R << 16 | G << 8 | B),
                                   (uint32_t)B << 24 | (uint32_t)G << 16 | (uint32_t)R << 8,
                                   (uint32_t)R << 24 | (uint32_t)G << 16 | (uint32_t)B << 8,
                                   (uint32_t)(B << 16 | G << 8 | R)};
    for (int format = 0; format < 14; format++) {
        const int bpp = format < 8 ? 2 : format < 10 ? 3 : 4;
        for (int scaled = 0; scaled < 2; scaled++) {
            std::vector<uint8_t> out(4 * 4, 0xEE);
            qzYuvJob j = Job(f, out.data(), 2, 2, format, bpp);
            if (scaled)
                ScaleYUVToPixels(&j);
            else
                ConvertYUVToPixels(&j);
            for (int p = 0; p < 4; p++) {
                const uint8_t* px = out.data() + p * bpp;
                if (bpp == 3) {
                    const uint8_t want[2][3] = {{(uint8_t)R, (uint8_t)G, (uint8_t)B},
                                                {(uint8_t)B, (uint8_t)G, (uint8_t)R}};
                    EXPECT_EQ(std::memcmp(px, want[format - 8], 3), 0) << format;
                } else {
                    uint32_t v = 0;
                    std::memcpy(&v, px, bpp);
                    EXPECT_EQ(v, expected[format]) << "format " << format << (scaled ? " scaled" : "");
                }
            }
        }
    }
    // Bytes per pixel that do not match the format, and unknown formats: nothing written.
    for (auto fb : {std::pair<int, int>{10, 2}, {4, 4}, {8, 4}, {14, 1}, {-1, 4}}) {
        std::vector<uint8_t> out(16, 0xEE);
        qzYuvJob j = Job(f, out.data(), 2, 2, fb.first, fb.second);
        ConvertYUVToPixels(&j);
        for (uint8_t b : out) ASSERT_EQ(b, 0xEE) << fb.first << "/" << fb.second;
    }
}

// A 320x240 frame of ffmpeg's test source as planar YUV 4:2:0.
bool TestSource(Frame* f) {
    std::string path = "/tmp/qzyuvtest." + std::to_string(getpid()) + ".yuv";
    std::string cmd =
        "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=1 -frames:v 1 -pix_fmt yuv420p -f rawvideo " +
        path;
    if (std::system(cmd.c_str()) != 0) return false;
    FILE* in = std::fopen(path.c_str(), "rb");
    bool ok = in && std::fread(f->y.data(), 1, f->y.size(), in) == f->y.size() &&
              std::fread(f->u.data(), 1, f->u.size(), in) == f->u.size() &&
              std::fread(f->v.data(), 1, f->v.size(), in) == f->v.size();
    if (in) std::fclose(in);
    std::remove(path.c_str());
    return ok;
}

// sws_scale's table-driven yuv420p converter misses saturated colours by up to 3 (Y 106, U 192,
// V 213 gives green 8 where the exact value is 10.57); its full-chroma path with point
// sampling computes each pixel exactly enough to compare within 2.
TEST(YuvConvert, MatchesSwsScaleWithinTwo) {
    Frame f(320, 240);
    ASSERT_TRUE(TestSource(&f));
    std::vector<uint32_t> ours((size_t)f.w * f.h), ref((size_t)f.w * f.h);
    qzYuvJob j = Job(f, ours.data(), f.w, f.h, 10, 4);
    ConvertYUVToPixels(&j);
    SwsContext* sws = sws_getContext(f.w, f.h, AV_PIX_FMT_YUV420P, f.w, f.h, AV_PIX_FMT_BGRA,
                                     SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
    ASSERT_TRUE(sws);
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(sws, coefficients, 0, coefficients, 1, 0, 1 << 16, 1 << 16);
    uint8_t* dst[4] = {(uint8_t*)ref.data(), nullptr, nullptr, nullptr};
    int dstStride[4] = {f.w * 4, 0, 0, 0};
    sws_scale(sws, f.planes, f.pitches, 0, f.h, dst, dstStride);
    sws_freeContext(sws);
    int worst = 0;
    for (size_t i = 0; i < ours.size(); i++) {
        ASSERT_EQ(ours[i] >> 24, 0u);  // the alpha byte is always 0
        for (int s = 0; s < 24; s += 8) {
            int d = std::abs((int)((ours[i] >> s) & 255) - (int)((ref[i] >> s) & 255));
            worst = std::max(worst, d);
        }
    }
    EXPECT_LE(worst, 2);
}

TEST(YuvConvert, ScaledConversionStepsAndStaysInsideTheFrame) {
    Frame f(33, 17);
    for (size_t i = 0; i < f.y.size(); i++) f.y[i] = (uint8_t)(16 + i * 7 % 220);
    for (size_t i = 0; i < f.u.size(); i++) {
        f.u[i] = (uint8_t)(i * 13);
        f.v[i] = (uint8_t)(255 - i * 5);
    }
    // At the frame's own size the two converters agree.
    std::vector<uint32_t> a((size_t)33 * 17), b(a.size());
    qzYuvJob j = Job(f, a.data(), 33, 17, 10, 4);
    ConvertYUVToPixels(&j);
    j.dstPixels = b.data();
    ScaleYUVToPixels(&j);
    EXPECT_EQ(a, b);
    // A big up-scale: the float row accumulator would step past row 16; the planes are sized
    // exactly, so a read past them is a sanitizer error. The last rows show source row 16.
    const int dh = 200000;
    std::vector<uint16_t> tall((size_t)dh * 2);
    j = Job(f, tall.data(), 2, dh, 4, 2);
    ScaleYUVToPixels(&j);
    std::vector<uint16_t> last(33);
    Frame row(33, 1);
    std::memcpy(row.y.data(), f.y.data() + 16 * 33, 33);
    std::memcpy(row.u.data(), f.u.data() + 8 * 17, 17);
    std::memcpy(row.v.data(), f.v.data() + 8 * 17, 17);
    qzYuvJob k = Job(row, last.data(), 2, 1, 4, 2);
    ScaleYUVToPixels(&k);
    EXPECT_EQ(tall[(size_t)(dh - 1) * 2], last[0]);
    EXPECT_EQ(tall[(size_t)(dh - 1) * 2 + 1], last[1]);
}

// Every Y, U, V triple through the frame converter, in the build this machine picks (eight
// pixels at a time with AVX2) and the portable one: the same pixels as YuvToRgb. A 512x512
// frame holds each U, V pair once (a 2x2 block of pixels each); 64 frames give every pair every Y.
TEST(YuvConvert, EverySampleTripleMatchesTheFormula) {
    Frame f(512, 512);
    for (int cy = 0; cy < 256; cy++)
        for (int cx = 0; cx < 256; cx++) {
            f.u[(size_t)cy * 256 + cx] = (uint8_t)cx;
            f.v[(size_t)cy * 256 + cx] = (uint8_t)cy;
        }
    std::vector<uint32_t> out((size_t)512 * 512);
    for (bool avx2 : {true, false}) {
        gQzAvx2KernelsAllowed = avx2;
        for (int pass = 0; pass < 64; pass++) {
            // The four pixels of a block have Y pass * 4 + 0..3.
            for (int y = 0; y < 512; y++)
                for (int x = 0; x < 512; x++) f.y[(size_t)y * 512 + x] = (uint8_t)(pass * 4 + (y & 1) * 2 + (x & 1));
            qzYuvJob j = Job(f, out.data(), 512, 512, 10, 4);
            ConvertYUVToPixels(&j);
            for (int y = 0; y < 512; y++)
                for (int x = 0; x < 512; x++) {
                    int r, g, b;
                    YuvToRgb(f.y[(size_t)y * 512 + x], x >> 1, y >> 1, &r, &g, &b);
                    ASSERT_EQ(out[(size_t)y * 512 + x], (uint32_t)(r << 16 | g << 8 | b))
                        << "Y " << (int)f.y[(size_t)y * 512 + x] << " U " << (x >> 1) << " V " << (y >> 1)
                        << (avx2 ? "" : ", portable");
                }
        }
    }
    gQzAvx2KernelsAllowed = true;
}

// Both builds of both converters write the same bytes in every destination layout, with rows
// longer than a group of eight and a tail.
TEST(YuvConvert, BothBuildsAgreeInEveryLayout) {
    Frame f(37, 9);
    uint32_t seed = 3;
    auto next = [&] { return (uint8_t)((seed = seed * 1664525u + 1013904223u) >> 24); };
    for (uint8_t& b : f.y) b = next();
    for (uint8_t& b : f.u) b = next();
    for (uint8_t& b : f.v) b = next();
    for (int format = 0; format < 14; format++) {
        const int bpp = format < 8 ? 2 : format < 10 ? 3 : 4;
        for (int scaled = 0; scaled < 2; scaled++) {
            std::vector<uint8_t> fast((size_t)53 * 13 * 4, 0xEE), portable = fast;
            qzYuvJob j = Job(f, fast.data(), scaled ? 53 : 37, scaled ? 13 : 9, format, bpp);
            scaled ? ScaleYUVToPixels(&j) : ConvertYUVToPixels(&j);
            gQzAvx2KernelsAllowed = false;
            j.dstPixels = portable.data();
            scaled ? ScaleYUVToPixels(&j) : ConvertYUVToPixels(&j);
            gQzAvx2KernelsAllowed = true;
            ASSERT_EQ(fast, portable) << "format " << format << (scaled ? ", scaled" : "");
        }
    }
}

}  // namespace

}  // namespace yuv_convert_test
