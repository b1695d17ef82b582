// Connects the platform's event loop with the runtime: engine events go to the event queue, the
// quit flag is the runtime's, and the timer thread's wake-up, waits and pumps and the dos
// library's long operations all run through the event loop.
#pragma once

struct VmState;

// Installs the connections (start-up, right after the platform started).
void LinkEventLoop();
// Restores the platform's own defaults (shutdown, before the platform stops).
void UnlinkEventLoop();

// One pass of the event loop as the waiting code needs it: non-zero when the script must stop,
// with an error of the pass in *error (0 for a quit).
int PumpPlatformEvents(VmState* state, int* error);
