// The interpreter: runs script frames, entering callee script frames in the same loop and
// returning when the frame it was entered with returns.
#include "vm/vm_exec.h"

#include <climits>
#include <cmath>

#include "vm/vm_debug.h"
#include "vm/vm_do.h"
#include "vm/vm_gc.h"
#include "vm/vm_meta.h"
#include "vm/vm_runtime_link.h"
#include "vm/vm_state.h"
#include "vm/vm_table.h"
#include "vm/vm_value.h"

// Runs the count and line hooks before an instruction. lastPc is the index of the instruction
// that ran before in this frame (-1 on entry).
static void TraceExec(VmState* state, VmCallInfo* ci, VmProto* p, const VmInstruction* pc, int* lastPc) {
    uint8_t mask = state->hookMask;
    int npc = (int)(pc - p->code) - 1;
    if (mask & VM_MASKCOUNT) {
        if (--state->hookCount <= 0) {
            state->hookCount = state->baseHookCount;
            VmCallHook(state, VM_HOOKCOUNT, -1);
        }
    }
    if (mask & VM_MASKLINE) {
        int newLine = p->sizelineinfo ? p->lineinfo[npc] : 0;
        int oldLine = (*lastPc >= 0 && p->sizelineinfo) ? p->lineinfo[*lastPc] : -1;
        if (*lastPc < 0 || npc <= *lastPc || newLine != oldLine) VmCallHook(state, VM_HOOKLINE, newLine);
    }
    (void)ci;
    *lastPc = npc;
}

// Unwinds the frames of this interpreter run after the quit flag was set: the entry frame
// returns no results to its caller, so the stack and frames stay as a normal return leaves them.
static void QuitUnwind(VmState* state, ptrdiff_t entryIndex) {
    while (state->ci - state->baseCi > entryIndex) {
        VmCloseUpvalues(state, state->base);
        state->ci--;
        state->base = state->ci->base;
    }
    VmCloseUpvalues(state, state->base);
    state->top = state->base;
    VmPostCall(state, state->top);
}

// True when frame ci is the lowest script frame of the main thread: the main chunk.
static bool IsMainChunkFrame(VmState* state, const VmCallInfo* ci) {
    if (state != state->g->mainthread) return false;
    for (const VmCallInfo* c = state->baseCi + 1; c < ci; c++)
        if (!(c->state & VM_CI_C)) return false;
    return true;
}

static bool InCode(const VmProto* p, const VmInstruction* a) {
    uintptr_t x = (uintptr_t)a, lo = (uintptr_t)p->code, hi = (uintptr_t)(p->code + p->sizecode);
    return x >= lo && x < hi;
}

static void PushLabelReturn(VmState* state, const VmInstruction* address) {
    VmGlobalState* g = state->g;
    if (g->labelCount >= VM_LABELSTACK) VmRaiseError(state, ERR_INTERNAL);
    g->labelStack[g->labelCount++] = address;
}

// A command asked for a label jump (handler result -1, or -2 to return to the instruction before
// the call). Returns the new pc.
static const VmInstruction* LabelJump(VmState* state, ptrdiff_t entryIndex, VmProto* p, const VmInstruction* pc,
                                      int kind) {
    VmCallInfo* ci = state->ci;
    // Labels address the main chunk: anywhere else the jump would run its code in a foreign frame.
    if (ci - state->baseCi != entryIndex || !IsMainChunkFrame(state, ci)) VmRaiseError(state, ERR_FUNCJMP);
    int retIndex = (int)(pc - p->code) - (kind == VM_PRECALL_LABEL2 ? 2 : 0);
    VmGlobalState* g = state->g;
    long long target = (long long)g->currentCallIndex + g->labelJumpOffset;
    if (retIndex < 0 || target < 0 || target >= p->sizecode) VmRaiseError(state, ERR_FUNCJMP);
    PushLabelReturn(state, p->code + retIndex);
    return p->code + target;
}

void VmSetLabelJump(VmGlobalState* g, int labelValue) {
    long long offset = (long long)labelValue - g->currentCallIndex;
    if (offset < INT_MIN) offset = INT_MIN;
    if (offset > INT_MAX) offset = INT_MAX;
    g->labelJumpOffset = (int)offset;
}

