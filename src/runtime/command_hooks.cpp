// Plugin command hooks and the interpreter's offer of each C function call.
#include "runtime/command_hooks.h"

#include <cstdlib>

#include "vm/vm_runtime_link.h"

namespace {

qzCommandHook* hooks = nullptr;
qzCommandHook* running = nullptr;

bool Names(const qzCommandHook* hook, VmCFunction function) {
    for (int i = 0; i < hook->count; ++i)
        if (hook->functions[i] == function) return true;
    return false;
}

struct HookCall {
    qzCommandHook* hook;
    qzCommandHookFn handler;
    VmCFunction function;
    void* userData;
};

int RunHandler(VmState* state, void* data) {
    HookCall* call = static_cast<HookCall*>(data);
    return call->handler(call->hook, state, call->function, call->userData);
}

}  // namespace

qzCommandHook* AddCommandHook(intptr_t, intptr_t, qzCommandHookFn handler, qzCommandHookErrorFn errorHandler,
                              void* userData) {
    auto* hook = static_cast<qzCommandHook*>(std::calloc(1, sizeof(qzCommandHook)));
    if (!hook) return nullptr;
    hook->handler = handler;
    hook->errorHandler = errorHandler;
    hook->userData = userData;
    qzCommandHook** tail = &hooks;
    while (*tail) tail = &(*tail)->next;
    *tail = hook;
    vmRuntime.callCommandHook = CallCommandHook;
    return hook;
}

void RemoveCommandHook(qzCommandHook* hook) {
    for (qzCommandHook** p = &hooks; *p; p = &(*p)->next) {
        if (*p != hook) continue;
        *p = hook->next;
        if (running == hook) running = nullptr;
        std::free(hook->functions);
        std::free(hook);
        break;
    }
    if (!hooks && vmRuntime.callCommandHook == CallCommandHook) vmRuntime.callCommandHook = nullptr;
}

int HookCommand(qzCommandHook* hook, VmCFunction function) {
    if (!hook) return 0;
    if (Names(hook, function)) return 1;
    if (hook->count == hook->capacity) {
        int capacity = hook->capacity ? hook->capacity * 2 : 8;
        auto* grown = static_cast<VmCFunction*>(std::realloc(hook->functions, sizeof(VmCFunction) * capacity));
        if (!grown) return 0;
        hook->functions = grown;
        hook->capacity = capacity;
    }
    hook->functions[hook->count++] = function;
    return 1;
}

void SetCommandHookErrorHandler(qzCommandHook* hook, qzCommandHookErrorFn errorHandler) {
    if (hook) hook->errorHandler = errorHandler;
}

qzCommandHookErrorFn GetCommandHookErrorHandler(qzCommandHook* hook) { return hook ? hook->errorHandler : nullptr; }

void SetCommandHookDisabled(qzCommandHook* hook, int disabled) {
    if (hook) hook->disabled = disabled ? 1 : 0;
}

int CallCommandHook(VmState* state, VmCFunction function, int* result) {
    qzCommandHook* hook = hooks;
    while (hook && (hook->disabled || !hook->handler || !Names(hook, function))) hook = hook->next;
    if (!hook) return 0;
    // The handler may remove its own hook: what the call needs is taken first.
    HookCall call{hook, hook->handler, function, hook->userData};
    qzCommandHookErrorFn errorHandler = hook->errorHandler;
    qzCommandHook* previous = running;
    running = hook;
    if (!errorHandler) {
        struct Restore {
            qzCommandHook* previous;
            ~Restore() { running = previous; }
        } restore{previous};
        *result = RunHandler(state, &call);
        return 1;
    }
    int status = VmCallInFrameProtected(state, RunHandler, &call, result);
    running = previous;
    if (status != 0) {
        // The error handler takes the error; the script goes on after the command.
        errorHandler(hook, state, status, call.userData);
        *result = 0;
    }
    return 1;
}

qzCommandHook* GetRunningCommandHook() { return running; }

void FreeCommandHooks() {
    while (hooks) {
        qzCommandHook* next = hooks->next;
        std::free(hooks->functions);
        std::free(hooks);
        hooks = next;
    }
    running = nullptr;
    if (vmRuntime.callCommandHook == CallCommandHook) vmRuntime.callCommandHook = nullptr;
}
