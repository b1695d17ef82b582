// The pixel engine's hot paths at 1920x1080 beside pixman and SDL2 doing the same work on the same
// buffers, and beside the memory floor (memset / memcpy of the same bytes): fill, copy, the
// key-colour blit through a 1-bit mask, and the alpha-plane blit (source OVER destination through
// an 8-bit mask, the layer path), each for 32-bit and 16-bit pixels. After the runs a table gives
// each time as a ratio to pixman, SDL and the floor.
#include <benchmark/benchmark.h>

#include <SDL.h>
#include <pixman.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_times.h"
#include "gfx/kernels_blend.h"
#include "gfx/kernels_color.h"
#include "gfx/kernels_copy.h"
#include "gfx/kernels_fill.h"

namespace {

constexpr int kW = 1920, kH = 1080;

// Source and destination images with their 1-bit mask (about a third hidden, in runs as a key
// colour gives them) and 8-bit alpha plane (a mix of transparent, opaque and partial pixels).
struct Images {
    int bytes;
    int maskBytes = ((kW + 15) >> 3) & ~1;
    std::vector<uint32_t> src, dst;
    std::vector<uint8_t> mask, alpha;
    uint32_t key;
    explicit Images(int b)
        : bytes(b),
          src((size_t)kW * kH * b / 4),
          dst(src.size()),
          mask((size_t)maskBytes * kH),
          alpha((size_t)kW * kH) {
        uint32_t seed = 1;
        auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
        key = b == 4 ? 0x00FF00FF : 0xF81F;
        for (int y = 0; y < kH; y++) {
            for (int x = 0; x < kW; x++) {
                bool hidden = ((x / 37 + y / 23) % 3) == 0;
                uint32_t v = hidden ? key : next() >> 8;
                if (b == 4)
                    src[(size_t)y * kW + x] = v;
                else
                    reinterpret_cast<uint16_t*>(src.data())[(size_t)y * kW + x] = (uint16_t)(hidden ? key : v & 0xF7DE);
                uint32_t r = next() >> 24;
                alpha[(size_t)y * kW + x] = (uint8_t)(((x / 64 + y / 16) % 3) == 0   ? 0
                                                      : ((x / 64 + y / 16) % 3) == 1 ? 255
                                                                                     : r);
            }
        }
        for (uint32_t& d : dst) d = next();
        if (b == 4)
            KeyColorToMask32(src.data(), mask.data(), kW, kH, maskBytes, key, kW, 0x00FFFFFF);
        else
            KeyColorToMask16(src.data(), mask.data(), kW, kH, maskBytes, key, kW);
    }
    size_t Bytes() const { return (size_t)kW * kH * bytes; }
};

Images& Get(int bytes) {
    static Images i32(4), i16(2);
    return bytes == 4 ? i32 : i16;
}

pixman_image_t* Wrap(std::vector<uint32_t>& pixels, int bytes) {
    return pixman_image_create_bits(bytes == 4 ? PIXMAN_x8r8g8b8 : PIXMAN_r5g6b5, kW, kH, pixels.data(), kW * bytes);
}

SDL_Surface* Surface(std::vector<uint32_t>& pixels, int bytes, bool alpha = false) {
    uint32_t format = bytes == 2 ? SDL_PIXELFORMAT_RGB565 : alpha ? SDL_PIXELFORMAT_ARGB8888 : SDL_PIXELFORMAT_RGB888;
    return SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), kW, kH, bytes * 8, kW * bytes, format);
}

void Done(benchmark::State& state, int bytes) {
    state.SetBytesProcessed((int64_t)state.iterations() * kW * kH * bytes);
}

// ---- fill

void BM_Fill_Ours(benchmark::State& state) {
    Images& im = Get((int)state.range(0));
    for (auto _ : state) {
        (im.bytes == 4 ? FillRect32 : FillRect16)(im.dst.data(), kW, 0, 0, kW, kH, 0x123456);
        benchmark::ClobberMemory();
    }
    Done(state, im.bytes);
}
void BM_Fill_Pixman(benchmark::State& state) {
    Images& im = Get((int)state.range(0));
    for (auto _ : state) {
        pixman_fill(im.dst.data(), kW * im.bytes / 4, im.bytes * 8, 0, 0, kW, kH, 0x123456);
        benchmark::ClobberMemory();
    }
    Done(state, im.bytes);
}
void BM_Fill_SDL(benchmark::State& state) {
    Images& im = Get((int)state.range(0));
    SDL_Surface* s = Surface(im.dst, im.bytes);
    for (auto _ : state) {
        SDL_FillRect(s, nullptr, 0x123456);
        benchmark::ClobberMemory();
    }
    SDL_FreeSurface(s);
    Done(state, im.bytes);
}
void BM_Fill_Memset(benchmark::State& state) {
    Images& im = Get((int)state.range(0));
    for (auto _ : state) {
        std::memset(im.dst.data(), 0x12, im.Bytes());
        benchmark::ClobberMemory();
    }
    Done(state, im.bytes);
}

