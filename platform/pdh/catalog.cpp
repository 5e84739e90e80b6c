#include "catalog.h"

#include "text.h"

#include <ctime>
#include <unistd.h>

namespace zyn::pdh::detail {

std::int64_t CollectContext::Now() const {
    if (config.monotonicNs) return config.monotonicNs();
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

const CounterDef* ObjectDef::FindCounter(std::string_view counterName) const {
    for (const CounterDef& c : counters)
        if (EqualsNoCase(c.name, counterName)) return &c;
    return nullptr;
}

const std::vector<const ObjectDef*>& AllObjects() {
    static const std::vector<const ObjectDef*> objects = {
        &ProcessorObject(),   &MemoryObject(),           &SystemObject(),     &PhysicalDiskObject(),
        &LogicalDiskObject(), &NetworkInterfaceObject(), &ProcessObject(),    &PagingFileObject(),
        &PressureCpuObject(), &PressureMemoryObject(),   &PressureIoObject(), &ControlGroupObject(),
    };
    return objects;
}

const ObjectDef* FindObject(std::string_view objectName) {
    for (const ObjectDef* o : AllObjects())
        if (EqualsNoCase(o->name, objectName)) return o;
    return nullptr;
}

bool ObjectAvailable(const ObjectDef& object, const SourceConfig& config) {
    return object.available == nullptr || object.available(config);
}

ObjectSample CollectOnce(const ObjectDef& object, const SourceConfig& config) {
    CSourceCache cache;
    cache.BeginCollection();
    CollectContext ctx{config, cache};
    ctx.clockTicks = config.clockTicksPerSecond > 0 ? static_cast<double>(config.clockTicksPerSecond)
                                                    : static_cast<double>(sysconf(_SC_CLK_TCK));
    ctx.pageSize = config.pageSize > 0 ? static_cast<double>(config.pageSize)
                                       : static_cast<double>(sysconf(_SC_PAGESIZE));
    ObjectSample sample;
    if (!ObjectAvailable(object, config)) return sample;
    auto collector = object.makeCollector();
    collector->Collect(ctx, 0, sample); // instance names need no optional source
    return sample;
}

} // namespace zyn::pdh::detail
