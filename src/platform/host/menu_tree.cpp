#include "platform/host/menu_tree.h"

#include "base/charset.h"

void FreeMenuTree(qzMenuItem* first) {
    while (first) {
        qzMenuItem* next = first->next;
        FreeMenuTree(first->children);
        delete first;
        first = next;
    }
}

qzMenuItem* FindMenuItemById(qzMenuItem* tree, const char* id) {
    if (!id) return nullptr;
    for (qzMenuItem* item = tree; item; item = item->next) {
        if (item->hasId && CompareNoCase(item->id.c_str(), id) == 0) return item;
        if (qzMenuItem* found = FindMenuItemById(item->children, id)) return found;
    }
    return nullptr;
}
