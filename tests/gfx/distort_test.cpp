#include <gtest/gtest.h>

#include <cmath>

#include "base/error_codes.h"
#include "gfx/distort.h"
#include "gfx/distort_matrix.h"
#include "image_oracle.h"
#include "platform/os_alloc.h"

namespace distort_test {

using namespace gfxtest;

namespace {

// A distorted picture placed on its page: 0xAARRGGBB pixels with the alpha of the result.
struct Placed {
    int x = 0, y = 0, width = 0, height = 0;
    std::vector<uint32_t> px;
    int error = 0, method = 0;
    uint32_t At(int px_, int py) const {  // page coordinates; transparent outside
        int i = px_ - x, j = py - y;
        if (i < 0 || j < 0 || i >= width || j >= height) return 0;
        return px[(size_t)j * width + i];
    }
};

qzDistortJob SourceJob(const Picture& src, int method, const std::vector<double>& args) {
    qzDistortJob job{};
    job.method = method;
    job.args = args.data();
    job.argCount = (int)args.size();
    job.sourceWidth = src.width, job.sourceHeight = src.height;
    job.sourcePixels = src.px.data();
    job.sourceRowLength = src.width;
    job.sourceBytesPerPixel = 4, job.sourceFormat = 10;
    return job;
}

Placed Distort(const Picture& src, int method, const std::vector<double>& args, bool smooth) {
    Placed out;
    qzDistortJob job = SourceJob(src, method, args);
    double* c = GenerateDistortCoefficients(&job);
    out.error = job.error;
    out.method = job.method;
    if (!c) return out;
    out.x = job.destX, out.y = job.destY, out.width = job.destWidth, out.height = job.destHeight;
    std::vector<uint32_t> px((size_t)out.width * out.height, 0x12345678);
    std::vector<uint8_t> alpha(px.size(), 0);
    job.destPixels = px.data();
    job.destRowLength = out.width;
    job.destBytesPerPixel = 4, job.destFormat = 10;
    job.destAlpha = alpha.data(), job.destAlphaBytesPerRow = out.width;
    job.smooth = smooth;
    DistortPixels(&job, c);
    OsFree(c);
    out.px.resize(px.size());
    for (size_t i = 0; i < px.size(); i++) out.px[i] = (uint32_t)alpha[i] << 24 | (px[i] & 0xFFFFFF);
    return out;
}

// ImageMagick's +distort (best-fit output area) with transparent virtual pixels.
Placed MagickDistort(const Picture& src, const std::string& method, const std::string& args, bool smooth) {
    Placed out;
    TempDir dir;
    WritePpm(dir.File("in.ppm"), src);
    std::string sampling = smooth ? "" : "-interpolate Nearest -filter point ";
    std::string cmd = "convert " + dir.File("in.ppm") + " -virtual-pixel transparent " + sampling + "+distort " +
                      method + " '" + args + "' -depth 8 " + dir.File("out.png");
    EXPECT_EQ(Run(cmd), 0) << cmd;
    std::string info = dir.File("info.txt");
    Run("convert " + dir.File("out.png") + " -format '%w %h %X %Y' info: > " + info);
    if (sscanf(ReadFile(info).c_str(), "%d %d %d %d", &out.width, &out.height, &out.x, &out.y) != 4) return out;
    Run("convert " + dir.File("out.png") + " -depth 8 rgba:" + dir.File("out.rgba"));
    std::string raw = ReadFile(dir.File("out.rgba"));
    if (raw.size() != (size_t)out.width * out.height * 4) return Placed{};
    for (size_t i = 0; i < raw.size(); i += 4) {
        const unsigned char* p = (const unsigned char*)raw.data() + i;
        out.px.push_back((uint32_t)p[3] << 24 | Rgb(p[0], p[1], p[2]));
    }
    return out;
}

// Share of pixels, over both output areas, whose opacity (alpha > 127) differs, and the mean
// colour difference where both are opaque.
void CompareGeometry(const Placed& ours, const Placed& theirs, double maxMismatch, double maxMeanDiff,
                     const std::string& what) {
    ASSERT_FALSE(theirs.px.empty()) << what;
    int x0 = std::min(ours.x, theirs.x), y0 = std::min(ours.y, theirs.y);
    int x1 = std::max(ours.x + ours.width, theirs.x + theirs.width);
    int y1 = std::max(ours.y + ours.height, theirs.y + theirs.height);
    long mismatch = 0, opaque = 0, both = 0;
    double diff = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) {
            uint32_t a = ours.At(x, y), b = theirs.At(x, y);
            bool oa = (a >> 24) > 127, ob = (b >> 24) > 127;
            opaque += oa || ob;
            mismatch += oa != ob;
            if (oa && ob) {
                both++;
                diff += (std::abs(R(a) - R(b)) + std::abs(G(a) - G(b)) + std::abs(B(a) - B(b))) / 3.0;
            }
        }
    ASSERT_GT(opaque, 0) << what;
    EXPECT_LE((double)mismatch / opaque, maxMismatch) << what << ": " << mismatch << " of " << opaque;
    EXPECT_LE(diff / std::max(both, 1L), maxMeanDiff) << what;
}

}  // namespace

