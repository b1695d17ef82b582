// Time values and clocks of the platform layer.
//
// Two clocks: the wall clock (OsGetSysTime) for dates and the monotonic clock for every elapsed
// time (timers, time-outs, frame limits, event expiry). The monotonic clock is read through one
// replaceable interface so that unit tests can drive time by hand.
#pragma once

#include <cstdint>

// A time value: seconds and microseconds (0..999999 when normalised).
struct qzTimeVal {
    uint32_t seconds;
    uint32_t microseconds;
};

// Wall clock: seconds and microseconds since the system epoch. Returns gettimeofday's status.
int OsGetSysTime(qzTimeVal* tv);

// a = a - b; borrows one second when a's microseconds are below b's.
void OsSubTime(qzTimeVal* a, const qzTimeVal* b);
// a = a + b; carries one second when the microseconds exceed 999999 (inputs must be normalised).
void OsAddTime(qzTimeVal* a, const qzTimeVal* b);
// -1 when a is earlier than b, 1 when later, 0 when equal.
int OsCmpTime(const qzTimeVal* a, const qzTimeVal* b);

// Monotonic time in seconds, for time-outs.
double OsGetTimeSeconds();

// Sleeps `ms` milliseconds. Zero or a negative value returns at once.
void OsDelay(int32_t ms);

// The monotonic clock interface. `monotonicMicros` returns microseconds from an arbitrary
// origin and never goes backwards.
struct qzClock {
    uint64_t (*monotonicMicros)(void* data);
    void* data;
};

// Replaces the monotonic clock (the record must stay alive while installed); null restores the
// system clock.
void OsSetClock(const qzClock* clock);
// True while the system clock is in use (false while a replacement is installed).
bool OsClockIsSystem();

// Current monotonic time in microseconds, and the same as a time value.
uint64_t OsMonotonicMicros();
// The same clock read coarsely (a few milliseconds' resolution, much cheaper): for polls that
// only need to know whether some milliseconds have passed.
uint64_t OsMonotonicMicrosCoarse();
void OsGetMonotonicTime(qzTimeVal* tv);
