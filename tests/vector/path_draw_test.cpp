// DrawPath on a headless display: paths in several styles against cairo's render of the same path
// (intersection over union at least 0.98), placement, the errors, edge and shadow, shapes drawn
// through temporary paths, and path layers that keep their own copy of the path and draw it anew
// under a layer transform.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/error_codes.h"
#include "display/layer_test_util.h"
#include "image/draw_options.h"
#include "libs/draw/draw.h"
#include "libs/vectorgraphics/vectorgraphics.h"
#include "path_oracle.h"
#include "path_test_util.h"
#include "vector/draw_state.h"
#include "vector/path_layer.h"
#include "vector/path_style.h"

namespace path_draw_test {

using namespace vectortest;
using qztest::Arg;
using qztest::N;

namespace {

constexpr int kW = 200, kH = 150;

class PathDraw : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        delete vm;
        vm = new qztest::Commands{&qzGraphicsLibrary, &qzEventLibrary, &qzSystemLibrary,        &qzLayersLibrary,
                                  &qzDisplayLibrary,  &qzDrawLibrary,  &qzVectorGraphicsLibrary};
    }
    void Open(bool layers) {
        OpenCurrent(1, Arg::Table({{"width", kW}, {"height", kH}, {"layers", layers}, {"color", 0.0}}));
    }
    // The green channel of the window: the coverage of what was drawn in white on black.
    std::vector<uint8_t> Coverage() {
        std::vector<uint8_t> plane((size_t)kW * kH);
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++) plane[(size_t)y * kW + x] = (uint8_t)((Pixel(1, x, y) >> 8) & 255);
        return plane;
    }
    void Build(const std::vector<PathOp>& ops) {
        vm->Ok("StartPath", {1});
        BuildPath(*vm, 1, ops);
    }
};

struct Style {
    int fillStyle;
    int lineWidth;
    int cap, join;
    bool evenOdd;
};

}  // namespace

TEST_F(PathDraw, MatchesCairo) {
    Open(false);
    const std::vector<PathOp> star = {{'M', {50, 0}},   {'L', {80, 90}}, {'L', {0, 35}},
                                      {'L', {100, 35}}, {'L', {20, 90}}, {'Z', {}}};
    const std::vector<PathOp> wave = {{'M', {0, 40}}, {'C', {30, -20, 70, 100, 100, 40}}, {'l', {40, -30}}};
    const std::vector<PathOp> rings = {{'O', {50, 50, 45}}, {'Z', {}}, {'O', {50, 50, 20}}, {'Z', {}}};
    const std::vector<PathOp> wedge = {{'M', {60, 60}}, {'A', {60, 60, 55, 40, 10, 250, 1}}, {'Z', {}}};
    const std::vector<PathOp> box = {{'B', {0, 0, 120, 70, 40, 0, 100, 20}}};
    const Style filled{FILLCOLOR, 1, 0, 0, false};
    const struct {
        const char* name;
        const std::vector<PathOp>& ops;
        Style style;
    } rows[] = {
        {"star, non-zero", star, filled},
        {"star, even-odd", star, {FILLCOLOR, 1, 0, 0, true}},
        {"star outline, miter", star, {FILLNONE, 6, PATH_CAPBUTT, PATH_JOINMITER, false}},
        {"wave, round caps", wave, {FILLNONE, 9, PATH_CAPROUND, PATH_JOINROUND, false}},
        {"wave, square caps, bevel", wave, {FILLNONE, 5, PATH_CAPSQUARE, PATH_JOINBEVEL, false}},
        {"rings, even-odd", rings, {FILLCOLOR, 1, 0, 0, true}},
        {"pie wedge", wedge, filled},
        {"rounded box outline", box, {FILLNONE, 3, 0, PATH_JOINROUND, false}},
        {"rounded box", box, filled},
    };
    for (const auto& r : rows) {
        vm->Ok("Cls", {});
        Build(r.ops);
        qzDrawState* ds = GetDrawState();
        ds->fillStyle = r.style.fillStyle;
        ds->lineWidth = r.style.lineWidth;
        ds->formStyle = FORM_NORMAL | FORM_ANTIALIAS;
        vm->Ok("SetLineCap", {r.style.cap});
        vm->Ok("SetLineJoin", {r.style.join});
        vm->Ok("SetFillRule", {r.style.evenOdd ? PATH_FILLRULEEVENODD : PATH_FILLRULEWINDING});
        ASSERT_EQ(vm->Run("DrawPath", {1, 40, 30, 0xFFFFFF}), "") << r.name;
        CairoStyle c;
        c.fill = r.style.fillStyle != FILLNONE;
        c.evenOdd = r.style.evenOdd;
        c.width = r.style.lineWidth;
        c.cap = r.style.cap;
        c.join = r.style.join;
        EXPECT_GE(CoverageIoU(Coverage(), CairoCoverage(r.ops, c, -40, -30, kW, kH)), 0.98) << r.name;
    }
    // A rotation turns the path about the top-left corner of its box (anchor 0, 0).
    vm->Ok("Cls", {});
    Build(star);
    GetDrawState()->fillStyle = FILLCOLOR;
    ASSERT_EQ(vm->Run("DrawPath", {1, 60, 20, 0xFFFFFF, Arg::Table({{"rotate", 30}})}), "");
    double m[4];
    BuildScaleRotateMatrix(1, 1, 30, m);
    CairoStyle c;
    c.matrix = m;
    const std::vector<uint8_t> turned = CairoCoverage(star, c, -60, -20, kW, kH);
    EXPECT_GE(CoverageIoU(Coverage(), turned), 0.98);
}

