#include <gtest/gtest.h>

#include <string>

#include "vm/vm_runtime_link.h"
#include "vm/vm_state.h"
#include "vm_script_util.h"

namespace memory_test {

namespace {

long allocationsLeft = -1;  // fail the allocation when this reaches 0; negative: never

int CountDown(size_t) { return allocationsLeft >= 0 && allocationsLeft-- == 0; }

struct FailGuard {
    explicit FailGuard(long n) {
        allocationsLeft = n;
        VmSetAllocFailHook(CountDown);
    }
    ~FailGuard() { VmSetAllocFailHook(nullptr); }
};

int Echo(VmState* L) { return VmGetTop(L); }

// Builds tables, strings, closures over upvalues and vararg tables, and calls a command.
const char* kProgram = R"(
.function main
  NEWTABLE r0 0 0
  LOADK r1 1
  LOADK r2 40
  LOADK r3 1
  SUB r1 r1 r3
  JMP test
body:
  LOADK r5 "item"
  MOVE r6 r1
  CONCAT r5 r5 r6
  CLOSURE r6 get
  MOVE r0 r5
  SETTABLE r0 r5 r6
  SETTABLE r0 r1 r5
  CLOSURE r7 va
  LOADK r8 1
  LOADK r9 2
  CALL r7 3 1
  GETGLOBAL r7 "echo"
  MOVE r8 r5
  CALL r7 2 1
test:
  FORLOOP r1 body
  GETTABLE r5 r0 40
  GETTABLE r6 r0 r5
  CALL r6 1 2
  RETURN r6 2
  .function get
    .upvalues 1
    GETUPVAL r0 u0
    RETURN r0 2
  .end
  .function va
    .vararg
    GETTABLE r1 r0 "n"
    RETURN r1 2
  .end
.end
)";

}  // namespace

// Opening the VM with the n-th allocation failing gives null or a working VM, never a leak.
TEST(Memory, OpenSurvivesEveryAllocationFailure) {
    int failures = 0;
    for (long n = 0;; n++) {
        VmState* L;
        {
            FailGuard guard(n);
            L = VmOpen();
        }
        if (!L) {
            failures++;
            continue;
        }
        VmClose(L);
        if (allocationsLeft >= 0) break;  // nothing failed: every point was tried
    }
    EXPECT_GT(failures, 20);
}

// A program run with the n-th allocation failing ends with ERR_MEM or its result; the VM stays
// usable and closes without leaks.
TEST(Memory, ScriptsSurviveEveryAllocationFailure) {
    VmResetRuntimeLink();
    int outOfMemory = 0;
    for (long n = 0; n < 100000; n++) {
        VmState* L = VmOpen();
        ASSERT_NE(L, nullptr);
        VmPushString(L, "echo");
        VmPushCFunction(L, Echo);
        VmSetTable(L, VM_GLOBALSINDEX);
        VmSetGcThreshold(L, 4);
        std::string out;
        int status;
        {
            FailGuard guard(n);
            status = RunAsm(L, kProgram, &out);
        }
        bool finished = allocationsLeft >= 0;
        if (status == 0) {
            EXPECT_EQ(out, "\"item40\"") << n;
        } else {
            EXPECT_EQ(status, ERR_MEM) << n;
            outOfMemory++;
        }
        EXPECT_EQ(L->ci, L->baseCi);
        // Still usable.
        VmCollectGarbage(L);
        EXPECT_EQ(RunAsm(L, kProgram, &out), 0) << n;
        EXPECT_EQ(out, "\"item40\"");
        VmClose(L);
        if (finished) break;
    }
    EXPECT_GT(outOfMemory, 100);
}

}  // namespace memory_test
