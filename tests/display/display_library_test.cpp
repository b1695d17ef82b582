// The smaller display commands, the services plugins reach through the host tables, and the
// rectangle list that stands for everything when it cannot grow.
#include <string>

#include "base/error_codes.h"
#include "base/event_types.h"
#include "display/display_host_services.h"
#include "display/display_test_util.h"
#include "display/rect_list.h"
#include "platform/os_alloc.h"
#include "runtime/event_queue.h"

namespace display_library_test {

using qztest::Arg;

TEST_F(DisplayTest, TitleVisibilityAndPosition) {
    OpenCurrent(1, Arg::Table({{"width", 100}, {"height", 50}}));
    qzDisplay* d = Display(1);
    EXPECT_EQ(vm->CallErr("SetTitle", {std::string(256, 'x')}), ERR_WRONGUSAGE);
    vm->Ok("SetTitle", {std::string(255, 'y')});
    EXPECT_EQ(Window(1)->title, std::string(255, 'y'));

    EXPECT_EQ(vm->CallErr("ShowDisplay"), ERR_WRONGUSAGE);  // open, not hidden
    vm->Ok("HideDisplay");
    EXPECT_EQ(d->state, QZ_DISPSTATE_HIDDEN);
    Pass();
    EXPECT_EQ(Window(1)->windowState, 2);
    EXPECT_EQ(vm->CallErr("HideDisplay"), ERR_WRONGUSAGE);
    vm->Ok("ShowDisplay");
    EXPECT_EQ(d->state, QZ_DISPSTATE_OPEN);
    Pass();
    EXPECT_EQ(Window(1)->windowState, 1);

    // CENTER, CENTER centres the window (its border counted) on its monitor.
    vm->Ok("MoveDisplay", {-100000, -100000});
    EXPECT_EQ(d->x, (1920 - 100 - d->borderHorizontal) / 2);
    EXPECT_EQ(d->y, (1080 - 50 - d->borderVertical) / 2);
    EXPECT_EQ(Window(1)->x, d->x + d->borderLeft);
    EXPECT_EQ(Window(1)->y, d->y + d->borderTop);

    vm->Ok("CreateDisplay", {2});
    EXPECT_EQ(vm->CallErr("ActivateDisplay", {2}), ERR_CLOSEDDISPLAY);
    vm->Ok("SelectDisplay", {1});  // the current display: nothing happens
    EXPECT_EQ(CurrentDisplay(), d);
    vm->Ok("SelectDisplay", {2});
    EXPECT_EQ(CurrentDisplay(), Display(2));
    EXPECT_EQ(CurrentBGPic(), Display(2)->bgpic);
    EXPECT_EQ(vm->CallErr("HideDisplay"), ERR_WRONGUSAGE);  // closed
}

TEST_F(DisplayTest, ChangeDisplaySizeResizesPictureAndWindow) {
    OpenCurrent(1, Arg::Table({{"width", 100}, {"height", 50}, {"color", 0x112233}}));
    vm->Ok("ChangeDisplaySize", {"200%", 100000});  // KEEPASPRAT for the height
    qzDisplay* d = Display(1);
    EXPECT_EQ(d->width, 200);
    EXPECT_EQ(d->height, 100);
    EXPECT_EQ(d->bgpic->scaledWidth, 200);
    EXPECT_EQ(Window(1)->frame.width, 200);
    EXPECT_EQ(Pixel(1, 199, 99), 0x112233u);
    EXPECT_EQ(vm->CallErr("ChangeDisplaySize", {100000, 100000}), ERR_WRONGUSAGE);
    EXPECT_EQ(vm->CallErr("ChangeDisplaySize", {0, 10}), ERR_BADDIMENSIONS);
    // KEEPPOSITION keeps x; a missing y centres.
    const int32_t x = d->x;
    vm->Ok("ChangeDisplaySize", {150, 60, Arg::Table({{"x", 100000}})});
    EXPECT_EQ(d->x, x);
    EXPECT_EQ(d->y, (1080 - 60 - d->borderVertical) / 2);
}

TEST_F(DisplayTest, AdapterServices) {
    OpenCurrent(1, Arg::Table({{"width", 100},
                               {"height", 50},
                               {"scalemode", 1},
                               {"scalewidth", 200},
                               {"scaleheight", 100},
                               {"smoothscale", 1}}));
    qzDisplay* d = Display(1);
    void* handle = HostGetDisplayHandle(*vm, nullptr);
    EXPECT_EQ(handle, nullptr);
    qzPluginObjectId id = {1, nullptr};
    handle = HostGetDisplayHandle(*vm, &id);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(HostFindDisplayByHandle(handle), static_cast<void*>(d));
    EXPECT_EQ(HostFindDisplayByHandle(&id), reinterpret_cast<void*>(intptr_t(-1)));

    int32_t values[9] = {};
    const qzTagItem tags[] = {
        {1, intptr_t(&values[1])}, {2, intptr_t(&values[2])}, {3, intptr_t(&values[3])},  {4, intptr_t(&values[4])},
        {6, intptr_t(&values[6])}, {8, intptr_t(&values[8])}, {99, intptr_t(&values[0])}, {0, 0}};
    EXPECT_EQ(HostGetAdapterDisplayAttrs(handle, tags), 6);
    EXPECT_EQ(values[1], 200);
    EXPECT_EQ(values[2], 100);
    EXPECT_EQ(values[3], 100);
    EXPECT_EQ(values[4], 50);
    EXPECT_EQ(values[6], 200);
    EXPECT_EQ(values[8], 1);
    EXPECT_EQ(HostGetAdapterDisplayAttrs(&id, tags), -1);

    // Input reports: a key of code 0 posts nothing; a button posts its event and keeps its state.
    ASSERT_EQ(InitEventQueue(), 0);
    const int32_t key[3] = {0, 1, 0};
    HostPostAdapterInputEvent(nullptr, 5, const_cast<int32_t*>(key));
    qzPeekedEvent event{};
    EXPECT_EQ(PeekQueuedEvent(*vm, 0, &event, 0), 0);
    const int32_t button[3] = {7, 8, 1};
    HostPostAdapterInputEvent(nullptr, 1, const_cast<int32_t*>(button));
    ASSERT_EQ(PeekQueuedEvent(*vm, 0, &event, 0), 1);
    EXPECT_EQ(event.type, QZ_EVENT_LEFTMOUSE);
    EXPECT_EQ(event.display, d);
    EXPECT_EQ(d->leftButton, 1);
    EXPECT_EQ(d->lastMouseX, 7);
    EXPECT_EQ(d->lastMouseY, 8);
    FreeEventQueue(*vm);

    void* monitors = HostGetMonitors();
    ASSERT_NE(monitors, nullptr);
    auto* second = static_cast<qzPluginMonitor*>(monitors)->next;
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->x, 1920);
    EXPECT_EQ(second->width, 1280);
    HostFreeMonitors(monitors);
}

// A rectangle list that cannot grow is marked full (everything changed) instead of losing the
// rectangle.
TEST(RectList, FullWhenItCannotGrow) {
    qzRectList list;
    ASSERT_EQ(InitRectList(&list, 2), 0);
    AddRectToList(&list, 0, 0, 10, 10);
    AddRectToList(&list, 5, 5, 0, 10);  // empty: ignored
    AddRectToList(&list, 1, 2, 3, 4);
    EXPECT_EQ(list.count, 2);
    EXPECT_EQ(list.rects[1].x2, 3);
    EXPECT_EQ(list.rects[1].y2, 5);
    OsSetAllocFailHook([](size_t) { return 1; });
    AddRectToList(&list, 7, 7, 1, 1);
    OsSetAllocFailHook(nullptr);
    EXPECT_EQ(list.full, 1);
    AddRectToList(&list, 7, 7, 1, 1);
    EXPECT_EQ(list.full, 1);
    ClearRectList(&list);
    EXPECT_EQ(list.full, 0);
    AddRectToList(&list, 7, 7, 1, 1);
    EXPECT_EQ(list.count, 1);
    FreeRectList(&list);
}

}  // namespace display_library_test
