// Console output: plain lines, and the progress lines that loading commands print around their
// work ("Loading brush x.png... done"). Progress output is silent while the runtime is quiet.
#pragma once

#include <string>

#include "platform/os_console.h"

// Starts a progress line without ending it. With a file name, "%s" in message takes the file's
// display name; addDots appends "...". The message is printed as text, never used as a format.
void PrintProgressStart(const char* message, const char* fileName, bool addDots);
// End the progress line with the catalog word "done", "failed" or "skipped" and a line feed.
void PrintProgressDone();
void PrintProgressFailed();
void PrintProgressSkipped();

// A copy of text with every '%' doubled, for handing a plain text to a printf-style function.
std::string EscapePercentSigns(const char* text);
