#include "CsvExport.h"

#include "ChartFile.h"
#include "CsvTime.h"

#include "com/ccombstr.h"
#include "com/unknown.h"
#include "com/variant.h"
#include "objlib/ZynBulkAccess.h"
#include "utils/ZynFiles.h"
#include "utils/ZynTime.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <span>
#include <vector>

namespace zyn::csv {

namespace {

struct ChannelColumn {
    CComPtr<IZynDataSet> data;
    std::vector<double> times;  // ascending, as the time base keeps them
    std::vector<double> values; // the values GetValueAt gives, one per time
    double first = 0.0, last = 0.0;
    bool hasRange = false;
    std::size_t walk = 0; // the first time not below the current row's time
};

bool TimeOf(const VARIANT& v, double& t) {
    if (v.vt == VT_DATE)
        t = v.date;
    else if (v.vt == VT_R8)
        t = v.dblVal;
    else
        return false;
    return std::isfinite(t);
}

bool CollectChannel(IZynChannel* channel, ChannelColumn& column, std::string& name) {
    CComBSTR text;
    if (SUCCEEDED(channel->get_Name(&text))) name = text.ToUtf8();
    if (FAILED(channel->get_Data(&column.data)) || !column.data) return false;
    LONG count = 0;
    if (FAILED(column.data->get_Count(&count)) || count < 0) return false;
    // One copy of the values and their times under the chart's lock, which holds the channel's,
    // instead of a lock per value.
    CComPtr<IZynBulkAccess> bulk;
    if (FAILED(channel->QueryInterface(IZynBulkAccess::kIID, reinterpret_cast<void**>(&bulk))) || !bulk)
        return false;
    column.values.resize(std::size_t(count));
    column.times.resize(std::size_t(count));
    LONG copied = 0;
    if (FAILED(bulk->CopyValues(0, count, column.values.data(), column.times.data(), &copied))) copied = 0;
    column.values.resize(std::size_t(copied));
    column.times.resize(std::size_t(copied));
    CComVariant first, last;
    column.hasRange = SUCCEEDED(channel->get_FirstTime(&first)) && SUCCEEDED(channel->get_LastTime(&last)) &&
                      TimeOf(first, column.first) && TimeOf(last, column.last);
    return true;
}

// The index whose value the row of time t shows: the nearest index, as the data set finds it.
// Rows walk forward, so an exact match is found by a moving cursor; anything else asks the set.
bool IndexAt(ChannelColumn& c, double t, LONG& index) {
    const std::size_t n = c.times.size();
    while (c.walk < n && c.times[c.walk] < t)
        ++c.walk;
    if (c.walk < n && c.times[c.walk] == t && (c.walk + 1 == n || c.times[c.walk + 1] != t)) {
        index = LONG(c.walk);
        return true;
    }
    return SUCCEEDED(c.data->TimeToIndex(t, &index));
}

// Every time of any column once, ascending. The columns are ascending already (and mostly the
// same times), so merging them is linear where sorting the lot was not.
std::vector<double> DistinctTimes(const std::vector<ChannelColumn>& columns) {
    std::vector<double> times, merged;
    for (const auto& c : columns) {
        if (!std::is_sorted(c.times.begin(), c.times.end())) {
            std::size_t total = 0;
            for (const auto& d : columns)
                total += d.times.size();
            times.clear();
            times.reserve(total);
            for (const auto& d : columns)
                times.insert(times.end(), d.times.begin(), d.times.end());
            std::sort(times.begin(), times.end());
            times.erase(std::unique(times.begin(), times.end()), times.end());
            return times;
        }
    }
    for (const auto& c : columns) {
        if (c.times.empty() || c.times == times) continue;
        merged.clear();
        merged.reserve(times.size() + c.times.size());
        std::merge(times.begin(), times.end(), c.times.begin(), c.times.end(), std::back_inserter(merged));
        merged.erase(std::unique(merged.begin(), merged.end()), merged.end());
        times.swap(merged);
    }
    return times;
}

} // namespace

void AppendField(std::string& out, std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

void AppendValue(std::string& out, double value) {
    if (std::isnan(value)) {
        out += std::signbit(value) ? "-nan" : "nan";
        return;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-inf" : "inf";
        return;
    }
    // "%lf" of the largest doubles runs to 316 characters.
    char text[400];
    auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
    if (ec == std::errc()) out.append(text, end);
}

bool WriteChartCsv(IZynChart* chart, std::string& out, const CsvOptions& options, CsvReport* report) {
    out.clear();
    CsvReport local;
    CsvReport& r = report ? *report : local;
    r = {};
    auto fail = [&](const char* why) {
        out.clear();
        r.error = why;
        return false;
    };
    if (!chart) return fail("there is no chart");
    CComPtr<IZynObjLock> lock;
    if (FAILED(chart->LockObject(&lock)) || !lock) return fail("the chart cannot be locked");

    std::vector<ChannelColumn> columns;
    std::vector<std::string> names;
    CComPtr<IZynChannelIter> iter;
    if (SUCCEEDED(chart->get_Channels(&iter)) && iter) {
        for (;;) {
            CComPtr<IZynChannel> channel;
            if (iter->GetNext(&channel) != S_OK || !channel) break;
            ChannelColumn column;
            std::string name;
            if (!CollectChannel(channel, column, name)) continue;
            columns.push_back(std::move(column));
            names.push_back(std::move(name));
        }
    }

    const std::vector<double> times = DistinctTimes(columns);
    if (times.empty()) {
        lock->Unlock();
        return fail("the chart has no samples");
    }

    out.reserve(times.size() * (24 + 12 * columns.size()));
    out += "Time";
    for (const auto& name : names) {
        out += ',';
        AppendField(out, name);
    }
    out += "\r\n";

    CCsvTimeWriter timeWriter;
    std::string timeText, previousTime;
    for (double t : times) {
        timeText.clear();
        const bool written = options.milliseconds ? CCsvTimeWriter::AppendMilliseconds(t, timeText)
                                                  : timeWriter.Append(t, timeText);
        if (!written) {
            lock->Unlock();
            return fail("a sample time is not a date");
        }
        if (timeText == previousTime) ++r.rowsSharingATime;
        previousTime = timeText;
        AppendField(out, timeText);
        for (auto& c : columns) {
            out += ',';
            if (!c.hasRange || t < c.first || t > c.last) continue;
            LONG index = -1;
            if (!IndexAt(c, t, index) || index < 0 || std::size_t(index) >= c.values.size()) continue;
            AppendValue(out, c.values[std::size_t(index)]);
        }
        out += "\r\n";
    }
    r.rows = times.size();
    lock->Unlock();
    return true;
}

bool WriteChannelCsv(IZynChannel* channel, std::string& out) {
    out.clear();
    if (!channel) return false;
    ChannelColumn column;
    std::string name;
    if (!CollectChannel(channel, column, name)) return false;
    out.reserve(16 + name.size() + column.values.size() * 24);
    out += "Time,";
    AppendField(out, name);
    out += '\n';
    char16_t time[128];
    for (std::size_t i = 0; i < column.values.size(); ++i) {
        // A time that is not a date leaves its field empty, as the text of an unknown time.
        if (GetLocaleTime(column.times[i], time, int(std::size(time))) > 0)
            AppendField(out, zyn::com::Utf16ToUtf8(std::u16string_view(time)));
        out += ',';
        AppendValue(out, column.values[i]);
        out += '\n';
    }
    return true;
}

bool SaveCsv(const std::string& path, IZynChart* chart, const CsvOptions& options, CsvReport* report) {
    CsvReport local;
    CsvReport& r = report ? *report : local;
    std::string text;
    if (!WriteChartCsv(chart, text, options, &r)) return false;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    if (!ZynSaveFile(path, std::span(bytes, text.size()), &r.error, &r.fileNotes)) return false;
    const std::u16string name = zyn::chartfile::ChartNameFromPath(path);
    if (!name.empty()) chart->put_Name(CComBSTR(name));
    return true;
}

} // namespace zyn::csv
