#include "ZynDataSet.h"

#include <algorithm>

#include "ZynErrors.h"
#include "ZynObjLock.h"
#include "ZynText.h"
#include "ZynValueArrays.h"

#include <cmath>
#include <limits>

namespace {

HRESULT Raise(HRESULT hr, const std::u16string& text) {
    return zyn::obj::RaiseError(CLSID_DataSet, hr, text);
}

// A pixel row as a 32-bit value: rows beyond the 32-bit range saturate instead of overflowing, and a
// value that is not a number lands on the bottom of the plot. The product is clamped in double to
// the range whose truncation keeps `tall - row` inside 32 bits, so the loop needs no 64-bit steps
// and vectorises.
struct PixelRowRange {
    double lo, hi;
    explicit PixelRowRange(LONG tall)
        : lo(std::max(-2147483648.0, double(tall) - 2147483647.0)),
          hi(std::min(2147483647.0, double(tall) + 2147483648.0)) {}
};

inline LONG PixelRow(double v, double dMin, double dOffset, double scale, LONG tall,
                     const PixelRowRange& range) {
    double x = ((v + dOffset) - dMin) * scale * tall;
    x = x == x ? x : 0.0;
    x = x < range.lo ? range.lo : x;
    x = x > range.hi ? range.hi : x;
    return static_cast<LONG>(static_cast<std::int64_t>(tall) - static_cast<std::int32_t>(x));
}

} // namespace

CComPtr<CZynDataSet> CZynDataSet::Create(CZynTimeBase* timeBase) {
    CComPtr<CZynDataSet> set(new CZynDataSet);
    set->m_raw = zyn::com::MakeObject<CZynValueStore>();
    set->m_values = set->m_raw;
    if (timeBase)
        set->m_timeBase = timeBase;
    else
        set->m_timeBase = CZynTimeBase::Create();
    return set;
}

void CZynDataSet::int_LockInto(CZynLockList& locks, bool keepAlive) {
    // The owner may swap the time base while this thread waits for the old one; retry until the
    // locks taken are those of the current one.
    for (;;) {
        CComPtr<CZynTimeBase> timeBase;
        {
            std::lock_guard guard(m_timeBaseGuard);
            timeBase = m_timeBase;
        }
        const std::size_t mark = locks.Size();
        locks.Add(timeBase->Lock(), keepAlive ? timeBase.p : nullptr);
        locks.Add(m_lock, keepAlive ? this : nullptr);
        std::lock_guard guard(m_timeBaseGuard);
        if (m_timeBase.p == timeBase.p) return;
        locks.UnlockTo(mark);
    }
}

void CZynDataSet::int_SetTimeBase(CZynTimeBase* timeBase) {
    if (!timeBase) return;
    CComPtr<CZynTimeBase> old;
    std::lock_guard guard(m_timeBaseGuard);
    old = m_timeBase;
    m_timeBase = timeBase;
}

void CZynDataSet::int_SetOwner(CZynDataSetOwner* owner, LONG ownOffset) {
    m_owner = owner;
    m_ownOffset = ownOffset;
}

LONG CZynDataSet::int_Offset() const {
    return m_owner ? m_owner->DataSetOffset() : m_ownOffset;
}

std::size_t CZynDataSet::int_AllocatedBytes() const {
    std::size_t bytes = m_raw->values.AllocatedBytes();
    if (!int_SharesStores()) bytes += m_values->values.AllocatedBytes();
    return bytes;
}

void CZynDataSet::int_Raise(DWORD bits) {
    if ((m_changed.load(std::memory_order_relaxed) & bits) == bits) return;
    const DWORD all = m_changed.fetch_or(bits, std::memory_order_relaxed) | bits;
    if (m_owner) m_owner->DataSetChanged(all);
}

