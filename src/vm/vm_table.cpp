// Tables: a directly indexed array part for keys 1..n and a node part of 2^k chained nodes whose
// collisions are resolved inside the node array (each key sits in its main position or is
// chained from it).
#include "vm/vm_table.h"

#include <algorithm>
#include <cmath>

#include "vm/vm_do.h"
#include "vm/vm_value.h"

static bool IsDummy(const VmTable* t, const VmState* state) { return t->node == state->g->dummynode; }

static VmNode* HashMod(const VmTable* t, size_t n) {
    size_t m = ((size_t)VmNodeCount(t) - 1) | 1;
    return &t->node[n % m];
}

static VmNode* HashNumber(const VmTable* t, double n) {
    double d = n + 1.0;
    uint32_t parts[2];
    memcpy(parts, &d, sizeof(d));
    return HashMod(t, (size_t)(parts[0] + parts[1]));
}

// The node where a string key of this hash belongs.
static VmNode* StringHashNode(const VmTable* t, uint32_t hash) {
    return &t->node[hash & (uint32_t)(VmNodeCount(t) - 1)];
}

VmNode* VmMainPosition(const VmTable* t, const VmValue* key) {
    switch (key->tt) {
    case VM_TNUMBER: return HashNumber(t, key->value.n);
    case VM_TSTRING: return StringHashNode(t, VmStringKeyHash(VmStringValue(key)));
    case VM_TBOOLEAN: return &t->node[(uint32_t)key->value.b & (uint32_t)(VmNodeCount(t) - 1)];
    case VM_TLIGHTUSERDATA: return HashMod(t, (size_t)(uintptr_t)key->value.p);
    default: return HashMod(t, (size_t)(uintptr_t)key->value.gc);
    }
}

// The array index of a number key (1 .. 2^24 when integral), or 0.
static int ArrayIndex(double n) {
    if (n >= 1 && n <= VM_MAXARRAYKEY) {
        int k = (int)n;
        if ((double)k == n) return k;
    }
    return 0;
}

static const VmValue* GetNumberNode(VmTable* t, double n) {
    for (VmNode* nd = HashNumber(t, n); nd; nd = nd->next)
        if (nd->key.tt == VM_TNUMBER && nd->key.value.n == n) return &nd->val;
    return &vmNilObject;
}

const VmValue* VmTableGetInt(VmTable* t, int key) {
    if ((unsigned)(key - 1) < (unsigned)t->sizearray) return &t->array[key - 1];
    return GetNumberNode(t, (double)key);
}

const VmValue* VmTableGet(VmTable* t, const VmValue* key) {
    switch (key->tt) {
    case VM_TNIL: return VmTableGetInt(t, 0);
    case VM_TSTRING: return VmTableGetString(t, VmStringValue(key));
    case VM_TNUMBER: {
        double n = key->value.n;
        int k = (int)VmDoubleToInt32(n);
        if ((double)k == n) return VmTableGetInt(t, k);
        return GetNumberNode(t, n);
    }
    default:
        for (VmNode* n = VmMainPosition(t, key); n; n = n->next)
            if (VmRawEqualValues(&n->key, key)) return &n->val;
        return &vmNilObject;
    }
}

// ---------------------------------------------------------------------------------------------
// Sizing and rehash

static void SetNodeVector(VmState* state, VmTable* t, int lsize) {
    if (lsize > VM_MAXLOG2NODES) VmRaiseError(state, ERR_TABLEOVERFLOW);
    if (lsize == 0) {
        t->node = state->g->dummynode;
    } else {
        // All zero is a free node: nil key and value, no chain.
        static_assert(VM_TNIL == 0);
        t->node = VmNewZeroedArray<VmNode>(state, (size_t)1 << lsize);
    }
    t->lsizenode = (uint8_t)lsize;
    t->firstfree = t->node + (lsize == 0 ? 0 : (1 << lsize));
}

static void SetArrayVector(VmState* state, VmTable* t, int size) {
    t->array = VmResizeArray<VmValue>(state, t->array, (size_t)t->sizearray, (size_t)size);
    for (int i = t->sizearray; i < size; i++) VmSetValueNil(&t->array[i]);
    t->sizearray = size;
}

VmTable* VmNewTableObject(VmState* state, int narray, int log2Nodes) {
    if (log2Nodes > VM_MAXLOG2NODES) VmRaiseError(state, ERR_TABLEOVERFLOW);
    if (narray < 0) narray = 0;
    if (narray > VM_MAXARRAYKEY) VmRaiseError(state, ERR_TABLEOVERFLOW);
    if (log2Nodes < 0) log2Nodes = 0;
    VmTable* t = static_cast<VmTable*>(VmNewObjectBlock(state, sizeof(VmTable)));
    memset(static_cast<void*>(t), 0, sizeof(VmTable));
    t->metatable = state->g->defaultMeta;
    t->flags = 0xFF;
    t->node = state->g->dummynode;
    VmLinkObject(state, t, VM_TTABLE);
    SetArrayVector(state, t, narray);
    SetNodeVector(state, t, log2Nodes);
    return t;
}

