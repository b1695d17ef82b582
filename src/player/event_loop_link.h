// Connects the platform's event loop with the runtime and the event code: engine events go to
// the event queue, the quit flag is the runtime's, the timer thread's wake-up, waits and shared
// tick run through the event code, and the dos and network libraries' long operations pump
// events. The line hook services events between script lines.
#pragma once

struct VmState;
struct VmDebug;

// Installs the connections (start-up, right after the platform started).
void LinkEventLoop();
// Restores the platform's own defaults (shutdown, before the platform stops).
void UnlinkEventLoop();

// One pass of the event pump as waits inside long operations need it: non-zero when the script
// must stop, with an error of the pass in *error (0 for a quit).
int PumpForWaits(VmState* state, int* error);

// The VM line hook: between script lines, unless DisableLineHook switched it off, the event pump
// with its plugin hooks and expiry runs, at most once every 10 ms (one coarse clock read and a
// compare otherwise). An error of the pump is raised as a script error.
void ServiceEventsHook(VmState* state, VmDebug* debug);
// Installs it on the VM (line events), paced by a ticker thread so that the interpreter runs at
// full speed between two ticks.
void InstallLineHook(VmState* state);
// Removes it and stops the ticker (a null state only stops the ticker).
void RemoveLineHook(VmState* state);
