// Queries used from several threads: each query has its own lock, so a slow collection holds up
// only the calls on that query, and a query closed or a counter removed while another thread is
// inside a call on it is never freed under that call.

#include "snapshot_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace zyn::pdh::test {
namespace {

using namespace std::chrono_literals;

// A file system that answers statvfs only when the test lets it: a collection of LogicalDisk then
// stays inside its query for as long as the test wants.
class CGate {
public:
    void Wait() {
        std::unique_lock lock(m_mutex);
        m_entered = true;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_open; });
    }
    bool WaitEntered(std::chrono::milliseconds limit) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_entered; });
    }
    void Open() {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_entered = false;
    bool m_open = false;
};

SourceConfig GatedConfig(const CSnapshotRoot& root, const std::shared_ptr<CGate>& gate) {
    SourceConfig config = root.Config();
    config.statFs = [gate](const std::string&, FsUsage& usage) {
        gate->Wait();
        usage = {1000, 500, 400, 4096};
        return true;
    };
    return config;
}

struct BlockedCollection {
    PDH_HQUERY query = nullptr;
    PDH_HCOUNTER counter = nullptr;
    std::future<PDH_STATUS> result;
};

// Starts a collection of a LogicalDisk counter on another thread and returns once it is inside.
BlockedCollection StartBlockedCollection(const CSnapshotRoot& root, const std::shared_ptr<CGate>& gate) {
    BlockedCollection b;
    EXPECT_EQ(OpenQueryWithSources(GatedConfig(root, gate), 0, &b.query), ERROR_SUCCESS);
    EXPECT_EQ(PdhAddCounterW(b.query, u"\\LogicalDisk(!)\\Free Megabytes", 0, &b.counter), ERROR_SUCCESS);
    b.result = std::async(std::launch::async, [q = b.query] { return PdhCollectQueryData(q); });
    EXPECT_TRUE(gate->WaitEntered(10s));
    return b;
}

TEST(Concurrency, ASlowCollectionHoldsUpOnlyItsOwnQuery) {
    CSnapshotRoot root;
    root.Apply("snap1");
    auto gate = std::make_shared<CGate>();
    BlockedCollection slow = StartBlockedCollection(root, gate);

    // Every call on another query completes while the slow one is still inside its collection.
    auto other = std::async(std::launch::async, [&] {
        CSnapshotQuery query(root);
        PDH_HCOUNTER c = query.Add(u"\\Memory\\Available KBytes");
        query.Collect();
        const Reading r = CSnapshotQuery::Read(c);
        DWORD size = 0;
        PdhGetCounterInfoW(c, TRUE, &size, nullptr);
        EXPECT_EQ(PdhRemoveCounter(c), ERROR_SUCCESS);
        return r.value;
    });
    const bool finished = other.wait_for(10s) == std::future_status::ready;
    gate->Open();
    EXPECT_TRUE(finished) << "a collection of one query blocked a call on another query";
    EXPECT_EQ(other.get(), 24442056.0);
    EXPECT_EQ(slow.result.get(), ERROR_SUCCESS);
    EXPECT_EQ(PdhCloseQuery(slow.query), ERROR_SUCCESS);
}

TEST(Concurrency, CallsOnABusyQueryWaitAndThenSeeWhatHappenedMeanwhile) {
    CSnapshotRoot root;
    root.Apply("snap1");
    auto gate = std::make_shared<CGate>();
    BlockedCollection busy = StartBlockedCollection(root, gate);

    // A read and a removal of the counter, and then a close of the query, all wait for the
    // collection; the read that comes after the removal finds the handle gone, not freed memory.
    auto remove = std::async(std::launch::async, [&] { return PdhRemoveCounter(busy.counter); });
    EXPECT_EQ(remove.wait_for(100ms), std::future_status::timeout) << "removed during a collection";
    gate->Open();
    EXPECT_EQ(busy.result.get(), ERROR_SUCCESS);
    EXPECT_EQ(remove.get(), ERROR_SUCCESS);
    PDH_FMT_COUNTERVALUE v{};
    EXPECT_EQ(PdhGetFormattedCounterValue(busy.counter, PDH_FMT_DOUBLE, nullptr, &v), PDH_INVALID_HANDLE);
    EXPECT_EQ(PdhCollectQueryData(busy.query), PDH_NO_DATA);
    EXPECT_EQ(PdhCloseQuery(busy.query), ERROR_SUCCESS);
    EXPECT_EQ(PdhCollectQueryData(busy.query), PDH_INVALID_HANDLE);
}

