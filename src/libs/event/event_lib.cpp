// Registration and clean-up of the `event` command library.
#include "libs/event/event_lib.h"

#include "display/display_links.h"
#include "display/event_buttons.h"
#include "display/event_dispatch.h"
#include "display/event_labels.h"
#include "display/event_pump.h"
#include "display/event_sources.h"
#include "display/event_timers.h"
#include "runtime/event_queue.h"
#include "runtime/object_registry.h"
#include "vm/vm_aux.h"

namespace {

const qzCommandRow kEventCommands[] = {
    {"CheckEvent", EvCheckEvent, 0, 0},
    {"WaitEvent", EvWaitEvent, 0, 0},
    {"InstallEventHandler", EvInstallEventHandler, 1, 2},
    {"MakeButton", EvMakeButton, 6, 8},
    {"DeleteButton", EvDeleteButton, 1, 1},
    {"EnableButton", EvEnableButton, 1, 1},
    {"DisableButton", EvDisableButton, 1, 1},
    {"DumpButtons", EvDumpButtons, 0, 0},
    {"SetInterval", EvSetInterval},
    {"SetTimeout", EvSetTimeout},
    {"ChangeInterval", EvChangeInterval, 2, 2},
    {"ClearInterval", EvClearInterval, 1, 1},
    {"ClearTimeout", EvClearTimeout, 1, 1},
    {"CreateButton", EvCreateButton, 5, 5},
    {"ModifyButton", EvModifyButton, 5, 5},
    {"RemoveButton", EvRemoveButton, 1, 1},
    {"CreateKeyDown", EvCreateKeyDown, 2, 2},
    {"ModifyKeyDown", EvModifyKeyDown, 2, 2},
    {"RemoveKeyDown", EvRemoveKeyDown, 1, 1},
    {"EnableEvent", EvEnableEvent},
    {"DisableEvent", EvDisableEvent},
    {"ClearEvents", EvClearEvents, 0, 0},
    {"GetEventCode", EvGetEventCode, 0, 0},
    {"BreakWhileMouseOn", EvBreakWhileMouseOn, 0, 0},
    {"WhileMouseOn", EvWhileMouseOn, 0, 0},
    {"WaitLeftMouse", EvWaitLeftMouse},
    {"WaitRightMouse", EvWaitRightMouse},
    {"WaitMidMouse", EvWaitMidMouse},
    {"WhileMouseDown", EvWhileMouseDown},
    {"WhileRightMouseDown", EvWhileRightMouseDown},
    {"WaitKeyDown", EvWaitKeyDown, 1, 1},
    {"WhileKeyDown", EvWhileKeyDown, 0, 0},
    {"IsKeyDown", EvIsKeyDown, 1, 1},
    {"IsLeftMouse", EvIsLeftMouse},
    {"IsRightMouse", EvIsRightMouse},
    {"IsMidMouse", EvIsMidMouse},
    {"MouseX", EvMouseX},
    {"MouseY", EvMouseY},
    {"ResetKeyStates", EvResetKeyStates, 0, 0},
    {"SetEventTimeout", EvSetEventTimeout, 1, 1},
    {"FreeEventCache", EvFreeEventCache, 0, 0},
    {"BreakEventHandler", EvBreakEventHandler, 0, 0},
    {"LeftMouseQuit", EvLeftMouseQuit},
    {"EscapeQuit", EvEscapeQuit},
    {"CtrlCQuit", EvCtrlCQuit},
    {"JoyDir", EvJoyDir, 1, 1},
    {"JoyFire", EvJoyFire, 1, 2},
    {"CountJoysticks", EvCountJoysticks, 0, 0},
    {"CreatePort", EvCreatePort, 1, 1},
    {"SendMessage", EvSendMessage, 2, 0},
    {nullptr, nullptr},
};

const qzConstantRow kEventConstants[] = {
    {"MOVEWINDOW", nullptr, 6},
    {"SIZEWINDOW", nullptr, 7},
    {"INACTIVEWINDOW", nullptr, 8},
    {"ACTIVEWINDOW", nullptr, 9},
    {"CLOSEWINDOW", nullptr, 10},
    {"ONBUTTONCLICKALL", nullptr, 11},
    {"ONBUTTONRIGHTCLICKALL", nullptr, 12},
    {"ONBUTTONOVERALL", nullptr, 13},
    {"ONKEYDOWNALL", nullptr, 14},
    {"ONBUTTONCLICK", nullptr, 2},
    {"ONBUTTONOVER", nullptr, 1},
    {"ONKEYDOWN", nullptr, 3},
    {"ONBUTTONRIGHTCLICK", nullptr, 5},
    {"JOYUP", nullptr, 0},
    {"JOYUPRIGHT", nullptr, 1},
    {"JOYRIGHT", nullptr, 2},
    {"JOYDOWNRIGHT", nullptr, 3},
    {"JOYDOWN", nullptr, 4},
    {"JOYDOWNLEFT", nullptr, 5},
    {"JOYLEFT", nullptr, 6},
    {"JOYUPLEFT", nullptr, 7},
    {"JOYNODIR", nullptr, 8},
    {"SIMPLEBUTTON", nullptr, 0},
    {"LAYERBUTTON", nullptr, 1},
    {nullptr, nullptr, 0},
};

// What the display code tells the event code: a display goes, a picture's buttons go or lose
// their pressed states.
void LinkDisplays(bool on) {
    qzDisplayLinks links = DisplayLinks();
    links.forgetDisplay = on ? EventSourcesForgetDisplay : nullptr;
    links.freePictureButtons = on ? FreePictureButtons : nullptr;
    links.resetButtonStates = on ? ResetButtonStates : nullptr;
    SetDisplayLinks(&links);
}

int OpenEventLibrary(VmState* state) {
    LinkDisplays(true);
    ClearGlobalHandlers(nullptr);
    ResetEventSources(state);
    StampEventExpiry();
    int error = RegisterObjectList(IntervalListHead());
    if (!error) error = RegisterObjectList(TimeoutListHead());
    return error;
}

void ResetEventLibrary() {
    LinkDisplays(false);
    ResetLabelEvents();
    ClearGlobalHandlers(nullptr);
    SetEventLifetime(60000);
}

}  // namespace

void FreeAllEventsAtExit(VmState* state) {
    ResetLabelEvents();
    FreeAllIntervalTimers(state);
    FreePluginEventTypes(state);
    ClearGlobalHandlers(state);
    ResetEventSources(state);
}

const qzLibraryDescriptor qzEventLibrary = {
    .name = "event",
    .commands = kEventCommands,
    .constants = kEventConstants,
    .open = OpenEventLibrary,
    .cleanups = {{QZ_STAGE_EVENTS, FreeAllEventsAtExit}},
    .reset = ResetEventLibrary,
};
