#include "runtime/event_queue.h"

#include <atomic>

#include "base/error_codes.h"
#include "platform/os_alloc.h"

namespace {

constexpr int32_t kFirstPluginEventType = 28;

std::atomic<qzMutex*> gQueueMutex{nullptr};
// Guarded by the queue mutex.
qzEvent* gHead = nullptr;
qzEvent* gTail = nullptr;
int gEnabled = 0;
qzEventQueueHooks gHooks = {.displayBlocksSizeEvents = nullptr, .freeEventData = nullptr};

std::atomic<int32_t> gLifetimeMs{60000};

void FreeData(VmState* state, int type, void* userdata) {
    if (!userdata) return;
    if (gHooks.freeEventData)
        gHooks.freeEventData(state, type, userdata);
    else if (type < kFirstPluginEventType)
        OsFree(userdata);
}

// Unlinks the first event and releases it with its data. The queue mutex is held.
void DropHead(VmState* state) {
    qzEvent* event = gHead;
    gHead = event->next;
    if (!gHead) gTail = nullptr;
    FreeData(state, event->type, event->userdata);
    OsFree(event);
}

}  // namespace

void SetEventQueueHooks(const qzEventQueueHooks* hooks) {
    qzMutex* mutex = gQueueMutex.load();
    if (mutex) OsLockMutex(mutex);
    gHooks = hooks ? *hooks : qzEventQueueHooks{nullptr, nullptr};
    if (mutex) OsUnlockMutex(mutex);
}

qzEventQueueHooks GetEventQueueHooks() {
    qzMutex* mutex = gQueueMutex.load();
    if (mutex) OsLockMutex(mutex);
    const qzEventQueueHooks hooks = gHooks;
    if (mutex) OsUnlockMutex(mutex);
    return hooks;
}

int InitEventQueue() {
    qzMutex* mutex = gQueueMutex.load();
    if (!mutex) {
        mutex = OsAllocMutex();
        if (!mutex) return ERR_SEMAPHORE;
        gQueueMutex.store(mutex);
    }
    qzMutexLock lock(mutex);
    gEnabled = 1;
    return 0;
}

void FreeEventQueue(VmState* state) {
    qzMutex* mutex = gQueueMutex.load();
    if (!mutex) return;
    qzMutexLock lock(mutex);
    while (gHead) DropHead(state);
    gEnabled = 0;
}

qzMutex* GetEventQueueMutex() { return gQueueMutex.load(); }

int PushEventToQueue(qzDisplay* display, int32_t type, int32_t param1, int32_t param2, int32_t param3, void* userdata) {
    qzMutex* mutex = gQueueMutex.load();
    if (!mutex) return 0;
    qzMutexLock lock(mutex);
    if (!gEnabled) return 0;
    if (type == QZ_EVENT_SIZEWINDOW && display && gHooks.displayBlocksSizeEvents &&
        gHooks.displayBlocksSizeEvents(display))
        return 0;
    // Allocate before superseding, so that a failed post leaves the queued events untouched.
    auto* event = static_cast<qzEvent*>(OsAlloc(sizeof(qzEvent), 1));
    if (!event) return -1;
    if (type == QZ_EVENT_SIZEWINDOW) {
        // Only the newest size event stays effective.
        for (qzEvent* e = gHead; e; e = e->next) {
            if (e->type == QZ_EVENT_SIZEWINDOW) e->type = 0;
        }
    }
    event->display = display;
    event->type = type;
    event->param1 = param1;
    event->param2 = param2;
    event->param3 = param3;
    event->userdata = userdata;
    OsGetMonotonicTime(&event->timestamp);
    if (gTail)
        gTail->next = event;
    else
        gHead = event;
    gTail = event;
    return 1;
}

int PeekQueuedEvent(VmState* state, int index, qzPeekedEvent* out, int take) {
    if (index < 0) return 0;
    qzEvent* event = gHead;
    for (int i = 0; event && i < index; i++) event = event->next;
    if (!event) return 0;

    *out = qzPeekedEvent{};
    out->display = event->display;
    out->type = event->type;
    out->userdata = event->userdata;
    switch (event->type) {
    case 1:
    case 2:
    case 16:
        out->params[0] = event->param1;
        out->params[1] = event->param2;
        out->params[2] = event->param3;
        break;
    case 3:
        out->params[0] = event->param1;
        out->extra1 = event->param2;
        out->extra2 = event->param3;
        break;
    case 14:
    case 22:
        out->params[0] = event->param1;
        out->params[1] = event->param2;
        break;
    case 26: out->params[2] = event->param3; break;
    default: break;
    }
    if (take) event->userdata = nullptr;
    return index + 1;
}

void DropQueuedEvents(VmState* state, int count, int lock) {
    qzMutex* mutex = gQueueMutex.load();
    if (lock && mutex) OsLockMutex(mutex);
    if (count == -1 || count == -2) {
        while (gHead) DropHead(state);
    } else if (count >= 0) {
        for (int64_t n = int64_t(count) + 1; n > 0 && gHead; n--) DropHead(state);
    }
    if (lock && mutex) OsUnlockMutex(mutex);
}

void ExpireQueuedEvents(VmState* state) {
    qzMutex* mutex = gQueueMutex.load();
    if (!mutex) return;
    qzMutexLock lock(mutex);
    qzTimeVal now;
    OsGetMonotonicTime(&now);
    int64_t lifetime = gLifetimeMs.load();
    while (gHead) {
        int64_t ageMs = (int64_t(now.seconds) - int64_t(gHead->timestamp.seconds)) * 1000 +
                        (int64_t(now.microseconds) - int64_t(gHead->timestamp.microseconds)) / 1000;
        if (ageMs <= lifetime) break;
        DropHead(state);
    }
}

void ForgetDisplayEvents(qzDisplay* display) {
    qzMutex* mutex = gQueueMutex.load();
    if (!mutex) return;
    qzMutexLock lock(mutex);
    for (qzEvent* e = gHead; e; e = e->next) {
        if (e->display == display) e->display = nullptr;
    }
}

void SetEventLifetime(int32_t ms) { gLifetimeMs.store(ms); }

int32_t GetEventLifetime() { return gLifetimeMs.load(); }
