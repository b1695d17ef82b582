#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "gfx/int_sqrt.h"
#include "gfx/line_displace.h"
#include "gfx/ripple.h"
#include "gfx/swirl.h"
#include "gfx/wave_draw.h"
#include "gfx/wave_tables.h"
#include "image_oracle.h"

namespace wave_test {

using namespace gfxtest;

TEST(IntSqrt, Values) {
    const std::pair<int32_t, int32_t> cases[] = {
        {0, 0},
        {1, 1},
        {3, 1},
        {4, 2},
        {255, 15},
        {256, 16},
        {1023, 31},
        {1024, 32},
        {65535, 255},
        {65536, 256},
        {(1 << 24) - 1, 4095},
        {1 << 24, 4096},
        {2147395600, 46340},
        {2147483647, 46340},
        {-1, -1},
        {INT32_MIN, -1},
    };
    for (auto [v, want] : cases) EXPECT_EQ(IntSqrt(v), want) << v;
}

// Every v in 0 .. 2^31 - 1, in eight slices that run in parallel: each square's run of values
// [r^2, (r + 1)^2) must give r.
class IntSqrtSlice : public testing::TestWithParam<int> {};

TEST_P(IntSqrtSlice, EqualsFloorOfSquareRoot) {
    const int64_t span = (int64_t)1 << 28;
    int64_t lo = GetParam() * span, hi = lo + span;
    int64_t r = (int64_t)std::sqrt((double)lo);
    while (r * r > lo) r--;
    while ((r + 1) * (r + 1) <= lo) r++;
    int64_t next = (r + 1) * (r + 1);
    int32_t bad = -1;
    for (int64_t v = lo; v < hi; v++) {
        if (v == next) r++, next = (r + 1) * (r + 1);
        if (IntSqrt((int32_t)v) != r) {
            bad = (int32_t)v;
            break;
        }
    }
    EXPECT_EQ(bad, -1) << "IntSqrt(" << bad << ") = " << IntSqrt(bad);
}

INSTANTIATE_TEST_SUITE_P(Exhaustive, IntSqrtSlice, testing::Range(0, 8));

namespace {

struct RippleFixture {
    Picture pic;
    std::vector<int32_t> dist;
    std::vector<double> sine;
    qzRippleJob job{};
    RippleFixture(int w, int h, double wavelength, int radius) : pic(TestPicture(w, h, 4)) {
        dist.resize((size_t)w * h);
        sine.resize(kWaveTableSize);
        job.destination = pic.px.data();
        job.destRowLength = w;
        job.distances = dist.data();
        job.sine = sine.data();
        job.wavelength = wavelength;
        job.amplitudeStep = 0.05;
        job.halfDuration = 10;
        job.width = w, job.height = h, job.format = 10;
        job.centerX = w / 2, job.centerY = h / 2, job.radius = radius;
        BuildRippleTable(&job);
    }
};

const double kRippleTwoPi = 6.28318530717959;

// The source point of a ripple pixel straight from the formula, for the angle in 0 .. 2 pi.
void RippleSourceAtAngle(const qzRippleJob& j, double angle, int x, int y, int* sx, int* sy) {
    int d = j.distances[y * j.width + x];
    double s = j.sine[(int)(angle / 0.001)];
    double a = j.amplitude * s * ((double)(j.radius - d) / j.radius);
    if (d != 0) a = a * j.wavelength / d;
    auto clamp = [](double v, int hi) { return v < 0 ? 0 : (v > hi ? hi : (int)v); };
    *sx = clamp(std::trunc(x + a * (x - j.centerX)), j.width - 1);
    *sy = clamp(std::trunc(y + a * (y - j.centerY)), j.height - 1);
}

// The same with the angle of the phase wrapped one turn at a time.
void RippleSource(const qzRippleJob& j, double phase, int x, int y, int* sx, int* sy) {
    int d = j.distances[y * j.width + x];
    double angle = (d / j.wavelength) * kRippleTwoPi - phase;
    while (angle > kRippleTwoPi) angle -= kRippleTwoPi;
    while (angle < 0) angle += kRippleTwoPi;
    RippleSourceAtAngle(j, angle, x, y, sx, sy);
}

}  // namespace

TEST(Ripple, TablesAndFrameGeometry) {
    RippleFixture f(41, 29, 6.0, 30);
    EXPECT_EQ(f.dist[(size_t)14 * 41 + 20], 0);
    EXPECT_EQ(f.dist[0], IntSqrt(20 * 20 + 14 * 14));
    // The angles of the table are accumulated in steps of 0.001.
    double x = 0;
    for (int i = 0; i < 5000; i++) x += 0.001;
    EXPECT_EQ(f.sine[5000], std::sin(x));
    Picture before = f.pic;
    RipplePixels32(&f.job, 7);
    EXPECT_DOUBLE_EQ(f.job.amplitude, 7 * 0.05);
    for (int y = 0; y < 29; y++)
        for (int xx = 0; xx < 41; xx++) {
            int sx, sy;
            RippleSource(f.job, 7.0, xx, y, &sx, &sy);
            ASSERT_EQ(f.pic.at(xx, y), before.at(sx, sy)) << xx << "," << y;
        }
    // The centre pixel is never displaced.
    EXPECT_EQ(f.pic.at(20, 14), before.at(20, 14));
    // Frame -1 keeps the amplitude and draws with the job's phase.
    f.pic = before;
    f.job.phase = 2.5;
    RipplePixels32(&f.job, -1);
    EXPECT_DOUBLE_EQ(f.job.amplitude, 7 * 0.05);
    int sx, sy;
    RippleSource(f.job, 2.5, 3, 5, &sx, &sy);
    EXPECT_EQ(f.pic.at(3, 5), before.at(sx, sy));
}

// A phase far beyond one turn (where taking off a turn at a time would never end) is brought
// into range at once by the exact remainder, and the frame is the one of that angle. An infinite
// phase has no angle and displaces nothing.
TEST(Ripple, HugePhaseEndsAtOnce) {
    for (double phase : {1e300, -1e18, 4.5e15}) {
        RippleFixture f(16, 12, 3.0, 20);
        f.job.amplitude = 0.5;
        f.job.phase = phase;
        Picture before = f.pic;
        RipplePixels32(&f.job, -1);
        int moved = 0;
        for (int y = 0; y < 12; y++)
            for (int x = 0; x < 16; x++) {
                const int d = f.dist[(size_t)y * 16 + x];
                double angle = std::fmod((d / f.job.wavelength) * kRippleTwoPi - phase, kRippleTwoPi);
                if (angle < 0) angle += kRippleTwoPi;
                int sx, sy;
                RippleSourceAtAngle(f.job, angle, x, y, &sx, &sy);
                moved += sx != x || sy != y;
                ASSERT_EQ(f.pic.at(x, y), before.at(sx, sy)) << phase << " at " << x << "," << y;
            }
        EXPECT_GT(moved, 0) << phase;
    }
    RippleFixture f(16, 12, 3.0, 20);
    f.job.amplitude = 0.5;
    f.job.phase = std::numeric_limits<double>::infinity();
    Picture before = f.pic;
    RipplePixels32(&f.job, -1);
    EXPECT_EQ(f.pic.px, before.px);
}

TEST(Ripple, ZeroWavelengthOrRadiusDrawsNothing) {
    for (auto [wl, r] : {std::pair{0.0, 30}, std::pair{6.0, 0}}) {
        RippleFixture f(16, 12, wl, r);
        Picture before = f.pic;
        RipplePixels32(&f.job, 5);
        EXPECT_EQ(f.pic.px, before.px);
    }
}

TEST(Ripple, CrossFadeAlphaMapMaskAndSixteenBit) {
    RippleFixture f(20, 16, 5.0, 20);
    Picture newer = TestPicture(20, 16, 8), older = TestPicture(20, 16, 9);
    f.job.source = newer.px.data(), f.job.sourceRowLength = 20;
    f.job.second = older.px.data(), f.job.secondRowLength = 20;
    RipplePixels32(&f.job, 15);  // fade 15 * 255 / 20 = 191
    int sx, sy;
    RippleSource(f.job, 15.0, 2, 3, &sx, &sy);
    uint32_t s1 = newer.at(sx, sy), s2 = older.at(sx, sy);
    auto mix = [](int a, int b) { return b + (((a - b) * 191) >> 8); };
    EXPECT_EQ(f.pic.at(2, 3), Rgb(mix(R(s1), R(s2)), mix(G(s1), G(s2)), mix(B(s1), B(s2))));
    // Through an alpha map: pixels where the map is 0 get alpha 0, others the faded map value.
    std::vector<uint8_t> map(20 * 16, 200), alpha(20 * 16, 7);
    for (int i = 0; i < 20; i++) map[i] = 0;
    f.job.second = nullptr;
    f.job.alphaMap = map.data(), f.job.alphaMapBytesPerRow = 20;
    f.job.destAlpha = alpha.data(), f.job.destAlphaBytesPerRow = 20;
    f.job.amplitudeStep = 0;  // no displacement: every pixel is its own source point
    f.job.fadeOut = 1;
    RipplePixels32(&f.job, 5);  // fade 63
    EXPECT_EQ(alpha[3], 0);
    EXPECT_EQ(alpha[25], 200 * (255 - 63) / 255);
    EXPECT_EQ(f.pic.at(5, 1), newer.at(5, 1));
    // Without a source the frame works from a copy of the destination, mask bits included.
    RippleFixture g(16, 8, 4.0, 16);
    std::vector<uint8_t> mask(2 * 8, 0);
    mask[0] = 0x80;  // pixel (0, 0)
    g.job.destMask = mask.data(), g.job.destMaskBytesPerRow = 2;
    g.job.amplitudeStep = 0;
    RipplePixels32(&g.job, 3);
    EXPECT_EQ(mask[0], 0x80);
    EXPECT_EQ(mask[1], 0);
    // 16-bit pixels take the same source points.
    RippleFixture h(24, 18, 7.0, 20);
    std::vector<uint16_t> p16(24 * 18);
    for (size_t i = 0; i < p16.size(); i++) p16[i] = (uint16_t)(i * 37);
    std::vector<uint16_t> before16 = p16;
    h.job.destination = p16.data();
    h.job.format = 4;
    RipplePixels16(&h.job, 6);
    for (int y = 0; y < 18; y++)
        for (int x = 0; x < 24; x++) {
            RippleSource(h.job, 6.0, x, y, &sx, &sy);
            ASSERT_EQ(p16[y * 24 + x], before16[sy * 24 + sx]);
        }
}

namespace {

// Where each 4-byte pixel format keeps its R, G and B bytes; 99, a number no format has, mixes
// as 10.
struct FourByteFormat {
    int format;
    int shift[3];  // of R, G, B
};

constexpr FourByteFormat kFourByteFormats[] = {
    {10, {16, 8, 0}}, {11, {8, 16, 24}}, {12, {24, 16, 8}}, {13, {0, 8, 16}}, {99, {16, 8, 0}}};

const FourByteFormat& FourByteFormatOf(int format) {
    for (const FourByteFormat& f : kFourByteFormats)
        if (f.format == format) return f;
    ADD_FAILURE() << "no 4-byte format " << format;
    return kFourByteFormats[0];
}

// The cross-fade of two pixels of a 4-byte format: each colour byte b + (((a - b) * fade) >> 8),
// the byte that is not a colour 0, whatever the two pixels hold there.
uint32_t CrossFaded(const FourByteFormat& f, uint32_t a, uint32_t b, int fade) {
    uint32_t mixed = 0;
    for (const int shift : f.shift) {
        const int s1 = int(a >> shift & 255), s2 = int(b >> shift & 255);
        mixed |= uint32_t(s2 + (((s1 - s2) * fade) >> 8)) << shift;
    }
    return mixed;
}

}  // namespace

// The cross-fade of two 4-byte pixels in the format's own byte order, whatever the alpha bytes of
// the two pixels were.
TEST(WaveCrossFade, EveryFourByteFormat) {
    const int kRgb[][2][3] = {
        {{255, 0, 128}, {0, 255, 127}}, {{1, 2, 3}, {254, 253, 252}}, {{200, 200, 200}, {200, 200, 200}}};
    for (const FourByteFormat& f : kFourByteFormats) {
        const uint32_t alphaBits = ~(0xFFu << f.shift[0] | 0xFFu << f.shift[1] | 0xFFu << f.shift[2]);
        for (const auto& pair : kRgb) {
            uint32_t a = 0, b = 0;
            for (int c = 0; c < 3; c++) {
                a |= uint32_t(pair[0][c]) << f.shift[c];
                b |= uint32_t(pair[1][c]) << f.shift[c];
            }
            for (const int fade : {0, 1, 100, 128, 255})
                EXPECT_EQ(WaveCrossFade<uint32_t>(f.format, a | alphaBits, b | (alphaBits & 0x5A5A5A5A), fade),
                          CrossFaded(f, a, b, fade))
                    << "format " << f.format << " fade " << fade;
        }
    }
}

namespace {

struct SwirlFixture {
    Picture pic;
    std::vector<double> sine, cosine;
    qzSwirlJob job{};
    SwirlFixture(int w, int h) : pic(TestPicture(w, h, 6)), sine(kWaveTableSize), cosine(kWaveTableSize) {
        job.destination = pic.px.data();
        job.destRowLength = w;
        job.sine = sine.data(), job.cosine = cosine.data();
        job.format = 10, job.width = w, job.height = h;
        BuildSwirlTables(&job);
    }
};

}  // namespace

TEST(Swirl, FramesTurnTheCircleAndUnwind) {
    SwirlFixture f(30, 20);
    Picture before = f.pic;
    for (int frame : {0, 720}) {
        SwirlPixels32(&f.job, frame);
        EXPECT_EQ(f.pic.px, before.px) << frame;
    }
    // Frame 500 twists by 220 degrees; each pixel from the formula with table lookups.
    SwirlPixels32(&f.job, 500);
    double cx = 15, cy = 10, R = 10, kx = 1, ky = 1.5, theta = 220 * 0.017453292519943295;
    int moved = 0;
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 30; x++) {
            double dx = kx * (x - cx), dy = ky * (y - cy);
            int sx = x, sy = y;
            if (dx * dx + dy * dy < R * R) {
                double fr = 1 - IntSqrt((int32_t)(dx * dx + dy * dy)) / R;
                int i = (int)(theta * fr * fr / 0.001);
                double c = f.cosine[i], s = f.sine[i];
                sx = std::clamp((int)std::trunc(cx + (c * dx - s * dy) / kx), 0, 29);
                sy = std::clamp((int)std::trunc(cy + (s * dx + c * dy) / ky), 0, 19);
            }
            moved += sx != x || sy != y;
            ASSERT_EQ(f.pic.at(x, y), before.at(sx, sy)) << x << "," << y;
        }
    EXPECT_GT(moved, 100);
    // Outside the circle nothing moves.
    EXPECT_EQ(f.pic.at(0, 0), before.at(0, 0));
    // A frame past 720 turns the other way, computed without the tables.
    f.pic = before;
    SwirlPixels32(&f.job, 800);
    EXPECT_NE(f.pic.px, before.px);
}

