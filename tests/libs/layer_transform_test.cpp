// Layer transforms: the matrix built from scale, size and rotation (a whole turn is the identity),
// its decomposition into a whole-degree turn of a uniform scale, transformed states rendered
// through the owner of the layer's type, brush layers turned and scaled compared with the same
// brush transformed first and shown plainly, and clip regions that turn and scale with the layer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "display/layer_hooks.h"
#include "display/layer_kinds.h"
#include "display/layer_test_util.h"
#include "display/layer_transform.h"
#include "gfx/clip_region.h"
#include "image/brush.h"
#include "libs/brush/brush_lib.h"
#include "libs/draw/draw.h"
#include "libs/graphics/attributes.h"
#include "libs/graphics/graphics.h"
#include "libs/graphics/graphics_commands.h"
#include "libs/layers/layer_render.h"

namespace layer_transform_test {

TEST(LayerTransform, ScaleRotateMatrix) {
    const struct {
        int32_t targetWidth, targetHeight;
        double scaleX, scaleY, angle;
        double expected[4];
    } rows[] = {
        {0, 0, 1, 1, 0, {1, 0, 0, 1}},     {0, 0, 2, 3, 0, {2, 0, 0, 3}},
        {20, 5, 7, 7, 0, {2, 0, 0, 0.5}},  // a target size wins over the factors
        {10, 10, 2, 2, 0, {2, 0, 0, 2}},   // the source size is no target
        {0, 0, 1, 1, 90, {0, -1, 1, 0}},   {0, 0, 1, 1, 450, {0, -1, 1, 0}},
        {0, 0, 1, 1, -270, {0, -1, 1, 0}}, {0, 0, 2, 1, 180, {-2, 0, 0, -1}},
        {0, 0, 1, 1, 360, {1, 0, 0, 1}},  // a whole turn is the identity, exactly
        {0, 0, 1, 1, -720, {1, 0, 0, 1}},  {0, 0, 1, 1, 30, {std::cos(M_PI / 6), -0.5, 0.5, std::cos(M_PI / 6)}},
    };
    for (const auto& r : rows) {
        qzTransformTags t;
        InitTransformTags(&t);
        ComputeScaleRotateMatrix(&t, r.targetWidth, r.targetHeight, 10, 10, r.scaleX, r.scaleY, r.angle);
        for (int i = 0; i < 4; i++) EXPECT_NEAR(t.matrix[i], r.expected[i], 1e-12) << r.angle << " [" << i << "]";
    }
    qzTransformTags t;
    InitTransformTags(&t);
    ComputeScaleRotateMatrix(&t, 0, 0, 10, 10, 1, 1, 360);
    EXPECT_TRUE(IsIdentityMatrix(t.matrix));
    // An explicit matrix is restored as given.
    t.hasusermatrix = 1;
    const double user[4] = {0.5, 0.25, 0, 2};
    for (int i = 0; i < 4; i++) t.usermatrix[i] = user[i];
    RestoreLayerMatrix(&t, 10, 10);
    for (int i = 0; i < 4; i++) EXPECT_EQ(t.matrix[i], user[i]);
}

TEST(LayerTransform, Decomposition) {
    const struct {
        double angle, scaleX, scaleY;
        int notrotscale;
        double scale;
    } rows[] = {
        {30, 2, 2, 0, 2},   {90, 1.5, 1.5, 0, 1.5}, {45, 1, 1, 0, 1},
        {200, 3, 3, 0, 3},  {30, 2, 1, 1, 0},  // not uniform
        {30.5, 1, 1, 1, 0},                    // not a whole degree
    };
    for (const auto& r : rows) {
        qzTransformTags t;
        InitTransformTags(&t);
        ComputeScaleRotateMatrix(&t, 0, 0, 10, 10, r.scaleX, r.scaleY, r.angle);
        DecomposeLayerMatrix(&t);
        EXPECT_EQ(t.notrotscale, r.notrotscale) << r.angle;
        if (!r.notrotscale) {
            EXPECT_NEAR(std::fabs(t.decompscalex), r.scale, 1e-3) << r.angle;
        }
    }
    // A shear is no turn; a plain scale leaves the fields alone.
    qzTransformTags t;
    InitTransformTags(&t);
    const double shear[4] = {1, 0.5, 0, 1};
    for (int i = 0; i < 4; i++) t.matrix[i] = shear[i];
    DecomposeLayerMatrix(&t);
    EXPECT_EQ(t.notrotscale, 1);
    InitTransformTags(&t);
    t.matrix[0] = 2;
    t.notrotscale = 7;
    DecomposeLayerMatrix(&t);
    EXPECT_EQ(t.notrotscale, 7);
}

TEST(LayerTransform, ScaleRectForDisplay) {
    int32_t x = 3, y = 4, w = 10, h = 5;
    ScaleRectForDisplay(&x, &y, &w, &h, 1.5, 2);
    EXPECT_EQ(x, 5);  // 4.5 rounds up
    EXPECT_EQ(y, 8);
    EXPECT_EQ(w, 14);  // round(12 * 1.5) - 5 + 1
    EXPECT_EQ(h, 9);   // round(8 * 2) - 8 + 1
}

namespace {

class LayerTransforms : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary,   &qzSystemLibrary,
                                  &qzLayersLibrary,   &qzDisplayLibrary, &qzBrushLibrary};
        OpenLayered(64, 48, 0x000000);
    }
    // Brush n: 8 x 4 red with a green left column and a blue top-right pixel, so every turn and
    // flip shows.
    static void MakeBrush(int number) {
        qzBrush* brush = nullptr;
        ASSERT_EQ(FindBrush(nullptr, qzObjectId{number, nullptr}, &brush, 0), 0);
        FillBitmapColor(brush->bitmap, 0, 0, 1, 4, 0x00FF00);
        FillBitmapColor(brush->bitmap, 7, 0, 1, 1, 0x0000FF);
    }
    std::vector<uint32_t> Area(int32_t x, int32_t y, int32_t w, int32_t h) {
        std::vector<uint32_t> pixels;
        for (int32_t j = y; j < y + h; j++)
            for (int32_t i = x; i < x + w; i++) pixels.push_back(Pixel(1, i, j));
        return pixels;
    }
};

