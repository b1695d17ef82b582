// The accumulation rasteriser against FreeType's own of the same outlines: a stroke that overlaps
// itself, curves, outlines that reach past the plane's edges; even-odd outlines are refused.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "path_test_util.h"
#include "vector/outline_engine.h"
#include "vector/outline_raster.h"

namespace outline_raster_test {

namespace {

FT_Vector P(double x, double y) { return {FT_Pos(x * 64), FT_Pos(y * 64)}; }

// FreeType's coverage of the outline in the same plane layout (rows downward in outline y).
std::vector<uint8_t> FreeTypeCoverage(FT_Outline* outline, int w, int h) {
    std::vector<uint8_t> plane(size_t(w) * h);
    FT_Bitmap target{};
    target.rows = unsigned(h);
    target.width = unsigned(w);
    target.pitch = -w;
    target.buffer = plane.data();
    target.num_grays = 256;
    target.pixel_mode = FT_PIXEL_MODE_GRAY;
    EXPECT_EQ(FT_Outline_Get_Bitmap(OutlineEngineLibrary(), outline, &target), 0);
    return plane;
}

}  // namespace

TEST(OutlineRaster, MatchesFreeType) {
    constexpr int kW = 120, kH = 100;
    FT_Stroker stroker;
    ASSERT_EQ(FT_Stroker_New(OutlineEngineLibrary(), &stroker), 0);
    const struct {
        const char* name;
        std::vector<FT_Vector> points;  // a zigzag, stroked
        double radius;
        double shift;  // moves it partly out of the plane
    } rows[] = {
        {"crossing zigzag", {P(10, 10), P(110, 90), P(110, 10), P(10, 90), P(60, 5)}, 6, 0},
        {"thin lines", {P(5, 50), P(115, 52), P(60, 95), P(61, 3)}, 0.4, 0},
        {"past the edges", {P(-20, 30), P(140, 40), P(60, 130), P(50, -30)}, 8, 0},
        {"moved left and up", {P(10, 10), P(110, 90), P(110, 10)}, 9, -25},
    };
    for (const auto& r : rows) {
        FT_Stroker_Set(stroker, FT_Fixed(r.radius * 64), FT_STROKER_LINECAP_ROUND, FT_STROKER_LINEJOIN_ROUND, 0);
        FT_Stroker_BeginSubPath(stroker, const_cast<FT_Vector*>(&r.points[0]), 1);
        for (size_t i = 1; i < r.points.size(); i++) FT_Stroker_LineTo(stroker, const_cast<FT_Vector*>(&r.points[i]));
        FT_Stroker_EndSubPath(stroker);
        qzBuiltOutline* built = ExportStrokedOutline(stroker);
        ASSERT_NE(built, nullptr) << r.name;
        FT_Outline_Translate(&built->outline, FT_Pos(r.shift * 64), FT_Pos(r.shift * 64));
        std::vector<uint8_t> ours(size_t(kW) * kH);
        ASSERT_TRUE(AccumulateOutlineCoverage(&built->outline, ours.data(), kW, kW, kH)) << r.name;
        EXPECT_GE(vectortest::CoverageIoU(ours, FreeTypeCoverage(&built->outline, kW, kH)), 0.99) << r.name;
        FreeBuiltOutline(built);
    }
    FT_Stroker_Done(stroker);

    // A cubic blob and a quadratic (conic) bump, filled.
    qzOutlineSink sink;
    sink.points = {P(20, 50), P(20, -10), P(100, -10), P(100, 50), P(100, 110), P(60, 60), P(20, 95)};
    sink.tags = {FT_CURVE_TAG_ON,    FT_CURVE_TAG_CUBIC, FT_CURVE_TAG_CUBIC, FT_CURVE_TAG_ON,
                 FT_CURVE_TAG_CONIC, FT_CURVE_TAG_CONIC, FT_CURVE_TAG_ON};
    sink.contours = {6};
    qzBuiltOutline* blob = OutlineFromSink(sink, 0);
    ASSERT_NE(blob, nullptr);
    std::vector<uint8_t> ours(size_t(kW) * kH);
    ASSERT_TRUE(AccumulateOutlineCoverage(&blob->outline, ours.data(), kW, kW, kH));
    EXPECT_GE(vectortest::CoverageIoU(ours, FreeTypeCoverage(&blob->outline, kW, kH)), 0.99);
    FreeBuiltOutline(blob);

    qzBuiltOutline* evenOdd = OutlineFromSink(sink, 1);
    ASSERT_NE(evenOdd, nullptr);
    std::vector<uint8_t> untouched(size_t(kW) * kH, 7);
    EXPECT_FALSE(AccumulateOutlineCoverage(&evenOdd->outline, untouched.data(), kW, kW, kH));
    EXPECT_EQ(untouched, std::vector<uint8_t>(size_t(kW) * kH, 7));
    FreeBuiltOutline(evenOdd);
}

}  // namespace outline_raster_test
