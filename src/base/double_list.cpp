// Doubly linked lists with sentinels.
#include "base/double_list.h"

void InitDoubleList(qzDoubleList* list) {
    list->front.prev = nullptr;
    list->front.next = &list->back;
    list->back.prev = &list->front;
    list->back.next = nullptr;
}

bool IsDoubleListEmpty(const qzDoubleList* list) { return list->front.next == &list->back; }

void InsertListNode(qzDoubleList* list, qzDoubleNode* node, qzDoubleNode* predecessor) {
    qzDoubleNode* before = predecessor ? predecessor : &list->front;
    node->prev = before;
    node->next = before->next;
    before->next->prev = node;
    before->next = node;
}

void AddListHead(qzDoubleList* list, qzDoubleNode* node) { InsertListNode(list, node, nullptr); }

void AddListTail(qzDoubleList* list, qzDoubleNode* node) { InsertListNode(list, node, list->back.prev); }

void RemoveListNode(qzDoubleNode* node) {
    node->prev->next = node->next;
    node->next->prev = node->prev;
    node->next = nullptr;
    node->prev = nullptr;
}

qzDoubleNode* RemoveListHead(qzDoubleList* list) {
    if (IsDoubleListEmpty(list)) return nullptr;
    qzDoubleNode* node = list->front.next;
    RemoveListNode(node);
    return node;
}
