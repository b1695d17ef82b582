// The resampling, YUV and gradient kernels at 1080p beside pixman and sws_scale doing the same
// work in the same run, with a table of ratios (ours / theirs, lower is better) at the end.
#include <benchmark/benchmark.h>

#include <pixman.h>
extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench_times.h"
#include "gfx/gradient.h"
#include "gfx/scale_pixels.h"
#include "gfx/transform_pixels.h"
#include "gfx/yuv_convert.h"

namespace {

constexpr int kW = 1920, kH = 1080;
constexpr int kSrcW = 1280, kSrcH = 720;

std::vector<uint32_t> Noise(int w, int h) {
    std::vector<uint32_t> v((size_t)w * h);
    std::mt19937 rng(1);
    for (uint32_t& p : v) p = rng() | 0xFF000000u;
    return v;
}

std::vector<uint32_t>& Source() {
    static std::vector<uint32_t> s = Noise(kSrcW, kSrcH);
    return s;
}

std::vector<uint32_t>& Frame() {
    static std::vector<uint32_t> s = Noise(kW, kH);
    return s;
}

void Pixels(benchmark::State& state, int64_t pixels) { state.SetItemsProcessed(state.iterations() * pixels); }

// ---- scaling 1280x720 -> 1920x1080 ----

void ScaleOurs(benchmark::State& state, int smooth) {
    std::vector<uint32_t> dst((size_t)kW * kH);
    qzScaleTables tables{};
    GrowScaleTables(&tables, kW, kH);
    qzScaleJob j{};
    j.srcPixels = Source().data();
    j.dstPixels = dst.data();
    j.srcWidth = kSrcW;
    j.srcHeight = kSrcH;
    j.dstWidth = kW;
    j.dstHeight = kH;
    j.srcRowLength = kSrcW;
    j.dstRowLength = kW;
    j.smooth = smooth;
    j.pixelFormat = 10;
    j.bytesPerPixel = 4;
    AttachScaleTables(&j, &tables);
    for (auto _ : state) {
        ScalePixels(&j);
        benchmark::DoNotOptimize(dst.data());
    }
    FreeScaleTables(&tables);
    Pixels(state, (int64_t)kW * kH);
}

void ScalePixman(benchmark::State& state, pixman_filter_t filter) {
    std::vector<uint32_t> dst((size_t)kW * kH);
    pixman_image_t* src = pixman_image_create_bits(PIXMAN_x8r8g8b8, kSrcW, kSrcH, Source().data(), kSrcW * 4);
    pixman_image_t* out = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, dst.data(), kW * 4);
    pixman_transform_t m;
    pixman_transform_init_scale(&m, pixman_double_to_fixed((double)kSrcW / kW),
                                pixman_double_to_fixed((double)kSrcH / kH));
    pixman_image_set_transform(src, &m);
    pixman_image_set_filter(src, filter, nullptr, 0);
    pixman_image_set_repeat(src, PIXMAN_REPEAT_PAD);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, out, 0, 0, 0, 0, 0, 0, kW, kH);
        benchmark::DoNotOptimize(dst.data());
    }
    pixman_image_unref(src);
    pixman_image_unref(out);
    Pixels(state, (int64_t)kW * kH);
}

void ScaleSws(benchmark::State& state, int flags) {
    std::vector<uint32_t> dst((size_t)kW * kH);
    SwsContext* sws =
        sws_getContext(kSrcW, kSrcH, AV_PIX_FMT_BGRA, kW, kH, AV_PIX_FMT_BGRA, flags, nullptr, nullptr, nullptr);
    const uint8_t* in[4] = {(const uint8_t*)Source().data(), nullptr, nullptr, nullptr};
    int inStride[4] = {kSrcW * 4, 0, 0, 0};
    uint8_t* out[4] = {(uint8_t*)dst.data(), nullptr, nullptr, nullptr};
    int outStride[4] = {kW * 4, 0, 0, 0};
    for (auto _ : state) {
        sws_scale(sws, in, inStride, 0, kSrcH, out, outStride);
        benchmark::DoNotOptimize(dst.data());
    }
    sws_freeContext(sws);
    Pixels(state, (int64_t)kW * kH);
}

