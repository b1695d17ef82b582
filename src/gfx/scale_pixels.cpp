#include "gfx/scale_pixels.h"

#include <cstring>

#include <immintrin.h>

#include "base/error_codes.h"
#include "gfx/kernel_dispatch.h"
#include "gfx/mask_bits.h"
#include "gfx/pixel_access.h"
#include "platform/os_alloc.h"

using namespace pixel_access;

namespace {

bool HasSizes(const qzScaleJob* j) {
    return j->srcWidth > 0 && j->srcHeight > 0 && j->dstWidth > 0 && j->dstHeight > 0;
}

// The 16.16 column step of the nearest path: the single-precision ratio times 65536, truncated.
int64_t NearestStep(float xRatio) { return (int64_t)(xRatio * 65536.0f); }

// Walks the destination rows of the nearest path, handing each the source row to read. The row
// accumulator is a float; on big up-scales its rounding can run past the last row, which is
// where the walk stops.
template <typename RowFn>
void ForEachNearestRow(int srcHeight, int dstHeight, float yRatio, RowFn&& fn) {
    float acc = 0.0f;
    int srcRow = 0;
    for (int j = 0; j < dstHeight; j++) {
        fn(j, srcRow);
        acc += yRatio;
        srcRow = (int)acc;
        if (srcRow > srcHeight - 1) srcRow = srcHeight - 1;
    }
}

template <typename T>
void NearestRows(const qzScaleJob* j, float xRatio, float yRatio) {
    const int64_t step = NearestStep(xRatio);
    const int dw = j->dstWidth;
    ForEachNearestRow(j->srcHeight, j->dstHeight, yRatio, [&](int dy, int sy) {
        const T* src = (const T*)j->srcPixels + (int64_t)sy * j->srcRowLength;
        T* dst = (T*)j->dstPixels + (int64_t)dy * j->dstRowLength;
        int64_t acc = 0;
        int i = 0;
        for (; i + 8 <= dw; i += 8) {
            dst[i] = src[acc >> 16];
            dst[i + 1] = src[(acc + step) >> 16];
            dst[i + 2] = src[(acc + 2 * step) >> 16];
            dst[i + 3] = src[(acc + 3 * step) >> 16];
            dst[i + 4] = src[(acc + 4 * step) >> 16];
            dst[i + 5] = src[(acc + 5 * step) >> 16];
            dst[i + 6] = src[(acc + 6 * step) >> 16];
            dst[i + 7] = src[(acc + 7 * step) >> 16];
            acc += 8 * step;
        }
        for (; i < dw; i++, acc += step) dst[i] = src[acc >> 16];
    });
}

// Fills one pair of step tables for `count` samples: advance[i] whole source pixels between
// sample i - 1 and i, fraction[i] the 16-bit position within the pixel.
void FillStepTable(int64_t step, int count, int32_t* advances, int32_t* fractions) {
    int64_t acc = 0;
    for (int i = 0; i <= count; i++) {
        advances[i] = (int32_t)(acc >> 16);
        fractions[i] = (int32_t)(acc & 0xFFFF);
        acc = step + (acc & 0xFFFF);
    }
}

inline int Lerp16(int a, int b, int f) { return a + ((f * (b - a)) >> 16); }

// a + ((f * (b - a)) >> 16) in eight 16-bit lanes, exactly: the signed high multiply sees f as
// f - 65536 when f >= 32768, which `high` (all ones there) adds back as one more b - a.
inline __m128i Lerp16x8(__m128i a, __m128i b, __m128i f, __m128i high) {
    const __m128i d = _mm_sub_epi16(b, a);
    return _mm_add_epi16(_mm_add_epi16(a, _mm_mulhi_epi16(f, d)), _mm_and_si128(high, d));
}

// Column weights i and i + 1 (each below 65536) spread over four 16-bit lanes each.
inline __m128i PairWeights(const int32_t* fractions) {
    const __m128i f = _mm_loadl_epi64((const __m128i*)fractions);
    return _mm_unpacklo_epi64(_mm_shufflelo_epi16(f, _MM_SHUFFLE(0, 0, 0, 0)),
                              _mm_shufflelo_epi16(f, _MM_SHUFFLE(2, 2, 2, 2)));
}

// One row of the smooth path for 4-byte pixels: the interpolation is the same on every byte lane
// whatever the format, and the alpha byte of the result is cleared. Needs a right neighbour
// (source width > 1): each load takes a pixel and the one after it.
void SmoothRow32(const uint8_t* top, const uint8_t* bottom, uint32_t* dst, int width, const int32_t* colFractions,
                 const int32_t* colAdvances, int fy, uint32_t keep) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i wy = _mm_set1_epi16((short)fy), hy = _mm_set1_epi16(fy >= 32768 ? -1 : 0);
    const __m128i keepMask = _mm_set1_epi32((int)keep);
    int64_t col = 0;
    int i = 0;
    for (; i + 2 <= width; i += 2) {
        const int64_t c0 = col, c1 = col + colAdvances[i + 1];
        col = c1 + colAdvances[i + 2];
        const __m128i t0 = _mm_unpacklo_epi8(_mm_loadl_epi64((const __m128i*)(top + c0 * 4)), zero);
        const __m128i t1 = _mm_unpacklo_epi8(_mm_loadl_epi64((const __m128i*)(top + c1 * 4)), zero);
        const __m128i b0 = _mm_unpacklo_epi8(_mm_loadl_epi64((const __m128i*)(bottom + c0 * 4)), zero);
        const __m128i b1 = _mm_unpacklo_epi8(_mm_loadl_epi64((const __m128i*)(bottom + c1 * 4)), zero);
        const __m128i wx = PairWeights(colFractions + i);
        const __m128i hx = _mm_srai_epi16(wx, 15);
        const __m128i upper = Lerp16x8(_mm_unpacklo_epi64(t0, t1), _mm_unpackhi_epi64(t0, t1), wx, hx);
        const __m128i lower = Lerp16x8(_mm_unpacklo_epi64(b0, b1), _mm_unpackhi_epi64(b0, b1), wx, hx);
        const __m128i v = Lerp16x8(upper, lower, wy, hy);
        _mm_storel_epi64((__m128i*)(dst + i), _mm_and_si128(_mm_packus_epi16(v, v), keepMask));
    }
    for (; i < width; i++) {
        const uint8_t* p00 = top + col * 4;
        const uint8_t* p10 = bottom + col * 4;
        const int fx = colFractions[i];
        uint32_t out = 0;
        for (int lane = 0; lane < 4; lane++) {
            const int t = Lerp16(p00[lane], p00[4 + lane], fx), b = Lerp16(p10[lane], p10[4 + lane], fx);
            out |= (uint32_t)(Lerp16(t, b, fy) & 255) << (8 * lane);
        }
        dst[i] = out & keep;
        col += colAdvances[i + 1];
    }
}

