// The interpreter.
#pragma once

#include "vm/vm_object.h"

// Runs the script frame at state->ci (entered by VmPreCall) until the frame that the run entered
// with returns.
void VmExecute(VmState* state);

// Sets the label jump offset for a label command that jumps to instruction index labelValue.
// The difference is taken in 64 bits and clamped, so extreme label values still land outside
// the code (the interpreter then raises ERR_FUNCJMP) instead of overflowing.
void VmSetLabelJump(VmGlobalState* g, int labelValue);
