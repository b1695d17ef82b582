// The string table: interning, hashing and resizing.
#include "vm/vm_string.h"

#include "vm/vm_do.h"

uint32_t VmStringHash(const char* bytes, size_t length) {
    uint32_t h = (uint32_t)length;
    size_t step = (length >> 5) + 1;
    for (size_t i = length; i >= step; i -= step) h = h ^ ((h << 5) + (h >> 2) + (unsigned char)bytes[i - 1]);
    return h;
}

// Longest text that VmStringLookupHash hashes eight bytes at a step.
constexpr size_t VM_WORD_HASHED = 128;
// Bytes of a longer text that its lookup hash reads, spread evenly from its last byte back.
constexpr int VM_LONG_SAMPLES = 32;

static uint64_t Mix(uint64_t h, uint64_t w) {
    h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
    return h ^ (h >> 31);
}

// The lookup hash of a text of length bytes above VM_WORD_HASHED, reading byte i as byteAt(i)
// at falling offsets. The samples are loaded independently and put together eight to a word,
// so that, unlike a byte-by-byte hash, no load waits for the one before.
template <typename ByteAt>
static inline uint32_t SampledLookupHash(size_t length, ByteAt byteAt) {
    size_t step = length / VM_LONG_SAMPLES;
    uint64_t h = 0x9E3779B97F4A7C15ull * (length + 1);
    for (int w = 0; w < VM_LONG_SAMPLES / 8; w++) {
        uint64_t word = 0;
        for (int j = 0; j < 8; j++) word |= (uint64_t)byteAt(length - 1 - (size_t)(w * 8 + j) * step) << (8 * j);
        h = Mix(h, word);
    }
    h *= 0x94D049BB133111EBull;
    return (uint32_t)(h ^ (h >> 32));
}

// Kept out of line so that the short-text hash stays small enough to inline where it is called.
[[gnu::noinline]] static uint32_t LongLookupHash(const char* bytes, size_t length) {
    return SampledLookupHash(length, [bytes](size_t i) { return (unsigned char)bytes[i]; });
}

uint32_t VmStringLookupHash(const char* bytes, size_t length) {
    if (length > VM_WORD_HASHED) return LongLookupHash(bytes, length);
    uint64_t h = 0x9E3779B97F4A7C15ull * (length + 1);
    const char* p = bytes;
    size_t n = length;
    if (n <= 16) {
        // Short texts are mostly written a moment before (numbers, joined pieces) by stores that
        // a word load spanning several of them cannot take from the store buffer; byte loads
        // can, so the words are put together from bytes.
        uint64_t a = 0, b = 0;
        for (size_t i = 0; i < n && i < 8; i++) a |= (uint64_t)(unsigned char)p[i] << (8 * i);
        for (size_t i = 8; i < n; i++) b |= (uint64_t)(unsigned char)p[i] << (8 * (i - 8));
        h = Mix(h, a);
        if (n > 8) h = Mix(h, b);
        h *= 0x94D049BB133111EBull;
        return (uint32_t)(h ^ (h >> 32));
    }
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
        h = Mix(h,
                (uint64_t)(unsigned char)p[0] << 16 | (uint64_t)(unsigned char)p[n / 2] << 8 | (unsigned char)p[n - 1]);
    }
    h *= 0x94D049BB133111EBull;
    return (uint32_t)(h ^ (h >> 32));
}

uint32_t VmStringLookupHashOfPieces(const VmTextPiece* pieces, int n, size_t total) {
    if (total <= VM_WORD_HASHED) {
        char text[VM_WORD_HASHED];
        size_t at = 0;
        for (int j = 0; j < n; j++) {
            if (pieces[j].length) memcpy(text + at, pieces[j].bytes, pieces[j].length);
            at += pieces[j].length;
        }
        return VmStringLookupHash(text, total);
    }
    // The samples are read from the end back, so the piece that holds the next one is never
    // after the one that held the last.
    int p = n - 1;
    size_t start = total - pieces[p].length;  // offset of piece p in the joined text
    return SampledLookupHash(total, [&](size_t i) {
        while (i < start) start -= pieces[--p].length;
        return (unsigned char)pieces[p].bytes[i - start];
    });
}

static void FreeStringBlock(VmState* state, VmString* s) {
    size_t size = VmStringSize(s->len);
    if (size <= VM_SMALL_MAX)
        VmSmallFree(state, s, size);
    else
        VmRealloc(state, s, size, 0);
}

// Slot words: the string's address below bit 47, bit 47 set when the string's block is not a
// small block (it must be freed on its own when the VM closes), the tag from bit 48 on.
constexpr int VM_SLOT_TAG_SHIFT = 48;
constexpr uint64_t VM_SLOT_TAGS = ~((uint64_t{1} << VM_SLOT_TAG_SHIFT) - 1);
constexpr uint64_t VM_SLOT_BIG = uint64_t{1} << 47;
constexpr uint64_t VM_SLOT_ADDRESS = VM_SLOT_BIG - 1;

