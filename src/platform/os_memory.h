// The machine's physical memory size.
#pragma once

#include <cstdint>

// Bytes of physical memory, 0 when the system does not tell.
uint64_t OsGetPhysicalMemory();
