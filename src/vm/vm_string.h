// The string table: interning, hashing and resizing.
#pragma once

#include "vm/vm_object.h"

// The string table's hash of a text: short texts are hashed eight bytes at a step, longer ones
// from 32 bytes spread over them.
uint32_t VmStringLookupHash(const char* bytes, size_t length);

// A piece of a text put together from several.
struct VmTextPiece {
    const char* bytes;
    size_t length;
};
// VmStringLookupHash of the texts of n pieces joined end to end (total bytes in all), read from
// the pieces themselves: a text being copied into a new block can be hashed from its sources
// while the copy is still on its way to the cache.
uint32_t VmStringLookupHashOfPieces(const VmTextPiece* pieces, int n, size_t total);

// A string of length bytes that is not interned yet: the caller writes its text, then hands it
// to VmInternBlock. It counts in the bytes in use from here on. Lengths from 0xFFFFFFFD bytes on
// raise ERR_MEM.
VmString* VmNewStringBlock(VmState* state, size_t length);
// Interns a string of VmNewStringBlock: when an equal text is interned already, that string is
// returned and the block freed; else the block becomes the interned string.
VmString* VmInternBlock(VmState* state, VmString* block);
// VmInternBlock for a block whose text's VmStringLookupHash is known already.
VmString* VmInternBlockHashed(VmState* state, VmString* block, uint32_t lookup);

// Rebuilds the string table with newSize slots (a power of two).
void VmResizeStringTable(VmState* state, int newSize);

// Halves the string table after a collection when it held fewer strings than a quarter of its
// slots for the whole cycle; cycleCount is the count before the sweep.
void VmShrinkStringTable(VmState* state, uint32_t cycleCount);

// Frees the strings that the collector left unmarked and clears the marks of the rest.
void VmSweepStrings(VmState* state);
// Frees every string (closing the VM, before VmSmallFreeAll: strings of small blocks are left to
// it).
void VmFreeAllStrings(VmState* state);

// Frees one string (the collector and VM close).
void VmFreeString(VmState* state, VmString* s);

// Marks a string as never collected.
inline void VmFixString(VmString* s) { s->marked |= VM_MARK_FIXED; }
