#include "display/event_pump.h"

#include <cstring>

#include "base/error_codes.h"
#include "display/display_adapter_calls.h"
#include "display/event_dispatch.h"
#include "display/event_sources.h"
#include "media/sound/audio_channels.h"
#include "platform/display_adapter.h"
#include "platform/host/event_loop.h"
#include "platform/os_alloc.h"
#include "platform/os_lock.h"
#include "platform/os_time.h"
#include "runtime/event_queue.h"
#include "runtime/option_table.h"
#include "runtime/runtime.h"
#include "vm/vm.h"

namespace {

// The periodic expiry of old queued events.
constexpr uint64_t kExpiryPeriodUs = 10ull * 1000000u;
uint64_t gLastExpiry = 0;

// Whether an event is queued (the wait is skipped then).
bool QueuePending(VmState* state) {
    qzMutex* mutex = GetEventQueueMutex();
    if (!mutex) return false;
    qzMutexLock lock(mutex);
    qzPeekedEvent event;
    return PeekQueuedEvent(state, 0, &event, 0) != 0;
}

}  // namespace

void StampEventExpiry() { gLastExpiry = OsMonotonicMicros(); }

int PumpEvents(VmState* state, int flags, int* error) {
    *error = 0;
    SoundHousekeeping();
    if (flags & QZ_PUMP_HOOKS) {
        int hook = RunPluginHooks(state, 1);
        if (hook) {
            *error = hook;
            return 1;
        }
        const uint64_t now = OsMonotonicMicros();
        if (now - gLastExpiry >= kExpiryPeriodUs) {
            ExpireQueuedEvents(state);
            gLastExpiry = now;
        }
    }
    int result = 0;
    const qzPluginInfo* plugin = DisplayAdapterPlugin();
    if (plugin && plugin->HandleEvents) {
        result = plugin->HandleEvents(
            state, static_cast<uint32_t>(flags & (QZ_PUMP_WAIT | QZ_PUMP_CHECKEVENT | QZ_PUMP_WAITEVENT)));
    } else if (!plugin) {
        int failed = 0;
        int quit = MacHandleEvents(state, &failed);
        result = failed ? failed : (quit ? ERR_USERABORT : 0);
    }
    if (result == ERR_USERABORT) {
        SetQuitFlag(1);
        return 1;
    }
    if (result) {
        *error = result;
        return 1;
    }
    return IsQuitRequested() ? 1 : 0;
}

int WaitForEvents(VmState* state, int flags) {
    (void)flags;
    const qzPluginInfo* plugin = DisplayAdapterPlugin();
    if (plugin) {
        if (plugin->WaitEvents) plugin->WaitEvents(state, nullptr);
        return 0;
    }
    MacWaitEvents();
    return 0;
}

int CheckEventsCore(VmState* state, int wait, int noTable, int* nothing) {
    if (nothing) *nothing = 0;
    if (GetCallbackDepth() != 0) return ERR_WRONGUSAGE;
    const int base = VmGetTop(state);
    qzDispatchRecord record;
    const bool fullCycle = EventSourceState()->state == QZ_SOURCE_NEWCYCLE;
    int result = RunEventSources(state, 0, 0, &record);
    if (wait && result == 0 && record.kind == QZ_DISPATCH_NONE && !fullCycle) {
        // Only a whole cycle that found nothing may wait: a timer that fired before the part
        // of the cycle just run would otherwise wait for the next event.
        result = RunEventSources(state, 0, 0, &record);
    }
    while (wait && result == 0 && record.kind == QZ_DISPATCH_NONE) {
        if (!QueuePending(state)) {
            int waited = WaitForEvents(state, 1);
            if (waited) return waited;
        }
        int error = 0;
        if (PumpEvents(state, QZ_PUMP_WAITEVENT, &error)) return error ? error : ERR_USERABORT;
        result = RunEventSources(state, 0, 0, &record);
    }
    if (result == -1) return VM_RESULT_LABEL_JUMP;
    if (result != 0) {
        VmSetTop(state, base);
        OsFree(record.reply);
        return result;
    }
    OsFree(record.reply);
    record.reply = nullptr;

    const bool ran = record.kind != QZ_DISPATCH_NONE && record.kind != QZ_DISPATCH_LABEL &&
                     !(record.kind == QZ_DISPATCH_PLUGIN && record.eventType && record.eventType->mode == 1);
    if (noTable) {
        VmSetTop(state, base);
        if (nothing) *nothing = ran ? 0 : 1;
        return 0;
    }
    if (!ran) {
        VmSetTop(state, base);
        VmNewTable(state);
        SetTableFieldString(state, "action", "");
        SetTableFieldInt(state, "id", 0);
        SetTableFieldInt(state, "nresults", 0);
        SetTableFieldInt(state, "triggered", 0);
        return 1;
    }
    // The handler's own table, then its results.
    const int table = base + 1;
    const int results = VmGetTop(state) - table;
    VmCheckStack(state, 4);
    if (results > 0) {
        VmPushString(state, "results");
        VmCreateTable(state, results, 0);
        for (int i = 0; i < results; i++) {
            VmPushValue(state, table + 1 + i);
            VmRawSetI(state, -2, i);
        }
        VmSetTable(state, table);
    }
    VmSetTop(state, table);
    SetTableFieldString(state, "action", record.action);
    if (record.idPresent) {
        SetTableFieldObjectId(state, "id", record.resultId);
    } else {
        SetTableFieldInt(state, "id", 0);
    }
    SetTableFieldInt(state, "nresults", results);
    SetTableFieldInt(state, "triggered", 1);
    return 1;
}

void RequestQuit() {
    SetQuitFlag(1);
    PushEventToQueue(nullptr, 23, 0, 0, 0, nullptr);
}

int PostMenuSelectEvent(qzDisplay* display, const char* item, int32_t selected) {
    const char* text = item ? item : "";
    size_t length = std::strlen(text);
    char* copy = static_cast<char*>(OsAlloc(length + 1, 0));
    if (!copy) return ERR_ADDSYSEVENT;
    std::memcpy(copy, text, length + 1);
    if (PushEventToQueue(display, QZ_EVENT_MENUSELECT, 0, 0, selected, copy) != 1) {
        OsFree(copy);
        return ERR_ADDSYSEVENT;
    }
    MacForceEventLoopIteration();
    return 0;
}
