#include "platform/host/headless/headless.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "base/error_codes.h"
#include "base/player_identity.h"
#include "platform/os_time.h"
#include "platform/os_wait.h"
#include "platform/png_write.h"

namespace {

// The virtual monitors: their place on the desktop, the mode they start in and their modes (the
// same size at several rates, as real monitors report them).
struct VirtualMonitor {
    int32_t x;
    int32_t y;
    qzHostMode start;
    std::vector<qzHostMode> modes;
};

std::vector<qzHostMode> ModesAtTwoRates(std::initializer_list<std::pair<int32_t, int32_t>> sizes) {
    std::vector<qzHostMode> modes;
    for (auto [w, h] : sizes) {
        modes.push_back({w, h, 32, 60});
        modes.push_back({w, h, 32, 75});
    }
    return modes;
}

const std::vector<VirtualMonitor>& Monitors() {
    static const std::vector<VirtualMonitor> monitors = {
        {0,
         0,
         {1920, 1080, 32, 60},
         ModesAtTwoRates({{640, 480},
                          {800, 600},
                          {1024, 768},
                          {1280, 720},
                          {1280, 1024},
                          {1440, 900},
                          {1600, 900},
                          {1680, 1050},
                          {1920, 1080}})},
        {1920, 0, {1280, 1024, 32, 60}, ModesAtTwoRates({{640, 480}, {800, 600}, {1024, 768}, {1280, 1024}})},
    };
    return monitors;
}

// The border of a window with a title bar: a 22-pixel title bar above the content.
constexpr int32_t kTitleBarHeight = 22;

struct HeadlessWindow {
    uint32_t id;
    int32_t scriptId;
};

struct State {
    std::mutex mutex;
    std::condition_variable cond;
    std::deque<qzHostEvent> queue;
    // A wake asked for and not yet taken. Kept apart from the queue so that waking the main thread
    // allocates nothing: timer and worker threads wake it, and running out of memory there must
    // neither end the process nor lose the wake.
    bool wake = false;
    std::vector<qzScriptedEvent> script;
    size_t nextScripted = 0;
    uint64_t scriptStart = 0;
    std::vector<HeadlessWindow> windows;   // bottom to top
    std::vector<qzHostMode> monitorModes;  // the current mode of each monitor
    std::string snapshotDir;
    uint32_t nextWindowId = 1;
    uint32_t focusId = 0;
    uint32_t modifiers = 0;
    qzHeadlessRecord record = {};
};
State gState;

void ResetRecord() {
    gState.record = {};
    gState.record.screenSaverAllowed = 1;
}

void ResetMonitors() {
    gState.monitorModes.clear();
    for (const VirtualMonitor& m : Monitors()) gState.monitorModes.push_back(m.start);
}

// Queues a window event. The state's mutex is held.
void QueueWindowEvent(uint32_t id, int32_t sub) {
    qzHostEvent event;
    event.kind = QZ_HEV_WINDOW;
    event.window = id;
    event.sub = sub;
    gState.queue.push_back(event);
    gState.cond.notify_all();
}

// Moves the window to the top and gives it the keyboard focus. The state's mutex is held.
void Focus(uint32_t id) {
    for (size_t i = 0; i < gState.windows.size(); i++) {
        if (gState.windows[i].id == id) {
            HeadlessWindow w = gState.windows[i];
            gState.windows.erase(gState.windows.begin() + static_cast<long>(i));
            gState.windows.push_back(w);
            break;
        }
    }
    if (gState.focusId == id) return;
    if (gState.focusId) QueueWindowEvent(gState.focusId, QZ_HWIN_FOCUS_LOST);
    QueueWindowEvent(id, QZ_HWIN_FOCUS_GAINED);
    // Taken as the focus at once, so that a second window opened before the events pass does
    // not report this one as losing it twice.
    gState.focusId = id;
}

// Writes what the window shows as DIR/display-<id>.png. It runs while the window closes, so
// running out of memory is reported here and the close goes on.
void WriteSnapshot(const qzHostWindow* window, const std::string& dir) {
    const qzHostFrame& frame = window->frame;
    if (dir.empty() || frame.width < 1 || frame.height < 1) return;
    try {
        std::string path = dir + "/display-" + std::to_string(window->scriptId) + ".png";
        const uint8_t* alpha = frame.shape.empty() ? nullptr : frame.shape.data();
        if (!WritePngFile(path, frame.pixels.data(), frame.width, frame.height, frame.width, alpha))
            std::fprintf(stderr, "%s: cannot write the snapshot %s\n", QZ_PLAYER_NAME, path.c_str());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s: cannot write the snapshot display-%d.png: Out of memory!\n", QZ_PLAYER_NAME,
                     int(window->scriptId));
    }
}