// A layer type whose owner draws its content itself: a box of the transform's first matrix
// element times 10 pixels square, in a colour of its own.
int renderCalls = 0;
const qzTransformTags* lastTransform = nullptr;
int RenderSquare(VmState*, qzLayer*, qzLayerState* st, const qzTransformTags* transform) {
    renderCalls++;
    lastTransform = transform;
    const int32_t side = int32_t(std::lround(std::fabs(transform->matrix[0]) * 10));
    st->own.bitmap = LayerTest::Solid(side, side, 0xFFFF00);
    st->width = st->height = side;
    return st->own.bitmap ? 0 : 1000;
}

}  // namespace

TEST_F(LayerTransforms, BrushLayersMatchTheBrushTransformedFirst) {
    const struct {
        qztest::Arg options;
        const char* command;
        std::vector<qztest::Arg> args;
    } rows[] = {
        {qztest::Arg::Table({{"rotate", 90}}), "RotateBrush", {2, 90}},
        {qztest::Arg::Table({{"rotate", 450}}), "RotateBrush", {2, 90}},
        {qztest::Arg::Table({{"rotate", 180}}), "RotateBrush", {2, 180}},
        {qztest::Arg::Table({{"scalex", 2}, {"scaley", 3}}), "ScaleBrush", {2, 16, 12}},
        {qztest::Arg::Table({{"width", 4}, {"height", 8}}), "ScaleBrush", {2, 4, 8}},
        {qztest::Arg::Table({{"transform", qztest::Arg::List({1, 0.5, 0, 1}, 0)}}),
         "TransformBrush",
         {2, 1, 0.5, 0, 1}},
    };
    for (const auto& r : rows) {
        vm->Ok("FreeLayers");
        vm->Run("FreeBrush", {1});
        vm->Run("FreeBrush", {2});
        vm->Ok("CreateBrush", {1, 8, 4, 0xFF0000});
        MakeBrush(1);
        vm->Ok("CopyBrush", {1, 2});
        vm->Ok(r.command, r.args);
        vm->Ok("DisplayBrush", {1, 10, 10, r.options});
        qzLayer* layer = FirstLayer(CurrentBGPic());
        ASSERT_NE(layer, nullptr);
        ASSERT_NE(layer->transformed, layer->base) << r.command;
        const std::vector<uint32_t> layered = Area(0, 0, 40, 40);
        vm->Ok("FreeLayers");
        vm->Ok("DisplayBrush", {2, 10, 10});
        EXPECT_EQ(Area(0, 0, 40, 40), layered) << r.command;
    }
}

