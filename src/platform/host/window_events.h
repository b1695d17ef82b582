// The rules that turn host events into engine events and window state: keys and their engine
// codes, quit keys, the full-screen toggle key, mouse buttons and clicks in drag and size
// regions, the wheel, window changes, dropped files, the clipboard and quit requests. The same
// for every driver.
#pragma once

struct VmState;
struct qzHostEvent;

// Handles one host event. Events of a window that has closed are dropped.
void HandleHostEvent(VmState* state, const qzHostEvent& event);

// Posts the clipboard-changed event to every window whose display handles it.
void PostClipboardChanged();

// Whether an engine event was lost since the last call because memory ran out while it was
// queued; clears the mark.
bool TakeEventLostToMemory();