TEST(DistortCoefficients, ArgumentRules) {
    Picture src = TestPicture(20, 10);
    struct Case {
        int method;
        std::vector<double> args;
        int error, method_after;
    } cases[] = {
        {0, {}, ERR_WRONGUSAGE, 0},
        {15, {}, ERR_WRONGUSAGE, 0},
        // No coefficient formula for the bilinear and polynomial fits.
        {6, std::vector<double>(16, 1.0), ERR_WRONGUSAGE, 0},
        {7, std::vector<double>(16, 1.0), ERR_WRONGUSAGE, 0},
        {8, {1, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2}, ERR_WRONGUSAGE, 0},
        {1, {1, 2, 3}, ERR_WRONGUSAGE, 0},
        {1, {5, 5, 0, 0}, 0, 1},
        {2, {1, 0, 0, 0, 1, 0}, 0, 1},
        {2, {1, 0, 0}, ERR_WRONGUSAGE, 0},
        {3, {30}, 0, 1},
        {3, {0, 30}, ERR_WRONGUSAGE, 0},  // scale 0
        {3, {}, ERR_WRONGUSAGE, 0},
        {4, {0, 0, 1, 1, 5, 5, 6, 6, 9, 0, 9, 1}, 0, 1},       // fewer than 16 numbers: affine
        {4, std::vector<double>(16, 3.0), ERR_WRONGUSAGE, 0},  // singular
        {5, {1, 0, 0, 0, 1, 0, 0.001, 0}, 0, 4},
        {9, {}, 0, 9},
        {9, {0}, ERR_WRONGUSAGE, 0},
        {9, {1e300}, 0, 9},  // any number of turns ends: four quadrant points at most
        {9, {60, 0, 0}, ERR_WRONGUSAGE, 0},
        {9, {60, 0, 30, 30}, ERR_WRONGUSAGE, 0},  // a ring of no thickness
        {9, {1, 2, 3, 4, 5}, ERR_WRONGUSAGE, 0},
        {10, {10, 2, 5}, ERR_WRONGUSAGE, 0},
        {10, {5, 5}, ERR_WRONGUSAGE, 0},  // Rmax - Rmin below 1e-6
        {10, {10, -2}, ERR_WRONGUSAGE, 0},
        {11, {0, 0, 10, 5, 0, 90, 1, 1}, 0, 11},
        {12, {0, 0, 0, 1, 5}, ERR_WRONGUSAGE, 0},
        {13, {0, 0, 0, 1, 0, 0, 0, 1, 3, 3}, 0, 13},
        {14, {1, 1, 2, 2}, 0, 14},
        {14, {1, 1, 2}, ERR_WRONGUSAGE, 0},
        {1, {NAN, 0, 0, 0}, ERR_WRONGUSAGE, 0},
    };
    for (const Case& c : cases) {
        qzDistortJob job = SourceJob(src, c.method, c.args);
        double* coef = GenerateDistortCoefficients(&job);
        EXPECT_EQ(job.error, c.error) << "method " << c.method << " with " << c.args.size() << " arguments";
        EXPECT_EQ(coef != nullptr, c.error == 0);
        if (coef) {
            EXPECT_EQ(job.method, c.method_after) << c.method;
        }
        OsFree(coef);
    }
}