// Whether the window a `waitwindow` line waits for is there: the display's window, or for no
// display a window with the keyboard focus. The state's mutex is held.
bool WaitedWindowOpen(const qzScriptedEvent& s) {
    if (!s.display) return gState.focusId != 0;
    for (const HeadlessWindow& w : gState.windows)
        if (w.scriptId == s.display) return true;
    return false;
}

// Moves the script's due events into the queue. A due `waitwindow` line holds the script until its
// window is open; the script's clock stands still meanwhile, so that the times after it count
// from the moment the window was found open. The state's mutex is held.
void TakeDueScripted() {
    if (gState.nextScripted >= gState.script.size()) return;
    uint64_t now = OsMonotonicMicros();
    while (gState.nextScripted < gState.script.size()) {
        const qzScriptedEvent& s = gState.script[gState.nextScripted];
        const uint64_t due = gState.scriptStart + s.atMicros;
        if (due > now) break;
        if (s.waitForWindow) {
            if (!WaitedWindowOpen(s)) break;
            gState.scriptStart += now - due;
            gState.nextScripted++;
            continue;
        }
        gState.nextScripted++;
        qzHostEvent event = s.event;
        if (s.display) {
            // The window of that display; the event is dropped while it has none.
            event.window = 0;
            for (const HeadlessWindow& w : gState.windows) {
                if (w.scriptId == s.display) event.window = w.id;
            }
            if (!event.window) continue;
        }
        gState.queue.push_back(std::move(event));
    }
}

// Monotonic time of the next scripted event, or UINT64_MAX (also while the script waits for a
// window, which only the main thread itself can open).
uint64_t NextScriptedTime() {
    if (gState.nextScripted >= gState.script.size()) return UINT64_MAX;
    const qzScriptedEvent& s = gState.script[gState.nextScripted];
    const uint64_t due = gState.scriptStart + s.atMicros;
    if (s.waitForWindow && due <= OsMonotonicMicros() && !WaitedWindowOpen(s)) return UINT64_MAX;
    return due;
}

int Init(std::string* message) {
    std::vector<qzScriptedEvent> script;
    const char* path = std::getenv("QUARNELIX_INPUT");
    if (path && *path && !LoadInputScript(path, &script, message)) return ERR_ERRORCALLED;
    const char* snapshots = std::getenv("QUARNELIX_SNAPSHOT_DIR");
    int error = HeadlessStartDialogs(message);
    if (error) return error;
    error = HeadlessAudioInit(message);
    if (error) {
        HeadlessStopDialogs();
        return error;
    }
    std::lock_guard<std::mutex> lock(gState.mutex);
    gState.queue.clear();
    gState.wake = false;
    gState.script = std::move(script);
    gState.nextScripted = 0;
    gState.scriptStart = OsMonotonicMicros();
    gState.windows.clear();
    gState.snapshotDir = snapshots ? snapshots : "";
    gState.focusId = 0;
    gState.modifiers = 0;
    ResetRecord();
    ResetMonitors();
    return 0;
}

void Shutdown() {
    HeadlessAudioShutdown();
    HeadlessStopDialogs();
    std::lock_guard<std::mutex> lock(gState.mutex);
    gState.queue.clear();
    gState.wake = false;
    gState.script.clear();
    gState.nextScripted = 0;
    gState.windows.clear();
    ResetRecord();
    ResetMonitors();
}

int PendingEvents() {
    std::lock_guard<std::mutex> lock(gState.mutex);
    TakeDueScripted();
    return static_cast<int>(gState.queue.size()) + (gState.wake ? 1 : 0);
}

