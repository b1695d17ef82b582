// The window side of the display back end on the headless driver: window records, opening and
// closing, borders and geometry, drawing with offsets, scaling and the window-state rule, one
// presentation per event pass, monitors and screen modes, the desktop grab, display attributes,
// the off-screen twins and the window snapshots.
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "base/event_types.h"
#include "base/pixel_format_codes.h"
#include "platform/host/backend_draw.h"
#include "platform/host/backend_menus.h"
#include "platform/host/backend_window.h"
#include "platform/host_test_util.h"

namespace backend_window_test {

namespace {

// A 32-bit ARGB picture locked as the display code hands it over.
struct Picture {
    std::vector<uint32_t> pixels;
    qzLockInfo lock{};
    Picture(int32_t width, int32_t height, uint32_t (*colour)(int32_t x, int32_t y)) {
        pixels.resize(size_t(width) * height);
        for (int32_t y = 0; y < height; y++)
            for (int32_t x = 0; x < width; x++) pixels[size_t(y) * width + x] = colour(x, y);
        lock.pixels = pixels.data();
        lock.success = 1;
        lock.pixelFormat = PIXFMT_ARGB32;
        lock.bytesPerPixel = 4;
        lock.rowLength = width;
        lock.width = width;
        lock.height = height;
        lock.noUnlock = 1;
    }
};

uint32_t Gradient(int32_t x, int32_t y) { return uint32_t(x) << 16 | uint32_t(y) << 8 | 0x40; }

bool SameRect(qzFrameRect a, qzFrameRect b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

// Reads a PNG as 0xAARRGGBB words.
bool ReadPng(const std::string& path, int32_t* width, int32_t* height, std::vector<uint32_t>* pixels, bool* hasAlpha) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    *hasAlpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    image.format = PNG_FORMAT_BGRA;
    pixels->resize(size_t(image.width) * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels->data(), 0, nullptr)) return false;
    *width = int32_t(image.width);
    *height = int32_t(image.height);
    return true;
}

class BackendWindow : public HostTest {
protected:
    void SetUp() override { StartPlatform("headless"); }
    void TearDown() override {
        for (qzMacWindow* r : records) MacFreeWindowRecord(r);
        HostTest::TearDown();
    }

    qzMacWindow* Record(int32_t id) {
        qzMacWindow* r = nullptr;
        EXPECT_EQ(MacAllocWindowRecord(nullptr, FakeDisplay(id), &r), 0);
        records.push_back(r);
        return r;
    }

    qzBackendDisplayFrame Frame(int32_t id, int32_t width, int32_t height, uint32_t flags = 0) {
        qzBackendDisplayFrame f;
        f.scriptId = id;
        f.title = "display";
        f.x = 100;
        f.y = 50;
        f.width = width;
        f.height = height;
        f.flags = flags;
        EXPECT_EQ(MacDetermineBorderSizes(flags, &f.borders), 0);
        return f;
    }

    // An opened display with its opening events passed.
    qzMacWindow* Opened(int32_t id, int32_t width, int32_t height, uint32_t flags = 0) {
        qzMacWindow* r = Record(id);
        EXPECT_EQ(MacOpenDisplay(r, Frame(id, width, height, flags), 1, nullptr), 0);
        Drain();
        Hooks().posted.clear();
        return r;
    }

    // One full event pass (not the short one that a pass within 10 ms of the last takes).
    void FullPass() {
        HeadlessInjectEvent(qzHostEvent{});
        Drain();
    }

    uint32_t At(qzMacWindow* r, int32_t x, int32_t y) {
        const qzHostFrame* f = BackendWindowFrame(r);
        return f->pixels[size_t(y) * f->width + x];
    }

    std::vector<qzMacWindow*> records;
};

}  // namespace

