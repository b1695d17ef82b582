// Shapes on a headless display: with layers on, every shape becomes a layer of its kind that keeps
// the layer options of its table and the look its draw state gives a layer (edge, shadow, wide
// outlines, transparency); Cls frees the layers. Without layers the options' filters and
// transparency apply to the drawn shape at once. Position constants place a shape in the display,
// and a shape lands on the same pixels with layers on or off.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "display/layer_hooks.h"
#include "display/layer_kinds.h"
#include "display/layer_test_util.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/position.h"
#include "libs/brush/brush_lib.h"
#include "libs/draw/draw.h"
#include "vector/draw_state.h"
#include "vector/shape_layer.h"

namespace draw_layers_test {

using qztest::Arg;

namespace {

class DrawLayers : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary, &qzLayersLibrary,
                                  &qzDisplayLibrary,  &qzBrushLibrary, &qzDrawLibrary};
    }
    static int Count() { return CountLayers(CurrentBGPic()); }
    static bool Near(uint32_t a, uint32_t b, int tolerance = 2) {
        for (int shift = 0; shift <= 16; shift += 8)
            if (std::abs(int((a >> shift) & 255) - int((b >> shift) & 255)) > tolerance) return false;
        return true;
    }
};

int AsyncDrawEverywhere(const qzLayer*) { return 1; }

}  // namespace

TEST_F(DrawLayers, ShapeLayersKeepTheOptionsOfTheirTable) {
    OpenLayered(64, 48, 0x000000);
    vm->Ok("SetFillStyle", {FILLCOLOR});
    ASSERT_EQ(vm->Run("Box", {5, 5, 10, 8, 0xFF0000}), "");
    ASSERT_EQ(Count(), 1);
    EXPECT_EQ(LastLayer(CurrentBGPic())->type, QZ_LAYER_BOX);
    EXPECT_EQ(Pixel(1, 5, 5), 0xFF0000u);  // drawn at once, as the top layer
    EXPECT_EQ(Pixel(1, 14, 12), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 15, 13), 0x000000u);

    ASSERT_EQ(vm->Run("Box", {20, 5, 10, 8, 0x00FF00, Arg::Table({{"name", "green"}, {"hidden", true}})}), "");
    qzLayer* green = LastLayer(CurrentBGPic());
    EXPECT_STREQ(green->name, "green");
    EXPECT_EQ(green->hidden, 1);
    EXPECT_EQ(Pixel(1, 22, 6), 0x000000u);

    // Below everything: the red box stays on top of it.
    ASSERT_EQ(vm->Run("Box", {0, 0, 64, 48, 0x0000FF, Arg::Table({{"insertpos", 1}})}), "");
    EXPECT_EQ(FirstLayer(CurrentBGPic())->type, QZ_LAYER_BOX);
    EXPECT_EQ(Pixel(1, 6, 6), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 40, 40), 0x0000FFu);

    ASSERT_EQ(vm->Run("Ellipse", {36, 10, 5, 4, 0xFFFFFF, Arg::Table({{"transparency", 128}})}), "");
    EXPECT_EQ(LastLayer(CurrentBGPic())->type, QZ_LAYER_ELLIPSE);
    EXPECT_EQ(LastLayer(CurrentBGPic())->transparency, 128);
    EXPECT_TRUE(Near(Pixel(1, 41, 14), 0x7F7FFF)) << std::hex << Pixel(1, 41, 14);

    // A border of the options: the shape's outline grown by the size, in the border colour.
    ASSERT_EQ(vm->Run("Box", {40, 30, 6, 6, 0xFFFF00,
                              Arg::Table({{"border", true}, {"bordercolor", 0xFF00FF}, {"bordersize", 2}})}),
              "");
    EXPECT_EQ(Pixel(1, 38, 32), 0xFF00FFu);
    EXPECT_EQ(Pixel(1, 47, 37), 0xFF00FFu);
    EXPECT_EQ(Pixel(1, 37, 32), 0x0000FFu);
    EXPECT_EQ(Pixel(1, 42, 32), 0xFFFF00u);
    ASSERT_EQ(Count(), 5);

    // Refused options make no layer.
    const struct {
        Arg options;
        std::string expected;
    } errors[] = {
        {Arg::Table({{"name", std::string(256, 'n')}}), "ERR 1373"},
        {Arg::Table({{"insertpos", -1}}), "ERR 1370"},
        {Arg::Table({{"insertpos", "nosuch"}}), "ERR 1369"},
        {Arg::Table({{"name", "GREEN"}}), "ERR 1161"},
        {Arg::Table({{"border", true}, {"bordersize", 0}}), "ERR 1055"},
    };
    for (const auto& e : errors) EXPECT_EQ(vm->Run("Circle", {10, 10, 3, 0xFFFFFF, e.options}), e.expected);
    EXPECT_EQ(Count(), 5);
}

