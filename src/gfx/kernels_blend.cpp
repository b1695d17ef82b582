#include "gfx/kernels_blend.h"

#include <algorithm>
#include <cstring>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "gfx/kernel_dispatch.h"
#include "gfx/kernels_convert.h"
#include "gfx/mask_bits.h"

// The colour bytes of a 32-bit format: the blended result keeps them and clears the alpha byte.
static inline uint32_t ColourBytes32(int format) {
    return (format == PIXFMT_BGRA32 || format == PIXFMT_RGBA32) ? 0xFFFFFF00u : 0x00FFFFFFu;
}

// d + (((s - d) * a) >> 8) on each byte of two words, for a weight a of 0..256. The shift of a
// negative product rounds toward minus infinity, so the sum equals (d * (256 - a) + s * a) >> 8,
// which stays below 65536 and is computed two bytes at a time in 16-bit fields without borrows.
static QZ_INLINE uint32_t BlendBytes(uint32_t s, uint32_t d, uint32_t a) {
    uint32_t ia = 256 - a;
    uint32_t rb = (((d & 0x00FF00FF) * ia + (s & 0x00FF00FF) * a) >> 8) & 0x00FF00FF;
    uint32_t ag = (((d >> 8) & 0x00FF00FF) * ia + ((s >> 8) & 0x00FF00FF) * a) & 0xFF00FF00;
    return rb | ag;
}

// One channel of a 16-bit blend, on channels widened to 8 bits.
static QZ_INLINE uint32_t BlendChannel(uint32_t s, uint32_t d, uint32_t a) { return (d * (256 - a) + s * a) >> 8; }

static QZ_INLINE uint32_t Blend565(uint32_t s, uint32_t d, uint32_t a) {
    return Pack565(BlendChannel(Red565(s), Red565(d), a), BlendChannel(Green565(s), Green565(d), a),
                   BlendChannel(Blue565(s), Blue565(d), a));
}

// ---- MixPixels: d = s + (((255 - opacity) * (d - s)) >> 8), i.e. d weighted by 255 - opacity.

static QZ_INLINE void MixRow32Body(const uint32_t* s, uint32_t* d, int width, uint32_t w, uint32_t keep) {
    for (int i = 0; i < width; i++) d[i] = BlendBytes(d[i], s[i], w) & keep;
}
QZ_TARGET_AVX2 static void MixRow32Avx2(const uint32_t* s, uint32_t* d, int width, uint32_t w, uint32_t keep) {
    MixRow32Body(s, d, width, w, keep);
}
static void MixRow32Plain(const uint32_t* s, uint32_t* d, int width, uint32_t w, uint32_t keep) {
    MixRow32Body(s, d, width, w, keep);
}

void MixPixels32(const void* src, void* dst, const uint8_t* mask, int maskBitOffset, int maskBytesPerRow, int width,
                 int height, int opacity, int format, int srcRowLength, int dstRowLength) {
    if (width < 1 || height < 1) return;
    uint32_t w = (uint32_t)(255 - std::clamp(opacity, 0, 255));
    uint32_t keep = ColourBytes32(format);
    auto row = CpuHasAvx2() ? MixRow32Avx2 : MixRow32Plain;
    for (int j = 0; j < height; j++) {
        const uint32_t* s = static_cast<const uint32_t*>(src) + (int64_t)j * srcRowLength;
        uint32_t* d = static_cast<uint32_t*>(dst) + (int64_t)j * dstRowLength;
        if (mask)
            ForEachSetBit(RowAt(mask, j, maskBytesPerRow), maskBitOffset, width,
                          [&](int i) { d[i] = BlendBytes(d[i], s[i], w) & keep; });
        else
            row(s, d, width, w, keep);
    }
}

void MixPixels16(const void* src, void* dst, const uint8_t* mask, int maskBitOffset, int maskBytesPerRow, int width,
                 int height, int opacity, int format, int srcRowLength, int dstRowLength) {
    if (width < 1 || height < 1) return;
    uint32_t w = (uint32_t)(255 - std::clamp(opacity, 0, 255));
    for (int j = 0; j < height; j++) {
        const uint16_t* s = static_cast<const uint16_t*>(src) + (int64_t)j * srcRowLength;
        uint16_t* d = static_cast<uint16_t*>(dst) + (int64_t)j * dstRowLength;
        auto mix = [&](int i) {
            uint32_t sv = ConvertToRGB565(format, s[i]), dv = ConvertToRGB565(format, d[i]);
            d[i] = (uint16_t)ConvertFromRGB565(format, Blend565(dv, sv, w));
        };
        if (mask)
            ForEachSetBit(RowAt(mask, j, maskBytesPerRow), maskBitOffset, width, mix);
        else
            for (int i = 0; i < width; i++) mix(i);
    }
}

