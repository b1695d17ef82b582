// The string table: interning, hashing and resizing.
#pragma once

#include "vm/vm_object.h"

// The string table's hash of a text: short texts are hashed eight bytes at a step, longer ones by
// VmStringHash, which reads at most 32 of their bytes.
uint32_t VmStringLookupHash(const char* bytes, size_t length);

// Rebuilds the string table with newSize buckets (a power of two).
void VmResizeStringTable(VmState* state, int newSize);

// Halves the string table after a collection when it held fewer strings than a quarter of its
// buckets for the whole cycle; cycleCount is the count before the sweep.
void VmShrinkStringTable(VmState* state, uint32_t cycleCount);

// Frees one string (the collector and VM close).
void VmFreeString(VmState* state, VmString* s);

// Marks a string as never collected.
inline void VmFixString(VmString* s) { s->marked |= VM_MARK_FIXED; }
