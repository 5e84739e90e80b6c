// Chart painting cost: one channel of 10,000,000 samples on a 1,920-pixel-wide view zoomed to all
// data, drawn with every sample as a vertex (the baseline) and reduced per pixel column, first
// while the per-channel summary is built and then with it cached; plus the cached paint of
// 10,000 samples. Prints the ratios and how many pixels differ from the baseline picture.
// Antialiasing of lines is off, as the chart has always drawn them. Run: build/bin/render_bench

#include "display/ChartFonts.h"
#include "display/ChartRenderer.h"

#include "com/variant.h"
#include "testing/TempSettingsStore.h"
#include "testing/TestObjectLibrary.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
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
    const double e = Median(everyMs), c = Median(cachedMs), s = Median(smallMs);
    std::printf("render_bench: one channel zoomed to all data on a %dx%d image (plot %d px wide)\n", kWidth,
                kHeight, reducedScene.renderer.PlotRect().width());
    std::printf("  every sample a vertex, 10,000,000 samples:        %9.2f ms\n", e);
    std::printf("  per-column reduction, first paint (builds summary): %7.2f ms  (%.1fx faster)\n", firstMs,
                e / firstMs);
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
