// The C interface: the stack of values that command handlers see, calls, tables and metatables.
#include <climits>
#include <cstdio>
#include <string>

#include "vm/vm.h"
#include "vm/vm_debug.h"
#include "vm/vm_do.h"
#include "vm/vm_gc.h"
#include "vm/vm_meta.h"
#include "vm/vm_object.h"
#include "vm/vm_state.h"
#include "vm/vm_table.h"
#include "vm/vm_value.h"

// ---------------------------------------------------------------------------------------------
// Index resolution

static VmValue* UpvalueAddress(VmState* state, int n) {
    VmClosure* cl = state->ci > state->baseCi ? VmFrameClosure(state->ci) : nullptr;
    if (!cl || !cl->isC || n < 1 || n > cl->nupvalues) return nullptr;
    return &VmCClosureUpvalues(static_cast<VmCClosure*>(cl))[n - 1];
}

VmValue* VmIndexToAddress(VmState* state, int index) {
    if (index > 0) {
        VmValue* o = state->base + (index - 1);
        return o < state->top ? o : nullptr;
    }
    if (index > VM_REGISTRYINDEX) {
        if (index == 0 || -(ptrdiff_t)index > state->top - state->base) return nullptr;
        return state->top + index;
    }
    if (index == VM_REGISTRYINDEX) return &state->g->registry;
    if (index == VM_GLOBALSINDEX) return &state->globals;
    return UpvalueAddress(state, VM_GLOBALSINDEX - index);
}

// A stack slot of the frame (not a pseudo-index); raises ERR_STACK otherwise.
static VmValue* StackSlot(VmState* state, int index) {
    VmValue* o = nullptr;
    if (index > 0 || (index < 0 && index > VM_REGISTRYINDEX)) o = VmIndexToAddress(state, index);
    if (!o) VmRaiseError(state, ERR_STACK);
    return o;
}

// An existing value at any index; raises ERR_STACK when the index names none.
static VmValue* ValueAt(VmState* state, int index) {
    VmValue* o = VmIndexToAddress(state, index);
    if (!o) VmRaiseError(state, ERR_STACK);
    return o;
}

static VmTable* TableAt(VmState* state, int index) {
    VmValue* o = ValueAt(state, index);
    if (o->tt != VM_TTABLE) VmRaiseError(state, ERR_STACK);
    return VmTableValue(o);
}

// Requires n values in the frame.
static void NeedValues(VmState* state, int n) {
    if (state->top - state->base < n) VmRaiseError(state, ERR_STACK);
}

void VmPushRaw(VmState* state, const VmValue* v) {
    if (state->top >= state->ci->top) VmRaiseError(state, ERR_STACK);
    *state->top++ = *v;
}

// ---------------------------------------------------------------------------------------------
// Stack manipulation

int VmGetTop(VmState* state) { return (int)(state->top - state->base); }

void VmSetTop(VmState* state, int index) {
    if (index >= 0) {
        if (index > state->ci->top - state->base) VmRaiseError(state, ERR_STACK);
        VmValue* newTop = state->base + index;
        while (state->top < newTop) VmSetValueNil(state->top++);
        state->top = newTop;
    } else {
        if (-(ptrdiff_t)(index + 1) > state->top - state->base) VmRaiseError(state, ERR_STACK);
        state->top += index + 1;
    }
}

void VmPushValue(VmState* state, int index) {
    const VmValue* o = VmIndexToAddress(state, index);
    VmPushRaw(state, o ? o : &vmNilObject);
}

void VmRemove(VmState* state, int index) {
    VmValue* p = StackSlot(state, index);
    while (++p < state->top) p[-1] = p[0];
    state->top--;
}

void VmInsert(VmState* state, int index) {
    VmValue* p = StackSlot(state, index);
    VmValue v = state->top[-1];
    for (VmValue* q = state->top - 1; q > p; q--) q[0] = q[-1];
    *p = v;
}

void VmReplace(VmState* state, int index) {
    NeedValues(state, 1);
    VmValue* o = ValueAt(state, index);
    VmValue v = state->top[-1];
    if (index == VM_GLOBALSINDEX && v.tt != VM_TTABLE) VmRaiseError(state, ERR_STACK);
    *o = v;
    state->top--;
}

