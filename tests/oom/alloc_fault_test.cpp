// The allocation-failure test mode: one count over OsAlloc, the VM's blocks and `new`, failing
// the Nth allocation or every one from the Nth on.
#include <gtest/gtest.h>

#include <new>
#include <string>

#include "oom/alloc_faults.h"
#include "vm/vm.h"

namespace alloc_fault_test {

namespace {

// Five allocations of three kinds, each answered '+' (made) or '-' (failed).
std::string FiveAllocations() {
    std::string made;
    auto note = [&](bool ok) { made += ok ? '+' : '-'; };
    void* a = OsAlloc(16, 0);
    note(a != nullptr);
    char* b = new (std::nothrow) char[16];
    note(b != nullptr);
    void* c = OsRealloc(nullptr, 32);
    note(c != nullptr);
    bool thrown = false;
    try {
        delete new int(5);
    } catch (const std::bad_alloc&) {
        thrown = true;
    }
    note(!thrown);
    void* d = OsAlloc(8, 1);
    note(d != nullptr);
    OsFree(a);
    delete[] b;
    OsFree(c);
    OsFree(d);
    return made;
}

TEST(AllocFaults, OneCountOverOsAllocAndNew) {
    const struct {
        qzAllocFaultMode mode;
        uint64_t n;
        const char* made;
        uint64_t injected;
    } cases[] = {
        {QZ_ALLOC_FAULT_COUNT, 0, "+++++", 0}, {QZ_ALLOC_FAULT_ONCE, 1, "-++++", 1},
        {QZ_ALLOC_FAULT_ONCE, 2, "+-+++", 1},  {QZ_ALLOC_FAULT_ONCE, 4, "+++-+", 1},
        {QZ_ALLOC_FAULT_ONCE, 9, "+++++", 0},  {QZ_ALLOC_FAULT_FROM, 3, "++---", 3},
        {QZ_ALLOC_FAULT_FROM, 1, "-----", 5},
    };
    for (const auto& c : cases) {
        std::string made;
        {
            AllocFaultScope scope(c.mode, c.n);
            made = FiveAllocations();
        }
        SCOPED_TRACE(std::to_string(c.mode) + " " + std::to_string(c.n));
        EXPECT_EQ(made, c.made);
        EXPECT_EQ(OsAllocFaultCount(), 5u);
        EXPECT_EQ(OsAllocFaultsInjected(), c.injected);
    }
    // Stopped, nothing fails any more.
    EXPECT_EQ(FiveAllocations(), "+++++");
}

// Opening the VM fails cleanly at each of its allocations (LeakSanitizer checks the rest).
TEST(AllocFaults, VmOpenFailsCleanlyAtEveryAllocation) {
    VmState* state = nullptr;
    int opened = 0;
    uint64_t count = ForEachFailingAllocation([&] { state = VmOpen(); },
                                              [&](uint64_t n) {
                                                  // Every state it does give works.
                                                  if (!state) return;
                                                  opened++;
                                                  VmPushString(state, "still works");
                                                  EXPECT_EQ(VmGetTop(state), 1) << n;
                                                  VmClose(state);
                                              });
    EXPECT_GT(count, 5u);
    EXPECT_EQ(opened, 1);
}

}  // namespace

}  // namespace alloc_fault_test
