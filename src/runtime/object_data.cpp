// Named object data kept in singly linked lists of registry references.
#include "runtime/object_data.h"

#include <cstring>

#include "base/charset.h"
#include "base/error_codes.h"
#include "platform/os_alloc.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// A node with a copy of the key in the same allocation; no reference yet.
qzObjectDataNode* NewNode(const char* key) {
    size_t n = std::strlen(key);
    auto* node = static_cast<qzObjectDataNode*>(OsAlloc(sizeof(qzObjectDataNode) + n + 1, 1));
    if (!node) return nullptr;
    char* text = reinterpret_cast<char*>(node + 1);
    std::memcpy(text, key, n + 1);
    node->key = text;
    node->ref = VM_REFNIL;
    return node;
}

// The nodes of a list being copied: freed when the copy unwinds on an error (running out of
// memory for a reference). Their references then stay in the registry until the VM closes, as
// no VM call may run while the error unwinds.
struct NodeChain {
    qzObjectDataNode* head = nullptr;
    NodeChain() = default;
    NodeChain(const NodeChain&) = delete;
    NodeChain& operator=(const NodeChain&) = delete;
    ~NodeChain() {
        while (head) {
            qzObjectDataNode* next = head->next;
            OsFree(head);
            head = next;
        }
    }
};

// A new registry reference to the value at index.
int RefValue(VmState* state, int index) {
    if (!VmCheckStack(state, 1)) VmRaiseError(state, ERR_STACK);
    VmPushValue(state, index);
    return VmRef(state, VM_REGISTRYINDEX);
}

}  // namespace

int StoreObjectData(VmState* state, const char* key, int stackIndex, qzObjectDataNode** list) {
    int ref = RefValue(state, stackIndex);
    qzObjectDataNode* node = FindObjectData(*list, key);
    if (node) {
        VmUnref(state, VM_REGISTRYINDEX, node->ref);
        node->ref = ref;
        return 0;
    }
    node = NewNode(key);
    if (!node) {
        VmUnref(state, VM_REGISTRYINDEX, ref);
        return ERR_MEM;
    }
    node->ref = ref;
    qzObjectDataNode** tail = list;
    while (*tail) tail = &(*tail)->next;
    *tail = node;
    return 0;
}

qzObjectDataNode* FindObjectData(qzObjectDataNode* list, const char* key) {
    for (qzObjectDataNode* node = list; node; node = node->next)
        if (CompareNoCase(node->key, key) == 0) return node;
    return nullptr;
}

int RemoveObjectData(VmState* state, qzObjectDataNode** list, const char* key) {
    for (qzObjectDataNode** link = list; *link; link = &(*link)->next) {
        qzObjectDataNode* node = *link;
        if (CompareNoCase(node->key, key) != 0) continue;
        *link = node->next;
        VmUnref(state, VM_REGISTRYINDEX, node->ref);
        OsFree(node);
        return 1;
    }
    return 0;
}

void FreeObjectDataList(VmState* state, qzObjectDataNode* list) {
    while (list) {
        qzObjectDataNode* next = list->next;
        VmUnref(state, VM_REGISTRYINDEX, list->ref);
        OsFree(list);
        list = next;
    }
}

int CopyObjectDataList(VmState* state, qzObjectDataNode* source, qzObjectDataNode** copy) {
    *copy = nullptr;
    NodeChain made;
    qzObjectDataNode** tail = &made.head;
    for (qzObjectDataNode* node = source; node; node = node->next) {
        if (!VmCheckStack(state, 1)) VmRaiseError(state, ERR_STACK);
        VmRawGetI(state, VM_REGISTRYINDEX, node->ref);
        int ref = VmRef(state, VM_REGISTRYINDEX);
        qzObjectDataNode* twin = NewNode(node->key);
        if (!twin) {
            VmUnref(state, VM_REGISTRYINDEX, ref);
            FreeObjectDataList(state, made.head);
            made.head = nullptr;
            return ERR_MEM;
        }
        twin->ref = ref;
        *tail = twin;
        tail = &twin->next;
    }
    *copy = made.head;
    made.head = nullptr;
    return 0;
}
