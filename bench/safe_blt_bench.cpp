// SafeBlt of a 1920x1080 brush to a display (into the display's first buffer, presentation
// included through the display hooks) beside pixman compositing the same pixels: opaque (pixman
// SRC) and through an 8-bit alpha channel (pixman OVER with an a8 mask). Then the frame limiter
// at 60 frames a second beside a clock_nanosleep loop on absolute deadlines: the mean frame
// interval and its jitter (standard deviation and worst deviation from the mean). After the runs
// a table gives SafeBlt's times as ratios to pixman and the two pacers side by side.
#include <benchmark/benchmark.h>

#include <pixman.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench_times.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_lock.h"
#include "gfx/blit_display.h"
#include "gfx/frame_limit.h"
#include "gfx/safe_blt.h"

namespace {

constexpr int kW = 1920, kH = 1080;

// The display: two buffers, drawing goes to the display itself; presenting costs nothing here.
struct Display {
    qzBitMap* first = CreateBitMap(kW, kH, 0, nullptr);
    qzBitMap* second = CreateBitMap(kW, kH, 0, nullptr);
    qzBitMap* src = CreateBitMap(kW, kH, 0, nullptr);
    qzBitMap* alpha = CreateAlphaBitMap(kW, kH, 1, nullptr, 0);
    int presented = 0;
    Display() {
        uint32_t seed = 7;
        auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
        BitMapLock s(src, 0), f(first, 0), a(alpha, 0);
        for (int y = 0; y < kH; y++) {
            auto* srow = static_cast<uint32_t*>(s.info.pixels) + (size_t)y * s.info.rowLength;
            auto* frow = static_cast<uint32_t*>(f.info.pixels) + (size_t)y * f.info.rowLength;
            auto* arow = static_cast<uint8_t*>(a.info.pixels) + (size_t)y * a.info.rowLength;
            for (int x = 0; x < kW; x++) {
                srow[x] = next() >> 8;
                frow[x] = next() >> 8;
                const int band = (x / 64 + y / 16) % 3;  // transparent, opaque and partial runs
                arow[x] = (uint8_t)(band == 0 ? 0 : band == 1 ? 255 : next() >> 24);
            }
        }
    }
};
Display* display = nullptr;

void* Current() { return display; }
void Describe(void*, qzBlitDisplayInfo* out) {
    out->firstBuffer = display->first;
    out->secondBuffer = display->second;
    out->targetWidth = kW;
    out->targetHeight = kH;
}
void Present(const qzBitMap*, int, int, void*, int, int, int, int, int, int, uint32_t, const qzBitMap*,
             const qzBitMap*) {
    display->presented++;
}
const qzBlitDisplayHooks kHooks = {Current, Describe, Present};

Display& Get() {
    if (!display) {
        display = new Display;
        SetBlitDisplayHooks(&kHooks);
    }
    return *display;
}

void Done(benchmark::State& state) { state.SetBytesProcessed((int64_t)state.iterations() * kW * kH * 4); }

void BM_SafeBltOpaque(benchmark::State& state) {
    Display& d = Get();
    for (auto _ : state)
        SafeBlt(nullptr, d.src, 0, 0, nullptr, 0, 0, kW, kH, kW, kH, kW, kH, SAFEBLT_FORCEFIRSTBUFFER, nullptr, nullptr,
                nullptr);
    Done(state);
}

void BM_SafeBltAlpha(benchmark::State& state) {
    Display& d = Get();
    for (auto _ : state)
        SafeBlt(nullptr, d.src, 0, 0, nullptr, 0, 0, kW, kH, kW, kH, kW, kH, SAFEBLT_FORCEFIRSTBUFFER, nullptr, d.alpha,
                nullptr);
    Done(state);
}

// pixman on the same memory: the bitmaps' own pixels wrapped.
struct Wrapped {
    pixman_image_t *src, *dst, *mask;
    Wrapped() {
        Display& d = Get();
        BitMapLock s(d.src, 0), f(d.first, 0), a(d.alpha, 0);
        src = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, static_cast<uint32_t*>(s.info.pixels),
                                       s.info.rowLength * 4);
        dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, static_cast<uint32_t*>(f.info.pixels),
                                       f.info.rowLength * 4);
        mask = pixman_image_create_bits(PIXMAN_a8, kW, kH, static_cast<uint32_t*>(a.info.pixels), a.info.rowLength);
    }
    ~Wrapped() {
        pixman_image_unref(src);
        pixman_image_unref(dst);
        pixman_image_unref(mask);
    }
};

