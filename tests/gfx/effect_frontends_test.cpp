#include <gtest/gtest.h>

#include <set>

#include "base/error_codes.h"
#include "gfx/bitmap.h"
#include "gfx/convolve.h"
#include "gfx/distort.h"
#include "gfx/distort_bitmap.h"
#include "gfx/filter_bitmap.h"
#include "gfx/quantize_bitmap.h"
#include "gfx/tone_filters.h"
#include "gfx/wave_bitmap.h"
#include "image_oracle.h"
#include "platform/os_alloc.h"
#include "platform/os_bitmap.h"

namespace effect_frontends_test {

using namespace gfxtest;

namespace {

// A colour bitmap holding a picture, read back and written through a lock.
struct TestBitMap {
    qzBitMap* bm = nullptr;
    explicit TestBitMap(const Picture& p) {
        bm = CreateBitMap(p.width, p.height, 0, nullptr);
        Write(p);
    }
    ~TestBitMap() { DeleteBitMap(bm); }
    void Write(const Picture& p) const {
        qzLockInfo l;
        ASSERT_TRUE(LockBitMapPixels(bm, 0, &l));
        for (int y = 0; y < p.height; y++)
            for (int x = 0; x < p.width; x++) {
                uint8_t* px = (uint8_t*)l.pixels + ((size_t)y * l.rowLength + x) * l.bytesPerPixel;
                uint32_t v = ConvertARGBToPixel(p.at(x, y), l.pixelFormat, 0);
                if (l.bytesPerPixel == 4)
                    *(uint32_t*)px = v;
                else
                    *(uint16_t*)px = (uint16_t)v;
            }
        UnlockBitMapPixels(&l);
    }
    Picture Read() const { return ReadBitMap(bm); }
    static Picture ReadBitMap(const qzBitMap* bm) {
        Picture p;
        qzLockInfo l;
        if (!LockBitMapPixels(bm, LOCKF_READONLY, &l)) return p;
        p.width = l.width, p.height = l.height;
        for (int y = 0; y < l.height; y++)
            for (int x = 0; x < l.width; x++) {
                const uint8_t* px = (const uint8_t*)l.pixels + ((size_t)y * l.rowLength + x) * l.bytesPerPixel;
                uint32_t v = l.bytesPerPixel == 4 ? *(const uint32_t*)px : *(const uint16_t*)px;
                p.px.push_back(ConvertPixelToARGB(v, l.pixelFormat, 0));
            }
        UnlockBitMapPixels(&l);
        return p;
    }
};

uint8_t* AlphaPixels(const qzBitMap* a) { return (uint8_t*)QueryBitMapAttr(a, BMATTR_ALPHAPIXELS); }
int AlphaRow(const qzBitMap* a) { return (int)QueryBitMapAttr(a, BMATTR_ALPHABYTESPERROW); }
bool MaskBit(const qzBitMap* m, int x, int y) {
    const uint8_t* bits = (const uint8_t*)QueryBitMapAttr(m, BMATTR_MASKPIXELS);
    return bits[y * QueryBitMapAttr(m, BMATTR_MASKBYTESPERROW) + (x >> 3)] & (0x80 >> (x & 7));
}

}  // namespace

TEST(EffectFrontEnds, FiltersRunTheirKernelsOnTheBitmap) {
    Picture src = TestPicture(30, 20, 2);
    TestBitMap b(src);
    ASSERT_NE(b.bm, nullptr);
    qzBitMap* alpha = CreateAlphaBitMap(30, 20, 1, nullptr, 0);
    for (int y = 0; y < 20; y++) AlphaPixels(alpha)[y * AlphaRow(alpha) + 15] = 255;
    // A rectangle of the bitmap: outside it nothing changes.
    EXPECT_EQ(BlurBitMap(b.bm, alpha, 5, 4, 20, 12, 0, 1.0, 'b'), 0);
    Picture got = b.Read();
    Picture want = src;
    std::vector<uint32_t> part(20 * 12);
    for (int y = 0; y < 12; y++)
        for (int x = 0; x < 20; x++) part[y * 20 + x] = src.at(x + 5, y + 4);
    qzConvolveJob job{(uint8_t*)part.data(), 20, 12, 20, 10, 4, nullptr, 0, 0, 1.0, 'b'};
    ConvolveBitMapPixels(&job);
    for (int y = 0; y < 12; y++)
        for (int x = 0; x < 20; x++) want.at(x + 5, y + 4) = part[y * 20 + x];
    EXPECT_EQ(got.px, want.px);
    EXPECT_GT(AlphaPixels(alpha)[5 * AlphaRow(alpha) + 14], 0);  // blurred sideways
    EXPECT_EQ(AlphaPixels(alpha)[2 * AlphaRow(alpha) + 14], 0);  // above the rectangle
    DeleteAlphaBitMap(alpha);

    // Sepia tone: level stretch and contrast first, then the sepia kernel.
    b.Write(src);
    EXPECT_EQ(SepiaToneBitMap(b.bm, 30, 20, 200), 0);
    Picture steps = src;
    int n = 600;
    qzLevelsJob levels{steps.px.data(), 30, 20, 30, (int)(n * 0.02), (int)(n * 0.99), 10, 4};
    StretchLevels(&levels);
    ContrastPixels32(steps.px.data(), 30, 20, 30, 10, 1);
    SepiaPixels32(steps.px.data(), 30, 20, 30, 10, 200);
    EXPECT_EQ(b.Read().px, steps.px);

    EXPECT_EQ(SolarizeBitMap(nullptr, 1, 1, 0), ERR_LOCKBMAP);
    EXPECT_EQ(GammaBitMap(nullptr, 1, 1, 1, 1, 1), ERR_LOCKBMAP);
    // Sizes beyond the bitmap are clipped to it.
    EXPECT_EQ(ModulateBitMap(b.bm, 1000, 1000, 100, 0, 100), 0);
    for (uint32_t c : b.Read().px) ASSERT_TRUE(R(c) == G(c) && G(c) == B(c));
}

TEST(EffectFrontEnds, CharcoalDrawsDarkEdgesOnWhite) {
    // Left half dark, right half light: white everywhere but a dark band along the boundary.
    Picture p;
    p.width = 24, p.height = 8;
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 24; x++) p.px.push_back(x < 12 ? Rgb(40, 60, 80) : Rgb(200, 190, 180));
    TestBitMap b(p);
    EXPECT_EQ(CharcoalBitMap(b.bm, 24, 8, 1, 1.0), 0);
    Picture got = b.Read();
    for (int y = 0; y < 8; y++) {
        EXPECT_EQ(got.at(2, y), Rgb(255, 255, 255));
        EXPECT_EQ(got.at(21, y), Rgb(255, 255, 255));
        EXPECT_LT(G(got.at(11, y)), 128);
        EXPECT_EQ(R(got.at(11, y)), B(got.at(11, y)));
    }
    EXPECT_EQ(CharcoalBitMap(nullptr, 1, 1, 1, 1), ERR_LOCKBMAP);
}

