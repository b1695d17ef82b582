// The module replayer on arbitrary module files: the input is loaded as the file (in a block of
// its exact size, so any read or write outside it is caught), rendered in blocks, sent to a song
// position it names, rewound and rendered again. Nothing may be read outside the data, and
// every output frame is defined.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "media/sound/module_replayer.h"
#include "platform/os_alloc.h"

namespace {

uint64_t Render(qzModule* module, std::vector<int16_t>* out, int blocks) {
    uint64_t total = 0;
    for (int b = 0; b < blocks; b++) {
        RenderModuleToBuffer(module, out->data(), static_cast<uint32_t>(out->size() / 2));
        for (int16_t v : *out) total += static_cast<uint16_t>(v);
    }
    return total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    unsigned char* copy = static_cast<unsigned char*>(OsAlloc(size ? size : 1, 0));
    if (!copy) return 0;
    std::memcpy(copy, data, size);
    qzModule* module = OpenModule(copy, size, 48000);
    if (!module) {
        OsFree(copy);
        return 0;
    }
    std::vector<int16_t> out(2 * 1024);
    uint64_t total = Render(module, &out, 12);
    QueryModulePosition(module, 0, size > 951 ? data[951] : 0);
    total += Render(module, &out, 4);
    total += static_cast<uint64_t>(QueryModulePosition(module, 1, 0) + QueryModulePosition(module, 2, 0));
    RewindModule(module);
    total += Render(module, &out, 2);
    (void)total;
    FreeModule(module);
    return 0;
}
