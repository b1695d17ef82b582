// Small helpers shared by the VM tests.
#pragma once

#include <functional>

#include "vm/vm.h"
#include "vm/vm_object.h"

// Runs fn under a protected-call record; returns 0 or the error code raised.
inline int RunGuarded(VmState* state, const std::function<void()>& fn) {
    return VmRunProtected(
        state, [](VmState*, void* ud) { (*static_cast<const std::function<void()>*>(ud))(); },
        const_cast<std::function<void()>*>(&fn));
}

// Owns a VM for one test.
struct VmHolder {
    VmState* state = VmOpen();
    ~VmHolder() {
        if (state) VmClose(state);
    }
    operator VmState*() const { return state; }
};
