// Paging File: the swap areas of /proc/swaps.

#include "catalog.h"
#include "parse.h"
#include "remote_fields.h"
#include "text.h"

#include <functional>

namespace zyn::pdh::detail {
namespace {

enum Field { kSize, kUsed, kFieldCount };

// 100·Used/Size; _Total without any swap area reads 0, not invalid data.
bool Usage(const EvalInput& in, double& v) {
    v = in.cur[kSize] > 0 ? 100.0 * in.cur[kUsed] / in.cur[kSize] : 0.0;
    return Finite(v);
}

class CSwapCollector final : public CObjectCollector {
public:
    void Collect(CollectContext& ctx, std::uint32_t, ObjectSample& out) override {
        const std::string* text = ctx.cache.Get(ctx.Proc("swaps"));
        out.timeNs = ctx.Now();
        out.available = text != nullptr;
        out.instances.clear();
        InstanceSample total{"_Total", ~std::uint64_t{0}, {0.0, 0.0}};
        if (text) {
            CLineReader lines(*text);
            std::string_view line;
            lines.Next(line); // header
            while (lines.Next(line)) {
                const std::string file = DecodeOctalEscapes(NextWord(line));
                NextWord(line); // type
                std::uint64_t size = 0, used = 0;
                if (file.empty() || !NextU64(line, size) || !NextU64(line, used)) continue;
                InstanceSample inst{
                    MapInstanceName(file), std::hash<std::string>{}(file), {size * 1024.0, used * 1024.0}};
                total.values[kSize] += inst.values[kSize];
                total.values[kUsed] += inst.values[kUsed];
                out.instances.push_back(std::move(inst));
            }
        }
        if (out.available) out.instances.push_back(std::move(total));
    }
};

// The exporter does not list the swap areas, only the totals of /proc/meminfo: _Total alone.
class CRemoteSwapCollector final : public CObjectCollector {
public:
    void Collect(CollectContext& ctx, std::uint32_t, ObjectSample& out) override {
        const double size = PageValue(*ctx.page, "node_memory_SwapTotal_bytes");
        const double free = PageValue(*ctx.page, "node_memory_SwapFree_bytes");
        out.available = Finite(size) && Finite(free);
        out.instances.clear();
        if (out.available) out.instances.push_back({"_Total", ~std::uint64_t{0}, {size, size - free}});
    }
};

ObjectDef MakePagingFile() {
    ObjectDef o;
    o.name = "Paging File";
    o.hasInstances = true;
    o.explain = "How full each swap area is, whether a partition or a file, listed by its path with / "
                "written as !. _Total covers all of them together and reads 0 when there is no swap.";
    o.makeCollector = [] { return std::unique_ptr<CObjectCollector>(new CSwapCollector); };
    o.makeRemoteCollector = [] { return std::unique_ptr<CObjectCollector>(new CRemoteSwapCollector); };
    o.counters = {
        {"% Usage", PERF_DETAIL_NOVICE, PERF_RAW_FRACTION, 0, Bits({kSize, kUsed}), &Usage,
         "The share of the swap area in use. Swap that stays in use while memory is short slows the "
         "system down."},
        {"% Usage Peak", PERF_DETAIL_ADVANCED, PERF_RAW_FRACTION, 0, Bits({kSize, kUsed}), &Usage,
         "The highest % Usage seen since the counter was added to the chart.", 0, true},
    };
    return o;
}

} // namespace

const ObjectDef& PagingFileObject() {
    static const ObjectDef object = MakePagingFile();
    return object;
}

} // namespace zyn::pdh::detail