TEST_F(PathDraw, PlacementAndErrors) {
    Open(false);
    vm->Ok("StartPath", {1});
    EXPECT_EQ(vm->Run("DrawPath", {1, 0, 0}), "ERR 1394");  // a new path
    vm->Ok("MoveTo", {1, 5, 5});
    EXPECT_EQ(vm->Run("DrawPath", {1, 0, 0}), "ERR 1394");  // only a move
    EXPECT_EQ(vm->Run("DrawPath", {7, 0, 0}), "ERR " + std::to_string(ERR_FINDPATH));
    EXPECT_EQ(vm->Run("DrawPath", {1, 0}), "ERR " + std::to_string(ERR_MISSINGPARAMTR));

    // A 100 x 50 box drawn filled at 10, 20 covers x 10..109, y 20..69; outlined 4 wide, 2 more.
    qzDrawState* ds = GetDrawState();
    const struct {
        int fillStyle, lineWidth;
        int x0, y0, x1, y1;
    } rows[] = {{FILLCOLOR, 1, 10, 20, 109, 69}, {FILLNONE, 4, 8, 18, 111, 71}};
    for (const auto& r : rows) {
        vm->Ok("Cls", {});
        vm->Ok("StartPath", {1});
        vm->Ok("AddBoxToPath", {1, 0, 0, 100, 50});
        ds->fillStyle = r.fillStyle;
        ds->lineWidth = r.lineWidth;
        ASSERT_EQ(vm->Run("DrawPath", {1, 10, 20, 0xFF0000}), "");
        EXPECT_EQ(Pixel(1, r.x0, r.y0), 0xFF0000u) << r.lineWidth;
        EXPECT_EQ(Pixel(1, r.x1, r.y1), 0xFF0000u) << r.lineWidth;
        EXPECT_EQ(Pixel(1, r.x0 - 1, r.y0), 0u) << r.lineWidth;
        EXPECT_EQ(Pixel(1, r.x1 + 1, r.y1 + 1), 0u) << r.lineWidth;
        EXPECT_EQ(Pixel(1, 60, 45), r.fillStyle == FILLNONE ? 0u : 0xFF0000u) << r.lineWidth;
    }
}

