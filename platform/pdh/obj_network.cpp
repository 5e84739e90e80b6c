// Network Interface: /proc/net/dev, and /sys/class/net/X/speed for the bandwidth.

#include "catalog.h"
#include "parse.h"
#include "remote_fields.h"
#include "text.h"

#include <functional>

namespace zyn::pdh::detail {
namespace {

enum Field {
    kRxBytes,
    kRxPackets,
    kRxErrs,
    kRxDrop,
    kRxFifo,
    kRxFrame,
    kRxCompressed,
    kRxMulticast,
    kTxBytes,
    kTxPackets,
    kTxErrs,
    kTxDrop,
    kSpeed,
    kFieldCount
};
constexpr int kColumns = 12; // the columns parsed (the later transmit ones are not used)
enum Need : std::uint32_t { kNeedSpeed = 1 };

template <int F> bool PerSecond(const EvalInput& in, double& v) {
    v = Delta(in, F) / in.seconds;
    return true;
}
template <int A, int B> bool SumPerSecond(const EvalInput& in, double& v) {
    v = (Delta(in, A) + Delta(in, B)) / in.seconds;
    return true;
}

class CNetworkCollector final : public CObjectCollector {
public:
    void Collect(CollectContext& ctx, std::uint32_t needs, ObjectSample& out) override {
        const std::string* text = ctx.cache.Get(ctx.Proc("net/dev"), FileShape::ShortRecords);
        out.timeNs = ctx.Now();
        out.available = text != nullptr;
        std::size_t count = 0;
        if (text) {
            CLineReader lines(*text);
            std::string_view line;
            while (lines.Next(line)) {
                const auto colon = line.find(':');
                if (colon == std::string_view::npos) continue; // the two header lines
                std::string_view name = line.substr(0, colon);
                SkipSpaces(name);
                std::string_view rest = line.substr(colon + 1);
                if (count >= out.instances.size()) out.instances.emplace_back();
                InstanceSample& inst = out.instances[count++];
                inst.name = MapInstanceName(name);
                inst.identity = std::hash<std::string_view>{}(name);
                inst.values.assign(kFieldCount, NAN);
                for (int f = 0; f < kColumns; ++f) {
                    std::uint64_t v = 0;
                    if (!NextU64(rest, v)) break;
                    inst.values[f] = static_cast<double>(v);
                }
                if (needs & kNeedSpeed) inst.values[kSpeed] = Speed(ctx, std::string(name));
            }
        }
        out.instances.resize(count);
    }

private:
    static double Speed(CollectContext& ctx, const std::string& name) {
        const std::string* text = ctx.cache.Get(ctx.Sys("class/net/" + name + "/speed"), FileShape::OnePiece);
        std::string_view s = text ? std::string_view(*text) : std::string_view();
        double mbits = 0;
        if (!NextDouble(s, mbits) || mbits < 0) return 0; // -1 or unreadable: unknown
        return mbits * 1e6;
    }
};

// node_network_*_total per device, and the link speed (bytes per second) of the netclass collector.
class CRemoteNetworkCollector final : public CObjectCollector {
public:
    void Collect(CollectContext& ctx, std::uint32_t, ObjectSample& out) override {
        static constexpr std::pair<std::string_view, int> kMap[] = {
            {"node_network_receive_bytes_total", kRxBytes},
            {"node_network_receive_packets_total", kRxPackets},
            {"node_network_receive_errs_total", kRxErrs},
            {"node_network_receive_drop_total", kRxDrop},
            {"node_network_receive_fifo_total", kRxFifo},
            {"node_network_receive_frame_total", kRxFrame},
            {"node_network_receive_compressed_total", kRxCompressed},
            {"node_network_receive_multicast_total", kRxMulticast},
            {"node_network_transmit_bytes_total", kTxBytes},
            {"node_network_transmit_packets_total", kTxPackets},
            {"node_network_transmit_errs_total", kTxErrs},
            {"node_network_transmit_drop_total", kTxDrop},
        };
        const CMetricPage& page = *ctx.page;
        CRemoteInstances links(kFieldCount);
        for (const auto& [metric, field] : kMap)
            links.Fill(page, metric, "device", field);
        // Only interfaces with traffic counters are instances; the speed joins them.
        for (InstanceSample& link : links.Instances()) {
            for (const MetricSample& s : page.Samples("node_network_speed_bytes")) {
                if (page.Label(s, "device") != link.name) continue;
                link.values[kSpeed] = s.value > 0 ? s.value * 8 : 0; // -1 Mb/s (unknown) reads 0, as locally
            }
            link.name = MapInstanceName(link.name);
        }
        out.available = page.Has("node_network_receive_bytes_total");
        out.instances = std::move(links.Instances());
    }
};

ObjectDef MakeNetwork() {
    ObjectDef o;
    o.name = "Network Interface";
    o.hasInstances = true;
    // From /proc/net/dev; a counter that decreases means the interface was re-created.
    o.explain = "Traffic on each network interface, listed by the interface's name. When an interface is "
                "removed and added again, the interval across that moment shows no value.";
    o.cumulativeFields =
        Bits({kRxBytes, kRxPackets, kRxErrs, kRxDrop, kTxBytes, kTxPackets, kTxErrs, kTxDrop});
    o.makeCollector = [] { return std::unique_ptr<CObjectCollector>(new CNetworkCollector); };
    o.makeRemoteCollector = [] { return std::unique_ptr<CObjectCollector>(new CRemoteNetworkCollector); };
    o.counters = {
        {"Bytes Received/sec", PERF_DETAIL_NOVICE, PERF_COUNTER_BULK_COUNT, -4, Bit(kRxBytes),
         &PerSecond<kRxBytes>, "Bytes received per second."},
        {"Bytes Sent/sec", PERF_DETAIL_NOVICE, PERF_COUNTER_BULK_COUNT, -4, Bit(kTxBytes),
         &PerSecond<kTxBytes>, "Bytes sent per second."},
        {"Bytes Total/sec", PERF_DETAIL_NOVICE, PERF_COUNTER_BULK_COUNT, -4, Bits({kRxBytes, kTxBytes}),
         &SumPerSecond<kRxBytes, kTxBytes>, "Bytes received and sent per second."},
        {"Packets Received/sec", PERF_DETAIL_ADVANCED, PERF_COUNTER_COUNTER, 0, Bit(kRxPackets),
         &PerSecond<kRxPackets>, "Packets received per second."},
        {"Packets Sent/sec", PERF_DETAIL_ADVANCED, PERF_COUNTER_COUNTER, 0, Bit(kTxPackets),
         &PerSecond<kTxPackets>, "Packets sent per second."},
        {"Packets/sec", PERF_DETAIL_NOVICE, PERF_COUNTER_COUNTER, 0, Bits({kRxPackets, kTxPackets}),
         &SumPerSecond<kRxPackets, kTxPackets>, "Packets received and sent per second."},
        {"Packets Received Errors", PERF_DETAIL_ADVANCED, PERF_COUNTER_LARGE_RAWCOUNT, 0, Bit(kRxErrs),
         [](const EvalInput& in, double& v) {
             v = in.cur[kRxErrs];
             return Finite(v);
         },
         "Received packets with errors since the interface came up."},
        {"Packets Received Discarded", PERF_DETAIL_ADVANCED, PERF_COUNTER_LARGE_RAWCOUNT, 0, Bit(kRxDrop),
         [](const EvalInput& in, double& v) {
             v = in.cur[kRxDrop];
             return Finite(v);
         },
         "Received packets dropped since the interface came up."},
        {"Packets Outbound Errors", PERF_DETAIL_ADVANCED, PERF_COUNTER_LARGE_RAWCOUNT, 0, Bit(kTxErrs),
         [](const EvalInput& in, double& v) {
             v = in.cur[kTxErrs];
             return Finite(v);
         },
         "Packets that could not be sent because of errors."},
        {"Packets Outbound Discarded", PERF_DETAIL_ADVANCED, PERF_COUNTER_LARGE_RAWCOUNT, 0, Bit(kTxDrop),
         [](const EvalInput& in, double& v) {
             v = in.cur[kTxDrop];
             return Finite(v);
         },
         "Outgoing packets dropped."},
        // /sys/class/net/X/speed·10^6
        {"Current Bandwidth", PERF_DETAIL_ADVANCED, PERF_COUNTER_LARGE_RAWCOUNT, -6, Bit(kSpeed),
         [](const EvalInput& in, double& v) {
             v = in.cur[kSpeed];
             return Finite(v);
         },
         "The speed of the interface's link in bits per second, or 0 when the interface does not report one.",
         kNeedSpeed},
    };
    return o;
}

} // namespace

const ObjectDef& NetworkInterfaceObject() {
    static const ObjectDef object = MakeNetwork();
    return object;
}

} // namespace zyn::pdh::detail
