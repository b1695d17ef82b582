// A 500-frame 640x480 GIF (made by ffmpeg from its test card, 20 ms a frame): every frame decoded
// and composited by our reader (the frame source, as disk anims use it) and loaded as a memory
// anim, against `gifsicle --explode` (splits the file into one GIF per frame) and ImageMagick's
// `-coalesce` (every composited frame written as raw RGBA to /dev/null), each tool started for
// every run. Our disk anim's frame access (decoded, converted into bitmaps and freed, frame by
// frame) is timed beside them. Then the anim played with PlayAnim on a 640x480 display headless,
// from memory and from disk: at speed 0, paced only by the display's vertical blank (frames per
// second), and at its own delays, each with the share of one processor the player takes. A table
// of ratios follows the runs.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "anim/anim.h"
#include "anim/anim_load.h"
#include "anim/anim_source.h"
#include "bench_display.h"
#include "libs/anim/anim_lib.h"
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

constexpr int kWidth = 640, kHeight = 480, kFrames = 500;

struct BenchFiles {
    std::string dir;
    std::string gif;
    BenchFiles() {
        char tmpl[] = "/tmp/qzanimbench.XXXXXX";
        const char* made = mkdtemp(tmpl);
        dir = made ? made : "/tmp";
        gif = dir + "/anim.gif";
        Run("ffmpeg -v error -f lavfi -i 'testsrc2=size=640x480:rate=50' -frames:v 500 -y '" + gif + "'");
        // ImageMagick holds every frame at 16 bits a channel (1.2 GB here): the limits of its
        // system policy would refuse that, so its run reads this policy as well.
        std::FILE* policy = std::fopen((dir + "/policy.xml").c_str(), "w");
        if (policy) {
            std::fputs(
                "<policymap>\n  <policy domain=\"resource\" name=\"memory\" value=\"4GiB\"/>\n"
                "  <policy domain=\"resource\" name=\"map\" value=\"8GiB\"/>\n"
                "  <policy domain=\"resource\" name=\"disk\" value=\"16GiB\"/>\n</policymap>\n",
                policy);
            std::fclose(policy);
        }
    }
    ~BenchFiles() {
        if (dir != "/tmp") Run("rm -rf '" + dir + "'");
    }
    static void Run(const std::string& command) {
        if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
    }
};

BenchFiles& Files() {
    static BenchFiles files;
    return files;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_DecodeFrames_Ours(benchmark::State& state) {
    for (auto _ : state) {
        qzAnimSource* source = nullptr;
        int32_t width = 0, height = 0, frames = 0;
        int alpha = 0;
        if (OpenAnimSource(Files().gif.c_str(), "inbuilt", nullptr, 0, 0, &source, &width, &height, &frames, &alpha,
                           nullptr) != 0 ||
            frames != kFrames || width != kWidth) {
            state.SkipWithError("the GIF does not open");
            return;
        }
        for (int32_t i = 0; i < frames; i++) {
            int pen = 0;
            uint32_t* pixels = LoadAnimSourceFrame(source, i, 0, &pen);
            if (!pixels) {
                state.SkipWithError("a frame does not decode");
                break;
            }
            benchmark::DoNotOptimize(pixels[i]);
            FreeAnimSourceFrame(source, pixels);
        }
        CloseAnimSource(source);
    }
}

void BM_LoadMemoryAnim_Ours(benchmark::State& state) {
    qzAnimLoadOptions options;
    options.file = Files().gif.c_str();
    for (auto _ : state) {
        qzAnim* anim = nullptr;
        if (LoadAnimFileQuietly(nullptr, {1, nullptr}, options, &anim) != 0 || anim->frames != kFrames) {
            state.SkipWithError("the GIF does not load");
            return;
        }
        FreeAllAnims(nullptr);
    }
}

// Every frame of a disk anim taken as bitmaps and freed, as playback takes them.
void BM_DiskAnimFrames_Ours(benchmark::State& state) {
    qzAnimLoadOptions options;
    options.file = Files().gif.c_str();
    options.fromDisk = 1;
    qzAnim* anim = nullptr;
    if (LoadAnimFileQuietly(nullptr, {1, nullptr}, options, &anim) != 0 || anim->frames != kFrames) {
        state.SkipWithError("the GIF does not load");
        return;
    }
    for (auto _ : state) {
        for (int32_t i = 0; i < anim->frames; i++) {
            qzBitMap *bitmap = nullptr, *mask = nullptr, *alpha = nullptr;
            int owned = 0;
            if (GetAnimFrameBitmaps(anim, i, 0, 0, &bitmap, &mask, &alpha, &owned) != 0) {
                state.SkipWithError("a frame does not decode");
                break;
            }
            FreeAnimFrameBitmaps(bitmap, mask, alpha);
        }
    }
    FreeAllAnims(nullptr);
}

void RunTool(benchmark::State& state, const std::string& command) {
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("tool failed");
            break;
        }
    }
}

void BM_GifsicleExplode(benchmark::State& state) {
    const std::string& dir = Files().dir;
    RunTool(state, "mkdir -p '" + dir + "/x' && gifsicle --explode -o '" + dir + "/x/f' '" + Files().gif +
                       "' && rm -rf '" + dir + "/x'");
}

void BM_ImageMagickCoalesce(benchmark::State& state) {
    RunTool(state,
            "MAGICK_CONFIGURE_PATH='" + Files().dir + "' convert '" + Files().gif + "' -coalesce rgba:/dev/null");
}

