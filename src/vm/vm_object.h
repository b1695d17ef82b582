// Internal records of the virtual machine: values, collectable objects, the per-thread state and
// the shared global state, plus the allocator, object constructors and the protected-run
// mechanism that the rest of src/vm/ builds on. Code outside src/vm/ uses vm.h instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include <sanitizer/asan_interface.h>

#include "base/error_codes.h"
#include "vm/vm.h"
#include "vm/vm_opcodes.h"

// Internal tags beyond the public ones of vm.h.
enum {
    VM_TPROTO = 9,     // prototype
    VM_TUPVAL = 10,    // upvalue cell
    VM_TDEADKEY = 11,  // key of a removed table entry whose object may be gone (never dereferenced)
};

struct VmObject;
struct VmString;
struct VmTable;
struct VmNode;
struct VmProto;
struct VmUpvalue;
struct VmUserdata;
struct VmCallInfo;
struct VmGlobalState;
struct VmProtectedRecord;

// ---------------------------------------------------------------------------------------------
// Values

union VmPayload {
    VmObject* gc;  // strings, tables, functions, userdata, threads, prototypes, upvalue cells
    void* p;       // light userdata
    double n;      // number
    int32_t b;     // boolean 0 or 1
};

struct VmValue {
    int32_t tt;    // VM_TNIL .. VM_TUPVAL
    uint32_t aux;  // free for the holder: a table node's key keeps a string key's hash here
    VmPayload value;
};

// Copies a value field by field. The setters write the tag and the payload as two stores; one
// wide load of a value written that way a moment ago cannot take them from the store buffer and
// waits for both to reach the cache, where two narrow loads are served at once.
inline void VmCopyValue(VmValue* to, const VmValue* from) {
    to->value = from->value;
    to->tt = from->tt;
}

// ---------------------------------------------------------------------------------------------
// Common header of every collectable object.

// Mark byte bits.
enum {
    VM_MARK_MARKED = 1,      // reached in the current collection
    VM_MARK_WEAKKEYS = 2,    // table: "__mode" has 'k'
    VM_MARK_WEAKVALUES = 4,  // table: "__mode" has 'v'
    VM_MARK_FINALISED = 8,   // userdata: its "__gc" handler ran or is queued
    VM_MARK_FIXED = 16,      // never collected (event names, the memory message)
};

struct VmObject {
    VmObject* next;  // next object in its list (root list, userdata list, bucket, open cells)
    uint8_t tt;      // tag of the object
    uint8_t marked;  // mark bits above
};

// ---------------------------------------------------------------------------------------------
// Strings: interned, so equal texts are one object. The bytes follow the record, NUL-terminated.

struct VmString : VmObject {
    uint8_t reserved;
    uint8_t hashed;  // hash below is known (it is worked out when the string first meets a table)
    uint32_t hash;   // the string hash (VmStringHash) that places it in tables
    uint32_t len;
    uint32_t lookup;  // the string table's own hash of the bytes (VmStringLookupHash)
};

inline char* VmStringData(VmString* s) { return reinterpret_cast<char*>(s + 1); }
inline const char* VmStringData(const VmString* s) { return reinterpret_cast<const char*>(s + 1); }
// Bytes a string of a given length occupies.
inline size_t VmStringSize(size_t len) { return sizeof(VmString) + len + 1; }

// Hash of a text: every step-th byte from the end, step = (length >> 5) + 1.
uint32_t VmStringHash(const char* bytes, size_t length);
// The hash that places a string in tables, worked out on first use: most strings never become
// a table key, and those that do not need it to be found in none.
inline uint32_t VmStringKeyHash(VmString* s) {
    if (!s->hashed) {
        s->hash = VmStringHash(VmStringData(s), s->len);
        s->hashed = 1;
    }
    return s->hash;
}

// ---------------------------------------------------------------------------------------------
// Tables

struct VmNode {
    VmValue key;
    VmValue val;
    VmNode* next;  // collision chain
};

struct VmTable : VmObject {
    uint8_t flags;       // absent-event cache: bit e set = no handler for event e
    uint8_t lsizenode;   // log2 of the node count
    VmTable* metatable;  // the default metatable when none was set
    VmValue* array;      // array part, keys 1 .. sizearray
    VmNode* node;        // 2^lsizenode nodes (the global dummy node when lsizenode is 0 and empty)
    VmNode* firstfree;   // free-node scan starts below this
    VmObject* gclist;    // gray / weak list link of the collector
    int sizearray;
};