void VmFreeTable(VmState* state, VmTable* t) {
    if (!IsDummy(t, state)) VmFreeArray(state, t->node, (size_t)VmNodeCount(t));
    VmFreeArray(state, t->array, (size_t)t->sizearray);
    VmFreeObjectBlock(state, t, sizeof(VmTable));
}

// Counts integer keys 1..2^24 per power-of-two slice: nums[i] counts keys in (2^(i-1), 2^i].
static void CountKey(const VmValue* key, int* nums, int* nint) {
    if (key->tt != VM_TNUMBER) return;
    int k = ArrayIndex(key->value.n);
    if (k) {
        nums[VmLog2((uint32_t)(k - 1)) + 1]++;
        (*nint)++;
    }
}

// Largest power of two n such that more than n/2 of the keys 1..n are present; *narray receives
// how many keys fall into it.
static int ComputeArraySize(const int* nums, int nint, int* narray) {
    int a = 0, na = 0, n = 0;
    for (int i = 0, twotoi = 1; twotoi / 2 < nint && i <= 24; i++, twotoi *= 2) {
        if (nums[i] > 0) {
            a += nums[i];
            if (a > twotoi / 2) {
                n = twotoi;
                na = a;
            }
        }
    }
    *narray = na;
    return n;
}

static VmValue* NewKey(VmState* state, VmTable* t, const VmValue* key, uint32_t stringHash);

static void Rehash(VmState* state, VmTable* t, const VmValue* extraKey) {
    int nums[26] = {0};
    int nint = 0, total = 0;
    // The array part slice by slice: slice lg holds the keys (2^(lg-1), 2^lg].
    for (int lg = 0, key = 1; key <= t->sizearray; lg++) {
        int last = std::min(1 << lg, t->sizearray);
        int count = 0;
        for (; key <= last; key++) count += t->array[key - 1].tt != VM_TNIL;
        nums[lg] = count;
        nint += count;
    }
    total = nint;
    if (!IsDummy(t, state)) {
        int size = VmNodeCount(t);
        for (int i = 0; i < size; i++) {
            if (t->node[i].val.tt != VM_TNIL) {
                CountKey(&t->node[i].key, nums, &nint);
                total++;
            }
        }
    }
    CountKey(extraKey, nums, &nint);
    total++;
    int inArray = 0;
    int newArray = ComputeArraySize(nums, nint, &inArray);
    int rest = total - inArray;
    int lsize = rest == 0 ? 0 : VmLog2((uint32_t)rest) + 1;

    // Rebuild: keep the old parts aside, install the new sizes, reinsert everything.
    int oldArraySize = t->sizearray;
    int oldLsize = t->lsizenode;
    VmNode* oldNodes = t->node;
    bool oldDummy = IsDummy(t, state);
    if (newArray > oldArraySize) SetArrayVector(state, t, newArray);
    SetNodeVector(state, t, lsize);
    if (newArray < oldArraySize) {
        // Move the entries above the new array size into the node part before shrinking.
        t->sizearray = newArray;
        for (int i = newArray; i < oldArraySize; i++) {
            if (t->array[i].tt != VM_TNIL) *VmTableSetInt(state, t, i + 1) = t->array[i];
        }
        t->sizearray = oldArraySize;
        SetArrayVector(state, t, newArray);
    }
    if (!oldDummy) {
        int oldSize = 1 << oldLsize;
        // The new home nodes of the string keys a few nodes on are fetched before those keys are
        // placed, so that the misses of a big node part overlap instead of following each other.
        constexpr int ahead = 16;
        for (int i = oldSize - 1; i >= 0; i--) {
            if (i >= ahead) {
                const VmNode* later = &oldNodes[i - ahead];
                if (later->val.tt != VM_TNIL && later->key.tt == VM_TSTRING)
                    __builtin_prefetch(StringHashNode(t, later->key.aux), 1);
            }
            VmNode* old = &oldNodes[i];
            if (old->val.tt == VM_TNIL) continue;
            // A string key is placed directly with the hash its node kept (the keys are distinct);
            // a number key may belong in the grown array part.
            if (old->key.tt == VM_TSTRING)
                *NewKey(state, t, &old->key, old->key.aux) = old->val;
            else
                *VmTableSet(state, t, &old->key) = old->val;
        }
        VmFreeSpareBlock(state, oldNodes, (size_t)oldSize * sizeof(VmNode));
    }
}

static VmNode* GetFreePos(VmTable* t) {
    while (t->firstfree > t->node) {
        t->firstfree--;
        if (t->firstfree->key.tt == VM_TNIL) return t->firstfree;
    }
    return nullptr;
}

// Main position of the key of a node in use: a string key's hash is kept in the node, so the
// string itself is not read.
static VmNode* NodeMainPosition(const VmTable* t, const VmNode* n) {
    if (n->key.tt == VM_TSTRING) return StringHashNode(t, n->key.aux);
    return VmMainPosition(t, &n->key);
}

