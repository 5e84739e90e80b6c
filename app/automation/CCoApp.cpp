#include "CCoApp.h"

#include "CChartWindowObject.h"

#include "document/AppContext.h"
#include "document/CTallonChart.h"
#include "exchange/HistoryImport.h"
#include "resources/ZynStrings.h"

#include "com/ccombstr.h"
#include "com/errorinfo.h"

namespace {

constexpr char16_t kSource[] = u"Tallon.Application";

QString FromBstr(BSTR b) {
    const std::u16string_view v = zyn::com::BstrView(b);
    return QString::fromUtf16(v.data(), qsizetype(v.size()));
}

// A byte-array VARIANT for LoadChart: a byte array (or a reference to one) as it is; anything
// else does not convert.
bool ToByteArray(const VARIANT& in, CComVariant* out) {
    const VARIANT* v = &in;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
    if ((v->vt == (VT_ARRAY | VT_UI1) || v->vt == (VT_ARRAY | VT_I1)) && v->parray) {
        *out = *v;
        out->vt = VT_ARRAY | VT_UI1;
        return true;
    }
    return false;
}

} // namespace

CCoApp::CCoApp(CAppContext& context, IAutomationHost& host, bool holdsLock)
    : m_context(context), m_host(host), m_pApp(context.App()), m_holdsLock(holdsLock) {
    if (m_holdsLock) m_context.LockApp();
}

CCoApp::~CCoApp() {
    m_pApp = nullptr;
    if (m_holdsLock) m_context.UnlockApp();
}

HRESULT CCoApp::Adopt(CTallonChart* doc, IUnknown** o_ppChart) {
    if (!doc || !doc->Chart()) return S_OK;
    // The reference handed out is taken first: a chart left with only its window's and the list's
    // references gives up its peer, which would close the window at once.
    const HRESULT hr = doc->Chart()->QueryInterface(IUnknown::kIID, reinterpret_cast<void**>(o_ppChart));
    if (FAILED(hr)) return hr;
    doc->SetApp(static_cast<ICoApp*>(this));
    CComPtr<CChartWindowObject> window = CChartWindowObject::For(doc, m_host, true);
    doc->SetPeer(static_cast<ITallonChart*>(window.p));
    return S_OK;
}

HRESULT CCoApp::get_Charts(IUnknown** o_ppCharts) {
    if (!o_ppCharts) return E_POINTER;
    *o_ppCharts = nullptr;
    if (!m_pApp) return zyn::com::RaiseError(E_FAIL, u"The chart objects cannot be made", kSource);
    CComPtr<IZynChartIter> charts;
    const HRESULT hr = m_pApp->get_Charts(&charts);
    if (FAILED(hr) || !charts) return hr;
    return charts->QueryInterface(IUnknown::kIID, reinterpret_cast<void**>(o_ppCharts));
}

HRESULT CCoApp::put_StatusText(BSTR i_Text) {
    m_host.ShowStatusText(FromBstr(i_Text));
    return S_OK;
}

HRESULT CCoApp::AddChart(IUnknown** o_ppChart) {
    if (!o_ppChart) return E_POINTER;
    *o_ppChart = nullptr;
    CTallonChart* doc = m_host.NewChartWindow();
    if (!doc || !doc->Chart())
        return zyn::com::RaiseError(E_FAIL, u"The chart window cannot be made", kSource);
    return Adopt(doc, o_ppChart);
}

HRESULT CCoApp::Describe(BSTR* o_pText) {
    if (!o_pText) return E_POINTER;
    *o_pText = zyn::com::AllocBstr(ZynVersionText().toStdU16String());
    return *o_pText ? S_OK : E_OUTOFMEMORY;
}

HRESULT CCoApp::FindChart(BSTR i_ChartName, IUnknown** o_ppChart) {
    if (!o_ppChart) return E_POINTER;
    *o_ppChart = nullptr;
    if (!m_pApp) return S_OK;
    CComPtr<IZynChart> chart;
    if (FAILED(m_pApp->FindChart(i_ChartName, &chart)) || !chart) return S_OK;
    return chart->QueryInterface(IUnknown::kIID, reinterpret_cast<void**>(o_ppChart));
}

HRESULT CCoApp::CascadeWindows() {
    m_host.CascadeWindows();
    return S_OK;
}

HRESULT CCoApp::TileWindows() {
    m_host.TileWindows();
    return S_OK;
}

HRESULT CCoApp::LoadChart(VARIANT i_Data, IUnknown** o_ppChart) {
    if (!o_ppChart) return E_POINTER;
    *o_ppChart = nullptr;
    CComVariant bytes;
    if (!m_pApp || !ToByteArray(i_Data, &bytes)) return S_OK;
    CComPtr<IZynChart> chart;
    if (FAILED(m_pApp->LoadChart(bytes, &chart)) || !chart) return S_OK;
    return Adopt(m_host.NewChartWindowFor(chart), o_ppChart);
}

HRESULT CCoApp::LoadChartFromString(BSTR i_Text, IUnknown** o_ppChart) {
    if (!o_ppChart) return E_POINTER;
    *o_ppChart = nullptr;
    if (!m_pApp) return S_OK;
    CComPtr<IZynChart> chart;
    if (FAILED(m_pApp->LoadChartFromString(i_Text, &chart)) || !chart) return S_OK;
    return Adopt(m_host.NewChartWindowFor(chart), o_ppChart);
}

HRESULT CCoApp::ImportPrometheus(BSTR i_ServerUrl, BSTR i_Query, VARIANT i_StartTime, VARIANT i_EndTime,
                                 double i_StepSeconds, IUnknown** o_ppChart) {
    if (!o_ppChart) return E_POINTER;
    *o_ppChart = nullptr;
    CComPtr<IZynChart> chart;
    const HRESULT hr = zyn::history::ImportPrometheusChart(m_pApp, i_ServerUrl, i_Query, i_StartTime,
                                                           i_EndTime, i_StepSeconds, chart);
    if (FAILED(hr)) return hr;
    return Adopt(m_host.NewChartWindowFor(chart), o_ppChart);
}

HRESULT CCoApp::FindChartWindow(BSTR i_Identifier, IDispatch** o_ppWindow) {
    if (!o_ppWindow) return E_POINTER;
    *o_ppWindow = nullptr;
    if (!i_Identifier || !m_host.HasMainFrame()) return S_OK;
    const QString wanted = FromBstr(i_Identifier);
    for (CTallonChart* doc : m_host.ChartWindows()) {
        if (doc->Identifier() != wanted) continue;
        CComPtr<CChartWindowObject> window = CChartWindowObject::For(doc, m_host);
        *o_ppWindow = static_cast<ITallonChart*>(window.Detach());
        return S_OK;
    }
    return S_OK;
}

HRESULT CCoApp::FileOpen(BSTR i_Path, IUnknown** o_ppChart) {
    if (!o_ppChart) return E_POINTER;
    *o_ppChart = nullptr;
    if (!i_Path) return S_OK;
    return Adopt(m_host.OpenChartWindow(FromBstr(i_Path)), o_ppChart);
}

HRESULT CCoApp::Maximize() {
    m_host.PostMainFrameCommand(IAutomationHost::FrameCommand::Maximize);
    return S_OK;
}

HRESULT CCoApp::Restore() {
    m_host.PostMainFrameCommand(IAutomationHost::FrameCommand::Restore);
    return S_OK;
}

HRESULT CCoApp::Minimize() {
    m_host.PostMainFrameCommand(IAutomationHost::FrameCommand::Minimize);
    return S_OK;
}
