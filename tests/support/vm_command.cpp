#include "vm_command.h"

namespace {

const std::function<int(VmState*)>* currentBody;

int Trampoline(VmState* state) {
    const std::function<int(VmState*)>* body = currentBody;
    return (*body)(state);
}

}  // namespace

int RunAsCommand(VmState* state, const std::function<void(VmState*)>& pushArgs,
                 const std::function<int(VmState*)>& body, int nresults) {
    const std::function<int(VmState*)>* saved = currentBody;
    currentBody = &body;
    VmPushCFunction(state, Trampoline);
    int base = VmGetTop(state);
    if (pushArgs)
        pushArgs(state);
    int status = VmProtectedCall(state, VmGetTop(state) - base, nresults, 0);
    currentBody = saved;
    return status;
}
