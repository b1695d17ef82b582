// The mark-and-sweep collector. Marking uses bit 0 of the mark byte; tables, closures, threads and
// prototypes are queued on a gray list (through their gclist links) and traversed until none is
// left. Weak tables are remembered on a second list and cleared after marking.
#include "vm/vm_gc.h"

#include <initializer_list>

#include "vm/vm_do.h"
#include "vm/vm_state.h"
#include "vm/vm_string.h"
#include "vm/vm_table.h"

static bool IsMarked(const VmObject* o) { return (o->marked & VM_MARK_MARKED) != 0; }

static VmObject** GcListOf(VmObject* o) {
    switch (o->tt) {
    case VM_TTABLE: return &static_cast<VmTable*>(o)->gclist;
    case VM_TFUNCTION: return &static_cast<VmClosure*>(o)->gclist;
    case VM_TTHREAD: return &static_cast<VmState*>(o)->gclist;
    case VM_TPROTO: return &static_cast<VmProto*>(o)->gclist;
    default: return nullptr;
    }
}

static void MarkObject(VmGlobalState* g, VmObject* o);

static void MarkValue(VmGlobalState* g, const VmValue* v) {
    if (v->tt >= VM_TSTRING && v->tt <= VM_TUPVAL && !IsMarked(v->value.gc)) MarkObject(g, v->value.gc);
}

static void MarkObject(VmGlobalState* g, VmObject* o) {
    if (!o || IsMarked(o)) return;
    o->marked |= VM_MARK_MARKED;
    switch (o->tt) {
    case VM_TSTRING: break;
    case VM_TUSERDATA: MarkObject(g, static_cast<VmUserdata*>(o)->metatable); break;
    case VM_TUPVAL: MarkValue(g, static_cast<VmUpvalue*>(o)->v); break;
    default: {
        VmObject** link = GcListOf(o);
        *link = g->gray;
        g->gray = o;
        break;
    }
    }
}

static void TraverseTable(VmGlobalState* g, VmTable* t) {
    MarkObject(g, t->metatable);
    t->marked &= (uint8_t) ~(VM_MARK_WEAKKEYS | VM_MARK_WEAKVALUES);
    bool weakKeys = false, weakValues = false;
    if (t->metatable) {
        const VmValue* mode = VmTableGetString(t->metatable, g->eventNames[VM_EV_MODE]);
        if (mode->tt == VM_TSTRING) {
            const VmString* s = VmStringValue(mode);
            weakKeys = memchr(VmStringData(s), 'k', s->len) != nullptr;
            weakValues = memchr(VmStringData(s), 'v', s->len) != nullptr;
        }
    }
    if (weakKeys || weakValues) {
        if (weakKeys) t->marked |= VM_MARK_WEAKKEYS;
        if (weakValues) t->marked |= VM_MARK_WEAKVALUES;
        t->gclist = g->weak;
        g->weak = t;
    }
    for (int i = 0; i < t->sizearray; i++)
        if (!weakValues || t->array[i].tt == VM_TSTRING) MarkValue(g, &t->array[i]);
    if (t->node == g->dummynode) return;
    int size = VmNodeCount(t);
    // The objects of the keys and values a few nodes on are fetched before they are marked, so
    // that the misses of a big table's strings overlap instead of following one another.
    constexpr int ahead = 16;
    for (int i = 0; i < size; i++) {
        if (i + ahead < size) {
            const VmNode* later = &t->node[i + ahead];
            if (later->val.tt >= VM_TSTRING && later->val.tt <= VM_TUPVAL) __builtin_prefetch(later->val.value.gc, 1);
            if (later->val.tt != VM_TNIL && later->key.tt >= VM_TSTRING && later->key.tt <= VM_TUPVAL)
                __builtin_prefetch(later->key.value.gc, 1);
        }
        VmNode* n = &t->node[i];
        if (n->val.tt == VM_TNIL) {
            // A removed entry: its key object may be collected, so it becomes a dead marker.
            if (n->key.tt >= VM_TSTRING) n->key.tt = VM_TDEADKEY;
            continue;
        }
        // Strings are never removed from weak tables: they are marked wherever they are met.
        if (!weakKeys || n->key.tt == VM_TSTRING) MarkValue(g, &n->key);
        if (!weakValues || n->val.tt == VM_TSTRING) MarkValue(g, &n->val);
    }
}

