// Control Group: cgroup v2 groups (Documentation/admin-guide/cgroup-v2.rst), at /sys/fs/cgroup or,
// on hybrid systems, /sys/fs/cgroup/unified.

#include "catalog.h"
#include "parse.h"
#include "text.h"

#include <algorithm>
#include <dirent.h>
#include <functional>
#include <unistd.h>

namespace zyn::pdh::detail {
namespace {

enum Field {
    kUsage,
    kUser,
    kSystem,
    kThrottled,
    kMemCurrent,
    kMemMax,
    kPids,
    kIoRead,
    kIoWrite,
    kFieldCount
};
enum Need : std::uint32_t { kNeedMemory = 1, kNeedMemoryMax = 2, kNeedPids = 4, kNeedIo = 8 };
constexpr int kMaxDepth = 8;
constexpr std::size_t kMaxGroups = 4096;

std::string FindRoot(const std::string& sysRoot) {
    for (const char* candidate : {"/fs/cgroup", "/fs/cgroup/unified"}) {
        std::string root = sysRoot + candidate;
        if (access((root + "/cgroup.controllers").c_str(), R_OK) == 0) return root;
    }
    return {};
}

// 100·Δusec/(10^6·Δt): a percentage of one CPU, up to 100 per busy CPU before the formatting cap.
template <int F> bool UsecShare(const EvalInput& in, double& v) {
    v = 100.0 * Delta(in, F) / (1e6 * in.seconds);
    return Finite(v);
}
template <int F> bool Raw(const EvalInput& in, double& v) {
    v = in.cur[F];
    return Finite(v);
}
template <int F> bool PerSecond(const EvalInput& in, double& v) {
    v = Delta(in, F) / in.seconds;
    return Finite(v);
}

class CCgroupCollector final : public CObjectCollector {
public:
    void Collect(CollectContext& ctx, std::uint32_t needs, ObjectSample& out) override {
        const std::string root = FindRoot(ctx.config.sysRoot);
        out.timeNs = ctx.Now();
        out.available = !root.empty();
        out.instances.clear();
        if (root.empty()) return;
        Walk(ctx, needs, root, "", 0, out);
    }

private:
    void Walk(CollectContext& ctx, std::uint32_t needs, const std::string& dir, const std::string& rel,
              int depth, ObjectSample& out) {
        if (out.instances.size() >= kMaxGroups) return;
        InstanceSample inst{rel.empty() ? "_Total" : MapInstanceName(rel), std::hash<std::string>{}(rel),
                            std::vector<double>(kFieldCount, NAN)};
        Read(ctx, needs, dir, inst.values.data());
        out.instances.push_back(std::move(inst));
        if (depth >= kMaxDepth) return;
        DIR* d = opendir(dir.c_str());
        if (!d) return;
        std::vector<std::string> children;
        while (const dirent* e = readdir(d)) {
            if (e->d_name[0] == '.' || (e->d_type != DT_DIR && e->d_type != DT_UNKNOWN)) continue;
            const std::string child = dir + "/" + e->d_name;
            if (e->d_type == DT_UNKNOWN && access((child + "/cgroup.procs").c_str(), F_OK) != 0) continue;
            children.emplace_back(e->d_name);
        }
        closedir(d);
        std::sort(children.begin(), children.end());
        for (const std::string& c : children) {
            std::string childDir = dir;
            childDir.append("/").append(c);
            std::string childRel = rel;
            if (!childRel.empty()) childRel += '/';
            childRel += c;
            Walk(ctx, needs, childDir, childRel, depth + 1, out);
        }
    }

