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

void VmResizeStringTable(VmState* state, int newSize) {
    VmStringTable* tb = &state->g->strt;
    VmString** newHash = VmNewArray<VmString*>(state, (size_t)newSize);
    for (int i = 0; i < newSize; i++) newHash[i] = nullptr;
    for (int i = 0; i < tb->size; i++) {
        VmObject* p = tb->hash[i];
        while (p) {
            VmObject* next = p->next;
            uint32_t h1 = static_cast<VmString*>(p)->hash & (uint32_t)(newSize - 1);
            p->next = newHash[h1];
            newHash[h1] = static_cast<VmString*>(p);
            p = next;
        }
    }
    VmFreeArray(state, tb->hash, (size_t)tb->size);
    if (newSize > tb->size) tb->grown = 1;
    tb->size = newSize;
    tb->hash = newHash;
}

void VmShrinkStringTable(VmState* state) {
    VmStringTable* tb = &state->g->strt;
    // A table that grew since the last collection is left alone, and one is halved only when
    // far below a quarter full: a table whose strings come and go in waves is not rebuilt
    // again and again.
    bool grown = tb->grown;
    tb->grown = 0;
    if (!grown && tb->nuse < (uint32_t)(tb->size / 8) && tb->size > 64) VmResizeStringTable(state, tb->size / 2);
}

VmString* VmInternString(VmState* state, const char* bytes, size_t length) {
    if (length >= 0xFFFFFFFDu - sizeof(VmString)) VmRaiseError(state, ERR_MEM);
    uint32_t h = VmStringHash(bytes, length);
    VmStringTable* tb = &state->g->strt;
    for (VmObject* o = tb->hash[h & (uint32_t)(tb->size - 1)]; o; o = o->next) {
        VmString* s = static_cast<VmString*>(o);
        if (s->hash == h && s->len == length && memcmp(bytes, VmStringData(s), length) == 0) return s;
    }
    size_t size = VmStringSize(length);
    VmString* s = static_cast<VmString*>(size <= VM_SMALL_MAX ? VmSmallAlloc(state, size)
                                                              : VmRealloc(state, nullptr, 0, size));
    s->tt = VM_TSTRING;
    s->marked = 0;
    s->reserved = 0;
    s->hash = h;
    s->len = (uint32_t)length;
    if (length) memcpy(VmStringData(s), bytes, length);
    VmStringData(s)[length] = '\0';
    VmString** bucket = &tb->hash[h & (uint32_t)(tb->size - 1)];
    s->next = *bucket;
    *bucket = s;
    tb->nuse++;
    if (tb->nuse > (uint32_t)tb->size && tb->size <= 0x3FFFFFFE) VmResizeStringTable(state, tb->size * 2);
    return s;
}

void VmFreeString(VmState* state, VmString* s) {
    state->g->strt.nuse--;
    size_t size = VmStringSize(s->len);
    if (size <= VM_SMALL_MAX) VmSmallFree(state, s, size);
    else VmRealloc(state, s, size, 0);
}
