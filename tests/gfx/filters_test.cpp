#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "gfx/channel_access.h"
#include "gfx/convolve.h"
#include "gfx/filter_types.h"
#include "gfx/hsl_modulate.h"
#include "gfx/oil_paint.h"
#include "gfx/pixel_format.h"
#include "gfx/tone_filters.h"
#include "image_oracle.h"
#include "platform/os_alloc.h"

namespace filters_test {

using namespace gfxtest;

namespace {

void Convolve(Picture& p, char mode, double radius, double sigma, uint8_t* alpha = nullptr) {
    qzConvolveJob job{(uint8_t*)p.px.data(), p.width, p.height, p.width, 10, 4, alpha, p.width, radius, sigma, mode};
    ConvolveBitMapPixels(&job);
}

Picture Uniform(int w, int h, uint32_t c) {
    Picture p;
    p.width = w, p.height = h;
    p.px.assign((size_t)w * h, c);
    return p;
}

void ExpectNear(const Picture& ours, const Picture& theirs, int tolerance, const std::string& what) {
    int x = 0, y = 0;
    int d = MaxDifference(ours, theirs, &x, &y);
    EXPECT_LE(d, tolerance) << what << " differs by " << d << " at " << x << "," << y << ": ours " << std::hex
                            << ours.at(x, y) << " theirs " << theirs.at(x, y);
}

}  // namespace

TEST(KernelWidth, SearchAndRadius) {
    struct Case {
        double radius, sigma;
        int w1, w2;
    } cases[] = {
        {0, 0.5, 3, 3},
        {0, 1.0, 7, 7},
        {0, 2.0, 11, 11},
        {2, 1.0, 5, 5},
        {0.5, 3.0, 3, 3},
        // A zero sigma is no blur in 1-D; the 2-D modes search with sigma 1.0 instead of forever.
        {0, 0.0, 1, 7},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetKernelWidth1D(c.radius, c.sigma), c.w1) << c.radius << " " << c.sigma;
        EXPECT_EQ(GetKernelWidth2D(c.radius, c.sigma), c.w2) << c.radius << " " << c.sigma;
    }
    // Huge or undefined parameters end with a bounded width.
    EXPECT_LE(GetKernelWidth1D(0, 1e9), 65535);
    EXPECT_LE(GetKernelWidth2D(0, std::nan("")), 65535);
    EXPECT_LE(GetKernelWidth1D(1e12, 1.0), 65535);
}

TEST(ExtendEdges, RepeatsBorderRowsAndColumns) {
    const uint32_t src[6] = {1, 2, 3, 4, 5, 6};  // 3 x 2
    int stride = 0;
    uint32_t* ext = ExtendEdges32(src, 3, 2, 3, 3, nullptr, &stride);
    ASSERT_NE(ext, nullptr);
    EXPECT_EQ(stride, 8);  // (3 + 3) / 4 * 4 + 4
    // One row and column before the picture, two after.
    const uint32_t want[5][6] = {
        {1, 1, 2, 3, 3, 3}, {1, 1, 2, 3, 3, 3}, {4, 4, 5, 6, 6, 6}, {4, 4, 5, 6, 6, 6}, {4, 4, 5, 6, 6, 6}};
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 6; x++) EXPECT_EQ(ext[y * stride + x], want[y][x]) << x << "," << y;
    OsFree(ext);
    int stride8 = 0;
    uint8_t bytes[2] = {7, 9};
    uint8_t* e8 = ExtendEdges8(bytes, 2, 1, 2, 3, nullptr, &stride8);
    ASSERT_NE(e8, nullptr);
    EXPECT_EQ(stride8, 8);
    EXPECT_EQ(e8[0], 7);
    EXPECT_EQ(e8[4], 9);
    OsFree(e8);
}

