// A private X server (Xvfb) for a test, and whether a program is installed.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

extern char** environ;

// A private X server for one test: Xvfb picks a free display number and reports it.
struct XServer {
    pid_t pid = -1;
    std::string display;

    // screen: WIDTHxHEIGHTxDEPTH of the server's one screen.
    bool Start(const char* screen = "640x480x24") {
        int fds[2];
        if (pipe(fds) != 0) return false;
        std::string fd = std::to_string(fds[1]);
        const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp", nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        int rc = posix_spawnp(&pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (rc != 0) {
            pid = -1;
            close(fds[0]);
            return false;
        }
        // The display number arrives as a line once the server accepts connections.
        std::string number;
        pollfd p = {fds[0], POLLIN, 0};
        while (poll(&p, 1, 10000) > 0) {
            char c;
            if (read(fds[0], &c, 1) != 1 || c == '\n') break;
            number += c;
        }
        close(fds[0]);
        display = ":" + number;
        return !number.empty();
    }

    ~XServer() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

inline bool HaveProgram(const char* name) {
    std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}
