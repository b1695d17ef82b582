#include "oom/oom_sweep.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#else
#include <execinfo.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "base/error_codes.h"
#include "oom/sweep_files.h"
#include "platform/catalog.h"
#include "runtime/error_messages.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// The report a run ends with when an allocation failed, and what a sanitizer writes.
const char* const kOutOfMemory = "Out of memory!";
// What start-up prints when its first records or the VM cannot be made.
const char* const kNoMemoryAtStart = "Not enough memory.";
const char* const kSanitizerMarks[] = {"Sanitizer", "runtime error:"};

// One run of the player and what it left.
struct ChildRun {
    bool started = false;
    bool exited = false;
    bool timedOut = false;
    int status = -1;  // exit status, when exited
    int signal = 0;   // the signal that ended it
    double seconds = 0;
    std::string out, err, trace;
    uint64_t count = 0, injected = 0;
    bool failedInShutdown = false;  // the failed allocation came after the applet's run
};

double Now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

bool IsSweepVariable(const std::string& entry) {
    return entry.rfind("QZ_OOM_", 0) == 0 || entry.rfind("QZ_ALLOC_", 0) == 0;
}

// Runs the player once in its own process group, its output going to files in `scratch`.
ChildRun RunChild(const OomSweepOptions& o, const std::vector<std::string>& extraEnv, const std::string& scratch,
                  double timeout) {
    ChildRun r;
    const std::string out = scratch + "/out", err = scratch + "/err", count = scratch + "/count",
                      trace = scratch + "/trace";
    for (const std::string& f : {out, err, count, trace}) unlink(f.c_str());

    std::vector<std::string> env;
    for (const std::string& e : o.env)
        if (!IsSweepVariable(e)) env.push_back(e);
    env.push_back("QZ_ALLOC_COUNT=" + count);
    env.push_back("QZ_ALLOC_TRACE=" + trace);
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp, argv;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = o.argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    double start = Now();
    int status = 0;
    if (o.server) {
        std::vector<std::string> runEnv = {"QZ_ALLOC_COUNT=" + count, "QZ_ALLOC_TRACE=" + trace,
                                           "QZ_ALLOC_TRACE_RAW=1"};
        runEnv.insert(runEnv.end(), extraEnv.begin(), extraEnv.end());
        pid = OomForkRun(*o.server, out, err, runEnv, &r.err);
        if (pid <= 0) return r;
        r.started = true;
        if (!OomWaitForkRun(*o.server, timeout, &status)) {
            r.timedOut = true;
            kill(-pid, SIGKILL);
            OomWaitForkRun(*o.server, 0, &status);
        }
    } else {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addchdir_np(&actions, o.cwd.c_str());
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        posix_spawnattr_setpgroup(&attr, 0);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
        int spawned = posix_spawn(&pid, o.program.c_str(), &actions, &attr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        if (spawned != 0) {
            r.err = std::string("cannot start ") + o.program + ": " + strerror(spawned);
            return r;
        }
        r.started = true;
        for (long sleepUs = 200;;) {
            pid_t done = waitpid(pid, &status, WNOHANG);
            if (done == pid) break;
            if (done < 0) {
                status = -1;
                break;
            }
            if (Now() - start > timeout) {
                r.timedOut = true;
                kill(-pid, SIGKILL);
                waitpid(pid, &status, 0);
                break;
            }
            usleep(sleepUs);
            sleepUs = std::min(sleepUs * 2, 20000L);
        }
    }
    // Whatever the run started in its group goes with it.
    kill(-pid, SIGKILL);
    r.seconds = Now() - start;
    if (!r.timedOut && status != -1) {
        if (WIFEXITED(status)) {
            r.exited = true;
            r.status = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            r.signal = WTERMSIG(status);
        }
    }
    r.out = ReadFile(out);
    r.err = ReadFile(err);
    r.trace = ReadFile(trace);
    unsigned long long c = 0, i = 0;
    int shutdown = 0;
    if (std::sscanf(ReadFile(count).c_str(), "%llu %llu %d", &c, &i, &shutdown) == 3) {
        r.count = c;
        r.injected = i;
        r.failedInShutdown = shutdown != 0;
    }
    return r;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A line with every run of digits as one '#': times, dates and process ids change from run to
// run.
std::string Shape(const std::string& line) {
    std::string shape;
    for (size_t i = 0; i < line.size(); i++) {
        if (!std::isdigit(static_cast<unsigned char>(line[i]))) {
            shape += line[i];
        } else if (i == 0 || !std::isdigit(static_cast<unsigned char>(line[i - 1]))) {
            shape += '#';
        }
    }
    return shape;
}

bool SameLine(const std::string& t, const std::string& a, const std::string& b) {
    // A line that differs between the two whole runs may be anything.
    return t == a || t == b || a != b || Shape(t) == Shape(a);
}

// Output as a whole run prints it: as one of the two whole runs, line by line.
bool AsWholeRun(const std::string& text, const std::string& a, const std::string& b) {
    if (text == a || text == b) return true;
    std::vector<std::string> t = Lines(text), la = Lines(a), lb = Lines(b);
    if (la.size() != lb.size() || t.size() != la.size()) return false;
    for (size_t i = 0; i < t.size(); i++)
        if (!SameLine(t[i], la[i], lb[i])) return false;
    return true;
}

// Output as a whole run prints it, except that the error report that ends it lost its details
// (the script position, a requester's second line) because memory ran out while it was made:
// the lines before the report are the same, the report's first line ends with the same message,
// and the lines after it (a message of several lines) are the same.
bool AsWholeRunWithShorterReport(const std::string& text, const std::string& a, const std::string& b) {
    std::vector<std::string> t = Lines(text), la = Lines(a), lb = Lines(b);
    if (t.empty() || la.size() != lb.size() || t.size() > la.size()) return false;
    size_t report = 0;
    while (report < t.size() && SameLine(t[report], la[report], lb[report])) report++;
    if (report == t.size()) return true;
    size_t colon = t[report].find(": ");
    std::string message = colon == std::string::npos ? t[report] : t[report].substr(colon + 2);
    if (message.empty() || la[report].size() < message.size() ||
        la[report].compare(la[report].size() - message.size(), message.size(), message) != 0)
        return false;
    for (size_t i = report + 1; i < t.size(); i++)
        if (!SameLine(t[i], la[i], lb[i])) return false;
    return true;
}

// The applet's own handling of the error: it printed the code of the error, 1000.
bool PrintsOutOfMemoryCode(const std::string& text) {
    for (size_t at = text.find("1000"); at != std::string::npos; at = text.find("1000", at + 1)) {
        bool before = at == 0 || !std::isdigit(static_cast<unsigned char>(text[at - 1]));
        bool after = at + 4 == text.size() || !std::isdigit(static_cast<unsigned char>(text[at + 4]));
        if (before && after) return true;
    }
    return false;
}

// The text of an error as a run in `cwd` reports it: a catalog for the user's language beside
// the applet or the player may give it another one.
std::string LocalErrorText(const std::string& cwd, int code) {
    std::error_code ec;
    fs::path here = fs::current_path(ec);
    fs::current_path(cwd, ec);
    OpenPlayerCatalog();
    std::string text = FormatErrorText(code);
    ClosePlayerCatalog();
    fs::current_path(here, ec);
    return text;
}

std::string Tail(const std::string& text, size_t max = 1200) {
    return text.size() <= max ? text : "..." + text.substr(text.size() - max);
}

std::string Describe(const ChildRun& r) {
    std::ostringstream s;
    if (!r.started)
        s << r.err;
    else if (r.timedOut)
        s << "did not end within the time limit";
    else if (r.signal)
        s << "killed by signal " << r.signal << " (" << strsignal(r.signal) << ")";
    else
        s << "exit status " << r.status;
    return s.str();
}

std::string Indent(const std::string& text, const char* prefix) {
    std::string result;
    for (const std::string& line : Lines(text)) result += prefix + line + "\n";
    return result;
}

// A stack written as return addresses by a run the fork server started: that run has this
// process's layout, so this process can name the places (a library the run loaded itself shows
// as its address).
std::string Symbolized(const std::string& trace) {
    std::string named;
    for (const std::string& line : Lines(trace)) {
        unsigned long long pc = 0;
        if (line.rfind("0x", 0) != 0 || std::sscanf(line.c_str(), "%llx", &pc) != 1 || pc == 0) {
            named += line + "\n";
            continue;
        }
        void* at = reinterpret_cast<void*>(pc);
#if defined(__SANITIZE_ADDRESS__)
        char text[1024];
        // Return addresses point after the call.
        __sanitizer_symbolize_pc(static_cast<char*>(at) - 1, "%f %s:%l", text, sizeof text);
        named += std::string(text) + "\n";
#else
        char** text = backtrace_symbols(&at, 1);
        named += std::string(text ? text[0] : line.c_str()) + "\n";
        std::free(text);
#endif
    }
    return named;
}

bool HasSanitizerReport(const ChildRun& r) {
    for (const char* mark : kSanitizerMarks)
        if (Contains(r.err, mark) || Contains(r.out, mark)) return true;
    return false;
}

const SweepEntry* Find(const SweepTree& tree, const std::string& path) {
    auto it = tree.find(path);
    return it == tree.end() ? nullptr : &it->second;
}

bool SameState(const SweepEntry* x, const SweepEntry* y) { return x == y || (x && y && x->SameContent(*y)); }

std::string StateText(const SweepEntry* e) {
    if (!e) return "absent";
    if (e->type == 'd') return "a folder";
    if (e->type == 'l') return "a link to " + e->link;
    return std::to_string(e->size) + " bytes";
}

// A whole snapshot of the headless driver (display-<id>.png): it shows what the display showed
// when it closed, which differs when a run ends early, but it is never half-written.
bool IsWholeSnapshot(const std::string& path) {
    const std::string name = fs::path(path).filename().string();
    if (name.rfind("display-", 0) != 0 || name.size() < 13 || name.compare(name.size() - 4, 4, ".png") != 0)
        return false;
    for (size_t i = 8; i + 4 < name.size(); i++)
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
    static const char kSignature[] = "\x89PNG\r\n\x1a\n";
    static const char kEnd[] = "IEND\xae\x42\x60\x82";
    const std::string bytes = ReadFile(path);
    return bytes.size() > 20 && bytes.compare(0, 8, kSignature, 8) == 0 &&
           bytes.compare(bytes.size() - 8, 8, kEnd, 8) == 0;
}

// A whole sound capture of the headless driver (QUARNELIX_AUDIO_CAPTURE): it holds what was played
// until the run ended, which is less when a run ends early, but its header always gives its size.
bool IsWholeCapture(const std::string& path) {
    const std::string bytes = ReadFile(path);
    if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) return false;
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes.data());
    uint64_t riff = b[4] | (b[5] << 8) | (b[6] << 16) | (static_cast<uint64_t>(b[7]) << 24);
    return riff + 8 == bytes.size();
}

