// Text drawn with layers on: the edge and shadow of the font style become the layer's border and
// shadow, with their colours as the style gave them (top byte a transparency, 0 opaque). Turned,
// scaled and restyled text layers draw their text anew: they show exactly what the same text drawn
// straight onto a display without layers at that transform shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "display/layer_test_util.h"
#include "libs/draw/draw.h"
#include "libs/text/text_lib.h"
#include "text/font.h"
#include "text/formatted_text.h"
#include "text/text_layer.h"
#include "text/text_object.h"
#include "vm/vm.h"

namespace text_layers_test {

using qztest::Arg;

namespace {

class TextLayers : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary,   &qzSystemLibrary,
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

    // The smallest box around the pixels of a display that are not black, and its pixels.
    struct Ink {
        int32_t width = 0, height = 0;
        std::vector<uint32_t> pixels;
    };
    Ink InkOf(int32_t display) {
        int32_t x0 = kWidth, y0 = kHeight, x1 = -1, y1 = -1;
        for (int32_t y = 0; y < kHeight; y++)
            for (int32_t x = 0; x < kWidth; x++)
                if (Pixel(display, x, y) != 0) {
                    x0 = std::min(x0, x), y0 = std::min(y0, y);
                    x1 = std::max(x1, x), y1 = std::max(y1, y);
                }
        Ink ink;
        if (x1 < 0) return ink;
        ink.width = x1 - x0 + 1, ink.height = y1 - y0 + 1;
        for (int32_t y = y0; y <= y1; y++)
            for (int32_t x = x0; x <= x1; x++) ink.pixels.push_back(Pixel(display, x, y));
        return ink;
    }
    // Display 1 with layers, display 2 without, both black; display 1 current.
    void OpenBoth() {
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary, &qzLayersLibrary,
                                  &qzDisplayLibrary,  &qzTextLibrary,  &qzDrawLibrary};
        OpenCurrent(2, Arg::Table({{"width", kWidth}, {"height", kHeight}, {"color", 0}}));
        OpenLayered(kWidth, kHeight, 0x000000);
    }
    // Draws with layers on display 1, then the same without layers on display 2 (cleared first),
    // and expects the same ink on both.
    void ExpectSameInk(const std::function<void()>& layered, const std::function<void()>& direct,
                       const std::string& what) {
        vm->Ok("SelectDisplay", {1});
        vm->Ok("FreeLayers");
        layered();
        const Ink shown = InkOf(1);
        vm->Ok("SelectDisplay", {2});
        vm->Ok("Cls", {0});
        direct();
        const Ink drawn = InkOf(2);
        EXPECT_GT(drawn.pixels.size(), 0u) << what;
        EXPECT_EQ(shown.width, drawn.width) << what;
        EXPECT_EQ(shown.height, drawn.height) << what;
        EXPECT_TRUE(shown.pixels == drawn.pixels) << what;
        vm->Ok("SelectDisplay", {1});
    }
    // A field of the style table of layer n.
    double StyleNumber(int32_t layer, const char* key) {
        EXPECT_EQ(vm->CallFresh("GetLayerStyle", {layer}), 0);
        VmPushString(*vm, key);
        VmGetTable(*vm, 1);
        const double value = VmToNumber(*vm, -1);
        VmSetTop(*vm, 0);
        return value;
    }
    std::string StyleString(int32_t layer, const char* key) {
        EXPECT_EQ(vm->CallFresh("GetLayerStyle", {layer}), 0);
        VmPushString(*vm, key);
        VmGetTable(*vm, 1);
        const char* text = VmType(*vm, -1) == VM_TSTRING ? VmToString(*vm, -1) : "(none)";
        const std::string value = text;
        VmSetTop(*vm, 0);
        return value;
    }