TEST(DistortCoefficients, PolarRadiusDefaults) {
    Picture src = TestPicture(60, 40);
    // Rmax 0: the largest centre-to-edge distance (30); one argument puts the centre at 0, 0.
    Placed p = Distort(src, DISTORT_POLAR, {0}, false);
    EXPECT_EQ(p.error, 0);
    EXPECT_EQ(p.x, -30);
    EXPECT_EQ(p.width, 60);
    // Rmax -1: the distance to the farthest corner, sqrt(30^2 + 20^2).
    p = Distort(src, DISTORT_POLAR, {-1}, false);
    EXPECT_EQ(p.x, (int)std::floor(-std::sqrt(1300.0)));
    EXPECT_EQ(p.width, 2 * (int)std::ceil(std::sqrt(1300.0)));
}

TEST(DistortCoefficients, LinearAlgebraKit) {
    double f[8] = {1.2, 0.1, 5, -0.2, 0.9, 7, 0.001, 0.002}, inv[8], back[8];
    InvertPerspectiveCoefficients(f, inv);
    InvertPerspectiveCoefficients(inv, back);
    for (int i = 0; i < 8; i++) EXPECT_NEAR(back[i], f[i], 1e-9);
    double a[6] = {2, 1, 3, 0.5, 1.5, -4}, ai[6], ab[6];
    InvertAffineCoefficients(a, ai);
    InvertAffineCoefficients(ai, ab);
    for (int i = 0; i < 6; i++) EXPECT_NEAR(ab[i], a[i], 1e-12);
    double** m = AllocDistortMatrix(2, 2);
    double** v = AllocDistortMatrix(1, 2);
    m[0][0] = 2, m[0][1] = 1, m[1][0] = 1, m[1][1] = 3;
    v[0][0] = 5, v[0][1] = 10;
    ASSERT_EQ(GaussJordanEliminate(m, v, 2, 1), 1);
    EXPECT_NEAR(v[0][0], 1.0, 1e-12);
    EXPECT_NEAR(v[0][1], 3.0, 1e-12);
    m[0][0] = 1, m[0][1] = 2, m[1][0] = 2, m[1][1] = 4;
    EXPECT_EQ(GaussJordanEliminate(m, v, 2, 1), 0);
    FreeDistortMatrix(m, 2);
    FreeDistortMatrix(v, 1);
    EXPECT_EQ(PolyTermCount(1), 3);
    EXPECT_EQ(PolyTermCount(1.5), 4);
    EXPECT_EQ(PolyTermCount(2.5), 0);
    EXPECT_EQ(PolyTermCount(5), 21);
    EXPECT_EQ(PolyTermCount(0.5), 0);
    EXPECT_EQ(PolyBasis(7, 2, 3), 12.0);  // x^2 y
    EXPECT_EQ(PolyBasisDx(7, 2, 3), 12.0);
    EXPECT_EQ(PolyBasisDy(7, 2, 3), 4.0);
}

TEST(DistortPixels, IdentityMappingsCopyThePicture) {
    Picture src = TestPicture(24, 16);
    std::vector<std::pair<int, std::vector<double>>> identities = {
        {DISTORT_BARREL, {0, 0, 0, 1}},
        {DISTORT_BARREL_INVERSE, {0, 0, 0, 1}},
        {DISTORT_PERSPECTIVE, {0, 0, 0, 0, 24, 0, 24, 0, 0, 16, 0, 16, 24, 16, 24, 16}},
        {DISTORT_SCALE_ROTATE_TRANSLATE, {0}},
    };
    // The fitted perspective lands a rounding error away from the identity, which sends the
    // smooth sampler from its bilinear path into the elliptical average: nearest only there.
    for (const auto& [method, args] : identities)
        for (bool smooth : {false, true}) {
            if (smooth && method == DISTORT_PERSPECTIVE) continue;
            Placed p = Distort(src, method, args, smooth);
            ASSERT_EQ(p.error, 0) << method;
            ASSERT_EQ(p.width, 24) << method;
            ASSERT_EQ(p.height, 16) << method;
            for (int y = 0; y < 16; y++)
                for (int x = 0; x < 24; x++)
                    ASSERT_EQ(p.px[y * 24 + x], 0xFF000000u | src.at(x, y))
                        << "method " << method << " smooth " << smooth << " at " << x << "," << y;
        }
}

