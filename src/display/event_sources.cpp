#include "display/event_sources.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/error_codes.h"
#include "base/event_types.h"
#include "display/event_buttons.h"
#include "display/event_dispatch.h"
#include "display/event_display.h"
#include "display/event_labels.h"
#include "display/event_timers.h"
#include "media/sound/sound_events.h"
#include "net/net_events.h"
#include "platform/display_adapter.h"
#include "platform/host/platform_hooks.h"
#include "platform/os_alloc.h"
#include "platform/os_lock.h"
#include "platform/os_timer.h"
#include "runtime/event_queue.h"

namespace {

qzEventSourceState gState = {};

// The sources in the order a cycle visits them.
enum Source {
    SRC_TIMERS,
    SRC_ENDEVENTS,
    SRC_MOUSEMOVES,
    SRC_UDP,
    SRC_CONNECT,
    SRC_DATA,
    SRC_DISCONNECT,
    SRC_PORT,
    SRC_LABELS,
    SRC_QUEUE,
    SRC_OVEROUT,
    SRC_DONE,
};

// A source's answer when it found nothing and the walk goes on.
constexpr int kGoOn = INT_MIN;

// What a network source's handler and table are.
struct NetSource {
    int source;
    int globalSlot;
    int32_t state;
    int32_t kind;
};
const NetSource kNetSources[] = {
    {QZ_NET_SOURCE_UDP, QZ_GLOBAL_ONRECEIVEUDPDATA, QZ_SOURCE_UDP, QZ_DISPATCH_UDP},
    {QZ_NET_SOURCE_CONNECT, QZ_GLOBAL_ONCONNECT, QZ_SOURCE_CONNECT, QZ_DISPATCH_CONNECT},
    {QZ_NET_SOURCE_DATA, QZ_GLOBAL_ONRECEIVEDATA, QZ_SOURCE_DATA, QZ_DISPATCH_RECEIVE},
    {QZ_NET_SOURCE_DISCONNECT, QZ_GLOBAL_ONDISCONNECT, QZ_SOURCE_DISCONNECT, QZ_DISPATCH_DISCONNECT},
};

// The display slot and dispatch kind of a queue event's second pass (types 4 and up); -1 for none.
int SecondPassSlot(int32_t type) {
    switch (type) {
    case QZ_EVENT_CLOSEWINDOW: return QZ_HANDLER_CLOSEWINDOW;
    case QZ_EVENT_MOVEWINDOW: return QZ_HANDLER_MOVEWINDOW;
    case QZ_EVENT_SIZEWINDOW: return QZ_HANDLER_SIZEWINDOW;
    case QZ_EVENT_ACTIVEWINDOW: return QZ_HANDLER_ACTIVEWINDOW;
    case QZ_EVENT_INACTIVEWINDOW: return QZ_HANDLER_INACTIVEWINDOW;
    case QZ_EVENT_HIDEWINDOW: return QZ_HANDLER_HIDEWINDOW;
    case QZ_EVENT_SHOWWINDOW: return QZ_HANDLER_SHOWWINDOW;
    case QZ_EVENT_MODESWITCH: return QZ_HANDLER_MODESWITCH;
    case QZ_EVENT_DROPFILE: return QZ_HANDLER_ONDROPFILE;
    case QZ_EVENT_CLIPBOARD: return QZ_HANDLER_CLIPBOARDCHANGE;
    case 17: return 21;  // orientation
    case 18: return 22;  // show keyboard
    case 19: return 23;  // hide keyboard
    case 20: return 24;  // hot key
    case 21: return 25;  // tray icon
    case 22: return 26;  // touch
    case 25: return 27;  // application message
    case QZ_EVENT_MENUSELECT: return 28;
    case 27: return 29;  // docky click
    default: return -1;
    }
}

// The display slot of a queue event's first pass (mouse buttons and wheel); -1 for none.
int FirstPassSlot(int32_t type, int32_t pressed) {
    switch (type) {
    case QZ_EVENT_LEFTMOUSE: return pressed ? QZ_HANDLER_ONMOUSEDOWN : QZ_HANDLER_ONMOUSEUP;
    case QZ_EVENT_RIGHTMOUSE: return pressed ? QZ_HANDLER_ONRIGHTMOUSEDOWN : QZ_HANDLER_ONRIGHTMOUSEUP;
    case QZ_EVENT_MIDMOUSE: return pressed ? QZ_HANDLER_ONMIDMOUSEDOWN : QZ_HANDLER_ONMIDMOUSEUP;
    case QZ_EVENT_WHEELUP: return QZ_HANDLER_ONWHEELUP;
    case QZ_EVENT_WHEELDOWN: return QZ_HANDLER_ONWHEELDOWN;
    default: return -1;
    }
}

// Which mouse button (0 left, 1 right, 2 middle) a button event is about; -1 for other types.
int MouseButtonOf(int32_t type) {
    switch (type) {
    case QZ_EVENT_LEFTMOUSE: return 0;
    case QZ_EVENT_RIGHTMOUSE: return 1;
    case QZ_EVENT_MIDMOUSE: return 2;
    default: return -1;
    }
}

// Holds the queue mutex from the expiry until it is released (always before script code runs).
struct QueueLock {
    qzMutex* mutex = nullptr;
    void Take(VmState* state) {
        ExpireQueuedEvents(state);
        mutex = GetEventQueueMutex();
        if (mutex) OsLockMutex(mutex);
    }
    void Release() {
        if (mutex) OsUnlockMutex(mutex);
        mutex = nullptr;
    }
    ~QueueLock() { Release(); }
};

int TimerSource(VmState* state, int discard, qzDispatchRecord* record, bool resume) {
    qzEventSourceState& s = gState;
    if (!resume) {
        s.timerCursor = nullptr;
        s.timerWalkDone = 0;
    }
    while (!s.timerWalkDone) {
        int kind = QZ_TIMER_NONE_FIRED;
        qzObjectId id = {0, nullptr};
        qzOsTimer* next = OsNextFiredTimer(s.timerCursor, &kind, &id);
        s.timerCursor = next;
        if (!next) s.timerWalkDone = 1;
        qzIntervalTimer* timer = nullptr;
        if (kind == QZ_TIMER_INTERVAL && FindIntervalById(id, &timer) == 0 && timer->function != -1) {
            s.state = QZ_SOURCE_TIMERS;
            return FireInterval(state, timer, discard, record);
        }
        if (kind == QZ_TIMER_TIMEOUT && FindTimeoutById(id, &timer) == 0) {
            s.state = QZ_SOURCE_TIMERS;
            return FireTimeout(state, timer, discard, record);
        }
    }
    return kGoOn;
}

int EndEventSource(VmState* state, int discard, qzDispatchRecord* record) {
    if (!HasGlobalHandler(QZ_GLOBAL_ONSAMPLELOOP) && !HasGlobalHandler(QZ_GLOBAL_ONSAMPLEEND) &&
        !HasGlobalHandler(QZ_GLOBAL_ONMUSICEND) && !HasGlobalHandler(QZ_GLOBAL_ONVIDEOEND))
        return kGoOn;
    int32_t event = 0, time = 0, starts = 0;
    qzObjectId object = {0, nullptr};
    while (PopSoundEvent(&event, &object, &time, &starts)) {
        int slot = event == 5   ? QZ_GLOBAL_ONSAMPLEEND
                   : event == 6 ? QZ_GLOBAL_ONSAMPLELOOP
                   : event == 7 ? QZ_GLOBAL_ONMUSICEND
                   : event == 8 ? QZ_GLOBAL_ONVIDEOEND
                                : -1;
        if (slot < 0 || !HasGlobalHandler(slot)) continue;  // dropped
        const qzHandlerSlot& handler = GlobalHandlerSlots()[slot];
        *record = qzDispatchRecord{};
        record->kind = QZ_DISPATCH_SOUNDEND;
        std::strcpy(record->action, qzGlobalHandlerNames[slot].action);
        record->function = handler.function;
        record->userData = handler.userData;
        record->id = object;
        record->time = time;
        record->starts = starts;
        gState.state = QZ_SOURCE_ENDEVENTS;
        return DispatchEvent(state, record, discard);
    }
    return kGoOn;
}

int MouseMoveSource(VmState* state, int discard, qzDispatchRecord* record, bool resume) {
    qzEventSourceState& s = gState;
    if (!resume) s.displayCursor = EventFirstDisplay();
    while (qzDisplay* display = s.displayCursor) {
        s.displayCursor = EventNextDisplay(display);
        const qzHandlerSlot& slot = EventDisplaySlots(display)[QZ_HANDLER_ONMOUSEMOVE];
        if (slot.function == -1 || !EventMouseMoved(display)) continue;
        *record = qzDispatchRecord{};
        FillDispatchFromSlot(slot, QZ_DISPATCH_MOUSEMOVE, "OnMouseMove", display, nullptr, 0, nullptr, record);
        s.state = QZ_SOURCE_MOUSEMOVES;
        return DispatchEvent(state, record, discard);
    }
    return kGoOn;
}

int NetSourceStep(VmState* state, int discard, qzDispatchRecord* record, const NetSource& source) {
    if (!HasGlobalHandler(source.globalSlot)) return kGoOn;
    qzNetEvent event = {};
    if (!NextNetEvent(source.source, &event)) return kGoOn;
    if (event.error) {
        // The walk stands past the object, so the next step goes on with the one after it.
        gState.state = source.state;
        return event.error;
    }
    const qzHandlerSlot& handler = GlobalHandlerSlots()[source.globalSlot];
    *record = qzDispatchRecord{};
    record->kind = source.kind;
    std::strcpy(record->action, qzGlobalHandlerNames[source.globalSlot].action);
    record->function = handler.function;
    record->userData = handler.userData;
    if (source.source == QZ_NET_SOURCE_CONNECT) {
        record->server = event.object;
        record->client = {0, event.client};
    } else {
        record->id = event.object;
    }
    gState.state = source.state;
    return DispatchEvent(state, record, discard);
}

int PortSource(VmState* state, int discard, qzDispatchRecord* record) {
    while (char* message = PollPortMessage()) {
        if (!HasGlobalHandler(QZ_GLOBAL_ONUSERMESSAGE)) {
            OsFree(message);
            continue;
        }
        const qzHandlerSlot& handler = GlobalHandlerSlots()[QZ_GLOBAL_ONUSERMESSAGE];
        *record = qzDispatchRecord{};
        record->kind = QZ_DISPATCH_MESSAGE;
        std::strcpy(record->action, "OnUserMessage");
        record->function = handler.function;
        record->userData = handler.userData;
        record->command = message + std::strlen(message) + 1;  // behind the port name
        gState.state = QZ_SOURCE_PORTMESSAGES;
        // The message goes also when the dispatch raises the VM's out-of-memory error.
        const std::unique_ptr<char, void (*)(void*)> owner(message, OsFree);
        int result = DispatchEvent(state, record, discard);
        record->command = nullptr;
        return result;
    }
    return kGoOn;
}

// The event's position in picture coordinates of the current display.
void PicturePosition(int32_t x, int32_t y, int32_t* px, int32_t* py) {
    if (qzDisplay* current = EventCurrentDisplay()) {
        EventToPictureCoordinates(current, x, y, px, py);
    } else {
        *px = x;
        *py = y;
    }
}

int LabelSource(VmState* state, qzDispatchRecord* record) {
    if (!FirstLabelRecord()) return kGoOn;
    QueueLock lock;
    lock.Take(state);
    qzPeekedEvent event;
    for (int index = 0; PeekQueuedEvent(state, index, &event, 0); index++) {
        int32_t pressed = 0, x = 0, y = 0;
        uint32_t code = 0;
        char keyName[32] = "";
        if (MouseButtonOf(event.type) >= 0) {
            pressed = event.params[2];
            PicturePosition(event.params[0], event.params[1], &x, &y);
        } else if (event.type == QZ_EVENT_KEY) {
            pressed = event.params[0];
            code = static_cast<uint32_t>(event.extra2);
            LabelKeyName(code, keyName);
        }
        for (qzKeyDown* r = FirstLabelRecord(); r; r = r->next) {
            char name[32];
            LabelForEvent(r, event.type, pressed, x, y, keyName, code, name);
            if (name[0] && JumpToLabel(state, name)) {
                DropQueuedEvents(state, index, 0);
                lock.Release();
                gState.state = QZ_SOURCE_NEWCYCLE;
                *record = qzDispatchRecord{};
                record->kind = QZ_DISPATCH_LABEL;
                return -1;
            }
        }
    }
    return kGoOn;
}

// Frees the data of the event taken from the queue when it goes: after its second pass, also
// when that raises the VM's out-of-memory error (the next event taken would overwrite the data).
struct TakenEventData {
    VmState* state;
    qzSourceEvent* event;
    ~TakenEventData() {
        FreeEventData(state, event->type, event->data);
        event->data = nullptr;
    }
};

// Dispatches a queue event's record: the state moves to the next event, the mutex is released,
// and the event's data is freed after the call.
int DispatchQueued(VmState* state, QueueLock& lock, int discard, qzDispatchRecord* record) {
    qzEventSourceState& s = gState;
    s.state = QZ_SOURCE_QUEUE;
    s.eventPending = 0;
    lock.Release();
    const TakenEventData taken{state, &s.event};
    return DispatchEvent(state, record, discard);
}

// The buttons of the display's picture under the event's position (second pass of 1, 2, 16).
bool ButtonRecord(VmState* state, const qzSourceEvent& event, qzDispatchRecord* record) {
    qzDisplay* display = event.display;
    qzBGPic* pic = EventDisplayPicture(display);
    if (!pic) return false;
    const int which = MouseButtonOf(event.type);
    const bool pressed = event.params[2] != 0;
    qzBGPicButton* counting = nullptr;
    int handler = -1;
    for (qzBGPicButton* b = *EventPictureButtons(pic); b; b = b->next) {
        if (!IsButtonActive(b) || !HitTestButton(state, display, event.params[0], event.params[1], b)) continue;
        if (pressed) {
            b->pressed[which] = 1;
            handler = QZ_BUTTON_ONMOUSEDOWN + 2 * which;
        } else {
            if (!b->pressed[which]) continue;
            b->pressed[which] = 0;
            handler = QZ_BUTTON_ONMOUSEUP + 2 * which;
        }
        counting = b;
        break;
    }
    if (!counting) {
        if (!pressed) {
            for (qzBGPicButton* b = *EventPictureButtons(pic); b; b = b->next)
                if (IsButtonActive(b)) b->pressed[which] = 0;
        }
        return false;
    }
    if (counting->handlers[handler] == -1) return false;
    *record = qzDispatchRecord{};
    record->kind = QZ_DISPATCH_BUTTON;
    record->display = display;
    record->bgpic = pic;
    record->button = counting;
    record->function = counting->handlers[handler];
    record->userData = counting->userData;
    std::strcpy(record->action, qzButtonActionNames[handler]);
    return true;
}

// The second pass of the event in gState.event: whether a record was filled.
bool SecondPassRecord(VmState* state, qzDispatchRecord* record) {
    const qzSourceEvent& event = gState.event;
    *record = qzDispatchRecord{};
    if (event.type >= QZ_EVENT_FIRSTPLUGIN) {
        qzPluginEventType* type = FindPluginEventType(event.type);
        if (!type || (type->mode != 1 && type->function == -1)) return false;
        record->kind = QZ_DISPATCH_PLUGIN;
        record->function = type->function;
        record->userData = type->userData;
        record->eventType = type;
        record->typeData = event.data;
        std::strcpy(record->action, type->name);
        return true;
    }
    if (!event.display) return false;
    if (MouseButtonOf(event.type) >= 0) return ButtonRecord(state, event, record);
    qzHandlerSlot* slots = EventDisplaySlots(event.display);
    if (event.type == QZ_EVENT_KEY) {
        const int slot = event.params[0] ? QZ_HANDLER_ONKEYDOWN : QZ_HANDLER_ONKEYUP;
        if (!FillDispatchFromSlot(slots[slot], QZ_DISPATCH_KEY, qzDisplayHandlerNames[slot].action, event.display,
                                  event.params, event.keyCode, event.data, record))
            return false;
        KeyCodeName(event.keyCode, record->key);
        return true;
    }
    const int slot = SecondPassSlot(event.type);
    if (slot < 0) return false;
    const qzHandlerName& name = qzDisplayHandlerNames[slot];
    return FillDispatchFromSlot(slots[slot], name.kind, name.action, event.display, event.params, event.keyCode,
                                event.data, record) != 0;
}

// The queue source: state 6 (next event) or 5 (second pass of the event taken before).
int QueueSource(VmState* state, int discard, qzDispatchRecord* record) {
    qzEventSourceState& s = gState;
    QueueLock lock;
    lock.Take(state);
    for (;;) {
        if (s.eventPending) {
            s.eventPending = 0;
            if (SecondPassRecord(state, record)) return DispatchQueued(state, lock, discard, record);
            FreeEventData(state, s.event.type, s.event.data);
            s.event.data = nullptr;
        }

        qzPeekedEvent peeked;
        if (!PeekQueuedEvent(state, 0, &peeked, 1)) break;
        DropQueuedEvents(state, 0, 0);
        qzSourceEvent& event = s.event;
        event.display = peeked.display;
        event.type = peeked.type;
        event.data = peeked.userdata;
        event.keyCode = 0;
        if (peeked.type == QZ_EVENT_KEY) {
            event.params[0] = peeked.params[0];
            event.params[1] = peeked.extra1;
            event.params[2] = peeked.extra2;
            event.keyCode = static_cast<uint32_t>(peeked.extra2);
        } else {
            for (int i = 0; i < 3; i++) event.params[i] = peeked.params[i];
        }

        if (event.type == 23) {
            lock.Release();
            FreeEventData(state, event.type, event.data);
            event.data = nullptr;
            return ERR_USERABORT;
        }
        if (event.type == 24) {
            // A function that the display adapter wants called on this thread.
            auto* call = static_cast<qzQueuedCall*>(event.data);
            lock.Release();
            int result = call && call->function ? call->function(call->argument) : 0;
            FreeEventData(state, event.type, event.data);
            event.data = nullptr;
            if (result) return result;
            lock.Take(state);
            continue;
        }
        if (event.type == QZ_EVENT_MODESWITCH && event.display && GetDisplayAdapter() && GetDisplayAdapter()->plugin) {
            lock.Release();
            int error = EventReopenToggled(state, event.display);
            if (error) {
                FreeEventData(state, event.type, event.data);
                event.data = nullptr;
                return error;
            }
            lock.Take(state);
        }
        if (event.type < QZ_EVENT_FIRSTPLUGIN && !event.display) {
            FreeEventData(state, event.type, event.data);
            event.data = nullptr;
            continue;
        }

        const int first = event.display ? FirstPassSlot(event.type, event.params[2]) : -1;
        if (first >= 0) {
            qzHandlerSlot* slots = EventDisplaySlots(event.display);
            *record = qzDispatchRecord{};
            if (FillDispatchFromSlot(slots[first], QZ_DISPATCH_DISPLAY, qzDisplayHandlerNames[first].action,
                                     event.display, event.params, 0, event.data, record)) {
                s.state = QZ_SOURCE_SECONDPASS;
                s.eventPending = 1;
                lock.Release();
                return DispatchEvent(state, record, discard);
            }
        }
        s.eventPending = 1;
    }
    return kGoOn;
}

// A report of the over/out walk: dispatches the button's over or out handler when it has one.
int ReportButton(VmState* state, int discard, qzDispatchRecord* record, qzDisplay* display, qzBGPic* pic,
                 qzBGPicButton* button, int handler) {
    if (button->handlers[handler] == -1) return kGoOn;
    *record = qzDispatchRecord{};
    record->kind = QZ_DISPATCH_BUTTON;
    record->display = display;
    record->bgpic = pic;
    record->button = button;
    record->function = button->handlers[handler];
    record->userData = button->userData;
    std::strcpy(record->action, qzButtonActionNames[handler]);
    gState.state = QZ_SOURCE_OVEROUT;
    return DispatchEvent(state, record, discard);
}

// Legacy over-buttons: the label of the kind-1 record under the mouse.
int LegacyOverSource(VmState* state, qzDispatchRecord* record) {
    qzDisplay* current = EventCurrentDisplay();
    if (!FirstLabelRecord() || !current || !EventDisplayOpen(current)) return kGoOn;
    int32_t x = 0, y = 0;
    EventScaledMouse(current, &x, &y);
    for (qzKeyDown* r = FirstLabelRecord(); r; r = r->next) {
        if (r->kind != QZ_LABEL_BUTTONOVER || !r->active) continue;
        if (x < r->left || x > r->right || y < r->top || y > r->bottom) continue;
        char name[32];
        if (IsLabelAllMode(QZ_LABEL_BUTTONOVER)) {
            std::strcpy(name, "ONBUTTONOVERALL");
            SetLastEventCode(r->id);
        } else {
            std::snprintf(name, sizeof name, "ONBUTTONOVER%d", r->id);
        }
        SetLastOverRecord(r);
        if (JumpToLabel(state, name)) {
            gState.state = QZ_SOURCE_NEWCYCLE;
            *record = qzDispatchRecord{};
            record->kind = QZ_DISPATCH_LABEL;
            return -1;
        }
    }
    return kGoOn;
}

// Over/out tracking of the buttons of every display whose mouse moved.
int OverOutSource(VmState* state, int discard, qzDispatchRecord* record, bool resume, int suppressOver) {
    qzEventSourceState& s = gState;
    bool walking = resume && s.state == QZ_SOURCE_OVEROUT;
    if (!resume) {
        if (!suppressOver) {
            int result = LegacyOverSource(state, record);
            if (result != kGoOn) return result;
        }
        s.displayCursor = EventFirstDisplay();
    }
    for (;;) {
        qzDisplay* display = s.displayCursor;
        qzBGPic* pic = display ? EventDisplayPicture(display) : nullptr;
        if (!walking) {
            if (!display) break;
            if (!EventMouseMoved(display)) {
                s.displayCursor = EventNextDisplay(display);
                continue;
            }
            EventClearMouseMoved(display);
            s.hitButton = nullptr;
            s.pressedButton = nullptr;
            s.buttonCursor = pic ? *EventPictureButtons(pic) : nullptr;
            int32_t x = 0, y = 0;
            EventDisplayMouse(display, &x, &y);
            for (qzBGPicButton* b = s.buttonCursor; b && !(s.hitButton && s.pressedButton); b = b->next) {
                if (b->type != QZ_BUTTON_SIMPLE && b->type != QZ_BUTTON_LAYER) continue;
                if (!IsButtonActive(b)) continue;
                if (!s.pressedButton && (b->pressed[0] || b->pressed[1] || b->pressed[2])) s.pressedButton = b;
                if (!s.hitButton && HitTestButton(state, display, x, y, b)) s.hitButton = b;
            }
            walking = true;
        }
        while (qzBGPicButton* b = s.buttonCursor) {
            s.buttonCursor = b->next;
            if (!IsButtonActive(b) || (s.pressedButton && b != s.pressedButton)) continue;
            if (b == s.hitButton && !b->over) {
                if (!s.pressedButton) {
                    qzBGPicButton* reported = nullptr;
                    for (qzBGPicButton* o = pic ? *EventPictureButtons(pic) : nullptr; o; o = o->next) {
                        if (o == b || !o->over) continue;
                        o->over = 0;
                        if (!reported && IsButtonActive(o) && o->handlers[QZ_BUTTON_ONMOUSEOUT] != -1) reported = o;
                    }
                    if (reported) {
                        s.buttonCursor = *EventPictureButtons(pic);
                        return ReportButton(state, discard, record, display, pic, reported, QZ_BUTTON_ONMOUSEOUT);
                    }
                }
                b->over = 1;
                int result = ReportButton(state, discard, record, display, pic, b, QZ_BUTTON_ONMOUSEOVER);
                if (result != kGoOn) return result;
            } else if (b != s.hitButton && b->over) {
                b->over = 0;
                int result = ReportButton(state, discard, record, display, pic, b, QZ_BUTTON_ONMOUSEOUT);
                if (result != kGoOn) return result;
            }
        }
        walking = false;
        if (display) s.displayCursor = EventNextDisplay(display);
        if (!display) break;
    }
    return kGoOn;
}

// A playing script-fed music stream whose queue runs short: its FillMusicBuffer handler is called
// for the frames missing. Not while that handler runs (it may wait for events itself).
int MusicDataSource(VmState* state, int discard, qzDispatchRecord* record) {
    const qzHandlerSlot& slot = GlobalHandlerSlots()[QZ_GLOBAL_FILLMUSICBUFFER];
    if (slot.function == -1 || IsFillMusicBufferRunning()) return kGoOn;
    qzObjectId music = {0, nullptr};
    int32_t fillPosition = 0;
    int32_t missing = FindMusicNeedingData(&music, &fillPosition);
    if (missing <= 0) return kGoOn;
    FillDispatchFromSlot(slot, QZ_DISPATCH_MUSICBUFFER, "FillMusicBuffer", nullptr, nullptr, 0, nullptr, record);
    record->id = music;
    record->samples = missing;
    record->count = fillPosition;
    gState.state = QZ_SOURCE_MUSICDATA;
    return DispatchEvent(state, record, discard);
}

}  // namespace

