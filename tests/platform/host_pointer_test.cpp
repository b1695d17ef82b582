// Pointers through the headless driver: images with hot spots, the system arrow and the busy
// pointer, hiding and showing with and without the focus, moving the mouse, and bad images.
#include "platform/host/pointer.h"
#include "platform/host_test_util.h"

namespace host_pointer_test {

namespace {

class HostPointer : public HostTest {
protected:
    void SetUp() override { StartPlatform("headless"); }

    static const qzHeadlessCursor* Current() { return HeadlessRecord().cursor; }
};

TEST_F(HostPointer, ImagePointersKeepPixelsAndHotSpot) {
    const uint32_t pixels[6] = {0xFF000000, 0x00FFFFFF, 0x80FF0000, 0xFF00FF00, 0xFF0000FF, 0};
    qzHostCursor* pointer = nullptr;
    ASSERT_EQ(MacCreatePointer(pixels, 2, 1, &pointer, 3, 2), 0);
    const qzHeadlessCursor* made = static_cast<const qzHeadlessCursor*>(pointer->handle);
    EXPECT_EQ(made->system, -1);
    EXPECT_EQ(made->width, 3);
    EXPECT_EQ(made->height, 2);
    EXPECT_EQ(made->hotX, 2);
    EXPECT_EQ(made->hotY, 1);
    EXPECT_EQ(made->pixels, std::vector<uint32_t>(pixels, pixels + 6));
    ReleaseBackendPointer(pointer);

    // A hot spot outside the image is moved to its edge.
    ASSERT_EQ(MacCreatePointer(pixels, 9, -4, &pointer, 3, 2), 0);
    EXPECT_EQ(pointer->hotX, 2);
    EXPECT_EQ(pointer->hotY, 0);
    ReleaseBackendPointer(pointer);

    // Bad images.
    EXPECT_EQ(MacCreatePointer(nullptr, 0, 0, &pointer, 3, 2), ERR_POINTERIMG);
    EXPECT_EQ(MacCreatePointer(pixels, 0, 0, &pointer, 0, 2), ERR_POINTERIMG);
    EXPECT_EQ(MacCreatePointer(pixels, 0, 0, &pointer, 3, -1), ERR_POINTERIMG);
    EXPECT_EQ(pointer, nullptr);
}

TEST_F(HostPointer, WindowPointersFollowTheFocus) {
    qzHostWindow* window = Open(1);
    ASSERT_EQ(window->active, 1);
    const uint32_t pixel = 0xFFFFFFFF;
    qzHostCursor* image = nullptr;
    ASSERT_EQ(MacCreatePointer(&pixel, 0, 0, &image, 1, 1), 0);

    MacSetPointer(window, image, QZ_POINTER_IMAGE);
    EXPECT_EQ(Current(), image->handle);

    // Hidden: the invisible pointer; kind 1 shows the busy pointer, also after hiding.
    MacHidePointer(window);
    EXPECT_EQ(Current(), InvisiblePointer()->handle);
    MacSetPointer(window, nullptr, QZ_POINTER_BUSY);
    ASSERT_NE(Current(), nullptr);
    EXPECT_EQ(Current()->system, QZ_HOSTCURSOR_BUSY);
    EXPECT_EQ(window->pointerHidden, 0);

    // Without the focus the window only remembers; it shows its pointer when the focus returns.
    Script("0 unfocus");
    uint32_t changes = HeadlessRecord().cursorChanges;
    MacSetPointer(window, image, QZ_POINTER_IMAGE);
    MacHidePointer(window);
    MacShowPointer(window);
    EXPECT_EQ(HeadlessRecord().cursorChanges, changes);
    Script("0 focus");
    EXPECT_EQ(Current(), image->handle);

    // Kind 0 is the system arrow; releasing a pointer in use falls back to it too.
    MacSetPointer(window, image, QZ_POINTER_SYSTEM);
    EXPECT_EQ(Current(), nullptr);
    MacSetPointer(window, image, QZ_POINTER_IMAGE);
    ReleaseBackendPointer(image);
    EXPECT_EQ(window->cursor, nullptr);
    EXPECT_EQ(Current(), nullptr);

    // Reset only acts after the program changed the pointer.
    MacSetPointer(window, nullptr, QZ_POINTER_BUSY);
    MacResetPointer();
    EXPECT_EQ(Current(), nullptr);
    changes = HeadlessRecord().cursorChanges;
    MacResetPointer();
    EXPECT_EQ(HeadlessRecord().cursorChanges, changes);
}

TEST_F(HostPointer, MovingTheMouseIsReportedAsAMove) {
    qzHostWindow* window = Open(1);
    MacMovePointer(window, 40, 50);
    qzHeadlessRecord record = HeadlessRecord();
    EXPECT_EQ(record.warps, 1u);
    EXPECT_EQ(record.warpX, 40);
    EXPECT_EQ(record.warpY, 50);
    Drain();
    EXPECT_EQ(window->mouseX, 40);
    EXPECT_EQ(window->mouseY, 50);
    EXPECT_EQ(window->mouseMoved, 1);
    EXPECT_TRUE(Hooks().posted.empty());
}

}  // namespace

}  // namespace host_pointer_test
