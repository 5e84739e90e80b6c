#include "ZynApp.h"

#include "ZynChart.h"
#include "ZynErrors.h"
#include "ZynIterators.h"
#include "ZynPromImport.h"
#include "ZynRecords.h"

#include "com/errorinfo.h"

#include <algorithm>

CZynApp::~CZynApp() {
    // Charts still referenced elsewhere live on, detached.
    for (CZynChart* chart : m_charts)
        chart->int_ClearOwner();
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
    auto it = std::find_if(m_charts.begin(), m_charts.end(),
                           [&](const CComPtr<CZynChart>& c) { return c.p == chart; });
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
        for (CZynChart* c : m_charts)
            items.emplace_back(static_cast<IZynChart*>(c));
    }
    auto it = zyn::com::MakeObject<CZynChartIter>(std::move(items));
    *o_ppCharts = static_cast<IZynChartIter*>(it.Detach());
    return S_OK;
}

// A new chart, handed out and listed before its record is read: a record that fails part-way
// leaves the chart with what was read, and the caller still gets it with S_OK. Whether it got all
// of it is on the thread's error object: after S_OK it holds a text exactly when the records were
// read only in part (the failing record's own text where it gave one), so that a program can tell
// its user the data is not whole.
HRESULT CZynApp::int_LoadChart(CZynGrowBuff& records, IZynChart** o_ppChart) {
    // The record is read before the chart is adopted: no other thread can reach it yet, so no lock
    // is needed, and none is taken in an order other than the tree's (new channels are locked while
    // they are made).
    CComPtr<CZynChart> chart = CZynChart::Create();
    SetErrorInfo(0, nullptr);
    // The records are read once, into the chart: what has been read is given back as the reading
    // moves on, so that the records and the chart they become are never both resident in full.
    records.SetReadOnce(true);
    const bool whole = zyn::obj::records::ReadChart(records, *chart);
    CComPtr<IErrorInfo> why;
    if (GetErrorInfo(0, &why) != S_OK) why = nullptr;
    if (whole)
        SetErrorInfo(0, nullptr);
    else if (why)
        SetErrorInfo(0, why);
    else
        (void)zyn::obj::RaiseError(CLSID_App, E_FAIL, u"The chart records end early or are damaged");
    // A chart of static channels only (imported text, values added by scripts) has no entries of
    // its own, so its record carries no start; it would open at the load time and show none of its
    // data. It starts where its earliest channel does instead.
    if (chart->int_TimeBase()->GetStart() == 0.0) {
        double earliest = 0.0;
        for (CZynChannel* channel : chart->int_Channels()) {
            const double start = channel->int_TimeBase()->GetStart();
            if (start > 0.0 && (earliest == 0.0 || start < earliest)) earliest = start;
        }
        chart->int_TimeBase()->SetStart(earliest);
    }
    int_Adopt(chart);
    *o_ppChart = static_cast<IZynChart*>(chart.Detach());
    return S_OK;
}

HRESULT CZynApp::LoadChart(VARIANT i_Data, IZynChart** o_ppChart) {
    if (!o_ppChart) return E_POINTER;
    *o_ppChart = nullptr;
    CZynGrowBuff records;
    const HRESULT hr = zyn::obj::UnpackVariant(i_Data, records, CLSID_App, zyn::obj::RecordKind::Chart);
    if (FAILED(hr)) return hr;
    return int_LoadChart(records, o_ppChart);
}

HRESULT CZynApp::LoadChartFromString(BSTR i_StrData, IZynChart** o_ppChart) {
    if (!o_ppChart) return E_POINTER;
    *o_ppChart = nullptr;
    CZynGrowBuff records;
    const HRESULT hr = zyn::obj::UnpackString(i_StrData, records, CLSID_App, zyn::obj::RecordKind::Chart);
    if (FAILED(hr)) return hr;
    return int_LoadChart(records, o_ppChart);
}

HRESULT CZynApp::ImportPrometheus(BSTR i_ServerUrl, BSTR i_Query, VARIANT i_StartTime, VARIANT i_EndTime,
                                  double i_StepSeconds, IZynChart** o_ppChart) {
    if (!o_ppChart) return E_POINTER;
    *o_ppChart = nullptr;
    constexpr std::u16string_view kBadTime = u"Invalid time to IZynApp2.ImportPrometheus";
    CComVariant start, end;
    if (FAILED(VariantChangeType(&start, &i_StartTime, 0, VT_DATE)) ||
        FAILED(VariantChangeType(&end, &i_EndTime, 0, VT_DATE)))
        return zyn::obj::RaiseError(CLSID_App, E_INVALIDARG, kBadTime);
    zyn::obj::PromImportArgs args;
    args.serverUrl = zyn::com::BstrView(i_ServerUrl);
    args.query = zyn::com::BstrView(i_Query);
    args.start = start.date;
    args.end = end.date;
    args.stepSeconds = i_StepSeconds;
    std::u16string error;
    CComPtr<CZynChart> chart = zyn::obj::ImportPrometheusChart(args, error);
    if (!chart) return zyn::obj::RaiseError(CLSID_App, E_FAIL, error);
    int_Adopt(chart);
    *o_ppChart = static_cast<IZynChart*>(chart.Detach());
    return S_OK;
}
