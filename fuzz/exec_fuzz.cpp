// Fuzz target for the interpreter: any chunk that loads and verifies runs under an instruction
// budget with a few commands in its globals; whatever it does must end in a result or an error
// code, without a memory fault, and the VM closes cleanly.
#include <cstddef>
#include <cstdint>

#include "base/error_codes.h"
#include "vm/vm.h"
#include "vm/vm_exec.h"
#include "vm/vm_object.h"
#include "vm/vm_runtime_link.h"
#include "vm/vm_value.h"

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
};

const char* ReadInput(void* ud, size_t* size) {
    Input* in = static_cast<Input*>(ud);
    *size = in->size;
    in->size = 0;
    return *size ? reinterpret_cast<const char*>(in->data) : nullptr;
}

int instructionsLeft = 0;
constexpr int kHookPeriod = 100;
// Memory a run may hold; more ends it like an allocation failure.
constexpr size_t kMemoryLimit = 64u << 20;

// Ends runs that exceed the instruction or memory budget.
void Budget(VmState* L, VmDebug*) {
    instructionsLeft -= kHookPeriod;
    if (instructionsLeft <= 0) VmRaiseError(L, ERR_USERABORT);
    if (L->g->nblocks > kMemoryLimit) VmRaiseError(L, ERR_MEM);
}

int Echo(VmState* L) { return VmGetTop(L); }

int SetMt(VmState* L) {
    VmSetTop(L, 2);
    if (VmType(L, 2) != VM_TTABLE && VmType(L, 2) != VM_TNIL) return ERR_WRONGOP;
    VmSetMetatable(L, 1);
    return 1;
}

int Next(VmState* L) {
    VmSetTop(L, 2);
    if (VmType(L, 1) != VM_TTABLE) return ERR_WRONGOP;
    if (VmNext(L, 1)) return 2;
    VmPushNil(L);
    return 1;
}

int Fail(VmState* L) { return VmDoubleToInt32(VmToNumber(L, 1)); }

int Gosub(VmState* L) {
    VmSetLabelJump(L->g, VmDoubleToInt32(VmToNumber(L, 1)));
    return -1;
}

int CallBack(VmState* L) {
    if (VmGetTop(L) < 1) return 0;
    VmCall(L, VmGetTop(L) - 1, VM_MULTRET);
    return VmGetTop(L);
}

void Register(VmState* L, const char* name, VmCFunction f) {
    VmPushString(L, name);
    VmPushCFunction(L, f);
    VmSetTable(L, VM_GLOBALSINDEX);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VmResetRuntimeLink();
    VmState* L = VmOpen();
    if (!L) return 0;
    Register(L, "echo", Echo);
    Register(L, "setmt", SetMt);
    Register(L, "next", Next);
    Register(L, "fail", Fail);
    Register(L, "gosub", Gosub);
    Register(L, "callback", CallBack);
    Input in{data, size};
    if (VmLoad(L, ReadInput, &in, "=fuzz") == 0) {
        instructionsLeft = 30000;
        VmSetHook(L, Budget, VM_MASKCOUNT, kHookPeriod);
        VmSetGcThreshold(L, 64);
        VmProtectedCall(L, 0, VM_MULTRET, 0);
        VmSetHook(L, nullptr, 0, 0);
        VmSetTop(L, 0);
    }
    VmClose(L);
    return 0;
}
