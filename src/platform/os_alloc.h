// The one allocation routine of the player. Every subsystem and plugin allocates through
// OsAlloc and releases with OsFree; the blocks are plain heap blocks (no header, no pool).
#pragma once

#include <cstddef>

// Returns a block of `size` bytes, zero-filled when `clear` is non-zero, or null when memory
// runs out. A size of 0 returns null without allocating (not an error).
void* OsAlloc(size_t size, int clear);

// Releases a block from OsAlloc. A null pointer is ignored.
void OsFree(void* block);

// Resizes a block from OsAlloc (null allocates) to `size` bytes, keeping its contents up to the
// smaller size. Returns the new block, or null when memory runs out; the old block then stays
// valid. A size of 0 frees the block and returns null.
void* OsRealloc(void* block, size_t size);

// Test seam: while installed, OsAlloc asks `hook` before every allocation and returns null when
// it answers non-zero, so that out-of-memory paths can be exercised. Null removes it.
typedef int (*qzAllocFailHook)(size_t size);
void OsSetAllocFailHook(qzAllocFailHook hook);