int PollEvent(qzHostEvent* event) {
    std::lock_guard<std::mutex> lock(gState.mutex);
    TakeDueScripted();
    if (gState.queue.empty()) {
        if (!gState.wake) return 0;
        gState.wake = false;
        *event = qzHostEvent();
        event->kind = QZ_HEV_WAKE;
        return 1;
    }
    *event = std::move(gState.queue.front());
    gState.queue.pop_front();
    if (event->kind == QZ_HEV_KEY || event->kind == QZ_HEV_MOUSE_BUTTON) gState.modifiers = event->modifiers;
    if (event->kind == QZ_HEV_WINDOW && event->sub == QZ_HWIN_FOCUS_GAINED) gState.focusId = event->window;
    return 1;
}

void WaitEvents(int32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(gState.mutex);
    uint64_t limit = timeoutMs < 0 ? UINT64_MAX : OsMonotonicMicros() + uint64_t(timeoutMs) * 1000u;
    for (;;) {
        TakeDueScripted();
        if (!gState.queue.empty() || gState.wake) return;
        uint64_t now = OsMonotonicMicros();
        if (now >= limit) return;
        OsWaitUntil(gState.cond, lock, std::min(limit, NextScriptedTime()));
    }
}

void PushWake() {
    std::lock_guard<std::mutex> lock(gState.mutex);
    gState.wake = true;
    gState.cond.notify_all();
}

uint32_t Modifiers() {
    std::lock_guard<std::mutex> lock(gState.mutex);
    return gState.modifiers;
}

int OpenWindow(qzHostWindow* window, const qzHostWindowSpec* spec) {
    std::lock_guard<std::mutex> lock(gState.mutex);
    if (spec->settings.fullScreen) {
        if (spec->monitor < 0 || size_t(spec->monitor) >= Monitors().size()) return ERR_SCREEN;
        window->x = Monitors()[size_t(spec->monitor)].x;
        window->y = Monitors()[size_t(spec->monitor)].y;
        window->width = gState.monitorModes[size_t(spec->monitor)].width;
        window->height = gState.monitorModes[size_t(spec->monitor)].height;
    } else {
        if (spec->width <= 0 || spec->height <= 0) return ERR_SCREEN;
        window->width = spec->width;
        window->height = spec->height;
        const qzHostMode& main = gState.monitorModes[0];
        window->x = spec->centered ? (main.width - spec->width) / 2 : spec->x;
        window->y = spec->centered ? (main.height - spec->height) / 2 : spec->y;
        bool titled = !(spec->settings.flags & QZ_DISPLAYFLAG_BORDERLESS);
        window->borderTop = titled ? kTitleBarHeight : 0;
    }
    window->id = gState.nextWindowId++;
    gState.windows.push_back({window->id, spec->scriptId});
    // A window that opens active takes the focus, as on a desktop.
    if (spec->activate && !(spec->settings.flags & QZ_DISPLAYFLAG_HIDDEN)) Focus(window->id);
    return 0;
}

void CloseWindow(qzHostWindow* window) {
    std::lock_guard<std::mutex> lock(gState.mutex);
    WriteSnapshot(window, gState.snapshotDir);
    for (size_t i = 0; i < gState.windows.size(); i++) {
        if (gState.windows[i].id == window->id) {
            gState.windows.erase(gState.windows.begin() + static_cast<long>(i));
            break;
        }
    }
    if (gState.focusId == window->id) gState.focusId = 0;
}

void ReadBounds(qzHostWindow*) {
    // The window record is the headless window: nothing to read back.
}

void SettingsChanged(qzHostWindow*) {}

void MenuBarChanged(qzHostWindow*) {
    // Menus are chosen from the input script; the bar takes no room and shows nothing.
}

void BeginMoveResize(qzHostWindow*, int resize) {
    std::lock_guard<std::mutex> lock(gState.mutex);
    if (resize)
        gState.record.resizeRequests++;
    else
        gState.record.moveRequests++;
}

void* CreateCursor(const uint32_t* argb, int32_t width, int32_t height, int32_t hotX, int32_t hotY, int* error) {
    *error = 0;
    std::unique_ptr<qzHeadlessCursor> cursor(new (std::nothrow) qzHeadlessCursor());
    if (!cursor) {
        *error = ERR_MEM;
        return nullptr;
    }
    cursor->system = -1;
    cursor->width = width;
    cursor->height = height;
    cursor->hotX = hotX;
    cursor->hotY = hotY;
    cursor->pixels.assign(argb, argb + size_t(width) * size_t(height));
    return cursor.release();
}

