#include "CommonCounters.h"

#include "display/WideText.h"

#include "pdh/pdh.h"

namespace {

std::optional<QStringList> LocalInstances(const QString& object) {
    QStringList names;
    for (const std::u16string& instance : zyn::pdh::ListInstances(U16View(object)))
        names << ToQString(instance);
    return names;
}

void AddPerInstance(QStringList& paths, const QString& machine, const ObjectInstances& instances,
                    const QString& object, const QString& counter, const QStringList& skipped) {
    for (const QString& name : instances(object).value_or(QStringList())) {
        if (name == QLatin1String("_Total") || skipped.contains(name)) continue;
        paths << machine + u'\\' + object + u'(' + name + QStringLiteral(")\\") + counter;
    }
}

} // namespace

QStringList CommonCounterPaths(const QString& machine, const ObjectInstances& given) {
    const ObjectInstances& instances = given ? given : ObjectInstances(LocalInstances);
    QStringList paths;
    if (instances(QStringLiteral("Processor")).value_or(QStringList()).contains(QStringLiteral("_Total")))
        paths << machine + QStringLiteral("\\Processor(_Total)\\% Processor Time");
    if (instances(QStringLiteral("Memory"))) paths << machine + QStringLiteral("\\Memory\\Available MBytes");
    AddPerInstance(paths, machine, instances, QStringLiteral("PhysicalDisk"),
                   QStringLiteral("Disk Bytes/sec"), {});
    AddPerInstance(paths, machine, instances, QStringLiteral("Network Interface"),
                   QStringLiteral("Bytes Total/sec"), {QStringLiteral("lo")});
    return paths;
}
