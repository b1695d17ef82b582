// Script intervals and timeouts: the timer records, making, changing and clearing them, firing
// them into their script functions, and the timer-adapter plugin that may run them in place of
// the platform timer service.
//
// A record keeps registry references to its function and user data. The platform timer service
// (platform/os_timer.h) or the timer adapter only marks a timer as fired; the event-source
// machine (event_sources.h) fires it later through FireInterval / FireTimeout, and a timer
// adapter fires it at once through FireTimerById. Main thread only.
#pragma once

#include <cstdint>

#include "runtime/object_registry.h"

struct VmState;
struct qzPluginInfo;
struct qzOsTimer;
struct qzDispatchRecord;

// Object types of the two record kinds.
constexpr int32_t QZ_TYPE_INTERVAL = 41;
constexpr int32_t QZ_TYPE_TIMEOUT = 42;

struct qzIntervalTimer {
    qzObjectHeader header;  // type, id, object data, next (of the same list)
    int32_t function;       // registry reference, -1 = none (the shared tick)
    int32_t milliseconds;   // the period or delay as first given
    int32_t userData;       // registry reference, -1 = none
    void* adapterTimer;     // the timer adapter's handle; null without an adapter
};

// The two lists, each in creation order (registered with the object registry by the event
// library).
qzObjectHeader** IntervalListHead();
qzObjectHeader** TimeoutListHead();

// Makes an interval record with the function at stack index `function` (and the user data at
// `userData` when that is not 0) and starts its timer. With noRefs both references are -1 and the
// stack is not read. Appends it to the interval list; an automatic id becomes the record's address.
// 0 with *out set, or ERR_MEM / ERR_TIMER (nothing is left behind).
int CreateIntervalTimer(VmState* state, const qzObjectId& id, int32_t ms, int noRefs, int function, int userData,
                        qzIntervalTimer** out);
// The same for a one-shot timeout.
int CreateTimeoutTimer(VmState* state, const qzObjectId& id, int32_t ms, int function, int userData,
                       qzIntervalTimer** out);

// Looks a record up by id: 0 with *out set; else ERR_FINDARRAY for an automatic id, or
// ERR_FINDINTERVAL / ERR_FINDTIMEOUT with the number as the error argument.
int FindIntervalById(const qzObjectId& id, qzIntervalTimer** out);
int FindTimeoutById(const qzObjectId& id, qzIntervalTimer** out);

// Removes the record with its references, object data and timer: 0 or the lookup error.
int ClearIntervalById(VmState* state, const qzObjectId& id);
int ClearTimeoutById(VmState* state, const qzObjectId& id);

// A new period for an interval; its stored milliseconds stay as first given. 0 or an error.
int ChangeIntervalPeriod(VmState* state, const qzObjectId& id, int32_t ms);

// Dispatches the interval's function (action "Interval") through `dispatch`; the record stays.
// The dispatcher's result (discard as DispatchEvent's).
int FireInterval(VmState* state, qzIntervalTimer* record, int discard, qzDispatchRecord* dispatch);
// Unlinks and frees the timeout, then dispatches its function (action "Timeout") and releases
// its references afterwards, so the function may set a new timeout with the same id.
int FireTimeout(VmState* state, qzIntervalTimer* record, int discard, qzDispatchRecord* dispatch);

// Fires the interval or timeout whose adapter timer is `handle`, results dropped. 0 when none
// has it (or an interval without function does), else the dispatcher's result.
int FireTimerById(VmState* state, void* handle);

// The timer adapter: a plugin whose RegisterTimer and FreeTimer replace the platform timer
// service. SetTimerAdapter refuses with ERR_OLDAPPLET (applet before 6.0), ERR_WRONGUSAGE (no
// timer-adapter capability) or ERR_SETADAPTER (adapters not allowed now, or the present adapter
// may not be replaced: its flags have bit 0).
int SetTimerAdapter(qzPluginInfo* plugin, uint32_t flags);
const qzPluginInfo* GetTimerAdapter();
void StopAdapterTimer(void* handle);

// Frees every record with its references and object data and forgets the timer adapter.
void FreeAllIntervalTimers(VmState* state);
