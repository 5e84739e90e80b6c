#include "tick.h"

#include <atomic>
#include <ctime>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace {

std::atomic<DWORD> g_tickOffset{0};

ULONGLONG MonotonicNanoseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ULONGLONG(ts.tv_sec) * 1000000000ull + ULONGLONG(ts.tv_nsec);
}

} // namespace

ULONGLONG GetTickCount64() {
    return MonotonicNanoseconds() / 1000000ull;
}

DWORD GetTickCount() {
    return DWORD(GetTickCount64()) + g_tickOffset.load(std::memory_order_relaxed);
}

namespace zyn::sync {

void SetTickCountOffset(DWORD offset) {
    g_tickOffset.store(offset, std::memory_order_relaxed);
}
DWORD GetTickCountOffset() {
    return g_tickOffset.load(std::memory_order_relaxed);
}

ULONGLONG ReadCycleCounter() {
#if defined(__x86_64__) || defined(__i386__)
    return __rdtsc();
#else
    return MonotonicNanoseconds();
#endif
}

} // namespace zyn::sync
