// CheckEvent and WaitEvent, the handler slots, the machine's controls, the queue's lifetime,
// the quit keys and message ports.
#include <cstring>
#include <string>

#include "base/charset.h"
#include "base/error_codes.h"
#include "display/event_dispatch.h"
#include "display/event_display.h"
#include "display/event_pump.h"
#include "display/event_sources.h"
#include "libs/event/event_lib.h"
#include "platform/display_adapter.h"
#include "platform/host/event_loop.h"
#include "platform/host/platform_hooks.h"
#include "platform/os_timer.h"
#include "runtime/arg_check.h"
#include "runtime/event_queue.h"
#include "runtime/runtime.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Runtime attributes that tell the sound core whether an end handler is installed.
struct EndHandlerAttr {
    int slot;
    uint32_t tag;
};
const EndHandlerAttr kEndHandlerAttrs[] = {
    {QZ_GLOBAL_ONSAMPLELOOP, 12},
    {QZ_GLOBAL_ONSAMPLEEND, 13},
    {QZ_GLOBAL_ONMUSICEND, 18},
    {QZ_GLOBAL_ONVIDEOEND, 23},
};

const int kNetworkSlots[] = {QZ_GLOBAL_ONCONNECT, QZ_GLOBAL_ONDISCONNECT, QZ_GLOBAL_ONRECEIVEDATA,
                             QZ_GLOBAL_ONRECEIVEUDPDATA};

bool AnyNetworkHandler() {
    for (int slot : kNetworkSlots)
        if (HasGlobalHandler(slot)) return true;
    return false;
}

// One slot's entry in the argument table: absent (0), clear (1) or set (2); -1 for a wrong value.
int EntryKind(VmState* state, int table, const char* name) {
    VmPushString(state, name);
    VmGetTable(state, table);
    int type = VmType(state, -1);
    int kind = -1;
    if (type == VM_TNIL) {
        kind = 0;
    } else if (type == VM_TNUMBER || (type == VM_TBOOLEAN && !VmToBoolean(state, -1))) {
        kind = 1;
    } else if (type == VM_TFUNCTION) {
        kind = 2;
    }
    VmPop(state, 1);
    return kind;
}

// Sets or clears one slot from the table entry; `userData` is the stack index of the second
// argument, or 0.
void ApplyEntry(VmState* state, int table, const char* name, int userData, qzHandlerSlot* slot) {
    int kind = EntryKind(state, table, name);
    if (kind <= 0) return;
    VmUnref(state, VM_REGISTRYINDEX, slot->function);
    slot->function = -1;
    if (kind == 2) {
        VmPushString(state, name);
        VmGetTable(state, table);
        slot->function = VmRef(state, VM_REGISTRYINDEX);
    }
    if (userData) {
        VmUnref(state, VM_REGISTRYINDEX, slot->userData);
        VmPushValue(state, userData);
        slot->userData = VmRef(state, VM_REGISTRYINDEX);
    } else if (kind == 1) {
        VmUnref(state, VM_REGISTRYINDEX, slot->userData);
        slot->userData = -1;
    }
}

// The lower-cased key a plugin type's handler is installed under.
std::string FoldedName(const char* name) {
    std::string folded = name;
    for (char& c : folded) c = static_cast<char>(ToLowerChar(static_cast<unsigned char>(c)));
    return folded;
}

bool FlagArgument(VmState* state, int index) {
    if (VmType(state, index) == VM_TBOOLEAN) return VmToBoolean(state, index) != 0;
    return VmCheckNumber(state, index) != 0;
}

int QuitOption(VmState* state, int option) {
    VmCheckArgCount(state, 1, 1, 0, 0);
    MacSetQuitOption(EventCurrentDisplay(), option, FlagArgument(state, 1) ? 1 : 0);
    return 0;
}

}  // namespace

int EvCheckEvent(VmState* state) {
    const qzDisplayAdapter* adapter = GetDisplayAdapter();
    if (adapter && adapter->plugin) {
        int error = 0;
        if (PumpEvents(state, QZ_PUMP_CHECKEVENT, &error)) return error ? error : ERR_USERABORT;
    }
    return CheckEventsCore(state, 0, 0, nullptr);
}

int EvWaitEvent(VmState* state) { return CheckEventsCore(state, 1, 0, nullptr); }

