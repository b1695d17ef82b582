#include "gfx/yuv_convert.h"

#include "gfx/pixel_access.h"

namespace {

inline int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// The exact integer form of studio-range BT.601; 32-bit signed, truncating division.
inline int RedOf(int y, int v) { return Clamp255((1904000 * y + 2609823 * v - 363703744) / 1635200); }
inline int GreenOf(int y, int u, int v) {
    return Clamp255((3827562 * y - 1287801 * u - 2672387 * v + 447306710) / 3287200);
}
inline int BlueOf(int y, int u) { return Clamp255((952000 * y + 1649289 * u - 225932192) / 817600); }

template <int F>
inline void StorePixel(uint8_t* p, int r, int g, int b) {
    if constexpr (F == 8) {
        p[0] = (uint8_t)r;
        p[1] = (uint8_t)g;
        p[2] = (uint8_t)b;
    } else if constexpr (F == 9) {
        p[0] = (uint8_t)b;
        p[1] = (uint8_t)g;
        p[2] = (uint8_t)r;
    } else {
        pixel_access::WriteRGB<F>(p, r, g, b);
    }
}

template <int F>
constexpr int Bytes() {
    return F <= 7 ? 2 : (F <= 9 ? 3 : 4);
}

// The sample terms of one block of pixels: Y alone, and the chroma terms each pixel shares with
// its neighbour. Split out so that the division loop below runs over plain arrays.
struct YuvBlock {
    static constexpr int kSize = 64;
    int32_t y[kSize], redV[kSize], greenUV[kSize], blueU[kSize];
    int32_t r[kSize], g[kSize], b[kSize];
    void Sample(int i, int yy, int u, int v) {
        y[i] = yy;
        redV[i] = 2609823 * v - 363703744;
        greenUV[i] = -1287801 * u - 2672387 * v + 447306710;
        blueU[i] = 1649289 * u - 225932192;
    }
};

// R, G, B of a block: the same integer arithmetic as RedOf, GreenOf and BlueOf, in a loop the
// compiler vectorises (divisions by constants become multiplies); built for AVX2 too and picked
// at run time where the processor has it.
__attribute__((target_clones("avx2", "default"))) void ComputeBlock(YuvBlock* k, int n) {
    for (int i = 0; i < n; i++) {
        k->r[i] = Clamp255((1904000 * k->y[i] + k->redV[i]) / 1635200);
        k->g[i] = Clamp255((3827562 * k->y[i] + k->greenUV[i]) / 3287200);
        k->b[i] = Clamp255((952000 * k->y[i] + k->blueU[i]) / 817600);
    }
}

template <int F>
void StoreBlock(const YuvBlock& k, uint8_t* dst, int n) {
    for (int i = 0; i < n; i++, dst += Bytes<F>()) StorePixel<F>(dst, k.r[i], k.g[i], k.b[i]);
}

// One destination row from sample rows: Y at column x, U and V at x / 2.
template <int F>
void ConvertRow(const uint8_t* ys, const uint8_t* us, const uint8_t* vs, uint8_t* dst, int width) {
    YuvBlock k;
    for (int x0 = 0; x0 < width; x0 += YuvBlock::kSize) {
        const int n = width - x0 < YuvBlock::kSize ? width - x0 : YuvBlock::kSize;
        for (int i = 0; i < n; i++) {
            const int x = x0 + i;
            k.Sample(i, ys[x], us[x >> 1], vs[x >> 1]);
        }
        ComputeBlock(&k, n);
        StoreBlock<F>(k, dst + (int64_t)x0 * Bytes<F>(), n);
    }
}

// One scaled destination row: sample columns from a 16.16 position advanced by `step`, Y at
// pos >> 16 and U, V at pos >> 17, eight pixels a turn after the odd ones.
template <int F>
void ScaleRow(const uint8_t* ys, const uint8_t* us, const uint8_t* vs, uint8_t* dst, int width, int64_t step) {
    YuvBlock k;
    int64_t pos = 0;
    for (int x0 = 0; x0 < width; x0 += YuvBlock::kSize) {
        const int n = width - x0 < YuvBlock::kSize ? width - x0 : YuvBlock::kSize;
        int i = 0;
        for (int lead = n & 7; i < lead; i++, pos += step) k.Sample(i, ys[pos >> 16], us[pos >> 17], vs[pos >> 17]);
        for (; i < n; i += 8)
            for (int u = 0; u < 8; u++, pos += step) k.Sample(i + u, ys[pos >> 16], us[pos >> 17], vs[pos >> 17]);
        ComputeBlock(&k, n);
        StoreBlock<F>(k, dst + (int64_t)x0 * Bytes<F>(), n);
    }
}

template <typename Fn>
bool DispatchYuvFormat(int format, Fn&& fn) {
    if (format == 8) {
        fn(std::integral_constant<int, 8>{});
        return true;
    }
    if (format == 9) {
        fn(std::integral_constant<int, 9>{});
        return true;
    }
    return pixel_access::DispatchRgbFormat(format, fn);
}

bool JobUsable(const qzYuvJob* j) {
    return j && j->planes && j->pitches && j->dstPixels && j->planes[0] && j->planes[1] && j->planes[2] &&
           j->srcWidth > 0 && j->srcHeight > 0;
}

}  // namespace

void YuvToRgb(int y, int u, int v, int* r, int* g, int* b) {
    *r = RedOf(y, v);
    *g = GreenOf(y, u, v);
    *b = BlueOf(y, u);
}

void ConvertYUVToPixels(const qzYuvJob* j) {
    if (!JobUsable(j)) return;
    DispatchYuvFormat(j->pixelFormat, [&](auto f) {
        constexpr int F = decltype(f)::value;
        if (j->bytesPerPixel != Bytes<F>()) return;
        for (int y = 0; y < j->srcHeight; y++) {
            const uint8_t* ys = j->planes[0] + (int64_t)y * j->pitches[0];
            const uint8_t* us = j->planes[1] + (int64_t)(y >> 1) * j->pitches[1];
            const uint8_t* vs = j->planes[2] + (int64_t)(y >> 1) * j->pitches[2];
            uint8_t* dst = (uint8_t*)j->dstPixels + (int64_t)y * j->dstStride * Bytes<F>();
            ConvertRow<F>(ys, us, vs, dst, j->srcWidth);
        }
    });
}

void ScaleYUVToPixels(const qzYuvJob* j) {
    if (!JobUsable(j) || j->dstWidth <= 0 || j->dstHeight <= 0) return;
    const int64_t step = (int64_t)((float)j->srcWidth / (float)j->dstWidth * 65536.0);
    const float rowStep = (float)j->srcHeight / (float)j->dstHeight;
    DispatchYuvFormat(j->pixelFormat, [&](auto f) {
        constexpr int F = decltype(f)::value;
        float acc = 0.0f;
        int row = 0;
        for (int y = 0; y < j->dstHeight; y++) {
            const uint8_t* ys = j->planes[0] + (int64_t)row * j->pitches[0];
            const uint8_t* us = j->planes[1] + (int64_t)(row >> 1) * j->pitches[1];
            const uint8_t* vs = j->planes[2] + (int64_t)(row >> 1) * j->pitches[2];
            uint8_t* dst = (uint8_t*)j->dstPixels + (int64_t)y * j->dstStride * Bytes<F>();
            ScaleRow<F>(ys, us, vs, dst, j->dstWidth, step);
            // The float row accumulator can round past the last row on big up-scales.
            acc += rowStep;
            row = (int)acc;
            if (row > j->srcHeight - 1) row = j->srcHeight - 1;
        }
    });
}
