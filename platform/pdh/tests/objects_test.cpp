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
        counters.reserve(expected.size());
        for (const auto& e : expected)
            counters.push_back(query.Add(e.path));
        query.Collect();
        root.Apply("snap2");
        root.AdvanceSeconds(10);
        query.Collect();
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const Reading r =
                CSnapshotQuery::Read(counters[i], PDH_FMT_DOUBLE | PDH_FMT_NOSCALE | PDH_FMT_NOCAP100);
            const std::string name(expected[i].path.begin(), expected[i].path.end());
            EXPECT_EQ(r.result, ERROR_SUCCESS) << name;
            EXPECT_TRUE(r.status == PDH_CSTATUS_VALID_DATA || r.status == PDH_CSTATUS_NEW_DATA) << name;
            EXPECT_NEAR(r.value, expected[i].value, tolerance * std::max(1.0, std::abs(expected[i].value)))
                << name;
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
        {u"\\System\\Processor Queue Length", 1.0}, // procs_running 4, less the reader, less 2 CPUs
        {u"\\System\\Processes", 4.0},              // pids 1, 100, 150, 300
        {u"\\System\\Threads", 120.0},
        {u"\\System\\System Up Time", 224.12},
        {u"\\System\\Processes Blocked", 2.0},
        {u"\\System\\Load Average 1 min", 0.5},
    });
}

TEST_F(TwoSnapshots, PhysicalDisk) {
    // vda Δ: reads 1000, sectors read 20000, read ms 2000, writes 500, sectors written 8000,
    // write ms 1000, io_ticks 5000, weighted 4000; sda appears in snap2 and stays out of _Total.
    Check({
        {u"\\PhysicalDisk(vda)\\Disk Reads/sec", 100.0},
        {u"\\PhysicalDisk(vda)\\Disk Writes/sec", 50.0},
        {u"\\PhysicalDisk(vda)\\Disk Transfers/sec", 150.0},
        {u"\\PhysicalDisk(vda)\\Disk Read Bytes/sec", 512.0 * 20000 / 10},
        {u"\\PhysicalDisk(vda)\\Disk Write Bytes/sec", 512.0 * 8000 / 10},
        {u"\\PhysicalDisk(vda)\\Disk Bytes/sec", 512.0 * 28000 / 10},
        {u"\\PhysicalDisk(vda)\\Avg. Disk sec/Read", 0.002},
        {u"\\PhysicalDisk(vda)\\Avg. Disk sec/Write", 0.002},
        {u"\\PhysicalDisk(vda)\\Avg. Disk Queue Length", 0.4},
        {u"\\PhysicalDisk(vda)\\Current Disk Queue Length", 3.0},
        {u"\\PhysicalDisk(vda)\\% Disk Time", 40.0},
        {u"\\PhysicalDisk(vda)\\% Idle Time", 50.0},
        {u"\\PhysicalDisk(_Total)\\Disk Reads/sec", 100.0},
        {u"\\PhysicalDisk(_Total)\\Disk Read Bytes/sec", 512.0 * 20000 / 10},
        {u"\\PhysicalDisk(_Total)\\% Disk Time", 40.0},
        {u"\\PhysicalDisk(_Total)\\Current Disk Queue Length", 4.0}, // vda 3 + sda 1
    });
}

TEST_F(TwoSnapshots, NetworkInterface) {
    Check({
        {u"\\Network Interface(eth0)\\Bytes Received/sec", 100000.0},
        {u"\\Network Interface(eth0)\\Bytes Sent/sec", 50000.0},
        {u"\\Network Interface(eth0)\\Bytes Total/sec", 150000.0},
        {u"\\Network Interface(eth0)\\Packets Received/sec", 200.0},
        {u"\\Network Interface(eth0)\\Packets Sent/sec", 100.0},
        {u"\\Network Interface(eth0)\\Packets/sec", 300.0},
        {u"\\Network Interface(eth0)\\Packets Received Errors", 2.0},
        {u"\\Network Interface(eth0)\\Packets Outbound Discarded", 3.0},
        {u"\\Network Interface(eth0)\\Current Bandwidth", 1e9},
        {u"\\Network Interface(lo)\\Bytes Total/sec", 2000.0},
        {u"\\Network Interface(lo)\\Current Bandwidth", 0.0},
    });
}

TEST_F(TwoSnapshots, Process) {
    // bash = pid 100 (utime +200, stime +100, rchar +1e6, wchar +2e5, syscr +200, minflt +500).
    Check({
        {u"\\Process(bash)\\% Processor Time", 30.0},
        {u"\\Process(bash)\\% User Time", 20.0},
        {u"\\Process(bash)\\% Privileged Time", 10.0},
        {u"\\Process(bash)\\Thread Count", 3.0},
        {u"\\Process(bash)\\Working Set", 1500.0 * 4096},
        {u"\\Process(bash)\\Working Set Peak", 6500.0 * 1024},
        {u"\\Process(bash)\\Private Bytes", (4096.0 + 1024) * 1024},
        {u"\\Process(bash)\\Virtual Bytes", 12000000.0},
        {u"\\Process(bash)\\Page Faults/sec", 50.0},
        {u"\\Process(bash)\\IO Read Bytes/sec", 100000.0},
        {u"\\Process(bash)\\IO Write Bytes/sec", 20000.0},
        {u"\\Process(bash)\\IO Read Operations/sec", 20.0},
        {u"\\Process(bash)\\ID Process", 100.0},
        {u"\\Process(bash)\\Creating Process ID", 1.0},
        {u"\\Process(bash)\\Elapsed Time", 224.12 - 10.0},
        {u"\\Process(systemd)\\% Processor Time", 7.0},
        {u"\\Process(kworker!0:1)\\% Processor Time", 10.0},
        // _Total's processor times come from the cpu line of /proc/stat, so pid 200 (ended) and
        // pid 300 (started) count with what they ran in the interval: user+nice +500 ticks,
        // system+irq+softirq +180 ticks, over 10 s at HZ 100 (the surviving processes sum to 47).
        {u"\\Process(_Total)\\% Processor Time", 68.0},
        {u"\\Process(_Total)\\% User Time", 50.0},
        {u"\\Process(_Total)\\% Privileged Time", 18.0},
        {u"\\Process(_Total)\\Page Faults/sec", 1000.0}, // pgfault of /proc/vmstat, as Memory's
        {u"\\Process(_Total)\\Working Set", (3000.0 + 1500 + 0 + 500) * 4096},
        {u"\\Process(_Total)\\Thread Count", 6.0},
        // bash +1e6; pid 300 started after the first collection and counts from its start (rchar
        // 500); pid 200 ended and has no second reading.
        {u"\\Process(_Total)\\IO Read Bytes/sec", (1e6 + 500) / 10},
    });
}

