// Brushes on a display with layers on: a drawn brush becomes a layer, a brush that the script
// frees lives on while a layer shows it and goes with the last such layer, and a brush that
// changes leaves the layers that show it their old look.
#include <gtest/gtest.h>

#include "display/layer_kinds.h"
#include "display/layer_records.h"
#include "display/layer_test_util.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/position.h"
#include "image/brush.h"
#include "image/draw_options.h"
#include "image/output_select.h"
#include "libs/brush/brush_lib.h"
#include "libs/graphics/graphics.h"

namespace brush_layers_test {

namespace {

class BrushLayers : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary,   &qzSystemLibrary,
                                  &qzLayersLibrary,   &qzDisplayLibrary, &qzBrushLibrary};
        OpenLayered(64, 48, 0x000000);
    }
    // Marks column x of every row of the brush's mask or alpha channel solid.
    static void MakeColumnSolid(int number, int x) {
        qzBrush* brush = nullptr;
        ASSERT_EQ(FindBrush(nullptr, qzObjectId{number, nullptr}, &brush, 0), 0);
        qzBitMap* plane = brush->mask ? brush->mask : brush->alpha;
        qzLockInfo lock;
        ASSERT_TRUE(LockBitMapPixels(plane, 0, &lock));
        for (int y = 0; y < brush->height; y++) {
            uint8_t* row = static_cast<uint8_t*>(lock.pixels) + y * lock.rowLength;
            if (brush->mask)
                row[x >> 3] |= uint8_t(0x80 >> (x & 7));
            else
                row[x] = 255;
        }
        UnlockBitMapPixels(&lock);
    }
    static int CountBrushes() {
        int n = 0;
        for (qzBrush* b = FirstBrush(); b; b = NextBrush(b)) n++;
        return n;
    }
};

}  // namespace

TEST_F(BrushLayers, FreedBrushLivesWhileALayerShowsIt) {
    ASSERT_EQ(vm->Run("CreateBrush", {1, 10, 10, 0xFF0000}), "");
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 5, 5}), "");
    EXPECT_EQ(Ids(), std::vector<int32_t>{1});
    EXPECT_EQ(Pixel(1, 14, 14), 0xFF0000u);

    ASSERT_EQ(vm->Run("FreeBrush", {1}), "");
    EXPECT_EQ(vm->Run("FreeBrush", {1}), "ERR 1174");
    ASSERT_EQ(vm->Run("CreateBrush", {1, 4, 4, 0x00FF00}), "");  // the number is free at once
    EXPECT_EQ(CountBrushes(), 2);
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 12, 12, qztest::Arg::Table({{"transparency", 0}})}), "");
    EXPECT_EQ(Pixel(1, 6, 6), 0xFF0000u);  // the freed brush, still drawn by its layer
    EXPECT_EQ(Pixel(1, 14, 14), 0x00FF00u);

    // The last layer that shows it goes, and the brush with it.
    DeleteLayerRecord(*vm, CurrentBGPic(), FirstLayer(CurrentBGPic()), 0, nullptr, nullptr, 0);
    EXPECT_EQ(CountBrushes(), 1);
    EXPECT_EQ(Pixel(1, 6, 6), 0x000000u);
}

