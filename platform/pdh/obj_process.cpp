// Process: /proc/<pid>/stat for every process; status and io only when their counters are in use.

#include "catalog.h"
#include "parse.h"
#include "text.h"
#include "total_accumulator.h"

#include <algorithm>
#include <map>

namespace zyn::pdh::detail {
namespace {

enum Field {
    kPid,
    kPpid,
    kUtime,
    kStime,
    kMinflt,
    kMajflt,
    kThreads,
    kStartTicks,
    kVsize,
    kRssBytes,
    kUptime,
    kVmHwm,
    kRssAnon,
    kVmSwap,
    kRchar,
    kWchar,
    kSyscr,
    kSyscw,
    kFieldCount
};
enum Need : std::uint32_t { kNeedStatus = 1, kNeedIo = 2 };
constexpr std::uint64_t kCumulative =
    Bits({kUtime, kStime, kMinflt, kMajflt, kRchar, kWchar, kSyscr, kSyscw});

struct Proc {
    std::string name;
    std::uint64_t pid = 0;
    std::uint64_t start = 0;
    std::vector<double> values;
};

bool ParseStat(std::string_view text, double pageSize, Proc& p) {
    const auto open = text.find('(');
    const auto close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) return false;
    p.name = MapInstanceName(text.substr(open + 1, close - open - 1));
    std::string_view rest = text.substr(close + 1);
    NextWord(rest); // state
    std::uint64_t f[22] = {};
    // Fields 4..25 of proc(5): ppid .. rss.
    for (int i = 0; i < 22; ++i)
        if (!NextU64(rest, f[i]) && NextWord(rest).empty()) return false; // signed fields read as 0
    p.values.assign(kFieldCount, NAN);
    double* v = p.values.data();
    v[kPid] = static_cast<double>(p.pid);
    v[kPpid] = static_cast<double>(f[0]);
    v[kMinflt] = static_cast<double>(f[6]);
    v[kMajflt] = static_cast<double>(f[8]);
    v[kUtime] = static_cast<double>(f[10]);
    v[kStime] = static_cast<double>(f[11]);
    v[kThreads] = static_cast<double>(f[16]);
    v[kStartTicks] = static_cast<double>(f[18]);
    v[kVsize] = static_cast<double>(f[19]);
    v[kRssBytes] = static_cast<double>(f[20]) * pageSize;
    p.start = f[18];
    return true;
}

void ParseKeyed(std::string_view text, std::initializer_list<std::pair<std::string_view, int>> keys,
                double unit, double* v) {
    CLineReader lines(text);
    std::string_view line;
    while (lines.Next(line)) {
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view key = line.substr(0, colon);
        for (const auto& [name, field] : keys) {
            if (key != name) continue;
            std::string_view rest = line.substr(colon + 1);
            std::uint64_t n = 0;
            if (NextU64(rest, n)) v[field] = static_cast<double>(n) * unit;
        }
    }
}

// What the kernel counted for the whole system, for the _Total figures a sweep of /proc cannot
// give: a process that starts and ends between two sweeps is never seen, but its processor time
// is in the cpu line of /proc/stat and its faults are in pgfault of /proc/vmstat.
struct SystemCounts {
    double userTicks = NAN;   // user + nice (guest time is inside them)
    double kernelTicks = NAN; // system + irq + softirq; idle, iowait and steal are nobody's
    double faults = NAN;
    double uptime = NAN;
};

SystemCounts ReadSystemCounts(CollectContext& ctx) {
    SystemCounts counts;
    if (const std::string* stat = ctx.cache.Get(ctx.Proc("stat"), FileShape::OnePiece);
        stat && stat->starts_with("cpu ")) {
        std::string_view line = std::string_view(*stat).substr(3, stat->find('\n') - 3);
        std::uint64_t t[7] = {};
        int n = 0;
        while (n < 7 && NextU64(line, t[n]))
            ++n;
        if (n == 7) {
            counts.userTicks = static_cast<double>(t[0] + t[1]);
            counts.kernelTicks = static_cast<double>(t[2] + t[5] + t[6]);
        }
    }
    if (const std::string* vmstat = ctx.cache.Get(ctx.Proc("vmstat"), FileShape::ShortRecords)) {
        CLineReader lines(*vmstat);
        std::string_view line;
        std::uint64_t n = 0;
        while (lines.Next(line))
            if (NextWord(line) == "pgfault" && NextU64(line, n)) counts.faults = static_cast<double>(n);
    }
    if (const std::string* u = ctx.cache.Get(ctx.Proc("uptime"), FileShape::OnePiece)) {
        std::string_view text = *u;
        NextDouble(text, counts.uptime);
    }
    return counts;
}

template <int F> bool Raw(const EvalInput& in, double& v) {
    v = in.cur[F];
    return Finite(v);
}
template <int F> bool PerSecond(const EvalInput& in, double& v) {
    v = Delta(in, F) / in.seconds;
    return Finite(v);
}
// 100·Δticks/(HZ·Δt): a percentage of one CPU, so up to 100 per busy CPU before the formatting cap.
template <int... Fs> bool CpuShare(const EvalInput& in, double& v) {
    v = 100.0 * ((Delta(in, Fs) + ... + 0.0)) / (in.clockTicks * in.seconds);
    return Finite(v);
}

class CProcessCollector final : public CObjectCollector {
public:
    void Collect(CollectContext& ctx, std::uint32_t needs, ObjectSample& out) override {
        // The system counts first and the time with them: _Total's processor times are rates over
        // the interval between two reads of /proc/stat.
        const SystemCounts system = ReadSystemCounts(ctx);
        out.timeNs = ctx.Now();
        std::vector<Proc> procs;
        const std::vector<std::uint64_t>* pids = ctx.cache.ProcessIds(ctx.config.procRoot);
        out.available = pids != nullptr;
        if (pids) {
            procs.reserve(pids->size());
            for (const std::uint64_t pid : *pids) {
                Proc p;
                p.pid = pid;
                const std::string base = ctx.Proc(std::to_string(pid));
                const std::string* stat = ctx.cache.Get(base + "/stat", FileShape::OnePiece);
                if (!stat || !ParseStat(*stat, ctx.pageSize, p))
                    continue; // ended between listing and reading
                if (needs & kNeedStatus)
                    if (const std::string* s = ctx.cache.Get(base + "/status", FileShape::OnePiece))
                        ParseKeyed(*s, {{"VmHWM", kVmHwm}, {"RssAnon", kRssAnon}, {"VmSwap", kVmSwap}},
                                   1024.0, p.values.data());
                if (needs & kNeedIo) // needs permission: unreadable leaves the fields invalid
                    if (const std::string* s = ctx.cache.Get(base + "/io", FileShape::OnePiece))
                        ParseKeyed(
                            *s, {{"rchar", kRchar}, {"wchar", kWchar}, {"syscr", kSyscr}, {"syscw", kSyscw}},
                            1.0, p.values.data());
                procs.push_back(std::move(p));
            }
        }
        // Names `bash`, `bash#1`, … ordered by (start time, pid).
        std::sort(procs.begin(), procs.end(), [](const Proc& a, const Proc& b) {
            return a.start != b.start ? a.start < b.start : a.pid < b.pid;
        });
        std::map<std::string, int> seen;
        out.instances.resize(procs.size());
        for (std::size_t i = 0; i < procs.size(); ++i) {
            InstanceSample& inst = out.instances[i];
            const int n = seen[procs[i].name]++;
            inst.name = n == 0 ? procs[i].name : procs[i].name + "#" + std::to_string(n);
            inst.identity = procs[i].pid * 0x9E3779B97F4A7C15ull ^ procs[i].start;
            inst.values = std::move(procs[i].values);
            inst.values[kUptime] = system.uptime;
        }
        if (out.available) out.instances.push_back(Total(out.instances, system, ctx.clockTicks));
        m_prevUptime = system.uptime;
    }

private:
    // Which source each _Total figure comes from:
    //  - processor times (utime, stime): the system-wide ticks of /proc/stat, so processes that come
    //    and go between two sweeps count;
    //  - page faults: pgfault of /proc/vmstat, for the same reason (all faults, major ones included);
    //  - I/O counts (rchar, wchar, syscr, syscw): the deltas of the processes present in both
    //    sweeps, plus everything a process did that started after the previous sweep; a process
    //    that ends between two sweeps loses what it did since the earlier one (no system-wide
    //    count exists);
    //  - memory, threads, sizes: the sum over the processes present now.
    InstanceSample Total(const std::vector<InstanceSample>& instances, const SystemCounts& system,
                         double clockTicks) {
        InstanceSample total;
        total.name = "_Total";
        total.identity = ~std::uint64_t{0};
        const double since = m_prevUptime;
        m_total.Build(instances, kFieldCount, kCumulative, 0, total,
                      [since, clockTicks](const InstanceSample& i) {
                          return Finite(since) && i.values[kStartTicks] / clockTicks > since;
                      });
        total.values[kUtime] = system.userTicks;
        total.values[kStime] = system.kernelTicks;
        total.values[kMinflt] = system.faults;
        total.values[kMajflt] = 0;
        total.values[kPid] = 0;
        total.values[kPpid] = 0;
        total.values[kStartTicks] = NAN;
        return total;
    }

