// The platform event loop: start-up and shutdown of the platform, the two event-loop operations
// of the built-in display back end (MacHandleEvents, MacWaitEvents), the quit keys, and the
// wake-up by which any thread makes a blocked main thread return.
//
// Input arrives from the host driver (host.h) as qzHostEvent records; MacHandleEvents takes one
// per pass, turns it into engine events for the window it belongs to (window_events.cpp) and then
// serves each window's deferred requests: quit keys, the full-screen toggle, size changes and
// close requests. Engine events and everything else above the platform are reached through the
// qzHostHooks seam, which the player installs.
#pragma once

#include <cstdint>
#include <string>

struct VmState;
struct qzDisplay;
struct qzHostEvent;
struct qzHostWindow;

// What the event loop needs of the layers above it. Null members use the defaults given.
struct qzHostHooks {
    // Posts an engine event to the event queue: 1 queued, 0 refused, -1 out of memory; unless 1
    // is returned the caller keeps `userdata`. Default: nothing is posted (0).
    int (*postEvent)(qzDisplay* display, int32_t type, int32_t p1, int32_t p2, int32_t p3, void* userdata);
    // The player's quit flag. setQuitFlag may be called from any thread. Default: a flag of the
    // event loop's own.
    void (*setQuitFlag)(int quit);
    int (*quitFlag)();
    // Presents the repaints that windows asked for. Default: nothing.
    void (*flushPendingRepaints)(VmState* state);
    // Draws the display's content again (the window system lost it). Default: nothing.
    void (*refreshDisplay)(VmState* state, qzDisplay* display);
    // 1 when the display may switch to full screen now. Default: 1.
    int (*displayUnobstructed)(qzDisplay* display);
    // Reopens the display in the requested mode (1 windowed, 2 full screen) and size: 0 or an
    // error code. Default: 0.
    int (*reopenDisplay)(VmState* state, qzDisplay* display, int32_t mode, int32_t width, int32_t height);
    // Resizes the display to the window's new content size: 0 or an error code. Default: 0.
    int (*resizeDisplay)(VmState* state, qzDisplay* display, int32_t width, int32_t height);
    // A menu entry was chosen: its id (empty when it has none) and, for a toggle entry, whether
    // it is checked now (else 0). Default: nothing.
    void (*menuSelected)(qzDisplay* display, const std::string& id, int32_t selected);
    // Posts the end events the audio side has pending (every pass), and frees finished sound
    // channels (at most once a second). Default: nothing.
    void (*postAudioEvents)();
    void (*soundHousekeeping)();
    // A display-adapter plugin's own wake-up: 1 when it took the call. Any thread. Default: 0.
    int (*adapterWake)();
};

// Installs the hooks (copied); null restores the defaults.
void SetHostHooks(const qzHostHooks* hooks);
const qzHostHooks& HostHooks();

// Quit options.
enum { QZ_QUIT_CTRLC = 8, QZ_QUIT_LEFTMOUSE = 9, QZ_QUIT_ESCAPE = 10 };

// Platform start-up, once, before anything else of the platform: starts the host driver, reads
// the headless input script, creates the timer-list lock, watches SIGINT and SIGTERM and stamps
// the event-loop clocks. 0 or an error code; a message for the user in *message (also with 0,
// when the headless driver runs in place of an unreachable window system).
int MacInitPlatform(std::string* message);
// The platform half of shutdown, last: stops the timer service, releases the cursors, stops
// watching signals and stops the driver (closing any window left open).
void MacShutdownPlatform();

// One pass of the event loop. Returns 1 when the program must quit, also from an earlier pass;
// on an error of a deferred display change, or ERR_MEM when an event could not be queued for
// want of memory, *error is the code and the result is 1. Else 0.
int MacHandleEvents(VmState* state, int* error);
// Blocks until an event is queued (the wake-up included). 0.
int MacWaitEvents();
// Wakes the main thread out of MacWaitEvents. Any thread may call it; posts while a wake-up is
// still queued add nothing.
void MacForceEventLoopIteration();

void MacSetQuitOption(qzDisplay* display, int option, int value);
int GetQuitOption(int option);
// The qualifier word of the modifier keys held now.
uint32_t MacGetQualifiers();

// Copies the window's position and size from the window system into the window record.
void MacReadWindowBounds(qzHostWindow* window);

// True once the process was asked to end by SIGINT or SIGTERM. A second signal ends the
// process at once, for a program that does not get to its next event pass.
bool QuitSignalled();

// The screen saver: held off while keepAwake is non-zero (a window asked for it); the timer
// thread's keep-alive reports activity while it is (ReportUserActivity, any thread).
void SetKeepAwake(int keepAwake);
void ReportUserActivity();
// How many times activity was reported.
uint32_t UserActivityReports();

// Sets up the window side of the application when the display system starts: the busy and the
// invisible pointer, and the event-pass clock. 0, or ERR_MEM when a pointer could not be made.
int MacInitApplication();
