// Code that runs outside any protected call (start-up, shutdown, threads of their own, the
// services plugins call from C) and allocates through `new` or the standard containers: a
// std::bad_alloc it throws becomes ERR_MEM or the service's failure result here, as a command's
// becomes ERR_MEM at its protected call.
#pragma once

#include <new>
#include <type_traits>

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

// The entry point of a service in a table that plugins call from C: it runs `Service` and, when
// memory runs out, answers `failure` (null for a pointer result, nothing for none), so that no
// std::bad_alloc reaches a plugin's frames. What the service holds is released by its owners.
template <auto Service, long long failure, typename Signature>
struct qzOutOfMemoryGuard;

template <auto Service, long long failure, typename R, typename... A>
struct qzOutOfMemoryGuard<Service, failure, R (*)(A...)> {
    static R Call(A... args) {
        try {
            return Service(args...);
        } catch (const std::bad_alloc&) {
            if constexpr (std::is_pointer_v<R>)
                return nullptr;
            else if constexpr (!std::is_void_v<R>)
                return static_cast<R>(failure);
        }
    }
};

// CatchingOutOfMemory<Service>() (failure 0, null or nothing) or
// CatchingOutOfMemory<Service, ERR_MEM>(): the guarded entry point of Service.
template <auto Service, long long failure = 0>
constexpr auto CatchingOutOfMemory() {
    return &qzOutOfMemoryGuard<Service, failure, decltype(Service)>::Call;
}
