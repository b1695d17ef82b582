// Base64: arbitrary text decodes without reading or writing outside its buffers, and any bytes
// encode and decode back to themselves.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    std::vector<uint8_t> memory(size / 4 * 3 + 3);
    qzBase64Target target;
    target.kind = BASE64_TO_MEMORY;
    target.memory = memory.data();
    target.capacity = memory.size();
    DecodeBase64(text, size, &target);
    if (target.count > memory.size()) std::abort();
    std::string encoded = Base64Encode(data, size);
    if (Base64DecodeLenient(encoded.data(), encoded.size()) != std::string(text, size)) std::abort();
    return 0;
}