// Lerp16x8 in sixteen 16-bit lanes.
QZ_TARGET_AVX2 QZ_INLINE __m256i Lerp16x16(__m256i a, __m256i b, __m256i f, __m256i high) {
    const __m256i d = _mm256_sub_epi16(b, a);
    return _mm256_add_epi16(_mm256_add_epi16(a, _mm256_mulhi_epi16(f, d)), _mm256_and_si256(high, d));
}

// SmoothRow32 four pixels a turn. The 128-bit halves of a register hold pixels 0 and 2 and
// pixels 1 and 3, so that each half interpolates as the two-pixel loop does; the words are put
// back in order before the store. The tail goes through SmoothRow32.
QZ_TARGET_AVX2 void SmoothRow32Avx2(const uint8_t* top, const uint8_t* bottom, uint32_t* dst, int width,
                                    const int32_t* colFractions, const int32_t* colAdvances, int fy, uint32_t keep) {
    const __m256i wy = _mm256_set1_epi16((short)fy), hy = _mm256_set1_epi16(fy >= 32768 ? -1 : 0);
    const __m256i keepMask = _mm256_set1_epi32((int)keep);
    const __m256i spread = _mm256_setr_epi32(0, 0, 2, 2, 1, 1, 3, 3), order = _mm256_setr_epi32(0, 4, 1, 5, 0, 0, 0, 0);
    int64_t col = 0;
    int i = 0;
    for (; i + 4 <= width; i += 4) {
        const int64_t c0 = col, c1 = c0 + colAdvances[i + 1], c2 = c1 + colAdvances[i + 2],
                      c3 = c2 + colAdvances[i + 3];
        col = c3 + colAdvances[i + 4];
        // Each 8-byte load is a pixel and its right neighbour: [p0 | p1] and [p2 | p3] widened.
        auto pairs = [&](const uint8_t* row, int64_t a, int64_t b) QZ_TARGET_AVX2 {
            return _mm256_cvtepu8_epi16(_mm_unpacklo_epi64(_mm_loadl_epi64((const __m128i*)(row + a * 4)),
                                                           _mm_loadl_epi64((const __m128i*)(row + b * 4))));
        };
        const __m256i t01 = pairs(top, c0, c1), t23 = pairs(top, c2, c3);
        const __m256i b01 = pairs(bottom, c0, c1), b23 = pairs(bottom, c2, c3);
        const __m256i f = _mm256_permutevar8x32_epi32(
            _mm256_castsi128_si256(_mm_loadu_si128((const __m128i*)(colFractions + i))), spread);
        const __m256i wx = _mm256_or_si256(f, _mm256_slli_epi32(f, 16));
        const __m256i hx = _mm256_srai_epi16(wx, 15);
        const __m256i upper = Lerp16x16(_mm256_unpacklo_epi64(t01, t23), _mm256_unpackhi_epi64(t01, t23), wx, hx);
        const __m256i lower = Lerp16x16(_mm256_unpacklo_epi64(b01, b23), _mm256_unpackhi_epi64(b01, b23), wx, hx);
        const __m256i v = Lerp16x16(upper, lower, wy, hy);
        const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(v, v), order);
        _mm_storeu_si128((__m128i*)(dst + i), _mm256_castsi256_si128(_mm256_and_si256(packed, keepMask)));
    }
    if (i < width)
        SmoothRow32(top + col * 4, bottom + col * 4, dst + i, width - i, colFractions + i, colAdvances + i, fy, keep);
}