// The 2-D kernels as ImageMagick's kernel text, for its plain convolution.
std::string KernelText(char mode, int w, double sigma) {
    std::string text = std::to_string(w) + "x" + std::to_string(w) + ":";
    int h = w / 2;
    std::vector<double> k;
    double sum = 0;
    for (int v = -h; v <= h; v++)
        for (int u = -h; u <= h; u++) {
            double g = std::exp(-(double)(u * u + v * v) / (2 * sigma * sigma)) / (2 * M_PI * sigma * sigma);
            double e = mode == 'g' ? (u == 0 && v == 0 ? w * w - 1.0 : -1.0)
                                   : (u == -v ? ((u < 0 || v < 0) ? -8.0 : 8.0) * g : 0.0);
            k.push_back(e);
            sum += e;
        }
    for (size_t i = 0; i < k.size(); i++) {
        char buf[40];
        snprintf(buf, sizeof buf, "%s%.17g", i ? "," : "", std::fabs(sum) > 1e-10 ? k[i] / sum : k[i]);
        text += buf;
    }
    return "'" + text + "'";
}

TEST(Convolve, MatchesImageMagick) {
    Picture src = TestPicture(61, 47);
    // ImageMagick samples the Gaussian at whole pixels where the engine sums it over thirds of a
    // pixel, so blurs of sigma 3 differ by up to 3 on hard edges. Its -edge and -emboss are not
    // the bare convolution (-edge rescales a kernel that sums to 0, -emboss equalises), so those
    // are compared with its plain convolution of the same kernel.
    struct Case {
        char mode;
        double radius, sigma;
        std::string options;
        int tolerance;
    } cases[] = {
        {'b', 0, 0.8, "-blur 0x0.8", 2},
        {'b', 0, 1.5, "-blur 0x1.5", 2},
        {'b', 4, 2.0, "-blur 4x2", 2},
        {'b', 0, 3.0, "-blur 0x3", 3},
        {'s', 0, 1.0, "-sharpen 0x1", 2},
        {'s', 2, 0.7, "-sharpen 2x0.7", 2},
        {'g', 0, 0, "-morphology Convolve " + KernelText('g', 3, 1), 0},
        {'g', 2, 0, "-morphology Convolve " + KernelText('g', 5, 1), 0},
        {'e', 0, 1.0, "-morphology Convolve " + KernelText('e', 7, 1.0), 2},
        {'e', 1, 0.5, "-morphology Convolve " + KernelText('e', 3, 0.5), 2},
    };
    for (const Case& c : cases) {
        Picture ours = src;
        Convolve(ours, c.mode, c.radius, c.sigma);
        ExpectNear(ours, Magick(src, c.options), c.tolerance, c.options);
    }
}

TEST(Convolve, UniformPicturesAndZeroSigma) {
    Picture grey = Uniform(9, 9, Rgb(90, 120, 150));
    Picture p = grey;
    Convolve(p, 's', 0, 1.0);
    EXPECT_EQ(MaxDifference(p, grey), 0) << "sharpen of a uniform picture";
    p = grey;
    Convolve(p, 'g', 0, 0);
    EXPECT_EQ(MaxDifference(p, Uniform(9, 9, 0)), 0) << "edge of a uniform picture";
    Picture src = TestPicture(20, 10);
    p = src;
    Convolve(p, 'b', 0, 0);
    EXPECT_EQ(p.px, src.px) << "blur with sigma 0";
    // Sharpen with radius 0 and sigma 0 works as sigma 1.0.
    Picture a = src, b = src;
    Convolve(a, 's', 0, 0);
    Convolve(b, 's', 0, 1.0);
    EXPECT_EQ(a.px, b.px);
    // A kernel wider than the picture leaves it as it was.
    Picture small = TestPicture(5, 4);
    p = small;
    Convolve(p, 's', 3, 1.0);
    EXPECT_EQ(p.px, small.px);
}

TEST(Convolve, AlphaPlaneIsFilteredLikeAChannel) {
    // The alpha plane of a picture goes through the same blur and sharpen as its grey channel.
    Picture src = TestPicture(23, 17);
    for (char mode : {'b', 's'}) {
        Picture grey = src;
        std::vector<uint8_t> alpha((size_t)src.width * src.height);
        for (size_t i = 0; i < alpha.size(); i++) {
            alpha[i] = (uint8_t)G(src.px[i]);
            grey.px[i] = Rgb(G(src.px[i]), G(src.px[i]), G(src.px[i]));
        }
        Picture colour = src;
        Convolve(colour, mode, 0, 1.3, alpha.data());
        Convolve(grey, mode, 0, 1.3);
        for (size_t i = 0; i < alpha.size(); i++) ASSERT_EQ(alpha[i], G(grey.px[i])) << mode << " " << i;
        // The colour channels of the picture saw the same filter as without a plane.
        Picture plain = src;
        Convolve(plain, mode, 0, 1.3);
        EXPECT_EQ(colour.px, plain.px);
    }
}

