// Calls, returns, protected execution and error unwinding.
#include "vm/vm_do.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "base/error_codes.h"
#include "vm/vm_debug.h"
#include "vm/vm_exec.h"
#include "vm/vm_gc.h"
#include "vm/vm_runtime_link.h"
#include "vm/vm_state.h"
#include "vm/vm_table.h"

// ---------------------------------------------------------------------------------------------
// Errors

int VmRunProtected(VmState* state, VmProtectedFunction fn, void* userData) {
    VmProtectedRecord record{state->errorJmp, 0};
    state->errorJmp = &record;
    try {
        fn(state, userData);
    } catch (const VmErrorUnwind& e) {
        record.status = e.code;
    } catch (const std::bad_alloc&) {
        record.status = ERR_MEM;
    }
    state->errorJmp = record.previous;
    return record.status;
}

void VmThrow(VmState* state, int code) {
    if (state->errorJmp) throw VmErrorUnwind{state->errorJmp, code, false};
    VmState* main = state->g->mainthread;
    if (state != main && main->errorJmp) {
        // An error in another thread with no protected call of its own: reset that thread and
        // unwind to the main thread's protected call.
        VmCloseUpvalues(state, state->stack);
        state->ci = state->baseCi;
        state->base = state->ci->base;
        state->top = state->base;
        state->nCcalls = 0;
        throw VmErrorUnwind{main->errorJmp, code, false};
    }
    if (state->g->panic) state->g->panic(state);
    exit(1);
}

void VmRaiseError(VmState* state, int code) {
    vmRuntime.errorLine = VmCurrentLine(state);
    if (vmRuntime.recordErrorContext) vmRuntime.recordErrorContext(state);
    VmThrow(state, code);
}

void VmCheckCommandArgs(VmState* state, int minArgs, int maxArgs) {
    int count = VmGetTop(state);
    if (minArgs == 0 && maxArgs == 0 && count > 0) VmRaiseError(state, ERR_TOOMANYARGS);
    if (count < minArgs) VmRaiseError(state, ERR_MISSINGPARAMTR);
    if (maxArgs > 0 && count > maxArgs) VmRaiseError(state, ERR_TOOMANYARGS);
}

void VmFailCommand(VmState* state, int code) {
    // The base frame is no handler: code outside any call raises the code as an ordinary error.
    if (state->ci != state->baseCi && (state->ci->state & VM_CI_C)) throw VmErrorUnwind{state->errorJmp, code, true};
    VmRaiseError(state, code);
}

// ---------------------------------------------------------------------------------------------
// Hooks

void VmCallHook(VmState* state, int event, int line) {
    VmHook hook = state->hook;
    if (!hook || !state->allowHook) return;
    ptrdiff_t top = VmSaveStack(state, state->top);
    ptrdiff_t ciTop = VmSaveStack(state, state->ci->top);
    VmCheckStackRoom(state, VM_MINSTACK);
    if (state->ci->top < state->top + VM_MINSTACK) state->ci->top = state->top + VM_MINSTACK;
    VmDebug ar;
    memset(&ar, 0, sizeof(ar));
    ar.event = event;
    ar.currentline = line;
    ar.i_ci = (int)(state->ci - state->baseCi);
    state->allowHook = 0;
    hook(state, &ar);
    state->allowHook = 1;
    state->ci->top = VmRestoreStack(state, ciTop);
    state->top = VmRestoreStack(state, top);
}

// ---------------------------------------------------------------------------------------------
// Calls

// Replaces a non-function at func by its "__call" handler, shifting the arguments up so that the
// called value becomes the first argument.
VmValue* VmResolveCallable(VmState* state, VmValue* func) {
    if (func->tt == VM_TFUNCTION) return func;
    const VmValue* handler = VmGetEventOf(state, func, VM_EV_CALL);
    if (!handler || handler->tt != VM_TFUNCTION) VmRaiseTypeErrorValue(state, func, ERR_FUNCDECLA, "()");
    VmValue h = *handler;
    ptrdiff_t funcr = VmSaveStack(state, func);
    VmCheckStackRoom(state, 1);
    func = VmRestoreStack(state, funcr);
    for (VmValue* p = state->top; p > func; p--) p[0] = p[-1];
    state->top++;
    *func = h;
    return func;
}

