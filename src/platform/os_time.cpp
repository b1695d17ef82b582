#include "platform/os_time.h"

#include <atomic>
#include <cerrno>
#include <sys/time.h>
#include <time.h>

namespace {

std::atomic<const qzClock*> gClock{nullptr};

uint64_t SystemMonotonicMicros() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000u + uint64_t(ts.tv_nsec) / 1000u;
}

}  // namespace

int OsGetSysTime(qzTimeVal* tv) {
    timeval now;
    int status = gettimeofday(&now, nullptr);
    tv->seconds = uint32_t(now.tv_sec);
    tv->microseconds = uint32_t(now.tv_usec);
    return status;
}

void OsSubTime(qzTimeVal* a, const qzTimeVal* b) {
    if (a->microseconds < b->microseconds) {
        a->microseconds = a->microseconds - b->microseconds + 1000000u;
        a->seconds = a->seconds - b->seconds - 1u;
    } else {
        a->microseconds -= b->microseconds;
        a->seconds -= b->seconds;
    }
}

void OsAddTime(qzTimeVal* a, const qzTimeVal* b) {
    a->seconds += b->seconds;
    a->microseconds += b->microseconds;
    if (a->microseconds > 999999u) {
        a->seconds += 1u;
        a->microseconds -= 1000000u;
    }
}

int OsCmpTime(const qzTimeVal* a, const qzTimeVal* b) {
    if (a->seconds != b->seconds) return a->seconds < b->seconds ? -1 : 1;
    if (a->microseconds != b->microseconds) return a->microseconds < b->microseconds ? -1 : 1;
    return 0;
}

double OsGetTimeSeconds() { return double(OsMonotonicMicros()) / 1000000.0; }

void OsDelay(int32_t ms) {
    // A negative count would turn into an enormous unsigned sleep; it means "no delay".
    if (ms <= 0) return;
    timespec want;
    want.tv_sec = ms / 1000;
    want.tv_nsec = long(ms % 1000) * 1000000L;
    timespec rest;
    while (nanosleep(&want, &rest) != 0 && errno == EINTR) want = rest;
}

void OsSetClock(const qzClock* clock) { gClock.store(clock); }

bool OsClockIsSystem() { return gClock.load() == nullptr; }

uint64_t OsMonotonicMicros() {
    const qzClock* clock = gClock.load();
    if (clock) return clock->monotonicMicros(clock->data);
    return SystemMonotonicMicros();
}

uint64_t OsMonotonicMicrosCoarse() {
    const qzClock* clock = gClock.load(std::memory_order_relaxed);
    if (clock) return clock->monotonicMicros(clock->data);
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return uint64_t(ts.tv_sec) * 1000000u + uint64_t(ts.tv_nsec) / 1000u;
}

void OsGetMonotonicTime(qzTimeVal* tv) {
    uint64_t us = OsMonotonicMicros();
    tv->seconds = uint32_t(us / 1000000u);
    tv->microseconds = uint32_t(us % 1000000u);
}
