// Waiting on a condition variable until a time of the platform's monotonic clock.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

// Waits until the condition is signalled or the monotonic clock reaches `deadline`
// (microseconds; UINT64_MAX: no limit). While a replaced clock is installed the wait lasts at
// most a millisecond, since that clock moves on its own terms. The caller holds `lock` and tests
// its own condition again afterwards (wake-ups may be spurious).
void OsWaitUntil(std::condition_variable& cond, std::unique_lock<std::mutex>& lock, uint64_t deadline);
