#include "ZynRelTime.h"

#include "sync/tick.h"

DWORD CZynRelTime::int_GetTickCount() {
    DWORD tick = GetTickCount();
    return tick ? tick : 1;
}

DWORD CZynRelTime::TickCount() const {
    return int_GetTickCount() + m_dwOffset;
}

void CZynRelTime::Start() {
    m_dwStart = TickCount();
    if (m_dwStart == 0) m_dwFlags = 0;
}

DWORD CZynRelTime::GetRelTime() {
    if (m_dwStart == 0) Start();
    return TickCount() - m_dwStart;
}

void CZynRelTime::Reset() {
    m_dwStart = 0;
    m_dwFlags = 0;
    m_dwOffset = 0;
}
