// Doubly linked lists with sentinel nodes at both ends, so that insertion and removal never test
// for the list's ends. Nodes are embedded at the start of the caller's records.
#pragma once

struct qzDoubleNode {
    qzDoubleNode* next;
    qzDoubleNode* prev;
};

// front.next is the first node and back.prev the last; both point at the other sentinel when the
// list is empty. Walk it as: for (n = list.front.next; n != &list.back; n = n->next).
struct qzDoubleList {
    qzDoubleNode front;
    qzDoubleNode back;
};

void InitDoubleList(qzDoubleList* list);
bool IsDoubleListEmpty(const qzDoubleList* list);
void AddListHead(qzDoubleList* list, qzDoubleNode* node);
void AddListTail(qzDoubleList* list, qzDoubleNode* node);
// Unlinks and returns the first node; null when the list is empty.
qzDoubleNode* RemoveListHead(qzDoubleList* list);
// Unlinks a node that is in a list.
void RemoveListNode(qzDoubleNode* node);
// Inserts node after predecessor, or at the front when predecessor is null.
void InsertListNode(qzDoubleList* list, qzDoubleNode* node, qzDoubleNode* predecessor);
