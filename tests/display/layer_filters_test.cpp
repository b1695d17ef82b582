// Layer filters: the "filters" table read into the slots, defaults and percentages, switching off,
// errors with their argument, the geometry flag, and the order of application.
#include <gtest/gtest.h>

#include <string>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/display_pixels.h"
#include "display/layer_filters.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "support/commands.h"

namespace layer_filters_test {

using qztest::Arg;

namespace {

// Parses {filters = list} into the slots; the error code (0) and its error argument.
int Parse(VmState* state, const Arg& list, qzFilterEntry* filters, std::string* argument = nullptr) {
    int parseError = 0;
    const int raised = qztest::RunAsCommand(state, {Arg::Table({{"filters", list}})}, [&](VmState* s) {
        int changed = 0;
        ParseLayerFilters(s, 1, filters, &changed, &parseError);
        return 0;
    });
    EXPECT_EQ(raised, 0);
    if (argument) *argument = GetErrorArgString() ? GetErrorArgString() : "";
    return parseError;
}

void Clear(qzFilterEntry* filters) {
    for (int i = 0; i < QZ_LAYER_FILTERS; i++) {
        filters[i] = {};
        SetFilterDefaults(&filters[i], i);
    }
}

}  // namespace

TEST(LayerFilters, TableFillsTheSlots) {
    qztest::VmScope vm;
    qzFilterEntry filters[QZ_LAYER_FILTERS];
    Clear(filters);
    // Defaults; a level given as a percentage of 255.
    EXPECT_EQ(Parse(vm, Arg::List({Arg::Table({{"name", "TINT"}})}), filters), 0);
    EXPECT_EQ(filters[FILTER_TINT].enabled, 1);
    EXPECT_EQ(filters[FILTER_TINT].ints[0], 0xFFFFFF);
    EXPECT_EQ(filters[FILTER_TINT].ints[1], 128);
    EXPECT_EQ(Parse(vm, Arg::List({Arg::Table({{"name", "tint"}, {"args", Arg::List({0xFF0000, "50%"})}})}), filters),
              0);
    EXPECT_EQ(filters[FILTER_TINT].ints[0], 0xFF0000);
    EXPECT_EQ(filters[FILTER_TINT].ints[1], 127);
    // Integers and floats fill their own slots; what is not given keeps its default.
    EXPECT_EQ(
        Parse(vm,
              Arg::List({Arg::Table({{"name", "waterripple"}, {"priority", 7}, {"args", Arg::List({8, 2, 1, 0.25})}})}),
              filters),
        0);
    const qzFilterEntry& ripple = filters[FILTER_WATERRIPPLE];
    EXPECT_EQ(ripple.priority, 7);
    EXPECT_EQ(ripple.ints[0], 8);
    EXPECT_EQ(ripple.ints[2], 1);
    EXPECT_FLOAT_EQ(ripple.floats[0], 0.25f);
    EXPECT_FLOAT_EQ(ripple.floats[1], 0.5f);
    EXPECT_EQ(HasGeometryFilter(filters), 1);
    // Switching off; slots the table does not name keep their contents.
    EXPECT_EQ(Parse(vm, Arg::List({Arg::Table({{"name", "waterripple"}, {"disable", 1}})}), filters), 0);
    EXPECT_EQ(ripple.enabled, 0);
    EXPECT_EQ(HasGeometryFilter(filters), 0);
    EXPECT_EQ(filters[FILTER_TINT].enabled, 1);
}

TEST(LayerFilters, ErrorsNameTheirField) {
    qztest::VmScope vm;
    const struct {
        Arg list;
        int error;
        const char* argument;
    } rows[] = {
        {Arg::List({Arg::Table({{"name", "invert"}}), Arg::Table({{"name", "xflip"}}), Arg::Table({{"priority", 1}})}),
         ERR_NOFILTERNAME, "2"},
        {Arg::List({Arg::Table({{"name", "sparkle"}})}), ERR_UNKNOWNFILTER, "sparkle"},
        {Arg::List({Arg::Table({{"name", 5}})}), ERR_STRTABLEARG, "name"},
        {Arg::List({Arg::Table({{"name", "blur"}, {"args", Arg::List({"wide"})}})}), ERR_NUMTABLEARG, "args"},
        {Arg::List({5}), ERR_TABEXPECTED2, "filters"},
        {Arg(5), ERR_TABEXPECTED2, "filters"},
    };
    for (const auto& r : rows) {
        qzFilterEntry filters[QZ_LAYER_FILTERS];
        Clear(filters);
        std::string argument;
        EXPECT_EQ(Parse(vm, r.list, filters, &argument), r.error) << r.argument;
        EXPECT_EQ(argument, r.argument);
        if (r.error == ERR_NOFILTERNAME) {  // the entries before the bad one stay filled
            EXPECT_EQ(filters[FILTER_INVERT].enabled, 1);
            EXPECT_EQ(filters[FILTER_XFLIP].enabled, 1);
        }
    }
}

// Higher priority first, equal priorities in type order: tint to red, then invert, gives cyan.
TEST(LayerFilters, RunByFallingPriority) {
    const struct {
        int tintPriority, invertPriority;
        uint32_t expected;
    } rows[] = {
        {200, 10, 0x00FFFF},
        {10, 200, 0xFF0000},
        {0, 0, 0xFF0000},  // equal: invert (type 7) runs before tint (type 16)
    };
    for (const auto& r : rows) {
        qzFilterEntry filters[QZ_LAYER_FILTERS];
        Clear(filters);
        filters[FILTER_TINT].enabled = 1;
        filters[FILTER_TINT].priority = uint8_t(r.tintPriority);
        filters[FILTER_TINT].ints[0] = 0xFF0000;
        filters[FILTER_TINT].ints[1] = 255;
        filters[FILTER_INVERT].enabled = 1;
        filters[FILTER_INVERT].priority = uint8_t(r.invertPriority);
        qzBitMap* bitmap = CreateBitMap(2, 2, 0, nullptr);
        FillBitmapColor(bitmap, 0, 0, 2, 2, 0x123456);
        ASSERT_EQ(ApplyLayerFilters(filters, bitmap, nullptr, nullptr, 2, 2, 0), 0);
        // A full tint gives the pure colour.
        EXPECT_EQ(ReadBitMapPixel(bitmap, 1, 1, 0) & 0xFFFFFF, r.expected) << r.tintPriority;
        DeleteBitMap(bitmap);
    }
}

}  // namespace layer_filters_test
