// Polling and waiting on the current display's mouse and keys, and the joysticks: the Wait... and
// While... commands, IsKeyDown, IsLeftMouse and friends, MouseX, MouseY, ResetKeyStates, JoyDir,
// JoyFire and CountJoysticks. No script handler runs during these waits.
#include "base/error_codes.h"
#include "display/event_display.h"
#include "display/event_labels.h"
#include "display/event_pump.h"
#include "libs/event/event_lib.h"
#include "platform/host/joystick.h"
#include "runtime/arg_check.h"
#include "runtime/event_queue.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

struct ButtonWait {
    int button;  // 0 left, 1 right, 2 middle
    bool down;   // wait while the button is down (true) or up (false)
};

bool ButtonCondition(void* data) {
    const auto* wait = static_cast<const ButtonWait*>(data);
    qzDisplay* display = EventCurrentDisplay();
    const bool down = display && EventMouseButtonDown(display, wait->button);
    return down == wait->down;
}

struct KeyWait {
    uint32_t code;
    bool down;
};

bool KeyCondition(void* data) {
    const auto* wait = static_cast<const KeyWait*>(data);
    qzDisplay* display = EventCurrentDisplay();
    const bool down = display && EventKeyDown(display, wait->code);
    return down == wait->down;
}

// Waits until the button is pressed and released again, then empties the queue.
int WaitClick(VmState* state, int button) {
    VmCheckArgCount(state, 0, 0, 0, 0);
    ButtonWait up{button, false};
    int error = WaitWhile(state, ButtonCondition, &up);
    if (error) return error;
    ButtonWait down{button, true};
    error = WaitWhile(state, ButtonCondition, &down);
    if (error) return error;
    DropQueuedEvents(state, -1, 1);
    return 0;
}

int WhileDown(VmState* state, int button) {
    VmCheckArgCount(state, 0, 0, 0, 0);
    ButtonWait down{button, true};
    return WaitWhile(state, ButtonCondition, &down);
}

int IsButton(VmState* state, int button) {
    VmCheckArgCount(state, 0, 0, 0, 0);
    qzDisplay* display = EventCurrentDisplay();
    VmPushNumber(state, display && EventMouseButtonDown(display, button) ? 1 : 0);
    return 1;
}

int MouseCoordinate(VmState* state, bool vertical) {
    VmCheckArgCount(state, 0, 0, 0, 0);
    int32_t x = 0, y = 0;
    if (qzDisplay* display = EventCurrentDisplay()) EventScaledMouse(display, &x, &y);
    VmPushNumber(state, vertical ? y : x);
    return 1;
}

}  // namespace

int WaitWhile(VmState* state, bool (*condition)(void* data), void* data) {
    while (condition(data)) {
        WaitForEvents(state, 1);
        int error = 0;
        if (PumpEvents(state, QZ_PUMP_WAIT, &error)) return error;
    }
    return 0;
}

int EvWaitLeftMouse(VmState* state) { return WaitClick(state, 0); }
int EvWaitRightMouse(VmState* state) { return WaitClick(state, 1); }
int EvWaitMidMouse(VmState* state) { return WaitClick(state, 2); }
int EvWhileMouseDown(VmState* state) { return WhileDown(state, 0); }
int EvWhileRightMouseDown(VmState* state) { return WhileDown(state, 1); }

int EvWaitKeyDown(VmState* state) {
    const char* name = VmCheckString(state, 1);
    const uint32_t code = KeyCodeFromName(name);
    if (!code) return ERR_WRONGUSAGE;
    KeyWait held{code, true};
    int error = WaitWhile(state, KeyCondition, &held);
    if (error) return error;
    KeyWait up{code, false};
    error = WaitWhile(state, KeyCondition, &up);
    if (error) return error;
    error = WaitWhile(state, KeyCondition, &held);
    if (error) return error;
    DropQueuedEvents(state, -1, 1);
    return 0;
}

int EvWhileKeyDown(VmState* state) {
    KeyWait held{LastKeyCode(), true};
    if (!held.code) return 0;
    return WaitWhile(state, KeyCondition, &held);
}

int EvIsKeyDown(VmState* state) {
    const char* name = VmCheckString(state, 1);
    qzDisplay* display = EventCurrentDisplay();
    bool down = false;
    if (const uint32_t mask = QualifierFromName(name)) {
        down = display && (EventQualifiers(display) & mask) == mask;
    } else {
        const uint32_t code = KeyCodeFromName(name);
        if (!code) return ERR_WRONGUSAGE;
        down = display && EventKeyDown(display, code);
    }
    VmPushNumber(state, down ? 1 : 0);
    return 1;
}

int EvIsLeftMouse(VmState* state) { return IsButton(state, 0); }
int EvIsRightMouse(VmState* state) { return IsButton(state, 1); }
int EvIsMidMouse(VmState* state) { return IsButton(state, 2); }
int EvMouseX(VmState* state) { return MouseCoordinate(state, false); }
int EvMouseY(VmState* state) { return MouseCoordinate(state, true); }

int EvResetKeyStates(VmState* state) {
    if (qzDisplay* display = EventCurrentDisplay()) EventResetInputState(display);
    return 0;
}

int EvJoyDir(VmState* state) {
    const int32_t port = VmCheckInteger(state, 1);
    int direction = QZ_JOY_CENTRE;
    int error = MacReadJoystick(port, &direction, nullptr);
    if (error) return error;
    VmPushNumber(state, direction);
    return 1;
}

int EvJoyFire(VmState* state) {
    const int32_t port = VmCheckInteger(state, 1);
    const int32_t button = VmOptInteger(state, 2, 1);
    if (button < 0 || button > 32) return ERR_WRONGUSAGE;
    uint32_t buttons = 0;
    int error = MacReadJoystick(port, nullptr, &buttons);
    if (error) return error;
    VmPushNumber(state, button == 0 ? static_cast<double>(buttons) : ((buttons >> (button - 1)) & 1u));
    return 1;
}

int EvCountJoysticks(VmState* state) {
    int count = 0;
    int error = MacEnumerateJoysticks(&count);
    if (error) return error;
    VmPushNumber(state, count);
    return 1;
}
