#pragma once
// Where scheduled work takes its time from: a millisecond tick and waits measured on it. Code that
// runs on a schedule (a sampling thread, a press-and-hold check) takes a clock, so that a test can
// move time by hand instead of sleeping through it.

#include "handle.h"

#include <cstdint>

namespace zyn::sync {

class IClock {
public:
    virtual ~IClock() = default;
    // Milliseconds of a monotonic clock; 64 bits, so it never wraps.
    virtual std::uint64_t TickMs() = 0;
    // Waits `ms` milliseconds of this clock, or less when `stop` (an event, or null for none) is
    // signalled first. True when the wait ended because of `stop`, or because `stop` is no longer a
    // valid handle (a waiter must not go on as if nothing happened).
    virtual bool Wait(HANDLE stop, DWORD ms) = 0;
};

// The system's monotonic clock with real waits: the default of everything that takes a clock.
IClock& SystemClock();

} // namespace zyn::sync
