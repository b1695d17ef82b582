// The standard drawing options: the table read into the geometry and layer records, their errors,
// the transformed size of an image, and the defaults that SetDrawTagsDefault changes.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "base/error_codes.h"
#include "gfx/draw_modes.h"
#include "gfx/filter_types.h"
#include "image/draw_options.h"
#include "support/commands.h"

namespace draw_options_test {

using qztest::Arg;

namespace {

struct Parsed {
    int status = 0;
    qzTransformTags transform{};
    qzLayerTags layer{};
};

// Runs ParseDrawTags on the one table argument of a call (flags 3 unless given), for a 40 x 20
// image.
Parsed Parse(Arg options, int flags = QZ_DRAWTAGS_DEFAULTS | QZ_DRAWTAGS_TABLEONLY, bool withLayer = true) {
    qztest::VmScope vm;
    Parsed p;
    p.status = qztest::RunAsCommand(vm.state, {options}, [&](VmState* s) {
        return ParseDrawTags(s, 1, 40, 20, 0, 0, 0, &p.transform, withLayer ? &p.layer : nullptr, flags);
    });
    return p;
}

std::string Matrix(const qzTransformTags& t) {
    char text[96];
    double m[4];
    for (int i = 0; i < 4; i++) m[i] = std::round(t.matrix[i] * 1000) / 1000 + 0.0;  // no "-0.000"
    std::snprintf(text, sizeof text, "%.3f %.3f %.3f %.3f", m[0], m[1], m[2], m[3]);
    return text;
}

}  // namespace

TEST(DrawOptions, Geometry) {
    const struct {
        Arg options;
        const char* matrix;
        int status;
    } rows[] = {
        {Arg::Table({}), "1.000 0.000 0.000 1.000", 0},
        {Arg::Table({{"rotate", 450}}), "0.000 -1.000 1.000 0.000", 0},
        {Arg::Table({{"rotate", -90}}), "0.000 1.000 -1.000 0.000", 0},
        {Arg::Table({{"scalex", 2}, {"scaley", 0.5}}), "2.000 0.000 0.000 0.500", 0},
        {Arg::Table({{"width", 40}, {"height", 0}}), "1.000 0.000 0.000 1.000", 0},  // the source size
        {Arg::Table({{"width", 80}, {"scalex", 3}}), "2.000 0.000 0.000 1.000", 0},  // a size wins
        {Arg::Table({{"scalex", 2}, {"rotate", 90}}), "0.000 -2.000 1.000 0.000", 0},
        {Arg::Table({{"transform", Arg::List({1, 0.5, 0, 1})}}), "1.000 0.500 0.000 1.000", 0},
        {Arg::Table({{"transform", Arg::List({0, 1, 1, 0})}}), nullptr, ERR_WRONGUSAGE},
        {Arg::Table({{"scalex", 0}}), nullptr, ERR_WRONGUSAGE},
        {Arg::Table({{"anchorx", 1.0}}), "1.000 0.000 0.000 1.000", 0},
        {Arg::Table({{"anchorx", 1.0001}}), nullptr, ERR_WRONGUSAGE},
        {Arg::Table({{"anchory", -0.5}}), nullptr, ERR_WRONGUSAGE},
        {Arg(5), nullptr, ERR_TABEXPECTED},
    };
    for (const auto& r : rows) {
        Parsed p = Parse(r.options);
        EXPECT_EQ(p.status, r.status) << r.options.Describe();
        if (r.matrix) {
            EXPECT_EQ(Matrix(p.transform), r.matrix) << r.options.Describe();
        }
    }
    Parsed rotated = Parse(Arg::Table({{"rotate", 450}}));
    EXPECT_EQ(rotated.transform.rotate, 90);
    EXPECT_EQ(rotated.transform.smoothscale, 0);
    EXPECT_EQ(Parse(Arg(5), QZ_DRAWTAGS_DEFAULTS).status, 0);  // without flag 2: no table
    EXPECT_EQ(Matrix(Parse(Arg::Table({{"width", 80}}), QZ_DRAWTAGS_DEFAULTS | QZ_DRAWTAGS_NOSIZE).transform),
              "1.000 0.000 0.000 1.000");
}

TEST(DrawOptions, LayerRecord) {
    const struct {
        Arg options;
        int status;
    } rows[] = {
        {Arg::Table({{"shadow", false}, {"shadowradius", 0}}), 0},  // not read while off
        {Arg::Table({{"shadow", true}, {"shadowradius", 0}}), ERR_WRONGUSAGE},
        {Arg::Table({{"shadow", true}, {"shadowsigma", 0}}), ERR_WRONGUSAGE},
        {Arg::Table({{"border", true}, {"bordersize", 0}}), ERR_WRONGUSAGE},
        {Arg::Table({{"insertpos", -1}}), ERR_INVINSERT},
        {Arg::Table({{"name", std::string(255, 'n')}}), 0},
        {Arg::Table({{"name", std::string(256, 'n')}}), ERR_NAMETOOLONG},
    };
    for (const auto& r : rows) EXPECT_EQ(Parse(r.options).status, r.status) << r.options.Describe();

    Parsed p = Parse(Arg::Table({{"transparency", "50%"},
                                 {"tint", 300},
                                 {"tintcolor", 0x112233},
                                 {"insertpos", 99},
                                 {"shadow", true},
                                 {"shadowcolor", 0x40FF0000u},
                                 {"name", "sun"}}));
    ASSERT_EQ(p.status, 0);
    EXPECT_EQ(p.layer.transparency, 127);
    EXPECT_EQ(p.layer.filters[FILTER_TINT].enabled, 1);
    EXPECT_EQ(p.layer.filters[FILTER_TINT].ints[1], 255);
    EXPECT_EQ(p.layer.filters[FILTER_TINT].ints[0], 0x112233);
    EXPECT_EQ(p.layer.insertpos, 99);  // no picture with layers: kept
    EXPECT_EQ(p.layer.shadow.shadowcolor, 0x40FF0000u);
    EXPECT_EQ(p.layer.shadow.shadowsize, 4);
    EXPECT_EQ(p.layer.effects, 1);
    EXPECT_STREQ(p.layer.name, "sun");
    EXPECT_EQ(Parse(Arg::Table({{"name", "plain"}})).layer.effects, 0);
}

TEST(DrawOptions, TransformedSize) {
    const struct {
        double matrix[4];
        int w, h;
    } rows[] = {
        {{1, 0, 0, 1}, 40, 20},
        {{0.5, 0, 0, 2}, 20, 40},
        {{0.001, 0, 0, 0.001}, 1, 1},
        {{0, -1, 1, 0}, 20, 40},
    };
    for (const auto& r : rows) {
        int32_t w = 0, h = 0;
        GetTransformedSize(r.matrix, 40, 20, &w, &h);
        EXPECT_EQ(std::to_string(w) + "x" + std::to_string(h), std::to_string(r.w) + "x" + std::to_string(r.h));
    }
}

TEST(DrawOptions, DefaultsFromSetDrawTagsDefault) {
    InstallDrawTagDefaultsHooks();
    qztest::VmScope vm;
    EXPECT_EQ(
        qztest::RunAsCommand(
            vm.state,
            {Arg::Table({{"scalex", 2}, {"name", "x"}, {"transparency", 10}, {"shadow", true}, {"shadowsize", 9}})},
            [](VmState* s) { return SetDrawTagDefaultsFromTable(s, 1); }),
        0);
    Parsed p = Parse(Arg::Table({}));
    EXPECT_EQ(Matrix(p.transform), "2.000 0.000 0.000 1.000");
    EXPECT_EQ(p.layer.transparency, 10);
    EXPECT_STREQ(p.layer.name, "");
    // A table without "shadow" keeps the default shadow; "shadow" = false switches it off.
    EXPECT_EQ(p.layer.shadow.shadow, 1);
    EXPECT_EQ(p.layer.shadow.shadowsize, 9);
    EXPECT_EQ(p.layer.effects, 1);
    EXPECT_EQ(Parse(Arg::Table({{"shadow", false}})).layer.shadow.shadow, 0);
    EXPECT_NE(qztest::RunAsCommand(vm.state, {Arg::Table({{"anchorx", 7}})},
                                   [](VmState* s) { return SetDrawTagDefaultsFromTable(s, 1); }),
              0);
    EXPECT_EQ(Parse(Arg::Table({})).transform.anchorx, 0);  // a refused table changes nothing
    ResetDrawTagDefaults();
    EXPECT_EQ(Matrix(Parse(Arg::Table({})).transform), "1.000 0.000 0.000 1.000");
    RemoveDrawTagDefaultsHooks();
}

}  // namespace draw_options_test
