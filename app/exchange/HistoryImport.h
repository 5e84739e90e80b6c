#pragma once
// History from a Prometheus server as a chart the program shows: the object library's import (one
// static channel per series), then every channel coloured and scaled as a chart made from a file,
// so that each series shows. The menu command and the automation member both come here.

#include "com/unknown.h"
#include "objlib/ZynInterfaces.h"

namespace zyn::history {

// The chart, or the failure with its reason left as the thread's error information.
HRESULT ImportPrometheusChart(IZynApp* app, BSTR serverUrl, BSTR query, const VARIANT& start,
                              const VARIANT& end, double stepSeconds, CComPtr<IZynChart>& chart);

} // namespace zyn::history
