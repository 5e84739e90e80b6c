// PhysicalDisk: whole disks of /proc/diskstats (Documentation/admin-guide/iostats.rst).

#include "catalog.h"
#include "parse.h"
#include "remote_fields.h"
#include "total_accumulator.h"

#include <algorithm>
#include <cmath>
#include <unistd.h>
#include <unordered_map>

namespace zyn::pdh::detail {
namespace {

// f1..f11 after the device name.
enum Field {
    kReads,
    kReadsMerged,
    kSectorsRead,
    kReadMs,
    kWrites,
    kWritesMerged,
    kSectorsWritten,
    kWriteMs,
    kInFlight,
    kIoTicks,
    kWeightedMs,
    kFieldCount
};
constexpr std::uint64_t kCumulative = Bits({kReads, kReadsMerged, kSectorsRead, kReadMs, kWrites,
                                            kWritesMerged, kSectorsWritten, kWriteMs, kIoTicks, kWeightedMs});
constexpr std::uint64_t kModular32 = Bits({kIoTicks, kWeightedMs}); // 32-bit fields in the kernel
constexpr std::uint64_t kChecked = kCumulative & ~kModular32;
constexpr double kSector = 512.0;

bool Skipped(std::string_view name) {
    return name.starts_with("loop") || name.starts_with("ram") || name.starts_with("zram");
}

template <int F> bool PerSecond(const EvalInput& in, double& v) {
    v = Delta(in, F) / in.seconds;
    return true;
}
template <int F> bool BytesPerSecond(const EvalInput& in, double& v) {
    v = kSector * Delta(in, F) / in.seconds;
    return true;
}
template <int Ms, int Ops> bool SecondsPerOp(const EvalInput& in, double& v) {
    const double ops = Delta(in, Ops);
    v = ops > 0 ? Delta(in, Ms) / 1000.0 / ops : 0.0;
    return true;
}

class CDiskCollector final : public CObjectCollector {
public:
    void Collect(CollectContext& ctx, std::uint32_t, ObjectSample& out) override {
        const std::string* text = ctx.cache.Get(ctx.Proc("diskstats"), FileShape::ShortRecords);
        out.timeNs = ctx.Now();
        out.available = text != nullptr;
        std::size_t count = 0;
        if (text) {
            CLineReader lines(*text);
            std::string_view line;
            while (lines.Next(line)) {
                std::uint64_t major = 0, minor = 0;
                if (!NextU64(line, major) || !NextU64(line, minor)) continue;
                const std::string_view name = NextWord(line);
                if (name.empty() || Skipped(name) || IsPartition(ctx, major, minor)) continue;
                if (count >= out.instances.size()) out.instances.emplace_back();
                InstanceSample& inst = out.instances[count++];
                inst.name.assign(name);
                inst.identity = major << 32 | minor;
                inst.values.assign(kFieldCount, NAN);
                for (int f = 0; f < kFieldCount; ++f) {
                    std::uint64_t v = 0;
                    if (!NextU64(line, v)) break;
                    inst.values[f] = static_cast<double>(v);
                }
            }
        }
        out.instances.resize(count);
        InstanceSample total;
        total.name = "_Total";
        total.identity = ~std::uint64_t{0};
        m_total.Build(out.instances, kFieldCount, kCumulative, kModular32, total);
        if (out.available) out.instances.push_back(std::move(total));
    }

private:
    // A partition has /sys/dev/block/M:m/partition; the answer is kept per device number.
    bool IsPartition(CollectContext& ctx, std::uint64_t major, std::uint64_t minor) {
        const std::uint64_t key = major << 32 | minor;
        const auto it = m_partition.find(key);
        if (it != m_partition.end()) return it->second;
        const std::string path =
            ctx.Sys("dev/block/" + std::to_string(major) + ":" + std::to_string(minor) + "/partition");
        const bool partition = access(path.c_str(), F_OK) == 0;
        m_partition.emplace(key, partition);
        return partition;
    }

