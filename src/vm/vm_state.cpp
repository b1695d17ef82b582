// Per-thread states, the shared global state, stacks, call-info arrays and upvalue cells.
#include "vm/vm_state.h"

#include <cstdlib>

#include "vm/vm_do.h"
#include "vm/vm_gc.h"
#include "vm/vm_string.h"
#include "vm/vm_table.h"

static void InitStack(VmState* thread, VmState* state) {
    thread->stack = VmNewArray<VmValue>(state, VM_BASIC_STACK);
    thread->stackSize = VM_BASIC_STACK;
    for (int i = 0; i < VM_BASIC_STACK; i++) VmSetValueNil(&thread->stack[i]);
    thread->stackLast = thread->stack + VM_BASIC_STACK - 1 - VM_EXTRA_STACK;
    thread->baseCi = VmNewArray<VmCallInfo>(state, VM_BASIC_CI);
    memset(static_cast<void*>(thread->baseCi), 0, sizeof(VmCallInfo) * VM_BASIC_CI);
    thread->sizeCi = VM_BASIC_CI;
    thread->endCi = thread->baseCi + VM_BASIC_CI - 1;
    thread->ci = thread->baseCi;
    // Slot 0 stands for the function of the base frame.
    thread->top = thread->stack + 1;
    thread->base = thread->top;
    thread->ci->base = thread->top;
    thread->ci->top = thread->top + VM_MINSTACK;
    thread->ci->state = VM_CI_C;
    thread->ci->nresults = VM_MULTRET;
}

static void FreeStack(VmState* state, VmState* thread) {
    if (thread->baseCi) VmFreeArray(state, thread->baseCi, (size_t)thread->sizeCi);
    if (thread->stack) VmFreeArray(state, thread->stack, (size_t)thread->stackSize);
    thread->baseCi = nullptr;
    thread->stack = nullptr;
}

static void InitThreadFields(VmState* thread, VmGlobalState* g) {
    thread->g = g;
    thread->stack = nullptr;
    thread->baseCi = nullptr;
    thread->stackSize = 0;
    thread->sizeCi = 0;
    thread->nCcalls = 0;
    thread->hookMask = 0;
    thread->allowHook = 1;
    thread->hookInit = 0;
    thread->baseHookCount = 0;
    thread->hookCount = 0;
    thread->hook = nullptr;
    VmSetValueNil(&thread->globals);
    thread->openUpval = nullptr;
    thread->gclist = nullptr;
    thread->errorJmp = nullptr;
    thread->errfunc = 0;
}

// ---------------------------------------------------------------------------------------------
// Stack and call-info growth

void VmResizeStack(VmState* state, int newSize) {
    VmValue* oldStack = state->stack;
    int oldSize = state->stackSize;
    VmValue* newStack = VmNewArray<VmValue>(state, (size_t)newSize);
    int keep = oldSize < newSize ? oldSize : newSize;
    memcpy(static_cast<void*>(newStack), oldStack, sizeof(VmValue) * (size_t)keep);
    for (int i = keep; i < newSize; i++) VmSetValueNil(&newStack[i]);
    // Relocate every pointer into the stack.
    auto move = [&](VmValue* p) { return newStack + (p - oldStack); };
    state->top = move(state->top);
    state->base = move(state->base);
    for (VmCallInfo* ci = state->baseCi; ci <= state->ci; ci++) {
        ci->base = move(ci->base);
        ci->top = move(ci->top);
    }
    for (VmObject* o = state->openUpval; o; o = o->next) {
        VmUpvalue* uv = static_cast<VmUpvalue*>(o);
        uv->v = move(uv->v);
    }
    state->stack = newStack;
    state->stackSize = newSize;
    state->stackLast = newStack + newSize - 1 - VM_EXTRA_STACK;
    VmFreeArray(state, oldStack, (size_t)oldSize);
}

void VmGrowStack(VmState* state, int n) {
    if (n <= state->stackSize)
        VmResizeStack(state, 2 * state->stackSize);
    else
        VmResizeStack(state, state->stackSize + n + VM_EXTRA_STACK);
}

void VmResizeCallInfo(VmState* state, int newSize) {
    ptrdiff_t current = state->ci - state->baseCi;
    VmCallInfo* newCi = VmNewArray<VmCallInfo>(state, (size_t)newSize);
    int keep = state->sizeCi < newSize ? state->sizeCi : newSize;
    memcpy(static_cast<void*>(newCi), state->baseCi, sizeof(VmCallInfo) * (size_t)keep);
    if (newSize > keep) memset(static_cast<void*>(newCi + keep), 0, sizeof(VmCallInfo) * (size_t)(newSize - keep));
    VmFreeArray(state, state->baseCi, (size_t)state->sizeCi);
    state->baseCi = newCi;
    state->sizeCi = newSize;
    state->ci = newCi + current;
    state->endCi = newCi + newSize - 1;
}

