#include "platform/os_timer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <unistd.h>
#include <vector>

#include "base/error_codes.h"
#include "platform/os_alloc.h"
#include "platform/os_lock.h"
#include "platform/os_thread.h"
#include "platform/os_time.h"
#include "platform/os_wait.h"

// One timer of the timer thread's deadline list.
struct qzLoopTimer {
    qzLoopTimer* next;
    uint64_t fireAt;  // monotonic microseconds
    uint64_t period;  // microseconds; 0 = one-shot
    void* info;
    int valid;  // cleared when a one-shot timer has fired
};

namespace {

constexpr uint64_t kKeepAlivePeriod = 30ull * 1000000u;
constexpr int32_t kSharedTickMs = 20;
const qzObjectId kSharedTickId = {0, reinterpret_cast<void*>(1)};

// The deadline list and the timer thread's wake-up.
struct TimerLoop {
    std::mutex mutex;
    std::condition_variable cond;
    qzLoopTimer* timers = nullptr;
    bool wakePending = false;
    bool stopRequested = false;
};
TimerLoop gLoop;

std::atomic<qzMutex*> gTimerLock{nullptr};
qzOsTimer* gTimerHead = nullptr;    // guarded by the timer-list lock
qzLoopTimer* gKeepAlive = nullptr;  // guarded by the timer-list lock
std::atomic<int> gLoopPublished{0};
std::atomic<int> gThreadRunning{0};
qzThread gTimerThread = 0;
std::atomic<int> gWaitElapsed{0};
std::atomic<int> gKeepAwake{0};
int gTickSlots[2] = {0, 0};  // main thread only

// Built-in stand-ins for the event code's wake-up and wait.
std::mutex gWakeMutex;
std::condition_variable gWakeCond;
bool gWakeFlag = false;

void DefaultWake() {
    std::lock_guard<std::mutex> lock(gWakeMutex);
    gWakeFlag = true;
    gWakeCond.notify_all();
}

int DefaultWait(VmState*, int) {
    std::unique_lock<std::mutex> lock(gWakeMutex);
    if (!gWakeFlag) gWakeCond.wait_for(lock, std::chrono::milliseconds(10));
    gWakeFlag = false;
    return 0;
}

int DefaultPump(VmState*, int, int* error) {
    *error = 0;
    return 0;
}

int DefaultCreateInterval(VmState*, const qzObjectId* id, int32_t ms, int) {
    return OsTimerOp(QZ_TIMEROP_CREATE_INTERVAL, id, ms);
}

int DefaultClearInterval(VmState*, const qzObjectId* id) { return OsTimerOp(QZ_TIMEROP_DELETE_INTERVAL, id, 0); }

void DefaultActivity() {}

const qzTimerHooks kDefaultHooks = {
    .wakeMainThread = DefaultWake,
    .waitForEvents = DefaultWait,
    .pumpEvents = DefaultPump,
    .createIntervalTimer = DefaultCreateInterval,
    .clearIntervalById = DefaultClearInterval,
    .reportUserActivity = DefaultActivity,
};
qzTimerHooks gHooks = kDefaultHooks;

uint64_t MsToMicros(int32_t ms) { return ms > 0 ? uint64_t(ms) * 1000u : 0u; }

// Creates a timer (not yet in the list); null without memory.
qzLoopTimer* LoopCreateTimer(uint64_t fireAt, uint64_t period, void* info) {
    auto* timer = static_cast<qzLoopTimer*>(OsAlloc(sizeof(qzLoopTimer), 1));
    if (!timer) return nullptr;
    timer->fireAt = fireAt;
    timer->period = period;
    timer->info = info;
    timer->valid = 1;
    return timer;
}

void LoopAddTimer(qzLoopTimer* timer) {
    std::lock_guard<std::mutex> lock(gLoop.mutex);
    timer->next = gLoop.timers;
    gLoop.timers = timer;
}

// Makes the timer thread recompute its next deadline.
void LoopWakeUp() {
    std::lock_guard<std::mutex> lock(gLoop.mutex);
    gLoop.wakePending = true;
    gLoop.cond.notify_all();
}

// Takes the timer out of the list and frees it. Called under the timer-list lock, so no
// callout of this timer is running.
void LoopReleaseTimer(qzLoopTimer* timer) {
    if (!timer) return;
    {
        std::lock_guard<std::mutex> lock(gLoop.mutex);
        for (qzLoopTimer** link = &gLoop.timers; *link; link = &(*link)->next) {
            if (*link == timer) {
                *link = timer->next;
                break;
            }
        }
    }
    OsFree(timer);
}

// Unlinks a record from the timer list and frees it with its timer. Timer-list lock held.
void RemoveRecord(qzOsTimer* record) {
    for (qzOsTimer** link = &gTimerHead; *link; link = &(*link)->next) {
        if (*link == record) {
            *link = record->next;
            break;
        }
    }
    LoopReleaseTimer(record->timer);
    LoopWakeUp();
    OsFree(record);
}

void* TimerThreadMain(void*) {
    gLoopPublished.store(1);
    qzMutex* lock = gTimerLock.load();
    OsLockMutex(lock);
    gKeepAlive = LoopCreateTimer(OsMonotonicMicros() + kKeepAlivePeriod, kKeepAlivePeriod, nullptr);
    if (gKeepAlive) LoopAddTimer(gKeepAlive);
    OsUnlockMutex(lock);

    for (;;) {
        OsTimerLoopRunDue();
        std::unique_lock<std::mutex> loopLock(gLoop.mutex);
        if (gLoop.stopRequested) break;
        if (gLoop.wakePending) {
            gLoop.wakePending = false;
            continue;
        }
        uint64_t deadline = UINT64_MAX;
        for (qzLoopTimer* t = gLoop.timers; t; t = t->next) {
            if (t->valid && t->fireAt < deadline) deadline = t->fireAt;
        }
        OsWaitUntil(gLoop.cond, loopLock, deadline);
        gLoop.wakePending = false;
    }

    OsLockMutex(lock);
    LoopReleaseTimer(gKeepAlive);
    gKeepAlive = nullptr;
    OsFreeAllTimers();
    OsUnlockMutex(lock);
    gLoopPublished.store(0);
    return nullptr;
}

}  // namespace

