// Pressure stall information: /proc/pressure/{cpu,memory,io} (Documentation/accounting/psi.rst).

#include "catalog.h"
#include "parse.h"
#include "remote_fields.h"

#include <unistd.h>

namespace zyn::pdh::detail {
namespace {

enum Field {
    kSomeAvg10,
    kSomeAvg60,
    kSomeAvg300,
    kSomeTotal,
    kFullAvg10,
    kFullAvg60,
    kFullAvg300,
    kFullTotal,
    kFieldCount
};

template <int F> bool StallShare(const EvalInput& in, double& v) {
    v = 100.0 * Delta(in, F) / (1e6 * in.seconds); // totals are microseconds
    return Finite(v);
}
template <int F> bool Raw(const EvalInput& in, double& v) {
    v = in.cur[F];
    return Finite(v);
}

template <const char* File> class CPressureCollector final : public CObjectCollector {
public:
    void Collect(CollectContext& ctx, std::uint32_t, ObjectSample& out) override {
        const std::string* text =
            ctx.cache.Get(ctx.Proc(std::string("pressure/") + File), FileShape::OnePiece);
        out.timeNs = ctx.Now();
        out.available = text != nullptr;
        out.instances.resize(1);
        InstanceSample& inst = out.instances[0];
        inst.values.assign(kFieldCount, NAN);
        if (!text) return;
        CLineReader lines(*text);
        std::string_view line;
        while (lines.Next(line)) {
            const std::string_view kind = NextWord(line);
            const int base = kind == "some" ? kSomeAvg10 : kind == "full" ? kFullAvg10 : -1;
            if (base < 0) continue;
            for (int i = 0; i < 4; ++i) {
                std::string_view word = NextWord(line);
                const auto eq = word.find('=');
                if (eq == std::string_view::npos) break;
                word.remove_prefix(eq + 1);
                double v = 0;
                if (NextDouble(word, v)) inst.values[base + i] = v;
            }
        }
    }
};

// node_pressure_<resource>_waiting_seconds_total (some) and _stalled_seconds_total (full), in
// seconds where the kernel's totals are microseconds. The averages are not exported.
template <const char* File> class CRemotePressureCollector final : public CObjectCollector {
public:
    void Collect(CollectContext& ctx, std::uint32_t, ObjectSample& out) override {
        const std::string prefix = std::string("node_pressure_") + File;
        out.instances.resize(1);
        InstanceSample& inst = out.instances[0];
        inst.values.assign(kFieldCount, NAN);
        inst.values[kSomeTotal] = PageValue(*ctx.page, prefix + "_waiting_seconds_total", 1e6);
        inst.values[kFullTotal] = PageValue(*ctx.page, prefix + "_stalled_seconds_total", 1e6);
        out.available = Finite(inst.values[kSomeTotal]) || Finite(inst.values[kFullTotal]);
    }
};

constexpr char kCpu[] = "cpu";
constexpr char kMemory[] = "memory";
constexpr char kIo[] = "io";

template <const char* File> ObjectDef MakePressure(std::string_view name, std::string_view explain) {
    ObjectDef o;
    o.name = name;
    o.detail = PERF_DETAIL_ADVANCED;
    o.explain = explain;
    o.cumulativeFields = Bits({kSomeTotal, kFullTotal});
    o.makeCollector = [] { return std::unique_ptr<CObjectCollector>(new CPressureCollector<File>); };
    o.makeRemoteCollector = [] {
        return std::unique_ptr<CObjectCollector>(new CRemotePressureCollector<File>);
    };
    o.available = [](const SourceConfig& config) {
        return access((config.procRoot + "/pressure/" + File).c_str(), R_OK) == 0;
    };
    o.counters = {
        // 100·Δsome total µs/(10^6·Δt)
        {"% Some Stall Time", PERF_DETAIL_ADVANCED, PERF_100NSEC_TIMER, 0, Bit(kSomeTotal),
         &StallShare<kSomeTotal>,
         "The share of time at least one program was held up waiting for this resource."},
        // 100·Δfull total µs/(10^6·Δt)
        {"% Full Stall Time", PERF_DETAIL_ADVANCED, PERF_100NSEC_TIMER, 0, Bit(kFullTotal),
         &StallShare<kFullTotal>,
         "The share of time every program that had work to do was held up waiting for this resource at once: "
         "time the system got nothing done."},
        {"Some Avg10", PERF_DETAIL_EXPERT, PERF_RAW_FRACTION, 0, Bit(kSomeAvg10), &Raw<kSomeAvg10>,
         "The share of time at least one program was held up, as the kernel averages it over the last 10 "
         "seconds, in percent."},
        {"Some Avg60", PERF_DETAIL_EXPERT, PERF_RAW_FRACTION, 0, Bit(kSomeAvg60), &Raw<kSomeAvg60>,
         "The share of time at least one program was held up, as the kernel averages it over the last "
         "minute, in percent."},
        {"Some Avg300", PERF_DETAIL_EXPERT, PERF_RAW_FRACTION, 0, Bit(kSomeAvg300), &Raw<kSomeAvg300>,
         "The share of time at least one program was held up, as the kernel averages it over the last five "
         "minutes, in percent."},
        {"Full Avg10", PERF_DETAIL_EXPERT, PERF_RAW_FRACTION, 0, Bit(kFullAvg10), &Raw<kFullAvg10>,
         "The share of time all busy programs were held up at once, as the kernel averages it over the last "
         "10 seconds, in percent."},
        {"Full Avg60", PERF_DETAIL_EXPERT, PERF_RAW_FRACTION, 0, Bit(kFullAvg60), &Raw<kFullAvg60>,
         "The share of time all busy programs were held up at once, as the kernel averages it over the last "
         "minute, in percent."},
        {"Full Avg300", PERF_DETAIL_EXPERT, PERF_RAW_FRACTION, 0, Bit(kFullAvg300), &Raw<kFullAvg300>,
         "The share of time all busy programs were held up at once, as the kernel averages it over the last "
         "five minutes, in percent."},
    };
    return o;
}

} // namespace

const ObjectDef& PressureCpuObject() {
    static const ObjectDef object =
        MakePressure<kCpu>("Pressure CPU", "How long programs were held up waiting for a processor.");
    return object;
}
const ObjectDef& PressureMemoryObject() {
    static const ObjectDef object =
        MakePressure<kMemory>("Pressure Memory", "How long programs were held up waiting for memory: while "
                                                 "the system freed memory or read it back from swap.");
    return object;
}
const ObjectDef& PressureIoObject() {
    static const ObjectDef object = MakePressure<kIo>(
        "Pressure IO", "How long programs were held up waiting for disks and other input and output.");
    return object;
}

} // namespace zyn::pdh::detail
