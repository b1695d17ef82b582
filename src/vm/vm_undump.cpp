// Chunk loader: the buffered input stream over a reader callback, and the reading of a chunk's
// header and function records into verified prototypes.
//
// Counts and lengths in a chunk are never trusted for allocation: byte blocks are read into the
// load buffer in steps that grow only as bytes actually arrive, and record arrays grow by doubling
// as their records are read, so a chunk that claims more than it holds ends in ERR_UNEXPECTEDEOF
// without allocating what it claims.
#include <algorithm>
#include <cstring>

#include "vm/vm_chunk.h"

// ---------------------------------------------------------------------------------------------
// Buffered input stream

void VmStreamInit(VmStream* z, VmReader reader, void* data, const char* name) {
    z->n = 0;
    z->p = nullptr;
    z->reader = reader;
    z->data = data;
    z->name = name;
}

int VmStreamFill(VmStream* z) {
    size_t size = 0;
    const char* block = z->reader(z->data, &size);
    if (block == nullptr || size == 0) return -1;
    z->n = size - 1;
    z->p = block;
    return (unsigned char)*z->p++;
}

int VmStreamLookahead(VmStream* z) {
    if (z->n == 0) {
        int c = VmStreamFill(z);
        if (c < 0) return -1;
        // Give the byte back.
        z->n++;
        z->p--;
    }
    return (unsigned char)*z->p;
}

size_t VmStreamRead(VmStream* z, void* b, size_t n) {
    char* out = static_cast<char*>(b);
    while (n > 0) {
        if (VmStreamLookahead(z) < 0) return n;
        size_t m = std::min(n, z->n);
        memcpy(out, z->p, m);
        z->n -= m;
        z->p += m;
        out += m;
        n -= m;
    }
    return 0;
}

char* VmStreamBuffer(VmState* state, VmLoadBuffer* buff, size_t n) {
    if (n > buff->size) {
        n = std::max<size_t>(n, 32);
        buff->buffer = static_cast<char*>(VmRealloc(state, buff->buffer, buff->size, n));
        buff->size = n;
    }
    return buff->buffer;
}

void VmStreamFreeBuffer(VmState* state, VmLoadBuffer* buff) {
    VmRealloc(state, buff->buffer, buff->size, 0);
    buff->buffer = nullptr;
    buff->size = 0;
}

uint8_t VmMachineByteOrder() {
    const uint16_t probe = 1;
    uint8_t first;
    memcpy(&first, &probe, 1);
    return first == 1 ? VM_CHUNK_LITTLE_ENDIAN : VM_CHUNK_BIG_ENDIAN;
}

// ---------------------------------------------------------------------------------------------
// Loader

