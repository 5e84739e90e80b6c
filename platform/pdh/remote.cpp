#include "remote.h"

#include "net/host_settings.h"
#include "net/http.h"
#include "source_cache.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

namespace zyn::pdh::detail {
namespace {

constexpr std::size_t kMaxPageBytes = 16u << 20;
constexpr int kDescribeTimeoutMs = 3000;
constexpr std::int64_t kCatalogFreshNs = 10'000'000'000; // a catalogue that answered
constexpr std::int64_t kFailureFreshNs = 3'000'000'000;  // one that did not
constexpr std::size_t kMaxCachedMachines = 64;
constexpr std::int64_t kMs = 1'000'000;

bool HostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

std::string MetricsUrl(const MachineAddress& address, bool https) {
    return std::string(https ? "https://" : "http://") + zyn::net::HostPort(address.host, address.port) +
           "/metrics";
}

zyn::net::HttpRequest MetricsRequest(const MachineAddress& address, int timeoutMs) {
    const zyn::net::HostSettings settings = zyn::net::LoadHostSettings(address.Key());
    zyn::net::HttpRequest request;
    request.url = MetricsUrl(address, settings.https);
    // The text format: exporters that also speak other formats pick it from this.
    request.accept = "text/plain;version=0.0.4;q=1,*/*;q=0.1";
    request.maxBytes = kMaxPageBytes;
    request.timeoutMs = timeoutMs;
    request.credentials = settings.credentials;
    return request;
}

// A transfer's outcome as a scrape: the page read, or the status a machine that cannot serve
// gives (unreachable or refusing: no machine; too slow: no data).
Scrape ToScrape(zyn::net::HttpResponse&& response, const std::string& key) {
    Scrape s;
    s.startNs = response.startNs;
    s.timeNs = response.firstByteNs;
    if (response.Ok()) {
        auto page = std::make_shared<CMetricPage>();
        std::string why;
        if (page->Parse(response.body, why)) {
            s.page = std::move(page);
            s.status = PDH_CSTATUS_VALID_DATA;
        } else {
            s.status = PDH_CSTATUS_NO_MACHINE;
            s.error = key + " did not answer with a metrics page (" + why + ")";
        }
        return s;
    }
    switch (response.failure) {
    case zyn::net::HttpFailure::TimedOut:
    case zyn::net::HttpFailure::Cancelled:
        s.status = PDH_NO_DATA;
        break;
    default:
        s.status = PDH_CSTATUS_NO_MACHINE;
        break;
    }
    s.error = zyn::net::DescribeFailure(response, {});
    return s;
}

Scrape NoData(const MachineAddress& address, std::string_view why) {
    Scrape s;
    s.status = PDH_NO_DATA;
    s.error = address.Key() + " " + std::string(why);
    return s;
}

} // namespace

std::string MachineAddress::Key() const {
    return zyn::net::HostPort(host, port);
}

bool ParseMachineAddress(std::string_view machine, MachineAddress& out) {
    out = MachineAddress{};
    std::string_view host = machine;
    std::string_view port;
    if (machine.starts_with('[')) {
        const auto close = machine.find(']');
        if (close == std::string_view::npos) return false;
        host = machine.substr(1, close - 1);
        const std::string_view rest = machine.substr(close + 1);
        if (!rest.empty()) {
            if (!rest.starts_with(':')) return false;
            port = rest.substr(1);
            if (port.empty()) return false;
        }
        if (host.empty() || !std::all_of(host.begin(), host.end(), [](char c) {
                return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
                       c == ':' || c == '.';
            }))
            return false;
    } else {
        const auto colon = machine.find(':');
        if (colon != std::string_view::npos) {
            host = machine.substr(0, colon);
            port = machine.substr(colon + 1);
            if (port.empty()) return false;
        }
        if (host.empty() || host.size() > 253 || !std::all_of(host.begin(), host.end(), HostChar) ||
            host.front() == '-' || host.front() == '.')
            return false;
    }
    if (!port.empty()) {
        int value = 0;
        const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (ec != std::errc{} || end != port.data() + port.size() || value < 1 || value > 65535) return false;
        out.port = value;
    }
    out.host = std::string(host);
    return true;
}

Scrape ScrapeNow(const MachineAddress& address, int timeoutMs) {
    return ToScrape(zyn::net::Get(MetricsRequest(address, timeoutMs)), address.Key());
}

const RemoteCatalog::Object* RemoteCatalog::Find(const ObjectDef* def) const {
    for (const Object& o : objects)
        if (o.def == def) return &o;
    return nullptr;
}

bool RemoteCatalog::HasCounter(const ObjectDef* def, const CounterDef* counter) const {
    const Object* o = Find(def);
    return o && std::find(o->counters.begin(), o->counters.end(), counter) != o->counters.end();
}

std::shared_ptr<RemoteCatalog> CatalogOf(Scrape scrape) {
    auto catalog = std::make_shared<RemoteCatalog>();
    catalog->scrape = std::move(scrape);
    if (!catalog->scrape.page) return catalog;
    const SourceConfig none;
    CSourceCache cache;
    for (const ObjectDef* def : AllObjects()) {
        if (!def->makeRemoteCollector) continue;
        RemoteCatalog::Object object;
        object.def = def;
        CollectContext ctx{none, cache};
        ctx.page = catalog->scrape.page.get();
        def->makeRemoteCollector()->Collect(ctx, ~std::uint32_t{0}, object.sample);
        if (!object.sample.available) continue;
        // A counter is offered when some instance has every field it is computed from: what the
        // exporter does not provide is left out, never shown as zero.
        for (const CounterDef& counter : def->counters) {
            const bool served =
                std::any_of(object.sample.instances.begin(), object.sample.instances.end(),
                            [&](const InstanceSample& inst) {
                                for (std::size_t f = 0; f < 64; ++f) {
                                    if (!(counter.fields >> f & 1)) continue;
                                    if (f >= inst.values.size() || !std::isfinite(inst.values[f]))
                                        return false;
                                }
                                return true;
                            });
            if (served) object.counters.push_back(&counter);
        }
        if (!object.counters.empty()) catalog->objects.push_back(std::move(object));
    }
    return catalog;
}

std::shared_ptr<const RemoteCatalog> DescribeRemote(const MachineAddress& address, bool fresh) {
    struct Entry {
        std::int64_t atNs = 0;
        std::shared_ptr<const RemoteCatalog> catalog;
    };
    static std::mutex lock;
    static std::map<std::string, Entry> cache;
    const std::string key = address.Key();
    const std::int64_t now = zyn::net::MonotonicNs();
    if (!fresh) {
        std::lock_guard guard(lock);
        const auto it = cache.find(key);
        if (it != cache.end()) {
            const std::int64_t age = now - it->second.atNs;
            if (age < (it->second.catalog->scrape.page ? kCatalogFreshNs : kFailureFreshNs))
                return it->second.catalog;
        }
    }
    std::shared_ptr<const RemoteCatalog> catalog = CatalogOf(ScrapeNow(address, kDescribeTimeoutMs));
    std::lock_guard guard(lock);
    if (cache.size() >= kMaxCachedMachines && !cache.contains(key)) {
        const auto oldest = std::min_element(cache.begin(), cache.end(), [](const auto& a, const auto& b) {
            return a.second.atNs < b.second.atNs;
        });
        cache.erase(oldest);
    }
    cache[key] = Entry{zyn::net::MonotonicNs(), catalog};
    return catalog;
}

// --- one query's scrapes of one machine ---

struct CRemoteSource::State {
    std::mutex lock;
    std::condition_variable arrived;
    std::uint64_t seq = 0;         // of the last request made
    std::uint64_t inFlightSeq = 0; // 0: none under way
    zyn::net::HttpHandle inFlight = 0;
    std::uint64_t scheduledGeneration = 0;
    std::uint64_t scheduledSeq = 0; // 0: the collection's scrape was skipped
    std::uint64_t awaitedSeq = 0;   // the unscheduled scrape Await waits for
    std::int64_t awaitDeadlineNs = 0;
    std::optional<Scrape> latest; // the newest answer (its generation holds its sequence number)
    double typicalNs = 0;         // a moving average of how long the machine takes to answer
    int slowStreak = 0;           // scrapes in a row that ran out of time
};

CRemoteSource::CRemoteSource(MachineAddress address)
    : m_address(std::move(address)), m_request(MetricsRequest(m_address, 0)),
      m_state(std::make_shared<State>()) {}

CRemoteSource::~CRemoteSource() {
    Cancel();
}

void CRemoteSource::Submit(std::uint64_t seq, std::int64_t notBeforeNs, int limitMs) {
    std::weak_ptr<State> weak = m_state;
    const std::string key = m_address.Key();
    zyn::net::HttpRequest request = m_request;
    request.timeoutMs = limitMs;
    const zyn::net::HttpHandle handle = zyn::net::SubmitGet(
        std::move(request), notBeforeNs, [weak, seq, key](zyn::net::HttpResponse&& response) {
            const std::shared_ptr<State> state = weak.lock();
            if (!state) return;
            const bool slow = response.failure == zyn::net::HttpFailure::TimedOut;
            const bool answered = response.failure == zyn::net::HttpFailure::None;
            const double took = static_cast<double>(response.endNs - response.startNs);
            Scrape scrape = ToScrape(std::move(response), key);
            scrape.generation = seq;
            std::lock_guard guard(state->lock);
            if (state->inFlightSeq == seq) {
                state->inFlightSeq = 0;
                state->inFlight = 0;
            }
            if (answered) {
                state->typicalNs = state->typicalNs == 0 ? took : 0.7 * state->typicalNs + 0.3 * took;
                state->slowStreak = 0;
            } else if (slow) {
                ++state->slowStreak;
            }
            if (!state->latest || state->latest->generation < seq) state->latest = std::move(scrape);
            state->arrived.notify_all();
        });
    std::lock_guard guard(m_state->lock);
    if (m_state->inFlightSeq == seq) m_state->inFlight = handle;
}

void CRemoteSource::Schedule(std::uint64_t generation, std::int64_t dueNs, int limitMs) {
    std::uint64_t seq = 0;
    std::int64_t startNs = 0;
    {
        std::lock_guard guard(m_state->lock);
        m_state->scheduledGeneration = generation;
        m_state->scheduledSeq = 0;
        if (m_state->inFlightSeq != 0) return; // the machine has not finished the last one
        // Early enough for a machine that answers as fast as it has lately with room for a slower
        // answer (a busy machine's answers vary by several times), and earlier still while it keeps
        // running out of time; never more than the time limit ahead. Starting early costs little:
        // the rates run from the time the exporter answered.
        double leadNs = m_state->typicalNs > 0 ? 3 * m_state->typicalNs + 40.0 * kMs : 200.0 * kMs;
        leadNs *= static_cast<double>(1 << std::min(m_state->slowStreak, 4));
        leadNs = std::clamp(leadNs, 30.0 * kMs, static_cast<double>(limitMs) * kMs);
        seq = ++m_state->seq;
        m_state->scheduledSeq = seq;
        m_state->inFlightSeq = seq;
        startNs = dueNs - static_cast<std::int64_t>(leadNs);
    }
    Submit(seq, startNs, limitMs);
}

Scrape CRemoteSource::TakeScheduled(std::uint64_t generation, std::int64_t graceNs) {
    std::unique_lock guard(m_state->lock);
    if (m_state->scheduledGeneration != generation)
        return NoData(m_address, "was not scraped for this collection");
    if (m_state->scheduledSeq == 0) return NoData(m_address, "is still busy with an earlier scrape");
    const std::uint64_t seq = m_state->scheduledSeq;
    const auto done = [&] { return m_state->latest && m_state->latest->generation >= seq; };
    if (!done() && graceNs > 0) m_state->arrived.wait_for(guard, std::chrono::nanoseconds(graceNs), done);
    if (!done() || m_state->latest->generation != seq) return NoData(m_address, "did not answer in time");
    m_state->scheduledSeq = 0; // each answer serves one collection
    return *m_state->latest;
}

void CRemoteSource::StartNow(int limitMs) {
    zyn::net::HttpHandle previous = 0;
    std::uint64_t seq = 0;
    {
        std::lock_guard guard(m_state->lock);
        previous = m_state->inFlight;
        seq = ++m_state->seq;
        m_state->awaitedSeq = seq;
        m_state->inFlightSeq = seq;
        m_state->inFlight = 0;
        m_state->scheduledSeq = 0;
        // The transfer ends at its own limit; the margin covers the hand-over back to this thread.
        m_state->awaitDeadlineNs = zyn::net::MonotonicNs() + (static_cast<std::int64_t>(limitMs) + 500) * kMs;
    }
    if (previous) zyn::net::CancelGet(previous);
    Submit(seq, 0, limitMs);
}

Scrape CRemoteSource::Await() {
    std::unique_lock guard(m_state->lock);
    const std::uint64_t seq = m_state->awaitedSeq;
    const auto done = [&] { return m_state->latest && m_state->latest->generation >= seq; };
    const std::int64_t left = m_state->awaitDeadlineNs - zyn::net::MonotonicNs();
    if (!done() && left > 0) m_state->arrived.wait_for(guard, std::chrono::nanoseconds(left), done);
    if (!done() || m_state->latest->generation != seq) return NoData(m_address, "did not answer in time");
    return *m_state->latest;
}

void CRemoteSource::Cancel() {
    zyn::net::HttpHandle handle = 0;
    {
        std::lock_guard guard(m_state->lock);
        handle = m_state->inFlight;
        m_state->scheduledSeq = 0;
    }
    if (handle) zyn::net::CancelGet(handle);
}

} // namespace zyn::pdh::detail
