// The timer thread's pass over the deadline list at each failing allocation: it never throws
// (an exception would end the process from the thread), and a due timer it had no memory for
// fires in the next pass, once.
#include <gtest/gtest.h>

#include <new>

#include "oom/alloc_faults.h"
#include "platform/host/host.h"
#include "platform/os_timer.h"
#include "support/headless_start.h"
#include "support/manual_clock.h"

namespace failing_timer_test {

namespace {

void IgnoreWake() {}

TEST(FailingAllocation, TimerPassesNeverThrowAndLoseNoTimer) {
    ManualClock clock;
    ASSERT_EQ(OsInitTimerLock(), 0);
    qzTimerHooks hooks = {};
    hooks.wakeMainThread = IgnoreWake;
    OsSetTimerHooks(&hooks);
    const qzObjectId id = {1, nullptr};
    ASSERT_EQ(OsTimerOp(QZ_TIMEROP_CREATE_TIMEOUT, &id, 0), 0);
    uint64_t count = ForEachFailingAllocation(
        [&] {
            try {
                OsTimerLoopRunDue();
            } catch (...) {
                ADD_FAILURE() << "a pass let an exception out";
            }
        },
        [&](uint64_t n) {
            OsTimerLoopRunDue();
            int kind = QZ_TIMER_NONE_FIRED;
            qzObjectId fired{};
            EXPECT_EQ(OsNextFiredTimer(nullptr, &kind, &fired), nullptr) << n;
            EXPECT_EQ(kind, QZ_TIMER_TIMEOUT) << n;
            EXPECT_EQ(fired.number, 1) << n;
            ASSERT_EQ(OsTimerOp(QZ_TIMEROP_CREATE_TIMEOUT, &id, 0), 0) << n;
        });
    EXPECT_GT(count, 0u);
    OsFreeAllTimers();
    OsSetTimerHooks(nullptr);
}

// Timer threads wake the main thread through the driver: with no memory left that wake neither
// throws (which would end the process from the thread) nor goes missing, and it comes once.
TEST(FailingAllocation, AWakeNeedsNoMemory) {
    ASSERT_TRUE(qztest::StartHeadlessDriver(false));
    qzHostEvent event;
    while (HostDriver()->pollEvent(&event)) {
    }
    {
        AllocFaultScope scope(QZ_ALLOC_FAULT_FROM, 1);
        try {
            HostDriver()->pushWake();
            HostDriver()->pushWake();
        } catch (...) {
            ADD_FAILURE() << "a wake let an exception out";
        }
    }
    EXPECT_EQ(HostDriver()->pendingEvents(), 1);
    ASSERT_EQ(HostDriver()->pollEvent(&event), 1);
    EXPECT_EQ(event.kind, QZ_HEV_WAKE);
    EXPECT_EQ(HostDriver()->pollEvent(&event), 0);
    HostStopDriver();
}

}  // namespace

}  // namespace failing_timer_test
