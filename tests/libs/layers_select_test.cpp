// SelectLayer: drawing redirected into a layer's own bitmaps until EndSelect, which shows the
// drawing; its refusals. RasterizeLayer: a layer drawn from parameters (shapes, text) becomes a
// brush layer of the same pixels, so that what is drawn into it lasts through a transform. What
// an asynchronous draw object draws into a layer shows by the same rule.
#include <gtest/gtest.h>

#include <vector>

#include "display/layer_hooks.h"
#include "display/layer_test_util.h"
#include "gfx/bitmap_pixels.h"
#include "image/brush.h"
#include "image/output_select.h"
#include "libs/bgpic/bgpic_lib.h"
#include "libs/brush/brush_lib.h"
#include "libs/draw/draw.h"
#include "libs/graphics/graphics.h"
#include "libs/layers/layer_render.h"
#include "libs/text/text_lib.h"
#include "vector/draw_state.h"

namespace layers_select_test {

using qztest::Arg;

namespace {

class LayersSelect : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary,   &qzSystemLibrary,
                                  &qzLayersLibrary,   &qzDisplayLibrary, &qzBrushLibrary,
                                  &qzBGPicLibrary,    &qzDrawLibrary,    &qzTextLibrary};
        OpenLayered(64, 48, 0x000000);
        vm->Ok("SetFillStyle", {FILLCOLOR});
    }
    static qzLayer* At(int32_t position) { return GetLayerByPosition(CurrentBGPic(), position); }
    std::vector<uint32_t> Window() {
        std::vector<uint32_t> pixels;
        for (int y = 0; y < 48; y++)
            for (int x = 0; x < 64; x++) pixels.push_back(Pixel(1, x, y));
        return pixels;
    }
};

int AsyncDrawEverywhere(const qzLayer*) { return 1; }

// An asynchronous draw object that paints a bitmap in one colour each frame and says that it
// draws into the layer.
struct PaintJob {
    qzBitMap* bitmap;
    qzLayer* layer;
    uint32_t colour;
};
int PaintFrame(void* data, int32_t*) {
    const auto* job = static_cast<PaintJob*>(data);
    FillBitmapColor(job->bitmap, 0, 0, job->bitmap->width, job->bitmap->height, job->colour);
    return 0;
}
int TellLayer(int operation, intptr_t data, void* job) {
    if (operation == ADEVENT_LAYER) *reinterpret_cast<void**>(data) = static_cast<PaintJob*>(job)->layer;
    return 0;
}
void KeepJob(void*, int32_t) {}
void DropJob(void*, int32_t, int32_t) {}

}  // namespace

TEST_F(LayersSelect, DrawingGoesIntoTheLayerUntilEndSelect) {
    // One brush shown twice: drawing into the first layer leaves the brush and the second layer alone.
    vm->Ok("CreateBrush", {1, 10, 10, 0xFF0000});
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 0, 0}), "");
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 20, 0}), "");
    ASSERT_EQ(vm->Run("SetLayerName", {1, "first"}), "");
    ASSERT_EQ(vm->Run("SelectLayer", {"first"}), "");
    qzDisplay* display = CurrentDisplay();
    EXPECT_EQ(display->outputKind, QZ_OUTPUT_BITMAP);
    ASSERT_EQ(vm->Run("Box", {2, 2, 4, 4, 0x00FF00}), "");
    EXPECT_EQ(Pixel(1, 3, 3), 0xFF0000u);  // nothing shows before EndSelect
    EXPECT_EQ(CountLayers(display->bgpic), 2);
    ASSERT_EQ(vm->Run("EndSelect", {}), "");
    EXPECT_EQ(display->outputKind, QZ_OUTPUT_DISPLAY);
    EXPECT_EQ(CurrentBGPic(), display->bgpic);
    EXPECT_EQ(Pixel(1, 3, 3), 0x00FF00u);
    EXPECT_EQ(Pixel(1, 1, 1), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 23, 3), 0xFF0000u);
    qzBrush* brush = nullptr;
    ASSERT_EQ(FindBrush(*vm, {1, nullptr}, &brush, 0), 0);
    EXPECT_EQ(ReadBitMapPixel(brush->bitmap, 3, 3, 0) & 0xFFFFFF, 0xFF0000u);
    // Drawing goes to the display again: a new layer.
    ASSERT_EQ(vm->Run("Box", {40, 30, 4, 4, 0x0000FF}), "");
    EXPECT_EQ(CountLayers(display->bgpic), 3);
    EXPECT_EQ(Pixel(1, 41, 31), 0x0000FFu);
}