inline int VmNodeCount(const VmTable* t) { return 1 << t->lsizenode; }

// Largest log2 of a node count, and largest array key.
constexpr int VM_MAXLOG2NODES = 24;
constexpr int VM_MAXARRAYKEY = 1 << 24;

// ---------------------------------------------------------------------------------------------
// Prototypes and closures

struct VmLocVar {
    VmString* varname;
    int startpc;  // first pc where the variable is active
    int endpc;    // first pc where it is dead
};

struct VmProto : VmObject {
    VmValue* k;  // constants
    VmInstruction* code;
    VmProto** p;    // nested prototypes
    int* lineinfo;  // source line of each instruction
    VmLocVar* locvars;
    VmString** upvalues;  // upvalue names
    VmString* source;
    int sizek;
    int sizecode;
    int sizelineinfo;
    int sizep;
    int sizelocvars;
    int sizeupvalues;
    int lineDefined;
    VmObject* gclist;
    uint8_t nups;       // upvalue count
    uint8_t numparams;  // fixed parameters
    uint8_t isVararg;
    uint8_t maxStackSize;  // registers used
};

struct VmUpvalue : VmObject {
    VmValue* v;     // the stack slot while open, &value once closed
    VmValue value;  // receives the value when the cell closes
};

// Fields shared by both closure kinds; the function value (tag VM_TFUNCTION) points to one.
struct VmClosure : VmObject {
    uint8_t isC;
    uint8_t nupvalues;
    VmObject* gclist;
};

struct VmCClosure : VmClosure {
    VmCFunction f;
    // The argument-count range checked before f runs as a command; minArgs below 0: none.
    int16_t minArgs;
    int16_t maxArgs;
    // nupvalues VmValues follow the record.
};

struct VmScriptClosure : VmClosure {
    VmProto* p;
    VmValue globals;  // the closure's globals table
    // nupvalues VmUpvalue pointers follow the record.
};

inline VmValue* VmCClosureUpvalues(VmCClosure* c) { return reinterpret_cast<VmValue*>(c + 1); }
inline VmUpvalue** VmScriptClosureUpvalues(VmScriptClosure* c) { return reinterpret_cast<VmUpvalue**>(c + 1); }
inline size_t VmCClosureSize(int n) { return sizeof(VmCClosure) + sizeof(VmValue) * (size_t)n; }
inline size_t VmScriptClosureSize(int n) { return sizeof(VmScriptClosure) + sizeof(VmUpvalue*) * (size_t)n; }

// ---------------------------------------------------------------------------------------------
// Full userdata: the data block follows the record, 16-byte aligned.

struct alignas(16) VmUserdata : VmObject {
    VmTable* metatable;  // the default metatable when none was set
    size_t len;
};

inline void* VmUserdataData(VmUserdata* u) { return reinterpret_cast<char*>(u) + sizeof(VmUserdata); }
inline size_t VmUserdataSize(size_t len) { return sizeof(VmUserdata) + len; }

// ---------------------------------------------------------------------------------------------
// Call frames

enum {
    VM_CI_C = 1,        // a C function
    VM_CI_SCRIPT = 2,   // a script function that is running
    VM_CI_FROMC = 4,    // entered from C: its RETURN goes back to the C caller
    VM_CI_SAVEDPC = 8,  // savedpc is valid
    VM_CI_YIELDED = 16,
};

struct VmCallInfo {
    VmValue* base;     // frame base (first register / first argument)
    VmValue* top;      // frame top
    const VmValue* k;  // a script frame's constants, for returns into it
    int state;         // VM_CI_ bits
    int tailcalls;     // tail calls that replaced this frame
    // Not beside k: the compiler would pair the two stores of a call into one vector move, whose
    // extra latency delays the callee's first instruction.
    const VmInstruction* savedpc;  // next instruction when the pc is saved
    int nresults;                  // results the caller wants (VM_MULTRET for all)
};
// Frames are counted in the bytes in use that scripts can read.
static_assert(sizeof(VmCallInfo) == 48, "a frame record keeps its size");