qzEventSourceState* EventSourceState() { return &gState; }

void ResetEventSources(VmState* state) {
    if (gState.eventPending) FreeEventData(state, gState.event.type, gState.event.data);
    gState = qzEventSourceState{};
}

int RunEventSources(VmState* state, int suppressOver, int discard, qzDispatchRecord* record) {
    *record = qzDispatchRecord{};
    qzEventSourceState& s = gState;
    int source = SRC_TIMERS;
    bool resume = true;
    switch (s.state) {
    case QZ_SOURCE_NEWCYCLE:
        s.timerCursor = nullptr;
        s.timerWalkDone = 0;
        s.displayCursor = nullptr;
        s.buttonCursor = nullptr;
        s.hitButton = nullptr;
        s.pressedButton = nullptr;
        ResetNetEventCursors();
        source = SRC_TIMERS;
        if (int result = MusicDataSource(state, discard, record); result != kGoOn) return result;
        break;
    case QZ_SOURCE_MUSICDATA: source = SRC_TIMERS; break;
    case QZ_SOURCE_TIMERS: source = SRC_TIMERS; break;
    case QZ_SOURCE_ENDEVENTS: source = SRC_ENDEVENTS; break;
    case QZ_SOURCE_MOUSEMOVES: source = SRC_MOUSEMOVES; break;
    case QZ_SOURCE_UDP: source = SRC_UDP; break;
    case QZ_SOURCE_CONNECT: source = SRC_CONNECT; break;
    case QZ_SOURCE_DATA: source = SRC_DATA; break;
    case QZ_SOURCE_DISCONNECT: source = SRC_DISCONNECT; break;
    case QZ_SOURCE_PORT:
    case QZ_SOURCE_PORTMESSAGES: source = SRC_PORT; break;
    case QZ_SOURCE_SECONDPASS:
    case QZ_SOURCE_QUEUE: source = SRC_QUEUE; break;
    case QZ_SOURCE_OVEROUT:
    case QZ_SOURCE_NEXTDISPLAY: source = SRC_OVEROUT; break;
    default: source = SRC_TIMERS; break;
    }
    // A taken event whose second pass is due belongs to the queue source alone.
    if (source != SRC_QUEUE && s.eventPending) {
        FreeEventData(state, s.event.type, s.event.data);
        s.eventPending = 0;
    }

    for (; source != SRC_DONE; source++, resume = false) {
        int result = kGoOn;
        switch (source) {
        case SRC_TIMERS: result = TimerSource(state, discard, record, resume); break;
        case SRC_ENDEVENTS: result = EndEventSource(state, discard, record); break;
        case SRC_MOUSEMOVES: result = MouseMoveSource(state, discard, record, resume); break;
        case SRC_UDP:
        case SRC_CONNECT:
        case SRC_DATA:
        case SRC_DISCONNECT: result = NetSourceStep(state, discard, record, kNetSources[source - SRC_UDP]); break;
        case SRC_PORT: result = PortSource(state, discard, record); break;
        case SRC_LABELS: result = LabelSource(state, record); break;
        case SRC_QUEUE: result = QueueSource(state, discard, record); break;
        case SRC_OVEROUT: result = OverOutSource(state, discard, record, resume, suppressOver); break;
        default: break;
        }
        if (result != kGoOn) return result;
    }
    s.state = QZ_SOURCE_NEWCYCLE;
    *record = qzDispatchRecord{};
    return 0;
}

