#include "platform/host/headless/headless.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <new>

#include "base/error_codes.h"
#include "platform/os_time.h"
#include "platform/os_wait.h"

namespace {

// The virtual desktop new windows are centred on.
constexpr int32_t kDesktopWidth = 1920;
constexpr int32_t kDesktopHeight = 1080;

struct HeadlessWindow {
    uint32_t id;
    int32_t scriptId;
};

struct State {
    std::mutex mutex;
    std::condition_variable cond;
    std::deque<qzHostEvent> queue;
    std::vector<qzScriptedEvent> script;
    size_t nextScripted = 0;
    uint64_t scriptStart = 0;
    std::vector<HeadlessWindow> windows;
    uint32_t nextWindowId = 1;
    uint32_t focusId = 0;
    uint32_t modifiers = 0;
    qzHeadlessRecord record = {};
};
State gState;

void ResetRecord()
{
    gState.record = {};
    gState.record.screenSaverAllowed = 1;
}

// Moves the script's due events into the queue. The state's mutex is held.
void TakeDueScripted()
{
    if (gState.nextScripted >= gState.script.size())
        return;
    uint64_t now = OsMonotonicMicros();
    while (gState.nextScripted < gState.script.size()) {
        const qzScriptedEvent& s = gState.script[gState.nextScripted];
        if (gState.scriptStart + s.atMicros > now)
            break;
        gState.nextScripted++;
        qzHostEvent event = s.event;
        if (s.display) {
            // The window of that display; the event is dropped while it has none.
            event.window = 0;
            for (const HeadlessWindow& w : gState.windows) {
                if (w.scriptId == s.display)
                    event.window = w.id;
            }
            if (!event.window)
                continue;
        }
        gState.queue.push_back(std::move(event));
    }
}

// Monotonic time of the next scripted event, or UINT64_MAX.
uint64_t NextScriptedTime()
{
    if (gState.nextScripted >= gState.script.size())
        return UINT64_MAX;
    return gState.scriptStart + gState.script[gState.nextScripted].atMicros;
}

int Init(std::string* message)
{
    std::vector<qzScriptedEvent> script;
    const char* path = std::getenv("QUARNELIX_INPUT");
    if (path && *path && !LoadInputScript(path, &script, message))
        return ERR_ERRORCALLED;
    int error = HeadlessAudioInit(message);
    if (error)
        return error;
    std::lock_guard<std::mutex> lock(gState.mutex);
    gState.queue.clear();
    gState.script = std::move(script);
    gState.nextScripted = 0;
    gState.scriptStart = OsMonotonicMicros();
    gState.windows.clear();
    gState.focusId = 0;
    gState.modifiers = 0;
    ResetRecord();
    return 0;
}

void Shutdown()
{
    HeadlessAudioShutdown();
    std::lock_guard<std::mutex> lock(gState.mutex);
    gState.queue.clear();
    gState.script.clear();
    gState.nextScripted = 0;
    gState.windows.clear();
    ResetRecord();
}

int PendingEvents()
{
    std::lock_guard<std::mutex> lock(gState.mutex);
    TakeDueScripted();
    return static_cast<int>(gState.queue.size());
}

int PollEvent(qzHostEvent* event)
{
    std::lock_guard<std::mutex> lock(gState.mutex);
    TakeDueScripted();
    if (gState.queue.empty())
        return 0;
    *event = std::move(gState.queue.front());
    gState.queue.pop_front();
    if (event->kind == QZ_HEV_KEY || event->kind == QZ_HEV_MOUSE_BUTTON)
        gState.modifiers = event->modifiers;
    if (event->kind == QZ_HEV_WINDOW && event->sub == QZ_HWIN_FOCUS_GAINED)
        gState.focusId = event->window;
    return 1;
}

void WaitEvents(int32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(gState.mutex);
    uint64_t limit = timeoutMs < 0 ? UINT64_MAX : OsMonotonicMicros() + uint64_t(timeoutMs) * 1000u;
    for (;;) {
        TakeDueScripted();
        if (!gState.queue.empty())
            return;
        uint64_t now = OsMonotonicMicros();
        if (now >= limit)
            return;
        OsWaitUntil(gState.cond, lock, std::min(limit, NextScriptedTime()));
    }
}

void PushWake()
{
    qzHostEvent wake;
    wake.kind = QZ_HEV_WAKE;
    HeadlessInjectEvent(wake);
}

uint32_t Modifiers()
{
    std::lock_guard<std::mutex> lock(gState.mutex);
    return gState.modifiers;
}

int OpenWindow(qzHostWindow* window, const qzHostWindowSpec* spec)
{
    if (spec->width <= 0 || spec->height <= 0)
        return ERR_SCREEN;
    std::lock_guard<std::mutex> lock(gState.mutex);
    window->id = gState.nextWindowId++;
    window->width = spec->width;
    window->height = spec->height;
    window->x = spec->centered ? (kDesktopWidth - spec->width) / 2 : spec->x;
    window->y = spec->centered ? (kDesktopHeight - spec->height) / 2 : spec->y;
    gState.windows.push_back({window->id, spec->scriptId});
    if (!(spec->settings.flags & QZ_DISPLAYFLAG_HIDDEN)) {
        // A window that opens takes the focus, as on a desktop.
        qzHostEvent event;
        event.kind = QZ_HEV_WINDOW;
        if (gState.focusId) {
            event.window = gState.focusId;
            event.sub = QZ_HWIN_FOCUS_LOST;
            gState.queue.push_back(event);
        }
        event.window = window->id;
        event.sub = QZ_HWIN_FOCUS_GAINED;
        gState.queue.push_back(event);
        gState.cond.notify_all();
    }
    return 0;
}

void CloseWindow(qzHostWindow* window)
{
    std::lock_guard<std::mutex> lock(gState.mutex);
    for (size_t i = 0; i < gState.windows.size(); i++) {
        if (gState.windows[i].id == window->id) {
            gState.windows.erase(gState.windows.begin() + static_cast<long>(i));
            break;
        }
    }
    if (gState.focusId == window->id)
        gState.focusId = 0;
}

void ReadBounds(qzHostWindow*)
{
    // The window record is the headless window: nothing to read back.
}

void SettingsChanged(qzHostWindow*)
{
}

void BeginMoveResize(qzHostWindow*, int resize)
{
    std::lock_guard<std::mutex> lock(gState.mutex);
    if (resize)
        gState.record.resizeRequests++;
    else
        gState.record.moveRequests++;
}

void* CreateCursor(const uint32_t* argb, int32_t width, int32_t height, int32_t hotX, int32_t hotY,
                   int* error)
{
    *error = 0;
    qzHeadlessCursor* cursor = new (std::nothrow) qzHeadlessCursor();
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
    return cursor;
}

void* CreateSystemCursor(int32_t kind)
{
    qzHeadlessCursor* cursor = new (std::nothrow) qzHeadlessCursor();
    if (cursor)
        cursor->system = kind;
    return cursor;
}

void FreeCursor(void* cursor)
{
    std::lock_guard<std::mutex> lock(gState.mutex);
    if (gState.record.cursor == cursor)
        gState.record.cursor = nullptr;
    delete static_cast<qzHeadlessCursor*>(cursor);
}

void SetCursor(void* cursor)
{
    std::lock_guard<std::mutex> lock(gState.mutex);
    gState.record.cursor = static_cast<const qzHeadlessCursor*>(cursor);
    gState.record.cursorChanges++;
}

void WarpPointer(qzHostWindow* window, int32_t x, int32_t y)
{
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

void AllowScreenSaver(int allowed)
{
    std::lock_guard<std::mutex> lock(gState.mutex);
    gState.record.screenSaverAllowed = allowed;
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
    .openAudio = HeadlessOpenAudio,
    .closeAudio = HeadlessCloseAudio,
};

} // namespace

const qzHostDriver* HeadlessHostDriver()
{
    return &kDriver;
}

void HeadlessInjectEvent(const qzHostEvent& event)
{
    std::lock_guard<std::mutex> lock(gState.mutex);
    gState.queue.push_back(event);
    gState.cond.notify_all();
}

void HeadlessSetInputScript(const std::vector<qzScriptedEvent>& events)
{
    std::lock_guard<std::mutex> lock(gState.mutex);
    gState.script = events;
    gState.nextScripted = 0;
    gState.scriptStart = OsMonotonicMicros();
    gState.cond.notify_all();
}

qzHeadlessRecord HeadlessRecord()
{
    std::lock_guard<std::mutex> lock(gState.mutex);
    return gState.record;
}