static void ForPrepValue(VmState* state, VmValue* v) {
    double n;
    if (v->tt == VM_TNUMBER) return;
    if (!VmToNumberValue(v, &n)) VmRaiseError(state, ERR_VALUEEXPECTED);
    VmSetValueNumber(v, n);
}

void VmExecute(VmState* state) {
    const ptrdiff_t entryIndex = state->ci - state->baseCi;
    VmGlobalState* g = state->g;
    const VmInstruction* oldEntryCode = g->entryCode;
    g->entryCode = static_cast<VmScriptClosure*>(VmClosureValue(state->ci->base - 1))->p->code;

reentry:
    VmCallInfo* ci = state->ci;
    VmScriptClosure* cl = static_cast<VmScriptClosure*>(VmClosureValue(ci->base - 1));
    VmProto* p = cl->p;
    const VmValue* k = p->k;
    VmValue* base = state->base;
    const VmInstruction* pc = ci->savedpc;
    // A frame resumed after a call continues on the line of that call: no new line event for it.
    int lastPc = pc > p->code ? (int)(pc - p->code) - 1 : -1;

// Reloads what a call, a hook or a collection may have moved.
#define VM_RELOAD() (base = state->base, ci = state->ci)
#define RKB(i) (VmIsConstant(VmGetB(i)) ? k + VmGetB(i) - VM_RK_CONST : base + VmGetB(i))
#define RKC(i) (VmIsConstant(VmGetC(i)) ? k + VmGetC(i) - VM_RK_CONST : base + VmGetC(i))
#define DOJUMP() (pc += VmGetJ(*pc) + 1)
#define GC_CHECK() (VmGcCheck(state), VM_RELOAD())

    for (;;) {
        if (vmRuntime.quitFlag.load(std::memory_order_relaxed)) {
            QuitUnwind(state, entryIndex);
            g->entryCode = oldEntryCode;
            return;
        }
        const VmInstruction i = *pc++;
        ci->savedpc = pc;
        if (state->hookMask & (VM_MASKLINE | VM_MASKCOUNT)) {
            TraceExec(state, ci, p, pc, &lastPc);
            VM_RELOAD();
        }
        VmValue* ra = base + VmGetA(i);
        switch (VmGetOp(i)) {
        case OP_MOVE:
            *ra = base[VmGetB(i)];
            break;
        case OP_LOADK:
            *ra = k[VmGetBx(i)];
            break;
        case OP_LOADBOOL:
            VmSetValueNumber(ra, VmGetB(i) ? 1 : 0);
            if (VmGetC(i)) pc++;
            break;
        case OP_LOADNIL:
            for (VmValue* rb = base + VmGetB(i); rb >= ra; rb--) VmSetValueNil(rb);
            break;
        case OP_GETUPVAL:
            *ra = *VmScriptClosureUpvalues(cl)[VmGetB(i)]->v;
            break;
        case OP_GETGLOBAL: {
            const VmValue* key = k + VmGetBx(i);
            if (cl->globals.tt == VM_TTABLE && key->tt == VM_TSTRING) {
                const VmValue* v = VmTableGetString(VmTableValue(&cl->globals), VmStringValue(key));
                if (v->tt != VM_TNIL) {
                    *ra = *v;
                    break;
                }
            }
            VmValue tmp;
            VmGetTableValue(state, &cl->globals, key, &tmp, VM_GET_PLAIN);
            VM_RELOAD();
            base[VmGetA(i)] = tmp;
            break;
        }
        case OP_GETTABLE: {
            VmValue* rb = base + VmGetB(i);
            const VmValue* rc = RKC(i);
            if (rb->tt == VM_TTABLE) {
                const VmValue* v = VmTableGet(VmTableValue(rb), rc);
                if (v->tt != VM_TNIL) {
                    *ra = *v;
                    break;
                }
            }
            VmValue tmp;
            VmGetTableValue(state, rb, rc, &tmp, VM_GET_FIELDCHECK);
            VM_RELOAD();
            base[VmGetA(i)] = tmp;
            break;
        }
        case OP_SETGLOBAL:
            VmSetTableValue(state, &cl->globals, k + VmGetBx(i), ra);
            VM_RELOAD();
            break;
        case OP_SETUPVAL:
            *VmScriptClosureUpvalues(cl)[VmGetB(i)]->v = *ra;
            break;
        case OP_SETTABLE:
            VmSetTableValue(state, ra, RKB(i), RKC(i));
            VM_RELOAD();
            break;
        case OP_NEWTABLE: {
            int b = VmGetB(i);
            // Array size (B & 7) << (B >> 3); anything past the largest array is a table overflow.
            int shift = b >> 3;
            uint64_t narray = shift >= 32 ? (uint64_t)(b & 7) << 32 : (uint64_t)(b & 7) << shift;
            if (narray > (uint64_t)VM_MAXARRAYKEY) VmRaiseError(state, ERR_TABLEOVERFLOW);
            VmTable* t = VmNewTableObject(state, (int)narray, VmGetC(i));
            VmSetValueTable(ra, t);
            GC_CHECK();
            break;
        }
        case OP_ADD:
        case OP_SUB:
        case OP_MUL: {
            const VmValue* rb = RKB(i);
            const VmValue* rc = RKC(i);
            if (rb->tt == VM_TNUMBER && rc->tt == VM_TNUMBER) {
                double x = rb->value.n, y = rc->value.n;
                int op = VmGetOp(i);
                VmSetValueNumber(ra, op == OP_ADD ? x + y : op == OP_SUB ? x - y : x * y);
            } else {
                VmValue tmp;
                VmArith(state, &tmp, rb, rc, VmGetOp(i));
                VM_RELOAD();
                base[VmGetA(i)] = tmp;
            }
            break;
        }
        case OP_DIV:
        case OP_IDIV:
        case OP_MOD:
        case OP_SHL:
        case OP_SHR:
        case OP_BOR:
        case OP_BAND:
        case OP_BXOR:
        case OP_POW: {
            const VmValue* rb = RKB(i);
            const VmValue* rc = RKC(i);
            if (rb->tt == VM_TNUMBER && rc->tt == VM_TNUMBER) {
                VmSetValueNumber(ra, VmArithNumbers(state, VmGetOp(i), rb->value.n, rc->value.n));
            } else {
                VmValue tmp;
                VmArith(state, &tmp, rb, rc, VmGetOp(i));
                VM_RELOAD();
                base[VmGetA(i)] = tmp;
            }
            break;
        }
        case OP_UNM:
        case OP_BNOT: {
            const VmValue* rb = base + VmGetB(i);
            if (rb->tt == VM_TNUMBER) {
                VmSetValueNumber(ra, VmArithNumbers(state, VmGetOp(i), rb->value.n, 0));
            } else {
                VmValue tmp;
                VmArith(state, &tmp, rb, rb, VmGetOp(i));
                VM_RELOAD();
                base[VmGetA(i)] = tmp;
            }
            break;
        }
        case OP_NOT:
            VmSetValueNumber(ra, VmTestFalse(base + VmGetB(i)) ? 1 : 0);
            break;
        case OP_CONCAT: {
            int b = VmGetB(i), c = VmGetC(i);
            VmConcatValues(state, c - b + 1, VmSaveStack(state, base + c));
            VM_RELOAD();
            base[VmGetA(i)] = base[b];
            GC_CHECK();
            break;
        }
        case OP_JMP:
            if (VmGetJF(i) == (int)VM_JF_PUSHRETURN) PushLabelReturn(state, pc);
            pc += VmGetJ(i);
            break;
        case OP_EQ: {
            const VmValue* rb = RKB(i);
            const VmValue* rc = RKC(i);
            int res = (rb->tt == VM_TNUMBER && rc->tt == VM_TNUMBER) ? rb->value.n == rc->value.n
                                                                     : VmEqualValues(state, rb, rc);
            VM_RELOAD();
            if (res != VmGetA(i)) pc++;
            else DOJUMP();
            break;
        }
        case OP_LT: {
            const VmValue* rb = RKB(i);
            const VmValue* rc = RKC(i);
            int res = (rb->tt == VM_TNUMBER && rc->tt == VM_TNUMBER) ? rb->value.n < rc->value.n
                                                                     : VmLessThanValues(state, rb, rc, true);
            VM_RELOAD();
            if (res != VmGetA(i)) pc++;
            else DOJUMP();
            break;
        }
        case OP_LE: {
            const VmValue* rb = RKB(i);
            const VmValue* rc = RKC(i);
            int res = (rb->tt == VM_TNUMBER && rc->tt == VM_TNUMBER) ? rb->value.n <= rc->value.n
                                                                     : VmLessEqualValues(state, rb, rc);
            VM_RELOAD();
            if (res != VmGetA(i)) pc++;
            else DOJUMP();
            break;
        }
        case OP_TEST: {
            VmValue* rb = base + VmGetB(i);
            if ((int)VmTestFalse(rb) == VmGetC(i)) {
                pc++;
            } else {
                *ra = *rb;
                DOJUMP();
            }
            break;
        }
        case OP_CALL: {
            int b = VmGetB(i);
            int nresults = VmGetC(i) - 1;
            if (b != 0) state->top = ra + b;
            g->currentCallIndex = (int)(pc - p->code);
            int r = VmPreCall(state, ra, nresults);
            if (r == VM_PRECALL_SCRIPT) goto reentry;
            VM_RELOAD();
            if (r == VM_PRECALL_C) {
                if (nresults >= 0) state->top = ci->top;
            } else {
                state->top = ci->top;
                pc = LabelJump(state, entryIndex, p, pc, r);
            }
            break;
        }
        case OP_TAILCALL: {
            int b = VmGetB(i);
            if (b != 0) state->top = ra + b;
            g->currentCallIndex = (int)(pc - p->code);
            ptrdiff_t raOffset = VmSaveStack(state, ra);
            ra = VmResolveCallable(state, ra);
            VM_RELOAD();
            if (VmClosureValue(ra)->isC) {
                // A C function runs as a plain call whose results this frame then returns.
                int r = VmPreCall(state, ra, VM_MULTRET);
                VM_RELOAD();
                if (r != VM_PRECALL_C) {
                    state->top = ci->top;
                    pc = LabelJump(state, entryIndex, p, pc, r);
                    break;
                }
                ra = VmRestoreStack(state, raOffset);
                goto doreturn;
            }
            // A script function replaces this frame: move it and its arguments down.
            VmCloseUpvalues(state, base);
            {
                VmValue* func = base - 1;
                int n = (int)(state->top - ra);
                for (int j = 0; j < n; j++) func[j] = ra[j];
                state->top = func + n;
                int tailcalls = ci->tailcalls;
                int fromC = ci->state & VM_CI_FROMC;
                int nresults = ci->nresults;
                VmPreCall(state, func, nresults);
                // The callee's frame takes the place of this one.
                VmCallInfo* callee = state->ci;
                VmCallInfo* self = callee - 1;
                *self = *callee;
                self->tailcalls = tailcalls + 1;
                self->state |= fromC;
                state->ci = self;
                goto reentry;
            }
        }
        case OP_RETURN: {
            if (VmGetC(i) == 1) {
                // Label return.
                if (g->labelCount <= 0) VmRaiseError(state, ERR_RETWOGOSUB);
                const VmInstruction* address = g->labelStack[g->labelCount - 1];
                if (!InCode(p, address)) VmRaiseError(state, ERR_FUNCJMP);
                g->labelCount--;
                pc = address;
                break;
            }
            {
                int b = VmGetB(i);
                if (b != 0) state->top = ra + b - 1;
            }
        doreturn:
            if (state->openUpval) VmCloseUpvalues(state, base);
            {
                bool fromC = (ci->state & VM_CI_FROMC) != 0;
                int wanted = ci->nresults;
                VmPostCall(state, ra);
                if (fromC) {
                    g->entryCode = oldEntryCode;
                    return;
                }
                if (wanted != VM_MULTRET) state->top = state->ci->top;
            }
            goto reentry;
        }
        case OP_FORLOOP: {
            if (ra->tt != VM_TNUMBER) VmRaiseError(state, ERR_VALUEEXPECTED);
            ForPrepValue(state, ra + 1);
            ForPrepValue(state, ra + 2);
            double step = ra[2].value.n;
            double idx = ra->value.n + step;
            double limit = ra[1].value.n;
            if (step > 0 ? idx <= limit : idx >= limit) {
                pc += VmGetSBx(i);
                VmSetValueNumber(ra, idx);
            }
            break;
        }
        case OP_TFORLOOP: {
            int c = VmGetC(i);
            VmValue* cb = ra + c + 3;
            cb[0] = ra[0];
            cb[1] = ra[1];
            cb[2] = ra[2];
            state->top = cb + 3;
            VmCallValue(state, cb, c + 1);
            VM_RELOAD();
            state->top = ci->top;
            ra = base + VmGetA(i);
            cb = ra + c + 3;
            for (int j = c; j >= 0; j--) ra[2 + j] = cb[j];
            if (ra[2].tt == VM_TNIL) pc++;
            else DOJUMP();
            break;
        }
        case OP_TFORPREP: {
            if (ra->tt == VM_TTABLE) {
                ra[1] = ra[0];
                VmValue key, tmp;
                VmSetValueString(&key, VmInternCString(state, "next"));
                VmGetTableValue(state, &cl->globals, &key, &tmp, VM_GET_PLAIN);
                VM_RELOAD();
                base[VmGetA(i)] = tmp;
            }
            pc += VmGetSBx(i);
            break;
        }
        case OP_SETLIST:
        case OP_SETLISTO: {
            int bx = VmGetBx(i);
            int n = VmGetOp(i) == OP_SETLIST ? (bx & 31) + 1 : (int)(state->top - ra) - 1;
            if (VmGetOp(i) == OP_SETLISTO) state->top = ci->top;
            if (ra->tt != VM_TTABLE) VmRaiseError(state, ERR_BADBYTECODE);
            VmTable* t = VmTableValue(ra);
            int first = bx & ~31;
            for (int j = 1; j <= n; j++) *VmTableSetInt(state, t, first + j - 1) = ra[j];
            break;
        }
        case OP_CLOSE:
            VmCloseUpvalues(state, ra);
            break;
        case OP_CLOSURE: {
            VmProto* np = p->p[VmGetBx(i)];
            int nup = np->nups;
            VmScriptClosure* ncl = VmNewScriptClosure(state, np, nup, &cl->globals);
            VmUpvalue** ups = VmScriptClosureUpvalues(ncl);
            // Keep the new closure reachable while its cells are found or created.
            VmSetValueClosure(ra, ncl);
            for (int j = 0; j < nup; j++, pc++) {
                VmInstruction capture = *pc;
                if (VmGetOp(capture) == OP_GETUPVAL) ups[j] = VmScriptClosureUpvalues(cl)[VmGetB(capture)];
                else if (VmGetOp(capture) == OP_MOVE) ups[j] = VmFindUpvalueCell(state, base + VmGetB(capture));
                else VmRaiseError(state, ERR_BADBYTECODE);
            }
            ci->savedpc = pc;
            GC_CHECK();
            break;
        }
        case OP_SELF: {
            VmValue* rb = base + VmGetB(i);
            const VmValue* rc = RKC(i);
            if (rc->tt != VM_TSTRING) VmRaiseError(state, ERR_BADBYTECODE);
            VmValue obj = *rb;
            ra[1] = obj;
            if (obj.tt == VM_TTABLE) {
                const VmValue* v = VmTableGetString(VmTableValue(&obj), VmStringValue(rc));
                if (v->tt != VM_TNIL) {
                    *ra = *v;
                    break;
                }
            }
            VmValue tmp;
            VmGetTableValue(state, rb, rc, &tmp, VM_GET_PLAIN);
            VM_RELOAD();
            base[VmGetA(i)] = tmp;
            break;
        }
        default:
            // Opcodes above 42 do nothing.
            break;
        }
    }
#undef VM_RELOAD
#undef RKB
#undef RKC
#undef DOJUMP
#undef GC_CHECK
}
