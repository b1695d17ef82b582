// Drawing shared by the compositing step routines: a picture part over a background without
// flicker, straight onto the display and into a layer; the line displacement between two
// pictures; the release of the roll state.
#include <cmath>
#include <cstdlib>

#include "fx/effect_picture.h"
#include "fx/fx_fixture.h"
#include "gfx/blit_test_util.h"
#include "gfx/line_displace.h"

namespace effect_picture_test {

using blittest::Bit;
using blittest::BitMapPtr;
using blittest::MakeAlpha;
using blittest::MakeBitMap;
using blittest::MakeMask;

class EffectPictureTest : public FxTest {};

TEST_F(EffectPictureTest, PartBlendsOverTheBackgroundDirectly) {
    OpenScreen(64, 48, false);
    Effect e;
    Direct(e, 0, 0, 0, 64, 48);
    BitMapPtr picture = MakeBitMap(16, 16, [](int, int) { return 0xFF0000u; });
    BitMapPtr background = MakeBitMap(16, 16, [](int, int) { return 0x0000FEu; });
    BitMapPtr alpha = MakeAlpha(16, 16, [](int x, int) { return x < 8 ? 255 : 128; });
    BitMapPtr scratch = MakeBitMap(16, 16, [](int, int) { return 0u; });
    DrawEffectPicturePart(picture.get(), 4, 4, nullptr, 20, 10, 8, 6, 16, 16, 64, 48, 4, 0, background.get(), nullptr,
                          scratch.get(), alpha.get(), &e.context);
    EXPECT_EQ(Pixel(1, 20, 10), 0xFF0000u);
    // Half red over the background's blue, composed before it reached the screen.
    const uint32_t blended = Pixel(1, 25, 12);
    EXPECT_NEAR(int(blended >> 16), 128, 2);
    EXPECT_EQ(blended & 0xFF00, 0u);
    EXPECT_NEAR(int(blended & 0xFF), 127, 2);
    EXPECT_EQ(Pixel(1, 28, 12), kBackground);
    EXPECT_EQ(Pixel(1, 25, 16), kBackground);
}

TEST_F(EffectPictureTest, PartInALayerTakesThePicturesMask) {
    OpenScreen(64, 48, true);
    Effect e;
    ViaLayer(e, 0, 10, 6, 20, 12, -1, -1, 0, 0, MakeMask(20, 12, [](int, int) { return true; }).release());
    BitMapPtr picture = MakeBitMap(20, 12, [](int, int) { return 0x00FF00u; });
    BitMapPtr mask = MakeMask(20, 12, [](int x, int y) { return (x + y) % 2 == 0; });
    ShowEffectLayer(&e.context);
    DrawEffectPicturePart(picture.get(), 2, 2, nullptr, 12, 8, 6, 4, 20, 12, 64, 48, 4, 0, nullptr, mask.get(), nullptr,
                          nullptr, &e.context);
    const qzBitMap* layerMask = e.context.layer->display->own.mask;
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 6; x++) EXPECT_EQ(Bit(layerMask, 2 + x, 2 + y), (x + y) % 2 == 0) << x << "," << y;
    EXPECT_EQ(Bit(layerMask, 1, 2), 0);
    EXPECT_EQ(Pixel(1, 12, 8), 0x00FF00u);
    EXPECT_EQ(Pixel(1, 13, 8), kBackground);
}

TEST(EffectPicture, DisplaceLinesBetweenPictures) {
    BitMapPtr source = MakeBitMap(5, 4, [](int, int y) { return uint32_t(0x10 * (y + 1)); });
    BitMapPtr destination = MakeBitMap(5, 4, [](int, int) { return 0u; });
    const double step = 2.0 * M_PI / 4;
    double offsets[4];
    for (int i = 0; i < 4; i++) offsets[i] = -(i + 0.5) * step;  // destination row i from source row 3 - i
    qzDisplaceJob job = {};
    job.offsets = offsets;
    job.width = 5;
    job.height = 4;
    job.lines = 4;
    job.lastLine = 3;
    DisplaceEffectLines(source.get(), destination.get(), &job);
    EXPECT_EQ(job.copied, 4);
    for (int y = 0; y < 4; y++) EXPECT_EQ(blittest::Pixel(destination.get(), 2, y) & 0xFF, uint32_t(0x10 * (4 - y)));
    // Without a destination nothing happens.
    qzDisplaceJob none = job;
    none.copied = -1;
    DisplaceEffectLines(source.get(), nullptr, &none);
    EXPECT_EQ(none.copied, -1);
}

TEST(EffectPicture, RollStateReleasesWhatItHolds) {
    qzEffectContext context = {};
    ASSERT_EQ(AllocEffectState(&context, sizeof(qzRollStateHead) + 16), 0);
    auto* head = static_cast<qzRollStateHead*>(context.state);
    head->bitmaps[0] = CreateBitMap(4, 4, 0, nullptr);
    head->mask = CreateMaskBitMap(nullptr, 4, 4, 1, nullptr, 0);
    head->alpha = CreateAlphaBitMap(4, 4, 1, nullptr, 0);
    head->buffer = malloc(32);
    FreeRollState(&context, 1);
    EXPECT_EQ(head->bitmaps[0], nullptr);
    EXPECT_EQ(head->buffer, nullptr);
    FreeRollState(&context, 0);  // twice, and without a state, is harmless
    free(context.state);
    context.state = nullptr;
    FreeRollState(&context, 0);
}

}  // namespace effect_picture_test
