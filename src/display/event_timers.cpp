#include "display/event_timers.h"

#include <cstring>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "display/event_dispatch.h"
#include "display/event_sources.h"
#include "platform/os_alloc.h"
#include "platform/os_timer.h"
#include "platform/plugin_api.h"
#include "runtime/applet_version.h"
#include "runtime/object_data.h"
#include "runtime/plugin_manager.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

qzObjectHeader* gIntervals = nullptr;
qzObjectHeader* gTimeouts = nullptr;
const qzPluginInfo* gAdapter = nullptr;
uint32_t gAdapterFlags = 0;

qzIntervalTimer* AsTimer(qzObjectHeader* header) { return reinterpret_cast<qzIntervalTimer*>(header); }

qzIntervalTimer* FindIn(qzObjectHeader* list, const qzObjectId& id, qzObjectHeader** previous) {
    qzObjectHeader* before = nullptr;
    for (qzObjectHeader* h = list; h; before = h, h = h->next) {
        if (SameObjectId(h->id, id)) {
            if (previous) *previous = before;
            return AsTimer(h);
        }
    }
    return nullptr;
}

int NotFound(const qzObjectId& id, int numericError) {
    if (id.pointer) return ERR_FINDARRAY;
    SetErrorArgIndex(id.number);
    return numericError;
}

void Unlink(qzObjectHeader** list, qzIntervalTimer* record) {
    for (qzObjectHeader** link = list; *link; link = &(*link)->next) {
        if (*link == &record->header) {
            *link = record->header.next;
            return;
        }
    }
}

void ReleaseRefs(VmState* state, qzIntervalTimer* record) {
    VmUnref(state, VM_REGISTRYINDEX, record->function);
    VmUnref(state, VM_REGISTRYINDEX, record->userData);
    record->function = -1;
    record->userData = -1;
}

// Steps 6 and 7 of SetInterval / SetTimeout.
int CreateTimer(VmState* state, qzObjectHeader** list, int32_t type, const qzObjectId& id, int32_t ms, int noRefs,
                int function, int userData, qzIntervalTimer** out) {
    // The references are taken first: they belong to the VM's registry, so memory running out
    // while they are made (an error raised through this frame) leaves no record behind.
    int functionRef = -1, userDataRef = -1;
    if (!noRefs) {
        VmPushValue(state, function);
        functionRef = VmRef(state, VM_REGISTRYINDEX);
        if (userData) {
            VmPushValue(state, userData);
            userDataRef = VmRef(state, VM_REGISTRYINDEX);
        }
    }
    auto* record = static_cast<qzIntervalTimer*>(OsAlloc(sizeof(qzIntervalTimer), 1));
    if (!record) {
        if (functionRef != -1) VmUnref(state, VM_REGISTRYINDEX, functionRef);
        if (userDataRef != -1) VmUnref(state, VM_REGISTRYINDEX, userDataRef);
        return ERR_MEM;
    }
    record->function = functionRef;
    record->userData = userDataRef;
    record->milliseconds = ms;
    AddObjectToList(list, &record->header, type, id);

    const int kind = type == QZ_TYPE_INTERVAL ? 0 : 1;
    int error = 0;
    if (gAdapter) {
        record->adapterTimer = gAdapter->RegisterTimer ? gAdapter->RegisterTimer(state, ms, kind) : nullptr;
        if (!record->adapterTimer) error = ERR_TIMER;
    } else {
        error = OsTimerOp(kind == 0 ? QZ_TIMEROP_CREATE_INTERVAL : QZ_TIMEROP_CREATE_TIMEOUT, &record->header.id, ms);
    }
    if (error) {
        ReleaseRefs(state, record);
        Unlink(list, record);
        OsFree(record);
        return error;
    }
    if (out) *out = record;
    return 0;
}

// Stops the record's timer, unlinks and frees it with its references and object data.
void DestroyTimer(VmState* state, qzObjectHeader** list, qzIntervalTimer* record) {
    Unlink(list, record);
    ReleaseRefs(state, record);
    FreeObjectDataList(state, record->header.data);
    record->header.data = nullptr;
    if (gAdapter) {
        StopAdapterTimer(record->adapterTimer);
    } else {
        const int kind = record->header.type == QZ_TYPE_INTERVAL ? QZ_TIMER_INTERVAL : QZ_TIMER_TIMEOUT;
        qzOsTimer* next = nullptr;
        if (const qzOsTimer* timer = OsFindTimer(kind, &record->header.id, &next)) EventSourcesForgetTimer(timer, next);
        OsTimerOp(kind == QZ_TIMER_INTERVAL ? QZ_TIMEROP_DELETE_INTERVAL : QZ_TIMEROP_DELETE_TIMEOUT,
                  &record->header.id, 0);
    }
    OsFree(record);
}

}  // namespace

qzObjectHeader** IntervalListHead() { return &gIntervals; }
qzObjectHeader** TimeoutListHead() { return &gTimeouts; }

int CreateIntervalTimer(VmState* state, const qzObjectId& id, int32_t ms, int noRefs, int function, int userData,
                        qzIntervalTimer** out) {
    return CreateTimer(state, &gIntervals, QZ_TYPE_INTERVAL, id, ms, noRefs, function, userData, out);
}

