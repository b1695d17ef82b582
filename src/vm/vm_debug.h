// Debug support used inside the VM: current pcs and lines, names of called functions and of
// variables for error messages.
#pragma once

#include "vm/vm_object.h"

// The running closure of a frame, null for the base frame.
VmClosure* VmFrameClosure(const VmCallInfo* ci);
// Index of the current instruction of a script frame, -1 for a C frame.
int VmFramePc(const VmCallInfo* ci);
// Current source line of a frame: -1 for a C frame, 0 without line information.
int VmFrameLine(const VmCallInfo* ci);

// Name of the function running in frame ci, as the caller's instruction names it; null if none.
// kind (optional) receives "global", "local", "method", "field" or "".
const char* VmCalledFunctionName(VmState* state, const VmCallInfo* ci, const char** kind = nullptr);

// Names register reg of a script frame at its current pc; kind receives the name's kind.
const char* VmDescribeVariable(VmState* state, const VmCallInfo* ci, int reg, const char** kind);

// Raises code with the error argument naming the variable that holds v followed by opText ("{}"
// for indexing, "()" for calls), or "??" and opText when nothing is known.
[[noreturn]] void VmRaiseTypeErrorValue(VmState* state, const VmValue* v, int code, const char* opText);
