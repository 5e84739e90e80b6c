// Memory: /proc/meminfo (kB) and /proc/vmstat (proc(5)).

#include "catalog.h"
#include "parse.h"

#include <array>

namespace zyn::pdh::detail {
namespace {

enum Field {
    kMemTotal,
    kMemFree,
    kMemAvailable,
    kBuffers,
    kCached,
    kSReclaimable,
    kCommittedAs,
    kCommitLimit,
    kSwapTotal,
    kSwapFree, // bytes
    kPgFault,
    kPgMajFault,
    kPswpIn,
    kPswpOut,
    kFieldCount
};

constexpr std::array<std::string_view, 10> kMeminfoKeys = {
    "MemTotal",     "MemFree",      "MemAvailable", "Buffers",   "Cached",
    "SReclaimable", "Committed_AS", "CommitLimit",  "SwapTotal", "SwapFree"};
constexpr std::array<std::string_view, 4> kVmstatKeys = {"pgfault", "pgmajfault", "pswpin", "pswpout"};

double AvailableBytes(const double* v) {
    const double avail = v[kMemAvailable];
    if (!Finite(avail) || (Finite(v[kMemTotal]) && avail > v[kMemTotal])) return v[kMemFree];
    return avail;
}

template <int F> bool Raw(const EvalInput& in, double& value) {
    value = in.cur[F];
    return Finite(value);
}
template <int F> bool PerSecond(const EvalInput& in, double& value) {
    value = Delta(in, F) / in.seconds;
    return Finite(value);
}

class CMemoryCollector final : public CObjectCollector {
public:
    void Collect(CollectContext& ctx, std::uint32_t, ObjectSample& out) override {
        const std::string* meminfo = ctx.cache.Get(ctx.Proc("meminfo"));
        const std::string* vmstat = ctx.cache.Get(ctx.Proc("vmstat"));
        out.timeNs = ctx.Now();
        out.available = meminfo != nullptr;
        out.instances.resize(1);
        InstanceSample& inst = out.instances[0];
        inst.name.clear();
        inst.values.assign(kFieldCount, NAN);
        if (meminfo) ParseKeyed(*meminfo, kMeminfoKeys, ':', 1024.0, inst.values.data());
        if (vmstat) ParseKeyed(*vmstat, kVmstatKeys, ' ', 1.0, inst.values.data() + kPgFault);
    }

private:
    template <std::size_t N>
    static void ParseKeyed(std::string_view text, const std::array<std::string_view, N>& keys, char sep,
                           double unit, double* values) {
        std::size_t found = 0;
        CLineReader lines(text);
        std::string_view line;
        while (found < N && lines.Next(line)) {
            const auto end = line.find(sep);
            if (end == std::string_view::npos) continue;
            const std::string_view key = line.substr(0, end);
            for (std::size_t k = 0; k < N; ++k) {
                if (key != keys[k]) continue;
                std::string_view rest = line.substr(end + 1);
                std::uint64_t v = 0;
                if (NextU64(rest, v)) {
                    values[k] = static_cast<double>(v) * unit;
                    ++found;
                }
                break;
            }
        }
    }
};

ObjectDef MakeMemory() {
    ObjectDef o;
    o.name = "Memory";
    o.explain = "Physical and virtual memory of the system, from /proc/meminfo and /proc/vmstat.";
    o.cumulativeFields = Bits({kPgFault, kPgMajFault, kPswpIn, kPswpOut});
    o.makeCollector = [] { return std::unique_ptr<CObjectCollector>(new CMemoryCollector); };
    constexpr auto kAvail = Bits({kMemAvailable, kMemFree, kMemTotal});
    o.counters = {
        {"Available MBytes", PERF_DETAIL_NOVICE, PERF_COUNTER_LARGE_RAWCOUNT, 0, kAvail,
         [](const EvalInput& in, double& v) {
             v = AvailableBytes(in.cur) / 1048576.0;
             return Finite(v);
         },
         "Memory available to start new programs without swapping, in MiB: MemAvailable of "
         "/proc/meminfo (MemFree where the kernel has none)."},
        {"Available KBytes", PERF_DETAIL_ADVANCED, PERF_COUNTER_LARGE_RAWCOUNT, -3, kAvail,
         [](const EvalInput& in, double& v) {
             v = AvailableBytes(in.cur) / 1024.0;
             return Finite(v);
         },
         "Memory available to start new programs without swapping, in KiB (MemAvailable)."},
        {"Available Bytes", PERF_DETAIL_ADVANCED, PERF_COUNTER_LARGE_RAWCOUNT, -6, kAvail,
         [](const EvalInput& in, double& v) {
             v = AvailableBytes(in.cur);
             return Finite(v);
         },
         "Memory available to start new programs without swapping, in bytes (MemAvailable)."},
        {"Committed Bytes", PERF_DETAIL_NOVICE, PERF_COUNTER_LARGE_RAWCOUNT, -6, Bit(kCommittedAs),
         &Raw<kCommittedAs>,
         "Virtual memory promised to processes: Committed_AS of /proc/meminfo, in bytes."},
        {"Commit Limit", PERF_DETAIL_ADVANCED, PERF_COUNTER_LARGE_RAWCOUNT, -6, Bit(kCommitLimit),
         &Raw<kCommitLimit>,
         "The commit limit of the kernel's overcommit accounting: CommitLimit, in bytes."},
        {"% Committed Bytes In Use", PERF_DETAIL_ADVANCED, PERF_RAW_FRACTION, 0,
         Bits({kCommittedAs, kCommitLimit}),
         [](const EvalInput& in, double& v) { // 100·Committed_AS/CommitLimit
             if (!(in.cur[kCommitLimit] > 0)) return false;
             v = 100.0 * in.cur[kCommittedAs] / in.cur[kCommitLimit];
             return Finite(v);
         },
         "Memory promised to processes as a percentage of the commit limit. Unless strict overcommit "
         "is set, Linux promises more than the limit, so the true figure can pass 100; charts show at "
         "most 100, so a flat line at 100 means the limit is reached or passed."},
        {"Cache Bytes", PERF_DETAIL_ADVANCED, PERF_COUNTER_LARGE_RAWCOUNT, -6,
         Bits({kCached, kBuffers, kSReclaimable}),
         [](const EvalInput& in, double& v) {
             v = in.cur[kCached] + in.cur[kBuffers] +
                 (Finite(in.cur[kSReclaimable]) ? in.cur[kSReclaimable] : 0);
             return Finite(v);
         },
         "Memory holding file data and reclaimable kernel caches: Cached + Buffers + SReclaimable, in "
         "bytes."},
        {"Pages/sec", PERF_DETAIL_NOVICE, PERF_COUNTER_COUNTER, 0, Bits({kPswpIn, kPswpOut}),
         [](const EvalInput& in, double& v) {
             v = (Delta(in, kPswpIn) + Delta(in, kPswpOut)) / in.seconds;
             return Finite(v);
         },
         "Pages swapped in and out per second (pswpin + pswpout of /proc/vmstat). Unlike the Windows "
         "counter it does not count paging of memory-mapped files."},
        {"Page Faults/sec", PERF_DETAIL_NOVICE, PERF_COUNTER_COUNTER, -1, Bit(kPgFault), &PerSecond<kPgFault>,
         "Page faults per second, minor and major (pgfault of /proc/vmstat)."},
        {"Page Reads/sec", PERF_DETAIL_ADVANCED, PERF_COUNTER_COUNTER, 0, Bit(kPgMajFault),
         &PerSecond<kPgMajFault>, "Major page faults per second, those that read from disk (pgmajfault)."},
        {"Pages Input/sec", PERF_DETAIL_ADVANCED, PERF_COUNTER_COUNTER, 0, Bit(kPswpIn), &PerSecond<kPswpIn>,
         "Pages swapped in per second (pswpin)."},
        {"Pages Output/sec", PERF_DETAIL_ADVANCED, PERF_COUNTER_COUNTER, 0, Bit(kPswpOut),
         &PerSecond<kPswpOut>, "Pages swapped out per second (pswpout)."},
        {"Total Bytes", PERF_DETAIL_EXPERT, PERF_COUNTER_LARGE_RAWCOUNT, -6, Bit(kMemTotal), &Raw<kMemTotal>,
         "Usable physical memory: MemTotal, in bytes."},
    };
    return o;
}

} // namespace

const ObjectDef& MemoryObject() {
    static const ObjectDef object = MakeMemory();
    return object;
}

} // namespace zyn::pdh::detail
