// Presenting a display picture into its window: a full 1920 x 1080 frame and a 100 x 100 dirty
// rectangle, unscaled and scaled 1.5x, through MacBltBitMap into the window's framebuffer (the
// headless driver: the framebuffer is the window), beside one memcpy of the same pixels; and the
// whole road to the screen under the SDL driver (the blit plus the presentation of the event
// pass), beside SDL_UpdateTexture + SDL_RenderCopy of the same frame on a bare SDL window with
// the same renderer. SDL runs with its dummy video driver.
#include <benchmark/benchmark.h>

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/pixel_format_codes.h"
#include "bench_times.h"
#include "platform/host/backend_draw.h"
#include "platform/host/backend_window.h"
#include "platform/host/event_loop.h"

namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
constexpr int32_t kSmallWidth = 1280;  // scaled 1.5x to the full frame
constexpr int32_t kSmallHeight = 720;
constexpr int32_t kDirty = 100;

struct Picture {
    std::vector<uint32_t> pixels;
    qzLockInfo lock{};
    Picture(int32_t width, int32_t height) {
        pixels.resize(size_t(width) * height);
        for (size_t i = 0; i < pixels.size(); i++) pixels[i] = uint32_t(i * 2654435761u);
        lock = {pixels.data(), 1, PIXFMT_ARGB32, 4, width, width, height, 1, nullptr};
    }
};

Picture& Full() {
    static Picture p(kWidth, kHeight);
    return p;
}

Picture& Small() {
    static Picture p(kSmallWidth, kSmallHeight);
    return p;
}

// A platform with one window of the full size, for the time of one benchmark.
struct Window {
    qzMacWindow* record = nullptr;
    bool ok = false;
    explicit Window(const char* driver) {
        setenv("QUARNELIX_DRIVER", driver, 1);
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        std::string message;
        if (MacInitPlatform(&message) != 0) {
            std::fprintf(stderr, "%s\n", message.c_str());
            return;
        }
        MacAllocWindowRecord(nullptr, nullptr, &record);
        qzBackendDisplayFrame f;
        f.width = kWidth;
        f.height = kHeight;
        f.flags = 1;  // borderless
        ok = MacOpenDisplay(record, f, 1, nullptr) == 0;
        MacFlushDisplay(record);
    }
    ~Window() {
        MacFreeWindowRecord(record);
        MacShutdownPlatform();
    }
};

enum Kind { kFullFrame, kDirtyRect, kScaledFrame, kScaledDirty };

void Blit(qzMacWindow* r, Kind kind, int32_t step) {
    // The dirty rectangle wanders so that it is not always the same cache lines.
    int32_t x = (step * 97) % (kSmallWidth - kDirty), y = (step * 53) % (kSmallHeight - kDirty);
    switch (kind) {
    case kFullFrame: MacBltBitMap(&Full().lock, 0, 0, r, 0, 0, kWidth, kHeight, 0, 0, 0); break;
    case kDirtyRect: MacBltBitMap(&Full().lock, x, y, r, x, y, kDirty, kDirty, 0, 0, 0); break;
    case kScaledFrame: MacBltBitMap(&Small().lock, 0, 0, r, 0, 0, kSmallWidth, kSmallHeight, kWidth, kHeight, 0); break;
    case kScaledDirty:
        BltScaledPart(&Small().lock, kSmallWidth, kSmallHeight, x, y, kDirty, kDirty, r, kWidth, kHeight, 0);
        break;
    }
}

template <Kind kind>
void BM_Blit(benchmark::State& state) {
    Window w("headless");
    if (!w.ok) {
        state.SkipWithError("no window");
        return;
    }
    int32_t step = 0;
    for (auto _ : state) {
        Blit(w.record, kind, step++);
        benchmark::ClobberMemory();
    }
}

template <Kind kind>
void BM_BlitAndPresentSdl(benchmark::State& state) {
    Window w("sdl");
    if (!w.ok) {
        state.SkipWithError("no window");
        return;
    }
    int32_t step = 0;
    for (auto _ : state) {
        Blit(w.record, kind, step++);
        HostPresentWindows();
    }
}

void BM_Memcpy(benchmark::State& state) {
    const size_t pixels = size_t(state.range(0)) * size_t(state.range(1));
    std::vector<uint32_t> to(pixels);
    for (auto _ : state) {
        std::memcpy(to.data(), Full().pixels.data(), pixels * 4);
        benchmark::ClobberMemory();
    }
}

