// The string table: interning, hashing and resizing.
#include "vm/vm_string.h"

#include "vm/vm_do.h"

uint32_t VmStringHash(const char* bytes, size_t length) {
    uint32_t h = (uint32_t)length;
    size_t step = (length >> 5) + 1;
    for (size_t i = length; i >= step; i -= step)
        h = h ^ ((h << 5) + (h >> 2) + (unsigned char)bytes[i - 1]);
    return h;
}

// Longest text that VmStringLookupHash hashes eight bytes at a step.
constexpr size_t VM_WORD_HASHED = 128;

static uint64_t Mix(uint64_t h, uint64_t w) {
    h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
    return h ^ (h >> 31);
}

uint32_t VmStringLookupHash(const char* bytes, size_t length) {
    if (length > VM_WORD_HASHED) return VmStringHash(bytes, length);
    uint64_t h = 0x9E3779B97F4A7C15ull * (length + 1);
    const char* p = bytes;
    size_t n = length;
    for (; n >= 8; p += 8, n -= 8) {
        uint64_t w;
        memcpy(&w, p, 8);
        h = Mix(h, w);
    }
    if (n >= 4) {
        // The last four to seven bytes as two words that may overlap.
        uint32_t a, b;
        memcpy(&a, p, 4);
        memcpy(&b, p + n - 4, 4);
        h = Mix(h, ((uint64_t)a << 32) | b);
    } else if (n > 0) {
        h = Mix(h, (uint64_t)(unsigned char)p[0] << 16 | (uint64_t)(unsigned char)p[n / 2] << 8 |
                       (unsigned char)p[n - 1]);
    }
    h *= 0x94D049BB133111EBull;
    return (uint32_t)(h ^ (h >> 32));
}

void VmResizeStringTable(VmState* state, int newSize) {
    VmStringTable* tb = &state->g->strt;
    VmString** newHash = VmNewArray<VmString*>(state, (size_t)newSize);
    for (int i = 0; i < newSize; i++) newHash[i] = nullptr;
    for (int i = 0; i < tb->size; i++) {
        VmObject* p = tb->hash[i];
        while (p) {
            VmObject* next = p->next;
            uint32_t h1 = static_cast<VmString*>(p)->lookup & (uint32_t)(newSize - 1);
            p->next = newHash[h1];
            newHash[h1] = static_cast<VmString*>(p);
            p = next;
        }
    }
    VmFreeArray(state, tb->hash, (size_t)tb->size);
    tb->size = newSize;
    tb->hash = newHash;
}

void VmShrinkStringTable(VmState* state, uint32_t cycleCount) {
    VmStringTable* tb = &state->g->strt;
    // Strings are only added between collections, so the count before the sweep is the most the
    // table held in this cycle. A table whose strings come and go in waves fills past a quarter
    // in every cycle and is left alone; one that stayed below a quarter for a whole cycle (and so
    // did not grow in it) is halved.
    if (cycleCount < (uint32_t)(tb->size / 4) && tb->size > 64) VmResizeStringTable(state, tb->size / 2);
}

// The interned string of a text with lookup hash h, or null.
static VmString* FindString(VmStringTable* tb, uint32_t h, const char* bytes, size_t length) {
    for (VmObject* o = tb->hash[h & (uint32_t)(tb->size - 1)]; o; o = o->next) {
        VmString* s = static_cast<VmString*>(o);
        if (s->lookup == h && s->len == length && memcmp(bytes, VmStringData(s), length) == 0) return s;
    }
    return nullptr;
}

// Links a new string with lookup hash h into the string table, growing it past one string a bucket.
static void LinkString(VmState* state, VmString* s, uint32_t h) {
    VmStringTable* tb = &state->g->strt;
    // A long text's lookup hash is its table hash; a short one gets it when first needed.
    s->hashed = s->len > VM_WORD_HASHED;
    s->hash = s->hashed ? h : 0;
    s->lookup = h;
    VmString** bucket = &tb->hash[h & (uint32_t)(tb->size - 1)];
    s->next = *bucket;
    *bucket = s;
    tb->nuse++;
    if (tb->nuse > (uint32_t)tb->size && tb->size <= 0x3FFFFFFE) VmResizeStringTable(state, tb->size * 2);
}

VmString* VmNewStringBlock(VmState* state, size_t length) {
    if (length >= 0xFFFFFFFDu - sizeof(VmString)) VmRaiseError(state, ERR_MEM);
    size_t size = VmStringSize(length);
    VmString* s = static_cast<VmString*>(size <= VM_SMALL_MAX ? VmSmallAlloc(state, size)
                                                              : VmRealloc(state, nullptr, 0, size));
    s->tt = VM_TSTRING;
    s->marked = 0;
    s->reserved = 0;
    s->hashed = 0;
    s->len = (uint32_t)length;
    VmStringData(s)[length] = '\0';
    return s;
}

static void FreeStringBlock(VmState* state, VmString* s) {
    size_t size = VmStringSize(s->len);
    if (size <= VM_SMALL_MAX) VmSmallFree(state, s, size);
    else VmRealloc(state, s, size, 0);
}

VmString* VmInternBlock(VmState* state, VmString* block) {
    const char* bytes = VmStringData(block);
    uint32_t h = VmStringLookupHash(bytes, block->len);
    if (VmString* found = FindString(&state->g->strt, h, bytes, block->len)) {
        FreeStringBlock(state, block);
        return found;
    }
    LinkString(state, block, h);
    return block;
}

VmString* VmInternString(VmState* state, const char* bytes, size_t length) {
    if (length >= 0xFFFFFFFDu - sizeof(VmString)) VmRaiseError(state, ERR_MEM);
    uint32_t h = VmStringLookupHash(bytes, length);
    if (VmString* found = FindString(&state->g->strt, h, bytes, length)) return found;
    VmString* s = VmNewStringBlock(state, length);
    if (length) memcpy(VmStringData(s), bytes, length);
    LinkString(state, s, h);
    return s;
}

void VmFreeString(VmState* state, VmString* s) {
    state->g->strt.nuse--;
    FreeStringBlock(state, s);
}
