// Plugin command hooks: a plugin names C functions of commands, and before the interpreter runs
// one of them the first enabled hook that names it runs instead. An error raised while the hook's
// handler runs goes to the hook's error handler, when it has one, and the command then yields no
// results; without one the error unwinds as usual. Main thread only.
#pragma once

#include "platform/plugin_api.h"
#include "vm/vm.h"

struct qzCommandHook {
    qzCommandHook* next;
    qzCommandHookFn handler;
    qzCommandHookErrorFn errorHandler;
    VmCFunction* functions;  // the hooked C functions
    int count;
    int capacity;
    int disabled;
    void* userData;
};

// Appends a hook (the first two arguments are not used); null when out of memory.
qzCommandHook* AddCommandHook(intptr_t unused1, intptr_t unused2, qzCommandHookFn handler,
                              qzCommandHookErrorFn errorHandler, void* userData);
// Unlinks and frees a hook and its function list.
void RemoveCommandHook(qzCommandHook* hook);
// Adds a C function to the hook's list unless it is there: 1, or 0 when out of memory.
int HookCommand(qzCommandHook* hook, VmCFunction function);
void SetCommandHookErrorHandler(qzCommandHook* hook, qzCommandHookErrorFn errorHandler);
qzCommandHookErrorFn GetCommandHookErrorHandler(qzCommandHook* hook);
void SetCommandHookDisabled(qzCommandHook* hook, int disabled);

// The interpreter's offer of a C function call: 1 when a hook ran it (its handler result in
// *result), 0 when no enabled hook names the function.
int CallCommandHook(VmState* state, VmCFunction function, int* result);
// The hook whose handler is running, or null.
qzCommandHook* GetRunningCommandHook();
// Frees every hook and takes the offer out of the interpreter.
void FreeCommandHooks();