TEST_F(DrawLayers, TheDrawStateGivesTheLayerItsEdgeShadowAndOutline) {
    OpenLayered(64, 48, 0x000000);
    // A 5 wide outline: a 1-pixel outline drawn by its 2-pixel border in the same colour.
    vm->Ok("SetFillStyle", {FILLNONE, 5});
    ASSERT_EQ(vm->Run("Box", {10, 10, 20, 12, 0xFF0000}), "");
    qzLayer* box = LastLayer(CurrentBGPic());
    EXPECT_EQ(box->border.border, 1);
    EXPECT_EQ(box->border.bordersize, 2);
    EXPECT_EQ(box->border.bordercolor, 0xFF0000u);
    const struct {
        int x, y;
        uint32_t colour;
    } outline[] = {{10, 15, 0xFF0000}, {8, 15, 0xFF0000},  {12, 15, 0xFF0000}, {7, 15, 0}, {14, 15, 0},
                   {31, 15, 0xFF0000}, {20, 23, 0xFF0000}, {32, 15, 0},        {20, 16, 0}};
    for (const auto& p : outline) EXPECT_EQ(Pixel(1, p.x, p.y), p.colour) << p.x << "," << p.y;

    // EDGE and SHADOW become the layer's border and shadow; the shape itself is drawn without.
    vm->Ok("SetFillStyle", {FILLCOLOR});
    vm->Ok("SetFormStyle", {FORM_EDGE, 0x00FF00, 3});
    vm->Ok("SetFormStyle", {FORM_SHADOW, 0x000000, 6, SHDW_EAST});
    ASSERT_EQ(vm->Run("Circle", {40, 20, 8, 0x0000FF}), "");
    qzLayer* circle = LastLayer(CurrentBGPic());
    EXPECT_EQ(circle->type, QZ_LAYER_CIRCLE);
    EXPECT_EQ(circle->border.bordersize, 3);
    EXPECT_EQ(circle->shadow.shadow, 1);
    EXPECT_EQ(circle->shadow.shadowsize, 6);
    EXPECT_EQ(circle->shadow.shadowdir, SHDW_EAST);
    EXPECT_EQ(circle->display->width, 17);  // the body alone: no edge, no shadow in its bitmaps
    EXPECT_EQ(Pixel(1, 48, 28), 0x0000FFu);
    EXPECT_EQ(Pixel(1, 48, 18), 0x00FF00u);  // 2 above the circle, inside the 3-pixel edge
    EXPECT_EQ(Pixel(1, 48, 16), 0x000000u);

    // Cls frees every layer and shows the picture again; not while an asynchronous draw object
    // draws into one of them.
    qzLayerSystemHooks hooks = LayerSystemHooks();
    hooks.asyncDrawUsesLayer = AsyncDrawEverywhere;
    SetLayerSystemHooks(&hooks);
    EXPECT_EQ(vm->Run("Cls"), "ERR 1372");
    EXPECT_EQ(Count(), 2);
    hooks.asyncDrawUsesLayer = nullptr;
    SetLayerSystemHooks(&hooks);
    ASSERT_EQ(vm->Run("Cls"), "");
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(Pixel(1, 48, 28), 0x000000u);
    EXPECT_EQ(Pixel(1, 10, 15), 0x000000u);
}