const qzTimerHooks& OsTimerHooks() { return gHooks; }

void OsSetTimerHooks(const qzTimerHooks* hooks) {
    gHooks = kDefaultHooks;
    if (!hooks) return;
    if (hooks->wakeMainThread) gHooks.wakeMainThread = hooks->wakeMainThread;
    if (hooks->waitForEvents) gHooks.waitForEvents = hooks->waitForEvents;
    if (hooks->pumpEvents) gHooks.pumpEvents = hooks->pumpEvents;
    if (hooks->createIntervalTimer) gHooks.createIntervalTimer = hooks->createIntervalTimer;
    if (hooks->clearIntervalById) gHooks.clearIntervalById = hooks->clearIntervalById;
    if (hooks->reportUserActivity) gHooks.reportUserActivity = hooks->reportUserActivity;
}

int OsInitTimerLock() {
    if (gTimerLock.load()) return 0;
    qzMutex* lock = OsAllocMutex();
    if (!lock) return ERR_SEMAPHORE;
    gTimerLock.store(lock);
    return 0;
}

int OsStartTimerThread() {
    if (!gTimerLock.load()) return ERR_THREAD;
    if (gThreadRunning.load()) return 0;
    {
        std::lock_guard<std::mutex> lock(gLoop.mutex);
        gLoop.stopRequested = false;
    }
    qzThread thread = OsCreateThread(TimerThreadMain, nullptr, 100);
    if (thread == 0) return ERR_THREAD;
    gTimerThread = thread;
    gThreadRunning.store(1);
    // No timer may be handed over before the loop exists.
    while (gLoopPublished.load() == 0) usleep(1000);
    return 0;
}

