#include "ZynChannel.h"

#include "ZynErrors.h"
#include "ZynFilter.h"
#include "ZynObjLock.h"
#include "ZynRecords.h"
#include "ZynText.h"
#include "ZynValueArrays.h"

#include "utils/ZynIdentifier.h"
#include "utils/ZynNumber.h"
#include "utils/ZynTime.h"

#include "com/errorinfo.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

HRESULT Raise(HRESULT hr, std::u16string_view text) {
    return zyn::obj::RaiseError(CLSID_Channel, hr, text);
}

constexpr std::u16string_view kNotConnected =
    u"Cannot add data to a channel that is not connected to a chart object.";

enum class RelTime { Stored, Early, TooLate };

// The milliseconds after `start` at which the time base stores a value of time `date`.
RelTime RelativeMs(double date, double start, LONG* ms) {
    if (date < start) return RelTime::Early;
    // A date carries about a microsecond of rounding error at today's dates: a time meant to lie on
    // a whole millisecond must not be truncated to the one before.
    const double rel = std::trunc((date - start) * CZynTimeBase::kMsPerDay + 1e-3);
    // The offset is 32 bits of milliseconds: a later time cannot be stored, and storing a wrapped one
    // would put the value at the wrong time.
    if (rel > 2147483647.0) return RelTime::TooLate;
    *ms = static_cast<LONG>(rel);
    return RelTime::Stored;
}

} // namespace

CZynChannel::CZynChannel() = default;

CComPtr<CZynChannel> CZynChannel::Create() {
    CComPtr<CZynChannel> channel(new CZynChannel);
    channel->m_timeBase = CZynTimeBase::Create();
    char16_t id[128] = {};
    if (CreateIdentifier(id, 128)) channel->m_identifier = id;
    channel->m_name = u"Channel";
    channel->m_data = CZynDataSet::Create(channel->m_timeBase);
    channel->m_data->int_SetOwner(channel.p, -1);
    CZynLockList locks;
    channel->int_LockInto(locks);
    (void)channel->int_SetType(typeStatic);
    return channel;
}

CZynChannel::~CZynChannel() {
    std::vector<CComPtr<CZynFilter>> filters;
    {
        CZynLockList locks;
        int_LockInto(locks, false);
        // A client may keep the data set: its times must still resolve without us.
        m_data->int_SetOwner(nullptr, m_offset);
        filters.swap(m_filters);
    }
    for (CZynFilter* filter : filters)
        filter->int_ClearOwner();
}

void CZynChannel::int_LockInto(CZynLockList& locks, bool keepAlive) {
    // The time base may be swapped while this thread waits for the old one; retry until the locks
    // taken are those of the current one.
    for (;;) {
        CComPtr<CZynTimeBase> timeBase;
        {
            std::lock_guard guard(m_timeBaseGuard);
            timeBase = m_timeBase;
        }
        const std::size_t mark = locks.Size();
        locks.Add(timeBase->Lock(), keepAlive ? timeBase.p : nullptr);
        m_data->int_LockInto(locks, keepAlive);
        locks.Add(m_lock, keepAlive ? this : nullptr);
        std::lock_guard guard(m_timeBaseGuard);
        if (m_timeBase.p == timeBase.p) return;
        locks.UnlockTo(mark);
    }
}

void CZynChannel::int_SetTimeBase(CZynTimeBase* timeBase) {
    {
        CComPtr<CZynTimeBase> old;
        std::lock_guard guard(m_timeBaseGuard);
        old = m_timeBase;
        m_timeBase = timeBase;
    }
    m_data->int_SetTimeBase(timeBase);
}

void CZynChannel::int_Attach(CZynChartLink* chart) {
    CZynLockList locks;
    int_LockInto(locks);
    m_chart.store(chart);
    {
        std::lock_guard guard(m_textGuard);
        m_name = zyn::obj::NumberedName(m_name, chart->NextChannelNumber());
    }
    int_SetTimeBase(chart->ChartTimeBase());
}

