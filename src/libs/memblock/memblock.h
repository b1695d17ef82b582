// The `memblock` command library: raw memory blocks that scripts allocate, read and write with
// typed values, fill, copy, dump, convert to and from tables and move to and from open files.
#pragma once

#include <cstdint>

struct VmState;

// Object type of memory blocks.
constexpr int32_t QZ_TYPE_MEMORY = 39;

// Registers the commands and the block list (called with the globals table pushed). 0 or an
// error code.
int RegisterMemblockLibrary(VmState* state);
// Frees every block (the data unless it belongs to someone else) and its object data.
void FreeMemblockLibrary(VmState* state);
