// Fills, copies, the key-colour blit and the weighted blits against pixman and SDL's surface
// blits. Copies and keyed copies are exact; the blends of pixman divide by 255 with rounding and
// widen 5/6-bit channels by replicating bits, where the engine shifts by 8 and does not replicate,
// so those results may differ by the stated tolerance: 2 levels of an 8-bit channel, 1 step of a
// 5- or 6-bit channel.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "gfx/kernels_blend.h"
#include "gfx/kernels_color.h"
#include "gfx/kernels_copy.h"
#include "gfx/kernels_fill.h"
#include "gfx/pixel_test_util.h"

namespace kernels_oracle_test {

namespace {

constexpr int kRowLength = 40, kRows = 23;       // buffer
constexpr int kX = 3, kY = 4, kW = 31, kH = 17;  // destination rectangle
constexpr int kSX = 6, kSY = 2;                  // source position

// Largest difference of the colour fields of two pixels: 8-bit channels for 4-byte pixels, the
// 5/6-bit fields of RGB565 for 2-byte pixels.
int FieldDistance(uint32_t a, uint32_t b, int bytes) {
    int worst = 0;
    if (bytes == 4) {
        for (int shift : {16, 8, 0})
            worst = std::max(worst, std::abs((int)((a >> shift) & 0xFF) - (int)((b >> shift) & 0xFF)));
    } else {
        const int shifts[3] = {11, 5, 0}, masks[3] = {0x1F, 0x3F, 0x1F};
        for (int k = 0; k < 3; k++)
            worst = std::max(worst, std::abs((int)((a >> shifts[k]) & masks[k]) - (int)((b >> shifts[k]) & masks[k])));
    }
    return worst;
}

pixman_image_t* Wrap(PixelBuffer& buffer) {
    return pixman_image_create_bits(buffer.bytes == 4 ? PIXMAN_x8r8g8b8 : PIXMAN_r5g6b5, buffer.rowLength, buffer.rows,
                                    buffer.words.data(), buffer.Pitch());
}

void ExpectSame(const PixelBuffer& ours, const PixelBuffer& theirs, uint32_t compare, int tolerance, const char* what) {
    int worst = 0;
    for (int y = 0; y < ours.rows; y++) {
        for (int x = 0; x < ours.rowLength; x++) {
            uint32_t a = ours.Get(x, y) & compare, b = theirs.Get(x, y) & compare;
            int d = tolerance ? FieldDistance(a, b, ours.bytes) : (a == b ? 0 : 1000);
            worst = std::max(worst, d);
            ASSERT_LE(d, tolerance) << what << " at " << x << "," << y << std::hex << ": " << a << " vs " << b;
        }
    }
}

}  // namespace

TEST(KernelOracle, FillAndCopyMatchPixman) {
    for (int bytes : {4, 2}) {
        TestRng rng(bytes);
        PixelBuffer ours(bytes, kRowLength, kRows, rng);
        PixelBuffer theirs = ours;
        uint32_t value = rng.Next() & (bytes == 4 ? 0xFFFFFFFF : 0xFFFF);
        (bytes == 4 ? FillRect32 : FillRect16)(ours.Data(), kRowLength, kX, kY, kW, kH, value);
        ASSERT_TRUE(pixman_fill(theirs.words.data(), theirs.Pitch() / 4, bytes * 8, kX, kY, kW, kH, value));
        ExpectSame(ours, theirs, 0xFFFFFFFF, 0, "fill");

        PixelBuffer source(bytes, kRowLength, kRows, rng);
        qzCopyJob job{source.Data(), ours.Data(), kSX, kSY, kX, kY, kW, kH, kRowLength, kRowLength, 0, 0};
        (bytes == 4 ? CopyPixels32 : CopyPixels16)(&job);
        ASSERT_TRUE(pixman_blt(source.words.data(), theirs.words.data(), source.Pitch() / 4, theirs.Pitch() / 4,
                               bytes * 8, bytes * 8, kSX, kSY, kX, kY, kW, kH));
        ExpectSame(ours, theirs, 0xFFFFFFFF, 0, "copy");
    }
}

// Fills store whole aligned blocks between single pixels at both ends: every start within a
// block and widths from none to several blocks change the pixels of the rectangle and no other.
TEST(KernelOracle, FillsAtEveryAlignmentAndWidthMatchPixman) {
    constexpr int kLong = 160;
    for (int bytes : {4, 2}) {
        TestRng rng(20 + bytes);
        for (int x = 0; x < 9; x++)
            for (int width : {0, 1, 2, 3, 5, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 100, 150}) {
                PixelBuffer ours(bytes, kLong, 3, rng);
                PixelBuffer theirs = ours;
                const uint32_t value = rng.Next() & (bytes == 4 ? 0xFFFFFFFF : 0xFFFF);
                (bytes == 4 ? FillRect32 : FillRect16)(ours.Data(), kLong, x, 1, width, 1, value);
                if (width > 0) {
                    ASSERT_TRUE(pixman_fill(theirs.words.data(), theirs.Pitch() / 4, bytes * 8, x, 1, width, 1, value));
                }
                ExpectSame(ours, theirs, 0xFFFFFFFF, 0, "fill");
            }
    }
}

TEST(KernelOracle, KeyColourBlitMatchesSdlColourKey) {
    for (int bytes : {4, 2}) {
        TestRng rng(10 + bytes);
        PixelBuffer source(bytes, kRowLength, kRows, rng);
        // A few colours only, so that the key colour covers about a third of the source.
        uint32_t palette[3] = {rng.Next(), rng.Next(), rng.Next()};
        for (int y = 0; y < kRows; y++)
            for (int x = 0; x < kRowLength; x++) source.Set(x, y, palette[rng.Below(3)]);
        uint32_t key = bytes == 4 ? palette[1] & 0xFFFFFF : palette[1] & 0xFFFF;
        PixelBuffer ours(bytes, kRowLength, kRows, rng);
        PixelBuffer theirs = ours;

        const int maskBytes = ((kRowLength + 15) >> 3) & ~1;
        std::vector<uint8_t> mask(maskBytes * kRows);
        if (bytes == 4) {
            KeyColorToMask32(source.Data(), mask.data(), kRowLength, kRows, maskBytes, key, kRowLength, 0x00FFFFFF);
            CopyPixelsMasked32(source.Data(), ours.Data(), mask.data(), kSX, kSY, kX, kY, kW, kH, kRowLength, maskBytes,
                               kRowLength, 0);
        } else {
            KeyColorToMask16(source.Data(), mask.data(), kRowLength, kRows, maskBytes, key, kRowLength);
            CopyPixelsMasked16(source.Data(), ours.Data(), mask.data(), kSX, kSY, kX, kY, kW, kH, kRowLength, maskBytes,
                               kRowLength);
        }

        // With an alpha byte in the layout, SDL compares the key with the colour bytes only, as
        // the engine's compare mask 0x00FFFFFF does.
        uint32_t format = bytes == 4 ? SDL_PIXELFORMAT_ARGB8888 : SDL_PIXELFORMAT_RGB565;
        SDL_Surface* src =
            SDL_CreateRGBSurfaceWithFormatFrom(source.Data(), kRowLength, kRows, bytes * 8, source.Pitch(), format);
        SDL_Surface* dst =
            SDL_CreateRGBSurfaceWithFormatFrom(theirs.Data(), kRowLength, kRows, bytes * 8, theirs.Pitch(), format);
        ASSERT_TRUE(src && dst) << SDL_GetError();
        SDL_SetSurfaceBlendMode(src, SDL_BLENDMODE_NONE);
        SDL_SetColorKey(src, SDL_TRUE, key);
        SDL_Rect from{kSX, kSY, kW, kH}, to{kX, kY, kW, kH};
        ASSERT_EQ(SDL_BlitSurface(src, &from, dst, &to), 0) << SDL_GetError();
        SDL_FreeSurface(src);
        SDL_FreeSurface(dst);
        ExpectSame(ours, theirs, 0xFFFFFFFF, 0, "key-colour blit");
    }
}

TEST(KernelOracle, WeightedBlitsAgreeWithPixmanWithinRounding) {
    for (int bytes : {4, 2}) {
        TestRng rng(20 + bytes);
        PixelBuffer source(bytes, kRowLength, kRows, rng);
        PixelBuffer start(bytes, kRowLength, kRows, rng);
        std::vector<uint8_t> alpha(kRowLength * kRows);
        for (uint8_t& a : alpha) a = (uint8_t)rng.Next();
        int format = bytes == 4 ? PIXFMT_ARGB32 : PIXFMT_RGB565;
        int tolerance = bytes == 4 ? 2 : 1;
        pixman_image_t* src = Wrap(source);

        // The alpha-plane blit: source OVER destination through an 8-bit mask.
        PixelBuffer ours = start, theirs = start;
        (bytes == 4 ? AlphaBlendPixels32 : AlphaBlendPixels16)(source.Data(), alpha.data(), ours.Data(), kSX, kSY, kX,
                                                               kY, kW, kH, kRowLength, kRowLength, kRowLength, format);
        pixman_image_t* plane = pixman_image_create_bits(PIXMAN_a8, kRowLength, kRows,
                                                         reinterpret_cast<uint32_t*>(alpha.data()), kRowLength);
        pixman_image_t* dst = Wrap(theirs);
        pixman_image_composite32(PIXMAN_OP_OVER, src, plane, dst, kSX, kSY, kSX, kSY, kX, kY, kW, kH);
        pixman_image_unref(dst);
        pixman_image_unref(plane);
        ExpectSame(ours, theirs, bytes == 4 ? 0x00FFFFFF : 0xFFFF, tolerance, "alpha blend");

        for (int opacity : {0, 1, 77, 128, 254, 255}) {
            // Mixing at an opacity: source OVER destination through a constant mask.
            ours = start;
            theirs = start;
            const uint8_t* s = source.Bytes() + (kSY * kRowLength + kSX) * bytes;
            uint8_t* d = ours.Bytes() + (kY * kRowLength + kX) * bytes;
            (bytes == 4 ? MixPixels32 : MixPixels16)(s, d, nullptr, 0, 0, kW, kH, opacity, format, kRowLength,
                                                     kRowLength);
            pixman_color_t level{0, 0, 0, (uint16_t)(opacity * 257)};
            pixman_image_t* constant = pixman_image_create_solid_fill(&level);
            dst = Wrap(theirs);
            pixman_image_composite32(PIXMAN_OP_OVER, src, constant, dst, kSX, kSY, 0, 0, kX, kY, kW, kH);
            pixman_image_unref(dst);
            pixman_image_unref(constant);
            ExpectSame(ours, theirs, bytes == 4 ? 0x00FFFFFF : 0xFFFF, tolerance, "mix");

            // A blended fill: a solid colour OVER the destination at the opacity.
            ours = start;
            theirs = start;
            uint32_t colour = rng.Next() & 0xFFFFFF;
            uint32_t native = bytes == 4 ? colour : ConvertARGBToPixel(colour, PIXFMT_RGB565, 0);
            (bytes == 4 ? BlendFillRect32 : BlendFillRect16)(ours.Data(), kX, kY, kW, kH, native, opacity, kRowLength,
                                                             format);
            uint32_t widened = ConvertPixelToARGB(native, format, 0);
            pixman_color_t fill{(uint16_t)(((widened >> 16) & 0xFF) * 257), (uint16_t)(((widened >> 8) & 0xFF) * 257),
                                (uint16_t)((widened & 0xFF) * 257), 0xFFFF};
            pixman_image_t* solid = pixman_image_create_solid_fill(&fill);
            constant = pixman_image_create_solid_fill(&level);
            dst = Wrap(theirs);
            pixman_image_composite32(PIXMAN_OP_OVER, solid, constant, dst, 0, 0, 0, 0, kX, kY, kW, kH);
            pixman_image_unref(dst);
            pixman_image_unref(constant);
            pixman_image_unref(solid);
            ExpectSame(ours, theirs, bytes == 4 ? 0x00FFFFFF : 0xFFFF, tolerance, "blended fill");
        }
        pixman_image_unref(src);
    }
}

}  // namespace kernels_oracle_test
