#include "ZynPromImport.h"

#include "ZynChart.h"

#include "com/bstr.h"
#include "com/ccombstr.h"
#include "com/oledate.h"
#include "net/prometheus_api.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace zyn::obj {
namespace {

constexpr double kSecondsPerDay = 86400.0;
// Channel times are 32-bit millisecond offsets from the chart's start.
constexpr double kMaxRangeSeconds = 2147483.0;

} // namespace

// Local time both ways, through the automation date conversions; NaN for what is not a date.
double DateFromUnixSeconds(double seconds) {
    if (!std::isfinite(seconds)) return std::nan("");
    const double whole = std::floor(seconds);
    const auto t = static_cast<time_t>(whole);
    tm local{};
    if (!localtime_r(&t, &local)) return std::nan("");
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(local.tm_year + 1900);
    st.wMonth = static_cast<WORD>(local.tm_mon + 1);
    st.wDay = static_cast<WORD>(local.tm_mday);
    st.wHour = static_cast<WORD>(local.tm_hour);
    st.wMinute = static_cast<WORD>(local.tm_min);
    st.wSecond = static_cast<WORD>(std::min(local.tm_sec, 59));
    double date = 0;
    if (!::SystemTimeToVariantTime(&st, &date)) return std::nan("");
    return date + (seconds - whole) / kSecondsPerDay;
}

double UnixSecondsFromDate(double date) {
    SYSTEMTIME st{};
    const double day = std::floor(date);
    if (!std::isfinite(date) || !::VariantTimeToSystemTime(day, &st)) return std::nan("");
    const double secondOfDay = (date - day) * kSecondsPerDay;
    const double wholeSeconds = std::floor(secondOfDay + 1e-6);
    tm local{};
    local.tm_year = st.wYear - 1900;
    local.tm_mon = st.wMonth - 1;
    local.tm_mday = st.wDay;
    local.tm_sec = static_cast<int>(wholeSeconds);
    local.tm_isdst = -1;
    const time_t t = mktime(&local);
    // A date's double carries microseconds of noise; the millisecond is what it means.
    return std::round((static_cast<double>(t) + std::max(0.0, secondOfDay - wholeSeconds)) * 1000.0) / 1000.0;
}

CComPtr<CZynChart> ImportPrometheusChart(const PromImportArgs& args, std::u16string& error) {
    zyn::net::PromRangeQuery q;
    q.serverUrl = zyn::com::Utf16ToUtf8(args.serverUrl);
    q.query = zyn::com::Utf16ToUtf8(args.query);
    q.start = UnixSecondsFromDate(args.start);
    q.end = UnixSecondsFromDate(args.end);
    q.step = args.stepSeconds;
    if (!std::isfinite(q.start) || !std::isfinite(q.end)) {
        error = u"The start and the end of the range must be dates.";
        return {};
    }
    if (q.end - q.start > kMaxRangeSeconds) {
        error = u"A chart holds at most 24 days from its start; choose a shorter range.";
        return {};
    }
    const zyn::net::PromResult result = zyn::net::QueryRange(q);
    if (!result.ok) {
        error = zyn::com::Utf8ToUtf16(result.error);
        return {};
    }

    CComPtr<CZynChart> chart = CZynChart::Create();
    // The channels' times count from the first point returned (the start of the range when there is
    // none), so that a chart of the last minutes of a long range opens on its data.
    double first = q.end;
    for (const zyn::net::PromSeries& series : result.series)
        for (const auto& point : series.points)
            if (std::isfinite(point.second) && point.first >= q.start) first = std::min(first, point.first);
    if (first >= q.end) first = q.start;
    if (FAILED(chart->put_StartTime(CComVariant::Date(DateFromUnixSeconds(first))))) {
        error = u"The start of the range is not a date.";
        return {};
    }
    const std::u16string comment = u"Prometheus " + args.serverUrl + u": " + args.query;
    chart->put_Comment(CComBSTR(comment.c_str()));
    for (const zyn::net::PromSeries& series : result.series) {
        CComPtr<IZynChannel> channel;
        if (FAILED(chart->AddStaticChannel(&channel)) || !channel) continue;
        const std::u16string name = zyn::com::Utf8ToUtf16(zyn::net::SeriesName(series, q.query));
        channel->put_Name(CComBSTR(name.c_str()));
        for (const auto& [seconds, value] : series.points) {
            // A point the query could not compute (0/0 of a rate) is left out: a gap, not a value.
            if (!std::isfinite(value) || seconds < q.start) continue;
            LONG count = 0;
            (void)channel->AddValueAbsTime(value, CComVariant::Date(DateFromUnixSeconds(seconds)), &count);
        }
    }
    return chart;
}

} // namespace zyn::obj