void BM_ScaleNearest_Ours(benchmark::State& s) { ScaleOurs(s, 0); }
void BM_ScaleNearest_Pixman(benchmark::State& s) { ScalePixman(s, PIXMAN_FILTER_NEAREST); }
void BM_ScaleNearest_Sws(benchmark::State& s) { ScaleSws(s, SWS_POINT); }
void BM_ScaleSmooth_Ours(benchmark::State& s) { ScaleOurs(s, 1); }
void BM_ScaleSmooth_Pixman(benchmark::State& s) { ScalePixman(s, PIXMAN_FILTER_BILINEAR); }
void BM_ScaleSmooth_Sws(benchmark::State& s) { ScaleSws(s, SWS_BILINEAR); }

// ---- a 30-degree rotation of a 1080p frame into its bounding box ----

struct Rotation {
    double m[4];
    int dw, dh;
    double e, f;
    Rotation() {
        const double r = 30 * M_PI / 180;
        m[0] = std::cos(r);
        m[1] = std::sin(r);
        m[2] = -std::sin(r);
        m[3] = std::cos(r);
        dw = (int)std::ceil(kW * m[0] + kH * m[1]);
        dh = (int)std::ceil(kW * m[1] + kH * m[0]);
        PlaceTransformMatrix(m[0], m[1], m[2], m[3], kW, kH, &e, &f);
    }
};

void RotateOurs(benchmark::State& state, int smooth) {
    Rotation rot;
    std::vector<uint32_t> dst((size_t)rot.dw * rot.dh);
    std::vector<uint8_t> mask((size_t)rot.dh * (((rot.dw + 15) >> 3) & ~1));
    qzTransformJob j{};
    j.srcPixels = Frame().data();
    j.dstPixels = dst.data();
    j.srcWidth = j.srcRowLength = kW;
    j.srcHeight = kH;
    j.dstWidth = j.dstRowLength = rot.dw;
    j.dstHeight = rot.dh;
    j.dstMask = mask.data();
    j.dstMaskBytesPerRow = ((rot.dw + 15) >> 3) & ~1;
    j.a = rot.m[0];
    j.b = rot.m[1];
    j.c = rot.m[2];
    j.d = rot.m[3];
    j.e = rot.e;
    j.f = rot.f;
    j.smooth = smooth;
    j.pixelFormat = 10;
    j.bytesPerPixel = 4;
    for (auto _ : state) {
        TransformPixels(&j);
        benchmark::DoNotOptimize(dst.data());
    }
    Pixels(state, (int64_t)rot.dw * rot.dh);
}

void RotatePixman(benchmark::State& state, pixman_filter_t filter) {
    Rotation rot;
    std::vector<uint32_t> dst((size_t)rot.dw * rot.dh);
    pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, kW, kH, Frame().data(), kW * 4);
    pixman_image_t* out = pixman_image_create_bits(PIXMAN_a8r8g8b8, rot.dw, rot.dh, dst.data(), rot.dw * 4);
    const double det = rot.m[0] * rot.m[3] - rot.m[2] * rot.m[1];
    pixman_transform_t pm;
    pixman_transform_init_identity(&pm);
    pm.matrix[0][0] = pixman_double_to_fixed(rot.m[3] / det);
    pm.matrix[0][1] = pixman_double_to_fixed(-rot.m[2] / det);
    pm.matrix[0][2] = pixman_double_to_fixed((rot.m[2] * rot.f - rot.m[3] * rot.e) / det);
    pm.matrix[1][0] = pixman_double_to_fixed(-rot.m[1] / det);
    pm.matrix[1][1] = pixman_double_to_fixed(rot.m[0] / det);
    pm.matrix[1][2] = pixman_double_to_fixed((rot.m[1] * rot.e - rot.m[0] * rot.f) / det);
    pixman_image_set_transform(src, &pm);
    pixman_image_set_filter(src, filter, nullptr, 0);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, out, 0, 0, 0, 0, 0, 0, rot.dw, rot.dh);
        benchmark::DoNotOptimize(dst.data());
    }
    pixman_image_unref(src);
    pixman_image_unref(out);
    Pixels(state, (int64_t)rot.dw * rot.dh);
}

void BM_Rotate30Nearest_Ours(benchmark::State& s) { RotateOurs(s, 0); }
void BM_Rotate30Nearest_Pixman(benchmark::State& s) { RotatePixman(s, PIXMAN_FILTER_NEAREST); }
void BM_Rotate30Smooth_Ours(benchmark::State& s) { RotateOurs(s, 1); }
void BM_Rotate30Smooth_Pixman(benchmark::State& s) { RotatePixman(s, PIXMAN_FILTER_BILINEAR); }

