// Large blocks for pictures: OsAlloc blocks of several megabytes that the system is asked to back
// with huge pages, since they are written once from start to end (a decoded image) and small
// pages would cost one fault every 4 KB. Released with OsFree like any OsAlloc block.
#pragma once

#include <cstddef>

// OsAlloc(size, clear), with the huge-page advice for blocks of 4 MB and more.
void* OsAllocLarge(size_t size, int clear);
