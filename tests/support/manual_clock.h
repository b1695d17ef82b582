// A hand-driven monotonic clock for unit tests. While an instance lives it replaces the
// platform's monotonic clock; time moves only through Advance.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/os_time.h"

class ManualClock {
public:
    explicit ManualClock(uint64_t startMicros = 1000000000ull);
    ~ManualClock();
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    void AdvanceMs(uint64_t ms) { mNow.fetch_add(ms * 1000u); }
    void AdvanceUs(uint64_t us) { mNow.fetch_add(us); }
    uint64_t NowUs() const { return mNow.load(); }

private:
    static uint64_t Read(void* data);
    std::atomic<uint64_t> mNow;
    qzClock mClock;
};
