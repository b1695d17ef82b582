// The interpreter.
#pragma once

#include "vm/vm_object.h"

// Runs the script frame at state->ci (entered by VmPreCall) until the frame that the run entered
// with returns.
void VmExecute(VmState* state);