int VmCheckStack(VmState* state, int n) {
    if ((state->top - state->base) + n > VM_MAXCSTACK) return 0;
    if (n <= 0) return 1;
    VmCheckStackRoom(state, n);
    if (state->ci->top < state->top + n) state->ci->top = state->top + n;
    return 1;
}

void VmMoveValues(VmState* from, VmState* to, int n) {
    if (n <= 0) return;
    NeedValues(from, n);
    if (to->ci->top - to->top < n) VmRaiseError(to, ERR_STACK);
    from->top -= n;
    for (int i = 0; i < n; i++) *to->top++ = from->top[i];
}

// ---------------------------------------------------------------------------------------------
// Reading values

int VmType(VmState* state, int index) {
    const VmValue* o = VmIndexToAddress(state, index);
    return o ? o->tt : VM_TNONE;
}

const char* VmTypeName(VmState* state, int tag) {
    static const char* const names[] = {"nil",   "boolean",  "userdata", "number", "string",
                                        "table", "function", "userdata", "thread"};
    if (tag == VM_TNONE) return "no value";
    if (tag < 0 || tag > VM_TTHREAD) return "?";
    return names[tag];
}

int VmIsNumber(VmState* state, int index) {
    const VmValue* o = VmIndexToAddress(state, index);
    double n;
    return o && VmToNumberValue(o, &n);
}

int VmIsString(VmState* state, int index) {
    int t = VmType(state, index);
    return t == VM_TSTRING || t == VM_TNUMBER;
}

int VmIsCFunction(VmState* state, int index) {
    const VmValue* o = VmIndexToAddress(state, index);
    return o && o->tt == VM_TFUNCTION && VmClosureValue(o)->isC;
}

int VmIsUserdata(VmState* state, int index) {
    int t = VmType(state, index);
    return t == VM_TUSERDATA || t == VM_TLIGHTUSERDATA;
}

double VmToNumber(VmState* state, int index) {
    const VmValue* o = VmIndexToAddress(state, index);
    double n;
    return (o && VmToNumberValue(o, &n)) ? n : 0;
}

int VmToBoolean(VmState* state, int index) {
    const VmValue* o = VmIndexToAddress(state, index);
    if (!o || o->tt == VM_TNIL) return 0;
    if (o->tt == VM_TBOOLEAN) return o->value.b != 0;
    return 1;
}

// The string at index, converting a number in place; null for other types.
static VmString* StringAt(VmState* state, int index) {
    VmValue* o = VmIndexToAddress(state, index);
    if (!o) return nullptr;
    if (o->tt == VM_TNUMBER) {
        VmGcCheck(state);
        o = VmIndexToAddress(state, index);
        VmNumberToString(state, o);
    }
    return o->tt == VM_TSTRING ? VmStringValue(o) : nullptr;
}

const char* VmToString(VmState* state, int index) {
    VmString* s = StringAt(state, index);
    return s ? VmStringData(s) : nullptr;
}

size_t VmStrLen(VmState* state, int index) {
    VmString* s = StringAt(state, index);
    return s ? s->len : 0;
}

VmCFunction VmToCFunction(VmState* state, int index) {
    const VmValue* o = VmIndexToAddress(state, index);
    if (!o || o->tt != VM_TFUNCTION || !VmClosureValue(o)->isC) return nullptr;
    return static_cast<VmCClosure*>(VmClosureValue(o))->f;
}

void* VmToUserdata(VmState* state, int index) {
    const VmValue* o = VmIndexToAddress(state, index);
    if (!o) return nullptr;
    if (o->tt == VM_TUSERDATA) return VmUserdataData(VmUserdataValue(o));
    if (o->tt == VM_TLIGHTUSERDATA) return o->value.p;
    return nullptr;
}

VmState* VmToThread(VmState* state, int index) {
    const VmValue* o = VmIndexToAddress(state, index);
    return (o && o->tt == VM_TTHREAD) ? VmThreadValue(o) : nullptr;
}