// SDL_UpdateTexture + SDL_RenderCopy on a bare window with the renderer the driver uses.
void BM_SdlUpdateAndCopy(benchmark::State& state) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        state.SkipWithError(SDL_GetError());
        return;
    }
    SDL_Window* window = SDL_CreateWindow("bench", 0, 0, kWidth, kHeight, 0);
    SDL_Renderer* renderer = window ? SDL_CreateRenderer(window, -1, 0) : nullptr;
    SDL_Texture* texture =
        renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, kWidth, kHeight)
                 : nullptr;
    if (!texture) {
        state.SkipWithError(SDL_GetError());
    } else {
        const int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
        SDL_Rect rect = {0, 0, w, h};
        for (auto _ : state) {
            SDL_UpdateTexture(texture, &rect, Full().pixels.data(), kWidth * 4);
            SDL_RenderCopy(renderer, texture, nullptr, nullptr);
        }
    }
    if (texture) SDL_DestroyTexture(texture);
    if (renderer) SDL_DestroyRenderer(renderer);
    if (window) SDL_DestroyWindow(window);
    SDL_Quit();
}

BENCHMARK(BM_Memcpy)->Args({kWidth, kHeight})->Name("memcpy/full");
BENCHMARK(BM_Memcpy)->Args({kDirty, kDirty})->Name("memcpy/dirty");
BENCHMARK(BM_Blit<kFullFrame>)->Name("MacBltBitMap/full");
BENCHMARK(BM_Blit<kDirtyRect>)->Name("MacBltBitMap/dirty");
BENCHMARK(BM_Blit<kScaledFrame>)->Name("MacBltBitMap/scaled-full");
BENCHMARK(BM_Blit<kScaledDirty>)->Name("BltScaledPart/scaled-dirty");
BENCHMARK(BM_SdlUpdateAndCopy)->Args({kWidth, kHeight})->Name("SDL_UpdateTexture+RenderCopy/full");
BENCHMARK(BM_SdlUpdateAndCopy)->Args({kDirty, kDirty})->Name("SDL_UpdateTexture+RenderCopy/dirty");
BENCHMARK(BM_BlitAndPresentSdl<kFullFrame>)->Name("sdl-present/full");
BENCHMARK(BM_BlitAndPresentSdl<kDirtyRect>)->Name("sdl-present/dirty");
BENCHMARK(BM_BlitAndPresentSdl<kScaledFrame>)->Name("sdl-present/scaled-full");
BENCHMARK(BM_BlitAndPresentSdl<kScaledDirty>)->Name("sdl-present/scaled-dirty");

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    benchmark::Shutdown();
    auto ratio = [&](const char* label, const char* ours, const char* theirs) {
        double a = recorder.times[ours], b = recorder.times[theirs];
        if (a > 0 && b > 0) std::printf("%-52s %6.2fx (%.0f / %.0f ns)\n", label, a / b, a, b);
    };
    // Runs with arguments carry them in their names.
    const char* memcpyFull = "memcpy/full/1920/1080";
    const char* memcpyDirty = "memcpy/dirty/100/100";
    const char* sdlFull = "SDL_UpdateTexture+RenderCopy/full/1920/1080";
    const char* sdlDirty = "SDL_UpdateTexture+RenderCopy/dirty/100/100";
    ratio("full frame, MacBltBitMap / memcpy:", "MacBltBitMap/full", memcpyFull);
    ratio("dirty 100x100, MacBltBitMap / memcpy:", "MacBltBitMap/dirty", memcpyDirty);
    ratio("scaled 1.5x full frame, MacBltBitMap / memcpy:", "MacBltBitMap/scaled-full", memcpyFull);
    ratio("scaled 1.5x dirty, BltScaledPart / memcpy:", "BltScaledPart/scaled-dirty", memcpyDirty);
    ratio("scaled 1.5x dirty / scaled full frame:", "BltScaledPart/scaled-dirty", "MacBltBitMap/scaled-full");
    ratio("full frame to the screen, ours / SDL:", "sdl-present/full", sdlFull);
    ratio("dirty 100x100 to the screen, ours / SDL same rect:", "sdl-present/dirty", sdlDirty);
    ratio("scaled full frame to the screen, ours / SDL full:", "sdl-present/scaled-full", sdlFull);
    ratio("scaled dirty to the screen, ours / SDL same rect:", "sdl-present/scaled-dirty", sdlDirty);
    return 0;
}