// ---- copy

void BM_Copy_Ours(benchmark::State& state) {
    Images& im = Get((int)state.range(0));
    qzCopyJob job{im.src.data(), im.dst.data(), 0, 0, 0, 0, kW, kH, kW, kW, 0, 0};
    for (auto _ : state) {
        (im.bytes == 4 ? CopyPixels32 : CopyPixels16)(&job);
        benchmark::ClobberMemory();
    }
    Done(state, im.bytes);
}
void BM_Copy_Pixman(benchmark::State& state) {
    Images& im = Get((int)state.range(0));
    for (auto _ : state) {
        pixman_blt(im.src.data(), im.dst.data(), kW * im.bytes / 4, kW * im.bytes / 4, im.bytes * 8, im.bytes * 8, 0, 0,
                   0, 0, kW, kH);
        benchmark::ClobberMemory();
    }
    Done(state, im.bytes);
}
void BM_Copy_SDL(benchmark::State& state) {
    Images& im = Get((int)state.range(0));
    SDL_Surface* s = Surface(im.src, im.bytes);
    SDL_Surface* d = Surface(im.dst, im.bytes);
    SDL_SetSurfaceBlendMode(s, SDL_BLENDMODE_NONE);
    for (auto _ : state) {
        SDL_BlitSurface(s, nullptr, d, nullptr);
        benchmark::ClobberMemory();
    }
    SDL_FreeSurface(s);
    SDL_FreeSurface(d);
    Done(state, im.bytes);
}
void BM_Copy_Memcpy(benchmark::State& state) {
    Images& im = Get((int)state.range(0));
    for (auto _ : state) {
        std::memcpy(im.dst.data(), im.src.data(), im.Bytes());
        benchmark::ClobberMemory();
    }
    Done(state, im.bytes);
}

// ---- key-colour blit: copy where the 1-bit mask is set

void BM_KeyBlit_Ours(benchmark::State& state) {
    Images& im = Get((int)state.range(0));
    for (auto _ : state) {
        if (im.bytes == 4)
            CopyPixelsMasked32(im.src.data(), im.dst.data(), im.mask.data(), 0, 0, 0, 0, kW, kH, kW, im.maskBytes, kW,
                               0);
        else
            CopyPixelsMasked16(im.src.data(), im.dst.data(), im.mask.data(), 0, 0, 0, 0, kW, kH, kW, im.maskBytes, kW);
        benchmark::ClobberMemory();
    }
    Done(state, im.bytes);
}
void BM_KeyBlit_Pixman(benchmark::State& state) {
    // An opaque source OVER the destination through a 1-bit mask is the same keyed copy.
    Images& im = Get((int)state.range(0));
    std::vector<uint32_t> a1(((kW + 31) / 32) * kH);
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW; x++)
            if (im.mask[(size_t)y * im.maskBytes + x / 8] & (0x80 >> (x & 7)))
                a1[(size_t)y * ((kW + 31) / 32) + x / 32] |= 1u << (x & 31);
    pixman_image_t* s = Wrap(im.src, im.bytes);
    pixman_image_t* d = Wrap(im.dst, im.bytes);
    pixman_image_t* m = pixman_image_create_bits(PIXMAN_a1, kW, kH, a1.data(), ((kW + 31) / 32) * 4);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_OVER, s, m, d, 0, 0, 0, 0, 0, 0, kW, kH);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(s);
    pixman_image_unref(d);
    pixman_image_unref(m);
    Done(state, im.bytes);
}
void BM_KeyBlit_SDL(benchmark::State& state) {
    Images& im = Get((int)state.range(0));
    SDL_Surface* s = Surface(im.src, im.bytes, true);
    SDL_Surface* d = Surface(im.dst, im.bytes, true);
    SDL_SetSurfaceBlendMode(s, SDL_BLENDMODE_NONE);
    SDL_SetColorKey(s, SDL_TRUE, im.key);
    for (auto _ : state) {
        SDL_BlitSurface(s, nullptr, d, nullptr);
        benchmark::ClobberMemory();
    }
    SDL_FreeSurface(s);
    SDL_FreeSurface(d);
    Done(state, im.bytes);
}

