// Serialised tables and function records: arbitrary bytes read through ReadTable and
// ReadFunction never read or allocate beyond the data, and never crash.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "libs/dos/dos.h"
#include "platform/chunk_memory.h"
#include "platform/chunk_name.h"
#include "runtime/runtime.h"
#include "vm/vm.h"

namespace {

VmState* State() {
    static VmState* state = [] {
        VmState* s = VmOpen();
        SetRuntimeAttrs(s, {{QZ_RTA_QUIET, 1}});
        OpenLibrary(s, &qzDosLibrary);
        return s;
    }();
    return state;
}

int Call(VmState* state, const char* name, int nargs) {
    VmPushString(state, name);
    VmGetTable(state, VM_GLOBALSINDEX);
    VmInsert(state, -(nargs + 1));
    return VmProtectedCall(state, nargs, VM_MULTRET, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VmState* state = State();
    std::vector<uint8_t> copy(data, data + size);
    copy.push_back(0);
    RegisterChunkMemory(copy.data(), size);
    char name[256];
    MakeChunkName("input", name, sizeof(name), -1, size, 0, copy.data());
    for (const char* command : {"readtable", "readfunction"}) {
        VmPushNumber(state, 1);
        VmPushString(state, name);
        if (Call(state, "openfile", 2) == 0) {
            VmPushNumber(state, 1);
            Call(state, command, 1);
            VmSetTop(state, 0);
            VmPushNumber(state, 1);
            Call(state, "closefile", 1);
        }
        VmSetTop(state, 0);
    }
    UnregisterChunkMemory(copy.data());
    return 0;
}