void OsStopTimerThread() {
    if (!gThreadRunning.load()) return;
    {
        std::lock_guard<std::mutex> lock(gLoop.mutex);
        gLoop.stopRequested = true;
        gLoop.cond.notify_all();
    }
    pthread_join(gTimerThread, nullptr);
    gTimerThread = 0;
    gThreadRunning.store(0);
}

int OsTimerOp(int op, const qzObjectId* id, int32_t ms) {
    qzMutex* lock = gTimerLock.load();
    if (!lock) return ERR_TIMER;
    qzMutexLock hold(lock);

    switch (op) {
    case QZ_TIMEROP_CREATE_INTERVAL:
    case QZ_TIMEROP_CREATE_TIMEOUT: {
        qzOsTimer** tail = &gTimerHead;
        while (*tail) tail = &(*tail)->next;
        auto* record = static_cast<qzOsTimer*>(OsAlloc(sizeof(qzOsTimer), 1));
        if (!record) return ERR_MEM;
        record->kind = op;
        record->id = *id;
        uint64_t span = MsToMicros(ms);
        uint64_t period = op == QZ_TIMEROP_CREATE_INTERVAL ? span : 0;
        record->timer = LoopCreateTimer(OsMonotonicMicros() + span, period, nullptr);
        if (!record->timer) {
            OsFree(record);
            return ERR_TIMER;
        }
        LoopAddTimer(record->timer);
        LoopWakeUp();
        *tail = record;
        return 0;
    }
    case QZ_TIMEROP_DELETE_INTERVAL:
    case QZ_TIMEROP_DELETE_TIMEOUT: {
        qzOsTimer* record = OsFindTimer(op - 2, id, nullptr);
        if (record) RemoveRecord(record);
        return 0;
    }
    case QZ_TIMEROP_CHANGE_PERIOD: {
        qzOsTimer* record = OsFindTimer(QZ_TIMER_INTERVAL, id, nullptr);
        if (!record) return 0;
        uint64_t span = MsToMicros(ms);
        qzLoopTimer* timer = LoopCreateTimer(OsMonotonicMicros() + span, span, nullptr);
        if (!timer) return ERR_TIMER;  // the old timer stays in force
        LoopAddTimer(timer);
        LoopReleaseTimer(record->timer);
        record->timer = timer;
        LoopWakeUp();
        return 0;
    }
    default: return 0;
    }
}

qzOsTimer* OsFindTimer(int kind, const qzObjectId* id, qzOsTimer** next) {
    qzMutex* lock = gTimerLock.load();
    if (next) *next = nullptr;
    if (!lock) return nullptr;
    qzMutexLock hold(lock);
    for (qzOsTimer* record = gTimerHead; record; record = record->next) {
        if (record->kind == kind && SameObjectId(record->id, *id)) {
            if (next) *next = record->next;
            return record;
        }
    }
    return nullptr;
}

qzOsTimer* OsNextFiredTimer(qzOsTimer* cursor, int* kind, qzObjectId* id) {
    *kind = QZ_TIMER_NONE_FIRED;
    qzMutex* lock = gTimerLock.load();
    if (!lock) return nullptr;
    qzMutexLock hold(lock);

    qzOsTimer* record = nullptr;
    if (cursor) {
        // A cursor whose record has gone (freed with the thread, for instance) restarts at the
        // head instead of being followed.
        for (qzOsTimer* r = gTimerHead; r; r = r->next) {
            if (r == cursor) {
                record = r;
                break;
            }
        }
    }
    if (!record) record = gTimerHead;
    if (!record) return nullptr;

    qzOsTimer* successor = record->next;
    if (record->fired) {
        *kind = record->kind;
        *id = record->id;
        if (record->kind == QZ_TIMER_INTERVAL)
            record->fired = 0;
        else
            RemoveRecord(record);
    }
    return successor;
}

void OsFreeAllTimers() {
    qzMutex* lock = gTimerLock.load();
    if (!lock) return;
    qzMutexLock hold(lock);
    while (gTimerHead) {
        qzOsTimer* record = gTimerHead;
        gTimerHead = record->next;
        LoopReleaseTimer(record->timer);
        OsFree(record);
    }
}

