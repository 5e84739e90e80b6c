#pragma once
// The query and collection engine: a query owns its counters, one collector per object in use and
// the kept source files; a collection reads each source once and moves every counter's raw values
// on by one step (current becomes previous).

#include "catalog.h"
#include "counter_path.h"
#include "pdh.h"
#include "remote.h"
#include "source_cache.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zyn::pdh::detail {

// Resolves a path against the catalogue. With checkInstance the instance must exist now
// (validation); without it only the shape is checked (adding a counter). A remote machine's path is
// checked against what its exporter offers (one scrape, shared with the browser), and `remote`
// receives its address.
[[nodiscard]] PDH_STATUS ResolvePath(std::string_view text, const SourceConfig& config, bool checkInstance,
                                     CounterPath& path, const ObjectDef*& object, const CounterDef*& counter,
                                     std::optional<MachineAddress>* remote = nullptr);

} // namespace zyn::pdh::detail

struct ZynPdhCounter {
    ZynPdhQuery* query = nullptr;
    const zyn::pdh::detail::ObjectDef* object = nullptr;
    const zyn::pdh::detail::CounterDef* def = nullptr;
    zyn::pdh::detail::CounterPath path;
    std::string instanceKey;
    DWORD_PTR userData = 0;
    std::size_t slot = 0;

    // Raw values of the previous collection.
    std::vector<double> prev;
    std::uint64_t prevIdentity = 0;
    std::int64_t prevTimeNs = 0;
    bool hasPrev = false;
    std::size_t instanceHint = 0;

    // The outcome of the last collection.
    bool collected = false;
    bool validSinceBaseline = false;
    PDH_STATUS status = PDH_CSTATUS_INVALID_DATA;
    double value = 0;
    double peak = 0;
    bool hasPeak = false;

    void Update(const zyn::pdh::detail::ObjectSample& sample, double clockTicks);

private:
    const zyn::pdh::detail::InstanceSample* FindInstance(const zyn::pdh::detail::ObjectSample& sample);
    void Baseline(const zyn::pdh::detail::InstanceSample& inst, std::int64_t timeNs);
    void Lost(PDH_STATUS why);
};

struct ZynPdhQuery {
    explicit ZynPdhQuery(zyn::pdh::SourceConfig sources, DWORD_PTR user);

    PDH_STATUS AddCounter(std::string_view path, DWORD_PTR user, ZynPdhCounter*& counter);
    void RemoveCounter(ZynPdhCounter* counter);
    PDH_STATUS Collect();
    // Reads the sources of one counter's object and moves only that counter on; the query's other
    // counters keep their values and baselines. A remote counter takes its baseline at the next
    // collection instead: scraping here would hold up the caller.
    PDH_STATUS CollectOne(ZynPdhCounter* counter);
    // The next collection is due in `dueInMs`: remote machines are scraped just before it.
    void ScheduleCollection(DWORD dueInMs);
    // The machine a counter reads, as `\\name` paths write it.
    [[nodiscard]] std::string MachineOf(const ZynPdhCounter* counter) const;

    zyn::pdh::SourceConfig config;
    DWORD_PTR userData = 0;
    std::vector<std::unique_ptr<ZynPdhCounter>> counters;
    // Every call on the query or its counters holds this lock: a sampling thread collects while
    // client threads add, remove and read counters of the same query. Queries of different charts
    // never wait on each other.
    std::mutex lock;
    bool closed = false;

private:
    struct Slot {
        const zyn::pdh::detail::ObjectDef* object = nullptr;
        std::unique_ptr<zyn::pdh::detail::CObjectCollector> collector;
        zyn::pdh::detail::ObjectSample sample;
        int remote = -1; // index into m_remotes, or -1 for this machine
    };
    [[nodiscard]] std::uint32_t NeedsOf(std::size_t slot) const;
    [[nodiscard]] std::vector<bool> RemotesInUse() const;
    [[nodiscard]] bool CollectionIsScheduled(std::int64_t nowNs) const;
    void FeedRemoteSlot(Slot& slot, const zyn::pdh::detail::Scrape& scrape);

    std::vector<Slot> m_slots;
    zyn::pdh::detail::CSourceCache m_cache;
    double m_clockTicks = 100;
    double m_pageSize = 4096;

    // Remote machines in use, one source each, and the schedule of the next collection.
    std::vector<std::unique_ptr<zyn::pdh::detail::CRemoteSource>> m_remotes;
    std::uint64_t m_generation = 0;
    std::int64_t m_dueNs = 0; // 0: nothing scheduled
    std::int64_t m_intervalNs = 0;
    int m_limitMs = 2000; // a scrape's time limit: half the interval, once one is known
};
