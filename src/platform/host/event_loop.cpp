#include "platform/host/event_loop.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <vector>

#include "base/error_codes.h"
#include "platform/host/backend_window.h"
#include "platform/host/host.h"
#include "platform/host/joystick.h"
#include "platform/host/pointer.h"
#include "platform/host/window_events.h"
#include "platform/movie_player.h"
#include "platform/os_time.h"
#include "platform/os_timer.h"

namespace {

// A pass with nothing queued within this time of the last one only presents repaints.
constexpr uint64_t kSkipMicros = 10000;
constexpr uint64_t kHousekeepingMicros = 1000000;

std::atomic<int> gOwnQuitFlag{0};

int DefaultPost(qzDisplay*, int32_t, int32_t, int32_t, int32_t, void*) { return 0; }
void DefaultSetQuit(int quit) { gOwnQuitFlag.store(quit ? 1 : 0); }
int DefaultQuitFlag() { return gOwnQuitFlag.load(); }
void DefaultFlush(VmState*) {}
void DefaultRefresh(VmState*, qzDisplay*) {}
int DefaultUnobstructed(qzDisplay*) { return 1; }
int DefaultReopen(VmState*, qzDisplay*, int32_t, int32_t, int32_t) { return 0; }
int DefaultResize(VmState*, qzDisplay*, int32_t, int32_t) { return 0; }
void DefaultMenu(qzDisplay*, const std::string&, int32_t) {}
void DefaultAudio() {}
int DefaultAdapterWake() { return 0; }

const qzHostHooks kDefaultHooks = {DefaultPost,    DefaultSetQuit,      DefaultQuitFlag, DefaultFlush,
                                   DefaultRefresh, DefaultUnobstructed, DefaultReopen,   DefaultResize,
                                   DefaultMenu,    DefaultAudio,        DefaultAudio,    DefaultAdapterWake};
qzHostHooks gHooks = kDefaultHooks;
// The two hooks other threads call, readable without a lock.
std::atomic<void (*)(int)> gAsyncSetQuit{DefaultSetQuit};
std::atomic<int (*)()> gAsyncAdapterWake{DefaultAdapterWake};

// Quit options: Ctrl-C on, left mouse and Escape off.
int gQuitCtrlC = 1;
int gQuitLeftMouse = 0;
int gQuitEscape = 0;

uint64_t gLastPass = 0;
uint64_t gLastHousekeeping = 0;
std::atomic<bool> gWakePending{false};
std::atomic<uint32_t> gActivityReports{0};

// SIGINT and SIGTERM: the handler writes a byte into a pipe; a watcher thread reads it, sets the
// quit flag and wakes the main thread.
int gSignalPipe[2] = {-1, -1};
std::atomic<int> gSignalled{0};
pthread_t gWatcher;
bool gWatcherRunning = false;
struct SavedAction {
    int signal;
    bool installed;
    struct sigaction old;
};
SavedAction gSaved[2] = {{SIGINT, false, {}}, {SIGTERM, false, {}}};

void OnQuitSignal(int) {
    int saved = errno;
    char byte = 1;
    ssize_t written = write(gSignalPipe[1], &byte, 1);
    (void)written;
    errno = saved;
}

void* SignalWatcher(void*) {
    for (;;) {
        char byte = 0;
        ssize_t n = read(gSignalPipe[0], &byte, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || byte != 1) break;
        gSignalled.store(1);
        gAsyncSetQuit.load()(1);
        MacForceEventLoopIteration();
    }
    return nullptr;
}

int StartSignalWatcher() {
    if (gWatcherRunning) return 0;
    if (pipe2(gSignalPipe, O_CLOEXEC) != 0) return ERR_THREAD;
    fcntl(gSignalPipe[1], F_SETFL, O_NONBLOCK);
    if (pthread_create(&gWatcher, nullptr, SignalWatcher, nullptr) != 0) {
        close(gSignalPipe[0]);
        close(gSignalPipe[1]);
        gSignalPipe[0] = gSignalPipe[1] = -1;
        return ERR_THREAD;
    }
    gWatcherRunning = true;
    for (SavedAction& s : gSaved) {
        struct sigaction old;
        if (sigaction(s.signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
            continue;  // a signal the process was started to ignore stays ignored
        struct sigaction action = {};
        action.sa_handler = OnQuitSignal;
        sigemptyset(&action.sa_mask);
        // The first signal asks for a clean quit; a second one ends the process.
        action.sa_flags = SA_RESETHAND | SA_RESTART;
        s.installed = sigaction(s.signal, &action, &s.old) == 0;
    }
    return 0;
}

void StopSignalWatcher() {
    for (SavedAction& s : gSaved) {
        if (s.installed) sigaction(s.signal, &s.old, nullptr);
        s.installed = false;
    }
    if (!gWatcherRunning) return;
    char stop = 0;
    ssize_t written = write(gSignalPipe[1], &stop, 1);
    (void)written;
    pthread_join(gWatcher, nullptr);
    gWatcherRunning = false;
    close(gSignalPipe[0]);
    close(gSignalPipe[1]);
    gSignalPipe[0] = gSignalPipe[1] = -1;
}

// Serves the window's deferred requests. Returns 0, or an error of a display change.
int ServeWindow(VmState* state, uint32_t id, bool* quit) {
    qzHostWindow* window = HostFindWindow(id);
    if (!window) return 0;
    if (window->leftButton && gQuitLeftMouse) *quit = true;
    if (window->escape && gQuitEscape) *quit = true;
    if (window->ctrlC && gQuitCtrlC) *quit = true;
    if (window->pendingToggle != -1) {
        // Cleared first, so that a failing toggle is not tried again on every pass.
        int32_t mode = window->pendingToggle == 0 ? 1 : 2;
        window->pendingToggle = -1;
        int error = gHooks.reopenDisplay(state, window->display, mode, window->width, window->height);
        if (error) return error;
        // Reopening may have replaced the window.
        window = HostFindWindow(id);
        if (!window) return 0;
    }
    if (window->sizeChanged) {
        window->sizeChanged = 0;
        int error = gHooks.resizeDisplay(state, window->display, window->width, window->height);
        if (error) return error;
        window = HostFindWindow(id);
        if (!window) return 0;
    }
    if (window->closeRequest && !window->settings.closeHandlerInstalled) *quit = true;
    window->closeRequest = 0;
    window->sizeChanged = 0;
    window->ctrlC = 0;
    window->escape = 0;
    return 0;
}

}  // namespace

void SetHostHooks(const qzHostHooks* hooks) {
    gHooks = kDefaultHooks;
    if (hooks) {
#define QZ_TAKE(member) \
    if (hooks->member) gHooks.member = hooks->member;
        QZ_TAKE(postEvent)
        QZ_TAKE(setQuitFlag)
        QZ_TAKE(quitFlag)
        QZ_TAKE(flushPendingRepaints)
        QZ_TAKE(refreshDisplay)
        QZ_TAKE(displayUnobstructed)
        QZ_TAKE(reopenDisplay)
        QZ_TAKE(resizeDisplay)
        QZ_TAKE(menuSelected)
        QZ_TAKE(postAudioEvents)
        QZ_TAKE(soundHousekeeping)
        QZ_TAKE(adapterWake)
#undef QZ_TAKE
    }
    gAsyncSetQuit.store(gHooks.setQuitFlag);
    gAsyncAdapterWake.store(gHooks.adapterWake);
    // A signal that came before the hooks reaches the new quit flag too.
    if (gSignalled.load()) gHooks.setQuitFlag(1);
}

const qzHostHooks& HostHooks() { return gHooks; }

int MacInitPlatform(std::string* message) {
    int error = HostStartDriver(message);
    if (error) return error;
    error = OsInitTimerLock();
    if (!error) error = StartSignalWatcher();
    if (error) {
        HostStopDriver();
        return error;
    }
    gLastPass = gLastHousekeeping = OsMonotonicMicros();
    return 0;
}

int MacInitApplication() {
    gLastPass = OsMonotonicMicros();
    return InitPointers();
}

void MacShutdownPlatform() {
    OsCleanupTimers();
    ResetWindowSide();
    FreePointers();
    MacFreeJoysticks();
    StopSignalWatcher();
    HostStopDriver();
    gSignalled.store(0);
    gOwnQuitFlag.store(0);
    gWakePending.store(false);
    gQuitCtrlC = 1;
    gQuitLeftMouse = 0;
    gQuitEscape = 0;
}

int MacHandleEvents(VmState* state, int* error) {
    *error = 0;
    RunDueMovieTimer();
    const qzHostDriver* driver = HostDriver();
    uint64_t now = OsMonotonicMicros();
    if ((!driver || driver->pendingEvents() == 0) && now - gLastPass < kSkipMicros) {
        gHooks.flushPendingRepaints(state);
        // The quit flag, once set, answers every pass.
        return gHooks.quitFlag() ? 1 : 0;
    }

    gHooks.flushPendingRepaints(state);
    if (driver) {
        // Cleared before the event is taken: a wake-up posted from now on queues a new event,
        // so none is lost between taking this one and the next wait.
        gWakePending.store(false);
        qzHostEvent event;
        if (driver->pollEvent(&event)) HandleHostEvent(state, event);
    }

    std::vector<uint32_t> ids;
    for (qzHostWindow* w = HostFirstWindow(); w; w = w->next) ids.push_back(w->id);
    bool quit = false;
    for (uint32_t id : ids) {
        int failed = ServeWindow(state, id, &quit);
        if (failed) {
            *error = failed;
            return 1;
        }
    }
    // Input that could not be queued is not dropped silently: the waiting command fails.
    if (TakeEventLostToMemory()) {
        *error = ERR_MEM;
        return 1;
    }
    if (quit || gSignalled.load()) gHooks.setQuitFlag(1);
    int result = gHooks.quitFlag() ? 1 : 0;

    gHooks.postAudioEvents();
    HostPresentWindows();
    uint64_t after = OsMonotonicMicros();
    if (after - gLastHousekeeping >= kHousekeepingMicros) {
        gHooks.soundHousekeeping();
        gLastHousekeeping = after;
    }
    gLastPass = after;
    return result;
}

int MacWaitEvents() {
    // What was drawn shows before the wait, however short the last pass was.
    HostPresentWindows();
    const qzHostDriver* driver = HostDriver();
    if (driver)
        driver->waitEvents(-1);
    else
        OsDelay(1);
    return 0;
}

void MacForceEventLoopIteration() {
    if (gAsyncAdapterWake.load()()) return;
    if (gWakePending.exchange(true)) return;
    const qzHostDriver* driver = HostDriver();
    if (driver)
        driver->pushWake();
    else
        gWakePending.store(false);
}

void MacSetQuitOption(qzDisplay*, int option, int value) {
    switch (option) {
    case QZ_QUIT_CTRLC: gQuitCtrlC = value; break;
    case QZ_QUIT_LEFTMOUSE: gQuitLeftMouse = value; break;
    case QZ_QUIT_ESCAPE: gQuitEscape = value; break;
    default: break;
    }
}

int GetQuitOption(int option) {
    switch (option) {
    case QZ_QUIT_CTRLC: return gQuitCtrlC;
    case QZ_QUIT_LEFTMOUSE: return gQuitLeftMouse;
    case QZ_QUIT_ESCAPE: return gQuitEscape;
    default: return 0;
    }
}

uint32_t MacGetQualifiers() {
    const qzHostDriver* driver = HostDriver();
    return QualifiersFromModifiers(driver ? driver->modifiers() : 0);
}

bool QuitSignalled() { return gSignalled.load() != 0; }

void SetKeepAwake(int keepAwake) {
    OsSetTimerKeepAwake(keepAwake);
    if (const qzHostDriver* driver = HostDriver()) driver->allowScreenSaver(keepAwake ? 0 : 1);
}

void ReportUserActivity() {
    // The driver holds the screen saver off for as long as keep-awake is set; the report only
    // counts, so that it stays safe on the timer thread.
    gActivityReports.fetch_add(1);
}

uint32_t UserActivityReports() { return gActivityReports.load(); }
