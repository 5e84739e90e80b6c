// LogicalDisk: free space of the mounted file systems of /proc/self/mountinfo.

#include "catalog.h"
#include "parse.h"
#include "text.h"

#include <array>
#include <functional>
#include <sys/statvfs.h>

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

// Mount points escape blanks and backslashes as \ooo.
std::string Unescape(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() + 0 && s[i + 1] >= '0' && s[i + 1] <= '3') {
            out.push_back(static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

bool RealStatFs(const std::string& mountPoint, FsUsage& usage) {
    struct statvfs st {};
    if (statvfs(mountPoint.c_str(), &st) != 0) return false;
    usage = {st.f_blocks, st.f_bfree, st.f_bavail, st.f_frsize ? st.f_frsize : st.f_bsize};
    return true;
}

bool FreeShare(const EvalInput& in, double& v) {
    const double usable = in.cur[kTotalBytes] - in.cur[kFreeBytes] + in.cur[kAvailBytes];
    if (!(usable > 0)) return false;
    v = 100.0 * in.cur[kAvailBytes] / usable;
    return Finite(v);
}

class CLogicalDiskCollector final : public CObjectCollector {
public:
    void Collect(CollectContext& ctx, std::uint32_t, ObjectSample& out) override {
        const std::string* text = ctx.cache.Get(ctx.Proc("self/mountinfo"));
        out.timeNs = ctx.Now();
        out.available = text != nullptr;
        out.instances.clear();
        if (!text) return;
        InstanceSample total{"_Total", ~std::uint64_t{0}, std::vector<double>(kFieldCount, 0.0)};
        CLineReader lines(*text);
        std::string_view line;
        while (lines.Next(line)) {
            for (int i = 0; i < 4; ++i)
                NextWord(line); // id, parent, major:minor, root
            const std::string mountPoint = Unescape(NextWord(line));
            const auto dash = line.find(" - ");
            if (mountPoint.empty() || dash == std::string_view::npos) continue;
            std::string_view tail = line.substr(dash + 3);
            if (Skipped(NextWord(tail))) continue;
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
            std::erase_if(out.instances, [&](const InstanceSample& s) { return s.name == inst.name; });
            out.instances.push_back(std::move(inst));
        }
        for (const InstanceSample& s : out.instances)
            for (int f = 0; f < kFieldCount; ++f)
                total.values[f] += s.values[f];
        out.instances.push_back(std::move(total));
    }
};

ObjectDef MakeLogicalDisk() {
    ObjectDef o;
    o.name = "LogicalDisk";
    o.hasInstances = true;
    o.explain = "Free space of each mounted file system of /proc/self/mountinfo (statvfs). Instances are "
                "mount points with / mapped to ! (the root is `!`); pseudo and network file systems are "
                "left out; _Total sums them.";
    o.makeCollector = [] { return std::unique_ptr<CObjectCollector>(new CLogicalDiskCollector); };
    o.counters = {
        {"% Free Space", PERF_DETAIL_NOVICE, PERF_RAW_FRACTION, 0,
         Bits({kTotalBytes, kFreeBytes, kAvailBytes}), &FreeShare,
         "Space available to unprivileged users as a share of the usable space: "
         "100·f_bavail/(f_blocks − f_bfree + f_bavail)."},
        {"Free Megabytes", PERF_DETAIL_NOVICE, PERF_COUNTER_LARGE_RAWCOUNT, -2, Bit(kAvailBytes),
         [](const EvalInput& in, double& v) {
             v = in.cur[kAvailBytes] / 1048576.0;
             return Finite(v);
         },
         "Space available to unprivileged users in MiB: f_bavail·f_frsize/2^20."},
    };
    return o;
}

} // namespace

const ObjectDef& LogicalDiskObject() {
    static const ObjectDef object = MakeLogicalDisk();
    return object;
}

} // namespace zyn::pdh::detail
