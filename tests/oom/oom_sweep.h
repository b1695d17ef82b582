// The allocation-failure sweep over one player invocation: two whole runs count the allocations
// and show what a run prints and leaves behind, then one run per chosen N fails the Nth
// allocation. Each of those runs must exit normally with the whole run's status, within the time
// limit, with no sanitizer report (LeakSanitizer included), end with the "Out of memory!" report
// or the applet's own handling of the error, and leave every file either as it was or as a
// whole run leaves it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "oom/sweep_fork_server.h"
#include "platform/os_alloc_fault.h"

struct OomSweepOptions {
    std::string program;            // the player executable, run again for every run
    std::vector<std::string> argv;  // its whole argument vector, argv[0] included
    std::string cwd;                // the folder it runs in
    std::vector<std::string> env;   // its environment ("NAME=value")
    // Which N: with passes 0, an even spread of kSmallSetRuns; else the N of pass `pass` (1 to
    // `passes`) out of `passes` (every passes-th N), so that all passes together take every N.
    uint64_t pass = 0, passes = 0;
    qzAllocFaultMode mode = QZ_ALLOC_FAULT_ONCE;
    double timeoutSeconds = 60;       // a run still going after this is a hang
    std::string tempRoot = "/tmp";    // the folders below it that the run names are watched
    std::vector<std::string> ignore;  // files the sweep leaves alone (its own standard streams)
    // When set, the runs are forked by this server (a copy of `program` as it started, in `cwd`,
    // with the environment `env`) instead of started anew; `program`, `argv`, `cwd` and `env`
    // then only name what the run may change.
    const OomForkServer* server = nullptr;
};

// N values the small set (the sweep run by every test build) takes per invocation.
constexpr uint64_t kSmallSetRuns = 4;

struct OomSweepFailure {
    uint64_t n = 0;      // the failed allocation (0: the whole runs)
    std::string what;    // one line
    std::string detail;  // output, file names, the stack of the failed allocation
};

struct OomSweepResult {
    uint64_t count = 0;  // allocations of a whole run
    uint64_t runs = 0;   // runs with a failing allocation
    std::vector<OomSweepFailure> failures;
};

OomSweepResult RunOomSweep(const OomSweepOptions& options);

// The N values a sweep over `count` allocations runs in one pass (passes 0: the small set).
std::vector<uint64_t> SweepPoints(uint64_t count, uint64_t pass, uint64_t passes);

// What the player's test binary does when it is started plainly: sweeps its own invocation (each
// run a fork of this process as main started, which calls `run`), writes
// any failures to standard error (and appends them to the file QZ_OOM_REPORT names) and exits
// with kOomSweepFailedStatus, or else runs the invocation once more as a plain run in place
// (same process, same standard streams, QZ_OOM_SWEEP=0 added). QZ_OOM_PASS="k/n" picks the pass, QZ_OOM_MODE=from
// fails every allocation from the Nth on, QZ_OOM_TIMEOUT sets the time limit of a run in
// seconds, QZ_OOM_LOG names a file that gets one line per swept invocation.
constexpr int kOomSweepFailedStatus = 97;
int OomSweepMain(int argc, char** argv, OomRunFunction run);