TEST(Swirl, CrossFadeAndAlphaMap) {
    SwirlFixture f(16, 16);
    Picture newer = TestPicture(16, 16, 1), older = TestPicture(16, 16, 2);
    f.job.source = newer.px.data(), f.job.sourceRowLength = 16;
    f.job.second = older.px.data(), f.job.secondRowLength = 16;
    SwirlPixels32(&f.job, 360);  // fade 127, twist 360 degrees: pixel (0, 0) lies outside the circle
    auto mix = [](int a, int b) { return b + (((a - b) * 127) >> 8); };
    uint32_t s1 = newer.at(0, 0), s2 = older.at(0, 0);
    EXPECT_EQ(f.pic.at(0, 0), Rgb(mix(R(s1), R(s2)), mix(G(s1), G(s2)), mix(B(s1), B(s2))));
    std::vector<uint8_t> map(256, 255), alpha(256, 9);
    map[0] = 0;
    f.job.second = nullptr;
    f.job.alphaMap = map.data(), f.job.alphaMapBytesPerRow = 16;
    f.job.destAlpha = alpha.data(), f.job.destAlphaBytesPerRow = 16;
    SwirlPixels32(&f.job, 720);
    EXPECT_EQ(alpha[0], 0);
    EXPECT_EQ(alpha[1], 255);
}