TEST(Concurrency, QueryClosedWhileAnotherThreadCollectsIt) {
    CSnapshotRoot root;
    root.Apply("snap1");
    auto gate = std::make_shared<CGate>();
    BlockedCollection busy = StartBlockedCollection(root, gate);
    auto close = std::async(std::launch::async, [&] { return PdhCloseQuery(busy.query); });
    auto waiting = std::async(std::launch::async, [&] {
        std::this_thread::sleep_for(20ms);
        return PdhCollectQueryData(busy.query); // queued behind the collection and the close
    });
    std::this_thread::sleep_for(50ms);
    gate->Open();
    EXPECT_EQ(busy.result.get(), ERROR_SUCCESS) << "the collection in progress finishes on a live query";
    EXPECT_EQ(close.get(), ERROR_SUCCESS);
    const PDH_STATUS late = waiting.get();
    EXPECT_TRUE(late == PDH_INVALID_HANDLE || late == ERROR_SUCCESS) << late;
    EXPECT_EQ(PdhCollectQueryData(busy.query), PDH_INVALID_HANDLE);
    PDH_FMT_COUNTERVALUE v{};
    EXPECT_EQ(PdhGetFormattedCounterValue(busy.counter, PDH_FMT_DOUBLE, nullptr, &v), PDH_INVALID_HANDLE);
}

// Sampling threads and client threads on shared queries without pause; the thread-sanitizer build
// is where a missing lock shows up.
TEST(Concurrency, ChurnOnSharedQueries) {
    CSnapshotRoot root;
    root.Apply("snap1");
    std::vector<PDH_HQUERY> queries(2);
    for (auto& q : queries)
        ASSERT_EQ(OpenQueryWithSources(root.Config(), 0, &q), ERROR_SUCCESS);
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (PDH_HQUERY q : queries) {
        PDH_HCOUNTER keep = nullptr;
        ASSERT_EQ(PdhAddCounterW(q, u"\\Processor(_Total)\\% Processor Time", 0, &keep), ERROR_SUCCESS);
        threads.emplace_back([&stop, q] {
            while (!stop.load())
                (void)PdhCollectQueryData(q);
        });
        threads.emplace_back([&stop, q] {
            const char16_t* paths[] = {u"\\Process(_Total)\\% Processor Time", u"\\System\\Processes",
                                       u"\\PhysicalDisk(vda)\\Disk Reads/sec"};
            for (int i = 0; !stop.load(); ++i) {
                PDH_HCOUNTER c = nullptr;
                if (PdhAddCounterW(q, paths[i % 3], 0, &c) != ERROR_SUCCESS) continue;
                (void)CollectCounterData(c);
                PDH_FMT_COUNTERVALUE v{};
                (void)PdhGetFormattedCounterValue(c, PDH_FMT_DOUBLE, nullptr, &v);
                EXPECT_EQ(PdhRemoveCounter(c), ERROR_SUCCESS);
            }
        });
    }
    std::this_thread::sleep_for(300ms);
    stop = true;
    for (auto& t : threads)
        t.join();
    for (PDH_HQUERY q : queries)
        EXPECT_EQ(PdhCloseQuery(q), ERROR_SUCCESS);
}

} // namespace
} // namespace zyn::pdh::test
