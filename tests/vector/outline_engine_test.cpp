// The inbuilt outline engine through the path commands: extents of filled and stroked paths,
// current points, translation and normalising, the fill of an open sub-path, arcs whose radius
// cannot be drawn, text sized on the engine's own size object, and coverage without anti-aliasing.
#include <gtest/gtest.h>

#include <cmath>

#include "path_test_util.h"
#include "vector/draw_state.h"
#include "vector/outline_engine.h"
#include "vector/path_style.h"
#include "vector/vector_engine.h"

namespace outline_engine_test {

using qztest::Arg;
using namespace vectortest;

namespace {

struct Box {
    double x1, y1, x2, y2;
};

// The inbuilt engine's box of path 1, or all -1 when it answers nothing.
Box Extents(int fill, int lineWidth, double dx = 0, double dy = 0) {
    Box b{-1, -1, -1, -1};
    int answered = GetEngineExtents(GetInbuiltVectorEngine(), PathOf(1)->buffer, GetPathStyle(), fill, lineWidth, dx,
                                    dy, nullptr, &b.x1, &b.y1, &b.x2, &b.y2);
    return answered ? b : Box{-1, -1, -1, -1};
}

void ExpectBox(const Box& b, double x1, double y1, double x2, double y2, const char* name) {
    EXPECT_NEAR(b.x1, x1, 0.05) << name;
    EXPECT_NEAR(b.y1, y1, 0.05) << name;
    EXPECT_NEAR(b.x2, x2, 0.05) << name;
    EXPECT_NEAR(b.y2, y2, 0.05) << name;
}

}  // namespace

TEST(OutlineEngine, Extents) {
    qztest::Commands vm{&qzVectorGraphicsLibrary};
    const struct {
        const char* name;
        std::vector<std::pair<const char*, std::vector<Arg>>> commands;
        int fill, width;
        double dx, dy;
        Box expected;
    } rows[] = {
        {"a move alone has no points", {{"MoveTo", {1, 10, 20}}, {"StartSubPath", {1}}}, 1, 1, 0, 0, {0, 0, 0, 0}},
        {"triangle",
         {{"MoveTo", {1, 0, 0}}, {"LineTo", {1, 10, 0}}, {"LineTo", {1, 10, 10}}, {"ClosePath", {1}}},
         1,
         1,
         0,
         0,
         {0, 0, 10, 10}},
        {"ellipse", {{"AddEllipseToPath", {1, 100, 100, 50, 25}}}, 1, 1, 0, 0, {50, 75, 150, 125}},
        {"box stroked 4 wide", {{"AddBoxToPath", {1, 0, 0, 100, 50}}}, 0, 4, 0, 0, {-2, -2, 102, 52}},
        {"box at an offset", {{"AddBoxToPath", {1, 0, 0, 100, 50}}}, 1, 1, 10, 20, {10, 20, 110, 70}},
        {"rounded box keeps its box",
         {{"AddBoxToPath", {1, 0, 0, 40, 20, Arg::Table({{"roundlevel", 100}})}}},
         1,
         1,
         0,
         0,
         {0, 0, 40, 20}},
        {"half circle counter-clockwise",
         {{"AddArcToPath", {1, 50, 50, 20, 20, 0, 180, 0}}},
         1,
         1,
         0,
         0,
         {30, 30, 70, 50}},
        {"relative moves add up",
         {{"MoveTo", {1, 5, 5}}, {"RelLineTo", {1, 10, 0}}, {"RelLineTo", {1, 0, 10}}, {"ClosePath", {1}}},
         1,
         1,
         0,
         0,
         {5, 5, 15, 15}},
    };
    for (const auto& r : rows) {
        vm.Ok("StartPath", {1});
        for (const auto& [command, args] : r.commands) vm.Ok(command, args);
        ExpectBox(Extents(r.fill, r.width, r.dx, r.dy), r.expected.x1, r.expected.y1, r.expected.x2, r.expected.y2,
                  r.name);
    }
}

TEST(OutlineEngine, PathExtentsFollowTheDrawState) {
    qztest::Commands vm{&qzVectorGraphicsLibrary};
    vm.Ok("StartPath", {1});
    EXPECT_EQ(vm.Run("GetPathExtents", {1}), "0, 0, 0, 0");  // no buffer
    vm.Ok("AddBoxToPath", {1, 0, 0, 100, 50});
    // Stroked with the line width while the fill style is FILLNONE, filled otherwise.
    GetDrawState()->lineWidth = 4;
    EXPECT_EQ(vm.Run("GetPathExtents", {1}), "-2, -2, 102, 52");
    GetDrawState()->fillStyle = FILLCOLOR;
    EXPECT_EQ(vm.Run("GetPathExtents", {1}), "0, 0, 100, 50");
    EXPECT_EQ(vm.Run("GetPathExtents", {2}), "ERR 1393");
    ResetDrawState();
}

TEST(OutlineEngine, CurrentPoints) {
    qztest::Commands vm{&qzVectorGraphicsLibrary};
    const struct {
        const char* name;
        std::vector<std::pair<const char*, std::vector<Arg>>> commands;
        std::string expected;
    } rows[] = {
        {"no buffer", {}, "0, 0"},
        {"line end", {{"MoveTo", {1, 1, 2}}, {"LineTo", {1, 7, 9}}}, "7, 9"},
        {"relative curve from one base", {{"MoveTo", {1, 10, 10}}, {"RelCurveTo", {1, 1, 1, 2, 2, 5, -5}}}, "15, 5"},
        {"close returns to the start", {{"MoveTo", {1, 3, 4}}, {"LineTo", {1, 9, 9}}, {"ClosePath", {1}}}, "3, 4"},
        {"arc end", {{"AddArcToPath", {1, 50, 50, 20, 10, 0, 90}}}, "50, 60"},
        {"box start", {{"AddBoxToPath", {1, 10, 20, 40, 20, Arg::Table({{"cornera", 50}})}}}, "15, 20"},
    };
    for (const auto& r : rows) {
        vm.Ok("StartPath", {1});
        for (const auto& [command, args] : r.commands) vm.Ok(command, args);
        EXPECT_EQ(vm.Run("GetCurrentPoint", {1}), r.expected) << r.name;
    }
}

TEST(OutlineEngine, TranslateMovesAbsoluteCoordinatesOnly) {
    qztest::Commands vm{&qzVectorGraphicsLibrary};
    vm.Ok("StartPath", {1});
    vm.Ok("MoveTo", {1, 1, 2});
    vm.Ok("RelLineTo", {1, 5, 5});
    vm.Ok("CurveTo", {1, 1, 1, 2, 2, 3, 3});
    vm.Ok("AddArcToPath", {1, 10, 10, 5, 5, 0, 90});
    vm.Ok("AddBoxToPath", {1, 20, 20, 5, 5});
    vm.Ok("TranslatePath", {1, 100, 200});
    const uint8_t* p = PathOf(1)->buffer;
    EXPECT_EQ(PathReadDouble(p + 8), 101);
    EXPECT_EQ(PathReadDouble(p + 16), 202);
    p += 24;
    EXPECT_EQ(PathReadDouble(p + 8), 5);  // relative: unchanged
    p += 24;
    EXPECT_EQ(PathReadDouble(p + 8), 101);
    EXPECT_EQ(PathReadDouble(p + 48), 203);
    p += 56;
    EXPECT_EQ(PathReadDouble(p + 4), 110);
    EXPECT_EQ(PathReadDouble(p + 20), 5);  // radius: unchanged
    p += 56;
    EXPECT_EQ(PathReadDouble(p + 12), 220);
    EXPECT_EQ(PathReadDouble(p + 20), 5);  // width: unchanged

    // Normalising puts the filled box's top-left corner at 0, 0.
    vm.Ok("StartPath", {1});
    vm.Ok("AddCircleToPath", {1, 40, 50, 10});
    vm.Ok("NormalizePath", {1});
    ExpectBox(Extents(1, 1), 0, 0, 20, 20, "normalised circle");
}

TEST(OutlineEngine, CoverageOfOpenSubPathsAndWithoutAntialiasing) {
    qztest::Commands vm{&qzVectorGraphicsLibrary};
    vm.Ok("StartPath", {1});
    vm.Ok("MoveTo", {1, 0, 0});
    vm.Ok("LineTo", {1, 40, 20});
    vm.Ok("LineTo", {1, 0, 40});
    std::vector<uint8_t> plane(41 * 41);
    auto draw = [&](int antialias, int fill) {
        std::fill(plane.begin(), plane.end(), 0);
        return EngineDrawPath(GetInbuiltVectorEngine(), PathOf(1)->buffer, GetPathStyle(), antialias, fill,
                              plane.data(), 41, 41, 41, 3, nullptr, 0, 0, 0, 0);
    };
    auto sum = [&] {
        long total = 0;
        for (uint8_t v : plane) total += v;
        return total;
    };
    // An open sub-path is filled as if closed (the triangle's area, 800 pixels); stroked, only its
    // line shows.
    ASSERT_EQ(draw(1, 1), 1);
    EXPECT_NEAR(sum() / 255.0, 800, 30);
    ASSERT_EQ(draw(1, 0), 1);
    EXPECT_GT(sum(), 0);
    EXPECT_LT(sum() / 255.0, 500);

    vm.Ok("ClosePath", {1});
    ASSERT_EQ(draw(0, 1), 1);
    int half = 0;
    for (uint8_t v : plane) {
        EXPECT_TRUE(v == 0 || v == 255);
        half += v == 255;
    }
    EXPECT_NEAR(half, 800, 60);  // the triangle's area
}

TEST(OutlineEngine, ArcsOfUndrawableRadiiEnd) {
    qztest::Commands vm{&qzVectorGraphicsLibrary};
    for (double radius : {-20.0, 0.0, std::nan(""), 1e300}) {
        vm.Ok("StartPath", {1});
        vm.Ok("AddArcToPath", {1, 50, 50, radius, radius, 0, 270});
        vm.Ok("AddArcToPath", {1, 50, 50, 10, 10, 0, std::nan("")});
        Box b = Extents(0, 2);  // answered or not, it returns
        EXPECT_FALSE(std::isnan(b.x1)) << radius;
    }
}

TEST(OutlineEngine, TextAdvancesOnItsOwnSizeObject) {
    VeraFont vera(30);
    ASSERT_NE(vera.font, nullptr);
    qztest::Commands vm{&qzVectorGraphicsLibrary};
    TextSource text(vera.font);
    FT_Face face = GetFontFace(vera.font);
    ASSERT_NE(face, nullptr);
    FT_UShort textPpem = face->size->metrics.y_ppem;

    vm.Ok("StartPath", {1});
    vm.Ok("MoveTo", {1, 20, 50});
    vm.Ok("AddTextToPath", {1, "AV"});
    Box b = Extents(1, 1);
    // Each glyph's baseline origin is the current point, which then advances by the glyph.
    ASSERT_EQ(vm.CallFresh("GetCurrentPoint", {1}), 0);
    double advance = vm.Num(1) - 20;
    EXPECT_EQ(vm.Num(2), 50);
    EXPECT_GT(advance, 30);  // two capitals at 30 pixels
    EXPECT_LT(advance, 50);
    EXPECT_GT(b.x1, 19);
    EXPECT_LT(b.y1, 50 - 15);  // capitals stand above the baseline
    EXPECT_NEAR(b.y2, 50, 1);

    // A bigger size for the path leaves the text engine's size of the face as it was.
    vera.font->size = 80;
    vm.Ok("StartPath", {1});
    vm.Ok("AddTextToPath", {1, "A"});
    vera.font->size = 30;
    Box large = Extents(1, 1);
    EXPECT_GT(large.y2 - large.y1, 50);
    EXPECT_EQ(face->size->metrics.y_ppem, textPpem);
}

TEST(OutlineEngine, RepeatedBuildsFollowTheRecordsAndTheStyle) {
    // A build of the same records with the same parameters reuses the last outline; anything that
    // differs builds anew, also when the buffer is the same block changed in place.
    qztest::Commands vm{&qzVectorGraphicsLibrary};
    vm.Ok("StartPath", {1});
    vm.Ok("MoveTo", {1, 10, 10});
    vm.Ok("LineTo", {1, 60, 20});
    vm.Ok("LineTo", {1, 10, 30});
    vm.Ok("ClosePath", {1});
    ExpectBox(Extents(1, 1), 10, 10, 60, 30, "filled");
    ExpectBox(Extents(1, 1), 10, 10, 60, 30, "filled again");
    ExpectBox(Extents(1, 1, 5, -5), 15, 5, 65, 25, "moved");
    const Box miter = Extents(0, 4);
    vm.Ok("SetLineJoin", {PATH_JOINBEVEL});
    const Box bevel = Extents(0, 4);
    EXPECT_GT(miter.x2, bevel.x2 + 1);  // the sharp tip's miter reaches further
    vm.Ok("TranslatePath", {1, 100, 0});
    ExpectBox(Extents(1, 1), 110, 10, 160, 30, "translated in place");
    vm.Ok("SetLineJoin", {PATH_JOINMITER});
    ExpectBox(Extents(0, 4), miter.x1 + 100, miter.y1, miter.x2 + 100, miter.y2, "stroked, translated");
    ForgetLastOutline();
    ExpectBox(Extents(1, 1), 110, 10, 160, 30, "built anew");
}

}  // namespace outline_engine_test
