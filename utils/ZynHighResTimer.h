#pragma once
// A processor cycle timer for measuring short stretches of work. Counts are cycles of the
// time-stamp counter, not wall time.

#include "com/wintypes.h"

class CZynHighResTimer {
public:
    // Starts at construction.
    CZynHighResTimer();
    ~CZynHighResTimer() = default;
    CZynHighResTimer(const CZynHighResTimer&) = default;
    CZynHighResTimer& operator=(const CZynHighResTimer&) = default;

    static LONGLONG int_GetHighResTime();

    void Start() { m_llStart = int_GetHighResTime(); }
    // Freezes the elapsed count and returns it.
    LONGLONG Stop();
    // The frozen count after a Stop; stops first if the timer was never stopped.
    LONGLONG Elapsed();

private:
    LONGLONG m_llStart = 0;
    LONGLONG m_llStop = 0;
};