static void AdjustVarargs(VmState* state, VmProto* p, VmValue* base, int nargs) {
    int nfixed = p->numparams;
    for (; nargs < nfixed; nargs++) VmSetValueNil(state->top++);
    int nextra = nargs - nfixed;
    VmTable* t = VmNewTableObject(state, nextra > 1 ? nextra - 1 : 0, 1);
    VmValue* extra = base + nfixed;
    for (int i = 0; i < nextra; i++) *VmTableSetInt(state, t, i) = extra[i];
    VmSetValueNumber(VmTableSetString(state, t, VmInternCString(state, "n")), nextra);
    VmSetValueTable(&extra[0], t);
    state->top = extra + 1;
}

static void TraceCall(VmState* state, VmValue* func, int nargs);

int VmPreCall(VmState* state, VmValue* func, int nresults) {
    if (func->tt != VM_TFUNCTION) func = VmResolveCallable(state, func);
    VmClosure* cl = VmClosureValue(func);
    if (cl->isC) return VmCallC(state, func, nresults);
    ptrdiff_t funcr = VmSaveStack(state, func);
    if (state->ci->state & VM_CI_SCRIPT) state->ci->state |= VM_CI_SAVEDPC;
    VmProto* p = static_cast<VmScriptClosure*>(cl)->p;
    VmCheckStackRoom(state, p->maxStackSize + 1);
    func = VmRestoreStack(state, funcr);
    VmValue* base = func + 1;
    int nargs = (int)(state->top - base);
    if (p->isVararg) {
        AdjustVarargs(state, p, base, nargs);
        func = VmRestoreStack(state, funcr);
        base = func + 1;
    }
    VmPushScriptFrame(state, base, p, nresults);
    if (state->hookMask & VM_MASKCALL) {
        state->ci->savedpc++;  // hooks see the first instruction as current
        VmCallHook(state, VM_HOOKCALL, -1);
        state->ci->savedpc--;
    }
    return VM_PRECALL_SCRIPT;
}

int VmCallC(VmState* state, VmValue* func, int nresults) {
    ptrdiff_t funcr = VmSaveStack(state, func);
    if (state->ci->state & VM_CI_SCRIPT) state->ci->state |= VM_CI_SAVEDPC;
    VmCheckStackRoom(state, VM_MINSTACK);
    func = VmRestoreStack(state, funcr);
    VmCallInfo* ci = state->ci != state->endCi ? ++state->ci : VmGrowCallInfo(state);
    ci->base = func + 1;
    ci->top = state->top + VM_MINSTACK;
    ci->state = VM_CI_C;
    ci->savedpc = nullptr;
    ci->k = nullptr;
    ci->tailcalls = 0;
    ci->nresults = nresults;
    state->base = ci->base;
    if (state->hookMask & VM_MASKCALL) VmCallHook(state, VM_HOOKCALL, -1);
    VmCClosure* command = static_cast<VmCClosure*>(VmClosureValue(func));
    if (vmRuntime.callTrace && !vmRuntime.quitFlag.load(std::memory_order_relaxed))
        TraceCall(state, VmRestoreStack(state, funcr), (int)(state->top - state->base));
    return VmFinishCCall(state, VmRunCommand(state, command));
}

