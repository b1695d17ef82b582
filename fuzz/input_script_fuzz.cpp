// Headless input scripts of arbitrary text: events or a message naming the bad line, never a
// crash.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/host/input_script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<qzScriptedEvent> events;
    std::string message;
    ParseInputScript(std::string(reinterpret_cast<const char*>(data), size), "fuzz", &events, &message);
    return 0;
}
