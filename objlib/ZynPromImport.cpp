#include "ZynPromImport.h"

#include "ZynChart.h"

#include "com/bstr.h"
#include "com/ccombstr.h"
#include "com/oledate.h"
#include "net/prometheus_api.h"

#include <cmath>
#include <ctime>

namespace zyn::obj {
namespace {

constexpr double kSecondsPerDay = 86400.0;
// Channel times are 32-bit millisecond offsets from the chart's start.
constexpr double kMaxRangeSeconds = 2147483.0;

long EpochDays() {
    return zyn::com::DaysFromCivil(1899, 12, 30);
}

// y/m/d of a day count since 1970-01-01 (proleptic Gregorian).
void CivilFromDays(long z, int& y, unsigned& m, unsigned& d) {
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long yy = static_cast<long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(yy + (m <= 2));
}

} // namespace

double DateFromUnixSeconds(double seconds) {
    const double whole = std::floor(seconds);
    const auto t = static_cast<time_t>(whole);
    tm local{};
    localtime_r(&t, &local);
    const long days = zyn::com::DaysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                              static_cast<unsigned>(local.tm_mday)) -
                      EpochDays();
    const double secondOfDay =
        local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + (seconds - whole);
    return static_cast<double>(days) + secondOfDay / kSecondsPerDay;
}

double UnixSecondsFromDate(double date) {
    const double day = std::floor(date);
    const double secondOfDay = (date - day) * kSecondsPerDay;
    const double wholeSeconds = std::floor(secondOfDay + 1e-6);
    int y = 0;
    unsigned m = 0, d = 0;
    CivilFromDays(static_cast<long>(day) + EpochDays() - zyn::com::DaysFromCivil(1970, 1, 1), y, m, d);
    tm local{};
    local.tm_year = y - 1900;
    local.tm_mon = static_cast<int>(m) - 1;
    local.tm_mday = static_cast<int>(d);
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
    if (std::isfinite(q.start) && std::isfinite(q.end) && q.end - q.start > kMaxRangeSeconds) {
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
