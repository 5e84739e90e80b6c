// The chart's members that go through records: saving, loading channels, copying channels.

#include "ZynChart.h"

#include "ZynApp.h"
#include "ZynRecords.h"
#include "utils/ZynTime.h"

CComPtr<CZynEvent> CZynChart::int_CreateEvent() {
    return zyn::com::MakeObject<CZynEvent>(std::u16string_view(), static_cast<CZynEventOwner*>(this));
}

HRESULT CZynChart::SaveChart(VARIANT* pVar) {
    if (!pVar) return E_POINTER;
    CZynGrowBuff records;
    {
        CZynLockList locks;
        int_LockTree(locks);
        if (!zyn::obj::records::WriteChart(records, *this)) return E_OUTOFMEMORY;
    }
    // The records are a snapshot: packing them need not hold up the sampling thread.
    return zyn::obj::SaveToVariant(records, pVar);
}

HRESULT CZynChart::SaveChartAsString(BSTR* pStrVal) {
    if (!pStrVal) return E_POINTER;
    *pStrVal = nullptr;
    CZynGrowBuff records;
    {
        CZynLockList locks;
        int_LockTree(locks);
        if (!zyn::obj::records::WriteChart(records, *this)) return E_OUTOFMEMORY;
    }
    return zyn::obj::SaveToString(records, pStrVal);
}

namespace {

// A new channel of `chart` filled from `records`: static, its times starting at the chart's start.
// A record that fails part-way leaves the channel with what was read; it stays in the chart.
HRESULT LoadChannelRecords(CZynChart& chart, const CComPtr<CZynChannel>& channel, CZynGrowBuff& records,
                           IZynChannel** out) {
    {
        CZynLockList locks;
        chart.int_LockTree(locks);
        (void)zyn::obj::records::ReadChannel(records, *channel);
        // Reading may have given the channel times of its own; they are covered by the channel's
        // data set and channel locks held here, so they are not locked again.
        channel->int_TimeBase()->SetStart(chart.int_StartDate());
        (void)channel->int_SetType(typeStatic);
    }
    return channel->QueryInterface(IZynChannel::kIID, reinterpret_cast<void**>(out));
}

} // namespace

HRESULT CZynChart::LoadChannel(VARIANT i_Data, IZynChannel** o_ppChannel) {
    if (!o_ppChannel) return E_POINTER;
    *o_ppChannel = nullptr;
    CZynGrowBuff records;
    const HRESULT hr = zyn::obj::UnpackVariant(i_Data, records, CLSID_Chart, zyn::obj::RecordKind::Channel);
    if (FAILED(hr)) return hr;
    return LoadChannelRecords(*this, int_CreateChannel(), records, o_ppChannel);
}

HRESULT CZynChart::LoadChannelFromString(BSTR i_StringData, IZynChannel** o_ppChannel) {
    if (!o_ppChannel) return E_POINTER;
    *o_ppChannel = nullptr;
    CZynGrowBuff records;
    const HRESULT hr =
        zyn::obj::UnpackString(i_StringData, records, CLSID_Chart, zyn::obj::RecordKind::Channel);
    if (FAILED(hr)) return hr;
    return LoadChannelRecords(*this, int_CreateChannel(), records, o_ppChannel);
}

HRESULT CZynChart::CopyChannel(BSTR i_ChartId, BSTR i_ChannelId, LONG* o_pVal) {
    if (!o_pVal) return E_POINTER;
    *o_pVal = 0;
    CComPtr<CZynApp> owner = LockedOwner();
    if (!owner) return S_FALSE;
    // The source is found and written without holding this chart's tree: holding it while taking
    // the other chart's would deadlock against a copy in the other direction.
    CComPtr<IZynChart> sourceChart;
    HRESULT hr = owner->FindChart(i_ChartId, &sourceChart);
    if (hr != S_OK || !sourceChart) return hr;
    CComPtr<IZynChannel> found;
    hr = sourceChart->FindChannel(i_ChannelId, &found);
    if (hr != S_OK || !found) return hr;
    auto* source = static_cast<CZynChannel*>(found.p);
    CZynGrowBuff records;
    if (!zyn::obj::records::WriteChannel(records, *source, true)) return E_OUTOFMEMORY;

    if (int_StartDate() == 0.0) SetChartStartTime(GetTimeAsDouble());
    CComPtr<CZynChannel> channel = int_CreateChannel();
    {
        CZynLockList locks;
        int_LockTree(locks);
        *o_pVal = zyn::obj::records::ReadChannel(records, *channel) ? 1 : 0;
    }

    bool live = false;
    CComBSTR path;
    if (source->int_Type() == typeDynamic && SUCCEEDED(source->get_CounterPath(&path)) && !path.IsEmpty() &&
        PdhValidatePathW(path) == 0) {
        // A private channel read from the same records stands in for the source: it has the
        // source's values at the source's dates, and no other chart's lock is needed to read it.
        CComPtr<CZynChannel> copy = CZynChannel::Create();
        records.SetReadPos(0);
        (void)zyn::obj::records::ReadChannel(records, *copy);
        bool onlyChannel = false;
        {
            CZynLockList locks;
            int_LockTree(locks);
            if (channel->int_CopyDataFrom(copy, this)) {
                if (!m_query && PdhOpenQueryW(nullptr, 0, &m_query) != 0) m_query = nullptr;
                PDH_HCOUNTER counter = nullptr;
                if (m_query && PdhAddCounterW(m_query, path, 0, &counter) == 0) {
                    m_firstCollectionPending = true;
                    channel->int_BindCounter(counter, path.View(), false);
                    live = SUCCEEDED(channel->int_SetType(typeDynamic));
                    onlyChannel = int_Channels().size() == 1;
                }
            }
        }
        if (live && onlyChannel) StartRunning();
    }
    if (!live) {
        CZynLockList locks;
        int_LockTree(locks);
        channel->int_TimeBase()->SetStart(int_StartDate());
        (void)channel->int_SetType(typeStatic);
    }
    return S_OK;
}