    static void Read(CollectContext& ctx, std::uint32_t needs, const std::string& dir, double* v) {
        if (const std::string* text = ctx.cache.Get(dir + "/cpu.stat", FileShape::OnePiece)) {
            CLineReader lines(*text);
            std::string_view line;
            while (lines.Next(line)) {
                const std::string_view key = NextWord(line);
                const int f = key == "usage_usec"       ? kUsage
                              : key == "user_usec"      ? kUser
                              : key == "system_usec"    ? kSystem
                              : key == "throttled_usec" ? kThrottled
                                                        : -1;
                std::uint64_t n = 0;
                if (f >= 0 && NextU64(line, n)) v[f] = static_cast<double>(n);
            }
        }
        auto single = [&](const char* file, int field) {
            std::uint64_t n = 0;
            if (const std::string* text = ctx.cache.Get(dir + "/" + file, FileShape::OnePiece);
                text && ParseU64(*text, n))
                v[field] = static_cast<double>(n); // "max" (no limit) stays invalid
        };
        if (needs & kNeedMemory) single("memory.current", kMemCurrent);
        if (needs & kNeedMemoryMax) single("memory.max", kMemMax);
        if (needs & kNeedPids) single("pids.current", kPids);
        if (needs & kNeedIo) {
            if (const std::string* text = ctx.cache.Get(dir + "/io.stat", FileShape::OnePiece)) {
                double r = 0, w = 0;
                CLineReader lines(*text);
                std::string_view line;
                while (lines.Next(line)) {
                    NextWord(line); // major:minor
                    for (std::string_view word = NextWord(line); !word.empty(); word = NextWord(line)) {
                        std::uint64_t n = 0;
                        if (word.starts_with("rbytes=") && ParseU64(word.substr(7), n))
                            r += static_cast<double>(n);
                        if (word.starts_with("wbytes=") && ParseU64(word.substr(7), n))
                            w += static_cast<double>(n);
                    }
                }
                v[kIoRead] = r;
                v[kIoWrite] = w;
            }
        }
    }
};

ObjectDef MakeCgroup() {
    ObjectDef o;
    o.name = "Control Group";
    o.detail = PERF_DETAIL_ADVANCED;
    o.hasInstances = true;
    // From cgroup v2: one instance per group path below the cgroup root.
    o.explain = "Groups of processes that the system manages together, such as services and user sessions, "
                "each listed by its path with / written as ! (system.slice!ssh.service). _Total is the group "
                "that holds all others.";
    o.cumulativeFields = Bits({kUsage, kUser, kSystem, kThrottled, kIoRead, kIoWrite});
    o.makeCollector = [] { return std::unique_ptr<CObjectCollector>(new CCgroupCollector); };
    o.available = [](const SourceConfig& config) { return !FindRoot(config.sysRoot).empty(); };
    o.counters = {
        {"% Processor Time", PERF_DETAIL_ADVANCED, PERF_100NSEC_TIMER, 0, Bit(kUsage), &UsecShare<kUsage>,
         "Processor time the processes of the group used, as a percentage of one processor. A group "
         "busy on several processors uses more than one processor's time, but charts show at most "
         "100: a flat line at 100 means one processor's worth or more."},
        {"% User Time", PERF_DETAIL_ADVANCED, PERF_100NSEC_TIMER, 0, Bit(kUser), &UsecShare<kUser>,
         "Processor time the group's processes spent running their own code, as a percentage of one "
         "processor (charts show at most 100)."},
        {"% System Time", PERF_DETAIL_ADVANCED, PERF_100NSEC_TIMER, 0, Bit(kSystem), &UsecShare<kSystem>,
         "Processor time the kernel spent working for the group's processes, as a percentage of one "
         "processor (charts show at most 100)."},
        {"% Throttled", PERF_DETAIL_EXPERT, PERF_100NSEC_TIMER, 0, Bit(kThrottled), &UsecShare<kThrottled>,
         "How long the group's processes were held back by the group's processor limit, as a "
         "percentage of the time (charts show at most 100)."},
        // memory.current
        {"Memory Current", PERF_DETAIL_ADVANCED, PERF_COUNTER_LARGE_RAWCOUNT, -6, Bit(kMemCurrent),
         &Raw<kMemCurrent>,
         "Memory the group's processes use, in bytes. The group that holds all others has no value.",
         kNeedMemory},
        // memory.max; invalid data when unlimited
        {"Memory Max", PERF_DETAIL_EXPERT, PERF_COUNTER_LARGE_RAWCOUNT, -6, Bit(kMemMax), &Raw<kMemMax>,
         "The most memory the group may use, in bytes. A group without a limit shows no value.",
         kNeedMemoryMax},
        // pids.current
        {"Pids Current", PERF_DETAIL_EXPERT, PERF_COUNTER_LARGE_RAWCOUNT, 0, Bit(kPids), &Raw<kPids>,
         "How many processes and threads the group has.", kNeedPids},
        // all devices of io.stat summed
        {"IO Read Bytes/sec", PERF_DETAIL_EXPERT, PERF_COUNTER_BULK_COUNT, -4, Bit(kIoRead),
         &PerSecond<kIoRead>, "Bytes the group's processes read from disks per second.", kNeedIo},
        // all devices of io.stat summed
        {"IO Write Bytes/sec", PERF_DETAIL_EXPERT, PERF_COUNTER_BULK_COUNT, -4, Bit(kIoWrite),
         &PerSecond<kIoWrite>, "Bytes the group's processes wrote to disks per second.", kNeedIo},
    };
    return o;
}

} // namespace

const ObjectDef& ControlGroupObject() {
    static const ObjectDef object = MakeCgroup();
    return object;
}

} // namespace zyn::pdh::detail