void BreakEventSources(VmState* state) {
    if (gState.eventPending) {
        FreeEventData(state, gState.event.type, gState.event.data);
        gState.event.data = nullptr;
        gState.eventPending = 0;
    }
    gState.state = QZ_SOURCE_NEWCYCLE;
    gState.timerCursor = nullptr;
    gState.timerWalkDone = 0;
}

void EventSourcesForgetTimer(const qzOsTimer* timer, qzOsTimer* next) {
    if (timer && gState.timerCursor == timer) {
        gState.timerCursor = next;
        if (!next) gState.timerWalkDone = 1;
    }
}

void EventSourcesForgetButton(const qzBGPicButton* button) {
    if (gState.buttonCursor == button) gState.buttonCursor = button->next;
    if (gState.hitButton == button) gState.hitButton = nullptr;
    if (gState.pressedButton == button) gState.pressedButton = nullptr;
}

void EventSourcesForgetDisplay(qzDisplay* display) {
    if (gState.displayCursor == display) {
        gState.displayCursor = EventNextDisplay(display);
        gState.buttonCursor = nullptr;
        gState.hitButton = nullptr;
        gState.pressedButton = nullptr;
        if (gState.state == QZ_SOURCE_OVEROUT) gState.state = QZ_SOURCE_NEXTDISPLAY;
    }
    if (gState.eventPending && gState.event.display == display) gState.event.display = nullptr;
}
