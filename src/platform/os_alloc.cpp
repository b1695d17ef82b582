#include "platform/os_alloc.h"

#include <atomic>
#include <cstdlib>

static std::atomic<qzAllocFailHook> gFailHook{nullptr};

void* OsAlloc(size_t size, int clear) {
    if (size == 0) return nullptr;
    qzAllocFailHook hook = gFailHook.load(std::memory_order_relaxed);
    if (hook && hook(size)) return nullptr;
    return clear ? std::calloc(size, 1) : std::malloc(size);
}

void OsFree(void* block) { std::free(block); }

void* OsRealloc(void* block, size_t size) {
    if (size == 0) {
        std::free(block);
        return nullptr;
    }
    qzAllocFailHook hook = gFailHook.load(std::memory_order_relaxed);
    if (hook && hook(size)) return nullptr;
    return std::realloc(block, size);
}

void OsSetAllocFailHook(qzAllocFailHook hook) { gFailHook.store(hook); }
