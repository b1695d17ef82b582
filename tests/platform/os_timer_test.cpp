#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "base/error_codes.h"
#include "platform/os_alloc.h"
#include "platform/os_time.h"
#include "platform/os_timer.h"
#include "support/manual_clock.h"

namespace os_timer_test {

namespace {

using namespace std::chrono_literals;

std::atomic<int> gWakes{0};
std::atomic<int> gActivity{0};

void CountWake() { gWakes.fetch_add(1); }

void CountActivity() { gActivity.fetch_add(1); }

template <typename F>
bool WaitFor(F cond, std::chrono::milliseconds limit = 5000ms) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Fails the n-th allocation from now on (1 = the next one).
std::atomic<int> gAllocCountdown{0};
int FailCountdown(size_t) { return gAllocCountdown.fetch_sub(1) == 1 ? 1 : 0; }

qzObjectId Id(int32_t n) { return qzObjectId{n, nullptr}; }

struct Fired {
    int kind;
    int32_t number;
    bool operator==(const Fired& o) const { return kind == o.kind && number == o.number; }
};

class OsTimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        gWakes.store(0);
        gActivity.store(0);
        ASSERT_EQ(OsInitTimerLock(), 0);
        qzTimerHooks hooks = {};
        hooks.wakeMainThread = CountWake;
        hooks.reportUserActivity = CountActivity;
        OsSetTimerHooks(&hooks);
    }
    void TearDown() override {
        OsStopTimerThread();
        OsFreeAllTimers();
        OsSetAllocFailHook(nullptr);
        OsSetTimerHooks(nullptr);
        OsSetTimerKeepAwake(0);
    }

    // One full dispatcher round over the list, the way the event dispatcher walks it.
    std::vector<Fired> CollectRound() {
        std::vector<Fired> fired;
        qzOsTimer* cursor = nullptr;
        do {
            int kind;
            qzObjectId id{};
            cursor = OsNextFiredTimer(cursor, &kind, &id);
            if (kind != QZ_TIMER_NONE_FIRED) fired.push_back({kind, id.number});
        } while (cursor);
        return fired;
    }
};

TEST_F(OsTimerTest, TimeoutFiresOnceAndIsGoneAfterCollection) {
    ManualClock clock;
    qzObjectId a = Id(1), b = Id(2);
    ASSERT_EQ(OsTimerOp(QZ_TIMEROP_CREATE_TIMEOUT, &a, 0), 0);
    ASSERT_EQ(OsTimerOp(QZ_TIMEROP_CREATE_TIMEOUT, &b, 500), 0);

    OsTimerLoopRunDue();
    EXPECT_EQ(gWakes.load(), 1);
    EXPECT_EQ(CollectRound(), (std::vector<Fired>{{QZ_TIMER_TIMEOUT, 1}}));
    EXPECT_EQ(OsFindTimer(QZ_TIMER_TIMEOUT, &a, nullptr), nullptr);

    clock.AdvanceMs(499);
    OsTimerLoopRunDue();
    EXPECT_TRUE(CollectRound().empty());
    clock.AdvanceMs(1);
    OsTimerLoopRunDue();
    clock.AdvanceMs(5000);
    OsTimerLoopRunDue();  // a one-shot timer never fires twice
    EXPECT_EQ(CollectRound(), (std::vector<Fired>{{QZ_TIMER_TIMEOUT, 2}}));
    EXPECT_TRUE(CollectRound().empty());
    int kind;
    qzObjectId id;
    EXPECT_EQ(OsNextFiredTimer(nullptr, &kind, &id), nullptr);  // empty list
    EXPECT_EQ(kind, QZ_TIMER_NONE_FIRED);
}

