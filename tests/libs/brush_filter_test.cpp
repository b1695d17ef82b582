// The brush filter commands: each on a small brush compared with ImageMagick's same operation,
// the argument checks (which leave the brush as it was), mixing, colour replacement, and shadow
// and border brushes.
#include <cstdlib>
#include <set>

#include "base/error_codes.h"
#include "brush_process_util.h"

namespace brush_filter_test {

using gfxtest::Picture;
using qztest::Arg;
using qztest::NilArg;

namespace {

// The mean of the channel differences, for filters whose sampling differs from ImageMagick's at
// single pixels (swirled edges, kernel borders) while the picture as a whole must agree.
double MeanDifference(const Picture& a, const Picture& b) {
    if (a.width != b.width || a.height != b.height || a.px.empty()) return 256;
    double sum = 0;
    for (size_t i = 0; i < a.px.size(); i++)
        for (int shift : {0, 8, 16}) sum += std::abs((int)((a.px[i] >> shift) & 255) - (int)((b.px[i] >> shift) & 255));
    return sum / (3.0 * (double)a.px.size());
}

int Difference(const Picture& ours, const Picture& theirs, std::string* where) {
    int x = 0, y = 0;
    const int d = gfxtest::MaxDifference(ours, theirs, &x, &y);
    if (d < 256) *where = std::to_string(x) + "," + std::to_string(y);
    return d;
}

}  // namespace

TEST_F(BrushProcessTest, FiltersMatchImageMagick) {
    const Picture src = gfxtest::TestPicture(41, 31, 5);
    const struct {
        const char* command;
        std::vector<Arg> args;  // after the brush id
        std::string magick;
        int tolerance;  // largest channel difference, or (negative) the largest mean difference
    } rows[] = {
        // ImageMagick samples the Gaussian at whole pixels, the engine sums it over thirds.
        {"BlurBrush", {0, 1.5}, "-blur 0x1.5", 2},
        {"BlurBrush", {4, 2.0}, "-blur 4x2", 2},
        {"BlurBrush", {3}, "-blur 3x1", 2},  // sigma defaults to a third of the radius
        {"SharpenBrush", {}, "-sharpen 0x1", 2},
        {"SharpenBrush", {2}, "-sharpen 2x1", 2},
        // ImageMagick's threshold is in 16-bit units: 127 x 257.
        {"SolarizeBrush", {127}, "-solarize 32639", 0},
        {"SolarizeBrush", {"50%"}, "-solarize 32639", 0},
        {"GammaBrush", {0.6, 1.0, 1.7}, "-gamma 0.6,1.0,1.7", 2},
        {"ContrastBrush", {1}, "-contrast", 2},
        {"ContrastBrush", {0, 2}, "+contrast +contrast", 2},
        {"ModulateBrush", {120, 80, 65}, "-modulate 120,80,65", 2},
        {"InvertBrush", {}, "-negate", 0},
        {"BrushToGray", {}, "-grayscale Rec601Luma", 1},
        // The blend weighs by level / 256; the full level gives the pure colour.
        {"TintBrush", {0xFF0000, 255}, "-fill '#FF0000' -colorize 100%", 0},
        {"TintBrush", {0x0000FF, 102}, "-fill '#0000FF' -colorize 40%", 1},
        {"TintBrush", {0x00FF00, 999}, "-fill '#00FF00' -colorize 100%", 0},  // clamped to 255
        {"TintBrush", {0x00FF00, -5}, "", 0},                                 // clamped to 0
        {"EdgeBrush", {1}, "-edge 1", 0},
        // Compared by the mean channel difference: the swirl samples differently at the picture's
        // edges, charcoal's level stretch and the quantiser's palette differ in single levels.
        {"SwirlBrush", {90}, "-swirl 90", -8},
        {"CharcoalBrush", {1}, "-charcoal 1", -7},
        {"QuantizeBrush", {16, 0}, "+dither -colors 16", -12},
    };
    for (const auto& r : rows) {
        Load(1, src);
        std::vector<Arg> args{1};
        args.insert(args.end(), r.args.begin(), r.args.end());
        ASSERT_EQ(vm.Run(r.command, args), "") << r.command << " " << r.magick;
        std::string where;
        const Picture theirs = r.magick.empty() ? src : gfxtest::Magick(src, r.magick);
        if (r.tolerance < 0) {
            EXPECT_LE(MeanDifference(Pixels(1), theirs), -r.tolerance) << r.command << " " << r.magick;
            continue;
        }
        EXPECT_LE(Difference(Pixels(1), theirs, &where), r.tolerance)
            << r.command << " " << r.magick << " at " << where;
    }
}

TEST_F(BrushProcessTest, OilPaintMatchesImageMagickOnGreyLevels) {
    // Grey levels 16 apart keep every intensity bin distinct for both weightings.
    Picture src = gfxtest::TestPicture(33, 25, 11);
    for (uint32_t& c : src.px) {
        const int g = (gfxtest::G(c) + gfxtest::R(c)) / 2 & ~15;
        c = gfxtest::Rgb(g, g, g);
    }
    Load(1, src);
    ASSERT_EQ(vm.Run("OilPaintBrush", {1, 2}), "");
    std::string where;
    EXPECT_EQ(Difference(Pixels(1), gfxtest::Magick(src, "-intensity Rec601Luma -paint 2"), &where), 0) << where;
}

TEST_F(BrushProcessTest, PixelateQuantizeAndMonochrome) {
    const Picture src = gfxtest::TestPicture(30, 20, 2);
    Load(1, src);
    ASSERT_EQ(vm.Run("PixelateBrush", {1, 4}), "");
    const Picture cells = Pixels(1);
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 30; x++) ASSERT_EQ(cells.at(x, y), src.at(x & ~3, y & ~3)) << x << "," << y;
    const struct {
        const char* command;
        std::vector<Arg> args;
        size_t colours;
    } rows[] = {
        {"QuantizeBrush", {1, 8, 0}, 8},
        {"QuantizeBrush", {1, 1}, 1},
        {"BrushToMonochrome", {1}, 2},
    };
    for (const auto& r : rows) {
        Load(1, src);
        ASSERT_EQ(vm.Run(r.command, r.args), "") << r.command;
        const Picture p = Pixels(1);
        const std::set<uint32_t> distinct(p.px.begin(), p.px.end());
        EXPECT_LE(distinct.size(), r.colours) << r.command;
        EXPECT_GE(distinct.size(), 1u);
    }
    const Picture mono = Pixels(1);
    for (uint32_t c : mono.px) EXPECT_TRUE(c == 0 || c == 0xFFFFFF) << std::hex << c;
}