static uint64_t SlotTag(uint32_t lookup) { return (uint64_t)((lookup * 0x9E3779B1u) >> 16) << VM_SLOT_TAG_SHIFT; }
static VmString* SlotString(uint64_t slot) { return reinterpret_cast<VmString*>((uintptr_t)(slot & VM_SLOT_ADDRESS)); }

// Puts the slot word of a string into the first free slot of its run (the table has room and
// does not hold it).
static void PlaceString(uint64_t* slots, uint32_t mask, uint64_t slot) {
    uint32_t i = SlotString(slot)->lookup & mask;
    while (slots[i]) i = (i + 1) & mask;
    slots[i] = slot;
}

void VmResizeStringTable(VmState* state, int newSize) {
    VmStringTable* tb = &state->g->strt;
    // All zero is an empty table.
    uint64_t* newSlots = VmNewZeroedArray<uint64_t>(state, (size_t)newSize);
    uint32_t mask = (uint32_t)newSize - 1;
    // The strings' lookup hashes are read a few slots ahead, so that their misses overlap.
    constexpr int ahead = 8;
    for (int i = 0; i < tb->size; i++) {
        if (i + ahead < tb->size && tb->slots[i + ahead]) __builtin_prefetch(SlotString(tb->slots[i + ahead]));
        if (tb->slots[i]) PlaceString(newSlots, mask, tb->slots[i]);
    }
    if (tb->slots) VmFreeSpareBlock(state, tb->slots, (size_t)tb->size * sizeof(uint64_t));
    tb->size = newSize;
    tb->slots = newSlots;
}

void VmShrinkStringTable(VmState* state, uint32_t cycleCount) {
    VmStringTable* tb = &state->g->strt;
    // Strings are only added between collections, so the count before the sweep is the most the
    // table held in this cycle. A table whose strings come and go in waves fills past a quarter
    // in every cycle and is left alone; one that stayed below a quarter for a whole cycle (and so
    // did not grow in it) is halved.
    if (cycleCount < (uint32_t)(tb->size / 4) && tb->size > 64) VmResizeStringTable(state, tb->size / 2);
}

// Sweeps slots from up to to (below to) in order; see VmSweepStrings. The occupied slots of each
// stretch of 64 are found first and then visited, which spares a mispredicted branch for every
// empty slot. Visiting a slot changes no slot after it, so the stretch's mask stays true.
static void SweepSlots(VmState* state, uint64_t* slots, uint32_t mask, uint32_t from, uint32_t to) {
    for (uint32_t base = from; base < to; base += 64) {
        uint32_t count = to - base < 64 ? to - base : 64;
        uint64_t used = 0;
        for (uint32_t k = 0; k < count; k++) used |= (uint64_t)(slots[base + k] != 0) << k;
        // Every string of the stretch is fetched before the first is read, so that their misses
        // overlap instead of following one another.
        for (uint64_t ahead = used; ahead; ahead &= ahead - 1)
            __builtin_prefetch(SlotString(slots[base + (uint32_t)__builtin_ctzll(ahead)]), 1);
        for (; used; used &= used - 1) {
            uint32_t i = base + (uint32_t)__builtin_ctzll(used);
            uint64_t slot = slots[i];
            VmString* s = SlotString(slot);
            if (s->marked & (VM_MARK_MARKED | VM_MARK_FIXED)) {
                s->marked &= (uint8_t)~VM_MARK_MARKED;
                uint32_t home = s->lookup & mask;
                if (home != i) {
                    slots[i] = 0;
                    while (slots[home]) home = (home + 1) & mask;
                    slots[home] = slot;
                }
            } else {
                slots[i] = 0;
                VmFreeString(state, s);
            }
        }
    }
}

void VmSweepStrings(VmState* state) {
    VmStringTable* tb = &state->g->strt;
    uint64_t* slots = tb->slots;
    uint32_t mask = (uint32_t)tb->size - 1;
    // One pass in slot order, starting after an empty slot (no run crosses it). A dead string
    // leaves its slot empty; a kept string away from its home slot moves to the first empty slot
    // from its home on. Every slot from its home to where it stood has been visited by then, so
    // that slot is final, and no string visited earlier has a home beyond the slots it spans.
    uint32_t start = 0;
    while (slots[start]) start++;
    SweepSlots(state, slots, mask, start + 1, (uint32_t)tb->size);
    SweepSlots(state, slots, mask, 0, start);
}

void VmFreeAllStrings(VmState* state) {
    VmStringTable* tb = &state->g->strt;
    // Only the strings of blocks of their own are freed one by one: the small blocks go with their
    // chunks (VmSmallFreeAll), so that closing reads none of the many short strings.
    for (int i = 0; i < tb->size; i++) {
        uint64_t slot = tb->slots[i];
        if (!slot) continue;
        tb->slots[i] = 0;
        if (slot & VM_SLOT_BIG)
            VmFreeString(state, SlotString(slot));
        else
            tb->nuse--;
    }
}

