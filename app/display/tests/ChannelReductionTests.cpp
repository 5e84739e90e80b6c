// The per-column reduction of dense windows against a straightforward one: every sample of the
// window read, mapped to its column, and the first, lowest, highest and last row of each run of
// samples in one column kept. The reduction must give the same vertices whether it builds its
// summary in that paint, reuses it, extends it after appends or has none, and the chart must come
// out pixel for pixel as the reference polylines draw it.

#include "display/ChartColours.h"
#include "display/ChartRenderer.h"

#include "RenderTestUtil.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Appends `count` samples whose value and time (milliseconds after the chart start) are given by
// index.
bool Append(IZynChannel* channel, std::int64_t first, std::int64_t count,
            const std::function<double(std::int64_t)>& value, const std::function<LONG(std::int64_t)>& ms) {
    CComPtr<IZynBulkAccess> bulk;
    if (FAILED(channel->QueryInterface(IZynBulkAccess::kIID, reinterpret_cast<void**>(&bulk)))) return false;
    std::vector<double> values;
    std::vector<LONG> times;
    for (std::int64_t i = first; i < first + count; ++i) {
        values.push_back(value(i));
        times.push_back(ms(i));
    }
    LONG held = 0;
    return SUCCEEDED(bulk->AppendValues(LONG(count), values.data(), times.data(), &held));
}

double Wave(std::int64_t i) {
    return 50 + 40 * std::sin(double(i) / 7000.0) + double((i * 7919) % 31) - 15;
}

// The samples of the visible window (as the renderer chooses it) grouped by column.
std::vector<QPoint> ReferencePolyline(const ChannelWindow& w, LONG count) {
    std::vector<QPoint> out;
    if (count < 2) return out;
    LONG i0 = 0, i1 = 0;
    w.data->TimeToIndex(w.xMap.Unmap(w.clipLeft), &i0);
    w.data->TimeToIndex(w.xMap.Unmap(w.clipRight), &i1);
    const LONG first = std::max<LONG>(0, i0 - 2), last = std::min<LONG>(count - 1, i1 + 2);
    const LONG n = last - first + 1;
    if (n <= 0) return out;
    std::vector<LONG> rows(2 * std::size_t(n));
    std::vector<double> times(static_cast<std::size_t>(n));
    LONG got = 0, gotTimes = 0;
    EXPECT_EQ(w.dataPrivate->GetDataEx(first, n, w.scaleMin, w.scaleMax, 0.0, w.tall, rows.data(), &got),
              S_OK);
    EXPECT_EQ(w.dataPrivate->GetTimeAtEx(first, n, times.data(), &gotTimes), S_OK);
    const auto row = [&](LONG k) { return int(rows[2 * std::size_t(k) + 1]); };
    const auto x = [&](LONG k) { return w.xMap.Map(times[std::size_t(k)]); };
    if (n <= 4 * (std::max(1, w.clipRight - w.clipLeft + 1) + 4)) {
        for (LONG k = 0; k < n; ++k)
            out.emplace_back(x(k), row(k));
        return out;
    }
    const auto push = [&](QPoint p) {
        if (out.empty() || out.back() != p) out.push_back(p);
    };
    for (LONG a = 0; a < n;) {
        LONG b = a + 1;
        int lo = row(a), hi = row(a);
        for (; b < n && x(b) == x(a); ++b) {
            lo = std::min(lo, row(b));
            hi = std::max(hi, row(b));
        }
        for (const int r : {row(a), lo, hi, row(b - 1)})
            push({x(a), r});
        a = b;
    }
    return out;
}

struct Scenario {
    const char* name;
    std::int64_t count;
    std::function<double(std::int64_t)> value;
    std::function<LONG(std::int64_t)> ms;
};

