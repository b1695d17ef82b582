// The seam between the interpreter and the player's runtime services (error reporting, the user
// error handler, the quit flag, call tracing and the plugin command hook). The VM only calls
// through this record; the runtime installs its own functions at start-up and restores the
// defaults (VmResetRuntimeLink) when it shuts down.
#pragma once

#include <atomic>

#include "vm/vm.h"

struct VmRuntimeLink {
    // Set to end the main chunk: the interpreter returns before the next instruction.
    std::atomic<int> quitFlag{0};
    // Paced line hooks: while lineHookPaced is set, a line hook is delivered only after
    // lineHookDue was set (from any thread, by a clock), at the next start of a line, and the
    // word is cleared as the hook is called. Between two such times scripts run at full speed.
    // The interpreter looks at the quit flag and at lineHookDue at calls, returns and backward
    // jumps.
    std::atomic<int> lineHookDue{0};
    bool lineHookPaced = false;
    // Call-trace switch: print every C function call with its arguments.
    bool callTrace = false;
    // Last error code of a command; cleared before every C function call except getLastError.
    int lastError = 0;
    // Source line of the last raised error (-1 inside a C function), recorded by VmRaiseError.
    int errorLine = -1;
    // Nesting of script callbacks run by commands (raised by the runtime around each callback).
    int callbackDepth = 0;
    // True while the user error handler runs (guards against re-entry).
    bool inUserErrorHandler = false;

    // A command returned an error code: record it and raise it (error trapping on), or only record
    // it and return 0 (trapping off). The default raises the code.
    int (*signalError)(VmState* state, int code) = nullptr;
    // Records which command was running for the error report. Default: nothing.
    void (*recordErrorContext)(VmState* state) = nullptr;
    // Whether a script error handler is installed, and calling it; its result replaces the code.
    bool (*userErrorHandlerInstalled)(VmState* state) = nullptr;
    int (*callUserErrorHandler)(VmState* state, int code) = nullptr;
    // Offers a C function call to the plugin command hooks; non-zero when a hook ran it and stored
    // its handler result in *result.
    int (*callCommandHook)(VmState* state, VmCFunction fn, int* result) = nullptr;
    // Console output of the call trace (one piece of text, no line end added). Default: stdout.
    void (*consolePrint)(const char* text) = nullptr;
    // The handler of GetLastError, which must see the previous command's code.
    VmCFunction getLastErrorFunction = nullptr;
};

extern VmRuntimeLink vmRuntime;

// Restores every field of vmRuntime to its default.
void VmResetRuntimeLink();

// The default signalError: raises the code.
int VmDefaultSignalError(VmState* state, int code);
