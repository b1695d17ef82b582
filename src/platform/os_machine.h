// Facts about the machine: its physical memory and its processor.
#pragma once

#include <cstdint>
#include <string>

// Bytes of physical memory, 0 when the system does not tell.
uint64_t OsGetPhysicalMemory();
// The processor's name as the system reports it ("x86_64", "aarch64", ...), "unknown" when it
// does not tell.
std::string OsGetCpuName();
