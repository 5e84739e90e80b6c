// Edge cases: instances that appear, vanish or change identity, decreasing and wrapping counters.

#include "pdh/source_cache.h"
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

TEST(EdgeCases, ProcessorQueueLengthLeavesOutTheReaderAndNeverGoesNegative) {
    CSnapshotRoot root;
    root.Apply("snap1");
    CSnapshotQuery query(root);
    PDH_HCOUNTER queue = query.Add(u"\\System\\Processor Queue Length");
    // procs_running counts the thread that reads it: 3 running on 2 CPUs, one of them the reader,
    // leaves nothing waiting.
    query.Collect();
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(queue).value, 0.0);
    root.Write("proc/stat", "cpu  1 0 1 1 0 0 0 0 0 0\ncpu0 1 0 1 1 0 0 0 0 0 0\ncpu1 1 0 1 1 0 0 0 0 0 0\n"
                            "procs_running 1\n");
    query.Collect();
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(queue).value, 0.0);
    root.Write("proc/stat", "cpu  1 0 1 1 0 0 0 0 0 0\ncpu0 1 0 1 1 0 0 0 0 0 0\ncpu1 1 0 1 1 0 0 0 0 0 0\n"
                            "procs_running 7\n");
    query.Collect();
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(queue).value, 4.0);
}

// A process that starts and ends between two collections is never seen by a sweep; _Total must
// still hold its processor time and faults (from the system-wide counts), and a process seen for
// the first time adds the I/O it did since it started, but only when it started after the last
// collection.
TEST(EdgeCases, ProcessTotalKeepsWhatShortLivedProcessesDid) {
    CSnapshotRoot root;
    root.Apply("snap1");
    CSnapshotQuery query(root);
    PDH_HCOUNTER cpu = query.Add(u"\\Process(_Total)\\% Processor Time");
    PDH_HCOUNTER kernel = query.Add(u"\\Process(_Total)\\% Privileged Time");
    PDH_HCOUNTER faults = query.Add(u"\\Process(_Total)\\Page Faults/sec");
    PDH_HCOUNTER reads = query.Add(u"\\Process(_Total)\\IO Read Bytes/sec");
    PDH_HCOUNTER bash = query.Add(u"\\Process(bash)\\% Processor Time");
    query.Collect();

    // Two seconds later: pid 200 has ended; many short processes came and went (the system
    // counted 150 busy ticks, 110 of them in the kernel, and 4000 faults), pid 400 started after the
    // first collection and read 7000 bytes, and pid 401, an old process the first sweep missed,
    // shows up with 9000 bytes read over its whole life.
    root.Remove("proc/200");
    root.Write("proc/stat", "cpu  1030 110 590 8150 200 60 60 100 0 0\n"
                            "cpu0 515 55 295 4075 100 30 35 50 0 0\ncpu1 515 55 295 4075 100 30 35 50 0 0\n"
                            "procs_running 2\n");
    root.Write("proc/vmstat", "pgfault 1354218\npgmajfault 100\n");
    root.Write("proc/400/stat", "400 (sh) R 1 400 400 0 -1 0 10 0 0 0 1 2 0 0 20 0 1 0 21450 1000 10 0 0 "
                                "0 0 0 0 0 0 0 0 0 0 0 17 0 0 0 0 0 0\n");
    root.Write("proc/400/io", "rchar: 7000\nwchar: 0\nsyscr: 7\nsyscw: 0\n");
    root.Write("proc/401/stat", "401 (old) S 1 401 401 0 -1 0 10 0 0 0 1 2 0 0 20 0 1 0 100 1000 10 0 0 "
                                "0 0 0 0 0 0 0 0 0 0 0 17 0 0 0 0 0 0\n");
    root.Write("proc/401/io", "rchar: 9000\nwchar: 0\nsyscr: 9\nsyscw: 0\n");
    root.Write("proc/uptime", "216.12 390.00\n");
    root.AdvanceSeconds(2);
    query.Collect();

    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(bash).value, 0.0) << "bash itself did nothing";
    const DWORD raw = PDH_FMT_DOUBLE | PDH_FMT_NOSCALE | PDH_FMT_NOCAP100;
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(cpu, raw).value, 100.0 * 150 / (100 * 2));
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(cpu).value, 75.0);
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(kernel, raw).value, 100.0 * 110 / (100 * 2));
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(faults).value, 4000.0 / 2);
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(reads).value, 7000.0 / 2);
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

// The process count and the Process object share one listing of the proc root per collection, and
// the listing's kept descriptor must see processes start and end between collections.
TEST(EdgeCases, ProcessListingFollowsProcessesBetweenCollections) {
    CSnapshotRoot root;
    root.Apply("snap1");
    CSnapshotQuery query(root);
    PDH_HCOUNTER count = query.Add(u"\\System\\Processes");
    PDH_HCOUNTER late = query.Add(u"\\Process(late)\\Thread Count");
    query.Collect();
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(count).value, 4.0);
    EXPECT_EQ(StatusOf(late), kNoInstance);

    root.Write("proc/400/stat", "400 (late) S 1 400 400 0 -1 0 0 0 0 0 1 1 0 0 20 0 3 0 5000 1000 10 0\n");
    root.Write("proc/0400/stat", "not a process: a leading zero"); // never a pid directory name
    root.AdvanceSeconds(1);
    query.Collect();
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(count).value, 5.0);
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(late).value, 3.0);

    root.Remove("proc/400");
    root.Remove("proc/150");
    root.AdvanceSeconds(1);
    query.Collect();
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(count).value, 3.0);
    EXPECT_EQ(StatusOf(late), kNoInstance);
}

// A file made whole at each read is read with one call when it fits the buffer; one larger than
// the buffer, or shrinking or growing in place, must still come back whole.
TEST(EdgeCases, OnePieceFilesComeBackWholeWhateverTheirSize) {
    CSnapshotRoot root;
    const std::string path = (root.Root() / "proc/big").string();
    detail::CSourceCache cache;
    for (const std::size_t size : {std::size_t{10}, std::size_t{4096}, std::size_t{70000}, std::size_t{3}}) {
        std::string text(size, 'x');
        for (std::size_t i = 0; i < size; i += 7)
            text[i] = static_cast<char>('0' + i % 10);
        root.Write("proc/big", text);
        cache.BeginCollection();
        const std::string* got = cache.Get(path, detail::FileShape::OnePiece);
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(*got, text) << size << " bytes";
    }
}

} // namespace
} // namespace zyn::pdh::test
