// Paced line hooks: delivered only after the due word was set, also to a loop that makes no call
// (the interpreter looks at the word at backward jumps); the quit flag set by another thread ends
// such a loop too.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/os_ticker.h"
#include "vm/vm_runtime_link.h"
#include "vm_script_util.h"

namespace paced_hook_test {

namespace {

std::atomic<int> gHookCalls{0};

void CountingHook(VmState*, VmDebug*) {
    if (++gHookCalls == 3) vmRuntime.quitFlag.store(1);
}

// Counts forever: ADD and a backward jump, no call.
const char* kEndless = R"(
.function main
  .line 1
    LOADK r0 0
  .line 2
loop:
    ADD r0 r0 1
    JMP loop
    RETURN r0 2
.end
)";

// 1000 iterations of a two-line loop.
const char* kCounted = R"(
.function main
  .line 1
    LOADK r0 0
    LOADK r1 1
    LOADK r2 1000
    LOADK r3 1
    SUB r1 r1 r3
    JMP test
body:
  .line 2
    ADD r0 r0 r1
  .line 1
test:
    FORLOOP r1 body
    RETURN r0 2
.end
)";

TEST(PacedLineHook, RunsOnlyWhenDue) {
    VmState* L = VmOpen();
    VmSetHook(L, CountingHook, VM_MASKLINE, 0);
    vmRuntime.lineHookPaced = true;
    vmRuntime.lineHookDue.store(0);
    gHookCalls = 0;
    ASSERT_EQ(LoadAsm(L, kCounted), 0);
    ASSERT_EQ(VmProtectedCall(L, 0, 1, 0), 0);
    EXPECT_EQ(gHookCalls, 0);
    EXPECT_EQ(VmToNumber(L, -1), 500500);

    // Due once: one call, and the word is cleared.
    vmRuntime.lineHookDue.store(1);
    ASSERT_EQ(LoadAsm(L, kCounted), 0);
    ASSERT_EQ(VmProtectedCall(L, 0, 1, 0), 0);
    EXPECT_EQ(gHookCalls, 1);
    EXPECT_EQ(vmRuntime.lineHookDue.load(), 0);

    // Unpaced: every line start.
    vmRuntime.lineHookPaced = false;
    gHookCalls = -100000;
    ASSERT_EQ(LoadAsm(L, kCounted), 0);
    ASSERT_EQ(VmProtectedCall(L, 0, 1, 0), 0);
    EXPECT_GE(gHookCalls, 2000 - 100000);
    VmClose(L);
    VmResetRuntimeLink();
}

TEST(PacedLineHook, ALoopWithoutCallsSeesTheTicks) {
    VmState* L = VmOpen();
    VmSetHook(L, CountingHook, VM_MASKLINE, 0);
    vmRuntime.lineHookPaced = true;
    vmRuntime.lineHookDue.store(0);
    gHookCalls = 0;
    ASSERT_EQ(OsStartTicker(&vmRuntime.lineHookDue, 1), 0);
    ASSERT_EQ(LoadAsm(L, kEndless), 0);
    EXPECT_EQ(VmProtectedCall(L, 0, 1, 0), 0);  // the third hook call set the quit flag
    OsStopTicker();
    EXPECT_EQ(gHookCalls, 3);
    VmClose(L);
    VmResetRuntimeLink();
}

TEST(PacedLineHook, QuitFromAnotherThreadEndsALoopWithoutCalls) {
    VmState* L = VmOpen();
    ASSERT_EQ(LoadAsm(L, kEndless), 0);
    std::thread quitter([] { vmRuntime.quitFlag.store(1); });
    EXPECT_EQ(VmProtectedCall(L, 0, 1, 0), 0);
    quitter.join();
    VmClose(L);
    VmResetRuntimeLink();
}

}  // namespace

}  // namespace paced_hook_test
