// The event pump and the core of CheckEvent and WaitEvent.
//
// The pump keeps the platform side flowing while a script runs: between script lines (the line
// hook), inside waits and long operations. It never runs script code. Script handlers run only
// inside CheckEventsCore (CheckEvent, WaitEvent), which lets the event-source machine dispatch
// one pending event. Posting services for the platform side and plugins are here too.
#pragma once

#include <cstdint>

struct VmState;
struct qzDisplay;

// Pump flags: 1 runs the plugin hooks and the periodic expiry of old queued events; 2, 4 and 8
// are handed to a display adapter's HandleEvents (2 waits, 4 CheckEvent, 8 WaitEvent).
enum { QZ_PUMP_HOOKS = 1, QZ_PUMP_WAIT = 2, QZ_PUMP_CHECKEVENT = 4, QZ_PUMP_WAITEVENT = 8 };

// One pass: non-zero when the caller must stop (quit, or an error in *error; 0 for a quit).
int PumpEvents(VmState* state, int flags, int* error);
// Blocks until an event (or the wake-up) is queued: the display adapter's WaitEvents, else the
// built-in back end's. 0.
int WaitForEvents(VmState* state, int flags);

// The core of CheckEvent (wait 0) and WaitEvent (wait 1): runs the event-source machine until
// it dispatches one event (waiting for one with wait set). Unless noTable is set, pushes the
// result table: the very table the handler received, with "results" (indexed from 0, only when
// there were results), "action", "id", "nresults" and "triggered"; returns 1. With noTable
// returns 0 and sets *nothing (optional) to 1 when nothing was dispatched. Inside a callback
// ERR_WRONGUSAGE; -1 for a label jump; a handler's error or ERR_USERABORT as they come.
int CheckEventsCore(VmState* state, int wait, int noTable, int* nothing);

// Expiry of old queued events at most every 10 s: the period starts now.
void StampEventExpiry();

// Quit: sets the runtime's quit flag and posts a quit event (23) without display.
void RequestQuit();
// Posts a menu selection (26) for the display with a copy of the item's id ("" for none).
// 0, or ERR_ADDSYSEVENT.
int PostMenuSelectEvent(qzDisplay* display, const char* item, int32_t selected);

// Events from a display-adapter plugin or a plugin type: the built-in codes 0 to 9 are
// translated (windows mapped to their displays), types 28 and up posted unchanged without a
// display. 0, ERR_FINDDISPLAY for an unknown window, ERR_ADDSYSEVENT when posting fails.
int TranslateAdapterEvent(VmState* state, int type, void* data);

// The records a display adapter hands to TranslateAdapterEvent (the first word is its window).
struct qzAdapterCallEvent {  // code 1
    void* window;
    int (*function)(void* argument);
    void* argument;
};
struct qzAdapterMouseEvent {  // code 3
    void* window;
    int32_t x, y;
    int32_t button;  // 1 left, 2 right, 3 middle, anything else a move
    int32_t pressed;
};
struct qzAdapterKeyEvent {  // code 4
    void* window;
    int32_t code;
    int32_t pressed;
    uint32_t qualifiers;
};
struct qzAdapterSizeEvent {  // codes 6 (width, height) and 7 (x, y)
    void* window;
    int32_t a, b;
};
struct qzAdapterFlagEvent {  // codes 8 (shown) and 9 (active)
    void* window;
    int32_t value;
};
