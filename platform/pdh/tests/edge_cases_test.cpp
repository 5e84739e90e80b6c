// Edge cases: instances that appear, vanish or change identity, decreasing and wrapping counters.

#include "snapshot_fixture.h"

#include <gtest/gtest.h>

namespace zyn::pdh::test {
namespace {

DWORD StatusOf(PDH_HCOUNTER c) {
    return CSnapshotQuery::Read(c).status;
}
constexpr DWORD kValid = PDH_CSTATUS_VALID_DATA;
constexpr DWORD kNew = PDH_CSTATUS_NEW_DATA;
constexpr DWORD kInvalid = static_cast<DWORD>(PDH_CSTATUS_INVALID_DATA);
constexpr DWORD kNoInstance = static_cast<DWORD>(PDH_CSTATUS_NO_INSTANCE);

TEST(EdgeCases, MissingInstanceIsAddedAndReadsNoInstanceUntilItAppears) {
    CSnapshotRoot root;
    root.Apply("snap1");
    CSnapshotQuery query(root);
    PDH_HCOUNTER sda = query.Add(u"\\PhysicalDisk(sda)\\Disk Reads/sec");
    EXPECT_EQ(ValidatePath(u"\\PhysicalDisk(sda)\\Disk Reads/sec", root.Config()), PDH_CSTATUS_NO_INSTANCE);
    query.Collect();
    EXPECT_EQ(CSnapshotQuery::Read(sda).result, PDH_INVALID_DATA);
    EXPECT_EQ(StatusOf(sda), kNoInstance);
    root.Apply("snap2"); // sda appears: its first collection is only a baseline
    root.AdvanceSeconds(10);
    query.Collect();
    EXPECT_EQ(StatusOf(sda), kInvalid);
    root.Write("proc/diskstats", " 8 0 sda 1500 0 20000 500 2000 0 40000 1000 1 3000 5000\n");
    root.AdvanceSeconds(5);
    query.Collect();
    EXPECT_EQ(StatusOf(sda), kNew);
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(sda).value, 100.0);
}

TEST(EdgeCases, CpuGoingOfflineAndReturning) {
    CSnapshotRoot root;
    root.Apply("snap1");
    CSnapshotQuery query(root);
    PDH_HCOUNTER cpu1 = query.Add(u"\\Processor(1)\\% Processor Time");
    PDH_HCOUNTER total = query.Add(u"\\Processor(_Total)\\% Processor Time");
    query.Collect();
    root.Write("proc/stat",
               "cpu  1100 100 600 8800 200 50 50 100 0 0\ncpu0 600 50 350 4800 100 25 25 50 0 0\n");
    root.AdvanceSeconds(10);
    query.Collect();
    EXPECT_EQ(StatusOf(cpu1), kNoInstance);
    EXPECT_EQ(StatusOf(total), kNew);
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(total).value, 20.0); // 200 busy of 1000 ticks
    EXPECT_EQ(ListInstances(u"Processor", root.Config()), (std::vector<std::u16string>{u"0", u"_Total"}));
    root.Apply("snap2"); // cpu1 is back: a new baseline first
    root.AdvanceSeconds(10);
    query.Collect();
    EXPECT_EQ(StatusOf(cpu1), kInvalid);
    EXPECT_EQ(StatusOf(total), kValid);
}

TEST(EdgeCases, DecreasingCounterIsInvalidThenRebaselines) {
    CSnapshotRoot root;
    root.Apply("snap2");
    CSnapshotQuery query(root);
    PDH_HCOUNTER rx = query.Add(u"\\Network Interface(eth0)\\Bytes Received/sec");
    query.Collect();
    root.Apply("snap1"); // the interface was re-created: every counter went down
    root.AdvanceSeconds(10);
    query.Collect();
    EXPECT_EQ(StatusOf(rx), kInvalid);
    root.Apply("snap2");
    root.AdvanceSeconds(10);
    query.Collect();
    EXPECT_EQ(StatusOf(rx), kNew);
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(rx).value, 100000.0);
}

TEST(EdgeCases, ThirtyTwoBitDiskFieldsWrap) {
    CSnapshotRoot root;
    root.Apply("snap1");
    CSnapshotQuery query(root);
    PDH_HCOUNTER busy = query.Add(u"\\PhysicalDisk(vda)\\% Disk Time");
    root.Write("proc/diskstats", " 254 0 vda 1 0 1 1 1 0 1 1 0 4294967000 4294966296\n");
    query.Collect();
    root.Write("proc/diskstats", " 254 0 vda 2 0 2 2 2 0 2 2 0 4704 4000\n"); // Δ 5000 and 5000 ms
    root.AdvanceSeconds(10);
    query.Collect();
    EXPECT_EQ(StatusOf(busy), kNew);
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(busy).value, 50.0);
}

TEST(EdgeCases, ProcessEndingAndNameIndexMovingToAnotherProcess) {
    CSnapshotRoot root;
    root.Apply("snap1");
    CSnapshotQuery query(root);
    PDH_HCOUNTER second = query.Add(u"\\Process(bash#1)\\% Processor Time");
    PDH_HCOUNTER threads = query.Add(u"\\Process(bash#1)\\Thread Count");
    PDH_HCOUNTER kworkerIo = query.Add(u"\\Process(kworker!0:1)\\IO Read Bytes/sec");
    query.Collect();
    root.Apply("snap2"); // pid 200 ended; bash#1 is now pid 300
    root.AdvanceSeconds(10);
    query.Collect();
    EXPECT_EQ(StatusOf(second), kInvalid)
        << "another process: a new baseline, not a delta across two processes";
    EXPECT_EQ(StatusOf(threads), kValid);
    EXPECT_EQ(StatusOf(kworkerIo), kInvalid) << "no io file (permission denied): invalid data, not a crash";
    root.Remove("proc/300");
    root.AdvanceSeconds(10);
    query.Collect();
    EXPECT_EQ(StatusOf(second), kNoInstance);
}

TEST(EdgeCases, MissingPressureFileIsNoObject) {
    CSnapshotRoot root;
    root.Apply("snap1");
    CSnapshotQuery query(root);
    PDH_HCOUNTER c = nullptr;
    EXPECT_EQ(query.TryAdd(u"\\Pressure Memory\\% Some Stall Time", &c), PDH_CSTATUS_NO_OBJECT);
    EXPECT_EQ(ValidatePath(u"\\Pressure Memory\\Some Avg10", root.Config()), PDH_CSTATUS_NO_OBJECT);
    EXPECT_EQ(ValidatePath(u"\\Pressure IO\\Some Avg10", root.Config()), PDH_CSTATUS_VALID_DATA);
}

TEST(EdgeCases, OneCollectionServesManyCountersOfOneFile) {
    CSnapshotRoot root;
    root.Apply("snap1");
    CSnapshotQuery query(root);
    PDH_HCOUNTER user = query.Add(u"\\Processor(0)\\% User Time");
    PDH_HCOUNTER ctxt = query.Add(u"\\System\\Context Switches/sec");
    query.Collect();
    root.Apply("snap2");
    root.AdvanceSeconds(10);
    query.Collect();
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(user).value, 30.0);
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(ctxt).value, 1200.0);
}

} // namespace
} // namespace zyn::pdh::test
