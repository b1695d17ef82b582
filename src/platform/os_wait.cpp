#include "platform/os_wait.h"

#include <chrono>

#include "platform/os_time.h"

void OsWaitUntil(std::condition_variable& cond, std::unique_lock<std::mutex>& lock, uint64_t deadline) {
    if (!OsClockIsSystem()) {
        cond.wait_for(lock, std::chrono::milliseconds(1));
    } else if (deadline == UINT64_MAX) {
        cond.wait(lock);
    } else {
        // The system clock is CLOCK_MONOTONIC, the clock of steady_clock.
        std::chrono::steady_clock::time_point when{std::chrono::microseconds(deadline)};
        cond.wait_until(lock, when);
    }
}