TEST_F(BrushLayers, ChangedBrushLeavesLayersTheirLook) {
    ASSERT_EQ(vm->Run("CreateBrush", {1, 10, 10, 0xFF0000}), "");
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 5, 5}), "");
    ASSERT_EQ(vm->Run("ScaleBrush", {1, 4, 4}), "");
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 40, 5}), "");
    ASSERT_EQ(vm->Run("CropBrush", {1, 0, 0, 2, 2}), "");
    qzLayer* first = FirstLayer(CurrentBGPic());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->id.number, 0);  // the layer shows a private copy now
    EXPECT_EQ(Pixel(1, 14, 14), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 43, 8), 0xFF0000u);  // the second layer keeps the 4 x 4 look
    EXPECT_EQ(CountBrushes(), 3);
    // Drawn with options, a brush becomes a layer that keeps them.
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 30, 30, qztest::Arg::Table({{"scalex", 3}, {"name", "big"}})}), "");
    ASSERT_EQ(Ids().size(), 3u);
    qzLayer* last = LastLayer(CurrentBGPic());
    EXPECT_STREQ(last->name, "big");
    EXPECT_EQ(last->transform.matrix[0], 3);
    // "insertpos" names a layer by its name, and a position above the top is the top.
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 0, 0, qztest::Arg::Table({{"insertpos", "big"}, {"name", "under"}})}), "");
    EXPECT_STREQ(LastLayer(CurrentBGPic())->name, "big");
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 0, 0, qztest::Arg::Table({{"insertpos", 99}, {"name", "top"}})}), "");
    EXPECT_STREQ(LastLayer(CurrentBGPic())->name, "top");
    EXPECT_EQ(vm->Run("DisplayBrush", {1, 0, 0, qztest::Arg::Table({{"insertpos", "nosuch"}})}), "ERR 1369");
    EXPECT_EQ(vm->Run("DisplayBrushPart", {1, 2, 0, 0, 0, 1, 1}), "ERR 1217");
    EXPECT_EQ(Ids().size(), 5u);  // a refused draw makes no layer
}

TEST_F(BrushLayers, CollisionOfBrushes) {
    // 1: 8 x 8 with a mask, solid in columns 0-3; 2: 8 x 8 with an alpha channel, solid in
    // columns 4-7; 3: 4 x 4 without either.
    ASSERT_EQ(vm->Run("CreateBrush", {1, 8, 8, 0xFF0000, qztest::Arg::Table({{"mask", 1}, {"clear", 1}})}), "");
    ASSERT_EQ(vm->Run("CreateBrush", {2, 8, 8, 0x00FF00, qztest::Arg::Table({{"alphachannel", 1}, {"clear", 1}})}), "");
    ASSERT_EQ(vm->Run("CreateBrush", {3, 4, 4, 0x0000FF}), "");
    for (int x = 0; x < 4; x++) {
        MakeColumnSolid(1, x);
        MakeColumnSolid(2, x + 4);
    }
    const int32_t right = QZ_POSITION_RIGHT;  // 56 on the 64 pixels wide display
    const struct {
        std::vector<qztest::Arg> args;
        std::string expected;
    } rows[] = {
        {{3, 1, 0, 0, 2, 4, 0}, "0"},   // the boxes overlap in columns 4-7, transparent in both
        {{3, 1, 0, 0, 2, -1, 5}, "1"},  // 2's column 3 lies over 1's column 3
        {{3, 2, 0, 0, 1, 8, 0}, "0"},   // boxes apart
        {{3, 3, 0, 0, 3, 3, 3}, "1"},   // plain boxes touching in one pixel
        {{3, 3, 0, 0, 3, 4, 0}, "0"},
        {{3, 3, 0, 0, 1, 0, 0}, "1"},  // plain against solid
        {{3, 3, 4, 0, 1, 0, 0}, "0"},  // plain against transparent
        {{46, 1, 0, 0, 4, 0, 4, 8}, "0"},
        {{46, 1, 0, 0, 3, 7, 1, 1}, "1"},
        {{46, 2, right, 0, 59, 0, 1, 48}, "0"},  // x resolved against the brush's width
        {{46, 2, right, 0, 60, 0, 1, 48}, "1"},
        {{3, 1, 0, 0, 9, 0, 0}, "ERR 1174"},
        {{46, 9, 0, 0, 0, 0, 10, 10}, "ERR 1174"},
    };
    for (size_t i = 0; i < std::size(rows); i++)
        EXPECT_EQ(vm->Run("Collision", rows[i].args), rows[i].expected) << "row " << i;
}