// Frames a thread may hold before a call raises ERR_STACK.
constexpr int VM_MAXCALLS = 4096;
// C-call depth at which a call raises ERR_STACK, and the depth at which it is thrown directly.
constexpr int VM_MAXCCALLS = 200;
constexpr int VM_MAXCCALLS_HARD = 224;
// Largest C-interface frame that VmCheckStack grants.
constexpr int VM_MAXCSTACK = 2048;
// Stack slots kept spare above the last usable slot.
constexpr int VM_EXTRA_STACK = 5;
constexpr int VM_BASIC_STACK = 45;
constexpr int VM_BASIC_CI = 8;

// ---------------------------------------------------------------------------------------------
// Threads and the global state

struct VmState : VmObject {
    VmValue* top;   // first free slot
    VmValue* base;  // base of the running function
    VmGlobalState* g;
    VmCallInfo* ci;      // current call
    VmValue* stackLast;  // last usable slot
    VmValue* stack;
    int stackSize;
    VmCallInfo* endCi;   // one past the last usable call-info entry
    VmCallInfo* baseCi;  // call-info array
    int sizeCi;
    int nCcalls;       // nested C calls
    uint8_t hookMask;  // VM_MASK* bits
    uint8_t allowHook;
    uint8_t hookInit;
    int baseHookCount;
    int hookCount;
    VmHook hook;
    VmValue globals;       // globals table of this thread
    VmUpvalue* openUpval;  // open cells, highest stack level first
    VmObject* gclist;
    VmProtectedRecord* errorJmp;  // innermost protected call
    ptrdiff_t errfunc;            // stack offset of the error function (0 = none)
};

// Open addressing with linear probing. A slot holds a string's address with a 16-bit tag of its
// lookup hash in the top bits (0: empty), so that a probe passes other strings without reading
// them. Every string sits in the run of occupied slots that starts at its home slot
// (lookup & (size - 1)); the table grows before three quarters of it are in use, so a run ends soon.
struct VmStringTable {
    uint64_t* slots;
    uint32_t nuse;  // strings stored
    int size;       // slot count, a power of two
};

// Events, numbered as the absent-event cache bits of a table.
enum VmEvent {
    VM_EV_INDEX = 0,
    VM_EV_NEWINDEX,
    VM_EV_GC,
    VM_EV_MODE,
    VM_EV_EQ,
    VM_EV_ADD,
    VM_EV_SUB,
    VM_EV_MUL,
    VM_EV_DIV,
    VM_EV_DIVINT,
    VM_EV_MOD,
    VM_EV_LSH,
    VM_EV_RSH,
    VM_EV_OR,
    VM_EV_AND,
    VM_EV_XOR,
    VM_EV_POW,
    VM_EV_UNM,
    VM_EV_NOT,
    VM_EV_LT,
    VM_EV_LE,
    VM_EV_CONCAT,
    VM_EV_CALL,
};
constexpr int VM_NUM_EVENTS = 23;
extern const char* const vmEventNames[VM_NUM_EVENTS];

// Label return stack size.
constexpr int VM_LABELSTACK = 4096;

// Small blocks (short strings) come from size classes of VM_SMALL_STEP bytes up to
// VM_SMALL_MAX, each with a free list, carved from chunks that live until the VM closes.
constexpr size_t VM_SMALL_STEP = 16;
constexpr size_t VM_SMALL_MAX = 128;
constexpr int VM_SMALL_CLASSES = (int)(VM_SMALL_MAX / VM_SMALL_STEP);

struct VmSmallBlocks {
    void* freeList[VM_SMALL_CLASSES];  // free blocks of each class, linked through their first word
    char* next;                        // unused rest of the newest chunk
    char* end;
    void* chunks;       // every chunk, linked through its first word
    size_t chunkBytes;  // size of the next chunk (0: the first size)
    void* spare;        // blocks kept by VmFreeSpareBlock for chunks, linked as the chunks are
    size_t spareBytes;  // their bytes
};

