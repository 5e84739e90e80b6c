#include "HistoryImport.h"

#include "CsvImport.h"

#include "com/errorinfo.h"

namespace zyn::history {

HRESULT ImportPrometheusChart(IZynApp* app, BSTR serverUrl, BSTR query, const VARIANT& start,
                              const VARIANT& end, double stepSeconds, CComPtr<IZynChart>& chart) {
    chart = nullptr;
    CComPtr<IZynApp2> importer;
    if (!app || FAILED(app->QueryInterface(IZynApp2::kIID, reinterpret_cast<void**>(&importer))) || !importer)
        return zyn::com::RaiseError(E_NOINTERFACE, u"The chart engine cannot import history.");
    const HRESULT hr = importer->ImportPrometheus(serverUrl, query, start, end, stepSeconds, &chart);
    if (FAILED(hr)) return hr;
    if (!chart) return zyn::com::RaiseError(E_FAIL, u"The import gave no chart.");
    CComPtr<IZynChannelIter> channels;
    chart->get_Channels(&channels);
    for (std::size_t i = 0; channels;) {
        CComPtr<IZynChannel> channel;
        if (FAILED(channels->GetNext(&channel)) || !channel) break;
        channel->put_Color(
            zyn::csv::kDefaultChannelColours[i++ % std::size(zyn::csv::kDefaultChannelColours)]);
        LONG status = 0;
        channel->AutoScale(&status);
    }
    return S_OK;
}

} // namespace zyn::history
