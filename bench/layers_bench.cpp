// The layer redraw at 1920x1080: RedrawLayersRect of the whole display with 10 and with 100
// overlapping 1280x720 layers that carry alpha channels, beside pixman compositing the same stack
// (the background copied, then every layer OVER the destination through its 8-bit alpha), and one
// redraw pass beside a memcpy of the frame. A table of ratios follows the runs.
#include <benchmark/benchmark.h>

#include <pixman.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_display.h"
#include "bench_times.h"
#include "display/display.h"
#include "display/layer_records.h"
#include "display/layer_redraw.h"
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

constexpr int kW = 1920, kH = 1080, kLayerW = 1280, kLayerH = 720;

// A layer's pixels and alpha: the same for the engine and for pixman.
struct LayerPixels {
    int32_t x, y;
    std::vector<uint32_t> rgb;
    std::vector<uint8_t> alpha;
};

std::vector<LayerPixels> MakeLayers(int count) {
    std::vector<LayerPixels> layers(count);
    uint32_t seed = 7;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    for (int i = 0; i < count; i++) {
        LayerPixels& l = layers[i];
        l.x = (i * 61) % (kW - kLayerW + 1);
        l.y = (i * 37) % (kH - kLayerH + 1);
        l.rgb.resize(size_t(kLayerW) * kLayerH);
        l.alpha.resize(size_t(kLayerW) * kLayerH);
        const uint32_t colour = next() >> 8;
        for (int y = 0; y < kLayerH; y++)
            for (int x = 0; x < kLayerW; x++) {
                const size_t p = size_t(y) * kLayerW + x;
                l.rgb[p] = colour ^ (uint32_t(x * 3 + y) & 0xFF);
                const int band = (x / 64 + y / 16 + i) % 3;  // transparent, opaque and partial runs
                l.alpha[p] = uint8_t(band == 0 ? 0 : band == 1 ? 255 : (next() >> 24));
            }
    }
    return layers;
}

const qzLibraryDescriptor* const kLibraries[] = {&qzGraphicsLibrary, &qzEventLibrary,   &qzSystemLibrary,
                                                 &qzLayersLibrary,   &qzDisplayLibrary, nullptr};

// The player with a headless 1920x1080 display that has layers on, and the stack made into layers.
struct Scene {
    VmState* L = nullptr;
    qzDisplay* display = nullptr;
    bool ready = false;

    explicit Scene(const std::vector<LayerPixels>& layers) {
        const bool platform = bench::StartHeadless();
        L = VmOpen();
        OpenLibraries(L, kLibraries);
        ready = platform && bench::OpenDisplay(L, kW, kH, 0x203040, true);
        display = CurrentDisplay();
        ready = ready && display && display->secondBuffer;
        for (size_t i = 0; ready && i < layers.size(); i++) {
            const LayerPixels& l = layers[i];
            qzBitMap* bitmap = CreateBitMap(kLayerW, kLayerH, 0, nullptr);
            qzBitMap* alpha = CreateAlphaBitMap(kLayerW, kLayerH, 1, nullptr, 0);
            {
                BitMapLock colour(bitmap, 0), plane(alpha, 0);
                for (int y = 0; y < kLayerH; y++) {
                    std::memcpy(static_cast<uint8_t*>(colour.info.pixels) + size_t(y) * colour.info.rowLength * 4,
                                &l.rgb[size_t(y) * kLayerW], size_t(kLayerW) * 4);
                    std::memcpy(static_cast<uint8_t*>(plane.info.pixels) + size_t(y) * plane.info.rowLength,
                                &l.alpha[size_t(y) * kLayerW], kLayerW);
                }
            }
            ready = AddLayerForObject(L, 3, {int32_t(i + 1), nullptr}, l.x, l.y, kLayerW, kLayerH, nullptr, nullptr,
                                      bitmap, nullptr, alpha, nullptr, -1, 0, nullptr) == 0;
        }
    }
    ~Scene() {
        CloseLibraries(L, kLibraries);
        VmClose(L);
    }
};

void BM_Redraw_Ours(benchmark::State& state) {
    const auto layers = MakeLayers(int(state.range(0)));
    Scene scene(layers);
    if (!scene.ready) {
        state.SkipWithError("the display does not open");
        return;
    }
    qzBitMap* target = scene.display->secondBuffer;
    for (auto _ : state) {
        RedrawLayersRect(scene.L, scene.display, scene.display->bgpic, target, 0, 0, kW, kH, QZ_REDRAW_NOSPRITES);
        benchmark::ClobberMemory();
    }
}

void BM_Redraw_Pixman(benchmark::State& state) {
    auto layers = MakeLayers(int(state.range(0)));
    std::vector<uint32_t> background(size_t(kW) * kH, 0x203040), frame(background.size());
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, frame.data(), kW * 4);
    std::vector<pixman_image_t*> sources, masks;
    for (LayerPixels& l : layers) {
        sources.push_back(pixman_image_create_bits(PIXMAN_x8r8g8b8, kLayerW, kLayerH, l.rgb.data(), kLayerW * 4));
        masks.push_back(pixman_image_create_bits(PIXMAN_a8, kLayerW, kLayerH,
                                                 reinterpret_cast<uint32_t*>(l.alpha.data()), kLayerW));
    }
    for (auto _ : state) {
        pixman_blt(background.data(), frame.data(), kW, kW, 32, 32, 0, 0, 0, 0, kW, kH);
        for (size_t i = 0; i < layers.size(); i++)
            pixman_image_composite32(PIXMAN_OP_OVER, sources[i], masks[i], dst, 0, 0, 0, 0, layers[i].x, layers[i].y,
                                     kLayerW, kLayerH);
        benchmark::ClobberMemory();
    }
    for (size_t i = 0; i < layers.size(); i++) {
        pixman_image_unref(sources[i]);
        pixman_image_unref(masks[i]);
    }
    pixman_image_unref(dst);
}

void BM_Frame_Memcpy(benchmark::State& state) {
    std::vector<uint32_t> a(size_t(kW) * kH, 0x203040), b(a.size());
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size() * 4);
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(BM_Redraw_Ours)->Arg(0)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Redraw_Pixman)->Arg(0)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Frame_Memcpy)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double memcpyMs = reporter.times["BM_Frame_Memcpy"];
    std::printf("\n%-8s %10s %10s %10s %10s\n", "layers", "ours ms", "pixman ms", "ours/pix", "ours/memcpy");
    for (int count : {0, 10, 100}) {
        const double ours = reporter.times["BM_Redraw_Ours/" + std::to_string(count)];
        const double pixman = reporter.times["BM_Redraw_Pixman/" + std::to_string(count)];
        std::printf("%-8d %10.3f %10.3f %10.2f %10.2f\n", count, ours, pixman, pixman > 0 ? ours / pixman : 0.0,
                    memcpyMs > 0 ? ours / memcpyMs : 0.0);
    }
    benchmark::Shutdown();
    return 0;
}
