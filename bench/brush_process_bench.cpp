// Brush processing as the brush commands run it: BlurBrush's blur of radius 20 on a 1080p brush,
// and the alpha channels of CreateShadowBrush and CreateBorderBrush with an edge of 64 around a
// 400 x 80 strip. brush_process_compare.py runs ImageMagick's -bench on the same work beside
// these (QZ_BRUSH_BENCH_DUMP=path writes the 1080p picture as PPM and exits).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/channel_ops.h"
#include "gfx/filter_bitmap.h"
#include "image/brush.h"
#include "image/brush_filters.h"

namespace {

const int kWidth = 1920, kHeight = 1080;

// A photo-like 0xFFRRGGBB picture: colour ramps, noise and a few shapes.
const std::vector<uint32_t>& Photo() {
    static std::vector<uint32_t> px = [] {
        std::vector<uint32_t> p((size_t)kWidth * kHeight);
        uint32_t seed = 7;
        for (int y = 0; y < kHeight; y++)
            for (int x = 0; x < kWidth; x++) {
                seed = seed * 1664525u + 1013904223u;
                int noise = (int)(seed >> 27) - 16;
                int r = 30 + 190 * x / kWidth + noise, g = 20 + 200 * y / kHeight - noise;
                int b = 210 - 160 * (x + y) / (kWidth + kHeight) + noise / 2;
                int dx = x - kWidth / 3, dy = y - kHeight / 2;
                if (dx * dx + dy * dy < 90000) r = 220 + noise / 4, g = 70 + noise, b = 50;
                auto c = [](int v) { return (uint32_t)(v < 0 ? 0 : (v > 255 ? 255 : v)); };
                p[(size_t)y * kWidth + x] = 0xFF000000u | c(r) << 16 | c(g) << 8 | c(b);
            }
        return p;
    }();
    return px;
}

void BM_BlurBrush1080p(benchmark::State& state) {
    qzBitMap* bitmap = nullptr;
    if (CreateBitMapFromARGB(Photo().data(), QZ_NO_KEY_COLOR, kWidth, kHeight, kWidth, 0, 0, nullptr, &bitmap, nullptr,
                             nullptr) != 0) {
        state.SkipWithError("no bitmap");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        WriteARGBToBitMap(Photo().data(), 0, 0, kWidth * 4, bitmap, 0, 0, kWidth, kHeight);
        state.ResumeTiming();
        BlurBitMap(bitmap, nullptr, 0, 0, kWidth, kHeight, 20, 20 / 3.0, 'b');
    }
    DeleteBitMap(bitmap);
}
BENCHMARK(BM_BlurBrush1080p)->Unit(benchmark::kMillisecond)->UseRealTime();

// The strip's coverage is an alpha channel of 400 x 80 with full opacity.
void BM_ShadowEdge64(benchmark::State& state) {
    qzBrush strip{};
    strip.width = 400;
    strip.height = 80;
    strip.alpha = CreateAlphaBitMap(400, 80, 1, nullptr, 0);
    if (!strip.alpha || FillAlphaRect(strip.alpha, 0, 0, 400, 80, 255) != 0) {
        state.SkipWithError("no alpha channel");
        return;
    }
    for (auto _ : state) {
        qzBitMap *bitmap = nullptr, *alpha = nullptr;
        int32_t w = 0, h = 0;
        MakeShadowBitmaps(&strip, 0x000000, 64, 64 / 3.0, (int)state.range(0), &bitmap, &alpha, &w, &h);
        DeleteBitMap(bitmap);
        DeleteAlphaBitMap(alpha);
    }
    DeleteAlphaBitMap(strip.alpha);
}
BENCHMARK(BM_ShadowEdge64)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (const char* dump = std::getenv("QZ_BRUSH_BENCH_DUMP")) {
        FILE* f = std::fopen(dump, "wb");
        if (!f) return 1;
        std::fprintf(f, "P6\n%d %d\n255\n", kWidth, kHeight);
        for (uint32_t c : Photo()) {
            const unsigned char rgb[3] = {(unsigned char)(c >> 16), (unsigned char)(c >> 8), (unsigned char)c};
            std::fwrite(rgb, 1, 3, f);
        }
        return std::fclose(f) == 0 ? 0 : 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