bool CZynDataSet::int_Append(double value) {
    CZynGrowArray<double>& raw = m_raw->values;
    CZynGrowArray<double>& values = m_values->values;
    const bool separate = m_raw.p != m_values.p;
    // Room in both first, so that a refused allocation leaves raw and values the same length.
    if (!raw.ReserveOne() || (separate && !values.ReserveOne())) return false;
    raw.AppendReserved(value);
    if (separate) values.AppendReserved(value);

    const std::uint32_t i = raw.Count() - 1;
    if (i != 0) {
        // The common sample: no new extreme and the bits already raised; nothing to notify.
        const double max = m_max.load(std::memory_order_relaxed), min = m_min.load(std::memory_order_relaxed);
        constexpr DWORD kEveryAppend = kChangedAverage | kChangedAppended;
        if (!(value > max) && !(value < min) &&
            (m_changed.load(std::memory_order_relaxed) & kEveryAppend) == kEveryAppend) {
            const double n = double(values.Count());
            m_average.store(((n - 1) * m_average.load(std::memory_order_relaxed) + value) / n,
                            std::memory_order_relaxed);
            return true;
        }
    }
    if (i == 0) {
        m_min.store(value, std::memory_order_relaxed);
        m_max.store(value, std::memory_order_relaxed);
        m_average.store(value, std::memory_order_relaxed);
        m_indexMin.store(0, std::memory_order_relaxed);
        m_indexMax.store(0, std::memory_order_relaxed);
        int_Raise(kChangedFirst);
    } else {
        if (value > m_max.load(std::memory_order_relaxed)) {
            m_max.store(value, std::memory_order_relaxed);
            m_indexMax.store(static_cast<LONG>(i), std::memory_order_relaxed);
            int_Raise(kChangedMax);
        }
        if (value < m_min.load(std::memory_order_relaxed)) {
            m_min.store(value, std::memory_order_relaxed);
            m_indexMin.store(static_cast<LONG>(i), std::memory_order_relaxed);
            int_Raise(kChangedMin);
        }
        const double n = double(values.Count());
        m_average.store(((n - 1) * m_average.load(std::memory_order_relaxed) + value) / n,
                        std::memory_order_relaxed);
        int_Raise(kChangedAverage);
    }
    int_Raise(kChangedAppended);
    return true;
}

std::uint32_t CZynDataSet::int_CopyValues(std::uint32_t first, std::uint32_t many, double* out) const {
    const CZynGrowArray<double>& values = m_values->values;
    if (first >= values.Count()) return 0;
    const std::uint32_t n = std::min(many, values.Count() - first);
    std::copy_n(values.Data() + first, n, out);
    return n;
}

bool CZynDataSet::int_Append(const double* v, std::uint32_t n) {
    if (n == 0) return true;
    if (!int_ReserveForAppends(n)) return false;
    CZynGrowArray<double>& raw = m_raw->values;
    CZynGrowArray<double>& values = m_values->values;
    const bool separate = m_raw.p != m_values.p;
    // The statistics follow the steps of single appends exactly, in locals.
    double max = m_max.load(std::memory_order_relaxed), min = m_min.load(std::memory_order_relaxed);
    double average = m_average.load(std::memory_order_relaxed);
    LONG indexMax = m_indexMax.load(std::memory_order_relaxed),
         indexMin = m_indexMin.load(std::memory_order_relaxed);
    DWORD bits = kChangedAppended;
    for (std::uint32_t k = 0; k < n; ++k) {
        const double value = v[k];
        raw.AppendReserved(value);
        if (separate) values.AppendReserved(value);
        const std::uint32_t i = raw.Count() - 1;
        if (i == 0) {
            min = max = average = value;
            indexMin = indexMax = 0;
            bits |= kChangedFirst;
            continue;
        }
        if (value > max) {
            max = value;
            indexMax = static_cast<LONG>(i);
            bits |= kChangedMax;
        }
        if (value < min) {
            min = value;
            indexMin = static_cast<LONG>(i);
            bits |= kChangedMin;
        }
        const double count = double(values.Count());
        average = ((count - 1) * average + value) / count;
        bits |= kChangedAverage;
    }
    m_max.store(max, std::memory_order_relaxed);
    m_min.store(min, std::memory_order_relaxed);
    m_average.store(average, std::memory_order_relaxed);
    m_indexMax.store(indexMax, std::memory_order_relaxed);
    m_indexMin.store(indexMin, std::memory_order_relaxed);
    int_Raise(bits);
    return true;
}

bool CZynDataSet::int_ReserveForAppends(std::uint32_t extra) {
    return m_raw->values.ReserveForAppends(extra) &&
           (int_SharesStores() || m_values->values.ReserveForAppends(extra));
}

bool CZynDataSet::int_Reserve(std::uint32_t extra) {
    return m_raw->values.Reserve(extra) && (int_SharesStores() || m_values->values.Reserve(extra));
}

void CZynDataSet::int_Clear() {
    m_raw->values.RemoveAll();
    m_values = m_raw;
    m_max.store(0.0, std::memory_order_relaxed);
    m_min.store(0.0, std::memory_order_relaxed);
    m_average.store(0.0, std::memory_order_relaxed);
    m_indexMin.store(0, std::memory_order_relaxed);
    m_indexMax.store(0, std::memory_order_relaxed);
    m_dataMode = 0;
    m_writeState = kWriteInPlace;
    m_edits.fetch_add(1, std::memory_order_relaxed);
    int_Raise(kChangedCleared);
    int_Raise(kChangedFirst);
    int_Raise(kChangedAverage);
}