TEST_F(LayerTransforms, WholeTurnRendersNothing) {
    vm->Ok("CreateBrush", {1, 8, 4, 0xFF0000});
    LogPresents();
    vm->Ok("DisplayBrush", {1, 10, 10, qztest::Arg::Table({{"rotate", 360}})});
    qzLayer* layer = FirstLayer(CurrentBGPic());
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->transformed, layer->base);
    EXPECT_TRUE(IsIdentityMatrix(layer->transform.matrix));
    EXPECT_EQ(Pixel(1, 17, 13), 0xFF0000u);
    EXPECT_EQ(presented, std::vector<std::string>{"10,10 8x4"});  // drawn straight onto the display
}

TEST_F(LayerTransforms, OwnersRenderTheirContent) {
    // The type's owner renders the transformed state; the redraw shows what it drew.
    qzLayerKindOps ops = {};
    ops.renderContent = RenderSquare;
    SetLayerKindOps(QZ_LAYER_BOX, &ops);
    qzTransformTags transform;
    InitTransformTags(&transform);
    transform.matrix[0] = transform.matrix[3] = 2;
    qzLayer* layer = nullptr;
    ASSERT_EQ(AddLayerForObject(*vm, QZ_LAYER_BOX, {0, nullptr}, 20, 20, 10, 10, &transform, nullptr,
                                Solid(10, 10, 0xFF0000), nullptr, nullptr, nullptr, -1, 0, &layer),
              0);
    EXPECT_EQ(renderCalls, 1);
    EXPECT_NE(lastTransform, &layer->transform);  // always a copy
    EXPECT_EQ(layer->transformed->width, 20);
    EXPECT_EQ(Pixel(1, 39, 39), 0xFFFF00u);
    // The layer's own record is refused without rendering.
    testing::internal::CaptureStdout();
    EXPECT_EQ(RenderLayerContent(*vm, layer, layer->transformed, &layer->transform), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR! LT MUST BE INDEPENDENT OF THE LAYER!\n");
    EXPECT_EQ(renderCalls, 1);
    // Back to the identity: the transformed state goes.
    layer->transform.matrix[0] = layer->transform.matrix[3] = 1;
    EXPECT_EQ(RenderLayerObject(*vm, layer, QZ_RENDER_TRANSFORM), 0);
    EXPECT_EQ(layer->transformed, layer->base);
    EXPECT_EQ(layer->display, layer->base);
    EXPECT_EQ(renderCalls, 1);
    SetLayerKindOps(QZ_LAYER_BOX, nullptr);
    renderCalls = 0;
}

TEST_F(LayerTransforms, ShapeLayersAreDrawnAgainByTheirOwner) {
    delete vm;
    vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary, &qzLayersLibrary,
                              &qzDisplayLibrary,  &qzBrushLibrary, &qzDrawLibrary};
    OpenLayered(64, 48, 0x000000);
    vm->Ok("SetFillStyle", {1});
    vm->Ok("Box", {10, 10, 20, 6, 0xFF0000, qztest::Arg::Table({{"rotate", 90}})});
    qzLayer* layer = FirstLayer(CurrentBGPic());
    ASSERT_NE(layer, nullptr);
    ASSERT_NE(layer->transformed, layer->base);
    EXPECT_EQ(layer->transformed->width, layer->base->height);
    EXPECT_EQ(layer->transformed->height, layer->base->width);
    // The turned box stands upright on the display: 6 wide, 20 high.
    EXPECT_EQ(Pixel(1, 12, 27), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 25, 12), 0x000000u);
}

