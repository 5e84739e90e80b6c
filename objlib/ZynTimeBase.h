#pragma once
// TimeBase: the time axis shared by a chart and its dynamic and virtual channels (a static channel
// owns one). A start date and one unsigned 32-bit millisecond offset per sample instant.

#include "ZynCritSec.h"
#include "ZynGrowArray.h"

#include "com/unknown.h"

#include <atomic>

class CZynTimeBase final : public zyn::com::ComRefCount {
public:
    static constexpr double kDaysPerMs = 1.1574074074074074e-8;
    static constexpr double kMsPerDay = 86400000.0;

    ULONG AddRef() { return InternalAddRef(); }
    ULONG Release() { return InternalRelease(); }

    static CComPtr<CZynTimeBase> Create() { return zyn::com::MakeObject<CZynTimeBase>(); }
    // Same start, same entries; null when memory runs out.
    CComPtr<CZynTimeBase> Clone();

    double GetStart() const { return m_start.load(std::memory_order_relaxed); }
    void SetStart(double start) { m_start.store(start, std::memory_order_relaxed); }

    // The rest needs the lock held.
    std::uint32_t GetCount() const { return m_rel.Count(); }
    std::uint32_t GetRel(std::uint32_t i) const { return m_rel[i]; }
    double GetTimeAt(std::uint32_t i) const { return GetStart() + double(m_rel[i]) * kDaysPerMs; }
    [[nodiscard]] bool AppendRel(std::uint32_t ms);
    [[nodiscard]] bool AppendRel(const std::uint32_t* ms, std::uint32_t n);
    [[nodiscard]] bool Reserve(std::uint32_t extra) { return m_rel.Reserve(extra); }
    [[nodiscard]] bool ReserveForAppends(std::uint32_t extra) { return m_rel.ReserveForAppends(extra); }
    void RemoveLast() { m_rel.RemoveLast(); }
    void RemoveAll() {
        m_rel.RemoveAll();
        m_inOrder = true;
    }
    // No entry was ever earlier than the one before it since the last RemoveAll (RemoveLast leaves
    // it as it was). Searches may then start anywhere and find the same entry.
    bool InOrder() const { return m_inOrder; }
    std::size_t AllocatedBytes() const { return m_rel.AllocatedBytes(); }

    // The entry a time falls on: -1 without entries, 0 at or before the start or the first entry,
    // the last entry beyond the end, else the first entry at or after the time, searching no lower
    // than `offset` (the first entry of the asking channel).
    LONG Search(double time, LONG offset) const;

    CZynCritSec& Lock() { return m_lock; }

private:
    std::atomic<double> m_start{0.0};
    CZynGrowArray<std::uint32_t> m_rel;
    bool m_inOrder = true;
    CZynCritSec m_lock;
};
