// Calls, returns, protected execution and error unwinding.
#pragma once

#include "vm/vm_object.h"

// Outcome of VmPreCall.
enum {
    VM_PRECALL_SCRIPT = 0,   // a script frame was entered; the interpreter runs it
    VM_PRECALL_C = 1,        // a C function ran and its results were placed
    VM_PRECALL_LABEL = 2,    // a C function asked for a label jump (-1)
    VM_PRECALL_LABEL2 = 3,   // a C function asked for a label jump returning before the call (-2)
};

// Prepares a call of the value at func with the arguments above it up to the top. For a script
// function a new frame is entered; a C function is run at once and its results moved to func
// (padded to nresults unless VM_MULTRET).
int VmPreCall(VmState* state, VmValue* func, int nresults);
// The callable at func: func itself when it is a function, else its "__call" handler inserted in
// its place with the value shifted up as first argument. Raises ERR_FUNCDECLA without one.
VmValue* VmResolveCallable(VmState* state, VmValue* func);
// Moves the results of the current frame (starting at firstResult, up to the top) to where the
// caller expects them, and leaves the frame. Returns the wanted count.
void VmPostCall(VmState* state, VmValue* firstResult);

// Calls the value at func from C, counting the C-call depth, and runs the collector step check.
void VmCallValue(VmState* state, VmValue* func, int nresults);

// Runs a hook event for the current frame (call, return, line, count).
void VmCallHook(VmState* state, int event, int line);

// Protected call of the function at stack offset funcOffset, restoring frames on error.
int VmProtectedCallAt(VmState* state, ptrdiff_t funcOffset, int nresults);

inline ptrdiff_t VmSaveStack(VmState* state, const VmValue* p) { return (const char*)p - (const char*)state->stack; }
inline VmValue* VmRestoreStack(VmState* state, ptrdiff_t n) { return (VmValue*)((char*)state->stack + n); }
