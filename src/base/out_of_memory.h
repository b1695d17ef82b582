// Code that runs outside any protected call (start-up, shutdown, threads of their own) and
// allocates through `new` or the standard containers: a std::bad_alloc it throws becomes
// ERR_MEM here, as a command's does at its protected call.
#pragma once

#include <new>

#include "base/error_codes.h"

// Runs `step` (returning 0 or an error code) and returns its result, or ERR_MEM when it ran out
// of memory. What the step holds must be released by its owners as the exception unwinds.
template <typename Step>
int CatchOutOfMemory(Step&& step) {
    try {
        return step();
    } catch (const std::bad_alloc&) {
        return ERR_MEM;
    }
}
