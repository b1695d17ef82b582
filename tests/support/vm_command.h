// Runs test code as a command handler: with arguments on its stack, inside a protected call,
// through the VM's public interface only.
#pragma once

#include <functional>

#include "vm/vm.h"

// Pushes a C function, lets pushArgs push its arguments, calls it protected with nresults
// results and returns 0 or the error code that body raised. body returns the handler result.
int RunAsCommand(VmState* state, const std::function<void(VmState*)>& pushArgs,
                 const std::function<int(VmState*)>& body, int nresults = 0);

// Owns a VM for one test.
struct VmScope {
    VmState* state = VmOpen();
    VmScope() = default;
    VmScope(const VmScope&) = delete;
    VmScope& operator=(const VmScope&) = delete;
    ~VmScope() {
        if (state)
            VmClose(state);
    }
    operator VmState*() const { return state; }
};
