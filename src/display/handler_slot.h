// One script event handler as displays, the global handlers and plugin event types keep it.
#pragma once

#include <cstdint>

// Registry references of the handler's function and user data, -1 for none.
struct qzHandlerSlot {
    int32_t function = -1;
    int32_t userData = -1;
};
