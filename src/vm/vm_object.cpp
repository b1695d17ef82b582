// Allocation and the construction and destruction of prototypes, closures and userdata.
#include "vm/vm_object.h"

#include <cstdlib>

#include "platform/os_large_alloc.h"
#include "vm/vm_do.h"

const char* const vmEventNames[VM_NUM_EVENTS] = {
    "__index", "__newindex", "__gc",  "__mode", "__eq",  "__add",    "__sub",  "__mul",
    "__div",   "__divint",   "__mod", "__lsh",  "__rsh", "__or",     "__and",  "__xor",
    "__pow",   "__unm",      "__not", "__lt",   "__le",  "__concat", "__call",
};

const VmValue vmNilObject = {VM_TNIL, 0, {nullptr}};

// Largest block the VM hands out; sizes from here up are treated as failed allocations.
constexpr size_t VM_MAXBLOCK = 0xFFFFFFFDu;
// Blocks from this size on hold at least one whole huge page.
constexpr size_t VM_HUGE_BLOCK = 4 * 1024 * 1024;

VmAllocFailHook vmAllocFailHook = nullptr;

void VmSetAllocFailHook(VmAllocFailHook hook) { vmAllocFailHook = hook; }

void* VmRealloc(VmState* state, void* block, size_t oldSize, size_t newSize) {
    if (newSize >= VM_MAXBLOCK) {
        if (!state) return nullptr;
        VmRaiseError(state, ERR_MEM);
    }
    if (newSize == 0) {
        free(block);
        if (state) state->g->nblocks -= oldSize;
        return nullptr;
    }
    void* p = (vmAllocFailHook && newSize > oldSize && vmAllocFailHook(newSize)) ? nullptr : realloc(block, newSize);
    if (!p) {
        if (!state) return nullptr;
        VmThrow(state, ERR_MEM);
    }
    if (state) state->g->nblocks += newSize - oldSize;
    // Big tables and arrays are read at random: huge pages spare most address-translation misses.
    // Only a growing block is advised; a shrunk one keeps the advice it had.
    if (newSize > oldSize && newSize >= VM_HUGE_BLOCK) OsAdviseHugePages(p, newSize);
    return p;
}

// Zeroed blocks from the size of a huge page on are aligned to huge pages and rounded up to whole
// ones.
constexpr size_t VM_HUGE_PAGE = 2 * 1024 * 1024;

// A zeroed block of size bytes or more whose every page is a whole huge page: the small pages
// that the unaligned head and tail of a big block would keep cost one fault each, which is far
// more per byte than a huge page's fault.
static void* AllocAlignedZeroed(size_t size) {
    size_t rounded = (size + VM_HUGE_PAGE - 1) & ~(VM_HUGE_PAGE - 1);
    void* p = aligned_alloc(VM_HUGE_PAGE, rounded);
    if (!p) return nullptr;
    OsAdviseHugePages(p, rounded);
    memset(p, 0, size);
    return p;
}

void* VmAllocZeroed(VmState* state, size_t size) {
    if (size >= VM_MAXBLOCK) VmRaiseError(state, ERR_MEM);
    void* p = nullptr;
    if (!(vmAllocFailHook && vmAllocFailHook(size)))
        p = size >= VM_HUGE_PAGE ? AllocAlignedZeroed(size) : calloc(1, size);
    if (!p) VmThrow(state, ERR_MEM);
    state->g->nblocks += size;
    return p;
}

// Bytes of the first chunk of small blocks; each further chunk doubles up to VM_SMALL_CHUNK_MAX.
// The first block's room of a chunk holds the chunk link and the chunk's size.
constexpr size_t VM_SMALL_CHUNK = 64 * 1024;
// Chunks of this size are aligned to it and backed by huge pages, since many strings spread over
// many chunks are reached at random.
constexpr size_t VM_SMALL_CHUNK_MAX = 2 * 1024 * 1024;
static_assert(2 * sizeof(void*) <= VM_SMALL_STEP, "a chunk's first block holds its link and size");

void* VmSmallAllocSlow(VmState* state, size_t size) {
    if (vmAllocFailHook && vmAllocFailHook(size)) VmThrow(state, ERR_MEM);
    VmSmallBlocks* sb = &state->g->small;
    int c = VmSmallClass(size);
    size_t blockSize = (size_t)(c + 1) * VM_SMALL_STEP;
    void* block = sb->freeList[c];
    if (block) {
        ASAN_UNPOISON_MEMORY_REGION(block, blockSize);
        sb->freeList[c] = *static_cast<void**>(block);
    } else {
        if ((size_t)(sb->end - sb->next) < blockSize && sb->spare) {
            // A kept block is the next chunk: its header and the rest's poison are in place.
            char* chunk = static_cast<char*>(sb->spare);
            size_t bytes = reinterpret_cast<size_t*>(chunk)[1];
            sb->spare = *reinterpret_cast<void**>(chunk);
            sb->spareBytes -= bytes;
            *reinterpret_cast<void**>(chunk) = sb->chunks;
            sb->chunks = chunk;
            sb->next = chunk + VM_SMALL_STEP;
            sb->end = chunk + bytes;
        }
        if ((size_t)(sb->end - sb->next) < blockSize) {
            size_t bytes = sb->chunkBytes ? sb->chunkBytes : VM_SMALL_CHUNK;
            bool huge = bytes >= VM_SMALL_CHUNK_MAX;
            char* chunk = static_cast<char*>(huge ? aligned_alloc(VM_SMALL_CHUNK_MAX, bytes) : malloc(bytes));
            if (!chunk) VmThrow(state, ERR_MEM);
            if (huge) OsAdviseHugePages(chunk, bytes);
            *reinterpret_cast<void**>(chunk) = sb->chunks;
            reinterpret_cast<size_t*>(chunk)[1] = bytes;
            sb->chunks = chunk;
            sb->chunkBytes = huge ? bytes : 2 * bytes;
            sb->next = chunk + VM_SMALL_STEP;
            sb->end = chunk + bytes;
            ASAN_POISON_MEMORY_REGION(sb->next, (size_t)(sb->end - sb->next));
        }
        block = sb->next;
        sb->next += blockSize;
        ASAN_UNPOISON_MEMORY_REGION(block, blockSize);
    }
    state->g->nblocks += size;
    return block;
}

