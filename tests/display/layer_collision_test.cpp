// Pixel collision against a brute-force check over random masks, alpha channels and shaped clips,
// the box rule at the edges, and the Collision command's box and layer kinds.
#include <random>
#include <vector>

#include "base/error_codes.h"
#include "display/event_buttons.h"
#include "display/layer_collision.h"
#include "display/layer_test_util.h"
#include "gfx/bitmap_lock.h"
#include "gfx/mask_bits.h"

namespace layer_collision_test {

using qztest::Arg;

namespace {

// One random object: its box, its planes (the same random grid drives them and the oracle) and an
// optional shaped clip.
struct RandomObject {
    qzCollisionObject object = {};
    int planes = 0;  // 0 none, 1 mask, 2 alpha, 3 both
    int32_t planeWidth = 0, planeHeight = 0;
    std::vector<uint8_t> maskBits, alphaBytes, clipBits;
    int32_t clipWidth = 0, clipHeight = 0;

    ~RandomObject() {
        DeleteMaskBitMap(const_cast<qzBitMap*>(object.mask));
        DeleteAlphaBitMap(const_cast<qzBitMap*>(object.alpha));
        DeleteMaskBitMap(const_cast<qzBitMap*>(object.clipMask));
    }

    static qzBitMap* MakeMask(int32_t width, int32_t height, const std::vector<uint8_t>& bits) {
        qzBitMap* mask = CreateMaskBitMap(nullptr, width, height, 1, nullptr, 0);
        BitMapLock lock(mask, 0);
        for (int32_t y = 0; y < height; y++)
            for (int32_t x = 0; x < width; x++)
                if (bits[size_t(y) * width + x])
                    SetMaskBit(static_cast<uint8_t*>(lock.info.pixels) + y * lock.info.rowLength, x);
        return mask;
    }

    void Make(std::mt19937& random) {
        auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
        object.x = pick(-4, 12);
        object.y = pick(-4, 12);
        object.width = pick(1, 12);
        object.height = pick(1, 12);
        object.sourceX = pick(0, 2);
        object.sourceY = pick(0, 2);
        planes = pick(0, 3);
        planeWidth = object.sourceX + object.width + pick(0, 1) - 1;  // sometimes a column short
        planeHeight = object.sourceY + object.height;
        if (planeWidth < 1) planeWidth = 1;
        const size_t count = size_t(planeWidth) * planeHeight;
        maskBits.resize(count);
        alphaBytes.resize(count);
        for (size_t i = 0; i < count; i++) {
            maskBits[i] = pick(0, 3) == 0;  // sparse, so that misses happen
            alphaBytes[i] = pick(0, 3) == 0 ? uint8_t(pick(1, 255)) : 0;
        }
        if (planes & 1) object.mask = MakeMask(planeWidth, planeHeight, maskBits);
        if (planes & 2) {
            qzBitMap* alpha = CreateAlphaBitMap(planeWidth, planeHeight, 1, nullptr, 0);
            BitMapLock lock(alpha, 0);
            for (int32_t y = 0; y < planeHeight; y++)
                for (int32_t x = 0; x < planeWidth; x++)
                    static_cast<uint8_t*>(lock.info.pixels)[y * lock.info.rowLength + x] =
                        alphaBytes[size_t(y) * planeWidth + x];
            object.alpha = alpha;
        }
        if (pick(0, 2) == 0) {
            object.clipX = pick(-2, 10);
            object.clipY = pick(-2, 10);
            clipWidth = pick(1, 14);
            clipHeight = pick(1, 14);
            clipBits.resize(size_t(clipWidth) * clipHeight);
            for (auto& bit : clipBits) bit = pick(0, 1);
            object.clipMask = MakeMask(clipWidth, clipHeight, clipBits);
        }
    }

