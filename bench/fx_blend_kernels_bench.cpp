// The two pixel kernels of the fading effects at 1920x1080 beside pixman doing the same work on
// the same frames: the crossfade draws the old picture over the new one at a global opacity (pixman:
// the old picture OVER the frame through a constant mask of that opacity), and the fade tints a
// picture toward a colour at a level (pixman: the solid colour OVER the frame through a constant
// mask of that level). Every iteration starts from the same frame and takes the next opacity of
// the crossfade's NORMALSPEED run (10, 20, ..., 250). A table gives each time as a ratio to
// pixman's and the largest difference of a colour byte between the two results.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/pixel_format_codes.h"
#include "bench_times.h"
#include "gfx/kernels_blend.h"
#include "gfx/kernels_fill.h"

namespace {

constexpr int kW = 1920, kH = 1080;
constexpr uint32_t kColour = 0x3080C0;

// The new picture (the frame the kernels draw into), the old picture and the working copy.
struct Frames {
    std::vector<uint32_t> fresh, old, work;
    Frames() : fresh((size_t)kW * kH), old(fresh.size()), work(fresh.size()) {
        uint32_t seed = 1;
        auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++) {
                fresh[(size_t)y * kW + x] = (uint32_t(x * 0x010203) ^ uint32_t(y * 0x030201)) & 0xFFFFFF;
                old[(size_t)y * kW + x] = next() >> 8;
            }
    }
};

Frames& Get() {
    static Frames frames;
    return frames;
}

int OpacityOf(int64_t iteration) { return 10 * int(1 + iteration % 25); }

// Restores the working frame outside the timing.
void Reset(benchmark::State& state, Frames& f) {
    state.PauseTiming();
    std::memcpy(f.work.data(), f.fresh.data(), f.work.size() * 4);
    state.ResumeTiming();
}

void Done(benchmark::State& state) { state.SetBytesProcessed((int64_t)state.iterations() * kW * kH * 4); }

// The crossfade's frame: the old picture at opacity 255 - o over the new one.
void CrossfadeOurs(Frames& f, int o) {
    MixPixels32(f.old.data(), f.work.data(), nullptr, 0, 0, kW, kH, 255 - o, PIXFMT_ARGB32, kW, kW);
}
void CrossfadePixman(Frames& f, int o, pixman_image_t* old, pixman_image_t* work) {
    const pixman_color_t alpha = {0, 0, 0, uint16_t((255 - o) * 0x101)};
    pixman_image_t* mask = pixman_image_create_solid_fill(&alpha);
    pixman_image_composite32(PIXMAN_OP_OVER, old, mask, work, 0, 0, 0, 0, 0, 0, kW, kH);
    pixman_image_unref(mask);
}

// The fade's tint: the colour at level o over the picture.
void FadeOurs(Frames& f, int o) { BlendFillRect32(f.work.data(), 0, 0, kW, kH, kColour, o, kW, PIXFMT_ARGB32); }
pixman_image_t* SolidColour() {
    const pixman_color_t colour = {uint16_t((kColour >> 16 & 0xFF) * 0x101), uint16_t((kColour >> 8 & 0xFF) * 0x101),
                                   uint16_t((kColour & 0xFF) * 0x101), 0xFFFF};
    return pixman_image_create_solid_fill(&colour);
}
void FadePixman(int o, pixman_image_t* colour, pixman_image_t* work) {
    const pixman_color_t alpha = {0, 0, 0, uint16_t(o * 0x101)};
    pixman_image_t* mask = pixman_image_create_solid_fill(&alpha);
    pixman_image_composite32(PIXMAN_OP_OVER, colour, mask, work, 0, 0, 0, 0, 0, 0, kW, kH);
    pixman_image_unref(mask);
}

pixman_image_t* Wrap(std::vector<uint32_t>& pixels) {
    return pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, pixels.data(), kW * 4);
}

void BM_Crossfade_Ours(benchmark::State& state) {
    Frames& f = Get();
    int64_t i = 0;
    for (auto _ : state) {
        Reset(state, f);
        CrossfadeOurs(f, OpacityOf(i++));
        benchmark::ClobberMemory();
    }
    Done(state);
}
void BM_Crossfade_Pixman(benchmark::State& state) {
    Frames& f = Get();
    pixman_image_t* old = Wrap(f.old);
    pixman_image_t* work = Wrap(f.work);
    int64_t i = 0;
    for (auto _ : state) {
        Reset(state, f);
        CrossfadePixman(f, OpacityOf(i++), old, work);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(old);
    pixman_image_unref(work);
    Done(state);
}
void BM_Fade_Ours(benchmark::State& state) {
    Frames& f = Get();
    int64_t i = 0;
    for (auto _ : state) {
        Reset(state, f);
        FadeOurs(f, OpacityOf(i++));
        benchmark::ClobberMemory();
    }
    Done(state);
}
void BM_Fade_Pixman(benchmark::State& state) {
    Frames& f = Get();
    pixman_image_t* colour = SolidColour();
    pixman_image_t* work = Wrap(f.work);
    int64_t i = 0;
    for (auto _ : state) {
        Reset(state, f);
        FadePixman(OpacityOf(i++), colour, work);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(colour);
    pixman_image_unref(work);
    Done(state);
}

// The largest difference of a colour byte between ours and pixman's result at opacity 130.
int LargestDifference(bool crossfade) {
    Frames& f = Get();
    std::memcpy(f.work.data(), f.fresh.data(), f.work.size() * 4);
    if (crossfade)
        CrossfadeOurs(f, 130);
    else
        FadeOurs(f, 130);
    std::vector<uint32_t> ours = f.work;
    std::memcpy(f.work.data(), f.fresh.data(), f.work.size() * 4);
    pixman_image_t* work = Wrap(f.work);
    if (crossfade) {
        pixman_image_t* old = Wrap(f.old);
        CrossfadePixman(f, 130, old, work);
        pixman_image_unref(old);
    } else {
        pixman_image_t* colour = SolidColour();
        FadePixman(130, colour, work);
        pixman_image_unref(colour);
    }
    pixman_image_unref(work);
    int largest = 0;
    for (size_t i = 0; i < ours.size(); i++)
        for (int shift = 0; shift < 24; shift += 8) {
            const int d = std::abs(int(ours[i] >> shift & 0xFF) - int(f.work[i] >> shift & 0xFF));
            if (d > largest) largest = d;
        }
    return largest;
}

}  // namespace

BENCHMARK(BM_Crossfade_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Crossfade_Pixman)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Fade_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Fade_Pixman)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-10s %9s %9s %10s %6s %14s\n", "kernel", "ours ms", "pixman", "ours/pix", "goal", "largest diff");
    for (const char* kernel : {"Crossfade", "Fade"}) {
        auto get = [&](const char* who) {
            auto it = reporter.times.find(std::string("BM_") + kernel + "_" + who);
            return it == reporter.times.end() ? 0.0 : it->second;
        };
        const double ours = get("Ours"), pixman = get("Pixman");
        if (ours == 0 || pixman == 0) continue;
        const double ratio = ours / pixman;
        std::printf("%-10s %9.3f %9.3f %10.2f %6s %14d\n", kernel, ours, pixman, ratio, ratio <= 1.2 ? "met" : "over",
                    LargestDifference(std::strcmp(kernel, "Crossfade") == 0));
    }
    benchmark::Shutdown();
    return 0;
}
