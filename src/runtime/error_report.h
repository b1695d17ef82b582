// Error reporting against the running VM: what happens when a command returns an error code
// (SignalError), the context recorded when an error is raised (RecordErrorContext), the script
// error handler of RaiseOnError, the final error text (GetErrorInfo) and the error requester.
#pragma once

#include <cstddef>

struct VmState;

// A command returned an error code. Stores it as the last error; with error trapping on it records
// the context and raises the code (outside script callbacks the quit flag is set first, so the main
// chunk ends); with trapping off it resets the context and returns 0: the command yields nothing.
int SignalError(VmState* state, int code);
// Fills the command name, error line and source file from the VM call stack.
void RecordErrorContext(VmState* state);
// The last error code of a command (GetLastError).
int GetLastErrorCode();

// The script error handler: the function at stack index becomes the handler (nil removes it).
void SetUserErrorHandler(VmState* state, int index);
bool IsUserErrorHandlerInstalled(VmState* state);
// Calls the handler with (code, message, command name, line) and returns its numeric result
// (0 when it returns no number); the command name is reset to "----" afterwards.
int CallUserErrorHandler(VmState* state, int code);

// Formats the message of code into buffer (size bytes). While a script runs, *file and *line get
// the user-visible source file and line; otherwise null and 0.
void GetErrorInfo(VmState* state, int code, char* buffer, size_t size, const char** file, int* line);

// Shows an error text in a requester titled "QuarnelixPlayer". Unless plain, while a script runs
// the file, line and command are added (see FormatErrorRequesterText).
typedef void (*qzErrorRequesterFunc)(const char* title, const char* text, int flags);
void ShowErrorRequester(VmState* state, const char* text, int plain, int flags);
// The function that shows the requester; null restores the default, which writes the text to
// standard error.
void SetErrorRequesterFunction(qzErrorRequesterFunc fn);
