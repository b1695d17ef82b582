// The player's test binary: the player itself with the allocation-failure test mode. Started
// plainly it sweeps its own invocation (oom/oom_sweep.h), running itself once per failing
// allocation, and then runs the invocation as asked; the runs of the sweep get these variables:
//
//   QZ_ALLOC_FAIL=N          fail the Nth allocation (OsAlloc, the VM's blocks and `new` alike)
//   QZ_ALLOC_FAIL_MODE=from  ... and every allocation after it ("once", the default: only the Nth)
//   QZ_ALLOC_COUNT=path      write "<allocations> <failed> <1 if the first failed in shutdown>" to
//                            path at exit
//   QZ_ALLOC_TRACE=path      write the stack of the first failed allocation to path
//   QZ_ALLOC_TRACE_RAW=1     ... as return addresses, one "0x..." a line, which the sweep names
//                            only for a run it reports (naming them costs more than a short run)
//
// QZ_OOM_SWEEP=0 runs the player plainly, without the sweep, as does a run in real windows.
#include <fcntl.h>
#include <unistd.h>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif
#include <execinfo.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "oom/alloc_fault_new.h"
#include "oom/oom_sweep.h"
#include "platform/os_alloc.h"
#include "platform/os_alloc_fault.h"
#include "player/startup.h"
#include "vm/vm_object.h"

namespace {

char gCountPath[4096];
char gTracePath[4096];
bool gTraceRaw = false;
std::atomic<bool> gTraced{false};
// Whether the first failed allocation came while the player was shutting down.
std::atomic<int> gFailedInShutdown{0};

void WriteAll(int fd, const char* text, size_t length) {
    while (length > 0) {
        ssize_t n = write(fd, text, length);
        if (n <= 0) return;
        text += n;
        length -= static_cast<size_t>(n);
    }
}

// Writes the stack of the calling thread; runs inside an allocation, so it allocates nothing
// that is counted.
void WriteTrace() {
    int fd = open(gTracePath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return;
    void* frames[64];
    int count = backtrace(frames, 64);
    if (gTraceRaw) {
        for (int i = 2; i < count; i++) {
            char line[32];
            int n = std::snprintf(line, sizeof line, "%p\n", frames[i]);
            WriteAll(fd, line, static_cast<size_t>(n));
        }
        close(fd);
        return;
    }
#if defined(__SANITIZE_ADDRESS__)
    for (int i = 2; i < count; i++) {
        char line[1024];
        // Return addresses point after the call.
        __sanitizer_symbolize_pc(static_cast<char*>(frames[i]) - 1, "%f %s:%l", line, sizeof line);
        WriteAll(fd, line, std::strlen(line));
        WriteAll(fd, "\n", 1);
    }
#else
    if (count > 2) backtrace_symbols_fd(frames + 2, count - 2, fd);
#endif
    close(fd);
}

int CheckAllocation(size_t size) {
    int fail = OsAllocFaultCheck(size);
    if (fail && !gTraced.exchange(true)) {
        gFailedInShutdown = IsShuttingDown();
        if (gTracePath[0]) WriteTrace();
    }
    return fail;
}

void WriteCount() {
    if (!gCountPath[0]) return;
    char text[64];
    int n = std::snprintf(text, sizeof text, "%llu %llu %d\n", static_cast<unsigned long long>(OsAllocFaultCount()),
                          static_cast<unsigned long long>(OsAllocFaultsInjected()), gFailedInShutdown.load());
    int fd = open(gCountPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return;
    WriteAll(fd, text, static_cast<size_t>(n));
    close(fd);
}

void CopyPath(char* to, const char* from) {
    if (from && std::strlen(from) < 4096) std::strcpy(to, from);
}

// Starts the test mode as the environment asks; false when it asks for none.
bool StartAllocFaultsFromEnvironment() {
    const char* fail = std::getenv("QZ_ALLOC_FAIL");
    const char* mode = std::getenv("QZ_ALLOC_FAIL_MODE");
    CopyPath(gCountPath, std::getenv("QZ_ALLOC_COUNT"));
    CopyPath(gTracePath, std::getenv("QZ_ALLOC_TRACE"));
    const char* raw = std::getenv("QZ_ALLOC_TRACE_RAW");
    gTraceRaw = raw && std::strcmp(raw, "1") == 0;
    uint64_t n = fail ? std::strtoull(fail, nullptr, 10) : 0;
    if (!n && !gCountPath[0]) return false;
    qzAllocFaultMode m = !n                                       ? QZ_ALLOC_FAULT_COUNT
                         : mode && std::strcmp(mode, "from") == 0 ? QZ_ALLOC_FAULT_FROM
                                                                  : QZ_ALLOC_FAULT_ONCE;
    // Resolve the stack walker now: its first call loads a library.
    void* frame;
    backtrace(&frame, 1);
    std::atexit(WriteCount);
    OsStartAllocFaults(m, n);
    OsSetAllocFailHook(CheckAllocation);
    VmSetAllocFailHook(CheckAllocation);
    SetNewAllocCheck(CheckAllocation);
    return true;
}

// Whether the run shows real windows: those are driven from outside (a window tool types,
// clicks, grabs and ends the player at moments of its own), which no swept run can repeat.
bool InRealWindows() {
    const char* driver = std::getenv("QUARNELIX_DRIVER");
    if (driver && *driver) return std::strcmp(driver, "headless") != 0;
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (display && *display) || (wayland && *wayland);
}

// One run of a sweep, forked by the sweep's server with the run's variables set.
int RunSweptPlayer(int argc, char** argv) {
    StartAllocFaultsFromEnvironment();
    return RunPlayer(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
    const char* sweep = std::getenv("QZ_OOM_SWEEP");
    if (!StartAllocFaultsFromEnvironment() && !(sweep && std::strcmp(sweep, "0") == 0) && !InRealWindows())
        return OomSweepMain(argc, argv, RunSweptPlayer);
    return RunPlayer(argc, argv);
}