// The interned string of a text with lookup hash h, or null with *hole set to the empty slot that
// ended the probe: the slot a new string of that text takes while the table stays unchanged.
static VmString* FindString(VmStringTable* tb, uint32_t h, const char* bytes, size_t length, uint32_t* hole) {
    uint32_t mask = (uint32_t)tb->size - 1;
    uint64_t tag = SlotTag(h);
    uint32_t i = h & mask;
    for (; tb->slots[i]; i = (i + 1) & mask) {
        if ((tb->slots[i] & VM_SLOT_TAGS) != tag) continue;
        VmString* s = SlotString(tb->slots[i]);
        if (s->lookup == h && s->len == length && memcmp(bytes, VmStringData(s), length) == 0) return s;
    }
    *hole = i;
    return nullptr;
}

// Frees the block of a string that cannot be linked and raises ERR_MEM.
[[noreturn, gnu::noinline, gnu::cold]] static void FailLink(VmState* state, VmString* s) {
    FreeStringBlock(state, s);
    VmRaiseError(state, ERR_MEM);
}

[[gnu::noinline]] static void GrowStringTable(VmState* state) {
    VmStringTable* tb = &state->g->strt;
    if (tb->size <= 0x3FFFFFFE) VmResizeStringTable(state, tb->size * 2);
}

// Links a new string with lookup hash h into the string table at slot hole (from FindString),
// growing the table past three quarters. Inlined into both interning paths: it runs once for
// every new string.
[[gnu::always_inline]] static inline void LinkString(VmState* state, VmString* s, uint32_t h, uint32_t hole) {
    VmStringTable* tb = &state->g->strt;
    // The address must leave the flag and tag bits free (user addresses stay below 2^47 on the
    // systems the player runs on).
    // A table that could not grow keeps at least one empty slot, which ends every probe.
    if (((uintptr_t)s & ~(uintptr_t)VM_SLOT_ADDRESS) || tb->nuse + 2 > (uint32_t)tb->size) [[unlikely]]
        FailLink(state, s);
    // The table hash is worked out when the string first meets a table.
    s->hashed = 0;
    s->hash = 0;
    s->lookup = h;
    s->next = nullptr;
    uint64_t big = VmStringSize(s->len) > VM_SMALL_MAX ? VM_SLOT_BIG : 0;
    tb->slots[hole] = (uint64_t)(uintptr_t)s | big | SlotTag(h);
    tb->nuse++;
    // Growing comes last: when it fails, the string is in the table already and nothing is lost.
    if (tb->nuse > (uint32_t)tb->size / 4 * 3) [[unlikely]]
        GrowStringTable(state);
}

VmString* VmNewStringBlock(VmState* state, size_t length) {
    if (length >= 0xFFFFFFFDu - sizeof(VmString)) VmRaiseError(state, ERR_MEM);
    size_t size = VmStringSize(length);
    VmString* s =
        static_cast<VmString*>(size <= VM_SMALL_MAX ? VmSmallAlloc(state, size) : VmRealloc(state, nullptr, 0, size));
    s->tt = VM_TSTRING;
    s->marked = 0;
    s->reserved = 0;
    s->hashed = 0;
    s->len = (uint32_t)length;
    VmStringData(s)[length] = '\0';
    return s;
}

VmString* VmInternBlock(VmState* state, VmString* block) {
    return VmInternBlockHashed(state, block, VmStringLookupHash(VmStringData(block), block->len));
}

VmString* VmInternBlockHashed(VmState* state, VmString* block, uint32_t h) {
    const char* bytes = VmStringData(block);
    uint32_t hole;
    if (VmString* found = FindString(&state->g->strt, h, bytes, block->len, &hole)) {
        FreeStringBlock(state, block);
        return found;
    }
    LinkString(state, block, h, hole);
    return block;
}

VmString* VmInternString(VmState* state, const char* bytes, size_t length) {
    if (length >= 0xFFFFFFFDu - sizeof(VmString)) VmRaiseError(state, ERR_MEM);
    uint32_t h = VmStringLookupHash(bytes, length);
    uint32_t hole;
    if (VmString* found = FindString(&state->g->strt, h, bytes, length, &hole)) return found;
    // Allocating the block leaves the string table as it is, so the hole stays free.
    VmString* s = VmNewStringBlock(state, length);
    char* data = VmStringData(s);
    if (length >= 8 && length <= 16) {
        // Short texts (numbers, joined pieces) as two words that may overlap, without a call.
        uint64_t head, tail;
        memcpy(&head, bytes, 8);
        memcpy(&tail, bytes + length - 8, 8);
        memcpy(data, &head, 8);
        memcpy(data + length - 8, &tail, 8);
    } else if (length < 8) {
        for (size_t i = 0; i < length; i++) data[i] = bytes[i];
    } else {
        memcpy(data, bytes, length);
    }
    LinkString(state, s, h, hole);
    return s;
}

void VmFreeString(VmState* state, VmString* s) {
    state->g->strt.nuse--;
    FreeStringBlock(state, s);
}
