#include "gfx/int_sqrt.h"

namespace {

// T[i] = floor(16 * sqrt(i)), the largest t with t * t <= 256 * i.
struct RootTable {
    int t[256];
    constexpr RootTable() : t() {
        int r = 0;
        for (int i = 0; i < 256; i++) {
            while ((r + 1) * (r + 1) <= 256 * i) r++;
            t[i] = r;
        }
    }
};

constexpr RootTable kRoot;

}  // namespace

int32_t IntSqrt(int32_t v) {
    const int* T = kRoot.t;
    if (v < 0) return -1;
    if (v < 256) return T[v] >> 4;
    int32_t e;
    if (v < (1 << 16)) {
        if (v < 1024)
            e = (T[v >> 2] >> 3) + 1;
        else if (v < 4096)
            e = (T[v >> 4] >> 2) + 1;
        else if (v < 16384)
            e = (T[v >> 6] >> 1) + 1;
        else
            e = T[v >> 8] + 1;
    } else if (v < (1 << 24)) {
        if (v < (1 << 18))
            e = T[v >> 10] * 2;
        else if (v < (1 << 20))
            e = T[v >> 12] * 4;
        else if (v < (1 << 22))
            e = T[v >> 14] * 8;
        else
            e = T[v >> 16] * 16;
        e = (e + v / e + 1) >> 1;
    } else {
        if (v < (1 << 26))
            e = T[v >> 18] * 32;
        else if (v < (1 << 28))
            e = T[v >> 20] * 64;
        else if (v < (1 << 30))
            e = T[v >> 22] * 128;
        else
            e = T[v >> 24] * 256;
        e = (e + v / e + 1) >> 1;
        e = (e + v / e + 1) >> 1;
    }
    // The square is taken in 64 bits: near 2^31 the estimate squared exceeds a 32-bit int.
    return (int64_t)e * e > v ? e - 1 : e;
}