TEST_F(BrushProcessTest, ArgumentChecksLeaveTheBrushUnchanged) {
    const Picture src = gfxtest::TestPicture(16, 12, 3);
    Load(1, src);
    const struct {
        const char* command;
        std::vector<Arg> args;
        std::string expected;
    } rows[] = {
        {"BlurBrush", {1, -1}, "ERR 1055"},
        {"EmbossBrush", {1, -0.5}, "ERR 1055"},
        {"EdgeBrush", {1, -2}, "ERR 1055"},
        {"SharpenBrush", {1, -1}, "ERR 1055"},
        {"CharcoalBrush", {1, -1}, "ERR 1055"},
        {"OilPaintBrush", {1, -1}, "ERR 1055"},
        {"ContrastBrush", {1, 1, 0}, "ERR 1055"},
        {"ModulateBrush", {1, 100, -1, 100}, "ERR 1055"},
        {"PixelateBrush", {1, 0}, "ERR 1055"},
        {"PixelateBrush", {1, 13}, "ERR 1055"},  // taller than the brush
        {"QuantizeBrush", {1, 0}, "ERR 1055"},
        {"QuantizeBrush", {1, 257}, "ERR 1055"},
        {"ReplaceColors", {1, Arg::List({0xFF0000})}, "ERR 1055"},
        {"ReplaceColors", {1, Arg::List({0xFF0000, "red"})}, "ERR 1189"},
        {"SolarizeBrush", {1, "150%"}, "ERR 1184"},
        {"BlurBrush", {9, 1}, "ERR 1174"},
        {"MixBrush", {1, 9, 100}, "ERR 1174"},
        {"BarrelDistortBrush", {1, 0.1, 0.1}, "ERR 1014"},
        {"CreateShadowBrush", {2, 1, 0, 0.5}, "ERR 1055"},
        {"CreateBorderBrush", {1, 1, 0}, "ERR 1055"},  // the source's own id
    };
    for (const auto& r : rows) {
        EXPECT_EQ(vm.Run(r.command, r.args), r.expected) << r.command;
        EXPECT_EQ(Pixels(1).px, src.px) << r.command;
    }
    EXPECT_EQ(Find(2), nullptr);
    // The edge cases that are accepted.
    EXPECT_EQ(vm.Run("BlurBrush", {1}), "");
    EXPECT_EQ(vm.Run("PixelateBrush", {1, 12}), "");
    EXPECT_EQ(vm.Run("ReplaceColors", {1, Arg::List({})}), "");
}

