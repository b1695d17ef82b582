#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sched.h>
#include <thread>
#include <unistd.h>

#include "platform/os_lock.h"
#include "platform/os_thread.h"

namespace os_thread_test {

namespace {

using namespace std::chrono_literals;

// Polls `cond` for up to five seconds.
template <typename F>
bool WaitFor(F cond) {
    auto end = std::chrono::steady_clock::now() + 5s;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

void* MarkRan(void* arg) {
    static_cast<std::atomic<int>*>(arg)->store(1);
    return nullptr;
}

}  // namespace

// A real-time priority must never keep a thread from starting, whether or not the process may
// use the real-time policy, and priorities beyond the system's range are clamped.
TEST(OsThread, ThreadsStartWithAnyPriority) {
    for (int priority : {0, 1, 100, 100000, -5}) {
        std::atomic<int> ran{0};
        qzThread thread = OsCreateThread(MarkRan, &ran, priority);
        ASSERT_NE(thread, qzThread(0)) << priority;
        pthread_join(thread, nullptr);
        EXPECT_EQ(ran.load(), 1) << priority;
    }
}

namespace {

void* RecordPolicy(void* arg) {
    int policy;
    sched_param param;
    pthread_getschedparam(pthread_self(), &policy, &param);
    static_cast<std::atomic<int>*>(arg)->store(policy == SCHED_RR ? param.sched_priority : -1);
    return nullptr;
}

// The policy (RR priority, or -1 for another policy) a thread created with `priority` runs with.
int PolicyOfNewThread(int priority) {
    std::atomic<int> seen{-2};
    qzThread thread = OsCreateThread(RecordPolicy, &seen, priority);
    if (thread == 0) return -3;
    pthread_join(thread, nullptr);
    return seen.load();
}

}  // namespace

// Where the process may use the real-time policy, a non-zero priority gets it (clamped); where
// it may not, the thread still starts, with the default policy.
TEST(OsThread, RealTimePolicyWhenPermittedDefaultPolicyOtherwise) {
    EXPECT_EQ(PolicyOfNewThread(0), -1);
    if (geteuid() == 0) {
        EXPECT_EQ(PolicyOfNewThread(100), sched_get_priority_max(SCHED_RR));
        EXPECT_EQ(PolicyOfNewThread(5), 5);
    }
    // Without privilege (dropped here in a child process when running as root).
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && setuid(65534) != 0) _exit(3);
            _exit(PolicyOfNewThread(100) == -1 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

namespace {

// A worker that follows the entry protocol: it counts units of work, one per signal.
struct CountingOwner {
    qzMutex* mutex;
    qzOsEvent* event;
    std::atomic<int> units{0};
    std::atomic<int> failSetup{0};
    std::atomic<int> finished{0};
};

void* CountingWorker(void* arg) {
    qzWorkerThread* worker = OsGetWorkerThread(arg);
    OsEnterWorkerThread();
    auto* owner = static_cast<CountingOwner*>(OsGetWorkerThreadData(worker));
    if (owner->failSetup.load()) {
        // Linger so that a creator that did not join would return before we end.
        std::this_thread::sleep_for(50ms);
        owner->finished.store(1);
        OsWorkerThreadDone(worker, 1287);
        return nullptr;
    }
    OsWorkerThreadStarted(worker);
    for (;;) {
        OsLockMutex(owner->mutex);
        OsWaitEvent(owner->event, owner->mutex);
        OsUnlockMutex(owner->mutex);
        if (OsWorkerThreadStopRequested(worker)) break;
        owner->units.fetch_add(1);
    }
    OsWorkerThreadWaitQuit(worker);
    owner->finished.store(1);
    OsWorkerThreadDone(worker, 0);
    return nullptr;
}

}  // namespace

TEST(OsThread, WorkerRunsUntilStoppedAndFreed) {
    CountingOwner owner;
    owner.mutex = OsAllocMutex();
    owner.event = OsAllocEvent();
    ASSERT_TRUE(owner.mutex && owner.event);

    qzWorkerThread* worker = OsCreateWorkerThread("counter", CountingWorker, &owner, 0, 200000, 100);
    ASSERT_NE(worker, nullptr);
    EXPECT_EQ(OsGetWorkerThreadData(worker), &owner);

    for (int i = 1; i <= 3; i++) {
        OsLockMutex(owner.mutex);
        OsSignalEvent(owner.event);
        OsUnlockMutex(owner.mutex);
        ASSERT_TRUE(WaitFor([&] { return owner.units.load() == i; }));
    }

    OsLockMutex(owner.mutex);
    OsRequestWorkerThreadStop(worker);
    OsSignalEvent(owner.event);
    OsUnlockMutex(owner.mutex);
    // The worker waits for the quit flag, which only OsFreeWorkerThread sets.
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(owner.finished.load(), 0);
    OsFreeWorkerThread(worker);
    EXPECT_EQ(owner.finished.load(), 1);
    EXPECT_EQ(owner.units.load(), 3);

    OsFreeEvent(owner.event);
    OsFreeMutex(owner.mutex);
}

TEST(OsThread, FailedWorkerSetupReturnsNullAfterTheThreadEnded) {
    CountingOwner owner;
    owner.failSetup.store(1);
    qzWorkerThread* worker = OsCreateWorkerThread("failing", CountingWorker, &owner, 0, 0, 0);
    EXPECT_EQ(worker, nullptr);
    EXPECT_EQ(owner.finished.load(), 1);
}

TEST(OsLock, SignalsMergeAndEachWaitConsumesOne) {
    qzMutex* mutex = OsAllocMutex();
    qzOsEvent* event = OsAllocEvent();
    ASSERT_TRUE(mutex && event);

    OsLockMutex(mutex);
    OsSignalEvent(event);
    OsSignalEvent(event);
    OsUnlockMutex(mutex);

    std::atomic<int> waits{0};
    std::thread waiter([&] {
        for (int i = 0; i < 2; i++) {
            OsLockMutex(mutex);
            OsWaitEvent(event, mutex);
            OsUnlockMutex(mutex);
            waits.fetch_add(1);
        }
    });
    ASSERT_TRUE(WaitFor([&] { return waits.load() == 1; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(waits.load(), 1) << "two merged signals released a second wait";

    OsLockMutex(mutex);
    OsSignalEvent(event);
    OsUnlockMutex(mutex);
    waiter.join();
    EXPECT_EQ(waits.load(), 2);

    OsFreeEvent(event);
    OsFreeMutex(mutex);
}

TEST(OsLock, MutexIsRecursiveAndTryLockNeverBlocks) {
    qzMutex* mutex = OsAllocMutex();
    ASSERT_NE(mutex, nullptr);

    OsLockMutex(mutex);
    EXPECT_EQ(OsTryLockMutex(mutex), 1);  // same thread: taken again
    OsLockMutex(mutex);
    int fromOther = -1;
    std::thread([&] { fromOther = OsTryLockMutex(mutex); }).join();
    EXPECT_EQ(fromOther, 0);

    OsUnlockMutex(mutex);
    OsUnlockMutex(mutex);
    std::thread([&] { fromOther = OsTryLockMutex(mutex); }).join();
    EXPECT_EQ(fromOther, 0) << "still held once";

    OsUnlockMutex(mutex);
    std::thread([&] {
        fromOther = OsTryLockMutex(mutex);
        if (fromOther) OsUnlockMutex(mutex);
    }).join();
    EXPECT_EQ(fromOther, 1);
    OsFreeMutex(mutex);
}

}  // namespace os_thread_test