TEST_F(OsTimerTest, IntervalRepeatsMergesUncollectedFiringsAndSkipsMissedRepeats) {
    ManualClock clock;
    qzObjectId a = Id(7);
    ASSERT_EQ(OsTimerOp(QZ_TIMEROP_CREATE_INTERVAL, &a, 100), 0);

    clock.AdvanceMs(100);
    OsTimerLoopRunDue();
    clock.AdvanceMs(100);
    OsTimerLoopRunDue();
    EXPECT_EQ(gWakes.load(), 2);
    // Two firings before collection are served by one.
    EXPECT_EQ(CollectRound(), (std::vector<Fired>{{QZ_TIMER_INTERVAL, 7}}));
    EXPECT_TRUE(CollectRound().empty());
    EXPECT_NE(OsFindTimer(QZ_TIMER_INTERVAL, &a, nullptr), nullptr);

    // Late by 8.5 periods: one firing, and the schedule stays on its grid (next at +100 ms).
    clock.AdvanceMs(950);
    OsTimerLoopRunDue();
    EXPECT_EQ(gWakes.load(), 3);
    clock.AdvanceMs(49);
    OsTimerLoopRunDue();
    EXPECT_EQ(gWakes.load(), 3);
    clock.AdvanceMs(1);
    OsTimerLoopRunDue();
    EXPECT_EQ(gWakes.load(), 4);

    ASSERT_EQ(OsTimerOp(QZ_TIMEROP_DELETE_TIMEOUT, &a, 0), 0);  // wrong kind: stays
    EXPECT_NE(OsFindTimer(QZ_TIMER_INTERVAL, &a, nullptr), nullptr);
    ASSERT_EQ(OsTimerOp(QZ_TIMEROP_DELETE_INTERVAL, &a, 0), 0);
    EXPECT_EQ(OsFindTimer(QZ_TIMER_INTERVAL, &a, nullptr), nullptr);
    clock.AdvanceMs(1000);
    OsTimerLoopRunDue();
    EXPECT_EQ(gWakes.load(), 4);
    EXPECT_EQ(OsTimerOp(99, &a, 10), 0);
}

TEST_F(OsTimerTest, EachCallExaminesOneRecordAndTheCursorSurvivesDeletion) {
    ManualClock clock;
    qzObjectId ids[3] = {Id(1), Id(2), Id(3)};
    for (auto& id : ids) ASSERT_EQ(OsTimerOp(QZ_TIMEROP_CREATE_INTERVAL, &id, 10), 0);
    clock.AdvanceMs(10);
    OsTimerLoopRunDue();

    int kind;
    qzObjectId id{};
    qzOsTimer* first = OsFindTimer(QZ_TIMER_INTERVAL, &ids[0], nullptr);
    qzOsTimer* cursor = OsNextFiredTimer(nullptr, &kind, &id);
    EXPECT_EQ(kind, QZ_TIMER_INTERVAL);
    EXPECT_EQ(id.number, 1);
    EXPECT_EQ(cursor, first->next);

    // Deleting the record under the cursor moves the cursor to its successor first.
    qzOsTimer* successor = nullptr;
    ASSERT_EQ(OsFindTimer(QZ_TIMER_INTERVAL, &ids[1], &successor), cursor);
    cursor = successor;
    ASSERT_EQ(OsTimerOp(QZ_TIMEROP_DELETE_INTERVAL, &ids[1], 0), 0);
    cursor = OsNextFiredTimer(cursor, &kind, &id);
    EXPECT_EQ(kind, QZ_TIMER_INTERVAL);
    EXPECT_EQ(id.number, 3);
    EXPECT_EQ(cursor, nullptr);

    // Nothing fired: kind 9, and the cursor still advances.
    cursor = OsNextFiredTimer(nullptr, &kind, &id);
    EXPECT_EQ(kind, QZ_TIMER_NONE_FIRED);
    EXPECT_EQ(cursor, OsFindTimer(QZ_TIMER_INTERVAL, &ids[2], nullptr));

    // A cursor whose record is gone restarts at the head instead of being followed.
    qzOsTimer* stale = cursor;
    ASSERT_EQ(OsTimerOp(QZ_TIMEROP_DELETE_INTERVAL, &ids[2], 0), 0);
    clock.AdvanceMs(10);
    OsTimerLoopRunDue();
    cursor = OsNextFiredTimer(stale, &kind, &id);
    EXPECT_EQ(kind, QZ_TIMER_INTERVAL);
    EXPECT_EQ(id.number, 1);
    EXPECT_EQ(cursor, nullptr);
}

