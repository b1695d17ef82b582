// Events that a display-adapter plugin or a plugin event type reports.
#include "base/error_codes.h"
#include "display/event_pump.h"
#include "display/event_sources.h"
#include "platform/host/event_loop.h"
#include "platform/os_alloc.h"
#include "runtime/event_queue.h"

int TranslateAdapterEvent(VmState*, int type, void* data) {
    int result = 0;
    if (type >= 28) {
        if (PushEventToQueue(nullptr, type, 0, 0, 0, data) != 1) result = ERR_ADDSYSEVENT;
    } else if (type == 0) {
        RequestQuit();
    } else if (type == 1) {
        const auto* event = static_cast<const qzAdapterCallEvent*>(data);
        auto* call = static_cast<qzQueuedCall*>(OsAlloc(sizeof(qzQueuedCall), 1));
        if (!event || !call) {
            OsFree(call);
            result = ERR_ADDSYSEVENT;
        } else {
            call->function = event->function;
            call->argument = event->argument;
            if (PushEventToQueue(nullptr, 24, 0, 0, 0, call) != 1) {
                OsFree(call);
                result = ERR_ADDSYSEVENT;
            }
        }
    } else if (type >= 3 && type <= 9) {
        result = ERR_FINDDISPLAY;
    }
    MacForceEventLoopIteration();
    return result;
}