    static constexpr int32_t kWidth = 160, kHeight = 200;
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

TEST_F(TextLayers, TurnedAndScaledTextIsDrawnAnewAtTheTransform) {
    OpenBoth();
    vm->Ok("SetFont", {":::default_sans", 16});
    vm->Ok("SetFontStyle", {FONTSTYLE_ANTIALIAS});
    vm->Ok("SetFontColor", {0xFFFFFF});
    const struct {
        const char* what;
        Arg options;
    } rows[] = {
        {"quarter turn", Arg::Table({{"rotate", 90}})},
        {"turn by 30", Arg::Table({{"rotate", 30}})},
        {"twice the size", Arg::Table({{"scalex", 2}, {"scaley", 2}})},
        {"unequal scales", Arg::Table({{"scalex", 2}, {"scaley", 3}})},
        {"unequal scales turned", Arg::Table({{"scalex", 2}, {"scaley", 1}, {"rotate", 90}})},
        {"mirrored", Arg::Table({{"transform", Arg::List({-1, 0, 0, 1}, 0)}})},
    };
    for (const auto& r : rows) {
        ExpectSameInk(
            [&] {
                vm->Ok("TextOut", {70, 90, "Ag", r.options});
            },
            [&] {
                vm->Ok("TextOut", {70, 90, "Ag", r.options});
            },
            r.what);
        // The layer was made from the text's parameters, not from a block drawn at the transform.
        qzLayer* layer = FirstLayer(CurrentBGPic());
        ASSERT_NE(layer, nullptr);
        EXPECT_EQ(layer->base->own.bitmap, nullptr) << r.what;
        EXPECT_NE(layer->transformed, layer->base) << r.what;
    }
    // Turned back, the layer shows the text as drawn untransformed.
    ExpectSameInk(
        [&] {
            vm->Ok("TextOut", {30, 30, "Ag", Arg::Table({{"rotate", 90}})});
            vm->Ok("RotateLayer", {1, 0});
        },
        [&] {
            vm->Ok("TextOut", {30, 30, "Ag"});
        },
        "turned back");
}

TEST_F(TextLayers, RestyledTextLayersMatchTheNewTextDrawnDirectly) {
    OpenBoth();
    vm->Ok("SetFont", {":::default_sans", 16});
    const struct {
        const char* what;
        std::function<void()> layered;
        std::function<void()> direct;
    } rows[] = {
        {"text, colour and bold of a turned TextOut",
         [&] {
             vm->Ok("TextOut", {30, 30, "Ab"});
             vm->Ok("SetLayerStyle",
                    {1, Arg::Table({{"text", "Xy"}, {"color", 0xFF0000}, {"fontstyle", FONTSTYLE_BOLD}}), 1,
                     Arg::Table({{"rotate", 90}})});
         },
         [&] {
             vm->Ok("SetFontColor", {0xFF0000});
             vm->Ok("SetFontStyle", {FONTSTYLE_BOLD});
             vm->Ok("TextOut", {30, 30, "Xy", Arg::Table({{"rotate", 90}})});
         }},
        {"font size of a scaled Print",
         [&] {
             vm->Ok("Locate", {0, 0});
             vm->Ok("NPrint", {"Ab"});
             vm->Ok("ScaleLayer", {1, "200%", "200%"});
             vm->Ok("SetLayerStyle", {1, Arg::Table({{"fontsize", 24}, {"fontstyleclear", FONTSTYLE_BOLD}})});
         },
         [&] {
             vm->Ok("SetFont", {":::default_sans", 24});
             vm->Ok("SetFontStyle", {FONTSTYLE_NORMAL});
             vm->Ok("TextOut", {0, 0, "Ab", Arg::Table({{"scalex", 2}, {"scaley", 2}})});
         }},
    };
    for (const auto& r : rows) {
        vm->Ok("SetFont", {":::default_sans", 16});
        vm->Ok("SetFontStyle", {FONTSTYLE_NORMAL});
        vm->Ok("SetFontColor", {0xFFFFFF});
        ExpectSameInk(r.layered, r.direct, r.what);
    }
}

TEST_F(TextLayers, AFailingStyleTagChangesNothing) {
    OpenLayered(kWidth, kHeight, 0x000000);
    vm->Ok("SetFontColor", {0x00FF00});
    vm->Ok("Locate", {10, 10});
    vm->Ok("NPrint", {"Ab"});
    const std::string text = StyleString(1, "text");
    const Ink before = InkOf(1);
    const struct {
        const char* what;
        Arg tags;
        int error;
    } rows[] = {
        {"bad encoding", Arg::Table({{"color", 0xFF0000}, {"text", "Xy"}, {"encoding", 7}}), 1055},
        {"tab entry not a number", Arg::Table({{"text", "Xy"}, {"tabs", Arg::List({8, "x"}, 0)}}), 1189},
        {"cursor not a number", Arg::Table({{"text", "Xy"}, {"cursorx", "left"}}), 1189},
        {"cursor at a position constant", Arg::Table({{"text", "Xy"}, {"cursory", -100000}}), 1337},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(vm->CallErr("SetLayerStyle", {1, r.tags}), r.error) << r.what;
        EXPECT_EQ(StyleString(1, "text"), text) << r.what;
        EXPECT_EQ(StyleNumber(1, "color"), 0x00FF00) << r.what;
        const Ink after = InkOf(1);
        EXPECT_TRUE(after.pixels == before.pixels) << r.what;
    }
}

TEST_F(TextLayers, GetLayerStyleGivesTheTextFields) {
    OpenLayered(kWidth, kHeight, 0x000000);
    vm->Ok("SetFont", {":::default_sans", 16});
    vm->Ok("SetFontColor", {0x123456});
    vm->Ok("SetFontStyle", {FONTSTYLE_ITALIC | FONTSTYLE_EDGE});
    vm->Ok("TextOut", {10, 10, "Ab", Arg::Table({{"align", -80000}})});
    EXPECT_EQ(StyleNumber(1, "type"), 9);
    EXPECT_EQ(StyleString(1, "text"), "Ab");
    EXPECT_EQ(StyleNumber(1, "color"), 0x123456);
    // The edge is the layer's border.
    EXPECT_EQ(StyleNumber(1, "fontstyle"), FONTSTYLE_NORMAL | FONTSTYLE_ITALIC | FONTSTYLE_EDGE);
    EXPECT_EQ(StyleNumber(1, "border"), 1);
    EXPECT_EQ(StyleNumber(1, "align"), -80000);
    EXPECT_EQ(StyleNumber(1, "fontsize"), 16);
    EXPECT_EQ(StyleNumber(1, "encoding"), 0);
    EXPECT_NE(StyleString(1, "font"), "");
    vm->Ok("Locate", {4, 50});
    vm->Ok("SetMargins", {4, 100});
    vm->Ok("NPrint", {"Cd"});
    EXPECT_EQ(StyleNumber(2, "type"), 11);
    EXPECT_EQ(StyleNumber(2, "leftmargin"), 4);
    EXPECT_EQ(StyleNumber(2, "rightmargin"), 100);
    vm->Ok("CreateTextObject", {5, "Ef"});
    vm->Ok("DisplayTextObject", {5, 10, 80});
    EXPECT_EQ(StyleNumber(3, "type"), 8);
    EXPECT_EQ(StyleNumber(3, "id"), 5);
}

TEST_F(TextLayers, TextObjectLayersTurnAndScaleAsTheObjectDoes) {
    OpenBoth();
    vm->Ok("SetFont", {":::default_sans", 16});
    vm->Ok("SetFontStyle", {FONTSTYLE_ANTIALIAS});
    vm->Ok("CreateTextObject", {1, "Ag"});
    const struct {
        const char* what;
        Arg options;
        const char* command;
        std::vector<Arg> args;
    } rows[] = {
        {"quarter turn", Arg::Table({{"rotate", 90}}), "RotateTextObject", {2, 90}},
        {"twice the size", Arg::Table({{"scalex", 2}, {"scaley", 2}}), "ScaleTextObject", {2, "200%", "200%"}},
    };
    for (const auto& r : rows) {
        vm->Ok("CopyTextObject", {1, 2});
        vm->Ok(r.command, r.args);
        ExpectSameInk(
            [&] {
                vm->Ok("DisplayTextObject", {1, 30, 30, r.options});
            },
            [&] {
                vm->Ok("DisplayTextObject", {2, 30, 30});
            },
            r.what);
    }
}

TEST_F(TextLayers, ATextObjectLayerRestyledWithAnotherIdShowsThatObject) {
    OpenBoth();
    vm->Ok("SetFont", {":::default_sans", 16});
    vm->Ok("SetFontColor", {0xFFFFFF});
    vm->Ok("CreateTextObject", {1, "Ab"});
    vm->Ok("CreateTextObject", {2, "Wxyz"});
    ExpectSameInk(
        [&] {
            vm->Ok("DisplayTextObject", {1, 30, 30});
            vm->Ok("SetLayerStyle", {1, Arg::Table({{"id", 2}})});
        },
        [&] {
            vm->Ok("DisplayTextObject", {2, 30, 30});
        },
        "restyled with object 2");
    EXPECT_EQ(StyleNumber(1, "id"), 2);
    EXPECT_EQ(StyleNumber(1, "type"), 8);

    // An unknown object is the lookup's error; the layer keeps what it showed.
    const Ink before = InkOf(1);
    EXPECT_EQ(vm->CallErr("SetLayerStyle", {1, Arg::Table({{"id", 99}, {"transparency", 100}})}), 1175);
    EXPECT_EQ(StyleNumber(1, "id"), 2);
    EXPECT_EQ(StyleNumber(1, "transparency"), 0);
    EXPECT_TRUE(InkOf(1).pixels == before.pixels);

    // An object freed while the layer showed it goes once the layer shows another.
    vm->Ok("FreeTextObject", {2});
    vm->Ok("SetLayerStyle", {1, Arg::Table({{"id", 1}})});
    int objects = 0;
    for (qzObjectHeader* o = *GetTextObjectList(); o; o = o->next) objects++;
    EXPECT_EQ(objects, 1);
    EXPECT_EQ(StyleNumber(1, "id"), 1);

    // An image layer becomes a text-object layer when the object is given, else nothing changes.
    ExpectSameInk(
        [&] {
            Add(7, 30, 30, 10, 10, 0xFF0000);
            EXPECT_EQ(vm->CallErr("SetLayerStyle", {1, Arg::Table({{"type", 8}})}), 1014);
            EXPECT_EQ(vm->CallErr("SetLayerStyle", {1, Arg::Table({{"type", 8}, {"id", 99}})}), 1175);
            EXPECT_EQ(StyleNumber(1, "type"), 3);
            vm->Ok("SetLayerStyle", {1, Arg::Table({{"type", 8}, {"id", 1}})});
        },
        [&] {
            vm->Ok("DisplayTextObject", {1, 30, 30});
        },
        "brush layer become text object 1");
    EXPECT_EQ(StyleNumber(1, "type"), 8);
}

TEST_F(TextLayers, TextBordersAreTheOutlineTheEngineDraws) {
    // The inbuilt font draws into masks: the layer's border must be the engine's own edge.
    OpenBoth();
    vm->Ok("SetFontColor", {0x0000FF});
    for (int size : {1, 2, 5}) {
        vm->Ok("SetFontStyle", {FONTSTYLE_NORMAL});
        vm->Ok("SetFontStyle", {FONTSTYLE_EDGE, 0xFF0000, size});
        ExpectSameInk(
            [&] {
                vm->Ok("TextOut", {30, 30, "#a"});
            },
            [&] {
                vm->Ok("TextOut", {30, 30, "#a"});
            },
            "edge " + std::to_string(size));
    }
}

TEST_F(TextLayers, FontStyleShadowAndEdgeSwitchTheLayersOwn) {
    OpenLayered(kWidth, kHeight, 0x000000);
    vm->Ok("TextOut", {10, 10, "Ab"});
    vm->Ok("SetLayerStyle", {1, Arg::Table({{"fontstyle", FONTSTYLE_SHADOW | FONTSTYLE_EDGE}})});
    EXPECT_EQ(StyleNumber(1, "shadow"), 1);
    EXPECT_EQ(StyleNumber(1, "border"), 1);
    // The text style stays as it was.
    const qzTextStyle* ts = TextLayerStyle(FirstLayer(CurrentBGPic())->base);
    ASSERT_NE(ts, nullptr);
    EXPECT_EQ(ts->style.style, uint32_t(FONTSTYLE_NORMAL));
    vm->Ok("SetLayerStyle", {1, Arg::Table({{"fontstyleclear", FONTSTYLE_EDGE}})});
    EXPECT_EQ(StyleNumber(1, "shadow"), 1);
    EXPECT_EQ(StyleNumber(1, "border"), 0);
    // The shadow tag of the same table has the last word.
    vm->Ok("SetLayerStyle", {1, Arg::Table({{"fontstyle", FONTSTYLE_SHADOW}, {"shadow", false}})});
    EXPECT_EQ(StyleNumber(1, "shadow"), 0);
}

}  // namespace text_layers_test