template <int F>
void SmoothRows(const qzScaleJob* j) {
    constexpr int bpp = FormatBytes(F);
    const bool colour = j->srcPixels && j->dstPixels;
    const bool mask = j->srcMask && j->dstMask;
    const bool alpha = !j->srcMask && j->srcAlpha && j->dstAlpha;
    // With one source column or row the step is 0 and the right or lower neighbour has weight
    // 0; it is read from the same pixel so that nothing past the source is touched.
    const int64_t right = j->srcWidth > 1 ? 1 : 0;
    const int64_t below = j->srcHeight > 1 ? 1 : 0;
    const uint8_t* srcRow = (const uint8_t*)j->srcPixels;
    const uint8_t* maskRow = j->srcMask;
    const uint8_t* alphaRow = j->srcAlpha;
    const int64_t srcPitch = (int64_t)j->srcRowLength * bpp;
    // The alpha byte's place in the word, cleared in every written pixel.
    constexpr uint32_t keep = (F == 11 || F == 12) ? 0xFFFFFF00u : 0x00FFFFFFu;
    const bool wide = bpp == 4 && right == 1;
    for (int r = 0; r < j->dstHeight; r++) {
        const int fy = j->rowFractions[r];
        uint8_t* dst = colour ? (uint8_t*)j->dstPixels + (int64_t)r * j->dstRowLength * bpp : nullptr;
        if (colour && wide)
            (CpuHasAvx2() ? SmoothRow32Avx2 : SmoothRow32)(srcRow, srcRow + below * srcPitch, (uint32_t*)dst,
                                                           j->dstWidth, j->colFractions, j->colAdvances, fy, keep);
        int64_t col = 0;
        for (int i = 0; i < j->dstWidth && (!wide || mask || alpha); i++) {
            const int fx = j->colFractions[i];
            if (colour && !wide) {
                const uint8_t* p00 = srcRow + col * bpp;
                const uint8_t* p01 = p00 + right * bpp;
                const uint8_t* p10 = p00 + below * srcPitch;
                const uint8_t* p11 = p10 + right * bpp;
                int r00, g00, b00, r01, g01, b01, r10, g10, b10, r11, g11, b11;
                ReadRGB<F>(p00, r00, g00, b00);
                ReadRGB<F>(p01, r01, g01, b01);
                ReadRGB<F>(p10, r10, g10, b10);
                ReadRGB<F>(p11, r11, g11, b11);
                int rt = Lerp16(r00, r01, fx), rb = Lerp16(r10, r11, fx);
                int gt = Lerp16(g00, g01, fx), gb = Lerp16(g10, g11, fx);
                int bt = Lerp16(b00, b01, fx), bb = Lerp16(b10, b11, fx);
                WriteRGB<F>(dst + (int64_t)i * bpp, Lerp16(rt, rb, fy), Lerp16(gt, gb, fy), Lerp16(bt, bb, fy));
            }
            if (mask) {
                uint8_t* dmask = j->dstMask + (int64_t)r * j->dstMaskBytesPerRow;
                PutMaskBit(dmask, i, GetMaskBit(maskRow, j->srcMaskBitOffset + col));
            } else if (alpha) {
                const uint8_t* a0 = alphaRow + col;
                const uint8_t* a1 = a0 + below * j->srcAlphaBytesPerRow;
                int top = Lerp16(a0[0], a0[right], fx) & 0xFF;
                int bottom = Lerp16(a1[0], a1[right], fx) & 0xFF;
                j->dstAlpha[(int64_t)r * j->dstAlphaBytesPerRow + i] = (uint8_t)Lerp16(top, bottom, fy);
            }
            col += j->colAdvances[i + 1];
        }
        const int64_t down = j->rowAdvances[r + 1];
        if (srcRow) srcRow += down * srcPitch;
        if (maskRow) maskRow += down * j->srcMaskBytesPerRow;
        if (alphaRow) alphaRow += down * j->srcAlphaBytesPerRow;
    }
}

