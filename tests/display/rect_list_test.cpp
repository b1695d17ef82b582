// Rectangle lists: merging touching rectangles, deleted entries as a flag of their own, and a list
// that cannot grow standing for the whole picture.
#include "display/rect_list.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "display/layer_test_util.h"
#include "platform/os_alloc.h"

namespace rect_list_test {

TEST(RectList, MergesWhatTouchesOnly) {
    const struct {
        int32_t x2, expectedCount;  // the second rectangle's x; the rectangles left afterwards
    } rows[] = {
        {10, 1},  // begins right after the first ends
        {11, 2},  // one free column between them
        {5, 1},   // overlapping
    };
    for (const auto& r : rows) {
        qzRectList list;
        AddRectToList(&list, 0, 0, 10, 4);
        AddRectToList(&list, r.x2, 2, 3, 4);
        MergeRectList(&list);
        int32_t left = 0;
        for (int32_t i = 0; i < list.count; i++) left += !list.rects[i].deleted;
        EXPECT_EQ(left, r.expectedCount) << r.x2;
        if (r.expectedCount == 1) {
            EXPECT_EQ(list.rects[0].x2, std::max(9, r.x2 + 2));
            EXPECT_EQ(list.rects[0].y2, 5);
        }
        FreeRectList(&list);
    }
}

// Rectangles far out (where the old "no rectangle" marks lay) are real rectangles.
TEST(RectList, FarRectanglesAreKept) {
    qzRectList list;
    AddRectToList(&list, 100000, 0, 4, 4);
    AddRectToList(&list, 10000, 0, 4, 4);
    MergeRectList(&list);
    ASSERT_EQ(list.count, 2);
    EXPECT_FALSE(list.rects[0].deleted);
    EXPECT_FALSE(list.rects[1].deleted);
    EXPECT_EQ(list.rects[0].x1, 100000);
    FreeRectList(&list);
}

TEST_F(LayerTest, AListThatCannotGrowRefreshesEverything) {
    OpenLayered(32, 16);
    qzDisplay* display = Display(1);
    Add(1, 0, 0, 4, 4, 0xFF0000);
    LogPresents();
    display->outputKind = QZ_TYPE_BGPIC;
    ClearRectList(&display->rectList);
    while (display->rectList.count < display->rectList.capacity) AddRectToList(&display->rectList, 0, 0, 1, 1);
    OsSetAllocFailHook([](size_t) { return 1; });
    RefreshLayerChange(*vm, FirstLayer(display->bgpic), 0, 0, 20, 8, 0, 0, nullptr);
    OsSetAllocFailHook(nullptr);
    EXPECT_EQ(display->rectList.full, 1);
    display->outputKind = QZ_TYPE_DISPLAY;
    FlushDeferredRefresh(*vm, display, 0);
    EXPECT_EQ(presented, std::vector<std::string>{"0,0 32x16"});
    EXPECT_EQ(Pixel(1, 20, 8), 0xFF0000u);
    EXPECT_EQ(Pixel(1, 0, 0), 0x000000u);
}

}  // namespace rect_list_test
