// The effect types: the constants scripts name them by, the classes, the swap for hidden objects,
// the dispatch rows and the random choice.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "fx/effect_context.h"
#include "fx/effect_types.h"
#include "vm/vm_aux.h"

namespace effect_types_test {

TEST(EffectTypes, ConstantsNameEveryTypeOnce) {
    int rows = 0;
    std::set<std::string> names;
    std::set<int> types;
    for (const qzConstantRow* row = kEffectTypeConstants; row->name; row++) {
        rows++;
        EXPECT_EQ(row->string, nullptr) << row->name;
        EXPECT_TRUE(names.insert(row->name).second) << row->name;
        types.insert(static_cast<int>(row->number));
    }
    EXPECT_EQ(rows, 145);
    for (int t = 0; t <= 139; t++) EXPECT_EQ(types.count(t), t == 113 ? 0u : 1u) << t;
    EXPECT_EQ(types.count(QZ_EFFECT_RANDOM), 1u);
    EXPECT_EQ(types.count(-1), 1u);
    auto value = [](const char* name) {
        for (const qzConstantRow* row = kEffectTypeConstants; row->name; row++)
            if (!strcmp(row->name, name)) return static_cast<int>(row->number);
        return -99;
    };
    const struct {
        const char* name;
        int type;
    } kCases[] = {{"SCROLLLEFT", 47},        {"SCROLLWEST", 47},  {"SCROLLSOUTH", 50},   {"BARS", 28},
                  {"DISSOLVE", 139},         {"SUN", 114},        {"RANDOMEFFECT", 140}, {"RANDOMPARAMETER", -1},
                  {"RECTBACKNORTHWEST", 96}, {"CARDBOTTOM", 112}, {"HLOWFLIPCOIN", 127}};
    for (const auto& c : kCases) EXPECT_EQ(value(c.name), c.type) << c.name;
}

TEST(EffectTypes, ClassesAndHiddenSwap) {
    int unsafe = 0, opacity = 0, rendered = 0;
    for (int t = 0; t <= 139; t++) {
        unsafe += !IsEffectLayerSafe(t);
        opacity += EffectDrivesOpacity(t);
        rendered += IsEffectFrameRendered(t);
    }
    EXPECT_EQ(unsafe, 29);
    EXPECT_EQ(opacity, 8);
    EXPECT_EQ(rendered, 27 + 4 + 8 + 2 + 26);
    const int kUnsafe[] = {74, 81, 101, 104, 111, 112, 118, 131, 133};
    for (int t : kUnsafe) EXPECT_EQ(IsEffectLayerSafe(t), 0) << t;
    const int kSafe[] = {0, 73, 82, 100, 105, 110, 114, 117, 132, 134, 139};
    for (int t : kSafe) EXPECT_EQ(IsEffectLayerSafe(t), 1) << t;

    const int kSwap[][2] = {{24, 25}, {25, 24}, {26, 27}, {27, 26}, {30, 31}, {31, 30}, {32, 33}, {33, 32},
                            {38, 88}, {46, 96}, {88, 38}, {96, 46}, {28, 28}, {29, 29}, {47, 47}, {97, 97}};
    for (const auto& s : kSwap) EXPECT_EQ(HiddenEffectType(s[0]), s[1]) << s[0];
    EXPECT_TRUE(IsScrollEffect(47) && IsScrollEffect(54) && !IsScrollEffect(46) && !IsScrollEffect(55));
}

TEST(EffectTypes, OldImageByTypeAndPath) {
    const struct {
        int type, direct, layered;
    } kCases[] = {{0, 0, 0},   {55, 1, 0},  {73, 1, 0},  {74, 1, 1},  {75, 0, 1},  {77, 0, 1},
                  {78, 1, 1},  {82, 0, 0},  {84, 1, 0},  {97, 1, 0},  {101, 1, 1}, {105, 0, 0},
                  {114, 1, 0}, {115, 1, 1}, {116, 1, 0}, {133, 1, 1}, {132, 1, 0}, {139, 1, 0}};
    for (const auto& c : kCases) {
        EXPECT_EQ(EffectNeedsOldImage(c.type, 0), c.direct) << c.type;
        EXPECT_EQ(EffectNeedsOldImage(c.type, 1), c.layered) << c.type;
    }
}

TEST(EffectTypes, UnknownTypesHaveNoRoutine) {
    const int kTypes[] = {113, 140, 141, -1, 1000};
    for (int t : kTypes) {
        qzEffectStepFn step = reinterpret_cast<qzEffectStepFn>(1);
        qzEffectFreeFn freeState = reinterpret_cast<qzEffectFreeFn>(1);
        GetEffectRoutines(t, &step, &freeState);
        EXPECT_EQ(step, nullptr) << t;
        EXPECT_EQ(freeState, nullptr) << t;
    }
}

TEST(EffectTypes, RandomPickCoversItsClassOnly) {
    for (int layerSafe = 0; layerSafe <= 1; layerSafe++) {
        std::set<int> seen;
        for (int i = 0; i < 20000; i++) {
            const int t = PickRandomEffect(layerSafe);
            ASSERT_TRUE(t >= 0 && t <= 139 && t != 113) << t;
            if (layerSafe) {
                ASSERT_EQ(IsEffectLayerSafe(t), 1) << t;
            }
            seen.insert(t);
        }
        EXPECT_EQ(seen.size(), layerSafe ? 110u : 139u);
    }
}

}  // namespace effect_types_test
