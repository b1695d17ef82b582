// The mark-and-sweep collector: weak tables, userdata finalisers, threshold control.
#pragma once

#include "vm/vm_object.h"

// Moves every userdata that has a "__gc" handler to the finaliser list (all when allUserdata,
// otherwise only unmarked ones) and returns their total size.
size_t VmSeparateUserdata(VmState* state, bool allUserdata);
// Runs the "__gc" handler of every userdata on the finaliser list, each once, moving it back to
// the userdata list. Errors propagate to the caller.
void VmCallFinalisers(VmState* state);
// Frees every object of every list regardless of marks (VM close).
void VmFreeAllObjects(VmState* state);
// Frees one collectable object of the root or userdata list.
void VmFreeObject(VmState* state, VmObject* o);

// Threshold value that disables automatic collection.
constexpr size_t VM_GC_UNLIMITED = ~(size_t)0;