    CTotalAccumulator m_total;
    double m_prevUptime = NAN;
};

ObjectDef MakeProcess() {
    ObjectDef o;
    o.name = "Process";
    o.hasInstances = true;
    o.explain = "Each running program, and _Total for all of them. Programs are listed by name; more "
                "programs of the same name are name#1, name#2 and so on, in the order they started. "
                "Characters that counter paths reserve are replaced: ( by [, ) by ], / by !, and #, \\ and * "
                "by _. When name#1 comes to mean another program because an earlier one ended, its figures "
                "start again. _Total's processor time and page faults are the whole system's, so programs "
                "too short-lived to be seen still count; its input and output adds up the programs seen, and "
                "its memory and threads add up the programs running at the moment.";
    o.cumulativeFields = kCumulative;
    o.makeCollector = [] { return std::unique_ptr<CObjectCollector>(new CProcessCollector); };
    o.counters = {
        {"% Processor Time", PERF_DETAIL_NOVICE, PERF_100NSEC_TIMER, 0, Bits({kUtime, kStime}),
         &CpuShare<kUtime, kStime>,
         "Processor time the program used, running its own code and in the kernel for it, as a percentage of "
         "one processor. A program busy on several processors at once uses more than one processor's time, "
         "but charts show at most 100: a flat line at 100 means one processor's worth or more. The Processor "
         "object's _Total instance shows the share of all processors."},
        {"% User Time", PERF_DETAIL_ADVANCED, PERF_100NSEC_TIMER, 0, Bit(kUtime), &CpuShare<kUtime>,
         "Processor time the process spent running its own code, as a percentage of one processor "
         "(charts show at most 100)."},
        {"% Privileged Time", PERF_DETAIL_ADVANCED, PERF_100NSEC_TIMER, 0, Bit(kStime), &CpuShare<kStime>,
         "Processor time the kernel spent working for the process (system calls, page faults), as a "
         "percentage of one processor (charts show at most 100)."},
        {"Elapsed Time", PERF_DETAIL_ADVANCED, PERF_ELAPSED_TIME, -4, Bits({kUptime, kStartTicks}),
         [](const EvalInput& in, double& v) {
             v = in.cur[kUptime] - in.cur[kStartTicks] / in.clockTicks;
             return Finite(v);
         },
         "Seconds since the process started."},
        {"ID Process", PERF_DETAIL_ADVANCED, PERF_COUNTER_LARGE_RAWCOUNT, -1, Bit(kPid), &Raw<kPid>,
         "The process identifier."},
        {"Creating Process ID", PERF_DETAIL_ADVANCED, PERF_COUNTER_LARGE_RAWCOUNT, -1, Bit(kPpid),
         &Raw<kPpid>, "The identifier of the parent process."},
        {"Thread Count", PERF_DETAIL_NOVICE, PERF_COUNTER_LARGE_RAWCOUNT, 0, Bit(kThreads), &Raw<kThreads>,
         "Threads of the process."},
        // rss of stat, the VmRSS of status
        {"Working Set", PERF_DETAIL_NOVICE, PERF_COUNTER_LARGE_RAWCOUNT, -5, Bit(kRssBytes), &Raw<kRssBytes>,
         "Memory the program is using right now, in bytes."},
        {"Virtual Bytes", PERF_DETAIL_ADVANCED, PERF_COUNTER_LARGE_RAWCOUNT, -6, Bit(kVsize), &Raw<kVsize>,
         "Virtual address space of the process in bytes."},
        {"Page Faults/sec", PERF_DETAIL_ADVANCED, PERF_COUNTER_COUNTER, -1, Bits({kMinflt, kMajflt}),
         [](const EvalInput& in, double& v) {
             v = (Delta(in, kMinflt) + Delta(in, kMajflt)) / in.seconds;
             return Finite(v);
         },
         "Page faults of the process per second, minor and major."},
        // VmHWM of /proc/<pid>/status
        {"Working Set Peak", PERF_DETAIL_EXPERT, PERF_COUNTER_LARGE_RAWCOUNT, -5, Bit(kVmHwm), &Raw<kVmHwm>,
         "The most memory the program has used at one time since it started, in bytes.", kNeedStatus},
        // RssAnon + VmSwap of /proc/<pid>/status
        {"Private Bytes", PERF_DETAIL_EXPERT, PERF_COUNTER_LARGE_RAWCOUNT, -5, Bits({kRssAnon, kVmSwap}),
         [](const EvalInput& in, double& v) {
             v = in.cur[kRssAnon] + (Finite(in.cur[kVmSwap]) ? in.cur[kVmSwap] : 0.0);
             return Finite(v);
         },
         "Memory that belongs to this program alone and is shared with no other, in bytes, including what "
         "has been moved to swap.",
         kNeedStatus},
        // rchar of /proc/<pid>/io; invalid data when the file is denied
        {"IO Read Bytes/sec", PERF_DETAIL_EXPERT, PERF_COUNTER_BULK_COUNT, -4, Bit(kRchar),
         &PerSecond<kRchar>,
         "Bytes the program read per second, from files, disks, pipes or the network. Another user's program "
         "shows no value unless the system allows reading its figures.",
         kNeedIo},
        // wchar of /proc/<pid>/io
        {"IO Write Bytes/sec", PERF_DETAIL_EXPERT, PERF_COUNTER_BULK_COUNT, -4, Bit(kWchar),
         &PerSecond<kWchar>, "Bytes the program wrote per second, to files, disks, pipes or the network.",
         kNeedIo},
        // syscr of /proc/<pid>/io
        {"IO Read Operations/sec", PERF_DETAIL_EXPERT, PERF_COUNTER_COUNTER, 0, Bit(kSyscr),
         &PerSecond<kSyscr>, "How many times per second the program asked to read data.", kNeedIo},
        // syscw of /proc/<pid>/io
        {"IO Write Operations/sec", PERF_DETAIL_EXPERT, PERF_COUNTER_COUNTER, 0, Bit(kSyscw),
         &PerSecond<kSyscw>, "How many times per second the program asked to write data.", kNeedIo},
    };
    return o;
}

} // namespace

const ObjectDef& ProcessObject() {
    static const ObjectDef object = MakeProcess();
    return object;
}

} // namespace zyn::pdh::detail