HRESULT CZynChannel::int_SetType(ZynChannelType type) {
    const DWORD state = m_data->int_WriteState();
    const DWORD firstWriteCopies = state == CZynDataSet::kWritePrivateCopy ? CZynDataSet::kWritePrivateCopy
                                                                           : CZynDataSet::kWriteCopyOnFirst;
    if (type == typeStatic) {
        // A static channel owns its times from now on.
        CComPtr<CZynTimeBase> copy = m_timeBase->Clone();
        if (!copy) return E_OUTOFMEMORY;
        int_SetTimeBase(copy);
    }
    m_data->int_SetDataMode(type == typeDynamic ? kDataModeDynamic : kDataModeStaticOrVirtual);
    m_data->int_SetWriteState(firstWriteCopies);
    m_type.store(type);
    return S_OK;
}

void CZynChannel::int_Raise(DWORD bits, bool poke) {
    if ((m_changed.load(std::memory_order_relaxed) & bits) == bits) return;
    m_changed.fetch_or(bits, std::memory_order_relaxed);
    if (CZynChartLink* chart = m_chart.load()) chart->AggregateChanged(bits, poke);
}

void CZynChannel::DataSetChanged(DWORD allBits) {
    if (CZynChartLink* chart = m_chart.load()) chart->AggregateChanged(allBits, true);
}

std::u16string CZynChannel::int_Name() const {
    std::lock_guard guard(m_textGuard);
    return m_name;
}

void CZynChannel::int_SetCounterText(std::u16string_view text) {
    std::lock_guard guard(m_textGuard);
    m_counter = text;
}

void CZynChannel::int_BindCounter(PDH_HCOUNTER counter, std::u16string_view path, bool rebind) {
    if (m_info && rebind) m_info.reset();
    m_info = CZynCounterInfo::FromCounter(counter, path);
    m_awaitingFirst = true;
    m_scaleMin.store(m_info->defaultScaleMin);
    m_scaleMax.store(m_info->defaultScaleMax);
    std::lock_guard guard(m_textGuard);
    m_counter = zyn::obj::CounterDisplayText(m_info->counterName, m_info->instance);
    m_units = zyn::obj::UnitsFromCounterName(m_info->counterName, m_units);
}

void CZynChannel::int_TakeSample() {
    if (m_type.load() != typeDynamic || !m_info) return;
    const double value = m_info->ReadValue();
    m_awaitingFirst = false;
    (void)int_AppendValue(value);
}

bool CZynChannel::int_AppendValue(double value) {
    if (m_data->int_Count() == 0) int_FirstValueAt(m_timeBase->GetCount() - 1);
    return m_data->int_Append(value);
}

void CZynChannel::int_FirstValueAt(std::uint32_t entry) {
    m_offset = static_cast<LONG>(entry);
    if (m_timeBase->GetStart() == 0.0) m_timeBase->SetStart(GetTimeAsDouble());
}

bool CZynChannel::int_CopyDataFrom(CZynChannel* source, CZynChartLink* chart) {
    CZynLockList locks;
    int_LockInto(locks);
    CComPtr<CZynTimeBase> axis = chart->ChartTimeBase();
    CComPtr<IZynDataSet> from;
    LONG sourceCount = 0;
    source->get_DataCount(&sourceCount);
    source->get_Data(&from);

    bool copyValues = sourceCount > 0 && m_data->int_Count() > 0 && axis->GetCount() > 0 && from;
    double sourceFirst = 0, sourceLast = 0;
    if (copyValues) {
        CComVariant first, last;
        copyValues = SUCCEEDED(source->get_FirstTime(&first)) && SUCCEEDED(source->get_LastTime(&last));
        sourceFirst = first.date;
        sourceLast = last.date;
        copyValues = copyValues && !(axis->GetTimeAt(0) > sourceLast);
    }
    m_data->int_Clear();
    m_data->int_SetDataMode(kDataModeStaticOrVirtual);
    m_data->int_SetWriteState(CZynDataSet::kWriteInPlaceLoaded);
    int_SetTimeBase(axis);
    if (!copyValues) return true;

    const LONG offset = sourceFirst <= axis->GetTimeAt(0) ? 0 : axis->Search(sourceFirst, 0);
    m_offset = offset < 0 ? 0 : offset;
    for (std::uint32_t entry = std::uint32_t(m_offset); entry < axis->GetCount(); ++entry) {
        LONG index = 0;
        double value = 0;
        if (FAILED(from->TimeToIndex(axis->GetTimeAt(entry), &index))) break;
        if (FAILED(from->GetValueAt(index, &value))) break;
        if (!m_data->int_Append(value)) break;
    }
    SetErrorInfo(0, nullptr); // the end of the source is expected, not an error for the caller
    (void)int_SetType(typeDynamic);
    return true;
}