TEST_F(OsTimerTest, ChangingThePeriod) {
    ManualClock clock;
    qzObjectId a = Id(4), unknown = Id(5);
    ASSERT_EQ(OsTimerOp(QZ_TIMEROP_CREATE_INTERVAL, &a, 100), 0);

    EXPECT_EQ(OsTimerOp(QZ_TIMEROP_CHANGE_PERIOD, &unknown, 10), 0);
    EXPECT_EQ(OsFindTimer(QZ_TIMER_INTERVAL, &unknown, nullptr), nullptr);

    // A failed change keeps the old timer in force.
    gAllocCountdown.store(1);
    OsSetAllocFailHook(FailCountdown);
    EXPECT_EQ(OsTimerOp(QZ_TIMEROP_CHANGE_PERIOD, &a, 1000), ERR_TIMER);
    OsSetAllocFailHook(nullptr);
    clock.AdvanceMs(100);
    OsTimerLoopRunDue();
    EXPECT_EQ(gWakes.load(), 1);

    // The new period counts from the change.
    ASSERT_EQ(OsTimerOp(QZ_TIMEROP_CHANGE_PERIOD, &a, 300), 0);
    clock.AdvanceMs(299);
    OsTimerLoopRunDue();
    EXPECT_EQ(gWakes.load(), 1);
    clock.AdvanceMs(1);
    OsTimerLoopRunDue();
    EXPECT_EQ(gWakes.load(), 2);
    clock.AdvanceMs(300);
    OsTimerLoopRunDue();
    EXPECT_EQ(gWakes.load(), 3);
}

TEST_F(OsTimerTest, CreationFailuresLeaveNothingBehind) {
    qzObjectId a = Id(1);
    OsSetAllocFailHook(FailCountdown);
    gAllocCountdown.store(1);  // the record
    EXPECT_EQ(OsTimerOp(QZ_TIMEROP_CREATE_INTERVAL, &a, 10), ERR_MEM);
    gAllocCountdown.store(2);  // the timer
    EXPECT_EQ(OsTimerOp(QZ_TIMEROP_CREATE_TIMEOUT, &a, 10), ERR_TIMER);
    OsSetAllocFailHook(nullptr);
    int kind;
    qzObjectId id;
    EXPECT_EQ(OsNextFiredTimer(nullptr, &kind, &id), nullptr);
    EXPECT_EQ(OsFindTimer(QZ_TIMER_TIMEOUT, &a, nullptr), nullptr);
}

TEST_F(OsTimerTest, SharedTickServesTwoClientsWithOneInterval) {
    const qzObjectId tick = {0, reinterpret_cast<void*>(1)};
    ASSERT_EQ(OsStartSharedTick(nullptr, 0), 0);
    qzOsTimer* record = OsFindTimer(QZ_TIMER_INTERVAL, &tick, nullptr);
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(OsStartSharedTick(nullptr, 1), 0);
    EXPECT_EQ(OsFindTimer(QZ_TIMER_INTERVAL, &tick, nullptr), record);
    EXPECT_EQ(record->next, nullptr);  // still only one record

    ASSERT_EQ(OsStopSharedTick(nullptr, 0), 0);
    EXPECT_EQ(OsFindTimer(QZ_TIMER_INTERVAL, &tick, nullptr), record);
    ASSERT_EQ(OsStopSharedTick(nullptr, 1), 0);
    EXPECT_EQ(OsFindTimer(QZ_TIMER_INTERVAL, &tick, nullptr), nullptr);
}

namespace {
std::atomic<int> gPumpCalls{0};
int gPumpResult = 0;
int gPumpError = 0;
int gWaitError = 0;

int StubPump(VmState*, int flags, int* error) {
    EXPECT_EQ(flags, 2);
    gPumpCalls.fetch_add(1);
    *error = gPumpError;
    return gPumpResult;
}

int StubWait(VmState*, int flag) {
    EXPECT_EQ(flag, 1);
    std::this_thread::sleep_for(1ms);
    return gWaitError;
}
}  // namespace

TEST_F(OsTimerTest, WaitPumpingEventsResults) {
    qzTimerHooks hooks = {};
    hooks.pumpEvents = StubPump;
    hooks.waitForEvents = StubWait;
    OsSetTimerHooks(&hooks);

    struct Case {
        int32_t ms;
        int waitError, pumpResult, pumpError;
        int expected;
        bool pumped;
    };
    const Case cases[] = {
        {0, 0, 1, 0, 0, false},
        {-20, 0, 1, 0, 0, false},
        {10000, 0, 1, 0, ERR_USERABORT, true},  // the pump asks to stop without an error
        {10000, 0, 1, 1200, 1200, true},        // the pump's error
        {10000, 1500, 0, 0, 1500, false},       // the wait's error
    };
    for (const Case& c : cases) {
        gPumpCalls.store(0);
        gWaitError = c.waitError;
        gPumpResult = c.pumpResult;
        gPumpError = c.pumpError;
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(OsWaitPumpingEvents(nullptr, c.ms), c.expected) << c.ms;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
        EXPECT_EQ(gPumpCalls.load() > 0, c.pumped) << c.ms;
    }
}

