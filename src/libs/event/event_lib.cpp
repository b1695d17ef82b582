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
    {"CheckEvent", EvCheckEvent},
    {"WaitEvent", EvWaitEvent},
    {"InstallEventHandler", EvInstallEventHandler},
    {"MakeButton", EvMakeButton},
    {"DeleteButton", EvDeleteButton},
    {"EnableButton", EvEnableButton},
    {"DisableButton", EvDisableButton},
    {"DumpButtons", EvDumpButtons},
    {"SetInterval", EvSetInterval},
    {"SetTimeout", EvSetTimeout},
    {"ChangeInterval", EvChangeInterval},
    {"ClearInterval", EvClearInterval},
    {"ClearTimeout", EvClearTimeout},
    {"CreateButton", EvCreateButton},
    {"ModifyButton", EvModifyButton},
    {"RemoveButton", EvRemoveButton},
    {"CreateKeyDown", EvCreateKeyDown},
    {"ModifyKeyDown", EvModifyKeyDown},
    {"RemoveKeyDown", EvRemoveKeyDown},
    {"EnableEvent", EvEnableEvent},
    {"DisableEvent", EvDisableEvent},
    {"ClearEvents", EvClearEvents},
    {"GetEventCode", EvGetEventCode},
    {"BreakWhileMouseOn", EvBreakWhileMouseOn},
    {"WhileMouseOn", EvWhileMouseOn},
    {"WaitLeftMouse", EvWaitLeftMouse},
    {"WaitRightMouse", EvWaitRightMouse},
    {"WaitMidMouse", EvWaitMidMouse},
    {"WhileMouseDown", EvWhileMouseDown},
    {"WhileRightMouseDown", EvWhileRightMouseDown},
    {"WaitKeyDown", EvWaitKeyDown},
    {"WhileKeyDown", EvWhileKeyDown},
    {"IsKeyDown", EvIsKeyDown},
    {"IsLeftMouse", EvIsLeftMouse},
    {"IsRightMouse", EvIsRightMouse},
    {"IsMidMouse", EvIsMidMouse},
    {"MouseX", EvMouseX},
    {"MouseY", EvMouseY},
    {"ResetKeyStates", EvResetKeyStates},
    {"SetEventTimeout", EvSetEventTimeout},
    {"FreeEventCache", EvFreeEventCache},
    {"BreakEventHandler", EvBreakEventHandler},
    {"LeftMouseQuit", EvLeftMouseQuit},
    {"EscapeQuit", EvEscapeQuit},
    {"CtrlCQuit", EvCtrlCQuit},
    {"JoyDir", EvJoyDir},
    {"JoyFire", EvJoyFire},
    {"CountJoysticks", EvCountJoysticks},
    {"CreatePort", EvCreatePort},
    {"SendMessage", EvSendMessage},
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
