#pragma once
// DataSet: the measured values of one channel with their running statistics. Values arrive through
// the owning channel (samples, static values, loading); clients read them, edit copies of them, and
// the chart view fetches whole runs as pixel rows through IZynDataSetPrivate.

#include "ZynCritSec.h"
#include "ZynDispatchImpl.h"
#include "ZynLockList.h"
#include "ZynTimeBase.h"
#include "ZynValueStore.h"
#include "objlib/ZynInterfaces.h"

#include <atomic>
#include <mutex>

// What a data set needs from the channel that owns it.
class CZynDataSetOwner {
public:
    // Index in the time base of the data set's first value.
    virtual LONG DataSetOffset() = 0;
    virtual HRESULT DataSetTimeAt(LONG index, VARIANT* out) = 0;
    // The data set raised change bits; `allBits` is its whole word.
    virtual void DataSetChanged(DWORD allBits) = 0;

protected:
    ~CZynDataSetOwner() = default;
};

class CZynDataSet final : public zyn::com::ComRefCount,
                          public CZynDispatchImpl<IZynDataSet2>,
                          public IZynDataSetPrivate {
public:
    enum WriteState : DWORD {
        kWriteInPlace = 0,
        kWriteCopyOnFirst = 1,
        kWritePrivateCopy = 2,
        kWriteReadOnly = 3,
        kWriteInPlaceLoaded = 4,
    };
    enum ChangeBits : DWORD {
        kChangedMin = 0x100000,
        kChangedMax = 0x200000,
        kChangedFirst = 0x300000,
        kChangedAverage = 0x400000,
        kChangedCleared = 0x800000,
        kChangedAppended = 0x1000000,
    };

    // A data set on `timeBase`, or on an empty time base of its own when null.
    static CComPtr<CZynDataSet> Create(CZynTimeBase* timeBase = nullptr);

    ZYN_COM_IUNKNOWN(CZynDataSet, IZynDataSet2, IZynDataSet, IDispatch, IZynDataSetPrivate)

    // IZynDataSet
    HRESULT GetValueAt(LONG i_Idx, double* o_pValue) override;
    HRESULT SetValueAt(LONG i_Idx, double i_Value) override;
    HRESULT GetTimeAt(LONG i_Idx, VARIANT* o_Val) override;
    HRESULT GetRawValueAt(LONG i_Idx, double* o_pValue) override;
    HRESULT TimeToIndex(double dTime, LONG* pIndex) override;
    HRESULT LockObject(IZynObjLock** o_ppLock) override;
    HRESULT get_IndexMax(LONG* pIdxVal) override;
    HRESULT get_IndexMin(LONG* pIdxVal) override;
    HRESULT get_Count(LONG* pVal) override;
    HRESULT get_Max(double* pMaxVal) override;
    HRESULT get_Min(double* pMinVal) override;
    HRESULT get_Average(double* pAvgVal) override;

    // IZynDataSet2
    HRESULT GetValues(LONG i_Start, LONG i_Count, VARIANT* o_pValues) override;
    HRESULT GetTimes(LONG i_Start, LONG i_Count, VARIANT* o_pTimes) override;

    // IZynDataSetPrivate
    HRESULT GetDataEx(LONG i_dwIdx, LONG i_dwMany, double i_dMin, double i_dMax, double i_dOffset,
                      LONG i_Tall, LONG* i_pData, LONG* o_pManyReturned) override;
    HRESULT GetChangedProperty(LONG* pVal) override;
    HRESULT SetChangedProperty(LONG newVal) override;
    HRESULT ClearChangedProperty(LONG newVal) override;
    HRESULT GetTimeAtEx(LONG iStartIdx, LONG dwMany, double* pTimeBuff, LONG* o_pManyReturned) override;

    // For the owning channel and the chart. Every int_ member except int_LockInto expects the caller
    // to hold this data set's lock list.
    void int_LockInto(CZynLockList& locks, bool keepAlive = true);
    [[nodiscard]] bool int_Append(double value);
    // What `n` int_Append calls do, with the change bits raised once; false (nothing appended) when
    // the heap refuses room for all of them.
    [[nodiscard]] bool int_Append(const double* values, std::uint32_t n);
    void int_Clear();
    void int_SetOwner(CZynDataSetOwner* owner, LONG ownOffset);
    void int_SetTimeBase(CZynTimeBase* timeBase);
    CZynTimeBase* int_TimeBase() const { return m_timeBase.p; }
    DWORD int_DataMode() const { return m_dataMode; }
    void int_SetDataMode(DWORD mode) { m_dataMode = mode; }
    DWORD int_WriteState() const { return m_writeState; }
    void int_SetWriteState(DWORD state) { m_writeState = state; }
    std::uint32_t int_Count() const { return m_raw->values.Count(); }
    double int_ValueAt(std::uint32_t i) const { return m_values->values[i]; }
    // Copies up to `many` values (as GetValueAt gives them) from index `first` on; how many it copied.
    std::uint32_t int_CopyValues(std::uint32_t first, std::uint32_t many, double* out) const;
    LONG int_Offset() const;
    // Raises change bits with notification of the owner.
    void int_Raise(DWORD bits);
    std::size_t int_AllocatedBytes() const;
    bool int_SharesStores() const { return m_raw.p == m_values.p; }
    // For the record code: the measured values as appended, room for a known number of appends,
    // and dropping edited values so that displayed and raw values are one store again.
    const CZynGrowArray<double>& int_RawValues() const { return m_raw->values; }
    [[nodiscard]] bool int_Reserve(std::uint32_t extra);
    // Room for a run of appends of a writer that does not know how many runs follow.
    [[nodiscard]] bool int_ReserveForAppends(std::uint32_t extra);
    void int_ShareRawValues() {
        m_values = m_raw;
        m_edits.fetch_add(1, std::memory_order_relaxed);
    }
    // Counts changes to values already held (edits, clears), which appends and change bits do not
    // reveal: lets a reader keep derived data until this moves.
    std::uint32_t int_EditCount() const { return m_edits.load(std::memory_order_relaxed); }

private:
    CZynDataSet() = default;
    ~CZynDataSet() override = default;

    void int_Rescan(bool forMax);
    // Locked. S_OK when [start, start + count) are indexes of values, else the error naming `member`.
    HRESULT int_CheckRun(LONG start, LONG count, const char* member) const;
    // Locked. Copies the times of values [start, start + many) (as GetTimeAt gives them); how many
    // of them have a time.
    std::uint32_t int_CopyTimes(LONG start, std::uint32_t many, double* out) const;

    CComPtr<CZynValueStore> m_raw;
    CComPtr<CZynValueStore> m_values;
    std::atomic<double> m_max{0.0};
    std::atomic<double> m_min{0.0};
    std::atomic<double> m_average{0.0};
    std::atomic<LONG> m_indexMin{0};
    std::atomic<LONG> m_indexMax{0};
    CZynDataSetOwner* m_owner = nullptr;
    DWORD m_dataMode = 0;
    DWORD m_writeState = kWriteCopyOnFirst;
    LONG m_ownOffset = -1;
    std::atomic<DWORD> m_changed{0};
    std::atomic<std::uint32_t> m_edits{0};
    // Read by lock takers before they hold any lock, so swapping it is guarded.
    mutable std::mutex m_timeBaseGuard;
    CComPtr<CZynTimeBase> m_timeBase;
    CZynCritSec m_lock;
};
