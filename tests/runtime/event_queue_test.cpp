#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/os_alloc.h"
#include "runtime/event_queue.h"
#include "support/manual_clock.h"

namespace event_queue_test {

namespace {

std::atomic<int> gFreedData{0};

void CountingFree(VmState*, int, void* userdata) {
    gFreedData.fetch_add(1);
    OsFree(userdata);
}

qzDisplay* const kScaledDisplay = reinterpret_cast<qzDisplay*>(0x5CA1ED);
qzDisplay* const kPlainDisplay = reinterpret_cast<qzDisplay*>(0x1000);

int BlocksSize(qzDisplay* display) { return display == kScaledDisplay ? 1 : 0; }

class EventQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        gFreedData.store(0);
        qzEventQueueHooks hooks = {BlocksSize, CountingFree};
        SetEventQueueHooks(&hooks);
        ASSERT_EQ(InitEventQueue(), 0);
        SetEventLifetime(60000);
    }
    void TearDown() override {
        FreeEventQueue(nullptr);
        SetEventQueueHooks(nullptr);
    }

    static std::vector<int32_t> Types() {
        std::vector<int32_t> types;
        qzMutexLock lock(GetEventQueueMutex());
        qzPeekedEvent ev;
        for (int i = 0; PeekQueuedEvent(nullptr, i, &ev, 0) == i + 1; i++) types.push_back(ev.type);
        return types;
    }
};

TEST_F(EventQueueTest, NewestSizeEventSupersedesAndScaledDisplaysRefuseThem) {
    EXPECT_EQ(PushEventToQueue(kPlainDisplay, 5, 0, 0, 0, nullptr), 1);
    EXPECT_EQ(PushEventToQueue(kPlainDisplay, 7, 0, 0, 0, nullptr), 1);
    EXPECT_EQ(PushEventToQueue(kPlainDisplay, 5, 0, 0, 0, nullptr), 1);
    EXPECT_EQ(Types(), (std::vector<int32_t>{0, 7, 5}));

    // A refused size event leaves the queued one in force.
    EXPECT_EQ(PushEventToQueue(kScaledDisplay, 5, 0, 0, 0, nullptr), 0);
    EXPECT_EQ(Types(), (std::vector<int32_t>{0, 7, 5}));
}

int FailAll(size_t) { return 1; }

// A post that runs out of memory loses only itself: the queued size event stays in force.
TEST_F(EventQueueTest, OutOfMemoryPostLeavesTheQueueUnchanged) {
    ASSERT_EQ(PushEventToQueue(kPlainDisplay, 5, 1, 2, 3, nullptr), 1);
    OsSetAllocFailHook(FailAll);
    int result = PushEventToQueue(kPlainDisplay, 5, 4, 5, 6, nullptr);
    OsSetAllocFailHook(nullptr);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(Types(), (std::vector<int32_t>{5}));
    EXPECT_EQ(PushEventToQueue(kPlainDisplay, 7, 0, 0, 0, nullptr), 1);
    EXPECT_EQ(Types(), (std::vector<int32_t>{5, 7}));
}

TEST_F(EventQueueTest, PeekDeliversTheParametersOfEachType) {
    struct Case {
        int32_t type;
        int32_t params[3];
        int32_t extra1, extra2;
    };
    const Case cases[] = {
        {1, {11, 12, 13}, 0, 0}, {2, {11, 12, 13}, 0, 0}, {16, {11, 12, 13}, 0, 0},
        {3, {11, 0, 0}, 12, 13}, {14, {11, 12, 0}, 0, 0}, {22, {11, 12, 0}, 0, 0},
        {26, {0, 0, 13}, 0, 0},  {7, {0, 0, 0}, 0, 0},    {40, {0, 0, 0}, 0, 0},
    };
    for (const Case& c : cases) ASSERT_EQ(PushEventToQueue(kPlainDisplay, c.type, 11, 12, 13, nullptr), 1);

    qzMutexLock lock(GetEventQueueMutex());
    int index = 0;
    for (const Case& c : cases) {
        qzPeekedEvent ev;
        ASSERT_EQ(PeekQueuedEvent(nullptr, index, &ev, 0), index + 1);
        EXPECT_EQ(ev.type, c.type);
        EXPECT_EQ(ev.display, kPlainDisplay);
        for (int i = 0; i < 3; i++) EXPECT_EQ(ev.params[i], c.params[i]) << "type " << c.type << " param " << i;
        EXPECT_EQ(ev.extra1, c.extra1) << c.type;
        EXPECT_EQ(ev.extra2, c.extra2) << c.type;
        index++;
    }
    qzPeekedEvent ev;
    EXPECT_EQ(PeekQueuedEvent(nullptr, index, &ev, 0), 0);
    EXPECT_EQ(PeekQueuedEvent(nullptr, -1, &ev, 0), 0);
}