// ---- AlphaBlendPixels: alpha 0 skips, 255 copies, else d + (((s - d) * a) >> 8).

static QZ_INLINE void AlphaRow32Body(const uint32_t* s, const uint8_t* a, uint32_t* d, int width, uint32_t keep) {
    for (int i = 0; i < width; i++) {
        uint32_t av = a[i], dv = d[i], sv = s[i];
        uint32_t blended = BlendBytes(sv, dv, av) & keep;
        uint32_t out = av == 255 ? sv : blended;
        d[i] = av == 0 ? dv : out;
    }
}
#if defined(__x86_64__) || defined(__i386__)
// Eight pixels at a time: runs of alpha 0 are skipped and runs of 255 copied whole; other pixels
// get the same (d * (256 - a) + s * a) >> 8 per byte as BlendBytes, in 16-bit lanes (the sum
// stays below 65536). The tail goes through the shared body.
QZ_TARGET_AVX2 static void AlphaRow32Avx2(const uint32_t* s, const uint8_t* a, uint32_t* d, int width, uint32_t keep) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i full = _mm256_set1_epi16(256);
    const __m256i keepBytes = _mm256_set1_epi32((int)keep);
    const __m256i all255 = _mm256_set1_epi32(255);
    // Copies byte 0 of every 32-bit lane into its four bytes.
    const __m256i spread = _mm256_setr_epi8(0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12, 0, 0, 0, 0, 4, 4, 4, 4,
                                            8, 8, 8, 8, 12, 12, 12, 12);
    int i = 0;
    for (; i + 8 <= width; i += 8) {
        uint64_t eight;
        std::memcpy(&eight, a + i, 8);
        if (eight == 0) continue;
        const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        if (eight == ~uint64_t(0)) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), sv);
            continue;
        }
        const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + i));
        const __m256i a32 = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + i)));
        const __m256i a8 = _mm256_shuffle_epi8(a32, spread);
        const __m256i aLo = _mm256_unpacklo_epi8(a8, zero), aHi = _mm256_unpackhi_epi8(a8, zero);
        const __m256i lo = _mm256_srli_epi16(
            _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(dv, zero), _mm256_sub_epi16(full, aLo)),
                             _mm256_mullo_epi16(_mm256_unpacklo_epi8(sv, zero), aLo)),
            8);
        const __m256i hi = _mm256_srli_epi16(
            _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(dv, zero), _mm256_sub_epi16(full, aHi)),
                             _mm256_mullo_epi16(_mm256_unpackhi_epi8(sv, zero), aHi)),
            8);
        __m256i out = _mm256_and_si256(_mm256_packus_epi16(lo, hi), keepBytes);
        out = _mm256_blendv_epi8(out, sv, _mm256_cmpeq_epi32(a32, all255));
        out = _mm256_blendv_epi8(out, dv, _mm256_cmpeq_epi32(a32, zero));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), out);
    }
    AlphaRow32Body(s + i, a + i, d + i, width - i, keep);
}
#else
static void AlphaRow32Avx2(const uint32_t* s, const uint8_t* a, uint32_t* d, int width, uint32_t keep) {
    AlphaRow32Body(s, a, d, width, keep);
}
#endif
static void AlphaRow32Plain(const uint32_t* s, const uint8_t* a, uint32_t* d, int width, uint32_t keep) {
    AlphaRow32Body(s, a, d, width, keep);
}

void AlphaBlendPixels32(const void* src, const uint8_t* alpha, void* dst, int sx, int sy, int dx, int dy, int width,
                        int height, int srcRowLength, int alphaBytesPerRow, int dstRowLength, int format) {
    if (width < 1 || height < 1) return;
    uint32_t keep = ColourBytes32(format);
    auto row = CpuHasAvx2() ? AlphaRow32Avx2 : AlphaRow32Plain;
    for (int j = 0; j < height; j++) {
        const uint32_t* s = static_cast<const uint32_t*>(src) + ((int64_t)(sy + j) * srcRowLength + sx);
        const uint8_t* a = alpha + ((int64_t)(sy + j) * alphaBytesPerRow + sx);
        uint32_t* d = static_cast<uint32_t*>(dst) + ((int64_t)(dy + j) * dstRowLength + dx);
        row(s, a, d, width, keep);
    }
}

