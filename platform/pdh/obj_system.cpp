// System: /proc/stat, /proc/loadavg, /proc/uptime and the process entries of /proc.

#include "catalog.h"
#include "parse.h"
#include "remote_fields.h"

#include <algorithm>
#include <unordered_set>

namespace zyn::pdh::detail {
namespace {

enum Field {
    kCtxt,
    kProcessesCreated,
    kProcsRunning,
    kProcsBlocked,
    kOnlineCpus,
    kThreads,
    kLoad1,
    kLoad5,
    kLoad15,
    kUptime,
    kProcessCount,
    kFieldCount
};
enum Need : std::uint32_t { kNeedLoadavg = 1, kNeedUptime = 2, kNeedProcDir = 4 };

template <int F> bool Raw(const EvalInput& in, double& value) {
    value = in.cur[F];
    return Finite(value);
}
template <int F> bool PerSecond(const EvalInput& in, double& value) {
    value = Delta(in, F) / in.seconds;
    return Finite(value);
}

// procs_running counts every runnable thread, the ones on a CPU included, and among them the
// thread reading /proc/stat right now: without the reader, what is left beyond one per online CPU
// is waiting. Never below 0.
bool QueueLength(const EvalInput& in, double& value) {
    value = std::max(0.0, in.cur[kProcsRunning] - 1.0 - in.cur[kOnlineCpus]);
    return Finite(in.cur[kProcsRunning]) && Finite(in.cur[kOnlineCpus]);
}

class CSystemCollector final : public CObjectCollector {
public:
    void Collect(CollectContext& ctx, std::uint32_t needs, ObjectSample& out) override {
        const std::string* stat = ctx.cache.Get(ctx.Proc("stat"), FileShape::OnePiece);
        out.timeNs = ctx.Now();
        out.available = stat != nullptr;
        out.instances.resize(1);
        InstanceSample& inst = out.instances[0];
        inst.values.assign(kFieldCount, NAN);
        double* v = inst.values.data();
        if (stat) ParseStat(*stat, v);
        if (needs & kNeedLoadavg) {
            if (const std::string* text = ctx.cache.Get(ctx.Proc("loadavg"), FileShape::OnePiece)) {
                std::string_view s = *text;
                NextDouble(s, v[kLoad1]);
                NextDouble(s, v[kLoad5]);
                NextDouble(s, v[kLoad15]);
                const auto slash = s.find('/');
                std::uint64_t threads = 0;
                if (slash != std::string_view::npos) {
                    s.remove_prefix(slash + 1);
                    if (NextU64(s, threads)) v[kThreads] = static_cast<double>(threads);
                }
            }
        }
        if (needs & kNeedUptime) {
            if (const std::string* text = ctx.cache.Get(ctx.Proc("uptime"), FileShape::OnePiece)) {
                std::string_view s = *text;
                NextDouble(s, v[kUptime]);
            }
        }
        if (needs & kNeedProcDir) v[kProcessCount] = ctx.cache.ProcessCount(ctx.config.procRoot);
    }

private:
    static void ParseStat(std::string_view text, double* v) {
        double cpus = 0;
        CLineReader lines(text);
        std::string_view line;
        while (lines.Next(line)) {
            std::string_view rest = line;
            const std::string_view key = NextWord(rest);
            std::uint64_t n = 0;
            if (key.starts_with("cpu")) {
                if (key.size() > 3) ++cpus;
                continue;
            }
            int field = -1;
            if (key == "ctxt")
                field = kCtxt;
            else if (key == "processes")
                field = kProcessesCreated;
            else if (key == "procs_running")
                field = kProcsRunning;
            else if (key == "procs_blocked")
                field = kProcsBlocked;
            if (field >= 0 && NextU64(rest, n)) v[field] = static_cast<double>(n);
        }
        v[kOnlineCpus] = cpus;
    }
};

// The stat, loadavg, time and (when enabled) processes collectors of node_exporter.
class CRemoteSystemCollector final : public CObjectCollector {
public:
    void Collect(CollectContext& ctx, std::uint32_t, ObjectSample& out) override {
        const CMetricPage& page = *ctx.page;
        out.instances.resize(1);
        InstanceSample& inst = out.instances[0];
        inst.values.assign(kFieldCount, NAN);
        double* v = inst.values.data();
        v[kCtxt] = PageValue(page, "node_context_switches_total");
        v[kProcessesCreated] = PageValue(page, "node_forks_total");
        v[kProcsRunning] = PageValue(page, "node_procs_running");
        v[kProcsBlocked] = PageValue(page, "node_procs_blocked");
        v[kThreads] = PageValue(page, "node_processes_threads");
        v[kProcessCount] = PageValue(page, "node_processes_pids");
        v[kLoad1] = PageValue(page, "node_load1");
        v[kLoad5] = PageValue(page, "node_load5");
        v[kLoad15] = PageValue(page, "node_load15");
        v[kUptime] = PageValue(page, "node_time_seconds") - PageValue(page, "node_boot_time_seconds");
        std::unordered_set<std::string_view> cpus;
        for (const MetricSample& s : page.Samples("node_cpu_seconds_total"))
            cpus.insert(page.Label(s, "cpu"));
        v[kOnlineCpus] = cpus.empty() ? NAN : static_cast<double>(cpus.size());
        out.available =
            std::any_of(inst.values.begin(), inst.values.end(), [](double x) { return Finite(x); });
    }
};

ObjectDef MakeSystem() {
    ObjectDef o;
    o.name = "System";
    // From /proc/stat, /proc/loadavg and /proc/uptime.
    o.explain = "Figures for the whole system: how many programs run, how much work waits for a processor, "
                "and how long the system has been up.";
    o.cumulativeFields = Bits({kCtxt, kProcessesCreated});
    o.makeCollector = [] { return std::unique_ptr<CObjectCollector>(new CSystemCollector); };
    o.makeRemoteCollector = [] { return std::unique_ptr<CObjectCollector>(new CRemoteSystemCollector); };
    o.counters = {
        {"Processor Queue Length", PERF_DETAIL_NOVICE, PERF_COUNTER_LARGE_RAWCOUNT, 1,
         Bits({kProcsRunning, kOnlineCpus}), &QueueLength,
         "Threads that are ready to run but waiting for a processor. A queue that stays above a few "
         "threads per processor means the processors cannot keep up."},
        // ctxt of /proc/stat
        {"Context Switches/sec", PERF_DETAIL_NOVICE, PERF_COUNTER_COUNTER, -2, Bit(kCtxt), &PerSecond<kCtxt>,
         "How many times per second the processors switched from one program or thread to another. Very high "
         "values mean many threads compete for the processors."},
        // numeric entries of /proc
        {"Processes", PERF_DETAIL_NOVICE, PERF_COUNTER_LARGE_RAWCOUNT, 0, Bit(kProcessCount),
         &Raw<kProcessCount>, "How many processes exist right now.", kNeedProcDir},
        // the number after the slash in /proc/loadavg
        {"Threads", PERF_DETAIL_NOVICE, PERF_COUNTER_LARGE_RAWCOUNT, -1, Bit(kThreads), &Raw<kThreads>,
         "How many threads exist right now, counting every process's threads.", kNeedLoadavg},
        // first field of /proc/uptime
        {"System Up Time", PERF_DETAIL_NOVICE, PERF_ELAPSED_TIME, -4, Bit(kUptime), &Raw<kUptime>,
         "How long the system has been running since it was last started, in seconds.", kNeedUptime},
        // processes of /proc/stat
        {"Processes Created/sec", PERF_DETAIL_ADVANCED, PERF_COUNTER_COUNTER, 0, Bit(kProcessesCreated),
         &PerSecond<kProcessesCreated>, "How many new processes and threads were started per second."},
        // procs_blocked of /proc/stat
        {"Processes Blocked", PERF_DETAIL_ADVANCED, PERF_COUNTER_LARGE_RAWCOUNT, 0, Bit(kProcsBlocked),
         &Raw<kProcsBlocked>,
         "How many threads are waiting for a disk right now and cannot do anything else until it answers."},
        // /proc/loadavg
        {"Load Average 1 min", PERF_DETAIL_ADVANCED, PERF_COUNTER_LARGE_RAWCOUNT, 1, Bit(kLoad1),
         &Raw<kLoad1>,
         "The system load averaged over the last minute: roughly how many threads were running or waiting to "
         "run. Compare it with the number of processors.",
         kNeedLoadavg},
        // /proc/loadavg
        {"Load Average 5 min", PERF_DETAIL_ADVANCED, PERF_COUNTER_LARGE_RAWCOUNT, 1, Bit(kLoad5),
         &Raw<kLoad5>,
         "The system load averaged over the last five minutes: roughly how many threads were running or "
         "waiting to run. Compare it with the number of processors.",
         kNeedLoadavg},
        // /proc/loadavg
        {"Load Average 15 min", PERF_DETAIL_ADVANCED, PERF_COUNTER_LARGE_RAWCOUNT, 1, Bit(kLoad15),
         &Raw<kLoad15>,
         "The system load averaged over the last fifteen minutes: roughly how many threads were running or "
         "waiting to run. Compare it with the number of processors.",
         kNeedLoadavg},
    };
    return o;
}

} // namespace

const ObjectDef& SystemObject() {
    static const ObjectDef object = MakeSystem();
    return object;
}

} // namespace zyn::pdh::detail
