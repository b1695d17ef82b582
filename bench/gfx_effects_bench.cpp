// Image effects at 1080p: Gaussian blur (radius 5 and 20), oil paint, quantising to 256 colours,
// and one ripple and one swirl frame. gfx_effects_compare.py runs ImageMagick, djpeg and pngquant
// on the same picture beside these (QZ_GFX_BENCH_DUMP=path writes the picture as PPM and exits).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "gfx/convolve.h"
#include "gfx/oil_paint.h"
#include "gfx/quantize.h"
#include "gfx/ripple.h"
#include "gfx/swirl.h"
#include "gfx/wave_tables.h"

namespace {

const int kWidth = 1920, kHeight = 1080;

// A photo-like 0x00RRGGBB picture: colour ramps, noise and a few shapes.
const std::vector<uint32_t>& Photo() {
    static std::vector<uint32_t> px = [] {
        std::vector<uint32_t> p((size_t)kWidth * kHeight);
        uint32_t seed = 1;
        for (int y = 0; y < kHeight; y++)
            for (int x = 0; x < kWidth; x++) {
                seed = seed * 1664525u + 1013904223u;
                int noise = (int)(seed >> 27) - 16;
                int r = 30 + 190 * x / kWidth + noise, g = 20 + 200 * y / kHeight - noise;
                int b = 210 - 160 * (x + y) / (kWidth + kHeight) + noise / 2;
                int dx = x - kWidth / 3, dy = y - kHeight / 2;
                if (dx * dx + dy * dy < 90000) r = 220 + noise / 4, g = 70 + noise, b = 50;
                if (x > 1300 && x < 1500 && y > 200 && y < 900) r = g = b = 40 + noise;
                auto c = [](int v) { return (uint32_t)(v < 0 ? 0 : (v > 255 ? 255 : v)); };
                p[(size_t)y * kWidth + x] = c(r) << 16 | c(g) << 8 | c(b);
            }
        return p;
    }();
    return px;
}

void BM_GaussianBlur(benchmark::State& state) {
    double radius = (double)state.range(0);
    std::vector<uint32_t> px;
    for (auto _ : state) {
        state.PauseTiming();
        px = Photo();
        state.ResumeTiming();
        qzConvolveJob job{(uint8_t*)px.data(), kWidth, kHeight, kWidth, 10, 4, nullptr, 0, radius, radius / 3, 'b'};
        ConvolveBitMapPixels(&job);
        benchmark::DoNotOptimize(px.data());
    }
}
BENCHMARK(BM_GaussianBlur)->Arg(5)->Arg(20)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OilPaint(benchmark::State& state) {
    std::vector<uint32_t> px;
    for (auto _ : state) {
        state.PauseTiming();
        px = Photo();
        state.ResumeTiming();
        qzOilPaintJob job{px.data(), kWidth, kHeight, kWidth, 10, (double)state.range(0)};
        OilPaintPixels32(&job);
        benchmark::DoNotOptimize(px.data());
    }
}
BENCHMARK(BM_OilPaint)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Quantize256(benchmark::State& state) {
    std::vector<uint8_t> indices((size_t)kWidth * kHeight);
    uint32_t palette[256];
    for (auto _ : state) {
        qzQuantJob job{Photo().data(),      10, 4, kWidth, kHeight, kWidth, indices.data(), palette, 256, -1, 0,
                       (int)state.range(0), 0,  0};
        MedianCutQuantize(&job);
        benchmark::DoNotOptimize(indices.data());
    }
}
BENCHMARK(BM_Quantize256)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RippleFrame(benchmark::State& state) {
    std::vector<uint32_t> src = Photo(), dst(src.size());
    std::vector<int32_t> dist(src.size());
    std::vector<double> sine(kWaveTableSize);
    qzRippleJob job{};
    job.source = src.data(), job.sourceRowLength = kWidth;
    job.destination = dst.data(), job.destRowLength = kWidth;
    job.distances = dist.data(), job.sine = sine.data();
    job.wavelength = 16, job.amplitudeStep = 0.05, job.halfDuration = 25;
    job.width = kWidth, job.height = kHeight, job.format = 10;
    job.centerX = kWidth / 2, job.centerY = kHeight / 2, job.radius = kWidth / 2;
    BuildRippleTable(&job);
    for (auto _ : state) {
        RipplePixels32(&job, 20);
        benchmark::DoNotOptimize(dst.data());
    }
}
BENCHMARK(BM_RippleFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SwirlFrame(benchmark::State& state) {
    std::vector<uint32_t> src = Photo(), dst(src.size());
    std::vector<double> sine(kWaveTableSize), cosine(kWaveTableSize);
    qzSwirlJob job{};
    job.source = src.data(), job.sourceRowLength = kWidth;
    job.destination = dst.data(), job.destRowLength = kWidth;
    job.sine = sine.data(), job.cosine = cosine.data();
    job.format = 10, job.width = kWidth, job.height = kHeight;
    BuildSwirlTables(&job);
    for (auto _ : state) {
        SwirlPixels32(&job, 300);
        benchmark::DoNotOptimize(dst.data());
    }
}
BENCHMARK(BM_SwirlFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (const char* dump = std::getenv("QZ_GFX_BENCH_DUMP")) {
        FILE* f = std::fopen(dump, "wb");
        if (!f) return 1;
        std::fprintf(f, "P6\n%d %d\n255\n", kWidth, kHeight);
        for (uint32_t c : Photo()) {
            unsigned char rgb[3] = {(unsigned char)(c >> 16), (unsigned char)(c >> 8), (unsigned char)c};
            std::fwrite(rgb, 1, 3, f);
        }
        return std::fclose(f) == 0 ? 0 : 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