TEST(EffectFrontEnds, ShadowAlphaFromMaskAlphaOrNothing) {
    qzBitMap* mask = CreateMaskBitMap(nullptr, 10, 6, 1, nullptr, 0);
    uint8_t* bits = (uint8_t*)QueryBitMapAttr(mask, BMATTR_MASKPIXELS);
    int maskRow = (int)QueryBitMapAttr(mask, BMATTR_MASKBYTESPERROW);
    for (int y = 0; y < 6; y++) bits[y * maskRow] = 0xF0;  // columns 0..3
    qzBitMap* a = BlurAlphaForShadow(mask, nullptr, 0, 0, 10, 6, 3, 1.0, 0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->width, 16);
    EXPECT_EQ(a->height, 12);
    const uint8_t* p = AlphaPixels(a);
    int row = AlphaRow(a);
    EXPECT_GT(p[6 * row + 4], 200);  // inside the covered columns
    EXPECT_EQ(p[6 * row + 15], 0);   // far right, uncovered
    EXPECT_GT(p[6 * row + 2], 0);    // the blur spreads into the margin
    EXPECT_LT(p[6 * row + 2], 255);
    DeleteAlphaBitMap(a);
    // Full strength: everything the blur reaches is opaque.
    a = BlurAlphaForShadow(mask, nullptr, 0, 0, 10, 6, 3, 1.0, 1);
    EXPECT_EQ(AlphaPixels(a)[6 * AlphaRow(a) + 2], 255);
    DeleteAlphaBitMap(a);
    // Without mask or alpha channel the source is fully opaque; part offsets read from inside.
    a = BlurAlphaForShadow(nullptr, nullptr, 0, 0, 4, 4, 0, 0, 0);
    ASSERT_NE(a, nullptr);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++) ASSERT_EQ(AlphaPixels(a)[y * AlphaRow(a) + x], 255);
    DeleteAlphaBitMap(a);
    qzBitMap* src = CreateAlphaBitMap(8, 8, 1, nullptr, 0);
    AlphaPixels(src)[5 * AlphaRow(src) + 6] = 77;
    a = BlurAlphaForShadow(nullptr, src, 4, 4, 4, 4, 0, 0, 0);
    EXPECT_EQ(AlphaPixels(a)[1 * AlphaRow(a) + 2], 77);
    DeleteAlphaBitMap(a);
    DeleteAlphaBitMap(src);
    DeleteMaskBitMap(mask);
    EXPECT_EQ(BlurAlphaForShadow(nullptr, nullptr, 0, 0, 0, 4, 1, 1, 0), nullptr);
}

