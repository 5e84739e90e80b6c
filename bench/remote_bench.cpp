// Remote counters against their baselines, in one run:
// 1. one collection of 100 remote counters read from 4 real node_exporters (25 each) against 4 bare
//    HTTP GETs of the same /metrics pages, in parallel as the collection makes them; the ratio of
//    the medians is the cost of turning pages into counters (target: within 1.5x);
// 2. the period of a chart of local counters alone, against the same chart with a remote machine
//    that accepts connections and never answers (target: the same within 5 %).
// Needs prometheus-node-exporter (scripts/setup.sh installs it).
//   build/bin/remote_bench [rounds] [samples]

#include "objlib/ZynChart.h"

#include "net/http.h"
#include "pdh/pdh.h"
#include "testing/LocalHttpServer.h"
#include "testing/PrometheusProcesses.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Min(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

std::u16string U16(const std::string& s) {
    return {s.begin(), s.end()};
}

// 25 counters of one machine: whole-machine ones and every CPU's and disk's busy time.
const char16_t* const kCounters[] = {
    u"\\Processor(_Total)\\% Processor Time",
    u"\\Processor(_Total)\\% User Time",
    u"\\Processor(_Total)\\% Privileged Time",
    u"\\Processor(_Total)\\% Idle Time",
    u"\\Processor(_Total)\\% Interrupt Time",
    u"\\Memory\\Available MBytes",
    u"\\Memory\\Available Bytes",
    u"\\Memory\\Committed Bytes",
    u"\\Memory\\Cache Bytes",
    u"\\Memory\\Pages/sec",
    u"\\System\\Context Switches/sec",
    u"\\Network Interface(lo)\\Packets/sec",
    u"\\System\\Processor Queue Length",
    u"\\System\\System Up Time",
    u"\\PhysicalDisk(_Total)\\Disk Read Bytes/sec",
    u"\\PhysicalDisk(_Total)\\Disk Write Bytes/sec",
    u"\\PhysicalDisk(_Total)\\Disk Reads/sec",
    u"\\PhysicalDisk(_Total)\\Disk Writes/sec",
    u"\\PhysicalDisk(_Total)\\% Disk Time",
    u"\\Network Interface(lo)\\Bytes Received/sec",
    u"\\Network Interface(lo)\\Bytes Sent/sec",
    u"\\Network Interface(lo)\\Packets Received/sec",
    u"\\Network Interface(lo)\\Packets Sent/sec",
    u"\\Network Interface(lo)\\Bytes Total/sec",
    u"\\Processor(_Total)\\% DPC Time",
};

int CollectionAgainstBareGets(int rounds) {
    constexpr int kMachines = 4;
    std::vector<std::unique_ptr<zyn::test::ExporterProcess>> exporters;
    for (int i = 0; i < kMachines; ++i) {
        exporters.push_back(std::make_unique<zyn::test::ExporterProcess>());
        if (!exporters.back()->Start(0, {"--collector.netdev.device-exclude=^$"})) {
            std::printf("remote_bench: %s\n", exporters.back()->Why().c_str());
            return 1;
        }
    }
    PDH_HQUERY query = nullptr;
    PdhOpenQueryW(nullptr, 0, &query);
    int added = 0;
    for (const auto& e : exporters) {
        for (const char16_t* path : kCounters) {
            PDH_HCOUNTER counter = nullptr;
            const std::u16string full = u"\\\\" + U16(e->Machine()) + path;
            if (PdhAddCounterW(query, full.c_str(), 0, &counter) == 0)
                ++added;
            else
                std::printf("remote_bench: not a counter here: %s\n",
                            std::string(full.begin(), full.end()).c_str());
        }
    }
    std::vector<zyn::net::HttpRequest> gets;
    for (const auto& e : exporters) {
        zyn::net::HttpRequest r;
        r.url = "http://" + e->Machine() + "/metrics";
        r.accept = "text/plain";
        gets.push_back(r);
    }
    PdhCollectQueryData(query); // the baseline of the rates, and connections made
    (void)zyn::net::GetAll(gets);
    std::vector<double> collect, get;
    for (int i = 0; i < rounds; ++i) {
        auto t0 = Clock::now();
        PdhCollectQueryData(query);
        collect.push_back(Ms(Clock::now() - t0));
        t0 = Clock::now();
        const auto answers = zyn::net::GetAll(gets);
        get.push_back(Ms(Clock::now() - t0));
        for (const auto& a : answers)
            if (!a.Ok()) std::printf("remote_bench: a bare GET failed: %s\n", a.error.c_str());
    }
    PdhCloseQuery(query);
    std::printf("one collection of %d remote counters from %d exporters: min %.2f ms, median %.2f ms\n",
                added, kMachines, Min(collect), Median(collect));
    std::printf("%d bare GETs of the same pages, in parallel:          min %.2f ms, median %.2f ms\n",
                kMachines, Min(get), Median(get));
    std::printf("ratio collection / bare GETs (medians): %.2f (target <= 1.5)\n",
                Median(collect) / Median(get));
    return 0;
}