VmCallInfo* VmGrowCallInfo(VmState* state) {
    if (state->ci == state->endCi) {
        if (state->sizeCi >= VM_MAXCALLS) VmRaiseError(state, ERR_STACK);
        VmResizeCallInfo(state, 2 * state->sizeCi);
    }
    return ++state->ci;
}

// ---------------------------------------------------------------------------------------------
// Upvalue cells

VmUpvalue* VmFindUpvalueCell(VmState* state, VmValue* level) {
    VmUpvalue* prev = nullptr;
    VmUpvalue* p = state->openUpval;
    while (p && p->v >= level) {
        if (p->v == level) return p;
        prev = p;
        p = static_cast<VmUpvalue*>(p->next);
    }
    VmUpvalue* uv = static_cast<VmUpvalue*>(VmNewObjectBlock(state, sizeof(VmUpvalue)));
    uv->tt = VM_TUPVAL;
    uv->marked = 0;
    uv->v = level;
    VmSetValueNil(&uv->value);
    uv->next = p;
    if (prev)
        prev->next = uv;
    else
        state->openUpval = uv;
    return uv;
}

void VmCloseUpvalues(VmState* state, VmValue* level) {
    VmUpvalue* p;
    while ((p = state->openUpval) != nullptr && p->v >= level) {
        p->value = *p->v;
        p->v = &p->value;
        state->openUpval = static_cast<VmUpvalue*>(p->next);
        VmLinkObject(state, p, VM_TUPVAL);
    }
}

// ---------------------------------------------------------------------------------------------
// Threads

VmState* VmNewThreadState(VmState* state) {
    VmState* thread = static_cast<VmState*>(VmRealloc(state, nullptr, 0, sizeof(VmState)));
    memset(static_cast<void*>(thread), 0, sizeof(VmState));
    InitThreadFields(thread, state->g);
    thread->globals = state->globals;
    // Link before building the stack so that a failure leaves nothing unreachable behind.
    VmLinkObject(state, thread, VM_TTHREAD);
    InitStack(thread, state);
    return thread;
}

void VmFreeThread(VmState* state, VmState* thread) {
    VmCloseUpvalues(thread, thread->stack);
    FreeStack(state, thread);
    VmRealloc(state, thread, sizeof(VmState), 0);
}

// ---------------------------------------------------------------------------------------------
// Opening and closing the VM

static void OpenBody(VmState* state, void*) {
    VmGlobalState* g = state->g;
    InitStack(state, state);
    VmResizeStringTable(state, 32);
    // The default metatable: an empty table whose metatable is itself.
    VmTable* meta = VmNewTableObject(state, 0, 0);
    meta->metatable = meta;
    g->defaultMeta = meta;
    VmSetValueTable(&state->globals, VmNewTableObject(state, 0, 4));
    VmSetValueTable(&g->registry, VmNewTableObject(state, 4, 4));
    for (int i = 0; i < VM_NUM_EVENTS; i++) {
        g->eventNames[i] = VmInternCString(state, vmEventNames[i]);
        VmFixString(g->eventNames[i]);
    }
    g->memoryMessage = VmInternCString(state, "not enough memory");
    VmFixString(g->memoryMessage);
    g->gcThreshold = 4 * g->nblocks;
}

VmState* VmOpen() {
    VmState* state = static_cast<VmState*>(VmRealloc(nullptr, nullptr, 0, sizeof(VmState)));
    if (!state) return nullptr;
    VmGlobalState* g = static_cast<VmGlobalState*>(VmRealloc(nullptr, nullptr, 0, sizeof(VmGlobalState)));
    if (!g) {
        VmRealloc(nullptr, state, sizeof(VmState), 0);
        return nullptr;
    }
    memset(static_cast<void*>(state), 0, sizeof(VmState));
    memset(static_cast<void*>(g), 0, sizeof(VmGlobalState));
    state->tt = VM_TTHREAD;
    state->marked = 0;
    InitThreadFields(state, g);
    g->mainthread = state;
    g->nblocks = sizeof(VmState) + sizeof(VmGlobalState);
    g->gcThreshold = VM_GC_UNLIMITED;  // no collection while opening
    VmSetValueNil(&g->registry);
    VmSetValueNil(&g->dummynode[0].key);
    VmSetValueNil(&g->dummynode[0].val);
    g->dummynode[0].next = nullptr;
    if (VmRunProtected(state, OpenBody, nullptr) != 0) {
        VmCloseState(state);
        return nullptr;
    }
    return state;
}

void VmCloseState(VmState* state) {
    state = state->g->mainthread;
    VmGlobalState* g = state->g;
    if (state->stack) VmCloseUpvalues(state, state->stack);
    VmFreeAllObjects(state);
    if (g->strt.slots) VmFreeArray(state, g->strt.slots, (size_t)g->strt.size);
    if (g->buffer) VmRealloc(state, g->buffer, g->buffsize, 0);
    VmSmallFreeAll(g);
    FreeStack(state, state);
    free(g);
    free(state);
}