TEST_F(LayersSelect, Refusals) {
    vm->Ok("CreateBrush", {1, 10, 10, 0xFF0000});
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 0, 0}), "");
    const struct {
        std::vector<Arg> args;
        std::string expected;
    } rows[] = {
        {{2}, "ERR 1081"},  // no layer there
        {{0}, "ERR 1081"},
        {{"nosuch"}, "ERR 1369"},       // no layer of that name
        {{1, 1}, "ERR 1155"},           // a frame for a layer that is no anim layer
        {{1, 0, 0, 0, 0}, "ERR 1193"},  // too many arguments
    };
    for (const auto& r : rows) EXPECT_EQ(vm->Run("SelectLayer", r.args), r.expected) << r.expected;
    EXPECT_EQ(CurrentDisplay()->outputKind, QZ_OUTPUT_DISPLAY);
    // Drawing into a brush: layer commands are refused until EndSelect.
    ASSERT_EQ(vm->Run("SelectBrush", {1}), "");
    EXPECT_EQ(vm->Run("SelectLayer", {1}), "ERR 1082");
    ASSERT_EQ(vm->Run("EndSelect", {}), "");
    // A shape layer that an asynchronous draw object draws into keeps its parameters.
    ASSERT_EQ(vm->Run("Box", {30, 30, 8, 8, 0x00FF00}), "");
    qzLayerSystemHooks hooks = LayerSystemHooks();
    const qzLayerSystemHooks saved = hooks;
    hooks.asyncDrawUsesLayer = AsyncDrawEverywhere;
    SetLayerSystemHooks(&hooks);
    EXPECT_EQ(vm->Run("SelectLayer", {2}), "ERR 1404");
    SetLayerSystemHooks(&saved);
    EXPECT_EQ(At(2)->type, QZ_LAYER_BOX);
    EXPECT_EQ(CurrentDisplay()->outputKind, QZ_OUTPUT_DISPLAY);
}

TEST_F(LayersSelect, ParametricLayersBecomeBrushLayersOfTheSamePixels) {
    const struct {
        const char* command;
        std::vector<Arg> args;
        int32_t type;
    } rows[] = {
        {"Box", {5, 5, 20, 10, 0xFF0000}, QZ_LAYER_BOX},
        {"Ellipse", {30, 20, 12, 8, 0x00FF00}, QZ_LAYER_ELLIPSE},
        {"Polygon", {4, 24, Arg::List({0, 0, 16, 0, 8, 14}), 3, 0xFFFF00}, QZ_LAYER_POLYGON},
        {"TextOut", {40, 2, "Ab"}, QZ_LAYER_TEXTOUT},
        {"DisplayTextObject", {1, 30, 36}, QZ_LAYER_TEXTOBJECT},
        {"Line", {50, 40, 60, 46, 0x00FFFF}, QZ_LAYER_LINE},
        {"Arc", {44, 30, 8, 8, 0, 180, 0xFF00FF}, QZ_LAYER_ARC},
    };
    vm->Ok("CreateTextObject", {1, "Hi"});
    for (const auto& r : rows) ASSERT_EQ(vm->Run(r.command, r.args), "") << r.command;
    const std::vector<uint32_t> before = Window();
    const int count = int(sizeof(rows) / sizeof(rows[0]));
    for (int i = 0; i < count; i++) {
        qzLayer* layer = At(i + 1);
        ASSERT_EQ(layer->type, rows[i].type) << rows[i].command;
        ASSERT_EQ(RasterizeLayer(*vm, layer), 0) << rows[i].command;
        EXPECT_EQ(layer->type, QZ_LAYER_BRUSH) << rows[i].command;
        EXPECT_EQ(layer->base->own.bitmap, nullptr) << rows[i].command;  // the brush holds the pixels
        // Again: nothing left to do.
        EXPECT_EQ(RasterizeLayer(*vm, layer), 0) << rows[i].command;
    }
    RefreshDisplayRect(*vm, 0, 0, 64, 48);
    EXPECT_EQ(Window(), before);
    // The brushes live as long as their layers.
    vm->Ok("FreeLayers", {});
    EXPECT_EQ(FirstBrush(), nullptr);
}

