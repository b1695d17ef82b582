#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/os_alloc.h"
#include "platform/os_time.h"
#include "support/manual_clock.h"

namespace os_alloc_time_test {

TEST(OsAlloc, SizeZeroGivesNullAndClearGivesZeroes) {
    EXPECT_EQ(OsAlloc(0, 0), nullptr);
    EXPECT_EQ(OsAlloc(0, 1), nullptr);

    // Dirty a block first so that a reused block would show stale bytes if not cleared.
    auto* dirty = static_cast<unsigned char*>(OsAlloc(4096, 0));
    ASSERT_NE(dirty, nullptr);
    std::memset(dirty, 0xAB, 4096);
    OsFree(dirty);
    auto* clean = static_cast<unsigned char*>(OsAlloc(4096, 1));
    ASSERT_NE(clean, nullptr);
    for (int i = 0; i < 4096; i++) ASSERT_EQ(clean[i], 0) << "byte " << i;
    OsFree(clean);
    OsFree(nullptr);
}

TEST(OsTime, ArithmeticAndComparison) {
    struct Case {
        qzTimeVal a, b;
        qzTimeVal sum, difference;
        int cmp;
    };
    const Case cases[] = {
        {{5, 100}, {2, 200}, {7, 300}, {2, 999900}, 1},
        {{1, 600000}, {0, 500000}, {2, 100000}, {1, 100000}, 1},
        {{3, 1}, {2, 999999}, {6, 0}, {0, 2}, 1},
        {{4, 250}, {4, 250}, {8, 500}, {0, 0}, 0},
        {{2, 999999}, {3, 1}, {6, 0}, {0xFFFFFFFFu, 999998}, -1},
        {{7, 5}, {7, 6}, {14, 11}, {0xFFFFFFFFu, 999999}, -1},
    };
    for (const Case& c : cases) {
        qzTimeVal s = c.a;
        OsAddTime(&s, &c.b);
        EXPECT_EQ(s.seconds, c.sum.seconds);
        EXPECT_EQ(s.microseconds, c.sum.microseconds);
        qzTimeVal d = c.a;
        OsSubTime(&d, &c.b);
        EXPECT_EQ(d.seconds, c.difference.seconds);
        EXPECT_EQ(d.microseconds, c.difference.microseconds);
        EXPECT_EQ(OsCmpTime(&c.a, &c.b), c.cmp);
        EXPECT_EQ(OsCmpTime(&c.b, &c.a), -c.cmp);
    }
}

TEST(OsTime, WallClockIsNearTheSystemTime) {
    qzTimeVal tv;
    ASSERT_EQ(OsGetSysTime(&tv), 0);
    long long now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    EXPECT_LE(std::llabs(static_cast<long long>(tv.seconds) - now), 2);
    EXPECT_LT(tv.microseconds, 1000000u);
}

TEST(OsTime, ManualClockReplacesTheMonotonicClock) {
    {
        ManualClock clock(5 * 1000000ull + 250000);
        EXPECT_FALSE(OsClockIsSystem());
        EXPECT_EQ(OsMonotonicMicros(), 5250000u);
        clock.AdvanceMs(1800);
        qzTimeVal tv;
        OsGetMonotonicTime(&tv);
        EXPECT_EQ(tv.seconds, 7u);
        EXPECT_EQ(tv.microseconds, 50000u);
        EXPECT_DOUBLE_EQ(OsGetTimeSeconds(), 7.05);
    }
    EXPECT_TRUE(OsClockIsSystem());
    uint64_t a = OsMonotonicMicros();
    uint64_t b = OsMonotonicMicros();
    EXPECT_LE(a, b);
}

// A negative delay once slept for ever (the count turned into a huge unsigned sleep).
TEST(OsTime, DelayReturnsAtOnceForZeroAndNegativeAndSleepsOtherwise) {
    using Clock = std::chrono::steady_clock;
    for (int32_t ms : {0, -1, -2500, INT32_MIN}) {
        auto start = Clock::now();
        OsDelay(ms);
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(200)) << ms;
    }
    auto start = Clock::now();
    OsDelay(30);
    auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(30));
    EXPECT_LT(took, std::chrono::seconds(5));
}

}  // namespace os_alloc_time_test
