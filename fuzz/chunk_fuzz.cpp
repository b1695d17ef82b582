// Fuzz target for the chunk loader and the verifier: any bytes either load to a verified function
// or fail with a load error code; a loaded function dumps and loads again to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/error_codes.h"
#include "vm/vm.h"
#include "vm/vm_chunk.h"

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
    size_t block;  // bytes handed out per reader call
};

const char* ReadInput(void* ud, size_t* size) {
    Input* in = static_cast<Input*>(ud);
    *size = in->size < in->block ? in->size : in->block;
    const char* p = reinterpret_cast<const char*>(in->data);
    in->data += *size;
    in->size -= *size;
    return *size ? p : nullptr;
}

int WriteBytes(VmState*, const void* bytes, size_t size, void* ud) {
    const uint8_t* b = static_cast<const uint8_t*>(bytes);
    static_cast<std::vector<uint8_t>*>(ud)->insert(static_cast<std::vector<uint8_t>*>(ud)->end(), b, b + size);
    return 0;
}

// The answer to "which instruction before lastpc last wrote reg" must be one of those
// instructions or the final RETURN (a MOVE of register 0 to itself is the word 0).
void CheckWriter(const VmProto* p, int lastpc, int reg) {
    VmInstruction w = VmVerifyCode(p, lastpc, reg);
    if (w == p->code[p->sizecode - 1]) return;
    for (int pc = 0; pc < lastpc; pc++)
        if (p->code[pc] == w) return;
    abort();
}

// Asks the verifier which instruction last wrote each register, as error messages do.
void TraceRegisters(const VmProto* p) {
    for (int reg = 0; reg < p->maxStackSize; reg++) {
        CheckWriter(p, p->sizecode, reg);
        CheckWriter(p, p->sizecode / 2, reg);
    }
    for (int i = 0; i < p->sizep; i++) TraceRegisters(p->p[i]);
}

bool IsLoadError(int code) { return (code >= ERR_UNEXPECTEDEOF && code <= ERR_UNKNUMFMT) || code == ERR_MEM; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VmState* state = VmOpen();
    if (!state) return 0;
    // The last byte picks the reader's block size, so reads that span blocks get fuzzed too.
    size_t block = size ? (size_t)(data[size - 1] % 16) + 1 : 1;
    if (block == 16) block = SIZE_MAX;
    Input in = {data, size, block};
    int status = VmLoad(state, ReadInput, &in, "fuzz");
    if (status != 0 && !IsLoadError(status)) abort();
    if (status == 0) {
        const VmValue* top = VmIndexToAddress(state, -1);
        TraceRegisters(static_cast<const VmScriptClosure*>(VmClosureValue(top))->p);
        std::vector<uint8_t> first, second;
        if (VmDumpFunction(state, -1, WriteBytes, &first) != 0) abort();
        Input again = {first.data(), first.size(), SIZE_MAX};
        if (VmLoad(state, ReadInput, &again, "fuzz") != 0) abort();
        if (VmDumpFunction(state, -1, WriteBytes, &second) != 0) abort();
        if (first != second) abort();
    }
    VmClose(state);
    return 0;
}
