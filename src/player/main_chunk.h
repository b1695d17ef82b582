// Running the applet's main chunk between the start and the stop of the timer thread.
#pragma once

struct VmState;

// Starts the timer thread, runs the function on top of the VM stack (the main chunk) in a
// protected call with no arguments and no results, stops the thread. Returns the call's status,
// or ERR_THREAD without running the chunk.
int MacRunMainChunk(VmState* state);
