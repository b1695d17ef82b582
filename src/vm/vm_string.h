// The string table: interning, hashing and resizing.
#pragma once

#include "vm/vm_object.h"

// Hash of a text: every step-th byte from the end, step = (length >> 5) + 1.
uint32_t VmStringHash(const char* bytes, size_t length);

// Rebuilds the string table with newSize buckets (a power of two).
void VmResizeStringTable(VmState* state, int newSize);

// Halves the string table when the collector left it far below a quarter full, unless it grew
// since the previous collection.
void VmShrinkStringTable(VmState* state);

// Frees one string (the collector and VM close).
void VmFreeString(VmState* state, VmString* s);

// Marks a string as never collected.
inline void VmFixString(VmString* s) { s->marked |= VM_MARK_FIXED; }
