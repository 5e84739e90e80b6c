#pragma once
// A millisecond tick timer: readings are differences of the 32-bit tick count, taken modulo 2^32
// so that they stay right across the counter's wrap after 49.7 days.

#include "com/wintypes.h"

class CZynRelTime {
public:
    CZynRelTime() = default;
    CZynRelTime(const CZynRelTime&) = default;
    CZynRelTime& operator=(const CZynRelTime&) = default;

    // The tick count (never 0) plus the tick offset, modulo 2^32.
    DWORD TickCount() const;
    // The tick count, never 0, without the offset.
    static DWORD int_GetTickCount();

    void Start();
    // Milliseconds since the start; the first reading of a timer that is not running starts it.
    DWORD GetRelTime();
    bool IsRunning() const { return m_dwStart != 0; }
    void Reset();
    // Shifts every reading of this timer, so that tests can place it just before the wrap.
    void SeedTickCount(DWORD offset) { m_dwOffset = offset; }

private:
    DWORD m_dwStart = 0; // 0: not started
    DWORD m_dwFlags = 0;
    DWORD m_dwOffset = 0;
};
