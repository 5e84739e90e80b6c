// Processor: per online CPU and _Total, from the tick counts of /proc/stat (proc(5)).

#include "catalog.h"
#include "parse.h"
#include "remote_fields.h"

#include <algorithm>

namespace zyn::pdh::detail {
namespace {

enum Field {
    kUser,
    kNice,
    kSystem,
    kIdle,
    kIowait,
    kIrq,
    kSoftirq,
    kSteal,
    kGuest,
    kGuestNice,
    kIntr,
    kFieldCount
};
constexpr std::uint64_t kTickFields = Bits({kUser, kNice, kSystem, kIdle, kIowait, kIrq, kSoftirq, kSteal});

// T: every tick of the interval; guest and guest_nice are already inside user and nice.
bool TotalTicks(const EvalInput& in, double& total) {
    total = 0;
    for (int f = kUser; f <= kSteal; ++f)
        total += Delta(in, f);
    return total > 0;
}

template <int... Fs> bool TickShare(const EvalInput& in, double& value) {
    double total = 0;
    if (!TotalTicks(in, total)) return false;
    value = 100.0 * (Delta(in, Fs) + ... + 0.0) / total;
    return true;
}

bool BusyShare(const EvalInput& in, double& value) {
    double total = 0;
    if (!TotalTicks(in, total)) return false;
    value = 100.0 * (1.0 - (Delta(in, kIdle) + Delta(in, kIowait)) / total);
    return true;
}

bool Interrupts(const EvalInput& in, double& value) {
    if (!Finite(in.cur[kIntr]) || !Finite(in.prev[kIntr])) return false;
    value = Delta(in, kIntr) / in.seconds;
    return true;
}

class CProcessorCollector final : public CObjectCollector {
public:
    void Collect(CollectContext& ctx, std::uint32_t, ObjectSample& out) override {
        const std::string* text = ctx.cache.Get(ctx.Proc("stat"));
        out.timeNs = ctx.Now();
        out.available = text != nullptr;
        if (!text) {
            out.instances.clear();
            return;
        }
        std::size_t count = 0;
        double intr = NAN;
        CLineReader lines(*text);
        std::string_view line;
        while (lines.Next(line)) {
            if (line.starts_with("intr ")) {
                std::uint64_t v = 0;
                line.remove_prefix(4);
                if (NextU64(line, v)) intr = static_cast<double>(v);
                continue;
            }
            if (!line.starts_with("cpu")) continue;
            const std::size_t idEnd = std::min(line.find(' '), line.size());
            const std::string_view id = line.substr(3, idEnd - 3);
            std::string_view rest = line.substr(idEnd);
            if (count >= out.instances.size()) out.instances.emplace_back();
            InstanceSample& inst = out.instances[count++];
            inst.values.assign(kFieldCount, 0.0);
            inst.values[kIntr] = NAN;
            for (int f = kUser; f <= kGuestNice; ++f) {
                std::uint64_t v = 0;
                if (!NextU64(rest, v)) break; // older kernels have fewer columns
                inst.values[f] = static_cast<double>(v);
            }
            if (id.empty()) {
                inst.name = "_Total";
                inst.identity = ~std::uint64_t{0};
            } else {
                inst.name.assign(id);
                std::uint64_t cpu = 0;
                (void)ParseU64(id, cpu);
                inst.identity = cpu;
            }
        }
        out.instances.resize(count);
        // _Total is listed last, as the browser shows it.
        for (std::size_t i = 0; i < out.instances.size(); ++i) {
            if (out.instances[i].name == "_Total") {
                out.instances[i].values[kIntr] = intr;
                if (i + 1 != out.instances.size()) {
                    InstanceSample t = std::move(out.instances[i]);
                    out.instances.erase(out.instances.begin() + static_cast<std::ptrdiff_t>(i));
                    out.instances.push_back(std::move(t));
                }
                break;
            }
        }
    }
};

// node_cpu_seconds_total{cpu,mode} in seconds instead of ticks: every formula is a share of the
// interval's total, so the unit cancels. _Total sums the CPUs, as the kernel's cpu line does.
class CRemoteProcessorCollector final : public CObjectCollector {
public:
    void Collect(CollectContext& ctx, std::uint32_t, ObjectSample& out) override {
        static constexpr std::pair<std::string_view, int> kModes[] = {
            {"user", kUser},     {"nice", kNice}, {"system", kSystem},   {"idle", kIdle},
            {"iowait", kIowait}, {"irq", kIrq},   {"softirq", kSoftirq}, {"steal", kSteal}};
        const CMetricPage& page = *ctx.page;
        CRemoteInstances cpus(kFieldCount);
        for (const auto& [mode, field] : kModes)
            cpus.Fill(
                page, "node_cpu_seconds_total", "cpu", field, 1.0,
                [m = mode](const CMetricPage& p, const MetricSample& s) { return p.Label(s, "mode") == m; });
        for (const auto& [mode, field] : {std::pair{"user", kGuest}, std::pair{"nice", kGuestNice}})
            cpus.Fill(
                page, "node_cpu_guest_seconds_total", "cpu", field, 1.0,
                [m = mode](const CMetricPage& p, const MetricSample& s) { return p.Label(s, "mode") == m; });
        out.available = !cpus.Empty();
        out.instances = std::move(cpus.Instances());
        if (!out.available) return;
        InstanceSample total{"_Total", ~std::uint64_t{0}, std::vector<double>(kFieldCount, 0.0)};
        for (InstanceSample& cpu : out.instances) {
            std::uint64_t number = 0;
            (void)ParseU64(cpu.name, number);
            cpu.identity = number;
            for (int f = 0; f < kIntr; ++f)
                total.values[f] += cpu.values[f];
        }
        total.values[kIntr] = PageValue(page, "node_intr_total");
        out.instances.push_back(std::move(total));
    }
};

ObjectDef MakeProcessor() {
    ObjectDef o;
    o.name = "Processor";
    o.detail = PERF_DETAIL_NOVICE;
    o.hasInstances = true;
    o.explain = "The share of time each online CPU spent in each state, from the tick counts of "
                "/proc/stat. Instances are the online CPUs by number (a CPU taken offline disappears "
                "and reads no instance until it returns) and _Total, the kernel's all-CPU line.";
    o.cumulativeFields = kTickFields | Bits({kGuest, kGuestNice, kIntr});
    o.makeCollector = [] { return std::unique_ptr<CObjectCollector>(new CProcessorCollector); };
    o.makeRemoteCollector = [] { return std::unique_ptr<CObjectCollector>(new CRemoteProcessorCollector); };
    o.counters = {
        {"% Processor Time", PERF_DETAIL_NOVICE, PERF_100NSEC_TIMER, 0, kTickFields, &BusyShare,
         "The share of time the CPU was not idle: 100·(1 − Δ(idle+iowait)/Δall ticks). Steal time "
         "counts as busy."},
        {"% User Time", PERF_DETAIL_ADVANCED, PERF_100NSEC_TIMER, 0, kTickFields, &TickShare<kUser, kNice>,
         "The share of time spent in user mode, nice processes included: 100·Δ(user+nice)/Δall ticks."},
        {"% Privileged Time", PERF_DETAIL_ADVANCED, PERF_100NSEC_TIMER, 0, kTickFields,
         &TickShare<kSystem, kIrq, kSoftirq>,
         "The share of time spent in the kernel, interrupts included: 100·Δ(system+irq+softirq)/Δall ticks."},
        {"% Idle Time", PERF_DETAIL_ADVANCED, PERF_100NSEC_TIMER, 0, kTickFields, &TickShare<kIdle, kIowait>,
         "The share of time the CPU was idle, waiting for I/O included: 100·Δ(idle+iowait)/Δall ticks."},
        {"% Interrupt Time", PERF_DETAIL_ADVANCED, PERF_100NSEC_TIMER, 0, kTickFields, &TickShare<kIrq>,
         "The share of time spent servicing hardware interrupts: 100·Δirq/Δall ticks."},
        {"% DPC Time", PERF_DETAIL_ADVANCED, PERF_100NSEC_TIMER, 0, kTickFields, &TickShare<kSoftirq>,
         "The share of time spent in soft interrupts, the Linux counterpart of deferred procedure calls: "
         "100·Δsoftirq/Δall ticks."},
        {"Interrupts/sec", PERF_DETAIL_ADVANCED, PERF_COUNTER_COUNTER, -2, Bit(kIntr), &Interrupts,
         "Hardware interrupts serviced per second (the first number of the intr line of /proc/stat). "
         "Only _Total has it: the per-CPU instances give invalid data."},
        {"% Nice Time", PERF_DETAIL_EXPERT, PERF_100NSEC_TIMER, 0, kTickFields, &TickShare<kNice>,
         "The share of time spent in user mode at a positive nice value: 100·Δnice/Δall ticks."},
        {"% IO Wait Time", PERF_DETAIL_EXPERT, PERF_100NSEC_TIMER, 0, kTickFields, &TickShare<kIowait>,
         "The share of time the CPU was idle with I/O outstanding: 100·Δiowait/Δall ticks."},
        {"% Steal Time", PERF_DETAIL_EXPERT, PERF_100NSEC_TIMER, 0, kTickFields, &TickShare<kSteal>,
         "The share of time a hypervisor ran something else while this virtual CPU wanted to run: "
         "100·Δsteal/Δall ticks."},
        {"% Guest Time", PERF_DETAIL_EXPERT, PERF_100NSEC_TIMER, 0, kTickFields | Bits({kGuest, kGuestNice}),
         &TickShare<kGuest, kGuestNice>,
         "The share of time spent running virtual CPUs of guests: 100·Δ(guest+guest_nice)/Δall ticks."},
    };
    return o;
}

} // namespace

const ObjectDef& ProcessorObject() {
    static const ObjectDef object = MakeProcessor();
    return object;
}

} // namespace zyn::pdh::detail
