#include "platform/os_large_alloc.h"

#include <sys/mman.h>

#include <cstdint>

#include "platform/os_alloc.h"

static constexpr size_t kHugePage = size_t{2} << 20;

void OsAdviseHugePages(void* block, size_t size) {
    // Only whole huge pages inside the block: the advice never reaches memory around it.
    uintptr_t start = (reinterpret_cast<uintptr_t>(block) + kHugePage - 1) & ~(kHugePage - 1);
    uintptr_t end = (reinterpret_cast<uintptr_t>(block) + size) & ~(kHugePage - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

void* OsAllocLarge(size_t size, int clear) {
    void* block = OsAlloc(size, clear);
    if (block && size >= 2 * kHugePage) OsAdviseHugePages(block, size);
    return block;
}
