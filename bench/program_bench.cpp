// The program itself while it records: Tallon as a user runs it (offscreen), one chart window in
// view with 100 counters, sampling every 200 ms and then every second. For each rate it prints the
// CPU the GUI thread and the whole process spent as a share of one core, against the targets (5 %
// at 200 ms, 1 % at 1 s), and what the values stored meanwhile cost the running program in memory
// (heap in use and resident memory grown, over the values; target 12.5 bytes). A chart's storage
// grows in blocks, so the memory figure of a short run includes room not yet filled.
//
//   program_bench [SECONDS]      60 by default (per rate)
//
// Each measurement starts after a few seconds of running, so that the window's first paint, the
// counters' first collection and the channel bar's set-up are left out: they are paid once.

#include "com/ccombstr.h"
#include "document/ZynMessageBox.h"
#include "pdh/pdh.h"
#include "shell/MainFrame.h"
#include "shell/TallonApp.h"
#include "shell/TallonAppDocument.h"
#include "testing/TempSettingsStore.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kChannels = 100;
constexpr int kWarmUpMs = 3000;

double CpuSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double HeapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return static_cast<double>(m.uordblks + m.hblkhd);
}

double ResidentBytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kb = 0;
            status >> kb;
            return kb * 1024;
        }
        status.ignore(1 << 16, '\n');
    }
    return 0;
}

// Every counter of the everyday objects first, then of the rest of the catalogue, each with its
// total (or its first instance) where the object has instances.
std::vector<std::u16string> CandidatePaths() {
    std::vector<std::u16string> objects = {u"Processor",         u"Memory",  u"System",     u"PhysicalDisk",
                                           u"Network Interface", u"Process", u"Paging File"};
    for (const auto& o : zyn::pdh::ListObjects(PERF_DETAIL_WIZARD))
        if (std::find(objects.begin(), objects.end(), o.name) == objects.end()) objects.push_back(o.name);
    std::vector<std::u16string> paths;
    for (const auto& object : objects) {
        const auto instances = zyn::pdh::ListInstances(object);
        std::u16string instance;
        for (const auto& i : instances)
            if (i == u"_Total") instance = i;
        if (instance.empty() && !instances.empty()) instance = instances.front();
        for (const auto& c : zyn::pdh::ListCounters(object, PERF_DETAIL_WIZARD)) {
            std::u16string path = u"\\" + object;
            if (!instance.empty()) path += u"(" + instance + u")";
            paths.push_back(path + u"\\" + c.name);
        }
    }
    return paths;
}

long StoredValues(IZynChart* chart) {
    long values = 0;
    CComPtr<IZynChannelIter> iter;
    if (FAILED(chart->get_Channels(&iter)) || !iter) return 0;
    for (;;) {
        CComPtr<IZynChannel> channel;
        if (iter->GetNext(&channel) != S_OK || !channel) break;
        LONG n = 0;
        channel->get_DataCount(&n);
        values += n;
    }
    return values;
}

void RunEvents(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Sample {
    double wall, gui, process, heap, resident;
    long values;
};

Sample Take(IZynChart* chart) {
    return {CpuSeconds(CLOCK_MONOTONIC),
            CpuSeconds(CLOCK_THREAD_CPUTIME_ID),
            CpuSeconds(CLOCK_PROCESS_CPUTIME_ID),
            HeapInUse(),
            ResidentBytes(),
            StoredValues(chart)};
}

void Measure(IZynChart* chart, int rateMs, int seconds, double cpuTarget) {
    chart->put_Run(0);
    chart->put_Rate(rateMs);
    chart->put_Run(1);
    RunEvents(kWarmUpMs);
    const Sample a = Take(chart);
    RunEvents(seconds * 1000);
    const Sample b = Take(chart);
    const double wall = b.wall - a.wall;
    const double gui = 100 * (b.gui - a.gui) / wall, process = 100 * (b.process - a.process) / wall;
    const double values = static_cast<double>(b.values - a.values);
    const double heap = (b.heap - a.heap) / values, resident = (b.resident - a.resident) / values;
    std::printf(
        "rate %4d ms, %d channels, %.1f s: GUI thread %.2f %% of a core (target %.0f %%, ratio %.2f); "
        "process %.2f %% (ratio %.2f)\n",
        rateMs, kChannels, wall, gui, cpuTarget, gui / cpuTarget, process, process / cpuTarget);
    std::printf(
        "  %.0f values stored meanwhile: heap grew %.1f B per value (target 12.5 B, ratio %.2f), resident "
        "memory %.1f B per value\n",
        values, heap, heap / 12.5, resident);
    std::fflush(stdout);
}

// The program started as a user starts it with no file, its window shown and the counters added to
// its chart; null when it does not start or the counters cannot all be added.
CTallonApp* StartRecording(IZynChart*& chart) {
    auto* app = new CTallonApp;
    TallonCommandLine cmd;
    cmd.noArguments = false; // a start with arguments shows no splash
    int rc = 0;
    if (!app->InitInstance(cmd, rc)) {
        std::fprintf(stderr, "program_bench: the program did not start\n");
        delete app;
        return nullptr;
    }
    CMainFrame* frame = app->MainFrame();
    frame->resize(1200, 800);
    frame->show();
    CTallonAppDocument* doc = frame->ActiveDocument();
    chart = doc ? doc->Chart() : nullptr;
    int added = 0;
    for (const auto& path : chart ? CandidatePaths() : std::vector<std::u16string>{}) {
        if (added == kChannels) break;
        CComPtr<IZynChannel> channel;
        added += SUCCEEDED(chart->AddChannel(CComBSTR(path.c_str()), &channel)) && channel;
    }
    if (added == kChannels) return app;
    std::fprintf(stderr, "program_bench: %d of %d counters could be added\n", added, kChannels);
    app->ExitInstance();
    delete app;
    return nullptr;
}

void EndRecording(CTallonApp* app, IZynChart* chart) {
    chart->put_Run(0);
    app->ExitInstance();
    delete app;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: program_bench [SECONDS]\n");
        return 2;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const zyn::test::TempSettingsStore store;
    QApplication qapp(argc, argv);
    // Nothing is saved at the end: the chart's question about its changes is answered No.
    SetZynMessageHook([](const QString&, QMessageBox::StandardButtons) { return QMessageBox::No; });

    IZynChart* chart = nullptr;
    CTallonApp* app = StartRecording(chart);
    if (!app) return 1;
    Measure(chart, 200, seconds, 5.0);
    Measure(chart, 1000, seconds, 1.0);
    EndRecording(app, chart);
    SetZynMessageHook(nullptr);
    return 0;
}
