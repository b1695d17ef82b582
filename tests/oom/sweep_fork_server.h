// The process that starts the runs of an allocation-failure sweep by forking itself. It is forked
// from the player's test binary as soon as main starts, before the player has done anything, and
// waits for requests; each request forks a run that sets its standard streams and variables and
// returns the player's status, exactly as a freshly started player would, without paying again
// for loading the program and its libraries (most of what a short failing run costs).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct OomForkServer {
    pid_t pid = -1;
    int socket = -1;  // requests from the sweep, replies from the server
};

// The body of a run: the player's main, given the server's own argument vector.
using OomRunFunction = int (*)(int argc, char** argv);

// Forks the server. In the server, the variables of the sweep itself (QZ_OOM_..., QZ_ALLOC_...)
// are taken out of every run's environment before the run's own are put in; `run`'s result is the
// run's exit status. False when the server cannot be made.
bool StartOomForkServer(OomForkServer* server, OomRunFunction run, int argc, char** argv);

// Ends the server and waits for it.
void StopOomForkServer(OomForkServer* server);

// One run started by the server: its process id (the leader of a process group of its own), or
// -1 with `error` set. The standard input is /dev/null, the output and error go to the files
// named (made or emptied), `env` holds the run's extra "NAME=value" assignments.
pid_t OomForkRun(const OomForkServer& server, const std::string& out, const std::string& err,
                 const std::vector<std::string>& env, std::string* error);

// Waits for the run started last, at most `seconds` (no limit when 0): false when they passed
// first (the run goes on), else true with its wait status (-1 when the server is gone).
bool OomWaitForkRun(const OomForkServer& server, double seconds, int* status);