// Every tone kernel runs on 0x00RRGGBB (format 10) pictures here.
namespace {

void Solarize(Picture& p, int t) { SolarizePixels32(p.px.data(), p.width, p.height, p.width, 10, t); }

void Gamma(Picture& p, double r, double g, double b) {
    uint8_t tr[256], tg[256], tb[256];
    BuildGammaTable(tr, r);
    BuildGammaTable(tg, g);
    BuildGammaTable(tb, b);
    qzChannelTables job{p.px.data(), p.width, p.height, p.width, 10, tr, tg, tb, 7};
    ApplyChannelTables32(&job);
}

void Stretch(Picture& p, int black, int white) {
    qzLevelsJob job{p.px.data(), p.width, p.height, p.width, black, white, 10, 4};
    StretchLevels(&job);
}

void OilPaint(Picture& p, double radius) {
    qzOilPaintJob job{p.px.data(), p.width, p.height, p.width, 10, radius};
    OilPaintPixels32(&job);
}

void Modulate(Picture& p, int l, int s, int h) {
    qzModulateJob job{p.px.data(), p.width, p.height, p.width, 10, l, s, h};
    ModulatePixels32(&job);
}

}  // namespace

TEST(ToneFilters, MatchImageMagick) {
    Picture src = TestPicture(50, 40, 7);
    struct Case {
        std::string options;
        std::function<void(Picture&)> run;
    } cases[] = {
        // ImageMagick negates a channel above its threshold in 16-bit units: 127 x 257.
        {"-solarize 32639", [](Picture& p) { Solarize(p, 127); }},
        {"-solarize 51400", [](Picture& p) { Solarize(p, 200); }},
        {"-gamma 2.2", [](Picture& p) { Gamma(p, 2.2, 2.2, 2.2); }},
        {"-gamma 0.6,1.0,1.7", [](Picture& p) { Gamma(p, 0.6, 1.0, 1.7); }},
        {"-contrast", [](Picture& p) { ContrastPixels32(p.px.data(), p.width, p.height, p.width, 10, 1); }},
        {"+contrast", [](Picture& p) { ContrastPixels32(p.px.data(), p.width, p.height, p.width, 10, -1); }},
        {"-modulate 120,80,65", [](Picture& p) { Modulate(p, 120, 80, 65); }},
        {"-modulate 70,150,130", [](Picture& p) { Modulate(p, 70, 150, 130); }},
    };
    for (const Case& c : cases) {
        Picture ours = src;
        c.run(ours);
        ExpectNear(ours, Magick(src, c.options), 2, c.options);
    }
}

TEST(ToneFilters, ContrastStretchMatchesImageMagickOnGrey) {
    // ImageMagick stretches each channel by its own histogram; on a grey picture every channel
    // histogram is the intensity histogram that the engine uses.
    Picture src = TestPicture(40, 30, 3);
    for (uint32_t& c : src.px) {
        int g = 60 + (int)(0.299 * R(c) + 0.587 * G(c) + 0.114 * B(c)) / 2;
        c = Rgb(g, g, g);
    }
    int n = src.width * src.height;
    Picture ours = src;
    Stretch(ours, (int)(n * 0.02), (int)(n * 0.99));
    ExpectNear(ours, Magick(src, "-contrast-stretch 2%x1%"), 2, "contrast-stretch");
    // Black and white points that coincide leave the picture unchanged.
    Picture flat = Uniform(8, 8, Rgb(77, 77, 77));
    Picture p = flat;
    Stretch(p, 1, 63);
    EXPECT_EQ(p.px, flat.px);
}

