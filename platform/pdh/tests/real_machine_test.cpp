// Plausibility on this machine's real /proc and /sys.

#include "pdh/pdh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zyn::pdh::test {
namespace {

TEST(RealMachine, ValuesArePlausible) {
    SourceConfig real; // /proc, /sys and the real clock, whatever the process-wide roots are
    PDH_HQUERY query = nullptr;
    ASSERT_EQ(OpenQueryWithSources(real, 0, &query), ERROR_SUCCESS);
    PDH_HCOUNTER cpu = nullptr, avail = nullptr, total = nullptr, ctxt = nullptr;
    ASSERT_EQ(PdhAddCounterW(query, u"\\Processor(_Total)\\% Processor Time", 0, &cpu), ERROR_SUCCESS);
    ASSERT_EQ(PdhAddCounterW(query, u"\\Memory\\Available Bytes", 0, &avail), ERROR_SUCCESS);
    ASSERT_EQ(PdhAddCounterW(query, u"\\Memory\\Total Bytes", 0, &total), ERROR_SUCCESS);
    ASSERT_EQ(PdhAddCounterW(query, u"\\System\\Context Switches/sec", 0, &ctxt), ERROR_SUCCESS);
    ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
    // Burn a little CPU so that ticks elapse on a quiet machine, then sleep the one short sleep.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(60);
    volatile unsigned spin = 0;
    while (std::chrono::steady_clock::now() < until)
        spin = spin + 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);

    auto read = [](PDH_HCOUNTER c, DWORD fmt) {
        PDH_FMT_COUNTERVALUE v{};
        EXPECT_EQ(PdhGetFormattedCounterValue(c, fmt, nullptr, &v), ERROR_SUCCESS);
        return v.doubleValue;
    };
    const double busy = read(cpu, PDH_FMT_DOUBLE | PDH_FMT_NOSCALE);
    EXPECT_GE(busy, 0.0);
    EXPECT_LE(busy, 100.0);
    const double a = read(avail, PDH_FMT_DOUBLE | PDH_FMT_NOSCALE);
    const double t = read(total, PDH_FMT_DOUBLE | PDH_FMT_NOSCALE);
    EXPECT_GT(a, 0.0);
    EXPECT_LE(a, t);
    EXPECT_GT(read(ctxt, PDH_FMT_DOUBLE | PDH_FMT_NOSCALE), 0.0);
    EXPECT_EQ(PdhCloseQuery(query), ERROR_SUCCESS);
}

// Busy ticks of the whole machine as Process(_Total) counts them: user+nice (guest inside) and
// system+irq+softirq; idle, iowait and steal belong to no process.
struct Ticks {
    double user = 0, kernel = 0;
    double seconds = 0; // CLOCK_MONOTONIC at the read
};

Ticks ReadTicks() {
    Ticks t;
    std::ifstream in("/proc/stat");
    std::string cpu;
    double v[7] = {};
    in >> cpu >> v[0] >> v[1] >> v[2] >> v[3] >> v[4] >> v[5] >> v[6];
    t.user = v[0] + v[1];
    t.kernel = v[2] + v[5] + v[6];
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    t.seconds = double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
    return t;
}

// A collection with /proc/stat read just before and just after it: the library's own read lies
// between the two.
Ticks CollectBracketed(PDH_HQUERY query) {
    const Ticks before = ReadTicks();
    EXPECT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
    const Ticks after = ReadTicks();
    return {(before.user + after.user) / 2, (before.kernel + after.kernel) / 2,
            (before.seconds + after.seconds) / 2};
}

double ReadUncapped(PDH_HCOUNTER c) {
    PDH_FMT_COUNTERVALUE v{};
    EXPECT_EQ(
        PdhGetFormattedCounterValue(c, PDH_FMT_DOUBLE | PDH_FMT_NOSCALE | PDH_FMT_NOCAP100, nullptr, &v),
        ERROR_SUCCESS);
    return v.doubleValue;
}

// Forks `count` children, at most `inFlight` at a time, each burning a fifth of a millisecond of
// processor time before it exits: processes that live between two samples and are never seen.
void ForkStorm(int count, int inFlight) {
    int running = 0;
    for (int i = 0; i < count; ++i) {
        if (running == inFlight) {
            int status = 0;
            if (wait(&status) > 0) --running;
        }
        const pid_t pid = fork();
        if (pid == 0) {
            timespec start{}, now{}, wall{}, wallNow{};
            clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &start);
            clock_gettime(CLOCK_MONOTONIC, &wall);
            for (;;) { // only async-signal-safe calls in the child of a threaded parent
                clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
                clock_gettime(CLOCK_MONOTONIC, &wallNow);
                const long cpuNs =
                    (now.tv_sec - start.tv_sec) * 1'000'000'000L + (now.tv_nsec - start.tv_nsec);
                const long wallNs =
                    (wallNow.tv_sec - wall.tv_sec) * 1'000'000'000L + (wallNow.tv_nsec - wall.tv_nsec);
                if (cpuNs >= 200'000 || wallNs >= 20'000'000) break;
            }
            _exit(0);
        }
        if (pid > 0) ++running;
    }
    while (running > 0 && wait(nullptr) > 0)
        --running;
}