TEST_F(LayersSelect, DrawingIntoAShapeLayerLastsThroughATransform) {
    ASSERT_EQ(vm->Run("Box", {10, 10, 20, 10, 0xFF0000}), "");
    ASSERT_EQ(vm->Run("SelectLayer", {1}), "");
    ASSERT_EQ(vm->Run("Box", {0, 0, 4, 4, 0x00FF00}), "");
    ASSERT_EQ(vm->Run("EndSelect", {}), "");
    EXPECT_EQ(Pixel(1, 11, 11), 0x00FF00u);
    EXPECT_EQ(Pixel(1, 15, 11), 0xFF0000u);
    // Turned half round about its top-left corner, the green corner goes to the bottom right.
    ASSERT_EQ(vm->Run("RotateLayer", {1, 180}), "");
    EXPECT_EQ(At(1)->transformed->width, 20);
    EXPECT_EQ(At(1)->transformed->height, 10);
    EXPECT_EQ(Pixel(1, 28, 18), 0x00FF00u);
    EXPECT_EQ(Pixel(1, 11, 11), 0xFF0000u);
}

TEST_F(LayersSelect, DrawingIntoATurnedLayerShowsTurned) {
    vm->Ok("CreateBrush", {1, 20, 10, 0xFF0000});
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 10, 10}), "");
    ASSERT_EQ(vm->Run("RotateLayer", {1, 180}), "");
    ASSERT_EQ(vm->Run("SelectLayer", {1}), "");
    ASSERT_EQ(vm->Run("Box", {0, 0, 4, 4, 0x00FF00}), "");
    ASSERT_EQ(vm->Run("EndSelect", {}), "");
    EXPECT_EQ(Pixel(1, 28, 18), 0x00FF00u);
    EXPECT_EQ(Pixel(1, 11, 11), 0xFF0000u);
}

TEST_F(LayersSelect, ChannelSelectionsOfAShapeLayerRasterizeItToo) {
    ASSERT_EQ(vm->Run("Box", {10, 10, 20, 10, 0xFF0000}), "");
    ASSERT_EQ(vm->Run("SelectAlphaChannel", {1, QZ_SELECT_LAYER}), "");
    ASSERT_EQ(vm->Run("EndSelect", {}), "");
    EXPECT_EQ(At(1)->type, QZ_LAYER_BRUSH);
}

TEST_F(LayersSelect, ATurnedShapeLayerStaysTurnedWhenRasterized) {
    ASSERT_EQ(vm->Run("Box", {10, 10, 20, 10, 0xFF0000}), "");
    ASSERT_EQ(vm->Run("RotateLayer", {1, 90}), "");
    const std::vector<uint32_t> before = Window();
    const int32_t width = At(1)->transformed->width, height = At(1)->transformed->height;
    ASSERT_EQ(RasterizeLayer(*vm, At(1)), 0);
    EXPECT_EQ(At(1)->transformed->width, width);
    EXPECT_EQ(At(1)->transformed->height, height);
    RefreshDisplayRect(*vm, 0, 0, 64, 48);
    EXPECT_EQ(Window(), before);
}

TEST_F(LayersSelect, AnAsynchronousDrawIntoALayerShowsWithTheRefresh) {
    vm->Ok("CreateBrush", {1, 10, 10, 0x00FF00});
    ASSERT_EQ(vm->Run("DisplayBrush", {1, 5, 5}), "");
    qzBrush* brush = nullptr;
    ASSERT_EQ(FindBrush(*vm, {1, nullptr}, &brush, 0), 0);
    PaintJob job{brush->bitmap, At(1), 0xFF0000};
    qzAsyncDraw* object = nullptr;
    ASSERT_EQ(CreateAsyncDraw(ADF_FX, PaintFrame, nullptr, KeepJob, DropJob, TellLayer, &job, &object), 0);
    // Drawing goes to the display: the frame shows at once.
    EXPECT_EQ(vm->Run("AsyncDrawFrame", {Arg::Pointer(object)}), "0");
    EXPECT_EQ(Pixel(1, 6, 6), 0xFF0000u);
    // The shown picture selected: the frame shows with the refresh of EndSelect.
    ASSERT_EQ(vm->Run("SelectBGPic", {qztest::NilArg()}), "");
    job.colour = 0x0000FF;
    EXPECT_EQ(vm->Run("AsyncDrawFrame", {Arg::Pointer(object)}), "0");
    EXPECT_EQ(Pixel(1, 6, 6), 0xFF0000u);
    ASSERT_EQ(vm->Run("EndSelect", {}), "");
    EXPECT_EQ(Pixel(1, 6, 6), 0x0000FFu);
    EXPECT_EQ(Pixel(1, 4, 4), 0x000000u);
    vm->Ok("CancelAsyncDraw", {Arg::Pointer(object)});
}

}  // namespace layers_select_test
