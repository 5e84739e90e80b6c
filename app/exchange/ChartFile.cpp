#include "ChartFile.h"

#include "com/bstr.h"
#include "com/ccombstr.h"
#include "com/errorinfo.h"
#include "com/variant.h"
#include "utils/ZynGrowBuff.h"

#include <cmath>
#include <cstring>

namespace zyn::chartfile {

namespace {

// Sequential little-endian reads that never pass the end of the bytes.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    bool U32(std::uint32_t& v) {
        if (Remaining() < 4) return false;
        const std::uint8_t* p = m_bytes.data() + m_pos;
        v = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
            std::uint32_t(p[3]) << 24;
        m_pos += 4;
        return true;
    }
    bool Take(std::size_t n, std::span<const std::uint8_t>& out) {
        if (Remaining() < n) return false;
        out = m_bytes.subspan(m_pos, n);
        m_pos += n;
        return true;
    }
    std::size_t Remaining() const { return m_bytes.size() - m_pos; }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
};

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(std::uint8_t(v >> shift));
}

} // namespace

std::string_view DescribeChartFileError(ChartFileError error) {
    switch (error) {
    case ChartFileError::None:
        return {};
    case ChartFileError::Truncated:
    case ChartFileError::ShortChart:
        return "the file ends too early; it may have been cut short while it was copied or written";
    case ChartFileError::BadVersion:
    case ChartFileError::BadSignature:
        return "it is not a Tallon chart file, or one written by a newer version";
    case ChartFileError::SettingsTooLong:
        return "its display settings are damaged";
    case ChartFileError::TooLarge:
        return "the file is too large to be a chart";
    case ChartFileError::Unreadable:
        return "the file cannot be read";
    }
    return "the file cannot be read";
}

ChartFileError ParseChartFile(std::span<const std::uint8_t> file, ChartFileParts& out) {
    out = {};
    if (file.size() > kMaxFileBytes) return ChartFileError::TooLarge;
    ByteReader reader(file);
    std::uint32_t version = 0;
    if (!reader.U32(version)) return ChartFileError::Truncated;
    if (version == 0 || version > kCurrentVersion) return ChartFileError::BadVersion;
    if (version > 2) {
        std::uint32_t signature = 0;
        if (!reader.U32(signature)) return ChartFileError::Truncated;
        if (signature != kSignature) return ChartFileError::BadSignature;
    }
    std::uint32_t chartLength = 0;
    if (!reader.U32(chartLength)) return ChartFileError::Truncated;
    // The announced length is checked against what the file holds before anything is reserved.
    std::span<const std::uint8_t> chart;
    if (!reader.Take(chartLength, chart)) return ChartFileError::ShortChart;
    ChartFileParts parts;
    parts.version = version;
    parts.chart = chart;
    if (version > 1) {
        std::uint32_t settingsLength = 0;
        if (!reader.U32(settingsLength)) return ChartFileError::Truncated;
        if (settingsLength > kSettingsBytes) return ChartFileError::SettingsTooLong;
        if (!reader.Take(settingsLength, parts.settings)) return ChartFileError::Truncated;
        parts.hasSettings = true;
    }
    out = parts;
    return ChartFileError::None;
}

std::vector<std::uint8_t> ComposeChartFile(std::span<const std::uint8_t> chart,
                                           std::span<const std::uint8_t, kSettingsBytes> settings) {
    std::vector<std::uint8_t> out;
    out.reserve(chart.size() + kSettingsBytes + 16);
    PutU32(out, kCurrentVersion);
    PutU32(out, kSignature);
    PutU32(out, std::uint32_t(chart.size()));
    out.insert(out.end(), chart.begin(), chart.end());
    PutU32(out, kSettingsBytes);
    out.insert(out.end(), settings.begin(), settings.end());
    return out;
}

bool SaveChartBytes(IZynChart* chart, std::vector<std::uint8_t>& out) {
    out.clear();
    if (!chart) return false;
    CComVariant saved;
    if (FAILED(chart->SaveChart(&saved))) return false;
    CZynGrowBuff buffer;
    if (!buffer.FromVariant(&saved)) return false;
    const unsigned char* data = buffer.GetBuffer();
    if (buffer.GetSize() > 0 && !data) return false;
    out.assign(data, data + buffer.GetSize());
    return true;
}

CComPtr<IZynChart> LoadChartBytes(IZynApp* app, std::span<const std::uint8_t> bytes, std::string* partial) {
    if (partial) partial->clear();
    if (!app || bytes.size() > kMaxFileBytes) return {};
    // The byte-array value over the caller's bytes, not a copy of them: a chart file is tens of
    // megabytes, and every copy on the way to the loader adds to the peak memory of opening it. The
    // array is only lent for the call (the loader takes the value as an in-parameter), so it lives
    // here and is never destroyed.
    SAFEARRAY array{};
    array.cDims = 1;
    array.cbElements = 1;
    array.vt = VT_UI1;
    array.rgsabound[0].cElements = static_cast<ULONG>(bytes.size());
    array.rgsabound[0].lLbound = 0;
    static const std::uint8_t kNoBytes = 0;
    array.pvData = const_cast<std::uint8_t*>(bytes.empty() ? &kNoBytes : bytes.data());
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_ARRAY | VT_UI1;
    value.parray = &array;
    CComPtr<IZynChart> chart;
    if (FAILED(app->LoadChart(value, &chart))) return {};
    // After S_OK the error object holds a text only when the records were read in part.
    CComPtr<IErrorInfo> why;
    if (GetErrorInfo(0, &why) == S_OK && why && partial) {
        CComBSTR text;
        why->GetDescription(&text);
        *partial = text.IsEmpty() ? std::string("the chart records are damaged") : text.ToUtf8();
    }
    return chart;
}

namespace {

// The dates a time text can show: 1 January 100 to 31 December 9999.
bool IsDate(const VARIANT& v) {
    double t = 0;
    if (v.vt == VT_DATE)
        t = v.date;
    else if (v.vt == VT_R8)
        t = v.dblVal;
    else
        return v.vt == VT_EMPTY || v.vt == VT_NULL; // no sample, no time
    return std::isfinite(t) && t >= -657434.0 && t < 2958466.0;
}

} // namespace

bool ChartTimesAreDates(IZynChart* chart, std::string* why) {
    auto fail = [&](std::string text) {
        if (why) *why = std::move(text);
        return false;
    };
    if (!chart) return fail("there is no chart");
    CComVariant start;
    if (SUCCEEDED(chart->get_StartTime(&start)) && !IsDate(start))
        return fail("its start time is not a date");
    CComPtr<IZynChannelIter> iter;
    if (FAILED(chart->get_Channels(&iter)) || !iter) return true;
    for (;;) {
        CComPtr<IZynChannel> channel;
        if (iter->GetNext(&channel) != S_OK || !channel) break;
        CComVariant first, last;
        if ((SUCCEEDED(channel->get_FirstTime(&first)) && !IsDate(first)) ||
            (SUCCEEDED(channel->get_LastTime(&last)) && !IsDate(last))) {
            CComBSTR name;
            channel->get_Name(&name);
            return fail("the sample times of the channel \"" + name.ToUtf8() + "\" are not dates");
        }
    }
    return true;
}

std::u16string ChartNameFromPath(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.resize(dot);
    return zyn::com::Utf8ToUtf16(name);
}

} // namespace zyn::chartfile
