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
    if (list->limit > 0 && list->count >= list->limit) {
        MarkRectListFull(list);
        return;
    }
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
    list->rects[list->count++] = {x, y, x + width - 1, y + height - 1, 0};
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

void MergeRectList(qzRectList* list) {
    for (int32_t i = 0; i < list->count; i++) {
        qzCornerRect& a = list->rects[i];
        if (a.deleted) continue;
        for (int32_t j = 0; j < list->count; j++) {
            qzCornerRect& b = list->rects[j];
            if (j == i || b.deleted) continue;
            // Overlapping or touching: no free column or row between them (64-bit: no overflow).
            if (int64_t(b.x1) - a.x2 > 1 || int64_t(a.x1) - b.x2 > 1 || int64_t(b.y1) - a.y2 > 1 ||
                int64_t(a.y1) - b.y2 > 1)
                continue;
            if (b.x1 < a.x1) a.x1 = b.x1;
            if (b.y1 < a.y1) a.y1 = b.y1;
            if (b.x2 > a.x2) a.x2 = b.x2;
            if (b.y2 > a.y2) a.y2 = b.y2;
            b.deleted = 1;
        }
    }
}
