// Shapes: a 1000 x 1000 anti-aliased filled ellipse and a 10,000-segment polyline, drawn by the
// shape renderer beside cairo drawing the same geometry into an image surface, in one run; the
// ratios are printed at the end.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "bench_times.h"
#include "gfx/bitmap.h"
#include "vector/coverage_fill.h"
#include "vector/shape_line.h"
#include "vector/shape_render.h"

namespace {

constexpr int kSize = 1000;

struct Segment {
    int x1, y1, x2, y2;
};

// A random walk of 10,000 segments of up to 24 pixels inside the picture.
std::vector<Segment> Polyline() {
    std::vector<Segment> segments;
    uint32_t seed = 12345;
    auto next = [&]() {
        seed = seed * 1664525u + 1013904223u;
        return (int)(seed >> 16);
    };
    int x = kSize / 2, y = kSize / 2;
    for (int i = 0; i < 10000; i++) {
        int nx = x + next() % 49 - 24, ny = y + next() % 49 - 24;
        nx = std::min(std::max(nx, 10), kSize - 10);
        ny = std::min(std::max(ny, 10), kSize - 10);
        segments.push_back({x, y, nx, ny});
        x = nx, y = ny;
    }
    return segments;
}

void BM_Ellipse_Ours(benchmark::State& state) {
    qzShape shape{};
    shape.kind = SHAPE_ELLIPSE;
    shape.width = shape.height = kSize - 1;
    shape.rx = shape.ry = (kSize - 1) / 2;
    shape.offscreen = 1;
    shape.color = 0xC02040;
    qzDrawState ds;
    ds.fillStyle = FILLCOLOR;
    ds.formStyle = FORM_ANTIALIAS;
    for (auto _ : state) {
        qzShapeBitmaps out;
        if (RenderShapeOffscreen(nullptr, &shape, &ds, 0, 0, &out)) {
            state.SkipWithError("render failed");
            break;
        }
        FreeShapeBitmaps(&out);
    }
}

void BM_Ellipse_Cairo(benchmark::State& state) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kSize, kSize);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0.75, 0.125, 0.25);
    for (auto _ : state) {
        cairo_arc(cr, kSize / 2.0, kSize / 2.0, kSize / 2.0, 0, 2 * M_PI);
        cairo_fill(cr);
        cairo_surface_flush(surface);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}

void BM_Polyline_Ours(benchmark::State& state) {
    const std::vector<Segment> segments = Polyline();
    const int antialias = (int)state.range(0);
    for (auto _ : state) {
        qzCoverageImage* image = CreateCoverageImage(kSize, kSize, nullptr, nullptr);
        for (const Segment& s : segments) DrawCoverageThickLine(image, s.x1, s.y1, s.x2, s.y2, antialias, 3);
        FreeCoverageImage(image);
    }
}

void BM_Polyline_Cairo(benchmark::State& state) {
    const std::vector<Segment> segments = Polyline();
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, kSize, kSize);
    cairo_t* cr = cairo_create(surface);
    cairo_set_antialias(cr, state.range(0) ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
    cairo_set_line_width(cr, 3);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (auto _ : state) {
        cairo_move_to(cr, segments[0].x1 + 0.5, segments[0].y1 + 0.5);
        for (const Segment& s : segments) cairo_line_to(cr, s.x2 + 0.5, s.y2 + 0.5);
        cairo_stroke(cr);
        cairo_surface_flush(surface);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}

// The same polyline as 10,000 separate lines, each through the line renderer's bitmaps (what a
// script's Line commands draw), beside 10,000 separate cairo strokes.
void BM_Lines_Ours(benchmark::State& state) {
    const std::vector<Segment> segments = Polyline();
    for (auto _ : state) {
        for (const Segment& s : segments) {
            qzShapeBitmaps out;
            RenderLineOffscreen(s.x1, s.y1, s.x2, s.y2, 0x204080, 3, true, &out);
            FreeShapeBitmaps(&out);
        }
    }
}

void BM_Lines_Cairo(benchmark::State& state) {
    const std::vector<Segment> segments = Polyline();
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kSize, kSize);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0.125, 0.25, 0.5);
    cairo_set_line_width(cr, 3);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (auto _ : state) {
        for (const Segment& s : segments) {
            cairo_move_to(cr, s.x1 + 0.5, s.y1 + 0.5);
            cairo_line_to(cr, s.x2 + 0.5, s.y2 + 0.5);
            cairo_stroke(cr);
        }
        cairo_surface_flush(surface);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}

}  // namespace

BENCHMARK(BM_Ellipse_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ellipse_Cairo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Polyline_Ours)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Polyline_Cairo)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Lines_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Lines_Cairo)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    benchmark::Shutdown();
    auto ratio = [&](const char* what, const char* a, const char* b) {
        const double x = recorder.times[a], y = recorder.times[b];  // in the benchmarks' unit, microseconds
        if (x > 0 && y > 0) std::printf("%s: %.2fx (%.3f / %.3f ms)\n", what, x / y, x / 1e3, y / 1e3);
    };
    ratio("1000x1000 anti-aliased filled ellipse, ours / cairo", "BM_Ellipse_Ours", "BM_Ellipse_Cairo");
    ratio("10,000-segment polyline 3 px wide, ours / cairo", "BM_Polyline_Ours/0", "BM_Polyline_Cairo/0");
    ratio("10,000-segment polyline 3 px wide anti-aliased, ours / cairo", "BM_Polyline_Ours/1", "BM_Polyline_Cairo/1");
    ratio("10,000 separate anti-aliased lines 3 px wide, ours / cairo", "BM_Lines_Ours", "BM_Lines_Cairo");
    return 0;
}