TEST_F(BrushProcessTest, VectorAndHardwareBrushesAreRefused) {
    ASSERT_EQ(vm.Run("CreateBrush", {1, 8, 8, 0x102030}), "");
    qzBrush* brush = Find(1);
    const char* commands[] = {"InvertBrush", "BrushToGray", "SetBrushTransparency", "DeleteMask"};
    brush->type = QZ_IMAGETYPE_VECTOR;
    for (const char* c : commands) {
        std::vector<Arg> args{1};
        if (std::string(c) == "SetBrushTransparency") args.push_back(0);
        EXPECT_EQ(vm.Run(c, args), "ERR 1388") << c;
    }
    brush->type = QZ_IMAGETYPE_RASTER;
    brush->hardware = 1;
    EXPECT_EQ(vm.Run("InvertBrush", {1}), "ERR 1497");
    EXPECT_EQ(vm.Run("ReadBrushPixel", {1, 0, 0}), "ERR 1497");
    brush->hardware = 0;
    EXPECT_EQ(Pixels(1).at(3, 3), 0x102030u);
}

TEST_F(BrushProcessTest, TintPercentAndMix) {
    const Picture src = gfxtest::TestPicture(20, 10, 4);
    Load(1, src);
    Load(2, src);
    ASSERT_EQ(vm.Run("TintBrush", {1, 0x336699, "50%"}), "");
    ASSERT_EQ(vm.Run("TintBrush", {2, 0x336699, 127}), "");
    EXPECT_EQ(Pixels(1).px, Pixels(2).px);

    // A 100 x 100 brush mixed with a 50 x 200 one changes only its top-left 50 x 100 pixels.
    ASSERT_EQ(vm.Run("CreateBrush", {3, 100, 100, 0x000000}), "");
    ASSERT_EQ(vm.Run("CreateBrush", {4, 50, 200, 0xFFFFFF}), "");
    ASSERT_EQ(vm.Run("MixBrush", {3, 4, 255}), "");
    const Picture mixed = Pixels(3);
    for (int y = 0; y < 100; y++)
        for (int x = 0; x < 100; x++) ASSERT_EQ(mixed.at(x, y), x < 50 ? 0xFFFFFFu : 0u) << x << "," << y;
    // Through the second brush's mask, at half opacity.
    ASSERT_EQ(vm.Run("CreateBrush", {5, 4, 4, 0x000000}), "");
    ASSERT_EQ(vm.Run("CreateBrush", {6, 4, 4, 0xFFFFFF, Arg::Table({{"mask", true}})}), "");
    ASSERT_EQ(vm.Run("WriteBrushPixel", {6, 1, 0, 0xFFFFFF, 0}), "");
    ASSERT_EQ(vm.Run("MixBrush", {5, 6, 128}), "");
    const Picture half = Pixels(5);
    EXPECT_EQ(half.at(1, 0), 0u);
    EXPECT_NEAR(gfxtest::R(half.at(0, 0)), 128, 1);
}

TEST_F(BrushProcessTest, ReplaceColorsInOnePassOfPairs) {
    Picture src;
    src.width = 4, src.height = 1;
    src.px = {0xFF0000, 0x00FF00, 0x0000FF, 0x123456};
    Load(1, src);
    // Pairs apply in order and later pairs see replaced values; -1 ends the list.
    ASSERT_EQ(vm.Run("ReplaceColors", {1, Arg::List({0xFF0000, 0x00FF00, 0x00FF00, 0xABCDEF, -1, 0x0000FF, 0x0000FF})}),
              "");
    const std::vector<uint32_t> want = {0xABCDEF, 0xABCDEF, 0x0000FF, 0x123456};
    EXPECT_EQ(Pixels(1).px, want);
}

TEST_F(BrushProcessTest, DistortionsReplaceTheBitmaps) {
    const Picture src = gfxtest::TestPicture(20, 16, 6);
    Load(1, src);
    // Target corners that are not given stay at the brush's corners: nothing moves.
    ASSERT_EQ(vm.Run("PerspectiveDistortBrush", {1}), "");
    std::string where;
    EXPECT_EQ(Difference(Pixels(1), src, &where), 0) << where;
    ASSERT_EQ(vm.Run("PerspectiveDistortBrush", {1, 0, 0, 20, 4, 20, 12, 0, 16, 1}), "");
    qzBrush* brush = Find(1);
    ASSERT_NE(brush->bitmap, nullptr);
    EXPECT_TRUE(brush->mask || brush->alpha);
    EXPECT_EQ(brush->width, brush->bitmap->width);
    for (const char* command : {"ArcDistortBrush", "PolarDistortBrush"}) {
        Load(2, src);
        EXPECT_EQ(vm.Run(command, {2}), "") << command;
        EXPECT_GT(Find(2)->width, 0) << command;
        EXPECT_TRUE(Find(2)->mask || Find(2)->alpha) << command;  // the uncovered corners show nothing
    }
    // Three coefficients: the fourth completes them to 1, so zeros leave the picture as it was.
    Load(2, src);
    ASSERT_EQ(vm.Run("BarrelDistortBrush", {2, 0.0, 0.0, 0.0}), "");
    EXPECT_EQ(Find(2)->width, 20);
    EXPECT_LE(Difference(Pixels(2), src, &where), 1) << where;
    EXPECT_EQ(vm.Run("BarrelDistortBrush", {2, 0.1, 0.0, 0.0, 0.9, 1}), "ERR 1055");  // five numbers
}

