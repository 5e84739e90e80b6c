#pragma once
// CCoApp: the application automation object ("Tallon.Application"). It reaches the shared chart
// application object and makes chart windows for scripts: each window it makes is linked to it
// and registered as its chart's GUI peer, so that the window closes when the script lets go of
// it. Every object takes an application lock for its lifetime, except the one the server keeps at
// a fixed bus path for tools that call without holding anything.

#include "AutomationHost.h"

#include "automation/TallonInterfaces.h"

#include "com/unknown.h"
#include "objlib/ZynInterfaces.h"

class CAppContext;
class CTallonChart;

class CCoApp final : public zyn::com::ComRefCount, public zyn::com::DispatchImpl<ICoApp2> {
public:
    ZYN_COM_IUNKNOWN(CCoApp, ICoApp2, ICoApp, IDispatch)

    CCoApp(CAppContext& context, IAutomationHost& host, bool holdsLock = true);
    ~CCoApp() override;

    HRESULT get_Charts(IUnknown** o_ppCharts) override;
    HRESULT put_StatusText(BSTR i_Text) override;
    HRESULT AddChart(IUnknown** o_ppChart) override;
    HRESULT Describe(BSTR* o_pText) override;
    HRESULT FindChart(BSTR i_ChartName, IUnknown** o_ppChart) override;
    HRESULT CascadeWindows() override;
    HRESULT TileWindows() override;
    HRESULT LoadChart(VARIANT i_Data, IUnknown** o_ppChart) override;
    HRESULT FindChartWindow(BSTR i_Identifier, IDispatch** o_ppWindow) override;
    HRESULT FileOpen(BSTR i_Path, IUnknown** o_ppChart) override;
    HRESULT Maximize() override;
    HRESULT Restore() override;
    HRESULT Minimize() override;
    HRESULT LoadChartFromString(BSTR i_Text, IUnknown** o_ppChart) override;
    // A window of history from a Prometheus server; the server's refusal is the call's error.
    HRESULT ImportPrometheus(BSTR i_ServerUrl, BSTR i_Query, VARIANT i_StartTime, VARIANT i_EndTime,
                             double i_StepSeconds, IUnknown** o_ppChart) override;

private:
    // Links a window made for a script with this object and registers it as its chart's peer, then
    // hands out the chart.
    HRESULT Adopt(CTallonChart* doc, IUnknown** o_ppChart);

    CAppContext& m_context;
    IAutomationHost& m_host;
    CComPtr<IZynApp> m_pApp;
    bool m_holdsLock;
};
