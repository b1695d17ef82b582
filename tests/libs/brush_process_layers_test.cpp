// The brush processing commands on a brush that a layer shows: a change gives the layer its own
// copy first, so it keeps its look; a command refused for its arguments leaves the layer showing
// the brush itself.
#include <gtest/gtest.h>

#include "display/layer_test_util.h"
#include "image/brush.h"
#include "libs/brush/brush_lib.h"
#include "libs/graphics/graphics.h"

namespace brush_process_layers_test {

using qztest::Arg;

namespace {

class BrushProcessLayers : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary,   &qzSystemLibrary,
                                  &qzLayersLibrary,   &qzDisplayLibrary, &qzBrushLibrary};
        OpenLayered(64, 48, 0x000000);
    }
};

}  // namespace

TEST_F(BrushProcessLayers, LayersKeepTheirLook) {
    const struct {
        const char* command;
        std::vector<Arg> args;  // after the brush id
        std::string expected;
        bool copied;
    } rows[] = {
        {"InvertBrush", {}, "", true},
        {"TintBrush", {0x00FF00, 255}, "", true},
        {"FloodFill", {0, 0, 0x000001, 0x0000FF}, "", true},
        {"WriteBrushPixel", {4, 4, 0xFFFFFF}, "", true},
        {"SetBrushTransparency", {0xFF0000}, "", true},
        {"PerspectiveDistortBrush", {0, 0, 20, 0, 20, 20, 0, 20}, "", true},
        {"PixelateBrush", {0}, "ERR 1055", false},
        {"BlurBrush", {-1}, "ERR 1055", false},
        {"ReduceAlphaChannel", {300}, "ERR 1055", false},
    };
    int id = 1;
    for (const auto& r : rows) {
        // Each brush is drawn on top of the ones before.
        ASSERT_EQ(vm->Run("CreateBrush", {id, 10, 10, 0xFF0000}), "");
        ASSERT_EQ(vm->Run("DisplayBrush", {id, 5, 5}), "");
        std::vector<Arg> args{id};
        args.insert(args.end(), r.args.begin(), r.args.end());
        EXPECT_EQ(vm->Run(r.command, args), r.expected) << r.command;
        qzLayer* layer = LastLayer(CurrentBGPic());
        ASSERT_NE(layer, nullptr);
        EXPECT_EQ(layer->id.number, r.copied ? 0 : id) << r.command;
        EXPECT_EQ(Pixel(1, 9, 9), 0xFF0000u) << r.command;
        id++;
    }
}

}  // namespace brush_process_layers_test
