#pragma once
// Millisecond tick count and the processor cycle counter.

#include "com/wintypes.h"

// Milliseconds of the monotonic clock, cut to 32 bits so that it wraps after 49.7 days exactly
// like the tick count timers were written against.
DWORD GetTickCount();
ULONGLONG GetTickCount64();

namespace zyn::sync {

// Added (modulo 2^32) to every GetTickCount reading of the process, so that tests can put the
// counter just before its wrap. 0 in normal use.
void SetTickCountOffset(DWORD offset);
DWORD GetTickCountOffset();

// The processor's time-stamp counter on x86-64; elsewhere monotonic nanoseconds, which serve the
// same purpose of measuring short intervals in fine steps.
ULONGLONG ReadCycleCounter();

} // namespace zyn::sync
