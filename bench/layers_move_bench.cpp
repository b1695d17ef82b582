// Moving 100 layers one step with a move list (DoMove) on a 1920x1080 display with layers on,
// against redrawing and presenting the whole display once, and against pixman compositing the
// whole frame of the same layers (what a program without dirty rectangles does per frame). The
// refreshed area per DoMove is counted through a display hook and printed beside the ratios.
#include <benchmark/benchmark.h>

#include <pixman.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "bench_display.h"
#include "bench_times.h"
#include "display/display.h"
#include "display/display_present.h"
#include "display/layer_records.h"
#include "display/layer_refresh.h"
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

constexpr int kW = 1920, kH = 1080, kSide = 48, kLayers = 100;

struct Sprite {
    int32_t x, y;
};

// 100 layers on a grid with room to move, each 48 x 48 with a round alpha channel.
std::vector<Sprite> MakeSprites() {
    std::vector<Sprite> sprites;
    for (int i = 0; i < kLayers; i++) sprites.push_back({40 + (i % 10) * 180, 40 + (i / 10) * 100});
    return sprites;
}

std::vector<uint8_t> RoundAlpha() {
    std::vector<uint8_t> alpha(size_t(kSide) * kSide);
    for (int y = 0; y < kSide; y++)
        for (int x = 0; x < kSide; x++) {
            const int dx = 2 * x - kSide + 1, dy = 2 * y - kSide + 1;
            alpha[size_t(y) * kSide + x] = dx * dx + dy * dy <= kSide * kSide ? 255 : 0;
        }
    return alpha;
}

const qzLibraryDescriptor* const kLibraries[] = {&qzGraphicsLibrary, &qzEventLibrary,   &qzSystemLibrary,
                                                 &qzLayersLibrary,   &qzDisplayLibrary, nullptr};

int64_t presentedArea = 0;
int64_t presents = 0;
void CountPresent(qzDisplayHook*, int32_t code, const intptr_t* m, void*) {
    if (code != QZ_HOOKMSG_PRESENT) return;
    presentedArea += int64_t(m[12]) * m[13];
    presents++;
}

// The player with a headless 1920x1080 display with layers on, the layers, and two move lists:
// 1 moves every layer 2 pixels right, 2 moves it back.
struct Scene {
    VmState* L = nullptr;
    qzDisplay* display = nullptr;
    bool ready = false;

    Scene() {
        const bool platform = bench::StartHeadless();
        L = VmOpen();
        OpenLibraries(L, kLibraries);
        ready = platform && bench::OpenDisplay(L, kW, kH, 0x203040, true);
        display = CurrentDisplay();
        ready = ready && display && display->secondBuffer;
        const std::vector<uint8_t> round = RoundAlpha();
        const std::vector<Sprite> sprites = MakeSprites();
        for (int i = 0; ready && i < kLayers; i++) {
            qzBitMap* bitmap = CreateBitMap(kSide, kSide, 0, nullptr);
            qzBitMap* alpha = CreateAlphaBitMap(kSide, kSide, 1, nullptr, 0);
            {
                BitMapLock colour(bitmap, 0), plane(alpha, 0);
                for (int y = 0; y < kSide; y++) {
                    uint32_t* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(colour.info.pixels) +
                                                                size_t(y) * colour.info.rowLength * 4);
                    for (int x = 0; x < kSide; x++) row[x] = 0x102030u * uint32_t(i % 7 + 1) ^ uint32_t(x * 4);
                    std::memcpy(static_cast<uint8_t*>(plane.info.pixels) + size_t(y) * plane.info.rowLength,
                                &round[size_t(y) * kSide], kSide);
                }
            }
            ready = AddLayerForObject(L, 3, {i + 1, nullptr}, sprites[i].x, sprites[i].y, kSide, kSide, nullptr,
                                      nullptr, bitmap, nullptr, alpha, nullptr, -1, 0, nullptr) == 0;
        }
        for (int list = 1; ready && list <= 2; list++)
            for (int i = 0; ready && i < kLayers; i++) {
                VmPushNumber(L, list);
                VmPushNumber(L, 22);
                VmPushNumber(L, i + 1);
                VmPushNumber(L, sprites[i].x + (list == 1 ? 2 : 0));
                VmPushNumber(L, sprites[i].y);
                VmPushNumber(L, 0);
                ready = bench::Command(L, "addmove", 6);
            }
        ready = ready && AddDisplayHook(L, {1, nullptr}, CountPresent, nullptr, nullptr, 0) != nullptr;
    }
    ~Scene() {
        CloseLibraries(L, kLibraries);
        VmClose(L);
    }
};

