// The sampling engine against its floor, in one run:
//  1. one sample of a chart with 100 dynamic channels against a collection of the same counters
//     in a bare query (the per-channel work must be small: target within 1.3x);
//  2. the achieved period at a 200 ms rate over 50 samples while the other core is kept busy
//     (the period is the rate plus one sample's duration; reported as mean and worst deviation).

#include "objlib/ZynChart.h"

#include "pdh/pdh.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char16_t* const kPaths[] = {
    u"\\Processor(_Total)\\% Processor Time",
    u"\\Processor(_Total)\\% User Time",
    u"\\Processor(_Total)\\% Privileged Time",
    u"\\Processor(_Total)\\% Idle Time",
    u"\\Processor(_Total)\\% Interrupt Time",
    u"\\Processor(0)\\% Processor Time",
    u"\\Processor(1)\\% Processor Time",
    u"\\Memory\\Available MBytes",
    u"\\Memory\\Available KBytes",
    u"\\Memory\\Committed Bytes",
    u"\\Memory\\Cache Bytes",
    u"\\Memory\\Pages/sec",
    u"\\Memory\\Page Faults/sec",
    u"\\System\\Context Switches/sec",
    u"\\System\\Processes",
    u"\\System\\Threads",
    u"\\System\\Processor Queue Length",
    u"\\System\\System Up Time",
    u"\\Processor(_Total)\\Interrupts/sec",
    u"\\Memory\\Available Bytes",
};

double MedianUs(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main() {
    // 1. Cost of one sample.
    auto chart = CZynChart::Create();
    PDH_HQUERY bare = nullptr;
    PdhOpenQueryW(nullptr, 0, &bare);
    for (int i = 0; i < 100; ++i) {
        CComPtr<IZynChannel> c;
        CComBSTR path(kPaths[i % std::size(kPaths)]);
        chart->AddChannel(path, &c);
        PDH_HCOUNTER counter = nullptr;
        PdhAddCounterW(bare, path, 0, &counter);
    }
    chart->Sample(); // the paired first collection
    PdhCollectQueryData(bare);
    std::vector<double> sampleUs, collectUs;
    for (int round = 0; round < 300; ++round) {
        auto t0 = Clock::now();
        chart->Sample();
        auto t1 = Clock::now();
        PdhCollectQueryData(bare);
        auto t2 = Clock::now();
        sampleUs.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        collectUs.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
    }
    const double sample = MedianUs(sampleUs), collect = MedianUs(collectUs);
    std::printf("one sample of 100 dynamic channels: %.1f us; collection alone: %.1f us; ratio %.2f (target "
                "<= 1.3)\n",
                sample, collect, sample / collect);
    PdhCloseQuery(bare);
    chart.Release();

    // 2. Period at 200 ms with the other core busy.
    std::atomic<bool> stop{false};
    std::thread busy([&] {
        volatile unsigned long x = 0;
        while (!stop.load(std::memory_order_relaxed))
            x = x + 1;
    });
    auto timed = CZynChart::Create();
    for (int i = 0; i < 10; ++i) {
        CComPtr<IZynChannel> c;
        CComBSTR path(kPaths[i]);
        timed->AddChannel(path, &c);
    }
    timed->put_Rate(200);
    timed->put_Run(1);
    while (timed->int_TimeBase()->GetCount() < 52)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    timed->put_Run(0);
    stop = true;
    busy.join();
    CZynTimeBase* axis = timed->int_TimeBase();
    double sum = 0, worst = 0, worstGap = 0;
    int n = 0;
    // The first interval holds the 200 ms pause of the paired first collection: skip it.
    for (std::uint32_t i = 2; i < 52; ++i, ++n) {
        const double gap = double(axis->GetRel(i) - axis->GetRel(i - 1));
        sum += gap;
        if (std::abs(gap - 200.0) > worst) {
            worst = std::abs(gap - 200.0);
            worstGap = gap;
        }
    }
    std::printf(
        "period at 200 ms over %d samples, other core busy: mean %.2f ms (deviation %+.2f ms), worst %.0f ms "
        "(deviation %+.0f ms)\n",
        n, sum / n, sum / n - 200.0, worstGap, worstGap - 200.0);
    return 0;
}
