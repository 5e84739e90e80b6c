#include "query.h"

#include "net/http.h"
#include "text.h"

#include <algorithm>
#include <unistd.h>

namespace zyn::pdh::detail {

namespace {

bool HasInstance(const ObjectSample& sample, std::string_view key) {
    return std::any_of(sample.instances.begin(), sample.instances.end(),
                       [&](const InstanceSample& i) { return EqualsNoCase(i.name, key); });
}

// A remote machine's path: the catalogue names the object and counter, the machine's exporter
// decides whether it serves them.
PDH_STATUS ResolveRemote(const CounterPath& path, bool checkInstance, const ObjectDef* obj,
                         const CounterDef* def, const MachineAddress& address) {
    const std::shared_ptr<const RemoteCatalog> catalog = DescribeRemote(address);
    if (!catalog->scrape.page) return PDH_CSTATUS_NO_MACHINE;
    const RemoteCatalog::Object* served = catalog->Find(obj);
    if (!served) return PDH_CSTATUS_NO_OBJECT;
    if (!catalog->HasCounter(obj, def)) return PDH_CSTATUS_NO_COUNTER;
    if (checkInstance && obj->hasInstances && !HasInstance(served->sample, path.InstanceKey()))
        return PDH_CSTATUS_NO_INSTANCE;
    return PDH_CSTATUS_VALID_DATA;
}

} // namespace

PDH_STATUS ResolvePath(std::string_view text, const SourceConfig& config, bool checkInstance,
                       CounterPath& path, const ObjectDef*& object, const CounterDef*& counter,
                       std::optional<MachineAddress>* remote) {
    object = nullptr;
    counter = nullptr;
    if (remote) remote->reset();
    if (const PDH_STATUS st = ParseCounterPath(text, path); st != PDH_CSTATUS_VALID_DATA) return st;
    std::optional<MachineAddress> address;
    if (!IsLocalMachine(path.machine)) {
        MachineAddress parsed;
        if (!ParseMachineAddress(path.machine, parsed)) return PDH_CSTATUS_NO_MACHINE;
        address = std::move(parsed);
    }
    const ObjectDef* obj = FindObject(path.object);
    if (!obj || (!address && !ObjectAvailable(*obj, config)) || (address && !obj->makeRemoteCollector))
        return PDH_CSTATUS_NO_OBJECT;
    const CounterDef* def = obj->FindCounter(path.counter);
    if (!def) return PDH_CSTATUS_NO_COUNTER;
    if (obj->hasInstances != path.hasInstance) return PDH_CSTATUS_NO_INSTANCE;
    if (address) {
        if (const PDH_STATUS st = ResolveRemote(path, checkInstance, obj, def, *address);
            st != PDH_CSTATUS_VALID_DATA)
            return st;
    } else if (checkInstance && obj->hasInstances &&
               !HasInstance(CollectOnce(*obj, config), path.InstanceKey())) {
        return PDH_CSTATUS_NO_INSTANCE;
    }
    object = obj;
    counter = def;
    if (remote) *remote = std::move(address);
    return PDH_CSTATUS_VALID_DATA;
}

} // namespace zyn::pdh::detail

using namespace zyn::pdh::detail;

const InstanceSample* ZynPdhCounter::FindInstance(const ObjectSample& sample) {
    const auto& list = sample.instances;
    if (!object->hasInstances) return list.empty() ? nullptr : &list[0];
    if (instanceHint < list.size() && EqualsNoCase(list[instanceHint].name, instanceKey))
        return &list[instanceHint];
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (EqualsNoCase(list[i].name, instanceKey)) {
            instanceHint = i;
            return &list[i];
        }
    }
    return nullptr;
}

void ZynPdhCounter::Baseline(const InstanceSample& inst, std::int64_t timeNs) {
    prev.assign(inst.values.begin(), inst.values.end());
    prevIdentity = inst.identity;
    prevTimeNs = timeNs;
    hasPrev = true;
}

void ZynPdhCounter::Lost(PDH_STATUS why) {
    status = why;
    value = 0;
    hasPrev = false;
    validSinceBaseline = false;
}