void CZynChannel::int_RemoveFilter(const std::u16string& identifier) {
    CZynLockList locks;
    int_LockInto(locks);
    for (auto it = m_filters.begin(); it != m_filters.end(); ++it) {
        if ((*it)->int_Identifier() == identifier || (*it)->int_Name() == identifier) {
            m_filters.erase(it);
            return;
        }
    }
}

HRESULT CZynChannel::DataSetTimeAt(LONG index, VARIANT* out) {
    CZynLockList locks;
    int_LockInto(locks);
    auto fail = [](HRESULT hr, const std::u16string& text) {
        return zyn::obj::RaiseError(CLSID_DataSet, hr, text);
    };
    const LONG entries = static_cast<LONG>(m_timeBase->GetCount());
    if (m_data->int_Count() == 0) return fail(E_FAIL, u"Channel has no data");
    if (index < 0)
        return fail(E_INVALIDARG,
                    zyn::obj::FormatText("Negative index passed to GetTimeAt() Size=%d Offset=%d",
                                         int(entries), int(m_offset)));
    const std::int64_t entry = std::int64_t(index) + m_offset;
    if (entry >= entries || entry < 0)
        return fail(E_INVALIDARG,
                    zyn::obj::FormatText("Invalid index passed to GetTimeAt(%lld) Size=%d Offset=%d",
                                         static_cast<long long>(entry), int(entries), int(m_offset)));
    VariantInit(out);
    out->vt = VT_DATE;
    out->date = m_timeBase->GetTimeAt(std::uint32_t(entry));
    return S_OK;
}

HRESULT CZynChannel::Detach() {
    CComPtr<CZynChannel> self(this); // the chart's list may hold the last other reference
    CZynLockList locks;
    int_LockInto(locks);
    CZynChartLink* chart = m_chart.load();
    if (!chart) return S_OK;
    chart->ChannelDetached(this);
    m_chart.store(nullptr);
    // A detached channel keeps a copy of its times.
    return int_SetType(typeStatic);
}

HRESULT CZynChannel::AddFilter(BSTR, IZynFilter** o_ppFilter) {
    if (!o_ppFilter) return E_POINTER;
    *o_ppFilter = nullptr;
    CComPtr<CZynFilter> filter;
    {
        CZynLockList locks;
        int_LockInto(locks);
        filter = CZynFilter::Create(this, ++m_filterCounter);
        m_filters.push_back(filter);
    }
    int_Raise(kChangedFilterAdded);
    *o_ppFilter = filter.Detach();
    return S_OK;
}

HRESULT CZynChannel::FindFilter(BSTR i_FilterName, IZynFilter** o_ppFilter) {
    if (!o_ppFilter) return E_POINTER;
    *o_ppFilter = nullptr;
    if (!i_FilterName) return S_FALSE;
    const std::u16string_view wanted = zyn::com::BstrView(i_FilterName);
    CZynLockList locks;
    int_LockInto(locks);
    for (CZynFilter* filter : m_filters) {
        if (filter->int_Identifier() == wanted || filter->int_Name() == wanted) {
            filter->AddRef();
            *o_ppFilter = filter;
            return S_OK;
        }
    }
    return S_FALSE;
}

