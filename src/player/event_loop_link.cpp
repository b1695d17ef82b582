#include "player/event_loop_link.h"

#include "base/error_codes.h"
#include "display/display_adapter_calls.h"
#include "display/event_dispatch.h"
#include "display/event_pump.h"
#include "display/event_timers.h"
#include "libs/system/system.h"
#include "media/sound/audio_channels.h"
#include "media/sound/native_output.h"
#include "net/net_state.h"
#include "platform/host/event_loop.h"
#include "platform/os_ticker.h"
#include "platform/os_time.h"
#include "platform/os_timer.h"
#include "player/display_link.h"
#include "runtime/event_queue.h"
#include "runtime/runtime.h"
#include "vm/vm.h"
#include "vm/vm_runtime_link.h"

namespace {

// The line hook's pump runs at most this often.
constexpr uint64_t kLineHookPeriodUs = 10000;
uint64_t gLastLinePump = 0;

int QuitFlag() { return IsQuitRequested() ? 1 : 0; }

int TimerWait(VmState* state, int flag) { return WaitForEvents(state, flag); }

int TimerPump(VmState* state, int flags, int* error) { return PumpEvents(state, flags, error); }

// The shared 20-ms tick is the only interval the timer service makes itself: it has no script
// function and only wakes the event loop.
int CreateTick(VmState* state, const qzObjectId* id, int32_t ms, int) {
    return CreateIntervalTimer(state, *id, ms, 1, 0, 0, nullptr);
}

int ClearTick(VmState* state, const qzObjectId* id) { return ClearIntervalById(state, *id); }

// An entry chosen on a window's menu bar becomes its display's menu event.
void MenuSelected(qzDisplay* display, const std::string& id, int32_t selected) {
    PostMenuSelectEvent(display, id.c_str(), selected);
}

}  // namespace

int PumpForWaits(VmState* state, int* error) { return PumpEvents(state, QZ_PUMP_WAIT, error); }

void ServiceEventsHook(VmState* state, VmDebug*) {
    if (IsLineHookDisabled()) return;
    const uint64_t now = OsMonotonicMicrosCoarse();
    if (now - gLastLinePump < kLineHookPeriodUs) return;
    gLastLinePump = now;
    int error = 0;
    if (PumpEvents(state, QZ_PUMP_HOOKS, &error) && error) VmRaiseError(state, error);
}

void InstallLineHook(VmState* state) {
    gLastLinePump = 0;
    VmSetHook(state, ServiceEventsHook, VM_MASKLINE, 0);
    // The hook is paced by a ticker at half its period: between ticks scripts run at full speed.
    // Without a ticker thread every line start calls it.
    vmRuntime.lineHookDue.store(1);
    vmRuntime.lineHookPaced = OsStartTicker(&vmRuntime.lineHookDue, kLineHookPeriodUs / 2000) == 0;
}

void RemoveLineHook(VmState* state) {
    OsStopTicker();
    vmRuntime.lineHookPaced = false;
    vmRuntime.lineHookDue.store(0);
    if (state) VmSetHook(state, nullptr, 0, 0);
}

void LinkEventLoop() {
    qzHostHooks host = {};
    host.postEvent = PushEventToQueue;
    host.setQuitFlag = SetQuitFlag;
    host.quitFlag = QuitFlag;
    host.flushPendingRepaints = LinkedFlushPendingRepaints;
    host.refreshDisplay = LinkedRefreshDisplay;
    host.displayUnobstructed = LinkedDisplayUnobstructed;
    host.reopenDisplay = LinkedReopenDisplay;
    host.resizeDisplay = LinkedResizeDisplay;
    host.menuSelected = MenuSelected;
    host.postAudioEvents = MacPostPendingAudioEvents;
    host.soundHousekeeping = SoundHousekeeping;
    // With a display-adapter plugin, a wake-up of the main thread is the plugin's to deliver.
    host.adapterWake = ForceAdapterEventLoopIteration;
    SetHostHooks(&host);

    qzEventQueueHooks queue = {};
    queue.displayBlocksSizeEvents = LinkedDisplayBlocksSizeEvents;
    queue.freeEventData = FreeEventData;
    SetEventQueueHooks(&queue);

    qzTimerHooks timer = {};
    timer.wakeMainThread = MacForceEventLoopIteration;
    timer.waitForEvents = TimerWait;
    timer.pumpEvents = TimerPump;
    timer.createIntervalTimer = CreateTick;
    timer.clearIntervalById = ClearTick;
    timer.reportUserActivity = ReportUserActivity;
    OsSetTimerHooks(&timer);

    SetNetEventPump(PumpForWaits);
}

void UnlinkEventLoop() {
    RemoveLineHook(nullptr);
    SetNetEventPump(nullptr);
    SetEventQueueHooks(nullptr);
    OsSetTimerHooks(nullptr);
    SetHostHooks(nullptr);
}
