// The player on the headless driver with a display open, for the benchmarks that draw on one.
#pragma once

#include <cstdlib>
#include <string>

#include "platform/host/event_loop.h"
#include "runtime/runtime.h"
#include "vm/vm.h"

namespace bench {

// Calls the global command with the values on the stack top (count of them); false on error.
inline bool Command(VmState* L, const char* name, int count) {
    VmPushString(L, name);
    VmGetTable(L, VM_GLOBALSINDEX);
    VmInsert(L, -count - 1);
    return VmProtectedCall(L, count, 0, 0) == 0;
}

// Sets the field key of the table on the stack top to a number.
inline void SetField(VmState* L, const char* key, double value) {
    VmPushString(L, key);
    VmPushNumber(L, value);
    VmSetTable(L, -3);
}

// Whether StartHeadless has started the platform and the runtime.
inline bool& HeadlessStarted() {
    static bool started = false;
    return started;
}

// Starts the platform on the headless driver and the runtime, once a process (again after a
// failed start); false when either does not start.
inline bool StartHeadless() {
    bool& started = HeadlessStarted();
    if (!started) {
        setenv("QUARNELIX_DRIVER", "headless", 1);
        std::string message;
        started = MacInitPlatform(&message) == 0 && InitRuntime() == 0;
    }
    return started;
}

// Creates display 1 through the script commands and opens it: width and height (0 leaves the
// field out), background colour (-1 leaves it out), layers on when asked. Empties the stack first;
// false when a command fails.
inline bool OpenDisplay(VmState* L, int width = 0, int height = 0, int colour = -1, bool layers = false) {
    VmSetTop(L, 0);
    VmPushNumber(L, 1);
    VmNewTable(L);
    if (width > 0) SetField(L, "width", width);
    if (height > 0) SetField(L, "height", height);
    if (colour >= 0) SetField(L, "color", colour);
    if (layers) {
        VmPushString(L, "layers");
        VmPushBoolean(L, 1);
        VmSetTable(L, -3);
    }
    if (!Command(L, "createdisplay", 2)) return false;
    VmPushNumber(L, 1);
    return Command(L, "opendisplay", 1);
}

}  // namespace bench
