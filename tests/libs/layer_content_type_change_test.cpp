// A layer given a new type through the layer style that becomes an image, a text object or
// TextOut or Print text shows the new content exactly as the same content drawn directly as a
// layer with the same look: same pixels, same style fields, same list position, name,
// transparency and visibility. A change that lacks its content or names an unknown object fails
// and leaves the layer as it was.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "base/error_codes.h"
#include "display/layer_test_util.h"
#include "image/brush.h"
#include "libs/bgpic/bgpic_lib.h"
#include "libs/brush/brush_lib.h"
#include "libs/draw/draw.h"
#include "libs/text/text_lib.h"
#include "libs/vectorgraphics/vectorgraphics.h"
#include "text/font.h"
#include "vector/draw_state.h"
#include "vm/vm.h"

namespace layer_content_type_change_test {

using qztest::Arg;

namespace {

constexpr int kW = 120, kH = 80;

struct Call {
    const char* command;
    std::vector<Arg> args;
};
using Calls = std::vector<Call>;
using Table = std::vector<std::pair<Arg, Arg>>;

class LayerContentTypeChange : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary,       &qzEventLibrary, &qzSystemLibrary, &qzLayersLibrary,
                                  &qzDisplayLibrary,        &qzBrushLibrary, &qzBGPicLibrary,  &qzDrawLibrary,
                                  &qzVectorGraphicsLibrary, &qzTextLibrary};
        ASSERT_EQ(vm->Run("CreateBrush", {1, 12, 10, 0x00FF00}), "");
        ASSERT_EQ(vm->Run("CreateBGPic", {2, 40, 30, 0x0000FF}), "");
        ASSERT_EQ(vm->Run("CreateTextObject", {1, "Tx"}), "");
        vm->Ok("StartPath", {1});
        vm->Ok("MoveTo", {1, 0, 0});
        vm->Ok("LineTo", {1, 24, 4});
        vm->Ok("LineTo", {1, 8, 18});
        vm->Ok("ClosePath", {1});
        vm->Ok("SetFillStyle", {FILLCOLOR});
    }
    // Opens display `number` with layers on, black, and makes it current.
    void Open(int number) {
        OpenCurrent(number, Arg::Table({{"width", kW}, {"height", kH}, {"layers", true}, {"color", 0.0}}));
    }
    void Run(const Calls& calls, const std::string& what) {
        for (const Call& c : calls) ASSERT_EQ(vm->Run(c.command, c.args), "") << what << ": " << c.command;
    }
    std::vector<uint32_t> Window(int number) {
        std::vector<uint32_t> pixels;
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++) pixels.push_back(Pixel(number, x, y));
        return pixels;
    }
    // The fields of GetLayerStyle that describe a layer's content, place and look, as "key=value".
    std::vector<std::string> Style(int layer) {
        static const char* const keys[] = {"type",         "x",           "y",         "width",      "height",
                                           "transparency", "hidden",      "name",      "z",          "id",
                                           "partx",        "party",       "partwidth", "partheight", "text",
                                           "color",        "fontstyle",   "fontsize",  "font",       "align",
                                           "leftmargin",   "rightmargin", "encoding",  "shadow",     "border"};
        std::vector<std::string> fields;
        EXPECT_EQ(vm->CallFresh("GetLayerStyle", {layer}), 0);
        for (const char* key : keys) {
            VmPushString(*vm, key);
            VmGetTable(*vm, 1);
            fields.push_back(std::string(key) + "=" + qztest::Render(*vm, -1));
            VmPop(*vm, 1);
        }
        VmSetTop(*vm, 0);
        return fields;
    }
    int32_t TypeOf(int layer) {
        const qzLayer* l = GetLayerByPosition(CurrentBGPic(), layer);
        return l ? l->type : -1;
    }
};

// Every kind whose content lies at 20, 20.
const struct {
    const char* what;
    Calls make;
} kSources[] = {
    {"box", {{"Box", {20, 20, 30, 16, 0xFF0000}}}},
    {"circle", {{"Circle", {20, 20, 10, 0xFF0000}}}},
    {"ellipse", {{"Ellipse", {20, 20, 14, 8, 0xFF0000}}}},
    {"line", {{"Line", {20, 20, 50, 34, 0xFF0000}}}},
    {"polygon", {{"Polygon", {20, 20, Arg::List({0, 0, 20, 4, 6, 16}), 3, 0xFF0000}}}},
    {"arc", {{"Arc", {20, 20, 14, 10, 20, 250, 0xFF0000}}}},
    {"path", {{"DrawPath", {1, 20, 20, 0xFF0000}}}},
    {"textout", {{"TextOut", {20, 20, "Src"}}}},
    {"print", {{"Locate", {20, 20}}, {"Print", {"Src"}}}},
    {"brush", {{"DisplayBrush", {1, 20, 20}}}},
    {"text object", {{"DisplayTextObject", {1, 20, 20}}}},
};

