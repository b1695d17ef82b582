#include "gfx/transform_pixels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "gfx/kernel_dispatch.h"
#include "gfx/mask_bits.h"
#include "gfx/pixel_access.h"

using namespace pixel_access;

namespace {

constexpr double kEps = 1e-10;

// Narrows [lo, hi] to the destination columns of one row whose source coordinate
// v(x) = k*x + v0 lies inside 0..size. Returns false when the row is empty.
bool NarrowSpan(double k, double v0, int size, double& lo, double& hi) {
    if (k > kEps) {
        lo = std::max(lo, std::ceil(-v0 / k + kEps - 0.5));
        hi = std::min(hi, std::ceil((size - v0) / k - kEps - 0.5));
    } else if (k < -kEps) {
        lo = std::max(lo, std::ceil((size - v0) / k + kEps - 0.5));
        hi = std::min(hi, std::ceil(-v0 / k - kEps - 0.5));
    } else if (v0 < 0 || v0 >= size) {
        return false;
    }
    return true;
}

struct Inverse {
    double p, q, r, s, t, u;
};

inline int Clamp(int64_t v, int hi) { return v < 0 ? 0 : (v > hi ? hi : (int)v); }
// Truncates toward zero, saturating far outside any bitmap (NaN goes low) so that a neighbour
// one further is still representable.
inline int64_t Trunc(double v) {
    constexpr double kLimit = 4.0e18;
    if (!(v > -kLimit && v < kLimit)) return v > 0 ? (int64_t)kLimit : -(int64_t)kLimit;
    return (int64_t)v;
}

// Calls fn(y, xStart, xEnd) for every destination row span that maps into the source, rows in
// increasing order.
template <typename SpanFn>
void ForEachRowSpan(const qzTransformJob* j, const Inverse& m, SpanFn&& fn) {
    const double W = j->srcWidth, H = j->srcHeight;
    const double xs[4] = {0, W, W, 0}, ys[4] = {0, 0, H, H};
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (int k = 0; k < 4; k++) {
        double x = j->a * xs[k] + j->c * ys[k] + j->e;
        double y = j->b * xs[k] + j->d * ys[k] + j->f;
        minX = k == 0 ? x : std::min(minX, x);
        maxX = k == 0 ? x : std::max(maxX, x);
        minY = k == 0 ? y : std::min(minY, y);
        maxY = k == 0 ? y : std::max(maxY, y);
    }
    const int dw = j->dstWidth, dh = j->dstHeight;
    double yStart = std::max(0.0, std::ceil(minY - 0.5));
    double yEnd = std::floor((maxY >= dh ? dh - 1 : maxY) + 0.5);
    yEnd = std::min(yEnd, (double)(dh - 1));
    if (!(yEnd >= yStart)) return;
    for (int y = (int)yStart; y <= (int)yEnd; y++) {
        double lo = minX, hi = maxX;
        if (!NarrowSpan(m.p, m.q * (y + 0.5) + m.r, j->srcWidth, lo, hi)) continue;
        if (!NarrowSpan(m.s, m.t * (y + 0.5) + m.u, j->srcHeight, lo, hi)) continue;
        if (lo > hi) continue;
        double xStart = std::max(0.0, std::ceil(lo - 0.5));
        if (hi >= dw) hi = dw - 1;
        double xEnd = std::min(std::floor(hi + 0.5), (double)(dw - 1));
        if (xEnd < xStart) continue;
        fn(y, (int)xStart, (int)xEnd);
    }
}

// Nearest sampling writes colour pixels when both sides have them, of 2 or 4 bytes.
bool NearestWritesColour(const qzTransformJob* j) {
    return j->srcPixels && j->dstPixels && (j->bytesPerPixel == 2 || j->bytesPerPixel == 4);
}

// The colour pixels outside the covered spans are set to 0: asked for, and nearest sampling writes
// colour pixels.
bool ClearsUncovered(const qzTransformJob* j) { return j->clearUncovered && !j->smooth && NearestWritesColour(j); }

// Sets the colour pixels x0..x1 of destination row y to 0 (nothing for an empty range).
void ClearColourRun(const qzTransformJob* j, int y, int x0, int x1) {
    if (x1 < x0) return;
    const int bpp = j->bytesPerPixel;
    std::memset((uint8_t*)j->dstPixels + ((int64_t)y * j->dstRowLength + x0) * bpp, 0, (size_t)(x1 - x0 + 1) * bpp);
}

// Calls fn(y, xStart, xEnd) for every destination row span that maps into the source; with
// clear the colour pixels of every row outside its span are set to 0.
template <typename SpanFn>
void ForEachSpan(const qzTransformJob* j, const Inverse& m, SpanFn&& fn, bool clear = false) {
    if (clear) {
        int covered = 0;  // rows below this one are cleared or spanned
        ForEachRowSpan(j, m, [&](int y, int x0, int x1) {
            for (; covered < y; covered++) ClearColourRun(j, covered, 0, j->dstWidth - 1);
            ClearColourRun(j, y, 0, x0 - 1);
            fn(y, x0, x1);
            ClearColourRun(j, y, x1 + 1, j->dstWidth - 1);
            covered = y + 1;
        });
        for (; covered < j->dstHeight; covered++) ClearColourRun(j, covered, 0, j->dstWidth - 1);
        return;
    }
    ForEachRowSpan(j, m, fn);
}

// What a nearest span writes besides the colour: the source mask bit, else the source alpha
// byte, else (no planes in the source) a set mask bit for every covered pixel.
enum class NearestPlanes { None, Mask, Alpha, Covered };

// One destination row span of nearest sampling. The source position is computed per pixel with
// the same expression everywhere (m.p * x + m.q * y + m.r), so that rounding never depends on the
// span; the branches on what is written are taken once per span.
template <typename T, bool Colour, NearestPlanes Planes>
void NearestSpan(const qzTransformJob* j, const Inverse& m, int y, int x0, int x1) {
    const int wMax = j->srcWidth - 1, hMax = j->srcHeight - 1;
    const double qy = m.q * y, ty = m.t * y;
    T* dst = Colour ? (T*)j->dstPixels + (int64_t)y * j->dstRowLength : nullptr;
    const T* src = (const T*)j->srcPixels;
    const int64_t srcRowLength = j->srcRowLength;  // a local: the pixel stores could alias the job
    uint8_t* dstMask = j->dstMask ? j->dstMask + (int64_t)y * j->dstMaskBytesPerRow : nullptr;
    uint8_t* dstAlpha = j->dstAlpha ? j->dstAlpha + (int64_t)y * j->dstAlphaBytesPerRow : nullptr;
    if (Planes == NearestPlanes::Covered) {
        SetMaskBitRun(dstMask, x0, x1);
        if (!Colour) return;
    }
    for (int x = x0; x <= x1; x++) {
        const double sx = m.p * x + qy + m.r, sy = m.s * x + ty + m.u;
        const int ix = Clamp(Trunc(sx), wMax), iy = Clamp(Trunc(sy), hMax);
        if (Colour) dst[x] = src[iy * srcRowLength + ix];
        if (Planes == NearestPlanes::Mask)
            PutMaskBit(dstMask, x,
                       GetMaskBit(j->srcMask + (int64_t)iy * j->srcMaskBytesPerRow, (int64_t)ix + j->srcMaskBitOffset));
        else if (Planes == NearestPlanes::Alpha)
            dstAlpha[x] = j->srcAlpha[(int64_t)iy * j->srcAlphaBytesPerRow + ix];
    }
}

template <typename T, bool Colour>
void NearestSpansWith(const qzTransformJob* j, const Inverse& m) {
    NearestPlanes planes = NearestPlanes::None;
    if (j->srcMask)
        planes = j->dstMask ? NearestPlanes::Mask : NearestPlanes::None;
    else if (j->srcAlpha)
        planes = j->dstAlpha ? NearestPlanes::Alpha : NearestPlanes::None;
    else if (j->dstMask)
        planes = NearestPlanes::Covered;
    const bool clear = ClearsUncovered(j);
    switch (planes) {
    case NearestPlanes::None:
        if (Colour)
            ForEachSpan(
                j, m, [&](int y, int x0, int x1) { NearestSpan<T, Colour, NearestPlanes::None>(j, m, y, x0, x1); },
                clear);
        break;
    case NearestPlanes::Mask:
        ForEachSpan(
            j, m, [&](int y, int x0, int x1) { NearestSpan<T, Colour, NearestPlanes::Mask>(j, m, y, x0, x1); }, clear);
        break;
    case NearestPlanes::Alpha:
        ForEachSpan(
            j, m, [&](int y, int x0, int x1) { NearestSpan<T, Colour, NearestPlanes::Alpha>(j, m, y, x0, x1); }, clear);
        break;
    case NearestPlanes::Covered:
        ForEachSpan(
            j, m, [&](int y, int x0, int x1) { NearestSpan<T, Colour, NearestPlanes::Covered>(j, m, y, x0, x1); },
            clear);
        break;
    }
}

template <typename T>
void NearestSpans(const qzTransformJob* j, const Inverse& m) {
    if (NearestWritesColour(j))
        NearestSpansWith<T, true>(j, m);
    else
        NearestSpansWith<T, false>(j, m);
}

// The 2x2 weighting of the smooth path: v00 and v01 on the upper row, v10 and v11 below it.
QZ_INLINE int Mix2x2(double fx, double fy, int v00, int v01, int v10, int v11) {
    return (int)((1 - fy) * ((1 - fx) * v00 + fx * v01) + fy * ((1 - fx) * v10 + fx * v11) + 0.5);
}

// One span of smooth sampling from a source without mask or alpha channel: every pixel mixes its
// four neighbours, with the same arithmetic as the general path below.
struct PlainSpan {
    const uint8_t* src;
    int64_t srcRowLength;
    int wMax, hMax;
    uint8_t* dstRow;
};

template <int F>
QZ_INLINE void SmoothPlainPixel(const PlainSpan& s, const Inverse& m, int y, int x) {
    constexpr int bpp = FormatBytes(F);
    const double sx = m.p * x + m.q * y + m.r, sy = m.s * x + m.t * y + m.u;
    const int64_t tx = Trunc(sx), ty = Trunc(sy);
    const int64_t c0 = Clamp(tx, s.wMax), c1 = Clamp(tx + 1, s.wMax);
    const uint8_t* top = s.src + Clamp(ty, s.hMax) * s.srcRowLength * bpp;
    const uint8_t* bottom = s.src + Clamp(ty + 1, s.hMax) * s.srcRowLength * bpp;
    int rgb[4][3];
    ReadRGB<F>(top + c0 * bpp, rgb[0][0], rgb[0][1], rgb[0][2]);
    ReadRGB<F>(top + c1 * bpp, rgb[1][0], rgb[1][1], rgb[1][2]);
    ReadRGB<F>(bottom + c0 * bpp, rgb[2][0], rgb[2][1], rgb[2][2]);
    ReadRGB<F>(bottom + c1 * bpp, rgb[3][0], rgb[3][1], rgb[3][2]);
    const double fx = sx - std::floor(sx), fy = sy - std::floor(sy);
    WriteRGB<F>(s.dstRow + (int64_t)x * bpp, Mix2x2(fx, fy, rgb[0][0], rgb[1][0], rgb[2][0], rgb[3][0]),
                Mix2x2(fx, fy, rgb[0][1], rgb[1][1], rgb[2][1], rgb[3][1]),
                Mix2x2(fx, fy, rgb[0][2], rgb[1][2], rgb[2][2], rgb[3][2]));
}

template <int F>
void SmoothPlainSpan(const PlainSpan& s, const Inverse& m, int y, int x0, int x1) {
    for (int x = x0; x <= x1; x++) SmoothPlainPixel<F>(s, m, y, x);
}

#if defined(__x86_64__) || defined(__i386__)
// Four pixels a turn: the positions, neighbours and weights in double lanes, each operation the
// one the scalar pixel does in the same order, so the results are the same to the bit. A
// position is truncated and clamped as a double (max before min, so that NaN clamps to 0), which
// gives the neighbour columns and rows Clamp(Trunc(v)) and Clamp(Trunc(v) + 1) give.
template <int F>
QZ_TARGET_AVX2 void SmoothPlainSpanAvx2(const PlainSpan& s, const Inverse& m, int y, int x0, int x1) {
    constexpr int bpp = FormatBytes(F);
    const __m256d p = _mm256_set1_pd(m.p), qyr = _mm256_set1_pd(m.q * y), r = _mm256_set1_pd(m.r);
    const __m256d sv = _mm256_set1_pd(m.s), tyu = _mm256_set1_pd(m.t * y), u = _mm256_set1_pd(m.u);
    const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0), half = _mm256_set1_pd(0.5);
    const __m256d wMax = _mm256_set1_pd(s.wMax), hMax = _mm256_set1_pd(s.hMax);
    const __m256d steps = _mm256_setr_pd(0, 1, 2, 3);
    int x = x0;
    for (; x + 3 <= x1; x += 4) {
        const __m256d xv = _mm256_add_pd(_mm256_set1_pd(x), steps);
        const __m256d sx = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(p, xv), qyr), r);
        const __m256d sy = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(sv, xv), tyu), u);
        const __m256d tx = _mm256_round_pd(sx, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
        const __m256d ty = _mm256_round_pd(sy, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
        alignas(16) int32_t c0[4], c1[4], r0[4], r1[4];
        _mm_store_si128((__m128i*)c0, _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(tx, zero), wMax)));
        _mm_store_si128((__m128i*)c1,
                        _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(_mm256_add_pd(tx, one), zero), wMax)));
        _mm_store_si128((__m128i*)r0, _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(ty, zero), hMax)));
        _mm_store_si128((__m128i*)r1,
                        _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(_mm256_add_pd(ty, one), zero), hMax)));
        // rgb[channel][neighbour][lane]
        alignas(16) int32_t rgb[3][4][4];
        for (int k = 0; k < 4; k++) {
            const uint8_t* top = s.src + (int64_t)r0[k] * s.srcRowLength * bpp;
            const uint8_t* bottom = s.src + (int64_t)r1[k] * s.srcRowLength * bpp;
            ReadRGB<F>(top + (int64_t)c0[k] * bpp, rgb[0][0][k], rgb[1][0][k], rgb[2][0][k]);
            ReadRGB<F>(top + (int64_t)c1[k] * bpp, rgb[0][1][k], rgb[1][1][k], rgb[2][1][k]);
            ReadRGB<F>(bottom + (int64_t)c0[k] * bpp, rgb[0][2][k], rgb[1][2][k], rgb[2][2][k]);
            ReadRGB<F>(bottom + (int64_t)c1[k] * bpp, rgb[0][3][k], rgb[1][3][k], rgb[2][3][k]);
        }
        const __m256d fx = _mm256_sub_pd(sx, _mm256_floor_pd(sx)), fy = _mm256_sub_pd(sy, _mm256_floor_pd(sy));
        const __m256d gx = _mm256_sub_pd(one, fx), gy = _mm256_sub_pd(one, fy);
        alignas(16) int32_t out[3][4];
        for (int c = 0; c < 3; c++) {
            __m256d v00 = _mm256_cvtepi32_pd(_mm_load_si128((const __m128i*)rgb[c][0]));
            __m256d v01 = _mm256_cvtepi32_pd(_mm_load_si128((const __m128i*)rgb[c][1]));
            __m256d v10 = _mm256_cvtepi32_pd(_mm_load_si128((const __m128i*)rgb[c][2]));
            __m256d v11 = _mm256_cvtepi32_pd(_mm_load_si128((const __m128i*)rgb[c][3]));
            const __m256d upper = _mm256_add_pd(_mm256_mul_pd(gx, v00), _mm256_mul_pd(fx, v01));
            const __m256d lower = _mm256_add_pd(_mm256_mul_pd(gx, v10), _mm256_mul_pd(fx, v11));
            const __m256d v = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(gy, upper), _mm256_mul_pd(fy, lower)), half);
            _mm_store_si128((__m128i*)out[c], _mm256_cvttpd_epi32(v));
        }
        for (int k = 0; k < 4; k++) WriteRGB<F>(s.dstRow + (int64_t)(x + k) * bpp, out[0][k], out[1][k], out[2][k]);
    }
    for (; x <= x1; x++) SmoothPlainPixel<F>(s, m, y, x);
}
#else
template <int F>
void SmoothPlainSpanAvx2(const PlainSpan& s, const Inverse& m, int y, int x0, int x1) {
    SmoothPlainSpan<F>(s, m, y, x0, x1);
}
#endif

