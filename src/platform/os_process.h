// Running programs and opening documents, and the program's own location and the user's folders.
#pragma once

#include <cstddef>

// Runs program with the argument text (or null). Synchronous runs go through the shell and wait;
// asynchronous runs start the program directly (arguments split at blanks, "..." keeps blanks,
// ">file" sends both output streams to file) without waiting. A path whose file part has a '.'
// and that is no executable file is a document and is handed to the desktop's opener.
// Returns 0, ERR_WRONGUSAGE (bad argument text) or ERR_MEM.
int OsExecute(const char* program, const char* arguments, int async);

// Hands a document path or a URL (file-system text) to the desktop's opener ("xdg-open") as one
// argument, without a shell, and does not wait for it. False when the opener cannot be started.
bool OsOpenWithDesktop(const char* target);

// The executable's full path / the folder holding it, in engine form. False when unknown.
bool MacGetExecutablePath(char* buffer, size_t size);
bool MacGetBundlePath(char* buffer, size_t size);
// Launch arguments stored with the program: there are none on this platform (empty string).
void MacGetBundleExecutableArgs(char* buffer, size_t size);

// Folder kinds: 0 applications, 1 application data, 2 the user's home, 3 documents, 4 the user's
// full name. Writes the text (empty when it cannot be found) and returns 0.
int MacGetSystemFolder(int kind, char* buffer, size_t size);