// The cross-fade in every 4-byte format, of the two pictures' colours read in the format, whatever
// the pictures' alpha bytes hold; a frame beyond the ripple's end fades at 255.
TEST(Ripple, CrossFadeInEveryFourByteFormat) {
    const struct {
        int format, frame, fade;
    } cases[] = {{10, 15, 191}, {11, 15, 191}, {12, 5, 63}, {13, 20, 255}, {10, 0, 0}, {11, 25, 255}, {12, 30, 255}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format << " frame " << c.frame);
        RippleFixture f(20, 16, 5.0, 20);
        std::vector<uint32_t> newer(20 * 16), older(20 * 16);
        uint32_t seed = 7;
        for (size_t i = 0; i < newer.size(); i++) {
            newer[i] = seed = seed * 1664525u + 1013904223u;
            older[i] = seed = seed * 1664525u + 1013904223u;
        }
        f.job.format = c.format;
        f.job.amplitudeStep = 0;  // every pixel is its own source point
        f.job.source = newer.data(), f.job.sourceRowLength = 20;
        f.job.second = older.data(), f.job.secondRowLength = 20;
        RipplePixels32(&f.job, c.frame);
        const FourByteFormat& format = FourByteFormatOf(c.format);
        for (size_t i = 0; i < newer.size(); i++)
            ASSERT_EQ(f.pic.px[i], CrossFaded(format, newer[i], older[i], c.fade)) << "pixel " << i;
    }
}

