// Runtime choice between a portable build of a kernel's inner loop and one compiled for AVX2.
// Both are compiled from the same source (an always-inline body), so their results are identical;
// only the instructions the compiler may pick differ. A loop written with AVX2 instructions by hand
// computes the same formula, and the kernel tests hold both builds to it.
#pragma once

#include <atomic>

// Cleared by tests to run the portable builds on a machine that has AVX2.
inline std::atomic<bool> gQzAvx2KernelsAllowed{true};

#if defined(__x86_64__) || defined(__i386__)
#define QZ_TARGET_AVX2 __attribute__((target("avx2")))
inline bool CpuHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has && gQzAvx2KernelsAllowed.load(std::memory_order_relaxed);
}
#else
#define QZ_TARGET_AVX2
inline bool CpuHasAvx2() { return false; }
#endif

#define QZ_INLINE inline __attribute__((always_inline))
