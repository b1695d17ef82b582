// Shape and path layers turned, scaled and restyled through the layer style tags land on the same
// pixels as the same shape or path drawn directly with the new settings on a display without
// layers; a failing tag changes nothing; GetLayerStyle gives the kind's own fields back.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "display/layer_test_util.h"
#include "libs/brush/brush_lib.h"
#include "libs/draw/draw.h"
#include "libs/vectorgraphics/vectorgraphics.h"
#include "vector/draw_state.h"
#include "vector/path_style.h"
#include "vm/vm.h"

namespace layer_kind_styles_test {

using qztest::Arg;

namespace {

constexpr int kW = 160, kH = 120;
using Table = std::vector<std::pair<Arg, Arg>>;

class LayerKindStyles : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary, &qzLayersLibrary,
                                  &qzDisplayLibrary,  &qzBrushLibrary, &qzDrawLibrary,   &qzVectorGraphicsLibrary};
    }
    // Opens display `number` (black, with or without layers) and makes it current.
    void Open(int number, bool layers) {
        OpenCurrent(number, Arg::Table({{"width", kW}, {"height", kH}, {"layers", layers}, {"color", 0.0}}));
    }
    // The red, green and blue planes of the display's window, one after the other.
    std::vector<uint8_t> Planes(int number) {
        std::vector<uint8_t> planes;
        for (int shift = 16; shift >= 0; shift -= 8)
            for (int y = 0; y < kH; y++)
                for (int x = 0; x < kW; x++) planes.push_back(uint8_t((Pixel(number, x, y) >> shift) & 255));
        return planes;
    }
    std::string Field(const std::string& key) {
        VmPushString(*vm, key.c_str());
        VmGetTable(*vm, vm->Base() + 1);
        std::string value = qztest::Render(*vm, -1);
        VmPop(*vm, 1);
        return value;
    }
    // A closed path of straight lines through the points.
    void Polyline(int path, const std::vector<std::pair<double, double>>& points) {
        vm->Ok("StartPath", {path});
        vm->Ok("MoveTo", {path, points[0].first, points[0].second});
        for (size_t i = 1; i < points.size(); i++) vm->Ok("LineTo", {path, points[i].first, points[i].second});
        vm->Ok("ClosePath", {path});
    }
    // Fuzzy intersection over union of two planes: the sum of the smaller value of each byte over
    // the sum of the larger.
    static double IoU(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
        double both = 0, either = 0;
        for (size_t i = 0; i < a.size() && i < b.size(); i++) {
            both += std::min(a[i], b[i]);
            either += std::max(a[i], b[i]);
        }
        return either == 0 ? 1.0 : both / either;
    }
    // Two drawings of the same shape, one turned in place about its anchor, the other placed by the
    // turned box of its image (which may lie half a pixel off the anchor before the turn): the same
    // amount of ink, centred within a pixel and a half of each other, and mostly overlapping.
    static void ExpectAlike(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, const std::string& what) {
        double mass[2] = {0, 0}, x[2] = {0, 0}, y[2] = {0, 0};
        const std::vector<uint8_t>* planes[2] = {&a, &b};
        for (int k = 0; k < 2; k++) {
            for (size_t i = 0; i < planes[k]->size(); i++) {
                const double v = (*planes[k])[i];
                const size_t pixel = i % (size_t(kW) * kH);
                mass[k] += v;
                x[k] += v * double(pixel % kW);
                y[k] += v * double(pixel / kW);
            }
        }
        ASSERT_GT(mass[0], 0) << what;
        ASSERT_GT(mass[1], 0) << what;
        EXPECT_NEAR(mass[1] / mass[0], 1.0, 0.05) << what;
        EXPECT_NEAR(x[1] / mass[1], x[0] / mass[0], 1.5) << what;
        EXPECT_NEAR(y[1] / mass[1], y[0] / mass[0], 1.5) << what;
        EXPECT_GE(IoU(a, b), 0.85) << what;
    }
    // The shape command with the arguments, the options table put at its place.
    static std::vector<Arg> WithOptions(std::vector<Arg> args, Table options) {
        args.push_back(Arg::Table(std::move(options)));
        return args;
    }
};

