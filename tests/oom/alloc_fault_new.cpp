// The global allocation functions of the player's test binary: while the allocation-failure test
// mode runs, every `new` (and so every std::string, std::vector and node container of the player)
// is counted and failed with the allocations of OsAlloc and the VM. Outside the test mode they
// are plain heap allocations.
#include <atomic>
#include <cstdlib>
#include <new>

#include "oom/alloc_fault_new.h"

namespace {

std::atomic<int (*)(std::size_t)> gCheck{nullptr};

bool MustFail(std::size_t size) {
    int (*check)(std::size_t) = gCheck.load(std::memory_order_relaxed);
    return check && check(size);
}

void* Allocate(std::size_t size, bool nothrow) {
    if (size == 0) size = 1;
    if (MustFail(size)) {
        if (nothrow) return nullptr;
        throw std::bad_alloc();
    }
    void* block = std::malloc(size);
    if (!block && !nothrow) throw std::bad_alloc();
    return block;
}

void* AllocateAligned(std::size_t size, std::align_val_t alignment, bool nothrow) {
    if (size == 0) size = 1;
    if (MustFail(size)) {
        if (nothrow) return nullptr;
        throw std::bad_alloc();
    }
    std::size_t align = static_cast<std::size_t>(alignment);
    if (align < sizeof(void*)) align = sizeof(void*);
    void* block = nullptr;
    if (posix_memalign(&block, align, size) != 0) block = nullptr;
    if (!block && !nothrow) throw std::bad_alloc();
    return block;
}

}  // namespace

void SetNewAllocCheck(int (*check)(std::size_t size)) { gCheck.store(check); }

void* operator new(std::size_t size) { return Allocate(size, false); }
void* operator new[](std::size_t size) { return Allocate(size, false); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size, true); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size, true); }
void* operator new(std::size_t size, std::align_val_t a) { return AllocateAligned(size, a, false); }
void* operator new[](std::size_t size, std::align_val_t a) { return AllocateAligned(size, a, false); }
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return AllocateAligned(size, a, true);
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
    return AllocateAligned(size, a, true);
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete(void* block, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void* block, std::align_val_t) noexcept { std::free(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { std::free(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept { std::free(block); }
