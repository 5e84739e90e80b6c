#pragma once
// History from a Prometheus server as a chart: one range query, one static channel per returned
// series, named from its labels. The chart holds nothing of the server's credentials (they stay in
// the settings store) and saves, reports and exports like any chart.

#include "objlib/ZynInterfaces.h"

#include <string>

class CZynChart;

namespace zyn::obj {

struct PromImportArgs {
    std::u16string serverUrl;
    std::u16string query;
    double start = 0; // automation dates, local time
    double end = 0;
    double stepSeconds = 0;
};

// A new chart (not adopted by any application object) with the query's series, or null with the
// reason in `error`.
CComPtr<CZynChart> ImportPrometheusChart(const PromImportArgs& args, std::u16string& error);

// Automation dates (local wall-clock time) and Unix seconds, to the millisecond.
double UnixSecondsFromDate(double date);
double DateFromUnixSeconds(double seconds);

} // namespace zyn::obj
