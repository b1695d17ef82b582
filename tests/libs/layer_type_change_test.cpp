// A layer's "type" changed through SetLayerStyle: a layer of any kind becomes a shape (given by
// the shape's defining tags) or a path (given by "id"), in its place and with its look, and shows
// what the same shape or path drawn directly as a layer with that look shows; a refused change
// leaves the layer as it was.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "display/layer_test_util.h"
#include "image/brush.h"
#include "libs/bgpic/bgpic_lib.h"
#include "libs/brush/brush_lib.h"
#include "libs/draw/draw.h"
#include "libs/text/text_lib.h"
#include "libs/vectorgraphics/vectorgraphics.h"
#include "vector/draw_state.h"
#include "vector/path_style.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace layer_type_change_test {

using qztest::Arg;

namespace {

constexpr int kW = 160, kH = 120;
using Table = std::vector<std::pair<Arg, Arg>>;
using Style = std::map<std::string, std::string>;

class LayerTypeChange : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary,         &qzSystemLibrary, &qzLayersLibrary,
                                  &qzDisplayLibrary,  &qzBrushLibrary,         &qzBGPicLibrary,  &qzDrawLibrary,
                                  &qzTextLibrary,     &qzVectorGraphicsLibrary};
    }
    // Opens display `number` (black, layers on) and makes it current, with filled shapes.
    void Open(int number) {
        OpenCurrent(number, Arg::Table({{"width", kW}, {"height", kH}, {"layers", true}, {"color", 0.0}}));
        vm->Ok("SetFillStyle", {FILLCOLOR});
    }
    std::vector<uint32_t> Window(int number) {
        std::vector<uint32_t> pixels;
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++) pixels.push_back(Pixel(number, x, y));
        return pixels;
    }
    // The value at the index rendered, tables as {key=value ...} in key order.
    std::string Flatten(int index) {
        if (VmType(*vm, index) != VM_TTABLE) return qztest::Render(*vm, index);
        const int table = VmAbsIndex(*vm, index);
        std::map<std::string, std::string> items;
        VmPushNil(*vm);
        while (VmNext(*vm, table)) {
            items[qztest::Render(*vm, -2)] = Flatten(-1);
            VmPop(*vm, 1);
        }
        std::string text = "{";
        for (const auto& item : items) text += item.first + "=" + item.second + " ";
        return text + "}";
    }
    // GetLayerStyle of the layer, field by field.
    Style StyleOf(Arg layer) {
        Style style;
        EXPECT_EQ(vm->Call("GetLayerStyle", {layer}), 0);
        const int table = vm->Base() + 1;
        VmPushNil(*vm);
        while (VmNext(*vm, table)) {
            style[qztest::Render(*vm, -2)] = Flatten(-1);
            VmPop(*vm, 1);
        }
        VmPop(*vm, 1);
        return style;
    }
    static int Number(const Style& style, const char* key) {
        return std::stoi(style.at(std::string("\"") + key + "\""));
    }
    int CountLayers() {
        int n = 0;
        for (qzLayer* l = FirstLayer(CurrentBGPic()); l; l = NextLayer(l)) n++;
        return n;
    }
    // A closed path of straight lines through the points.
    void Polyline(int path, const std::vector<std::pair<double, double>>& points) {
        vm->Ok("StartPath", {path});
        vm->Ok("MoveTo", {path, points[0].first, points[0].second});
        for (size_t i = 1; i < points.size(); i++) vm->Ok("LineTo", {path, points[i].first, points[i].second});
        vm->Ok("ClosePath", {path});
    }
};

// A layer of each kind that this player makes, drawn on the current display as its only layer
// (or on top), with what it needs made first.
struct Source {
    const char* what;
    int32_t type;
    std::function<void(qztest::Commands&)> make;
};