TEST_F(PathDraw, EdgeShadowAndFills) {
    Open(false);
    vm->Ok("StartPath", {1});
    vm->Ok("AddBoxToPath", {1, 0, 0, 40, 30});
    vm->Ok("SetFillStyle", {FILLCOLOR});
    vm->Ok("SetFormStyle", {FORM_EDGE, 0x00FF00, 3});
    vm->Ok("SetFormStyle", {FORM_SHADOW, 0x0000FF, 6, SHDW_SOUTHEAST});
    ASSERT_EQ(vm->Run("DrawPath", {1, 50, 40, 0xFF0000}), "");
    EXPECT_EQ(Pixel(1, 70, 55), 0xFF0000u);  // the shape
    EXPECT_EQ(Pixel(1, 48, 55), 0x00FF00u);  // its edge, 3 pixels around it
    EXPECT_EQ(Pixel(1, 46, 55), 0u);
    EXPECT_EQ(Pixel(1, 96, 75), 0x0000FFu);  // the shadow, 6 pixels south-east
    EXPECT_EQ(Pixel(1, 100, 79), 0u);
    // A gradient fill spans the path's box.
    vm->Ok("Cls", {});
    vm->Ok("SetFormStyle", {FORM_NORMAL});
    vm->Ok("SetFillStyle", {FILLGRADIENT, 1, 0xFF0000, 0x0000FF});
    ASSERT_EQ(vm->Run("DrawPath", {1, 50, 40}), "");
    EXPECT_NE(Pixel(1, 51, 55), Pixel(1, 88, 55));
    EXPECT_EQ(Pixel(1, 49, 55), 0u);
}

TEST_F(PathDraw, ShapesThroughTemporaryPaths) {
    Open(false);
    vm->Ok("SetFillStyle", {FILLCOLOR});
    vm->Ok("ForcePathUse", {1});
    auto countPaths = [] {
        int n = 0;
        for (qzObjectHeader* h = *GetPathList(); h; h = h->next) n++;
        return n;
    };
    vm->Ok("StartPath", {5});
    ASSERT_EQ(vm->Run("Circle", {20, 20, 30, 0xFFFFFF}), "");
    EXPECT_EQ(countPaths(), 1);
    // A circle of radius 30 about (30, 30) from the position.
    EXPECT_EQ(Pixel(1, 50, 50), 0xFFFFFFu);
    EXPECT_EQ(Pixel(1, 22, 50), 0xFFFFFFu);
    EXPECT_EQ(Pixel(1, 22, 22), 0u);
    // An arc is a pie wedge: its centre is covered.
    vm->Ok("Cls", {});
    ASSERT_EQ(vm->Run("Arc", {100, 20, 40, 40, 0, 90, 0xFFFFFF}), "");
    EXPECT_EQ(Pixel(1, 141, 61), 0xFFFFFFu);
    ASSERT_EQ(vm->Run("Box", {10, 100, 30, 20, 0x00FF00}), "");
    EXPECT_EQ(Pixel(1, 10, 100), 0x00FF00u);
    EXPECT_EQ(Pixel(1, 39, 119), 0x00FF00u);
    EXPECT_EQ(Pixel(1, 40, 119), 0u);
}