// 2,000 short processes while a query samples every 100 ms: Process(_Total) must hold their
// processor time. Compared with /proc/stat over the same interval, read around the library's own
// collections, so the check holds however busy the machine is with other work.
// The process count comes from /proc's link count once listings have shown the two agree: each
// value must still match a listing made around it, across the switch and beyond.
TEST(RealMachine, ProcessCountMatchesAListingOfProc) {
    auto listed = [] {
        double n = 0;
        if (DIR* d = opendir("/proc")) {
            while (const dirent* e = readdir(d))
                n += e->d_name[0] >= '1' && e->d_name[0] <= '9';
            closedir(d);
        }
        return n;
    };
    SourceConfig real;
    PDH_HQUERY query = nullptr;
    ASSERT_EQ(OpenQueryWithSources(real, 0, &query), ERROR_SUCCESS);
    PDH_HCOUNTER processes = nullptr;
    ASSERT_EQ(PdhAddCounterW(query, u"\\System\\Processes", 0, &processes), ERROR_SUCCESS);
    for (int i = 0; i < 6; ++i) {
        const double before = listed();
        ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
        const double after = listed();
        PDH_FMT_COUNTERVALUE v{};
        ASSERT_EQ(PdhGetFormattedCounterValue(processes, PDH_FMT_DOUBLE, nullptr, &v), ERROR_SUCCESS);
        // Other work on the machine may start or end a process or two in between.
        EXPECT_GE(v.doubleValue, std::min(before, after) - 2) << "collection " << i;
        EXPECT_LE(v.doubleValue, std::max(before, after) + 2) << "collection " << i;
    }
    PdhCloseQuery(query);
}

TEST(RealMachine, ProcessTotalHoldsTheTimeOfAForkStorm) {
    SourceConfig real;
    PDH_HQUERY whole = nullptr, sampler = nullptr;
    ASSERT_EQ(OpenQueryWithSources(real, 0, &whole), ERROR_SUCCESS);
    ASSERT_EQ(OpenQueryWithSources(real, 0, &sampler), ERROR_SUCCESS);
    PDH_HCOUNTER cpu = nullptr, kernel = nullptr, sampled = nullptr;
    ASSERT_EQ(PdhAddCounterW(whole, u"\\Process(_Total)\\% Processor Time", 0, &cpu), ERROR_SUCCESS);
    ASSERT_EQ(PdhAddCounterW(whole, u"\\Process(_Total)\\% Privileged Time", 0, &kernel), ERROR_SUCCESS);
    ASSERT_EQ(PdhAddCounterW(sampler, u"\\Process(_Total)\\% Processor Time", 0, &sampled), ERROR_SUCCESS);

    std::atomic<bool> stop{false};
    double sampledTicks = 0; // Σ value·Δt over the sampler's intervals, in processor-seconds·100
    double sampledSpan = 0;
    std::thread sampling([&] {
        Ticks last = CollectBracketed(sampler);
        const Ticks first = last;
        while (!stop.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const Ticks now = CollectBracketed(sampler);
            const double v = ReadUncapped(sampled);
            EXPECT_TRUE(std::isfinite(v) && v >= 0) << v;
            sampledTicks += v * (now.seconds - last.seconds);
            last = now;
        }
        sampledSpan = last.seconds - first.seconds;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const Ticks start = CollectBracketed(whole);
    ForkStorm(2000, 8);
    const Ticks end = CollectBracketed(whole);
    stop = true;
    sampling.join();

    const double hz = double(sysconf(_SC_CLK_TCK));
    const double seconds = end.seconds - start.seconds;
    const double expectedAll =
        100.0 * ((end.user + end.kernel) - (start.user + start.kernel)) / (hz * seconds);
    const double expectedKernel = 100.0 * (end.kernel - start.kernel) / (hz * seconds);
    const double all = ReadUncapped(cpu), inKernel = ReadUncapped(kernel);
    // The children alone ran for more than 0.4 processor-seconds, forks and exits not counted.
    EXPECT_GT(expectedAll * seconds, 40.0) << "the storm did not show in /proc/stat";
    EXPECT_NEAR(all, expectedAll, 0.05 * expectedAll) << "over " << seconds << " s";
    EXPECT_NEAR(inKernel, expectedKernel, 0.05 * expectedKernel + 100.0 / (hz * seconds));
    // The sampler's intervals add up to the same time over the (slightly longer) span it covered.
    EXPECT_NEAR(sampledTicks / sampledSpan, expectedAll, 0.15 * expectedAll);
    EXPECT_EQ(PdhCloseQuery(whole), ERROR_SUCCESS);
    EXPECT_EQ(PdhCloseQuery(sampler), ERROR_SUCCESS);
}

} // namespace
} // namespace zyn::pdh::test