void* CreateSystemCursor(int32_t kind) {
    qzHeadlessCursor* cursor = new (std::nothrow) qzHeadlessCursor();
    if (cursor) cursor->system = kind;
    return cursor;
}

void FreeCursor(void* cursor) {
    std::lock_guard<std::mutex> lock(gState.mutex);
    if (gState.record.cursor == cursor) gState.record.cursor = nullptr;
    delete static_cast<qzHeadlessCursor*>(cursor);
}

void SetCursor(void* cursor) {
    std::lock_guard<std::mutex> lock(gState.mutex);
    gState.record.cursor = static_cast<const qzHeadlessCursor*>(cursor);
    gState.record.cursorChanges++;
}

void WarpPointer(qzHostWindow* window, int32_t x, int32_t y) {
    std::lock_guard<std::mutex> lock(gState.mutex);
    gState.record.warps++;
    gState.record.warpX = x;
    gState.record.warpY = y;
    // The window system reports the move like any other.
    qzHostEvent event;
    event.kind = QZ_HEV_MOUSE_MOVE;
    event.window = window->id;
    event.x = x;
    event.y = y;
    gState.queue.push_back(event);
    gState.cond.notify_all();
}

void AllowScreenSaver(int allowed) {
    std::lock_guard<std::mutex> lock(gState.mutex);
    gState.record.screenSaverAllowed = allowed;
}

void SetTitle(qzHostWindow*) {
    // The window record holds the title.
}

void SetBounds(qzHostWindow* window, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (window->settings.fullScreen) return;
    window->x = x;
    window->y = y;
    window->width = width;
    window->height = height;
}

void Minimize(qzHostWindow* window, int minimize) {
    std::lock_guard<std::mutex> lock(gState.mutex);
    if (minimize) {
        QueueWindowEvent(window->id, QZ_HWIN_MINIMIZED);
    } else {
        // Shown again by the program, the window must be drawn again, as a window system reports
        // it.
        QueueWindowEvent(window->id, QZ_HWIN_RESTORED);
        QueueWindowEvent(window->id, QZ_HWIN_EXPOSED);
    }
}

void Activate(qzHostWindow* window) {
    std::lock_guard<std::mutex> lock(gState.mutex);
    Focus(window->id);
}

void Present(qzHostWindow*, const qzFrameRect& dirty) {
    // The framebuffer is what the user would see; presenting only counts.
    std::lock_guard<std::mutex> lock(gState.mutex);
    gState.record.presents++;
    gState.record.lastPresent = dirty;
}

void MousePosition(qzHostWindow* window, int32_t* x, int32_t* y) {
    *x = window->mouseX;
    *y = window->mouseY;
}

void BorderSizes(uint32_t flags, int32_t borders[4]) {
    borders[0] = borders[2] = borders[3] = 0;
    borders[1] = (flags & QZ_DISPLAYFLAG_BORDERLESS) ? 0 : kTitleBarHeight;
}

int32_t MonitorCount() { return int32_t(Monitors().size()); }

int MonitorBounds(int32_t index, qzHostMonitor* out) {
    if (index < 0 || size_t(index) >= Monitors().size()) return ERR_GETMONITORINFO;
    std::lock_guard<std::mutex> lock(gState.mutex);
    const VirtualMonitor& m = Monitors()[size_t(index)];
    *out = {m.x, m.y, gState.monitorModes[size_t(index)].width, gState.monitorModes[size_t(index)].height};
    return 0;
}

void MonitorModes(int32_t index, std::vector<qzHostMode>* out) {
    out->clear();
    if (index >= 0 && size_t(index) < Monitors().size()) *out = Monitors()[size_t(index)].modes;
}

int SetMonitorMode(int32_t index, const qzHostMode& mode) {
    if (index < 0 || size_t(index) >= Monitors().size()) return ERR_SCREEN;
    std::lock_guard<std::mutex> lock(gState.mutex);
    gState.monitorModes[size_t(index)] = mode;
    gState.record.modeSwitches++;
    return 0;
}

