// The platform event loop: the wake-up latency from a post on another thread to the main
// thread's return from MacWaitEvents, beside a bare condition-variable hand-off in the same run;
// and the cost of MacHandleEvents with nothing pending, beside SDL's own SDL_PollEvent.
#include <benchmark/benchmark.h>

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench_times.h"
#include "platform/host/event_loop.h"
#include "platform/host/host.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSamples = 2000;

struct Latency {
    double median = 0;
    double p99 = 0;
};
Latency gOurs, gBare;

bool StartPlatform(const char* driver) {
    setenv("QUARNELIX_DRIVER", driver, 1);
    if (std::string(driver) == "sdl") setenv("SDL_VIDEODRIVER", "dummy", 1);
    std::string message;
    return MacInitPlatform(&message) == 0;
}

Latency Summarise(std::vector<double>& us) {
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[us.size() * 99 / 100]};
}

// One hand-off protocol for both: the poster waits until the waiter announced that it is about
// to block, gives it 100 us to get there, stamps the time and posts. `wait` returns the time
// at which the wait returned (anything it does after that is not counted).
template <typename Wait, typename Post>
Latency Measure(Wait wait, Post post) {
    std::atomic<int> round{-1};
    std::atomic<int64_t> postedAt{0};
    std::vector<double> us;
    us.reserve(kSamples);
    std::thread poster([&] {
        for (int i = 0; i < kSamples; i++) {
            while (round.load() != i) std::this_thread::yield();
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            postedAt.store(Clock::now().time_since_epoch().count());
            post();
        }
    });
    for (int i = 0; i < kSamples; i++) {
        round.store(i);
        int64_t woke = wait();
        us.push_back(double(woke - postedAt.load()) / 1000.0);
    }
    poster.join();
    return Summarise(us);
}

void Report(benchmark::State& state, const Latency& l) {
    state.counters["median_us"] = l.median;
    state.counters["p99_us"] = l.p99;
}

void BM_WakeLatency(benchmark::State& state) {
    if (!StartPlatform("headless")) {
        state.SkipWithError("platform did not start");
        return;
    }
    for (auto _ : state) {
        gOurs = Measure(
            [] {
                MacWaitEvents();
                int64_t woke = Clock::now().time_since_epoch().count();
                int error = 0;
                MacHandleEvents(nullptr, &error);  // takes the wake-up
                return woke;
            },
            [] { MacForceEventLoopIteration(); });
    }
    Report(state, gOurs);
    MacShutdownPlatform();
}

void BM_CondVarHandOff(benchmark::State& state) {
    std::mutex mutex;
    std::condition_variable cond;
    bool flag = false;
    for (auto _ : state) {
        gBare = Measure(
            [&] {
                std::unique_lock<std::mutex> lock(mutex);
                cond.wait(lock, [&] { return flag; });
                int64_t woke = Clock::now().time_since_epoch().count();
                flag = false;
                return woke;
            },
            [&] {
                std::lock_guard<std::mutex> lock(mutex);
                flag = true;
                cond.notify_one();
            });
    }
    Report(state, gBare);
}

void BM_WakeLatencySdlDummy(benchmark::State& state) {
    if (!StartPlatform("sdl")) {
        state.SkipWithError("SDL did not start");
        return;
    }
    Latency l;
    for (auto _ : state) {
        l = Measure(
            [] {
                MacWaitEvents();
                int64_t woke = Clock::now().time_since_epoch().count();
                int error = 0;
                MacHandleEvents(nullptr, &error);
                return woke;
            },
            [] { MacForceEventLoopIteration(); });
    }
    Report(state, l);
    MacShutdownPlatform();
}

// MacHandleEvents as the event pump calls it: nothing pending, most calls within 10 ms of the
// last full pass.
template <const char* Driver>
void BM_HandleEventsIdle(benchmark::State& state) {
    if (!StartPlatform(Driver)) {
        state.SkipWithError("platform did not start");
        return;
    }
    int error = 0;
    for (auto _ : state) benchmark::DoNotOptimize(MacHandleEvents(nullptr, &error));
    MacShutdownPlatform();
}

// A full pass every call: a wake-up is queued before each call, so none is skipped.
void BM_HandleEventsFullPass(benchmark::State& state) {
    if (!StartPlatform("headless")) {
        state.SkipWithError("platform did not start");
        return;
    }
    int error = 0;
    for (auto _ : state) {
        MacForceEventLoopIteration();
        benchmark::DoNotOptimize(MacHandleEvents(nullptr, &error));
    }
    MacShutdownPlatform();
}

void BM_SdlPollEventIdle(benchmark::State& state) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        state.SkipWithError("SDL did not start");
        return;
    }
    SDL_Event e;
    for (auto _ : state) benchmark::DoNotOptimize(SDL_PollEvent(&e));
    SDL_Quit();
}

constexpr char kHeadless[] = "headless";
constexpr char kSdl[] = "sdl";

}  // namespace

BENCHMARK(BM_WakeLatency)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CondVarHandOff)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WakeLatencySdlDummy)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HandleEventsIdle<kHeadless>)->Name("BM_HandleEventsIdle/headless");
BENCHMARK(BM_HandleEventsIdle<kSdl>)->Name("BM_HandleEventsIdle/sdl-dummy");
BENCHMARK(BM_HandleEventsFullPass);
BENCHMARK(BM_SdlPollEventIdle);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    benchmark::Shutdown();
    double idle = recorder.times["BM_HandleEventsIdle/sdl-dummy"];
    double poll = recorder.times["BM_SdlPollEventIdle"];
    if (idle > 0 && poll > 0)
        std::printf("idle MacHandleEvents (SDL driver) / SDL_PollEvent: %.2fx (%.1f / %.1f ns)\n", idle / poll, idle,
                    poll);
    if (gBare.median > 0 && gBare.p99 > 0)
        std::printf(
            "wake-up latency, ours / condition variable: median %.2fx (%.1f / %.1f us), "
            "p99 %.2fx (%.1f / %.1f us)\n",
            gOurs.median / gBare.median, gOurs.median, gBare.median, gOurs.p99 / gBare.p99, gOurs.p99, gBare.p99);
    return 0;
}
