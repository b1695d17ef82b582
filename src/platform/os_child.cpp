// Helper programs run with posix_spawn, their standard input and output through pipes that one
// poll loop serves, so that neither side can block the other.
#include "platform/os_child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/os_time.h"

extern char** environ;

namespace {

constexpr int kIdleMs = 20;

struct Fd {
    int fd = -1;
    ~Fd() { Close(); }
    void Close() {
        if (fd >= 0) close(fd);
        fd = -1;
    }
};

void WaitChild(pid_t pid, int* status) {
    while (waitpid(pid, status, 0) < 0 && errno == EINTR) {
    }
}

// Ends a started child and waits for it when the run is left before it was waited for.
struct ChildReaper {
    pid_t pid = 0;
    ~ChildReaper() {
        if (pid > 0) {
            int status = 0;
            kill(pid, SIGKILL);
            WaitChild(pid, &status);
        }
    }
};

// Writes what it can without blocking; false when the child closed its end.
bool WriteSome(int fd, const std::string& data, size_t* at) {
    // A child that exits early would raise SIGPIPE for the whole player: it is held for this
    // write and taken back afterwards.
    sigset_t pipeSet, old;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
    ssize_t n = write(fd, data.data() + *at, data.size() - *at);
    int error = errno;
    if (n < 0 && error == EPIPE) {
        timespec zero = {0, 0};
        sigtimedwait(&pipeSet, nullptr, &zero);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (n > 0) *at += size_t(n);
    return n >= 0 || error == EAGAIN || error == EINTR;
}

}  // namespace

bool OsFindProgram(const char* name) {
    if (!name || !*name) return false;
    if (std::strchr(name, '/')) return access(name, X_OK) == 0;
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        std::string file = (dir.empty() ? std::string(".") : dir) + "/" + name;
        struct stat st;
        if (stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(file.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

bool OsRunChild(const qzChildRun& run, qzChildResult* out) {
    out->exitCode = -1;
    out->output.clear();
    if (run.argv.empty() || run.argv[0].empty()) return false;
    int inPipe[2] = {-1, -1}, outPipe[2] = {-1, -1};
    if (pipe2(inPipe, O_CLOEXEC) != 0) return false;
    Fd inRead{inPipe[0]}, inWrite{inPipe[1]};
    Fd outRead, outWrite;
    if (run.captureOutput) {
        if (pipe2(outPipe, O_CLOEXEC) != 0) return false;
        outRead.fd = outPipe[0];
        outWrite.fd = outPipe[1];
    }

    // The argument list is made before the spawn records, which would leak when making it runs
    // out of memory.
    std::vector<char*> argv;
    for (const std::string& a : run.argv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inRead.fd, 0);
    if (run.captureOutput)
        posix_spawn_file_actions_adddup2(&actions, outWrite.fd, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // The child starts with the default signal dispositions and no blocked signals, whatever
    // the player set for itself.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    inRead.Close();
    outWrite.Close();
    if (rc != 0) return false;
    // Until it is waited for, the child is ended and waited for on every way out: collecting its
    // output or an idle call may run out of memory and unwind through here.
    ChildReaper reaper{pid};

    size_t written = 0;
    const std::string empty;
    const std::string& input = run.input ? *run.input : empty;
    if (input.empty())
        inWrite.Close();
    else
        fcntl(inWrite.fd, F_SETFL, fcntl(inWrite.fd, F_GETFL) | O_NONBLOCK);

    bool ok = true;
    uint64_t deadline = run.timeoutMs >= 0 ? OsMonotonicMicros() + uint64_t(run.timeoutMs) * 1000u : 0;
    char buffer[65536];
    while (inWrite.fd >= 0 || outRead.fd >= 0) {
        pollfd fds[2];
        nfds_t count = 0;
        if (outRead.fd >= 0) fds[count++] = {outRead.fd, POLLIN, 0};
        if (inWrite.fd >= 0) fds[count++] = {inWrite.fd, POLLOUT, 0};
        int ready = poll(fds, count, kIdleMs);
        if (ready < 0 && errno != EINTR) {
            ok = false;
            break;
        }
        for (nfds_t i = 0; ready > 0 && i < count; i++) {
            if (!fds[i].revents) continue;
            if (fds[i].fd == outRead.fd) {
                ssize_t n = read(outRead.fd, buffer, sizeof buffer);
                if (n > 0) {
                    if (out->output.size() + size_t(n) > run.maxOutput) {
                        ok = false;
                        break;
                    }
                    out->output.append(buffer, size_t(n));
                } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                    outRead.Close();
                }
            } else if (!WriteSome(inWrite.fd, input, &written) || written >= input.size()) {
                inWrite.Close();
            }
        }
        if (!ok) break;
        if (!run.captureOutput && inWrite.fd < 0) break;
        if (deadline && OsMonotonicMicros() > deadline) {
            ok = false;
            break;
        }
        if (run.idle) run.idle(run.idleData);
    }
    inWrite.Close();
    outRead.Close();

    // Without output to wait for, the child's end is waited for with the same idle calls.
    int status = 0;
    while (ok) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) {
            ok = false;
            break;
        }
        if (deadline && OsMonotonicMicros() > deadline) {
            ok = false;
            break;
        }
        if (run.idle) run.idle(run.idleData);
        OsDelay(kIdleMs / 4);
    }
    reaper.pid = 0;
    if (!ok) {
        kill(pid, SIGKILL);
        WaitChild(pid, &status);
        out->output.clear();
        return false;
    }
    out->exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}
