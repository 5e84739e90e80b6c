#include "display/ChartRenderer.h"

#include "RenderTestUtil.h"
#include "display/ChartColours.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

constexpr double kMinute = 1.0 / 1440;

QImage Render(CChartRenderer& r, const ChartRenderInput& in, int w = 800, int h = 400) {
    QImage img = NewImage(w, h);
    QPainter p(&img);
    r.CopyViewSettings(*in.settings);
    r.Draw(p, img.rect(), img.rect(), in);
    return img;
}

int CountColour(const QImage& img, const QRect& where, QRgb colour) {
    int n = 0;
    const QRect r = where.intersected(img.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += (img.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return n;
}

QRgb Rgb(COLORREF c) {
    return ToQColor(c).rgb();
}

TEST(ChartRendererTest, DefaultValueAxisReadsZeroToHundredPercent) {
    ChartSettings s;
    ChartRenderInput in = MakeInput(s, kTestStart + 2 * kMinute);
    CChartRenderer r;
    const QImage img = Render(r, in);

    EXPECT_EQ(r.FormatValueLabel(0, in).toStdString(), "  0%");
    EXPECT_EQ(r.FormatValueLabel(100, in).toStdString(), "100%");
    const AxisRuler& v = r.ValueRuler();
    EXPECT_EQ(v.minimum, 0.0);
    EXPECT_EQ(v.maximum, 100.0);
    ASSERT_GT(v.step, 0.0);
    QFont font = ChartFont(s);
    const auto labels =
        const_cast<AxisRuler&>(v).Labels(QFontMetrics(font),
                                         QRect(r.ValueLabelColumn().left(), r.PlotRect().top(),
                                               r.ValueLabelColumn().width(), r.PlotRect().height()),
                                         RulerFlags::kLabelsLeft | RulerFlags::kEndsShifted);
    ASSERT_GE(labels.size(), 3u);
    EXPECT_EQ(labels.front().text.toStdString(), "  0%");
    EXPECT_EQ(labels.back().text.toStdString(), "100%");
    // The bottom label sits above the plot's bottom, the top one starts at the top.
    EXPECT_LE(labels.front().anchor.y() + QFontMetrics(font).height(), r.PlotRect().bottom() + 1);
    EXPECT_LE(std::abs(labels.back().anchor.y() - r.PlotRect().top()), 1);

    // Text of the default colour appears in the label column and in the time band; the
    // background everywhere else was painted.
    EXPECT_GT(CountColour(img, r.ValueLabelColumn(), Rgb(s.ColorText)), 20);
    EXPECT_GT(CountColour(img, r.TimeLabelBand(), Rgb(s.ColorText)), 20);
    EXPECT_EQ(CountColour(img, img.rect(), qRgb(255, 0, 255)), 0);
    // Elapsed-time labels start at zero.
    EXPECT_EQ(r.TimeRuler().minimum, 0.0);
    EXPECT_EQ(r.FormatTimeLabel(10 * kMinute).toStdString(), "10:00");
}

TEST(ChartRendererTest, TimeRangeIsAtLeastAMinuteRoundedToTheSpanTable) {
    ChartSettings s;
    CChartRenderer r;
    ChartRenderInput in = MakeInput(s, kTestStart + 10.0 / 86400); // 10 seconds recorded
    r.CopyViewSettings(s);
    EXPECT_NEAR(r.EndTime(in) - kTestStart, 3 * kMinute, 1e-9); // the 3-minute view span wins
    r.timeSpan = kMinute;
    EXPECT_NEAR(r.EndTime(in) - kTestStart, kMinute, 1e-9);
    in.chartLastTime = kTestStart + 4 * kMinute;
    EXPECT_NEAR(r.EndTime(in) - kTestStart, 5 * kMinute, 1e-9);
    EXPECT_TRUE(r.TakeInvalidateAll());
    EXPECT_FALSE(r.TakeInvalidateAll());
    // No start time yet: the document's creation time; no last time: one second after the start.
    in.chartStartTime = 0;
    in.chartLastTime = 0;
    in.documentCreated = 44000.5;
    EXPECT_EQ(r.StartTime(in), 44000.5);
    EXPECT_DOUBLE_EQ(r.LastTime(in), 44000.5 + 1.0 / 86400);
    // Print-page overrides win.
    in.windowStart = 44001.0;
    in.windowEnd = 44001.5;
    EXPECT_EQ(r.StartTime(in), 44001.0);
    EXPECT_EQ(r.LastTime(in), 44001.5);
}

TEST(ChartRendererTest, ChannelIsDrawnWhereItsDataSays) {
    ChartSettings s;
    ChartRenderInput in = MakeInput(s, kTestStart + 99 * 1000 * kMs);
    // 100 samples a second apart: 25 % for the first half, 75 % after.
    in.channels.push_back(MakeChannel(
        100, 1000, [](std::int64_t i) { return i < 50 ? 25.0 : 75.0; }, 0x0000FF));
    CChartRenderer r;
    const QImage img = Render(r, in);
    const QRect plot = r.PlotRect();
    const int H = plot.height();
    const int yLow = plot.top() + H - int(0.25 * H);
    const int yHigh = plot.top() + H - int(0.75 * H);
    // 3-minute span over the plot width: sample i sits at i seconds / 180 s of the width.
    const int x10 = plot.left() + int(10.0 / 180 * plot.width());
    const int x80 = plot.left() + int(80.0 / 180 * plot.width());
    EXPECT_EQ(img.pixel(x10, yLow) & 0xFFFFFF, 0xFF0000u); // red, 0x0000FF as COLORREF
    EXPECT_EQ(img.pixel(x80, yHigh) & 0xFFFFFF, 0xFF0000u);
    EXPECT_NE(img.pixel(x80, yLow) & 0xFFFFFF, 0xFF0000u);
    // Nothing of the channel beyond its last sample (99 s).
    const int x120 = plot.left() + int(120.0 / 180 * plot.width());
    EXPECT_EQ(CountColour(img, QRect(x120, plot.top(), plot.right() - x120, H), 0xFF0000), 0);
}

TEST(ChartRendererTest, ChannelsWithoutScaleOrSamplesAreSkippedAndHighlightingBlends) {
    ChartSettings s;
    ChartRenderInput in = MakeInput(s, kTestStart + 99 * 1000 * kMs);
    in.channels.push_back(MakeChannel(
        100, 1000, [](std::int64_t) { return 50.0; }, 0x0000FF));
    in.channels.back().scaleMax = in.channels.back().scaleMin = 5.0;
    in.channels.push_back(MakeChannel(
        1, 1000, [](std::int64_t) { return 50.0; }, 0x00FF00));
    in.selectedChannel = 0; // the axis of a zero-height scale is one unit tall
    CChartRenderer r;
    QImage img = Render(r, in);
    EXPECT_EQ(CountColour(img, r.PlotRect(), 0xFF0000), 0);
    EXPECT_EQ(CountColour(img, r.PlotRect(), 0x00FF00), 0);
    EXPECT_EQ(r.ValueRuler().maximum, 6.0);

    // Highlighting another channel halves this one toward the black background.
    in.channels[0].scaleMax = 100.0;
    in.selectedChannel = -1;
    in.highlighting = true;
    in.highlightedChannel = 1;
    in.channels[0].width = 2;
    img = Render(r, in);
    EXPECT_EQ(CountColour(img, r.PlotRect(), 0xFF0000), 0);
    EXPECT_GT(CountColour(img, r.PlotRect(), qRgb(128, 0, 0)), 50);
}

TEST(ChartRendererTest, EventMarkersAreColouredAndStack) {
    ChartSettings s;
    ChartRenderInput in = MakeInput(s, kTestStart + 2 * kMinute);
    in.events.push_back({kTestStart + 30.0 / 86400, 0.0});                       // running
    in.events.push_back({kTestStart + 30.0 / 86400, kTestStart + 90.0 / 86400}); // finished, same start
    CChartRenderer r;
    const QImage img = Render(r, in);
    const auto& m = r.Markers();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].fill, ZynRGB(255, 255, 0));
    EXPECT_EQ(m[1].fill, ZynRGB(0, 255, 0));
    EXPECT_EQ(m[2].fill, ZynRGB(255, 0, 0));
    EXPECT_EQ(m[1].label, m[2].label);
    EXPECT_EQ(m[1].label.toStdString(), " 2");
    EXPECT_EQ(m[0].rect.top(), 1);
    EXPECT_EQ(m[1].rect.top(), 1 + m[0].rect.height()); // moved down by one marker height
    EXPECT_EQ(m[2].rect.top(), 1);                      // the stop marker has room at the top
    // Fill colours inside the triangles (near the base, off the label's centre).
    const QPoint origin = r.PlotRect().topLeft();
    auto inside = [&](const EventMarker& e) {
        return img.pixel(origin + QPoint(e.rect.left() + e.rect.width() / 4 + 2, e.rect.bottom() - 1)) &
               0xFFFFFF;
    };
    EXPECT_EQ(inside(m[0]), 0xFFFF00u);
    EXPECT_EQ(inside(m[1]), 0x00FF00u);
    EXPECT_EQ(inside(m[2]), 0xFF0000u);
}

