// The timer thread and the script timers that run on it.
//
// Script intervals and timeouts run on qzOsTimer records. Each record owns one timer of the
// timer thread's deadline list (on the monotonic clock). When a timer fires, the timer thread
// only marks the record and wakes the main thread; the main thread's event dispatcher collects
// fired records with OsNextFiredTimer. The thread also carries a 30-second keep-alive timer and
// the one-shot timer of OsWaitPumpingEvents.
//
// Lock order: the timer-list lock, then the deadline list's own lock. Timers are released only
// under the timer-list lock, and callouts run under it, so a callout never sees a freed timer.
#pragma once

#include <cstdint>

#include "base/object_id.h"

struct VmState;
struct qzLoopTimer;

// Kinds of qzOsTimer records.
enum { QZ_TIMER_INTERVAL = 0, QZ_TIMER_TIMEOUT = 1 };
// OsNextFiredTimer's kind when the examined record had not fired.
constexpr int QZ_TIMER_NONE_FIRED = 9;

struct qzOsTimer {
    qzOsTimer* next;
    int32_t kind;  // QZ_TIMER_INTERVAL or QZ_TIMER_TIMEOUT
    qzObjectId id;
    int32_t fired;       // set by the timer thread, consumed by the main thread
    qzLoopTimer* timer;  // the deadline-list timer the record owns
};

// OsTimerOp operations.
enum {
    QZ_TIMEROP_CREATE_INTERVAL = 0,
    QZ_TIMEROP_CREATE_TIMEOUT = 1,
    QZ_TIMEROP_DELETE_INTERVAL = 2,
    QZ_TIMEROP_DELETE_TIMEOUT = 3,
    QZ_TIMEROP_CHANGE_PERIOD = 4,
};

// What the timer service needs from the event code. Null members use small built-in defaults:
// a wake-up latch (wakeMainThread / waitForEvents, the wait returning after at most 10 ms), a
// pump that has nothing to do, interval registration straight through OsTimerOp, and no
// activity report.
struct qzTimerHooks {
    void (*wakeMainThread)();
    int (*waitForEvents)(VmState* state, int flag);
    // Returns non-zero when the script must stop; an error comes back in *error.
    int (*pumpEvents)(VmState* state, int flags, int* error);
    int (*createIntervalTimer)(VmState* state, const qzObjectId* id, int32_t ms, int noFunction);
    int (*clearIntervalById)(VmState* state, const qzObjectId* id);
    // Tells the system the user is active (keeps it from dimming or sleeping).
    void (*reportUserActivity)();
};

// Installs the hooks (copied); null restores the defaults.
void OsSetTimerHooks(const qzTimerHooks* hooks);
// The hooks in force, defaults included.
const qzTimerHooks& OsTimerHooks();

// Creates the timer-list lock: 0, or ERR_SEMAPHORE.
int OsInitTimerLock();
// Starts the timer thread at real-time priority 100: 0, or ERR_THREAD.
int OsStartTimerThread();
// Stops the timer thread; returns when it has ended and freed all timers.
void OsStopTimerThread();

// Creates, deletes or re-periods the timer of `id` (see the operation enum); other operations do
// nothing. Returns 0, ERR_TIMER or ERR_MEM. Deleting or changing an unknown timer returns 0. An
// interval of 0 ms or less fires once (a repeating timer needs a positive period).
int OsTimerOp(int op, const qzObjectId* id, int32_t ms);

// The record of that kind and identifier (with its successor in *next), or null.
qzOsTimer* OsFindTimer(int kind, const qzObjectId* id, qzOsTimer** next);

// Examines one record: the cursor, or the list head when the cursor is null or no longer in
// the list. Reports kind 0 or 1 and the identifier when it fired (a fired timeout is removed),
// else kind QZ_TIMER_NONE_FIRED. Returns the next cursor (null at the end or on an empty list).
qzOsTimer* OsNextFiredTimer(qzOsTimer* cursor, int* kind, qzObjectId* id);

void OsFreeAllTimers();
// OsFreeAllTimers, then the lock is destroyed.
void OsCleanupTimers();

// The callout of every timer of the thread. `info` is non-null only for the wait timer.
void OsTimerCallback(qzLoopTimer* timer, void* info);

// Runs one pass of the deadline list: every due timer's callout, with repeats that were missed
// skipped. The timer thread calls it on every wake-up; tests with a manual clock call it directly.
void OsTimerLoopRunDue();

// Waits `ms` milliseconds while the main thread keeps pumping events. Returns 0, ERR_TIMER,
// ERR_USERABORT or an error of the event pump. Zero or a negative time returns 0 at once.
int OsWaitPumpingEvents(VmState* state, int32_t ms);

// The shared 20-ms tick for two clients (slot 0 music playback, slot 1 event handlers).
int OsStartSharedTick(VmState* state, int slot);
int OsStopSharedTick(VmState* state, int slot);

// The keep-awake word: while non-zero the keep-alive timer reports user activity.
void OsSetTimerKeepAwake(int keepAwake);
