// The interpreter: runs script frames, entering callee script frames in the same loop and
// returning when the frame it was entered with returns.
#include "vm/vm_exec.h"

#include <climits>
#include <cmath>
#include <cstddef>

#include "vm/vm_debug.h"
#include "vm/vm_do.h"
#include "vm/vm_gc.h"
#include "vm/vm_meta.h"
#include "vm/vm_runtime_link.h"
#include "vm/vm_state.h"
#include "vm/vm_table.h"
#include "vm/vm_value.h"

// Runs the count and line hooks before an instruction. *last is the instruction that ran before
// in this frame (null on entry).
static void TraceExec(VmState* state, VmProto* p, const VmInstruction* pc, const VmInstruction** last) {
    uint8_t mask = state->hookMask;
    int npc = (int)(pc - p->code) - 1;
    int lastIndex = *last ? (int)(*last - p->code) : -1;
    int* lastPc = &lastIndex;
    if (mask & VM_MASKCOUNT) {
        if (--state->hookCount <= 0) {
            state->hookCount = state->baseHookCount;
            VmCallHook(state, VM_HOOKCOUNT, -1);
        }
    }
    if ((mask & VM_MASKLINE) && (!vmRuntime.lineHookPaced || vmRuntime.lineHookDue.load(std::memory_order_relaxed))) {
        int newLine = p->sizelineinfo ? p->lineinfo[npc] : 0;
        int oldLine = (*lastPc >= 0 && p->sizelineinfo) ? p->lineinfo[*lastPc] : -1;
        if (*lastPc < 0 || npc <= *lastPc || newLine != oldLine) {
            if (vmRuntime.lineHookPaced) vmRuntime.lineHookDue.store(0, std::memory_order_relaxed);
            VmCallHook(state, VM_HOOKLINE, newLine);
        }
    }
    *last = pc - 1;
}