TEST(ToneFilters, OilPaintMatchesImageMagick) {
    // Grey levels 16 apart: ImageMagick's intensity weights and rounding differ slightly from the
    // engine's, which only matters where two colours fall into the same bin in one and not the
    // other; grey levels keep every bin distinct in both.
    Picture src = TestPicture(45, 33, 11);
    for (uint32_t& c : src.px) {
        int g = (G(c) + R(c)) / 2 & ~15;
        c = Rgb(g, g, g);
    }
    for (double radius : {1.0, 2.0, 3.0}) {
        Picture ours = src;
        OilPaint(ours, radius);
        ExpectNear(ours, Magick(src, "-intensity Rec601Luma -paint " + std::to_string((int)radius)), 0, "paint");
    }
}

TEST(ToneFilters, OilPaintTieGoesToTheFirstPixelToReachTheCount) {
    // 3 x 3 windows over a 3 x 1 picture: every window holds two of one intensity and one of
    // another only at the edges; in the middle window each value appears once (after edge
    // extension: a a b c c) and the first one scanned wins.
    Picture p;
    p.width = 3, p.height = 1;
    p.px = {Rgb(10, 10, 10), Rgb(100, 100, 100), Rgb(200, 200, 200)};
    OilPaint(p, 1.0);
    // Window of the middle pixel: columns a b c on three equal rows: a reaches 3 first.
    EXPECT_EQ(p.px[1], Rgb(10, 10, 10));
    // First pixel: a a b: a reaches the highest count.
    EXPECT_EQ(p.px[0], Rgb(10, 10, 10));
    EXPECT_EQ(p.px[2], Rgb(200, 200, 200));
}

TEST(ToneFilters, SolarizeSepiaAndGammaValues) {
    Picture p;
    p.width = 2, p.height = 1;
    p.px = {Rgb(200, 100, 128), Rgb(0, 0, 0)};
    Solarize(p, 128);
    EXPECT_EQ(p.px[0], Rgb(55, 100, 128));
    Picture black = Uniform(1, 1, 0);
    SepiaPixels32(black.px.data(), 1, 1, 1, 10, 204.0);
    EXPECT_EQ(black.px[0], Rgb(51, 29, 29));
    uint8_t t[256];
    BuildGammaTable(t, 0.0);
    EXPECT_EQ(t[255], 0);
    BuildGammaTable(t, 1.0);
    for (int i = 0; i < 256; i++) ASSERT_EQ(t[i], i);
}

TEST(HslModulate, PixelValues) {
    struct Case {
        int r, g, b;
        double h, s, l;
        int er, eg, eb;
    } cases[] = {
        {255, 0, 0, 100, 100, 100, 255, 0, 0},     {10, 200, 30, 100, 100, 100, 9, 200, 29},
        {200, 100, 0, 100, 0, 100, 100, 100, 100}, {128, 128, 128, 100, 100, 200, 255, 255, 255},
        {255, 0, 0, 0, 100, 100, 0, 254, 255},     {0, 0, 0, 37, 250, 180, 0, 0, 0},
    };
    for (const Case& c : cases) {
        int r = c.r, g = c.g, b = c.b;
        ModulatePixel(c.h, c.s, c.l, &r, &g, &b);
        EXPECT_EQ(Rgb(r, g, b), Rgb(c.er, c.eg, c.eb)) << c.r << "," << c.g << "," << c.b;
    }
    // A huge hue percentage turns whole circles without spinning through them one by one.
    int r = 10, g = 200, b = 30;
    ModulatePixel(2e9, 100, 100, &r, &g, &b);
    EXPECT_LE(r, 255);
}