template <int F>
void SmoothSpans(const qzTransformJob* j, const Inverse& m) {
    constexpr int bpp = FormatBytes(F);
    const int wMax = j->srcWidth - 1, hMax = j->srcHeight - 1;
    const bool colour = j->srcPixels && j->dstPixels;
    const uint8_t* src = (const uint8_t*)j->srcPixels;
    if (colour && !j->srcAlpha && !j->srcMask) {
        // Every neighbour is visible: each covered pixel is written and, with a destination
        // mask, shown.
        auto span = CpuHasAvx2() ? SmoothPlainSpanAvx2<F> : SmoothPlainSpan<F>;
        ForEachSpan(j, m, [&](int y, int x0, int x1) {
            const PlainSpan s{src, j->srcRowLength, wMax, hMax,
                              (uint8_t*)j->dstPixels + (int64_t)y * j->dstRowLength * bpp};
            span(s, m, y, x0, x1);
            if (j->dstMask) SetMaskBitRun(j->dstMask + (int64_t)y * j->dstMaskBytesPerRow, x0, x1);
        });
        return;
    }
    ForEachSpan(j, m, [&](int y, int x0, int x1) {
        uint8_t* dstRow = colour ? (uint8_t*)j->dstPixels + (int64_t)y * j->dstRowLength * bpp : nullptr;
        for (int x = x0; x <= x1; x++) {
            const double sx = m.p * x + m.q * y + m.r, sy = m.s * x + m.t * y + m.u;
            const int64_t tx = Trunc(sx), ty = Trunc(sy);
            const int cols[2] = {Clamp(tx, wMax), Clamp(tx + 1, wMax)};
            const int rows[2] = {Clamp(ty, hMax), Clamp(ty + 1, hMax)};
            bool hidden[4] = {false, false, false, false};
            int alpha[4] = {0, 0, 0, 0};
            int rgb[4][3] = {};
            int firstOpaque = -1;
            for (int k = 0; k < 4; k++) {
                const int cx = cols[k & 1], cy = rows[k >> 1];
                if (j->srcAlpha)
                    alpha[k] = j->srcAlpha[(int64_t)cy * j->srcAlphaBytesPerRow + cx];
                else if (j->srcMask)
                    hidden[k] = !GetMaskBit(j->srcMask + (int64_t)cy * j->srcMaskBytesPerRow,
                                            (int64_t)cx + j->srcMaskBitOffset);
                if (!hidden[k]) {
                    if (colour)
                        ReadRGB<F>(src + ((int64_t)cy * j->srcRowLength + cx) * bpp, rgb[k][0], rgb[k][1], rgb[k][2]);
                    if (firstOpaque < 0) firstOpaque = k;
                }
            }
            if (!j->srcAlpha) {
                if (firstOpaque < 0) {
                    if (j->dstMask) ClearMaskBit(j->dstMask + (int64_t)y * j->dstMaskBytesPerRow, x);
                    continue;
                }
                for (int k = 0; k < 4; k++)
                    if (hidden[k])
                        for (int c = 0; c < 3; c++) rgb[k][c] = rgb[firstOpaque][c];
            }
            const double fx = sx - std::floor(sx), fy = sy - std::floor(sy);
            auto mix = [&](int v00, int v01, int v10, int v11) { return Mix2x2(fx, fy, v00, v01, v10, v11); };
            if (colour)
                WriteRGB<F>(dstRow + (int64_t)x * bpp, mix(rgb[0][0], rgb[1][0], rgb[2][0], rgb[3][0]),
                            mix(rgb[0][1], rgb[1][1], rgb[2][1], rgb[3][1]),
                            mix(rgb[0][2], rgb[1][2], rgb[2][2], rgb[3][2]));
            if (j->srcAlpha && j->dstAlpha)
                j->dstAlpha[(int64_t)y * j->dstAlphaBytesPerRow + x] =
                    (uint8_t)mix(alpha[0], alpha[1], alpha[2], alpha[3]);
            if (j->srcMask) {
                if (j->dstMask)
                    PutMaskBit(j->dstMask + (int64_t)y * j->dstMaskBytesPerRow, x,
                               GetMaskBit(j->srcMask + (int64_t)rows[0] * j->srcMaskBytesPerRow,
                                          (int64_t)cols[0] + j->srcMaskBitOffset));
            } else if (!j->srcAlpha && j->dstMask) {
                SetMaskBit(j->dstMask + (int64_t)y * j->dstMaskBytesPerRow, x);
            }
        }
    });
}

}  // namespace

