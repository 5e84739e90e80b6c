// Every object's counters against values computed by hand from the two recorded snapshots
// (tests/data/snap1 and snap2, 10 s apart, HZ 100, 4 KiB pages).

#include "snapshot_fixture.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace zyn::pdh::test {
namespace {

class TwoSnapshots : public ::testing::Test {
protected:
  struct Expectation {
    std::u16string path;
    double value;
  };

  // Adds every path, collects snap1, then snap2 ten seconds later, and checks each value.
  void Check(const std::vector<Expectation>& expected, double tolerance = 1e-9) {
    root.Apply("snap1");
    CSnapshotQuery query(root);
    std::vector<PDH_HCOUNTER> counters;
    for (const auto& e : expected) counters.push_back(query.Add(e.path));
    query.Collect();
    root.Apply("snap2");
    root.AdvanceSeconds(10);
    query.Collect();
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const Reading r = CSnapshotQuery::Read(counters[i], PDH_FMT_DOUBLE | PDH_FMT_NOSCALE | PDH_FMT_NOCAP100);
      const std::string name(expected[i].path.begin(), expected[i].path.end());
      EXPECT_EQ(r.result, ERROR_SUCCESS) << name;
      EXPECT_TRUE(r.status == PDH_CSTATUS_VALID_DATA || r.status == PDH_CSTATUS_NEW_DATA) << name;
      EXPECT_NEAR(r.value, expected[i].value, tolerance * std::max(1.0, std::abs(expected[i].value))) << name;
    }
  }

  CSnapshotRoot root;
};

TEST_F(TwoSnapshots, Processor) {
  // cpu0 Δ: user 300 nice 0 system 100 idle 500 iowait 50 irq 10 softirq 20 steal 20 (T 1000)
  // cpu1 Δ: user 100 nice 100 system 50 idle 700 steal 50 (T 1000); _Total is the cpu line.
  Check({
      {u"\\Processor(0)\\% Processor Time", 45.0},
      {u"\\Processor(0)\\% User Time", 30.0},
      {u"\\Processor(0)\\% Privileged Time", 13.0},
      {u"\\Processor(0)\\% Idle Time", 55.0},
      {u"\\Processor(0)\\% Interrupt Time", 1.0},
      {u"\\Processor(0)\\% DPC Time", 2.0},
      {u"\\Processor(0)\\% IO Wait Time", 5.0},
      {u"\\Processor(0)\\% Steal Time", 2.0},
      {u"\\Processor(1)\\% Processor Time", 30.0},
      {u"\\Processor(1)\\% User Time", 20.0},
      {u"\\Processor(1)\\% Nice Time", 10.0},
      {u"\\Processor(_Total)\\% Processor Time", 37.5},
      {u"\\Processor(_Total)\\% User Time", 25.0},
      {u"\\Processor(_Total)\\% Privileged Time", 9.0},
      {u"\\Processor(_Total)\\% Idle Time", 62.5},
      {u"\\Processor(_Total)\\Interrupts/sec", 500.0},
  });
}

TEST_F(TwoSnapshots, Memory) {
  Check({
      {u"\\Memory\\Available MBytes", 24000000.0 / 1024},
      {u"\\Memory\\Available KBytes", 24000000.0},
      {u"\\Memory\\Available Bytes", 24000000.0 * 1024},
      {u"\\Memory\\Committed Bytes", 400000.0 * 1024},
      {u"\\Memory\\Commit Limit", 13390460.0 * 1024},
      {u"\\Memory\\% Committed Bytes In Use", 100.0 * 400000 / 13390460},
      {u"\\Memory\\Cache Bytes", (30000.0 + 1000 + 60000) * 1024},
      {u"\\Memory\\Pages/sec", (20.0 + 30) / 10},
      {u"\\Memory\\Pages Input/sec", 2.0},
      {u"\\Memory\\Pages Output/sec", 3.0},
      {u"\\Memory\\Page Faults/sec", 1000.0},
      {u"\\Memory\\Page Reads/sec", 5.0},
  });
}

TEST_F(TwoSnapshots, System) {
  Check({
      {u"\\System\\Context Switches/sec", 1200.0},
      {u"\\System\\Processes Created/sec", 5.0},
      {u"\\System\\Processor Queue Length", 2.0}, // procs_running 4 − 2 online CPUs
      {u"\\System\\Processes", 4.0},              // pids 1, 100, 150, 300
      {u"\\System\\Threads", 120.0},
      {u"\\System\\System Up Time", 224.12},
      {u"\\System\\Processes Blocked", 2.0},
      {u"\\System\\Load Average 1 min", 0.5},
  });
}

} // namespace
} // namespace zyn::pdh::test