const void* VmToPointer(VmState* state, int index) {
    const VmValue* o = VmIndexToAddress(state, index);
    if (!o) return nullptr;
    switch (o->tt) {
    case VM_TTABLE:
    case VM_TFUNCTION:
    case VM_TTHREAD: return o->value.gc;
    case VM_TUSERDATA:
    case VM_TLIGHTUSERDATA: return VmToUserdata(state, index);
    default: return nullptr;
    }
}

int VmRawEqual(VmState* state, int index1, int index2) {
    const VmValue* a = VmIndexToAddress(state, index1);
    const VmValue* b = VmIndexToAddress(state, index2);
    return a && b && VmRawEqualValues(a, b);
}

int VmEqual(VmState* state, int index1, int index2) {
    const VmValue* a = VmIndexToAddress(state, index1);
    const VmValue* b = VmIndexToAddress(state, index2);
    if (!a || !b || a->tt != b->tt) return 0;
    return VmEqualValues(state, a, b);
}

int VmLessThan(VmState* state, int index1, int index2, int caseSensitive) {
    const VmValue* a = VmIndexToAddress(state, index1);
    const VmValue* b = VmIndexToAddress(state, index2);
    if (!a || !b) return 0;
    return VmLessThanValues(state, a, b, caseSensitive != 0);
}

// ---------------------------------------------------------------------------------------------
// Pushing values

void VmPushNil(VmState* state) { VmPushRaw(state, &vmNilObject); }

void VmPushNumber(VmState* state, double n) {
    VmValue v;
    VmSetValueNumber(&v, n);
    VmPushRaw(state, &v);
}

void VmPushBoolean(VmState* state, int b) {
    VmValue v;
    VmSetValueBoolean(&v, b);
    VmPushRaw(state, &v);
}

void VmPushLightUserdata(VmState* state, void* p) {
    VmValue v;
    VmSetValueLight(&v, p);
    VmPushRaw(state, &v);
}

static void PushString(VmState* state, VmString* s) {
    VmValue v;
    VmSetValueString(&v, s);
    VmPushRaw(state, &v);
}

void VmPushLString(VmState* state, const char* s, size_t len) {
    VmGcCheck(state);
    PushString(state, VmInternString(state, s, len));
}

void VmPushString(VmState* state, const char* s) {
    if (!s)
        VmPushNil(state);
    else
        VmPushLString(state, s, strlen(s));
}

void VmPushStringNoGc(VmState* state, const char* s) {
    if (!s)
        VmPushNil(state);
    else
        PushString(state, VmInternString(state, s, strlen(s)));
}

const char* VmPushVFString(VmState* state, const char* format, va_list args) {
    std::string text;
    char buf[64];
    for (const char* p = format; *p; p++) {
        if (*p != '%') {
            text += *p;
            continue;
        }
        p++;
        switch (*p) {
        case 's': {
            const char* s = va_arg(args, const char*);
            text += s ? s : "(null)";
            break;
        }
        case 'd':
            VmFormatNumber((double)va_arg(args, int), buf);
            text += buf;
            break;
        case 'f':
            VmFormatNumber(va_arg(args, double), buf);
            text += buf;
            break;
        case 'c': text += (char)va_arg(args, int); break;
        case '%': text += '%'; break;
        case '\0': p--; break;
        default:
            // Other directives produce nothing.
            break;
        }
    }
    VmPushLString(state, text.data(), text.size());
    return VmStringData(VmStringValue(state->top - 1));
}

const char* VmPushFString(VmState* state, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const char* s = VmPushVFString(state, format, args);
    va_end(args);
    return s;
}

void VmPushCClosure(VmState* state, VmCFunction fn, int n) {
    if (n < 0 || n > 255) VmRaiseError(state, ERR_STACK);
    NeedValues(state, n);
    VmGcCheck(state);
    VmCClosure* cl = VmNewCClosure(state, fn, n);
    state->top -= n;
    VmValue* up = VmCClosureUpvalues(cl);
    for (int i = 0; i < n; i++) up[i] = state->top[i];
    VmValue v;
    VmSetValueClosure(&v, cl);
    VmPushRaw(state, &v);
}