// Files a failed run left neither as they were nor as a whole run leaves them. Files that the
// two whole runs leave differently (temporary names, times) are not judged.
std::vector<std::string> HalfWritten(const SweepTree& now, const SweepTree& before, const SweepTree& a,
                                     const SweepTree& b) {
    std::set<std::string> paths;
    for (const SweepTree* t : {&now, &before, &a, &b})
        for (const auto& [path, entry] : *t) paths.insert(path);
    std::vector<std::string> bad;
    for (const std::string& path : paths) {
        const SweepEntry *n = Find(now, path), *p = Find(before, path), *x = Find(a, path), *y = Find(b, path);
        if (SameState(n, p) || SameState(n, x) || SameState(n, y) || !SameState(x, y)) continue;
        if (n && n->type == 'f' && (IsWholeSnapshot(path) || IsWholeCapture(path))) continue;
        bad.push_back(path + ": " + StateText(n) + " (before the run: " + StateText(p) +
                      ", after a whole run: " + StateText(x) + ")");
    }
    return bad;
}

}  // namespace

std::vector<uint64_t> SweepPoints(uint64_t count, uint64_t pass, uint64_t passes) {
    std::vector<uint64_t> points;
    if (passes == 0) {
        if (count <= kSmallSetRuns) {
            for (uint64_t n = 1; n <= count; n++) points.push_back(n);
        } else {
            for (uint64_t i = 0; i < kSmallSetRuns; i++) points.push_back(1 + i * (count - 1) / (kSmallSetRuns - 1));
        }
        return points;
    }
    for (uint64_t n = pass; n >= 1 && n <= count; n += passes) points.push_back(n);
    return points;
}