// ---- YUV 4:2:0 to ARGB at 1080p ----

struct Planes {
    std::vector<uint8_t> y, u, v;
    const uint8_t* p[3];
    int pitch[3] = {kW, kW / 2, kW / 2};
    Planes() : y((size_t)kW * kH), u((size_t)kW * kH / 4), v((size_t)kW * kH / 4) {
        std::mt19937 rng(2);
        for (uint8_t& b : y) b = (uint8_t)rng();
        for (uint8_t& b : u) b = (uint8_t)rng();
        for (uint8_t& b : v) b = (uint8_t)rng();
        p[0] = y.data();
        p[1] = u.data();
        p[2] = v.data();
    }
};

Planes& Yuv() {
    static Planes planes;
    return planes;
}

void BM_Yuv_Ours(benchmark::State& state) {
    std::vector<uint32_t> dst((size_t)kW * kH);
    qzYuvJob j{Yuv().p, Yuv().pitch, dst.data(), kW, kH, kW, kH, kW, 10, 4};
    for (auto _ : state) {
        ConvertYUVToPixels(&j);
        benchmark::DoNotOptimize(dst.data());
    }
    Pixels(state, (int64_t)kW * kH);
}

void BM_Yuv_Sws(benchmark::State& state) {
    std::vector<uint32_t> dst((size_t)kW * kH);
    SwsContext* sws = sws_getContext(kW, kH, AV_PIX_FMT_YUV420P, kW, kH, AV_PIX_FMT_BGRA, SWS_POINT | SWS_ACCURATE_RND,
                                     nullptr, nullptr, nullptr);
    uint8_t* out[4] = {(uint8_t*)dst.data(), nullptr, nullptr, nullptr};
    int outStride[4] = {kW * 4, 0, 0, 0};
    for (auto _ : state) {
        sws_scale(sws, Yuv().p, Yuv().pitch, 0, kH, out, outStride);
        benchmark::DoNotOptimize(dst.data());
    }
    sws_freeContext(sws);
    Pixels(state, (int64_t)kW * kH);
}

void BM_YuvScaled_Ours(benchmark::State& state) {
    std::vector<uint32_t> dst((size_t)kW * kH);
    qzYuvJob j{Yuv().p, Yuv().pitch, dst.data(), kW * 2 / 3, kH * 2 / 3, kW, kH, kW, 10, 4};
    for (auto _ : state) {
        ScaleYUVToPixels(&j);
        benchmark::DoNotOptimize(dst.data());
    }
    Pixels(state, (int64_t)kW * kH);
}

void BM_YuvScaled_Sws(benchmark::State& state) {
    std::vector<uint32_t> dst((size_t)kW * kH);
    const int sw = kW * 2 / 3, sh = kH * 2 / 3;
    SwsContext* sws = sws_getContext(sw, sh, AV_PIX_FMT_YUV420P, kW, kH, AV_PIX_FMT_BGRA, SWS_POINT | SWS_ACCURATE_RND,
                                     nullptr, nullptr, nullptr);
    uint8_t* out[4] = {(uint8_t*)dst.data(), nullptr, nullptr, nullptr};
    int outStride[4] = {kW * 4, 0, 0, 0};
    for (auto _ : state) {
        sws_scale(sws, Yuv().p, Yuv().pitch, 0, sh, out, outStride);
        benchmark::DoNotOptimize(dst.data());
    }
    sws_freeContext(sws);
    Pixels(state, (int64_t)kW * kH);
}

// ---- gradients at 1080p ----

void GradientOurs(benchmark::State& state, int style, bool stops, int angle = 0) {
    std::vector<uint32_t> dst((size_t)kW * kH);
    qzGradient g;
    InitGradientSettings(&g);
    g.style = style;
    g.startColor = 0xFF2040;
    g.endColor = 0x2040FF;
    g.angle = angle;
    if (stops) g.stops = {{0xFF0000, 0.0}, {0x00FF00, 0.4}, {0x0000FF, 1.0}};
    qzGradientJob j{dst.data(), 4, 10, 0, 0, kW, kH, kW, &g};
    for (auto _ : state) {
        RenderGradient(&j);
        benchmark::DoNotOptimize(dst.data());
    }
    Pixels(state, (int64_t)kW * kH);
}

