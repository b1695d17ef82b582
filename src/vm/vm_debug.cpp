// Debug support: frames, lines, names of functions and variables, hooks, chunk ids.
#include "vm/vm_debug.h"

#include <cstdio>

#include "base/error_arg.h"
#include "vm/vm_do.h"
#include "vm/vm_runtime_link.h"

VmClosure* VmFrameClosure(const VmCallInfo* ci) {
    const VmValue* f = ci->base - 1;
    return f->tt == VM_TFUNCTION ? VmClosureValue(f) : nullptr;
}

static VmProto* FrameProto(const VmCallInfo* ci) {
    if (ci->state & VM_CI_C) return nullptr;
    VmClosure* cl = VmFrameClosure(ci);
    if (!cl || cl->isC) return nullptr;
    return static_cast<VmScriptClosure*>(cl)->p;
}

int VmFramePc(const VmCallInfo* ci) {
    VmProto* p = FrameProto(ci);
    if (!p || !ci->savedpc) return -1;
    int pc = (int)(ci->savedpc - p->code) - 1;
    return pc < 0 ? 0 : pc;
}

int VmFrameLine(const VmCallInfo* ci) {
    VmProto* p = FrameProto(ci);
    if (!p) return -1;
    int pc = VmFramePc(ci);
    if (pc < 0 || pc >= p->sizelineinfo) return 0;
    return p->lineinfo[pc];
}

static const char* ConstantString(const VmProto* p, int index) {
    if (index < 0 || index >= p->sizek || p->k[index].tt != VM_TSTRING) return nullptr;
    return VmStringData(VmStringValue(&p->k[index]));
}

const char* VmDescribeVariable(VmState* state, const VmCallInfo* ci, int reg, const char** kind) {
    VmProto* p = FrameProto(ci);
    if (!p) return nullptr;
    int pc = VmFramePc(ci);
    for (;;) {
        const char* name = VmLocalName(p, reg + 1, pc);
        if (name) {
            *kind = "local";
            return name;
        }
        VmInstruction i = VmVerifyCode(p, pc, reg);
        if (i == 0) return nullptr;
        switch (VmGetOp(i)) {
        case OP_GETGLOBAL:
            if ((name = ConstantString(p, VmGetBx(i))) != nullptr) *kind = "global";
            return name;
        case OP_MOVE:
            // Follow the source register downward (a copy into a higher register).
            if (VmGetB(i) < VmGetA(i)) {
                reg = VmGetB(i);
                continue;
            }
            return nullptr;
        case OP_GETTABLE:
            if (VmIsConstant(VmGetC(i)) && (name = ConstantString(p, VmGetC(i) - VM_RK_CONST)) != nullptr)
                *kind = "field";
            return name;
        case OP_SELF:
            if (VmIsConstant(VmGetC(i)) && (name = ConstantString(p, VmGetC(i) - VM_RK_CONST)) != nullptr)
                *kind = "method";
            return name;
        default: return nullptr;
        }
    }
}

const char* VmCalledFunctionName(VmState* state, const VmCallInfo* ci, const char** kind) {
    const char* dummy;
    if (!kind) kind = &dummy;
    *kind = "";
    if (ci <= state->baseCi || ci->tailcalls > 0) return nullptr;
    const VmCallInfo* caller = ci - 1;
    VmProto* p = FrameProto(caller);
    if (!p) return nullptr;
    int pc = VmFramePc(caller);
    if (pc < 0 || pc >= p->sizecode) return nullptr;
    VmInstruction i = p->code[pc];
    if (VmGetOp(i) != OP_CALL && VmGetOp(i) != OP_TAILCALL) return nullptr;
    const char* name = VmDescribeVariable(state, caller, VmGetA(i), kind);
    if (!name) *kind = "";
    return name;
}

void VmRaiseTypeErrorValue(VmState* state, const VmValue* v, int code, const char* opText) {
    const char* name = nullptr;
    const char* kind = "";
    VmCallInfo* ci = state->ci;
    VmProto* p = FrameProto(ci);
    if (p) {
        uintptr_t x = (uintptr_t)v, lo = (uintptr_t)ci->base, hi = (uintptr_t)(ci->base + p->maxStackSize);
        if (x >= lo && x < hi) name = VmDescribeVariable(state, ci, (int)(v - ci->base), &kind);
    }
    char buf[1024];
    snprintf(buf, sizeof(buf), "%.1000s%s", name ? name : "??", opText);
    SetErrorArgString(buf);
    VmRaiseError(state, code);
}

void VmRaiseTypeError(VmState* state, int index, int code, const char* operatorText) {
    const VmValue* v = VmIndexToAddress(state, index);
    if (!v) v = &vmNilObject;
    VmRaiseTypeErrorValue(state, v, code, operatorText);
}

// ---------------------------------------------------------------------------------------------
// Chunk ids

