#include "platform/os_thread.h"

#include <new>
#include <sched.h>
#include <unistd.h>

#include "platform/os_alloc.h"

qzThread OsCreateThread(qzThreadEntry entry, void* arg, int priority) {
    pthread_t thread;
    if (priority != 0) {
        pthread_attr_t attr;
        if (pthread_attr_init(&attr) == 0) {
            int max = sched_get_priority_max(SCHED_RR);
            int min = sched_get_priority_min(SCHED_RR);
            sched_param param;
            pthread_attr_getschedparam(&attr, &param);
            param.sched_priority = priority > max ? max : (priority < min ? min : priority);
            // Without the explicit flag the new thread would silently inherit our policy.
            pthread_attr_setinheritsched(&attr, PTHREAD_EXPLICIT_SCHED);
            pthread_attr_setschedpolicy(&attr, SCHED_RR);
            pthread_attr_setschedparam(&attr, &param);
            int rc = pthread_create(&thread, &attr, entry, arg);
            pthread_attr_destroy(&attr);
            if (rc == 0) return thread;
        }
        // Real-time scheduling refused (usually no privilege): run with the default policy.
    }
    if (pthread_create(&thread, nullptr, entry, arg) != 0) return 0;
    return thread;
}

static void DestroyWorker(qzWorkerThread* worker) {
    pthread_mutex_destroy(&worker->startMutex.mutex);
    pthread_cond_destroy(&worker->startCond);
    worker->~qzWorkerThread();
    OsFree(worker);
}

qzWorkerThread* OsCreateWorkerThread(const char* name, qzThreadEntry entry, void* userData, uint32_t reserved,
                                     uint32_t stackSize, int priority) {
    void* block = OsAlloc(sizeof(qzWorkerThread), 1);
    if (!block) return nullptr;
    auto* worker = new (block) qzWorkerThread();
    worker->userData = userData;
    OsInitRecursiveMutex(&worker->startMutex);
    pthread_cond_init(&worker->startCond, nullptr);

    qzThread thread = OsCreateThread(entry, worker, priority);
    if (thread == 0) {
        DestroyWorker(worker);
        return nullptr;
    }
    worker->thread = thread;

    OsLockMutex(&worker->startMutex);
    while (worker->started == 0) pthread_cond_wait(&worker->startCond, &worker->startMutex.mutex);
    int result = worker->result;
    OsUnlockMutex(&worker->startMutex);

    if (result != 0) {
        pthread_join(thread, nullptr);
        DestroyWorker(worker);
        return nullptr;
    }
    return worker;
}

qzWorkerThread* OsGetWorkerThread(void* arg) { return static_cast<qzWorkerThread*>(arg); }

void OsEnterWorkerThread() {}

void* OsGetWorkerThreadData(qzWorkerThread* worker) { return worker->userData; }

void OsWorkerThreadStarted(qzWorkerThread* worker) {
    OsLockMutex(&worker->startMutex);
    worker->started = 1;
    pthread_cond_signal(&worker->startCond);
    OsUnlockMutex(&worker->startMutex);
}

void OsWorkerThreadDone(qzWorkerThread* worker, int error) {
    OsLockMutex(&worker->startMutex);
    worker->result = error;
    if (error != 0) {
        worker->started = 1;
        pthread_cond_signal(&worker->startCond);
    }
    OsUnlockMutex(&worker->startMutex);
}

void OsRequestWorkerThreadStop(qzWorkerThread* worker) { worker->stopRequested.store(1); }

int OsWorkerThreadStopRequested(qzWorkerThread* worker) { return worker->stopRequested.load(); }

void OsWorkerThreadWaitQuit(qzWorkerThread* worker) {
    while (worker->quit.load() == 0) usleep(1000);
}

void OsFreeWorkerThread(qzWorkerThread* worker) {
    if (!worker) return;
    worker->quit.store(1);
    pthread_join(worker->thread, nullptr);
    DestroyWorker(worker);
}