// While ForcePathUse is on, Box, Circle, Arc and Polygon draw exactly what DrawPath draws of the
// path a script would build for them (corners clamped to 100, the polygon closed, the arc a wedge
// about its centre); lines stay with the shape renderer.
TEST_F(PathDraw, ShapesDrawWhatTheirPathDraws) {
    Open(false);
    const uint32_t colour = 0xFF0000;
    const auto snapshot = [&] {
        std::vector<uint32_t> pixels;
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++) pixels.push_back(Pixel(1, x, y));
        vm->Ok("Cls", {});
        return pixels;
    };
    const struct {
        const char* command;
        std::vector<Arg> args;
        std::vector<std::pair<const char*, std::vector<Arg>>> path;  // path 1, drawn at (x, y)
        int x, y;
    } rows[] = {
        {"Box",
         {10, 20, 60, 40, colour, Arg::Table({{"roundlevel", N(150)}})},
         {{"AddBoxToPath", {1, 0, 0, 60, 40, Arg::Table({{"roundlevel", N(100)}})}}},
         10,
         20},
        {"Circle", {5, 6, 27, colour}, {{"AddCircleToPath", {1, 27, 27, 27}}}, 5, 6},
        {"Arc",
         {5, 6, 37, 28, 10, 80, colour, 0},
         {{"MoveTo", {1, 37, 28}}, {"AddArcToPath", {1, 37, 28, 37, 28, 10, 80, 0}}},
         5,
         6},
        {"Polygon",
         {10, 20, Arg::List({N(0.5), N(0), N(80), N(0), N(45), N(70)}), 3, colour},
         {{"MoveTo", {1, 0.5, 0}}, {"LineTo", {1, 80, 0}}, {"LineTo", {1, 45, 70}}, {"LineTo", {1, 0.5, 0}}},
         10,
         20},
    };
    vm->Ok("SetFillStyle", {FILLCOLOR});
    vm->Ok("ForcePathUse", {1});
    for (const auto& r : rows) {
        vm->Ok(r.command, r.args);
        const std::vector<uint32_t> routed = snapshot();
        vm->Ok("StartPath", {1});
        for (const auto& [command, args] : r.path) vm->Ok(command, args);
        vm->Ok("ClosePath", {1});
        vm->Ok("DrawPath", {1, r.x, r.y, colour});
        EXPECT_EQ(routed, snapshot()) << r.command;
        EXPECT_GT(std::count(routed.begin(), routed.end(), colour), 200) << r.command;
    }
    vm->Ok("Line", {0, 0, 5, 0, 0xFFFFFF});
    const std::vector<uint32_t> line = snapshot();
    EXPECT_EQ(std::count(line.begin(), line.end(), 0xFFFFFFu), 6);
}

TEST_F(PathDraw, LayersKeepTheirOwnPath) {
    Open(true);
    vm->Ok("StartPath", {1});
    vm->Ok("AddBoxToPath", {1, 0, 0, 30, 20});
    vm->Ok("SetFillStyle", {FILLCOLOR});
    ASSERT_EQ(vm->Run("DrawPath", {1, 10, 10, 0xFF0000}), "");
    ASSERT_EQ(Ids().size(), 1u);
    qzLayer* layer = FirstLayer(CurrentBGPic());
    EXPECT_EQ(layer->type, QZ_LAYER_VECTORPATH);
    const qzPathLayerState* st = PathLayerStateOf(layer);
    ASSERT_NE(st, nullptr);
    EXPECT_NE(st->params.buffer, PathOf(1)->buffer);
    EXPECT_EQ(Pixel(1, 10, 10), 0xFF0000u);

    // Changing or freeing the path and its style leaves the layer as it was.
    vm->Ok("AddCircleToPath", {1, 100, 100, 20});
    vm->Ok("SetLineJoin", {PATH_JOINROUND});
    vm->Ok("FreePath", {1});
    RefreshDisplayRect(*vm, 0, 0, kW, kH);
    EXPECT_EQ(Pixel(1, 10, 10), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 39, 29), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 100, 100), 0u);
    EXPECT_EQ(st->params.pathStyle.lineJoin, PATH_JOINMITER);

    // An edge becomes the layer's border, drawn as the path's outline around it.
    vm->Ok("StartPath", {2});
    vm->Ok("AddCircleToPath", {2, 20, 20, 20});
    vm->Ok("ClosePath", {2});
    vm->Ok("SetFormStyle", {FORM_EDGE, 0x00FF00, 4});
    ASSERT_EQ(vm->Run("DrawPath", {2, 100, 60, 0xFF0000}), "");
    qzLayer* ring = LastLayer(CurrentBGPic());
    EXPECT_EQ(ring->border.border, 1);
    EXPECT_EQ(ring->border.bordersize, 4);
    EXPECT_EQ(Pixel(1, 120, 80), 0xFF0000u);  // the centre
    EXPECT_EQ(Pixel(1, 98, 80), 0x00FF00u);   // 2 pixels left of the circle
    EXPECT_EQ(Pixel(1, 101, 61), 0u);         // the box corner lies outside the ring
    EXPECT_EQ(Ids().size(), 2u);
}

