// The player's console: standard output, flushed after every write so that lines interleave
// correctly with child programs and with standard error.
#pragma once

#include <cstddef>

// printf-style output to standard output. The format must be the caller's own literal, never a
// catalog or script text.
void PrintConsole(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Writes the text as it is (no format).
void PrintConsoleText(const char* text, size_t length);