// GetBrushLink and ConvertToBrush copy what a layer shows (by position or by name): the whole
// brush, the shown part of a brush, with the mask's stand-in colour; layers must be on.
TEST_F(BrushLayers, LayerContentCopiedIntoBrushes) {
    ASSERT_EQ(vm->Run("CreateBrush", {1, 10, 10, 0xFF0000, qztest::Arg::Table({{"mask", 1}})}), "");
    qzBrush* source = nullptr;
    ASSERT_EQ(FindBrush(nullptr, qzObjectId{1, nullptr}, &source, 0), 0);
    const uint32_t green = 0x00FF00;
    WriteARGBToBitMap(&green, 0, 0, 4, source->bitmap, 3, 4, 1, 1);
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 5, 5}), "");
    ASSERT_EQ(vm->Run("DisplayBrushPart", {1, 3, 4, 20, 20, 4, 5, qztest::Arg::Table({{"name", "part"}})}), "");
    const struct {
        const char* command;
        std::vector<qztest::Arg> args;
        std::string expected;
        int number;
        int width, height;
        uint32_t topLeft;
    } rows[] = {
        {"GetBrushLink", {2, 22, 1}, "", 2, 10, 10, 0xFF0000},
        {"ConvertToBrush", {22, "part", 3}, "", 3, 4, 5, 0x00FF00},
        {"GetBrushLink", {4, 22, 3}, "ERR 1081", 4, 0, 0, 0},
        {"GetBrushLink", {4, 22, "none"}, "ERR 1369", 4, 0, 0, 0},
        {"ConvertToBrush", {4, 1, 4}, "ERR 1176", 4, 0, 0, 0},  // no anim code installed: not found
        {"ConvertToBrush", {8, 1, 4}, "ERR 1175", 4, 0, 0, 0},  // nor text-object code
    };
    for (const auto& r : rows) {
        EXPECT_EQ(vm->Run(r.command, r.args), r.expected) << r.number;
        if (!r.expected.empty()) continue;
        qzBrush* copy = nullptr;
        ASSERT_EQ(FindBrush(nullptr, qzObjectId{r.number, nullptr}, &copy, 0), 0);
        EXPECT_EQ(copy->width, r.width);
        EXPECT_EQ(copy->height, r.height);
        EXPECT_EQ(ReadBitMapPixel(copy->bitmap, 0, 0, 0), r.topLeft);
        EXPECT_NE(copy->mask, nullptr);
        EXPECT_EQ(copy->transparentcolor, 0x123456);
    }
}

// DisplayBGPicPart with "layers" draws the part of the picture as its layers show it; without, the
// picture alone.
TEST_F(BrushLayers, PicturePartWithItsLayers) {
    ASSERT_EQ(vm->Run("CreateBrush", {1, 10, 10, 0xFF0000}), "");
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 5, 5}), "");
    ASSERT_EQ(vm->Run("DisplayBGPicPart", {-1, 0, 0, 20, 20, 30, 20, qztest::Arg::Table({{"layers", 1}})}), "");
    ASSERT_EQ(vm->Run("DisplayBGPicPart", {-1, 0, 0, 20, 20, 40, 0, 0}), "");
    EXPECT_EQ(Pixel(1, 36, 26), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 34, 24), 0x000000u);
    EXPECT_EQ(Pixel(1, 46, 6), 0x000000u);
    // The composed part is the layer's own copy: the brush going leaves it as it is.
    ASSERT_EQ(vm->Run("FreeBrush", {1}), "");
    DeleteLayerRecord(*vm, CurrentBGPic(), FirstLayer(CurrentBGPic()), 0, nullptr, nullptr, 0);
    EXPECT_EQ(Pixel(1, 6, 6), 0x000000u);
    EXPECT_EQ(Pixel(1, 36, 26), 0xFF0000u);
}

