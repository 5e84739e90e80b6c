// Remote machines through their exporter's page: the catalogue a page yields, the values the local
// formulas give from it, one scrape per machine per collection, and collections that never wait for
// a machine that is slow, hanging or gone. Exporters are played by a local server whose pages are
// known; the real node_exporter runs in the agreement tests of the object library.

#include "pdh/exposition.h"
#include "pdh/pdh.h"
#include "pdh/remote.h"

#include "net/host_settings.h"
#include "testing/LocalHttpServer.h"
#include "testing/TempSettingsStore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

namespace {

using zyn::pdh::detail::CatalogOf;
using zyn::pdh::detail::CMetricPage;
using zyn::pdh::detail::MachineAddress;
using zyn::pdh::detail::Scrape;
using zyn::test::LocalHttpServer;

std::int64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

std::string Fixture(const char* name) {
    std::ifstream in(std::string(ZYN_PDH_TEST_DATA) + "/" + name);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The n-th page of a machine with two CPUs, one disk (and a partition), a root file system (and a
// tmpfs) and one network interface. Between two pages: CPU 0 spends 1 s of 4 busy, CPU 1 3 s of 4;
// the disk reads 2 MiB; eth0 receives 1000 bytes.
std::string Page(int n) {
    std::ostringstream p;
    p << "# TYPE node_cpu_seconds_total counter\n";
    const double busy[2] = {1, 3};
    for (int cpu = 0; cpu < 2; ++cpu) {
        p << "node_cpu_seconds_total{cpu=\"" << cpu << "\",mode=\"idle\"} " << 1000 + n * (4 - busy[cpu])
          << "\n";
        p << "node_cpu_seconds_total{cpu=\"" << cpu << "\",mode=\"user\"} " << 500 + n * busy[cpu] << "\n";
        for (const char* mode : {"nice", "system", "iowait", "irq", "softirq", "steal"})
            p << "node_cpu_seconds_total{cpu=\"" << cpu << "\",mode=\"" << mode << "\"} 10\n";
    }
    p << "node_memory_MemTotal_bytes 8e+09\nnode_memory_MemFree_bytes 1e+09\n"
      << "node_memory_MemAvailable_bytes 2.097152e+09\n"
      << "node_disk_read_bytes_total{device=\"sda\"} " << 1e6 + n * 2097152.0 << "\n"
      << "node_disk_read_bytes_total{device=\"sda1\"} 5\n"
      << "node_disk_reads_completed_total{device=\"sda\"} " << 100 + n * 16 << "\n"
      << "node_disk_reads_completed_total{device=\"sda1\"} 5\n"
      << "node_filesystem_size_bytes{device=\"/dev/sda1\",fstype=\"ext4\",mountpoint=\"/\"} 1e+09\n"
      << "node_filesystem_free_bytes{device=\"/dev/sda1\",fstype=\"ext4\",mountpoint=\"/\"} 5e+08\n"
      << "node_filesystem_avail_bytes{device=\"/dev/sda1\",fstype=\"ext4\",mountpoint=\"/\"} 4e+08\n"
      << "node_filesystem_size_bytes{device=\"tmpfs\",fstype=\"tmpfs\",mountpoint=\"/run\"} 1e+08\n"
      << "node_network_receive_bytes_total{device=\"eth0\"} " << 5000 + n * 1000 << "\n"
      << "node_network_transmit_bytes_total{device=\"eth0\"} 7\n";
    return p.str();
}

// An exporter played by a local server: page n for its n-th request, slow or silent on demand.
class FakeExporter {
public:
    FakeExporter()
        : m_server([this](const LocalHttpServer::Request&) {
              LocalHttpServer::Reply r;
              if (m_hang.load()) {
                  r.hang = true;
                  return r;
              }
              r = LocalHttpServer::Answer(200, Page(m_page.fetch_add(1)));
              if (m_delayMs.load() > 0) {
                  r.pieces.insert(r.pieces.begin(), std::string());
                  r.pauseMs = m_delayMs.load();
              }
              return r;
          }) {}

    [[nodiscard]] std::u16string Path(const char16_t* rest) const {
        return u"\\\\127.0.0.1:" + std::u16string(Port16()) + rest;
    }
    [[nodiscard]] std::u16string Port16() const {
        const std::string port = std::to_string(m_server.Port());
        return {port.begin(), port.end()};
    }
    LocalHttpServer& Server() { return m_server; }
    void Hang(bool hang) { m_hang = hang; }
    void Delay(int ms) { m_delayMs = ms; }

private:
    std::atomic<int> m_page{0};
    std::atomic<bool> m_hang{false};
    std::atomic<int> m_delayMs{0};
    LocalHttpServer m_server;
};

struct Query {
    PDH_HQUERY q = nullptr;
    Query() { EXPECT_EQ(PdhOpenQueryW(nullptr, 0, &q), ERROR_SUCCESS); }
    ~Query() { PdhCloseQuery(q); }
    PDH_HCOUNTER Add(const std::u16string& path) {
        PDH_HCOUNTER c = nullptr;
        EXPECT_EQ(PdhAddCounterW(q, path.c_str(), 0, &c), ERROR_SUCCESS)
            << std::string(path.begin(), path.end());
        return c;
    }
};

// The counter's status and value after the last collection.
std::pair<DWORD, double> Read(PDH_HCOUNTER c) {
    PDH_FMT_COUNTERVALUE v{};
    PdhGetFormattedCounterValue(c, PDH_FMT_DOUBLE | PDH_FMT_NOSCALE, nullptr, &v);
    return {v.CStatus, v.doubleValue};
}

bool Valid(PDH_HCOUNTER c) {
    const DWORD s = Read(c).first;
    return s == PDH_CSTATUS_VALID_DATA || s == PDH_CSTATUS_NEW_DATA;
}

double MsSince(std::int64_t t0) {
    return static_cast<double>(NowNs() - t0) / 1e6;
}

TEST(RemoteMachine, NamesAreHostsWithAnOptionalPortAndNothingElse) {
    MachineAddress a;
    ASSERT_TRUE(zyn::pdh::detail::ParseMachineAddress("exporter.example", a));
    EXPECT_EQ(a.Key(), "exporter.example:9100");
    ASSERT_TRUE(zyn::pdh::detail::ParseMachineAddress("10.0.0.7:9200", a));
    EXPECT_EQ(a.Key(), "10.0.0.7:9200");
    ASSERT_TRUE(zyn::pdh::detail::ParseMachineAddress("[fe80::1]:19100", a));
    EXPECT_EQ(a.host, "fe80::1");
    EXPECT_EQ(a.Key(), "[fe80::1]:19100");
    for (const char* bad : {"user@host", "user:pw@host:9100", "host:0", "host:65536", "host:", "host:9x",
                            "[::1", "[::1]9100", "a b", "-host", "host/path", ":9100", "[zz]:1"})
        EXPECT_FALSE(zyn::pdh::detail::ParseMachineAddress(bad, a)) << bad;

    // Such a name is no machine, and nothing is asked of the network for it.
    PDH_HQUERY q = nullptr;
    ASSERT_EQ(PdhOpenQueryW(nullptr, 0, &q), ERROR_SUCCESS);
    PDH_HCOUNTER c = nullptr;
    EXPECT_EQ(PdhAddCounterW(q, u"\\\\me:secret@127.0.0.1:9100\\Memory\\Available MBytes", 0, &c),
              PDH_CSTATUS_NO_MACHINE);
    PdhCloseQuery(q);
    // A port makes even this machine's own name a remote one.
    EXPECT_TRUE(zyn::pdh::IsLocalMachineName(u"localhost"));
    EXPECT_FALSE(zyn::pdh::IsLocalMachineName(u"localhost:9100"));
}

TEST(RemoteCatalog, OffersWhatARealExporterPageFeedsAndNothingItLacks) {
    auto page = std::make_shared<CMetricPage>();
    std::string error;
    ASSERT_TRUE(page->Parse(Fixture("node_exporter_1.5.0.txt"), error)) << error;
    Scrape scrape;
    scrape.page = page;
    const auto catalog = CatalogOf(scrape);
    std::map<std::string, std::vector<std::string>> counters;
    std::map<std::string, std::vector<std::string>> instances;
    for (const auto& o : catalog->objects) {
        for (const auto* c : o.counters)
            counters[std::string(o.def->name)].emplace_back(c->name);
        for (const auto& i : o.sample.instances)
            instances[std::string(o.def->name)].push_back(i.name);
    }
    for (const char* object :
         {"Processor", "Memory", "System", "PhysicalDisk", "LogicalDisk", "Network Interface", "Paging File",
          "Pressure CPU", "Pressure Memory", "Pressure IO"})
        EXPECT_TRUE(counters.contains(object)) << object;
    // No exporter metric feeds these.
    EXPECT_FALSE(counters.contains("Process"));
    EXPECT_FALSE(counters.contains("Control Group"));

    const auto has = [&](const char* object, const char* counter) {
        const auto& list = counters[object];
        return std::find(list.begin(), list.end(), counter) != list.end();
    };
    EXPECT_TRUE(has("Processor", "% Processor Time"));
    EXPECT_TRUE(has("Processor", "Interrupts/sec"));
    EXPECT_TRUE(has("Memory", "Available MBytes"));
    EXPECT_TRUE(has("Memory", "Pages/sec"));
    EXPECT_TRUE(has("System", "Context Switches/sec"));
    EXPECT_TRUE(has("System", "System Up Time"));
    EXPECT_TRUE(has("System", "Processor Queue Length"));
    EXPECT_TRUE(has("PhysicalDisk", "Avg. Disk Queue Length"));
    EXPECT_TRUE(has("Network Interface", "Current Bandwidth"));
    EXPECT_TRUE(has("Pressure IO", "% Full Stall Time"));
    // The default collectors give no process or thread count and no stall averages: absent, not zero.
    EXPECT_FALSE(has("System", "Processes"));
    EXPECT_FALSE(has("System", "Threads"));
    EXPECT_FALSE(has("Pressure CPU", "Some Avg10"));
    EXPECT_FALSE(has("Pressure CPU", "% Full Stall Time"));

    const std::size_t cpus = page->Samples("node_cpu_seconds_total").size() / 8;
    ASSERT_EQ(instances["Processor"].size(), cpus + 1);
    EXPECT_EQ(instances["Processor"].front(), "0");
    EXPECT_EQ(instances["Processor"].back(), "_Total");
    EXPECT_EQ(instances["Paging File"], std::vector<std::string>{"_Total"});
    EXPECT_EQ(instances["LogicalDisk"], (std::vector<std::string>{"!", "_Total"}));
    // zram0 is left out as locally.
    EXPECT_EQ(instances["PhysicalDisk"], (std::vector<std::string>{"vda", "_Total"}));
}

TEST(RemoteCounters, TheLocalFormulasGiveTheirValuesFromTheExportersPages) {
    FakeExporter exporter;
    Query q;
    PDH_HCOUNTER total = q.Add(exporter.Path(u"\\Processor(_Total)\\% Processor Time"));
    PDH_HCOUNTER cpu1 = q.Add(exporter.Path(u"\\Processor(1)\\% User Time"));
    PDH_HCOUNTER avail = q.Add(exporter.Path(u"\\Memory\\Available MBytes"));
    PDH_HCOUNTER free = q.Add(exporter.Path(u"\\LogicalDisk(!)\\% Free Space"));
    PDH_HCOUNTER reads = q.Add(exporter.Path(u"\\PhysicalDisk(sda)\\Disk Read Bytes/sec"));
    PDH_HCOUNTER readsTotal = q.Add(exporter.Path(u"\\PhysicalDisk(_Total)\\Disk Reads/sec"));
    PDH_HCOUNTER rx = q.Add(exporter.Path(u"\\Network Interface(eth0)\\Bytes Received/sec"));

    ASSERT_EQ(PdhCollectQueryData(q.q), ERROR_SUCCESS);
    EXPECT_EQ(Read(total).first, static_cast<DWORD>(PDH_CSTATUS_INVALID_DATA)); // a rate needs two
    EXPECT_TRUE(Valid(avail));
    EXPECT_EQ(Read(avail).second, 2000.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(PdhCollectQueryData(q.q), ERROR_SUCCESS);

    EXPECT_DOUBLE_EQ(Read(total).second, 50.0); // (1 + 3) of (4 + 4)
    EXPECT_DOUBLE_EQ(Read(cpu1).second, 75.0);
    EXPECT_NEAR(Read(free).second, 100.0 * 4e8 / (1e9 - 5e8 + 4e8), 1e-9);
    // The rates run over the time between the two answers, as the exporter's own clock saw them.
    const auto requests = exporter.Server().Requests();
    ASSERT_GE(requests.size(), 2u);
    const double seconds =
        static_cast<double>(requests.back().receivedNs - requests[requests.size() - 2].receivedNs) / 1e9;
    EXPECT_NEAR(Read(reads).second, 2097152.0 / seconds, 0.15 * 2097152.0 / seconds);
    EXPECT_NEAR(Read(readsTotal).second, 16.0 / seconds, 0.15 * 16.0 / seconds);
    EXPECT_NEAR(Read(rx).second, 1000.0 / seconds, 150.0 / seconds);

    // The machine, as counter information reports it, is the one the path names.
    DWORD size = 0;
    ASSERT_EQ(PdhGetCounterInfoW(total, FALSE, &size, nullptr), PDH_MORE_DATA);
    std::vector<char> buffer(size);
    auto* info = reinterpret_cast<PDH_COUNTER_INFO_W*>(buffer.data());
    ASSERT_EQ(PdhGetCounterInfoW(total, FALSE, &size, info), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(info->CounterPath.szMachineName), u"\\\\127.0.0.1:" + exporter.Port16());
}

TEST(RemoteCounters, WhatTheMachineDoesNotServeIsRefusedAsPdhRefusesIt) {
    FakeExporter exporter;
    EXPECT_EQ(PdhValidatePathW(exporter.Path(u"\\Processor(0)\\% Processor Time").c_str()),
              PDH_CSTATUS_VALID_DATA);
    EXPECT_EQ(PdhValidatePathW(exporter.Path(u"\\Processor(7)\\% Processor Time").c_str()),
              PDH_CSTATUS_NO_INSTANCE);
    EXPECT_EQ(PdhValidatePathW(exporter.Path(u"\\PhysicalDisk(sda1)\\Disk Reads/sec").c_str()),
              PDH_CSTATUS_NO_INSTANCE);
    EXPECT_EQ(PdhValidatePathW(exporter.Path(u"\\LogicalDisk(!run)\\% Free Space").c_str()),
              PDH_CSTATUS_NO_INSTANCE);
    EXPECT_EQ(PdhValidatePathW(exporter.Path(u"\\Process(bash)\\% Processor Time").c_str()),
              PDH_CSTATUS_NO_OBJECT);
    EXPECT_EQ(PdhValidatePathW(exporter.Path(u"\\Pressure IO\\% Some Stall Time").c_str()),
              PDH_CSTATUS_NO_OBJECT);
    // The page has no scheduler figures: no System object at all, rather than one of zeros.
    EXPECT_EQ(PdhValidatePathW(exporter.Path(u"\\System\\Processor Queue Length").c_str()),
              PDH_CSTATUS_NO_OBJECT);
    EXPECT_EQ(PdhValidatePathW(exporter.Path(u"\\Memory\\Pages/sec").c_str()), PDH_CSTATUS_NO_COUNTER);
    EXPECT_EQ(PdhValidatePathW(exporter.Path(u"\\Memory\\No Such Counter").c_str()), PDH_CSTATUS_NO_COUNTER);

    const auto description =
        zyn::pdh::DescribeMachine(u"\\\\127.0.0.1:" + exporter.Port16(), PERF_DETAIL_WIZARD);
    ASSERT_EQ(description.status, PDH_CSTATUS_VALID_DATA);
    std::vector<std::u16string> objects;
    for (const auto& o : description.objects)
        objects.push_back(o.object.name);
    EXPECT_EQ(objects, (std::vector<std::u16string>{u"Processor", u"Memory", u"PhysicalDisk", u"LogicalDisk",
                                                    u"Network Interface"}));
    // At novice level the advanced counters stay out, as locally.
    const auto novice = zyn::pdh::DescribeMachine(u"127.0.0.1:" + exporter.Port16(), PERF_DETAIL_NOVICE);
    for (const auto& o : novice.objects)
        for (const auto& c : o.counters)
            EXPECT_LE(c.detailLevel, static_cast<DWORD>(PERF_DETAIL_NOVICE))
                << std::string(c.name.begin(), c.name.end());

    const int closed = zyn::test::FreeLocalPort();
    const std::string port = std::to_string(closed);
    const auto gone = zyn::pdh::DescribeMachine(u"127.0.0.1:" + std::u16string(port.begin(), port.end()),
                                                PERF_DETAIL_WIZARD);
    EXPECT_EQ(gone.status, PDH_CSTATUS_NO_MACHINE);
    EXPECT_NE(gone.error.find(u"127.0.0.1:" + std::u16string(port.begin(), port.end())),
              std::u16string::npos);
}

TEST(RemoteCollection, OneScrapePerMachineWhateverTheNumberOfCounters) {
    FakeExporter a, b;
    Query q;
    std::vector<PDH_HCOUNTER> counters;
    for (FakeExporter* e : {&a, &b}) {
        for (const char16_t* cpu : {u"0", u"1", u"_Total"})
            for (const char16_t* name :
                 {u"% Processor Time", u"% User Time", u"% Idle Time", u"% Privileged Time"})
                counters.push_back(
                    q.Add(e->Path((u"\\Processor(" + std::u16string(cpu) + u")\\" + name).c_str())));
        counters.push_back(q.Add(e->Path(u"\\Memory\\Available MBytes")));
        counters.push_back(q.Add(e->Path(u"\\PhysicalDisk(sda)\\Disk Read Bytes/sec")));
    }
    const int before[2] = {a.Server().RequestCount(), b.Server().RequestCount()};
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(PdhCollectQueryData(q.q), ERROR_SUCCESS);
    EXPECT_EQ(a.Server().RequestCount() - before[0], 3);
    EXPECT_EQ(b.Server().RequestCount() - before[1], 3);
    for (PDH_HCOUNTER c : counters)
        EXPECT_TRUE(Valid(c));
}

TEST(RemoteCollection, UnannouncedCollectionsScrapeTheMachinesInParallel) {
    FakeExporter a, b, c;
    Query q;
    for (FakeExporter* e : {&a, &b, &c})
        q.Add(e->Path(u"\\Memory\\Available MBytes"));
    for (FakeExporter* e : {&a, &b, &c})
        e->Delay(300);
    const std::int64_t t0 = NowNs();
    ASSERT_EQ(PdhCollectQueryData(q.q), ERROR_SUCCESS);
    EXPECT_LT(MsSince(t0), 800); // one after another: 900 ms
}

TEST(RemoteCollection, AnnouncedCollectionsFindTheScrapeDoneAndDoNotWait) {
    FakeExporter exporter;
    Query q;
    PDH_HCOUNTER cpu = q.Add(exporter.Path(u"\\Processor(_Total)\\% Processor Time"));
    ASSERT_EQ(PdhCollectQueryData(q.q), ERROR_SUCCESS); // the baseline, unannounced
    for (int i = 0; i < 3; ++i) {
        const std::int64_t announced = NowNs();
        ASSERT_EQ(zyn::pdh::ScheduleCollection(q.q, 400), ERROR_SUCCESS);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        const std::int64_t due = NowNs();
        ASSERT_EQ(PdhCollectQueryData(q.q), ERROR_SUCCESS);
        EXPECT_LT(MsSince(due), 50);
        EXPECT_TRUE(Valid(cpu)) << i;
        EXPECT_DOUBLE_EQ(Read(cpu).second, 50.0);
        // The scrape ran before the collection, no earlier than its time limit (half the interval).
        const std::int64_t asked = exporter.Server().Requests().back().receivedNs;
        EXPECT_LT(asked, due);
        EXPECT_GE(asked, announced + 200'000'000 - 20'000'000);
    }
}

TEST(RemoteCollection, AMachineThatHangsOrIsGoneReadsNoDataWithoutHoldingUpTheCollectionAndComesBack) {
    FakeExporter exporter;
    Query q;
    PDH_HCOUNTER cpu = q.Add(exporter.Path(u"\\Processor(_Total)\\% Processor Time"));
    PDH_HCOUNTER mem = q.Add(exporter.Path(u"\\Memory\\Available MBytes"));
    const auto collectOnTime = [&] {
        ASSERT_EQ(zyn::pdh::ScheduleCollection(q.q, 300), ERROR_SUCCESS);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const std::int64_t due = NowNs();
        ASSERT_EQ(PdhCollectQueryData(q.q), ERROR_SUCCESS);
        EXPECT_LT(MsSince(due), 50) << "the collection waited for the machine";
    };
    ASSERT_EQ(PdhCollectQueryData(q.q), ERROR_SUCCESS);
    collectOnTime();
    ASSERT_TRUE(Valid(cpu));

    exporter.Hang(true);
    for (int i = 0; i < 4; ++i) {
        collectOnTime();
        EXPECT_EQ(Read(cpu).first, static_cast<DWORD>(PDH_NO_DATA)) << i;
        EXPECT_EQ(Read(mem), std::make_pair(static_cast<DWORD>(PDH_NO_DATA), 0.0)) << i;
    }
    exporter.Hang(false);
    bool back = false;
    for (int i = 0; i < 4 && !back; ++i) {
        collectOnTime();
        back = Valid(cpu) && Valid(mem);
    }
    EXPECT_TRUE(back);
    // The baseline from before the outage still counts: the first value after it is a rate already.
    EXPECT_DOUBLE_EQ(Read(cpu).second, 50.0);
}

TEST(RemoteCollection, AMachineThatRefusesConnectionsReadsNoMachine) {
    Query q;
    PDH_HCOUNTER c = nullptr;
    {
        FakeExporter exporter;
        c = q.Add(exporter.Path(u"\\Memory\\Available MBytes"));
        ASSERT_EQ(PdhCollectQueryData(q.q), ERROR_SUCCESS);
        ASSERT_TRUE(Valid(c));
    } // the exporter is gone, its port closed
    ASSERT_EQ(zyn::pdh::ScheduleCollection(q.q, 300), ERROR_SUCCESS);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(PdhCollectQueryData(q.q), ERROR_SUCCESS);
    EXPECT_EQ(Read(c).first, static_cast<DWORD>(PDH_CSTATUS_NO_MACHINE));
    const std::int64_t t0 = NowNs();
    ASSERT_EQ(PdhCollectQueryData(q.q), ERROR_SUCCESS); // unannounced: refused at once, not after a wait
    EXPECT_LT(MsSince(t0), 500);
    EXPECT_EQ(Read(c).first, static_cast<DWORD>(PDH_CSTATUS_NO_MACHINE));
}

TEST(RemoteCollection, TheSchemeAndCredentialsComeFromTheSettingsStore) {
    zyn::test::TempSettingsStore store;
    FakeExporter exporter;
    const std::string key = "127.0.0.1:" + std::to_string(exporter.Server().Port());
    zyn::net::HostSettings settings;
    settings.credentials.bearerToken = "exporter-token";
    ASSERT_TRUE(zyn::net::SaveHostSettings(key, settings));
    Query q;
    PDH_HCOUNTER c = q.Add(exporter.Path(u"\\Memory\\Available MBytes"));
    ASSERT_EQ(PdhCollectQueryData(q.q), ERROR_SUCCESS);
    EXPECT_TRUE(Valid(c));
    EXPECT_EQ(exporter.Server().Requests().back().Header("Authorization"), "Bearer exporter-token");
    EXPECT_EQ(exporter.Server().Requests().back().target, "/metrics");

    // Told to speak TLS, it will not fall back to plain text with a server that cannot.
    settings.https = true;
    ASSERT_TRUE(zyn::net::SaveHostSettings(key, settings));
    Query tls;
    PDH_HCOUNTER refused = nullptr;
    EXPECT_EQ(PdhAddCounterW(tls.q, exporter.Path(u"\\Processor(0)\\% Processor Time").c_str(), 0, &refused),
              ERROR_SUCCESS); // the catalogue of the plain-text scrape is still fresh
    ASSERT_EQ(PdhCollectQueryData(tls.q), ERROR_SUCCESS);
    EXPECT_EQ(Read(refused).first, static_cast<DWORD>(PDH_CSTATUS_NO_MACHINE));
}

} // namespace