struct VmGlobalState {
    VmStringTable strt;
    VmObject* rootgc;     // root list of collectable objects
    VmObject* rootudata;  // full userdata
    VmObject* tmudata;    // userdata waiting for their "__gc" handler
    VmObject* gray;       // collector: marked but not yet traversed
    VmObject* weak;       // collector: weak tables met in this cycle
    char* buffer;         // scratch buffer (concatenation, formatting)
    size_t buffsize;
    VmSmallBlocks small;  // blocks of short strings
    size_t gcThreshold;   // bytes; a step check collects when nblocks reaches it
    size_t nblocks;       // bytes in use
    VmPanicFunction panic;
    VmValue registry;
    VmTable* defaultMeta;  // metatable of every table and userdata without one
    VmState* mainthread;
    VmNode dummynode[1];  // node part of every table without hash nodes
    VmString* eventNames[VM_NUM_EVENTS];
    VmString* memoryMessage;  // "not enough memory", fixed

    // Interpreter state shared by every thread of this VM.
    const VmInstruction* labelStack[VM_LABELSTACK];  // label return addresses
    int labelCount;
    int currentCallIndex;            // pc after the last CALL, from the code start of the entry function
    int labelJumpOffset;             // set by the label commands: label value - current call index
    const VmInstruction* entryCode;  // code start of the function the current interpreter run entered
};

// ---------------------------------------------------------------------------------------------
// Value helpers

inline VmString* VmStringValue(const VmValue* v) { return static_cast<VmString*>(v->value.gc); }
inline VmTable* VmTableValue(const VmValue* v) { return static_cast<VmTable*>(v->value.gc); }
inline VmClosure* VmClosureValue(const VmValue* v) { return static_cast<VmClosure*>(v->value.gc); }
inline VmUserdata* VmUserdataValue(const VmValue* v) { return static_cast<VmUserdata*>(v->value.gc); }
inline VmState* VmThreadValue(const VmValue* v) { return static_cast<VmState*>(v->value.gc); }

inline void VmSetValueNil(VmValue* v) {
    v->tt = VM_TNIL;
    v->value.gc = nullptr;
}
inline void VmSetValueNumber(VmValue* v, double n) {
    v->tt = VM_TNUMBER;
    v->value.n = n;
}
inline void VmSetValueBoolean(VmValue* v, int b) {
    v->tt = VM_TBOOLEAN;
    v->value.gc = nullptr;
    v->value.b = b != 0;
}
inline void VmSetValueLight(VmValue* v, void* p) {
    v->tt = VM_TLIGHTUSERDATA;
    v->value.p = p;
}
inline void VmSetValueObject(VmValue* v, VmObject* o, int tag) {
    v->tt = tag;
    v->value.gc = o;
}
inline void VmSetValueString(VmValue* v, VmString* s) { VmSetValueObject(v, s, VM_TSTRING); }
inline void VmSetValueTable(VmValue* v, VmTable* t) { VmSetValueObject(v, t, VM_TTABLE); }
inline void VmSetValueClosure(VmValue* v, VmClosure* c) { VmSetValueObject(v, c, VM_TFUNCTION); }
inline void VmSetValueUserdata(VmValue* v, VmUserdata* u) { VmSetValueObject(v, u, VM_TUSERDATA); }
inline void VmSetValueThread(VmValue* v, VmState* s) { VmSetValueObject(v, s, VM_TTHREAD); }

// The shared nil value returned by lookups that find nothing. Never written.
extern const VmValue vmNilObject;

// ---------------------------------------------------------------------------------------------
// Allocation. Every block of the VM goes through VmRealloc; bytes in use follow newSize - oldSize.

// New size 0 frees and returns null. Failure raises ERR_MEM; with a null state it returns null.
void* VmRealloc(VmState* state, void* block, size_t oldSize, size_t newSize);

// A new block of size bytes (more than 0), all zero, counted and failing as VmRealloc; freed with
// VmRealloc.
void* VmAllocZeroed(VmState* state, size_t size);

// Test seam: while installed, VmRealloc asks the hook before every allocation that grows a block
// and fails it when the hook answers non-zero. Null removes it.
typedef int (*VmAllocFailHook)(size_t newSize);
void VmSetAllocFailHook(VmAllocFailHook hook);

// Test seam state of VmSetAllocFailHook (null when none is installed).
extern VmAllocFailHook vmAllocFailHook;

// The rest of VmSmallAlloc: a block carved from the newest chunk or from a new one, or a failure
// the test seam asked for.
void* VmSmallAllocSlow(VmState* state, size_t size);

