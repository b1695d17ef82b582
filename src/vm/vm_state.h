// Per-thread states, the shared global state, stacks, call-info arrays and upvalue cells.
#pragma once

#include "vm/vm_object.h"

// Resizes the stack to newSize slots, relocating every pointer into it.
void VmResizeStack(VmState* state, int newSize);
// Grows the call-info array (doubling); raises ERR_STACK beyond VM_MAXCALLS frames.
VmCallInfo* VmGrowCallInfo(VmState* state);
void VmResizeCallInfo(VmState* state, int newSize);

// Makes sure n slots are free above the top.
inline void VmCheckStackRoom(VmState* state, int n) {
    if ((char*)state->stackLast - (char*)state->top <= (ptrdiff_t)n * (ptrdiff_t)sizeof(VmValue)) VmGrowStack(state, n);
}

// A new thread sharing the global state; linked for the collector.
VmState* VmNewThreadState(VmState* state);
// Frees a thread other than the main one (its open upvalues are closed first).
void VmFreeThread(VmState* state, VmState* thread);
// Closes everything and frees the VM (no finalisers run here).
void VmCloseState(VmState* state);

// The open upvalue cell for a stack slot, created and linked in order when absent.
VmUpvalue* VmFindUpvalueCell(VmState* state, VmValue* level);
// Closes every open cell at or above level: its value moves into the cell.
void VmCloseUpvalues(VmState* state, VmValue* level);