// True when an upvalue cell is open on a stack slot at or above level (the open cells are listed
// highest slot first).
static inline bool OpenCellsFrom(const VmState* state, const VmValue* level) {
    return state->openUpval && state->openUpval->v >= level;
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

// Looks up a string constant of the running function in table t. The constant's aux word
// remembers the node where the key was last found (in whichever table): when that node of t holds
// the key, the hash and the collision chain are skipped. Any node of t that holds the key is its
// entry, so a hint left by another table or by t before a rehash is only ever a miss.
static inline const VmValue* GetStringConstant(VmTable* t, const VmValue* key) {
    VmString* s = VmStringValue(key);
    uint32_t hint = key->aux;
    VmNode* node = t->node;
    if (hint < (uint32_t)VmNodeCount(t) && node[hint].key.value.gc == s && node[hint].key.tt == VM_TSTRING)
        return &node[hint].val;
    const VmValue* v = VmTableGetString(t, s);
    if (v != &vmNilObject)
        const_cast<VmValue*>(key)->aux =
            (uint32_t)(reinterpret_cast<const VmNode*>(reinterpret_cast<const char*>(v) - offsetof(VmNode, val)) -
                       node);
    return v;
}

// The open cell of stack slot level, made when there is none. The slot is most often the
// highest with a cell or above every open cell, and is then found or linked at the head of the
// list without a call.
static inline VmUpvalue* FindUpvalueCell(VmState* state, VmValue* level) {
    VmUpvalue* head = state->openUpval;
    if (head && head->v == level) return head;
    if (head && head->v > level) return VmFindUpvalueCell(state, level);
    VmUpvalue* uv = static_cast<VmUpvalue*>(VmNewObjectBlock(state, sizeof(VmUpvalue)));
    uv->tt = VM_TUPVAL;
    uv->marked = 0;
    uv->v = level;
    VmSetValueNil(&uv->value);
    uv->next = head;
    state->openUpval = uv;
    return uv;
}

void VmExecute(VmState* state) {
    const ptrdiff_t entryIndex = state->ci - state->baseCi;
    VmGlobalState* g = state->g;
    const VmInstruction* oldEntryCode = g->entryCode;
    g->entryCode = static_cast<VmScriptClosure*>(VmClosureValue(state->ci->base - 1))->p->code;

reentry:
    VmCallInfo* ci = state->ci;
    VmValue* base = state->base;
    // The running closure and its prototype are read from the frame's function slot when needed.
#define FRAME_CL (static_cast<VmScriptClosure*>(VmClosureValue(base - 1)))
#define FRAME_P (FRAME_CL->p)
    const VmValue* k = FRAME_P->k;
    const VmInstruction* pc = ci->savedpc;
    // A frame resumed after a call continues on the line of that call: no new line event for it.
    const VmInstruction* lastPc = pc - 1;

// The quit flag and the count and line hooks share one test.
#define VM_INTERRUPTED()                                                                                          \
    (vmRuntime.quitFlag.load(std::memory_order_relaxed) | vmRuntime.lineHookDue.load(std::memory_order_relaxed) | \
     (state->hookMask & (vmRuntime.lineHookPaced ? VM_MASKCOUNT : (VM_MASKLINE | VM_MASKCOUNT))))
#define RKB(i) (VmIsConstant(VmGetB(i)) ? k + VmGetB(i) - VM_RK_CONST : base + VmGetB(i))
#define RKC(i) (VmIsConstant(VmGetC(i)) ? k + VmGetC(i) - VM_RK_CONST : base + VmGetC(i))
#define DOJUMP() (pc += VmGetJ(*pc) + 1)
// A collection runs only when the bytes in use reach the threshold; what it may move is reloaded
// then.
#define GC_CHECK()                                       \
    do {                                                 \
        if (g->nblocks >= g->gcThreshold) [[unlikely]] { \
            VmCollectGarbage(state);                     \
            VM_RELOAD();                                 \
        }                                                \
    } while (0)

    VmInstruction i;
    VmValue* ra;
#if defined(__GNUC__)
    // Each handler ends in its own indirect jump through a table (opcodes above 42 do nothing).
    // The table is indexed by the instruction's low byte, the opcode and two bits of the operand
    // above it, so that the index takes one zero-extending move; the 64 entries repeat four times.
    static_assert(VM_NUM_OPCODES == 43, "the dispatch table lists every opcode");
#define VM_OPS64                                                                                                    \
    &&L_MOVE, &&L_LOADK, &&L_LOADBOOL, &&L_LOADNIL, &&L_GETUPVAL, &&L_GETGLOBAL, &&L_GETTABLE, &&L_SETGLOBAL,       \
        &&L_SETUPVAL, &&L_SETTABLE, &&L_NEWTABLE, &&L_ADD, &&L_SUB, &&L_MUL, &&L_DIV, &&L_IDIV, &&L_MOD, &&L_SHL,   \
        &&L_SHR, &&L_BOR, &&L_BAND, &&L_BXOR, &&L_POW, &&L_UNM, &&L_NOT, &&L_BNOT, &&L_CONCAT, &&L_JMP, &&L_EQ,     \
        &&L_LT, &&L_LE, &&L_TEST, &&L_CALL, &&L_TAILCALL, &&L_RETURN, &&L_FORLOOP, &&L_TFORLOOP, &&L_TFORPREP,      \
        &&L_SETLIST, &&L_SETLISTO, &&L_CLOSE, &&L_CLOSURE, &&L_SELF, &&L_NOP, &&L_NOP, &&L_NOP, &&L_NOP, &&L_NOP,   \
        &&L_NOP, &&L_NOP, &&L_NOP, &&L_NOP, &&L_NOP, &&L_NOP, &&L_NOP, &&L_NOP, &&L_NOP, &&L_NOP, &&L_NOP, &&L_NOP, \
        &&L_NOP, &&L_NOP, &&L_NOP, &&L_NOP
    static const void* const dispatchTable[256] = {VM_OPS64, VM_OPS64, VM_OPS64, VM_OPS64};
#undef VM_OPS64
    // While the quit flag or a count or line hook is set, every instruction goes through the
    // interrupt handler first. The quit flag and the hook mask change only inside calls, hooks,
    // events and collections, after each of which the handlers reload what may have moved, and
    // with it the table: an instruction without a call pays no test for them.
#define I16(x) x, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x
#define I64(x) I16(x), I16(x), I16(x), I16(x)
    static const void* const interruptTable[256] = {I64(&&interrupt), I64(&&interrupt), I64(&&interrupt),
                                                    I64(&&interrupt)};
#undef I64
#undef I16
#define VM_PICK_TABLE() (VM_INTERRUPTED() ? interruptTable : dispatchTable)
    const void* const* table = VM_PICK_TABLE();
// Reloads what a call, a hook or a collection may have moved or changed.
#define VM_RELOAD() (base = state->base, ci = state->ci, table = VM_PICK_TABLE())
#define VM_REPICK() (table = VM_PICK_TABLE())
// At a backward jump only the flags other threads set can have changed: the hook mask changes
// only where the table is picked again anyway.
#define VM_BACKEDGE()                                                                                                 \
    (table =                                                                                                          \
         (vmRuntime.quitFlag.load(std::memory_order_relaxed) | vmRuntime.lineHookDue.load(std::memory_order_relaxed)) \
             ? interruptTable                                                                                         \
             : table)
#define VM_NEXT()                \
    do {                         \
        i = *pc++;               \
        ci->savedpc = pc;        \
        ra = base + VmGetA(i);   \
        goto* table[(uint8_t)i]; \
    } while (0)
#define VM_DISPATCH() goto* dispatchTable[(uint8_t)i]
#else
#define VM_RELOAD() (base = state->base, ci = state->ci)
#define VM_REPICK() ((void)0)
#define VM_BACKEDGE() ((void)0)
#define VM_NEXT()                             \
    do {                                      \
        if (VM_INTERRUPTED()) goto interrupt; \
        i = *pc++;                            \
        ci->savedpc = pc;                     \
        ra = base + VmGetA(i);                \
        VM_DISPATCH();                        \
    } while (0)
#define VM_DISPATCH() goto decode
#endif

    VM_NEXT();

interrupt:
#if !defined(__GNUC__)
    i = *pc++;
    ci->savedpc = pc;
#endif
    // The instruction i is fetched and the pc is past it.
    if (vmRuntime.quitFlag.load(std::memory_order_relaxed)) {
        QuitUnwind(state, entryIndex);
        g->entryCode = oldEntryCode;
        return;
    }
    if (state->hookMask & (VM_MASKLINE | VM_MASKCOUNT)) {
        TraceExec(state, FRAME_P, pc, &lastPc);
        VM_RELOAD();
    } else if (vmRuntime.lineHookDue.load(std::memory_order_relaxed)) {
        // No line hook wants it here.
        vmRuntime.lineHookDue.store(0, std::memory_order_relaxed);
        VM_RELOAD();
    }
    ra = base + VmGetA(i);
    VM_DISPATCH();

#if !defined(__GNUC__)
decode:
    switch (VmGetOp(i)) {
    case OP_MOVE: goto L_MOVE;
    case OP_LOADK: goto L_LOADK;
    case OP_LOADBOOL: goto L_LOADBOOL;
    case OP_LOADNIL: goto L_LOADNIL;
    case OP_GETUPVAL: goto L_GETUPVAL;
    case OP_GETGLOBAL: goto L_GETGLOBAL;
    case OP_GETTABLE: goto L_GETTABLE;
    case OP_SETGLOBAL: goto L_SETGLOBAL;
    case OP_SETUPVAL: goto L_SETUPVAL;
    case OP_SETTABLE: goto L_SETTABLE;
    case OP_NEWTABLE: goto L_NEWTABLE;
    case OP_ADD: goto L_ADD;
    case OP_SUB: goto L_SUB;
    case OP_MUL: goto L_MUL;
    case OP_DIV: goto L_DIV;
    case OP_IDIV: goto L_IDIV;
    case OP_MOD: goto L_MOD;
    case OP_SHL: goto L_SHL;
    case OP_SHR: goto L_SHR;
    case OP_BOR: goto L_BOR;
    case OP_BAND: goto L_BAND;
    case OP_BXOR: goto L_BXOR;
    case OP_POW: goto L_POW;
    case OP_UNM: goto L_UNM;
    case OP_NOT: goto L_NOT;
    case OP_BNOT: goto L_BNOT;
    case OP_CONCAT: goto L_CONCAT;
    case OP_JMP: goto L_JMP;
    case OP_EQ: goto L_EQ;
    case OP_LT: goto L_LT;
    case OP_LE: goto L_LE;
    case OP_TEST: goto L_TEST;
    case OP_CALL: goto L_CALL;
    case OP_TAILCALL: goto L_TAILCALL;
    case OP_RETURN: goto L_RETURN;
    case OP_FORLOOP: goto L_FORLOOP;
    case OP_TFORLOOP: goto L_TFORLOOP;
    case OP_TFORPREP: goto L_TFORPREP;
    case OP_SETLIST: goto L_SETLIST;
    case OP_SETLISTO: goto L_SETLISTO;
    case OP_CLOSE: goto L_CLOSE;
    case OP_CLOSURE: goto L_CLOSURE;
    case OP_SELF: goto L_SELF;
    default: goto L_NOP;
    }
#endif

L_MOVE:
    VmCopyValue(ra, base + VmGetB(i));
    VM_NEXT();
L_LOADK:
    *ra = k[VmGetBx(i)];
    VM_NEXT();
L_LOADBOOL:
    VmSetValueNumber(ra, VmGetB(i) ? 1 : 0);
    if (VmGetC(i)) pc++;
    VM_NEXT();
L_LOADNIL:
    for (VmValue* rb = base + VmGetB(i); rb >= ra; rb--) VmSetValueNil(rb);
    VM_NEXT();
L_GETUPVAL:
    VmCopyValue(ra, VmScriptClosureUpvalues(FRAME_CL)[VmGetB(i)]->v);
    VM_NEXT();
L_GETGLOBAL : {
    const VmValue* key = k + VmGetBx(i);
    // The verifier lets only string constants name globals.
    if (FRAME_CL->globals.tt == VM_TTABLE) {
        const VmValue* v = GetStringConstant(VmTableValue(&FRAME_CL->globals), key);
        if (v->tt != VM_TNIL) {
            VmCopyValue(ra, v);
            VM_NEXT();
        }
    }
    VmValue tmp;
    VmGetTableValue(state, &FRAME_CL->globals, key, &tmp, VM_GET_PLAIN);
    VM_RELOAD();
    base[VmGetA(i)] = tmp;
    VM_NEXT();
}
L_GETTABLE : {
    VmValue* rb = base + VmGetB(i);
    const VmValue* rc = RKC(i);
    if (rb->tt == VM_TTABLE) {
        const VmValue* v = VmIsConstant(VmGetC(i)) && rc->tt == VM_TSTRING ? GetStringConstant(VmTableValue(rb), rc)
                                                                           : VmTableGetFast(VmTableValue(rb), rc);
        if (v->tt != VM_TNIL) {
            // Field by field: a store of the entry a moment ago is still in the store buffer in
            // two parts, and the next instruction reads the register in two parts.
            VmCopyValue(ra, v);
            VM_NEXT();
        }
    }
    VmValue tmp;
    VmGetTableValue(state, rb, rc, &tmp, VM_GET_FIELDCHECK);
    VM_RELOAD();
    base[VmGetA(i)] = tmp;
    VM_NEXT();
}
L_SETGLOBAL:
    VmSetTableValue(state, &FRAME_CL->globals, k + VmGetBx(i), ra);
    VM_RELOAD();
    VM_NEXT();
L_SETUPVAL:
    VmCopyValue(VmScriptClosureUpvalues(FRAME_CL)[VmGetB(i)]->v, ra);
    VM_NEXT();
L_SETTABLE : {
    const VmValue* rb = RKB(i);
    const VmValue* rc = RKC(i);
    if (ra->tt == VM_TTABLE) {
        // An existing entry is overwritten in place, as VmSetTableValue would.
        VmTable* t = VmTableValue(ra);
        VmValue* slot = const_cast<VmValue*>(VmIsConstant(VmGetB(i)) && rb->tt == VM_TSTRING ? GetStringConstant(t, rb)
                                                                                             : VmTableGetFast(t, rb));
        if (slot->tt != VM_TNIL) {
            t->flags = 0;
            VmCopyValue(slot, rc);
            VM_NEXT();
        }
        // A new key in a table without a "__newindex" handler is stored raw: straight into
        // the slot the lookup found (an empty array slot, or a node keeping the key of a
        // removed entry), else into a slot the table makes for it.
        if (!VmFastEvent(state, t->metatable, VM_EV_NEWINDEX)) {
            if (slot != &vmNilObject) {
                t->flags = 0;
                VmCopyValue(slot, rc);
                VM_NEXT();
            }
            VmValue v = *rc;
            *VmTableSet(state, t, rb) = v;
            VM_NEXT();
        }
    }
    VmSetTableValue(state, ra, rb, rc);
    VM_RELOAD();
    VM_NEXT();
}
L_NEWTABLE : {
    int b = VmGetB(i);
    // Array size (B & 7) << (B >> 3); anything past the largest array is a table overflow.
    int shift = b >> 3;
    uint64_t narray = shift >= 32 ? (uint64_t)(b & 7) << 32 : (uint64_t)(b & 7) << shift;
    if (narray > (uint64_t)VM_MAXARRAYKEY) VmRaiseError(state, ERR_TABLEOVERFLOW);
    VmTable* t = VmNewTableObject(state, (int)narray, VmGetC(i));
    VmSetValueTable(ra, t);
    GC_CHECK();
    VM_NEXT();
}
// Addition, subtraction and multiplication of two numbers stay inline; anything else goes
// through the conversions and events of VmArith.
#define VM_ARITH(expr)                                                 \
    {                                                                  \
        const VmValue* rb = RKB(i);                                    \
        const VmValue* rc = RKC(i);                                    \
        if (rb->tt == VM_TNUMBER && rc->tt == VM_TNUMBER) [[likely]] { \
            double x = rb->value.n, y = rc->value.n;                   \
            VmSetValueNumber(ra, expr);                                \
            VM_NEXT();                                                 \
        }                                                              \
        VmValue tmp;                                                   \
        VmArith(state, &tmp, rb, rc, VmGetOp(i));                      \
        VM_RELOAD();                                                   \
        base[VmGetA(i)] = tmp;                                         \
        VM_NEXT();                                                     \
    }
L_ADD:
    VM_ARITH(x + y)
L_SUB:
    VM_ARITH(x - y)
L_MUL:
    VM_ARITH(x * y)
#undef VM_ARITH
L_DIV:
L_IDIV:
L_MOD:
L_SHL:
L_SHR:
L_BOR:
L_BAND:
L_BXOR:
L_POW : {
    const VmValue* rb = RKB(i);
    const VmValue* rc = RKC(i);
    if (rb->tt == VM_TNUMBER && rc->tt == VM_TNUMBER) [[likely]] {
        VmSetValueNumber(ra, VmArithNumbers(state, VmGetOp(i), rb->value.n, rc->value.n));
    } else {
        VmValue tmp;
        VmArith(state, &tmp, rb, rc, VmGetOp(i));
        VM_RELOAD();
        base[VmGetA(i)] = tmp;
    }
    VM_NEXT();
}
L_UNM:
    if (base[VmGetB(i)].tt == VM_TNUMBER) [[likely]] {
        VmSetValueNumber(ra, -base[VmGetB(i)].value.n);
        VM_NEXT();
    }
L_BNOT : {
    const VmValue* rb = base + VmGetB(i);
    if (rb->tt == VM_TNUMBER) {
        VmSetValueNumber(ra, VmArithNumbers(state, VmGetOp(i), rb->value.n, 0));
    } else {
        VmValue tmp;
        VmArith(state, &tmp, rb, rb, VmGetOp(i));
        VM_RELOAD();
        base[VmGetA(i)] = tmp;
    }
    VM_NEXT();
}
L_NOT:
    VmSetValueNumber(ra, VmTestFalse(base + VmGetB(i)) ? 1 : 0);
    VM_NEXT();
L_CONCAT : {
    int b = VmGetB(i), c = VmGetC(i);
    // A result used right away as the key of a table read or store: the join is told the
    // table, so that a read key is found in its chain and a stored key's node is fetched while
    // the string is interned.
    const VmTable* keyTable = nullptr;
    bool keyRead = false;
    {
        VmInstruction next = *pc;
        const VmValue* t = nullptr;
        if (VmGetOp(next) == OP_GETTABLE && VmGetC(next) == VmGetA(i)) {
            t = base + VmGetB(next);
            keyRead = true;
        } else if (VmGetOp(next) == OP_SETTABLE && VmGetB(next) == VmGetA(i)) {
            t = base + VmGetA(next);
        }
        if (t && t->tt == VM_TTABLE) keyTable = VmTableValue(t);
    }
    VmConcatValues(state, c - b + 1, VmSaveStack(state, base + c), keyTable, keyRead);
    VM_RELOAD();
    base[VmGetA(i)] = base[b];
    GC_CHECK();
    VM_NEXT();
}
L_JMP:
    if (VmGetJF(i) == (int)VM_JF_PUSHRETURN) PushLabelReturn(state, pc);
    pc += VmGetJ(i);
    // A loop that makes no call still notices the quit flag and a due line hook.
    if (VmGetJ(i) < 0) VM_BACKEDGE();
    VM_NEXT();
L_EQ : {
    const VmValue* rb = RKB(i);
    const VmValue* rc = RKC(i);
    int res;
    if (rb->tt == VM_TNUMBER && rc->tt == VM_TNUMBER) [[likely]] {
        res = rb->value.n == rc->value.n;
    } else {
        res = VmEqualValues(state, rb, rc);
        VM_RELOAD();
    }
    if (res != VmGetA(i))
        pc++;
    else
        DOJUMP();
    VM_NEXT();
}
L_LT : {
    const VmValue* rb = RKB(i);
    const VmValue* rc = RKC(i);
    int res;
    if (rb->tt == VM_TNUMBER && rc->tt == VM_TNUMBER) [[likely]] {
        res = rb->value.n < rc->value.n;
    } else {
        res = VmLessThanValues(state, rb, rc, true);
        VM_RELOAD();
    }
    if (res != VmGetA(i))
        pc++;
    else
        DOJUMP();
    VM_NEXT();
}
L_LE : {
    const VmValue* rb = RKB(i);
    const VmValue* rc = RKC(i);
    int res;
    if (rb->tt == VM_TNUMBER && rc->tt == VM_TNUMBER) [[likely]] {
        res = rb->value.n <= rc->value.n;
    } else {
        res = VmLessEqualValues(state, rb, rc);
        VM_RELOAD();
    }
    if (res != VmGetA(i))
        pc++;
    else
        DOJUMP();
    VM_NEXT();
}
L_TEST : {
    VmValue* rb = base + VmGetB(i);
    if ((int)VmTestFalse(rb) == VmGetC(i)) {
        pc++;
    } else {
        VmCopyValue(ra, rb);
        DOJUMP();
    }
    VM_NEXT();
}
L_CALL : {
    int b = VmGetB(i);
    int nresults = VmGetC(i) - 1;
    if (ra->tt == VM_TFUNCTION && !VmClosureValue(ra)->isC) [[likely]] {
        // A script function without varargs or a call hook: the frame set-up of
        // VmPushScriptFrame, with the top kept in a register until the registers past the
        // arguments are cleared.
        VmProto* np = static_cast<VmScriptClosure*>(VmClosureValue(ra))->p;
        if (!np->isVararg && !(state->hookMask & VM_MASKCALL)) [[likely]] {
            VmValue* top = b != 0 ? ra + b : state->top;
            ci->state |= VM_CI_SAVEDPC;
            if ((char*)state->stackLast - (char*)top <= (ptrdiff_t)(np->maxStackSize + 1) * (ptrdiff_t)sizeof(VmValue))
                [[unlikely]] {
                state->top = top;
                ptrdiff_t funcr = VmSaveStack(state, ra);
                VmGrowStack(state, np->maxStackSize + 1);
                ra = VmRestoreStack(state, funcr);
                top = state->top;
            }
            ci = ci != state->endCi ? ci + 1 : VmGrowCallInfo(state);
            state->ci = ci;
            base = ra + 1;
            VmValue* frameTop = base + np->maxStackSize;
            ci->base = base;
            ci->top = frameTop;
            ci->state = VM_CI_SCRIPT;
            ci->k = np->k;
            ci->tailcalls = 0;
            ci->nresults = nresults;
            state->base = base;
            for (; top < frameTop; top++) VmSetValueNil(top);
            state->top = frameTop;
            // Continue in the callee with what is already at hand (as reentry would load it);
            // the fetch of its first instruction saves the pc.
            k = np->k;
            pc = np->code;
            lastPc = nullptr;
            VM_NEXT();
        }
    }
    if (b != 0) state->top = ra + b;
    int r;
    if (ra->tt == VM_TFUNCTION) {
        VmClosure* callee = VmClosureValue(ra);
        // The label commands jump relative to the call index (a command, a function with
        // varargs, or a call hook); a plain script function, entered above, runs no command
        // before its own calls set it again.
        g->currentCallIndex = (int)(pc - FRAME_P->code);
        if (callee->isC) {
            if ((state->hookMask & VM_MASKCALL) || vmRuntime.callTrace) {
                r = VmCallC(state, ra, nresults);
            } else {
                // VmCallC without the call hook and the call trace: the frame is set up and the
                // results are placed here.
                ci->state |= VM_CI_SAVEDPC;
                VmValue* top = state->top;
                if ((char*)state->stackLast - (char*)top <= (ptrdiff_t)VM_MINSTACK * (ptrdiff_t)sizeof(VmValue)) {
                    ptrdiff_t funcr = VmSaveStack(state, ra);
                    VmGrowStack(state, VM_MINSTACK);
                    ra = VmRestoreStack(state, funcr);
                    top = state->top;
                }
                VmCallInfo* cci = ci != state->endCi ? ci + 1 : VmGrowCallInfo(state);
                state->ci = cci;
                cci->base = ra + 1;
                cci->top = top + VM_MINSTACK;
                cci->state = VM_CI_C;
                cci->savedpc = nullptr;
                cci->k = nullptr;
                cci->tailcalls = 0;
                cci->nresults = nresults;
                state->base = ra + 1;
                int n = VmRunCommand(state, static_cast<VmCClosure*>(callee));
                // The command may have moved the stack and the frames: read them again.
                cci = state->ci;
                if (n == 1 && nresults == 1 && state->top > cci->base && !(state->hookMask & VM_MASKRET)) {
                    // One result for a caller that wants one: VmPostCall and the reload below.
                    VmCopyValue(cci->base - 1, state->top - 1);
                    ci = cci - 1;
                    state->ci = ci;
                    base = ci->base;
                    state->base = base;
                    state->top = ci->top;
                    VM_REPICK();
                    VM_NEXT();
                }
                if (VmIsResultCount(n) && n <= state->top - state->base) {
                    VmPostCall(state, state->top - n);
                    r = VM_PRECALL_C;
                } else {
                    r = VmFinishCCall(state, n);
                }
            }
        } else {
            // A script function with varargs or a call hook.
            r = VmPreCall(state, ra, nresults);
        }
    } else {
        g->currentCallIndex = (int)(pc - FRAME_P->code);
        r = VmPreCall(state, ra, nresults);
    }
    if (r == VM_PRECALL_SCRIPT) goto reentry;
    VM_RELOAD();
    if (r == VM_PRECALL_C) {
        if (nresults >= 0) state->top = ci->top;
    } else {
        state->top = ci->top;
        pc = LabelJump(state, entryIndex, FRAME_P, pc, r);
    }
    VM_NEXT();
}
L_TAILCALL : {
    int b = VmGetB(i);
    if (b != 0) state->top = ra + b;
    g->currentCallIndex = (int)(pc - FRAME_P->code);
    ptrdiff_t raOffset = VmSaveStack(state, ra);
    ra = VmResolveCallable(state, ra);
    VM_RELOAD();
    if (VmClosureValue(ra)->isC) {
        // A C function runs as a plain call whose results this frame then returns.
        int r = VmPreCall(state, ra, VM_MULTRET);
        VM_RELOAD();
        if (r != VM_PRECALL_C) {
            state->top = ci->top;
            pc = LabelJump(state, entryIndex, FRAME_P, pc, r);
            VM_NEXT();
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
// Leaves the returning frame for its caller, a script frame of this run, and continues there as
// reentry would.
#define VM_RESUME_CALLER()                                                                                     \
    (state->ci = --ci, base = ci->base, state->base = base, state->top = ci->top, k = ci->k, pc = ci->savedpc, \
     lastPc = pc - 1)
L_RETURN : {
    {
        // No result or one (B 1 or 2, C 0) to a script caller that wants exactly as many, from
        // a frame without open cells and no return hook (the caller's top replaces ours).
        uint32_t wanted = ((i >> VM_POS_C) & ((VM_MAXARG_B << VM_SIZE_C) | VM_MAXARG_C)) - (1u << VM_SIZE_C);
        if ((wanted & ~(1u << VM_SIZE_C)) == 0 && ci->nresults == (int)(wanted >> VM_SIZE_C) &&
            !(ci->state & VM_CI_FROMC) && !(state->hookMask & VM_MASKRET) && !OpenCellsFrom(state, base)) [[likely]] {
            if (wanted) VmCopyValue(ci->base - 1, ra);
            VM_RESUME_CALLER();
            VM_NEXT();
        }
    }
    if (VmGetC(i) == 1) {
        // Label return.
        if (g->labelCount <= 0) VmRaiseError(state, ERR_RETWOGOSUB);
        const VmInstruction* address = g->labelStack[g->labelCount - 1];
        if (!InCode(FRAME_P, address)) VmRaiseError(state, ERR_FUNCJMP);
        g->labelCount--;
        pc = address;
        VM_NEXT();
    }
    if (VmGetB(i) != 0) state->top = ra + VmGetB(i) - 1;
doreturn:
    if (OpenCellsFrom(state, base)) VmCloseUpvalues(state, base);
    if (!(ci->state & VM_CI_FROMC) && ci->nresults != VM_MULTRET && !(state->hookMask & VM_MASKRET)) {
        // Back to a script caller that wants a fixed count: the results replace the called
        // function, padded with nil, and the caller's frame top is restored.
        VmValue* res = ci->base - 1;
        const VmValue* last = state->top;
        for (int n = ci->nresults; n > 0; n--, res++) {
            if (ra < last)
                VmCopyValue(res, ra++);
            else
                VmSetValueNil(res);
        }
        VM_RESUME_CALLER();
        VM_NEXT();
    }
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
L_FORLOOP : {
    if (ra->tt != VM_TNUMBER || ra[1].tt != VM_TNUMBER || ra[2].tt != VM_TNUMBER) [[unlikely]] {
        if (ra->tt != VM_TNUMBER) VmRaiseError(state, ERR_VALUEEXPECTED);
        ForPrepValue(state, ra + 1);
        ForPrepValue(state, ra + 2);
    }
    double step = ra[2].value.n;
    double idx = ra->value.n + step;
    double limit = ra[1].value.n;
    if (step > 0) [[likely]] {
        if (idx <= limit) [[likely]]
            goto forloopNext;
    } else if (idx >= limit) {
        goto forloopNext;
    }
    VM_NEXT();
forloopNext:
    // The index is a number already: only its payload changes.
    ra->value.n = idx;
    pc += VmGetSBx(i);
    VM_BACKEDGE();
    VM_NEXT();
}
L_TFORLOOP : {
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
    if (ra[2].tt == VM_TNIL)
        pc++;
    else
        DOJUMP();
    VM_NEXT();
}
L_TFORPREP : {
    if (ra->tt == VM_TTABLE) {
        ra[1] = ra[0];
        VmValue key, tmp;
        VmSetValueString(&key, VmInternCString(state, "next"));
        VmGetTableValue(state, &FRAME_CL->globals, &key, &tmp, VM_GET_PLAIN);
        VM_RELOAD();
        base[VmGetA(i)] = tmp;
    }
    pc += VmGetSBx(i);
    VM_NEXT();
}
L_SETLIST:
L_SETLISTO : {
    int bx = VmGetBx(i);
    int n = VmGetOp(i) == OP_SETLIST ? (bx & 31) + 1 : (int)(state->top - ra) - 1;
    if (VmGetOp(i) == OP_SETLISTO) state->top = ci->top;
    if (ra->tt != VM_TTABLE) VmRaiseError(state, ERR_BADBYTECODE);
    VmTable* t = VmTableValue(ra);
    int first = bx & ~31;
    for (int j = 1; j <= n; j++) *VmTableSetInt(state, t, first + j - 1) = ra[j];
    VM_NEXT();
}
L_CLOSE:
    VmCloseUpvalues(state, ra);
    VM_NEXT();
L_CLOSURE : {
    VmProto* np = FRAME_P->p[VmGetBx(i)];
    int nup = np->nups;
    VmScriptClosure* ncl = VmNewScriptClosure(state, np, nup, &FRAME_CL->globals);
    VmUpvalue** ups = VmScriptClosureUpvalues(ncl);
    // Keep the new closure reachable while its cells are found or created.
    VmSetValueClosure(ra, ncl);
    for (int j = 0; j < nup; j++, pc++) {
        VmInstruction capture = *pc;
        if (VmGetOp(capture) == OP_GETUPVAL)
            ups[j] = VmScriptClosureUpvalues(FRAME_CL)[VmGetB(capture)];
        else if (VmGetOp(capture) == OP_MOVE)
            ups[j] = FindUpvalueCell(state, base + VmGetB(capture));
        else
            VmRaiseError(state, ERR_BADBYTECODE);
    }
    ci->savedpc = pc;
    GC_CHECK();
    VM_NEXT();
}
L_SELF : {
    VmValue* rb = base + VmGetB(i);
    if (VmIsConstant(VmGetC(i))) [[likely]] {
        // A method of a table named by a string constant, found in the table itself.
        const VmValue* rc = k + VmGetC(i) - VM_RK_CONST;
        if (rc->tt == VM_TSTRING && rb->tt == VM_TTABLE) [[likely]] {
            VmTable* t = VmTableValue(rb);
            const VmValue* v = GetStringConstant(t, rc);
            if (v->tt != VM_TNIL) [[likely]] {
                // Field by field: the call reads the tags and payloads apart at once, which
                // stalls on one wide store of each value.
                VmSetValueTable(ra + 1, t);
                VmCopyValue(ra, v);
                VM_NEXT();
            }
        }
    }
    const VmValue* rc = RKC(i);
    if (rc->tt != VM_TSTRING) VmRaiseError(state, ERR_BADBYTECODE);
    VmValue obj = *rb;
    ra[1] = obj;
    if (obj.tt == VM_TTABLE) {
        const VmValue* v = VmIsConstant(VmGetC(i)) ? GetStringConstant(VmTableValue(&obj), rc)
                                                   : VmTableGetString(VmTableValue(&obj), VmStringValue(rc));
        if (v->tt != VM_TNIL) {
            *ra = *v;
            VM_NEXT();
        }
    }
    VmValue tmp;
    VmGetTableValue(state, rb, rc, &tmp, VM_GET_PLAIN);
    VM_RELOAD();
    base[VmGetA(i)] = tmp;
    VM_NEXT();
}
L_NOP:
    // Opcodes above 42 do nothing.
    VM_NEXT();
#undef FRAME_CL
#undef FRAME_P
#undef VM_RESUME_CALLER
#undef VM_RELOAD
#undef VM_REPICK
#undef VM_BACKEDGE
#undef RKB
#undef RKC
#undef DOJUMP
#undef VM_INTERRUPTED
#undef VM_PICK_TABLE
#undef VM_NEXT
#undef VM_DISPATCH
#undef GC_CHECK
}
