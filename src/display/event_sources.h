// The event-source machine behind CheckEvent and WaitEvent. One step finds at most one pending
// event among the sources (music streams that need data, fired timers, sound and video end events, mouse moves, network
// events, port messages, label events, the event queue, button over and out changes),
// dispatches it and returns. A state word and cursors that outlive the step record
// where the walk stands, so that the next step resumes there even when the handler in between
// changed handlers, displays, buttons or timers. Main thread only.
#pragma once

#include <cstdint>

struct VmState;
struct qzDisplay;
struct qzOsTimer;
struct qzBGPicButton;
struct qzDispatchRecord;

// The states (what the next step resumes with).
enum : int32_t {
    QZ_SOURCE_NEWCYCLE = 0,
    QZ_SOURCE_TIMERS = 1,
    QZ_SOURCE_ENDEVENTS = 2,
    QZ_SOURCE_MOUSEMOVES = 3,
    QZ_SOURCE_PORT = 4,
    QZ_SOURCE_SECONDPASS = 5,
    QZ_SOURCE_QUEUE = 6,
    QZ_SOURCE_OVEROUT = 7,
    QZ_SOURCE_NEXTDISPLAY = 8,
    QZ_SOURCE_UDP = 9,
    QZ_SOURCE_CONNECT = 10,
    QZ_SOURCE_DATA = 11,
    QZ_SOURCE_DISCONNECT = 12,
    QZ_SOURCE_MUSICDATA = 13,  // after a music stream's refill call: the timers
    QZ_SOURCE_PORTMESSAGES = 14,
};

// The data of a queued call (event 24): a function the display adapter wants called on the main
// thread, with its argument. A non-zero result ends the step with it.
struct qzQueuedCall {
    int (*function)(void* argument);
    void* argument;
};

// The queue event whose second pass is pending.
struct qzSourceEvent {
    qzDisplay* display;
    int32_t type;
    int32_t params[3];
    uint32_t keyCode;
    void* data;
};

struct qzEventSourceState {
    int32_t state;
    qzOsTimer* timerCursor;  // null: the head of the platform timer list
    int32_t timerWalkDone;   // the walk has passed the last timer
    qzSourceEvent event;
    int32_t eventPending;         // event holds a taken event whose second pass is due
    qzBGPicButton* buttonCursor;  // over/out pass
    qzBGPicButton* hitButton;
    qzBGPicButton* pressedButton;
    qzDisplay* displayCursor;  // mouse moves and the over/out pass
};

// The machine's block; its fields are read by tests and fixed up by the owners of what the
// cursors point at.
qzEventSourceState* EventSourceState();
// Back to a new cycle with every cursor cleared (registration, clean-up).
void ResetEventSources(VmState* state);

// One step. Returns 0 with record->kind 0 when the cycle ended without a dispatch (the state
// word is back at 0); the dispatcher's result with the kind of what was dispatched; -1 with kind
// QZ_DISPATCH_LABEL for a label jump (the jump is set up); ERR_USERABORT for a quit event. With
// suppressOver the legacy over-button labels are not looked at.
int RunEventSources(VmState* state, int suppressOver, int discard, qzDispatchRecord* record);

// Abandons the current cycle: a taken event whose second pass was due is freed, the state goes
// to 0 and the timer cursor to the head.
void BreakEventSources(VmState* state);

// Fix-ups for records that go while the machine may point at them.
void EventSourcesForgetTimer(const qzOsTimer* timer, qzOsTimer* next);
void EventSourcesForgetButton(const qzBGPicButton* button);
void EventSourcesForgetDisplay(qzDisplay* display);