namespace {

// First step of a block read into the load buffer; later steps double what has arrived.
constexpr size_t kFirstReadStep = 64 * 1024;
// First capacity of a record array; it doubles as records arrive.
constexpr int kFirstRecordCapacity = 16;

struct LoadState {
    VmState* state;
    VmStream* z;
    VmLoadBuffer* buff;
    bool swap;  // the chunk's byte order differs from the machine's
    int depth;  // nesting of the function record being read
};

[[noreturn]] void LoadError(LoadState* S, int code) { VmRaiseError(S->state, code); }

void LoadBlock(LoadState* S, void* b, size_t n) {
    if (VmStreamRead(S->z, b, n) != 0) LoadError(S, ERR_UNEXPECTEDEOF);
}

int LoadByte(LoadState* S) {
    uint8_t c;
    LoadBlock(S, &c, 1);
    return c;
}

// Reverses the bytes of each n-byte item in place when the chunk's byte order is not ours.
void FixOrder(LoadState* S, void* b, size_t size, size_t count) {
    if (!S->swap) return;
    uint8_t* p = static_cast<uint8_t*>(b);
    for (size_t i = 0; i < count; i++, p += size) std::reverse(p, p + size);
}

int32_t LoadInt(LoadState* S) {
    int32_t x;
    LoadBlock(S, &x, sizeof(x));
    FixOrder(S, &x, sizeof(x), 1);
    return x;
}

// A count or a length: negative values are corrupt.
int LoadCount(LoadState* S) {
    int32_t n = LoadInt(S);
    if (n < 0) LoadError(S, ERR_BADINTEGER);
    return n;
}

double LoadNumber(LoadState* S) {
    double x;
    LoadBlock(S, &x, sizeof(x));
    FixOrder(S, &x, sizeof(x), 1);
    return x;
}

// Reads n bytes into the load buffer. The buffer grows only as far as the input has delivered
// bytes, so a lying length fails at the end of the input instead of allocating what it claims.
char* LoadBytes(LoadState* S, size_t n) {
    char* buf = VmStreamBuffer(S->state, S->buff, std::min(n, kFirstReadStep));
    size_t have = 0;
    while (have < n) {
        size_t want = std::min(n, std::max(have * 2, kFirstReadStep));
        buf = VmStreamBuffer(S->state, S->buff, want);
        LoadBlock(S, buf + have, want - have);
        have = want;
    }
    return buf;
}

VmString* LoadString(LoadState* S) {
    size_t size = (size_t)LoadCount(S);
    if (size == 0) return nullptr;
    const char* bytes = LoadBytes(S, size);
    // The stored length counts the terminating NUL.
    return VmInternString(S->state, bytes, size - 1);
}

// Makes room for record index i in an array of total records, growing the array by doubling and
// filling the new slots with init. *size always equals the allocated length, so the prototype
// stays consistent for the collector whatever happens next.
template <typename T>
void ReserveRecord(LoadState* S, T** array, int* size, int i, int total, const T& init) {
    if (i < *size) return;
    int capacity = (int)std::min<int64_t>(total, std::max<int64_t>(kFirstRecordCapacity, (int64_t)*size * 2));
    *array = VmResizeArray(S->state, *array, (size_t)*size, (size_t)capacity);
    for (int j = *size; j < capacity; j++) (*array)[j] = init;
    *size = capacity;
}

void LoadLines(LoadState* S, VmProto* f) {
    int n = LoadCount(S);
    if (n == 0) return;
    char* bytes = LoadBytes(S, (size_t)n * sizeof(int32_t));
    FixOrder(S, bytes, sizeof(int32_t), (size_t)n);
    f->lineinfo = VmNewArray<int>(S->state, (size_t)n);
    f->sizelineinfo = n;
    memcpy(f->lineinfo, bytes, (size_t)n * sizeof(int32_t));
}

void LoadLocals(LoadState* S, VmProto* f) {
    int n = LoadCount(S);
    const VmLocVar none = {nullptr, 0, 0};
    for (int i = 0; i < n; i++) {
        ReserveRecord(S, &f->locvars, &f->sizelocvars, i, n, none);
        VmLocVar* v = &f->locvars[i];
        v->varname = LoadString(S);
        v->startpc = LoadInt(S);
        v->endpc = LoadInt(S);
    }
}

void LoadUpvalueNames(LoadState* S, VmProto* f) {
    int n = LoadCount(S);
    if (n != 0 && n != f->nups) LoadError(S, ERR_BADUPVALUES);
    VmString* const none = nullptr;
    for (int i = 0; i < n; i++) {
        ReserveRecord(S, &f->upvalues, &f->sizeupvalues, i, n, none);
        f->upvalues[i] = LoadString(S);
    }
}

void LoadConstants(LoadState* S, VmProto* f) {
    int n = LoadCount(S);
    VmValue nil;
    VmSetValueNil(&nil);
    for (int i = 0; i < n; i++) {
        ReserveRecord(S, &f->k, &f->sizek, i, n, nil);
        VmValue* o = &f->k[i];
        switch (LoadByte(S)) {
        case VM_CHUNK_KNUMBER: VmSetValueNumber(o, LoadNumber(S)); break;
        case VM_CHUNK_KSTRING: {
            VmString* s = LoadString(S);
            // A string constant without text is the empty string.
            if (s == nullptr) s = VmInternString(S->state, "", 0);
            VmSetValueString(o, s);
            break;
        }
        case VM_CHUNK_KNIL: VmSetValueNil(o); break;
        default: LoadError(S, ERR_BADCONSTANT);
        }
    }
}

VmProto* LoadFunction(LoadState* S, VmString* parentSource);

void LoadNested(LoadState* S, VmProto* f) {
    int n = LoadCount(S);
    VmProto* const none = nullptr;
    for (int i = 0; i < n; i++) {
        ReserveRecord(S, &f->p, &f->sizep, i, n, none);
        f->p[i] = LoadFunction(S, f->source);
    }
}

void LoadCode(LoadState* S, VmProto* f) {
    int n = LoadCount(S);
    if (n == 0) return;
    char* bytes = LoadBytes(S, (size_t)n * sizeof(VmInstruction));
    FixOrder(S, bytes, sizeof(VmInstruction), (size_t)n);
    f->code = VmNewArray<VmInstruction>(S->state, (size_t)n);
    f->sizecode = n;
    memcpy(f->code, bytes, (size_t)n * sizeof(VmInstruction));
}

VmProto* LoadFunction(LoadState* S, VmString* parentSource) {
    // Each level of nesting costs C stack; a chunk nested deeper than any script needs is corrupt.
    if (++S->depth > VM_CHUNK_MAXNESTING) LoadError(S, ERR_BADBYTECODE);
    VmProto* f = VmNewProto(S->state);
    f->source = LoadString(S);
    if (f->source == nullptr) f->source = parentSource;
    f->lineDefined = LoadInt(S);
    f->nups = (uint8_t)LoadByte(S);
    f->numparams = (uint8_t)LoadByte(S);
    f->isVararg = (uint8_t)LoadByte(S);
    f->maxStackSize = (uint8_t)LoadByte(S);
    LoadLines(S, f);
    LoadLocals(S, f);
    LoadUpvalueNames(S, f);
    LoadConstants(S, f);
    LoadNested(S, f);
    LoadCode(S, f);
    if (!VmVerifyProto(f)) LoadError(S, ERR_BADBYTECODE);
    S->depth--;
    return f;
}

void LoadHeader(LoadState* S) {
    char signature[sizeof(VM_CHUNK_SIGNATURE)];
    LoadBlock(S, signature, sizeof(signature));
    if (memcmp(signature, VM_CHUNK_SIGNATURE, sizeof(signature)) != 0) LoadError(S, ERR_BADSIGNATURE);
    S->swap = LoadByte(S) != VmMachineByteOrder();
    // int, size, instruction, opcode bits, A bits, B bits, C bits, number.
    const int sizes[8] = {4, 4, 4, VM_SIZE_OP, VM_SIZE_A, VM_SIZE_B, VM_SIZE_C, 8};
    for (int expected : sizes)
        if (LoadByte(S) != expected) LoadError(S, ERR_VMMISMATCH);
    double x = LoadNumber(S);
    // The test number must truncate to the same integer (this also rejects NaN).
    if (!(x >= VM_CHUNK_TEST_INTEGER && x < VM_CHUNK_TEST_INTEGER + 1.0)) LoadError(S, ERR_UNKNUMFMT);
}

}  // namespace

