// Script timers on a hand-driven clock, and Wait on the real clock through the timer service.
#include <chrono>

#include "base/error_codes.h"
#include "libs/system_test_util.h"
#include "platform/os_timer.h"
#include "support/manual_clock.h"

namespace system_timer_test {

using namespace systest;

namespace {

class SystemTimerTest : public LibFixture {
protected:
    double Timer(double id) { return CallNumber("GetTimer", {id}); }
    int Do(const char* command, double id) { return Call(command, {id}); }
};

TEST_F(SystemTimerTest, ArithmeticAcrossPauseResumeAndReset) {
    ManualClock clock;
    ASSERT_EQ(Do("StartTimer", 1), 0);
    clock.AdvanceMs(100);
    EXPECT_EQ(Timer(1), 100);
    ASSERT_EQ(Do("PauseTimer", 1), 0);
    clock.AdvanceMs(50);
    EXPECT_EQ(Timer(1), 100);
    ASSERT_EQ(Do("PauseTimer", 1), 0);  // pausing twice keeps the value
    clock.AdvanceMs(5);
    ASSERT_EQ(Do("ResumeTimer", 1), 0);
    clock.AdvanceUs(30999);
    EXPECT_EQ(Timer(1), 130);
    ASSERT_EQ(Do("ResumeTimer", 1), 0);  // resuming a running timer changes nothing
    EXPECT_EQ(Timer(1), 130);
    ASSERT_EQ(Call("ResetTimer", {1, 2500}), 0);
    clock.AdvanceMs(10);
    EXPECT_EQ(Timer(1), 2510);
    ASSERT_EQ(Do("StartTimer", 1), 0);  // restarts at 0
    EXPECT_EQ(Timer(1), 0);

    // A paused timer cannot be waited for; a reached value returns at once and restarts it.
    clock.AdvanceMs(40);
    EXPECT_EQ(Call("WaitTimer", {1, 20}), 0);
    EXPECT_EQ(Timer(1), 0);
    clock.AdvanceMs(40);
    EXPECT_EQ(Call("WaitTimer", {1, 20, 0}), 0);
    EXPECT_EQ(Timer(1), 40);
    ASSERT_EQ(Do("PauseTimer", 1), 0);
    EXPECT_EQ(Call("WaitTimer", {1, 100}), ERR_WRONGUSAGE);
}

TEST_F(SystemTimerTest, IdentifiersAndErrors) {
    ManualClock clock;
    ASSERT_EQ(Call("StartTimer", {Nil{}}), 0);
    ASSERT_EQ(VmType(L, 1), VM_TLIGHTUSERDATA);
    clock.AdvanceMs(7);
    EXPECT_EQ(CallNumber("GetTimer", {V(1)}), 7);
    EXPECT_EQ(CallNumber("GetObjectType", {V(1)}), QZ_TYPE_TIMER);
    ASSERT_EQ(Call("StopTimer", {V(1)}), 0);
    EXPECT_EQ(Call("GetTimer", {V(1)}), ERR_FINDARRAY);
    EXPECT_EQ(Do("GetTimer", 9), ERR_FINDTIMER);
    EXPECT_EQ(Do("StopTimer", 9), ERR_FINDTIMER);
}

TEST_F(SystemTimerTest, WaitUsesTicksAndUnits) {
    ASSERT_EQ(OsInitTimerLock(), 0);
    using Clock = std::chrono::steady_clock;
    struct Case {
        double time;
        double unit;  // -1: default (ticks)
        int minMs;
    };
    const Case cases[] = {{0, -1, 0}, {-3, 0, 0}, {5, -1, 100}, {30, 1, 30}};
    for (const Case& c : cases) {
        auto start = Clock::now();
        ASSERT_EQ(Call("Wait", c.unit >= 0 ? std::vector<Arg>{c.time, c.unit} : std::vector<Arg>{c.time}), 0);
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        EXPECT_GE(ms, c.minMs) << c.time;
        EXPECT_LT(ms, c.minMs + 1000) << c.time;
    }
    EXPECT_EQ(Call("Wait", {1, 7}), ERR_WRONGUSAGE);
    OsCleanupTimers();
}

}  // namespace

}  // namespace system_timer_test
