// One type of every transition-effect family over a whole 1920x1080 headless display, drawn
// straight onto it: the set-up outside the timing, every frame of the effect inside it. The table
// gives the time per frame against the 16.7 ms of a frame at 60 Hz and names the slowest family.
// The scroll family moves through the object mover of the command library and is timed by its
// own tests' frame counts, not here.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench_display.h"
#include "display/display.h"
#include "display/picture.h"
#include "fx/effect_context.h"
#include "fx/effect_types.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_lock.h"
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
                                                 &qzDisplayLibrary, nullptr};

qzBitMap* MakePicture() {
    qzBitMap* bitmap = CreateBitMap(kW, kH, 0, nullptr);
    if (!bitmap) return nullptr;
    BitMapLock lock(bitmap, 0);
    for (int y = 0; y < kH; y++) {
        uint32_t* row =
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lock.info.pixels) + size_t(y) * lock.info.rowLength * 4);
        for (int x = 0; x < kW; x++) row[x] = uint32_t(x * 0x010203 ^ y * 0x030201);
    }
    return bitmap;
}

// The player with a headless 1920x1080 display (layers off) and the picture the effects bring in.
struct Scene {
    VmState* L = nullptr;
    qzBitMap* picture = nullptr;
    bool ready = false;

    Scene() {
        const bool platform = bench::StartHeadless();
        L = VmOpen();
        OpenLibraries(L, kLibraries);
        ready = platform && bench::OpenDisplay(L, kW, kH, 0x203040);
        picture = MakePicture();
        ready = ready && CurrentDisplay() && CurrentDisplay()->bgpic && picture;
    }
    ~Scene() {
        DeleteBitMap(picture);
        CloseLibraries(L, kLibraries);
        VmClose(L);
    }
};

// The effect of the type over the whole display, set up as the driver does for a brush there.
struct Effect {
    qzEffectContext c = {};
    Effect(Scene& scene, int type) {
        c.vm = scene.L;
        c.type = type;
        c.mode = QZ_EFFECT_BRUSH;
        c.object = {1, nullptr};
        c.width = kW;
        c.height = kH;
        c.speed = c.givenSpeed = QZ_EFFECT_NORMALSPEED;
        c.parameter = QZ_EFFECT_RANDOMPARAMETER;
        c.screenWidth = kW;
        c.screenHeight = kH;
        c.image = scene.picture;
        c.bltFlags = 4;
        if (EffectNeedsOldImage(type, 0)) {
            c.oldImage = CreateBitMap(kW, kH, 0, nullptr);
            if (c.oldImage) GrabScreenRect(&c, c.oldImage, 0, 0, kW, kH);
        }
        GetEffectRoutines(type, &c.step, &c.freeState);
    }
    ~Effect() {
        if (c.freeState) c.freeState(&c, c.finished);
        free(c.state);
        DeleteBitMap(c.oldImage);
    }
};

std::map<int, int64_t> framesOf;

void BM_Effect(benchmark::State& state) {
    const int type = int(state.range(0));
    Scene scene;
    if (!scene.ready) {
        state.SkipWithError("the scene could not be made");
        return;
    }
    int64_t frames = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Effect* e = new Effect(scene, type);
        bool ok = e->c.step && e->c.step(&e->c, nullptr) == 0;
        e->c.phase = QZ_EFFECT_PHASE_NEXT;
        state.ResumeTiming();
        int32_t done = 0;
        while (ok && !done && e->c.current <= e->c.total) ok = e->c.step(&e->c, &done) == 0;
        frames += e->c.current;
        state.PauseTiming();
        delete e;
        state.ResumeTiming();
        if (!ok) {
            state.SkipWithError("the effect failed");
            return;
        }
    }
    state.counters["frames"] = benchmark::Counter(double(frames), benchmark::Counter::kAvgIterations);
    framesOf[type] = frames / (state.iterations() ? int64_t(state.iterations()) : 1);
}

class TableReporter : public benchmark::ConsoleReporter {
public:
    std::map<int, double> times;  // type -> ms per effect
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const std::string name = run.benchmark_name();
            const size_t slash = name.find('/');
            if (slash == std::string::npos) continue;
            times[std::atoi(name.c_str() + slash + 1)] =
                run.GetAdjustedRealTime() * 1e3 / benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
    }
};

}  // namespace

BENCHMARK(BM_Effect)
    ->Arg(0)
    ->Arg(7)
    ->Arg(14)
    ->Arg(19)
    ->Arg(24)
    ->Arg(26)
    ->Arg(28)
    ->Arg(29)
    ->Arg(30)
    ->Arg(34)
    ->Arg(35)
    ->Arg(36)
    ->Arg(37)
    ->Arg(38)
    ->Arg(55)
    ->Arg(61)
    ->Arg(70)
    ->Arg(72)
    ->Arg(74)
    ->Arg(75)
    ->Arg(78)
    ->Arg(82)
    ->Arg(83)
    ->Arg(84)
    ->Arg(85)
    ->Arg(86)
    ->Arg(87)
    ->Arg(88)
    ->Arg(97)
    ->Arg(98)
    ->Arg(99)
    ->Arg(101)
    ->Arg(105)
    ->Arg(106)
    ->Arg(107)
    ->Arg(108)
    ->Arg(110)
    ->Arg(111)
    ->Arg(114)
    ->Arg(115)
    ->Arg(116)
    ->Arg(117)
    ->Arg(118)
    ->Arg(120)
    ->Arg(124)
    ->Arg(128)
    ->Arg(132)
    ->Arg(133)
    ->Arg(134)
    ->Arg(138)
    ->Arg(139)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-6s %8s %12s %10s\n", "type", "frames", "ms/frame", "of 16.7 ms");
    int slowest = -1;
    double slowestMs = 0;
    for (const auto& [type, ms] : reporter.times) {
        const int64_t frames = framesOf[type];
        const double perFrame = frames > 0 ? ms / double(frames) : 0;
        std::printf("%-6d %8lld %12.3f %9.0f%%\n", type, static_cast<long long>(frames), perFrame,
                    perFrame / 16.7 * 100);
        if (perFrame > slowestMs) {
            slowestMs = perFrame;
            slowest = type;
        }
    }
    if (slowest >= 0)
        std::printf("slowest: type %d, %.3f ms per frame, %.2fx the 16.7 ms budget\n", slowest, slowestMs,
                    slowestMs / 16.7);
    benchmark::Shutdown();
    return 0;
}