void ScaleSmooth(const qzScaleJob* j) {
    if (!j->colFractions || !j->rowFractions || !j->colAdvances || !j->rowAdvances) return;
    int64_t colStep = (int64_t)((double)((int64_t)(j->srcWidth - 1) << 16) / j->dstWidth);
    int64_t rowStep = (int64_t)((double)((int64_t)(j->srcHeight - 1) << 16) / j->dstHeight);
    FillStepTable(colStep, j->dstWidth, j->colAdvances, j->colFractions);
    FillStepTable(rowStep, j->dstHeight, j->rowAdvances, j->rowFractions);
    bool known = DispatchRgbFormat(j->pixelFormat, [&](auto f) { SmoothRows<decltype(f)::value>(j); });
    if (!known) {
        // Pixels the smooth path cannot read: the colour is left, mask and alpha still scale.
        qzScaleJob planes = *j;
        planes.srcPixels = nullptr;
        planes.dstPixels = nullptr;
        SmoothRows<10>(&planes);
    }
}

}  // namespace

namespace {

// The nearest stepping of one plane (mask bits or alpha bytes): copy(src row, dst row, i, column)
// for every destination pixel.
template <typename CopyFn>
void NearestPlane(const qzScaleJob* j, const uint8_t* src, int srcBytesPerRow, uint8_t* dst, int dstBytesPerRow,
                  float xRatio, float yRatio, CopyFn copy) {
    const int64_t step = NearestStep(xRatio);
    ForEachNearestRow(j->srcHeight, j->dstHeight, yRatio, [&](int dy, int sy) {
        const uint8_t* s = src + (int64_t)sy * srcBytesPerRow;
        uint8_t* d = dst + (int64_t)dy * dstBytesPerRow;
        int64_t acc = 0;
        for (int i = 0; i < j->dstWidth; i++, acc += step) copy(s, d, i, acc >> 16);
    });
}

}  // namespace

