// Query lifecycle, statuses and formatting.

#include "snapshot_fixture.h"

#include <gtest/gtest.h>

namespace zyn::pdh::test {
namespace {

TEST(Query, RateCounterIsNotValidAfterOneCollection) {
    CSnapshotRoot root;
    root.Apply("snap1");
    CSnapshotQuery query(root);
    PDH_HCOUNTER rate = query.Add(u"\\Processor(_Total)\\% Processor Time");
    PDH_HCOUNTER instant = query.Add(u"\\Memory\\Available KBytes");

    Reading r = CSnapshotQuery::Read(rate);
    EXPECT_EQ(r.result, PDH_INVALID_DATA) << "nothing collected yet";

    query.Collect();
    r = CSnapshotQuery::Read(rate);
    EXPECT_EQ(r.result, PDH_INVALID_DATA);
    EXPECT_EQ(r.status, static_cast<DWORD>(PDH_CSTATUS_INVALID_DATA));
    EXPECT_EQ(r.value, 0.0);
    r = CSnapshotQuery::Read(instant);
    EXPECT_EQ(r.result, ERROR_SUCCESS);
    EXPECT_EQ(r.status, static_cast<DWORD>(PDH_CSTATUS_NEW_DATA)) << "first value of the counter";
    EXPECT_EQ(r.value, 24442056.0);

    root.Apply("snap2");
    root.AdvanceSeconds(10);
    query.Collect();
    r = CSnapshotQuery::Read(rate);
    EXPECT_EQ(r.result, ERROR_SUCCESS);
    EXPECT_EQ(r.status, static_cast<DWORD>(PDH_CSTATUS_NEW_DATA));
    EXPECT_DOUBLE_EQ(r.value, 37.5);
    EXPECT_EQ(CSnapshotQuery::Read(instant).status, static_cast<DWORD>(PDH_CSTATUS_VALID_DATA));

    root.AdvanceSeconds(10);
    query.Collect(); // same files: no ticks elapsed, so no valid share
    EXPECT_EQ(CSnapshotQuery::Read(rate).status, static_cast<DWORD>(PDH_CSTATUS_INVALID_DATA));
}

TEST(Query, FormatsAsLongLargeAndScaled) {
    CSnapshotRoot root;
    root.Apply("snap1");
    CSnapshotQuery query(root);
    PDH_HCOUNTER bytes = query.Add(u"\\Memory\\Available Bytes"); // default scale −6
    query.Collect();
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(bytes, PDH_FMT_DOUBLE).value, 24442056.0 * 1024 * 1e-6);
    EXPECT_EQ(CSnapshotQuery::Read(bytes, PDH_FMT_LARGE | PDH_FMT_NOSCALE).value, 24442056.0 * 1024);
    EXPECT_EQ(CSnapshotQuery::Read(bytes, PDH_FMT_LONG).value, 25028);
    PDH_FMT_COUNTERVALUE v{};
    EXPECT_EQ(PdhGetFormattedCounterValue(bytes, PDH_FMT_LONG | PDH_FMT_DOUBLE, nullptr, &v),
              PDH_INVALID_ARGUMENT);
    DWORD type = 0;
    EXPECT_EQ(PdhGetFormattedCounterValue(bytes, PDH_FMT_DOUBLE, &type, &v), ERROR_SUCCESS);
    EXPECT_EQ(type, PERF_COUNTER_LARGE_RAWCOUNT);
}

TEST(Query, AddRemoveCloseAndBadHandles) {
    CSnapshotRoot root;
    root.Apply("snap1");
    PDH_HQUERY query = nullptr;
    ASSERT_EQ(OpenQueryWithSources(root.Config(), 0, &query), ERROR_SUCCESS);
    EXPECT_EQ(PdhCollectQueryData(query), PDH_NO_DATA) << "no counters";
    PDH_HCOUNTER c = nullptr;
    EXPECT_EQ(PdhAddCounterW(query, u"\\Nothing\\X", 0, &c), PDH_CSTATUS_NO_OBJECT);
    EXPECT_EQ(PdhAddCounterW(query, u"\\Memory\\X", 0, &c), PDH_CSTATUS_NO_COUNTER);
    EXPECT_EQ(PdhAddCounterW(query, u"\\\\elsewhere-zyn\\Memory\\Available MBytes", 0, &c),
              PDH_CSTATUS_NO_MACHINE);
    EXPECT_EQ(PdhAddCounterW(query, u"Memory", 0, &c), PDH_CSTATUS_BAD_COUNTERNAME);
    ASSERT_EQ(PdhAddCounterW(query, u"\\Memory\\Available MBytes", 0, &c), ERROR_SUCCESS);
    EXPECT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
    EXPECT_EQ(PdhRemoveCounter(c), ERROR_SUCCESS);
    EXPECT_EQ(PdhRemoveCounter(c), PDH_INVALID_HANDLE);
    PDH_FMT_COUNTERVALUE v{};
    EXPECT_EQ(PdhGetFormattedCounterValue(c, PDH_FMT_DOUBLE, nullptr, &v), PDH_INVALID_HANDLE);
    ASSERT_EQ(PdhAddCounterW(query, u"\\Memory\\Available MBytes", 0, &c), ERROR_SUCCESS);
    EXPECT_EQ(PdhCloseQuery(query), ERROR_SUCCESS);
    EXPECT_EQ(PdhCloseQuery(query), PDH_INVALID_HANDLE);
    EXPECT_EQ(PdhRemoveCounter(c), PDH_INVALID_HANDLE) << "closing the query released its counters";
    EXPECT_EQ(PdhOpenQueryW(u"some.blg", 0, &query), PDH_INVALID_ARGUMENT) << "no log files";
}

TEST(Query, PercentagesAreCappedUnlessAsked) {
    CSnapshotRoot root;
    root.Apply("snap1");
    CSnapshotQuery query(root);
    PDH_HCOUNTER committed = query.Add(u"\\Memory\\% Committed Bytes In Use");
    root.Write("proc/meminfo",
               "MemTotal: 1000 kB\nMemFree: 10 kB\nCommitLimit: 1000 kB\nCommitted_AS: 1500 kB\n");
    query.Collect();
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(committed).value, 100.0);
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(committed, PDH_FMT_DOUBLE | PDH_FMT_NOCAP100).value, 150.0);
}