TEST_F(PathDraw, PathLayersRedrawTheirPathUnderTheLayerTransform) {
    // An L of 60 x 40 (so that a wrong turn shows), turned or scaled about its centre: set on the
    // layer afterwards, it lands where the same draw with the transform and layers off lands.
    const std::vector<PathOp> ell = {{'M', {0, 0}},   {'L', {60, 0}}, {'L', {60, 15}}, {'L', {20, 15}},
                                     {'L', {20, 40}}, {'L', {0, 40}}, {'Z', {}}};
    using Table = std::vector<std::pair<Arg, Arg>>;
    const Table rows[] = {
        {{"rotate", 90}},
        {{"rotate", 30}},
        {{"scalex", 1.5}, {"scaley", 0.75}},
        {{"rotate", 30}, {"scalex", 2}, {"scaley", 2}},
        {{"rotate", 30}, {"scalex", 1.5}, {"scaley", 0.75}},
    };
    int number = 1;
    for (const Table& transform : rows) {
        const int at = int(&transform - rows);
        std::vector<uint8_t> coverage[2];
        for (int layers = 0; layers < 2; layers++, number++) {
            OpenCurrent(number, Arg::Table({{"width", kW}, {"height", kH}, {"layers", layers == 1}, {"color", 0.0}}));
            Build(ell);
            vm->Ok("SetFillStyle", {FILLCOLOR});
            vm->Ok("SetFormStyle", {FORM_ANTIALIAS});
            Table options = {{"anchorx", 0.5}, {"anchory", 0.5}};
            if (!layers) options.insert(options.end(), transform.begin(), transform.end());
            ASSERT_EQ(vm->Run("DrawPath", {1, 100, 75, 0xFFFFFF, Arg::Table(options)}), "") << at;
            if (layers) {
                ASSERT_EQ(FirstLayer(CurrentBGPic())->type, QZ_LAYER_VECTORPATH);
                ASSERT_EQ(vm->Run("SetLayerStyle", {1, Arg::Table(transform)}), "") << at;
                RefreshDisplayRect(*vm, 0, 0, kW, kH);
            }
            for (int y = 0; y < kH; y++)
                for (int x = 0; x < kW; x++) coverage[layers].push_back((uint8_t)((Pixel(number, x, y) >> 8) & 255));
        }
        EXPECT_GE(CoverageIoU(coverage[0], coverage[1]), 0.98) << at;
    }
}

TEST_F(PathDraw, TurnedLayersFollowTheDisplaysUnequalScale) {
    // A display that scales its layers by 2 across and 1 down shows a turned path or shape layer as
    // the unscaled display stretched across: the display's scale applies after the layer's matrix,
    // in the layer's content and in the path outline drawn for its border alike. (A shape's border
    // grows by its size in display pixels, so only its body is compared.)
    const std::vector<PathOp> bar = {{'M', {0, 0}}, {'L', {60, 0}}, {'L', {60, 12}}, {'L', {0, 12}}, {'Z', {}}};
    const Arg anchor = Arg::Table({{"anchorx", 0.5}, {"anchory", 0.5}});
    const Arg style = Arg::Table({{"rotate", 45}, {"border", true}, {"bordersize", 4}, {"bordercolor", 0xFF0000}});
    const int w = 100, h = 100;
    int number = 1;
    for (const char* kind : {"path", "box"}) {
        std::vector<uint8_t> body[2], border[2];
        for (int scaled = 0; scaled < 2; scaled++, number++) {
            OpenCurrent(number, Arg::Table({{"width", w}, {"height", h}, {"layers", true}, {"color", 0.0}}));
            vm->Ok("SetFillStyle", {FILLCOLOR});
            if (kind[0] == 'p') {
                Build(bar);
                ASSERT_EQ(vm->Run("DrawPath", {1, 50, 50, 0x00FF00, anchor}), "");
            } else {
                ASSERT_EQ(vm->Run("Box", {50, 50, 60, 12, 0x00FF00, anchor}), "");
            }
            ASSERT_EQ(vm->Run("SetLayerStyle", {1, style}), "") << kind;
            if (scaled)
                vm->Ok("SetDisplayAttributes",
                       {Arg::Table({{"scalemode", 2}, {"scalewidth", 2 * w}, {"scaleheight", h}})});
            RefreshDisplayRect(*vm, 0, 0, w, h);
            for (int y = 0; y < h; y++)
                for (int x = 0; x < w; x++) {
                    const uint32_t p = Pixel(number, scaled ? 2 * x : x, y);
                    body[scaled].push_back((uint8_t)((p >> 8) & 255));
                    border[scaled].push_back((uint8_t)((p >> 16) & 255));
                }
        }
        EXPECT_GE(CoverageIoU(body[0], body[1]), 0.9) << kind;
        if (kind[0] == 'p') {
            EXPECT_GE(CoverageIoU(border[0], border[1]), 0.8);
        }
    }
}