TEST(ChartRendererTest, NoTimeLabelsWhenNoStepFitsButChannelsStillShow) {
    ChartSettings s;
    ChartRenderInput in = MakeInput(s, kTestStart + 99 * 1000 * kMs);
    in.channels.push_back(MakeChannel(
        100, 1000, [](std::int64_t) { return 5e8; }, 0x0000FF));
    in.channels[0].scaleMin = 0;
    in.channels[0].scaleMax = 1e9; // a wide value column leaves a plot narrower than one label
    in.selectedChannel = 0;
    CChartRenderer r;
    r.CopyViewSettings(s);
    QImage img = NewImage(120, 200);
    {
        QPainter p(&img);
        r.Draw(p, img.rect(), img.rect(), in);
    }
    ASSERT_LT(r.PlotRect().width(), r.TimeLabelSize().width());
    EXPECT_EQ(r.TimeRuler().step, -1.0);
    const QRect bandUnderPlot(r.PlotRect().left(), r.TimeLabelBand().top(), r.PlotRect().width(),
                              r.TimeLabelBand().height());
    EXPECT_EQ(CountColour(img, bandUnderPlot, Rgb(s.ColorText)), 0);
    EXPECT_GT(CountColour(img, r.PlotRect(), 0xFF0000), 5);
}