// A counter added to a query in use takes its baseline on its own: the query's other counters keep
// the value of the last collection and the interval they are in.
TEST(Query, CollectingOneCounterLeavesTheOthersAlone) {
    CSnapshotRoot root;
    root.Apply("snap1");
    CSnapshotQuery query(root);
    PDH_HCOUNTER total = query.Add(u"\\Processor(_Total)\\% Processor Time");
    PDH_HCOUNTER procs = query.Add(u"\\Process(_Total)\\% Processor Time");
    query.Collect();
    root.Apply("snap2");
    root.AdvanceSeconds(10);
    query.Collect();
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(total).value, 37.5);

    // Halfway to a third state, a new counter joins and is primed alone.
    root.Write("proc/stat",
               "cpu  1600 200 750 9900 250 60 70 170 0 0\ncpu0 900 50 400 4850 150 35 45 70 0 0\n"
               "cpu1 700 150 350 5050 100 25 25 100 0 0\n");
    root.AdvanceSeconds(5);
    PDH_HCOUNTER cpu0 = query.Add(u"\\Processor(0)\\% Processor Time");
    EXPECT_EQ(CollectCounterData(cpu0), ERROR_SUCCESS);
    EXPECT_EQ(CSnapshotQuery::Read(cpu0).status, static_cast<DWORD>(PDH_CSTATUS_INVALID_DATA))
        << "a baseline";
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(total).value, 37.5) << "the others keep their last value";

    root.Write("proc/stat",
               "cpu  1800 200 850 10600 250 60 70 170 0 0\ncpu0 1000 50 450 5200 150 35 45 70 0 0\n"
               "cpu1 800 150 400 5400 100 25 25 100 0 0\n");
    root.AdvanceSeconds(5);
    query.Collect();
    // _Total from snap2: +400 user, +200 system, +1400 idle; cpu0 from the priming: +100 user,
    // +50 system, +350 idle; Process(_Total): +600 ticks over 10 s.
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(total).value, 100.0 * 600 / 2000);
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(cpu0).value, 100.0 * 150 / 500);
    EXPECT_DOUBLE_EQ(CSnapshotQuery::Read(procs, PDH_FMT_DOUBLE | PDH_FMT_NOCAP100).value,
                     100.0 * 600 / 1000);
    EXPECT_EQ(CollectCounterData(nullptr), PDH_INVALID_HANDLE);
}

} // namespace
} // namespace zyn::pdh::test
