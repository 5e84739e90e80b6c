// Building a chart's report against one pass over its data, in one run:
//  1. the report of a chart with 100 channels of N samples and two events that overlap and
//     together span the whole recording, against a plain loop that takes the minimum, maximum and
//     sum of every value once (target: within 1.5x of that pass);
//  2. the same with two short events (a twentieth of the recording each);
//  3. how the build time grows from 1,000 to 1,000,000 samples per channel;
//  4. the report page's rebuilds, which keep the channels' block summaries: again at once, and
//     after 1 % more samples;
//  5. drawing one screen (1600 x 1000) of that report: the layout of the whole report, and the
//     paint of the part on screen with the layout kept, as the report page does.
// Each figure is the minimum and median of 3 runs. Run: build/bin/report_bench [max samples]

#include "display/ChartFonts.h"
#include "report/EventStatistics.h"
#include "report/ReportBuilder.h"
#include "report/ReportLayout.h"

#include "objlib/ZynChannel.h"
#include "objlib/ZynChart.h"
#include "objlib/ZynDataSet.h"
#include "objlib/ZynEvent.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <type_traits>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kChannels = 100;
constexpr double kStart = 45000.0;
constexpr double kMs = 1.0 / 86400000.0;
constexpr std::uint32_t kStepMs = 10;

struct Figures {
    double min = 0, median = 0;
};

// `run` returns the milliseconds it measured itself, or nothing to be timed whole.
template <class F> Figures Measure(F&& run, int runs = 3) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        if constexpr (std::is_void_v<decltype(run())>) {
            run();
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        } else {
            ms.push_back(run());
        }
    }
    std::sort(ms.begin(), ms.end());
    return {ms.front(), ms[ms.size() / 2]};
}

struct BenchChart {
    CComPtr<CZynChart> chart;
    std::vector<CComPtr<IZynChannel>> channels;
};

// Samples [from, from + many) of every channel, taken together every 10 ms: slow waves with
// deterministic noise.
void AppendSamples(BenchChart& b, std::uint32_t from, std::uint32_t many) {
    CZynLockList locks;
    b.chart->int_LockTree(locks);
    CZynTimeBase* tb = b.chart->int_TimeBase();
    std::uint32_t noise = 12345 + from;
    for (std::uint32_t i = from; i < from + many; ++i) {
        if (!tb->AppendRel(i * kStepMs)) std::abort();
        for (int k = 0; k < kChannels; ++k) {
            noise = noise * 1664525u + 1013904223u;
            const double v = 50 + 30 * std::sin(double(i) / (500.0 + k)) + double(noise >> 24) / 16.0;
            if (!static_cast<CZynChannel*>(b.channels[std::size_t(k)].p)->int_AppendValue(v)) std::abort();
        }
    }
}

BenchChart MakeChart(std::uint32_t samples) {
    BenchChart b;
    b.chart = CZynChart::Create();
    CComVariant start;
    start.vt = VT_DATE;
    start.date = kStart;
    b.chart->put_StartTime(start);
    for (int k = 0; k < kChannels; ++k) {
        CComPtr<IZynChannel> c;
        const std::u16string path = u"\\Bench(" + std::u16string(1, char16_t(u'A' + k % 26)) + u")\\Value";
        if (FAILED(b.chart->AddChannel(CComBSTR(path), &c)) || !c) std::abort();
        b.channels.push_back(c);
    }
    AppendSamples(b, 0, samples);
    return b;
}

void SetEvents(BenchChart& b, std::uint32_t samples, double a0, double a1, double b0, double b1) {
    const double span = double(samples) * kStepMs * kMs;
    for (auto [from, to] : {std::pair{a0, a1}, std::pair{b0, b1}}) {
        CComPtr<CZynEvent> e = b.chart->int_CreateEvent();
        e->Restore(kStart + from * span, kStart + to * span, u"Event", u"");
        b.chart->int_AppendEvent(e);
    }
}

void ClearEvents(BenchChart& b) {
    for (const auto& e : b.chart->int_Events()) {
        CComBSTR id;
        e->get_Identifier(&id);
        LONG done = 0;
        b.chart->DetachEvent(id, &done);
    }
}