inline int VmSmallClass(size_t size) { return (int)((size - 1) / VM_SMALL_STEP); }

// A block of at most VM_SMALL_MAX bytes from the small-block classes, counted in the bytes in use
// as VmRealloc counts it; failure raises ERR_MEM.
inline void* VmSmallAlloc(VmState* state, size_t size) {
    VmSmallBlocks* sb = &state->g->small;
    int c = VmSmallClass(size);
    void* block = sb->freeList[c];
    if (!block || vmAllocFailHook) [[unlikely]]
        return VmSmallAllocSlow(state, size);
    ASAN_UNPOISON_MEMORY_REGION(block, (size_t)(c + 1) * VM_SMALL_STEP);
    void* next = *static_cast<void**>(block);
    sb->freeList[c] = next;
    // Free blocks are scattered over the chunks: the next one of the class is fetched now, so
    // that the next allocation does not wait for it.
    __builtin_prefetch(next, 1);
    state->g->nblocks += size;
    return block;
}

// Returns a block of VmSmallAlloc with the size it was asked with.
inline void VmSmallFree(VmState* state, void* block, size_t size) {
    VmSmallBlocks* sb = &state->g->small;
    int c = VmSmallClass(size);
    *static_cast<void**>(block) = sb->freeList[c];
    sb->freeList[c] = block;
    // A freed block stays poisoned under the address sanitizer, so a use after free is caught.
    ASAN_POISON_MEMORY_REGION(static_cast<char*>(block) + sizeof(void*),
                              (size_t)(c + 1) * VM_SMALL_STEP - sizeof(void*));
    state->g->nblocks -= size;
}
// Frees every chunk of the small blocks and every spare block (closing the VM).
void VmSmallFreeAll(VmGlobalState* g);

// Frees a block of VmRealloc that a growing structure left behind (the old node part of a
// table, the old string table). A big one is kept instead, as the next chunks of the small
// blocks: the objects that fill the grown structure then land in memory the process touched
// already, where fresh memory costs a page fault and the clearing of each page. Kept blocks are
// not counted in the bytes in use, and they stay fewer bytes than those.
void VmFreeSpareBlock(VmState* state, void* block, size_t size);

// The block of an object record (a closure, an upvalue cell, a table): from the small-block classes
// when it fits one, else from VmRealloc. Objects are made and dropped by the million, and a size
// class's free list serves them without the C library's bookkeeping.
inline void* VmNewObjectBlock(VmState* state, size_t size) {
    return size <= VM_SMALL_MAX ? VmSmallAlloc(state, size) : VmRealloc(state, nullptr, 0, size);
}
// Returns a block of VmNewObjectBlock with the size it was asked with.
inline void VmFreeObjectBlock(VmState* state, void* block, size_t size) {
    if (size <= VM_SMALL_MAX)
        VmSmallFree(state, block, size);
    else
        VmRealloc(state, block, size, 0);
}

// Byte size of n elements of size elem, raising ERR_MEM when it would overflow.
size_t VmArrayBytes(VmState* state, size_t n, size_t elem);

template <typename T>
T* VmNewArray(VmState* state, size_t n) {
    return static_cast<T*>(VmRealloc(state, nullptr, 0, VmArrayBytes(state, n, sizeof(T))));
}
// n elements whose bytes are all zero.
template <typename T>
T* VmNewZeroedArray(VmState* state, size_t n) {
    return static_cast<T*>(VmAllocZeroed(state, VmArrayBytes(state, n, sizeof(T))));
}
template <typename T>
T* VmResizeArray(VmState* state, T* block, size_t oldN, size_t newN) {
    return static_cast<T*>(VmRealloc(state, block, oldN * sizeof(T), VmArrayBytes(state, newN, sizeof(T))));
}
template <typename T>
void VmFreeArray(VmState* state, T* block, size_t n) {
    VmRealloc(state, block, n * sizeof(T), 0);
}

// ---------------------------------------------------------------------------------------------
// Object construction (each links the new object for the collector)

// Links a new object into the global root list, unmarked.
inline void VmLinkObject(VmState* state, VmObject* o, int tag) {
    VmGlobalState* g = state->g;
    o->next = g->rootgc;
    g->rootgc = o;
    o->tt = (uint8_t)tag;
    o->marked = 0;
}