struct ShapeCall {
    const char* command;
    std::vector<Arg> args;  // up to the colour
};

const ShapeCall kBox = {"Box", {50, 40, 40, 20, 0xFFFFFF}};
const ShapeCall kEllipse = {"Ellipse", {50, 40, 30, 14, 0xFFFFFF}};
const ShapeCall kCircle = {"Circle", {50, 40, 20, 0xFFFFFF}};
const ShapeCall kArc = {"Arc", {50, 40, 30, 20, 20, 250, 0xFFFFFF}};
const ShapeCall kTriangle = {"Polygon", {50, 40, Arg::List({0, 0, 50, 10, 12, 40}), 3, 0xFFFFFF}};

}  // namespace

TEST_F(LayerKindStyles, TurnedAndScaledShapesMatchTheDirectDraw) {
    const Table transforms[] = {
        {{"rotate", 90}},
        {{"rotate", 30}},
        {{"scalex", 1.5}, {"scaley", 0.75}},
        {{"rotate", 30}, {"scalex", 2}, {"scaley", 2}},
    };
    const ShapeCall* shapes[] = {&kBox, &kEllipse, &kTriangle, &kArc};
    int number = 1;
    for (const ShapeCall* shape : shapes) {
        for (const Table& transform : transforms) {
            const std::string what = std::string(shape->command) + " #" + std::to_string(&transform - transforms);
            std::vector<uint8_t> planes[2];
            for (int layers = 0; layers < 2; layers++, number++) {
                Open(number, layers == 1);
                vm->Ok("SetFillStyle", {FILLCOLOR});
                Table options = {{"anchorx", 0.5}, {"anchory", 0.5}};
                if (!layers) options.insert(options.end(), transform.begin(), transform.end());
                ASSERT_EQ(vm->Run(shape->command, WithOptions(shape->args, options)), "") << what;
                if (layers) {
                    ASSERT_EQ(vm->Run("SetLayerStyle", {1, Arg::Table(transform)}), "") << what;
                    ASSERT_NE(FirstLayer(CurrentBGPic())->transformed, FirstLayer(CurrentBGPic())->base) << what;
                }
                planes[layers] = Planes(number);
            }
            ExpectAlike(planes[0], planes[1], what);
        }
    }
}

