// Tables: array and node parts, raw lookups and stores, traversal.
#pragma once

#include "vm/vm_object.h"

// Raw lookups: the value slot, or &vmNilObject when absent. A nil key reads key 0.
const VmValue* VmTableGet(VmTable* t, const VmValue* key);
const VmValue* VmTableGetInt(VmTable* t, int key);

// Inline lookups for the interpreter: string keys walk the chain of their main position, and
// integral number keys inside the array part index it directly; other keys go to VmTableGet.
inline const VmValue* VmTableGetString(VmTable* t, VmString* key) {
    // A string whose hash was never needed has never been stored as a key.
    if (!key->hashed) return &vmNilObject;
    for (VmNode* n = &t->node[key->hash & (uint32_t)(VmNodeCount(t) - 1)]; n; n = n->next)
        if (n->key.tt == VM_TSTRING && n->key.value.gc == key) return &n->val;
    return &vmNilObject;
}

inline const VmValue* VmTableGetFast(VmTable* t, const VmValue* key) {
    if (key->tt == VM_TSTRING) return VmTableGetString(t, VmStringValue(key));
    if (key->tt == VM_TNUMBER) {
        double n = key->value.n;
        // Integral keys 1..sizearray (the range test also fails for NaN).
        if (n >= 1 && n <= (double)t->sizearray) {
            int k = (int)n;
            if ((double)k == n) return &t->array[k - 1];
        }
    }
    return VmTableGet(t, key);
}

// Slot for storing under key, created when absent (the caller fills it). A nil key stores key 0;
// a NaN key raises ERR_TABLEINDEX. Clears the table's absent-event cache.
VmValue* VmTableSet(VmState* state, VmTable* t, const VmValue* key);
VmValue* VmTableSetInt(VmState* state, VmTable* t, int key);
VmValue* VmTableSetString(VmState* state, VmTable* t, VmString* key);

// Traversal step: key (nil starts) is replaced by the next key and value[0] receives its value.
// Returns 0 at the end.
int VmTableNext(VmState* state, VmTable* t, VmValue* key, VmValue* value);

void VmFreeTable(VmState* state, VmTable* t);

// Main position of a key in a table with a node part.
VmNode* VmMainPosition(const VmTable* t, const VmValue* key);

// Handler of an event in a metatable, null when absent (caching absence in the metatable).
const VmValue* VmLookUpEvent(VmState* state, VmTable* mt, VmEvent event);
inline const VmValue* VmFastEvent(VmState* state, VmTable* mt, VmEvent event) {
    if (!mt || (event < 8 && (mt->flags & (1u << event)))) return nullptr;
    return VmLookUpEvent(state, mt, event);
}
// Handler of an event of any value (through the metatable of a table or userdata), null if none.
const VmValue* VmGetEventOf(VmState* state, const VmValue* o, VmEvent event);
