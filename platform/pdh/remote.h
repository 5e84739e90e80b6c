#pragma once
// Remote machines: a counter path `\\HOST\…` or `\\HOST:PORT\…` (port 9100 when absent) that names
// another machine is served from that machine's Prometheus node_exporter. One scrape of its
// `/metrics` page feeds every counter of the machine in a collection; the page's metric families are
// turned into the same raw fields the local collectors read, so the same formulas, names and rate
// rules apply.
//
// Scrapes never hold up a chart: a query told when its next collection is due scrapes its machines
// just before, in parallel, with a time limit shorter than the interval; a collection takes what has
// arrived, and a machine that has not answered reads PDH_NO_DATA (slow) or PDH_CSTATUS_NO_MACHINE
// (unreachable) for that collection only.

#include "catalog.h"
#include "exposition.h"
#include "net/http.h"
#include "pdh.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zyn::pdh::detail {

inline constexpr int kDefaultExporterPort = 9100;

struct MachineAddress {
    std::string host; // IPv6 literals without brackets
    int port = kDefaultExporterPort;
    // `host:port` (IPv6 in brackets): how settings, messages and caches name the machine.
    [[nodiscard]] std::string Key() const;
};

// `HOST` or `HOST:PORT`, with IPv6 literals in brackets. False for anything else: user names and
// passwords, paths, spaces, ports outside 1…65535.
[[nodiscard]] bool ParseMachineAddress(std::string_view machine, MachineAddress& out);

// The outcome of one scrape.
struct Scrape {
    std::shared_ptr<const CMetricPage> page; // null when the scrape failed
    PDH_STATUS status = PDH_CSTATUS_NO_MACHINE;
    std::string error;        // why it failed, in words
    std::int64_t timeNs = 0;  // CLOCK_MONOTONIC when the exporter's answer began
    std::int64_t startNs = 0; // when the request went out
    std::uint64_t generation = 0;
};

// One scrape now, waited for.
[[nodiscard]] Scrape ScrapeNow(const MachineAddress& address, int timeoutMs);

// What a remote machine offers, read from one scrape: the objects its exporter feeds, with the
// counters whose fields the page holds and the instances it names.
struct RemoteCatalog {
    struct Object {
        const ObjectDef* def = nullptr;
        ObjectSample sample;
        std::vector<const CounterDef*> counters;
    };
    Scrape scrape;
    std::vector<Object> objects;

    [[nodiscard]] const Object* Find(const ObjectDef* def) const;
    [[nodiscard]] bool HasCounter(const ObjectDef* def, const CounterDef* counter) const;
};

// The catalogue from a recent scrape of the machine (a few seconds old at most), or a new scrape
// when `fresh` or there is none: browsing, validating and adding a machine's counters cost one
// scrape between them.
[[nodiscard]] std::shared_ptr<const RemoteCatalog> DescribeRemote(const MachineAddress& address,
                                                                  bool fresh = false);

// Builds the catalogue of a page (the part of DescribeRemote that needs no network).
[[nodiscard]] std::shared_ptr<RemoteCatalog> CatalogOf(Scrape scrape);

// One query's scrapes of one machine.
class CRemoteSource {
public:
    explicit CRemoteSource(MachineAddress address);
    ~CRemoteSource();
    CRemoteSource(const CRemoteSource&) = delete;
    CRemoteSource& operator=(const CRemoteSource&) = delete;

    [[nodiscard]] const MachineAddress& Address() const { return m_address; }

    // Scrapes for the collection `generation`, due at `dueNs`: started early enough that a machine
    // answering as fast as it has lately is done by then, with `limitMs` as its time limit. Skipped
    // while an earlier scrape is still under way (one at a time per machine).
    void Schedule(std::uint64_t generation, std::int64_t dueNs, int limitMs);
    // The scrape made for `generation`, waiting at most `graceNs` for one under way. PDH_NO_DATA when
    // none was made or it has not arrived.
    [[nodiscard]] Scrape TakeScheduled(std::uint64_t generation, std::int64_t graceNs);

    // An unscheduled collection: StartNow on every machine first, then Await each, so that they
    // overlap.
    void StartNow(int limitMs);
    [[nodiscard]] Scrape Await();

    // Cancels what is under way or waiting to start.
    void Cancel();

private:
    struct State;
    void Submit(std::uint64_t generation, std::int64_t notBeforeNs, int limitMs);

    MachineAddress m_address;
    zyn::net::HttpRequest m_request; // with the machine's scheme and credentials from the settings store
    std::shared_ptr<State> m_state;
};

} // namespace zyn::pdh::detail