// ---- alpha-plane blit: source OVER destination through an 8-bit mask

void BM_AlphaBlit_Ours(benchmark::State& state) {
    Images& im = Get((int)state.range(0));
    int format = im.bytes == 4 ? 10 : 4;
    for (auto _ : state) {
        (im.bytes == 4 ? AlphaBlendPixels32 : AlphaBlendPixels16)(im.src.data(), im.alpha.data(), im.dst.data(), 0, 0,
                                                                  0, 0, kW, kH, kW, kW, kW, format);
        benchmark::ClobberMemory();
    }
    Done(state, im.bytes);
}
void BM_AlphaBlit_Pixman(benchmark::State& state) {
    Images& im = Get((int)state.range(0));
    pixman_image_t* s = Wrap(im.src, im.bytes);
    pixman_image_t* d = Wrap(im.dst, im.bytes);
    pixman_image_t* m = pixman_image_create_bits(PIXMAN_a8, kW, kH, reinterpret_cast<uint32_t*>(im.alpha.data()), kW);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_OVER, s, m, d, 0, 0, 0, 0, 0, 0, kW, kH);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(s);
    pixman_image_unref(d);
    pixman_image_unref(m);
    Done(state, im.bytes);
}
void BM_AlphaBlit_SDL(benchmark::State& state) {
    // SDL has no separate alpha plane: its nearest equivalent blends an ARGB source by its own
    // alpha (32-bit only).
    Images& im = Get(4);
    std::vector<uint32_t> argb = im.src;
    for (size_t i = 0; i < argb.size(); i++) argb[i] = (argb[i] & 0xFFFFFF) | (uint32_t)im.alpha[i] << 24;
    SDL_Surface* s = Surface(argb, 4, true);
    SDL_Surface* d = Surface(im.dst, 4);
    SDL_SetSurfaceBlendMode(s, SDL_BLENDMODE_BLEND);
    for (auto _ : state) {
        SDL_BlitSurface(s, nullptr, d, nullptr);
        benchmark::ClobberMemory();
    }
    SDL_FreeSurface(s);
    SDL_FreeSurface(d);
    Done(state, 4);
}

// Keeps every run's time for the ratio table.
}  // namespace

#define QZ_BENCH(name) BENCHMARK(name)->Arg(4)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()
QZ_BENCH(BM_Fill_Ours);
QZ_BENCH(BM_Fill_Pixman);
QZ_BENCH(BM_Fill_SDL);
QZ_BENCH(BM_Fill_Memset);
QZ_BENCH(BM_Copy_Ours);
QZ_BENCH(BM_Copy_Pixman);
QZ_BENCH(BM_Copy_SDL);
QZ_BENCH(BM_Copy_Memcpy);
QZ_BENCH(BM_KeyBlit_Ours);
QZ_BENCH(BM_KeyBlit_Pixman);
QZ_BENCH(BM_KeyBlit_SDL);
QZ_BENCH(BM_AlphaBlit_Ours);
QZ_BENCH(BM_AlphaBlit_Pixman);
BENCHMARK(BM_AlphaBlit_SDL)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-10s %5s %9s %9s %9s %9s %10s %10s %10s\n", "operation", "bits", "ours ms", "pixman", "SDL",
                "floor", "ours/pix", "ours/SDL", "ours/floor");
    for (const char* op : {"Fill", "Copy", "KeyBlit", "AlphaBlit"}) {
        for (int bytes : {4, 2}) {
            auto get = [&](const char* who) {
                auto it = reporter.times.find(std::string("BM_") + op + "_" + who + "/" + std::to_string(bytes));
                return it == reporter.times.end() ? 0.0 : it->second;
            };
            double ours = get("Ours"), pixman = get("Pixman"), sdl = get("SDL");
            // The floor of every operation but the fill is a memcpy of the same bytes.
            double floor = std::strcmp(op, "Fill") == 0 ? get("Memset") : 0;
            if (floor == 0) {
                auto it = reporter.times.find("BM_Copy_Memcpy/" + std::to_string(bytes));
                floor = it == reporter.times.end() ? 0.0 : it->second;
            }
            if (ours == 0) continue;
            auto ratio = [&](double other) { return other > 0 ? ours / other : 0.0; };
            std::printf("%-10s %5d %9.3f %9.3f %9.3f %9.3f %10.2f %10.2f %10.2f\n", op, bytes * 8, ours, pixman, sdl,
                        floor, ratio(pixman), ratio(sdl), ratio(floor));
        }
    }
    benchmark::Shutdown();
    return 0;
}
