// The chart's members that go through records: saving, loading channels, copying channels.

#include "ZynChart.h"

#include "ZynRecords.h"

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
HRESULT LoadChannelRecords(CZynChart& chart, CComPtr<CZynChannel> channel, CZynGrowBuff& records,
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
    const HRESULT hr = zyn::obj::UnpackString(i_StringData, records, CLSID_Chart, zyn::obj::RecordKind::Channel);
    if (FAILED(hr)) return hr;
    return LoadChannelRecords(*this, int_CreateChannel(), records, o_ppChannel);
}

HRESULT CZynChart::CopyChannel(BSTR, BSTR, LONG* o_pVal) {
    if (!o_pVal) return E_POINTER;
    *o_pVal = 0;
    return E_NOTIMPL;
}
