// Runtime choice between a portable build of a kernel's inner loop and one compiled for AVX2.
// Both are compiled from the same source (an always-inline body), so their results are identical;
// only the instructions the compiler may pick differ.
#pragma once

#if defined(__x86_64__) || defined(__i386__)
#define QZ_HAVE_AVX2_CLONES 1
#define QZ_TARGET_AVX2 __attribute__((target("avx2")))
inline bool CpuHasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#else
#define QZ_HAVE_AVX2_CLONES 0
#define QZ_TARGET_AVX2
inline bool CpuHasAvx2() { return false; }
#endif

#define QZ_INLINE inline __attribute__((always_inline))
