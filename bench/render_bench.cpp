// Chart painting cost: one channel of 10,000,000 samples on a 1,920-pixel-wide view zoomed to all
// data, drawn with every sample as a vertex (the baseline) and reduced per pixel column, first
// while the per-channel summary is built and then with it cached; plus the cached paint of
// 10,000 samples. The first paint is also set against one plain min/max pass over the same values
// in a std::vector<double>, the least any reduction that reads every value can cost. Prints the
// ratios and how many pixels differ from the baseline picture. Antialiasing of lines is off, as the
// chart has always drawn them. Run: build/bin/render_bench

#include "display/ChartFonts.h"
#include "display/ChartRenderer.h"

#include "com/variant.h"
#include "testing/TempSettingsStore.h"
#include "testing/TestObjectLibrary.h"
#include "utils/ZynVectorUnits.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

constexpr double kStart = 45000.0;
constexpr double kMs = 1.0 / 86400000.0;
constexpr int kWidth = 1920;
constexpr int kHeight = 600;

// A static channel of the object library, made and filled through its interfaces as the program
// does, and what the chart view hands the renderer for it.
struct Series {
    CComPtr<IZynChannel> channel;
    ChartChannelView view;
    double last = 0;
};

// A busy counter: a slow wave, a faster one and deterministic noise, one sample every 10 ms.
Series MakeSeries(std::int64_t n) {
    Series s;
    CComPtr<IZynChart> chart = zyn::test::NewChart();
    CComPtr<IZynBulkAccess> bulk;
    if (!chart || FAILED(chart->put_StartTime(CComVariant::Date(kStart))) ||
        FAILED(chart->AddStaticChannel(&s.channel)) ||
        FAILED(s.channel->QueryInterface(IZynBulkAccess::kIID, reinterpret_cast<void**>(&bulk))))
        std::abort();
    std::uint32_t noise = 12345;
    constexpr std::int64_t kRun = 1 << 20;
    std::vector<double> values;
    std::vector<LONG> times;
    for (std::int64_t first = 0; first < n; first += kRun) {
        values.clear();
        times.clear();
        for (std::int64_t i = first; i < std::min(n, first + kRun); ++i) {
            noise = noise * 1664525u + 1013904223u;
            values.push_back(50 + 25 * std::sin(double(i) / double(n) * 12.0) +
                             8 * std::sin(double(i) / 3000.0) + double(noise >> 24) / 32.0 - 4);
            times.push_back(LONG(i * 10));
        }
        LONG held = 0;
        if (FAILED(bulk->AppendValues(LONG(values.size()), values.data(), times.data(), &held))) std::abort();
    }
    s.view.color = 0x00FF00;
    s.channel->get_Data(&s.view.data);
    s.view.data.QueryInterface(&s.view.dataPrivate);
    s.view.bulk = bulk;
    s.last = kStart + double(n - 1) * 10 * kMs;
    return s;
}

struct Scene {
    ChartSettings settings;
    ChartRenderInput in;
    CChartRenderer renderer;
};

void Setup(Scene& sc, const Series& s, bool reduce) {
    FinishChartSettings(sc.settings, false);
    sc.in.settings = &sc.settings;
    sc.in.chartStartTime = kStart;
    sc.in.chartLastTime = s.last;
    sc.in.channels = {s.view};
    sc.renderer.CopyViewSettings(sc.settings);
    sc.renderer.timeSpan = s.last - kStart; // zoom to all data
    sc.renderer.reduceDenseWindows = reduce;
}

