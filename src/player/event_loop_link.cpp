#include "player/event_loop_link.h"

#include "base/error_codes.h"
#include "libs/dos/dos.h"
#include "player/display_link.h"
#include "media/sound/audio_channels.h"
#include "media/sound/native_output.h"
#include "platform/host/event_loop.h"
#include "platform/os_timer.h"
#include "runtime/event_queue.h"
#include "runtime/runtime.h"

namespace {

int QuitFlag()
{
    return IsQuitRequested() ? 1 : 0;
}

int WaitForEvents(VmState*, int)
{
    return MacWaitEvents();
}

int TimerPump(VmState* state, int, int* error)
{
    return PumpPlatformEvents(state, error);
}

} // namespace

int PumpPlatformEvents(VmState* state, int* error)
{
    *error = 0;
    int failed = 0;
    int quit = MacHandleEvents(state, &failed);
    if (failed == ERR_USERABORT) {
        SetQuitFlag(1);
        return 1;
    }
    if (failed) {
        *error = failed;
        return 1;
    }
    return quit;
}

void LinkEventLoop()
{
    qzHostHooks host = {};
    host.postEvent = PushEventToQueue;
    host.setQuitFlag = SetQuitFlag;
    host.quitFlag = QuitFlag;
    host.flushPendingRepaints = LinkedFlushPendingRepaints;
    host.refreshDisplay = LinkedRefreshDisplay;
    host.displayUnobstructed = LinkedDisplayUnobstructed;
    host.reopenDisplay = LinkedReopenDisplay;
    host.resizeDisplay = LinkedResizeDisplay;
    host.postAudioEvents = MacPostPendingAudioEvents;
    host.soundHousekeeping = SoundHousekeeping;
    MacSetHostHooks(&host);

    qzEventQueueHooks queue = {};
    queue.displayBlocksSizeEvents = LinkedDisplayBlocksSizeEvents;
    SetEventQueueHooks(&queue);

    qzTimerHooks timer = {};
    timer.wakeMainThread = MacForceEventLoopIteration;
    timer.waitForEvents = WaitForEvents;
    timer.pumpEvents = TimerPump;
    timer.reportUserActivity = MacReportUserActivity;
    OsSetTimerHooks(&timer);

    qzDosEventHooks dos = {};
    dos.pumpEvents = PumpPlatformEvents;
    dos.resetInputState = LinkedResetInputState;
    SetDosEventHooks(&dos);
}

void UnlinkEventLoop()
{
    SetDosEventHooks(nullptr);
    SetEventQueueHooks(nullptr);
    OsSetTimerHooks(nullptr);
    MacSetHostHooks(nullptr);
}