OomSweepResult RunOomSweep(const OomSweepOptions& o) {
    OomSweepResult result;
    auto fail = [&](uint64_t n, std::string what, std::string detail) {
        result.failures.push_back({n, std::move(what), std::move(detail)});
    };

    std::string scratch = o.tempRoot + "/qzoomsweep.XXXXXX";
    if (!mkdtemp(scratch.data())) {
        fail(0, "cannot make the sweep's folder in " + o.tempRoot, strerror(errno));
        return result;
    }
    std::string store = scratch + "/store", runFiles = scratch + "/run";
    fs::create_directory(store);
    fs::create_directory(runFiles);

    // What the run may change: its folder, the folders of its arguments and of the files the
    // headless driver reads and writes, and the player's own folder.
    std::vector<std::string> named(o.argv.begin() + (o.argv.empty() ? 0 : 1), o.argv.end());
    named.push_back(fs::path(o.program).parent_path().string());
    for (const std::string& e : o.env) {
        size_t eq = e.find('=');
        if (e.rfind("QUARNELIX_", 0) == 0 && eq != std::string::npos) named.push_back(e.substr(eq + 1));
    }
    std::vector<std::string> roots = SweepRoots(o.cwd, named, o.tempRoot, scratch);
    std::set<std::string> ignore(o.ignore.begin(), o.ignore.end());

    std::string error;
    SweepTree before = ListTrees(roots, {}, ignore);
    if (!SaveTrees(roots, store, &error)) {
        fail(0, "cannot save the folders of the run", error);
        fs::remove_all(scratch);
        return result;
    }
    SweepTree clean = before;
    auto restore = [&]() {
        if (!RestoreTrees(roots, store, clean, ignore, &error)) {
            fail(0, "cannot put the folders of the run back", error);
            return false;
        }
        clean = ListTrees(roots, clean, ignore);
        return true;
    };

    // Two whole runs: the count, and what a run prints and leaves (and which of it varies).
    ChildRun whole[2];
    SweepTree after[2];
    for (int i = 0; i < 2; i++) {
        if (i > 0 && !restore()) break;
        whole[i] = RunChild(o, {}, runFiles, o.timeoutSeconds);
        after[i] = ListTrees(roots, clean, ignore);
        result.count = std::max(result.count, whole[i].count);
        if (!whole[i].exited || HasSanitizerReport(whole[i]))
            fail(0, "a run without failing allocations: " + Describe(whole[i]),
                 Indent(Tail(whole[i].out + whole[i].err), "    "));
    }

    // The reports of memory that ran out as the player's catalog for the run's language words
    // them (an empty text shows as a report line that ends after its colon), and in the player's
    // own words, which a failure before the catalog opens (the platform's start) reports in:
    // ERR_MEM, and the errors of the things the player allocates with a report of their own
    // (timers, locks, signals, bitmaps, sound channels, alpha channels, masks).
    std::vector<std::string> reports = {kOutOfMemory, kNoMemoryAtStart};
    for (int code :
         {ERR_MEM, ERR_TIMER, ERR_SEMAPHORE, ERR_SIGNAL, ERR_BITMAP, ERR_ALLOCCHANNEL, ERR_ALLOCALPHA, ERR_ALLOCMASK}) {
        std::string text = LocalErrorText(o.cwd, code);
        reports.push_back(text.empty() ? ": \n" : text);
        reports.push_back(FormatErrorText(code));
    }

    if (result.failures.empty()) {
        double limit = std::max(o.timeoutSeconds, 10 * std::max(whole[0].seconds, whole[1].seconds));
        const char* mode = o.mode == QZ_ALLOC_FAULT_FROM ? "from" : "once";
        for (uint64_t n : SweepPoints(result.count, o.pass, o.passes)) {
            if (!restore()) break;
            ChildRun r = RunChild(o, {"QZ_ALLOC_FAIL=" + std::to_string(n), std::string("QZ_ALLOC_FAIL_MODE=") + mode},
                                  runFiles, limit);
            result.runs++;
            SweepTree now = ListTrees(roots, clean, ignore);

            std::vector<std::string> problems;
            if (!r.exited || r.status != whole[0].status)
                problems.push_back(Describe(r) + (r.exited ? " (a whole run: " + Describe(whole[0]) + ")" : ""));
            if (HasSanitizerReport(r)) problems.push_back("sanitizer report");
            bool reported = PrintsOutOfMemoryCode(r.out) || PrintsOutOfMemoryCode(r.err);
            for (const std::string& report : reports)
                reported = reported || Contains(r.out, report.c_str()) || Contains(r.err, report.c_str());
            auto printedAs = [&](const std::string& got, const std::string& a, const std::string& b) {
                return AsWholeRun(got, a, b) || (r.failedInShutdown && AsWholeRunWithShorterReport(got, a, b));
            };
            bool asWhole = printedAs(r.out, whole[0].out, whole[1].out) && printedAs(r.err, whole[0].err, whole[1].err);
            // With every allocation failing from the Nth on, not even a report can be made.
            if (!reported && !asWhole && r.exited && o.mode != QZ_ALLOC_FAULT_FROM)
                problems.push_back("neither reported \"Out of memory!\" nor printed what a whole run prints");
            std::vector<std::string> files = HalfWritten(now, clean, after[0], after[1]);
            if (!files.empty()) problems.push_back("left files half-written");
            if (problems.empty()) continue;

            std::string what;
            for (const std::string& p : problems) what += (what.empty() ? "" : "; ") + p;
            std::string detail;
            if (!r.out.empty()) detail += "  standard output:\n" + Indent(Tail(r.out), "    ");
            if (!r.err.empty()) detail += "  standard error:\n" + Indent(Tail(r.err, 6000), "    ");
            for (const std::string& f : files) detail += "  file " + f + "\n";
            if (!r.trace.empty()) detail += "  the failed allocation:\n" + Indent(Symbolized(r.trace), "    ");
            fail(n, what, detail);
        }
    }
    restore();
    fs::remove_all(scratch);
    return result;
}