int EvInstallEventHandler(VmState* state) {
    VmCheckTable(state, 1);
    const int userData = VmGetTop(state) >= 2 ? 2 : 0;
    qzDisplay* display = EventCurrentDisplay();

    // Every entry is checked before any slot changes.
    for (const qzHandlerName& h : qzDisplayHandlerNames)
        if (EntryKind(state, 1, h.installName) < 0) return ERR_FUNCEXPECTED;
    for (const qzHandlerName& h : qzGlobalHandlerNames)
        if (EntryKind(state, 1, h.installName) < 0) return ERR_FUNCEXPECTED;
    for (qzPluginEventType* t = FirstPluginEventType(); t; t = t->next)
        if (EntryKind(state, 1, FoldedName(t->name).c_str()) < 0) return ERR_FUNCEXPECTED;

    const bool networkBefore = AnyNetworkHandler();
    int endBefore[4];
    for (int i = 0; i < 4; i++) endBefore[i] = HasGlobalHandler(kEndHandlerAttrs[i].slot);

    int dropChanged = 0, clipboardChanged = 0;
    if (display) {
        qzHandlerSlot* slots = EventDisplaySlots(display);
        dropChanged = EntryKind(state, 1, "ondropfile") != 0;
        clipboardChanged = EntryKind(state, 1, "clipboardchange") != 0;
        for (int i = 0; i < QZ_DISPLAY_HANDLER_COUNT; i++)
            ApplyEntry(state, 1, qzDisplayHandlerNames[i].installName, userData, &slots[i]);
    }
    qzHandlerSlot* globals = GlobalHandlerSlots();
    for (int i = 0; i < QZ_GLOBAL_HANDLER_COUNT; i++)
        ApplyEntry(state, 1, qzGlobalHandlerNames[i].installName, userData, &globals[i]);
    for (qzPluginEventType* t = FirstPluginEventType(); t; t = t->next) {
        qzHandlerSlot slot{t->function, t->userData};
        ApplyEntry(state, 1, FoldedName(t->name).c_str(), userData, &slot);
        t->function = slot.function;
        t->userData = slot.userData;
    }

    if (display) {
        int error = EventHandlersChanged(display, dropChanged, clipboardChanged);
        if (error) return error;
    }
    const bool networkAfter = AnyNetworkHandler();
    if (!networkBefore && networkAfter) {
        int error = OsStartSharedTick(state, 1);
        if (error) return error;
    } else if (networkBefore && !networkAfter) {
        OsStopSharedTick(state, 1);
    }
    for (int i = 0; i < 4; i++) {
        const int present = HasGlobalHandler(kEndHandlerAttrs[i].slot);
        if (present != endBefore[i] || present) SetRuntimeAttrs(state, {{kEndHandlerAttrs[i].tag, present}});
    }
    return 0;
}

int EvBreakEventHandler(VmState* state) {
    BreakEventSources(state);
    return 0;
}

int EvSetEventTimeout(VmState* state) {
    int32_t ms = VmCheckInteger(state, 1);
    SetEventLifetime(ms);
    return 0;
}

int EvFreeEventCache(VmState* state) {
    DropQueuedEvents(state, -1, 1);
    return 0;
}

int EvLeftMouseQuit(VmState* state) { return QuitOption(state, QZ_QUIT_LEFTMOUSE); }
int EvEscapeQuit(VmState* state) { return QuitOption(state, QZ_QUIT_ESCAPE); }
int EvCtrlCQuit(VmState* state) { return QuitOption(state, QZ_QUIT_CTRLC); }

int EvCreatePort(VmState* state) {
    size_t length = 0;
    const char* name = VmCheckString(state, 1, &length);
    if (length > 127) return ERR_WRONGUSAGE;
    return MacCreatePort(name);
}

int EvSendMessage(VmState* state) {
    const char* port = VmCheckString(state, 1);
    const char* command = VmCheckString(state, 2);
    if (!*command || std::strchr(command, ' ')) return ERR_WRONGUSAGE;
    std::string message = command;
    for (int i = 3, top = VmGetTop(state); i <= top; i++) {
        size_t length = 0;
        const char* argument = VmCheckString(state, i, &length);
        message += " \"";
        message.append(argument, length);
        message += '"';
    }
    return MacSendMessage(port, message.c_str());
}