TEST_F(TwoSnapshots, PagingFilePressureAndControlGroups) {
    Check({
        {u"\\Paging File(!dev!vda2)\\% Usage", 50.0},
        {u"\\Paging File(!swap file)\\% Usage", 0.0}, // /proc/swaps writes the blank as \040
        {u"\\Paging File(_Total)\\% Usage", 100.0 * 524288 / (1048576 + 524288)},
        {u"\\Paging File(_Total)\\% Usage Peak", 100.0 * 524288 / (1048576 + 524288)},
        {u"\\Pressure CPU\\% Some Stall Time", 5.0},
        {u"\\Pressure CPU\\% Full Stall Time", 0.0},
        {u"\\Pressure CPU\\Some Avg10", 4.8},
        {u"\\Pressure IO\\% Some Stall Time", 10.0},
        {u"\\Pressure IO\\% Full Stall Time", 8.0},
        {u"\\Control Group(_Total)\\% Processor Time", 70.0},
        {u"\\Control Group(system.slice)\\% Processor Time", 20.0},
        {u"\\Control Group(system.slice)\\% System Time", 10.0},
        {u"\\Control Group(system.slice)\\Memory Current", 125829120.0},
        {u"\\Control Group(system.slice)\\Pids Current", 14.0},
        {u"\\Control Group(system.slice)\\IO Read Bytes/sec", 600000.0},
        {u"\\Control Group(system.slice)\\IO Write Bytes/sec", 50000.0},
        {u"\\Control Group(system.slice!ssh.service)\\% Processor Time", 0.0},
        {u"\\Control Group(user.slice)\\% Processor Time", 5.0},
        {u"\\Control Group(user.slice)\\Memory Max", 536870912.0},
    });
}

TEST_F(TwoSnapshots, LogicalDisk) {
    const FsUsage rootFs{1000000, 400000, 350000, 4096}, myDisk{1000, 500, 500, 1048576},
        btrfs{2000000, 1500000, 1400000, 4096};
    root.fsUsage["/"] = rootFs;
    root.fsUsage["/mnt/my disk"] = myDisk;
    root.fsUsage["/media/again"] = myDisk; // the same file system mounted a second time
    root.fsUsage["/home"] = btrfs;         // two subvolumes of one btrfs file system
    root.fsUsage["/data"] = btrfs;
    // Bind mounts of part of a file system (a container's /etc/hosts): never instances.
    root.fsUsage["/etc/hosts"] = rootFs;
    root.fsUsage["/etc/resolv.conf"] = rootFs;
    root.fsUsage["/var/www"] = rootFs;
    root.fsUsage["/srv/music"] = btrfs;
    root.fsUsage["/net"] = {1, 1, 1, 1}; // a network mount: never asked
    const double mb = 1048576;
    Check({
        {u"\\LogicalDisk(!)\\Free Megabytes", 350000.0 * 4096 / mb},
        {u"\\LogicalDisk(!)\\% Free Space", 100.0 * 350000 / (1000000 - 400000 + 350000)},
        {u"\\LogicalDisk(!mnt!my disk)\\Free Megabytes", 500.0},
        {u"\\LogicalDisk(!mnt!my disk)\\% Free Space", 50.0},
        {u"\\LogicalDisk(!media!again)\\Free Megabytes", 500.0},
        {u"\\LogicalDisk(!home)\\Free Megabytes", 1400000.0 * 4096 / mb},
        {u"\\LogicalDisk(!data)\\Free Megabytes", 1400000.0 * 4096 / mb},
        // Each file system (device number) once, however often it is mounted.
        {u"\\LogicalDisk(_Total)\\Free Megabytes", (350000.0 + 1400000) * 4096 / mb + 500},
        {u"\\LogicalDisk(_Total)\\% Free Space",
         100.0 * (350000.0 * 4096 + 500 * mb + 1400000.0 * 4096) /
             ((1000000.0 - 400000 + 350000) * 4096 + 1000 * mb + (2000000.0 - 1500000 + 1400000) * 4096)},
    });
    EXPECT_EQ(
        ListInstances(u"LogicalDisk", root.Config()),
        (std::vector<std::u16string>{u"!", u"!mnt!my disk", u"!media!again", u"!home", u"!data", u"_Total"}));
}

} // namespace
} // namespace zyn::pdh::test