void VmChunkId(char* out, const char* source, size_t bufflen) {
    if (bufflen == 0) return;
    size_t avail = bufflen - 1;
    if (*source == '=') {
        snprintf(out, bufflen, "%s", source + 1);
        return;
    }
    if (*source == '@') {
        source++;
        size_t len = strlen(source);
        if (len <= avail) {
            memcpy(out, source, len + 1);
        } else {
            // Keep the end of a long file name.
            size_t keep = avail > 3 ? avail - 3 : 0;
            snprintf(out, bufflen, "...%s", source + len - keep);
        }
        return;
    }
    const char* prefix = "[string \"";
    const char* suffix = "\"]";
    size_t len = strcspn(source, "\n\r");
    size_t room = avail > 14 ? avail - 14 : 0;  // prefix 9, "..." 3 and suffix 2 around the line
    bool cut = source[len] != '\0' || len > room;
    if (len > room) len = room;
    snprintf(out, bufflen, "%s%.*s%s%s", prefix, (int)len, source, cut ? "..." : "", suffix);
}

// ---------------------------------------------------------------------------------------------
// Public debug interface

int VmCurrentLine(VmState* state) { return VmFrameLine(state->ci); }

int VmCurrentPc(VmState* state) { return VmFramePc(state->ci); }

int VmSetHook(VmState* state, VmHook fn, int mask, int count) {
    if (!fn || mask == 0) {
        mask = 0;
        fn = nullptr;
    }
    state->hook = fn;
    state->baseHookCount = count;
    state->hookCount = count;
    state->hookMask = (uint8_t)mask;
    state->hookInit = 1;
    return 1;
}

VmHook VmGetHook(VmState* state) { return state->hook; }
int VmGetHookMask(VmState* state) { return state->hookMask; }
int VmGetHookCount(VmState* state) { return state->baseHookCount; }

int VmGetStack(VmState* state, int level, VmDebug* ar) {
    if (level < 0) return 0;
    VmCallInfo* ci;
    for (ci = state->ci; level > 0 && ci > state->baseCi; ci--) {
        level--;
        if (!(ci->state & VM_CI_C)) level -= ci->tailcalls;
    }
    if (level == 0 && ci > state->baseCi) {
        ar->i_ci = (int)(ci - state->baseCi);
        return 1;
    }
    if (level < 0) {
        ar->i_ci = 0;  // a frame that a tail call replaced
        return 1;
    }
    return 0;
}

static void FuncInfo(VmDebug* ar, const VmValue* func) {
    VmClosure* cl = func->tt == VM_TFUNCTION ? VmClosureValue(func) : nullptr;
    if (!cl || cl->isC) {
        ar->source = "=[C]";
        ar->linedefined = -1;
        ar->what = "C";
    } else {
        VmProto* p = static_cast<VmScriptClosure*>(cl)->p;
        ar->source = p->source ? VmStringData(p->source) : "=?";
        ar->linedefined = p->lineDefined;
        ar->what = p->lineDefined == 0 ? "main" : "Quarnelix";
    }
    VmChunkId(ar->short_src, ar->source, VM_IDSIZE);
}

int VmGetInfo(VmState* state, const char* options, VmDebug* ar) {
    VmValue f;
    VmCallInfo* ci = nullptr;
    if (*options == '>') {
        if (state->top <= state->base || state->top[-1].tt != VM_TFUNCTION) VmRaiseError(state, ERR_FUNCEXPECTED);
        f = state->top[-1];
        state->top--;
        options++;
    } else if (ar->i_ci > 0 && ar->i_ci <= state->ci - state->baseCi) {
        ci = state->baseCi + ar->i_ci;
        f = ci->base[-1];
    } else {
        VmSetValueNil(&f);
    }
    int status = 1;
    for (; *options; options++) {
        switch (*options) {
        case 'S':
            if (!ci && f.tt == VM_TNIL) {
                ar->source = "=?";
                ar->linedefined = -1;
                ar->what = "tail";
                VmChunkId(ar->short_src, ar->source, VM_IDSIZE);
            } else {
                FuncInfo(ar, &f);
            }
            break;
        case 'l': ar->currentline = ci ? VmFrameLine(ci) : -1; break;
        case 'u': ar->nups = f.tt == VM_TFUNCTION ? VmClosureValue(&f)->nupvalues : 0; break;
        case 'n':
            ar->name = ci ? VmCalledFunctionName(state, ci, &ar->namewhat) : nullptr;
            if (!ar->name) ar->namewhat = "";
            break;
        case 'f': VmPushRaw(state, &f); break;
        default: status = 0;
        }
    }
    return status;
}

static VmCallInfo* DebugFrame(VmState* state, const VmDebug* ar) {
    if (ar->i_ci <= 0 || ar->i_ci > state->ci - state->baseCi) return nullptr;
    return state->baseCi + ar->i_ci;
}

// The name of local n of a script frame, when it names one of the frame's registers: a chunk
// may declare more active locals than its function has registers.
static const char* FrameLocalName(VmCallInfo* ci, int n) {
    VmProto* p = ci ? FrameProto(ci) : nullptr;
    if (!p || n < 1 || n > p->maxStackSize) return nullptr;
    return VmLocalName(p, n, VmFramePc(ci));
}

const char* VmGetLocal(VmState* state, const VmDebug* ar, int n) {
    VmCallInfo* ci = DebugFrame(state, ar);
    const char* name = FrameLocalName(ci, n);
    if (name) VmPushRaw(state, &ci->base[n - 1]);
    return name;
}

const char* VmSetLocal(VmState* state, const VmDebug* ar, int n) {
    VmCallInfo* ci = DebugFrame(state, ar);
    const char* name = FrameLocalName(ci, n);
    if (state->top > state->base) {
        if (name && name[0] != '(') ci->base[n - 1] = state->top[-1];
        state->top--;
    }
    return name;
}