TEST_F(LayerTransforms, TurnedLayersAreClippedByTheirTurnedRegion) {
    // A 20 x 10 brush, green on the left and red on the right, about its centre (30, 20), clipped
    // to its left half: turned or scaled, the region goes with the content, so only green shows;
    // with "nocliptransform" the region stays where it was.
    const struct {
        qztest::Arg tags;
        bool noClipTransform;
        int green;  // at least this much of the green half shows
    } rows[] = {
        {qztest::Arg::Table({{"rotate", 90}}), false, 90},
        {qztest::Arg::Table({{"rotate", 30}}), false, 80},
        {qztest::Arg::Table({{"scalex", 2}, {"scaley", 1.5}}), false, 280},  // 20 x 15
        {qztest::Arg::Table({{"rotate", 90}, {"nocliptransform", 1}}), true, 0},
    };
    for (const auto& r : rows) {
        const std::string what = r.tags.Describe();
        vm->Ok("FreeLayers");
        vm->Run("FreeBrush", {1});
        vm->Ok("CreateBrush", {1, 20, 10, 0xFF0000});
        qzBrush* brush = nullptr;
        ASSERT_EQ(FindBrush(nullptr, qzObjectId{1, nullptr}, &brush, 0), 0);
        FillBitmapColor(brush->bitmap, 0, 0, 10, 10, 0x00FF00);
        vm->Ok("CreateClipRegion", {1, 14, 20, 15, 10, 10});
        vm->Ok("DisplayBrush", {1, 30, 20, qztest::Arg::Table({{"anchorx", 0.5}, {"anchory", 0.5}})});
        vm->Ok("SetLayerStyle", {1, qztest::Arg::Table({{"clipregion", 1}})});
        vm->Ok("SetLayerStyle", {1, r.tags});
        const qzLayer* layer = FirstLayer(CurrentBGPic());
        ASSERT_NE(layer->transformed, layer->base) << what;
        ASSERT_NE(layer->transformed->clipRegion, nullptr) << what;
        EXPECT_EQ(layer->transformed->ownsClipRegion, r.noClipTransform ? 0 : 1) << what;
        int green = 0, red = 0, outside = 0;
        for (int32_t y = 0; y < 48; y++) {
            for (int32_t x = 0; x < 64; x++) {
                const uint32_t pixel = Pixel(1, x, y);
                green += pixel == 0x00FF00u;
                red += pixel == 0xFF0000u;
                outside += pixel != 0 && (x < 20 || x >= 30 || y < 15 || y >= 25);
            }
        }
        if (r.noClipTransform) {
            EXPECT_GT(red, 0) << what;  // the upright region cuts across the turned halves
            EXPECT_EQ(outside, 0) << what;
        } else {
            EXPECT_GE(green, r.green) << what;
            EXPECT_LE(red, 10) << what;  // at most a seam along the turned edge
        }
        vm->Ok("FreeClipRegion", {1});
    }
}

// A clip region that a layer uses is gone for the script when freed (its number free again) but
// kept for the layer, and freed with the temporary regions once no layer uses it.
TEST_F(LayerTransforms, ARegionALayerUsesLivesUntilTheLayerLetsGo) {
    const auto regions = [] {
        int n = 0;
        for (qzObjectHeader* h = gfxClipRegions; h; h = h->next) n++;
        return n;
    };
    vm->Ok("CreateBrush", {1, 20, 10, 0xFF0000});
    vm->Ok("CreateClipRegion", {1, 14, 0, 0, 10, 10});
    vm->Ok("CreateClipRegion", {2, 14, 0, 0, 20, 20});
    qzClipRegion* region = nullptr;
    ASSERT_EQ(FindClipRegion({1, nullptr}, &region, 0), 0);
    vm->Ok("DisplayBrush", {1, 0, 0});
    vm->Ok("SetLayerStyle", {1, qztest::Arg::Table({{"clipregion", 1}})});
    vm->Ok("FreeClipRegion", {1});
    EXPECT_EQ(vm->Run("GetAttribute", {35, 1, ATTRWIDTH}), "ERR 1215");
    EXPECT_EQ(region->freePending, 1);
    EXPECT_EQ(region->width, 10);
    vm->Ok("CreateClipRegion", {1, 14, 0, 0, 5, 5});
    EXPECT_EQ(vm->Run("GetAttribute", {35, 1, ATTRWIDTH}), "5");
    FreeTemporaryClipRegions();  // still in use: stays
    EXPECT_EQ(regions(), 3);
    EXPECT_EQ(Pixel(1, 9, 9), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 10, 9), 0x000000u);
    vm->Ok("FreeLayers");
    FreeTemporaryClipRegions();
    EXPECT_EQ(regions(), 2);
    EXPECT_EQ(vm->Run("GetAttribute", {35, 2, ATTRWIDTH}), "20");
}