TEST(EffectFrontEnds, SwirlAndRippleMoveMaskAndAlphaWithThePixels) {
    Picture src = TestPicture(24, 24, 5);
    TestBitMap b(src);
    qzBitMap* mask = CreateMaskBitMap(b.bm, 24, 24, 1, nullptr, 0);
    uint8_t* bits = (uint8_t*)QueryBitMapAttr(mask, BMATTR_MASKPIXELS);
    int maskRow = (int)QueryBitMapAttr(mask, BMATTR_MASKBYTESPERROW);
    for (int y = 0; y < 12; y++) bits[y * maskRow] = bits[y * maskRow + 1] = 0xFF;  // top half, left 16
    EXPECT_EQ(SwirlBitMap(b.bm, mask, nullptr, 24, 24, 0), 0);
    EXPECT_EQ(b.Read().px, src.px);
    EXPECT_EQ(SwirlBitMap(b.bm, mask, nullptr, 24, 24, 200), 0);
    Picture swirled = b.Read();
    EXPECT_NE(swirled.px, src.px);
    // Each pixel's mask bit is the bit of the pixel it was taken from: a pixel whose colour is
    // found only in the masked region keeps a set bit.
    int set = 0;
    for (int y = 0; y < 24; y++)
        for (int x = 0; x < 24; x++) set += MaskBit(mask, x, y);
    EXPECT_GT(set, 100);
    EXPECT_LT(set, 24 * 24 - 100);
    DeleteMaskBitMap(mask);

    b.Write(src);
    EXPECT_EQ(RippleBitMap(b.bm, nullptr, nullptr, 24, 24, 8, 0, 0, 0.5, 0.5), 0);
    EXPECT_EQ(b.Read().px, src.px);  // amplitude 0
    EXPECT_EQ(RippleBitMap(b.bm, nullptr, nullptr, 24, 24, 6, 3, 1.0, 0.5, 0.5), 0);
    Picture rippled = b.Read();
    EXPECT_NE(rippled.px, src.px);
    EXPECT_EQ(rippled.at(12, 12), src.at(12, 12));                                    // the centre stays
    EXPECT_EQ(RippleBitMap(b.bm, nullptr, nullptr, 24, 24, 0, 3, 1.0, 0.5, 0.5), 0);  // draws nothing
    EXPECT_EQ(b.Read().px, rippled.px);
}

TEST(EffectFrontEnds, QuantizeAndMonochromeWriteBack) {
    Picture src = TestPicture(40, 30, 8);
    TestBitMap b(src);
    EXPECT_EQ(QuantizeBitMap(b.bm, 16, 0), 0);
    std::set<uint32_t> colours;
    for (uint32_t c : b.Read().px) colours.insert(c);
    EXPECT_LE(colours.size(), 16u);
    EXPECT_GE(colours.size(), 8u);
    b.Write(src);
    EXPECT_EQ(ConvertBitMapToMonochrome(b.bm, 1), 0);
    colours.clear();
    for (uint32_t c : b.Read().px) colours.insert(c);
    EXPECT_EQ(colours, (std::set<uint32_t>{0, 0xFFFFFF}));
    uint8_t map[4];
    uint32_t palette[256];
    int transparent = 7;
    const uint32_t px[4] = {1, 2, 1, 3};
    EXPECT_EQ(QuantizeImage(px, 10, 4, 2, 2, 2, map, palette, 256, 2, 0, 0, &transparent), 3);
    EXPECT_EQ(transparent, 1);
    EXPECT_EQ(QuantizeBitMap(nullptr, 16, 0), ERR_LOCKBMAP);
}