TEST(ChartRendererTest, TickSizeZeroHidesTicksButNotGridLines) {
    ChartSettings s;
    s.TickSize = 0;
    s.ColorGrid = ZynRGB(0, 200, 0);
    ChartRenderInput in = MakeInput(s, kTestStart + 2 * kMinute);
    CChartRenderer r;
    QImage img = Render(r, in);
    EXPECT_EQ(r.MajorTickLength(), 0);
    const QRect interior = r.PlotRect().adjusted(3, 3, -3, -3);
    EXPECT_EQ(CountColour(img, interior, Rgb(s.ColorGrid)), 0);

    s.XGridLines = 1;
    s.YGridLines = 1;
    img = Render(r, in);
    // A full-height vertical and a full-width horizontal grid line inside the plot.
    const int grid = CountColour(img, interior, Rgb(s.ColorGrid));
    EXPECT_GT(grid, interior.height() + interior.width());

    s.TickSize = 3;
    s.XGridLines = s.YGridLines = 0;
    r.MarkLayoutDirty();
    img = Render(r, in);
    EXPECT_EQ(r.MinorTickLength(), int(r.PlotRect().height() * 0.01 * 3 * 0.65));
    EXPECT_GT(CountColour(img, interior, Rgb(s.ColorGrid)), 0);
    // Ticks stay at the edges: no grid colour across the middle of the plot.
    const QRect middle(interior.left() + 20, interior.center().y() - 20, interior.width() - 40, 40);
    EXPECT_EQ(CountColour(img, middle, Rgb(s.ColorGrid)), 0);
}

