#include "display/rect_list.h"

#include "base/error_codes.h"
#include "platform/os_alloc.h"

int InitRectList(qzRectList* list, int32_t capacity) {
    FreeRectList(list);
    if (capacity < 1) return 0;
    list->rects = static_cast<qzCornerRect*>(OsAlloc(sizeof(qzCornerRect) * static_cast<size_t>(capacity), 0));
    if (!list->rects) return ERR_MEM;
    list->capacity = capacity;
    return 0;
}

void AddRectToList(qzRectList* list, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (width < 1 || height < 1 || list->full) return;
    if (list->count == list->capacity) {
        // Doubling, from 16; a list that cannot grow stands for the whole picture instead of
        // dropping the rectangle.
        int64_t grown = list->capacity < 16 ? 16 : static_cast<int64_t>(list->capacity) * 2;
        void* more =
            grown > 0x7FFFFFF ? nullptr : OsRealloc(list->rects, sizeof(qzCornerRect) * static_cast<size_t>(grown));
        if (!more) {
            MarkRectListFull(list);
            return;
        }
        list->rects = static_cast<qzCornerRect*>(more);
        list->capacity = static_cast<int32_t>(grown);
    }
    list->rects[list->count++] = {x, y, x + width - 1, y + height - 1};
}

void MarkRectListFull(qzRectList* list) {
    list->full = 1;
    list->count = 0;
}

void ClearRectList(qzRectList* list) {
    list->count = 0;
    list->full = 0;
}

void FreeRectList(qzRectList* list) {
    OsFree(list->rects);
    *list = qzRectList();
}