// The floor: every value once, minimum, maximum and sum.
double OnePass(const BenchChart& b) {
    double total = 0;
    for (const auto& c : b.channels) {
        const auto& values = static_cast<CZynChannel*>(c.p)->int_DataSet()->int_RawValues();
        const double* v = values.Data();
        const std::uint32_t n = values.Count();
        double mn = v[0], mx = v[0], sum = 0;
        for (std::uint32_t i = 0; i < n; ++i) {
            sum += v[i];
            mn = v[i] < mn ? v[i] : mn;
            mx = v[i] > mx ? v[i] : mx;
        }
        total += mn + mx + sum;
    }
    return total;
}

ReportBuildResult Build(const BenchChart& b, ChartSettings& settings, CReportSection& root,
                        CEventStatistics* kept = nullptr) {
    CReportFieldMap fields;
    ReportInputs in;
    in.chart = b.chart;
    in.settings = &settings;
    in.statistics = kept;
    in.reportTime = kStart + 1;
    return BuildReport(root, fields, in);
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    const std::uint32_t maxSamples = argc > 1 ? std::uint32_t(std::atol(argv[1])) : 1000000;
    ChartSettings settings;
    FinishChartSettings(settings, false);
    volatile double sink = 0;

    std::printf("report build, %d channels; minimum / median of 3 runs in ms\n", kChannels);
    std::printf("%10s %12s %12s %12s %8s %14s %8s\n", "samples", "one pass", "report", "(median)", "ratio",
                "short events", "ratio");
    BenchChart big;
    for (std::uint32_t n = 1000; n <= maxSamples; n *= 10) {
        BenchChart b = MakeChart(n);
        SetEvents(b, n, 0.10, 0.60, 0.40, 0.90);
        CReportSection root;
        const Figures pass = Measure([&] { sink = sink + OnePass(b); });
        const Figures report = Measure([&] {
            if (Build(b, settings, root) != ReportBuildResult::Built) std::abort();
        });
        ClearEvents(b);
        SetEvents(b, n, 0.20, 0.25, 0.70, 0.75);
        const Figures shortEvents = Measure([&] {
            if (Build(b, settings, root) != ReportBuildResult::Built) std::abort();
        });
        std::printf("%10u %12.2f %12.2f %12.2f %7.2fx %14.2f %7.2fx\n", n, pass.min, report.min,
                    report.median, report.min / pass.min, shortEvents.min, shortEvents.min / pass.min);
        if (n * 10 > maxSamples) big = std::move(b);
    }

    // The report page keeps its channels' summaries from one build to the next: a refresh reads
    // only what was added since.
    CReportSection root;
    SetEvents(big, maxSamples, 0.10, 0.60, 0.40, 0.90);
    {
        CEventStatistics kept;
        const Figures first = Measure(
            [&] {
                if (Build(big, settings, root, &kept) != ReportBuildResult::Built) std::abort();
            },
            1);
        const Figures again = Measure([&] {
            if (Build(big, settings, root, &kept) != ReportBuildResult::Built) std::abort();
        });
        std::uint32_t count = maxSamples;
        const std::uint32_t added = std::max<std::uint32_t>(1, maxSamples / 100);
        const Figures grown = Measure([&] {
            AppendSamples(big, count, added);
            count += added;
            const auto t0 = Clock::now();
            if (Build(big, settings, root, &kept) != ReportBuildResult::Built) std::abort();
            return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        });
        std::printf("\nreport page rebuilds with kept summaries, %u samples: first %.2f ms; again %.2f ms "
                    "(median %.2f); after %u more samples each %.2f ms (median %.2f)\n",
                    maxSamples, first.min, again.min, again.median, added, grown.min, grown.median);
    }

    // One screen of the report of the largest chart.
    QImage screen(1600, 1000, QImage::Format_RGB32);
    screen.setDotsPerMeterX(3780);
    screen.setDotsPerMeterY(3780);
    const ReportStyle style = ReportStyle::FromSettings(settings, 96, {});
    ReportLayout layout;
    const Figures lay = Measure([&] {
        QPainter p(&screen);
        layout = LayoutReport(p, screen.rect(), root, style);
    });
    const Figures paint = Measure([&] {
        QPainter p(&screen);
        p.fillRect(screen.rect(), Qt::white);
        DrawReport(p, layout, style, screen.rect());
    });
    std::printf("\nreport of %u samples x %d channels: %zu sections, %d px tall\n", maxSamples, kChannels,
                layout.sections.size(), layout.height);
    std::printf("layout of the whole report: %.2f ms (median %.2f); paint of one 1600x1000 screen: %.2f ms "
                "(median %.2f)\n",
                lay.min, lay.median, paint.min, paint.median);
    return 0;
}
