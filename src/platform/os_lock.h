// Recursive mutexes and auto-reset events of the platform layer.
//
// Every mutex here is recursive: the thread that holds one may lock it again and must unlock it
// as often. An event has no mutex of its own: the user signals and waits under a mutex it owns.
#pragma once

#include <pthread.h>

struct qzMutex {
    pthread_mutex_t mutex;
};

struct qzOsEvent {
    int signalled;  // 0 or 1; guarded by the user's mutex
    pthread_cond_t cond;
};

// Initialises caller-provided storage as a recursive mutex.
void OsInitRecursiveMutex(qzMutex* mutex);

// A heap mutex, or null when memory runs out.
qzMutex* OsAllocMutex();
void OsFreeMutex(qzMutex* mutex);
void OsLockMutex(qzMutex* mutex);
void OsUnlockMutex(qzMutex* mutex);
// 1 when the lock was taken (also when the calling thread already holds it), 0 when another
// thread holds it. Never blocks.
int OsTryLockMutex(qzMutex* mutex);

// An event with the flag clear, or null when memory runs out.
qzOsEvent* OsAllocEvent();
void OsFreeEvent(qzOsEvent* event);
// Sets the flag and wakes one waiter. The caller holds the mutex the waiter waits with.
void OsSignalEvent(qzOsEvent* event);
// With `mutex` held once by the caller: waits until the flag is set, then clears it. Returns 0.
// Signals that arrive while the flag is already set merge into one.
int OsWaitEvent(qzOsEvent* event, qzMutex* mutex, void* unused = nullptr);

// Holds a qzMutex for the lifetime of a scope.
class qzMutexLock {
public:
    explicit qzMutexLock(qzMutex* mutex) : mMutex(mutex) { OsLockMutex(mMutex); }
    ~qzMutexLock() { OsUnlockMutex(mMutex); }
    qzMutexLock(const qzMutexLock&) = delete;
    qzMutexLock& operator=(const qzMutexLock&) = delete;

private:
    qzMutex* mMutex;
};
