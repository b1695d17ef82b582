// The allocation-failure test mode inside a test: every allocation of OsAlloc, the VM and `new`
// is counted while a scope lives, and the chosen ones fail.
#pragma once

#include <cstdint>
#include <functional>

#include "oom/alloc_fault_new.h"
#include "platform/os_alloc.h"
#include "platform/os_alloc_fault.h"
#include "vm/vm_object.h"

class AllocFaultScope {
public:
    AllocFaultScope(qzAllocFaultMode mode, uint64_t n) {
        OsStartAllocFaults(mode, n);
        VmSetAllocFailHook(OsAllocFaultCheck);
        SetNewAllocCheck(OsAllocFaultCheck);
    }
    ~AllocFaultScope() {
        SetNewAllocCheck(nullptr);
        VmSetAllocFailHook(nullptr);
        OsStopAllocFaults();
    }
    AllocFaultScope(const AllocFaultScope&) = delete;
    AllocFaultScope& operator=(const AllocFaultScope&) = delete;
};

// The allocations `op` makes.
inline uint64_t CountAllocations(const std::function<void()>& op) {
    {
        AllocFaultScope scope(QZ_ALLOC_FAULT_COUNT, 0);
        op();
    }
    return OsAllocFaultCount();
}

// Runs `op` once to count its allocations and then once per allocation, failing that one (N
// counts from 1). After each run, with the test mode off again, `check` gets N (0 after the
// counting run). Returns the count.
inline uint64_t ForEachFailingAllocation(const std::function<void()>& op,
                                         const std::function<void(uint64_t n)>& check) {
    uint64_t count = CountAllocations(op);
    check(0);
    for (uint64_t n = 1; n <= count; n++) {
        {
            AllocFaultScope scope(QZ_ALLOC_FAULT_ONCE, n);
            op();
        }
        check(n);
    }
    return count;
}
