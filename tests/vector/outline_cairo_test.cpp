// The inbuilt engine's coverage against cairo's of the same path: lines, cubic curves, arcs,
// circles, ellipses, rounded boxes, relative commands, text outlines in Vera (quadratic glyph
// curves), joins and caps, both fill rules and transforms; intersection over union at least 0.98.
#include <gtest/gtest.h>

#include <cmath>

#include "path_oracle.h"
#include "path_test_util.h"
#include "vector/outline_engine.h"
#include "vector/path_style.h"
#include "vector/vector_engine.h"

namespace outline_cairo_test {

using namespace vectortest;

namespace {

struct Case {
    const char* name;
    std::vector<PathOp> ops;
    CairoStyle style;
    std::vector<PathOp> reference = {};  // what cairo draws, when it is not the same path
};

// The engine's coverage of path 1 drawn as the style says, and where its box starts (the plane
// begins at the whole pixel the box starts in).
std::vector<uint8_t> EngineCoverage(const CairoStyle& style, int antialias, double* x1, double* y1, int* width,
                                    int* height) {
    qzPathStyle& ps = GetPathStyle();
    ps.lineCap = style.cap;
    ps.lineJoin = style.join;
    ps.fillRule = style.evenOdd ? PATH_FILLRULEEVENODD : PATH_FILLRULEWINDING;
    qzPath* path = PathOf(1);
    double x2 = 0, y2 = 0;
    *x1 = *y1 = 0;
    int lineWidth = int(style.width);
    EXPECT_EQ(GetEngineExtents(GetInbuiltVectorEngine(), path->buffer, ps, style.fill, lineWidth, 0, 0, style.matrix,
                               x1, y1, &x2, &y2),
              1);
    *width = int(std::ceil(x2) - std::floor(*x1));
    *height = int(std::ceil(y2) - std::floor(*y1));
    std::vector<uint8_t> plane(size_t(std::max(*width, 0)) * size_t(std::max(*height, 0)));
    EXPECT_EQ(EngineDrawPath(GetInbuiltVectorEngine(), path->buffer, ps, antialias, style.fill, plane.data(), *width,
                             *width, *height, lineWidth, style.matrix, 0, 0, 0, 0),
              1);
    return plane;
}

const double kRotate[4] = {0.8660254, 0.5, -0.5, 0.8660254};  // 30 degrees
const double kShear[4] = {1.5, 0, 0.4, 0.75};

}  // namespace

TEST(OutlineVsCairo, CoverageMatches) {
    VeraFont vera(48);
    ASSERT_NE(vera.font, nullptr);
    FT_Library library;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    FT_Face face;
    ASSERT_EQ(FT_New_Face(library, (fonttest::kVeraDir + "/Vera.ttf").c_str(), 0, &face), 0);
    cairo_font_face_t* cairoFace = cairo_ft_font_face_create_for_ft_face(face, FT_LOAD_NO_BITMAP);

    const std::vector<PathOp> triangle = {{'M', {10, 10}}, {'L', {110, 10}}, {'L', {110, 90}}, {'Z', {}}};
    const std::vector<PathOp> zigzag = {{'M', {10, 60}}, {'L', {60, 10}}, {'L', {110, 60}}, {'L', {160, 20}}};
    const std::vector<PathOp> curve = {{'M', {10, 80}}, {'C', {40, -20, 120, 160, 170, 40}}};
    const std::vector<PathOp> blob = {
        {'M', {20, 60}}, {'C', {20, 0, 140, 0, 140, 60}}, {'c', {0, 60, -120, 60, -120, 0}}, {'Z', {}}};
    const std::vector<PathOp> rings = {{'O', {100, 100, 80}}, {'Z', {}}, {'O', {100, 100, 40}}, {'Z', {}},
                                       {'O', {150, 100, 40}}, {'Z', {}}};
    const std::vector<PathOp> relative = {
        {'M', {20, 20}}, {'l', {100, 0}}, {'m', {0, 30}}, {'l', {-80, 40}}, {'l', {0, -60}}};
    const std::vector<PathOp> closedThenOpen = {{'M', {10, 10}}, {'L', {60, 10}}, {'L', {60, 60}}, {'L', {10, 60}},
                                                {'Z', {}},       {'M', {80, 20}}, {'L', {150, 60}}};
    const std::vector<PathOp> closedThenOpenAsDrawn = {{'M', {10, 10}}, {'L', {60, 10}}, {'L', {60, 60}},
                                                       {'L', {10, 60}}, {'L', {10, 10}}, {'M', {80, 20}},
                                                       {'L', {150, 60}}};
    const std::vector<PathOp> openThenClosed = {{'M', {10, 70}},  {'L', {60, 20}},  {'M', {80, 20}},
                                                {'L', {150, 20}}, {'L', {150, 80}}, {'Z', {}}};
    const std::vector<PathOp> openThenClosedAsDrawn = {{'M', {10, 70}}, {'L', {60, 20}},  {'L', {10, 70}},  {'Z', {}},
                                                       {'M', {80, 20}}, {'L', {150, 20}}, {'L', {150, 80}}, {'Z', {}}};
    CairoStyle fill;
    CairoStyle evenOdd;
    evenOdd.evenOdd = true;
    auto stroke = [](double width, int cap, int join, const double* matrix = nullptr) {
        CairoStyle s;
        s.fill = false;
        s.width = width;
        s.cap = cap;
        s.join = join;
        s.matrix = matrix;
        return s;
    };
    CairoStyle rotated = fill;
    rotated.matrix = kRotate;

    const Case cases[] = {
        {"filled triangle", triangle, fill},
        {"closed triangle, miter joins", triangle, stroke(8, 0, PATH_JOINMITER)},
        {"closed triangle, round joins", triangle, stroke(8, 0, PATH_JOINROUND)},
        {"closed triangle, bevel joins", triangle, stroke(8, 0, PATH_JOINBEVEL)},
        {"open zigzag, butt caps, miter joins", zigzag, stroke(10, PATH_CAPBUTT, PATH_JOINMITER)},
        {"open zigzag, round caps, round joins", zigzag, stroke(10, PATH_CAPROUND, PATH_JOINROUND)},
        {"open zigzag, square caps, bevel joins", zigzag, stroke(10, PATH_CAPSQUARE, PATH_JOINBEVEL)},
        {"open cubic", curve, stroke(6, PATH_CAPROUND, PATH_JOINROUND)},
        {"closed cubics, relative", blob, fill},
        {"relative lines", relative, stroke(4, PATH_CAPBUTT, PATH_JOINMITER)},
        {"circles, non-zero", rings, fill},
        {"circles, even-odd", rings, evenOdd},
        {"circle outline", {{'O', {70, 70, 60}}, {'Z', {}}}, stroke(6, 0, PATH_JOINROUND)},
        {"ellipse", {{'E', {100, 60, 90, 35}}, {'Z', {}}}, fill},
        {"open arc clockwise", {{'A', {80, 80, 60, 40, 30, 240, 1}}}, stroke(5, PATH_CAPROUND, PATH_JOINROUND)},
        {"open arc counter-clockwise", {{'A', {80, 80, 60, 40, 30, 240, 0}}}, stroke(5, PATH_CAPBUTT, PATH_JOINROUND)},
        {"pie wedge", {{'M', {80, 80}}, {'A', {80, 80, 70, 70, 20, 130, 1}}, {'Z', {}}}, fill},
        {"rounded box", {{'B', {10, 10, 160, 90, 30, 0, 100, 60}}}, fill},
        {"box outline", {{'B', {10, 10, 160, 90, 0, 0, 0, 0}}}, stroke(7, 0, PATH_JOINMITER)},
        {"rotated ellipse", {{'E', {100, 60, 90, 35}}, {'Z', {}}}, rotated},
        {"sheared zigzag", zigzag, stroke(6, PATH_CAPROUND, PATH_JOINROUND, kShear)},
        {"text outline", {{'M', {10, 60}}, {'T', {}, "Quarnelix & Vera"}}, fill},
        {"stroked text outline", {{'M', {10, 60}}, {'T', {}, "gpS"}}, stroke(2, 0, PATH_JOINROUND)},
        // The last sub-path decides: left open, a closed one is stroked round to its start and
        // capped there; closed, an open one is stroked out and back, without caps.
        {"closed, then open last", closedThenOpen, stroke(8, PATH_CAPSQUARE, PATH_JOINMITER), closedThenOpenAsDrawn},
        {"open, then closed last", openThenClosed, stroke(8, PATH_CAPSQUARE, PATH_JOINROUND), openThenClosedAsDrawn},
    };

    qztest::Commands vm{&qzVectorGraphicsLibrary};
    TextSource text(vera.font);
    for (const Case& c : cases) {
        vm.Ok("StartPath", {1});
        BuildPath(vm, 1, c.ops);
        double x1, y1;
        int width, height;
        std::vector<uint8_t> ours = EngineCoverage(c.style, 1, &x1, &y1, &width, &height);
        ASSERT_GT(width, 0) << c.name;
        ASSERT_GT(height, 0) << c.name;
        std::vector<uint8_t> reference = CairoCoverage(c.reference.empty() ? c.ops : c.reference, c.style,
                                                       std::floor(x1), std::floor(y1), width, height, cairoFace, 48);
        double iou = CoverageIoU(ours, reference);
        EXPECT_GE(iou, 0.98) << c.name << ", " << width << " x " << height;
    }
    vm.CloseLibraries();
    cairo_font_face_destroy(cairoFace);
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}

}  // namespace outline_cairo_test