TEST_F(EventQueueTest, DropCountsAndDataOwnership) {
    for (int i = 0; i < 4; i++) ASSERT_EQ(PushEventToQueue(nullptr, 1, i, 0, 0, OsAlloc(8, 1)), 1);

    // Taking the first event's data hands it to the caller: dropping must not release it.
    void* taken;
    {
        qzMutexLock lock(GetEventQueueMutex());
        qzPeekedEvent ev;
        ASSERT_EQ(PeekQueuedEvent(nullptr, 0, &ev, 1), 1);
        taken = ev.userdata;
        ASSERT_NE(taken, nullptr);
        DropQueuedEvents(nullptr, 0, 0);  // count 0 drops exactly one
    }
    EXPECT_EQ(gFreedData.load(), 0);
    OsFree(taken);
    EXPECT_EQ(Types().size(), 3u);

    DropQueuedEvents(nullptr, 1, 1);  // two more, data released
    EXPECT_EQ(gFreedData.load(), 2);
    EXPECT_EQ(Types().size(), 1u);

    DropQueuedEvents(nullptr, 10, 1);  // more than there are
    EXPECT_EQ(gFreedData.load(), 3);
    EXPECT_TRUE(Types().empty());

    for (int i = 0; i < 3; i++) ASSERT_EQ(PushEventToQueue(nullptr, 2, i, 0, 0, nullptr), 1);
    DropQueuedEvents(nullptr, -2, 1);
    EXPECT_TRUE(Types().empty());
    // The queue works again after being emptied (the tail was reset).
    ASSERT_EQ(PushEventToQueue(nullptr, 14, 0, 0, 0, nullptr), 1);
    ASSERT_EQ(PushEventToQueue(nullptr, 22, 0, 0, 0, nullptr), 1);
    EXPECT_EQ(Types(), (std::vector<int32_t>{14, 22}));
}

TEST_F(EventQueueTest, ExpiryDropsOnlyTheLeadingRunOfOldEvents) {
    ManualClock clock;
    ASSERT_EQ(PushEventToQueue(nullptr, 1, 0, 0, 0, OsAlloc(4, 0)), 1);  // will be 61 s old
    clock.AdvanceMs(2000);
    ASSERT_EQ(PushEventToQueue(nullptr, 2, 0, 0, 0, nullptr), 1);  // 59 s old
    clock.AdvanceMs(500);
    ASSERT_EQ(PushEventToQueue(nullptr, 3, 0, 0, 0, nullptr), 1);  // 58.5 s old
    clock.AdvanceMs(58500);

    ExpireQueuedEvents(nullptr);
    EXPECT_EQ(Types(), (std::vector<int32_t>{2, 3}));
    EXPECT_EQ(gFreedData.load(), 1);

    // Exactly the lifetime is not yet too old.
    clock.AdvanceMs(1000);
    ExpireQueuedEvents(nullptr);
    EXPECT_EQ(Types(), (std::vector<int32_t>{2, 3}));

    SetEventLifetime(100);
    ExpireQueuedEvents(nullptr);
    EXPECT_TRUE(Types().empty());
}

TEST_F(EventQueueTest, ForgetDisplayDetachesOnlyThatDisplay) {
    qzDisplay* other = reinterpret_cast<qzDisplay*>(0x2000);
    PushEventToQueue(kPlainDisplay, 1, 0, 0, 0, nullptr);
    PushEventToQueue(other, 1, 0, 0, 0, nullptr);
    PushEventToQueue(kPlainDisplay, 1, 0, 0, 0, nullptr);
    ForgetDisplayEvents(kPlainDisplay);

    qzMutexLock lock(GetEventQueueMutex());
    qzPeekedEvent ev;
    qzDisplay* expected[] = {nullptr, other, nullptr};
    for (int i = 0; i < 3; i++) {
        ASSERT_EQ(PeekQueuedEvent(nullptr, i, &ev, 0), i + 1);
        EXPECT_EQ(ev.display, expected[i]) << i;
    }
}

TEST_F(EventQueueTest, ShutdownDrainsReleasesDataAndRefusesLaterPosts) {
    PushEventToQueue(nullptr, 1, 0, 0, 0, OsAlloc(16, 0));
    PushEventToQueue(nullptr, 2, 0, 0, 0, OsAlloc(16, 0));
    FreeEventQueue(nullptr);
    EXPECT_EQ(gFreedData.load(), 2);
    EXPECT_EQ(PushEventToQueue(nullptr, 1, 0, 0, 0, nullptr), 0);
    EXPECT_TRUE(Types().empty());
}

// Several threads post while the main thread takes events one by one: every event arrives
// exactly once and each producer's events keep their order.
TEST_F(EventQueueTest, ConcurrentPostersLoseAndDuplicateNothing) {
    constexpr int kProducers = 4;
    constexpr int kPerProducer = 5000;
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; p++) {
        producers.emplace_back([p] {
            for (int i = 0; i < kPerProducer; i++) {
                void* data = (i % 3 == 0) ? OsAlloc(8, 1) : nullptr;
                ASSERT_EQ(PushEventToQueue(nullptr, 1, p, i, 0, data), 1);
            }
        });
    }

    int next[kProducers] = {};
    int received = 0;
    int takenData = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (received < kProducers * kPerProducer && std::chrono::steady_clock::now() < deadline) {
        qzMutexLock lock(GetEventQueueMutex());
        qzPeekedEvent ev;
        if (PeekQueuedEvent(nullptr, 0, &ev, received % 2) == 0) continue;
        ASSERT_GE(ev.params[0], 0);
        ASSERT_LT(ev.params[0], kProducers);
        ASSERT_EQ(ev.params[1], next[ev.params[0]]) << "producer " << ev.params[0];
        next[ev.params[0]]++;
        if (received % 2 && ev.userdata) {
            OsFree(ev.userdata);
            takenData++;
        }
        DropQueuedEvents(nullptr, 0, 0);
        received++;
    }
    for (auto& t : producers) t.join();
    EXPECT_EQ(received, kProducers * kPerProducer);
    for (int p = 0; p < kProducers; p++) EXPECT_EQ(next[p], kPerProducer);
    EXPECT_TRUE(Types().empty());
    int withData = kProducers * ((kPerProducer + 2) / 3);
    EXPECT_EQ(takenData + gFreedData.load(), withData);
}

}  // namespace

}  // namespace event_queue_test
