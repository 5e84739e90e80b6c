#include "ZynHighResTimer.h"

#include "sync/tick.h"

CZynHighResTimer::CZynHighResTimer() {
    Start();
}

LONGLONG CZynHighResTimer::int_GetHighResTime() {
    return static_cast<LONGLONG>(zyn::sync::ReadCycleCounter());
}

LONGLONG CZynHighResTimer::Stop() {
    m_llStop = int_GetHighResTime();
    return m_llStop - m_llStart;
}

LONGLONG CZynHighResTimer::Elapsed() {
    if (m_llStop == 0) return Stop();
    return m_llStop - m_llStart;
}