// Each new type: the style tags, and the same content drawn directly at 20, 20.
const struct {
    const char* what;
    int32_t type;
    Table tags;
    Calls direct;
} kTargets[] = {
    {"brush", QZ_LAYER_BRUSH, {{"id", 1}}, {{"DisplayBrush", {1, 20, 20}}}},
    {"brush part",
     QZ_LAYER_BRUSHPART,
     {{"id", 1}, {"partx", 2}, {"party", 1}, {"partwidth", 6}, {"partheight", 5}},
     {{"DisplayBrushPart", {1, 2, 1, 20, 20, 6, 5}}}},
    {"whole brush as a part", QZ_LAYER_BRUSHPART, {{"id", 1}}, {{"DisplayBrushPart", {1, 0, 0, 20, 20, 12, 10}}}},
    {"picture part",
     QZ_LAYER_BGPICPART,
     {{"id", 2}, {"partx", 3}, {"party", 2}, {"partwidth", 10}, {"partheight", 8}},
     {{"DisplayBGPicPart", {2, 3, 2, 10, 8, 20, 20}}}},
    {"text object", QZ_LAYER_TEXTOBJECT, {{"id", 1}}, {{"DisplayTextObject", {1, 20, 20}}}},
    {"textout",
     QZ_LAYER_TEXTOUT,
     {{"text", "Ab"}, {"color", 0x00FFFF}},
     {{"TextOut", {20, 20, "Ab", Arg::Table({{"color", 0x00FFFF}})}}}},
    {"print",
     QZ_LAYER_PRINT,
     {{"text", "Ab"}, {"color", 0x00FFFF}},
     {{"SetFontColor", {0x00FFFF}}, {"Locate", {20, 20}}, {"Print", {"Ab"}}, {"SetFontColor", {0xFFFFFF}}}},
    {"print in bold",
     QZ_LAYER_PRINT,
     {{"text", "Cd"}, {"fontstyle", FONTSTYLE_BOLD}},
     {{"SetFontStyle", {FONTSTYLE_BOLD}},
      {"Locate", {20, 20}},
      {"Print", {"Cd"}},
      {"SetFontStyle", {FONTSTYLE_NORMAL}}}},
};

// The look the changed layer carries, given to the direct drawing too; a layer above it keeps
// its place.
const Calls kLook = {{"SetLayerStyle", {1, Arg::Table({{"transparency", 60}})}}, {"SetLayerName", {1, "mine"}}};
const Call kAbove = {"DisplayBrush", {1, 90, 50}};

}  // namespace

TEST_F(LayerContentTypeChange, ChangedLayersMatchTheContentDrawnDirectly) {
    int number = 1;
    for (const auto& target : kTargets) {
        for (const auto& source : kSources) {
            if (QZ_LAYER_BRUSH == target.type && std::string(source.what) == "brush") continue;
            const std::string what = std::string(source.what) + " into " + target.what;
            Open(number);
            Run(source.make, what);
            Run(kLook, what);
            Run({kAbove}, what);
            Table tags = {{"type", target.type}};
            tags.insert(tags.end(), target.tags.begin(), target.tags.end());
            ASSERT_EQ(vm->Run("SetLayerStyle", {1, Arg::Table(tags)}), "") << what;
            const std::vector<uint32_t> changed = Window(number);
            const std::vector<std::string> style = Style(1), above = Style(2);
            number++;

            Open(number);
            Run(target.direct, what);
            Run(kLook, what);
            Run({kAbove}, what);
            EXPECT_EQ(style, Style(1)) << what;
            EXPECT_EQ(above, Style(2)) << what;
            EXPECT_TRUE(changed == Window(number)) << what;
            number++;
            vm->Ok("CloseDisplay", {number - 2});
            vm->Ok("CloseDisplay", {number - 1});
        }
    }
}

