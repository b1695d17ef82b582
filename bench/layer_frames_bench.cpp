// A 1280x720 video frame handed to a video layer on a 1920x1080 display with layers on
// (ReplaceLayerContentFromBitmap: the frame becomes the layer's content in place and is drawn at
// once), against pixman copying the same frame into a 1920x1080 frame buffer (what a program
// showing the frame straight on a screen does per frame). The frame bitmap is made outside the
// timing in both: a decoder hands it over ready.
#include <benchmark/benchmark.h>

#include <pixman.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "bench_display.h"
#include "bench_times.h"
#include "display/display.h"
#include "display/layer.h"
#include "display/layer_records.h"
#include "display/layer_replace.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_lock.h"
#include "libs/display/display_lib.h"
#include "libs/event/event_lib.h"
#include "libs/graphics/graphics.h"
#include "libs/layers/layers_lib.h"
#include "libs/system/system.h"
#include "platform/host/event_loop.h"
#include "runtime/library.h"
#include "runtime/runtime.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

constexpr int kW = 1920, kH = 1080, kFrameW = 1280, kFrameH = 720, kX = 320, kY = 180;

const qzLibraryDescriptor* const kLibraries[] = {&qzGraphicsLibrary, &qzEventLibrary,   &qzSystemLibrary,
                                                 &qzLayersLibrary,   &qzDisplayLibrary, nullptr};

// A frame of the pattern shifted by step.
qzBitMap* MakeFrame(int step) {
    qzBitMap* bitmap = CreateBitMap(kFrameW, kFrameH, 0, nullptr);
    if (!bitmap) return nullptr;
    BitMapLock lock(bitmap, 0);
    for (int y = 0; y < kFrameH; y++) {
        uint32_t* row =
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lock.info.pixels) + size_t(y) * lock.info.rowLength * 4);
        for (int x = 0; x < kFrameW; x++) row[x] = uint32_t((x + step) * 0x010203 ^ y * 0x030201);
    }
    return bitmap;
}

// The player with a headless 1920x1080 display with layers on and a video layer in its middle.
struct Scene {
    VmState* L = nullptr;
    qzDisplay* display = nullptr;
    qzLayer* layer = nullptr;
    bool ready = false;

    Scene() {
        const bool platform = bench::StartHeadless();
        L = VmOpen();
        OpenLibraries(L, kLibraries);
        ready = platform && bench::OpenDisplay(L, kW, kH, 0x203040, true);
        display = CurrentDisplay();
        ready = ready && display &&
                AddLayerForObject(L, QZ_LAYER_VIDEO, {1, nullptr}, kX, kY, kFrameW, kFrameH, nullptr, nullptr,
                                  MakeFrame(0), nullptr, nullptr, nullptr, -1, 0, &layer) == 0;
    }
    ~Scene() {
        CloseLibraries(L, kLibraries);
        VmClose(L);
    }
};

void BM_FrameIntoVideoLayer(benchmark::State& state) {
    Scene scene;
    if (!scene.ready) {
        state.SkipWithError("the scene could not be made");
        return;
    }
    int step = 1;
    for (auto _ : state) {
        state.PauseTiming();
        qzBitMap* frame = MakeFrame(step++);
        state.ResumeTiming();
        if (ReplaceLayerContentFromBitmap(scene.L, scene.display, &scene.layer, frame) != 0) {
            state.SkipWithError("ReplaceLayerContentFromBitmap failed");
            return;
        }
    }
}

void BM_FrameCopy_Pixman(benchmark::State& state) {
    std::vector<uint32_t> screen(size_t(kW) * kH, 0x203040), frame(size_t(kFrameW) * kFrameH);
    int step = 1;
    for (auto _ : state) {
        state.PauseTiming();
        for (int y = 0; y < kFrameH; y++)
            for (int x = 0; x < kFrameW; x++)
                frame[size_t(y) * kFrameW + x] = uint32_t((x + step) * 0x010203 ^ y * 0x030201);
        step++;
        state.ResumeTiming();
        pixman_blt(frame.data(), screen.data(), kFrameW, kW, 32, 32, 0, 0, kX, kY, kFrameW, kFrameH);
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(BM_FrameIntoVideoLayer)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FrameCopy_Pixman)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double layer = reporter.times["BM_FrameIntoVideoLayer"];
    const double pixman = reporter.times["BM_FrameCopy_Pixman"];
    std::printf("\n%dx%d frame into a video layer on a %dx%d display: %.3f ms\n", kFrameW, kFrameH, kW, kH, layer);
    std::printf("pixman copy of the frame into a frame buffer: %.3f ms (layer / pixman = %.2f)\n", pixman,
                pixman > 0 ? layer / pixman : 0);
    benchmark::Shutdown();
    return 0;
}