    // Solid at x, y: inside the box, its shape (the mask decides when there is one) and its clip.
    bool Solid(int32_t x, int32_t y) const {
        if (x < object.x || y < object.y || x >= object.x + object.width || y >= object.y + object.height) return false;
        if (planes) {
            const int32_t px = x - object.x + object.sourceX, py = y - object.y + object.sourceY;
            if (px >= planeWidth || py >= planeHeight) return false;
            const size_t i = size_t(py) * planeWidth + px;
            if ((planes & 1) ? !maskBits[i] : !alphaBytes[i]) return false;
        }
        if (object.clipMask) {
            const int32_t cx = x - object.clipX, cy = y - object.clipY;
            if (cx < 0 || cy < 0 || cx >= clipWidth || cy >= clipHeight) return false;
            if (!clipBits[size_t(cy) * clipWidth + cx]) return false;
        }
        return true;
    }
};

}  // namespace

TEST(LayerCollision, AgreesWithBruteForce) {
    std::mt19937 random(27);
    int hits = 0;
    for (int round = 0; round < 600; round++) {
        RandomObject a, b;
        a.Make(random);
        b.Make(random);
        bool expected = false;
        for (int32_t y = -6; y < 30 && !expected; y++)
            for (int32_t x = -6; x < 30 && !expected; x++) expected = a.Solid(x, y) && b.Solid(x, y);
        hits += expected;
        ASSERT_EQ(TestPixelCollision(&a.object, &b.object), expected ? 1 : 0) << "round " << round;
        ASSERT_EQ(TestPixelCollision(&b.object, &a.object), expected ? 1 : 0) << "round " << round;
    }
    EXPECT_GT(hits, 60);  // both answers are well represented
    EXPECT_LT(hits, 540);
}

// An object with both a mask and an alpha channel is one shape: its two planes do not stand in for
// the other object's.
TEST(LayerCollision, MaskAndAlphaOfOneObjectCountOnce) {
    qzBitMap* fullMask = CreateMaskBitMap(nullptr, 4, 4, 1, nullptr, 0);
    {
        BitMapLock lock(fullMask, 0);
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 4; x++)
                SetMaskBit(static_cast<uint8_t*>(lock.info.pixels) + y * lock.info.rowLength, x);
    }
    qzBitMap* fullAlpha = CreateAlphaBitMap(4, 4, 1, nullptr, 0);
    FillAlphaRect(fullAlpha, 0, 0, 4, 4, 255);
    qzBitMap* emptyMask = CreateMaskBitMap(nullptr, 4, 4, 1, nullptr, 0);
    const qzCollisionObject both = {0, 0, 4, 4, fullMask, fullAlpha, 0, 0, nullptr, 0, 0};
    const qzCollisionObject empty = {0, 0, 4, 4, emptyMask, nullptr, 0, 0, nullptr, 0, 0};
    EXPECT_EQ(TestPixelCollision(&both, &empty), 0);
    DeleteMaskBitMap(fullMask);
    DeleteAlphaBitMap(fullAlpha);
    DeleteMaskBitMap(emptyMask);
}