std::vector<Source> Sources() {
    return {
        {"brush", QZ_LAYER_BRUSH,
         [](qztest::Commands& vm) {
             vm.Ok("CreateBrush", {1, 30, 20, 0xFF0000});
             vm.Ok("DisplayBrush", {1, 50, 40});
         }},
        {"brush part", QZ_LAYER_BRUSHPART,
         [](qztest::Commands& vm) {
             vm.Ok("CreateBrush", {1, 30, 20, 0xFF0000});
             vm.Ok("DisplayBrush", {1, 50, 40});
             vm.Ok("SetLayerStyle", {1, Arg::Table({{"partx", 2}, {"partwidth", 10}})});
         }},
        {"picture part", QZ_LAYER_BGPICPART,
         [](qztest::Commands& vm) {
             vm.Ok("DisplayBGPicPart", {-1, 0, 0, 20, 10, 50, 40});
         }},
        {"text object", QZ_LAYER_TEXTOBJECT,
         [](qztest::Commands& vm) {
             vm.Ok("CreateTextObject", {1, "Hi"});
             vm.Ok("DisplayTextObject", {1, 50, 40});
         }},
        {"text", QZ_LAYER_TEXTOUT,
         [](qztest::Commands& vm) {
             vm.Ok("TextOut", {50, 40, "Ab"});
         }},
        {"print", QZ_LAYER_PRINT,
         [](qztest::Commands& vm) {
             vm.Ok("Locate", {50, 40});
             vm.Ok("NPrint", {"Ab"});
         }},
        {"path", QZ_LAYER_VECTORPATH,
         [](qztest::Commands& vm) {
             vm.Ok("StartPath", {7});
             vm.Ok("AddBoxToPath", {7, 0, 0, 30, 20});
             vm.Ok("DrawPath", {7, 50, 40, 0xFF0000});
         }},
    };
}

// A shape that a layer becomes: the tags, and the command that draws the same shape directly
// with the layer's point (x, y) as its position.
struct Target {
    const char* what;
    Table tags;
    std::function<std::vector<Arg>(int x, int y)> direct;  // arguments of the command
    const char* command;
};

std::vector<Target> Targets() {
    return {
        {"box",
         {{"type", QZ_LAYER_BOX}, {"sizex", 30}, {"sizey", 16}, {"color", 0x00FF00}, {"roundlevel", 40}},
         [](int x, int y) {
             return std::vector<Arg>{x, y, 30, 16, 0x00FF00, Arg::Table({{"roundlevel", 40}})};
         },
         "Box"},
        {"circle",
         {{"type", QZ_LAYER_CIRCLE}, {"radius", 12}, {"color", 0x0000FF}},
         [](int x, int y) {
             return std::vector<Arg>{x, y, 12, 0x0000FF};
         },
         "Circle"},
        {"ellipse",
         {{"type", QZ_LAYER_ELLIPSE},
          {"radiusa", 20},
          {"radiusb", 9},
          {"color", 0xFFFF00},
          {"formstyle", FORM_ANTIALIAS}},
         [](int x, int y) {
             return std::vector<Arg>{x, y, 20, 9, 0xFFFF00};
         },
         "Ellipse"},
        {"line",
         {{"type", QZ_LAYER_LINE},
          {"x1", 10},
          {"y1", 100},
          {"x2", 90},
          {"y2", 70},
          {"thickness", 3},
          {"color", 0xFFFFFF}},
         [](int, int) {
             return std::vector<Arg>{10, 100, 90, 70, 0xFFFFFF, Arg::Table({{"thickness", 3}})};
         },
         "Line"},
        {"polygon",
         {{"type", QZ_LAYER_POLYGON}, {"vertices", Arg::List({0, 0, 40, 10, 10, 30}, 0)}, {"color", 0x00FFFF}},
         [](int x, int y) {
             return std::vector<Arg>{x, y, Arg::List({0, 0, 40, 10, 10, 30}), 3, 0x00FFFF};
         },
         "Polygon"},
        {"arc",
         {{"type", QZ_LAYER_ARC},
          {"radiusa", 20},
          {"radiusb", 15},
          {"startangle", 30},
          {"endangle", 250},
          {"color", 0xFF00FF},
          {"fillstyle", FILLNONE}},
         [](int x, int y) { return std::vector<Arg>{x, y, 20, 15, 30, 250, 0xFF00FF}; },
         "Arc"},
    };
}

}  // namespace