// The layer system has image layers render their content anew under a layer's transform: the
// shown brush or part of it, turned or scaled, becomes the new state's own bitmaps.
TEST_F(BrushLayers, ImageLayersRenderTheirContentTransformed) {
    ASSERT_EQ(vm->Run("CreateBrush", {1, 4, 2, 0xFF0000}), "");
    qzBrush* brush = nullptr;
    ASSERT_EQ(FindBrush(nullptr, qzObjectId{1, nullptr}, &brush, 0), 0);
    const uint32_t green = 0x00FF00, blue = 0x0000FF;
    WriteARGBToBitMap(&green, 0, 0, 4, brush->bitmap, 0, 0, 1, 1);
    WriteARGBToBitMap(&blue, 0, 0, 4, brush->bitmap, 1, 0, 1, 1);
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 5, 5}), "");
    ASSERT_EQ(vm->Run("DisplayBrushPart", {1, 1, 0, 20, 20, 1, 1}), "");
    ASSERT_EQ(vm->Run("DisplayBGPicPart", {-1, 5, 5, 2, 1, 30, 30}), "");
    const struct {
        int position;
        double scale, angle;
        int width, height;
        int x, y;
        uint32_t colour;
    } rows[] = {
        {1, 1, 90, 2, 4, 0, 3, 0x00FF00},  // a quarter turn: the top-left corner goes to the bottom-left
        {1, 1, 90, 2, 4, 0, 2, 0x0000FF},
        {2, 3, 0, 3, 3, 2, 2, 0x0000FF},  // the part alone, three times as large
        {3, 2, 0, 4, 2, 3, 1, 0x000000},  // a part of the picture: its own pixels, not its layers
    };
    for (const auto& r : rows) {
        qzLayer* layer = FirstLayer(CurrentBGPic());
        for (int i = 1; i < r.position; i++) layer = NextLayer(layer);
        const qzLayerKindOps& ops = LayerKindOps(layer->type);
        ASSERT_NE(ops.renderContent, nullptr) << r.position;
        qzTransformTags transform;
        InitTransformTags(&transform);
        BuildScaleRotateMatrix(r.scale, r.scale, r.angle, transform.matrix);
        qzLayerState* target = NewLayerState();
        ASSERT_EQ(ops.renderContent(*vm, layer, target, &transform), 0) << r.position;
        EXPECT_EQ(target->width, r.width) << r.position;
        EXPECT_EQ(target->height, r.height) << r.position;
        EXPECT_EQ(ReadBitMapPixel(target->own.bitmap, r.x, r.y, 0), r.colour) << r.position;
        FreeLayerState(layer->type, target);
    }
}

// Drawing a brush into a brush selected as output brings the selection up to date first: the
// layer that shows the target keeps its look while the target takes the drawing.
TEST_F(BrushLayers, DrawingIntoASelectedBrushLeavesItsLayerAlone) {
    ASSERT_EQ(vm->Run("CreateBrush", {1, 10, 10, 0xFF0000}), "");
    ASSERT_EQ(vm->Run("CreateBrush", {2, 4, 4, 0x00FF00}), "");
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 5, 5}), "");
    ASSERT_EQ(vm->Run("SelectBrush", {1}), "");
    ASSERT_EQ(vm->Run("DisplayBrush", {2, 0, 0}), "");
    ASSERT_EQ(EndSelectOutput(*vm, CurrentDisplay(), 0), 0);
    qzBrush* target = nullptr;
    ASSERT_EQ(FindBrush(nullptr, qzObjectId{1, nullptr}, &target, 0), 0);
    EXPECT_EQ(ReadBitMapPixel(target->bitmap, 1, 1, 0), 0x00FF00u);
    EXPECT_EQ(ReadBitMapPixel(target->bitmap, 6, 6, 0), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 6, 6), 0xFF0000u);  // the layer shows the brush as it was
}

}  // namespace brush_layers_test
