// Defaults of the seam between the interpreter and the runtime services.
#include "vm/vm_runtime_link.h"

#include <cstdio>
#include <cstring>

VmRuntimeLink vmRuntime;

int VmDefaultSignalError(VmState* state, int code) { VmRaiseError(state, code); }

static void DefaultConsolePrint(const char* text) {
    fputs(text, stdout);
    fflush(stdout);
}

void VmResetRuntimeLink() {
    vmRuntime.quitFlag.store(0);
    vmRuntime.lineHookDue.store(0);
    vmRuntime.lineHookPaced = false;
    vmRuntime.callTrace = false;
    vmRuntime.lastError = 0;
    vmRuntime.errorLine = -1;
    vmRuntime.callbackDepth = 0;
    vmRuntime.inUserErrorHandler = false;
    vmRuntime.signalError = VmDefaultSignalError;
    vmRuntime.recordErrorContext = nullptr;
    vmRuntime.userErrorHandlerInstalled = nullptr;
    vmRuntime.callUserErrorHandler = nullptr;
    vmRuntime.callCommandHook = nullptr;
    vmRuntime.consolePrint = DefaultConsolePrint;
    vmRuntime.getLastErrorFunction = nullptr;
}

// Install the defaults before main() runs.
static const int vmRuntimeLinkInit = (VmResetRuntimeLink(), 0);