int VmFinishCCall(VmState* state, int n) {
    bool isResult = VmIsResultCount(n);
    bool isLabel = VmIsLabelJump(n);
    if (!isResult && !isLabel && vmRuntime.callUserErrorHandler && vmRuntime.userErrorHandlerInstalled &&
        vmRuntime.callbackDepth == 0 && !vmRuntime.inUserErrorHandler && vmRuntime.userErrorHandlerInstalled(state)) {
        struct Guard {
            Guard() { vmRuntime.inUserErrorHandler = true; }
            ~Guard() { vmRuntime.inUserErrorHandler = false; }
        } guard;
        n = vmRuntime.callUserErrorHandler(state, n);
        isResult = VmIsResultCount(n);
        isLabel = VmIsLabelJump(n);
    }
    if (isLabel) {
        // No results; the interpreter continues at the label.
        state->top = state->base;
        VmPostCall(state, state->top);
        return n == VM_RESULT_LABEL_JUMP ? VM_PRECALL_LABEL : VM_PRECALL_LABEL2;
    }
    if (!isResult) {
        int (*signal)(VmState*, int) = vmRuntime.signalError ? vmRuntime.signalError : VmDefaultSignalError;
        signal(state, n);
        n = 0;
        state->top = state->base;
    }
    // A handler cannot return more values than it pushed.
    if (n > state->top - state->base) n = (int)(state->top - state->base);
    VmPostCall(state, state->top - n);
    return VM_PRECALL_C;
}

VmValue* VmReturnHook(VmState* state, VmValue* firstResult) {
    ptrdiff_t fr = VmSaveStack(state, firstResult);
    VmCallHook(state, VM_HOOKRET, -1);
    return VmRestoreStack(state, fr);
}

void VmCallValue(VmState* state, VmValue* func, int nresults) {
    if (++state->nCcalls >= VM_MAXCCALLS) {
        if (state->nCcalls == VM_MAXCCALLS)
            VmRaiseError(state, ERR_STACK);
        else if (state->nCcalls >= VM_MAXCCALLS_HARD)
            VmThrow(state, ERR_STACK);
    }
    // The results are placed from func upward, padded with nil: the stack must hold them even
    // when more are wanted than the caller's frame has room for (a generic for with many loop
    // variables, a C caller asking for many results).
    ptrdiff_t missing = (ptrdiff_t)nresults - (state->top - func);
    if (missing > 0) {
        ptrdiff_t funcr = VmSaveStack(state, func);
        VmCheckStackRoom(state, (int)missing);
        func = VmRestoreStack(state, funcr);
    }
    int r = VmPreCall(state, func, nresults);
    if (r == VM_PRECALL_SCRIPT) {
        state->ci->state |= VM_CI_FROMC;
        VmExecute(state);
    } else if (r == VM_PRECALL_LABEL || r == VM_PRECALL_LABEL2) {
        // A label jump needs the main chunk's interpreter; from a C caller there is none.
        VmRaiseError(state, ERR_FUNCJMP);
    }
    state->nCcalls--;
    VmGcCheck(state);
}

// ---------------------------------------------------------------------------------------------
// Protected calls

struct CallArgs {
    ptrdiff_t func;
    int nresults;
};

static void CallBody(VmState* state, void* ud) {
    CallArgs* a = static_cast<CallArgs*>(ud);
    VmCallValue(state, VmRestoreStack(state, a->func), a->nresults);
}

// After an error: closes the upvalues above top and puts the call frame, the stack top, the
// C-call depth and the hook permission back to what they were.
static void RestoreFrame(VmState* state, VmValue* top, ptrdiff_t oldCi, int oldCcalls, uint8_t oldAllowHook) {
    VmCloseUpvalues(state, top);
    state->ci = state->baseCi + oldCi;
    state->base = state->ci->base;
    state->top = top;
    state->nCcalls = oldCcalls;
    state->allowHook = oldAllowHook;
}

