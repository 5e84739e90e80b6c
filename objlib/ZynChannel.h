#pragma once
// Channel: one recorded quantity of a chart: a sampled performance counter (dynamic), values pushed
// by a client with their own times (static), or a declared series (virtual). Owns one data set for
// life and carries the display attributes the views use.

#include "ZynChartLink.h"
#include "ZynCounterInfo.h"
#include "ZynCritSec.h"
#include "ZynDataSet.h"
#include "ZynDispatchImpl.h"
#include "ZynLockList.h"
#include "ZynTimeBase.h"
#include "objlib/ZynBulkAccess.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CZynFilter;
namespace zyn::obj::records {
struct ChannelFields;
}

class CZynChannel final : public zyn::com::ComRefCount,
                          public CZynDispatchImpl<IZynChannel2>,
                          public IZynChannelPrivate,
                          public IZynBulkAccess,
                          private CZynDataSetOwner {
public:
    enum ChangeBits : DWORD {
        kChangedName = 0x100,
        kChangedComment = 0x200,
        kChangedFilterAdded = 0x400,
        kChangedFilterDetached = 0x800,
        kChangedCleared = 0x1000,
        kChangedColor = 0x2000,
        kChangedWider = 0x4000,
        kChangedNarrower = 0x8000,
        kChangedScaleMin = 0x10000,
        kChangedScaleMax = 0x20000,
        kChangedShown = 0x40000,
        kChangedHidden = 0x80000,
        kChangedLoaded = 0xFFFFFFFF,
    };
    static constexpr DWORD kDataModeDynamic = 3;
    static constexpr DWORD kDataModeStaticOrVirtual = 4;

    // A free-standing static channel named "Channel" on an empty time base of its own.
    static CComPtr<CZynChannel> Create();

    ZYN_COM_IUNKNOWN(CZynChannel, IZynChannel2, IZynChannel, IDispatch, IZynChannelPrivate, IZynBulkAccess)

    // IZynChannel
    HRESULT Detach() override;
    HRESULT AddFilter(BSTR i_FilterName, IZynFilter** o_ppFilter) override;
    HRESULT FindFilter(BSTR i_FilterName, IZynFilter** o_ppFilter) override;
    HRESULT Clear() override;
    HRESULT AddValueRelTime(double i_Value, LONG i_RelTime, LONG* o_pCount) override;
    HRESULT AddValueAbsTime(double i_Value, VARIANT i_AbsTime, LONG* o_pCount) override;
    HRESULT LockObject(IZynObjLock** o_ppLock) override;
    HRESULT SaveChannel(VARIANT* pVar) override;
    HRESULT SaveChannelAsString(BSTR* pString) override;
    HRESULT AutoScale(LONG* pStat) override;
    HRESULT get_Name(BSTR* pName) override;
    HRESULT put_Name(BSTR newVal) override;
    HRESULT get_Counter(BSTR* pVal) override;
    HRESULT get_Data(IZynDataSet** o_ppData) override;
    HRESULT get_Chart(IZynChart** o_ppChart) override;
    HRESULT get_Comment(BSTR* pComment) override;
    HRESULT put_Comment(BSTR newVal) override;
    HRESULT get_ChannelType(ZynChannelType* pTypeVal) override;
    HRESULT get_typeDynamic(ZynChannelType* pTypeVal) override;
    HRESULT get_typeStatic(ZynChannelType* pTypeVal) override;
    HRESULT get_typeVirtual(ZynChannelType* pTypeVal) override;
    HRESULT get_Color(OLE_COLOR* pColorVal) override;
    HRESULT put_Color(OLE_COLOR newVal) override;
    HRESULT get_Width(LONG* pWidth) override;
    HRESULT put_Width(LONG newVal) override;
    HRESULT get_ScaleMin(double* pVal) override;
    HRESULT put_ScaleMin(double newVal) override;
    HRESULT get_ScaleMax(double* pVal) override;
    HRESULT put_ScaleMax(double newVal) override;
    HRESULT get_Identifier(BSTR* pIdentifier) override;
    HRESULT get_Visible(LONG* pVal) override;
    HRESULT put_Visible(LONG newVal) override;
    HRESULT get_CounterPath(BSTR* pStr) override;
    HRESULT get_CounterMachine(BSTR* pStr) override;
    HRESULT get_CounterObject(BSTR* pStr) override;
    HRESULT get_CounterInstance(BSTR* pStr) override;
    HRESULT get_CounterParent(BSTR* pStr) override;
    HRESULT get_CounterDescription(BSTR* pStr) override;
    HRESULT get_CounterName(BSTR* pStr) override;
    HRESULT get_Units(BSTR* pStr) override;
    HRESULT put_Units(BSTR newVal) override;
    HRESULT get_FirstTime(VARIANT* o_TimeVal) override;
    HRESULT get_LastTime(VARIANT* o_TimeVal) override;
    HRESULT get_DataCount(LONG* pCount) override;

    // IZynChannel2
    HRESULT AddValues(VARIANT i_Values, VARIANT i_Times, LONG* o_pCount) override;

    // IZynChannelPrivate
    HRESULT GetChangedProperty(LONG* pVal) override;
    HRESULT SetChangedProperty(LONG newVal) override;
    HRESULT ClearChangedProperty(LONG newVal) override;

    // IZynBulkAccess
    HRESULT CopyValues(LONG i_First, LONG i_Many, double* o_pValues, double* o_pTimes,
                       LONG* o_pCopied) override;
    HRESULT AppendValues(LONG i_Many, const double* i_pValues, const LONG* i_pRelTimes,
                         LONG* o_pCount) override;
    HRESULT GetEditCount(ULONG* o_pEdits) override;
    HRESULT GetTimesInOrder(BOOL* o_pInOrder) override;

    // For the chart. Members marked "locked" expect the caller to hold this channel's lock list
    // (the chart's tree lock includes it).
    void int_LockInto(CZynLockList& locks, bool keepAlive = true);
    // Joins a chart: numbered name, the chart's time base for channel and data set.
    void int_Attach(CZynChartLink* chart);
    // The chart lets the channel go without being asked through Detach (its own destruction).
    void int_ClearChart() { m_chart.store(nullptr); }
    // Locked. Static gives the channel a copy of its times to own.
    [[nodiscard]] HRESULT int_SetType(ZynChannelType type);
    ZynChannelType int_Type() const { return m_type.load(); }
    // Locked. The chart has added `counter` (for `path`) to its query: read its information.
    void int_BindCounter(PDH_HCOUNTER counter, std::u16string_view path, bool rebind);
    // Locked. Counter string for a path that names no counter.
    void int_SetCounterText(std::u16string_view text);
    // Locked. One sample of a dynamic channel: the counter's value, 0.0 when it is not valid.
    void int_TakeSample();
    // Locked. Appends a value at the time base's newest entry.
    [[nodiscard]] bool int_AppendValue(double value);
    // Locked. What AddValueRelTime adds, for callers that append many values under one lock:
    // E_FAIL for a channel that is not static, E_OUTOFMEMORY (nothing added) when the heap refuses.
    [[nodiscard]] HRESULT int_AddValueRelTime(double value, std::uint32_t relMs);
    // Locked. Copies the source's values onto `chart`'s time axis (the chart's CopyChannel).
    bool int_CopyDataFrom(CZynChannel* source, CZynChartLink* chart);
    // Raises change bits on the channel and the chart's aggregate word.
    void int_Raise(DWORD bits, bool poke = true);
    CZynDataSet* int_DataSet() const { return m_data.p; }
    CZynTimeBase* int_TimeBase() const { return m_timeBase.p; }
    LONG int_Offset() const { return m_offset; }
    bool int_AwaitingFirstSample() const { return m_awaitingFirst; }
    CZynCounterInfo* int_CounterInfo() const { return m_info.get(); }
    std::u16string int_Name() const;
    std::u16string int_Identifier() const { return m_identifier; }
    // For a filter detaching itself: removes the first filter named by `identifier`.
    void int_RemoveFilter(const std::u16string& identifier);

private:
    // The channel record's reader and writer fill and read the fields directly.
    friend struct zyn::obj::records::ChannelFields;

    CZynChannel();
    ~CZynChannel() override;

    // CZynDataSetOwner
    LONG DataSetOffset() override { return m_offset; }
    HRESULT DataSetTimeAt(LONG index, VARIANT* out) override;
    void DataSetChanged(DWORD allBits) override;

    void int_SetTimeBase(CZynTimeBase* timeBase);
    // Locked. The channel's first value lies on time-base entry `entry`: the offset of its data set,
    // and a start for a time base that has none.
    void int_FirstValueAt(std::uint32_t entry);
    HRESULT int_StringOut(const std::u16string& value, BSTR* out) const;
    HRESULT int_CounterField(std::u16string CZynCounterInfo::*field, BSTR* out);
    HRESULT int_TimeOfValue(bool last, VARIANT* out);

    std::atomic<CZynChartLink*> m_chart{nullptr};
    std::vector<CComPtr<CZynFilter>> m_filters;
    LONG m_filterCounter = 0;
    // Attribute strings are set and read without the lock list, from any thread.
    mutable std::mutex m_textGuard;
    std::u16string m_name;
    std::u16string m_comment;
    std::u16string m_counter;
    std::u16string m_identifier;
    std::u16string m_units;
    CComPtr<CZynDataSet> m_data;
    mutable std::mutex m_timeBaseGuard;
    CComPtr<CZynTimeBase> m_timeBase;
    std::atomic<ZynChannelType> m_type{typeStatic};
    LONG m_offset = 0;
    bool m_awaitingFirst = true;
    std::atomic<bool> m_visible{true};
    std::atomic<DWORD> m_changed{0};
    std::atomic<OLE_COLOR> m_color{0x808080};
    std::atomic<LONG> m_width{0};
    std::atomic<double> m_scaleMin{0.0};
    std::atomic<double> m_scaleMax{100.0};
    CZynCritSec m_lock;
    std::unique_ptr<CZynCounterInfo> m_info;
};
