// Text drawn with layers on: the edge and shadow of the font style become the layer's border and
// shadow, with their colours as the style gave them (top byte a transparency, 0 opaque).
#include <gtest/gtest.h>

#include "display/layer_test_util.h"
#include "libs/text/text_lib.h"
#include "text/font.h"

using qztest::Arg;

namespace {

class TextLayers : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary,
                                  &qzLayersLibrary,   &qzDisplayLibrary, &qzTextLibrary};
    }
    // Pixels on the black display that show only the colour's channels (a blurred shadow gives
    // shades of it).
    int CountPixels(uint32_t colour) {
        int n = 0;
        for (int y = 0; y < 48; y++)
            for (int x = 0; x < 64; x++) {
                const uint32_t p = Pixel(1, x, y);
                n += p != 0 && (p & ~colour) == 0;
            }
        return n;
    }
};

}  // namespace

TEST_F(TextLayers, OpaqueEdgeAndShadowShowInTheirColours) {
    const struct {
        int style;
        std::vector<Arg> args;
        uint32_t colour;
    } rows[] = {
        {FONTSTYLE_EDGE, {FONTSTYLE_EDGE, 0xFF0000, 1}, 0xFF0000u},
        {FONTSTYLE_SHADOW, {FONTSTYLE_SHADOW, 0x00FF00, 2}, 0x00FF00u},
    };
    OpenLayered();
    for (const auto& r : rows) {
        SCOPED_TRACE(r.style);
        vm->Ok("SetFontColor", {0x0000FF});
        vm->Ok("SetFontStyle", {FONTSTYLE_NORMAL});
        vm->Ok("SetFontStyle", r.args);
        ASSERT_EQ(vm->Run("TextOut", {10, 10, "##"}), "");
        EXPECT_GT(CountPixels(0x0000FF), 0);
        EXPECT_GT(CountPixels(r.colour), 0);
        vm->Ok("FreeLayers", {});
    }
}