TEST_F(LayerContentTypeChange, HiddenLayersStayHidden) {
    Open(1);
    for (const auto& target : kTargets) {
        vm->Ok("FreeLayers");
        ASSERT_EQ(vm->Run("Box", {20, 20, 30, 16, 0xFF0000, Arg::Table({{"hidden", true}})}), "") << target.what;
        Table tags = {{"type", target.type}};
        tags.insert(tags.end(), target.tags.begin(), target.tags.end());
        ASSERT_EQ(vm->Run("SetLayerStyle", {1, Arg::Table(tags)}), "") << target.what;
        EXPECT_EQ(TypeOf(1), target.type) << target.what;
        EXPECT_EQ(FirstLayer(CurrentBGPic())->hidden, 1) << target.what;
        for (uint32_t p : Window(1)) ASSERT_EQ(p, 0u) << target.what;
    }
}

TEST_F(LayerContentTypeChange, RefusedChangesLeaveTheLayerAsItWas) {
    const auto code = [](int error) { return "ERR " + std::to_string(error); };
    const struct {
        int32_t type;
        Table tags;
        std::string result;
    } rows[] = {
        {QZ_LAYER_BRUSH, {{"transparency", 100}}, code(ERR_MISSINGPARAMTR)},
        {QZ_LAYER_BRUSH, {{"id", 99}, {"transparency", 100}, {"hidden", true}}, code(ERR_FINDBRUSH)},
        {QZ_LAYER_BRUSHPART, {{"id", 1}, {"partx", 50}, {"anchorx", 0.5}}, code(ERR_COORDSRANGE)},
        {QZ_LAYER_BGPICPART, {{"id", 99}, {"shadow", true}}, code(ERR_FINDBGPIC)},
        {QZ_LAYER_TEXTOBJECT, {{"id", 99}}, code(ERR_FINDTEXTOBJECT)},
        {QZ_LAYER_TEXTOUT, {{"color", 0x00FF00}}, code(ERR_MISSINGPARAMTR)},
        {QZ_LAYER_PRINT, {{"id", 1}}, code(ERR_MISSINGPARAMTR)},
        {QZ_LAYER_TEXTOUT, {{"text", "x"}, {"encoding", 7}}, code(ERR_WRONGUSAGE)},
        {QZ_LAYER_PRINT, {{"text", "x"}, {"cursorx", -100000}}, code(ERR_NOCOORDCST)},
        {QZ_LAYER_PRINT, {{"text", "x"}, {"tabs", Arg::List({8, "x"}, 0)}}, code(ERR_NUMTABLEARG)},
        {QZ_LAYER_TEXTOUT, {{"text", "x"}, {"rotate", 30}, {"anchorx", 2}}, code(ERR_WRONGUSAGE)},
        {QZ_LAYER_VIDEO, {{"id", 1}}, code(ERR_WRONGUSAGE)},
    };
    int number = 1;
    for (const auto& source : kSources) {
        Open(number);
        Run(source.make, source.what);
        const int32_t type = TypeOf(1);
        const std::vector<uint32_t> before = Window(number);
        const std::vector<std::string> style = Style(1);
        for (const auto& r : rows) {
            if (r.type == type) continue;  // not a change of type
            const std::string what = std::string(source.what) + " #" + std::to_string(&r - rows);
            Table tags = {{"type", r.type}};
            tags.insert(tags.end(), r.tags.begin(), r.tags.end());
            EXPECT_EQ(vm->Run("SetLayerStyle", {1, Arg::Table(tags)}), r.result) << what;
            EXPECT_EQ(TypeOf(1), type) << what;
            EXPECT_EQ(Style(1), style) << what;
            EXPECT_TRUE(Window(number) == before) << what;
        }
        vm->Ok("CloseDisplay", {number++});
    }
}

TEST_F(LayerContentTypeChange, TheReplacedObjectIsPurged) {
    // A brush freed while a layer shows it goes once the layer shows text instead.
    Open(1);
    ASSERT_EQ(vm->Run("CreateBrush", {5, 8, 8, 0xFF0000}), "");
    ASSERT_EQ(vm->Run("DisplayBrush", {5, 10, 10}), "");
    ASSERT_EQ(vm->Run("FreeBrush", {5}), "");
    const auto count = [] {
        int n = 0;
        for (qzBrush* b = FirstBrush(); b; b = NextBrush(b)) n++;
        return n;
    };
    const int kept = count();
    ASSERT_EQ(vm->Run("SetLayerStyle", {1, Arg::Table({{"type", QZ_LAYER_TEXTOUT}, {"text", "Ab"}})}), "");
    EXPECT_EQ(TypeOf(1), QZ_LAYER_TEXTOUT);
    EXPECT_EQ(count(), kept - 1);
}

}  // namespace layer_content_type_change_test
