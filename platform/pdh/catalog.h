#pragma once
// The catalogue of counter objects: what each object and counter is called, how it is computed
// from the raw fields its collector reads, and the explain texts the counter browser shows.

#include "pdh.h"
#include "source_cache.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zyn::pdh::detail {

class CMetricPage;

// What a collector reads with: the sources, the kept files of its query, and the constants.
struct CollectContext {
    const SourceConfig& config;
    CSourceCache& cache;
    double clockTicks = 100;
    double pageSize = 4096;
    // For the collectors of a remote machine: the exporter's page they read instead of files.
    const CMetricPage* page = nullptr;

    [[nodiscard]] std::int64_t Now() const;
    [[nodiscard]] std::string Proc(std::string_view relative) const {
        return config.procRoot + "/" + std::string(relative);
    }
    [[nodiscard]] std::string Sys(std::string_view relative) const {
        return config.sysRoot + "/" + std::string(relative);
    }
};

// The raw fields of one instance in one collection. NaN marks a field that could not be read.
struct InstanceSample {
    std::string name;           // as paths name it (`bash#1`); empty for single-instance objects
    std::uint64_t identity = 0; // changes when the name denotes another thing (a reused pid)
    std::vector<double> values;
};

struct ObjectSample {
    bool available = false;
    std::int64_t timeNs = 0; // CLOCK_MONOTONIC when the object's main source was read
    std::vector<InstanceSample> instances;
    // What counters of an unavailable object read. A remote machine that missed one collection
    // keeps its counters' baselines: its cumulative fields went on counting meanwhile.
    PDH_STATUS missing = PDH_CSTATUS_NO_OBJECT;
    bool keepBaselines = false;
};

class CObjectCollector {
public:
    virtual ~CObjectCollector() = default;
    // Reads the object's sources. `needs` is the union of the source bits of the counters in use
    // (for example the per-process `status` file); enumeration passes every bit.
    virtual void Collect(CollectContext& ctx, std::uint32_t needs, ObjectSample& out) = 0;
};

struct EvalInput {
    const double* cur = nullptr;
    const double* prev = nullptr; // null for instantaneous counters
    double seconds = 0;           // Δt between the two reads
    double clockTicks = 100;
};

// Computes a counter's value; false means the interval gives no valid data.
using EvalFn = bool (*)(const EvalInput& in, double& value);

struct CounterDef {
    std::string_view name;
    DWORD detail = PERF_DETAIL_NOVICE;
    DWORD type = PERF_COUNTER_LARGE_RAWCOUNT;
    LONG defaultScale = 0;
    std::uint64_t fields = 0; // bit per raw field read: a decrease of a cumulative one is invalid data
    EvalFn eval = nullptr;
    std::string_view explain;
    std::uint32_t needs = 0; // source bits the collector must read for this counter
    bool keepPeak = false;   // the value is the highest seen since the counter was added

    [[nodiscard]] bool IsRate() const {
        return type == PERF_COUNTER_COUNTER || type == PERF_COUNTER_BULK_COUNT ||
               type == PERF_100NSEC_TIMER || type == PERF_AVERAGE_TIMER;
    }
    [[nodiscard]] bool IsPercent() const { return type == PERF_100NSEC_TIMER || type == PERF_RAW_FRACTION; }
};

struct ObjectDef {
    std::string_view name;
    DWORD detail = PERF_DETAIL_NOVICE;
    std::string_view explain;
    bool hasInstances = false;
    std::uint64_t cumulativeFields = 0; // raw fields that only grow
    std::vector<CounterDef> counters;
    std::unique_ptr<CObjectCollector> (*makeCollector)() = nullptr;
    // The same raw fields, in the same units, from a node_exporter page (CollectContext::page); null
    // when no exporter metric feeds the object.
    std::unique_ptr<CObjectCollector> (*makeRemoteCollector)() = nullptr;
    // Whether the object's sources exist (pressure files, cgroup v2); null means always.
    bool (*available)(const SourceConfig& config) = nullptr;

    [[nodiscard]] const CounterDef* FindCounter(std::string_view counterName) const;
};

[[nodiscard]] const std::vector<const ObjectDef*>& AllObjects();
[[nodiscard]] const ObjectDef* FindObject(std::string_view objectName);
[[nodiscard]] bool ObjectAvailable(const ObjectDef& object, const SourceConfig& config);

// One collection of an object outside any query (enumeration and validation).
[[nodiscard]] ObjectSample CollectOnce(const ObjectDef& object, const SourceConfig& config);

constexpr std::uint64_t Bit(int field) {
    return std::uint64_t{1} << field;
}
constexpr std::uint64_t Bits(std::initializer_list<int> fields) {
    std::uint64_t mask = 0;
    for (int f : fields)
        mask |= Bit(f);
    return mask;
}

inline double Delta(const EvalInput& in, int field) {
    return in.cur[field] - in.prev[field];
}
// Fields the kernel documents as 32-bit wrap modulo 2^32.
inline double Delta32(const EvalInput& in, int field) {
    double d = in.cur[field] - in.prev[field];
    if (d < 0) d += 4294967296.0;
    return d;
}
inline bool Finite(double v) {
    return std::isfinite(v);
}

// The catalogue entries, one per object family file.
const ObjectDef& ProcessorObject();
const ObjectDef& MemoryObject();
const ObjectDef& SystemObject();
const ObjectDef& PhysicalDiskObject();
const ObjectDef& LogicalDiskObject();
const ObjectDef& NetworkInterfaceObject();
const ObjectDef& ProcessObject();
const ObjectDef& PagingFileObject();
const ObjectDef& PressureCpuObject();
const ObjectDef& PressureMemoryObject();
const ObjectDef& PressureIoObject();
const ObjectDef& ControlGroupObject();

} // namespace zyn::pdh::detail