TEST_F(LayerKindStyles, RestyledShapesMatchTheDirectDraw) {
    const struct {
        ShapeCall before;
        Table tags;
        ShapeCall after;  // drawn directly
        Table options;    // of the direct draw
        bool turned = false;
    } rows[] = {
        {kBox, {{"sizex", 30}, {"sizey", 10}, {"color", 0x00FF00}}, {"Box", {50, 40, 30, 10, 0x00FF00}}, {}},
        {kBox, {{"roundlevel", 50}}, {"Box", {50, 40, 40, 20, 0xFFFFFF}}, {{"roundlevel", 50}}},
        {{"Box", {50, 40, 40, 20, 0xFFFFFF, Arg::Table({{"anchorx", 0.5}, {"anchory", 0.5}})}},
         {{"sizex", 50}, {"rotate", 30}},
         {"Box", {50, 40, 50, 20, 0xFFFFFF}},
         {{"rotate", 30}, {"anchorx", 0.5}, {"anchory", 0.5}},
         true},
        {kCircle, {{"radius", 30}, {"color", 0xFF0000}}, {"Circle", {50, 40, 30, 0xFF0000}}, {}},
        {kEllipse, {{"radiusa", 10}, {"radiusb", 25}}, {"Ellipse", {50, 40, 10, 25, 0xFFFFFF}}, {}},
        {kArc,
         {{"startangle", 90}, {"endangle", 300}, {"radiusb", 30}},
         {"Arc", {50, 40, 30, 30, 90, 300, 0xFFFFFF}},
         {}},
        {kTriangle,
         {{"vertices", Arg::List({0, 0, 60, 0, 60, 30, 0, 30}, 0)}},
         {"Polygon", {50, 40, Arg::List({0, 0, 60, 0, 60, 30, 0, 30}), 4, 0xFFFFFF}},
         {}},
        {{"Line", {10, 10, 50, 30, 0xFFFFFF}},
         {{"x1", 20}, {"y1", 90}, {"x2", 120}, {"y2", 40}, {"thickness", 5}},
         {"Line", {20, 90, 120, 40, 0xFFFFFF}},
         {{"thickness", 5}}},
        {kBox, {{"fillstyle", FILLNONE}}, {"Box", {50, 40, 40, 20, 0xFFFFFF}}, {{"fillstyle", FILLNONE}}},
        {kBox, {{"type", QZ_LAYER_CIRCLE}, {"radius", 20}}, {"Circle", {50, 40, 20, 0xFFFFFF}}, {}},
        {kCircle,
         {{"type", QZ_LAYER_POLYGON}, {"vertices", Arg::List({0, 0, 30, 10, 5, 40}, 0)}},
         {"Polygon", {50, 40, Arg::List({0, 0, 30, 10, 5, 40}), 3, 0xFFFFFF}},
         {}},
    };
    int number = 1;
    for (const auto& r : rows) {
        const std::string what = std::string(r.before.command) + " #" + std::to_string(&r - rows);
        std::vector<uint8_t> planes[2];
        for (int layers = 0; layers < 2; layers++, number++) {
            Open(number, layers == 1);
            vm->Ok("SetFillStyle", {FILLCOLOR});
            if (layers) {
                ASSERT_EQ(vm->Run(r.before.command, r.before.args), "") << what;
                ASSERT_EQ(vm->Run("SetLayerStyle", {1, Arg::Table(r.tags)}), "") << what;
            } else {
                Table options = r.options;
                // The fill style of the direct draw is the draw state's.
                const auto fill = std::find_if(options.begin(), options.end(), [](const auto& option) {
                    return option.first.Describe() == "\"fillstyle\"";
                });
                if (fill != options.end()) {
                    vm->Ok("SetFillStyle", {FILLNONE});
                    options.erase(fill);
                }
                ASSERT_EQ(vm->Run(r.after.command, WithOptions(r.after.args, options)), "") << what;
            }
            planes[layers] = Planes(number);
        }
        if (r.turned)
            ExpectAlike(planes[0], planes[1], what);
        else
            EXPECT_GE(IoU(planes[0], planes[1]), 0.98) << what;
    }
}