void CZynDataSet::int_Rescan(bool forMax) {
    const CZynGrowArray<double>& values = m_values->values;
    const std::uint32_t count = values.Count();
    if (count == 0) return;
    std::uint32_t best = 0;
    for (std::uint32_t k = 1; k < count; ++k)
        if (forMax ? values[k] > values[best] : values[k] < values[best]) best = k;
    if (forMax) {
        m_max.store(values[best], std::memory_order_relaxed);
        m_indexMax.store(static_cast<LONG>(best), std::memory_order_relaxed);
        int_Raise(kChangedMax);
    } else {
        m_min.store(values[best], std::memory_order_relaxed);
        m_indexMin.store(static_cast<LONG>(best), std::memory_order_relaxed);
        int_Raise(kChangedMin);
    }
}

HRESULT CZynDataSet::GetValueAt(LONG i_Idx, double* o_pValue) {
    if (!o_pValue) return E_POINTER;
    CZynLockList locks;
    int_LockInto(locks);
    const std::uint32_t count = m_values->values.Count();
    if (i_Idx < 0 || std::uint32_t(i_Idx) >= count)
        return Raise(E_INVALIDARG,
                     zyn::obj::FormatText("Invalid index(%d) passed to GetValueAt. There are %d values.",
                                          int(i_Idx), int(count)));
    *o_pValue = m_values->values[std::uint32_t(i_Idx)];
    return S_OK;
}

HRESULT CZynDataSet::GetRawValueAt(LONG i_Idx, double* o_pValue) {
    if (!o_pValue) return E_POINTER;
    CZynLockList locks;
    int_LockInto(locks);
    const std::uint32_t count = m_raw->values.Count();
    if (i_Idx < 0 || std::uint32_t(i_Idx) >= count)
        return Raise(E_INVALIDARG,
                     zyn::obj::FormatText("Invalid index(%d) passed to GetValueAt. There are %d values.",
                                          int(i_Idx), int(count)));
    *o_pValue = m_raw->values[std::uint32_t(i_Idx)];
    return S_OK;
}

HRESULT CZynDataSet::SetValueAt(LONG i_Idx, double i_Value) {
    CZynLockList locks;
    int_LockInto(locks);
    const std::uint32_t count = m_values->values.Count();
    if (i_Idx < 0 || std::uint32_t(i_Idx) >= count)
        return Raise(E_INVALIDARG,
                     zyn::obj::FormatText("Invalid index(%d) passed to SetValueAt. There are %d values.",
                                          int(i_Idx), int(count)));
    if (m_writeState == kWriteReadOnly) return Raise(E_FAIL, u"Data cannot be written to");
    if (m_writeState == kWriteCopyOnFirst) {
        // The raw values keep what was measured: the first edit gets a store of its own.
        if (m_values->RefCount() > 1) {
            CComPtr<CZynValueStore> copy = zyn::com::MakeObject<CZynValueStore>();
            if (!copy->values.CopyFrom(m_values->values)) return E_OUTOFMEMORY;
            m_values = copy;
        }
        m_writeState = kWritePrivateCopy;
    }
    const std::uint32_t i = std::uint32_t(i_Idx);
    CZynGrowArray<double>& values = m_values->values;
    const double old = values[i];
    values[i] = i_Value;
    m_edits.fetch_add(1, std::memory_order_relaxed);
    if (i_Idx == m_indexMax.load(std::memory_order_relaxed)) int_Rescan(true);
    if (i_Idx == m_indexMin.load(std::memory_order_relaxed)) int_Rescan(false);
    if (i_Value > m_max.load(std::memory_order_relaxed)) {
        m_max.store(i_Value, std::memory_order_relaxed);
        m_indexMax.store(i_Idx, std::memory_order_relaxed);
        int_Raise(kChangedMax);
    }
    if (i_Value < m_min.load(std::memory_order_relaxed)) {
        m_min.store(i_Value, std::memory_order_relaxed);
        m_indexMin.store(i_Idx, std::memory_order_relaxed);
        int_Raise(kChangedMin);
    }
    m_average.store(m_average.load(std::memory_order_relaxed) + (i_Value - old) / double(count),
                    std::memory_order_relaxed);
    return S_OK;
}