TEST_F(LayerTypeChange, EveryKindBecomesEveryShapeAsDrawnDirectly) {
    int number = 1;
    for (const Source& source : Sources()) {
        for (const Target& target : Targets()) {
            const std::string what = std::string(source.what) + " -> " + target.what;
            // Changed: the source's point is where the shape is drawn.
            Open(number);
            source.make(*vm);
            ASSERT_EQ(FirstLayer(CurrentBGPic())->type, source.type) << what;
            const Style before = StyleOf(1);
            ASSERT_EQ(vm->Run("SetLayerStyle", {1, Arg::Table(target.tags)}), "") << what;
            const Style changed = StyleOf(1);
            const std::vector<uint32_t> changedPixels = Window(number);
            EXPECT_EQ(CountLayers(), 1) << what;
            number++;
            // Drawn directly there, with the fill style of the tags as the draw state's.
            Open(number);
            if (target.tags.back().first.Describe() == "\"fillstyle\"") vm->Ok("SetFillStyle", {FILLNONE});
            if (std::string(target.what) == "ellipse") vm->Ok("SetFormStyle", {FORM_ANTIALIAS});
            ASSERT_EQ(vm->Run(target.command, target.direct(Number(before, "x"), Number(before, "y"))), "") << what;
            vm->Ok("SetFormStyle", {FORM_NORMAL});
            const Style direct = StyleOf(1);
            EXPECT_EQ(changed, direct) << what;
            EXPECT_TRUE(Window(number) == changedPixels) << what;
            number++;
        }
    }
}

TEST_F(LayerTypeChange, ARefusedShapeChangesNothing) {
    const struct {
        Table tags;
        int error;
    } rows[] = {
        {{{"type", QZ_LAYER_BOX}, {"sizex", 5}}, ERR_MISSINGPARAMTR},
        {{{"type", QZ_LAYER_CIRCLE}, {"color", 0x00FF00}}, ERR_MISSINGPARAMTR},
        {{{"type", QZ_LAYER_ELLIPSE}, {"radiusa", 5}}, ERR_MISSINGPARAMTR},
        {{{"type", QZ_LAYER_LINE}, {"x1", 1}, {"y1", 1}, {"x2", 9}}, ERR_MISSINGPARAMTR},
        {{{"type", QZ_LAYER_POLYGON}, {"sizex", 5}, {"sizey", 5}}, ERR_MISSINGPARAMTR},
        {{{"type", QZ_LAYER_ARC}, {"radiusa", 5}, {"radiusb", 5}, {"startangle", 0}}, ERR_MISSINGPARAMTR},
        {{{"type", QZ_LAYER_CIRCLE}, {"radius", 0}}, ERR_WRONGUSAGE},
        {{{"type", QZ_LAYER_BOX}, {"sizex", 5}, {"sizey", 5}, {"fillstyle", 9}}, ERR_WRONGUSAGE},
        {{{"type", QZ_LAYER_POLYGON}, {"vertices", Arg::List({1, 2, 3, "x"}, 0)}}, ERR_NUMTABLEARG},
        {{{"type", QZ_LAYER_CIRCLE}, {"radius", 5}, {"anchorx", 1.5}}, ERR_WRONGUSAGE},
        {{{"type", QZ_LAYER_CIRCLE}, {"radius", 5}, {"scalex", 0}}, ERR_BADDIMENSIONS},
        {{{"type", QZ_LAYER_VIDEO}, {"radius", 5}}, ERR_WRONGUSAGE},
    };
    int number = 1;
    for (const Source& source : Sources()) {
        Open(number);
        source.make(*vm);
        vm->Ok("SetLayerName", {1, "kept"});
        const Style before = StyleOf(1);
        const std::vector<uint32_t> pixels = Window(number);
        for (const auto& r : rows) {
            const std::string what = std::string(source.what) + " #" + std::to_string(&r - rows);
            EXPECT_EQ(vm->Run("SetLayerStyle", {1, Arg::Table(r.tags)}), "ERR " + std::to_string(r.error)) << what;
            EXPECT_EQ(FirstLayer(CurrentBGPic())->type, source.type) << what;
            EXPECT_EQ(StyleOf(1), before) << what;
            EXPECT_TRUE(Window(number) == pixels) << what;
        }
        number++;
    }
}