// A transparency byte in the colour becomes the layer's transparency, the draw state keeps its
// own line width, a line becomes a line layer, nothing goes into the picture's pixels, and Plot
// refuses a display with layers.
TEST_F(DrawLayers, ColourTransparencyLinesAndPlotOnLayers) {
    OpenLayered(64, 48, 0x000000);
    vm->Ok("SetFillStyle", {FILLNONE, 5});
    ASSERT_EQ(vm->Run("Box", {10, 10, 20, 12, 0x30FF0000}), "");
    qzLayer* box = LastLayer(CurrentBGPic());
    EXPECT_EQ(box->transparency, 0x30);
    EXPECT_EQ(box->border.bordercolor, 0xFF0000u);
    EXPECT_EQ(GetDrawState()->lineWidth, 5);
    ASSERT_EQ(vm->Run("Line", {0, 40, 9, 40, 0xFFFFFF}), "");
    EXPECT_EQ(LastLayer(CurrentBGPic())->type, QZ_LAYER_LINE);
    const qzBitMap* pixels = CurrentBGPic()->bitmap;
    for (int x = 0; x < 10; x++) EXPECT_EQ(ReadBitMapPixel(pixels, x, 40, 0) & 0xFFFFFF, 0u) << x;
    EXPECT_EQ(vm->Run("Plot", {1, 1}), "ERR 1271");
    EXPECT_EQ(Count(), 2);
}

TEST_F(DrawLayers, WithoutLayersTheOptionsFilterTheShapeAtOnce) {
    OpenCurrent(1, Arg::Table({{"width", 32}, {"height", 24}, {"color", 0x0000FF}}));
    vm->Ok("SetFillStyle", {FILLCOLOR});
    ASSERT_EQ(vm->Run("Box",
                      {2, 2, 6, 6, 0xFF0000, Arg::Table({{"filters", Arg::List({Arg::Table({{"name", "invert"}})})}})}),
              "");
    EXPECT_EQ(Pixel(1, 4, 4), 0x00FFFFu);
    EXPECT_EQ(Pixel(1, 9, 4), 0x0000FFu);
    ASSERT_EQ(vm->Run("Box", {10, 2, 6, 6, 0xFF0000, Arg::Table({{"transparency", 128}})}), "");
    EXPECT_TRUE(Near(Pixel(1, 12, 4), 0x7F0080)) << std::hex << Pixel(1, 12, 4);
    // A transparency byte in the colour and the option's transparency both weaken the shape.
    ASSERT_EQ(vm->Run("Box", {20, 2, 6, 6, 0x80FF0000, Arg::Table({{"transparency", 128}})}), "");
    EXPECT_TRUE(Near(Pixel(1, 22, 4), 0x4000BF, 3)) << std::hex << Pixel(1, 22, 4);
}

TEST_F(DrawLayers, TextureFillTilesTheBrush) {
    OpenCurrent(1, Arg::Table({{"width", 32}, {"height", 24}, {"color", 0x0000FF}}));
    ASSERT_EQ(vm->Run("CreateBrush", {1, 3, 3, 0x00FF00}), "");
    vm->Ok("SetFillStyle", {FILLTEXTURE, 1});
    ASSERT_EQ(vm->Run("Box", {2, 2, 8, 8, 0}), "");
    EXPECT_EQ(Pixel(1, 2, 2), 0x00FF00u);
    EXPECT_EQ(Pixel(1, 9, 9), 0x00FF00u);
    EXPECT_EQ(Pixel(1, 10, 10), 0x0000FFu);
    vm->Ok("SetFillStyle", {FILLTEXTURE, 9});
    EXPECT_EQ(vm->Run("Box", {2, 2, 8, 8, 0}), "ERR 1174");
}

