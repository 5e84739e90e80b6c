#include "ZynTimeBase.h"

#include <algorithm>
#include <cmath>

CComPtr<CZynTimeBase> CZynTimeBase::Clone() {
    CComPtr<CZynTimeBase> copy = Create();
    copy->SetStart(GetStart());
    if (!copy->m_rel.CopyFrom(m_rel)) return nullptr;
    copy->m_inOrder = m_inOrder;
    return copy;
}

bool CZynTimeBase::AppendRel(std::uint32_t ms) {
    const std::uint32_t count = m_rel.Count();
    const bool back = count > 0 && ms < m_rel[count - 1];
    if (!m_rel.Append(ms)) return false;
    m_inOrder = m_inOrder && !back;
    return true;
}

bool CZynTimeBase::AppendRel(const std::uint32_t* ms, std::uint32_t n) {
    const std::uint32_t count = m_rel.Count();
    const bool back = n > 0 && ((count > 0 && ms[0] < m_rel[count - 1]) || !std::is_sorted(ms, ms + n));
    if (!m_rel.AppendMany(ms, n)) return false;
    m_inOrder = m_inOrder && !back;
    return true;
}

LONG CZynTimeBase::Search(double time, LONG offset) const {
    const std::uint32_t count = m_rel.Count();
    if (count == 0) return -1;
    const double start = GetStart();
    if (!(time > start)) return 0; // also a NaN time
    const LONG last = static_cast<LONG>(count - 1);
    const double ms = std::trunc((time - start) * kMsPerDay);
    // Beyond what 32 bits of milliseconds can name: after every entry.
    if (ms >= 4294967296.0) return last;
    const std::uint32_t target = static_cast<std::uint32_t>(ms);
    if (m_rel[0] >= target) return 0;
    if (m_rel[count - 1] < target) return last;

    // The search treats its lower bound as lying before the target. A channel that joined a running
    // chart starts at an entry that may already be at or after it: its first value is the answer.
    if (offset >= 0 && offset <= last && m_rel[static_cast<std::uint32_t>(offset)] >= target) return offset;
    LONG lo = offset < -1 ? -1 : offset, hi = last, result = -1;
    while (result < 0 && hi - lo >= 2) {
        const LONG mid = lo + (hi - lo) / 2;
        const std::uint32_t at = m_rel[static_cast<std::uint32_t>(mid)];
        if (at < target)
            lo = mid;
        else if (at > target)
            hi = mid;
        else
            result = mid;
    }
    if (result < 0) result = hi;
    while (result > offset && result > 0 && m_rel[static_cast<std::uint32_t>(result - 1)] == target)
        --result;
    return result;
}
