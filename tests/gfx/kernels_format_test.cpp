// Every colour kernel in each 4-byte format (10-13) and 2-byte format (0-7), on an odd rectangle
// inside buffers whose rows are longer than the image, against a per-pixel reference written from
// the formulas through the format's own colour conversion. Pixels outside the rectangle (row
// padding included) must not change.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "gfx/kernel_dispatch.h"
#include "gfx/kernels_blend.h"
#include "gfx/kernels_color.h"
#include "gfx/kernels_copy.h"
#include "gfx/kernels_fill.h"
#include "gfx/mask_bits.h"
#include "gfx/pixel_test_util.h"

namespace kernels_format_test {

namespace {

constexpr int kRowLength = 24, kRows = 9;       // buffer rows (pixels), image 21 wide
constexpr int kX = 3, kY = 2, kW = 13, kH = 5;  // the rectangle drawn (destination)
constexpr int kSX = 5, kSY = 1;                 // where it is read from in the source
constexpr int kMaskBytes = 6, kBitOffset = 5;   // mask rows; first mask column of MixPixels

struct Ctx {
    int format, bytes;
    PixelBuffer src, dst;
    std::vector<uint8_t> mask, alpha, dstAlpha, dstAlphaBefore;
    std::vector<uint16_t> coverage16;
    uint32_t value, colour;
    int level;
    Ctx(int f, TestRng& rng)
        : format(f),
          bytes(GetPixelFormatBytes(f)),
          src(bytes, kRowLength, kRows, rng),
          dst(bytes, kRowLength, kRows, rng),
          mask(kMaskBytes * kRows),
          alpha(kRowLength * kRows),
          dstAlpha(kRowLength * kRows),
          coverage16((size_t)kRowLength * kRows) {
        for (uint8_t& m : mask) m = (uint8_t)rng.Next();
        // Alpha values with plenty of the special cases 0 and 255 (and 64 for mode 4).
        const uint8_t special[] = {0, 255, 64, 1, 128};
        for (uint8_t& a : alpha) a = rng.Below(3) == 0 ? special[rng.Below(5)] : (uint8_t)rng.Next();
        for (uint8_t& a : dstAlpha) a = rng.Below(3) == 0 ? 0 : (uint8_t)rng.Next();
        for (uint16_t& c : coverage16) c = (uint16_t)rng.Next();
        value = rng.Next();
        colour = rng.Next();
        level = rng.Below(256);
    }
    bool Wide() const { return bytes == 4; }
    // Native colour of a pixel value (0x00RRGGBB).
    uint32_t Rgb(uint32_t p) const { return ConvertPixelToARGB(p, format, 0); }
    uint32_t Pixel(uint32_t rgb) const { return ConvertARGBToPixel(rgb, format, 0); }
    // The colour argument in the form the kernels take: the format's value.
    uint32_t ColourPixel() const { return Pixel(colour); }
    uint32_t SrcAt(int x, int y) const { return src.Get(x - kX + kSX, y - kY + kSY); }
};

uint32_t PerChannel(uint32_t a, uint32_t b, const std::function<int(int, int)>& f) {
    uint32_t out = 0;
    for (int shift : {16, 8, 0}) out |= (uint32_t)(f((a >> shift) & 0xFF, (b >> shift) & 0xFF) & 0xFF) << shift;
    return out;
}

int Gray(int r, int g, int b) { return (int)std::fma(b, 0.114, std::fma(r, 0.299, g * 0.587)); }

struct Case {
    std::string name;
    std::function<void(Ctx&)> run;
    // The expected value of the destination pixel at x, y (inside the rectangle), given its old value.
    std::function<uint32_t(const Ctx&, int x, int y, uint32_t old)> expect;
};

uint8_t* MaskRow(Ctx& c, int y) { return c.mask.data() + y * kMaskBytes; }
int MaskBitAt(const Ctx& c, int y, int x) { return GetMaskBit(c.mask.data() + y * kMaskBytes, x); }

std::vector<Case> Cases() {
    std::vector<Case> cases;
    cases.push_back(
        {"FillRect",
         [](Ctx& c) { (c.Wide() ? FillRect32 : FillRect16)(c.dst.Data(), kRowLength, kX, kY, kW, kH, c.value); },
         [](const Ctx& c, int, int, uint32_t) { return c.Wide() ? c.value : c.value & 0xFFFF; }});

    cases.push_back(
        {"BlendFillRect",
         [](Ctx& c) {
             // The colour is native: 0x00RRGGBB, or RGB565 for 2-byte pixels whatever their format.
             uint32_t native = c.Wide() ? c.colour & 0xFFFFFF : ConvertARGBToPixel(c.colour, PIXFMT_RGB565, 0);
             (c.Wide() ? BlendFillRect32 : BlendFillRect16)(c.dst.Data(), kX, kY, kW, kH, native, c.level, kRowLength,
                                                            c.format);
         },
         [](const Ctx& c, int, int, uint32_t old) {
             uint32_t colour = c.Wide() ? c.colour : ConvertPixelToARGB(ConvertARGBToPixel(c.colour, 4, 0), 4, 0);
             return c.Pixel(
                 PerChannel(c.Rgb(old), colour, [&](int d, int s) { return d + ((c.level * (s - d)) >> 8); }));
         }});

    cases.push_back({"MixPixels",
                     [](Ctx& c) {
                         const uint8_t* src = c.src.Bytes() + (kSY * kRowLength + kSX) * c.bytes;
                         uint8_t* dst = c.dst.Bytes() + (kY * kRowLength + kX) * c.bytes;
                         (c.Wide() ? MixPixels32 : MixPixels16)(src, dst, MaskRow(c, kY), kBitOffset, kMaskBytes, kW,
                                                                kH, c.level, c.format, kRowLength, kRowLength);
                     },
                     [](const Ctx& c, int x, int y, uint32_t old) {
                         if (!MaskBitAt(c, y, kBitOffset + x - kX)) return old;
                         return c.Pixel(PerChannel(c.Rgb(c.SrcAt(x, y)), c.Rgb(old), [&](int s, int d) {
                             return s + (((255 - c.level) * (d - s)) >> 8);
                         }));
                     }});

    cases.push_back({"AlphaBlendPixels",
                     [](Ctx& c) {
                         (c.Wide() ? AlphaBlendPixels32 : AlphaBlendPixels16)(
                             c.src.Data(), c.alpha.data(), c.dst.Data(), kSX, kSY, kX, kY, kW, kH, kRowLength,
                             kRowLength, kRowLength, c.format);
                     },
                     [](const Ctx& c, int x, int y, uint32_t old) {
                         int a = c.alpha[(y - kY + kSY) * kRowLength + x - kX + kSX];
                         uint32_t s = c.SrcAt(x, y);
                         if (a == 0) return old;
                         if (a == 255) return s;
                         return c.Pixel(PerChannel(c.Rgb(s), c.Rgb(old),
                                                   [&](int sv, int dv) { return dv + (((sv - dv) * a) >> 8); }));
                     }});

    for (int mode = 0; mode <= 4; mode++) {
        for (int withSource = 0; withSource <= 1; withSource++) {
            cases.push_back({"AlphaChannelBlit mode " + std::to_string(mode) + (withSource ? " source" : ""),
                             [mode, withSource](Ctx& c) {
                                 qzAlphaBlitJob job{};
                                 job.dstPixels = c.dst.Data();
                                 job.dstX = kX;
                                 job.dstY = kY;
                                 job.dstRowLength = kRowLength;
                                 job.width = kW;
                                 job.height = kH;
                                 job.coverage = c.alpha.data();
                                 job.coverageX = kSX;
                                 job.coverageY = kSY;
                                 job.coverageBytesPerRow = kRowLength;
                                 job.dstAlpha = c.dstAlpha.data();
                                 job.dstAlphaBytesPerRow = kRowLength;
                                 job.format = c.format;
                                 job.colour = c.ColourPixel();
                                 job.mode = mode;
                                 job.level = c.level;
                                 job.coverage16 = c.coverage16.data();
                                 job.coverage16RowLength = kRowLength;
                                 if (withSource) {
                                     job.srcPixels = c.src.Data();
                                     job.srcRowLength = kRowLength;
                                 }
                                 (c.Wide() ? AlphaChannelBlit32 : AlphaChannelBlit16)(&job);
                             },
                             [mode, withSource](const Ctx& c, int x, int y, uint32_t old) {
                                 size_t at = (size_t)(y - kY + kSY) * kRowLength + x - kX + kSX;
                                 int a = mode == 3 ? (c.coverage16[at] & 0xFF) : c.alpha[at];
                                 uint32_t colour = withSource ? c.SrcAt(x, y) : c.ColourPixel();
                                 auto blend = [&](int w) {
                                     if (w == 0) return old;
                                     if (w == 255) return colour;
                                     return c.Pixel(PerChannel(c.Rgb(colour), c.Rgb(old),
                                                               [&](int s, int d) { return d + (((s - d) * w) >> 8); }));
                                 };
                                 int b = c.dstAlphaBefore[(size_t)y * kRowLength + x];
                                 switch (mode) {
                                 case 0: return a ? colour : old;
                                 case 1: return blend(a);
                                 case 4: return a == 0 ? old : a == 64 ? colour : blend((a * 4) & 252);
                                 default:
                                     if (a == 0) return old;
                                     if (b) return blend(a);
                                     return mode == 3 ? c.ColourPixel() : colour;
                                 }
                             }});
        }
    }

    for (int bw = 0; bw <= 1; bw++) {
        cases.push_back({bw ? "GrayPixels black and white" : "GrayPixels",
                         [bw](Ctx& c) {
                             uint8_t* at = c.dst.Bytes() + (kY * kRowLength + kX) * c.bytes;
                             (c.Wide() ? GrayPixels32 : GrayPixels16)(at, kW, kH, c.format, kRowLength, bw);
                         },
                         [bw](const Ctx& c, int, int, uint32_t old) {
                             uint32_t rgb = c.Rgb(old);
                             int g = Gray((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
                             if (bw) g = g > 128 ? 255 : 0;
                             return c.Pixel((uint32_t)g * 0x010101);
                         }});
    }

    for (int swizzle = 0; swizzle <= 2; swizzle++) {
        cases.push_back({"CopyPixelsMasked swizzle " + std::to_string(swizzle),
                         [swizzle](Ctx& c) {
                             if (c.Wide())
                                 CopyPixelsMasked32(c.src.Data(), c.dst.Data(), c.mask.data(), kSX, kSY, kX, kY, kW, kH,
                                                    kRowLength, kMaskBytes, kRowLength, swizzle);
                             else
                                 CopyPixelsMasked16(c.src.Data(), c.dst.Data(), c.mask.data(), kSX, kSY, kX, kY, kW, kH,
                                                    kRowLength, kMaskBytes, kRowLength);
                         },
                         [swizzle](const Ctx& c, int x, int y, uint32_t old) {
                             if (!MaskBitAt(c, y - kY + kSY, x - kX + kSX)) return old;
                             uint32_t s = c.SrcAt(x, y);
                             if (!c.Wide() || swizzle == 0) return s;
                             return swizzle == 1 ? ConvertARGBToPixel(s, PIXFMT_BGRA32, 0) : s << 8;
                         }});
    }

    cases.push_back({"PaintColorThroughMask",
                     [](Ctx& c) {
                         (c.Wide() ? PaintColorThroughMask32 : PaintColorThroughMask16)(
                             c.mask.data(), c.dst.Data(), kSX, kSY, kX, kY, kW, kH, kMaskBytes, kRowLength,
                             c.ColourPixel());
                     },
                     [](const Ctx& c, int x, int y, uint32_t old) {
                         return MaskBitAt(c, y - kY + kSY, x - kX + kSX) ? c.ColourPixel() : old;
                     }});

    cases.push_back({"CopyPixels",
                     [](Ctx& c) {
                         qzCopyJob job{c.src.Data(), c.dst.Data(), kSX,        kSY,        kX, kY,
                                       kW,           kH,           kRowLength, kRowLength, 0,  0};
                         (c.Wide() ? CopyPixels32 : CopyPixels16)(&job);
                     },
                     [](const Ctx& c, int x, int y, uint32_t) { return c.SrcAt(x, y); }});

    cases.push_back({"InvertPixels",
                     [](Ctx& c) {
                         uint8_t* at = c.dst.Bytes() + (kY * kRowLength + kX) * c.bytes;
                         (c.Wide() ? InvertPixels32 : InvertPixels16)(at, kW, kH, kRowLength);
                     },
                     [](const Ctx& c, int, int, uint32_t old) { return c.Wide() ? ~old : ~old & 0xFFFF; }});

    cases.push_back({"ReplaceColors",
                     [](Ctx& c) {
                         // Pairs whose sources occur in the rectangle, chained so that a later pair sees the result
                         // of an earlier one.
                         uint32_t a = c.dst.Get(kX, kY), b = c.dst.Get(kX + 1, kY), m = c.Wide() ? 0x00FFFFFF : 0xFFFF;
                         uint32_t pairs[] = {a & m, b, b & m, 0x123456, 0xFFFFFFFF};
                         uint8_t* at = c.dst.Bytes() + (kY * kRowLength + kX) * c.bytes;
                         if (c.Wide())
                             ReplaceColors32(kW, kH, pairs, at, kRowLength, 0x00FFFFFF);
                         else
                             ReplaceColors16(kW, kH, pairs, at, kRowLength);
                     },
                     nullptr});
    return cases;
}

}  // namespace

namespace {

void CheckAllCases() {
    for (const Case& test : Cases()) {
        for (int f : {10, 11, 12, 13, 0, 1, 2, 3, 4, 5, 6, 7}) {
            TestRng rng(1000 + f);
            Ctx c(f, rng);
            PixelBuffer before = c.dst;
            c.dstAlphaBefore = c.dstAlpha;
            uint32_t a = before.Get(kX, kY), b = before.Get(kX + 1, kY), m = c.Wide() ? 0x00FFFFFF : 0xFFFF;
            test.run(c);
            for (int y = 0; y < kRows; y++) {
                for (int x = 0; x < kRowLength; x++) {
                    uint32_t old = before.Get(x, y), expected = old;
                    bool inside = x >= kX && x < kX + kW && y >= kY && y < kY + kH;
                    if (inside && test.expect) {
                        expected = test.expect(c, x, y, old);
                    } else if (inside) {
                        // ReplaceColors: a -> b, then b -> 0x123456 also for the pixel just replaced.
                        uint32_t v = old;
                        if ((v & m) == (a & m)) v = b;
                        if ((v & m) == (b & m)) v = c.Wide() ? 0x123456 : 0x3456;
                        expected = v;
                    }
                    ASSERT_EQ(c.dst.Get(x, y), expected)
                        << test.name << ", format " << f << ", pixel " << x << "," << y << std::hex << ", old " << old;
                }
            }
            // Modes 2 and 3 of AlphaChannelBlit also write the destination alpha; the rest must not.
            bool ontoAlpha =
                test.name.find("mode 2") != std::string::npos || test.name.find("mode 3") != std::string::npos;
            for (int y = 0; y < kRows; y++) {
                for (int x = 0; x < kRowLength; x++) {
                    int b = c.dstAlphaBefore[y * kRowLength + x], expected = b;
                    size_t at = (size_t)(y - kY + kSY) * kRowLength + x - kX + kSX;
                    if (ontoAlpha && x >= kX && x < kX + kW && y >= kY && y < kY + kH) {
                        int a = test.name.find("mode 3") != std::string::npos ? (c.coverage16[at] & 0xFF) : c.alpha[at];
                        if (a) expected = b ? c.level * (b + ((a * (a - b)) >> 8)) / 255 : c.level * a / 255;
                    }
                    ASSERT_EQ(c.dstAlpha[y * kRowLength + x], expected) << test.name << " alpha at " << x << "," << y;
                }
            }
        }
    }
}

}  // namespace

TEST(KernelFormats, EveryKernelInEveryFormatMatchesItsFormula) {
    // The build of the kernels this machine picks (AVX2 where it has it), then the portable one.
    CheckAllCases();
    gQzAvx2KernelsAllowed = false;
    CheckAllCases();
    gQzAvx2KernelsAllowed = true;
}

// Alpha blending works on groups of pixels where the processor allows (eight 32-bit or sixteen
// 16-bit): runs of alpha 0 and 255 that fill a group, groups that mix them with other values, and
// the pixels left over at the end of a row must come out as the portable build makes them, in
// both 32-bit colour orders and RGB565.
TEST(KernelFormats, AlphaBlendRowsMatchThePortableBuild) {
    const struct {
        const char* name;
        std::function<uint8_t(int)> alpha;
    } patterns[] = {
        {"transparent", [](int) { return uint8_t(0); }},
        {"opaque", [](int) { return uint8_t(255); }},
        {"runs of 8", [](int i) { return uint8_t((i / 8) % 3 == 0   ? 0
                                                 : (i / 8) % 3 == 1 ? 255
                                                                    : 77); }},
        {"runs of 16", [](int i) { return uint8_t((i / 16) % 3 == 0   ? 255
                                                  : (i / 16) % 3 == 1 ? 0
                                                                      : 200); }},
        {"runs of 5", [](int i) { return uint8_t((i / 5) % 2 ? 255 : 0); }},
        {"ramp", [](int i) { return uint8_t(i * 7); }},
        {"edges",
         [](int i) {
             return uint8_t(i % 9 == 0 ? 1 : i % 9 == 1 ? 254 : i % 9 == 2 ? 128 : 255);
         }},
    };
    auto check = [&](auto pixel, int format) {
        using T = decltype(pixel);
        for (const auto& p : patterns)
            for (int width = 1; width <= 41; width++) {
                std::vector<T> src(width), dst(width);
                std::vector<uint8_t> alpha(width);
                for (int i = 0; i < width; i++) {
                    src[i] = T(0x01000193u * uint32_t(i + 3) ^ 0xA5C3E1F7u);
                    dst[i] = T(0x9E3779B9u * uint32_t(i + 1));
                    alpha[i] = p.alpha(i);
                }
                auto blend = sizeof(T) == 4 ? AlphaBlendPixels32 : AlphaBlendPixels16;
                std::vector<T> fast = dst, portable = dst;
                blend(src.data(), alpha.data(), fast.data(), 0, 0, 0, 0, width, 1, width, width, width, format);
                gQzAvx2KernelsAllowed = false;
                blend(src.data(), alpha.data(), portable.data(), 0, 0, 0, 0, width, 1, width, width, width, format);
                gQzAvx2KernelsAllowed = true;
                ASSERT_EQ(fast, portable) << p.name << ", width " << width << ", format " << format;
            }
    };
    check(uint32_t(0), PIXFMT_ARGB32);
    check(uint32_t(0), PIXFMT_BGRA32);
    check(uint16_t(0), PIXFMT_RGB565);
}

}  // namespace kernels_format_test
