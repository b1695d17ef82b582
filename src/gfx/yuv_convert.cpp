#include "gfx/yuv_convert.h"

#include <cstring>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "gfx/kernel_dispatch.h"
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

#if defined(__x86_64__) || defined(__i386__)
constexpr int CeilLog2(uint32_t d) {
    int s = 0;
    while ((1u << s) < d) s++;
    return s;
}

// floor(n / D) for 0 <= n < 2^30 as (n * M) >> S in eight 32-bit lanes: with S = 30 + ceil(log2 D)
// and M = ceil(2^S / D), M * D - 2^S is below D <= 2^(S - 30), which keeps the product's excess
// under one unit for every such n. M stays below 2^32, the product below 2^62.
template <uint32_t D>
QZ_TARGET_AVX2 QZ_INLINE __m256i DivideLanes(__m256i n) {
    constexpr int S = 30 + CeilLog2(D);
    constexpr uint64_t M = ((uint64_t(1) << S) + D - 1) / D;
    static_assert(M < (uint64_t(1) << 32));
    const __m256i m = _mm256_set1_epi64x((int64_t)M);
    const __m256i even = _mm256_srli_epi64(_mm256_mul_epu32(n, m), S);
    const __m256i odd = _mm256_srli_epi64(_mm256_mul_epu32(_mm256_srli_epi64(n, 32), m), S);
    return _mm256_or_si256(even, _mm256_slli_epi64(odd, 32));
}

// Clamp255(n / D) of C's truncating division: a negative n gives 0, and n is held below 256 * D
// (under 2^30 for all three divisors) before the division, whose result is then held to 255.
template <uint32_t D>
QZ_TARGET_AVX2 QZ_INLINE __m256i ChannelLanes(__m256i n) {
    static_assert(uint64_t(256) * D < (uint64_t(1) << 30));
    n = _mm256_min_epi32(_mm256_max_epi32(n, _mm256_setzero_si256()), _mm256_set1_epi32((int)(256 * D)));
    return _mm256_min_epi32(DivideLanes<D>(n), _mm256_set1_epi32(255));
}

QZ_TARGET_AVX2 QZ_INLINE __m256i MulLanes(__m256i a, int k) { return _mm256_mullo_epi32(a, _mm256_set1_epi32(k)); }

// R, G, B of eight pixels from their Y, U and V samples (32-bit lanes): RedOf, GreenOf and BlueOf.
QZ_TARGET_AVX2 QZ_INLINE void RgbLanes(__m256i y, __m256i u, __m256i v, __m256i* r, __m256i* g, __m256i* b) {
    *r = ChannelLanes<1635200>(
        _mm256_add_epi32(_mm256_add_epi32(MulLanes(y, 1904000), MulLanes(v, 2609823)), _mm256_set1_epi32(-363703744)));
    *g = ChannelLanes<3287200>(_mm256_add_epi32(
        _mm256_add_epi32(_mm256_sub_epi32(MulLanes(y, 3827562), MulLanes(u, 1287801)), MulLanes(v, -2672387)),
        _mm256_set1_epi32(447306710)));
    *b = ChannelLanes<817600>(
        _mm256_add_epi32(_mm256_add_epi32(MulLanes(y, 952000), MulLanes(u, 1649289)), _mm256_set1_epi32(-225932192)));
}