void VmPushCommandClosure(VmState* state, VmCFunction fn, int n, int minArgs, int maxArgs) {
    VmPushCClosure(state, fn, n);
    VmCClosure* cl = static_cast<VmCClosure*>(VmClosureValue(state->top - 1));
    cl->minArgs = static_cast<int16_t>(minArgs < 0 ? -1 : minArgs);
    cl->maxArgs = static_cast<int16_t>(maxArgs);
}

static void PushTable(VmState* state, VmTable* t) {
    VmValue v;
    VmSetValueTable(&v, t);
    VmPushRaw(state, &v);
}

void VmNewTable(VmState* state) {
    VmGcCheck(state);
    PushTable(state, VmNewTableObject(state, 0, 0));
}

void VmNewTableNoGc(VmState* state) { PushTable(state, VmNewTableObject(state, 0, 0)); }

void VmCreateTable(VmState* state, int narray, int log2Nodes) {
    VmGcCheck(state);
    PushTable(state, VmNewTableObject(state, narray, log2Nodes));
}

void* VmNewUserdata(VmState* state, size_t size) {
    VmGcCheck(state);
    VmUserdata* u = VmNewUserdataObject(state, size);
    VmValue v;
    VmSetValueUserdata(&v, u);
    VmPushRaw(state, &v);
    return VmUserdataData(u);
}

VmState* VmNewThread(VmState* state) {
    VmGcCheck(state);
    VmState* thread = VmNewThreadState(state);
    VmValue v;
    VmSetValueThread(&v, thread);
    VmPushRaw(state, &v);
    return thread;
}

VmPanicFunction VmAtPanic(VmState* state, VmPanicFunction panic) {
    VmPanicFunction old = state->g->panic;
    state->g->panic = panic;
    return old;
}

// ---------------------------------------------------------------------------------------------
// Tables and metatables

void VmGetTable(VmState* state, int index) {
    NeedValues(state, 1);
    const VmValue* t = VmIndexToAddress(state, index);
    VmValue res;
    VmGetTableValue(state, t ? t : &vmNilObject, state->top - 1, &res, VM_GET_PLAIN);
    state->top[-1] = res;
}

void VmRawGet(VmState* state, int index) {
    NeedValues(state, 1);
    VmTable* t = TableAt(state, index);
    state->top[-1] = *VmTableGet(t, state->top - 1);
}

void VmRawGetI(VmState* state, int index, int n) {
    VmTable* t = TableAt(state, index);
    VmPushRaw(state, VmTableGetInt(t, n));
}

void VmSetTable(VmState* state, int index) {
    NeedValues(state, 2);
    const VmValue* t = VmIndexToAddress(state, index);
    VmSetTableValue(state, t ? t : &vmNilObject, state->top - 2, state->top - 1);
    state->top -= 2;
}

void VmRawSet(VmState* state, int index) {
    NeedValues(state, 2);
    VmTable* t = TableAt(state, index);
    *VmTableSet(state, t, state->top - 2) = state->top[-1];
    state->top -= 2;
}

void VmRawSetI(VmState* state, int index, int n) {
    NeedValues(state, 1);
    VmTable* t = TableAt(state, index);
    *VmTableSetInt(state, t, n) = state->top[-1];
    state->top--;
}

int VmNext(VmState* state, int index) {
    NeedValues(state, 1);
    VmTable* t = TableAt(state, index);
    if (state->top >= state->ci->top) VmRaiseError(state, ERR_STACK);
    if (VmTableNext(state, t, state->top - 1, state->top)) {
        state->top++;
        return 1;
    }
    state->top--;
    return 0;
}

static VmTable** MetatableSlot(VmValue* o) {
    if (o->tt == VM_TTABLE) return &VmTableValue(o)->metatable;
    if (o->tt == VM_TUSERDATA) return &VmUserdataValue(o)->metatable;
    return nullptr;
}

int VmGetMetatable(VmState* state, int index) {
    VmValue* o = VmIndexToAddress(state, index);
    VmTable** slot = o ? MetatableSlot(o) : nullptr;
    if (!slot || !*slot || *slot == state->g->defaultMeta) return 0;
    PushTable(state, *slot);
    return 1;
}