static QZ_INLINE void AlphaRow565Body(const uint16_t* s, const uint8_t* a, uint16_t* d, int width) {
    for (int i = 0; i < width; i++) {
        uint32_t av = a[i], dv = d[i], sv = s[i];
        uint32_t out = av == 255 ? sv : Blend565(sv, dv, av);
        d[i] = (uint16_t)(av == 0 ? dv : out);
    }
}
#if defined(__x86_64__) || defined(__i386__)
// Sixteen pixels at a time: runs of alpha 0 are skipped and runs of 255 copied whole; other pixels
// get Blend565 in 16-bit lanes, each channel widened to 8 bits as Red565, Green565 and Blue565
// widen it (d * (256 - a) + s * a stays below 65536). The tail goes through the shared body.
QZ_TARGET_AVX2 static void AlphaRow565Avx2(const uint16_t* s, const uint8_t* a, uint16_t* d, int width) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i full = _mm256_set1_epi16(256), all255 = _mm256_set1_epi16(255);
    const __m256i f8 = _mm256_set1_epi16(0xF8), fc = _mm256_set1_epi16(0xFC);
    int i = 0;
    for (; i + 16 <= width; i += 16) {
        const __m128i a16 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const int zeros = _mm_movemask_epi8(_mm_cmpeq_epi8(a16, _mm_setzero_si128()));
        if (zeros == 0xFFFF) continue;
        const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(a16, _mm_set1_epi8((char)0xFF))) == 0xFFFF) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), sv);
            continue;
        }
        const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + i));
        const __m256i av = _mm256_cvtepu8_epi16(a16), ia = _mm256_sub_epi16(full, av);
        const auto mix = [&](__m256i sc, __m256i dc) QZ_TARGET_AVX2 {
            return _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(dc, ia), _mm256_mullo_epi16(sc, av)), 8);
        };
        const __m256i r =
            mix(_mm256_and_si256(_mm256_srli_epi16(sv, 8), f8), _mm256_and_si256(_mm256_srli_epi16(dv, 8), f8));
        const __m256i g =
            mix(_mm256_and_si256(_mm256_srli_epi16(sv, 3), fc), _mm256_and_si256(_mm256_srli_epi16(dv, 3), fc));
        const __m256i b =
            mix(_mm256_and_si256(_mm256_slli_epi16(sv, 3), f8), _mm256_and_si256(_mm256_slli_epi16(dv, 3), f8));
        __m256i out = _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(r, f8), 8),
                                                      _mm256_slli_epi16(_mm256_and_si256(g, fc), 3)),
                                      _mm256_srli_epi16(b, 3));
        out = _mm256_blendv_epi8(out, sv, _mm256_cmpeq_epi16(av, all255));
        out = _mm256_blendv_epi8(out, dv, _mm256_cmpeq_epi16(av, zero));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), out);
    }
    AlphaRow565Body(s + i, a + i, d + i, width - i);
}
#else
static void AlphaRow565Avx2(const uint16_t* s, const uint8_t* a, uint16_t* d, int width) {
    AlphaRow565Body(s, a, d, width);
}
#endif
static void AlphaRow565Plain(const uint16_t* s, const uint8_t* a, uint16_t* d, int width) {
    AlphaRow565Body(s, a, d, width);
}

void AlphaBlendPixels16(const void* src, const uint8_t* alpha, void* dst, int sx, int sy, int dx, int dy, int width,
                        int height, int srcRowLength, int alphaBytesPerRow, int dstRowLength, int format) {
    if (width < 1 || height < 1) return;
    auto row = CpuHasAvx2() ? AlphaRow565Avx2 : AlphaRow565Plain;
    for (int j = 0; j < height; j++) {
        const uint16_t* s = static_cast<const uint16_t*>(src) + ((int64_t)(sy + j) * srcRowLength + sx);
        const uint8_t* a = alpha + ((int64_t)(sy + j) * alphaBytesPerRow + sx);
        uint16_t* d = static_cast<uint16_t*>(dst) + ((int64_t)(dy + j) * dstRowLength + dx);
        if (format == PIXFMT_RGB565) {
            row(s, a, d, width);
            continue;
        }
        for (int i = 0; i < width; i++) {
            uint32_t av = a[i];
            if (av == 0) continue;
            if (av == 255) {
                d[i] = s[i];
                continue;
            }
            uint32_t sv = ConvertToRGB565(format, s[i]), dv = ConvertToRGB565(format, d[i]);
            d[i] = (uint16_t)ConvertFromRGB565(format, Blend565(sv, dv, av));
        }
    }
}