int SetFade(double) {
    // Nothing is on a screen to fade.
    return 0;
}

// The desktop as the user would see it: black, and every window that is not minimised, bottom
// to top, each shaped window blended by its shape.
int GrabScreen(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t* out) {
    std::fill(out, out + size_t(width) * size_t(height), QZ_FRAME_BLACK);
    std::vector<uint32_t> order;
    {
        std::lock_guard<std::mutex> lock(gState.mutex);
        for (const HeadlessWindow& w : gState.windows) order.push_back(w.id);
    }
    for (uint32_t id : order) {
        const qzHostWindow* window = HostFindWindow(id);
        if (!window || window->windowState == 2) continue;
        const qzHostFrame& frame = window->frame;
        int64_t left = std::max<int64_t>(x, window->x), top = std::max<int64_t>(y, window->y);
        int64_t right = std::min<int64_t>(int64_t(x) + width, int64_t(window->x) + frame.width);
        int64_t bottom = std::min<int64_t>(int64_t(y) + height, int64_t(window->y) + frame.height);
        for (int64_t py = top; py < bottom; py++) {
            for (int64_t px = left; px < right; px++) {
                size_t at = size_t((py - window->y) * frame.width + (px - window->x));
                uint32_t& to = out[size_t((py - y) * width + (px - x))];
                uint32_t a = frame.shape.empty() ? 255 : frame.shape[at];
                uint32_t from = frame.pixels[at];
                if (a == 255) {
                    to = from;
                } else if (a) {
                    uint32_t blended = QZ_FRAME_BLACK;
                    for (int shift = 0; shift < 24; shift += 8) {
                        uint32_t f = (from >> shift) & 0xFF, b = (to >> shift) & 0xFF;
                        blended |= ((f * a + b * (255 - a) + 127) / 255) << shift;
                    }
                    to = blended;
                }
            }
        }
    }
    return 0;
}

const qzHostDriver kDriver = {
    .name = "headless",
    .init = Init,
    .shutdown = Shutdown,
    .pendingEvents = PendingEvents,
    .pollEvent = PollEvent,
    .waitEvents = WaitEvents,
    .pushWake = PushWake,
    .modifiers = Modifiers,
    .openWindow = OpenWindow,
    .closeWindow = CloseWindow,
    .readBounds = ReadBounds,
    .settingsChanged = SettingsChanged,
    .beginMoveResize = BeginMoveResize,
    .createCursor = CreateCursor,
    .createSystemCursor = CreateSystemCursor,
    .freeCursor = FreeCursor,
    .setCursor = SetCursor,
    .warpPointer = WarpPointer,
    .allowScreenSaver = AllowScreenSaver,
    .setTitle = SetTitle,
    .setBounds = SetBounds,
    .minimize = Minimize,
    .activate = Activate,
    .present = Present,
    .mousePosition = MousePosition,
    .borderSizes = BorderSizes,
    .monitorCount = MonitorCount,
    .monitorBounds = MonitorBounds,
    .monitorModes = MonitorModes,
    .setMonitorMode = SetMonitorMode,
    .setFade = SetFade,
    .grabScreen = GrabScreen,
    .openAudio = HeadlessOpenAudio,
    .closeAudio = HeadlessCloseAudio,
    .menuBarChanged = MenuBarChanged,
    .dialog = HeadlessDialog,
    .clipboardRead = HeadlessClipboardRead,
    .clipboardWrite = HeadlessClipboardWrite,
};

}  // namespace

const qzHostDriver* HeadlessHostDriver() { return &kDriver; }

void HeadlessInjectEvent(const qzHostEvent& event) {
    std::lock_guard<std::mutex> lock(gState.mutex);
    gState.queue.push_back(event);
    gState.cond.notify_all();
}

void HeadlessSetInputScript(const std::vector<qzScriptedEvent>& events) {
    std::lock_guard<std::mutex> lock(gState.mutex);
    gState.script = events;
    gState.nextScripted = 0;
    gState.scriptStart = OsMonotonicMicros();
    gState.cond.notify_all();
}

qzHeadlessRecord HeadlessRecord() {
    std::lock_guard<std::mutex> lock(gState.mutex);
    return gState.record;
}