int VmSetMetatable(VmState* state, int index) {
    NeedValues(state, 1);
    VmValue* o = VmIndexToAddress(state, index);
    VmValue mt = state->top[-1];
    state->top--;
    VmTable** slot = o ? MetatableSlot(o) : nullptr;
    if (!slot) return 0;
    if (mt.tt == VM_TNIL)
        *slot = state->g->defaultMeta;
    else if (mt.tt == VM_TTABLE)
        *slot = VmTableValue(&mt);
    else
        return 0;
    return 1;
}

void VmGetFunctionGlobals(VmState* state, int index) {
    const VmValue* o = VmIndexToAddress(state, index);
    if (o && o->tt == VM_TFUNCTION) {
        VmClosure* cl = VmClosureValue(o);
        VmPushRaw(state, cl->isC ? &state->globals : &static_cast<VmScriptClosure*>(cl)->globals);
    } else {
        VmPushNil(state);
    }
}

int VmSetFunctionGlobals(VmState* state, int index) {
    NeedValues(state, 1);
    VmValue* o = VmIndexToAddress(state, index);
    VmValue g = state->top[-1];
    state->top--;
    if (!o || o->tt != VM_TFUNCTION || g.tt != VM_TTABLE) return 0;
    VmClosure* cl = VmClosureValue(o);
    if (cl->isC) return 0;
    static_cast<VmScriptClosure*>(cl)->globals = g;
    return 1;
}

void VmConcat(VmState* state, int n) {
    if (n < 0) VmRaiseError(state, ERR_STACK);
    NeedValues(state, n);
    if (n >= 2) {
        VmGcCheck(state);
        VmConcatValues(state, n, VmSaveStack(state, state->top - 1));
        state->top -= n - 1;
    } else if (n == 0) {
        VmPushLString(state, "", 0);
    }
}

int VmJoinItems(VmState* state, int index, int32_t start, int32_t end, const char* sep, size_t sepLength,
                int32_t* badKey) {
    VmTable* t = TableAt(state, index);
    VmGcCheck(state);
    VmString* s = VmJoinTableItems(state, t, start, end, sep, sepLength, badKey);
    if (!s) return 0;
    PushString(state, s);
    return 1;
}

int VmPushUpvalues(VmState* state) {
    VmClosure* cl = state->ci > state->baseCi ? VmFrameClosure(state->ci) : nullptr;
    if (!cl || !cl->isC) VmRaiseError(state, ERR_STACK);
    int n = cl->nupvalues;
    if (!VmCheckStack(state, n)) VmRaiseError(state, ERR_STACK);
    cl = VmFrameClosure(state->ci);
    VmValue* up = VmCClosureUpvalues(static_cast<VmCClosure*>(cl));
    for (int i = 0; i < n; i++) *state->top++ = up[i];
    return n;
}

// Address and name of upvalue n of the function at funcIndex; null when out of range.
static VmValue* UpvalueOf(VmState* state, int funcIndex, int n, const char** name) {
    const VmValue* f = VmIndexToAddress(state, funcIndex);
    if (!f || f->tt != VM_TFUNCTION) return nullptr;
    VmClosure* cl = VmClosureValue(f);
    if (n < 1 || n > cl->nupvalues) return nullptr;
    if (cl->isC) {
        *name = "";
        return &VmCClosureUpvalues(static_cast<VmCClosure*>(cl))[n - 1];
    }
    VmScriptClosure* sc = static_cast<VmScriptClosure*>(cl);
    VmProto* p = sc->p;
    *name = (n <= p->sizeupvalues && p->upvalues[n - 1]) ? VmStringData(p->upvalues[n - 1]) : "";
    VmUpvalue* uv = VmScriptClosureUpvalues(sc)[n - 1];
    return uv ? uv->v : nullptr;
}

const char* VmGetUpvalue(VmState* state, int funcIndex, int n) {
    const char* name = nullptr;
    VmValue* v = UpvalueOf(state, funcIndex, n, &name);
    if (!v) return nullptr;
    VmPushRaw(state, v);
    return name;
}

