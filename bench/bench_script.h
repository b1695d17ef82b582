// Loading assembled programs into a VM for the benchmarks that run scripts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "vm/vm.h"

namespace bench {

struct ReaderData {
    const std::vector<uint8_t>* bytes;
    bool done;
};

inline const char* Reader(void* data, size_t* size) {
    ReaderData* r = static_cast<ReaderData*>(data);
    if (r->done) {
        *size = 0;
        return nullptr;
    }
    r->done = true;
    *size = r->bytes->size();
    return reinterpret_cast<const char*>(r->bytes->data());
}

// Assembles a program and leaves its main function on the stack; false when it does not load.
inline bool LoadProgram(VmState* L, const std::string& text) {
    std::string error;
    std::vector<uint8_t> bytes = QzAssemble(text, &error);
    if (bytes.empty()) return false;
    ReaderData r{&bytes, false};
    return VmLoad(L, Reader, &r, "=bench") == 0;
}

}  // namespace bench