void TransformPixels(const qzTransformJob* j) {
    if (!j || j->dstWidth <= 0 || j->dstHeight <= 0) return;
    // Nothing covered: a destination the kernel was to clear is cleared all over.
    auto clearAll = [j] {
        if (ClearsUncovered(j))
            for (int y = 0; y < j->dstHeight; y++) ClearColourRun(j, y, 0, j->dstWidth - 1);
    };
    if (j->srcWidth <= 0 || j->srcHeight <= 0) return clearAll();
    const double det = j->a * j->d - j->c * j->b;
    if (det == 0 || !std::isfinite(det)) return clearAll();
    Inverse m;
    m.p = j->d / det;
    m.q = -j->c / det;
    m.s = -j->b / det;
    m.t = j->a / det;
    m.r = (j->c * j->f - j->d * j->e) / det;
    m.u = (j->b * j->e - j->a * j->f) / det;
    if (!std::isfinite(m.p) || !std::isfinite(m.q) || !std::isfinite(m.r) || !std::isfinite(m.s) ||
        !std::isfinite(m.t) || !std::isfinite(m.u))
        return clearAll();
    if (!j->smooth) {
        if (j->bytesPerPixel == 2)
            NearestSpans<uint16_t>(j, m);
        else
            NearestSpans<uint32_t>(j, m);
        return;
    }
    bool known = DispatchRgbFormat(j->pixelFormat, [&](auto f) { SmoothSpans<decltype(f)::value>(j, m); });
    if (!known) {
        qzTransformJob planes = *j;
        planes.srcPixels = nullptr;
        planes.dstPixels = nullptr;
        SmoothSpans<10>(&planes, m);
    }
}

void PlaceTransformMatrix(double a, double b, double c, double d, int width, int height, double* e, double* f) {
    const double xs[4] = {0, (double)width, (double)width, 0}, ys[4] = {0, 0, (double)height, (double)height};
    double minX = 0, minY = 0;
    for (int k = 0; k < 4; k++) {
        const double x = a * xs[k] + c * ys[k], y = b * xs[k] + d * ys[k];
        minX = k == 0 ? x : std::min(minX, x);
        minY = k == 0 ? y : std::min(minY, y);
    }
    // The kernel samples at the destination pixel's corner and tests rows at their centre; a
    // quarter-pixel shift keeps whole source positions strictly inside both, whichever way the
    // matrix turns an axis.
    *e = -minX - 0.25;
    *f = -minY - 0.25;
}
