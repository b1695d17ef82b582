#include "platform/os_ticker.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "base/error_codes.h"

namespace {

std::mutex gMutex;
std::condition_variable gCond;
bool gStop = false;
// Held by pointer: a ticker still running when the process exits is not an error.
std::thread* gThread = nullptr;

void Run(std::atomic<int>* flag, int32_t periodMs) {
    std::unique_lock<std::mutex> lock(gMutex);
    const auto period = std::chrono::milliseconds(periodMs > 0 ? periodMs : 1);
    auto next = std::chrono::steady_clock::now() + period;
    while (!gStop) {
        if (gCond.wait_until(lock, next, [] { return gStop; })) break;
        flag->store(1, std::memory_order_relaxed);
        next += period;
        const auto now = std::chrono::steady_clock::now();
        if (next <= now) next = now + period;  // missed ticks are not made up
    }
}

}  // namespace

int OsStartTicker(std::atomic<int>* flag, int32_t periodMs) {
    OsStopTicker();
    std::lock_guard<std::mutex> lock(gMutex);
    gStop = false;
    try {
        gThread = new std::thread(Run, flag, periodMs);
    } catch (const std::exception&) {
        return ERR_THREAD;
    }
    return 0;
}

void OsStopTicker() {
    {
        std::lock_guard<std::mutex> lock(gMutex);
        if (!gThread) return;
        gStop = true;
    }
    gCond.notify_all();
    gThread->join();
    delete gThread;
    gThread = nullptr;
}