double lastArea = 0, lastPresents = 0;

void BM_DoMove_100Layers(benchmark::State& state) {
    Scene scene;
    if (!scene.ready) {
        state.SkipWithError("the scene could not be made");
        return;
    }
    int list = 1;
    presentedArea = presents = 0;
    int64_t runs = 0;
    for (auto _ : state) {
        VmPushNumber(scene.L, list);
        if (!bench::Command(scene.L, "domove", 1)) {
            state.SkipWithError("DoMove failed");
            return;
        }
        list = 3 - list;
        runs++;
    }
    lastArea = runs ? double(presentedArea) / runs : 0;
    lastPresents = runs ? double(presents) / runs : 0;
}

void BM_WholeDisplayRefresh(benchmark::State& state) {
    Scene scene;
    if (!scene.ready) {
        state.SkipWithError("the scene could not be made");
        return;
    }
    for (auto _ : state) {
        RefreshDisplayRect(scene.L, 0, 0, kW, kH);
        benchmark::ClobberMemory();
    }
}

void BM_WholeFrame_Pixman(benchmark::State& state) {
    std::vector<uint32_t> background(size_t(kW) * kH, 0x203040), frame(background.size());
    std::vector<uint32_t> rgb(size_t(kSide) * kSide, 0x405060);
    std::vector<uint8_t> round = RoundAlpha();
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, frame.data(), kW * 4);
    pixman_image_t* src = pixman_image_create_bits(PIXMAN_x8r8g8b8, kSide, kSide, rgb.data(), kSide * 4);
    pixman_image_t* mask =
        pixman_image_create_bits(PIXMAN_a8, kSide, kSide, reinterpret_cast<uint32_t*>(round.data()), kSide);
    const std::vector<Sprite> sprites = MakeSprites();
    int step = 0;
    for (auto _ : state) {
        pixman_blt(background.data(), frame.data(), kW, kW, 32, 32, 0, 0, 0, 0, kW, kH);
        for (const Sprite& s : sprites)
            pixman_image_composite32(PIXMAN_OP_OVER, src, mask, dst, 0, 0, 0, 0, s.x + step, s.y, kSide, kSide);
        step = 2 - step;
        benchmark::ClobberMemory();
    }
    pixman_image_unref(mask);
    pixman_image_unref(src);
    pixman_image_unref(dst);
}

}  // namespace

BENCHMARK(BM_DoMove_100Layers)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WholeDisplayRefresh)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WholeFrame_Pixman)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double move = reporter.times["BM_DoMove_100Layers"];
    const double whole = reporter.times["BM_WholeDisplayRefresh"];
    const double pixman = reporter.times["BM_WholeFrame_Pixman"];
    std::printf("\nDoMove of %d layers: %.3f ms, %.0f pixels refreshed in %.0f rectangles (%.2f %% of the display)\n",
                kLayers, move, lastArea, lastPresents, 100.0 * lastArea / (double(kW) * kH));
    std::printf("whole display refreshed once: %.3f ms (DoMove / whole = %.3f)\n", whole, whole > 0 ? move / whole : 0);
    std::printf("pixman whole frame of the same layers: %.3f ms (DoMove / pixman = %.3f)\n", pixman,
                pixman > 0 ? move / pixman : 0);
    benchmark::Shutdown();
    return 0;
}