namespace {

std::string EnvOr(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

// The path a standard stream of this process is open on, if it is a file.
std::string StreamPath(int fd) {
    char link[64], target[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0) return "";
    target[n] = '\0';
    return target[0] == '/' ? target : "";
}

std::string Quoted(const std::vector<std::string>& words) {
    std::string s;
    for (const std::string& w : words) s += (s.empty() ? "'" : " '") + w + "'";
    return s;
}

}  // namespace

int OomSweepMain(int argc, char** argv, OomRunFunction run) {
    // The server is forked first, while this process is still as main found it.
    OomForkServer server;
    bool served = run && StartOomForkServer(&server, run, argc, argv);
    OomSweepOptions o;
    if (served) o.server = &server;
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        std::perror("qzplayer_oom: /proc/self/exe");
        return kOomSweepFailedStatus;
    }
    self[n] = '\0';
    o.program = self;
    o.argv.assign(argv, argv + argc);
    std::error_code ec;
    o.cwd = fs::current_path(ec).string();
    std::vector<std::string> plainEnv;
    for (char** e = environ; *e; e++) {
        o.env.push_back(*e);
        if (std::strncmp(*e, "QZ_OOM_SWEEP=", 13) != 0) plainEnv.push_back(*e);
    }
    plainEnv.push_back("QZ_OOM_SWEEP=0");
    unsigned long long pass = 0, passes = 0;
    if (std::sscanf(EnvOr("QZ_OOM_PASS", "").c_str(), "%llu/%llu", &pass, &passes) == 2 && pass >= 1 &&
        pass <= passes) {
        o.pass = pass;
        o.passes = passes;
    }
    o.mode = EnvOr("QZ_OOM_MODE", "once") == "from" ? QZ_ALLOC_FAULT_FROM : QZ_ALLOC_FAULT_ONCE;
    o.timeoutSeconds = std::strtod(EnvOr("QZ_OOM_TIMEOUT", "60").c_str(), nullptr);
    o.tempRoot = EnvOr("TMPDIR", "/tmp");
    for (int fd = 0; fd < 3; fd++)
        if (std::string p = StreamPath(fd); !p.empty()) o.ignore.push_back(p);