VmProto* VmUndump(VmState* state, VmStream* z, VmLoadBuffer* buff) {
    LoadState S = {state, z, buff, false, 0};
    VmGcCheck(state);
    LoadHeader(&S);
    return LoadFunction(&S, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Protected load

namespace {

struct ProtectedLoad {
    VmStream* z;
    VmLoadBuffer buff;
};

void RunLoad(VmState* state, void* ud) {
    ProtectedLoad* pl = static_cast<ProtectedLoad*>(ud);
    // Only precompiled chunks can be loaded: anything else (a text script) fails the signature.
    if (VmStreamLookahead(pl->z) != (unsigned char)VM_CHUNK_SIGNATURE[0]) VmRaiseError(state, ERR_BADSIGNATURE);
    VmProto* f = VmUndump(state, pl->z, &pl->buff);
    VmScriptClosure* cl = VmNewScriptClosure(state, f, f->nups, &state->globals);
    // A loaded function has no enclosing function to capture from: each upvalue it declares gets
    // a closed cell of its own holding nil.
    VmUpvalue** cells = VmScriptClosureUpvalues(cl);
    for (int i = 0; i < f->nups; i++) {
        VmUpvalue* uv = static_cast<VmUpvalue*>(VmNewObjectBlock(state, sizeof(VmUpvalue)));
        VmLinkObject(state, uv, VM_TUPVAL);
        VmSetValueNil(&uv->value);
        uv->v = &uv->value;
        cells[i] = uv;
    }
    VmValue v;
    VmSetValueClosure(&v, cl);
    VmPushRaw(state, &v);
}

}  // namespace

int VmProtectedLoad(VmState* state, VmStream* z) {
    ProtectedLoad pl = {z, {nullptr, 0}};
    ptrdiff_t oldTop = state->top - state->stack;
    int status = VmRunProtected(state, RunLoad, &pl);
    if (status != 0) state->top = state->stack + oldTop;
    VmStreamFreeBuffer(state, &pl.buff);
    return status;
}

namespace {

// The chunk name as messages show it: without a leading "=" or "@"; a name that is itself chunk
// bytes reads "binary string".
const char* ChunkDisplayName(const char* name) {
    if (name == nullptr) return "?";
    if (*name == '=' || *name == '@') return name + 1;
    if (*name == VM_CHUNK_SIGNATURE[0]) return "binary string";
    return name;
}

}  // namespace

int VmLoad(VmState* state, VmReader reader, void* readerData, const char* chunkName) {
    VmStream z;
    VmStreamInit(&z, reader, readerData, ChunkDisplayName(chunkName));
    return VmProtectedLoad(state, &z);
}
