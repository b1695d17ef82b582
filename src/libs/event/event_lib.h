// The `event` command library: event handlers and the CheckEvent / WaitEvent loop, buttons,
// intervals and timeouts, label events, waits on the mouse, keys and joysticks, quit keys,
// message ports.
#pragma once

#include "runtime/library.h"

struct VmState;

extern const qzLibraryDescriptor qzEventLibrary;
// Frees every label record, button-less interval and timeout, plugin event type and the
// machine's state (shutdown, and a test closing the library).
void FreeAllEventsAtExit(VmState* state);

// ---- Parts shared between the topic files of the library (not for other callers) ----

int EvCheckEvent(VmState* state);
int EvWaitEvent(VmState* state);
int EvInstallEventHandler(VmState* state);
int EvBreakEventHandler(VmState* state);
int EvSetEventTimeout(VmState* state);
int EvFreeEventCache(VmState* state);
int EvLeftMouseQuit(VmState* state);
int EvEscapeQuit(VmState* state);
int EvCtrlCQuit(VmState* state);
int EvCreatePort(VmState* state);
int EvSendMessage(VmState* state);

int EvSetInterval(VmState* state);
int EvSetTimeout(VmState* state);
int EvChangeInterval(VmState* state);
int EvClearInterval(VmState* state);
int EvClearTimeout(VmState* state);

int EvMakeButton(VmState* state);
int EvDeleteButton(VmState* state);
int EvEnableButton(VmState* state);
int EvDisableButton(VmState* state);
int EvDumpButtons(VmState* state);

int EvCreateButton(VmState* state);
int EvModifyButton(VmState* state);
int EvRemoveButton(VmState* state);
int EvCreateKeyDown(VmState* state);
int EvModifyKeyDown(VmState* state);
int EvRemoveKeyDown(VmState* state);
int EvEnableEvent(VmState* state);
int EvDisableEvent(VmState* state);
int EvClearEvents(VmState* state);
int EvGetEventCode(VmState* state);
int EvBreakWhileMouseOn(VmState* state);
int EvWhileMouseOn(VmState* state);

int EvWaitLeftMouse(VmState* state);
int EvWaitRightMouse(VmState* state);
int EvWaitMidMouse(VmState* state);
int EvWhileMouseDown(VmState* state);
int EvWhileRightMouseDown(VmState* state);
int EvWaitKeyDown(VmState* state);
int EvWhileKeyDown(VmState* state);
int EvIsKeyDown(VmState* state);
int EvIsLeftMouse(VmState* state);
int EvIsRightMouse(VmState* state);
int EvIsMidMouse(VmState* state);
int EvMouseX(VmState* state);
int EvMouseY(VmState* state);
int EvResetKeyStates(VmState* state);
int EvJoyDir(VmState* state);
int EvJoyFire(VmState* state);
int EvCountJoysticks(VmState* state);

// The event-library waits: while `condition` holds, wait for events and pump (flag 2). 0, or
// the pump's error when it says stop.
int WaitWhile(VmState* state, bool (*condition)(void* data), void* data);