    OomSweepResult r = RunOomSweep(o);
    if (served) StopOomForkServer(&server);

    // One line per swept invocation, for totals over a whole sweep.
    std::string log = EnvOr("QZ_OOM_LOG", "");
    if (!log.empty()) {
        std::string line = std::to_string(r.count) + " " + std::to_string(r.runs) + " " +
                           std::to_string(r.failures.size()) + " " + Quoted(o.argv) + "\n";
        int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            ssize_t written = write(fd, line.data(), line.size());
            (void)written;
            close(fd);
        }
    }

    if (!r.failures.empty()) {
        std::string all = "Allocation-failure sweep in " + o.cwd + ": " + Quoted(o.argv) + "\n";
        for (const OomSweepFailure& f : r.failures)
            all += (f.n ? "allocation " + std::to_string(f.n) + " failed: " : std::string()) + f.what + "\n" + f.detail;
        std::string report = EnvOr("QZ_OOM_REPORT", "");
        int fd = report.empty() ? -1 : open(report.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            ssize_t written = write(fd, all.data(), all.size());
            (void)written;
            close(fd);
        }
        std::fprintf(stderr, "Allocation-failure sweep: %zu of %llu runs failed (%llu allocations)\n  in %s: %s\n",
                     r.failures.size(), static_cast<unsigned long long>(r.runs),
                     static_cast<unsigned long long>(r.count), o.cwd.c_str(), Quoted(o.argv).c_str());
        const size_t shown = 8;
        for (size_t i = 0; i < r.failures.size() && i < shown; i++) {
            const OomSweepFailure& f = r.failures[i];
            if (f.n)
                std::fprintf(stderr, "allocation %llu failed: %s\n", static_cast<unsigned long long>(f.n),
                             f.what.c_str());
            else
                std::fprintf(stderr, "%s\n", f.what.c_str());
            std::fputs(f.detail.c_str(), stderr);
        }
        if (r.failures.size() > shown) {
            std::string rest;
            for (size_t i = shown; i < r.failures.size(); i++) rest += " " + std::to_string(r.failures[i].n);
            std::fprintf(stderr, "also failed at allocations%s\n", rest.c_str());
        }
        return kOomSweepFailedStatus;
    }

    // The plain run the caller asked for, in this process.
    std::vector<char*> args, envp;
    for (std::string& a : o.argv) args.push_back(a.data());
    args.push_back(nullptr);
    for (std::string& e : plainEnv) envp.push_back(e.data());
    envp.push_back(nullptr);
    if (chdir(o.cwd.c_str()) != 0 || (execve(o.program.c_str(), args.data(), envp.data()), true)) {
        std::perror("qzplayer_oom");
        return kOomSweepFailedStatus;
    }
    return kOomSweepFailedStatus;
}