HRESULT CZynDataSet::GetTimeAt(LONG i_Idx, VARIANT* o_Val) {
    if (!o_Val) return E_POINTER;
    CZynLockList locks;
    int_LockInto(locks);
    if (m_owner) return m_owner->DataSetTimeAt(i_Idx, o_Val);
    // A free-standing data set starts at offset -1: index and offset together must name an entry.
    const std::int64_t entry = std::int64_t(i_Idx) + m_ownOffset;
    if (i_Idx < 0 || entry < 0 || entry >= std::int64_t(m_timeBase->GetCount())) return E_INVALIDARG;
    VariantInit(o_Val);
    o_Val->vt = VT_DATE;
    o_Val->date = m_timeBase->GetTimeAt(std::uint32_t(entry));
    return S_OK;
}

HRESULT CZynDataSet::TimeToIndex(double dTime, LONG* pIndex) {
    if (!pIndex) return E_POINTER;
    CZynLockList locks;
    int_LockInto(locks);
    const LONG offset = int_Offset();
    const std::int64_t found = m_timeBase->Search(dTime, offset);
    std::int64_t r = found - offset;
    const std::int64_t count = m_values->values.Count();
    if (r > count) r = count;
    if (r < 0) r = 0;
    *pIndex = static_cast<LONG>(r);
    return S_OK;
}

HRESULT CZynDataSet::LockObject(IZynObjLock** o_ppLock) {
    return HandOutObjLock(o_ppLock, [this](CZynLockList& locks) { int_LockInto(locks); });
}

HRESULT CZynDataSet::get_IndexMax(LONG* pIdxVal) {
    if (!pIdxVal) return E_POINTER;
    *pIdxVal = m_indexMax.load(std::memory_order_relaxed);
    return S_OK;
}

HRESULT CZynDataSet::get_IndexMin(LONG* pIdxVal) {
    if (!pIdxVal) return E_POINTER;
    *pIdxVal = m_indexMin.load(std::memory_order_relaxed);
    return S_OK;
}

HRESULT CZynDataSet::get_Count(LONG* pVal) {
    if (!pVal) return E_POINTER;
    CZynLockList locks;
    int_LockInto(locks);
    *pVal = static_cast<LONG>(m_raw->values.Count());
    return S_OK;
}

HRESULT CZynDataSet::get_Max(double* pMaxVal) {
    if (!pMaxVal) return E_POINTER;
    *pMaxVal = m_max.load(std::memory_order_relaxed);
    return S_OK;
}

HRESULT CZynDataSet::get_Min(double* pMinVal) {
    if (!pMinVal) return E_POINTER;
    *pMinVal = m_min.load(std::memory_order_relaxed);
    return S_OK;
}

HRESULT CZynDataSet::get_Average(double* pAvgVal) {
    if (!pAvgVal) return E_POINTER;
    *pAvgVal = m_average.load(std::memory_order_relaxed);
    return S_OK;
}

HRESULT CZynDataSet::GetDataEx(LONG i_dwIdx, LONG i_dwMany, double i_dMin, double i_dMax, double i_dOffset,
                               LONG i_Tall, LONG* i_pData, LONG* o_pManyReturned) {
    if (!o_pManyReturned) return E_POINTER;
    *o_pManyReturned = 0;
    CZynLockList locks;
    int_LockInto(locks);
    const std::uint32_t avail = m_values->values.Count();
    if (i_dwMany < 0 || i_dwIdx < 0 || std::int64_t(i_dwIdx) + i_dwMany > std::int64_t(avail))
        return Raise(E_INVALIDARG,
                     zyn::obj::FormatText("Invalid parameter passed to GetDataEx. Idx=%d Many=%d Avail=%d",
                                          int(i_dwIdx), int(i_dwMany), int(avail)));
    if (!i_pData) return Raise(E_INVALIDARG, u"Null pointer in GetDataEx");
    if (i_dwMany == 0 || i_Tall == 0 || i_dMin == i_dMax) return S_OK;

    // The first member of each pair is the time-base entry, which lies in the 32-bit index range
    // for every value that has one.
    const std::uint32_t base = static_cast<std::uint32_t>(std::int64_t(int_Offset()) + i_dwIdx);
    const double scale = 1.0 / (i_dMax - i_dMin);
    const double* __restrict values = m_values->values.Data() + i_dwIdx;
    LONG* __restrict out = i_pData;
    const std::size_t many = std::size_t(i_dwMany);
    const PixelRowRange range(i_Tall);
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC ivdep
#endif
    for (std::size_t k = 0; k < many; ++k) {
        out[2 * k] = static_cast<LONG>(base + std::uint32_t(k));
        out[2 * k + 1] = PixelRow(values[k], i_dMin, i_dOffset, scale, i_Tall, range);
    }
    *o_pManyReturned = i_dwMany;
    return S_OK;
}