TEST_F(PathDraw, FillRuleAndOpenSubPathsHoldWithAndWithoutAntialias) {
    // Filled paths as a script builds them, drawn at (10, 10) with and without anti-aliasing: the
    // even-odd rule leaves the hole of two nested boxes, and a sub-path left open (a circle or an
    // ellipse without ClosePath) is filled as if it were closed.
    Open(false);
    using Calls = std::vector<std::pair<const char*, std::vector<Arg>>>;
    const Calls nested = {{"AddBoxToPath", {1, 0, 0, 100, 80}}, {"AddBoxToPath", {1, 20, 20, 60, 40}}};
    const struct {
        const char* name;
        Calls calls;
        int fillRule;
        std::vector<std::pair<int, int>> lit, dark;  // window pixels
    } rows[] = {
        {"nested boxes, even-odd", nested, PATH_FILLRULEEVENODD, {{15, 15}, {105, 85}}, {{60, 50}, {35, 35}}},
        {"nested boxes, non-zero", nested, PATH_FILLRULEWINDING, {{15, 15}, {60, 50}, {35, 35}}, {{111, 50}}},
        {"star, even-odd",
         {{"MoveTo", {1, 50, 0}},
          {"LineTo", {1, 80, 90}},
          {"LineTo", {1, 0, 35}},
          {"LineTo", {1, 100, 35}},
          {"LineTo", {1, 20, 90}},
          {"ClosePath", {1}}},
         PATH_FILLRULEEVENODD,
         {{60, 20}, {30, 50}},
         {{60, 60}}},
        {"open circle",
         {{"AddCircleToPath", {1, 30, 30, 30}}},
         PATH_FILLRULEWINDING,
         {{40, 40}, {25, 40}, {55, 40}},
         {{12, 12}, {71, 40}}},
        {"open ellipse",
         {{"AddEllipseToPath", {1, 40, 20, 40, 20}}},
         PATH_FILLRULEWINDING,
         {{50, 30}, {20, 30}, {80, 30}},
         {{12, 12}, {91, 30}}},
        {"open triangle",
         {{"MoveTo", {1, 0, 0}}, {"LineTo", {1, 60, 0}}, {"LineTo", {1, 0, 60}}},
         PATH_FILLRULEEVENODD,
         {{20, 20}, {11, 50}},
         {{60, 60}}},
    };
    vm->Ok("SetFillStyle", {FILLCOLOR});
    for (const auto& r : rows)
        for (int antialias = 0; antialias < 2; antialias++) {
            const std::string name = std::string(r.name) + (antialias ? ", anti-aliased" : "");
            vm->Ok("Cls", {});
            vm->Ok("StartPath", {1});
            for (const auto& [command, args] : r.calls) vm->Ok(command, args);
            vm->Ok("SetFillRule", {r.fillRule});
            vm->Ok("SetFormStyle", {antialias ? FORM_ANTIALIAS : FORM_NORMAL});
            ASSERT_EQ(vm->Run("DrawPath", {1, 10, 10, 0xFFFFFF}), "") << name;
            for (const auto& [x, y] : r.lit) EXPECT_EQ(Pixel(1, x, y), 0xFFFFFFu) << name << " at " << x << "," << y;
            for (const auto& [x, y] : r.dark) EXPECT_EQ(Pixel(1, x, y), 0u) << name << " at " << x << "," << y;
        }
    vm->Ok("SetFormStyle", {FORM_NORMAL});
    vm->Ok("SetFillRule", {PATH_FILLRULEWINDING});
}

}  // namespace path_draw_test