static void TraverseProto(VmGlobalState* g, VmProto* p) {
    MarkObject(g, p->source);
    for (int i = 0; i < p->sizek; i++) MarkValue(g, &p->k[i]);
    for (int i = 0; i < p->sizeupvalues; i++) MarkObject(g, p->upvalues[i]);
    for (int i = 0; i < p->sizelocvars; i++) MarkObject(g, p->locvars[i].varname);
    for (int i = 0; i < p->sizep; i++) MarkObject(g, p->p[i]);
}

static void TraverseClosure(VmGlobalState* g, VmClosure* c) {
    if (c->isC) {
        VmCClosure* cc = static_cast<VmCClosure*>(c);
        VmValue* up = VmCClosureUpvalues(cc);
        for (int i = 0; i < cc->nupvalues; i++) MarkValue(g, &up[i]);
    } else {
        VmScriptClosure* sc = static_cast<VmScriptClosure*>(c);
        MarkObject(g, sc->p);
        MarkValue(g, &sc->globals);
        VmUpvalue** up = VmScriptClosureUpvalues(sc);
        for (int i = 0; i < sc->nupvalues; i++) {
            VmUpvalue* uv = up[i];
            if (!uv) continue;
            if (uv->v == &uv->value) {
                MarkObject(g, uv);
            } else {
                // An open cell lives on its thread's list; mark it so it is not mistaken for
                // garbage, and its value through the stack slot.
                uv->marked |= VM_MARK_MARKED;
                MarkValue(g, uv->v);
            }
        }
    }
}

static void TraverseThread(VmGlobalState* g, VmState* th) {
    MarkValue(g, &th->globals);
    VmValue* lim = th->top;
    for (VmCallInfo* ci = th->baseCi; ci <= th->ci; ci++)
        if (lim < ci->top) lim = ci->top;
    VmValue* o = th->stack;
    for (; o < th->top; o++) MarkValue(g, o);
    for (; o <= lim && o < th->stack + th->stackSize; o++) VmSetValueNil(o);
}

// Shrinks a thread's call-info array and stack when most of them are unused.
static void ShrinkThread(VmState* th) {
    int ciUsed = (int)(th->ci - th->baseCi);
    if (th->sizeCi > 16 && 4 * ciUsed < th->sizeCi) VmResizeCallInfo(th, th->sizeCi / 2);
    VmValue* lim = th->top;
    for (VmCallInfo* ci = th->baseCi; ci <= th->ci; ci++)
        if (lim < ci->top) lim = ci->top;
    int used = (int)(lim - th->stack);
    if (th->stackSize > 90 && 4 * used < th->stackSize) VmResizeStack(th, th->stackSize / 2);
}

static void Propagate(VmGlobalState* g) {
    while (g->gray) {
        VmObject* o = g->gray;
        VmObject** link = GcListOf(o);
        g->gray = *link;
        switch (o->tt) {
        case VM_TTABLE: TraverseTable(g, static_cast<VmTable*>(o)); break;
        case VM_TFUNCTION: TraverseClosure(g, static_cast<VmClosure*>(o)); break;
        case VM_TTHREAD: TraverseThread(g, static_cast<VmState*>(o)); break;
        case VM_TPROTO: TraverseProto(g, static_cast<VmProto*>(o)); break;
        default: break;
        }
    }
}

// Whether a weak entry's object is unreachable.
static bool IsCleared(const VmValue* v) {
    if (v->tt == VM_TSTRING) return false;
    if (v->tt < VM_TSTRING || v->tt > VM_TUPVAL) return false;
    return !IsMarked(v->value.gc);
}