HRESULT CZynDataSet::GetChangedProperty(LONG* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = static_cast<LONG>(m_changed.load(std::memory_order_relaxed));
    return S_OK;
}

HRESULT CZynDataSet::SetChangedProperty(LONG newVal) {
    m_changed.fetch_or(static_cast<DWORD>(newVal), std::memory_order_relaxed);
    return S_OK;
}

HRESULT CZynDataSet::ClearChangedProperty(LONG newVal) {
    m_changed.fetch_and(~static_cast<DWORD>(newVal), std::memory_order_relaxed);
    return S_OK;
}

HRESULT CZynDataSet::GetTimeAtEx(LONG iStartIdx, LONG dwMany, double* pTimeBuff, LONG* o_pManyReturned) {
    if (!o_pManyReturned) return E_POINTER;
    *o_pManyReturned = 0;
    if (dwMany < 0 || iStartIdx < 0)
        return Raise(E_INVALIDARG,
                     zyn::obj::FormatText("Invalid parameter passed to GetTimeAtEx. Idx=%d Many=%d",
                                          int(iStartIdx), int(dwMany)));
    if (!pTimeBuff) return Raise(E_INVALIDARG, u"Null pointer in GetDataEx");
    CZynLockList locks;
    int_LockInto(locks);
    *o_pManyReturned = static_cast<LONG>(int_CopyTimes(iStartIdx, std::uint32_t(dwMany), pTimeBuff));
    return S_OK;
}

std::uint32_t CZynDataSet::int_CopyTimes(LONG start, std::uint32_t many, double* out) const {
    const std::int64_t first = std::int64_t(start) + int_Offset();
    const std::int64_t entries = m_timeBase->GetCount();
    // Entries before the first one of the time base do not exist (a free-standing set has offset -1).
    if (first < 0) return 0;
    const std::int64_t n = std::clamp<std::int64_t>(entries - first, 0, many);
    for (std::int64_t k = 0; k < n; ++k)
        out[k] = m_timeBase->GetTimeAt(std::uint32_t(first + k));
    return std::uint32_t(n);
}

HRESULT CZynDataSet::int_CheckRun(LONG start, LONG count, const char* member) const {
    const std::uint32_t values = m_values->values.Count();
    if (start < 0 || count < 0 || std::int64_t(start) + count > std::int64_t(values))
        return Raise(
            E_INVALIDARG,
            zyn::obj::FormatText("Invalid range (start %d, count %d) passed to %s. There are %u values.",
                                 int(start), int(count), member, unsigned(values)));
    return S_OK;
}

HRESULT CZynDataSet::GetValues(LONG i_Start, LONG i_Count, VARIANT* o_pValues) {
    if (!o_pValues) return E_POINTER;
    VariantInit(o_pValues);
    CZynLockList locks;
    int_LockInto(locks);
    if (const HRESULT hr = int_CheckRun(i_Start, i_Count, "GetValues"); FAILED(hr)) return hr;
    return zyn::obj::MakeDoubleArray(std::size_t(i_Count), o_pValues, [&](double* out) {
        (void)int_CopyValues(std::uint32_t(i_Start), std::uint32_t(i_Count), out);
    });
}

HRESULT CZynDataSet::GetTimes(LONG i_Start, LONG i_Count, VARIANT* o_pTimes) {
    if (!o_pTimes) return E_POINTER;
    VariantInit(o_pTimes);
    CZynLockList locks;
    int_LockInto(locks);
    if (const HRESULT hr = int_CheckRun(i_Start, i_Count, "GetTimes"); FAILED(hr)) return hr;
    std::uint32_t timed = 0;
    const HRESULT hr = zyn::obj::MakeDoubleArray(std::size_t(i_Count), o_pTimes, [&](double* out) {
        timed = int_CopyTimes(i_Start, std::uint32_t(i_Count), out);
    });
    if (FAILED(hr)) return hr;
    // Every value has its time while the set belongs to a channel; a time base that ends first
    // would leave entries that are no times at all.
    if (timed < std::uint32_t(i_Count)) {
        VariantClear(o_pTimes);
        return Raise(E_FAIL, zyn::obj::FormatText("Only %u of the %d values from index %d have a time.",
                                                  unsigned(timed), int(i_Count), int(i_Start)));
    }
    return S_OK;
}