int VmProtectedCallAt(VmState* state, ptrdiff_t funcOffset, int nresults) {
    ptrdiff_t oldCi = state->ci - state->baseCi;
    int oldCcalls = state->nCcalls;
    uint8_t oldAllowHook = state->allowHook;
    CallArgs args{funcOffset, nresults};
    int status = VmRunProtected(state, CallBody, &args);
    if (status != 0) {
        RestoreFrame(state, VmRestoreStack(state, funcOffset), oldCi, oldCcalls, oldAllowHook);
        if (state->sizeCi > VM_MAXCALLS && oldCi < VM_MAXCALLS) VmResizeCallInfo(state, VM_MAXCALLS);
        // Shrink a stack that a deep failed call left far larger than what is in use.
        VmValue* lim = state->top;
        for (VmCallInfo* ci = state->baseCi; ci <= state->ci; ci++)
            if (lim < ci->top) lim = ci->top;
        int used = (int)(lim - state->stack);
        if (state->stackSize > 2 * VM_BASIC_STACK && 4 * used < state->stackSize) {
            int newSize = 2 * used + VM_EXTRA_STACK + 1;
            if (newSize < VM_BASIC_STACK) newSize = VM_BASIC_STACK;
            VmResizeStack(state, newSize);
        }
    }
    return status;
}

namespace {

struct InFrameCall {
    int (*fn)(VmState* state, void* data);
    void* data;
    int result;
};

void InFrameBody(VmState* state, void* ud) {
    InFrameCall* call = static_cast<InFrameCall*>(ud);
    call->result = call->fn(state, call->data);
}

}  // namespace

int VmCallInFrameProtected(VmState* state, int (*fn)(VmState* state, void* data), void* data, int* result) {
    ptrdiff_t oldCi = state->ci - state->baseCi;
    ptrdiff_t oldTop = VmSaveStack(state, state->top);
    int oldCcalls = state->nCcalls;
    uint8_t oldAllowHook = state->allowHook;
    InFrameCall call{fn, data, 0};
    int status = VmRunProtected(state, InFrameBody, &call);
    if (status != 0) {
        RestoreFrame(state, VmRestoreStack(state, oldTop), oldCi, oldCcalls, oldAllowHook);
    } else if (result) {
        *result = call.result;
    }
    return status;
}

// ---------------------------------------------------------------------------------------------
// Call trace

static void TraceCall(VmState* state, VmValue* func, int nargs) {
    void (*print)(const char*) = vmRuntime.consolePrint;
    if (!print) return;
    char buf[64];
    const char* name = VmCalledFunctionName(state, state->ci);
    VmValue* args = func + 1;
    // Names and string arguments are printed whole, in their own pieces.
    if (name) {
        print("Now calling ");
        print(name);
    } else if (nargs == 2 && args[1].tt == VM_TSTRING) {
        print("Now trying to find metamethod ");
        print(VmStringData(VmStringValue(&args[1])));
    } else {
        print("Now calling <unknown>");
    }
    print("() with arguments ");
    for (int i = 0; i < nargs; i++) {
        const VmValue* v = &args[i];
        switch (v->tt) {
        case VM_TNIL: snprintf(buf, sizeof(buf), "#%d=(NIL) ", i + 1); break;
        case VM_TNUMBER:
            if (std::isnan(v->value.n))
                snprintf(buf, sizeof(buf), "#%d=(NUMBER)nan ", i + 1);
            else
                snprintf(buf, sizeof(buf), "#%d=(NUMBER)%g ", i + 1, v->value.n);
            break;
        case VM_TSTRING:
            snprintf(buf, sizeof(buf), "#%d=(STRING)\"", i + 1);
            print(buf);
            print(VmStringData(VmStringValue(v)));
            snprintf(buf, sizeof(buf), "\" ");
            break;
        case VM_TTABLE: snprintf(buf, sizeof(buf), "#%d=(TABLE)%p ", i + 1, (void*)v->value.gc); break;
        case VM_TFUNCTION: snprintf(buf, sizeof(buf), "#%d=(FUNCPTR)%p ", i + 1, (void*)v->value.gc); break;
        default: snprintf(buf, sizeof(buf), "#%d=(INTERNAL)%d ", i + 1, v->tt); break;
        }
        print(buf);
    }
    print("\n");
}
