#pragma once
// Helpers of the remote collectors: they turn a node_exporter page into the raw fields the local
// collectors read, so that each object's formulas serve both. A field the page does not hold stays
// NaN, which keeps the counters computed from it out of the machine's catalogue.

#include "catalog.h"
#include "exposition.h"

#include <cmath>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zyn::pdh::detail {

// Instances keyed by a label's value (a CPU number, a device), in the order the page names them.
class CRemoteInstances {
public:
    explicit CRemoteInstances(std::size_t fieldCount) : m_fieldCount(fieldCount) {}

    InstanceSample& Get(std::string_view key) {
        const auto it = m_index.find(std::string(key));
        if (it != m_index.end()) return m_instances[it->second];
        m_index.emplace(std::string(key), m_instances.size());
        InstanceSample& inst = m_instances.emplace_back();
        inst.name = std::string(key);
        inst.identity = std::hash<std::string_view>{}(key);
        inst.values.assign(m_fieldCount, NAN);
        return inst;
    }

    // Each sample of `metric` times `scale` into `field` of the instance its `label` names; samples
    // that `keep` refuses (by their labels) are left out.
    template <class Keep>
    void Fill(const CMetricPage& page, std::string_view metric, std::string_view label, int field,
              double scale, Keep keep) {
        for (const MetricSample& s : page.Samples(metric)) {
            const std::string_view key = page.Label(s, label);
            if (key.empty() || !keep(page, s)) continue;
            Get(key).values[static_cast<std::size_t>(field)] = s.value * scale;
        }
    }
    void Fill(const CMetricPage& page, std::string_view metric, std::string_view label, int field,
              double scale = 1.0) {
        Fill(page, metric, label, field, scale, [](const CMetricPage&, const MetricSample&) { return true; });
    }

    [[nodiscard]] bool Empty() const { return m_instances.empty(); }
    std::vector<InstanceSample>& Instances() { return m_instances; }

private:
    std::size_t m_fieldCount;
    std::unordered_map<std::string, std::size_t> m_index;
    std::vector<InstanceSample> m_instances;
};

// The value of an unlabelled metric times `scale`, NaN when the page has none.
inline double PageValue(const CMetricPage& page, std::string_view metric, double scale = 1.0) {
    return page.Value(metric) * scale;
}

} // namespace zyn::pdh::detail