// Inserts a key known to be absent; returns its value slot. stringHash is the key's string hash
// when the key is a string.
static VmValue* NewKey(VmState* state, VmTable* t, const VmValue* key, uint32_t stringHash) {
    VmNode* mp = key->tt == VM_TSTRING ? StringHashNode(t, stringHash) : VmMainPosition(t, key);
    if (mp->val.tt != VM_TNIL || mp == state->g->dummynode) {
        VmNode* n = GetFreePos(t);
        if (!n) {
            Rehash(state, t, key);
            return VmTableSet(state, t, key);
        }
        VmNode* othern = NodeMainPosition(t, mp);
        if (othern != mp) {
            // The occupant is not in its main position: move it to the free node.
            while (othern->next != mp) othern = othern->next;
            othern->next = n;
            *n = *mp;
            mp->next = nullptr;
            VmSetValueNil(&mp->val);
        } else {
            n->next = mp->next;
            mp->next = n;
            mp = n;
        }
    }
    mp->key = *key;
    mp->key.aux = key->tt == VM_TSTRING ? stringHash : 0;
    return &mp->val;
}

VmValue* VmTableSet(VmState* state, VmTable* t, const VmValue* key) {
    t->flags = 0;
    VmValue k0;
    if (key->tt == VM_TNIL) {
        VmSetValueNumber(&k0, 0);
        key = &k0;
    } else if (key->tt == VM_TNUMBER && std::isnan(key->value.n)) {
        VmRaiseError(state, ERR_TABLEINDEX);
    }
    const VmValue* p = VmTableGet(t, key);
    if (p != &vmNilObject) return const_cast<VmValue*>(p);
    if (key->tt == VM_TNUMBER && key->value.n == 0 && std::signbit(key->value.n)) {
        // -0 and 0 are one key; store it as 0.
        VmSetValueNumber(&k0, 0);
        key = &k0;
    }
    return NewKey(state, t, key, key->tt == VM_TSTRING ? VmStringKeyHash(VmStringValue(key)) : 0);
}

VmValue* VmTableSetInt(VmState* state, VmTable* t, int key) {
    t->flags = 0;
    const VmValue* p = VmTableGetInt(t, key);
    if (p != &vmNilObject) return const_cast<VmValue*>(p);
    VmValue k;
    VmSetValueNumber(&k, key);
    return NewKey(state, t, &k, 0);
}

VmValue* VmTableSetString(VmState* state, VmTable* t, VmString* key) {
    t->flags = 0;
    const VmValue* p = VmTableGetString(t, key);
    if (p != &vmNilObject) return const_cast<VmValue*>(p);
    VmValue k;
    VmSetValueString(&k, key);
    return NewKey(state, t, &k, VmStringKeyHash(key));
}

// Position of a key in the traversal order: -1 for the start, 0..sizearray-1 for the array part,
// then the node index offset by sizearray. -2 when the key is not in the table.
static int FindIndex(VmTable* t, const VmValue* key) {
    if (key->tt == VM_TNIL) return -1;
    if (key->tt == VM_TNUMBER) {
        int k = ArrayIndex(key->value.n);
        if (k > 0 && k <= t->sizearray) return k - 1;
    }
    if (t->lsizenode == 0 && t->node[0].key.tt == VM_TNIL) return -2;
    for (VmNode* n = VmMainPosition(t, key); n; n = n->next) {
        // A key removed during the traversal may since have become a dead marker.
        bool dead = n->key.tt == VM_TDEADKEY && key->tt >= VM_TSTRING && n->key.value.gc == key->value.gc;
        if (dead || VmRawEqualValues(&n->key, key)) return (int)(n - t->node) + t->sizearray;
    }
    return -2;
}

int VmTableNext(VmState* state, VmTable* t, VmValue* key, VmValue* value) {
    int i = FindIndex(t, key);
    if (i == -2) return 0;
    for (i++; i < t->sizearray; i++) {
        if (t->array[i].tt != VM_TNIL) {
            VmSetValueNumber(key, i + 1);
            *value = t->array[i];
            return 1;
        }
    }
    int size = VmNodeCount(t);
    for (i -= t->sizearray; i < size; i++) {
        if (t->node[i].val.tt != VM_TNIL) {
            *key = t->node[i].key;
            *value = t->node[i].val;
            return 1;
        }
    }
    return 0;
}

const VmValue* VmLookUpEvent(VmState* state, VmTable* mt, VmEvent event) {
    bool cacheable = event < 8;
    const VmValue* h = VmTableGetString(mt, state->g->eventNames[event]);
    if (h->tt == VM_TNIL) {
        if (cacheable) mt->flags |= (uint8_t)(1u << event);
        return nullptr;
    }
    return h;
}

const VmValue* VmGetEventOf(VmState* state, const VmValue* o, VmEvent event) {
    VmTable* mt;
    if (o->tt == VM_TTABLE)
        mt = VmTableValue(o)->metatable;
    else if (o->tt == VM_TUSERDATA)
        mt = VmUserdataValue(o)->metatable;
    else
        return nullptr;
    return VmFastEvent(state, mt, event);
}
