#include "platform/os_alloc_fault.h"

#include <atomic>

#include "platform/os_alloc.h"

// Allocations may come from any thread (timers, network, sound), so the counts are atomic.
static std::atomic<uint64_t> gCount{0};
static std::atomic<uint64_t> gInjected{0};
static std::atomic<int> gMode{QZ_ALLOC_FAULT_COUNT};
static std::atomic<uint64_t> gFailAt{0};
static thread_local int tPaused = 0;

void OsStartAllocFaults(qzAllocFaultMode mode, uint64_t n) {
    gCount.store(0);
    gInjected.store(0);
    gFailAt.store(n);
    gMode.store(mode);
    OsSetAllocFailHook(OsAllocFaultCheck);
}

void OsStopAllocFaults() {
    OsSetAllocFailHook(nullptr);
    gMode.store(QZ_ALLOC_FAULT_COUNT);
}

OsAllocFaultPause::OsAllocFaultPause() { ++tPaused; }

OsAllocFaultPause::~OsAllocFaultPause() { --tPaused; }

int OsAllocFaultCheck(size_t size) {
    if (tPaused) return 0;
    uint64_t index = gCount.fetch_add(1, std::memory_order_relaxed) + 1;
    int mode = gMode.load(std::memory_order_relaxed);
    uint64_t failAt = gFailAt.load(std::memory_order_relaxed);
    bool fail = (mode == QZ_ALLOC_FAULT_ONCE && index == failAt) || (mode == QZ_ALLOC_FAULT_FROM && index >= failAt);
    if (fail) gInjected.fetch_add(1, std::memory_order_relaxed);
    return fail;
}

uint64_t OsAllocFaultCount() { return gCount.load(); }

uint64_t OsAllocFaultsInjected() { return gInjected.load(); }
