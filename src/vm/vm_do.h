// Calls, returns, protected execution and error unwinding.
#pragma once

#include <new>

#include "vm/vm_object.h"
#include "vm/vm_runtime_link.h"
#include "vm/vm_state.h"

// Outcome of VmPreCall.
enum {
    VM_PRECALL_SCRIPT = 0,  // a script frame was entered; the interpreter runs it
    VM_PRECALL_C = 1,       // a C function ran and its results were placed
    VM_PRECALL_LABEL = 2,   // a C function asked for a label jump (-1)
    VM_PRECALL_LABEL2 = 3,  // a C function asked for a label jump returning before the call (-2)
};

// Prepares a call of the value at func with the arguments above it up to the top. For a script
// function a new frame is entered; a C function is run at once and its results moved to func
// (padded to nresults unless VM_MULTRET).
int VmPreCall(VmState* state, VmValue* func, int nresults);
// The callable at func: func itself when it is a function, else its "__call" handler inserted in
// its place with the value shifted up as first argument. Raises ERR_FUNCDECLA without one.
VmValue* VmResolveCallable(VmState* state, VmValue* func);
// Runs a C function for a call of the closure at func (arguments up to the top) and places its
// results as VmPreCall does; returns VmPreCall's outcome.
int VmCallC(VmState* state, VmValue* func, int nresults);
// The middle of VmCallC: clears the last error (but for GetLastError) and runs the closure's C
// function after checking its argument-count range, or the plugin command hook that takes it in
// the function's place. Returns its handler result, the code of a command result thrown inside
// it, or ERR_MEM when it ran out of memory. Inline: the interpreter calls commands through it
// directly.
inline int VmRunCommand(VmState* state, const VmCClosure* command) {
    VmCFunction f = command->f;
    if (f != vmRuntime.getLastErrorFunction) vmRuntime.lastError = 0;
    int n;
    try {
        if (!(vmRuntime.callCommandHook && vmRuntime.callCommandHook(state, f, &n))) {
            if (command->minArgs >= 0) VmCheckCommandArgs(state, command->minArgs, command->maxArgs);
            n = f(state);
        }
    } catch (const VmErrorUnwind& e) {
        if (!e.commandResult) throw;
        n = e.code;
    } catch (const std::bad_alloc&) {
        n = ERR_MEM;
    }
    return n;
}
// The end of VmCallC, for the handler result n: error codes (offered to the user error handler),
// label jumps and results. Returns VmPreCall's outcome.
int VmFinishCCall(VmState* state, int n);

// Pushes the frame of script function p whose arguments run from base to the top (the stack has
// room for p->maxStackSize slots above base); the registers past the arguments become nil. The
// caller has dealt with "__call", varargs and the call hook.
inline void VmPushScriptFrame(VmState* state, VmValue* base, const VmProto* p, int nresults) {
    VmCallInfo* ci = state->ci != state->endCi ? ++state->ci : VmGrowCallInfo(state);
    ci->base = base;
    ci->top = base + p->maxStackSize;
    ci->state = VM_CI_SCRIPT;
    ci->savedpc = p->code;
    ci->k = p->k;
    ci->tailcalls = 0;
    ci->nresults = nresults;
    state->base = base;
    for (VmValue* st = state->top; st < ci->top; st++) VmSetValueNil(st);
    state->top = ci->top;
}

// Runs the return hook; returns firstResult relocated.
VmValue* VmReturnHook(VmState* state, VmValue* firstResult);

// Moves the results of the current frame (starting at firstResult, up to the top) to where the
// caller expects them, and leaves the frame.
inline void VmPostCall(VmState* state, VmValue* firstResult) {
    if (state->hookMask & VM_MASKRET) firstResult = VmReturnHook(state, firstResult);
    VmCallInfo* ci = state->ci;
    VmValue* res = ci->base - 1;
    int wanted = ci->nresults;
    state->ci = ci - 1;
    state->base = state->ci->base;
    int i = wanted;
    // Field by field: a result a C function has just pushed is still in the store buffer.
    while (i != 0 && firstResult < state->top) {
        VmCopyValue(res++, firstResult++);
        i--;
    }
    while (i-- > 0) VmSetValueNil(res++);
    state->top = res;
}

// Calls the value at func from C, counting the C-call depth, and runs the collector step check.
void VmCallValue(VmState* state, VmValue* func, int nresults);

// Runs a hook event for the current frame (call, return, line, count).
void VmCallHook(VmState* state, int event, int line);

// Protected call of the function at stack offset funcOffset, restoring frames on error.
int VmProtectedCallAt(VmState* state, ptrdiff_t funcOffset, int nresults);

inline ptrdiff_t VmSaveStack(VmState* state, const VmValue* p) { return (const char*)p - (const char*)state->stack; }
inline VmValue* VmRestoreStack(VmState* state, ptrdiff_t n) { return (VmValue*)((char*)state->stack + n); }