void OsCleanupTimers() {
    OsFreeAllTimers();
    qzMutex* lock = gTimerLock.exchange(nullptr);
    OsFreeMutex(lock);
}

void OsTimerCallback(qzLoopTimer* timer, void* info) {
    if (info) {
        gWaitElapsed.store(1);
        gHooks.wakeMainThread();
        return;
    }
    qzMutex* lock = gTimerLock.load();
    if (!lock) return;
    qzMutexLock hold(lock);
    if (timer == gKeepAlive) {
        if (gKeepAwake.load()) gHooks.reportUserActivity();
        return;
    }
    for (qzOsTimer* record = gTimerHead; record; record = record->next) {
        if (record->timer == timer) {
            record->fired = 1;
            gHooks.wakeMainThread();
            return;
        }
    }
}

void OsTimerLoopRunDue() {
    qzMutex* lock = gTimerLock.load();
    if (!lock) return;
    qzMutexLock hold(lock);
    std::vector<qzLoopTimer*> due;
    {
        std::lock_guard<std::mutex> loopLock(gLoop.mutex);
        uint64_t now = OsMonotonicMicros();
        for (qzLoopTimer* t = gLoop.timers; t; t = t->next) {
            if (!t->valid || t->fireAt > now) continue;
            // The timer thread may not throw: a timer the list has no memory for stays due, as
            // it was, and fires in the next pass.
            try {
                due.push_back(t);
            } catch (const std::bad_alloc&) {
                break;
            }
            if (t->period > 0) {
                // Fire once for any number of missed periods; the next fire lies in the future.
                uint64_t missed = (now - t->fireAt) / t->period + 1;
                t->fireAt += missed * t->period;
            } else {
                t->valid = 0;
            }
        }
    }
    // The list is pushed at the front, so the oldest timers come last: call out oldest first.
    for (auto it = due.rbegin(); it != due.rend(); ++it) OsTimerCallback(*it, (*it)->info);
}

int OsWaitPumpingEvents(VmState* state, int32_t ms) {
    if (ms <= 0) return 0;
    qzMutex* lock = gTimerLock.load();
    if (!lock) return ERR_TIMER;

    gWaitElapsed.store(0);
    uint64_t deadline = OsMonotonicMicros() + MsToMicros(ms);
    qzLoopTimer* timer;
    {
        qzMutexLock hold(lock);
        timer = LoopCreateTimer(deadline, 0, reinterpret_cast<void*>(1));
        if (!timer) return ERR_TIMER;
        LoopAddTimer(timer);
        LoopWakeUp();
    }

    int result = 0;
    do {
        int waited = gHooks.waitForEvents(state, 1);
        if (waited != 0) {
            result = waited;
            break;
        }
        // The deadline is also checked here so that the wait ends even without a timer thread.
        if (gWaitElapsed.load() || OsMonotonicMicros() >= deadline) break;
        int error = 0;
        if (gHooks.pumpEvents(state, 2, &error) != 0) {
            result = error != 0 ? error : ERR_USERABORT;
            break;
        }
    } while (!gWaitElapsed.load() && OsMonotonicMicros() < deadline);

    {
        qzMutexLock hold(lock);
        LoopReleaseTimer(timer);
        LoopWakeUp();
    }
    return result;
}

int OsStartSharedTick(VmState* state, int slot) {
    if (slot < 0 || slot > 1) return ERR_INTERNAL;
    if (gTickSlots[0] || gTickSlots[1]) {
        gTickSlots[slot] = 1;
        return 0;
    }
    int error = gHooks.createIntervalTimer(state, &kSharedTickId, kSharedTickMs, 1);
    if (error != 0) return error;
    gTickSlots[slot] = 1;
    return 0;
}

int OsStopSharedTick(VmState* state, int slot) {
    if (slot < 0 || slot > 1) return ERR_INTERNAL;
    gTickSlots[slot] = 0;
    if (gTickSlots[1 - slot]) return 0;
    return gHooks.clearIntervalById(state, &kSharedTickId);
}

void OsSetTimerKeepAwake(int keepAwake) { gKeepAwake.store(keepAwake); }
