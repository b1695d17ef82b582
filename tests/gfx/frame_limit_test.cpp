// The frame limiter on a hand-driven clock: how long it waits for each elapsed time since the last
// frame, at the limit that SetFPSLimit sets.
#include <gtest/gtest.h>

#include <vector>

#include "gfx/frame_limit.h"
#include "support/manual_clock.h"

namespace frame_limit_test {

namespace {

ManualClock* handClock = nullptr;
std::vector<int32_t> waits;

// The wait passes the time on the clock.
int Wait(void*, int32_t ms) {
    waits.push_back(ms);
    handClock->AdvanceMs((uint64_t)ms);
    return 0;
}

int StopAtOnce(void*, int32_t) { return 1234; }

qzTimeVal Now() {
    qzTimeVal t;
    OsGetMonotonicTime(&t);
    return t;
}

}  // namespace

TEST(FrameLimit, WaitsTheRestOfTheFrameInWholeMilliseconds) {
    ManualClock manual;
    handClock = &manual;
    const struct {
        int32_t fps;
        uint64_t elapsedUs;
        int32_t wait;  // -1: no wait at all
    } rows[] = {
        {60, 0, 16},                    // 16666 us a frame
        {60, 5000, 11},                 // (16666 - 5000) / 1000
        {60, 16000, 0},                 // less than a millisecond left
        {60, 16666, -1},                // the frame is over
        {60, 2000000, -1},              // more than a second: no wait
        {25, 10000, 30},   {0, 0, 16},  // 0 stands for 60
        {-5, 0, 16},       {1, 999999, 0}, {1, 1000000, -1},
    };
    for (const auto& r : rows) {
        SetFrameRateLimit(r.fps);
        qzTimeVal last = Now();
        manual.AdvanceUs(r.elapsedUs);
        waits.clear();
        EXPECT_EQ(LimitFrameRate(&last, Wait, nullptr), 0);
        EXPECT_EQ(waits, r.wait < 0 ? std::vector<int32_t>{} : std::vector<int32_t>{r.wait})
            << r.fps << " fps after " << r.elapsedUs << " us";
        // The frame time becomes the time after the wait.
        const qzTimeVal now = Now();
        EXPECT_EQ(last.seconds, now.seconds);
        EXPECT_EQ(last.microseconds, now.microseconds);
    }
    // A last frame ahead of the clock waits nothing; a wait that stops gives its code.
    SetFrameRateLimit(60);
    qzTimeVal ahead = Now();
    ahead.seconds += 5;
    waits.clear();
    EXPECT_EQ(LimitFrameRate(&ahead, Wait, nullptr), 0);
    EXPECT_TRUE(waits.empty());
    qzTimeVal last = Now();
    EXPECT_EQ(LimitFrameRate(&last, StopAtOnce, nullptr), 1234);
    EXPECT_EQ(GetFrameRateLimit(), 60);
    handClock = nullptr;
}

}  // namespace frame_limit_test