static void ClearWeakTables(VmGlobalState* g, bool valuesOnly) {
    for (VmObject* o = g->weak; o; o = static_cast<VmTable*>(o)->gclist) {
        VmTable* t = static_cast<VmTable*>(o);
        bool weakKeys = !valuesOnly && (t->marked & VM_MARK_WEAKKEYS);
        bool weakValues = (t->marked & VM_MARK_WEAKVALUES) != 0;
        if (weakValues)
            for (int i = 0; i < t->sizearray; i++)
                if (IsCleared(&t->array[i])) VmSetValueNil(&t->array[i]);
        if (t->node == g->dummynode) continue;
        int size = VmNodeCount(t);
        for (int i = 0; i < size; i++) {
            VmNode* n = &t->node[i];
            if (n->val.tt == VM_TNIL) continue;
            if ((weakKeys && IsCleared(&n->key)) || (weakValues && IsCleared(&n->val))) {
                VmSetValueNil(&n->val);
                if (n->key.tt >= VM_TSTRING) n->key.tt = VM_TDEADKEY;
            }
        }
    }
}

size_t VmSeparateUserdata(VmState* state, bool allUserdata) {
    VmGlobalState* g = state->g;
    size_t pending = 0;
    VmObject** p = &g->rootudata;
    while (*p) {
        VmObject* o = *p;
        VmUserdata* u = static_cast<VmUserdata*>(o);
        bool candidate = allUserdata || !IsMarked(o);
        if (candidate && !(o->marked & VM_MARK_FINALISED) && VmFastEvent(state, u->metatable, VM_EV_GC)) {
            o->marked |= VM_MARK_FINALISED;
            pending += VmUserdataSize(u->len);
            *p = o->next;
            // Append so that finalisers run in the order the userdata were found.
            VmObject** tail = &g->tmudata;
            while (*tail) tail = &(*tail)->next;
            o->next = nullptr;
            *tail = o;
        } else {
            p = &o->next;
        }
    }
    return pending;
}

// The sweep frees closures and cells by the million: the switch stays inline there.
static inline void FreeObject(VmState* state, VmObject* o) {
    switch (o->tt) {
    case VM_TPROTO: VmFreeProto(state, static_cast<VmProto*>(o)); break;
    case VM_TFUNCTION: VmFreeClosure(state, static_cast<VmClosure*>(o)); break;
    case VM_TUPVAL: VmFreeObjectBlock(state, o, sizeof(VmUpvalue)); break;
    case VM_TTABLE: VmFreeTable(state, static_cast<VmTable*>(o)); break;
    case VM_TTHREAD: VmFreeThread(state, static_cast<VmState*>(o)); break;
    case VM_TUSERDATA: VmRealloc(state, o, VmUserdataSize(static_cast<VmUserdata*>(o)->len), 0); break;
    case VM_TSTRING: VmFreeString(state, static_cast<VmString*>(o)); break;
    default: break;
    }
}

void VmFreeObject(VmState* state, VmObject* o) { FreeObject(state, o); }

// Frees the unmarked objects of a list. Threads that stay are linked through their gclist into
// liveThreads, and dead ones through next into deadThreads.
static void SweepList(VmState* state, VmObject** p, VmObject** liveThreads, VmObject** deadThreads) {
    constexpr uint8_t clearBits = (uint8_t) ~(VM_MARK_MARKED | VM_MARK_WEAKKEYS | VM_MARK_WEAKVALUES);
    while (*p) {
        VmObject* o = *p;
        if (IsMarked(o) || (o->marked & VM_MARK_FIXED)) {
            o->marked &= clearBits;
            if (o->tt == VM_TTHREAD) {
                static_cast<VmState*>(o)->gclist = *liveThreads;
                *liveThreads = o;
            }
            p = &o->next;
        } else {
            *p = o->next;
            if (o->tt == VM_TTHREAD) {
                // Freed after the sweep: closing its upvalues links cells into the root list.
                o->next = *deadThreads;
                *deadThreads = o;
            } else {
                FreeObject(state, o);
            }
        }
    }
}