TEST(ChartRendererTest, PrintingUsesPrinterFriendlyColours) {
    ChartSettings s;
    ChartRenderInput in = MakeInput(s, kTestStart + 99 * 1000 * kMs);
    in.channels.push_back(MakeChannel(
        100, 1000, [](std::int64_t) { return 50.0; }, 0x00FFFF)); // yellow
    ChartSettings printed;
    CopySettings(printed, s);
    AdaptForPrinter(printed, 96, 96);
    in.settings = &printed;
    CChartRenderer r;
    r.CopyViewSettings(printed);
    r.printingPage = true;
    QImage img = NewImage(800, 400);
    {
        QPainter p(&img);
        r.Draw(p, img.rect(), img.rect(), in);
    }
    EXPECT_EQ(img.pixel(r.PlotRect().center()) & 0xFFFFFF, 0xFFFFFFu); // white paper
    EXPECT_GT(CountColour(img, r.PlotRect(), qRgb(0x7f, 0x7f, 0)), 100);
    EXPECT_EQ(CountColour(img, r.PlotRect(), qRgb(0xff, 0xff, 0)), 0);
    // Labels in the masked text colour (dark on paper; glyph edges are smoothed).
    int dark = 0;
    for (int y = r.ValueLabelColumn().top(); y <= r.ValueLabelColumn().bottom(); ++y)
        for (int x = r.ValueLabelColumn().left(); x <= r.ValueLabelColumn().right(); ++x) {
            const QColor c = img.pixelColor(x, y);
            dark += c.red() < 0x50 && c.green() < 0x50 && c.blue() < 0x50;
        }
    EXPECT_GT(dark, 10);
    EXPECT_EQ(CountColour(img, r.ValueLabelColumn(), qRgb(0xff, 0xff, 0)), 0);

    // On screen the same channel keeps its colour.
    in.settings = &s;
    CChartRenderer screen;
    img = Render(screen, in);
    EXPECT_GT(CountColour(img, screen.PlotRect(), qRgb(0xff, 0xff, 0)), 100);
}

TEST(ChartRendererTest, DataOnlyRepaintSkipsBackgroundAndAxes) {
    ChartSettings s;
    ChartRenderInput in = MakeInput(s, kTestStart + 99 * 1000 * kMs);
    in.channels.push_back(MakeChannel(100, 1000, [](std::int64_t) { return 50.0; }));
    CChartRenderer r;
    QImage img = Render(r, in); // first paint lays out
    img.fill(Qt::magenta);
    const QRect strip(r.PlotRect().left() + 10, r.PlotRect().top(), 50, r.PlotRect().height());
    r.dataOnlyRect = strip;
    {
        QPainter p(&img);
        r.Draw(p, img.rect(), strip, in);
    }
    EXPECT_TRUE(r.dataOnlyRect.isEmpty());
    EXPECT_GT(CountColour(img, strip, 0xFF0000), 10);
    EXPECT_EQ(CountColour(img, strip, 0xFF0000) + CountColour(img, strip, 0xFF00FF),
              strip.width() * strip.height());
    EXPECT_EQ(CountColour(img, r.ValueLabelColumn(), 0xFF00FF),
              r.ValueLabelColumn().width() * r.ValueLabelColumn().height());
}

