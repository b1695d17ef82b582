#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "base/error_codes.h"
#include "platform/os_timer.h"
#include "player/main_chunk.h"
#include "vm/vm.h"

namespace main_chunk_test {

namespace {

int gChunkRuns = 0;
bool gTimerSeen = false;

// A main chunk that needs the timer thread: its 0-ms timeout must fire while the chunk runs.
int ChunkUsingTimers(VmState*) {
    gChunkRuns++;
    qzObjectId timeout = {1, nullptr}, interval = {2, nullptr};
    OsTimerOp(QZ_TIMEROP_CREATE_TIMEOUT, &timeout, 0);
    OsTimerOp(QZ_TIMEROP_CREATE_INTERVAL, &interval, 60000);
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!gTimerSeen && std::chrono::steady_clock::now() < end) {
        int kind;
        qzObjectId id;
        for (qzOsTimer* cursor = OsNextFiredTimer(nullptr, &kind, &id);;
             cursor = OsNextFiredTimer(cursor, &kind, &id)) {
            if (kind == QZ_TIMER_TIMEOUT && id.number == 1) gTimerSeen = true;
            if (!cursor) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return 0;
}

int FailingChunk(VmState* state) {
    gChunkRuns++;
    VmRaiseError(state, ERR_WRONGOP);
}

struct Vm {
    VmState* state = VmOpen();
    ~Vm() { VmClose(state); }
};

}  // namespace

TEST(MainChunk, RunsBesideTheTimerThreadAndReportsItsStatus) {
    ASSERT_EQ(OsInitTimerLock(), 0);
    Vm vm;
    ASSERT_NE(vm.state, nullptr);

    gChunkRuns = 0;
    VmPushCFunction(vm.state, ChunkUsingTimers);
    EXPECT_EQ(MacRunMainChunk(vm.state), 0);
    EXPECT_EQ(gChunkRuns, 1);
    EXPECT_TRUE(gTimerSeen);
    // The thread has stopped and freed what the chunk left behind.
    qzObjectId interval = {2, nullptr};
    EXPECT_EQ(OsFindTimer(QZ_TIMER_INTERVAL, &interval, nullptr), nullptr);

    VmPushCFunction(vm.state, FailingChunk);
    EXPECT_EQ(MacRunMainChunk(vm.state), ERR_WRONGOP);
    EXPECT_EQ(gChunkRuns, 2);

    // Without the timer service the chunk does not run.
    OsCleanupTimers();
    VmPushCFunction(vm.state, FailingChunk);
    EXPECT_EQ(MacRunMainChunk(vm.state), ERR_THREAD);
    EXPECT_EQ(gChunkRuns, 2);
    ASSERT_EQ(OsInitTimerLock(), 0);
}

}  // namespace main_chunk_test
