#include "gfx/kernels_flood.h"

#include <cstring>
#include <initializer_list>

#include "base/error_codes.h"
#include "platform/os_alloc.h"

namespace {

struct Seed {
    int32_t x, y;
};

// A stack of pending seeds: a small local block first, then heap blocks that double.
class SeedStack {
public:
    ~SeedStack() {
        if (seeds_ != local_) OsFree(seeds_);
    }
    bool Push(int32_t x, int32_t y) {
        if (count_ == capacity_ && !Grow()) return false;
        seeds_[count_++] = Seed{x, y};
        return true;
    }
    bool Pop(Seed* seed) {
        if (count_ == 0) return false;
        *seed = seeds_[--count_];
        return true;
    }

private:
    bool Grow() {
        size_t capacity = capacity_ * 2;
        auto* seeds = static_cast<Seed*>(OsAlloc(capacity * sizeof(Seed), 0));
        if (!seeds) return false;
        std::memcpy(seeds, seeds_, count_ * sizeof(Seed));
        if (seeds_ != local_) OsFree(seeds_);
        seeds_ = seeds;
        capacity_ = capacity;
        return true;
    }
    Seed local_[256];
    Seed* seeds_ = local_;
    size_t count_ = 0;
    size_t capacity_ = 256;
};

}  // namespace

// `boundary(p)` tells a boundary pixel, `blocked(p)` a pixel that seeds no run (boundary or
// already the fill colour).
template <typename Pixel, typename Boundary, typename Blocked>
static int Flood(const qzFloodFillJob* job, int x, int y, Pixel fill, Boundary boundary, Blocked blocked) {
    int64_t left = job->left, top = job->top;
    int64_t right = left + job->width - 1, bottom = top + job->height - 1;
    if (job->width < 1 || job->height < 1 || x < left || x > right || y < top || y > bottom) return 0;
    Pixel* base = static_cast<Pixel*>(job->pixels);
    SeedStack stack;
    stack.Push(x, y);
    Seed seed;
    while (stack.Pop(&seed)) {
        Pixel* row = base + (int64_t)seed.y * job->rowLength;
        if (boundary(row[seed.x])) continue;
        int64_t lx = seed.x, rx = seed.x;
        row[lx] = fill;
        while (lx - 1 >= left && !boundary(row[lx - 1])) row[--lx] = fill;
        while (rx + 1 <= right && !boundary(row[rx + 1])) row[++rx] = fill;
        for (int64_t ny : {(int64_t)seed.y - 1, (int64_t)seed.y + 1}) {
            if (ny < top || ny > bottom) continue;
            const Pixel* next = base + ny * job->rowLength;
            bool inRun = false;
            for (int64_t i = lx; i <= rx; i++) {
                if (blocked(next[i])) {
                    inRun = false;
                } else if (!inRun) {
                    if (!stack.Push((int32_t)i, (int32_t)ny)) return ERR_MEM;
                    inRun = true;
                }
            }
        }
    }
    return 0;
}

int FloodFill32(const qzFloodFillJob* job, int x, int y, uint32_t compareMask) {
    uint32_t boundary = job->boundary, fill = job->fill & compareMask;
    return Flood<uint32_t>(
        job, x, y, job->fill, [=](uint32_t p) { return (p & compareMask) == boundary; },
        [=](uint32_t p) { return (p & compareMask) == boundary || (p & compareMask) == fill; });
}

int FloodFill16(const qzFloodFillJob* job, int x, int y) {
    uint16_t boundary = (uint16_t)job->boundary, fill = (uint16_t)job->fill;
    return Flood<uint16_t>(
        job, x, y, fill, [=](uint16_t p) { return p == boundary; },
        [=](uint16_t p) { return p == boundary || p == fill; });
}
