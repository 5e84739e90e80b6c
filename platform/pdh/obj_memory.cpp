// Memory: /proc/meminfo (kB) and /proc/vmstat (proc(5)).

#include "catalog.h"
#include "parse.h"
#include "remote_fields.h"

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
        const std::string* meminfo = ctx.cache.Get(ctx.Proc("meminfo"), FileShape::OnePiece);
        const std::string* vmstat = ctx.cache.Get(ctx.Proc("vmstat"), FileShape::ShortRecords);
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

// node_memory_<field>_bytes (already in bytes) and node_vmstat_<field>.
class CRemoteMemoryCollector final : public CObjectCollector {
public:
    void Collect(CollectContext& ctx, std::uint32_t, ObjectSample& out) override {
        const CMetricPage& page = *ctx.page;
        out.instances.resize(1);
        InstanceSample& inst = out.instances[0];
        inst.name.clear();
        inst.values.assign(kFieldCount, NAN);
        for (std::size_t k = 0; k < kMeminfoKeys.size(); ++k)
            inst.values[k] = PageValue(page, "node_memory_" + std::string(kMeminfoKeys[k]) + "_bytes");
        for (std::size_t k = 0; k < kVmstatKeys.size(); ++k)
            inst.values[kPgFault + k] = PageValue(page, "node_vmstat_" + std::string(kVmstatKeys[k]));
        out.available = Finite(inst.values[kMemTotal]);
    }
};

ObjectDef MakeMemory() {
    ObjectDef o;
    o.name = "Memory";
    // From /proc/meminfo and /proc/vmstat.
    o.explain = "The system's memory: how much is free for programs, how much is promised to them, and how "
                "much is moved to and from swap.";
    o.cumulativeFields = Bits({kPgFault, kPgMajFault, kPswpIn, kPswpOut});
    o.makeCollector = [] { return std::unique_ptr<CObjectCollector>(new CMemoryCollector); };
    o.makeRemoteCollector = [] { return std::unique_ptr<CObjectCollector>(new CRemoteMemoryCollector); };
    constexpr auto kAvail = Bits({kMemAvailable, kMemFree, kMemTotal});
    o.counters = {
        // MemAvailable of /proc/meminfo, MemFree where the kernel has none; MiB
        {"Available MBytes", PERF_DETAIL_NOVICE, PERF_COUNTER_LARGE_RAWCOUNT, 0, kAvail,
         [](const EvalInput& in, double& v) {
             v = AvailableBytes(in.cur) / 1048576.0;
             return Finite(v);
         },
         "Memory still available to start programs without pushing others out to swap, in megabytes. It "
         "includes file cache that can be given up. When it gets low, the system slows down."},
        // MemAvailable; KiB
        {"Available KBytes", PERF_DETAIL_ADVANCED, PERF_COUNTER_LARGE_RAWCOUNT, -3, kAvail,
         [](const EvalInput& in, double& v) {
             v = AvailableBytes(in.cur) / 1024.0;
             return Finite(v);
         },
         "Memory still available to start programs without pushing others out to swap, in kilobytes."},
        // MemAvailable
        {"Available Bytes", PERF_DETAIL_ADVANCED, PERF_COUNTER_LARGE_RAWCOUNT, -6, kAvail,
         [](const EvalInput& in, double& v) {
             v = AvailableBytes(in.cur);
             return Finite(v);
         },
         "Memory still available to start programs without pushing others out to swap, in bytes."},
        // Committed_AS of /proc/meminfo
        {"Committed Bytes", PERF_DETAIL_NOVICE, PERF_COUNTER_LARGE_RAWCOUNT, -6, Bit(kCommittedAs),
         &Raw<kCommittedAs>,
         "Memory that programs have asked for and been promised, in bytes, whether they use it yet or not."},
        // CommitLimit of /proc/meminfo
        {"Commit Limit", PERF_DETAIL_ADVANCED, PERF_COUNTER_LARGE_RAWCOUNT, -6, Bit(kCommitLimit),
         &Raw<kCommitLimit>,
         "How much memory the system is willing to promise to programs, in bytes: memory plus swap, as the "
         "kernel counts it."},
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
        // Cached + Buffers + SReclaimable
        {"Cache Bytes", PERF_DETAIL_ADVANCED, PERF_COUNTER_LARGE_RAWCOUNT, -6,
         Bits({kCached, kBuffers, kSReclaimable}),
         [](const EvalInput& in, double& v) {
             v = in.cur[kCached] + in.cur[kBuffers] +
                 (Finite(in.cur[kSReclaimable]) ? in.cur[kSReclaimable] : 0);
             return Finite(v);
         },
         "Memory holding copies of files and other data the system can drop when programs need the room, in "
         "bytes."},
        // pswpin + pswpout of /proc/vmstat; paging of memory-mapped files is not counted
        {"Pages/sec", PERF_DETAIL_NOVICE, PERF_COUNTER_COUNTER, 0, Bits({kPswpIn, kPswpOut}),
         [](const EvalInput& in, double& v) {
             v = (Delta(in, kPswpIn) + Delta(in, kPswpOut)) / in.seconds;
             return Finite(v);
         },
         "Pages of memory moved to and from swap per second. Steady swapping means the system is short of "
         "memory."},
        // pgfault of /proc/vmstat
        {"Page Faults/sec", PERF_DETAIL_NOVICE, PERF_COUNTER_COUNTER, -1, Bit(kPgFault), &PerSecond<kPgFault>,
         "How many times per second programs touched memory that was not ready for them, including the cheap "
         "cases that need no disk."},
        // pgmajfault of /proc/vmstat
        {"Page Reads/sec", PERF_DETAIL_ADVANCED, PERF_COUNTER_COUNTER, 0, Bit(kPgMajFault),
         &PerSecond<kPgMajFault>,
         "How many times per second programs had to wait for memory to be read from disk (from a file or "
         "from swap)."},
        // pswpin of /proc/vmstat
        {"Pages Input/sec", PERF_DETAIL_ADVANCED, PERF_COUNTER_COUNTER, 0, Bit(kPswpIn), &PerSecond<kPswpIn>,
         "Pages of memory read back from swap per second."},
        // pswpout of /proc/vmstat
        {"Pages Output/sec", PERF_DETAIL_ADVANCED, PERF_COUNTER_COUNTER, 0, Bit(kPswpOut),
         &PerSecond<kPswpOut>, "Pages of memory written out to swap per second."},
        // MemTotal of /proc/meminfo
        {"Total Bytes", PERF_DETAIL_EXPERT, PERF_COUNTER_LARGE_RAWCOUNT, -6, Bit(kMemTotal), &Raw<kMemTotal>,
         "All the memory the system can use, in bytes."},
    };
    return o;
}

} // namespace

const ObjectDef& MemoryObject() {
    static const ObjectDef object = MakeMemory();
    return object;
}

} // namespace zyn::pdh::detail