void GradientPixman(benchmark::State& state, bool radial, bool diagonal = false) {
    std::vector<uint32_t> dst((size_t)kW * kH);
    pixman_gradient_stop_t ps[3] = {{0, {0xFFFF, 0, 0, 0xFFFF}},
                                    {pixman_double_to_fixed(0.4), {0, 0xFFFF, 0, 0xFFFF}},
                                    {pixman_fixed_1, {0, 0, 0xFFFF, 0xFFFF}}};
    pixman_image_t* grad;
    if (radial) {
        pixman_point_fixed_t c = {pixman_int_to_fixed(kW / 2), pixman_int_to_fixed(kH / 2)};
        grad = pixman_image_create_radial_gradient(&c, &c, 0, pixman_double_to_fixed(0.5 * std::hypot(kW, kH)), ps, 3);
    } else {
        pixman_point_fixed_t p1 = {0, 0},
                             p2 = {diagonal ? pixman_int_to_fixed(kH - 1) : 0, pixman_int_to_fixed(kH - 1)};
        grad = pixman_image_create_linear_gradient(&p1, &p2, ps, 3);
    }
    pixman_image_set_repeat(grad, PIXMAN_REPEAT_PAD);
    pixman_image_t* out = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, dst.data(), kW * 4);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, grad, nullptr, out, 0, 0, 0, 0, 0, 0, kW, kH);
        benchmark::DoNotOptimize(dst.data());
    }
    pixman_image_unref(grad);
    pixman_image_unref(out);
    Pixels(state, (int64_t)kW * kH);
}

void BM_GradientLinear_Ours(benchmark::State& s) { GradientOurs(s, GRADIENT_LINEAR, true); }
void BM_GradientLinear_Pixman(benchmark::State& s) { GradientPixman(s, false); }
void BM_GradientTwoColour_Ours(benchmark::State& s) { GradientOurs(s, GRADIENT_LINEAR, false); }
void BM_GradientTwoColour_Pixman(benchmark::State& s) { GradientPixman(s, false); }
// At 45 degrees every pixel of a row has its own colour.
void BM_GradientLinear45_Ours(benchmark::State& s) { GradientOurs(s, GRADIENT_LINEAR, true, 45); }
void BM_GradientLinear45_Pixman(benchmark::State& s) { GradientPixman(s, false, true); }
void BM_GradientTwoColour45_Ours(benchmark::State& s) { GradientOurs(s, GRADIENT_LINEAR, false, 45); }
void BM_GradientTwoColour45_Pixman(benchmark::State& s) { GradientPixman(s, false, true); }
void BM_GradientRadial_Ours(benchmark::State& s) { GradientOurs(s, GRADIENT_RADIAL, true); }
void BM_GradientRadial_Pixman(benchmark::State& s) { GradientPixman(s, true); }

}  // namespace

BENCHMARK(BM_ScaleNearest_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScaleNearest_Pixman)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScaleNearest_Sws)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScaleSmooth_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScaleSmooth_Pixman)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScaleSmooth_Sws)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rotate30Nearest_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rotate30Nearest_Pixman)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rotate30Smooth_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rotate30Smooth_Pixman)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Yuv_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Yuv_Sws)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_YuvScaled_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_YuvScaled_Sws)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GradientLinear_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GradientLinear_Pixman)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GradientTwoColour_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GradientTwoColour_Pixman)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GradientLinear45_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GradientLinear45_Pixman)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GradientTwoColour45_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GradientTwoColour45_Pixman)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GradientRadial_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GradientRadial_Pixman)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::FunctionTimes reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-22s %9s %12s %9s\n", "1080p operation", "ours ms", "other", "ours/other");
    for (const auto& [name, ms] : reporter.times) {
        const size_t cut = name.rfind("_Ours");
        if (cut == std::string::npos) continue;
        const std::string op = name.substr(3, cut - 3);
        for (const char* other : {"Pixman", "Sws"}) {
            auto it = reporter.times.find(name.substr(0, cut) + "_" + other);
            if (it == reporter.times.end() || it->second <= 0) continue;
            std::printf("%-22s %9.3f %6s %5.3f %9.2f\n", op.c_str(), ms, other, it->second, ms / it->second);
        }
    }
    benchmark::Shutdown();
    return 0;
}
