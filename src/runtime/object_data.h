// Object data: named values that a script attaches to any object, kept alive by registry
// references. Keys compare case-insensitively (Latin-1).
#pragma once

struct VmState;

struct qzObjectDataNode {
    qzObjectDataNode* next;
    const char* key;  // points into the node's own allocation
    int ref;          // registry reference of the value
};

// Stores the value at stackIndex under key: an existing key gets the new value (the old
// reference is released), otherwise a node is appended. 0, or ERR_MEM when out of memory.
int StoreObjectData(VmState* state, const char* key, int stackIndex, qzObjectDataNode** list);
// The node with the key, null when none.
qzObjectDataNode* FindObjectData(qzObjectDataNode* list, const char* key);
// Releases and unlinks the node with the key: 1 removed, 0 not found.
int RemoveObjectData(VmState* state, qzObjectDataNode** list, const char* key);
// Releases every reference and frees the nodes.
void FreeObjectDataList(VmState* state, qzObjectDataNode* list);
// Duplicates the list; each value is referenced anew (the copy shares the values, not the
// references). 0, or ERR_MEM after freeing what was copied (*copy is then null).
int CopyObjectDataList(VmState* state, qzObjectDataNode* source, qzObjectDataNode** copy);
