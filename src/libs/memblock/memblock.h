// The `memblock` command library: raw memory blocks that scripts allocate, read and write with
// typed values, fill, copy, dump, convert to and from tables and move to and from open files.
#pragma once

#include <cstdint>

#include "runtime/library.h"

struct VmState;

// Object type of memory blocks.
constexpr int32_t QZ_TYPE_MEMORY = 39;

// The "memblock" library: its commands and block list; at shutdown its blocks.
extern const qzLibraryDescriptor qzMemblockLibrary;
// Frees every block (the data unless it belongs to someone else) and its object data.
void FreeMemblockLibrary(VmState* state);
