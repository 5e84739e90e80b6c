#pragma once
// The application object: an ordered list of charts and the counter that names adopted charts
// (Chart-1, Chart-2 …). Each one is independent; the object factory makes a new one per request.
// It also imports history from a Prometheus server as a new chart.

#include "ZynDispatchImpl.h"
#include "objlib/ZynInterfaces.h"

#include <mutex>
#include <vector>

class CZynChart;
class CZynGrowBuff;

class CZynApp final : public zyn::com::ComRefCount, public CZynDispatchImpl<IZynApp2> {
public:
    ZYN_COM_IUNKNOWN(CZynApp, IZynApp2, IZynApp, IDispatch)

    CZynApp() = default;
    ~CZynApp() override;

    HRESULT AddChart(IZynChart** o_ppChart) override;
    HRESULT FindChart(BSTR i_ChartName, IZynChart** o_ppChart) override;
    HRESULT LoadChart(VARIANT i_Data, IZynChart** o_ppChart) override;
    HRESULT LoadChartFromString(BSTR i_StrData, IZynChart** o_ppChart) override;
    HRESULT get_Charts(IZynChartIter** o_ppCharts) override;
    HRESULT ImportPrometheus(BSTR i_ServerUrl, BSTR i_Query, VARIANT i_StartTime, VARIANT i_EndTime,
                             double i_StepSeconds, IZynChart** o_ppChart) override;

    // Adopts `chart`: owner set, name rebuilt as Chart-n, appended to the list.
    void int_Adopt(CZynChart* chart);
    // The chart's Detach: drops it from the list.
    void int_RemoveChart(CZynChart* chart);
    // The first chart whose identifier, or else name, equals `key`.
    CComPtr<CZynChart> int_FindChart(std::u16string_view key);

private:
    HRESULT int_LoadChart(CZynGrowBuff& records, IZynChart** o_ppChart);

    std::mutex m_guard;
    std::vector<CComPtr<CZynChart>> m_charts;
    LONG m_chartCounter = 0;
};
