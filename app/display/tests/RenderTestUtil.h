#pragma once
// Channels with known samples for the renderer's tests: static channels of the object library,
// made and filled through its interfaces as the program's own code does.

#include "display/ChartFonts.h"
#include "display/ChartRenderInput.h"

#include "com/variant.h"
#include "testing/TestObjectLibrary.h"

#include <QImage>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

inline constexpr double kTestStart = 45000.0; // 15 March 2023, 00:00
inline constexpr double kMs = 1.0 / 86400000.0;

// A static channel of a chart starting at kTestStart. Values reach it while the chart holds it;
// when the chart goes, the channel keeps them.
struct TestChannel {
    CComPtr<IZynChart> chart;
    CComPtr<IZynChannel> channel;
};

inline TestChannel NewStaticChannel() {
    TestChannel t;
    t.chart = zyn::test::NewChart();
    if (!t.chart || FAILED(t.chart->put_StartTime(CComVariant::Date(kTestStart))) ||
        FAILED(t.chart->AddStaticChannel(&t.channel)))
        return {};
    return t;
}

// Appends the samples [first, first + count) of `f`, one every `stepMs` milliseconds from kTestStart.
inline bool AppendSamples(IZynChannel* channel, std::int64_t first, std::int64_t count, std::uint32_t stepMs,
                          const std::function<double(std::int64_t)>& f) {
    CComPtr<IZynBulkAccess> bulk;
    if (!channel || FAILED(channel->QueryInterface(IZynBulkAccess::kIID, reinterpret_cast<void**>(&bulk))))
        return false;
    std::vector<double> values(static_cast<std::size_t>(count));
    std::vector<LONG> times(static_cast<std::size_t>(count));
    for (std::int64_t k = 0; k < count; ++k) {
        values[std::size_t(k)] = f(first + k);
        times[std::size_t(k)] = LONG((first + k) * stepMs);
    }
    LONG held = 0;
    return SUCCEEDED(bulk->AppendValues(LONG(count), values.data(), times.data(), &held));
}

// What the chart view hands the renderer for `channel`.
inline ChartChannelView ViewOf(IZynChannel* channel, COLORREF colour = 0x0000FF) {
    ChartChannelView c;
    c.color = colour;
    if (!channel) return c;
    channel->get_Data(&c.data);
    if (c.data) c.data.QueryInterface(&c.dataPrivate);
    channel->QueryInterface(IZynBulkAccess::kIID, reinterpret_cast<void**>(&c.bulk));
    return c;
}

// `count` samples, one every `stepMs` milliseconds from kTestStart, values from f(i).
inline ChartChannelView MakeChannel(std::int64_t count, std::uint32_t stepMs,
                                    const std::function<double(std::int64_t)>& f,
                                    COLORREF colour = 0x0000FF) {
    const TestChannel made = NewStaticChannel();
    EXPECT_TRUE(AppendSamples(made.channel, 0, count, stepMs, f));
    return ViewOf(made.channel, colour);
}

inline ChartRenderInput MakeInput(ChartSettings& s, double lastTime) {
    FinishChartSettings(s, false);
    ChartRenderInput in;
    in.settings = &s;
    in.chartStartTime = kTestStart;
    in.chartLastTime = lastTime;
    in.documentCreated = kTestStart;
    return in;
}

inline QImage NewImage(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::magenta); // anything left unpainted shows
    return img;
}