TEST(PixelFormats, SixteenBitAndSwizzledTwinsAgreeWithArgb) {
    // Each one-pass kernel on RGB565 gives the 32-bit result of the widened picture, narrowed (the
    // blur writes its first pass back, so 16-bit pixels are narrowed in between); on formats 11
    // to 13 it gives the format-10 result in that layout.
    Picture src = TestPicture(24, 18, 9);
    Picture wide = src;
    std::vector<uint16_t> p565(src.px.size());
    for (size_t i = 0; i < src.px.size(); i++) {
        p565[i] = PackPixel16(4, R(src.px[i]), G(src.px[i]), B(src.px[i]));
        int c[3];
        UnpackPixel16(4, p565[i], c);
        wide.px[i] = Rgb(c[0], c[1], c[2]);
    }
    struct Kernel {
        const char* name;
        std::function<void(void*, int bpp, int format)> run;
    } kernels[] = {
        {"edge",
         [&](void* px, int bpp, int f) {
             qzConvolveJob j{(uint8_t*)px, 24, 18, 24, f, bpp, nullptr, 0, 1, 0, 'g'};
             ConvolveBitMapPixels(&j);
         }},
        {"solarize",
         [&](void* px, int bpp, int f) {
             bpp == 4 ? SolarizePixels32((uint32_t*)px, 24, 18, 24, f, 100)
                      : SolarizePixels16((uint16_t*)px, 24, 18, 24, f, 100);
         }},
        {"contrast",
         [&](void* px, int bpp, int f) {
             bpp == 4 ? ContrastPixels32((uint32_t*)px, 24, 18, 24, f, 1)
                      : ContrastPixels16((uint16_t*)px, 24, 18, 24, f, 1);
         }},
        {"sepia",
         [&](void* px, int bpp, int f) {
             bpp == 4 ? SepiaPixels32((uint32_t*)px, 24, 18, 24, f, 180)
                      : SepiaPixels16((uint16_t*)px, 24, 18, 24, f, 180);
         }},
        {"levels",
         [&](void* px, int bpp, int f) {
             qzLevelsJob j{px, 24, 18, 24, 8, 400, f, bpp};
             StretchLevels(&j);
         }},
        {"oilpaint",
         [&](void* px, int bpp, int f) {
             qzOilPaintJob j{px, 24, 18, 24, f, 2};
             bpp == 4 ? OilPaintPixels32(&j) : OilPaintPixels16(&j);
         }},
        {"modulate",
         [&](void* px, int bpp, int f) {
             qzModulateJob j{px, 24, 18, 24, f, 110, 60, 140};
             bpp == 4 ? ModulatePixels32(&j) : ModulatePixels16(&j);
         }},
    };
    for (const Kernel& k : kernels) {
        Picture ref = wide;
        k.run(ref.px.data(), 4, 10);
        std::vector<uint16_t> sixteen = p565;
        k.run(sixteen.data(), 2, 4);
        for (size_t i = 0; i < sixteen.size(); i++)
            ASSERT_EQ(sixteen[i], PackPixel16(4, R(ref.px[i]), G(ref.px[i]), B(ref.px[i]))) << k.name << " " << i;
        // The same through the byte-swapped BGR565 layout.
        std::vector<uint16_t> bgr(p565.size());
        for (size_t i = 0; i < bgr.size(); i++)
            bgr[i] = (uint16_t)ConvertARGBToPixel(ConvertPixelToARGB(p565[i], 4, 0), 7, 0);
        k.run(bgr.data(), 2, 7);
        for (size_t i = 0; i < bgr.size(); i++)
            ASSERT_EQ(ConvertPixelToARGB(bgr[i], 7, 0), ConvertPixelToARGB(sixteen[i], 4, 0)) << k.name;
        for (int format : {11, 12, 13}) {
            Picture ours = wide;
            for (uint32_t& c : ours.px) c = ConvertARGBToPixel(c, format, 0);
            k.run(ours.px.data(), 4, format);
            for (size_t i = 0; i < ours.px.size(); i++)
                ASSERT_EQ(ConvertPixelToARGB(ours.px[i], format, 0), ref.px[i]) << k.name << " " << format;
        }
    }
}

TEST(FilterTypes, NumbersAndNames) {
    EXPECT_STREQ(GetFilterTypeName(FILTER_BLUR), "blur");
    EXPECT_STREQ(GetFilterTypeName(FILTER_WATERRIPPLE), "waterripple");
    EXPECT_STREQ(GetFilterTypeName(FILTER_QUANTIZE), "quantize");
    EXPECT_EQ(GetFilterTypeName(21), nullptr);
    EXPECT_EQ(GetFilterTypeName(-1), nullptr);
    for (int i = 0; i < FILTER_TYPE_COUNT; i++) EXPECT_EQ(FindFilterType(GetFilterTypeName(i)), i);
    EXPECT_EQ(FindFilterType("sepia"), -1);
}

}  // namespace filters_test
