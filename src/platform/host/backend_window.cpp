#include "platform/host/backend_window.h"

#include <algorithm>
#include <new>

#include "base/error_codes.h"
#include "platform/host/backend_draw.h"
#include "platform/host/backend_menus.h"
#include "platform/host/event_loop.h"
#include "platform/os_alloc.h"
#include "platform/os_time.h"

namespace {

// The fade reservation: the token of the fade that holds it and when it lapses.
int32_t gFadeToken = 0;
int32_t gFadeCounter = 0;
uint64_t gFadeUntil = 0;
constexpr uint64_t kFadeReservationMicros = 10000000;
constexpr int32_t kFadeOutMillis = 500;
constexpr int32_t kFadeInMillis = 1000;
constexpr int32_t kFadeStepMillis = 10;

int gFullScreenUIMode = 0;
bool gFullScreenUIModeSet = false;
intptr_t gOptionWord = 1;

int32_t Saturate(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// The 8-bit shape of a width x height window from a mask or an alpha channel; what the shape
// does not cover is outside the window.
bool BuildShape(const qzBackendShape& shape, int32_t width, int32_t height, std::vector<uint8_t>* out) {
    try {
        out->assign(size_t(width) * size_t(height), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    int32_t rows = std::min(height, shape.height), columns = std::min(width, shape.width);
    if (!shape.pixels || shape.bytesPerRow <= 0) return true;
    for (int32_t y = 0; y < rows; y++) {
        const uint8_t* from = shape.pixels + int64_t(y) * shape.bytesPerRow;
        uint8_t* to = out->data() + size_t(y) * width;
        if (shape.kind == QZ_SHAPE_ALPHA) {
            std::copy(from, from + std::min<int64_t>(columns, shape.bytesPerRow), to);
        } else {
            int32_t bits = int32_t(std::min<int64_t>(columns, int64_t(shape.bytesPerRow) * 8));
            for (int32_t x = 0; x < bits; x++) to[x] = (from[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
        }
    }
    return true;
}

// The exact size, else the smallest mode that holds width x height, else the largest. `modes` is
// not empty.
const qzHostMode& PickMode(const std::vector<qzHostMode>& modes, int32_t width, int32_t height) {
    auto area = [](const qzHostMode& m) { return int64_t(m.width) * m.height; };
    const qzHostMode* holding = nullptr;
    const qzHostMode* largest = &modes[0];
    for (const qzHostMode& m : modes) {
        if (m.width == width && m.height == height) return m;
        if (m.width >= width && m.height >= height && (!holding || area(m) < area(*holding))) holding = &m;
        if (area(m) > area(*largest)) largest = &m;
    }
    return holding ? *holding : *largest;
}

void RunFade(const qzHostDriver* driver, double from, double to, int32_t millis) {
    int32_t steps = std::max(1, millis / kFadeStepMillis);
    uint64_t start = OsMonotonicMicros();
    for (int32_t i = 1; i <= steps; i++) {
        driver->setFade(from + (to - from) * double(i) / steps);
        HostPresentWindows();
        // Each step ends at its own time, so that slow steps do not stretch the fade.
        uint64_t due = start + uint64_t(i) * uint64_t(millis) * 1000u / uint64_t(steps);
        uint64_t now = OsMonotonicMicros();
        if (due > now) OsDelay(int32_t((due - now + 999) / 1000));
    }
}

}  // namespace

void ResetWindowSide() {
    gFadeToken = 0;
    gFadeUntil = 0;
    gFullScreenUIMode = 0;
    gFullScreenUIModeSet = false;
    gOptionWord = 1;
}

int MacInitDisplaySystem() { return MacInitApplication(); }

int MacAllocWindowRecord(VmState* state, qzDisplay* display, qzMacWindow** out) {
    *out = new (std::nothrow) qzMacWindow();
    if (!*out) return ERR_MEM;
    (*out)->display = display;
    (*out)->owner = state;
    return 0;
}

void MacFreeWindowRecord(qzMacWindow* record) {
    if (!record) return;
    MacCloseDisplay(record);
    delete record;
}

qzHostWindow* HostWindow(const qzMacWindow* record) {
    if (!record || !record->window) return nullptr;
    // Window ids are not used twice, so a window the platform closed is not taken for another.
    qzHostWindow* window = HostFindWindow(record->windowId);
    return window == record->window ? window : nullptr;
}

int MacOpenDisplay(qzMacWindow* record, const qzBackendDisplayFrame& frame, int activate, const qzBackendShape* shape) {
    // A window still open is closed first: a display has one window at most.
    MacCloseDisplay(record);
    qzHostWindowSpec spec;
    spec.display = record->display;
    spec.scriptId = frame.scriptId;
    spec.title = frame.title;
    spec.x = Saturate(int64_t(frame.x) + frame.borders.left);
    spec.y = Saturate(int64_t(frame.y) + frame.borders.top);
    spec.centered = false;
    spec.width = frame.width;
    spec.height = frame.height;
    spec.monitor = frame.monitor;
    spec.activate = activate != 0;
    record->settings.flags = frame.flags & ~uint32_t(QZ_DISPLAYFLAG_HIDDEN);
    record->settings.fullScreen = frame.fullScreen;
    spec.settings = record->settings;
    // A windowed display with a menu tree gets its menu bar first.
    if (!frame.fullScreen && frame.menu) {
        int error = MacCreateWindowMenu(record, frame.menu);
        if (error) return error;
        spec.menuBar = record->menuBar;
    }
    bool shaped = shape && !frame.fullScreen && frame.width > 0 && frame.height > 0;
    if (shaped && !BuildShape(*shape, frame.width, frame.height, &spec.shape)) {
        DisposeWindowMenu(record);
        return ERR_ALLOCALPHA;
    }
    qzHostWindow* window = nullptr;
    int error = HostOpenWindow(&spec, &window);
    if (error) {
        DisposeWindowMenu(record);
        return error == ERR_MEM ? ERR_MEM : ERR_WINDOW;
    }
    record->window = window;
    record->windowId = window->id;
    record->shaped = shaped ? 1 : 0;
    record->compositing = shaped || (frame.flags & QZ_DISPLAYFLAG_USEQUARTZ) ? 1 : 0;
    SetKeepAwake((frame.flags & QZ_DISPLAYFLAG_KEEPAWAKE) ? 1 : 0);
    return 0;
}

void MacCloseDisplay(qzMacWindow* record) {
    if (!record || !record->window) return;
    qzHostWindow* window = HostWindow(record);
    if (window) HostCloseWindow(window);
    DisposeWindowMenu(record);
    record->window = nullptr;
    record->windowId = 0;
    record->shaped = 0;
    record->compositing = 0;
}

int MacDetermineBorderSizes(uint32_t flags, qzBackendBorders* out) {
    *out = {0, 0, 0, 0};
    const qzHostDriver* driver = HostDriver();
    if ((flags & QZ_DISPLAYFLAG_BORDERLESS) || !driver) return 0;
    int32_t b[4] = {0, 0, 0, 0};
    driver->borderSizes(flags, b);
    *out = {b[0], b[1], b[0] + b[2], b[1] + b[3]};
    return 0;
}

void MacSizeMoveDisplay(qzMacWindow* record, const qzBackendDisplayFrame& frame) {
    qzHostWindow* window = HostWindow(record);
    const qzHostDriver* driver = HostDriver();
    if (!window || !driver || window->settings.fullScreen || frame.width < 1 || frame.height < 1) return;
    if (!FrameResize(&window->frame, frame.width, frame.height)) return;
    driver->setBounds(window, Saturate(int64_t(frame.x) + frame.borders.left),
                      Saturate(int64_t(frame.y) + frame.borders.top), frame.width, frame.height);
}

void MacMoveDisplay(qzMacWindow* record, const qzBackendDisplayFrame& frame) {
    qzHostWindow* window = HostWindow(record);
    const qzHostDriver* driver = HostDriver();
    if (!window || !driver || window->settings.fullScreen) return;
    driver->setBounds(window, Saturate(int64_t(frame.x) + frame.borders.left),
                      Saturate(int64_t(frame.y) + frame.borders.top), window->frame.width, window->frame.height);
}

void MacSetDisplayTitle(qzMacWindow* record, const std::string& title) {
    qzHostWindow* window = HostWindow(record);
    const qzHostDriver* driver = HostDriver();
    if (!window || !driver) return;
    window->title = title;
    driver->setTitle(window);
}

int MacShowHideDisplay(qzMacWindow* record, int minimize) {
    qzHostWindow* window = HostWindow(record);
    const qzHostDriver* driver = HostDriver();
    if (window && driver && !window->settings.fullScreen) driver->minimize(window, minimize ? 1 : 0);
    return 0;
}

void MacActivateDisplay(qzMacWindow* record) {
    qzHostWindow* window = HostWindow(record);
    const qzHostDriver* driver = HostDriver();
    if (window && driver) driver->activate(window);
}

void SetWindowSettings(qzMacWindow* record, const qzHostWindowSettings& settings) {
    record->settings = settings;
    if (qzHostWindow* window = HostWindow(record)) HostSetWindowSettings(window, settings);
}

int MacUpdateDropTarget(qzMacWindow* record, int installed) {
    qzHostWindowSettings settings = record->settings;
    settings.dropHandlerInstalled = installed ? 1 : 0;
    SetWindowSettings(record, settings);
    return 0;
}

int32_t CountBackendMonitors() {
    const qzHostDriver* driver = HostDriver();
    return driver ? driver->monitorCount() : 0;
}

qzBackendMonitor* MacGetMonitorInfo() {
    const qzHostDriver* driver = HostDriver();
    if (!driver) return nullptr;
    qzBackendMonitor* first = nullptr;
    qzBackendMonitor** link = &first;
    int32_t count = driver->monitorCount();
    for (int32_t i = 0; i < count; i++) {
        qzHostMonitor m;
        if (driver->monitorBounds(i, &m) != 0) continue;
        auto* node = static_cast<qzBackendMonitor*>(OsAlloc(sizeof(qzBackendMonitor), 1));
        if (!node) {
            FreeBackendMonitors(first);
            return nullptr;
        }
        *node = {nullptr, m.x, m.y, m.width, m.height};
        *link = node;
        link = &node->next;
    }
    return first;
}

void FreeBackendMonitors(qzBackendMonitor* list) {
    while (list) {
        qzBackendMonitor* next = list->next;
        OsFree(list);
        list = next;
    }
}

int32_t MacGetDisplayID(int32_t n) { return n >= 0 && n < CountBackendMonitors() ? n : 0; }

int32_t MacGetDisplayModes(int32_t monitor, qzBackendModeRow* rows) {
    const qzHostDriver* driver = HostDriver();
    if (!driver) return 0;
    std::vector<qzHostMode> modes;
    driver->monitorModes(monitor, &modes);
    if (!rows) return int32_t(modes.size());
    int32_t count = 0;
    for (const qzHostMode& m : modes) {
        bool known = false;
        for (int32_t i = 0; i < count && !known; i++) known = rows[i].width == m.width && rows[i].height == m.height;
        if (!known) rows[count++] = {m.width, m.height};
    }
    return count;
}

int MacSwitchDisplayMode(qzMacWindow* record, int32_t monitor, int32_t width, int32_t height, int32_t fullScreen) {
    const qzHostDriver* driver = HostDriver();
    if (!driver) return ERR_SCREEN;
    qzHostMonitor bounds;
    if (driver->monitorBounds(monitor, &bounds) != 0) return ERR_SCREEN;
    std::vector<qzHostMode> modes;
    driver->monitorModes(monitor, &modes);
    // Modes of 32 bits a pixel when there are any.
    std::vector<qzHostMode> deep;
    for (const qzHostMode& m : modes) {
        if (m.depth == 32) deep.push_back(m);
    }
    if (!deep.empty()) modes.swap(deep);
    if (modes.empty()) return ERR_SCREEN;
    const qzHostMode& best = PickMode(modes, width, height);
    if (!fullScreen) {
        record->savedModeValid = 1;
        record->savedModeMonitor = monitor;
        record->savedMode = {bounds.width, bounds.height, 32, 0};
    }
    return driver->setMonitorMode(monitor, best) ? ERR_SCREEN : 0;
}

int MacRestoreDisplayMode(qzMacWindow* record) {
    const qzHostDriver* driver = HostDriver();
    if (driver && record->savedModeValid) driver->setMonitorMode(record->savedModeMonitor, record->savedMode);
    return 0;
}

int32_t MacFadeOut(int wait) {
    const qzHostDriver* driver = HostDriver();
    uint64_t now = OsMonotonicMicros();
    if (gFadeToken && now < gFadeUntil) return 0;
    if (!driver || !driver->setFade(0.0)) return 0;
    gFadeToken = ++gFadeCounter;
    if (gFadeToken <= 0) gFadeToken = gFadeCounter = 1;
    gFadeUntil = now + kFadeReservationMicros;
    if (wait)
        RunFade(driver, 0.0, 1.0, kFadeOutMillis);
    else
        driver->setFade(1.0);
    return gFadeToken;
}

void MacFadeIn(int32_t token, int wait) {
    const qzHostDriver* driver = HostDriver();
    if (!token) return;
    if (driver) {
        if (wait)
            RunFade(driver, 1.0, 0.0, kFadeInMillis);
        else
            driver->setFade(0.0);
    }
    if (token == gFadeToken) gFadeToken = 0;
}

void MacSetFullScreenUIMode(int mode) {
    if (mode == 0 && !gFullScreenUIModeSet) return;
    gFullScreenUIMode = mode == 1 || mode == 2 ? mode : 0;
    gFullScreenUIModeSet = gFullScreenUIMode != 0;
}

int FullScreenUIMode() { return gFullScreenUIMode; }

int MacGrabScreenPixels(int32_t monitor, int32_t x, int32_t y, int32_t width, int32_t height,
                        std::vector<uint32_t>* out) {
    out->clear();
    // The desktop shows what was drawn so far.
    HostPresentWindows();
    const qzHostDriver* driver = HostDriver();
    qzHostMonitor m;
    if (!driver || width < 1 || height < 1 || int64_t(width) * height * 4 > QZ_MAX_BITMAP_BYTES ||
        driver->monitorBounds(monitor, &m) != 0)
        return ERR_GRABSCREEN;
    // The part of the rectangle on the monitor.
    int64_t left = std::max<int64_t>(x, m.x), top = std::max<int64_t>(y, m.y);
    int64_t right = std::min<int64_t>(int64_t(x) + width, int64_t(m.x) + m.width);
    int64_t bottom = std::min<int64_t>(int64_t(y) + height, int64_t(m.y) + m.height);
    try {
        out->assign(size_t(width) * size_t(height), QZ_FRAME_BLACK);
        if (left >= right || top >= bottom) return 0;
        std::vector<uint32_t> part(size_t(right - left) * size_t(bottom - top));
        if (driver->grabScreen(int32_t(left), int32_t(top), int32_t(right - left), int32_t(bottom - top),
                               part.data()) != 0) {
            out->clear();
            return ERR_GRABSCREEN;
        }
        for (int64_t row = 0; row < bottom - top; row++)
            std::copy_n(&part[size_t(row * (right - left))], size_t(right - left),
                        &(*out)[size_t((top - y + row) * width + (left - x))]);
    } catch (const std::bad_alloc&) {
        out->clear();
        return ERR_GRABSCREEN;
    }
    return 0;
}

intptr_t MacGetDisplayAttr(const qzMacWindow* record, int attr, const qzRawBitMap* backBuffer) {
    switch (attr) {
    case BACKENDATTR_DEPTH: return 32;
    case BACKENDATTR_MOUSEX:
    case BACKENDATTR_MOUSEY: {
        qzHostWindow* window = HostWindow(record);
        const qzHostDriver* driver = HostDriver();
        if (!window || !driver) return 0;
        int32_t mx = 0, my = 0;
        driver->mousePosition(window, &mx, &my);
        return attr == BACKENDATTR_MOUSEX ? mx : my;
    }
    case BACKENDATTR_QUITCTRLC: return GetQuitOption(QZ_QUIT_CTRLC);
    case BACKENDATTR_QUITLEFTMOUSE: return GetQuitOption(QZ_QUIT_LEFTMOUSE);
    case BACKENDATTR_QUITESCAPE: return GetQuitOption(QZ_QUIT_ESCAPE);
    case BACKENDATTR_11:
    case BACKENDATTR_12: return 16;
    case BACKENDATTR_OPTIONS: return gOptionWord;
    case BACKENDATTR_MENUBARHEIGHT: return 0;
    default: return OsGetBitMapAttr(backBuffer, attr);
    }
}

void SetDisplayOptionWord(intptr_t value) { gOptionWord = value; }
