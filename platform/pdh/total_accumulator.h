#pragma once
// `_Total` of objects whose instances come and go (disks, processes): gauges are summed over the
// current instances; cumulative fields grow by the deltas of instances present in both
// collections, so an instance appearing or ending never makes the total jump or fall. An instance
// seen for the first time can be counted from zero when the caller knows it began within the
// interval (a process started since the last collection); otherwise its history stays out.

#include "catalog.h"

#include <functional>
#include <unordered_map>
#include <vector>

namespace zyn::pdh::detail {

class CTotalAccumulator {
public:
    using NewInstanceTest = std::function<bool(const InstanceSample&)>;

    void Build(const std::vector<InstanceSample>& instances, std::size_t fieldCount, std::uint64_t cumulative,
               std::uint64_t modular32, InstanceSample& total, const NewInstanceTest& beganInInterval = {}) {
        if (m_acc.size() != fieldCount) m_acc.assign(fieldCount, 0.0);
        total.values.assign(fieldCount, 0.0);
        std::unordered_map<std::uint64_t, std::vector<double>> next;
        next.reserve(instances.size());
        for (const InstanceSample& inst : instances) {
            const auto it = m_prev.find(inst.identity);
            const bool fromZero = it == m_prev.end() && m_built && beganInInterval && beganInInterval(inst);
            for (std::size_t f = 0; f < fieldCount; ++f) {
                const double v = inst.values[f];
                if (!Finite(v)) continue;
                if (!(cumulative >> f & 1)) {
                    total.values[f] += v;
                    continue;
                }
                double d = 0;
                if (fromZero) {
                    d = v;
                } else {
                    if (it == m_prev.end() || !Finite(it->second[f])) continue;
                    d = v - it->second[f];
                    if (d < 0 && (modular32 >> f & 1)) d += 4294967296.0;
                }
                if (d > 0) m_acc[f] += d; // a decrease re-baselines that instance
            }
            next.emplace(inst.identity, inst.values);
        }
        for (std::size_t f = 0; f < fieldCount; ++f)
            if (cumulative >> f & 1) total.values[f] = m_acc[f];
        m_prev = std::move(next);
        m_built = true;
    }

private:
    std::unordered_map<std::uint64_t, std::vector<double>> m_prev;
    std::vector<double> m_acc;
    bool m_built = false;
};

} // namespace zyn::pdh::detail
