// Position constants resolved against a container.
#include <gtest/gtest.h>

#include "gfx/position.h"

namespace position_test {

namespace {

TEST(Position, ConstantsWithOffsets) {
    const struct {
        int32_t value;
        bool vertical;
        int32_t expected;
    } rows[] = {
        {-100000, false, 40}, {-99990, false, 50},     {-95000, false, -95000}, {-90000, false, 0},
        {-80000, false, 80},  {-79999, false, 81},     {-50000, false, -20},    {-40000, false, 100},
        {-70000, true, 0},    {-60000, true, 40},      {-30000, true, -10},     {-20000, true, 50},
        {-100000, true, 20},  {-70000, false, -70000}, {-90000, true, -90000},  {12, false, 12},
    };
    for (const auto& r : rows) {
        int32_t got = r.vertical ? ResolveYPosition(r.value, 10, 50, 0.0) : ResolveXPosition(r.value, 20, 100, 0.0);
        EXPECT_EQ(got, r.expected) << r.value << (r.vertical ? " y" : " x");
    }
    EXPECT_EQ(ResolveXPosition(-100000, 20, 100, 0.5, 7), 40 + 7 + 10);
}

}  // namespace

}  // namespace position_test
