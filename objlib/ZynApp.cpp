#include "ZynApp.h"

#include "ZynChart.h"
#include "ZynIterators.h"

#include <algorithm>

CZynApp::~CZynApp() {
    // Charts still referenced elsewhere live on, detached.
    for (CZynChart* chart : m_charts) chart->int_ClearOwner();
}

void CZynApp::int_Adopt(CZynChart* chart) {
    LONG number;
    {
        std::lock_guard guard(m_guard);
        number = ++m_chartCounter;
        m_charts.emplace_back(chart);
    }
    chart->int_SetOwner(this, number);
}

void CZynApp::int_RemoveChart(CZynChart* chart) {
    CComPtr<CZynChart> released; // let go outside the lock: it may be the last reference
    std::lock_guard guard(m_guard);
    auto it = std::find_if(m_charts.begin(), m_charts.end(), [&](const CComPtr<CZynChart>& c) { return c.p == chart; });
    if (it == m_charts.end()) return;
    released = *it;
    m_charts.erase(it);
}

CComPtr<CZynChart> CZynApp::int_FindChart(std::u16string_view key) {
    std::lock_guard guard(m_guard);
    for (CZynChart* chart : m_charts)
        if (chart->int_Identifier() == key || chart->int_Name() == key) return CComPtr<CZynChart>(chart);
    return {};
}

HRESULT CZynApp::AddChart(IZynChart** o_ppChart) {
    if (!o_ppChart) return E_POINTER;
    CComPtr<CZynChart> chart = CZynChart::Create();
    int_Adopt(chart);
    *o_ppChart = static_cast<IZynChart*>(chart.Detach());
    return S_OK;
}

HRESULT CZynApp::FindChart(BSTR i_ChartName, IZynChart** o_ppChart) {
    if (!o_ppChart) return E_POINTER;
    *o_ppChart = nullptr;
    if (!i_ChartName) return S_FALSE;
    CComPtr<CZynChart> chart = int_FindChart(zyn::com::BstrView(i_ChartName));
    if (!chart) return S_FALSE;
    *o_ppChart = static_cast<IZynChart*>(chart.Detach());
    return S_OK;
}

HRESULT CZynApp::get_Charts(IZynChartIter** o_ppCharts) {
    if (!o_ppCharts) return E_POINTER;
    std::vector<CComPtr<IZynChart>> items;
    {
        std::lock_guard guard(m_guard);
        for (CZynChart* c : m_charts) items.emplace_back(static_cast<IZynChart*>(c));
    }
    auto it = zyn::com::MakeObject<CZynChartIter>(std::move(items));
    *o_ppCharts = static_cast<IZynChartIter*>(it.Detach());
    return S_OK;
}

HRESULT CZynApp::LoadChart(VARIANT, IZynChart** o_ppChart) {
    if (!o_ppChart) return E_POINTER;
    *o_ppChart = nullptr;
    return E_NOTIMPL; // wired to the record reader when it lands
}

HRESULT CZynApp::LoadChartFromString(BSTR, IZynChart** o_ppChart) {
    if (!o_ppChart) return E_POINTER;
    *o_ppChart = nullptr;
    return E_NOTIMPL; // wired to the record reader when it lands
}
