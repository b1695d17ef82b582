// The event queue: input and system events on their way to the script.
//
// Producers on any thread post events; the main thread peeks, takes, drops and expires them.
// The queue is a singly linked list in arrival order guarded by one recursive mutex, with a
// lifetime after which unhandled events are discarded.
#pragma once

#include <cstdint>

#include "base/event_types.h"
#include "platform/os_lock.h"
#include "platform/os_time.h"

struct qzDisplay;
struct VmState;

struct qzEvent {
    qzEvent* next;
    int32_t type;  // 0..27 built in, 28 and up plugin types; 0 also marks a superseded event
    int32_t param1;
    int32_t param2;
    int32_t param3;
    qzTimeVal timestamp;  // monotonic time of posting
    qzDisplay* display;   // the display the event belongs to, or null
    void* userdata;       // extra data owned by the event
};

// What PeekQueuedEvent hands out. Parameters by type: 1, 2 and 16: params[0..2]; 3: params[0],
// with param2 and param3 in extra1 and extra2; 14 and 22: params[0..1]; 26: params[2] only;
// other types: none. Unused fields are 0.
struct qzPeekedEvent {
    qzDisplay* display;
    int32_t type;
    void* userdata;
    int32_t params[3];
    int32_t extra1;
    int32_t extra2;
};

// Services of the display and event code that the queue calls. Null members use the defaults.
struct qzEventQueueHooks {
    // 1 when either of the display's two scaling words is set (its size events are refused).
    // Default: never.
    int (*displayBlocksSizeEvents)(qzDisplay* display);
    // Releases the extra data of a dropped event. Default: frees the block of a built-in type.
    void (*freeEventData)(VmState* state, int type, void* userdata);
};

// Installs the hooks (copied); null restores the defaults.
void SetEventQueueHooks(const qzEventQueueHooks* hooks);
// A copy of the hooks installed (null members where none).
qzEventQueueHooks GetEventQueueHooks();

// Creates the queue mutex (once) and enables the queue. 0, or ERR_SEMAPHORE without memory.
int InitEventQueue();
// Drains the queue under its mutex (releasing each event's data) and disables it; later posts
// return 0. The mutex stays so that late posts from other threads stay safe.
void FreeEventQueue(VmState* state);
// The queue mutex (recursive), or null before InitEventQueue.
qzMutex* GetEventQueueMutex();

// Posts an event from any thread. Returns 1 when queued, 0 when the queue is off or a size event
// is refused, -1 when out of memory. Unless 1 is returned the caller still owns `userdata`.
int PushEventToQueue(qzDisplay* display, int32_t type, int32_t param1, int32_t param2, int32_t param3, void* userdata);

// Copies the index-th event (from 0). With `take` set the queued event's userdata is cleared, so
// ownership passes to the caller. Returns index + 1, or 0 when there is no such event. The caller
// holds the queue mutex.
int PeekQueuedEvent(VmState* state, int index, qzPeekedEvent* out, int take);

// Drops all events for count -1 or -2, else the first count + 1 events, releasing their data.
// With `lock` set the queue mutex is taken around the operation, else the caller holds it.
void DropQueuedEvents(VmState* state, int count, int lock);

// Drops the leading run of events older than the lifetime.
void ExpireQueuedEvents(VmState* state);

// Detaches every queued event from a display that closes.
void ForgetDisplayEvents(qzDisplay* display);

// The event lifetime in milliseconds (60000 at start).
void SetEventLifetime(int32_t ms);
int32_t GetEventLifetime();
