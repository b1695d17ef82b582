// Facts about the machine, from sysconf and uname.
#include "platform/os_machine.h"

#include <sys/utsname.h>
#include <unistd.h>

uint64_t OsGetPhysicalMemory() {
    long pages = sysconf(_SC_PHYS_PAGES);
    long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) return 0;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}

std::string OsGetCpuName() {
    struct utsname names;
    if (uname(&names) == 0 && names.machine[0]) return names.machine;
    return "unknown";
}