// ---- AlphaChannelBlit: a colour or source pixels through coverage, by mode.

namespace {

// The per-pixel operations of one pixel size, so that the mode logic is written once.
struct Ops32 {
    typedef uint32_t Pixel;
    uint32_t keep;
    explicit Ops32(int format) : keep(ColourBytes32(format)) {}
    uint32_t Blend(uint32_t c, uint32_t d, uint32_t a) const { return BlendBytes(c, d, a) & keep; }
};

struct Ops16 {
    typedef uint16_t Pixel;
    int format;
    explicit Ops16(int f) : format(f) {}
    uint16_t Blend(uint32_t c, uint32_t d, uint32_t a) const {
        return (uint16_t)ConvertFromRGB565(format, Blend565(ConvertToRGB565(format, c), ConvertToRGB565(format, d), a));
    }
};

}  // namespace

static inline uint8_t LevelOf(int level, int value) {
    return (uint8_t)std::clamp(std::clamp(level, 0, 255) * value / 255, 0, 255);
}

template <typename Ops>
static void AlphaChannelBlit(const qzAlphaBlitJob* job, const Ops& ops) {
    typedef typename Ops::Pixel Pixel;
    int width = job->width, height = job->height;
    if (width < 1 || height < 1) return;
    int mode = job->mode;
    if (mode < 0 || mode > 4) mode = 0;
    if ((mode == 2 || mode == 3) && !job->dstAlpha) mode = 1;
    if (mode == 3 && !job->coverage16) return;
    if (mode != 3 && !job->coverage) return;
    Pixel colour = (Pixel)job->colour;
    for (int j = 0; j < height; j++) {
        Pixel* d = static_cast<Pixel*>(job->dstPixels) + ((int64_t)(job->dstY + j) * job->dstRowLength + job->dstX);
        const uint8_t* cov = job->coverage
                                 ? RowAt(job->coverage, job->coverageY + j, job->coverageBytesPerRow) + job->coverageX
                                 : nullptr;
        const uint16_t* cov16 =
            job->coverage16
                ? job->coverage16 + ((int64_t)(job->coverageY + j) * job->coverage16RowLength + job->coverageX)
                : nullptr;
        const Pixel* s = job->srcPixels ? static_cast<const Pixel*>(job->srcPixels) +
                                              ((int64_t)(job->coverageY + j) * job->srcRowLength + job->coverageX)
                                        : nullptr;
        uint8_t* b =
            job->dstAlpha ? RowAt(job->dstAlpha, job->dstY + j, job->dstAlphaBytesPerRow) + job->dstX : nullptr;
        for (int i = 0; i < width; i++) {
            uint32_t a = mode == 3 ? (cov16[i] & 0xFF) : cov[i];
            Pixel c = s ? s[i] : colour;
            switch (mode) {
            case 0:
                if (a) d[i] = c;
                break;
            case 4:
                if (a == 0) break;
                if (a == 64) {
                    d[i] = c;
                    break;
                }
                a = (a * 4) & 252;
                [[fallthrough]];
            case 1:
                if (a == 255)
                    d[i] = c;
                else if (a)
                    d[i] = ops.Blend(c, d[i], a);
                break;
            default:  // 2 and 3: onto a destination with its own alpha
                if (a == 0) break;
                if (b[i]) {
                    d[i] = a == 255 ? c : ops.Blend(c, d[i], a);
                    int bv = b[i];
                    b[i] = LevelOf(job->level, bv + (((int)a * ((int)a - bv)) >> 8));
                } else {
                    d[i] = mode == 3 ? colour : c;
                    b[i] = LevelOf(job->level, (int)a);
                }
                break;
            }
        }
    }
}

void AlphaChannelBlit32(const qzAlphaBlitJob* job) { AlphaChannelBlit(job, Ops32(job->format)); }

void AlphaChannelBlit16(const qzAlphaBlitJob* job) { AlphaChannelBlit(job, Ops16(job->format)); }
