// Charts on the real Debian prometheus-node-exporter, started on a local port: remote counters agree
// with the local counters of the same machine, and a stopped or hanging exporter costs its own
// channels their data and nobody else their period. A test skips, saying why, where the exporter is
// not installed.

#include "ChannelProbes.h"

#include "objlib/ZynApp.h"
#include "objlib/ZynChart.h"
#include "objlib/ZynRecords.h"

#include "com/ccombstr.h"
#include "com/errorinfo.h"
#include "net/host_settings.h"
#include "net/http.h"
#include "testing/LocalHttpServer.h"
#include "testing/PrometheusProcesses.h"
#include "testing/TempSettingsStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <numeric>
#include <thread>
#include <unistd.h>

namespace {

using zyn::test::ExporterProcess;
using zyn::test::PrometheusProcess;

std::u16string U16(const std::string& s) {
    return {s.begin(), s.end()};
}

CComPtr<IZynChannel> Add(IZynChart* chart, const std::u16string& path) {
    CComPtr<IZynChannel> channel;
    EXPECT_EQ(chart->AddChannel(CComBSTR(path.c_str()), &channel), S_OK);
    EXPECT_EQ(TypeOf(channel), typeDynamic) << std::string(path.begin(), path.end());
    return channel;
}

// Waits (real time) until the chart has `count` samples.
void WaitForSamples(IZynChannel* channel, LONG count, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        CComPtr<IZynObjLock> lock;
        channel->LockObject(&lock);
        const LONG n = Count(channel);
        lock->Unlock();
        if (n >= count) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

double Mean(const std::vector<double>& v, std::size_t from, std::size_t to) {
    to = std::min(to, v.size());
    if (from >= to) return NAN;
    return std::accumulate(v.begin() + static_cast<std::ptrdiff_t>(from),
                           v.begin() + static_cast<std::ptrdiff_t>(to), 0.0) /
           static_cast<double>(to - from);
}

// Disk writes and loopback traffic while the chart runs, so that the rates compared are not idle.
class Load {
public:
    Load()
        : m_server([](const auto&) {
              return zyn::test::LocalHttpServer::Answer(200, std::string(std::size_t{256} * 1024, 'x'));
          }) {
        m_thread = std::thread([this] { Run(); });
    }
    ~Load() {
        m_stop = true;
        m_thread.join();
    }

private:
    void Run() {
        char name[] = "/tmp/zyn-remote-load-XXXXXX";
        const int fd = mkstemp(name);
        const std::string block(1 << 20, 'z');
        while (!m_stop) {
            if (fd >= 0) {
                (void)!pwrite(fd, block.data(), block.size(), 0);
                fdatasync(fd);
            }
            zyn::net::HttpRequest r;
            r.url = m_server.Url();
            (void)zyn::net::Get(r);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (fd >= 0) close(fd);
        unlink(name);
    }

    zyn::test::LocalHttpServer m_server;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

class RemoteChartTest : public ::testing::Test {
protected:
    // One exporter for the whole binary: starting it is most of a test's cost.
    static void SetUpTestSuite() {
        s_exporter = new ExporterProcess;
        // The exporter counts loopback traffic too (left out by default), so that there is traffic to
        // compare on any machine.
        s_started = s_exporter->Start(0, {"--collector.netdev.device-exclude=^$"});
    }
    static void TearDownTestSuite() {
        delete s_exporter;
        s_exporter = nullptr;
    }

    void SetUp() override {
        if (!s_started || (!s_exporter->Running() && !s_exporter->Start())) GTEST_SKIP() << s_exporter->Why();
        m_app = zyn::com::MakeObject<CZynApp>();
        CComPtr<IZynChart> chart;
        ASSERT_EQ(m_app->AddChart(&chart), S_OK);
        m_chart = chart;
    }
    void TearDown() override {
        if (m_chart) m_chart->put_Run(0);
    }

    std::u16string Remote(const char16_t* rest) const { return u"\\\\" + U16(s_exporter->Machine()) + rest; }

    static inline ExporterProcess* s_exporter = nullptr;
    static inline bool s_started = false;
    zyn::test::TempSettingsStore m_store;
    CComPtr<CZynApp> m_app;
    CComPtr<IZynChart> m_chart;
};

TEST_F(RemoteChartTest, RemoteCountersAgreeWithTheLocalOnesOverTheSameInterval) {
    struct Pair {
        const char16_t* path;
        double absolute; // allowed difference of the means…
        double relative; // …or as a share of the local mean, whichever is larger
        CComPtr<IZynChannel> local{}, remote{};
    };
    std::vector<Pair> pairs = {
        {u"\\Processor(_Total)\\% Processor Time", 3.0, 0.0},
        {u"\\Processor(_Total)\\% User Time", 3.0, 0.0},
        {u"\\Memory\\Available MBytes", 64.0, 0.02},
        {u"\\Memory\\Committed Bytes", 64e6, 0.02},
        {u"\\PhysicalDisk(_Total)\\Disk Write Bytes/sec", 1.5e6, 0.15},
        {u"\\PhysicalDisk(_Total)\\Disk Writes/sec", 20.0, 0.15},
        {u"\\Network Interface(lo)\\Bytes Received/sec", 3e5, 0.10},
        {u"\\System\\Context Switches/sec", 2000.0, 0.10},
    };
    for (Pair& p : pairs) {
        p.local = Add(m_chart, p.path);
        p.remote = Add(m_chart, Remote(p.path));
    }
    constexpr LONG kSamples = 10;
    {
        Load load;
        ASSERT_EQ(m_chart->put_Rate(500), S_OK);
        ASSERT_EQ(m_chart->put_Run(1), S_OK);
        WaitForSamples(pairs[0].local, kSamples, 30000);
        ASSERT_EQ(m_chart->put_Run(0), S_OK);
    }
    // The first sample holds no rates; the second is the first whose remote interval comes from a
    // scrape made ahead of time, as every later one is. A busy machine may miss a scrape (that
    // sample reads no data, and the next one's rate spans two intervals): the means are taken over
    // the samples whose remote interval is the chart's own, and most samples must be such.
    const std::vector<double> available = Values(pairs[2].remote);
    std::vector<std::size_t> kept;
    for (std::size_t i = 2; i < available.size(); ++i)
        if (available[i] > 0 && available[i - 1] > 0) kept.push_back(i);
    std::printf("agreement over %zu of %zu samples\n", kept.size(), available.size());
    ASSERT_GE(kept.size(), std::size_t{kSamples} / 2);
    const auto mean = [&](const std::vector<double>& v) {
        double sum = 0;
        for (std::size_t i : kept)
            sum += v[i];
        return sum / static_cast<double>(kept.size());
    };
    for (const Pair& p : pairs) {
        const std::string name(p.path, p.path + std::char_traits<char16_t>::length(p.path));
        const std::vector<double> local = Values(p.local);
        const std::vector<double> remote = Values(p.remote);
        ASSERT_GE(local.size(), std::size_t{kSamples});
        ASSERT_EQ(local.size(), remote.size());
        const double l = mean(local);
        const double r = mean(remote);
        const double allowed = std::max(p.absolute, p.relative * std::fabs(l));
        std::printf("agreement %-45s local %12.3f remote %12.3f diff %+9.3f (allowed %.3f)\n", name.c_str(),
                    l, r, r - l, allowed);
        EXPECT_NEAR(r, l, allowed) << name;
        EXPECT_TRUE(std::all_of(remote.begin() + 2, remote.end(), [](double v) { return std::isfinite(v); }));
    }
}

TEST_F(RemoteChartTest, AStoppedOrHangingExporterCostsItsChannelsTheirDataAndTheChartNothingOfItsPeriod) {
    CComPtr<IZynChannel> local = Add(m_chart, u"\\Processor(_Total)\\% Processor Time");
    CComPtr<IZynChannel> memory = Add(m_chart, Remote(u"\\Memory\\Available MBytes"));
    CComPtr<IZynChannel> cpu = Add(m_chart, Remote(u"\\Processor(_Total)\\% Processor Time"));
    constexpr LONG kRate = 400;
    constexpr LONG kPhase = 6; // samples per phase
    ASSERT_EQ(m_chart->put_Rate(kRate), S_OK);
    ASSERT_EQ(m_chart->put_Run(1), S_OK);
    std::vector<LONG> boundaries;
    const auto phase = [&](LONG end) {
        WaitForSamples(local, end, 60000);
        CComPtr<IZynObjLock> lock;
        local->LockObject(&lock);
        boundaries.push_back(Count(local));
    };
    phase(kPhase);                     // healthy
    s_exporter->Stop();                // connections refused
    phase(boundaries.back() + kPhase); //
    ASSERT_TRUE(s_exporter->Start());  // back on the same port
    phase(boundaries.back() + kPhase); //
    s_exporter->Pause();               // accepts, never answers
    phase(boundaries.back() + kPhase); //
    s_exporter->Resume();
    phase(boundaries.back() + kPhase);
    ASSERT_EQ(m_chart->put_Run(0), S_OK);

    const std::vector<std::uint32_t> rels = Rels(static_cast<CZynChart*>(m_chart.p));
    const std::vector<double> mem = Values(memory);
    const std::vector<double> busy = Values(cpu);
    ASSERT_EQ(mem.size(), rels.size());
    // Sample i of a phase [from, to): its period is rels[i] - rels[i - 1].
    const auto periods = [&](std::size_t from, std::size_t to) {
        std::vector<double> p;
        for (std::size_t i = std::max<std::size_t>(from, 1); i < to && i < rels.size(); ++i)
            p.push_back(static_cast<double>(rels[i] - rels[i - 1]));
        return p;
    };
    const char* names[] = {"healthy", "stopped", "restarted", "hanging", "resumed"};
    std::vector<double> means;
    for (std::size_t k = 0; k < boundaries.size(); ++k) {
        const std::size_t from = k == 0 ? 1 : static_cast<std::size_t>(boundaries[k - 1]);
        const std::size_t to = static_cast<std::size_t>(boundaries[k]);
        // The sample that straddles a switch belongs to neither phase.
        const std::vector<double> p = periods(from + 1, to);
        std::vector<double> sorted = p;
        std::sort(sorted.begin(), sorted.end());
        means.push_back(Mean(p, 0, p.size()));
        std::printf("period %-9s samples %2zu  mean %7.1f ms  median %7.1f ms  max %7.1f ms\n", names[k],
                    p.size(), means.back(), sorted[sorted.size() / 2], sorted.back());
    }
    // The local channel keeps its period while the exporter is down or hangs (within 5 %).
    for (std::size_t k : {1u, 3u})
        EXPECT_NEAR(means[k], means[0], 0.05 * means[0]) << names[k];

    // The remote channels have no data while it is down or hangs, and data before and after.
    const auto slice = [](const std::vector<double>& v, LONG from, LONG to) {
        return std::vector<double>(v.begin() + from,
                                   v.begin() + std::min<LONG>(to, static_cast<LONG>(v.size())));
    };
    // While the exporter answers, a busy machine may still miss a scrape now and then: most samples
    // must have data.
    const auto mostlyPositive = [](const std::vector<double>& v) {
        const auto n = std::count_if(v.begin(), v.end(), [](double x) { return x > 0; });
        return !v.empty() && 2 * static_cast<std::size_t>(n) >= v.size();
    };
    const auto allZero = [](const std::vector<double>& v) {
        return std::all_of(v.begin(), v.end(), [](double x) { return x == 0; });
    };
    EXPECT_TRUE(mostlyPositive(slice(mem, 1, boundaries[0])));
    EXPECT_TRUE(allZero(slice(mem, boundaries[0] + 1, boundaries[1])));
    // Values return by themselves within two samples of the restart.
    EXPECT_TRUE(mostlyPositive(slice(mem, boundaries[1] + 2, boundaries[2])));
    EXPECT_TRUE(allZero(slice(mem, boundaries[2] + 2, boundaries[3])));
    EXPECT_TRUE(mostlyPositive(slice(mem, boundaries[3] + 3, boundaries[4])));
    // The rate comes back too, measured from the baseline kept across the outage.
    EXPECT_TRUE(std::any_of(busy.begin() + boundaries[3] + 3, busy.end(), [](double x) { return x > 0; }));
}

} // namespace
