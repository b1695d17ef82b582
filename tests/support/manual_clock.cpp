#include "support/manual_clock.h"

ManualClock::ManualClock(uint64_t startMicros) : mNow(startMicros) {
    mClock.monotonicMicros = &ManualClock::Read;
    mClock.data = this;
    OsSetClock(&mClock);
}

ManualClock::~ManualClock() { OsSetClock(nullptr); }

uint64_t ManualClock::Read(void* data) { return static_cast<ManualClock*>(data)->mNow.load(); }
