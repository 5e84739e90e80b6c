#include "query.h"

#include "text.h"

#include <algorithm>
#include <unistd.h>

namespace zyn::pdh::detail {

PDH_STATUS ResolvePath(std::string_view text, const SourceConfig& config, bool checkInstance,
                       CounterPath& path, const ObjectDef*& object, const CounterDef*& counter) {
    object = nullptr;
    counter = nullptr;
    if (const PDH_STATUS st = ParseCounterPath(text, path); st != PDH_CSTATUS_VALID_DATA) return st;
    if (!IsLocalMachine(path.machine)) return PDH_CSTATUS_NO_MACHINE;
    const ObjectDef* obj = FindObject(path.object);
    if (!obj || !ObjectAvailable(*obj, config)) return PDH_CSTATUS_NO_OBJECT;
    const CounterDef* def = obj->FindCounter(path.counter);
    if (!def) return PDH_CSTATUS_NO_COUNTER;
    if (obj->hasInstances != path.hasInstance) return PDH_CSTATUS_NO_INSTANCE;
    if (checkInstance && obj->hasInstances) {
        const ObjectSample sample = CollectOnce(*obj, config);
        const std::string key = path.InstanceKey();
        const bool found = std::any_of(sample.instances.begin(), sample.instances.end(),
                                       [&](const InstanceSample& i) { return EqualsNoCase(i.name, key); });
        if (!found) return PDH_CSTATUS_NO_INSTANCE;
    }
    object = obj;
    counter = def;
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
    if (!sample.available) return Lost(PDH_CSTATUS_NO_OBJECT);
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
    if (const PDH_STATUS st = ResolvePath(text, config, false, path, object, def);
        st != PDH_CSTATUS_VALID_DATA)
        return st;
    auto counter = std::make_unique<ZynPdhCounter>();
    counter->query = this;
    counter->object = object;
    counter->def = def;
    counter->path = std::move(path);
    counter->instanceKey = counter->path.InstanceKey();
    counter->userData = user;
    auto slot =
        std::find_if(m_slots.begin(), m_slots.end(), [&](const Slot& s) { return s.object == object; });
    if (slot == m_slots.end()) {
        m_slots.push_back(Slot{object, object->makeCollector(), {}});
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

PDH_STATUS ZynPdhQuery::CollectOne(ZynPdhCounter* counter) {
    // The whole slot is read with the needs of all its counters, so that what the collector keeps
    // between collections (the totals of instances that come and go) stays whole.
    m_cache.BeginPartialCollection();
    CollectContext ctx{config, m_cache, m_clockTicks, m_pageSize};
    Slot& slot = m_slots[counter->slot];
    slot.collector->Collect(ctx, NeedsOf(counter->slot), slot.sample);
    counter->Update(slot.sample, m_clockTicks);
    return ERROR_SUCCESS;
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
    m_cache.BeginCollection();
    CollectContext ctx{config, m_cache, m_clockTicks, m_pageSize};
    for (std::size_t i = 0; i < m_slots.size(); ++i)
        if (used[i]) m_slots[i].collector->Collect(ctx, needs[i], m_slots[i].sample);
    for (const auto& c : counters)
        c->Update(m_slots[c->slot].sample, m_clockTicks);
    return ERROR_SUCCESS;
}