TEST(EffectFrontEnds, DistortBitMapMakesANewBitmapAndMask) {
    Picture src = TestPicture(32, 20, 4);
    TestBitMap b(src);
    qzBitMap *out = nullptr, *mask = nullptr, *alpha = nullptr;
    // The brush's own corners as targets copy the picture.
    const double corners[8] = {0, 0, 32, 0, 32, 20, 0, 20};
    ASSERT_EQ(DistortBitMap(b.bm, nullptr, nullptr, DISTORT_PERSPECTIVE, corners, 8, 0, &out, &mask, &alpha), 0);
    ASSERT_NE(out, nullptr);
    ASSERT_NE(mask, nullptr);
    EXPECT_EQ(alpha, nullptr);
    EXPECT_EQ(TestBitMap::ReadBitMap(out).px, src.px);
    DeleteBitMap(out);
    EXPECT_TRUE(MaskBit(mask, 0, 0));
    EXPECT_TRUE(MaskBit(mask, 31, 19));
    DeleteMaskBitMap(mask);
    // An arc: corners of the output area lie outside the bent picture.
    ASSERT_EQ(DistortBitMap(b.bm, nullptr, nullptr, DISTORT_ARC, nullptr, 0, 1, &out, &mask, &alpha), 0);
    EXPECT_FALSE(MaskBit(mask, 0, out->height - 1));
    DeleteBitMap(out);
    DeleteMaskBitMap(mask);
    // With an alpha channel the result has one too.
    qzBitMap* srcAlpha = CreateAlphaBitMap(32, 20, 0, nullptr, 0);
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 32; x++) AlphaPixels(srcAlpha)[y * AlphaRow(srcAlpha) + x] = 128;
    const double barrel[4] = {0, 0, 0, 1};
    ASSERT_EQ(DistortBitMap(b.bm, nullptr, srcAlpha, DISTORT_BARREL, barrel, 4, 0, &out, &mask, &alpha), 0);
    EXPECT_EQ(mask, nullptr);
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(AlphaPixels(alpha)[3 * AlphaRow(alpha) + 3], 128);
    DeleteBitMap(out);
    DeleteAlphaBitMap(alpha);
    DeleteAlphaBitMap(srcAlpha);
    // Wrong arguments: 1055 and nothing made.
    const double one[1] = {1};
    EXPECT_EQ(DistortBitMap(b.bm, nullptr, nullptr, DISTORT_BILINEAR_REVERSE, one, 1, 0, &out, &mask, &alpha),
              ERR_WRONGUSAGE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(mask, nullptr);
    // Out of memory for the new bitmap.
    OsSetAllocFailHook([](size_t size) { return size >= 32 * 20 * 4 ? 1 : 0; });
    int err = DistortBitMap(b.bm, nullptr, nullptr, DISTORT_PERSPECTIVE, corners, 8, 0, &out, &mask, &alpha);
    OsSetAllocFailHook(nullptr);
    EXPECT_EQ(err, ERR_BITMAP);
    EXPECT_EQ(out, nullptr);
}

TEST(EffectFrontEnds, SixteenBitBitmaps) {
    OsSetScreenPixelFormat(4);
    Picture src = TestPicture(20, 16, 3);
    {
        TestBitMap b(src);
        Picture widened = b.Read();
        EXPECT_EQ(SolarizeBitMap(b.bm, 20, 16, 100), 0);
        Picture want = widened;
        SolarizePixels32(want.px.data(), 20, 16, 20, 10, 100);
        for (uint32_t& c : want.px) c &= 0xF8FCF8;  // narrowed to RGB565
        EXPECT_EQ(b.Read().px, want.px);
        EXPECT_EQ(ConvertBitMapToMonochrome(b.bm, 0), 0);
        for (uint32_t c : b.Read().px) ASSERT_TRUE(c == 0 || c == 0xF8FCF8) << std::hex << c;
    }
    OsSetScreenPixelFormat(-1);
}

}  // namespace effect_frontends_test