HRESULT CZynChannel::Clear() {
    {
        CZynLockList locks;
        int_LockInto(locks);
        m_offset = 0;
        m_data->int_Clear();
        const ZynChannelType type = m_type.load();
        if (type == typeStatic) m_timeBase->RemoveAll();
        m_data->int_SetDataMode(type == typeDynamic ? kDataModeDynamic : kDataModeStaticOrVirtual);
        m_data->int_SetWriteState(CZynDataSet::kWriteCopyOnFirst);
    }
    int_Raise(kChangedCleared);
    return S_OK;
}

HRESULT CZynChannel::AddValueRelTime(double i_Value, LONG i_RelTime, LONG* o_pCount) {
    if (!o_pCount) return E_POINTER;
    CZynChartLink* chart = m_chart.load();
    if (!chart) return Raise(E_FAIL, kNotConnected);
    // Setting the chart's start takes the chart's whole tree: it must come before this channel's locks.
    if (chart->ChartTimeBase()->GetStart() == 0.0) chart->SetChartStartTime(GetTimeAsDouble());

    CZynLockList locks;
    int_LockInto(locks);
    if (m_type.load() != typeStatic) return Raise(E_FAIL, u"Can only add values to a static channel");
    if (i_RelTime < 0) return Raise(E_INVALIDARG, u"Invalid relative time");
    const HRESULT hr = int_AddValueRelTime(i_Value, static_cast<std::uint32_t>(i_RelTime));
    if (FAILED(hr)) return hr;
    *o_pCount = static_cast<LONG>(m_data->int_Count());
    return S_OK;
}

