// Shared between the memblock library's source files: the block record, its lookup, the range
// rule and the file transfer commands.
#pragma once

#include <cstdint>

#include "runtime/object_registry.h"

struct VmState;

// One memory block. size 0 means unknown (foreign memory only): no bounds are checked then.
struct qzMemBlock {
    qzObjectHeader header;
    int64_t size;
    unsigned char* data;
    int foreign;  // the memory belongs to someone else and is never freed here
};

// Whether n bytes at offset lie inside the block (always for an unknown size).
bool MemRangeAllowed(const qzMemBlock* block, int64_t offset, int64_t n);
// The block named by the identifier argument at index; the command fails (VmFailCommand) with
// ERR_FINDARRAY for an unknown handle and ERR_FINDMEMBLK for an unknown number.
qzMemBlock* CheckMemBlock(VmState* state, int index);

// Transfers between an open file and a block.
int MemReadMem(VmState* state);
int MemWriteMem(VmState* state);
