// The player's life from start to end: finding the applet, the start-up records, the VM, the
// options, the command libraries, the applet container and its bytecode, the directives, the
// main chunk, and then shutdown with the final error report.
#pragma once

#include <cstdint>

#include "player/link_stamp.h"
#include "runtime/applet_records.h"

struct VmState;

// Runs the player: start-up, the main chunk and shutdown. Always 0 (the exit status).
int RunPlayer(int argc, const char* const* argv);

// Start-up steps from the platform check to the sound settings: options, ".ini" file, banner,
// runtime services, registry entries and library registration. 0 or an error code.
int InitPlayerAndOptions(VmState* state, qzPlayerContext* context, qzAppletDescriptor* applet,
                         const uint8_t stamp[QZ_LINK_STAMP_SIZE], const uint8_t linkerBlock[QZ_LINKER_BLOCK_SIZE],
                         int argc, const char* const* argv);

// Puts what the container read into the VM: the labels, the applet's own constants and the
// "script" entry of a compiled applet. 0 or an error code.
int StoreAppletSymbols(VmState* state, const qzAppletDescriptor* applet);

// Loads the bytecode of the applet descriptor as the main chunk, left on the stack top.
// 0 or an error code.
int LoadAppletBytecode(VmState* state, const qzAppletDescriptor* applet);

// Loads the plugins beside the program (the SKIPPLUGINS list and names beginning with "_" are
// only registered) and sets every loaded plugin to work. 0 or the first error code.
int LoadStartupPlugins(VmState* state, qzPlayerContext* context);

// Loading progress: a step of the running progress value. 0, or ERR_USERABORT when the user
// aborted loading.
int StepLoadProgress();
// Sets the amount of each step and the running value.
void SetLoadProgress(double step, double value);

// The phase of the directive run in which plugins are required.
void SetPluginRequirePhase(int on);
int IsPluginRequirePhase();

// Whether start-up has a progress line open (started, not yet ended), and marking it.
void SetStartupProgressOpen(int open);
int IsStartupProgressOpen();

// Set first thing by shutdown, for code that skips work that makes no sense at exit.
int IsShuttingDown();

// Ends the run: frees every library's objects in a fixed order, reports the error (none for 0,
// negative codes and ERR_USERABORT), releases the runtime, the applet descriptor, the VM and the
// player context (both records are deleted; either may be null). Returns 0.
int ShutdownPlayer(int code, VmState* state, qzPlayerContext* context, qzAppletDescriptor* applet);