TEST(DisplaceLines, CopiesShiftedLinesInsideThePicture) {
    Picture src = TestPicture(8, 6, 3);
    Picture dst;
    dst.width = 8, dst.height = 6;
    dst.px.assign(48, 0);
    const double step = 2 * M_PI / 4;
    // Four lines ending at row 3: rows 0..3 taken from rows 3 + (-2, 0, 1, 5).
    const double offsets[4] = {-2 * step, 0.2, 1.5 * step, 5 * step};
    qzDisplaceJob job{};
    job.source = src.px.data(), job.destination = dst.px.data();
    job.offsets = offsets;
    job.sourceRowLength = job.destRowLength = 8;
    job.width = 8, job.height = 6, job.lines = 4, job.lastLine = 3, job.bytesPerPixel = 4;
    DisplaceLines(&job);
    EXPECT_EQ(job.copied, 3);  // row 8 lies outside: skipped, not counted
    EXPECT_EQ(job.firstCopied, 0);
    EXPECT_EQ(job.lastOut, 3);
    for (int x = 0; x < 8; x++) {
        EXPECT_EQ(dst.at(x, 0), src.at(x, 1));
        EXPECT_EQ(dst.at(x, 1), src.at(x, 3));
        EXPECT_EQ(dst.at(x, 2), src.at(x, 4));
        EXPECT_EQ(dst.at(x, 3), 0u);
    }
    // Columns, 16-bit, with alpha: where the source alpha is 0 the pixel is kept and its alpha
    // becomes 0.
    std::vector<uint16_t> s16(48), d16(48, 0x1111);
    std::vector<uint8_t> sa(48, 50), da(48, 9);
    for (int i = 0; i < 48; i++) s16[i] = (uint16_t)(i + 1);
    sa[2 * 8 + 6] = 0;
    const double shift[1] = {5 * 2 * M_PI};  // column 1 from column 1 + 5
    qzDisplaceJob cj{};
    cj.source = s16.data(), cj.destination = d16.data();
    cj.sourceAlpha = sa.data(), cj.destAlpha = da.data();
    cj.sourceAlphaBytesPerRow = cj.destAlphaBytesPerRow = 8;
    cj.offsets = shift;
    cj.sourceRowLength = cj.destRowLength = 8;
    cj.width = 8, cj.height = 6, cj.direction = 1, cj.lines = 1, cj.lastLine = 1, cj.bytesPerPixel = 2;
    DisplaceLines(&cj);
    EXPECT_EQ(cj.copied, 1);
    EXPECT_EQ(d16[0 * 8 + 1], s16[0 * 8 + 6]);
    EXPECT_EQ(da[0 * 8 + 1], 50);
    EXPECT_EQ(d16[2 * 8 + 1], 0x1111);
    EXPECT_EQ(da[2 * 8 + 1], 0);
    EXPECT_EQ(da[0 * 8 + 2], 9);
}