TEST_F(LayerTest, CollisionCommandBoxesAndLayers) {
    // Boxes: edges inclusive; touching at one pixel collides, one pixel apart does not.
    EXPECT_EQ(vm->CallNum("Collision", {14, 0, 0, 4, 4, 3, 3, 4, 4}), 1);
    EXPECT_EQ(vm->CallNum("Collision", {14, 0, 0, 4, 4, 4, 0, 4, 4}), 0);
    EXPECT_EQ(vm->CallErr("Collision", {99, 0, 0}), ERR_WRONGUSAGE);
    EXPECT_EQ(vm->CallErr("Collision", {3, 1, 0, 0, 2, 0, 0}), ERR_FINDBRUSH);

    OpenLayered();
    Add(1, 0, 0, 8, 8, 0xFF0000);
    qzBitMap* alpha = Alpha(8, 8, 0);
    FillAlphaRect(alpha, 6, 6, 2, 2, 255);  // solid only in its bottom-right corner
    Add(2, 4, 4, 8, 8, 0x00FF00, nullptr, -1, 0, alpha);
    ASSERT_EQ(SetLayerNameChecked(CurrentBGPic(), GetLayerByPosition(CurrentBGPic(), 2), "corner"), 0);
    EXPECT_EQ(vm->CallNum("Collision", {22, 1, "corner"}), 0);  // boxes overlap, pixels do not
    EXPECT_EQ(vm->CallNum("Collision", {47, "corner", 10, 10, 1, 1}), 1);
    EXPECT_EQ(vm->CallNum("Collision", {47, 2, 4, 4, 2, 2}), 0);
    EXPECT_EQ(vm->CallErr("Collision", {22, 1, 3}), ERR_LAYERRANGE);
    EXPECT_EQ(vm->CallErr("Collision", {22, 1, "none"}), ERR_FINDLAYER);
    EXPECT_EQ(vm->CallErr("Collision", {22, 1, true}), ERR_STRORNUM);
}

namespace {
int Handler(VmState*) { return 0; }
}  // namespace

// Layer buttons: the box, or with pixel exactness the layer's solid pixels; inert while the layer
// is hidden unless made for that; gone with their layer, and moved to a layer that replaces it.
TEST_F(LayerTest, LayerButtonsHitTheirLayer) {
    OpenLayered();
    qzBitMap* alpha = Alpha(8, 8, 0);
    FillAlphaRect(alpha, 0, 0, 2, 2, 255);  // solid in its top-left corner only
    qzLayer* layer = Add(1, 10, 10, 8, 8, 0x00FF00, nullptr, -1, 0, alpha);
    const Arg handlers = Arg::Table({{"onmousedown", Arg::Function(Handler)}});
    vm->Ok("MakeButton", {1, 1, 1, true, false, handlers});
    EXPECT_EQ(vm->CallErr("MakeButton", {2, 1, 1, false, true, handlers}), ERR_WRONGUSAGE);  // one per layer
    qzBGPic* pic = CurrentBGPic();
    qzBGPicButton* exact = FindButton(pic, {1, nullptr});
    ASSERT_NE(exact, nullptr);
    EXPECT_EQ(FindButton(pic, {2, nullptr}), nullptr);
    const struct {
        int32_t x, y, exactHit, boxHit;
    } rows[] = {{10, 10, 1, 1}, {11, 11, 1, 1}, {12, 12, 0, 1}, {17, 17, 0, 1}, {18, 10, 0, 0}, {9, 10, 0, 0}};
    for (const auto& r : rows) {
        EXPECT_EQ(HitTestButton(*vm, Display(1), r.x, r.y, exact), r.exactHit) << r.x << "," << r.y;
        EXPECT_EQ(HitTestLayer(*vm, Display(1), layer, r.x, r.y, 0), r.boxHit) << r.x << "," << r.y;
    }
    EXPECT_EQ(IsButtonActive(exact), 1);
    layer->hidden = 1;
    EXPECT_EQ(IsButtonActive(exact), 0);
    layer->hidden = 0;

    qzLayer* replacement = nullptr;
    ASSERT_EQ(AddLayerForObject(*vm, QZ_LAYER_BRUSH, {2, nullptr}, 10, 10, 8, 8, nullptr, nullptr, Solid(8, 8, 0xFF),
                                nullptr, nullptr, nullptr, 1, QZ_ADDLAYER_REPLACE, &replacement),
              0);
    EXPECT_EQ(exact->layer, replacement);
    EXPECT_EQ(HitTestButton(*vm, Display(1), 12, 12, exact), 1);  // the new layer is solid there
    DeleteLayerRecord(*vm, pic, replacement, 1, nullptr, nullptr, 0);
    EXPECT_EQ(FindButton(pic, {1, nullptr}), nullptr);
}

}  // namespace layer_collision_test