// Real time: the thread fires timers and ends the wait; no timer thread still ends the wait.
TEST_F(OsTimerTest, ThreadFiresTimersInRealTime) {
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    EXPECT_EQ(OsWaitPumpingEvents(nullptr, 30), 0);  // no thread yet
    EXPECT_GE(Clock::now() - start, 30ms);

    ASSERT_EQ(OsStartTimerThread(), 0);
    qzObjectId t = Id(1), i = Id(2);
    start = Clock::now();
    ASSERT_EQ(OsTimerOp(QZ_TIMEROP_CREATE_TIMEOUT, &t, 40), 0);
    ASSERT_EQ(OsTimerOp(QZ_TIMEROP_CREATE_INTERVAL, &i, 10), 0);
    int timeouts = 0, intervals = 0;
    ASSERT_TRUE(WaitFor([&] {
        for (const Fired& f : CollectRound()) (f.kind == QZ_TIMER_TIMEOUT ? timeouts : intervals)++;
        return timeouts == 1 && intervals >= 3;
    }));
    EXPECT_GE(Clock::now() - start, 30ms);

    start = Clock::now();
    EXPECT_EQ(OsWaitPumpingEvents(nullptr, 50), 0);
    auto took = Clock::now() - start;
    EXPECT_GE(took, 50ms);
    EXPECT_LT(took, 3s);

    OsStopTimerThread();
    EXPECT_EQ(OsFindTimer(QZ_TIMER_INTERVAL, &i, nullptr), nullptr);  // the thread freed them
}

// Timers created, re-periodded, deleted and collected on one thread while the timer thread fires
// them: no timer is used after it was released (the sanitizers watch this).
TEST_F(OsTimerTest, ChurnWhileTheThreadFires) {
    ASSERT_EQ(OsStartTimerThread(), 0);
    auto end = std::chrono::steady_clock::now() + 300ms;
    qzOsTimer* cursor = nullptr;
    int collected = 0;
    for (int round = 0; std::chrono::steady_clock::now() < end; round++) {
        qzObjectId id = Id(round % 16);
        int kind = round % 2;
        OsTimerOp(kind, &id, round % 3);
        if (round % 5 == 0) OsTimerOp(QZ_TIMEROP_CHANGE_PERIOD, &id, 1);
        if (round % 7 == 0) {
            qzOsTimer* next = nullptr;
            qzObjectId gone = Id((round / 7) % 16);
            if (OsFindTimer(QZ_TIMER_INTERVAL, &gone, &next) == cursor && cursor) cursor = next;
            OsTimerOp(QZ_TIMEROP_DELETE_INTERVAL, &gone, 0);
        }
        qzObjectId firedId;
        cursor = OsNextFiredTimer(cursor, &kind, &firedId);
        if (kind != QZ_TIMER_NONE_FIRED) collected++;
    }
    OsStopTimerThread();
    EXPECT_GT(collected, 0);
}

TEST_F(OsTimerTest, ThreadFollowsTheManualClock) {
    ManualClock clock;
    OsSetTimerKeepAwake(1);
    ASSERT_EQ(OsStartTimerThread(), 0);
    qzObjectId t = Id(9);
    ASSERT_EQ(OsTimerOp(QZ_TIMEROP_CREATE_TIMEOUT, &t, 1000), 0);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(gWakes.load(), 0);
    clock.AdvanceMs(1000);
    ASSERT_TRUE(WaitFor([] { return gWakes.load() == 1; }));
    EXPECT_EQ(CollectRound(), (std::vector<Fired>{{QZ_TIMER_TIMEOUT, 9}}));

    // The keep-alive timer reports activity every 30 s while the keep-awake word is set.
    EXPECT_EQ(gActivity.load(), 0);
    clock.AdvanceMs(29000);
    ASSERT_TRUE(WaitFor([] { return gActivity.load() == 1; }));
    OsSetTimerKeepAwake(0);
    clock.AdvanceMs(30000);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(gActivity.load(), 1);
    OsStopTimerThread();
}

}  // namespace

}  // namespace os_timer_test
