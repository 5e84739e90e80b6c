// Plausibility on this machine's real /proc and /sys.

#include "pdh/pdh.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

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

} // namespace
} // namespace zyn::pdh::test