void ZynPdhCounter::Update(const ObjectSample& sample, double clockTicks) {
    collected = true;
    if (!sample.available) {
        if (!sample.keepBaselines) return Lost(sample.missing);
        status = sample.missing;
        value = 0;
        validSinceBaseline = false;
        return;
    }
    const InstanceSample* inst = FindInstance(sample);
    if (!inst) return Lost(PDH_CSTATUS_NO_INSTANCE);

    EvalInput in;
    in.cur = inst->values.data();
    in.clockTicks = clockTicks;
    bool ok = false;
    double v = 0;
    if (def->IsRate()) {
        const bool comparable =
            hasPrev && prevIdentity == inst->identity && prev.size() == inst->values.size();
        bool decreased = false;
        if (comparable) {
            const std::uint64_t check = def->fields & object->cumulativeFields;
            for (std::size_t f = 0; f < prev.size() && f < 64; ++f)
                if ((check >> f & 1) && in.cur[f] < prev[f]) decreased = true;
            in.prev = prev.data();
            in.seconds = static_cast<double>(sample.timeNs - prevTimeNs) / 1e9;
            ok = !decreased && in.seconds > 0 && def->eval(in, v) && Finite(v);
        }
        if (!ok) validSinceBaseline = false; // an invalid interval starts a new baseline
        Baseline(*inst, sample.timeNs);
    } else {
        ok = def->eval(in, v) && Finite(v);
    }
    if (!ok) {
        status = PDH_CSTATUS_INVALID_DATA;
        value = 0;
        return;
    }
    status = validSinceBaseline ? PDH_CSTATUS_VALID_DATA : PDH_CSTATUS_NEW_DATA;
    validSinceBaseline = true;
    value = v;
    if (def->keepPeak) {
        peak = hasPeak ? std::max(peak, v) : v;
        hasPeak = true;
        value = peak;
    }
}

ZynPdhQuery::ZynPdhQuery(zyn::pdh::SourceConfig sources, DWORD_PTR user)
    : config(std::move(sources)), userData(user) {
    m_clockTicks = config.clockTicksPerSecond > 0 ? static_cast<double>(config.clockTicksPerSecond)
                                                  : static_cast<double>(sysconf(_SC_CLK_TCK));
    m_pageSize = config.pageSize > 0 ? static_cast<double>(config.pageSize)
                                     : static_cast<double>(sysconf(_SC_PAGESIZE));
}

PDH_STATUS ZynPdhQuery::AddCounter(std::string_view text, DWORD_PTR user, ZynPdhCounter*& out) {
    out = nullptr;
    CounterPath path;
    const ObjectDef* object = nullptr;
    const CounterDef* def = nullptr;
    std::optional<MachineAddress> address;
    if (const PDH_STATUS st = ResolvePath(text, config, false, path, object, def, &address);
        st != PDH_CSTATUS_VALID_DATA)
        return st;
    int remote = -1;
    if (address) {
        const auto known = std::find_if(m_remotes.begin(), m_remotes.end(),
                                        [&](const auto& r) { return r->Address().Key() == address->Key(); });
        remote = static_cast<int>(known - m_remotes.begin());
        if (known == m_remotes.end()) {
            m_remotes.push_back(std::make_unique<CRemoteSource>(std::move(*address)));
            // A machine joining a scheduled query is scraped for the coming collection too.
            const std::int64_t now = zyn::net::MonotonicNs();
            if (m_dueNs > now) m_remotes.back()->Schedule(m_generation, m_dueNs, m_limitMs);
        }
    }
    auto counter = std::make_unique<ZynPdhCounter>();
    counter->query = this;
    counter->object = object;
    counter->def = def;
    counter->path = std::move(path);
    counter->instanceKey = counter->path.InstanceKey();
    counter->userData = user;
    auto slot = std::find_if(m_slots.begin(), m_slots.end(),
                             [&](const Slot& s) { return s.object == object && s.remote == remote; });
    if (slot == m_slots.end()) {
        m_slots.push_back(
            Slot{object, remote < 0 ? object->makeCollector() : object->makeRemoteCollector(), {}, remote});
        slot = m_slots.end() - 1;
    }
    counter->slot = static_cast<std::size_t>(slot - m_slots.begin());
    out = counter.get();
    counters.push_back(std::move(counter));
    return ERROR_SUCCESS;
}

void ZynPdhQuery::RemoveCounter(ZynPdhCounter* counter) {
    std::erase_if(counters, [&](const std::unique_ptr<ZynPdhCounter>& c) { return c.get() == counter; });
}

std::uint32_t ZynPdhQuery::NeedsOf(std::size_t slot) const {
    std::uint32_t needs = 0;
    for (const auto& c : counters)
        if (c->slot == slot) needs |= c->def->needs;
    return needs;
}

std::vector<bool> ZynPdhQuery::RemotesInUse() const {
    std::vector<bool> used(m_remotes.size(), false);
    for (const auto& c : counters) {
        const int remote = m_slots[c->slot].remote;
        if (remote >= 0) used[static_cast<std::size_t>(remote)] = true;
    }
    return used;
}

std::string ZynPdhQuery::MachineOf(const ZynPdhCounter* counter) const {
    return m_slots[counter->slot].remote >= 0 ? counter->path.machine : LocalHostName();
}

