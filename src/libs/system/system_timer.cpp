// Script timers (StartTimer ... WaitTimer) and Wait. A timer measures elapsed milliseconds on the
// monotonic clock: running, it is now + offset - start; paused, the offset.
#include <cstdint>

#include "base/error_codes.h"
#include "libs/system/system.h"
#include "platform/os_alloc.h"
#include "platform/os_time.h"
#include "platform/os_timer.h"
#include "runtime/error_messages.h"
#include "runtime/object_data.h"
#include "runtime/object_id.h"
#include "runtime/object_registry.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Time units of Wait.
enum { kUnitSeconds = 0, kUnitMilliseconds = 1, kUnitTicks = 2 };

struct qzTimer {
    qzObjectHeader header;
    qzTimeVal start;
    qzTimeVal offset;
    int paused;
};

qzObjectHeader* timerList;

qzTimeVal Now() {
    qzTimeVal tv;
    OsGetMonotonicTime(&tv);
    return tv;
}

// now + offset - start
qzTimeVal RunningValue(const qzTimer* timer) {
    qzTimeVal value = Now();
    OsAddTime(&value, &timer->offset);
    OsSubTime(&value, &timer->start);
    return value;
}

double ToMilliseconds(const qzTimeVal& tv) {
    return static_cast<double>(tv.seconds) * 1000.0 + static_cast<double>(tv.microseconds / 1000);
}

// A millisecond count as a normalised time value (negative counts give 0).
qzTimeVal FromMilliseconds(int32_t ms) {
    if (ms < 0) ms = 0;
    return {static_cast<uint32_t>(ms / 1000), static_cast<uint32_t>(ms % 1000) * 1000u};
}

qzTimer* FindTimer(const qzObjectId& id) { return reinterpret_cast<qzTimer*>(FindObjectInList(timerList, id)); }

// The timer named by argument 1; the command fails with ERR_FINDARRAY or ERR_FINDTIMER without it.
qzTimer* CheckTimer(VmState* state) {
    return reinterpret_cast<qzTimer*>(CheckListObject(state, 1, timerList, ERR_FINDTIMER));
}

void FreeTimer(VmState* state, qzTimer* timer) {
    FreeObjectDataList(state, timer->header.data);
    OsFree(timer);
}

}  // namespace

int RegisterSystemTimerList() { return RegisterObjectList(&timerList); }

void FreeSystemTimers(VmState* state) {
    while (timerList) {
        qzObjectHeader* next = timerList->next;
        FreeTimer(state, reinterpret_cast<qzTimer*>(timerList));
        timerList = next;
    }
}

int SysWait(VmState* state) {
    int32_t time = VmCheckInteger(state, 1);
    int32_t unit = VmOptInteger(state, 2, kUnitTicks);
    if (time < 1) return 0;
    int64_t ms = time;
    if (unit == kUnitTicks)
        ms *= 20;
    else if (unit == kUnitSeconds)
        ms *= 1000;
    else if (unit != kUnitMilliseconds)
        return ERR_WRONGUSAGE;
    if (ms > INT32_MAX) ms = INT32_MAX;
    return OsWaitPumpingEvents(state, static_cast<int32_t>(ms));
}

int SysStartTimer(VmState* state) {
    const qzObjectId id = CheckNumericIdArg(state, 1);
    qzTimer* timer = IsAutoObjectId(id) ? nullptr : FindTimer(id);
    if (timer) {
        // Restarting keeps the record (and its object data) but clears the count.
        timer->start = Now();
        timer->offset = {0, 0};
        timer->paused = 0;
        return 0;
    }
    timer = static_cast<qzTimer*>(OsAlloc(sizeof(qzTimer), 1));
    if (!timer) return ERR_MEM;
    timer->start = Now();
    AddObjectToList(&timerList, &timer->header, QZ_TYPE_TIMER, id);
    return PushNewObjectHandle(state, id, &timer->header);
}

int SysGetTimer(VmState* state) {
    qzTimer* timer = CheckTimer(state);
    VmPushNumber(state, ToMilliseconds(timer->paused ? timer->offset : RunningValue(timer)));
    return 1;
}

int SysPauseTimer(VmState* state) {
    qzTimer* timer = CheckTimer(state);
    if (!timer->paused) {
        timer->offset = RunningValue(timer);
        timer->paused = 1;
    }
    return 0;
}

int SysResumeTimer(VmState* state) {
    qzTimer* timer = CheckTimer(state);
    if (timer->paused) {
        timer->start = Now();
        timer->paused = 0;
    }
    return 0;
}

int SysResetTimer(VmState* state) {
    qzTimer* timer = CheckTimer(state);
    timer->offset = FromMilliseconds(VmOptInteger(state, 2, 0));
    timer->paused = 0;
    timer->start = Now();
    return 0;
}

int SysWaitTimer(VmState* state) {
    qzTimer* timer = CheckTimer(state);
    int32_t ms = VmCheckInteger(state, 2);
    int32_t reset = VmOptInteger(state, 3, 1);
    if (timer->paused) return ERR_WRONGUSAGE;
    double left = static_cast<double>(ms) - ToMilliseconds(RunningValue(timer));
    if (left > 0) {
        int error = OsWaitPumpingEvents(state, static_cast<int32_t>(left));
        if (error) return error;
        // The wait pumps events, and a script callback may have stopped this timer meanwhile.
        qzObjectHeader* again;
        timer = GetListObjectArg(state, 1, timerList, ERR_FINDTIMER, &again) == 0 ? reinterpret_cast<qzTimer*>(again)
                                                                                  : nullptr;
    }
    if (timer && reset != 0) {
        timer->start = Now();
        timer->offset = {0, 0};
    }
    return 0;
}

int SysStopTimer(VmState* state) {
    qzTimer* timer = CheckTimer(state);
    RemoveObjectFromList(&timerList, &timer->header);
    FreeTimer(state, timer);
    return 0;
}