TEST(ChartRendererTest, DenseWindowsReduceToTheSamePicture) {
    ChartSettings s;
    const std::int64_t n = 200000;
    ChartRenderInput in = MakeInput(s, kTestStart + (n - 1) * 10 * kMs);
    // Noise around a slow wave, every 10 ms: ~1,000 samples per pixel column.
    in.channels.push_back(MakeChannel(n, 10, [](std::int64_t i) {
        return 50 + 30 * std::sin(i / 20000.0) + double((i * 7919) % 23) - 11;
    }));
    CChartRenderer full, reduced, cached;
    full.reduceDenseWindows = false;
    full.CopyViewSettings(s);
    full.timeSpan = (n - 1) * 10 * kMs; // zoomed to all data
    reduced.CopyViewSettings(s);
    reduced.timeSpan = full.timeSpan;
    auto paint = [&](CChartRenderer& r) {
        QImage img = NewImage(400, 300);
        QPainter p(&img);
        r.Draw(p, img.rect(), img.rect(), in);
        return img;
    };
    const QImage a = paint(full);
    const QImage b = paint(reduced);
    const QImage c = paint(reduced); // with the summary built by the previous paint
    int differ = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            differ += a.pixel(x, y) != b.pixel(x, y) || a.pixel(x, y) != c.pixel(x, y);
    EXPECT_LE(differ, a.width() * a.height() / 1000) << differ << " pixels differ";
    EXPECT_GT(CountColour(b, reduced.PlotRect(), 0xFF0000), 400);
}

// A count that is not a whole number of summary blocks leaves a partial block at the end, which
// the reduction must read without asking the data set for rows past its last sample.
TEST(ChartRendererTest, DenseWindowEndingInAPartialBlockIsDrawn) {
    ChartSettings s;
    const std::int64_t n = 200000 + 37;
    ChartRenderInput in = MakeInput(s, kTestStart + (n - 1) * 10 * kMs);
    in.channels.push_back(MakeChannel(n, 10, [](std::int64_t i) {
        return 50 + 30 * std::sin(i / 20000.0) + double((i * 7919) % 23) - 11;
    }));
    CChartRenderer full, reduced;
    full.reduceDenseWindows = false;
    full.CopyViewSettings(s);
    full.timeSpan = 1.5 * (n - 1) * 10 * kMs; // the last sample well inside the plot
    reduced.CopyViewSettings(s);
    reduced.timeSpan = full.timeSpan;
    auto paint = [&](CChartRenderer& r) {
        QImage img = NewImage(400, 300);
        QPainter p(&img);
        r.Draw(p, img.rect(), img.rect(), in);
        return img;
    };
    const QImage a = paint(full);
    const QImage b = paint(reduced);
    const QImage c = paint(reduced);
    EXPECT_GT(CountColour(a, full.PlotRect(), 0xFF0000), 400);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, c);
}

