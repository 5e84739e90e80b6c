// A running chart's counters against files the test writes: the chart reads a /proc tree of the
// test's own, and the test holds the chart's lock to decide which file contents a sample sees.

#include "objlib/ZynChart.h"
#include "testing/ComChecks.h"

#include "pdh/pdh.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

namespace fs = std::filesystem;

// A /proc with only the file the Processor object reads, made the process-wide source of new
// queries for the length of a test.
class CFakeProc {
public:
    CFakeProc() {
        std::string pattern = (fs::temp_directory_path() / "zynchart-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        m_root = pattern;
        fs::create_directories(m_root / "proc");
        fs::create_directories(m_root / "sys");
        zyn::pdh::SetSourceRoots((m_root / "proc").string(), (m_root / "sys").string());
    }
    ~CFakeProc() {
        zyn::pdh::SetSourceRoots("", "");
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }
    // The cpu lines of /proc/stat with `busy` user ticks and `idle` idle ticks on each of 2 CPUs.
    void WriteStat(int busy, int idle) {
        std::ofstream out(m_root / "proc" / "stat", std::ios::trunc);
        out << "cpu  " << 2 * busy << " 0 0 " << 2 * idle << " 0 0 0 0 0 0\n";
        for (int cpu = 0; cpu < 2; ++cpu)
            out << "cpu" << cpu << ' ' << busy << " 0 0 " << idle << " 0 0 0 0 0 0\n";
    }

private:
    fs::path m_root;
};

using ChartCounterTest = zyn::test::LeakCheckedTest;

LONG Count(IZynChannel* channel) {
    LONG n = -1;
    channel->get_DataCount(&n);
    return n;
}

// The channel's count is read under its lock; the sampling thread appends under the same lock.
bool WaitForSamples(IZynChannel* channel, LONG n) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (Count(channel) < n && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return Count(channel) >= n;
}

double ValueAt(IZynChannel* channel, LONG index) {
    CComPtr<IZynDataSet> data;
    channel->get_Data(&data);
    double v = -1;
    EXPECT_EQ(data->GetValueAt(index, &v), S_OK);
    return v;
}

// Adding a channel to a running chart used to set the whole query to prime again: the next sample
// collected every counter twice, 200 ms apart, so the existing channels lost the interval since
// their previous sample (and every channel read that sample over 200 ms, with the period 200 ms
// longer). The new counter takes its baseline on its own; the others keep theirs.
TEST_F(ChartCounterTest, AddingAChannelToARunningChartLeavesTheOtherChannelsTheirInterval) {
    CFakeProc proc;
    proc.WriteStat(100, 900);
    auto chart = CZynChart::Create();
    CComPtr<IZynChannel> before, added;
    ASSERT_EQ(chart->AddChannel(CComBSTR(u"\\Processor(_Total)\\% Processor Time"), &before), S_OK);
    ASSERT_EQ(chart->put_Rate(200), S_OK);
    ASSERT_EQ(chart->put_Run(1), S_OK);
    ASSERT_TRUE(WaitForSamples(before, 2));

    LONG next = 0;
    {
        // No sample runs while the test holds the chart: the last one read 100 busy of 1000.
        CComPtr<IZynObjLock> lock;
        ASSERT_EQ(chart->LockObject(&lock), S_OK);
        next = Count(before);
        proc.WriteStat(400, 1100); // +300 busy, +200 idle
        ASSERT_EQ(chart->AddChannel(CComBSTR(u"\\Processor(0)\\% Processor Time"), &added), S_OK);
        proc.WriteStat(500, 1400); // +100 busy, +300 idle since the channel was added
    }
    ASSERT_TRUE(WaitForSamples(before, next + 2));
    chart->put_Run(0);

    EXPECT_DOUBLE_EQ(ValueAt(before, next), 100.0 * 400 / 900)
        << "the existing channel's sample covers its whole interval";
    ASSERT_GE(Count(added), 1);
    EXPECT_DOUBLE_EQ(ValueAt(added, 0), 100.0 * 100 / 400) << "the new channel counts from when it was added";
}

} // namespace
