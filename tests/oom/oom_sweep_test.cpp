#include <gtest/gtest.h>
#include "oom/oom_sweep.h"
TEST(OomSweep, Placeholder) { EXPECT_EQ(SweepPoints(3, 1, 1).size(), 3u); }
