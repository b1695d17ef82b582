// A growable list of rectangles in corner form: the deferred refresh list of a display and the
// changed-rectangle list of double buffering. A list that cannot grow is marked full, which
// means "everything changed", so no rectangle is ever lost.
#pragma once

#include <cstdint>

// One rectangle with inclusive corners. A deleted entry (merged into another) is skipped; the flag
// is a field of its own, so no real rectangle is ever taken for a deleted one.
struct qzCornerRect {
    int32_t x1;
    int32_t y1;
    int32_t x2;
    int32_t y2;
    int32_t deleted;
};

struct qzRectList {
    qzCornerRect* rects = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;
    int32_t full = 0;   // everything changed: the rectangles no longer matter
    int32_t limit = 0;  // more rectangles than this mark the list full; 0: no limit
};

// Makes room for capacity rectangles and empties the list. 0, or ERR_MEM (the list is then
// empty, without room, and not full).
int InitRectList(qzRectList* list, int32_t capacity);
// Appends x, y, width, height (empty rectangles are ignored). When the list has no room and
// cannot grow, or holds as many rectangles as its limit, it is marked full instead.
void AddRectToList(qzRectList* list, int32_t x, int32_t y, int32_t width, int32_t height);
// Marks the list full: the whole picture is to be refreshed.
void MarkRectListFull(qzRectList* list);
// Empties the list (count 0, not full) and keeps its room.
void ClearRectList(qzRectList* list);
// Frees the room and empties the list.
void FreeRectList(qzRectList* list);
// One pass over the entries: each entry takes in every other one that overlaps or touches it (no
// gap of a row or column between them), which is then deleted. The pass is not repeated.
void MergeRectList(qzRectList* list);