TEST_F(DrawLayers, ShapeLayersRenderTheirContentAnewUnderATransform) {
    OpenLayered(64, 48, 0x000000);
    vm->Ok("SetFillStyle", {FILLCOLOR});
    ASSERT_EQ(vm->Run("Box", {5, 5, 10, 8, 0xFF0000}), "");
    ASSERT_EQ(vm->Run("Polygon", {20, 20, Arg::List({0, 0, 10, 0, 5, 8}), 3, 0x00FF00}), "");
    ASSERT_EQ(vm->Run("Line", {30, 2, 39, 2, 0xFFFFFF}), "");
    qzTransformTags doubled;
    InitTransformTags(&doubled);
    doubled.matrix[0] = doubled.matrix[3] = 2;
    // The outline points scale about the anchor: a box of 10 x 8 spans 2 (w - 1) + 1 pixels.
    const struct {
        int32_t width, height;
    } expected[] = {{19, 15}, {21, 17}, {21, 3}};  // the line twice as thick, with its caps
    int i = 0;
    for (qzLayer* layer = FirstLayer(CurrentBGPic()); layer; layer = NextLayer(layer), i++) {
        ASSERT_NE(LayerKindOps(layer->type).renderContent, nullptr);
        qzLayerState* target = NewLayerState();
        ASSERT_EQ(LayerKindOps(layer->type).renderContent(*vm, layer, target, &doubled), 0) << i;
        ASSERT_NE(target->own.bitmap, nullptr);
        EXPECT_EQ(target->width, expected[i].width) << i;
        EXPECT_EQ(target->height, expected[i].height) << i;
        EXPECT_EQ(target->own.bitmap->width, target->width) << i;
        FreeLayerState(layer->type, target);
    }
    EXPECT_EQ(i, 3);
}

TEST_F(DrawLayers, PositionConstantsPlaceShapesAlikeWithLayersOnAndOff) {
    const double center = QZ_POSITION_CENTER, right = QZ_POSITION_RIGHT, bottom = QZ_POSITION_BOTTOM;
    const struct {
        const char* command;
        std::vector<Arg> args;
        int form;
        bool overBox;                  // drawn over a plain blue box at 16,16 of 32 x 32
        int left, top, right, bottom;  // the box of the pixels that are not the display's black
    } cases[] = {
        {"Box", {center, center, 10, 10, 0xFF0000}, 1, false, 27, 27, 36, 36},
        {"Circle", {right, bottom, 5, 0xFF0000}, 1, false, 53, 53, 63, 63},
        {"Ellipse", {center, bottom - 2, 4, 2, 0xFF0000}, 1, false, 27, 57, 35, 61},
        {"Polygon", {right, 3, Arg::List({0, 0, 9, 0, 0, 9}), 3, 0xFF0000}, 1, false, 54, 3, 63, 12},
        // Anti-aliased shapes bleed one pixel past their box.
        {"Box", {10, 12, 20, 16, 0xFF0000, 20}, FORM_ANTIALIAS, false, 9, 11, 30, 28},
        {"Circle", {center, center, 12, 0xFF0000}, FORM_ANTIALIAS, false, 18, 18, 44, 44},
        {"Circle", {center, center, 12, 0xFF0000}, FORM_ANTIALIAS, true, 16, 16, 47, 47},
    };
    int number = 1;
    for (const auto& c : cases) {
        const int at = int(&c - cases);
        std::vector<uint32_t> drawn[2];
        for (int layers = 0; layers < 2; layers++, number++) {
            OpenCurrent(number, Arg::Table({{"width", 64}, {"height", 64}, {"layers", layers == 1}, {"color", 0}}));
            vm->Ok("SetFillStyle", {FILLCOLOR});
            vm->Ok("SetFormStyle", {1});
            if (c.overBox) {
                ASSERT_EQ(vm->Run("Box", {16, 16, 32, 32, 0x0000FF}), "");
            }
            if (c.form != 1) vm->Ok("SetFormStyle", {c.form});
            ASSERT_EQ(vm->Run(c.command, c.args), "") << at;
            for (int y = 0; y < 64; y++)
                for (int x = 0; x < 64; x++) drawn[layers].push_back(Pixel(number, x, y));
        }
        int left = 64, top = 64, rightmost = -1, lowest = -1, differing = 0;
        for (int i = 0; i < 64 * 64; i++) {
            differing += !Near(drawn[0][i], drawn[1][i], 1);
            if (drawn[0][i] == 0) continue;
            left = std::min(left, i % 64), rightmost = std::max(rightmost, i % 64);
            top = std::min(top, i / 64), lowest = std::max(lowest, i / 64);
        }
        EXPECT_EQ(left, c.left) << at;
        EXPECT_EQ(top, c.top) << at;
        EXPECT_EQ(rightmost, c.right) << at;
        EXPECT_EQ(lowest, c.bottom) << at;
        EXPECT_EQ(differing, 0) << at;
    }
}

}  // namespace draw_layers_test
