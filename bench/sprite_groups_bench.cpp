// 200 sprites of 64 x 64 with a round alpha channel moving over a 1920x1080 picture on a headless
// display: one frame moves every sprite one step with DisplaySprite, which redraws only the
// rectangles the sprites leave and enter. sprite_groups_compare.py runs pygame's sprite groups on
// the same scene (the same paths) beside this and prints the ratio; the scene is written here and
// there by the same rules.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "bench_display.h"
#include "display/display.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_lock.h"
#include "libs/bgpic/bgpic_lib.h"
#include "libs/brush/brush_lib.h"
#include "libs/display/display_lib.h"
#include "libs/event/event_lib.h"
#include "libs/graphics/graphics.h"
#include "libs/layers/layers_lib.h"
#include "libs/sprite/sprite_lib.h"
#include "libs/system/system.h"
#include "platform/host/event_loop.h"
#include "runtime/library.h"
#include "runtime/runtime.h"
#include "sprite/sprite.h"
#include "sprite/sprite_screen.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

constexpr int kW = 1920, kH = 1080, kSide = 64, kSprites = 200;

// A sprite's place and velocity; it bounces off the picture's edges.
struct Mover {
    int32_t x, y, dx, dy;
};

// The start of every sprite: a fixed pseudo-random spread, speeds 1..4 in both axes.
std::vector<Mover> StartMovers() {
    std::vector<Mover> movers;
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t range) {
        seed = seed * 1103515245u + 12345u;
        return int32_t((seed >> 16) % range);
    };
    for (int i = 0; i < kSprites; i++) {
        Mover m;
        m.x = next(kW - kSide);
        m.y = next(kH - kSide);
        m.dx = (next(4) + 1) * (next(2) ? 1 : -1);
        m.dy = (next(4) + 1) * (next(2) ? 1 : -1);
        movers.push_back(m);
    }
    return movers;
}

void Step(Mover* m) {
    m->x += m->dx;
    m->y += m->dy;
    if (m->x < 0 || m->x > kW - kSide) {
        m->dx = -m->dx;
        m->x += 2 * m->dx;
    }
    if (m->y < 0 || m->y > kH - kSide) {
        m->dy = -m->dy;
        m->y += 2 * m->dy;
    }
}

// The picture: a colour ramp with a grid, so that every redraw copies pixels that differ.
uint32_t PicturePixel(int x, int y) {
    const uint32_t r = uint32_t(x * 255 / kW), g = uint32_t(y * 255 / kH), b = (x / 40 + y / 40) % 2 ? 160u : 60u;
    return r << 16 | g << 8 | b;
}

// Sprite i: a colour per sprite, alpha 255 inside a circle, a soft rim, 0 outside.
uint32_t SpriteColour(int i) { return 0x3060A0u * uint32_t(i % 5 + 1) & 0xFFFFFFu; }
uint8_t SpriteAlpha(int x, int y) {
    const int dx = 2 * x - kSide + 1, dy = 2 * y - kSide + 1, d = dx * dx + dy * dy, r = kSide * kSide;
    if (d <= r * 3 / 4) return 255;
    if (d <= r) return 128;
    return 0;
}

const qzLibraryDescriptor* const kLibraries[] = {&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary,
                                                 &qzDisplayLibrary,  &qzBrushLibrary, &qzBGPicLibrary,
                                                 &qzSpriteLibrary,   nullptr};

// The player with a headless 1920x1080 display showing the picture and the 200 sprites at their
// start.
struct Scene {
    VmState* L = nullptr;
    bool ready = false;
    std::vector<Mover> movers = StartMovers();

    Scene() {
        const bool platform = bench::StartHeadless();
        L = VmOpen();
        OpenLibraries(L, kLibraries);
        ready = platform && bench::OpenDisplay(L, kW, kH);
        qzDisplay* display = CurrentDisplay();
        // The picture is drawn into the display (what sprites are redrawn over).
        ready = ready && display && display->displayBuffer;
        if (ready) {
            BitMapLock lock(display->displayBuffer, 0);
            for (int y = 0; y < kH; y++) {
                uint32_t* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lock.info.pixels) +
                                                            size_t(y) * lock.info.rowLength * 4);
                for (int x = 0; x < kW; x++) row[x] = PicturePixel(x, y);
            }
        }
        for (int i = 0; ready && i < kSprites; i++) {
            qzSpriteFrame frame;
            frame.bitmap = CreateBitMap(kSide, kSide, 0, nullptr);
            frame.alpha = CreateAlphaBitMap(kSide, kSide, 1, nullptr, 0);
            {
                BitMapLock colour(frame.bitmap, 0), plane(frame.alpha, 0);
                for (int y = 0; y < kSide; y++) {
                    uint32_t* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(colour.info.pixels) +
                                                                size_t(y) * colour.info.rowLength * 4);
                    uint8_t* alpha = static_cast<uint8_t*>(plane.info.pixels) + size_t(y) * plane.info.rowLength;
                    for (int x = 0; x < kSide; x++) {
                        row[x] = SpriteColour(i) ^ uint32_t(x * 2);
                        alpha[x] = SpriteAlpha(x, y);
                    }
                }
            }
            qzSprite* sprite = nullptr;
            ready = AddSprite({i + 1, nullptr}, kSide, kSide, {frame}, &sprite) == 0;
        }
        RefreshSpriteRect(L, CurrentDisplay(), 0, 0, kW, kH);
        for (int i = 0; ready && i < kSprites; i++)
            ready = DrawSpriteFrame(L, {i + 1, nullptr}, movers[size_t(i)].x, movers[size_t(i)].y, 1) == 0;
    }
    ~Scene() {
        CloseLibraries(L, kLibraries);
        VmClose(L);
    }

    // One frame: every sprite one step on, as a script's DisplaySprite does.
    bool Frame() {
        for (int i = 0; i < kSprites; i++) {
            Mover& m = movers[size_t(i)];
            Step(&m);
            VmPushNumber(L, i + 1);
            VmPushNumber(L, m.x);
            VmPushNumber(L, m.y);
            if (!bench::Command(L, "displaysprite", 3)) return false;
        }
        return true;
    }
};

void BM_SpriteFrame_200x64(benchmark::State& state) {
    Scene scene;
    if (!scene.ready) {
        state.SkipWithError("the scene could not be made");
        return;
    }
    for (auto _ : state) {
        if (!scene.Frame()) {
            state.SkipWithError("DisplaySprite failed");
            return;
        }
    }
}
BENCHMARK(BM_SpriteFrame_200x64)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
