#include "ZynVectorUnits.h"

bool zyn::HasAvx2() {
#if defined(__x86_64__)
    // Run-time detection instead of an ifunc, whose resolver would run before the thread
    // sanitizer's runtime is ready.
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
#else
    return false;
#endif
}

void zyn::ClearUpperVectorState() {
#if defined(__x86_64__) || defined(__i386__)
    // The instruction exists only on processors with AVX; the registers it clears are caller-saved,
    // so nothing of the caller lives in them across this call.
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx) asm volatile("vzeroupper" ::: "memory");
#endif
}