void BM_PixmanOpaque(benchmark::State& state) {
    Wrapped w;
    for (auto _ : state) pixman_image_composite32(PIXMAN_OP_SRC, w.src, nullptr, w.dst, 0, 0, 0, 0, 0, 0, kW, kH);
    Done(state);
}

void BM_PixmanAlpha(benchmark::State& state) {
    Wrapped w;
    for (auto _ : state) pixman_image_composite32(PIXMAN_OP_OVER, w.src, w.mask, w.dst, 0, 0, 0, 0, 0, 0, kW, kH);
    Done(state);
}

BENCHMARK(BM_SafeBltOpaque)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PixmanOpaque)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SafeBltAlpha)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PixmanAlpha)->Unit(benchmark::kMillisecond);

// ---- Frame pacing at 60 frames a second ------------------------------------------------------

constexpr int kFrames = 120;

double Now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// A frame's work: a short, varying busy spell, as drawing a frame would take.
void FrameWork(int frame) {
    const double until = Now() + 1.0 + (frame % 5) * 0.8;
    while (Now() < until) {
    }
}

struct Pacing {
    double mean = 0, stddev = 0, worst = 0;
};
std::map<std::string, Pacing> pacing;

void Record(benchmark::State& state, const std::string& name, const std::vector<double>& stamps) {
    std::vector<double> intervals;
    for (size_t i = 1; i < stamps.size(); i++) intervals.push_back(stamps[i] - stamps[i - 1]);
    Pacing p;
    for (double v : intervals) p.mean += v;
    p.mean /= intervals.size();
    for (double v : intervals) {
        p.stddev += (v - p.mean) * (v - p.mean);
        p.worst = std::max(p.worst, std::fabs(v - p.mean));
    }
    p.stddev = std::sqrt(p.stddev / intervals.size());
    pacing[name] = p;
    state.counters["mean_ms"] = p.mean;
    state.counters["jitter_ms"] = p.stddev;
    state.counters["worst_ms"] = p.worst;
}

void BM_LimitFrameRate60(benchmark::State& state) {
    SetFrameRateLimit(60);
    std::vector<double> stamps;
    for (auto _ : state) {
        stamps.clear();
        qzTimeVal last;
        OsGetMonotonicTime(&last);
        for (int frame = 0; frame <= kFrames; frame++) {
            FrameWork(frame);
            LimitFrameRate(&last, nullptr, nullptr);
            stamps.push_back(Now());
        }
    }
    Record(state, "LimitFrameRate", stamps);
}

void BM_ClockNanosleep60(benchmark::State& state) {
    std::vector<double> stamps;
    for (auto _ : state) {
        stamps.clear();
        timespec deadline;
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        for (int frame = 0; frame <= kFrames; frame++) {
            FrameWork(frame);
            deadline.tv_nsec += 1000000000L / 60;
            if (deadline.tv_nsec >= 1000000000L) {
                deadline.tv_nsec -= 1000000000L;
                deadline.tv_sec++;
            }
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
            stamps.push_back(Now());
        }
    }
    Record(state, "clock_nanosleep", stamps);
}

BENCHMARK(BM_LimitFrameRate60)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClockNanosleep60)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-22s %10s %10s %8s\n", "1920x1080 to a display", "SafeBlt ms", "pixman ms", "ratio");
    for (const char* kind : {"Opaque", "Alpha"}) {
        const double ours = reporter.times[std::string("BM_SafeBlt") + kind];
        const double pixman = reporter.times[std::string("BM_Pixman") + kind];
        if (ours > 0 && pixman > 0) std::printf("%-22s %10.3f %10.3f %8.2f\n", kind, ours, pixman, ours / pixman);
    }
    std::printf("\n%-16s %8s %10s %9s   (60 fps: 16.667 ms a frame)\n", "pacer", "mean ms", "jitter ms", "worst ms");
    for (const auto& [name, p] : pacing)
        std::printf("%-16s %8.3f %10.3f %9.3f\n", name.c_str(), p.mean, p.stddev, p.worst);
    benchmark::Shutdown();
    delete display;
    return 0;
}
