// Large blocks: OsAlloc blocks of several megabytes that the system is asked to back with huge
// pages. Pictures are written once from start to end (a decoded image), where small pages would
// cost one fault every 4 KB; the virtual machine's big tables and object chunks are read at random,
// where small pages would cost one address-translation miss per access. Released as usual.
#pragma once

#include <cstddef>

// OsAlloc(size, clear), with the huge-page advice for blocks of 4 MB and more.
void* OsAllocLarge(size_t size, int clear);

// Asks the system to back the whole 2 MB pages inside a block with huge pages. Call it before
// the block is first written; a block that holds no whole huge page, or a system without them,
// keeps small pages. Only a hint: nothing fails.
void OsAdviseHugePages(void* block, size_t size);
