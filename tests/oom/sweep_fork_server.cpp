#include "oom/sweep_fork_server.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

constexpr size_t kPathRoom = 1024;
constexpr int kEnvSlots = 8;

// A request as it crosses the socket: fixed fields, so that the server reads it into static
// storage and allocates nothing (every run inherits the server's heap).
struct RunRequest {
    char out[kPathRoom];
    char err[kPathRoom];
    char env[kEnvSlots][kPathRoom];  // "NAME=value", or empty
};

struct RunReply {
    int32_t kind;  // 0: the run's process id follows, 1: its wait status
    int32_t value;
};

bool ReadWhole(int fd, void* to, size_t size) {
    char* p = static_cast<char*>(to);
    while (size > 0) {
        ssize_t n = read(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool SendWhole(int fd, const void* from, size_t size) {
    const char* p = static_cast<const char*>(from);
    while (size > 0) {
        ssize_t n = send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool IsSweepVariable(const char* entry) {
    return std::strncmp(entry, "QZ_OOM_", 7) == 0 || std::strncmp(entry, "QZ_ALLOC_", 9) == 0;
}

void ClearSweepVariables() {
    for (bool again = true; again;) {
        again = false;
        for (char** e = environ; *e; e++) {
            if (!IsSweepVariable(*e)) continue;
            char name[256];
            size_t length = std::strcspn(*e, "=");
            if (length >= sizeof name) length = sizeof name - 1;
            std::memcpy(name, *e, length);
            name[length] = '\0';
            unsetenv(name);
            again = true;
            break;
        }
    }
}

bool Redirect(int fd, const char* path, int flags) {
    int opened = open(path, flags, 0600);
    if (opened < 0) return false;
    if (opened != fd) {
        if (dup2(opened, fd) < 0) return false;
        close(opened);
    }
    return true;
}

[[noreturn]] void StartRun(int socket, const RunRequest& request, OomRunFunction run, int argc, char** argv) {
    close(socket);
    setpgid(0, 0);
    if (!Redirect(0, "/dev/null", O_RDONLY) || !Redirect(1, request.out, O_WRONLY | O_CREAT | O_TRUNC) ||
        !Redirect(2, request.err, O_WRONLY | O_CREAT | O_TRUNC))
        _exit(127);
    ClearSweepVariables();
    for (const char* assignment : request.env)
        if (assignment[0]) putenv(const_cast<char*>(assignment));
    std::exit(run(argc, argv));
}

[[noreturn]] void Serve(int socket, OomRunFunction run, int argc, char** argv) {
    static RunRequest request;
    while (ReadWhole(socket, &request, sizeof request)) {
        pid_t pid = fork();
        if (pid == 0) StartRun(socket, request, run, argc, argv);
        if (pid > 0) setpgid(pid, pid);
        RunReply started = {0, pid > 0 ? pid : -1};
        if (!SendWhole(socket, &started, sizeof started)) break;
        int status = -1;
        if (pid > 0)
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        RunReply ended = {1, status};
        if (!SendWhole(socket, &ended, sizeof ended)) break;
    }
    _exit(0);
}

bool CopyField(char* to, const std::string& from) {
    if (from.size() >= kPathRoom) return false;
    std::memcpy(to, from.c_str(), from.size() + 1);
    return true;
}

}  // namespace

bool StartOomForkServer(OomForkServer* server, OomRunFunction run, int argc, char** argv) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
    // Output still buffered here would be written again by every run.
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        close(ends[0]);
        close(ends[1]);
        return false;
    }
    if (pid == 0) {
        close(ends[0]);
        Serve(ends[1], run, argc, argv);
    }
    close(ends[1]);
    server->pid = pid;
    server->socket = ends[0];
    return true;
}

void StopOomForkServer(OomForkServer* server) {
    if (server->socket >= 0) close(server->socket);
    if (server->pid > 0)
        while (waitpid(server->pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    server->socket = -1;
    server->pid = -1;
}

pid_t OomForkRun(const OomForkServer& server, const std::string& out, const std::string& err,
                 const std::vector<std::string>& env, std::string* error) {
    static RunRequest request;
    std::memset(&request, 0, sizeof request);
    bool fits = env.size() <= kEnvSlots && CopyField(request.out, out) && CopyField(request.err, err);
    for (size_t i = 0; fits && i < env.size(); i++) fits = CopyField(request.env[i], env[i]);
    if (!fits) {
        *error = "a path or variable of the run is too long for the fork server";
        return -1;
    }
    RunReply reply;
    if (!SendWhole(server.socket, &request, sizeof request) || !ReadWhole(server.socket, &reply, sizeof reply) ||
        reply.kind != 0) {
        *error = "the fork server is gone";
        return -1;
    }
    if (reply.value <= 0) {
        *error = "the fork server cannot fork";
        OomWaitForkRun(server, 0, nullptr);
        return -1;
    }
    return reply.value;
}

bool OomWaitForkRun(const OomForkServer& server, double seconds, int* status) {
    int ignored;
    if (!status) status = &ignored;
    *status = -1;
    if (seconds > 0) {
        pollfd p = {server.socket, POLLIN, 0};
        timespec start;
        clock_gettime(CLOCK_MONOTONIC, &start);
        for (;;) {
            timespec now;
            clock_gettime(CLOCK_MONOTONIC, &now);
            double left = seconds - (now.tv_sec - start.tv_sec) - (now.tv_nsec - start.tv_nsec) / 1e9;
            if (left <= 0) return false;
            int ready = poll(&p, 1, static_cast<int>(left * 1000) + 1);
            if (ready > 0) break;
            if (ready < 0 && errno != EINTR) return false;
        }
    }
    RunReply reply;
    if (!ReadWhole(server.socket, &reply, sizeof reply) || reply.kind != 1) return true;
    *status = reply.value;
    return true;
}