double PaintMs(Scene& sc, QImage& img) {
    img.fill(Qt::black);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    const auto t0 = std::chrono::steady_clock::now();
    sc.renderer.Draw(p, img.rect(), img.rect(), sc.in);
    p.end();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// Processor time of this thread: on a machine shared with other work, a paint of a few
// milliseconds is often preempted for a whole time slice, which wall time would count.
double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// The first paint of a fresh renderer in processor time, its layout already made with the channel
// hidden, so that only building the channel's reduction is timed beyond a cached paint.
double FirstPaintCpuMs(const Series& s, QImage& img) {
    Scene sc;
    Setup(sc, s, true);
    sc.in.channels[0].visible = false;
    PaintMs(sc, img);
    sc.in.channels[0].visible = true;
    img.fill(Qt::black);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    const double t0 = ThreadCpuMs();
    sc.renderer.Draw(p, img.rect(), img.rect(), sc.in);
    p.end();
    return ThreadCpuMs() - t0;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::vector<double> ValuesOf(const Series& s) {
    LONG n = 0;
    s.view.data->get_Count(&n);
    std::vector<double> values(static_cast<std::size_t>(n));
    LONG copied = 0;
    if (FAILED(s.view.bulk->CopyValues(0, n, values.data(), nullptr, &copied)) || copied != n) std::abort();
    return values;
}

volatile double g_sink;

// In processor time, as the paint's own loops run: with the vector registers' upper halves clear,
// which a paint's fills leave otherwise.
double MinMaxPassCpuMs(const std::vector<double>& values) {
    zyn::ClearUpperVectorState();
    const double t0 = ThreadCpuMs();
    double mn = values[0], mx = values[0];
    for (const double v : values) {
        mn = std::min(mn, v);
        mx = std::max(mx, v);
    }
    const double ms = ThreadCpuMs() - t0;
    g_sink = mn + mx;
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("TZ", "UTC", 0);
    QGuiApplication app(argc, argv);
    // The objects come from the object library as the program gets them, registered in a settings
    // store of the benchmark's own.
    zyn::test::TempSettingsStore store;

    const Series big = MakeSeries(10000000);
    const Series small = MakeSeries(10000);

    QImage every(kWidth, kHeight, QImage::Format_RGB32), reduced(every), cached(every), tiny(every);
    Scene everyScene, reducedScene, smallScene;
    Setup(everyScene, big, false);
    Setup(reducedScene, big, true);
    Setup(smallScene, small, true);

    PaintMs(everyScene, every); // lays out and warms caches
    std::vector<double> everyMs;
    everyMs.reserve(2);
    for (int i = 0; i < 2; ++i)
        everyMs.push_back(PaintMs(everyScene, every));
    const double firstMs = PaintMs(reducedScene, reduced); // builds the summary
    // Paints and passes take turns, so that the load of a shared machine falls on both alike.
    std::vector<double> firstCpuMs, passMs;
    {
        const std::vector<double> values = ValuesOf(big);
        MinMaxPassCpuMs(values);
        QImage scratch(every);
        for (int i = 0; i < 7; ++i) {
            passMs.push_back(MinMaxPassCpuMs(values));
            firstCpuMs.push_back(FirstPaintCpuMs(big, scratch));
        }
    }
    std::vector<double> cachedMs, smallMs;
    PaintMs(smallScene, tiny);
    for (int i = 0; i < 7; ++i) {
        cachedMs.push_back(PaintMs(reducedScene, cached));
        smallMs.push_back(PaintMs(smallScene, tiny));
    }

    long differ = 0, differFirst = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            differ += every.pixel(x, y) != cached.pixel(x, y);
            differFirst += every.pixel(x, y) != reduced.pixel(x, y);
        }
    const double total = double(kWidth) * kHeight;
    const double e = Median(everyMs), c = Median(cachedMs), s = Median(smallMs), f = Median(firstCpuMs),
                 m = Median(passMs);
    std::printf("render_bench: one channel zoomed to all data on a %dx%d image (plot %d px wide)\n", kWidth,
                kHeight, reducedScene.renderer.PlotRect().width());
    std::printf("  every sample a vertex, 10,000,000 samples:        %9.2f ms\n", e);
    std::printf("  per-column reduction, first paint (builds summary): %7.2f ms  (%.1fx faster)\n", firstMs,
                e / firstMs);
    std::printf("  first paint, processor time:                        %7.2f ms\n", f);
    std::printf("  one min/max pass over the values, processor time:   %7.2f ms\n", m);
    std::printf("  first paint / min/max pass:                         %7.2fx (target <= 3x)\n", f / m);
    std::printf(
        "  per-column reduction, summary cached:               %7.2f ms  (%.1fx faster, target >= 20x)\n", c,
        e / c);
    std::printf("  per-column reduction, 10,000 samples:               %7.2f ms\n", s);
    std::printf("  10,000,000 vs 10,000 samples, cached:               %7.2fx (target <= 2x)\n", c / s);
    std::printf(
        "  pixels differing from the every-vertex picture:     %ld of %.0f (%.4f %%, target <= 0.1 %%)\n",
        differ, total, 100.0 * differ / total);
    std::printf("  ... first (uncached) paint:                         %ld (%.4f %%)\n", differFirst,
                100.0 * differFirst / total);
    if (argc > 1) {
        every.save(QString::fromLocal8Bit(argv[1]) + "-every.png");
        cached.save(QString::fromLocal8Bit(argv[1]) + "-reduced.png");
    }
    return 0;
}