TEST_F(BackendWindow, RecordsOpenCloseAndReopenWithoutLeavingWindowsBehind) {
    qzMacWindow* r = Record(3);
    EXPECT_EQ(r->display, FakeDisplay(3));
    EXPECT_EQ(r->menuBar, nullptr);
    EXPECT_EQ(HostWindow(r), nullptr);
    // A closed display draws nothing and nothing fails.
    MacRectFill(r, 0, 0, 10, 10, 0xFFFFFF);
    MacCloseDisplay(r);
    MacShowHideDisplay(r, 1);

    uint32_t state = 7;
    EXPECT_EQ(MacSetMenuItemState(r, nullptr, 2, 0), ERR_CLOSEDDISPLAY);
    EXPECT_EQ(MacGetMenuItemState(r, nullptr, &state), ERR_CLOSEDDISPLAY);

    qzBackendDisplayFrame frame = Frame(3, 64, 48);
    ASSERT_EQ(MacOpenDisplay(r, frame, 1, nullptr), 0);
    EXPECT_EQ(MacGetMenuItemState(r, nullptr, &state), 0);
    EXPECT_EQ(state, 0u);
    qzHostWindow* w = HostWindow(r);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->scriptId, 3);
    EXPECT_EQ(w->title, "display");
    // The frame of a titled window sits at 100, 50; its content below the 22-pixel title bar.
    EXPECT_EQ(w->x, 100);
    EXPECT_EQ(w->y, 72);
    EXPECT_EQ(w->width, 64);
    EXPECT_EQ(w->frame.width, 64);
    EXPECT_EQ(w->frame.height, 48);
    // Opening again replaces the window.
    ASSERT_EQ(MacOpenDisplay(r, frame, 1, nullptr), 0);
    int open = 0;
    for (qzHostWindow* h = HostFirstWindow(); h; h = h->next) open++;
    EXPECT_EQ(open, 1);
    MacCloseDisplay(r);
    EXPECT_EQ(HostFirstWindow(), nullptr);
    ASSERT_EQ(MacOpenDisplay(r, frame, 1, nullptr), 0);
    // Freeing the record closes its window.
    MacFreeWindowRecord(r);
    records.clear();
    EXPECT_EQ(HostFirstWindow(), nullptr);
}

TEST_F(BackendWindow, BordersGeometryTitleAndKeepAwake) {
    qzBackendBorders b;
    EXPECT_EQ(MacDetermineBorderSizes(QZ_DISPLAYFLAG_BORDERLESS, &b), 0);
    EXPECT_TRUE(b.left == 0 && b.top == 0 && b.horizontal == 0 && b.vertical == 0);
    EXPECT_EQ(MacDetermineBorderSizes(QZ_DISPLAYFLAG_SIZEABLE, &b), 0);
    EXPECT_TRUE(b.left == 0 && b.top == 22 && b.horizontal == 0 && b.vertical == 22);

    qzMacWindow* r = Opened(1, 40, 30, QZ_DISPLAYFLAG_BORDERLESS | QZ_DISPLAYFLAG_KEEPAWAKE);
    qzHostWindow* w = HostWindow(r);
    EXPECT_EQ(w->x, 100);
    EXPECT_EQ(w->y, 50);
    EXPECT_EQ(HeadlessRecord().screenSaverAllowed, 0);
    MacRectFill(r, 0, 0, 40, 30, 0x0000FF);

    qzBackendDisplayFrame f = Frame(1, 60, 20, QZ_DISPLAYFLAG_BORDERLESS);
    f.x = 7;
    f.y = 9;
    MacSizeMoveDisplay(r, f);
    EXPECT_TRUE(w->x == 7 && w->y == 9 && w->width == 60 && w->height == 20);
    ASSERT_EQ(w->frame.width, 60);
    EXPECT_EQ(At(r, 39, 19), 0xFF0000FFu);    // kept
    EXPECT_EQ(At(r, 40, 0), QZ_FRAME_BLACK);  // new
    f.x = -20;
    f.width = 500;  // a move keeps the size
    MacMoveDisplay(r, f);
    EXPECT_TRUE(w->x == -20 && w->width == 60);

    MacSetDisplayTitle(r, "Caf\xe9");
    EXPECT_EQ(w->title, "Caf\xe9");
    MacCloseDisplay(r);
    Opened(2, 10, 10);
    EXPECT_EQ(HeadlessRecord().screenSaverAllowed, 1);
}