const qzLibraryDescriptor* const kLibraries[] = {&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary,
                                                 &qzDisplayLibrary,  &qzAnimLibrary,  nullptr};

// The player with a headless 640x480 display and the GIF loaded as anim 1, in memory or from disk.
struct Scene {
    VmState* L = nullptr;
    bool ready = false;

    explicit Scene(bool fromDisk) {
        const bool platform = bench::StartHeadless();
        L = VmOpen();
        OpenLibraries(L, kLibraries);
        SetRuntimeAttrs(L, {{QZ_RTA_QUIET, 1}});
        ready = platform && bench::OpenDisplay(L, kWidth, kHeight, 0x203040);
        VmPushNumber(L, 1);
        VmPushString(L, Files().gif.c_str());
        VmNewTable(L);
        bench::SetField(L, "fromdisk", fromDisk ? 1 : 0);
        ready = ready && bench::Command(L, "loadanim", 3);
    }
    ~Scene() {
        CloseLibraries(L, kLibraries);
        VmClose(L);
    }
    // PlayAnim 1 at 0, 0 once, at the speed given (0: no delay, -4: each frame's own delay).
    bool Play(int speed) {
        VmPushNumber(L, 1);
        VmPushNumber(L, 0);
        VmPushNumber(L, 0);
        VmPushNumber(L, speed);
        VmPushNumber(L, 1);
        return bench::Command(L, "playanim", 5);
    }
};

void Play(benchmark::State& state, bool fromDisk, int speed) {
    Scene scene(fromDisk);
    if (!scene.ready) {
        state.SkipWithError("the scene could not be made");
        return;
    }
    double cpu = 0;
    for (auto _ : state) {
        const double start = CpuSeconds();
        if (!scene.Play(speed)) {
            state.SkipWithError("PlayAnim failed");
            return;
        }
        cpu += CpuSeconds() - start;
    }
    // The process's processor time per run (every thread), beside the real time of the run.
    state.counters["cpu_s_per_run"] = benchmark::Counter(cpu / state.iterations());
}

void BM_PlayMemoryAnim_Fast(benchmark::State& state) { Play(state, false, 0); }
void BM_PlayDiskAnim_Fast(benchmark::State& state) { Play(state, true, 0); }
void BM_PlayMemoryAnim_OwnDelays(benchmark::State& state) { Play(state, false, -4); }
void BM_PlayDiskAnim_OwnDelays(benchmark::State& state) { Play(state, true, -4); }

BENCHMARK(BM_DecodeFrames_Ours)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_DiskAnimFrames_Ours)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_LoadMemoryAnim_Ours)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_GifsicleExplode)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_ImageMagickCoalesce)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_PlayMemoryAnim_Fast)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_PlayDiskAnim_Fast)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_PlayMemoryAnim_OwnDelays)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_PlayDiskAnim_OwnDelays)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// Keeps the runs' times and processor times and prints the ratios after them.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const std::string name = run.run_name.function_name;
            times[name] = run.GetAdjustedRealTime();
            auto cpu = run.counters.find("cpu_s_per_run");
            if (cpu != run.counters.end()) cpuMs[name] = cpu->second.value * 1e3;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-36s %10s %10s %8s\n", "500 frames of 640x480", "ours ms", "tool ms", "ratio");
        Row("decode / gifsicle --explode", "BM_DecodeFrames_Ours", "BM_GifsicleExplode");
        Row("decode / ImageMagick -coalesce", "BM_DecodeFrames_Ours", "BM_ImageMagickCoalesce");
        Row("disk anim frames / gifsicle", "BM_DiskAnimFrames_Ours", "BM_GifsicleExplode");
        Row("disk anim frames / ImageMagick", "BM_DiskAnimFrames_Ours", "BM_ImageMagickCoalesce");
        Row("memory anim load / gifsicle", "BM_LoadMemoryAnim_Ours", "BM_GifsicleExplode");
        Row("memory anim load / ImageMagick", "BM_LoadMemoryAnim_Ours", "BM_ImageMagickCoalesce");
        std::printf("\n%-36s %10s %10s\n", "playing on a headless display", "fps", "cpu share");
        Playing("memory anim, speed 0 (vblank)", "BM_PlayMemoryAnim_Fast");
        Playing("disk anim, speed 0 (vblank)", "BM_PlayDiskAnim_Fast");
        Playing("memory anim, own delays (50 fps)", "BM_PlayMemoryAnim_OwnDelays");
        Playing("disk anim, own delays (50 fps)", "BM_PlayDiskAnim_OwnDelays");
    }

private:
    void Row(const char* label, const char* ours, const char* tool) {
        auto a = times.find(ours), b = times.find(tool);
        if (a == times.end() || b == times.end() || b->second <= 0) return;
        std::printf("%-36s %10.1f %10.1f %8.2f\n", label, a->second, b->second, a->second / b->second);
    }
    void Playing(const char* label, const char* name) {
        auto t = times.find(name), c = cpuMs.find(name);
        if (t == times.end() || t->second <= 0) return;
        const double share = c != cpuMs.end() ? c->second / t->second : 0;
        std::printf("%-36s %10.1f %9.0f%%\n", label, kFrames * 1e3 / t->second, share * 100);
    }
    std::map<std::string, double> times;  // milliseconds a run
    std::map<std::string, double> cpuMs;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Files();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
