#include "platform/os_alloc.h"

#include <cstdlib>

void* OsAlloc(size_t size, int clear)
{
    if (size == 0)
        return nullptr;
    return clear ? std::calloc(size, 1) : std::malloc(size);
}

void OsFree(void* block)
{
    std::free(block);
}
