// Allocation-failure test mode: counts the allocations the player makes and fails the Nth one, or
// every one from the Nth on, so that each out-of-memory path can be reached in turn. It answers
// the allocation-failure hooks (OsSetAllocFailHook, and the VM's own hook where a test installs it
// there too); nothing is counted until a test starts it.
#pragma once

#include <cstddef>
#include <cstdint>

enum qzAllocFaultMode {
    QZ_ALLOC_FAULT_COUNT = 0,  // count only, fail nothing
    QZ_ALLOC_FAULT_ONCE = 1,   // fail the Nth allocation, let the others through
    QZ_ALLOC_FAULT_FROM = 2,   // fail the Nth allocation and every one after it
};

// Resets the count and installs OsAllocFaultCheck as the OsAlloc hook. `n` counts from 1; with
// QZ_ALLOC_FAULT_COUNT it is ignored.
void OsStartAllocFaults(qzAllocFaultMode mode, uint64_t n);

// Removes the hook; the counts stay readable.
void OsStopAllocFaults();

// Counts one allocation of `size` bytes and answers non-zero when it must fail. Every allocation
// path that takes part in the test mode calls this (it is the hook OsStartAllocFaults installs).
int OsAllocFaultCheck(size_t size);

// While one lives, its thread's allocations are neither counted nor failed: for work that is not the
// player's own, such as loading a shared library and running its constructors, which must not
// fail half-way and would make the counts depend on what happened to be loaded before.
struct OsAllocFaultPause {
    OsAllocFaultPause();
    ~OsAllocFaultPause();
    OsAllocFaultPause(const OsAllocFaultPause&) = delete;
    OsAllocFaultPause& operator=(const OsAllocFaultPause&) = delete;
};

// Allocations counted since OsStartAllocFaults, and how many of them were failed.
uint64_t OsAllocFaultCount();
uint64_t OsAllocFaultsInjected();