static void FreeChunks(void* chunk) {
    while (chunk) {
        void* next = *static_cast<void**>(chunk);
        ASAN_UNPOISON_MEMORY_REGION(chunk, static_cast<size_t*>(chunk)[1]);
        free(chunk);
        chunk = next;
    }
}

void VmSmallFreeAll(VmGlobalState* g) {
    FreeChunks(g->small.chunks);
    FreeChunks(g->small.spare);
    memset(static_cast<void*>(&g->small), 0, sizeof(g->small));
}

void VmFreeSpareBlock(VmState* state, void* block, size_t size) {
    VmGlobalState* g = state->g;
    VmSmallBlocks* sb = &g->small;
    g->nblocks -= size;
    // Blocks smaller than a full chunk are freed, as are those that would make the kept bytes
    // more than the bytes in use: memory that no small block takes is held until the VM closes.
    if (size < VM_SMALL_CHUNK_MAX || sb->spareBytes + size > g->nblocks) {
        free(block);
        return;
    }
    *static_cast<void**>(block) = sb->spare;
    static_cast<size_t*>(block)[1] = size;
    sb->spare = block;
    sb->spareBytes += size;
    ASAN_POISON_MEMORY_REGION(static_cast<char*>(block) + VM_SMALL_STEP, size - VM_SMALL_STEP);
}

size_t VmArrayBytes(VmState* state, size_t n, size_t elem) {
    if (elem != 0 && n > VM_MAXBLOCK / elem) VmRaiseError(state, ERR_MEM);
    return n * elem;
}

VmProto* VmNewProto(VmState* state) {
    VmProto* p = static_cast<VmProto*>(VmRealloc(state, nullptr, 0, sizeof(VmProto)));
    memset(static_cast<void*>(p), 0, sizeof(VmProto));
    VmLinkObject(state, p, VM_TPROTO);
    return p;
}

void VmFreeProto(VmState* state, VmProto* p) {
    VmFreeArray(state, p->code, (size_t)p->sizecode);
    VmFreeArray(state, p->p, (size_t)p->sizep);
    VmFreeArray(state, p->k, (size_t)p->sizek);
    VmFreeArray(state, p->lineinfo, (size_t)p->sizelineinfo);
    VmFreeArray(state, p->locvars, (size_t)p->sizelocvars);
    VmFreeArray(state, p->upvalues, (size_t)p->sizeupvalues);
    VmRealloc(state, p, sizeof(VmProto), 0);
}

VmCClosure* VmNewCClosure(VmState* state, VmCFunction f, int n) {
    size_t size = VmCClosureSize(n);
    VmCClosure* c = static_cast<VmCClosure*>(VmNewObjectBlock(state, size));
    memset(static_cast<void*>(c), 0, size);
    VmLinkObject(state, c, VM_TFUNCTION);
    c->isC = 1;
    c->nupvalues = (uint8_t)n;
    c->f = f;
    c->minArgs = -1;
    VmValue* up = VmCClosureUpvalues(c);
    for (int i = 0; i < n; i++) VmSetValueNil(&up[i]);
    return c;
}

VmUserdata* VmNewUserdataObject(VmState* state, size_t size) {
    if (size >= VM_MAXBLOCK - sizeof(VmUserdata)) VmRaiseError(state, ERR_MEM);
    VmUserdata* u = static_cast<VmUserdata*>(VmRealloc(state, nullptr, 0, VmUserdataSize(size)));
    memset(static_cast<void*>(u), 0, sizeof(VmUserdata));
    u->tt = VM_TUSERDATA;
    u->marked = 0;
    u->len = size;
    u->metatable = state->g->defaultMeta;
    // Userdata live on their own list so that the collector can find finalisable ones.
    u->next = state->g->rootudata;
    state->g->rootudata = u;
    return u;
}

const char* VmLocalName(const VmProto* p, int n, int pc) {
    for (int i = 0; i < p->sizelocvars && p->locvars[i].startpc <= pc; i++) {
        if (pc < p->locvars[i].endpc) {
            n--;
            if (n == 0) return p->locvars[i].varname ? VmStringData(p->locvars[i].varname) : nullptr;
        }
    }
    return nullptr;
}
