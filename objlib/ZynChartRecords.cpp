// The chart's members that go through records: saving, loading channels, copying channels.
// The record reader and writer are being finished; until then these refuse plainly.

#include "ZynChart.h"

HRESULT CZynChart::LoadChannel(VARIANT, IZynChannel** o_ppChannel) {
    if (!o_ppChannel) return E_POINTER;
    *o_ppChannel = nullptr;
    return E_NOTIMPL;
}

HRESULT CZynChart::LoadChannelFromString(BSTR, IZynChannel** o_ppChannel) {
    if (!o_ppChannel) return E_POINTER;
    *o_ppChannel = nullptr;
    return E_NOTIMPL;
}

HRESULT CZynChart::SaveChart(VARIANT* pVar) {
    if (!pVar) return E_POINTER;
    return E_NOTIMPL;
}

HRESULT CZynChart::SaveChartAsString(BSTR* pStrVal) {
    if (!pStrVal) return E_POINTER;
    *pStrVal = nullptr;
    return E_NOTIMPL;
}

HRESULT CZynChart::CopyChannel(BSTR, BSTR, LONG* o_pVal) {
    if (!o_pVal) return E_POINTER;
    *o_pVal = 0;
    return E_NOTIMPL;
}