// A repaint takes the reduced columns of the previous one; what changed since must still show, and
// the picture must be the one a renderer without any kept state paints.
TEST(ChartRendererTest, RepaintAfterAppendOrEditShowsTheNewValues) {
    ChartSettings s;
    const std::int64_t n = 200000;
    const TestChannel made = NewStaticChannel();
    IZynChannel* channel = made.channel;
    ASSERT_TRUE(
        AppendSamples(channel, 0, n, 10, [](std::int64_t i) { return 50 + 20 * std::sin(i / 20000.0); }));
    const ChartChannelView c = ViewOf(channel);
    ChartRenderInput in = MakeInput(s, kTestStart + 2 * n * 10 * kMs);
    in.channels.push_back(c);
    CChartRenderer kept;
    kept.CopyViewSettings(s);
    kept.timeSpan = 2.5 * n * 10 * kMs; // room for the appended samples in the same mapping
    auto paint = [&](CChartRenderer& r) {
        QImage img = NewImage(400, 300);
        QPainter p(&img);
        r.Draw(p, img.rect(), img.rect(), in);
        return img;
    };
    auto fresh = [&] {
        CChartRenderer r;
        r.CopyViewSettings(s);
        r.timeSpan = kept.timeSpan;
        return paint(r);
    };
    const QImage before = paint(kept);
    ASSERT_EQ(paint(kept), before);

    // A spike inside a column whose block summary and kept column were built before.
    ASSERT_EQ(c.data->SetValueAt(LONG(n / 2), 99.0), S_OK);
    const QImage edited = paint(kept);
    EXPECT_NE(edited, before);
    EXPECT_EQ(edited, fresh());

    // New samples far down the plot, some in the column that was last, most in new ones.
    ASSERT_TRUE(AppendSamples(channel, n, n / 4, 10, [](std::int64_t) { return 5.0; }));
    const QImage appended = paint(kept);
    EXPECT_NE(appended, edited);
    EXPECT_EQ(appended, fresh());

    // Cleared and refilled past the old count: nothing kept may survive.
    ASSERT_EQ(channel->Clear(), S_OK);
    ASSERT_TRUE(AppendSamples(channel, 0, n + n / 4 + 100, 10,
                              [](std::int64_t i) { return 95.0 - 20 * std::sin(i / 20000.0); }));
    const QImage refilled = paint(kept);
    EXPECT_EQ(refilled, fresh());
    EXPECT_NE(refilled, appended);
}

TEST(ChartRendererTest, ExposesARealisticRenderingWhenAsked) {
    const char* path = std::getenv("ZYN_RENDER_PNG");
    ChartSettings s;
    s.timeMode = 0;
    s.XGridLines = 1;
    s.YGridLines = 1;
    const double last = kTestStart + 10 * kMinute;
    ChartRenderInput in = MakeInput(s, last);
    in.channels.push_back(MakeChannel(
        600, 1000, [](std::int64_t i) { return 40 + 25 * std::sin(i / 40.0); }, 0x00FF00));
    in.channels.push_back(MakeChannel(
        600, 1000, [](std::int64_t i) { return 20 + double((i * 37) % 17); }, 0x4080FF));
    in.channels[1].width = 2;
    in.events.push_back({kTestStart + 1 * kMinute, kTestStart + 2 * kMinute});
    in.events.push_back({kTestStart + 1 * kMinute, 0.0});
    CChartRenderer r;
    r.CopyViewSettings(s);
    r.timeSpan = 10 * kMinute;
    QImage img = NewImage(900, 420);
    {
        QPainter p(&img);
        r.Draw(p, img.rect(), img.rect(), in);
    }
    EXPECT_EQ(CountColour(img, img.rect(), qRgb(255, 0, 255)), 0);
    if (path) {
        EXPECT_TRUE(img.save(path));
    }
}

} // namespace

TEST(ChartRendererSpan, AllDataSpanBecomesTheRecordedRangeWithinTheZoomLevels) {
    ChartSettings s;
    ChartRenderInput in = MakeInput(s, kTestStart + 20.0 / 1440);
    CChartRenderer r;
    s.viewSpan = -1.0;
    r.CopyViewSettings(s);
    r.ResolveAllDataSpan(in);
    EXPECT_NEAR(r.timeSpan, 20.0 / 1440, 1e-9);
    r.timeSpan = std::nan("");
    in.chartLastTime = kTestStart; // no samples yet: one second of range
    r.ResolveAllDataSpan(in);
    EXPECT_EQ(r.timeSpan, CChartRenderer::SpanTable().front());
    r.timeSpan = 0.0;
    in.chartLastTime = kTestStart + 400.0;
    r.ResolveAllDataSpan(in);
    EXPECT_EQ(r.timeSpan, CChartRenderer::SpanTable().back());
    r.timeSpan = 5.0 / 1440;
    r.ResolveAllDataSpan(in);
    EXPECT_EQ(r.timeSpan, 5.0 / 1440) << "a real span stays";
}