HRESULT CZynChannel::int_AddValueRelTime(double value, std::uint32_t relMs) {
    if (m_type.load() != typeStatic) return E_FAIL;
    if (!m_timeBase->AppendRel(relMs)) return E_OUTOFMEMORY;
    if (!int_AppendValue(value)) {
        m_timeBase->RemoveLast();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT CZynChannel::AddValueAbsTime(double i_Value, VARIANT i_AbsTime, LONG* o_pCount) {
    if (!o_pCount) return E_POINTER;
    constexpr std::u16string_view kBadTime = u"Invalid time to IZynChannel.AddValueAbsTime";
    CComVariant time;
    const HRESULT converted = VariantChangeType(&time, &i_AbsTime, 0, VT_DATE);
    if (FAILED(converted)) return Raise(converted, kBadTime);
    if (!std::isfinite(time.date)) return Raise(E_INVALIDARG, kBadTime);

    CZynChartLink* chart = m_chart.load();
    if (!chart) return Raise(E_FAIL, kNotConnected);
    double start = chart->ChartTimeBase()->GetStart();
    if (start == 0.0) {
        chart->SetChartStartTime(time.date);
        start = time.date;
    }
    LONG ms = 0;
    switch (RelativeMs(time.date, start, &ms)) {
    case RelTime::Early:
        return Raise(E_FAIL, u"Time for data point cannot be earlier than the chart start time.");
    case RelTime::TooLate:
        return Raise(E_INVALIDARG, u"Time for data point is too far after the chart start time.");
    case RelTime::Stored:
        break;
    }
    return AddValueRelTime(i_Value, ms, o_pCount);
}

HRESULT CZynChannel::AddValues(VARIANT i_Values, VARIANT i_Times, LONG* o_pCount) {
    if (!o_pCount) return E_POINTER;
    using zyn::obj::FormatText;
    // Everything is checked before anything changes: a batch is stored whole or not at all.
    zyn::obj::CDoubleArrayArg values, times;
    std::size_t bad = 0;
    HRESULT hr = values.Read(i_Values, VT_R8, &bad);
    if (hr == E_INVALIDARG)
        return Raise(hr, u"The values passed to IZynChannel2.AddValues are not a one-dimensional array");
    if (hr == E_OUTOFMEMORY) return hr;
    if (FAILED(hr))
        return Raise(
            hr, FormatText("The value at index %zu passed to IZynChannel2.AddValues is not a number", bad));
    hr = times.Read(i_Times, VT_DATE, &bad);
    if (hr == E_INVALIDARG)
        return Raise(hr, u"The times passed to IZynChannel2.AddValues are not a one-dimensional array");
    if (hr == E_OUTOFMEMORY) return hr;
    if (FAILED(hr)) return Raise(hr, FormatText("Invalid time at index %zu to IZynChannel2.AddValues", bad));
    const std::size_t n = values.Size();
    if (times.Size() != n)
        return Raise(E_INVALIDARG,
                     FormatText("IZynChannel2.AddValues was given %zu values and %zu times: each "
                                "value needs its time",
                                n, times.Size()));
    const double* date = times.Data();
    for (std::size_t k = 0; k < n; ++k)
        if (!std::isfinite(date[k]))
            return Raise(E_INVALIDARG, FormatText("Invalid time at index %zu to IZynChannel2.AddValues", k));

    CZynChartLink* chart = m_chart.load();
    if (!chart) return Raise(E_FAIL, kNotConnected);
    if (m_type.load() != typeStatic) return Raise(E_FAIL, u"Can only add values to a static channel");
    if (n > std::size_t(std::numeric_limits<LONG>::max()) - std::size_t(m_data->int_Count()))
        return Raise(E_INVALIDARG,
                     FormatText("IZynChannel2.AddValues cannot add %zu values to a channel of %u", n,
                                unsigned(m_data->int_Count())));
    std::vector<LONG> relMs;
    try {
        relMs.resize(n);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    for (;;) {
        // As with single values, a chart without a start starts at the first time given; it is set
        // only once the whole batch is known to fit after it.
        const double start = chart->ChartTimeBase()->GetStart();
        const double from = start == 0.0 && n > 0 ? date[0] : start;
        for (std::size_t k = 0; k < n; ++k) {
            switch (RelativeMs(date[k], from, &relMs[k])) {
            case RelTime::Early:
                return Raise(E_FAIL,
                             FormatText("Time for data point at index %zu cannot be earlier than the chart "
                                        "start time.",
                                        k));
            case RelTime::TooLate:
                return Raise(E_INVALIDARG,
                             FormatText("Time for data point at index %zu is too far after the chart "
                                        "start time.",
                                        k));
            case RelTime::Stored:
                break;
            }
        }
        if (from == start) break;
        chart->SetChartStartTime(from);
        // Another client may have started the chart meanwhile: then measure from its start.
        if (chart->ChartTimeBase()->GetStart() == from) break;
    }
    return AppendValues(static_cast<LONG>(n), values.Data(), relMs.data(), o_pCount);
}

HRESULT CZynChannel::CopyValues(LONG i_First, LONG i_Many, double* o_pValues, double* o_pTimes,
                                LONG* o_pCopied) {
    if (!o_pCopied) return E_POINTER;
    *o_pCopied = 0;
    if (i_First < 0 || i_Many < 0) return E_INVALIDARG;
    if (i_Many > 0 && !o_pValues) return E_POINTER;
    CZynLockList locks;
    int_LockInto(locks);
    std::uint32_t n = m_data->int_CopyValues(std::uint32_t(i_First), std::uint32_t(i_Many), o_pValues);
    if (o_pTimes) {
        // Value i lies on time-base entry i + offset; the time base may end first.
        const std::int64_t first = std::int64_t(i_First) + m_offset;
        const std::int64_t entries = m_timeBase->GetCount();
        const std::int64_t timed = first < 0 ? 0 : std::clamp<std::int64_t>(entries - first, 0, n);
        n = std::uint32_t(timed);
        for (std::uint32_t k = 0; k < n; ++k)
            o_pTimes[k] = m_timeBase->GetTimeAt(std::uint32_t(first + k));
    }
    *o_pCopied = LONG(n);
    return S_OK;
}

HRESULT CZynChannel::AppendValues(LONG i_Many, const double* i_pValues, const LONG* i_pRelTimes,
                                  LONG* o_pCount) {
    if (!o_pCount) return E_POINTER;
    if (i_Many < 0) return E_INVALIDARG;
    if (i_Many > 0 && (!i_pValues || !i_pRelTimes)) return E_POINTER;
    CZynChartLink* chart = m_chart.load();
    if (!chart) return Raise(E_FAIL, kNotConnected);
    // As AddValueRelTime: the chart's start, which takes the whole tree, before this channel's locks.
    if (chart->ChartTimeBase()->GetStart() == 0.0) chart->SetChartStartTime(GetTimeAsDouble());

    CZynLockList locks;
    int_LockInto(locks);
    if (m_type.load() != typeStatic) return Raise(E_FAIL, u"Can only add values to a static channel");
    const std::uint32_t many = std::uint32_t(i_Many);
    if (std::any_of(i_pRelTimes, i_pRelTimes + many, [](LONG t) { return t < 0; }))
        return Raise(E_INVALIDARG, u"Invalid relative time");
    // With room for every value made first, neither append below can be refused half way. The
    // times are not negative, so their bits read the same as unsigned offsets.
    if (!m_timeBase->ReserveForAppends(many) || !m_data->int_ReserveForAppends(many)) return E_OUTOFMEMORY;
    const std::uint32_t firstEntry = m_timeBase->GetCount();
    if (!m_timeBase->AppendRel(reinterpret_cast<const std::uint32_t*>(i_pRelTimes), many))
        return E_OUTOFMEMORY;
    if (many > 0 && m_data->int_Count() == 0) int_FirstValueAt(firstEntry);
    if (!m_data->int_Append(i_pValues, many)) return E_OUTOFMEMORY;
    *o_pCount = static_cast<LONG>(m_data->int_Count());
    return S_OK;
}

HRESULT CZynChannel::GetEditCount(ULONG* o_pEdits) {
    if (!o_pEdits) return E_POINTER;
    *o_pEdits = m_data->int_EditCount();
    return S_OK;
}

HRESULT CZynChannel::GetTimesInOrder(BOOL* o_pInOrder) {
    if (!o_pInOrder) return E_POINTER;
    CZynLockList locks;
    int_LockInto(locks);
    *o_pInOrder = m_timeBase->InOrder() ? TRUE : FALSE;
    return S_OK;
}

HRESULT CZynChannel::LockObject(IZynObjLock** o_ppLock) {
    return HandOutObjLock(o_ppLock, [this](CZynLockList& locks) { int_LockInto(locks); });
}

HRESULT CZynChannel::SaveChannel(VARIANT* pVar) {
    if (!pVar) return E_POINTER;
    CZynGrowBuff records;
    // Packing takes long for a big channel; the samples may go on meanwhile.
    if (!zyn::obj::records::WriteChannel(records, *this, true)) return E_OUTOFMEMORY;
    return zyn::obj::SaveToVariant(records, pVar);
}

HRESULT CZynChannel::SaveChannelAsString(BSTR* pString) {
    if (!pString) return E_POINTER;
    *pString = nullptr;
    CZynGrowBuff records;
    if (!zyn::obj::records::WriteChannel(records, *this, true)) return E_OUTOFMEMORY;
    return zyn::obj::SaveToString(records, pString);
}

HRESULT CZynChannel::AutoScale(LONG* pStat) {
    if (!pStat) return E_POINTER;
    double lo = 0, hi = 0;
    m_data->get_Min(&lo);
    m_data->get_Max(&hi);
    ::AutoScale(lo, hi);
    if (lo == m_scaleMin.load() && hi == m_scaleMax.load()) {
        *pStat = 0;
        return S_OK;
    }
    *pStat = 1;
    put_ScaleMax(hi);
    put_ScaleMin(lo);
    return S_OK;
}

HRESULT CZynChannel::int_StringOut(const std::u16string& value, BSTR* out) const {
    if (!out) return E_POINTER;
    *out = zyn::com::AllocBstr(value);
    return S_OK;
}

HRESULT CZynChannel::get_Name(BSTR* pName) {
    std::lock_guard guard(m_textGuard);
    return int_StringOut(m_name, pName);
}

HRESULT CZynChannel::put_Name(BSTR newVal) {
    {
        std::lock_guard guard(m_textGuard);
        m_name = zyn::com::BstrView(newVal);
    }
    int_Raise(kChangedName);
    return S_OK;
}

HRESULT CZynChannel::get_Counter(BSTR* pVal) {
    std::lock_guard guard(m_textGuard);
    return int_StringOut(m_counter, pVal);
}

HRESULT CZynChannel::get_Data(IZynDataSet** o_ppData) {
    if (!o_ppData) return E_POINTER;
    *o_ppData = m_data.p;
    m_data->AddRef();
    return S_OK;
}

HRESULT CZynChannel::get_Chart(IZynChart** o_ppChart) {
    if (!o_ppChart) return E_POINTER;
    *o_ppChart = nullptr;
    CZynLockList locks;
    int_LockInto(locks);
    CZynChartLink* chart = m_chart.load();
    return chart ? chart->GetChartInterface(o_ppChart) : S_FALSE;
}

HRESULT CZynChannel::get_Comment(BSTR* pComment) {
    std::lock_guard guard(m_textGuard);
    return int_StringOut(m_comment, pComment);
}

HRESULT CZynChannel::put_Comment(BSTR newVal) {
    {
        std::lock_guard guard(m_textGuard);
        m_comment = zyn::com::BstrView(newVal);
    }
    int_Raise(kChangedComment);
    return S_OK;
}

HRESULT CZynChannel::get_ChannelType(ZynChannelType* pTypeVal) {
    if (!pTypeVal) return E_POINTER;
    *pTypeVal = m_type.load();
    return S_OK;
}

HRESULT CZynChannel::get_typeDynamic(ZynChannelType* pTypeVal) {
    if (!pTypeVal) return E_POINTER;
    *pTypeVal = typeDynamic;
    return S_OK;
}

HRESULT CZynChannel::get_typeStatic(ZynChannelType* pTypeVal) {
    if (!pTypeVal) return E_POINTER;
    *pTypeVal = typeStatic;
    return S_OK;
}

HRESULT CZynChannel::get_typeVirtual(ZynChannelType* pTypeVal) {
    if (!pTypeVal) return E_POINTER;
    *pTypeVal = typeVirtual;
    return S_OK;
}

HRESULT CZynChannel::get_Color(OLE_COLOR* pColorVal) {
    if (!pColorVal) return E_POINTER;
    *pColorVal = m_color.load();
    return S_OK;
}

HRESULT CZynChannel::put_Color(OLE_COLOR newVal) {
    if (m_color.exchange(newVal) != newVal) int_Raise(kChangedColor);
    return S_OK;
}

HRESULT CZynChannel::get_Width(LONG* pWidth) {
    if (!pWidth) return E_POINTER;
    *pWidth = m_width.load();
    return S_OK;
}

HRESULT CZynChannel::put_Width(LONG newVal) {
    if (newVal < 0 || newVal > 8) return Raise(E_INVALIDARG, u"Line width must be between 0 and 8 inclusive");
    const LONG old = m_width.exchange(newVal);
    if (newVal > old) int_Raise(kChangedWider);
    if (newVal < old) int_Raise(kChangedNarrower);
    return S_OK;
}

HRESULT CZynChannel::get_ScaleMin(double* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = m_scaleMin.load();
    return S_OK;
}

HRESULT CZynChannel::put_ScaleMin(double newVal) {
    if (m_scaleMin.exchange(newVal) != newVal) int_Raise(kChangedScaleMin);
    return S_OK;
}

HRESULT CZynChannel::get_ScaleMax(double* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = m_scaleMax.load();
    return S_OK;
}

HRESULT CZynChannel::put_ScaleMax(double newVal) {
    if (m_scaleMax.exchange(newVal) != newVal) int_Raise(kChangedScaleMax);
    return S_OK;
}

HRESULT CZynChannel::get_Identifier(BSTR* pIdentifier) {
    return int_StringOut(m_identifier, pIdentifier);
}

HRESULT CZynChannel::get_Visible(LONG* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = m_visible.load() ? 1 : 0;
    return S_OK;
}

HRESULT CZynChannel::put_Visible(LONG newVal) {
    const bool visible = newVal != 0;
    if (m_visible.exchange(visible) != visible) int_Raise(visible ? kChangedShown : kChangedHidden);
    return S_OK;
}

HRESULT CZynChannel::int_CounterField(std::u16string CZynCounterInfo::*field, BSTR* out) {
    if (!out) return E_POINTER;
    CZynLockList locks;
    int_LockInto(locks);
    return int_StringOut(m_info ? (*m_info).*field : std::u16string(), out);
}

HRESULT CZynChannel::get_CounterPath(BSTR* pStr) {
    if (!pStr) return E_POINTER;
    CZynLockList locks;
    int_LockInto(locks);
    if (m_info) return int_StringOut(m_info->path, pStr);
    std::lock_guard guard(m_textGuard);
    return int_StringOut(m_counter, pStr);
}

HRESULT CZynChannel::get_CounterMachine(BSTR* pStr) {
    return int_CounterField(&CZynCounterInfo::machine, pStr);
}
HRESULT CZynChannel::get_CounterObject(BSTR* pStr) {
    return int_CounterField(&CZynCounterInfo::object, pStr);
}
HRESULT CZynChannel::get_CounterInstance(BSTR* pStr) {
    return int_CounterField(&CZynCounterInfo::instance, pStr);
}
HRESULT CZynChannel::get_CounterParent(BSTR* pStr) {
    return int_CounterField(&CZynCounterInfo::parent, pStr);
}
HRESULT CZynChannel::get_CounterDescription(BSTR* pStr) {
    return int_CounterField(&CZynCounterInfo::description, pStr);
}
HRESULT CZynChannel::get_CounterName(BSTR* pStr) {
    return int_CounterField(&CZynCounterInfo::counterName, pStr);
}

HRESULT CZynChannel::get_Units(BSTR* pStr) {
    std::lock_guard guard(m_textGuard);
    return int_StringOut(m_units, pStr);
}

HRESULT CZynChannel::put_Units(BSTR newVal) {
    std::lock_guard guard(m_textGuard);
    m_units = zyn::com::BstrView(newVal);
    return S_OK;
}

HRESULT CZynChannel::int_TimeOfValue(bool last, VARIANT* out) {
    if (!out) return E_POINTER;
    CZynLockList locks;
    int_LockInto(locks);
    const std::uint32_t count = m_data->int_Count();
    if (count == 0) {
        VariantInit(out);
        out->vt = VT_DATE;
        out->date = 0.0;
        return S_OK;
    }
    return m_data->GetTimeAt(last ? static_cast<LONG>(count - 1) : 0, out);
}

HRESULT CZynChannel::get_FirstTime(VARIANT* o_TimeVal) {
    return int_TimeOfValue(false, o_TimeVal);
}
HRESULT CZynChannel::get_LastTime(VARIANT* o_TimeVal) {
    return int_TimeOfValue(true, o_TimeVal);
}

HRESULT CZynChannel::get_DataCount(LONG* pCount) {
    if (!pCount) return E_POINTER;
    CZynLockList locks;
    int_LockInto(locks);
    *pCount = static_cast<LONG>(m_data->int_Count());
    return S_OK;
}

HRESULT CZynChannel::GetChangedProperty(LONG* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = static_cast<LONG>(m_changed.load());
    return S_OK;
}

HRESULT CZynChannel::SetChangedProperty(LONG newVal) {
    int_Raise(static_cast<DWORD>(newVal), false);
    return S_OK;
}

HRESULT CZynChannel::ClearChangedProperty(LONG newVal) {
    m_changed.fetch_and(~static_cast<DWORD>(newVal));
    return S_OK;
}