// Interns a text of length bytes (may hold NULs).
VmString* VmInternString(VmState* state, const char* bytes, size_t length);
inline VmString* VmInternCString(VmState* state, const char* s) { return VmInternString(state, s, strlen(s)); }

// A new empty table; log2Nodes above 24 raises ERR_TABLEOVERFLOW.
VmTable* VmNewTableObject(VmState* state, int narray, int log2Nodes);

// A new prototype with every array empty and every count 0.
VmProto* VmNewProto(VmState* state);
void VmFreeProto(VmState* state, VmProto* p);

// A script closure of nups upvalue cells (all null) over prototype p with the given globals table.
inline VmScriptClosure* VmNewScriptClosure(VmState* state, VmProto* p, int nups, const VmValue* globals) {
    VmScriptClosure* c = static_cast<VmScriptClosure*>(VmNewObjectBlock(state, VmScriptClosureSize(nups)));
    VmLinkObject(state, c, VM_TFUNCTION);
    c->isC = 0;
    c->nupvalues = (uint8_t)nups;
    c->gclist = nullptr;
    c->p = p;
    c->globals = *globals;
    // A closure has mostly one or two cells: two plain stores cost less than a string store.
    VmUpvalue** ups = VmScriptClosureUpvalues(c);
    if (nups <= 2) {
        if (nups > 0) ups[0] = nullptr;
        if (nups > 1) ups[1] = nullptr;
    } else {
        memset(static_cast<void*>(ups), 0, sizeof(VmUpvalue*) * (size_t)nups);
    }
    return c;
}
// A C closure with n upvalues (all nil).
VmCClosure* VmNewCClosure(VmState* state, VmCFunction f, int n);
inline void VmFreeClosure(VmState* state, VmClosure* c) {
    size_t size = c->isC ? VmCClosureSize(c->nupvalues) : VmScriptClosureSize(c->nupvalues);
    VmFreeObjectBlock(state, c, size);
}

VmUserdata* VmNewUserdataObject(VmState* state, size_t size);

// Name of the n-th (1-based) local variable active at pc, null when none.
const char* VmLocalName(const VmProto* p, int n, int pc);

// ---------------------------------------------------------------------------------------------
// Collector

// Collects when the bytes in use have reached the threshold. Called after allocating operations.
void VmGcCheck(VmState* state);
// One full collection cycle.
void VmCollectGarbage(VmState* state);

// ---------------------------------------------------------------------------------------------
// Stack access for the loader and the C interface

// Address of the value at a C-interface index, null when the index names no value.
VmValue* VmIndexToAddress(VmState* state, int index);
// Copies a value onto the top of the stack; raises ERR_STACK when the frame is full.
void VmPushRaw(VmState* state, const VmValue* v);
// Makes room for n more slots above the top (relocating the stack when it grows).
void VmGrowStack(VmState* state, int n);

// Short source name of a chunk for messages, at most bufflen bytes with the NUL.
void VmChunkId(char* out, const char* source, size_t bufflen);

// ---------------------------------------------------------------------------------------------
// Protected execution. An error is a C++ throw of VmErrorUnwind, caught by VmRunProtected, or by
// the call of a command handler when it ends that handler with a returned code (VmFailCommand).

struct VmProtectedRecord {
    VmProtectedRecord* previous;
    int status;  // error code, 0 when none
};

// The one exception type of the VM. Nothing else throws it. Besides, std::bad_alloc from a handler
// or from code run in a protected call is taken as ERR_MEM where these are caught.
struct VmErrorUnwind {
    VmProtectedRecord* target;
    int code;
    bool commandResult;  // VmFailCommand: the code is the handler's result, not a raised error
};

typedef void (*VmProtectedFunction)(VmState* state, void* userData);

// Runs fn under a protected-call record; returns 0 or the error code raised inside it. Only the
// record is restored here: callers that need frames, upvalues and hooks restored use the protected
// call of the C interface.
int VmRunProtected(VmState* state, VmProtectedFunction fn, void* userData);

// The bytecode verifier (vm_verify.cpp). With reg 255 and lastpc = code size: non-zero when p is
// acceptable. With a register and a last pc: the word of the instruction that last wrote it, 0
// when unknown.
VmInstruction VmVerifyCode(const VmProto* p, int lastpc, int reg);