int CreateTimeoutTimer(VmState* state, const qzObjectId& id, int32_t ms, int function, int userData,
                       qzIntervalTimer** out) {
    return CreateTimer(state, &gTimeouts, QZ_TYPE_TIMEOUT, id, ms, 0, function, userData, out);
}

int FindIntervalById(const qzObjectId& id, qzIntervalTimer** out) {
    *out = FindIn(gIntervals, id, nullptr);
    return *out ? 0 : NotFound(id, ERR_FINDINTERVAL);
}

int FindTimeoutById(const qzObjectId& id, qzIntervalTimer** out) {
    *out = FindIn(gTimeouts, id, nullptr);
    return *out ? 0 : NotFound(id, ERR_FINDTIMEOUT);
}

int ClearIntervalById(VmState* state, const qzObjectId& id) {
    qzIntervalTimer* record;
    int error = FindIntervalById(id, &record);
    if (error) return error;
    DestroyTimer(state, &gIntervals, record);
    return 0;
}

int ClearTimeoutById(VmState* state, const qzObjectId& id) {
    qzIntervalTimer* record;
    int error = FindTimeoutById(id, &record);
    if (error) return error;
    DestroyTimer(state, &gTimeouts, record);
    return 0;
}

int ChangeIntervalPeriod(VmState* state, const qzObjectId& id, int32_t ms) {
    qzIntervalTimer* record;
    int error = FindIntervalById(id, &record);
    if (error) return error;
    if (gAdapter) {
        void* handle = gAdapter->RegisterTimer ? gAdapter->RegisterTimer(state, ms, 0) : nullptr;
        if (!handle) return ERR_TIMER;
        StopAdapterTimer(record->adapterTimer);
        record->adapterTimer = handle;
        return 0;
    }
    return OsTimerOp(QZ_TIMEROP_CHANGE_PERIOD, &record->header.id, ms);
}

int FireInterval(VmState* state, qzIntervalTimer* record, int discard, qzDispatchRecord* dispatch) {
    *dispatch = qzDispatchRecord{};
    dispatch->kind = QZ_DISPATCH_INTERVAL;
    std::strcpy(dispatch->action, "Interval");
    dispatch->id = record->header.id;
    dispatch->function = record->function;
    dispatch->userData = record->userData;
    return DispatchEvent(state, dispatch, discard);
}

int FireTimeout(VmState* state, qzIntervalTimer* record, int discard, qzDispatchRecord* dispatch) {
    *dispatch = qzDispatchRecord{};
    dispatch->kind = QZ_DISPATCH_TIMEOUT;
    std::strcpy(dispatch->action, "Timeout");
    // Everything the dispatch needs is copied before the record goes, the id included.
    dispatch->id = record->header.id;
    dispatch->function = record->function;
    dispatch->userData = record->userData;

    Unlink(&gTimeouts, record);
    FreeObjectDataList(state, record->header.data);
    if (gAdapter) StopAdapterTimer(record->adapterTimer);
    OsFree(record);

    int result = DispatchEvent(state, dispatch, discard);
    VmUnref(state, VM_REGISTRYINDEX, dispatch->function);
    VmUnref(state, VM_REGISTRYINDEX, dispatch->userData);
    return result;
}

int FireTimerById(VmState* state, void* handle) {
    if (!handle) return 0;
    qzDispatchRecord dispatch;
    for (qzObjectHeader* h = gIntervals; h; h = h->next) {
        qzIntervalTimer* record = AsTimer(h);
        if (record->adapterTimer == handle)
            return record->function == -1 ? 0 : FireInterval(state, record, 1, &dispatch);
    }
    for (qzObjectHeader* h = gTimeouts; h; h = h->next) {
        qzIntervalTimer* record = AsTimer(h);
        if (record->adapterTimer == handle) return FireTimeout(state, record, 1, &dispatch);
    }
    return 0;
}

int SetTimerAdapter(qzPluginInfo* plugin, uint32_t flags) {
    if (!CheckAppletVersion(6, 0)) return ERR_OLDAPPLET;
    if (!plugin || !(plugin->capabilities & QZ_PLUGINCAPS_TIMERADAPTER)) return ERR_WRONGUSAGE;
    if (!IsPluginStartupPhase() || (gAdapter && (gAdapterFlags & 1))) return ERR_SETADAPTER;
    gAdapter = plugin;
    gAdapterFlags = flags;
    return 0;
}

const qzPluginInfo* GetTimerAdapter() { return gAdapter; }

void StopAdapterTimer(void* handle) {
    if (gAdapter && handle && gAdapter->FreeTimer) gAdapter->FreeTimer(handle);
}

void FreeAllIntervalTimers(VmState* state) {
    while (gIntervals) DestroyTimer(state, &gIntervals, AsTimer(gIntervals));
    while (gTimeouts) DestroyTimer(state, &gTimeouts, AsTimer(gTimeouts));
    gAdapter = nullptr;
    gAdapterFlags = 0;
}