TEST_F(LayerTransforms, RestyledLayersFollowTheDisplaysScale) {
    // A layer turned, scaled or given a matrix while the display scales its layers (2 across, 1
    // down) shows as the same layer restyled first and then scaled with the display.
    using qztest::Arg;
    const struct {
        Arg shown;  // the layer's options when it is made
        const char* command;
        std::vector<Arg> args;
    } rows[] = {
        {Arg::Table({}), "RotateLayer", {1, 90}},
        {Arg::Table({}), "ScaleLayer", {1, 16, 12}},
        {Arg::Table({}), "TransformLayer", {1, 1, 0.5, 0, 1}},
        {Arg::Table({{"rotate", 30}}), "RotateLayer", {1, 0}},
        {Arg::Table({{"scalex", 2}}), "SetLayerStyle", {1, Arg::Table({{"rotate", 90}, {"x", 30}})}},
        {Arg::Table({}), "SetLayerStyle", {1, Arg::Table({{"id", 99}})}},
        {Arg::Table({}), "SetLayerStyle", {1, Arg::Table({{"partx", 2}, {"partwidth", 5}})}},
    };
    vm->Ok("CreateBrush", {1, 8, 4, 0xFF0000});
    MakeBrush(1);
    vm->Ok("CreateBrush", {99, 6, 6, 0xFF0000});
    const Arg scaled = Arg::Table({{"scalemode", 2}, {"scalewidth", 128}, {"scaleheight", 48}});
    int number = 2;
    for (const auto& r : rows) {
        std::vector<uint32_t> shown[2];
        for (int restyledFirst = 0; restyledFirst < 2; restyledFirst++, number++) {
            OpenCurrent(number, Arg::Table({{"width", 64}, {"height", 48}, {"layers", true}, {"color", 0.0}}));
            vm->Ok("DisplayBrush", {1, 20, 20, r.shown});
            if (restyledFirst) vm->Ok(r.command, r.args);
            vm->Ok("SetDisplayAttributes", {scaled});
            if (!restyledFirst) vm->Ok(r.command, r.args);
            RefreshDisplayRect(*vm, 0, 0, 64, 48);
            for (int32_t y = 0; y < 48; y++)
                for (int32_t x = 0; x < 128; x++) shown[restyledFirst].push_back(Pixel(number, x, y));
        }
        EXPECT_EQ(std::count(shown[1].begin(), shown[1].end(), 0xFF0000u) > 0, true) << r.command;
        EXPECT_EQ(shown[0], shown[1]) << r.command;
    }
}

TEST_F(LayerTransforms, LayersMadeWhileTheDisplayScalesFollowItsScale) {
    // A layer made while the display scales its layers (2 across, 1 down) shows as the same layer
    // made before the display began to scale.
    using qztest::Arg;
    delete vm;
    vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary, &qzLayersLibrary,
                              &qzDisplayLibrary,  &qzBrushLibrary, &qzDrawLibrary};
    const struct {
        const char* command;
        std::vector<Arg> args;
    } rows[] = {
        {"DisplayBrush", {1, 20, 20}},
        {"DisplayBrush", {1, 20, 20, Arg::Table({{"rotate", 30}})}},
        {"DisplayBrush", {1, 20, 20, Arg::Table({{"transparency", 100}})}},
        {"Box", {10, 10, 20, 6, 0xFF0000}},
        {"Box", {10, 10, 20, 6, 0xFF0000, Arg::Table({{"rotate", 90}})}},
        {"InsertLayer", {1, 3, 1, 20, 20}},
        {"CreateLayer", {10, 10, 12, 6, Arg::Table({{"color", 0xFF0000}})}},
    };
    vm->Ok("CreateBrush", {1, 8, 4, 0xFF0000});
    vm->Ok("SetFillStyle", {1});
    const Arg scaled = Arg::Table({{"scalemode", 2}, {"scalewidth", 128}, {"scaleheight", 48}});
    const auto Window = [this](int number) {
        std::vector<uint32_t> pixels;
        for (int32_t y = 0; y < 48; y++)
            for (int32_t x = 0; x < 128; x++) pixels.push_back(Pixel(number, x, y));
        return pixels;
    };
    int number = 2;
    for (const auto& r : rows) {
        std::vector<uint32_t> shown[2];
        for (int madeFirst = 0; madeFirst < 2; madeFirst++, number++) {
            OpenCurrent(number, Arg::Table({{"width", 64}, {"height", 48}, {"layers", true}, {"color", 0.0}}));
            if (madeFirst) vm->Ok(r.command, r.args);
            vm->Ok("SetDisplayAttributes", {scaled});
            if (!madeFirst) vm->Ok(r.command, r.args);
            qzLayer* layer = FirstLayer(CurrentBGPic());
            ASSERT_NE(layer, nullptr) << r.command;
            EXPECT_NE(layer->display, layer->transformed) << r.command << " made first: " << madeFirst;
            // Drawn at once, as a refresh of its area draws it.
            const std::vector<uint32_t> drawn = Window(number);
            RefreshDisplayRect(*vm, 0, 0, 64, 48);
            shown[madeFirst] = Window(number);
            if (!madeFirst) {
                EXPECT_EQ(drawn, shown[0]) << r.command;
            }
        }
        EXPECT_GT(std::count_if(shown[1].begin(), shown[1].end(), [](uint32_t p) { return p != 0; }), 0) << r.command;
        EXPECT_EQ(shown[0], shown[1]) << r.command;
    }
}

}  // namespace layer_transform_test