TEST(DistortPixels, GeometryMatchesImageMagick) {
    Picture src = TestPicture(120, 80, 13);
    struct Case {
        int method;
        std::vector<double> args;
        std::string name, text;
    } cases[] = {
        {DISTORT_PERSPECTIVE,
         {0, 0, 10, 6, 119, 0, 100, 16, 0, 79, 0, 79, 119, 79, 119, 60},
         "Perspective",
         "0,0,10,6 119,0,100,16 0,79,0,79 119,79,119,60"},
        {DISTORT_ARC, {}, "Arc", "90"},
        {DISTORT_ARC, {120, 30, 50, 20}, "Arc", "120,30,50,20"},
        {DISTORT_POLAR, {50, 10}, "Polar", "50,10"},
        {DISTORT_BARREL, {0.1, 0.0, -0.05, 0.95}, "Barrel", "0.1,0.0,-0.05,0.95"},
    };
    for (const Case& c : cases)
        for (bool smooth : {false, true}) {
            Placed ours = Distort(src, c.method, c.args, smooth);
            ASSERT_EQ(ours.error, 0) << c.name;
            Placed theirs = MagickDistort(src, c.name, c.text, smooth);
            // ImageMagick's best-fit area keeps a pixel of margin more than ours on some sides.
            EXPECT_NEAR(ours.x, theirs.x, 2) << c.name << " " << c.text;
            EXPECT_NEAR(ours.y, theirs.y, 2) << c.name << " " << c.text;
            CompareGeometry(ours, theirs, 0.04, smooth ? 12 : 8, c.name + " " + c.text + (smooth ? " smooth" : ""));
        }
}

TEST(DistortPixels, BeyondTheHorizonStaysTransparent) {
    Picture src = TestPicture(20, 20);
    qzDistortJob job = SourceJob(src, DISTORT_PERSPECTIVE, {});
    // Inverse map with w = 0.05 X + 1: the horizon is at X = -20; X runs from -40 to -0.5.
    const double c[9] = {1, 0, 0, 0, 1, 0, 0.05, 0, 1};
    std::vector<uint32_t> px(40 * 20, 0x77777777);
    std::vector<uint8_t> alpha(40 * 20, 0);
    job.destPixels = px.data(), job.destRowLength = 40, job.destBytesPerPixel = 4, job.destFormat = 10;
    job.destAlpha = alpha.data(), job.destAlphaBytesPerRow = 40;
    job.destWidth = 40, job.destHeight = 20, job.destX = -40;
    for (int smooth : {0, 1}) {
        job.smooth = smooth;
        DistortPixels(&job, c);
        for (int y = 0; y < 20; y++)
            for (int x = 0; x < 19; x++) {
                ASSERT_EQ(px[y * 40 + x], 0u) << x << "," << y;
                ASSERT_EQ(alpha[y * 40 + x], 0) << x << "," << y;
            }
    }
}

TEST(DistortPixels, SmoothSamplingKeepsAUniformColourAndFillsAMask) {
    Picture src;
    src.width = 50, src.height = 30;
    src.px.assign(1500, Rgb(10, 200, 90));
    qzDistortJob job = SourceJob(src, DISTORT_ARC, {});
    job.smooth = 1;
    double* c = GenerateDistortCoefficients(&job);
    ASSERT_NE(c, nullptr);
    int w = job.destWidth, h = job.destHeight;
    std::vector<uint16_t> px((size_t)w * h, 0);
    int maskBytes = ((w + 15) >> 3) & ~1;
    std::vector<uint8_t> mask((size_t)maskBytes * h, 0);
    // A 4-byte source into a 2-byte destination with a mask.
    job.destPixels = px.data(), job.destRowLength = w, job.destBytesPerPixel = 2, job.destFormat = 4;
    job.destMask = mask.data(), job.destMaskBytesPerRow = maskBytes;
    DistortPixels(&job, c);
    OsFree(c);
    int set = 0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            bool bit = mask[y * maskBytes + (x >> 3)] & (0x80 >> (x & 7));
            if (!bit) continue;
            set++;
            uint16_t want = (uint16_t)((10 & 0xF8) << 8 | (200 & 0xFC) << 3 | 90 >> 3);
            ASSERT_EQ(px[y * w + x], want) << x << "," << y;
        }
    EXPECT_GT(set, 1000);
}

}  // namespace distort_test