TEST_F(LayerKindStyles, ShapeTagsAreReadBeforeAnythingChanges) {
    Open(1, true);
    vm->Ok("SetFillStyle", {FILLCOLOR});
    ASSERT_EQ(vm->Run("Circle", {20, 20, 10, 0xFF0000}), "");
    ASSERT_EQ(vm->Run("Polygon", {60, 20, Arg::List({0, 0, 20, 0, 10, 20}), 3, 0x00FF00}), "");
    ASSERT_EQ(vm->Run("Line", {10, 80, 50, 60, 0x0000FF, Arg::Table({{"thickness", 3}})}), "");
    LogPresents();
    const struct {
        int layer;
        Table tags;
        std::string result;
    } rows[] = {
        {1, {{"color", 0x00FF00}, {"radius", 0}}, "ERR 1055"},
        {1, {{"color", 0x00FF00}, {"fillstyle", 7}}, "ERR 1055"},
        {2, {{"vertices", Arg::List({1, 2, 3}, 0)}}, "ERR 1055"},
        {1, {{"type", QZ_LAYER_BOX}, {"sizex", 5}}, "ERR " + std::to_string(ERR_MISSINGPARAMTR)},  // no "sizey"
        {1, {{"type", QZ_LAYER_BRUSH}, {"id", 1}, {"color", 0x00FF00}}, "ERR " + std::to_string(ERR_FINDBRUSH)},
        {2, {{"x", 5}, {"vertices", Arg::List({1, 2, 3, "x"}, 0)}}, "ERR " + std::to_string(ERR_NUMTABLEARG)},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(vm->Run("SetLayerStyle", {r.layer, Arg::Table(r.tags)}), r.result) << &r - rows;
        EXPECT_EQ(Pixel(1, 30, 30), 0xFF0000u) << &r - rows;
        EXPECT_EQ(Pixel(1, 70, 30), 0x00FF00u) << &r - rows;
    }
    EXPECT_TRUE(presented.empty());
    // The same values again change nothing and refresh nothing.
    ASSERT_EQ(vm->Run("SetLayerStyle", {1, Arg::Table({{"radius", 10}, {"color", 0xFF0000}})}), "");
    EXPECT_TRUE(presented.empty());

    // The kind's own fields come back, in picture coordinates for a line.
    const struct {
        int layer;
        std::vector<std::pair<std::string, std::string>> fields;
    } styles[] = {
        {1, {{"type", "15"}, {"radius", "10"}, {"color", "16711680"}, {"fillstyle", "1"}}},
        {2, {{"numvertices", "4"}, {"type", "27"}}},
        {3, {{"x1", "10"}, {"y1", "80"}, {"x2", "50"}, {"y2", "60"}, {"thickness", "3"}}},
    };
    for (const auto& s : styles) {
        ASSERT_EQ(vm->Call("GetLayerStyle", {s.layer}), 0);
        for (const auto& f : s.fields) EXPECT_EQ(Field(f.first), f.second) << s.layer << " " << f.first;
    }
    // A moved line reports its ends where they are now.
    vm->Ok("TranslateLayer", {3, 5, -5});
    ASSERT_EQ(vm->Call("GetLayerStyle", {3}), 0);
    EXPECT_EQ(Field("x1"), "15");
    EXPECT_EQ(Field("y2"), "55");

    // SHADOW and EDGE of "formstyle" switch the layer's shadow and border, not the shape's style.
    vm->Ok("SetLayerStyle", {1, Arg::Table({{"formstyle", FORM_SHADOW | FORM_EDGE | FORM_ANTIALIAS}})});
    const qzLayer* circle = FirstLayer(CurrentBGPic());
    EXPECT_EQ(circle->shadow.shadow, 1);
    EXPECT_EQ(circle->border.border, 1);
    ASSERT_EQ(vm->Call("GetLayerStyle", {1}), 0);
    EXPECT_EQ(Field("formstyle"), std::to_string(FORM_NORMAL | FORM_ANTIALIAS));
    vm->Ok("SetLayerStyle", {1, Arg::Table({{"formstyleclear", FORM_SHADOW}})});
    EXPECT_EQ(FirstLayer(CurrentBGPic())->shadow.shadow, 0);
    EXPECT_EQ(FirstLayer(CurrentBGPic())->border.border, 1);
}

