// Double buffering and generated pictures at 1920x1080: Flip of a whole double-buffered frame
// (copied from the back to the front bitmap and presented to the headless window) and of 100
// changed 64x64 rectangles, beside one memcpy of the frame; a linear gradient filling the frame
// beside pixman's linear gradient. A table of ratios follows the runs.
#include <benchmark/benchmark.h>

#include <pixman.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "bench_display.h"
#include "bench_times.h"
#include "display/display.h"
#include "display/display_pixels.h"
#include "display/double_buffer.h"
#include "display/rect_list.h"
#include "gfx/bitmap.h"
#include "libs/brush/brush_lib.h"
#include "libs/display/display_lib.h"
#include "libs/event/event_lib.h"
#include "libs/graphics/graphics.h"
#include "libs/system/system.h"
#include "platform/host/event_loop.h"
#include "runtime/library.h"
#include "runtime/runtime.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

constexpr int kW = 1920, kH = 1080;

const qzLibraryDescriptor* const kLibraries[] = {&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary,
                                                 &qzDisplayLibrary,  &qzBrushLibrary, nullptr};

// The player with a headless 1920x1080 display that double-buffers.
struct Scene {
    VmState* L = nullptr;
    qzDisplay* display = nullptr;
    bool ready = false;

    Scene() {
        const bool platform = bench::StartHeadless();
        L = VmOpen();
        OpenLibraries(L, kLibraries);
        ready = platform && bench::OpenDisplay(L, kW, kH, 0x203040);
        display = CurrentDisplay();
        ready = ready && display && BeginDoubleBuffer(L, display, 0) == 0;
        if (ready) FillBitmapColor(display->outputBitmap, 0, 0, kW, kH, 0x405060);
    }
    ~Scene() {
        CloseLibraries(L, kLibraries);
        VmClose(L);
    }
};

void BM_Flip_Whole(benchmark::State& state) {
    Scene scene;
    if (!scene.ready) {
        state.SkipWithError("the display does not double-buffer");
        return;
    }
    for (auto _ : state) {
        MarkRectListFull(&scene.display->rectList);
        FlipDisplay(scene.L, scene.display, 0);
        benchmark::ClobberMemory();
    }
}

void BM_Flip_Rects(benchmark::State& state) {
    Scene scene;
    if (!scene.ready) {
        state.SkipWithError("the display does not double-buffer");
        return;
    }
    for (auto _ : state) {
        for (int i = 0; i < 100; i++) AddRectToList(&scene.display->rectList, (i % 20) * 96, (i / 20) * 200, 64, 64);
        FlipDisplay(scene.L, scene.display, 0);
        benchmark::ClobberMemory();
    }
}

void BM_Frame_Memcpy(benchmark::State& state) {
    std::vector<uint32_t> a(size_t(kW) * kH, 0x203040), b(a.size());
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size() * 4);
        benchmark::ClobberMemory();
    }
}

void BM_Gradient_Ours(benchmark::State& state) {
    qzBitMap* bitmap = CreateBitMap(kW, kH, 0, nullptr);
    qzGradient gradient;
    gradient.style = 2;
    gradient.startColor = 0xFF0000;
    gradient.endColor = 0x0000FF;
    gradient.angle = 45;
    for (auto _ : state) {
        FillBitmapGradient(bitmap, 0, 0, kW, kH, gradient);
        benchmark::ClobberMemory();
    }
    DeleteBitMap(bitmap);
}

void BM_Gradient_Pixman(benchmark::State& state) {
    std::vector<uint32_t> frame(size_t(kW) * kH);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, frame.data(), kW * 4);
    pixman_gradient_stop_t stops[2] = {{0, {0xFFFF, 0, 0, 0xFFFF}}, {pixman_fixed_1, {0, 0, 0xFFFF, 0xFFFF}}};
    pixman_point_fixed_t p1 = {0, 0}, p2 = {pixman_int_to_fixed(kW - 1), pixman_int_to_fixed(kH - 1)};
    pixman_image_t* linear = pixman_image_create_linear_gradient(&p1, &p2, stops, 2);
    pixman_image_set_repeat(linear, PIXMAN_REPEAT_PAD);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, linear, nullptr, dst, 0, 0, 0, 0, 0, 0, kW, kH);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(linear);
    pixman_image_unref(dst);
}

}  // namespace

BENCHMARK(BM_Flip_Whole)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Flip_Rects)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Frame_Memcpy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Gradient_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Gradient_Pixman)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double memcpyMs = reporter.times["BM_Frame_Memcpy"];
    const double pixmanMs = reporter.times["BM_Gradient_Pixman"];
    std::printf("\n%-26s %10s %10s %10s\n", "", "ours ms", "other ms", "ratio");
    for (const char* name : {"BM_Flip_Whole", "BM_Flip_Rects"}) {
        const double ours = reporter.times[name];
        std::printf("%-26s %10.3f %10.3f %10.2f   (against memcpy of the frame)\n", name, ours, memcpyMs,
                    memcpyMs > 0 ? ours / memcpyMs : 0.0);
    }
    const double gradient = reporter.times["BM_Gradient_Ours"];
    std::printf("%-26s %10.3f %10.3f %10.2f   (against pixman)\n", "BM_Gradient_Ours", gradient, pixmanMs,
                pixmanMs > 0 ? gradient / pixmanMs : 0.0);
    benchmark::Shutdown();
    return 0;
}
