// Saved charts and channels come from files, the clipboard and scripts. Arbitrary bytes go through
// every loading entry: as the records themselves (what a packed blob unpacks to), packed the way
// the loading members expect them, and as raw VARIANT or text input to those members. Whatever
// loads is saved again, so that the writers meet every state a forged record can leave behind.

#include "objlib/ZynApp.h"
#include "objlib/ZynChart.h"
#include "objlib/ZynRecords.h"

#include "com/errorinfo.h"

#include <cstddef>
#include <cstdint>

namespace {

// The records as the packed byte array that SaveChart/SaveChannel hand out.
CComVariant Packed(const std::uint8_t* data, std::size_t size) {
    CZynGrowBuff b;
    b.Write(data, static_cast<unsigned long>(size));
    CComVariant v;
    if (b.Compress(3)) b.ToVariant(&v);
    return v;
}

CComBSTR PackedText(const std::uint8_t* data, std::size_t size) {
    CZynGrowBuff b;
    b.Write(data, static_cast<unsigned long>(size));
    CComBSTR text;
    if (b.Compress(3) && b.Encode64()) b.ToString(text);
    return text;
}

void SaveAgain(IZynChart* chart) {
    CComVariant saved;
    chart->SaveChart(&saved);
    LONG count = 0;
    chart->get_ChannelCount(&count);
    CComVariant last;
    chart->get_LastTime(&last);
}

void SaveAgain(IZynChannel* channel) {
    CComVariant saved;
    channel->SaveChannel(&saved);
    CComVariant first, last;
    channel->get_FirstTime(&first);
    channel->get_LastTime(&last);
    CComPtr<IZynDataSet> data;
    if (SUCCEEDED(channel->get_Data(&data)) && data) {
        LONG index = 0;
        data->TimeToIndex(45000.0, &index);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t mode = data[0];
    ++data;
    --size;

    CComPtr<CZynApp> app = zyn::com::MakeObject<CZynApp>();
    switch (mode % 5) {
    case 0: { // a chart file's records
        CComPtr<IZynChart> chart;
        if (SUCCEEDED(app->LoadChart(Packed(data, size), &chart)) && chart) SaveAgain(chart);
        break;
    }
    case 1: { // a channel pasted into a chart
        CComPtr<IZynChart> chart;
        app->AddChart(&chart);
        CComPtr<IZynChannel> channel;
        if (SUCCEEDED(chart->LoadChannel(Packed(data, size), &channel)) && channel) SaveAgain(channel);
        SaveAgain(chart);
        break;
    }
    case 2: { // a chart from a script's string
        CComPtr<IZynChart> chart;
        if (SUCCEEDED(app->LoadChartFromString(PackedText(data, size), &chart)) && chart) SaveAgain(chart);
        break;
    }
    case 3: { // raw bytes handed to the loaders as they are: the unpacking sees forged containers
        CZynGrowBuff b;
        b.Write(data, static_cast<unsigned long>(size));
        CComVariant v;
        b.ToVariant(&v);
        CComPtr<IZynChart> chart;
        if (SUCCEEDED(app->LoadChart(v, &chart)) && chart) SaveAgain(chart);
        CComPtr<IZynChannel> channel;
        if (chart && SUCCEEDED(chart->LoadChannel(v, &channel)) && channel) SaveAgain(channel);
        break;
    }
    default: { // raw text to the string loaders
        CComBSTR text(static_cast<UINT>(size / 2), reinterpret_cast<const char16_t*>(data));
        CComPtr<IZynChart> chart;
        if (SUCCEEDED(app->LoadChartFromString(text, &chart)) && chart) SaveAgain(chart);
        CComPtr<IZynChart> host;
        app->AddChart(&host);
        CComPtr<IZynChannel> channel;
        if (SUCCEEDED(host->LoadChannelFromString(text, &channel)) && channel) SaveAgain(channel);
        break;
    }
    }
    SetErrorInfo(0, nullptr);
    return 0;
}