// The mean period of a chart over `samples` samples at `rateMs`, with `paths` as its counters;
// `beforeRun` runs once they are added.
double ChartPeriod(const std::vector<std::u16string>& paths, int rateMs, int samples,
                   const std::function<void()>& beforeRun = {}) {
    auto chart = CZynChart::Create();
    for (const auto& p : paths) {
        CComPtr<IZynChannel> channel;
        chart->AddChannel(CComBSTR(p.c_str()), &channel);
    }
    if (beforeRun) beforeRun();
    chart->put_Rate(rateMs);
    chart->put_Run(1);
    while (chart->int_TimeBase()->GetCount() < static_cast<std::uint32_t>(samples) + 2)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    chart->put_Run(0);
    CZynTimeBase* axis = chart->int_TimeBase();
    // The first period holds the priming pause.
    const std::uint32_t n = axis->GetCount();
    return double(axis->GetRel(n - 1) - axis->GetRel(2)) / double(n - 3);
}

int PeriodWhileAHostHangs(int samples) {
    constexpr int kRate = 500;
    const std::vector<std::u16string> local = {u"\\Processor(_Total)\\% Processor Time",
                                               u"\\Memory\\Available MBytes",
                                               u"\\System\\Context Switches/sec"};
    // The page the machine serves while it is still well; then it hangs.
    zyn::test::ExporterProcess exporter;
    if (!exporter.Start()) {
        std::printf("remote_bench: %s\n", exporter.Why().c_str());
        return 1;
    }
    std::string page;
    zyn::test::LocalGet(exporter.Port(), "/metrics", &page);
    exporter.Stop();
    std::atomic<bool> hang{false};
    zyn::test::LocalHttpServer server([&](const zyn::test::LocalHttpServer::Request&) {
        zyn::test::LocalHttpServer::Reply r = zyn::test::LocalHttpServer::Answer(200, page);
        r.hang = hang.load();
        return r;
    });
    std::vector<std::u16string> mixed = local;
    for (const auto& p : local)
        mixed.push_back(u"\\\\127.0.0.1:" + U16(std::to_string(server.Port())) + p);
    std::vector<double> alone, hanging;
    for (int round = 0; round < 3; ++round) {
        alone.push_back(ChartPeriod(local, kRate, samples));
        // The remote counters are added while the machine answers; then it hangs.
        hang = false;
        hanging.push_back(ChartPeriod(mixed, kRate, samples, [&] { hang = true; }));
    }
    std::printf(
        "period of a local chart at %d ms, %d samples: alone min %.1f median %.1f ms; beside a hanging "
        "machine min %.1f median %.1f ms\n",
        kRate, samples, Min(alone), Median(alone), Min(hanging), Median(hanging));
    std::printf("ratio beside a hanging machine / alone (medians): %.3f (target within 1.05)\n",
                Median(hanging) / Median(alone));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 30;
    const int samples = argc > 2 ? std::atoi(argv[2]) : 20;
    if (const int rc = CollectionAgainstBareGets(rounds)) return rc;
    return PeriodWhileAHostHangs(samples);
}
