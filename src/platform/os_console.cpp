// Console output on standard output.
#include "platform/os_console.h"

#include <cstdarg>
#include <cstdio>

void PrintConsole(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fflush(stdout);
}

void PrintConsoleText(const char* text, size_t length) {
    std::fwrite(text, 1, length, stdout);
    std::fflush(stdout);
}