TEST_F(LayerKindStyles, RestyledPathsMatchTheDirectDraw) {
    const struct {
        int fillStyle;
        Table tags;
        std::vector<Arg> dash;  // SetDash before the direct draw
        int path;               // drawn directly
        uint32_t colour;
        Table options;  // of the direct draw
    } rows[] = {
        {FILLCOLOR, {{"color", 0x00FF00}}, {}, 1, 0x00FF00, {}},
        {FILLCOLOR, {{"id", 2}}, {}, 2, 0xFFFFFF, {}},
        {FILLNONE, {{"dashes", Arg::List({6, 4}, 0)}, {"dashoffset", 2}}, {2, 6, 4}, 1, 0xFFFFFF, {}},
        {FILLCOLOR,
         {{"id", 2}, {"anchorx", 0.5}, {"anchory", 0.5}, {"rotate", 30}},
         {},
         2,
         0xFFFFFF,
         {{"anchorx", 0.5}, {"anchory", 0.5}, {"rotate", 30}}},
    };
    int number = 1;
    for (const auto& r : rows) {
        const int at = int(&r - rows);
        std::vector<uint8_t> planes[2];
        for (int layers = 0; layers < 2; layers++, number++) {
            Open(number, layers == 1);
            Polyline(1, {{0, 0}, {60, 0}, {60, 15}, {20, 15}, {20, 40}, {0, 40}});
            Polyline(2, {{0, 0}, {70, 10}, {30, 50}});
            vm->Ok("SetFillStyle", {r.fillStyle});
            vm->Ok("SetFormStyle", {FORM_ANTIALIAS});
            if (layers) {
                ASSERT_EQ(vm->Run("DrawPath", {1, 40, 30, 0xFFFFFF}), "") << at;
                ASSERT_EQ(vm->Run("SetLayerStyle", {1, Arg::Table(r.tags)}), "") << at;
            } else {
                if (!r.dash.empty()) vm->Ok("SetDash", r.dash);
                ASSERT_EQ(vm->Run("DrawPath", {r.path, 40, 30, r.colour, Arg::Table(r.options)}), "") << at;
                vm->Ok("SetDash", {0, -1});
            }
            planes[layers] = Planes(number);
        }
        EXPECT_GE(IoU(planes[0], planes[1]), 0.98) << at;
    }
}

TEST_F(LayerKindStyles, PathTagsAreReadBeforeAnythingChanges) {
    Open(1, true);
    vm->Ok("StartPath", {1});
    vm->Ok("AddBoxToPath", {1, 0, 0, 30, 20});
    vm->Ok("StartPath", {3});
    vm->Ok("SetFillStyle", {FILLCOLOR});
    ASSERT_EQ(vm->Run("DrawPath", {1, 10, 10, 0xFF0000}), "");
    const struct {
        Table tags;
        std::string result;
    } rows[] = {
        {{{"color", 0x00FF00}, {"vectorengine", "nosuch"}}, "ERR 1531"},
        {{{"color", 0x00FF00}, {"id", 99}}, "ERR " + std::to_string(ERR_FINDPATH)},
        {{{"color", 0x00FF00}, {"id", 3}}, "ERR " + std::to_string(ERR_EMPTYPATH)},
        {{{"color", 0x00FF00}, {"dashes", Arg::List({4, "x"}, 0)}}, "ERR " + std::to_string(ERR_NUMTABLEARG)},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(vm->Run("SetLayerStyle", {1, Arg::Table(r.tags)}), r.result) << &r - rows;
        EXPECT_EQ(Pixel(1, 20, 20), 0xFF0000u) << &r - rows;
    }
    vm->Ok("SetLayerStyle", {1, Arg::Table({{"linejoin", PATH_JOINROUND}, {"dashes", Arg::List({3, 2}, 0)}})});
    ASSERT_EQ(vm->Call("GetLayerStyle", {1}), 0);
    const std::vector<std::pair<std::string, std::string>> fields = {
        {"type", "49"}, {"id", "1"}, {"color", "16711680"}, {"linejoin", "1"}, {"vectorengine", "\"default\""},
    };
    for (const auto& f : fields) EXPECT_EQ(Field(f.first), f.second) << f.first;
    VmPushString(*vm, "dashes");
    VmGetTable(*vm, vm->Base() + 1);
    VmRawGetI(*vm, -1, 1);
    EXPECT_EQ(qztest::Render(*vm, -1), "2");
    VmPop(*vm, 2);
}