TEST_F(BackendWindow, MinimisingAndActivatingGoThroughTheWindowSystem) {
    qzMacWindow* a = Opened(1, 20, 20);
    qzMacWindow* b = Opened(2, 20, 20);
    EXPECT_EQ(HostWindow(b), HostFocusWindow());
    MacActivateDisplay(a);
    Drain();
    EXPECT_EQ(HostWindow(a), HostFocusWindow());

    Hooks().posted.clear();
    EXPECT_EQ(MacShowHideDisplay(a, 1), 0);
    Drain();
    EXPECT_EQ(HostWindow(a)->windowState, 2);
    EXPECT_EQ(MacShowHideDisplay(a, 0), 0);
    int refreshes = Hooks().refreshes;
    Drain();
    EXPECT_EQ(HostWindow(a)->windowState, 1);
    EXPECT_EQ(Hooks().refreshes, refreshes + 1);  // shown again: drawn again
    std::vector<int32_t> types;
    for (const PostedEvent& e : Hooks().posted) types.push_back(e.type);
    EXPECT_EQ(types, (std::vector<int32_t>{QZ_EVENT_HIDEWINDOW, QZ_EVENT_SHOWWINDOW}));

    // A full-screen window is not minimised.
    qzMacWindow* full = Record(3);
    qzBackendDisplayFrame f = Frame(3, 640, 480, QZ_DISPLAYFLAG_BORDERLESS);
    f.fullScreen = 1;
    ASSERT_EQ(MacOpenDisplay(full, f, 1, nullptr), 0);
    Drain();
    MacShowHideDisplay(full, 1);
    Drain();
    EXPECT_EQ(HostWindow(full)->windowState, 1);
}

TEST_F(BackendWindow, DrawingLandsAtTheOffsetAndMarksWhatItChanged) {
    qzMacWindow* r = Opened(1, 50, 40);
    r->offsetX = 5;
    r->offsetY = 3;
    FrameTakeDirty(&HostWindow(r)->frame);
    Picture p(10, 8, Gradient);

    // Unscaled: exactly (dx + offset x, dy + offset y, width, height).
    MacBltBitMap(&p.lock, 2, 1, r, 4, 6, 6, 5, 0, 0, 0);
    EXPECT_TRUE(SameRect(BackendWindowFrame(r)->dirty, {9, 9, 6, 5}));
    EXPECT_EQ(At(r, 9, 9), 0xFF000000u | Gradient(2, 1));
    EXPECT_EQ(At(r, 14, 13), 0xFF000000u | Gradient(7, 5));
    FrameTakeDirty(&HostWindow(r)->frame);

    // Scaled: the rectangle becomes the whole scaled picture at the offset; 0x100 ignores it.
    MacBltBitMap(&p.lock, 0, 0, r, 30, 30, 10, 8, 20, 16, 0);
    EXPECT_TRUE(SameRect(BackendWindowFrame(r)->dirty, {5, 3, 20, 16}));
    EXPECT_EQ(At(r, 5 + 19, 3 + 15), 0xFF000000u | Gradient(9, 7));
    FrameTakeDirty(&HostWindow(r)->frame);
    MacBltBitMap(&p.lock, 0, 0, r, 30, 30, 10, 8, 20, 16, BACKENDBLT_NOSCALE);
    EXPECT_TRUE(SameRect(BackendWindowFrame(r)->dirty, {35, 33, 10, 7}));  // clipped at the bottom
    FrameTakeDirty(&HostWindow(r)->frame);

    // Fill, line and pixel: colours are 0xRRGGBB whatever the top byte says.
    MacRectFill(r, -10, -10, 12, 12, 0x7F80FF00);
    EXPECT_EQ(At(r, 0, 0), 0xFF80FF00u);
    EXPECT_EQ(At(r, 6, 4), 0xFF80FF00u);
    MacLine(r, 10, 5, 2, 9, 0xFF);
    EXPECT_EQ(At(r, 15, 8), 0xFF0000FFu);
    MacWritePixel(r, 44, 36, 0xABCDEF);
    EXPECT_EQ(At(r, 49, 39), 0xFFABCDEFu);
    MacWritePixel(r, 45, 37, 0xABCDEF);  // outside: nothing
    EXPECT_TRUE(SameRect(BackendWindowFrame(r)->dirty, {0, 0, 50, 40}));

    // The part of a scaled picture gives the whole picture's pixels there.
    BltScaledPart(&p.lock, 10, 8, 3, 2, 2, 2, r, 15, 12, 0);
    EXPECT_EQ(At(r, 5 + 5, 3 + 3), 0xFF000000u | Gradient(3, 2));

    // A view rectangle to show is the offset rectangle, or the whole scaled picture.
    FrameTakeDirty(&HostWindow(r)->frame);
    MacRenderViewRect(r, 1, 2, 3, 4, 5, 6, 0, 0);
    EXPECT_TRUE(SameRect(BackendWindowFrame(r)->dirty, {6, 8, 3, 4}));
    FrameTakeDirty(&HostWindow(r)->frame);
    MacRenderViewRect(r, 1, 2, 3, 4, 5, 6, 30, 20);
    EXPECT_TRUE(SameRect(BackendWindowFrame(r)->dirty, {5, 6, 30, 20}));
}