void ScaleMaskBits(const qzScaleJob* j, float xRatio, float yRatio) {
    if (!j->srcMask || !j->dstMask || !HasSizes(j)) return;
    NearestPlane(j, j->srcMask, j->srcMaskBytesPerRow, j->dstMask, j->dstMaskBytesPerRow, xRatio, yRatio,
                 [&](const uint8_t* s, uint8_t* d, int i, int64_t col) {
                     PutMaskBit(d, i, GetMaskBit(s, j->srcMaskBitOffset + col));
                 });
}

void ScaleAlphaBytes(const qzScaleJob* j, float xRatio, float yRatio) {
    if (!j->srcAlpha || !j->dstAlpha || !HasSizes(j)) return;
    NearestPlane(j, j->srcAlpha, j->srcAlphaBytesPerRow, j->dstAlpha, j->dstAlphaBytesPerRow, xRatio, yRatio,
                 [](const uint8_t* s, uint8_t* d, int i, int64_t col) { d[i] = s[col]; });
}

void ScalePixels(const qzScaleJob* j) {
    if (!j || !HasSizes(j)) return;
    const float xRatio = (float)j->srcWidth / (float)j->dstWidth;
    const float yRatio = (float)j->srcHeight / (float)j->dstHeight;
    if (!j->srcPixels) {
        ScaleMaskBits(j, xRatio, yRatio);
        return;
    }
    if (j->smooth) {
        ScaleSmooth(j);
        return;
    }
    if (j->bytesPerPixel != 2 && j->bytesPerPixel != 4) return;
    if (j->srcMask) ScaleMaskBits(j, xRatio, yRatio);
    if (j->srcAlpha) ScaleAlphaBytes(j, xRatio, yRatio);
    if (!j->dstPixels) return;
    if (j->bytesPerPixel == 4)
        NearestRows<uint32_t>(j, xRatio, yRatio);
    else
        NearestRows<uint16_t>(j, xRatio, yRatio);
}

namespace {

bool GrowTable(int32_t** a, int32_t** b, int* capacity, int needed) {
    if (needed <= *capacity) return true;
    int32_t* na = (int32_t*)OsAlloc((size_t)needed * sizeof(int32_t), 0);
    int32_t* nb = (int32_t*)OsAlloc((size_t)needed * sizeof(int32_t), 0);
    if (!na || !nb) {
        OsFree(na);
        OsFree(nb);
        return false;
    }
    OsFree(*a);
    OsFree(*b);
    *a = na;
    *b = nb;
    *capacity = needed;
    return true;
}

}  // namespace

int GrowScaleTables(qzScaleTables* t, int width, int height) {
    if (width < 0 || height < 0 || width >= 0x7FFFFFFF || height >= 0x7FFFFFFF) return ERR_MEM;
    if (!GrowTable(&t->colFractions, &t->colAdvances, &t->colCapacity, width + 1)) return ERR_MEM;
    if (!GrowTable(&t->rowFractions, &t->rowAdvances, &t->rowCapacity, height + 1)) return ERR_MEM;
    return 0;
}

void FreeScaleTables(qzScaleTables* t) {
    OsFree(t->colFractions);
    OsFree(t->rowFractions);
    OsFree(t->colAdvances);
    OsFree(t->rowAdvances);
    std::memset(t, 0, sizeof *t);
}

void AttachScaleTables(qzScaleJob* job, const qzScaleTables* t) {
    job->colFractions = t->colFractions;
    job->rowFractions = t->rowFractions;
    job->colAdvances = t->colAdvances;
    job->rowAdvances = t->rowAdvances;
}