static void MarkRoots(VmState* state) {
    VmGlobalState* g = state->g;
    g->gray = nullptr;
    g->weak = nullptr;
    MarkObject(g, g->defaultMeta);
    MarkValue(g, &g->registry);
    MarkObject(g, g->mainthread);
    if (state != g->mainthread) MarkObject(g, state);
    // Userdata waiting for their finaliser stay alive until it has run.
    for (VmObject* o = g->tmudata; o; o = o->next) MarkObject(g, o);
}

void VmCollectGarbage(VmState* state) {
    VmGlobalState* g = state->g;
    MarkRoots(state);
    Propagate(g);
    ClearWeakTables(g, true);
    size_t pending = VmSeparateUserdata(state, false);
    for (VmObject* o = g->tmudata; o; o = o->next) {
        o->marked &= (uint8_t)~VM_MARK_MARKED;
        MarkObject(g, o);
    }
    Propagate(g);
    ClearWeakTables(g, false);

    VmObject* deadThreads = nullptr;
    uint32_t cycleStrings = g->strt.nuse;
    VmSweepStrings(state);
    VmObject* liveThreads = nullptr;
    SweepList(state, &g->rootgc, &liveThreads, &deadThreads);
    SweepList(state, &g->rootudata, &liveThreads, &deadThreads);
    for (VmObject* o = g->tmudata; o; o = o->next) o->marked &= (uint8_t)~VM_MARK_MARKED;
    g->mainthread->marked &= (uint8_t)~VM_MARK_MARKED;
    while (deadThreads) {
        VmObject* next = deadThreads->next;
        VmFreeThread(state, static_cast<VmState*>(deadThreads));
        deadThreads = next;
    }
    // Shrinking allocates, so it waits until no mark is left set: a failure here cannot leave
    // the next cycle with stale marks.
    for (VmObject* o = liveThreads; o; o = static_cast<VmState*>(o)->gclist) ShrinkThread(static_cast<VmState*>(o));
    ShrinkThread(g->mainthread);
    VmShrinkStringTable(state, cycleStrings);
    if (g->buffsize > 64) {
        size_t newSize = g->buffsize / 2;
        g->buffer = static_cast<char*>(VmRealloc(state, g->buffer, g->buffsize, newSize));
        g->buffsize = newSize;
    }
    size_t twice = 2 * g->nblocks;
    g->gcThreshold = twice > pending ? twice - pending : g->nblocks;
    VmCallFinalisers(state);
}

void VmCallFinalisers(VmState* state) {
    VmGlobalState* g = state->g;
    while (g->tmudata) {
        VmObject* o = g->tmudata;
        VmUserdata* u = static_cast<VmUserdata*>(o);
        g->tmudata = o->next;
        o->next = g->rootudata;
        g->rootudata = o;
        const VmValue* handler = VmFastEvent(state, u->metatable, VM_EV_GC);
        if (!handler) continue;
        uint8_t oldAllow = state->allowHook;
        state->allowHook = 0;
        VmCheckStackRoom(state, 2);
        state->top[0] = *handler;
        VmSetValueUserdata(&state->top[1], u);
        state->top += 2;
        VmCallValue(state, state->top - 2, 0);
        state->allowHook = oldAllow;
    }
}

void VmFreeAllObjects(VmState* state) {
    VmGlobalState* g = state->g;
    // Pop from the head each time: freeing a thread may link closed upvalue cells there.
    while (g->rootgc) {
        VmObject* o = g->rootgc;
        g->rootgc = o->next;
        VmFreeObject(state, o);
    }
    for (VmObject** list : {&g->rootudata, &g->tmudata}) {
        while (*list) {
            VmObject* o = *list;
            *list = o->next;
            VmFreeObject(state, o);
        }
    }
    VmFreeAllStrings(state);
}

void VmGcCheck(VmState* state) {
    if (state->g->nblocks >= state->g->gcThreshold) VmCollectGarbage(state);
}