// Stores eight pixels of channels 0..255: 32-bit formats packed in the lanes, the others one by
// one.
template <int F>
QZ_TARGET_AVX2 QZ_INLINE void StoreLanes(uint8_t* dst, __m256i r, __m256i g, __m256i b) {
    if constexpr (F >= 10) {
        constexpr int rs = F == 10 ? 16 : F == 11 ? 8 : F == 12 ? 24 : 0;
        constexpr int gs = F == 10 ? 8 : F == 11 ? 16 : F == 12 ? 16 : 8;
        constexpr int bs = F == 10 ? 0 : F == 11 ? 24 : F == 12 ? 8 : 16;
        const __m256i w = _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi32(r, rs), _mm256_slli_epi32(g, gs)),
                                          _mm256_slli_epi32(b, bs));
        _mm256_storeu_si256((__m256i*)dst, w);
    } else {
        alignas(32) int32_t rr[8], gg[8], bb[8];
        _mm256_store_si256((__m256i*)rr, r);
        _mm256_store_si256((__m256i*)gg, g);
        _mm256_store_si256((__m256i*)bb, b);
        for (int i = 0; i < 8; i++) StorePixel<F>(dst + i * Bytes<F>(), rr[i], gg[i], bb[i]);
    }
}

// ConvertRow eight pixels a turn: Y from eight bytes, U and V from four each, every one doubled.
template <int F>
QZ_TARGET_AVX2 void ConvertRowAvx2(const uint8_t* ys, const uint8_t* us, const uint8_t* vs, uint8_t* dst, int width) {
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        uint32_t u4, v4;
        std::memcpy(&u4, us + (x >> 1), 4);
        std::memcpy(&v4, vs + (x >> 1), 4);
        const __m128i uu = _mm_cvtsi32_si128((int)u4), vv = _mm_cvtsi32_si128((int)v4);
        const __m256i y = _mm256_cvtepu8_epi32(_mm_loadl_epi64((const __m128i*)(ys + x)));
        const __m256i u = _mm256_cvtepu8_epi32(_mm_unpacklo_epi8(uu, uu));
        const __m256i v = _mm256_cvtepu8_epi32(_mm_unpacklo_epi8(vv, vv));
        __m256i r, g, b;
        RgbLanes(y, u, v, &r, &g, &b);
        StoreLanes<F>(dst + (int64_t)x * Bytes<F>(), r, g, b);
    }
    for (; x < width; x++) {
        const int u = us[x >> 1], v = vs[x >> 1];
        StorePixel<F>(dst + (int64_t)x * Bytes<F>(), RedOf(ys[x], v), GreenOf(ys[x], u, v), BlueOf(ys[x], u));
    }
}

// ScaleRow with the samples of eight pixels gathered first and converted together.
template <int F>
QZ_TARGET_AVX2 void ScaleRowAvx2(const uint8_t* ys, const uint8_t* us, const uint8_t* vs, uint8_t* dst, int width,
                                 int64_t step) {
    int64_t pos = 0;
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        alignas(32) int32_t y8[8], u8[8], v8[8];
        for (int i = 0; i < 8; i++, pos += step) {
            y8[i] = ys[pos >> 16];
            u8[i] = us[pos >> 17];
            v8[i] = vs[pos >> 17];
        }
        __m256i r, g, b;
        RgbLanes(_mm256_load_si256((const __m256i*)y8), _mm256_load_si256((const __m256i*)u8),
                 _mm256_load_si256((const __m256i*)v8), &r, &g, &b);
        StoreLanes<F>(dst + (int64_t)x * Bytes<F>(), r, g, b);
    }
    for (; x < width; x++, pos += step) {
        const int y = ys[pos >> 16], u = us[pos >> 17], v = vs[pos >> 17];
        StorePixel<F>(dst + (int64_t)x * Bytes<F>(), RedOf(y, v), GreenOf(y, u, v), BlueOf(y, u));
    }
}
#endif

// One destination row from sample rows: Y at column x, U and V at x / 2.
template <int F>
void ConvertRow(const uint8_t* ys, const uint8_t* us, const uint8_t* vs, uint8_t* dst, int width) {
#if defined(__x86_64__) || defined(__i386__)
    if (CpuHasAvx2()) return ConvertRowAvx2<F>(ys, us, vs, dst, width);
#endif
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
#if defined(__x86_64__) || defined(__i386__)
    if (CpuHasAvx2()) return ScaleRowAvx2<F>(ys, us, vs, dst, width, step);
#endif
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
