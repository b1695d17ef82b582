// Thread creation and the worker-thread object with its start handshake and quit protocol.
//
// Worker entry protocol, in order:
//   1. worker = OsGetWorkerThread(arg); OsEnterWorkerThread(); data = OsGetWorkerThreadData(worker);
//   2. set up its resources; on success OsWorkerThreadStarted(worker) (the creator returns), on
//      failure go straight to step 4 with a non-zero error;
//   3. loop: lock the owner's mutex, OsWaitEvent, unlock; leave when OsWorkerThreadStopRequested;
//   4. OsWorkerThreadWaitQuit (only after a successful start), release its resources,
//      OsWorkerThreadDone(worker, error).
// The owner stops a worker with OsRequestWorkerThreadStop plus a signal of the worker's event
// (under the owner's mutex), then OsFreeWorkerThread, which sets the quit flag and joins.
#pragma once

#include <atomic>
#include <cstdint>
#include <pthread.h>

#include "platform/os_lock.h"

typedef void* (*qzThreadEntry)(void* arg);
typedef pthread_t qzThread;

struct qzWorkerThread {
    pthread_t thread;
    pthread_cond_t startCond;
    qzMutex startMutex;
    void* userData;
    int result;   // the error the worker reported when it ended (0 = none)
    int started;  // set when the worker reported its start, or its failure
    std::atomic<int> stopRequested;
    std::atomic<int> quit;  // set by OsFreeWorkerThread just before it joins
};

// Creates a thread running entry(arg). Priority 0 uses the default policy; a non-zero priority
// selects the round-robin real-time policy, clamped to the range the system allows. When the
// system refuses the real-time policy (no privilege), the thread runs with the default policy.
// Returns the thread handle, or 0 when no thread could be created.
qzThread OsCreateThread(qzThreadEntry entry, void* arg, int priority);

// Creates a worker and waits until it reported its start. Name, reserved word and stack size are
// accepted and not applied. Returns null when the object cannot be allocated, the thread cannot
// be created, or the worker reports a set-up error (its thread has then ended and been joined).
qzWorkerThread* OsCreateWorkerThread(const char* name, qzThreadEntry entry, void* userData, uint32_t reserved,
                                     uint32_t stackSize, int priority);

qzWorkerThread* OsGetWorkerThread(void* arg);
void OsEnterWorkerThread();
void* OsGetWorkerThreadData(qzWorkerThread* worker);
void OsWorkerThreadStarted(qzWorkerThread* worker);
void OsWorkerThreadDone(qzWorkerThread* worker, int error);
void OsRequestWorkerThreadStop(qzWorkerThread* worker);
int OsWorkerThreadStopRequested(qzWorkerThread* worker);
// Returns when the owner has set the quit flag, testing it every millisecond.
void OsWorkerThreadWaitQuit(qzWorkerThread* worker);
// Sets the quit flag, joins the thread and frees the object.
void OsFreeWorkerThread(qzWorkerThread* worker);