std::vector<Scenario> Scenarios() {
    return {
        {"one sample", 1, Wave, [](std::int64_t i) { return LONG(i * 10); }},
        {"two samples", 2, Wave, [](std::int64_t i) { return LONG(i * 10); }},
        {"a block and one", 65, Wave, [](std::int64_t i) { return LONG(i * 10); }},
        {"dense, partial last block", 300037, Wave, [](std::int64_t i) { return LONG(i * 10); }},
        // Hours without samples in the middle: columns with nothing, and a line across them.
        {"gap", 200000, Wave, [](std::int64_t i) { return LONG(i * 10 + (i >= 120000 ? 5000000 : 0)); }},
        // Bursts of samples on one millisecond, far apart: single columns holding thousands.
        {"bursts", 150000, Wave, [](std::int64_t i) { return LONG(i / 5000 * 60000); }},
        // Values the scale cannot hold, and runs that are not numbers (drawn on the bottom line).
        {"off scale and not numbers", 180000,
         [](std::int64_t i) {
             if (i % 40000 < 900) return kNaN;
             if (i % 25000 < 50) return 1e300;
             return i % 33333 < 70 ? -1e12 : Wave(i);
         },
         [](std::int64_t i) { return LONG(i * 7); }},
        {"flat", 100000, [](std::int64_t) { return 25.0; }, [](std::int64_t i) { return LONG(i * 3); }},
    };
}

struct View {
    const char* name;
    double from, to; // fractions of the data's time range on the whole scroll range
    int total;       // scroll range in pixels
    int clipLeft, clipRight;
};

const View kViews[] = {
    {"all data", 0.0, 1.0, 700, 0, 699},
    {"all data, one column clipped", 0.0, 1.0, 1900, 950, 950},
    {"middle third", 1.0 / 3, 2.0 / 3, 640, 0, 639},
    {"scrolled into the middle", 0.0, 1.0, 8000, 3100, 3899},
    {"data ends inside", 0.0, 1.7, 500, 0, 499},
    {"before the data", -2.0, -1.0, 400, 0, 399},
    {"after the data", 2.0, 3.0, 400, 0, 399},
};

TEST(ChannelReductionTest, EverySummaryStateGivesTheStraightforwardReduction) {
    for (const Scenario& sc : Scenarios()) {
        const TestChannel made = NewStaticChannel();
        // Appended in two runs, the second painted with the summary of the first.
        const std::int64_t firstRun = sc.count * 2 / 3;
        ASSERT_TRUE(Append(made.channel, 0, firstRun, sc.value, sc.ms)) << sc.name;
        const ChartChannelView c = ViewOf(made.channel);
        ChannelSummaryCache cache;
        ChannelBuffers buf;
        for (int grown = 0; grown < 2; ++grown) {
            if (grown) {
                ASSERT_TRUE(Append(made.channel, firstRun, sc.count - firstRun, sc.value, sc.ms));
            }
            LONG count = 0;
            ASSERT_EQ(c.data->get_Count(&count), S_OK);
            const double t0 = kTestStart + sc.ms(0) * kMs, t1 = kTestStart + sc.ms(sc.count - 1) * kMs;
            for (const View& v : kViews) {
                SCOPED_TRACE(testing::Message() << sc.name << ", " << v.name << (grown ? ", grown" : ""));
                ChannelWindow w;
                w.data = c.data;
                w.dataPrivate = c.dataPrivate;
                w.bulk = c.bulk;
                w.scaleMin = 0;
                w.scaleMax = 100;
                w.tall = 300;
                w.xMap.Setup(0, v.total, t0 + v.from * (t1 - t0), t0 + v.to * (t1 - t0));
                w.clipLeft = v.clipLeft;
                w.clipRight = v.clipRight;
                const std::vector<QPoint> expected = ReferencePolyline(w, count);
                std::vector<QPoint> fresh, kept, none;
                ChannelSummary own;
                ASSERT_EQ(WindowPolyline(w, count, &own, buf, fresh), S_OK);
                // The shared summary goes through every view and both counts.
                ASSERT_EQ(WindowPolyline(w, count, &cache.For(c.dataPrivate), buf, kept), S_OK);
                ASSERT_EQ(WindowPolyline(w, count, nullptr, buf, none), S_OK);
                EXPECT_EQ(fresh, expected);
                EXPECT_EQ(kept, expected);
                EXPECT_EQ(none, expected);
                ASSERT_EQ(WindowPolyline(w, count, &own, buf, fresh), S_OK);
                EXPECT_EQ(fresh, expected) << "repaint from the kept columns";
            }
        }
    }
}