TEST_F(LayerTypeChange, TheNewShapeKeepsTheLayersPlaceAndLook) {
    // The brush lies between two layers; it and the shape drawn directly get the same look.
    const Table looks[] = {
        {{"transparency", 100}, {"shadow", 1}, {"shadowsize", 3}, {"shadowcolor", 0x808080}},
        {{"border", 1}, {"bordersize", 2}, {"bordercolor", 0xFF00FF}, {"tint", 128}, {"tintcolor", 0x00FF00}},
        {{"anchorx", 0.5}, {"anchory", 0.5}, {"rotate", 30}, {"scalex", 1.5}},
        {{"hidden", 1}},
    };
    const Table shape = {{"type", QZ_LAYER_ELLIPSE}, {"radiusa", 20}, {"radiusb", 10}, {"color", 0xFFFF00}};
    int number = 1;
    for (const Table& look : looks) {
        const std::string what = "look #" + std::to_string(&look - looks);
        Open(number);
        vm->Ok("CreateBrush", {1, 30, 20, 0xFF0000});
        vm->Ok("Box", {0, 0, 100, 80, 0x202020});
        vm->Ok("DisplayBrush", {1, 50, 40});
        vm->Ok("Circle", {60, 30, 8, 0x0000FF});
        vm->Ok("SetLayerName", {2, "middle"});
        ASSERT_EQ(vm->Run("SetLayerStyle", {2, Arg::Table(look)}), "") << what;
        const Style before = StyleOf(2);
        ASSERT_EQ(vm->Run("SetLayerStyle", {"middle", Arg::Table(shape)}), "") << what;
        EXPECT_EQ(CountLayers(), 3) << what;
        EXPECT_EQ(GetLayerByPosition(CurrentBGPic(), 1)->type, QZ_LAYER_BOX) << what;
        EXPECT_EQ(GetLayerByPosition(CurrentBGPic(), 2)->type, QZ_LAYER_ELLIPSE) << what;
        EXPECT_EQ(GetLayerByPosition(CurrentBGPic(), 3)->type, QZ_LAYER_CIRCLE) << what;
        const Style changed = StyleOf("middle");
        EXPECT_EQ(changed.at("\"z\""), "2") << what;
        for (const char* key : {"\"hidden\"", "\"transparency\"", "\"shadow\"", "\"border\"", "\"tint\"", "\"rotate\"",
                                "\"scalex\"", "\"anchorx\"", "\"x\"", "\"y\"", "\"filters\""})
            EXPECT_EQ(changed.at(key), before.at(key)) << what << " " << key;
        const std::vector<uint32_t> pixels = Window(number);
        number++;

        // The ellipse drawn directly with its anchor point at the brush's, given the same look.
        Open(number);
        vm->Ok("Box", {0, 0, 100, 80, 0x202020});
        vm->Ok("Circle", {60, 30, 8, 0x0000FF});
        double ax = 0, ay = 0;
        for (const auto& tag : look) {
            if (tag.first.Describe() == "\"anchorx\"") ax = 0.5;
            if (tag.first.Describe() == "\"anchory\"") ay = 0.5;
        }
        const int x = Number(before, "x") - int(ax * 41), y = Number(before, "y") - int(ay * 21);
        vm->Ok("Ellipse", {x, y, 20, 10, 0xFFFF00, Arg::Table({{"anchorx", ax}, {"anchory", ay}})});
        vm->Ok("SetLayerName", {3, "middle"});
        Table directLook = look;
        directLook.push_back({"z", 2});
        ASSERT_EQ(vm->Run("SetLayerStyle", {3, Arg::Table(directLook)}), "") << what;
        EXPECT_EQ(StyleOf("middle"), changed) << what;
        EXPECT_TRUE(Window(number) == pixels) << what;
        number++;
    }
}

TEST_F(LayerTypeChange, ReplacedObjectsFreedByTheScriptGo) {
    Open(1);
    vm->Ok("CreateBrush", {1, 30, 20, 0xFF0000});
    vm->Ok("DisplayBrush", {1, 50, 40});
    vm->Ok("FreeBrush", {1});
    ASSERT_NE(FirstBrush(), nullptr);  // kept while the layer shows it
    ASSERT_EQ(vm->Run("SetLayerStyle", {1, Arg::Table({{"type", QZ_LAYER_BOX}, {"sizex", 4}, {"sizey", 4}})}), "");
    EXPECT_EQ(FirstBrush(), nullptr);
}

