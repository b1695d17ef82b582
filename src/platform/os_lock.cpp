#include "platform/os_lock.h"

#include "platform/os_alloc.h"

void OsInitRecursiveMutex(qzMutex* mutex) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&mutex->mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}

qzMutex* OsAllocMutex() {
    auto* mutex = static_cast<qzMutex*>(OsAlloc(sizeof(qzMutex), 1));
    if (mutex) OsInitRecursiveMutex(mutex);
    return mutex;
}

void OsFreeMutex(qzMutex* mutex) {
    if (!mutex) return;
    pthread_mutex_destroy(&mutex->mutex);
    OsFree(mutex);
}

void OsLockMutex(qzMutex* mutex) { pthread_mutex_lock(&mutex->mutex); }

void OsUnlockMutex(qzMutex* mutex) { pthread_mutex_unlock(&mutex->mutex); }

int OsTryLockMutex(qzMutex* mutex) { return pthread_mutex_trylock(&mutex->mutex) == 0 ? 1 : 0; }

qzOsEvent* OsAllocEvent() {
    auto* event = static_cast<qzOsEvent*>(OsAlloc(sizeof(qzOsEvent), 1));
    if (!event) return nullptr;
    event->signalled = 0;
    pthread_cond_init(&event->cond, nullptr);
    return event;
}

void OsFreeEvent(qzOsEvent* event) {
    if (!event) return;
    pthread_cond_destroy(&event->cond);
    OsFree(event);
}

void OsSignalEvent(qzOsEvent* event) {
    event->signalled = 1;
    pthread_cond_signal(&event->cond);
}

int OsWaitEvent(qzOsEvent* event, qzMutex* mutex, void*) {
    while (event->signalled == 0) pthread_cond_wait(&event->cond, &mutex->mutex);
    event->signalled = 0;
    return 0;
}