// Whole charts: the renderer's picture against the chart without channels with the reference
// polylines drawn on it, for one and for several channels, on the first paint and on repaints.
TEST(ChannelReductionTest, ChartsAreDrawnAsTheReferencePolylines) {
    const std::vector<Scenario> all = Scenarios();
    const std::vector<std::vector<std::size_t>> charts = {{3}, {0, 1, 3, 4}, {2, 3, 4, 5, 6, 7, 3, 6}};
    const COLORREF colours[] = {0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF,
                                0xFF00FF, 0xFFFF00, 0x808080, 0x004080};
    for (const auto& picks : charts) {
        ChartSettings s;
        ChartRenderInput in = MakeInput(s, kTestStart);
        double last = kTestStart;
        for (std::size_t k = 0; k < picks.size(); ++k) {
            const Scenario& sc = all[picks[k]];
            const TestChannel made = NewStaticChannel();
            ASSERT_TRUE(Append(made.channel, 0, sc.count, sc.value, sc.ms));
            in.channels.push_back(ViewOf(made.channel, colours[k]));
            last = std::max(last, kTestStart + sc.ms(sc.count - 1) * kMs);
        }
        in.chartLastTime = last;
        for (const double zoom : {1.0, 0.37, 1.8}) {
            SCOPED_TRACE(testing::Message() << picks.size() << " channels, span " << zoom);
            CChartRenderer r;
            r.CopyViewSettings(s);
            r.timeSpan = zoom * (last - kTestStart);
            const auto paint = [&](const ChartRenderInput& what) {
                QImage img = NewImage(720, 360);
                QPainter p(&img);
                r.Draw(p, img.rect(), img.rect(), what);
                return img;
            };
            const QImage first = paint(in);
            const QImage again = paint(in);

            ChartRenderInput bare = in;
            for (ChartChannelView& c : bare.channels)
                c.visible = false;
            QImage expected = paint(bare);
            QPainter p(&expected);
            p.setClipRect(r.PlotRect());
            p.translate(r.PlotRect().topLeft());
            for (const ChartChannelView& c : in.channels) {
                LONG count = 0;
                ASSERT_EQ(c.data->get_Count(&count), S_OK);
                ChannelWindow w;
                w.data = c.data;
                w.dataPrivate = c.dataPrivate;
                w.scaleMin = c.scaleMin;
                w.scaleMax = c.scaleMax;
                w.tall = r.PlotRect().height();
                w.clipRight = r.PlotRect().width() - 1;
                std::vector<QPoint> line;
                if (count < 24) { // few samples are placed on the visible span, every one a vertex
                    w.xMap.Setup(0, r.PlotRect().width(), r.StartTime(in), r.StartTime(in) + r.timeSpan);
                    std::vector<double> times(static_cast<std::size_t>(count));
                    std::vector<LONG> rows(2 * std::size_t(count));
                    LONG got = 0;
                    c.dataPrivate->GetDataEx(0, count, w.scaleMin, w.scaleMax, 0.0, w.tall, rows.data(),
                                             &got);
                    c.dataPrivate->GetTimeAtEx(0, count, times.data(), &got);
                    for (LONG k = 0; k < count; ++k)
                        line.emplace_back(w.xMap.Map(times[std::size_t(k)]), rows[2 * std::size_t(k) + 1]);
                } else {
                    w.xMap.Setup(0, r.TotalScrollWidth(in), r.StartTime(in), r.EndTime(in));
                    line = ReferencePolyline(w, count);
                }
                p.setPen(QPen(ToQColor(c.color), c.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                if (line.size() >= 2) p.drawPolyline(line.data(), int(line.size()));
            }
            p.end();
            EXPECT_EQ(first, expected);
            EXPECT_EQ(again, expected);
        }
    }
}

} // namespace
