// Helper programs run as child processes without a shell: the dialogs and the clipboard tools of
// the window-system driver. The program is found along PATH; its arguments go to it as they are,
// so no text of a script or a file name is ever read by a shell.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct qzChildRun {
    std::vector<std::string> argv;       // argv[0] is the program
    const std::string* input = nullptr;  // written to its standard input, which is then closed;
                                         // null: standard input is empty
    bool captureOutput = true;           // collect standard output; else it goes to /dev/null
    size_t maxOutput = 1 << 20;          // more output than this fails the run
    int timeoutMs = -1;                  // the child is killed after this long; -1: no limit
    // Called about every 20 ms while the child runs, so that the caller can serve its window
    // system in the meantime (another program may be asking it for the clipboard). May be null.
    void (*idle)(void* data) = nullptr;
    void* idleData = nullptr;
};

struct qzChildResult {
    int exitCode = -1;   // the child's exit status; -1 when it did not exit normally
    std::string output;  // what it wrote to standard output
};

// Runs the program and waits until it ends. Standard error goes to /dev/null. False when it could
// not be started (not installed), wrote more than maxOutput, or ran past the timeout (it is then
// killed); true with its exit status otherwise.
bool OsRunChild(const qzChildRun& run, qzChildResult* out);

// True when an executable of that name lies on PATH.
bool OsFindProgram(const char* name);
