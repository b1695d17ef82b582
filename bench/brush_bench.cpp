// Drawing brushes through the image display core (lookup, options, transformation, blit) beside
// pixman compositing the same pixels in the same run: a 1920x1080 brush without and with an alpha
// channel, and a 512x512 brush turned by 30 degrees and scaled by 1.7 (nearest pixels, with the
// turned image's coverage). A table of ratios (ours / pixman, lower is better) ends the run.
#include <benchmark/benchmark.h>

#include <pixman.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench_times.h"
#include "display/display.h"
#include "display/display_blit.h"
#include "display/draw_tags.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/channel_ops.h"
#include "image/brush.h"
#include "image/draw_options.h"
#include "image/image_display.h"

namespace {

constexpr int kW = 1920, kH = 1080, kSmall = 512;
constexpr double kAngle = 30, kScale = 1.7;

std::vector<uint32_t> Noise(int w, int h, bool alpha) {
    std::vector<uint32_t> v((size_t)w * h);
    std::mt19937 rng(3);
    for (uint32_t& p : v) p = alpha ? rng() : (rng() | 0xFF000000u);
    return v;
}

// A display record whose output is a selected 1920x1080 bitmap, so that the core draws into it.
struct Target {
    qzDisplay display;
    qzBitMap* bitmap = CreateBitMap(kW, kH, 0, nullptr);
    Target() {
        display.outputKind = QZ_TYPE_BRUSH;
        display.outputBitmap = bitmap;
        InstallDisplayBlitHooks();
        SetCurrentDisplay(&display);
    }
    ~Target() {
        SetCurrentDisplay(nullptr);
        RemoveDisplayBlitHooks();
        DeleteBitMap(bitmap);
    }
};

// A brush of w x h noise with an alpha channel when asked, as brush number `number`.
void MakeBrush(int number, int w, int h, bool alpha) {
    std::vector<uint32_t> pixels = Noise(w, h, alpha);
    qzBitMap* bitmap = nullptr;
    CreateBitMapFromARGB(pixels.data(), QZ_NO_KEY_COLOR, w, h, w, 0, 0, nullptr, &bitmap, nullptr, nullptr);
    qzBitMap* channel = alpha ? CreateAlphaBitMapFromData(pixels.data(), w, h, w) : nullptr;
    AddBrush({number, nullptr}, QZ_IMAGETYPE_RASTER, w, h, w, 0, nullptr, bitmap, -1, nullptr, channel, nullptr,
             nullptr);
}

void DrawOurs(benchmark::State& state, int number, bool turned) {
    Target target;
    MakeBrush(number, turned ? kSmall : kW, turned ? kSmall : kH, number == 2);
    qzTransformTags transform;
    qzLayerTags tags;
    InitDrawTags(&transform, &tags, 0, 0, 0, 0);
    if (turned) BuildScaleRotateMatrix(kScale, kScale, kAngle, transform.matrix);
    for (auto _ : state) {
        DisplayImageObject(nullptr, 0, QZ_DRAW_BRUSH, {number, nullptr}, 0, 0, turned ? 200 : 0, turned ? 100 : 0, 0, 0,
                           1, 0, &transform, &tags, nullptr, nullptr, 0);
        benchmark::DoNotOptimize(target.bitmap);
    }
    FreeAllBrushes(nullptr);
    state.SetItemsProcessed(state.iterations() * (turned ? (int64_t)kSmall * kSmall : (int64_t)kW * kH));
}

void DrawPixman(benchmark::State& state, bool alpha, bool turned) {
    const int w = turned ? kSmall : kW, h = turned ? kSmall : kH;
    std::vector<uint32_t> source = Noise(w, h, alpha), frame = Noise(kW, kH, false);
    pixman_image_t* src =
        pixman_image_create_bits(alpha ? PIXMAN_a8r8g8b8 : PIXMAN_x8r8g8b8, w, h, source.data(), w * 4);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, frame.data(), kW * 4);
    int outW = kW, outH = kH;
    if (turned) {
        // The inverse of the forward matrix, about the turned image's top-left corner.
        double m[4];
        BuildScaleRotateMatrix(kScale, kScale, kAngle, m);
        int32_t bw = 0, bh = 0;
        GetTransformedSize(m, w, h, &bw, &bh);
        outW = bw;
        outH = bh;
        double minX = 0, minY = 0;
        for (auto [x, y] : {std::pair<double, double>{w, 0}, {0, h}, {w, h}}) {
            minX = std::min(minX, x * m[0] + y * m[2]);
            minY = std::min(minY, x * m[1] + y * m[3]);
        }
        const double det = m[0] * m[3] - m[1] * m[2];
        pixman_transform_t t;
        pixman_transform_init_identity(&t);
        t.matrix[0][0] = pixman_double_to_fixed(m[3] / det);
        t.matrix[0][1] = pixman_double_to_fixed(-m[2] / det);
        t.matrix[1][0] = pixman_double_to_fixed(-m[1] / det);
        t.matrix[1][1] = pixman_double_to_fixed(m[0] / det);
        t.matrix[0][2] = pixman_double_to_fixed((m[3] * minX - m[2] * minY) / det);
        t.matrix[1][2] = pixman_double_to_fixed((-m[1] * minX + m[0] * minY) / det);
        pixman_image_set_transform(src, &t);
        pixman_image_set_filter(src, PIXMAN_FILTER_NEAREST, nullptr, 0);
    }
    const pixman_op_t op = alpha || turned ? PIXMAN_OP_OVER : PIXMAN_OP_SRC;
    for (auto _ : state) {
        pixman_image_composite32(op, src, nullptr, dst, 0, 0, 0, 0, turned ? 200 : 0, turned ? 100 : 0, outW, outH);
        benchmark::DoNotOptimize(frame.data());
    }
    pixman_image_unref(src);
    pixman_image_unref(dst);
    state.SetItemsProcessed(state.iterations() * (int64_t)w * h);
}

void BM_Draw1080p_Ours(benchmark::State& s) { DrawOurs(s, 1, false); }
void BM_Draw1080p_Pixman(benchmark::State& s) { DrawPixman(s, false, false); }
void BM_Draw1080pAlpha_Ours(benchmark::State& s) { DrawOurs(s, 2, false); }
void BM_Draw1080pAlpha_Pixman(benchmark::State& s) { DrawPixman(s, true, false); }
void BM_DrawTurned512_Ours(benchmark::State& s) { DrawOurs(s, 3, true); }
void BM_DrawTurned512_Pixman(benchmark::State& s) { DrawPixman(s, false, true); }

}  // namespace

BENCHMARK(BM_Draw1080p_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Draw1080p_Pixman)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Draw1080pAlpha_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Draw1080pAlpha_Pixman)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DrawTurned512_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DrawTurned512_Pixman)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::FunctionTimes reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-16s %9s %9s %11s\n", "brush draw", "ours ms", "pixman ms", "ours/pixman");
    for (const auto& [name, ms] : reporter.times) {
        const size_t cut = name.rfind("_Ours");
        if (cut == std::string::npos) continue;
        auto it = reporter.times.find(name.substr(0, cut) + "_Pixman");
        if (it == reporter.times.end() || it->second <= 0) continue;
        std::printf("%-16s %9.3f %9.3f %11.2f\n", name.substr(3, cut - 3).c_str(), ms, it->second, ms / it->second);
    }
    benchmark::Shutdown();
    return 0;
}