    std::unordered_map<std::uint64_t, bool> m_partition;
    CTotalAccumulator m_total;
};

// A partition by its kernel name (sda1, nvme0n1p2, mmcblk0p1): the exporter does not say which
// devices are partitions, and leaves out only the ones its own pattern knows.
bool LooksLikePartition(std::string_view name) {
    std::size_t digits = 0;
    while (digits < name.size() && name[name.size() - 1 - digits] >= '0' &&
           name[name.size() - 1 - digits] <= '9')
        ++digits;
    if (digits == 0 || digits == name.size()) return false;
    const std::string_view stem = name.substr(0, name.size() - digits);
    if (stem.ends_with('p') && stem.size() > 1 && stem[stem.size() - 2] >= '0' &&
        stem[stem.size() - 2] <= '9')
        return true; // nvme0n1p2, mmcblk0p1
    for (std::string_view prefix : {"sd", "hd", "vd", "xvd"}) {
        if (!stem.starts_with(prefix) || stem.size() == prefix.size()) continue;
        const std::string_view letters = stem.substr(prefix.size());
        if (std::all_of(letters.begin(), letters.end(), [](char c) { return c >= 'a' && c <= 'z'; }))
            return true;
    }
    return false;
}

// node_disk_*: bytes instead of 512-byte sectors, seconds instead of milliseconds.
class CRemoteDiskCollector final : public CObjectCollector {
public:
    void Collect(CollectContext& ctx, std::uint32_t, ObjectSample& out) override {
        static constexpr struct {
            std::string_view metric;
            int field;
            double scale;
        } kMap[] = {
            {"node_disk_reads_completed_total", kReads, 1},
            {"node_disk_reads_merged_total", kReadsMerged, 1},
            {"node_disk_read_bytes_total", kSectorsRead, 1 / kSector},
            {"node_disk_read_time_seconds_total", kReadMs, 1000},
            {"node_disk_writes_completed_total", kWrites, 1},
            {"node_disk_writes_merged_total", kWritesMerged, 1},
            {"node_disk_written_bytes_total", kSectorsWritten, 1 / kSector},
            {"node_disk_write_time_seconds_total", kWriteMs, 1000},
            {"node_disk_io_now", kInFlight, 1},
            {"node_disk_io_time_seconds_total", kIoTicks, 1000},
            {"node_disk_io_time_weighted_seconds_total", kWeightedMs, 1000},
        };
        const CMetricPage& page = *ctx.page;
        CRemoteInstances disks(kFieldCount);
        const auto wholeDisk = [](const CMetricPage& p, const MetricSample& s) {
            const std::string_view name = p.Label(s, "device");
            return !Skipped(name) && !LooksLikePartition(name);
        };
        for (const auto& m : kMap)
            disks.Fill(page, m.metric, "device", m.field, m.scale, wholeDisk);
        out.available = page.Has("node_disk_reads_completed_total");
        out.instances = std::move(disks.Instances());
        for (InstanceSample& disk : out.instances)
            for (double& v : disk.values)
                if (Finite(v)) v = std::round(v); // whole sectors and milliseconds, as the kernel counts
        InstanceSample total;
        total.name = "_Total";
        total.identity = ~std::uint64_t{0};
        m_total.Build(out.instances, kFieldCount, kCumulative, kModular32, total);
        if (out.available) out.instances.push_back(std::move(total));
    }

private:
    CTotalAccumulator m_total;
};

ObjectDef MakeDisk() {
    ObjectDef o;
    o.name = "PhysicalDisk";
    o.hasInstances = true;
    // From /proc/diskstats, sectors of 512 bytes; _Total sums the disks present in both collections so that a
    // disk appearing does not make it jump.
    o.explain = "Reads and writes of each whole disk, listed by the disk's name, and _Total for all disks "
                "together. Partitions and virtual disks in memory are left out.";
    o.cumulativeFields = kChecked;
    o.makeCollector = [] { return std::unique_ptr<CObjectCollector>(new CDiskCollector); };
    o.makeRemoteCollector = [] { return std::unique_ptr<CObjectCollector>(new CRemoteDiskCollector); };
    o.counters = {
        // 512·Δsectors read/Δt
        {"Disk Read Bytes/sec", PERF_DETAIL_NOVICE, PERF_COUNTER_BULK_COUNT, -4, Bit(kSectorsRead),
         &BytesPerSecond<kSectorsRead>, "How many bytes per second were read from the disk."},
        // 512·Δsectors written/Δt
        {"Disk Write Bytes/sec", PERF_DETAIL_NOVICE, PERF_COUNTER_BULK_COUNT, -4, Bit(kSectorsWritten),
         &BytesPerSecond<kSectorsWritten>, "How many bytes per second were written to the disk."},
        {"Disk Bytes/sec", PERF_DETAIL_ADVANCED, PERF_COUNTER_BULK_COUNT, -4,
         Bits({kSectorsRead, kSectorsWritten}),
         [](const EvalInput& in, double& v) {
             v = kSector * (Delta(in, kSectorsRead) + Delta(in, kSectorsWritten)) / in.seconds;
             return true;
         },
         "Bytes read and written per second."},
        {"Disk Reads/sec", PERF_DETAIL_NOVICE, PERF_COUNTER_COUNTER, 0, Bit(kReads), &PerSecond<kReads>,
         "Completed reads per second."},
        {"Disk Writes/sec", PERF_DETAIL_NOVICE, PERF_COUNTER_COUNTER, 0, Bit(kWrites), &PerSecond<kWrites>,
         "Completed writes per second."},
        {"Disk Transfers/sec", PERF_DETAIL_ADVANCED, PERF_COUNTER_COUNTER, 0, Bits({kReads, kWrites}),
         [](const EvalInput& in, double& v) {
             v = (Delta(in, kReads) + Delta(in, kWrites)) / in.seconds;
             return true;
         },
         "Completed reads and writes per second."},
        {"Avg. Disk sec/Read", PERF_DETAIL_ADVANCED, PERF_AVERAGE_TIMER, 3, Bits({kReads, kReadMs}),
         &SecondsPerOp<kReadMs, kReads>, "Average seconds a read took (0 without reads)."},
        {"Avg. Disk sec/Write", PERF_DETAIL_ADVANCED, PERF_AVERAGE_TIMER, 3, Bits({kWrites, kWriteMs}),
         &SecondsPerOp<kWriteMs, kWrites>, "Average seconds a write took (0 without writes)."},
        // Δweighted milliseconds/(1000·Δt); the field wraps at 2^32
        {"Avg. Disk Queue Length", PERF_DETAIL_ADVANCED, PERF_COUNTER_COUNTER, 2, Bit(kWeightedMs),
         [](const EvalInput& in, double& v) {
             v = Delta32(in, kWeightedMs) / (1000.0 * in.seconds);
             return true;
         },
         "How many reads and writes were waiting for the disk or being handled by it, on average over the "
         "interval. Values that stay well above the number of disks mean the disk cannot keep up."},
        {"Current Disk Queue Length", PERF_DETAIL_NOVICE, PERF_COUNTER_LARGE_RAWCOUNT, 1, Bit(kInFlight),
         [](const EvalInput& in, double& v) {
             v = in.cur[kInFlight];
             return Finite(v);
         },
         "Requests in flight now."},
        // 100·Δweighted milliseconds/(1000·Δt), the average queue length as a percentage
        {"% Disk Time", PERF_DETAIL_NOVICE, PERF_100NSEC_TIMER, 0, Bit(kWeightedMs),
         [](const EvalInput& in, double& v) {
             v = 100.0 * Delta32(in, kWeightedMs) / (1000.0 * in.seconds);
             return true;
         },
         "How busy the disk was, counted as the average number of waiting requests times 100. Charts show at "
         "most 100, so a flat line at 100 means one request or more was waiting all the time."},
        // 100·(1 − Δio_ticks/(1000·Δt))
        {"% Idle Time", PERF_DETAIL_ADVANCED, PERF_100NSEC_TIMER, 0, Bit(kIoTicks),
         [](const EvalInput& in, double& v) {
             v = std::clamp(100.0 * (1.0 - Delta32(in, kIoTicks) / (1000.0 * in.seconds)), 0.0, 100.0);
             return true;
         },
         "The share of time the disk had nothing to do."},
    };
    return o;
}

} // namespace

const ObjectDef& PhysicalDiskObject() {
    static const ObjectDef object = MakeDisk();
    return object;
}

} // namespace zyn::pdh::detail