TEST_F(LayerKindStyles, ShapeLayersBecomePathsGivenByIdAndRefusalsChangeNothing) {
    const struct {
        ShapeCall before;
        Table tags;
    } rows[] = {
        {kBox, {{"type", QZ_LAYER_VECTORPATH}, {"id", 2}, {"color", 0x00FF00}}},
        {kCircle, {{"type", QZ_LAYER_VECTORPATH}, {"id", 2}, {"color", 0x00FF00}, {"transparency", 0}}},
    };
    int number = 1;
    for (const auto& r : rows) {
        const int at = int(&r - rows);
        std::vector<uint8_t> planes[2];
        for (int layers = 0; layers < 2; layers++, number++) {
            Open(number, layers == 1);
            Polyline(2, {{0, 0}, {70, 10}, {30, 50}});
            vm->Ok("SetFillStyle", {FILLCOLOR});
            if (layers) {
                ASSERT_EQ(vm->Run(r.before.command, r.before.args), "") << at;
                ASSERT_EQ(vm->Run("SetLayerStyle", {1, Arg::Table(r.tags)}), "") << at;
                EXPECT_EQ(FirstLayer(CurrentBGPic())->type, QZ_LAYER_VECTORPATH) << at;
            } else {
                ASSERT_EQ(vm->Run("DrawPath", {2, 50, 40, 0x00FF00}), "") << at;
            }
            planes[layers] = Planes(number);
        }
        EXPECT_GE(IoU(planes[0], planes[1]), 0.98) << at;
    }
    // Refused: the layer keeps its type and its pixels.
    Open(number, true);
    vm->Ok("StartPath", {3});
    Polyline(2, {{0, 0}, {70, 10}, {30, 50}});
    vm->Ok("SetFillStyle", {FILLCOLOR});
    ASSERT_EQ(vm->Run(kBox.command, kBox.args), "");
    const std::vector<uint8_t> before = Planes(number);
    const struct {
        Table tags;
        std::string result;
    } refusals[] = {
        {{{"type", QZ_LAYER_VECTORPATH}, {"color", 0x00FF00}}, "ERR " + std::to_string(ERR_MISSINGPARAMTR)},
        {{{"type", QZ_LAYER_VECTORPATH}, {"id", 99}, {"transparency", 100}}, "ERR " + std::to_string(ERR_FINDPATH)},
        {{{"type", QZ_LAYER_VECTORPATH}, {"id", 3}}, "ERR " + std::to_string(ERR_EMPTYPATH)},
        {{{"type", QZ_LAYER_VECTORPATH}, {"id", 2}, {"fillstyle", 9}}, "ERR " + std::to_string(ERR_WRONGUSAGE)},
    };
    for (const auto& r : refusals) {
        EXPECT_EQ(vm->Run("SetLayerStyle", {1, Arg::Table(r.tags)}), r.result) << &r - refusals;
        EXPECT_EQ(FirstLayer(CurrentBGPic())->type, QZ_LAYER_BOX) << &r - refusals;
        EXPECT_EQ(FirstLayer(CurrentBGPic())->transparency, 0) << &r - refusals;
        EXPECT_TRUE(Planes(number) == before) << &r - refusals;
    }
}

TEST_F(LayerKindStyles, PathLayersAreFoundByThePathTheyShow) {
    // After "id" shows another path, Undo and GetLayerStyle know the layer by the new path only.
    Open(1, true);
    Polyline(1, {{0, 0}, {60, 0}, {60, 15}, {0, 15}});
    Polyline(2, {{0, 0}, {70, 10}, {30, 50}});
    vm->Ok("SetFillStyle", {FILLCOLOR});
    ASSERT_EQ(vm->Run("DrawPath", {1, 10, 10, 0xFF0000}), "");
    ASSERT_EQ(vm->Run("SetLayerStyle", {1, Arg::Table({{"id", 2}})}), "");
    ASSERT_EQ(vm->Call("GetLayerStyle", {1}), 0);
    EXPECT_EQ(Field("id"), "2");
    VmPop(*vm, 1);
    const auto count = [] {
        int n = 0;
        for (qzLayer* l = FirstLayer(CurrentBGPic()); l; l = NextLayer(l)) n++;
        return n;
    };
    vm->Ok("Undo", {QZ_LAYER_VECTORPATH, 1});
    EXPECT_EQ(count(), 1);
    vm->Ok("Undo", {QZ_LAYER_VECTORPATH, 2});
    EXPECT_EQ(count(), 0);
}

}  // namespace layer_kind_styles_test
