// LogicalDisk: free space of the mounted file systems of /proc/self/mountinfo.

#include "catalog.h"
#include "parse.h"
#include "remote_fields.h"
#include "text.h"

#include <array>
#include <functional>
#include <sys/statvfs.h>
#include <unordered_set>

namespace zyn::pdh::detail {
namespace {

enum Field { kTotalBytes, kFreeBytes, kAvailBytes, kFieldCount };

// Pseudo file systems have no space to speak of; remote ones are left out because statvfs can hang
// on a dead server and the sampling path must not.
bool Skipped(std::string_view type) {
    static constexpr std::array<std::string_view, 28> kSkip = {
        "proc",       "sysfs",   "devtmpfs", "devpts",      "tmpfs",      "cgroup",   "cgroup2",
        "pstore",     "bpf",     "debugfs",  "tracefs",     "securityfs", "mqueue",   "hugetlbfs",
        "configfs",   "fusectl", "autofs",   "binfmt_misc", "nsfs",       "efivarfs", "ramfs",
        "rpc_pipefs", "nfs",     "nfs4",     "cifs",        "smb3",       "9p",       "squashfs"};
    for (std::string_view s : kSkip)
        if (type == s) return true;
    return type.starts_with("fuse.") || type == "ceph" || type == "glusterfs";
}

// A mount that shows only part of a file system: a bind mount of a directory or a file (a
// container's /etc/hosts). Its space is the space of the file system it comes from, which is an
// instance of its own wherever that is mounted whole. A btrfs subvolume mount also has a root
// other than "/" but is a file system in the user's eyes: its root is the subvolume it names.
bool ShowsPartOfAFileSystem(std::string_view root, std::string_view superOptions) {
    if (root == "/") return false;
    for (std::string_view rest = superOptions; !rest.empty();) {
        const auto comma = rest.find(',');
        const std::string_view option = rest.substr(0, comma);
        if (option.starts_with("subvol=") && DecodeOctalEscapes(option.substr(7)) == DecodeOctalEscapes(root))
            return false;
        rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
    }
    return true;
}

bool RealStatFs(const std::string& mountPoint, FsUsage& usage) {
    struct statvfs st {};
    if (statvfs(mountPoint.c_str(), &st) != 0) return false;
    usage = {st.f_blocks, st.f_bfree, st.f_bavail, st.f_frsize ? st.f_frsize : st.f_bsize};
    return true;
}

// 100·f_bavail/(f_blocks − f_bfree + f_bavail): the blocks reserved for root are neither free nor
// usable for the users this figure is for.
bool FreeShare(const EvalInput& in, double& v) {
    const double usable = in.cur[kTotalBytes] - in.cur[kFreeBytes] + in.cur[kAvailBytes];
    if (!(usable > 0)) return false;
    v = 100.0 * in.cur[kAvailBytes] / usable;
    return Finite(v);
}

// Each file system once, however many mount points show it (a file system mounted twice, the
// subvolumes of one btrfs file system): they all report the space of the whole file system.
InstanceSample Total(const std::vector<InstanceSample>& instances,
                     const std::vector<std::string_view>& devices) {
    InstanceSample total{"_Total", ~std::uint64_t{0}, std::vector<double>(kFieldCount, 0.0)};
    std::unordered_set<std::string_view> counted;
    for (std::size_t i = 0; i < instances.size(); ++i) {
        if (!counted.insert(devices[i]).second) continue;
        for (int f = 0; f < kFieldCount; ++f)
            total.values[f] += instances[i].values[f];
    }
    return total;
}

class CLogicalDiskCollector final : public CObjectCollector {
public:
    void Collect(CollectContext& ctx, std::uint32_t, ObjectSample& out) override {
        const std::string* text = ctx.cache.Get(ctx.Proc("self/mountinfo"));
        out.timeNs = ctx.Now();
        out.available = text != nullptr;
        out.instances.clear();
        if (!text) return;
        std::vector<std::string_view> devices; // major:minor of each instance
        CLineReader lines(*text);
        std::string_view line;
        while (lines.Next(line)) {
            NextWord(line); // mount id
            NextWord(line); // parent id
            const std::string_view device = NextWord(line);
            const std::string_view root = NextWord(line);
            const std::string mountPoint = DecodeOctalEscapes(NextWord(line));
            const auto dash = line.find(" - ");
            if (mountPoint.empty() || dash == std::string_view::npos) continue;
            std::string_view tail = line.substr(dash + 3);
            if (Skipped(NextWord(tail))) continue;
            NextWord(tail); // source
            if (ShowsPartOfAFileSystem(root, NextWord(tail))) continue;
            FsUsage u;
            const bool ok = ctx.config.statFs ? ctx.config.statFs(mountPoint, u) : RealStatFs(mountPoint, u);
            if (!ok || u.blocks == 0) continue;
            const double frag = static_cast<double>(u.fragmentSize);
            InstanceSample inst{MapInstanceName(mountPoint),
                                std::hash<std::string>{}(mountPoint),
                                {static_cast<double>(u.blocks) * frag,
                                 static_cast<double>(u.freeBlocks) * frag,
                                 static_cast<double>(u.availBlocks) * frag}};
            // A later mount on the same point hides the earlier one.
            for (std::size_t i = 0; i < out.instances.size(); ++i) {
                if (out.instances[i].name != inst.name) continue;
                out.instances.erase(out.instances.begin() + static_cast<std::ptrdiff_t>(i));
                devices.erase(devices.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
            out.instances.push_back(std::move(inst));
            devices.push_back(device);
        }
        out.instances.push_back(Total(out.instances, devices));
    }
};

// node_filesystem_{size,free,avail}_bytes per mount point, without the file systems the exporter
// could not read (node_filesystem_device_error) and the kinds left out here too.
class CRemoteLogicalDiskCollector final : public CObjectCollector {
public:
    void Collect(CollectContext& ctx, std::uint32_t, ObjectSample& out) override {
        const CMetricPage& page = *ctx.page;
        const auto usable = [](const CMetricPage& p, const MetricSample& s) {
            if (Skipped(p.Label(s, "fstype"))) return false;
            for (const MetricSample& e : p.Samples("node_filesystem_device_error"))
                if (e.value != 0 && p.Label(e, "mountpoint") == p.Label(s, "mountpoint")) return false;
            return true;
        };
        CRemoteInstances mounts(kFieldCount);
        mounts.Fill(page, "node_filesystem_size_bytes", "mountpoint", kTotalBytes, 1.0, usable);
        mounts.Fill(page, "node_filesystem_free_bytes", "mountpoint", kFreeBytes, 1.0, usable);
        mounts.Fill(page, "node_filesystem_avail_bytes", "mountpoint", kAvailBytes, 1.0, usable);
        std::vector<std::string> devices;
        for (InstanceSample& mount : mounts.Instances()) {
            std::string device;
            for (const MetricSample& s : page.Samples("node_filesystem_size_bytes"))
                if (page.Label(s, "mountpoint") == mount.name) device = std::string(page.Label(s, "device"));
            devices.push_back(device.empty() ? mount.name : device);
            mount.identity = std::hash<std::string>{}(mount.name);
            mount.name = MapInstanceName(mount.name);
        }
        out.available = page.Has("node_filesystem_size_bytes");
        out.instances = std::move(mounts.Instances());
        const std::vector<std::string_view> deviceViews(devices.begin(), devices.end());
        if (out.available) out.instances.push_back(Total(out.instances, deviceViews));
    }
};

ObjectDef MakeLogicalDisk() {
    ObjectDef o;
    o.name = "LogicalDisk";
    o.hasInstances = true;
    o.explain = "Free space on the mounted file systems, listed by where each is mounted, with / written as "
                "! (the root file system is !). System and network file systems are left out, and so are "
                "mounts that show only part of another file system. _Total counts each file system once.";
    o.makeCollector = [] { return std::unique_ptr<CObjectCollector>(new CLogicalDiskCollector); };
    o.makeRemoteCollector = [] { return std::unique_ptr<CObjectCollector>(new CRemoteLogicalDiskCollector); };
    o.counters = {
        {"% Free Space", PERF_DETAIL_NOVICE, PERF_RAW_FRACTION, 0,
         Bits({kTotalBytes, kFreeBytes, kAvailBytes}), &FreeShare,
         "The share of the file system's usable space still free for ordinary users (space kept back "
         "for the administrator does not count). Writes start failing when it reaches 0."},
        {"Free Megabytes", PERF_DETAIL_NOVICE, PERF_COUNTER_LARGE_RAWCOUNT, -2, Bit(kAvailBytes),
         [](const EvalInput& in, double& v) {
             v = in.cur[kAvailBytes] / 1048576.0;
             return Finite(v);
         },
         "Free space available to ordinary users, in megabytes (MiB)."},
    };
    return o;
}

} // namespace

const ObjectDef& LogicalDiskObject() {
    static const ObjectDef object = MakeLogicalDisk();
    return object;
}

} // namespace zyn::pdh::detail