TEST_F(BrushProcessTest, SwirlRippleCharcoalSepiaEmbossEdgeRun) {
    const Picture src = gfxtest::TestPicture(24, 18, 8);
    const struct {
        const char* command;
        std::vector<Arg> args;
    } rows[] = {
        {"SwirlBrush", {1, 90}},        {"WaterRippleBrush", {1, 8, 2}}, {"CharcoalBrush", {1, 1}},
        {"SepiaToneBrush", {1, "80%"}}, {"EmbossBrush", {1, 1}},         {"EdgeBrush", {1, 1}},
    };
    for (const auto& r : rows) {
        Load(1, src);
        ASSERT_EQ(vm.Run(r.command, r.args), "") << r.command;
        EXPECT_NE(Pixels(1).px, src.px) << r.command;
    }
}

TEST_F(BrushProcessTest, ShadowAndBorderBrushes) {
    // 12 x 8 with a clear left half: a mask from the key colour.
    Picture src;
    src.width = 12, src.height = 8;
    src.px.assign(96, 0xFFFFFF);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 6; x++) src.at(x, y) = 0x000000;
    Load(1, src);
    ASSERT_EQ(vm.Run("SetBrushTransparency", {1, 0x000000}), "");

    ASSERT_EQ(vm.Run("CreateShadowBrush", {2, 1, 0x804020, 3}), "");
    qzBrush* shadow = Find(2);
    ASSERT_NE(shadow, nullptr);
    // Grown by the radius on every side, so the blur over the edges is kept.
    EXPECT_EQ(shadow->width, 18);
    EXPECT_EQ(shadow->height, 14);
    EXPECT_EQ(Pixels(2).at(0, 0), 0x804020u);
    ASSERT_NE(shadow->alpha, nullptr);
    EXPECT_EQ(shadow->mask, nullptr);
    std::vector<uint8_t> alpha = Alpha(2);
    EXPECT_EQ(alpha[0], 0);                            // far corner: nothing reaches
    EXPECT_GT(alpha[7 * 18 + 11], 200);                // inside the visible half
    EXPECT_LT(alpha[7 * 18 + 5], alpha[7 * 18 + 11]);  // the clear half only gets the spread

    // A border is opaque wherever the spread reaches; without mask or alpha a solid block.
    ASSERT_EQ(vm.Run("CreateBorderBrush", {3, 1, 0xFF0000, 2}), "");
    alpha = Alpha(3);
    ASSERT_EQ(alpha.size(), 16u * 12u);
    for (uint8_t a : alpha) EXPECT_TRUE(a == 0 || a == 255);
    ASSERT_EQ(vm.Run("CreateBrush", {4, 5, 5, 0}), "");
    ASSERT_EQ(vm.Run("CreateBorderBrush", {5, 4, 0x00FF00, 1}), "");
    EXPECT_EQ(Find(5)->alpha, nullptr);
    EXPECT_EQ(Find(5)->width, 7);

    // A Nil id returns the new brush's handle.
    ASSERT_EQ(vm.CallFresh("CreateShadowBrush", {NilArg(), 1, 0}), 0);
    EXPECT_EQ(VmType(vm, 1), VM_TLIGHTUSERDATA);
}

TEST_F(BrushProcessTest, WideBorderHasNoHoles) {
    // An edge of 64 around a 400 x 80 strip with an alpha channel: every pixel of the strip and
    // of the band the spread reaches is opaque.
    ASSERT_EQ(vm.Run("CreateBrush", {1, 400, 80, 0, Arg::Table({{"alphachannel", true}})}), "");
    ASSERT_EQ(vm.Run("CreateBorderBrush", {2, 1, 0xFFFFFF, 64}), "");
    const std::vector<uint8_t> alpha = Alpha(2);
    ASSERT_EQ(alpha.size(), 528u * 208u);
    for (int y = 32; y < 176; y++)
        for (int x = 32; x < 496; x++) ASSERT_EQ(alpha[(size_t)y * 528 + x], 255) << x << "," << y;
}

}  // namespace brush_filter_test
