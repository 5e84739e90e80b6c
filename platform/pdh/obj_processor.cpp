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
        const std::string* text = ctx.cache.Get(ctx.Proc("stat"), FileShape::OnePiece);
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
    // From tick counts of /proc/stat; _Total is the kernel's all-CPU line.
    o.explain =
        "How busy the processors are. There is one instance per processor by number, and _Total for all of "
        "them together. A processor that is switched off disappears from the list until it is back.";
    o.cumulativeFields = kTickFields | Bits({kGuest, kGuestNice, kIntr});
    o.makeCollector = [] { return std::unique_ptr<CObjectCollector>(new CProcessorCollector); };
    o.makeRemoteCollector = [] { return std::unique_ptr<CObjectCollector>(new CRemoteProcessorCollector); };
    o.counters = {
        // 100·(1 − Δ(idle+iowait)/Δall ticks)
        {"% Processor Time", PERF_DETAIL_NOVICE, PERF_100NSEC_TIMER, 0, kTickFields, &BusyShare,
         "How busy the processor was: the share of time it spent running anything at all. Time a virtual "
         "machine's host kept the processor for others also counts as busy."},
        // 100·Δ(user+nice)/Δall ticks
        {"% User Time", PERF_DETAIL_ADVANCED, PERF_100NSEC_TIMER, 0, kTickFields, &TickShare<kUser, kNice>,
         "The share of time the processor spent running programs' own code, low-priority programs included."},
        // 100·Δ(system+irq+softirq)/Δall ticks
        {"% Privileged Time", PERF_DETAIL_ADVANCED, PERF_100NSEC_TIMER, 0, kTickFields,
         &TickShare<kSystem, kIrq, kSoftirq>,
         "The share of time the processor spent in the operating system's kernel, handling interrupts "
         "included."},
        // 100·Δ(idle+iowait)/Δall ticks
        {"% Idle Time", PERF_DETAIL_ADVANCED, PERF_100NSEC_TIMER, 0, kTickFields, &TickShare<kIdle, kIowait>,
         "The share of time the processor had nothing to do, including time spent waiting for disks."},
        // 100·Δirq/Δall ticks
        {"% Interrupt Time", PERF_DETAIL_ADVANCED, PERF_100NSEC_TIMER, 0, kTickFields, &TickShare<kIrq>,
         "The share of time the processor spent answering devices such as disks and network cards."},
        // 100·Δsoftirq/Δall ticks
        {"% DPC Time", PERF_DETAIL_ADVANCED, PERF_100NSEC_TIMER, 0, kTickFields, &TickShare<kSoftirq>,
         "The share of time the processor spent finishing device work that the kernel had put off for a "
         "moment (software interrupts), such as handling network packets."},
        // first number of the intr line of /proc/stat
        {"Interrupts/sec", PERF_DETAIL_ADVANCED, PERF_COUNTER_COUNTER, -2, Bit(kIntr), &Interrupts,
         "How many times per second devices interrupted the processors. Only _Total has a value; the single "
         "processors show none."},
        // 100·Δnice/Δall ticks
        {"% Nice Time", PERF_DETAIL_EXPERT, PERF_100NSEC_TIMER, 0, kTickFields, &TickShare<kNice>,
         "The share of time the processor spent running programs that were started with a lower priority."},
        // 100·Δiowait/Δall ticks
        {"% IO Wait Time", PERF_DETAIL_EXPERT, PERF_100NSEC_TIMER, 0, kTickFields, &TickShare<kIowait>,
         "The share of time the processor had nothing to do while disk reads or writes were still waiting to "
         "finish. A high value points at slow disks rather than a busy processor."},
        // 100·Δsteal/Δall ticks
        {"% Steal Time", PERF_DETAIL_EXPERT, PERF_100NSEC_TIMER, 0, kTickFields, &TickShare<kSteal>,
         "On a virtual machine: the share of time this processor wanted to run but the host gave the time to "
         "other machines. A high value means the host is overloaded."},
        // 100·Δ(guest+guest_nice)/Δall ticks
        {"% Guest Time", PERF_DETAIL_EXPERT, PERF_100NSEC_TIMER, 0, kTickFields | Bits({kGuest, kGuestNice}),
         &TickShare<kGuest, kGuestNice>,
         "The share of time the processor spent running virtual machines hosted on this system."},
    };
    return o;
}

} // namespace

const ObjectDef& ProcessorObject() {
    static const ObjectDef object = MakeProcessor();
    return object;
}

} // namespace zyn::pdh::detail