TEST_F(LayerTypeChange, TextLayersBecomePathsWithTheTablesPathStyle) {
    const struct {
        Source source;
        Table tags;
        std::vector<Arg> dash;  // SetDash before the direct draw
        int fillStyle;
    } rows[] = {
        {{"text", QZ_LAYER_TEXTOUT,
          [](qztest::Commands& vm) {
              vm.Ok("TextOut", {50, 40, "Ab"});
          }},
         {{"type", QZ_LAYER_VECTORPATH}, {"id", 2}, {"color", 0x00FF00}},
         {},
         FILLCOLOR},
        {{"print", QZ_LAYER_PRINT,
          [](qztest::Commands& vm) {
              vm.Ok("Locate", {50, 40});
              vm.Ok("NPrint", {"Ab"});
          }},
         {{"type", QZ_LAYER_VECTORPATH},
          {"id", 2},
          {"color", 0x00FF00},
          {"dashes", Arg::List({6, 4}, 0)},
          {"dashoffset", 2}},
         {2, 6, 4},
         FILLNONE},
        {{"brush", QZ_LAYER_BRUSH,
          [](qztest::Commands& vm) {
              vm.Ok("CreateBrush", {1, 30, 20, 0xFF0000});
              vm.Ok("DisplayBrush", {1, 50, 40});
          }},
         {{"type", QZ_LAYER_VECTORPATH},
          {"id", 2},
          {"color", 0x00FF00},
          {"linejoin", PATH_JOINROUND},
          {"dashes", Arg::List({9, 3}, 0)}},
         {0, 9, 3},
         FILLNONE},
    };
    int number = 1;
    for (const auto& r : rows) {
        const std::string what = r.source.what;
        Open(number);
        Polyline(2, {{0, 0}, {70, 10}, {30, 50}});
        vm->Ok("SetFillStyle", {r.fillStyle});
        r.source.make(*vm);
        const Style before = StyleOf(1);
        ASSERT_EQ(vm->Run("SetLayerStyle", {1, Arg::Table(r.tags)}), "") << what;
        EXPECT_EQ(FirstLayer(CurrentBGPic())->type, QZ_LAYER_VECTORPATH) << what;
        const Style changed = StyleOf(1);
        const std::vector<uint32_t> pixels = Window(number);
        number++;

        Open(number);
        Polyline(2, {{0, 0}, {70, 10}, {30, 50}});
        vm->Ok("SetFillStyle", {r.fillStyle});
        if (!r.dash.empty()) vm->Ok("SetDash", r.dash);
        if (r.source.type == QZ_LAYER_BRUSH) vm->Ok("SetLineJoin", {PATH_JOINROUND});
        ASSERT_EQ(vm->Run("DrawPath", {2, Number(before, "x"), Number(before, "y"), 0x00FF00}), "") << what;
        vm->Ok("SetDash", {0, -1});
        vm->Ok("SetLineJoin", {PATH_JOINMITER});
        EXPECT_EQ(StyleOf(1), changed) << what;
        EXPECT_TRUE(Window(number) == pixels) << what;
        number++;
    }
    // The current path style is not the table's: a failing path tag changes nothing.
    Open(number);
    Polyline(2, {{0, 0}, {70, 10}, {30, 50}});
    vm->Ok("TextOut", {50, 40, "Ab"});
    const Style before = StyleOf(1);
    const Table refusals[] = {
        {{"type", QZ_LAYER_VECTORPATH}, {"id", 2}, {"vectorengine", "nosuch"}},
        {{"type", QZ_LAYER_VECTORPATH}, {"id", 2}, {"dashes", Arg::List({4, "x"}, 0)}},
        {{"type", QZ_LAYER_VECTORPATH}, {"color", 0x00FF00}},
    };
    for (const Table& tags : refusals) {
        EXPECT_NE(vm->Run("SetLayerStyle", {1, Arg::Table(tags)}), "") << &tags - refusals;
        EXPECT_EQ(StyleOf(1), before) << &tags - refusals;
    }
}

}  // namespace layer_type_change_test