const char* VmSetUpvalue(VmState* state, int funcIndex, int n) {
    NeedValues(state, 1);
    const char* name = nullptr;
    VmValue* v = UpvalueOf(state, funcIndex, n, &name);
    if (!v) return nullptr;
    state->top--;
    *v = *state->top;
    return name;
}

// ---------------------------------------------------------------------------------------------
// Calls

// Results beyond the frame's free slots (all of them, or a fixed count larger than the room)
// widen the frame so that they stay addressable.
static void AdjustResults(VmState* state, int) {
    if (state->top > state->ci->top) state->ci->top = state->top;
}

void VmCall(VmState* state, int nargs, int nresults) {
    if (nargs < 0) VmRaiseError(state, ERR_STACK);
    NeedValues(state, nargs + 1);
    VmCallValue(state, state->top - (nargs + 1), nresults);
    AdjustResults(state, nresults);
}

int VmProtectedCall(VmState* state, int nargs, int nresults, int errfuncIndex) {
    (void)errfuncIndex;  // errors are numeric codes; there is no message to hand to a function
    if (nargs < 0 || state->top - state->base < nargs + 1) return ERR_STACK;
    ptrdiff_t func = VmSaveStack(state, state->top - (nargs + 1));
    int status = VmProtectedCallAt(state, func, nresults);
    if (status == 0) AdjustResults(state, nresults);
    return status;
}

namespace {

struct NewCClosureArgs {
    VmCFunction fn;
    VmCClosure* closure;
};

void NewCClosureBody(VmState* state, void* ud) {
    NewCClosureArgs* a = static_cast<NewCClosureArgs*>(ud);
    a->closure = VmNewCClosure(state, a->fn, 0);
}

}  // namespace

int VmCProtectedCall(VmState* state, VmCFunction fn, void* userdata) {
    if (state->ci->top - state->top < 2) return ERR_STACK;
    // Making the closure can run out of memory too: that is the call's error, not the caller's.
    NewCClosureArgs make{fn, nullptr};
    if (int status = VmRunProtected(state, NewCClosureBody, &make)) return status;
    VmValue f, u;
    VmSetValueClosure(&f, make.closure);
    VmSetValueLight(&u, userdata);
    ptrdiff_t func = VmSaveStack(state, state->top);
    *state->top++ = f;
    *state->top++ = u;
    int status = VmProtectedCallAt(state, func, 0);
    return status;
}

// ---------------------------------------------------------------------------------------------
// Collector controls

int VmGetGcThreshold(VmState* state) {
    // The threshold is a 32-bit byte count: "unlimited" (all bits set) reads 0x3FFFFF KB, and
    // setting that value back keeps collection off in practice.
    if (state->g->gcThreshold == VM_GC_UNLIMITED) return 0x3FFFFF;
    size_t kb = state->g->gcThreshold >> 10;
    return kb > (size_t)INT_MAX ? INT_MAX : (int)kb;
}

int VmGetGcCount(VmState* state) {
    size_t kb = state->g->nblocks >> 10;
    return kb > (size_t)INT_MAX ? INT_MAX : (int)kb;
}

void VmSetGcThreshold(VmState* state, int kb) {
    if (kb >= 0x400000)
        state->g->gcThreshold = VM_GC_UNLIMITED;
    else
        state->g->gcThreshold = kb <= 0 ? 0 : (size_t)kb << 10;
    VmGcCheck(state);
}

// ---------------------------------------------------------------------------------------------
// Closing

// Finaliser runs at close are bounded so that handlers that keep failing cannot stall shutdown.
constexpr int VM_MAXCLOSERUNS = 100000;

static void RunFinalisers(VmState* state, void*) { VmCallFinalisers(state); }

void VmClose(VmState* state) {
    state = state->g->mainthread;
    VmCloseUpvalues(state, state->stack);
    VmSeparateUserdata(state, true);
    for (int run = 0; run < VM_MAXCLOSERUNS; run++) {
        state->ci = state->baseCi;
        state->base = state->top = state->ci->base;
        state->nCcalls = 0;
        state->allowHook = 1;
        if (VmRunProtected(state, RunFinalisers, nullptr) == 0) break;
    }
    VmCloseState(state);
}