PDH_STATUS ZynPdhQuery::CollectOne(ZynPdhCounter* counter) {
    Slot& slot = m_slots[counter->slot];
    if (slot.remote >= 0) return ERROR_SUCCESS;
    // The whole slot is read with the needs of all its counters, so that what the collector keeps
    // between collections (the totals of instances that come and go) stays whole.
    m_cache.BeginPartialCollection();
    CollectContext ctx{config, m_cache, m_clockTicks, m_pageSize};
    slot.collector->Collect(ctx, NeedsOf(counter->slot), slot.sample);
    counter->Update(slot.sample, m_clockTicks);
    return ERROR_SUCCESS;
}

void ZynPdhQuery::ScheduleCollection(DWORD dueInMs) {
    const std::int64_t now = zyn::net::MonotonicNs();
    m_intervalNs = static_cast<std::int64_t>(dueInMs) * 1'000'000;
    m_dueNs = now + m_intervalNs;
    ++m_generation;
    // Half the interval: a scrape started a little before the collection always ends before the
    // next one is due, so a machine never has two scrapes under way.
    m_limitMs = static_cast<int>(std::clamp<DWORD>(dueInMs / 2, 100, 10000));
    const std::vector<bool> used = RemotesInUse();
    for (std::size_t i = 0; i < m_remotes.size(); ++i)
        if (used[i]) m_remotes[i]->Schedule(m_generation, m_dueNs, m_limitMs);
}

bool ZynPdhQuery::CollectionIsScheduled(std::int64_t nowNs) const {
    // A collection far from the time it was announced for (a chart stopped after scheduling, then
    // sampled by hand) scrapes as an unscheduled one.
    return m_dueNs != 0 && nowNs >= m_dueNs - m_intervalNs / 2 && nowNs <= m_dueNs + m_intervalNs;
}

void ZynPdhQuery::FeedRemoteSlot(Slot& slot, const Scrape& scrape) {
    if (!scrape.page) {
        slot.sample.available = false;
        slot.sample.instances.clear();
        slot.sample.missing = scrape.status == PDH_NO_DATA ? PDH_NO_DATA : PDH_CSTATUS_NO_MACHINE;
        slot.sample.keepBaselines = true;
        return;
    }
    CollectContext ctx{config, m_cache, m_clockTicks, m_pageSize};
    ctx.page = scrape.page.get();
    slot.collector->Collect(ctx, ~std::uint32_t{0}, slot.sample);
    // The exporter read its machine when its answer began: that is the time the rates run from.
    slot.sample.timeNs = scrape.timeNs;
    slot.sample.keepBaselines = true;
    if (!slot.sample.available) slot.sample.missing = PDH_CSTATUS_NO_OBJECT;
}

PDH_STATUS ZynPdhQuery::Collect() {
    if (counters.empty()) return PDH_NO_DATA;
    // Which objects are in use and which optional sources their counters need.
    std::vector<std::uint32_t> needs(m_slots.size(), 0);
    std::vector<bool> used(m_slots.size(), false);
    for (const auto& c : counters) {
        needs[c->slot] |= c->def->needs;
        used[c->slot] = true;
    }
    const std::vector<bool> remotesUsed = RemotesInUse();
    const std::int64_t now = zyn::net::MonotonicNs();
    const bool scheduled = CollectionIsScheduled(now);
    m_dueNs = 0;
    // Unscheduled scrapes start first, so they overlap each other and the local reads.
    if (!scheduled) {
        for (std::size_t i = 0; i < m_remotes.size(); ++i)
            if (remotesUsed[i]) m_remotes[i]->StartNow(m_limitMs);
    }
    m_cache.BeginCollection();
    CollectContext ctx{config, m_cache, m_clockTicks, m_pageSize};
    for (std::size_t i = 0; i < m_slots.size(); ++i)
        if (used[i] && m_slots[i].remote < 0) m_slots[i].collector->Collect(ctx, needs[i], m_slots[i].sample);
    if (!m_remotes.empty()) {
        // A scheduled collection waits a moment at most for a scrape still under way: a machine that
        // is late reads no data this time, and the chart keeps its period.
        const std::int64_t grace = std::min<std::int64_t>(10'000'000, m_intervalNs / 50);
        std::vector<Scrape> scrapes(m_remotes.size());
        for (std::size_t i = 0; i < m_remotes.size(); ++i) {
            if (!remotesUsed[i]) continue;
            scrapes[i] = scheduled ? m_remotes[i]->TakeScheduled(m_generation, grace) : m_remotes[i]->Await();
        }
        for (std::size_t i = 0; i < m_slots.size(); ++i)
            if (used[i] && m_slots[i].remote >= 0)
                FeedRemoteSlot(m_slots[i], scrapes[static_cast<std::size_t>(m_slots[i].remote)]);
    }
    for (const auto& c : counters)
        c->Update(m_slots[c->slot].sample, m_clockTicks);
    return ERROR_SUCCESS;
}
