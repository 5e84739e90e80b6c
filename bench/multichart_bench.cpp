// Charts sampling side by side, in one run:
//  1. the wall time for three charts, each sampled in a loop on its own thread, against one chart
//     sampled alone. Collections of different charts share nothing, so the ratio should be the
//     machine's own: the same ratio for plain CPU work (three threads against one) is measured in
//     the same round as the baseline. On an idle machine with C cores that is max(1, 3/C); on a
//     machine shared with other work it can approach 3, which is why it is measured, not assumed.
//  2. the sample time of a light chart, sampled every millisecond, alone against the same chart
//     while a heavy chart (a process sweep) samples without pause on another thread: a chart must
//     not wait for another chart's collection, only share the processor with it.
// Every chart holds the same mix of counters as a chart in real use.

#include "objlib/ZynChart.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char16_t* const kLightPaths[] = {
    u"\\Processor(_Total)\\% Processor Time",
    u"\\Processor(_Total)\\% Privileged Time",
    u"\\Memory\\Available MBytes",
    u"\\Memory\\Page Faults/sec",
    u"\\System\\Context Switches/sec",
    u"\\System\\Processor Queue Length",
    u"\\PhysicalDisk(_Total)\\Disk Bytes/sec",
    u"\\Network Interface(lo)\\Bytes Total/sec",
};
const char16_t* const kProcessPaths[] = {
    u"\\Process(_Total)\\% Processor Time",
    u"\\Process(_Total)\\Working Set",
};
constexpr int kSamples = 150;
constexpr int kLightSamples = 300;
constexpr int kRounds = 5;

CComPtr<CZynChart> MakeChart(bool withProcesses) {
    auto chart = CZynChart::Create();
    auto add = [&](const char16_t* path) {
        CComPtr<IZynChannel> c;
        chart->AddChannel(CComBSTR(path), &c);
    };
    for (const char16_t* path : kLightPaths)
        add(path);
    if (withProcesses)
        for (const char16_t* path : kProcessPaths)
            add(path);
    chart->Sample(); // the paired first collection, outside the timing
    return chart;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Wall time of `work` run once on this thread, and of three copies run on three threads.
template <typename Work> std::pair<double, double> OneAgainstThree(Work work) {
    auto t0 = Clock::now();
    work(0);
    const double one = Seconds(Clock::now() - t0);
    t0 = Clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i)
        threads.emplace_back(work, i);
    for (auto& t : threads)
        t.join();
    return {one, Seconds(Clock::now() - t0)};
}

void Spin(int) {
    volatile unsigned long x = 0;
    for (unsigned long i = 0; i < 60'000'000ul; ++i)
        x = x + i;
}

// Median microseconds of one sample of `light`, with `heavy` sampling meanwhile when given.
double LightSampleUs(CZynChart* light, CZynChart* heavy) {
    std::atomic<bool> stop{false};
    std::thread other;
    if (heavy)
        other = std::thread([&] {
            while (!stop.load())
                heavy->Sample();
        });
    std::vector<double> us;
    for (int i = 0; i < kLightSamples; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const auto t0 = Clock::now();
        light->Sample();
        us.push_back(1e6 * Seconds(Clock::now() - t0));
    }
    stop = true;
    if (other.joinable()) other.join();
    return Median(us);
}

} // namespace

int main() {
    std::vector<CComPtr<CZynChart>> charts;
    for (int i = 0; i < 3; ++i)
        charts.push_back(MakeChart(true));
    CComPtr<CZynChart> light = MakeChart(false);

    std::vector<double> chartRatios, cpuRatios, excess, beside;
    for (int round = 0; round < kRounds; ++round) {
        const auto [cpuOne, cpuThree] = OneAgainstThree(&Spin);
        const auto [one, three] = OneAgainstThree([&](int i) {
            for (int s = 0; s < kSamples; ++s)
                charts[i]->Sample();
        });
        for (auto& chart : charts)
            chart->Clear(); // the data sets stay small from round to round
        const double alone = LightSampleUs(light, nullptr);
        const double withHeavy = LightSampleUs(light, charts[0]);
        light->Clear();
        charts[0]->Clear();

        chartRatios.push_back(three / one);
        cpuRatios.push_back(cpuThree / cpuOne);
        excess.push_back((three / one) / (cpuThree / cpuOne));
        beside.push_back(withHeavy / alone);
        std::printf(
            "round %d: one chart %d samples %.3f s, three charts %.3f s, ratio %.2f (plain CPU work "
            "%.2f); light chart sample %.0f us alone, %.0f us beside a sampling heavy chart (x%.2f)\n",
            round + 1, kSamples, one, three, three / one, cpuThree / cpuOne, alone, withHeavy,
            withHeavy / alone);
    }
    std::printf("three charts together against one: median ratio %.2f, plain CPU work %.2f on this machine "
                "now (%u cores; 3.00 = no parallelism), chart/CPU %.2f\n",
                Median(chartRatios), Median(cpuRatios), std::max(1u, std::thread::hardware_concurrency()),
                Median(excess));
    std::printf("light chart beside a heavy chart: median slowdown x%.2f\n", Median(beside));
    return 0;
}