TEST(ThresholdMapToPlane, MasksAndAlphaChannels) {
    const uint8_t map[8] = {0, 10, 20, 30, 40, 50, 60, 70};
    const uint8_t srcAlpha[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const uint8_t srcMask[2] = {0xF0, 0x00};  // pixels 0..3 set
    struct Case {
        const uint8_t* source;
        int alphaKind, reverse;
        std::vector<uint8_t> want;
    } cases[] = {
        {srcAlpha, 1, 0, {1, 2, 3, 4, 0, 0, 0, 0}},
        {srcAlpha, 1, 1, {0, 0, 0, 0, 5, 6, 7, 8}},
        {nullptr, 1, 0, {255, 255, 255, 255, 0, 0, 0, 0}},
        {srcMask, 0, 0, {0xF0, 0xAA}},
        {srcMask, 0, 1, {0x00, 0xAA}},
        {nullptr, 0, 1, {0x0F, 0xAA}},  // the row padding is left alone
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> out(c.alphaKind ? 8 : 2, 0xAA);
        qzThresholdJob job{c.source, c.alphaKind ? 8 : 2, out.data(), (int)out.size(), 8, 1,
                           map,      c.alphaKind,         c.reverse};
        ThresholdMapToPlane(&job, 40);
        EXPECT_EQ(out, c.want) << c.alphaKind << " " << c.reverse << " " << (c.source != nullptr);
    }
}

}  // namespace wave_test