TEST_F(BackendWindow, MinimisedWindowsDrawOnlyBlitsThatAskForIt) {
    qzMacWindow* r = Opened(1, 8, 8);
    MacShowHideDisplay(r, 1);
    Drain();
    ASSERT_EQ(HostWindow(r)->windowState, 2);
    Picture p(8, 8, [](int32_t, int32_t) { return 0x00FF0000u; });
    MacRectFill(r, 0, 0, 8, 8, 0xFFFFFF);
    MacLine(r, 0, 0, 7, 7, 0xFFFFFF);
    MacWritePixel(r, 1, 1, 0xFFFFFF);
    MacBltBitMap(&p.lock, 0, 0, r, 0, 0, 8, 8, 0, 0, 0);
    EXPECT_EQ(At(r, 1, 1), QZ_FRAME_BLACK);
    MacBltBitMap(&p.lock, 0, 0, r, 0, 0, 4, 8, 0, 0, BACKENDBLT_ANYSTATE);
    MacBltBitMap(&p.lock, 4, 0, r, 4, 0, 4, 8, 0, 0, BACKENDBLT_WHILEHIDDEN);
    EXPECT_EQ(At(r, 1, 1), 0xFFFF0000u);
    EXPECT_EQ(At(r, 6, 1), 0xFFFF0000u);
}

TEST_F(BackendWindow, EachEventPassPresentsWhatWasDrawnOnce) {
    qzMacWindow* r = Opened(1, 100, 100);
    FullPass();
    uint32_t presents = HeadlessRecord().presents;
    MacRectFill(r, 10, 10, 5, 5, 0xFF);
    MacWritePixel(r, 60, 70, 0xFF);
    MacLine(r, 20, 90, 30, 95, 0xFF);
    EXPECT_EQ(HeadlessRecord().presents, presents);  // nothing shown while drawing
    FullPass();
    EXPECT_EQ(HeadlessRecord().presents, presents + 1);
    EXPECT_TRUE(SameRect(HeadlessRecord().lastPresent, {10, 10, 51, 86}));
    FullPass();
    EXPECT_EQ(HeadlessRecord().presents, presents + 1);  // nothing new
    // A flush shows at once; waiting for events shows first.
    MacWritePixel(r, 1, 1, 0xFF);
    MacFlushDisplay(r);
    EXPECT_EQ(HeadlessRecord().presents, presents + 2);
    MacWritePixel(r, 2, 2, 0xFF);
    HeadlessInjectEvent(qzHostEvent{});
    MacWaitEvents();
    EXPECT_EQ(HeadlessRecord().presents, presents + 3);
}

TEST_F(BackendWindow, ShapesComeFromMasksAndAlphaChannels) {
    // A 12 x 2 mask (16-bit rows) and a 3 x 2 alpha channel smaller than the window.
    const uint8_t mask[] = {0xF0, 0x0F, 0x80, 0x01};
    const uint8_t alpha[] = {0, 128, 255, 0, 9, 9, 9, 9};
    qzMacWindow* m = Record(1);
    qzBackendShape maskShape = {QZ_SHAPE_MASK, mask, 2, 12, 2};
    ASSERT_EQ(MacOpenDisplay(m, Frame(1, 12, 2, QZ_DISPLAYFLAG_BORDERLESS), 1, &maskShape), 0);
    EXPECT_EQ(m->shaped, 1);
    EXPECT_EQ(m->compositing, 1);
    std::vector<uint8_t> expected = {255, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(BackendWindowFrame(m)->shape, expected);
    qzMacWindow* a = Record(2);
    qzBackendShape alphaShape = {QZ_SHAPE_ALPHA, alpha, 4, 3, 2};
    ASSERT_EQ(MacOpenDisplay(a, Frame(2, 4, 3, QZ_DISPLAYFLAG_BORDERLESS), 1, &alphaShape), 0);
    EXPECT_EQ(BackendWindowFrame(a)->shape, (std::vector<uint8_t>{0, 128, 255, 0, 9, 9, 9, 0, 0, 0, 0, 0}));

    // The shape's alpha merged into 32-bit pixels.
    std::vector<uint32_t> target(4 * 3, 0x00112233);
    qzLockInfo t{target.data(), 1, PIXFMT_ARGB32, 4, 4, 4, 3, 1, nullptr};
    MacMergeShapeAlpha(a, nullptr, 0, 0, &t, 1, 0, 5, 5);
    EXPECT_EQ(target[0], 0x00112233u);
    EXPECT_EQ(target[1], 0x80112233u);
    EXPECT_EQ(target[2], 0xFF112233u);
    EXPECT_EQ(target[5], 0x09112233u);
    qzLockInfo bgra = t;
    bgra.pixelFormat = PIXFMT_BGRA32;
    MacMergeShapeAlpha(a, &t, 0, 0, &bgra, 1, 0, 1, 1);
    EXPECT_EQ(target[1], 0x001122B3u);  // the source pixel (0, 0) with the alpha in its low byte
}

TEST_F(BackendWindow, MonitorsModesAndFullScreen) {
    qzBackendMonitor* list = MacGetMonitorInfo();
    ASSERT_NE(list, nullptr);
    ASSERT_NE(list->next, nullptr);
    EXPECT_TRUE(list->x == 0 && list->y == 0 && list->width == 1920 && list->height == 1080);
    EXPECT_TRUE(list->next->x == 1920 && list->next->width == 1280 && list->next->height == 1024);
    EXPECT_EQ(list->next->next, nullptr);
    FreeBackendMonitors(list);
    EXPECT_EQ(CountBackendMonitors(), 2);
    EXPECT_EQ(MacGetDisplayID(1), 1);
    EXPECT_EQ(MacGetDisplayID(2), 0);
    EXPECT_EQ(MacGetDisplayID(-1), 0);

    // Every size is reported at two rates; the rows hold each size once.
    int32_t all = MacGetDisplayModes(1, nullptr);
    EXPECT_EQ(all, 8);
    std::vector<qzBackendModeRow> rows(size_t(all), qzBackendModeRow{-1, -1});
    ASSERT_EQ(MacGetDisplayModes(1, rows.data()), 4);
    EXPECT_TRUE(rows[3].width == 1280 && rows[3].height == 1024);
    EXPECT_EQ(rows[4].width, -1);
    EXPECT_EQ(MacGetDisplayModes(7, nullptr), 0);

    // The best mode: the exact size, else the smallest that holds it, else the largest.
    qzMacWindow* r = Record(1);
    struct Case {
        int32_t width, height, gotWidth, gotHeight;
    };
    for (const Case& c : {Case{640, 480, 640, 480}, Case{700, 500, 800, 600}, Case{1300, 700, 1440, 900},
                          Case{2000, 1000, 1920, 1080}}) {
        ASSERT_EQ(MacSwitchDisplayMode(r, 0, c.width, c.height, 0), 0);
        qzHostMonitor m;
        HostDriver()->monitorBounds(0, &m);
        EXPECT_TRUE(m.width == c.gotWidth && m.height == c.gotHeight) << c.width << "x" << c.height;
    }
    // Switches made while already full screen keep the desktop's mode to go back to.
    ASSERT_EQ(MacSwitchDisplayMode(r, 0, 1024, 768, 0), 0);  // remembers 1920 x 1080
    ASSERT_EQ(MacSwitchDisplayMode(r, 0, 800, 600, 1), 0);
    EXPECT_EQ(MacSwitchDisplayMode(r, 5, 800, 600, 1), ERR_SCREEN);

    // A full-screen window covers its monitor in the current mode.
    qzMacWindow* full = Record(2);
    qzBackendDisplayFrame f = Frame(2, 640, 480, QZ_DISPLAYFLAG_BORDERLESS);
    f.fullScreen = 1;
    f.monitor = 1;
    ASSERT_EQ(MacSwitchDisplayMode(full, 1, 640, 480, 0), 0);
    ASSERT_EQ(MacOpenDisplay(full, f, 1, nullptr), 0);
    qzHostWindow* w = HostWindow(full);
    EXPECT_TRUE(w->x == 1920 && w->y == 0 && w->width == 640 && w->height == 480 && w->frame.width == 640);
    MacCloseDisplay(full);
    EXPECT_EQ(MacRestoreDisplayMode(full), 0);
    EXPECT_EQ(MacRestoreDisplayMode(r), 0);
    qzBackendMonitor* after = MacGetMonitorInfo();
    EXPECT_TRUE(after->width == 1920 && after->height == 1080 && after->next->width == 1280);
    FreeBackendMonitors(after);

    // Stopping the platform gives every monitor its mode back.
    ASSERT_EQ(MacSwitchDisplayMode(r, 1, 800, 600, 0), 0);
    MacShutdownPlatform();
    std::string message;
    ASSERT_EQ(MacInitPlatform(&message), 0);
    qzHostMonitor m;
    HostDriver()->monitorBounds(1, &m);
    EXPECT_EQ(m.width, 1280);
}

TEST_F(BackendWindow, FadesAndInterfaceModes) {
    // Nothing is on a screen to fade headless: no token, and fading in token 0 does nothing.
    EXPECT_EQ(MacFadeOut(1), 0);
    MacFadeIn(0, 1);
    EXPECT_EQ(FullScreenUIMode(), 0);
    MacSetFullScreenUIMode(2);
    EXPECT_EQ(FullScreenUIMode(), 2);
    MacSetFullScreenUIMode(0);
    EXPECT_EQ(FullScreenUIMode(), 0);
    MacSetFullScreenUIMode(1);
    MacShutdownPlatform();
    std::string message;
    ASSERT_EQ(MacInitPlatform(&message), 0);
    EXPECT_EQ(FullScreenUIMode(), 0);
}

TEST_F(BackendWindow, TheDesktopGrabComposesTheVisibleWindows) {
    // Two overlapping borderless windows on monitor 0, a minimised one and a shaped one.
    qzMacWindow* below = Record(1);
    qzBackendDisplayFrame f = Frame(1, 4, 4, QZ_DISPLAYFLAG_BORDERLESS);
    f.x = 10;
    f.y = 10;
    ASSERT_EQ(MacOpenDisplay(below, f, 1, nullptr), 0);
    MacRectFill(below, 0, 0, 4, 4, 0xFF0000);
    qzMacWindow* above = Record(2);
    f.scriptId = 2;
    f.x = 12;
    ASSERT_EQ(MacOpenDisplay(above, f, 1, nullptr), 0);
    MacRectFill(above, 0, 0, 4, 4, 0x00FF00);
    qzMacWindow* hidden = Record(3);
    f.x = 9;
    ASSERT_EQ(MacOpenDisplay(hidden, f, 0, nullptr), 0);
    MacRectFill(hidden, 0, 0, 4, 4, 0xFFFFFF);
    MacShowHideDisplay(hidden, 1);
    const uint8_t alpha[] = {255, 0, 128, 0};
    qzBackendShape shape = {QZ_SHAPE_ALPHA, alpha, 4, 4, 1};
    qzMacWindow* shaped = Record(4);
    f.x = 10;
    f.y = 11;
    f.height = 1;
    ASSERT_EQ(MacOpenDisplay(shaped, f, 1, &shape), 0);
    MacRectFill(shaped, 0, 0, 4, 1, 0x0000FE);
    Drain();

    std::vector<uint32_t> grab;
    ASSERT_EQ(MacGrabScreenPixels(0, 8, 10, 10, 2, &grab), 0);
    ASSERT_EQ(grab.size(), 20u);
    const uint32_t K = QZ_FRAME_BLACK, R = 0xFFFF0000, G = 0xFF00FF00, B = 0xFF0000FE;
    std::vector<uint32_t> expected = {K, K, R, R, G, G, G, G, K, K, K, K, B, R, 0xFF007F7F, G, G, G, K, K};
    EXPECT_EQ(grab, expected);
    // Outside every monitor the desktop is black; impossible rectangles fail.
    ASSERT_EQ(MacGrabScreenPixels(0, -5, 10, 7, 1, &grab), 0);
    EXPECT_EQ(grab, (std::vector<uint32_t>{K, K, K, K, K, K, K}));
    EXPECT_EQ(MacGrabScreenPixels(0, 0, 0, 0, 5, &grab), ERR_GRABSCREEN);
    EXPECT_EQ(MacGrabScreenPixels(0, 0, 0, 100000, 100000, &grab), ERR_GRABSCREEN);
    EXPECT_EQ(MacGrabScreenPixels(9, 0, 0, 1, 1, &grab), ERR_GRABSCREEN);
    EXPECT_TRUE(grab.empty());
}

TEST_F(BackendWindow, DisplayAttributes) {
    qzMacWindow* r = Opened(1, 30, 30);
    qzRawBitMap* back = OsAllocBitMap(30, 30);
    MacSetQuitOption(nullptr, QZ_QUIT_ESCAPE, 1);
    Script("0 move 12 17");
    const struct {
        int attr;
        intptr_t value;
    } rows[] = {
        {BACKENDATTR_DEPTH, 32},
        {BACKENDATTR_MOUSEX, 12},
        {BACKENDATTR_MOUSEY, 17},
        {BACKENDATTR_QUITCTRLC, 1},
        {BACKENDATTR_QUITLEFTMOUSE, 0},
        {BACKENDATTR_QUITESCAPE, 1},
        {BACKENDATTR_11, 16},
        {BACKENDATTR_12, 16},
        {BACKENDATTR_OPTIONS, 1},
        {BACKENDATTR_MENUBARHEIGHT, 0},
        {OSBMATTR_ROWLENGTH, 32},
        {OSBMATTR_PIXELS, intptr_t(back->pixels)},
        {99, 0},
    };
    for (const auto& row : rows) EXPECT_EQ(MacGetDisplayAttr(r, row.attr, back), row.value) << row.attr;
    SetDisplayOptionWord(5);
    EXPECT_EQ(MacGetDisplayAttr(r, BACKENDATTR_OPTIONS, back), 5);
    MacCloseDisplay(r);
    EXPECT_EQ(MacGetDisplayAttr(r, BACKENDATTR_MOUSEX, nullptr), 0);
    OsFreeBitMap(back);
}

TEST(BackendOffscreen, PixelsAndLinesOnPlatformBitmaps) {
    qzRawBitMap* b = OsAllocBitMap(6, 5);
    ASSERT_NE(b, nullptr);
    std::memset(b->pixels, 0xFF, size_t(b->bytesPerRow) * 5);
    MacGWorldWritePixel(b, 2, 3, 0x80FF00);
    EXPECT_EQ(MacGWorldReadPixel(b, 2, 3), 0x80FF00u);
    EXPECT_EQ(static_cast<uint32_t*>(b->pixels)[3 * (b->bytesPerRow / 4) + 2], 0x0080FF00u);
    MacGWorldWritePixel(b, 6, 0, 0);  // outside: nothing
    MacGWorldWritePixel(b, -1, 0, 0);
    EXPECT_EQ(MacGWorldReadPixel(b, 6, 0), 0u);
    MacGWorldLine(b, -10, 0, 20, 0, 0x0000AA);
    for (int32_t x = 0; x < 6; x++) EXPECT_EQ(MacGWorldReadPixel(b, x, 0), 0xAAu);
    EXPECT_EQ(MacGWorldReadPixel(b, 0, 1), 0xFFFFFFu);
    OsFreeBitMap(b);
    MacGWorldWritePixel(nullptr, 0, 0, 0);
    EXPECT_EQ(MacGWorldReadPixel(nullptr, 0, 0), 0u);
}

TEST(BackendSnapshot, WindowsAreWrittenWhenTheyCloseAndAtShutdown) {
    std::string dir = ::testing::TempDir() + "qz-snapshots-" + std::to_string(getpid());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    setenv("QUARNELIX_SNAPSHOT_DIR", dir.c_str(), 1);
    setenv("QUARNELIX_DRIVER", "headless", 1);
    unsetenv("QUARNELIX_INPUT");
    std::string message;
    ASSERT_EQ(MacInitPlatform(&message), 0) << message;

    qzMacWindow *a = nullptr, *b = nullptr;
    ASSERT_EQ(MacAllocWindowRecord(nullptr, FakeDisplay(7), &a), 0);
    ASSERT_EQ(MacAllocWindowRecord(nullptr, FakeDisplay(8), &b), 0);
    qzBackendDisplayFrame f;
    f.scriptId = 7;
    f.width = 3;
    f.height = 2;
    f.flags = QZ_DISPLAYFLAG_BORDERLESS;
    ASSERT_EQ(MacOpenDisplay(a, f, 1, nullptr), 0);
    MacWritePixel(a, 2, 1, 0x123456);
    MacCloseDisplay(a);
    const uint8_t alpha[] = {255, 0, 7, 255, 255, 255};
    qzBackendShape shape = {QZ_SHAPE_ALPHA, alpha, 3, 3, 2};
    f.scriptId = 8;
    ASSERT_EQ(MacOpenDisplay(b, f, 1, &shape), 0);
    MacRectFill(b, 0, 0, 3, 2, 0xFF8000);
    MacShutdownPlatform();  // closes b
    unsetenv("QUARNELIX_SNAPSHOT_DIR");

    int32_t w = 0, h = 0;
    bool hasAlpha = false;
    std::vector<uint32_t> pixels;
    ASSERT_TRUE(ReadPng(dir + "/display-7.png", &w, &h, &pixels, &hasAlpha));
    EXPECT_TRUE(w == 3 && h == 2 && !hasAlpha);
    EXPECT_EQ(pixels, (std::vector<uint32_t>{0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000, 0xFF123456}));
    ASSERT_TRUE(ReadPng(dir + "/display-8.png", &w, &h, &pixels, &hasAlpha));
    EXPECT_TRUE(hasAlpha);
    EXPECT_EQ(pixels, (std::vector<uint32_t>{0xFFFF8000, 0x00FF8000, 0x07FF8000, 0xFFFF8000, 0xFFFF8000, 0xFFFF8000}));
    MacFreeWindowRecord(a);
    MacFreeWindowRecord(b);
    std::filesystem::remove_all(dir);
}

}  // namespace backend_window_test
